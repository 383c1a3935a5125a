#pragma once
// TDocument: the picture being worked on, with what goes with it: the
// one-step undo copy, the count of changes not yet given up, and the name of
// the file it came from. Every rule of the change count lives here, so the
// window only names what happened (a change is about to be made, an undo, an
// open, a paste, a close) and asks whether leaving must ask first.
#include <QString>
#include <functional>

#include "raster/Bitmap.h"

// The warning a caller shows when the snapshot before a change could not be
// made (the document itself shows nothing).
constexpr const char* NoMemoryForUndoText = " Not enougth memory for undo !";

class TDocument {
 public:
  TDocument();

  TBitmap& Picture() { return m_picture; }
  const TBitmap& Picture() const { return m_picture; }
  // The picture as it was before the last change; empty when there is none.
  const TBitmap& UndoCopy() const { return m_undo; }
  bool CanUndo() const { return !m_picture.Empty() && !m_undo.Empty(); }

  // Changes since the picture was opened, closed or pasted, less the undos.
  // Saving leaves it as it is, so leaving after a save still asks.
  int ChangeCount() const { return m_changeCount; }
  bool NeedsSaveQuestion() const { return m_changeCount > 0; }
  // The file the picture came from or was last saved to; "Untitled" after a
  // paste. Closing keeps it.
  const QString& FileName() const { return m_fileName; }

  // Before a change: copies the picture for undo and counts the change.
  // Returns false, with the undo copy empty, when memory ran out for the copy;
  // the change is counted all the same, since the picture is about to change.
  bool SnapshotBeforeChange();
  // A change that was counted but not made (its snapshot could not be taken,
  // or it was cancelled or failed): the picture is put back from the undo copy
  // when there is one, and the count goes back down.
  void ChangeAbandoned();
  // A change the user cancelled: given up as above, and the undo copy of the
  // change before it (held by the caller through a shared reference) is put
  // back, so that a cancelled command leaves the undo as it was.
  void ChangeCancelled(const TBitmap& previousUndo);
  // The one-step undo: the picture takes the undo copy's pixels (shared, not
  // copied, so an undo cannot run out of memory halfway). False when there
  // was nothing to undo.
  bool Undo();
  // Drops the undo copy and takes one from the count: what an undo or a
  // change given up does after the picture is set.
  void ClearUndo();
  // A picture read from a file: no change, no undo.
  void Opened(const TBitmap& picture, const QString& fileName);
  // A picture pasted: one change, named "Untitled".
  void Pasted(const TBitmap& picture);
  // The picture closed: empty, no change; the file name stays.
  void Closed();
  // Saved under a name: the count is not touched.
  void Saved(const QString& fileName) { m_fileName = fileName; }
  // Forgets the changes without saving (a script or test leaving at once).
  void DiscardChanges() { m_changeCount = 0; }

  // Makes the undo copy; throws std::bad_alloc when memory runs out. Tests
  // replace it to see a snapshot fail.
  std::function<void(const TBitmap& picture, TBitmap& undo)> CopyForUndo;

 private:
  TBitmap m_picture;
  TBitmap m_undo;
  int m_changeCount = 0;
  QString m_fileName;
};
