#pragma once
// What one run of the mosaic returns: whether a mosaic was made, what the
// user must be told or asked, how the photos were loaded, and, for a matched
// mosaic, where each photo went and how faithful the result is. The engines
// show nothing and ask nothing: the window turns this into its dialogs and
// its inspection, the tool prints it.
#include <QString>
#include <cstdint>

#include "mosaic/MatchOptions.h"
#include "mosaic/MatchPlacement.h"
#include "mosaic/MosaicQuality.h"
#include "mosaic/PhotoLibrary.h"
#include "mosaic/SquareCrop.h"
#include "mosaic/ThumbnailLibrary.h"

// What a run has to tell or ask the user.
struct TMosaicNotes {
  // The change was made without its undo copy (NoMemoryForUndoText).
  bool NoMemoryForUndo = false;
  // "No thumbnail in the list !" with the folder and why below; empty when
  // the load gave thumbnails or no load was needed.
  QString NoThumbnail;
  // A folder with no picture of its own but some in its sub-folders: the
  // question to put before anything is done ("...: include sub-folders?").
  // The run stopped there and changed nothing; a yes sets Recursive and runs
  // again, a no ends the command.
  QString SubFolderQuestion;
};

// An output that could not be written: the file and why. Reported is true
// when the load and save dispatch has already shown its own save error.
struct TOutputFailure {
  QString File;
  QString Reason;
  bool Reported = false;
  bool Failed() const { return !File.isEmpty(); }
};

struct TMosaicResult {
  bool Built = false;
  // Stopped by the caller's cancel: nothing changed, nothing left behind.
  bool Cancelled = false;
  TMosaicNotes Notes;

  // Whether this run loaded the folder, or used what an earlier run loaded;
  // either way Load (the default mosaic's thumbnails) or LibraryLoad (a
  // photo library) tells how the list in use was loaded.
  bool Loaded = false;
  bool Library = false;  // the list is a photo library
  TThumbnailLoadResult Load;
  TPhotoLibraryLoad LibraryLoad;
  QString PhotoFolder;  // where the list came from
  int Photos = 0;       // thumbnails or photos in the list

  // A matched mosaic: each cell's photo and tint, the cells' size from the
  // top-left corner, and how faithful it is. Placement.Cells is 0 (no
  // cells) for a random mosaic.
  TMatchPlacement Placement;
  TMosaicQuality Quality;
  TTileSize Cell;
  // The rules it was made with, for its report.
  int TintLimit = 0;
  TTintMode TintMode = DefaultTintMode;
  int RepeatDistance = 0;
  bool Matched() const { return Quality.Cells > 0; }

  // The mosaic's size in pixels, and whether it was drawn band by band into
  // its file instead of being held whole.
  std::int64_t Width = 0, Height = 0;
  bool InBands = false;
  // The first output that could not be written; the mosaic may still have
  // been made (the document holds it).
  TOutputFailure Failure;

  explicit operator bool() const { return Built; }
};
