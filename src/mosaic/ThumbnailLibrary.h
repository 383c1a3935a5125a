#pragma once
// Loading the thumbnail list from a folder: every PNG, JPEG, BMP and GIF file
// of the folder (no sub-folders), decoded, turned to 24 bits and squashed to
// a square of the cell size. The first file that cannot be read ends the load.
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "mosaic/ThumbnailList.h"

// The entries of a folder, listed by the system's bytes so that every name
// can be opened again, each list in name order: its files (links to files,
// pipes and devices too) and, when folders is given, its sub-folders. The
// folder's identity (device, inode) goes to id when given. Returns why the
// folder could not be listed, empty when it was.
struct TFolderId {
  unsigned long long Device = 0, Inode = 0;
  auto operator<=>(const TFolderId&) const = default;
};
QString ListFolder(const QString& folder, QStringList& files, QStringList* folders = nullptr, TFolderId* id = nullptr);

// Called with (folder with trailing separator, file name); false stops.
using TFindFilesCallback = std::function<bool(const QString& folder, const QString& fileName)>;

// Enumerates the files of one folder matching any mask of the ";"-separated
// list, mask by mask, each mask's files in name order. A file is reported only
// when its extension equals the mask's extension, compared without regard to
// case. Spaces in the list are ignored. Returns why the folder could not be
// listed ("no such folder", "not a folder", "permission denied"), empty when
// it was.
QString FindFiles(const QString& folder, const QString& maskList, const TFindFilesCallback& callback);

constexpr const char* ThumbnailMasks = "*.png;*.jpg;*.jpeg;*.bmp;*.gif";
constexpr const char* DefaultThumbnailsFolderName = "Thumbnails";

struct TThumbnailLoadOptions {
  int CellSize = 20;
  // Decode JPEG files at the largest reduced scale (1/2, 1/4, 1/8) that
  // still covers the cell: faster, with squares that differ slightly.
  bool FastJpeg = false;
  // Decoding threads; 0 means one per core. 1 loads one file after another.
  int Threads = 0;
  // Take the largest centred square of each picture, reduced by area
  // averaging, instead of squashing the whole picture with nearest pixels.
  // With a CellHeight, the largest centred region of the tile's shape.
  bool CropSquare = false;
  // Tiles CellSize wide and CellHeight high; 0: squares of CellSize.
  int CellHeight = 0;
  int TileHeight() const { return CellHeight > 0 ? CellHeight : CellSize; }
};

// The libjpeg reduction (0 full size, 1 half, 2 quarter, 3 eighth) at which a
// width x height JPEG still has at least cell pixels on both sides; 0 when
// the size is unknown. The fast thumbnail load decodes JPEG files at it.
int ThumbnailJpegScale(int width, int height, int cell);

// One file decoded, turned to 24 bits and squared to the cell (or shaped to
// the tile); nullopt, with the reason in error, when it cannot be read.
std::optional<TBitmap> MakeThumbnailSquare(const QString& path, const TThumbnailLoadOptions& options, QString& error);

// Adds one file to the list (decoded, 24-bit, squared); false when it could
// not be read or the list refused it.
bool AddThumbnailFile(TThumbnailList& list, const QString& folder, const QString& fileName,
                      const TThumbnailLoadOptions& options);

// How a load of the thumbnails folder went.
struct TThumbnailLoadResult {
  int Loaded = 0;
  // The file (full name) that could not be read and ended the load; empty
  // when every file was loaded.
  QString StoppedAt;
  // Why StoppedAt could not be read, or, when nothing was loaded, why the
  // folder gave nothing ("no such folder", "holds no ... file").
  QString Reason;
  bool Cancelled = false;  // stopped by the caller: the list left empty
  // "No thumbnail in the list !" with the folder and why on the line below,
  // when nothing was loaded (and the load was not cancelled); the caller
  // shows it.
  QString NoThumbnail;
};

// "The thumbnail load stopped at "FILE" (reason): N thumbnails loaded".
QString ThumbnailLoadStoppedText(const TThumbnailLoadResult& load);

// Why a folder gave no thumbnail when it holds no picture file the loaders
// take.
QString NoPictureFileReason();
// "No thumbnail in the list !", with the folder and why on the line below.
QString NoThumbnailText(const QString& folder, const QString& why);

// Clears the list, sizes it to the cell and loads the folder; count receives
// the number of entries after each added picture, in order. Decoding runs on
// several threads but the result is exactly that of a one-by-one load.
// When nothing was loaded the result's NoThumbnail says so, with the folder
// and the reason on the line below. files(done, found) follows the files
// read of the files found; cancelled is asked after each file: true ends the
// load with the list empty and no warning.
TThumbnailLoadResult LoadThumbnails(TThumbnailList& list, const QString& folder, const TThumbnailLoadOptions& options,
                                    const std::function<void(int)>& count,
                                    const std::function<void(int done, int found)>& files = {},
                                    const std::function<bool()>& cancelled = {});
