#pragma once
// The "Create the mosaic" command without a window: what the main window
// holds for the mosaic (cell size, thumbnails folder and its staleness, the
// "Check size" and "Antialias" options, the thumbnail list) and the steps of
// the command, with the window's services as callbacks.
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "mosaic/MosaicBuilder.h"
#include "mosaic/MosaicMatch.h"
#include "mosaic/PhotoLibrary.h"
#include "mosaic/ThumbnailLibrary.h"
#include "mosaic/ThumbnailList.h"
#include "raster/Bitmap.h"

// The picture size below which "Check size" enlarges, by cell size: 80 cells.
int CheckSizeLimit(int cellSize);

// Copies the working image into the undo bitmap; on failure empties it again
// and warns " Not enougth memory for undo !". False when no copy was made.
bool SaveUndoCopy(const TBitmap& working, TBitmap& undo);

struct TMosaicCallbacks {
  std::function<void(const QString& text)> BeginWait;  // hourglass and status text
  std::function<void()> EndWait;                       // always called, also after an error
  // Takes the undo snapshot; the default copies into the undo bitmap with
  // SaveUndoCopy. The window also counts the change and updates its commands.
  std::function<void()> SaveUndo;
  std::function<void(int percent)> ShowProgress;  // once per row of cells
  std::function<void(int count)> ShowThumbnailCount;
  // The photo library's load (the options beyond the default mosaic): files
  // done of files found.
  std::function<void(int done, int found)> ShowFileProgress;
  std::function<void()> RefreshView;  // after "Check size" resized the picture
};

class TMosaicCommand {
 public:
  TMosaicCommand();

  int CellSize = 20;
  QString ThumbnailsFolder;  // default: "Thumbnails" beside the executable
  bool ThumbnailsStale = true;
  bool CheckSize = true;  // "Check size"
  bool Antialias = true;  // "Antialias"
  bool FastJpeg = false;  // decode JPEG thumbnails at a reduced scale
  int LoadThreads = 0;    // 0: one per core
  TThumbnailList ImgVignettes;
  TMosaicCallbacks Callbacks;
  TRandom* Random = nullptr;  // none: reseeded from the clock at every build

  // Beyond the default mosaic; all off by default. Any of the first three
  // loads the thumbnails as a photo library: an unreadable file is skipped
  // instead of ending the load, and the lasting cache is used.
  bool MatchColours = false;  // "Match colours": nearest colours, adaptive tint
  bool CropSquare = false;    // "Crop to square": centred squares, area-averaged
  bool Recursive = false;     // the folder's sub-folders too
  int TintLimit = DefaultMatchTintLimit;
  int RepeatDistance = DefaultRepeatDistance;
  bool UseCache = true;
  QString CacheFile;  // empty: the user's cache folder
  // Each cell drawn Scale times larger from a larger thumbnail: the mosaic is
  // Scale times the picture's size.
  int Scale = 1;
  TPhotoLibraryLoad LastLibraryLoad;  // how the last library load went
  bool LibraryMode() const { return MatchColours || CropSquare || Recursive; }
  // The size of the mosaic of a width x height picture with these options
  // ("Check size" and Scale); false when it is beyond the picture size limit.
  bool OutputSize(int width, int height, std::int64_t& outWidth, std::int64_t& outHeight) const;
  TThumbnailLoadResult LastLoad;  // how the last load of the folder went

  // Runs the command on the working image. Returns true when a mosaic was
  // built; the undo bitmap then holds the picture as it was before.
  bool Execute(TBitmap& working, TBitmap& undo);
  // The same without an undo snapshot, for a caller that never undoes (the
  // command-line tool): the picture is built in place and never copied, and
  // the SaveUndo callback is not called.
  bool Execute(TBitmap& working);

  // Enlarges a picture smaller than the limit on both sides so that its longer
  // side becomes the limit, resampling from the undo copy (nearest pixel).
  void CheckImageSize(TBitmap& working, const TBitmap& undo);

  // Reloads the thumbnail list from the folder at the current cell size.
  void LoadThumbnails();

  // The cell-size edit's new text ("20 pixels"): its first two characters.
  void CellSizeTextChanged(const QString& text);
  // A folder chosen in the folder chooser (empty: cancelled).
  void FolderChosen(const QString& folder);
  // Where the folder chooser starts: the thumbnails folder, or the current
  // directory when that folder does not exist.
  QString FolderChooserStart() const;

 private:
  bool Run(TBitmap& working, TBitmap* undo);
  void LoadFolder(int cell);
  void LoadLibrary(int cell);

  QString LoadKey(int cell, bool library) const;

  TMatchLibrary m_library;  // the loaded library's descriptors, for matching
  // What the loaded list was made for; a change of any reloads it.
  QString m_loadedKey;
};
