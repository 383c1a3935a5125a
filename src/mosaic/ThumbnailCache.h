#pragma once
// A lasting store of squared thumbnails and their colour descriptors, so that
// a library of photographs is decoded once and reused by later runs. One
// SQLite file in the user's cache folder. A stored square serves only while
// its photograph keeps the size and modification time it had when stored, and
// only for the same tile size and way of squaring.
//
// The cache never makes a load fail: a damaged file, or one written in another
// layout, is replaced by an empty one; a file that cannot be opened or is
// locked by another run leaves the cache unusable, and every lookup misses.
#include <QString>
#include <cstdint>
#include <vector>

#include "raster/Bitmap.h"

struct sqlite3;
struct sqlite3_stmt;

// What makes a stored square reusable besides the photograph itself.
struct TThumbnailCacheMode {
  int CellSize = 20;      // the tile's width
  bool Crop = false;      // the largest centred square (or tile shape) instead of the whole photo
  bool FastJpeg = false;  // JPEG decoded at a reduced scale
  int CellHeight = 0;     // the tile's height; 0: a square of CellSize
  int TileHeight() const { return CellHeight > 0 ? CellHeight : CellSize; }
};

// A file's size and modification time: a stored square serves while they
// are still the file's.
struct TFileStamp {
  std::int64_t Size = 0;
  std::int64_t TimeNs = 0;
};

struct TCachedThumbnail {
  TBitmap Square;                        // 24 bits, CellSize x TileHeight()
  std::vector<std::uint8_t> Descriptor;  // the caller's own bytes, kept as given
};

class TThumbnailCache {
 public:
  // <per-user cache folder>/tesselune/thumbnails.sqlite, shared by the window
  // and the command-line tool
  static QString DefaultFile();

  explicit TThumbnailCache(const QString& file = DefaultFile());
  ~TThumbnailCache();
  TThumbnailCache(const TThumbnailCache&) = delete;
  TThumbnailCache& operator=(const TThumbnailCache&) = delete;

  bool Usable() const { return m_db != nullptr; }
  const QString& File() const { return m_file; }

  // The stored thumbnail of the photograph at path, made in mode; false when
  // there is none or the photograph changed since. The photograph's stamp
  // as found goes to now when given (left as it was for a missing file).
  bool Find(const QString& path, const TThumbnailCacheMode& mode, TCachedThumbnail& out, TFileStamp* now = nullptr);
  // Keeps a thumbnail of the photograph at path, replacing any older one of
  // the same mode. Pass the stamp Find gave before the photograph was
  // decoded, so that a change during the decode is seen next time; without
  // one the file's stamp is read here.
  void Store(const QString& path, const TThumbnailCacheMode& mode, const TCachedThumbnail& thumbnail,
             const TFileStamp* stamp = nullptr);
  // Drops the thumbnails of photographs under folder that no longer exist.
  void DropMissing(const QString& folder);

  // Stores between these two go to the file together (much faster).
  void BeginBatch();
  void EndBatch();

 private:
  bool Open();
  void Close();
  void Rebuild();
  // Called on an SQLite failure: a damaged file is rebuilt, anything else
  // (a lock held elsewhere, a full disk) turns the cache off for this run.
  void Failed(int code);
  sqlite3_stmt* Prepare(const char* sql);

  QString m_file;
  sqlite3* m_db = nullptr;
  sqlite3_stmt* m_find = nullptr;
  sqlite3_stmt* m_store = nullptr;
  bool m_inBatch = false;
};
