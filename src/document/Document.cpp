#include "document/Document.h"

#include <new>

TDocument::TDocument() {
  CopyForUndo = [](const TBitmap& picture, TBitmap& undo) {
    undo.Assign(&picture);
    // A copy shares the pixels until written: make it real now, so that a
    // shortage of memory shows here and not in the middle of the change.
    if (!undo.Empty()) undo.ScanLine(0);
  };
}

bool TDocument::SnapshotBeforeChange() {
  bool copied = true;
  try {
    CopyForUndo(m_picture, m_undo);
  } catch (const std::bad_alloc&) {
    m_undo.Assign(nullptr);
    copied = false;
  }
  ++m_changeCount;
  return copied;
}

void TDocument::ChangeAbandoned() {
  if (!m_undo.Empty()) m_picture.Assign(&m_undo);
  ClearUndo();
}

void TDocument::ChangeCancelled(const TBitmap& previousUndo) {
  ChangeAbandoned();
  if (!previousUndo.Empty() && !m_picture.Empty()) m_undo.Assign(&previousUndo);
}

bool TDocument::Undo() {
  if (!CanUndo()) return false;
  m_picture.Assign(&m_undo);
  ClearUndo();
  return true;
}

void TDocument::ClearUndo() {
  --m_changeCount;
  m_undo.Assign(nullptr);
}

void TDocument::Opened(const TBitmap& picture, const QString& fileName) {
  m_picture.Assign(&picture);
  m_undo.Assign(nullptr);
  m_changeCount = 0;
  m_fileName = fileName;
}

void TDocument::Pasted(const TBitmap& picture) {
  m_picture.Assign(&picture);
  m_undo.Assign(nullptr);
  m_changeCount = 1;
  m_fileName = QStringLiteral("Untitled");
}

void TDocument::Closed() {
  m_picture.Assign(nullptr);
  m_undo.Assign(nullptr);
  m_changeCount = 0;
}
