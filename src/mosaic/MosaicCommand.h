#pragma once
// The "Create the mosaic" command without a window: the options the user
// chose (one value), the thumbnail list and its staleness, and the steps of
// the command. It works on a document or a bare picture, reports
// through a progress sink, and returns; the caller shows the result.
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "document/Document.h"
#include "mosaic/MatchIndex.h"
#include "mosaic/MatchOptions.h"
#include "mosaic/MosaicBuilder.h"
#include "mosaic/MosaicOptions.h"
#include "mosaic/MosaicResult.h"
#include "mosaic/PhotoLibrary.h"
#include "mosaic/SquareCrop.h"
#include "mosaic/ThumbnailLibrary.h"
#include "mosaic/ThumbnailList.h"
#include "raster/BandSink.h"
#include "raster/Bitmap.h"

// The sample photographs bundled beside the generated thumbnails.
constexpr const char* SamplePhotosFolderName = "SamplePhotos";

// What the command reports while it runs; any member may be left empty.
struct TMosaicProgress {
  std::function<void(int percent)> ShowProgress;  // once per row of cells
  std::function<void(int count)> ShowThumbnailCount;
  // The default load's files read of files found, after ShowThumbnailCount.
  std::function<void(int done, int found)> ShowThumbnailFiles;
  // The photo library's load (the options beyond the default mosaic): files
  // done of files found.
  std::function<void(int done, int found)> ShowFileProgress;
  // Asked per file of either load and per row of cells of the build:
  // true stops the command, which returns false and gives its change up. A
  // library stopped part way is loaded again next time; the photos decoded
  // before the stop stay in the lasting cache.
  std::function<bool()> Cancelled;
  // Writing an output of a finished mosaic (a zoomable page): percent done.
  std::function<void(int percent)> ShowOutputProgress;
};

class TMosaicCommand {
 public:
  // What the user chose; a new folder or cell size is given through
  // OptionsChosen, CellSizeChosen or FolderChosen, which mark the thumbnails
  // stale. The seed is the caller's to make into Random.
  TMosaicOptions Options;
  bool ThumbnailsStale = true;
  int LoadThreads = 0;  // 0: one per core
  TThumbnailList ImgVignettes;
  TRandom* Random = nullptr;  // none: reseeded from the clock at every build

  QString CacheFile;  // empty: the user's cache folder
  // Where the photos come from: the thumbnails folder, except that a photo
  // library mode on the bundled thumbnails (generated squares of plain
  // colour, which show matching at its worst) takes the bundled sample
  // photographs when they are there.
  // A caller that was given the folder explicitly turns this off.
  QString PhotoFolder() const;
  bool PreferSamplePhotos = true;
  bool LibraryMode() const {
    return Options.MatchColours || Options.CropSquare || Options.Recursive || !Options.TileAspect.Square();
  }
  // The size of the mosaic of a width x height picture with these options
  // ("Check size" and Scale); false when it is beyond the picture size limit.
  bool OutputSize(int width, int height, std::int64_t& outWidth, std::int64_t& outHeight) const;

  // Runs the command on the document's picture as one undoable change: the
  // snapshot first (without one the mosaic is still built, and the result
  // says so), then the build. A build that fails or throws gives the change
  // up: the picture is as it was.
  TMosaicResult Execute(TDocument& document, const TMosaicProgress& progress = {});
  // The same without an undo snapshot, for a caller that never undoes (the
  // command-line tool): the picture is built in place and never copied.
  TMosaicResult Execute(TBitmap& working, const TMosaicProgress& progress = {});

  // The same mosaic drawn band by band into a sink, for a mosaic too large
  // to hold: target stays as it is, only the enlarged picture's band being
  // drawn is in memory. The bytes are those Execute would make with the
  // same options and random source, and the result is filled alike. Not
  // built when no mosaic was made (no thumbnail, cancelled, a size beyond
  // MaxBandResampleSide, or the sink failed: it is then abandoned and its
  // Error() says why).
  TMosaicResult ExecuteInBands(const TBitmap& target, TBandSink& sink, const TMosaicProgress& progress = {});
  // Rows of cells per band of ExecuteInBands; 0: as many as fit in about
  // 64 MB.
  int BandCellRows = 0;

  // Enlarges a picture smaller than the limit on both sides so that its longer
  // side becomes the limit, resampling from `before` (nearest pixel). True
  // when the picture was enlarged.
  bool CheckImageSize(TBitmap& working, const TBitmap& before);

  // A whole new set of options (the dialog's): a new folder or cell size
  // marks the thumbnails stale; an empty folder or a cell size that is not
  // positive keeps the one before.
  void OptionsChosen(const TMosaicOptions& options);
  // A cell size chosen (a positive number of pixels; anything else is
  // ignored): the thumbnails are loaded again when it differs.
  void CellSizeChosen(int cellSize);
  // A folder chosen in the folder chooser (empty: cancelled).
  void FolderChosen(const QString& folder);
  // Where the folder chooser starts: the thumbnails folder, or the current
  // directory when that folder does not exist.
  QString FolderChooserStart() const;

 private:
  // True (with the question in result) when the run must stop before
  // anything is done to ask whether to take the sub-folders' pictures (a
  // load is due and the folder holds none of its own but some below).
  bool StopsForSubFolders(TMosaicResult& result) const;
  bool Run(TBitmap& working, const TMosaicProgress& progress, TMosaicResult& result);
  // The load's part of the result, and the matched mosaic's cells.
  void Describe(TMosaicResult& result, TTileSize tile) const;
  // The cells' size at a scale.
  TTileSize TileFor(int scale) const;
  // Loads the thumbnails for that tile unless loaded; false when cancelled.
  bool LoadFor(TTileSize tile, const TMosaicProgress& progress, TMosaicResult& result);
  TMatchOptions MatchOptionsFor(TTileSize tile, const TMosaicProgress& progress) const;
  // False when cancelled: the list is then empty and stale.
  bool LoadFolder(int cell, const TMosaicProgress& progress, TMosaicNotes& notes);
  // False when cancelled: the list is then empty and stale.
  bool LoadLibrary(TTileSize tile, const TMosaicProgress& progress, TMosaicNotes& notes);

  QString LoadKey(TTileSize tile, bool library) const;

  TMatchLibrary m_library;  // the loaded library's descriptors, for matching
  // How the list in use was loaded: the default load or the library's.
  TThumbnailLoadResult m_load;
  TPhotoLibraryLoad m_libraryLoad;
  // What the loaded list was made for; a change of any reloads it.
  QString m_loadedKey;
};
