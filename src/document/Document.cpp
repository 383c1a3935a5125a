#include "document/Document.h"

#include <algorithm>
#include <new>
#include <utility>

// Shared with the subscriptions, so that one outliving the document finds the
// list gone instead of a dangling document.
struct TDocument::TListeners {
  std::vector<std::pair<int, std::shared_ptr<const TListener>>> Entries;
  int NextId = 1;
};

TDocument::TDocument() : m_listeners(std::make_shared<TListeners>()) {
  CopyForUndo = [](const TBitmap& picture, TBitmap& undo) {
    undo.Assign(&picture);
    // A copy shares the pixels until written: make it real now, so that a
    // shortage of memory shows here and not in the middle of the change.
    if (!undo.Empty()) undo.ScanLine(0);
  };
}

TDocument::TSubscription& TDocument::TSubscription::operator=(TSubscription&& other) noexcept {
  if (this != &other) {
    Reset();
    m_listeners = std::move(other.m_listeners);
    m_id = std::exchange(other.m_id, 0);
  }
  return *this;
}

void TDocument::TSubscription::Reset() {
  if (const std::shared_ptr<TListeners> listeners = m_listeners.lock())
    std::erase_if(listeners->Entries, [this](const auto& entry) { return entry.first == m_id; });
  m_listeners.reset();
  m_id = 0;
}

TDocument::TSubscription TDocument::Subscribe(TListener listener) {
  const int id = m_listeners->NextId++;
  m_listeners->Entries.emplace_back(id, std::make_shared<const TListener>(std::move(listener)));
  return TSubscription(m_listeners, id);
}

void TDocument::Notify(const TDocumentChange& change) {
  // A listener may end its own or another's subscription while it is told:
  // go through a copy, and skip whoever left meanwhile.
  const auto entries = m_listeners->Entries;
  for (const auto& [id, listener] : entries) {
    const bool subscribed = std::any_of(m_listeners->Entries.begin(), m_listeners->Entries.end(),
                                        [id = id](const auto& entry) { return entry.first == id; });
    if (subscribed && *listener) (*listener)(change);
  }
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
  Notify({.History = true});
  return copied;
}

void TDocument::ChangeMade() { Notify({.Picture = true}); }

void TDocument::ChangeAbandoned() {
  if (!m_undo.Empty()) m_picture.Assign(&m_undo);
  DropUndo();
  // Without an undo copy the picture may still have been changed part way
  // (a build that threw): the viewers are told all the same.
  Notify({.Picture = true, .History = true});
}

void TDocument::ChangeCancelled(const TBitmap& previousUndo) {
  if (!m_undo.Empty()) m_picture.Assign(&m_undo);
  DropUndo();
  if (!previousUndo.Empty() && !m_picture.Empty()) m_undo.Assign(&previousUndo);
  Notify({.Picture = true, .History = true});
}

bool TDocument::Undo() {
  if (!CanUndo()) return false;
  m_picture.Assign(&m_undo);
  DropUndo();
  Notify({.Picture = true, .History = true});
  return true;
}

void TDocument::ClearUndo() {
  DropUndo();
  Notify({.History = true});
}

void TDocument::DropUndo() {
  --m_changeCount;
  m_undo.Assign(nullptr);
}

void TDocument::Opened(const TBitmap& picture, const QString& fileName) {
  m_picture.Assign(&picture);
  m_undo.Assign(nullptr);
  m_changeCount = 0;
  m_fileName = fileName;
  Notify({.Picture = true, .History = true, .FileName = true});
}

void TDocument::Pasted(const TBitmap& picture) {
  m_picture.Assign(&picture);
  m_undo.Assign(nullptr);
  m_changeCount = 1;
  m_fileName = QStringLiteral("Untitled");
  Notify({.Picture = true, .History = true, .FileName = true});
}

void TDocument::Closed() {
  m_picture.Assign(nullptr);
  m_undo.Assign(nullptr);
  m_changeCount = 0;
  Notify({.Picture = true, .History = true});
}

void TDocument::Saved(const QString& fileName) {
  m_fileName = fileName;
  Notify({.FileName = true});
}

void TDocument::DiscardChanges() {
  m_changeCount = 0;
  Notify({.History = true});
}
