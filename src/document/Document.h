#pragma once
// TDocument: the picture being worked on, with what goes with it: the
// one-step undo copy, the count of changes not yet given up, and the name of
// the file it came from. Every rule of the change count lives here, so the
// window only names what happened (a change is about to be made, an undo, an
// open, a paste, a close) and asks whether leaving must ask first.
//
// Whoever shows the document (the window, its view) subscribes and is told
// after every step that touched the picture, the undo and change count, or
// the file name; the document knows nothing of who listens.
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "raster/Bitmap.h"

// The warning a caller shows when the snapshot before a change could not be
// made (the document itself shows nothing).
constexpr const char* NoMemoryForUndoText = " Not enougth memory for undo !";

// What a step touched: a listener is told once per step, with every part set.
struct TDocumentChange {
  bool Picture = false;   // its pixels or size, or it was emptied
  bool History = false;   // the undo copy or the change count
  bool FileName = false;  // the name shown for the picture
};

class TDocument {
  struct TListeners;

 public:
  TDocument();
  TDocument(const TDocument&) = delete;
  TDocument& operator=(const TDocument&) = delete;

  using TListener = std::function<void(const TDocumentChange& change)>;
  // A subscriber's hold on its listener: told until the subscription is
  // destroyed or reset, so a viewer that goes away cannot be called. It may
  // outlive the document. A listener must not change the document.
  class TSubscription {
   public:
    TSubscription() = default;
    TSubscription(TSubscription&& other) noexcept = default;
    TSubscription& operator=(TSubscription&& other) noexcept;
    TSubscription(const TSubscription&) = delete;
    TSubscription& operator=(const TSubscription&) = delete;
    ~TSubscription() { Reset(); }
    void Reset();

   private:
    friend class TDocument;
    TSubscription(std::weak_ptr<TListeners> listeners, int id) : m_listeners(std::move(listeners)), m_id(id) {}
    std::weak_ptr<TListeners> m_listeners;
    int m_id = 0;
  };
  [[nodiscard]] TSubscription Subscribe(TListener listener);

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
  // The change was made to the picture (in place through Picture(), or by
  // replacing it): tells the listeners. Nothing is counted here.
  void ChangeMade();
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
  void Saved(const QString& fileName);
  // Forgets the changes without saving (a script or test leaving at once).
  void DiscardChanges();

  // Makes the undo copy; throws std::bad_alloc when memory runs out. Tests
  // replace it to see a snapshot fail.
  std::function<void(const TBitmap& picture, TBitmap& undo)> CopyForUndo;

 private:
  void DropUndo();
  void Notify(const TDocumentChange& change);

  TBitmap m_picture;
  TBitmap m_undo;
  int m_changeCount = 0;
  QString m_fileName;
  std::shared_ptr<TListeners> m_listeners;
};
