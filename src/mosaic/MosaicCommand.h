#pragma once
// The "Create the mosaic" command without a window: the options the user
// chose, as values (cell size, thumbnails folder and its staleness, "Check
// size", "Antialias" and the options beyond them), the thumbnail list, and the
// steps of the command. It works on a document or a bare picture, reports
// through a progress sink, and returns; the caller shows the result.
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "document/Document.h"
#include "mosaic/MosaicBuilder.h"
#include "mosaic/MosaicMatch.h"
#include "mosaic/MosaicResult.h"
#include "mosaic/PhotoLibrary.h"
#include "mosaic/SquareCrop.h"
#include "mosaic/ThumbnailLibrary.h"
#include "mosaic/ThumbnailList.h"
#include "raster/BandSink.h"
#include "raster/Bitmap.h"

// The picture size below which "Check size" enlarges, by cell size: 80 cells.
int CheckSizeLimit(int cellSize);

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
  TMosaicCommand();

  int CellSize = 20;
  QString ThumbnailsFolder;  // default: "Thumbnails" beside the executable
  bool ThumbnailsStale = true;
  bool CheckSize = true;  // "Check size"
  bool Antialias = true;  // "Antialias"
  bool FastJpeg = false;  // decode JPEG thumbnails at a reduced scale
  int LoadThreads = 0;    // 0: one per core
  TThumbnailList ImgVignettes;
  TRandom* Random = nullptr;  // none: reseeded from the clock at every build

  // Beyond the default mosaic; all off by default. Any of the first three,
  // or a tile shape other than the square, loads the thumbnails as a photo
  // library: an unreadable file is skipped instead of ending the load, and
  // the lasting cache is used.
  bool MatchColours = false;  // "Match colours": nearest colours, adaptive tint
  bool CropSquare = false;    // "Crop to square": centred squares, area-averaged
  bool Recursive = false;     // the folder's sub-folders too
  // The tiles' shape: other than 1:1, cells of that shape (CellSize is their
  // longer side, see TileSize), each photo cropped to it like "Crop to
  // square" does to the square, in the matched and the random mosaic alike.
  TTileAspect TileAspect;
  int TintLimit = DefaultMatchTintLimit;
  TTintMode TintMode = DefaultTintMode;
  int RepeatDistance = DefaultRepeatDistance;
  int MaxUses = 0;      // the most cells one photo may go to; 0: no cap
  bool UseAll = false;  // every photo at least once, when the cells allow
  bool UseCache = true;
  QString CacheFile;  // empty: the user's cache folder
  // Each cell drawn Scale times larger from a larger thumbnail: the mosaic is
  // Scale times the picture's size.
  int Scale = 1;
  // Where the photos come from: the thumbnails folder, except that a photo
  // library mode on the bundled thumbnails (generated squares of plain
  // colour, which show matching at its worst) takes the bundled sample
  // photographs when they are there.
  // A caller that was given the folder explicitly turns this off.
  QString PhotoFolder() const;
  bool PreferSamplePhotos = true;
  bool LibraryMode() const { return MatchColours || CropSquare || Recursive || !TileAspect.Square(); }
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
