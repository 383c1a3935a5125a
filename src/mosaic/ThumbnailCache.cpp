#include "mosaic/ThumbnailCache.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cstring>

#include "app/FileNames.h"

namespace {

// Raised to user_version when the table's layout changes: an older file is
// then replaced rather than misread. 2: tiles of any shape, keyed by their
// height beside the cell (width).
constexpr int LayoutVersion = 2;

QByteArray Key(const QString& path) { return EncodeFileName(QFileInfo(path).absoluteFilePath()); }

bool Stamp(const QByteArray& key, TFileStamp& stamp) {
  struct stat st;
  if (::stat(key.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  stamp.Size = std::int64_t(st.st_size);
  stamp.TimeNs = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

int ModeBits(const TThumbnailCacheMode& mode) { return (mode.Crop ? 1 : 0) | (mode.FastJpeg ? 2 : 0); }

// Whether a failure is the file's own fault (damaged, or not laid out as we
// write it) and the file may be replaced; the rest (a lock held by another
// run, no room, no permission) must leave the file alone.
bool Damaged(int code) {
  switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR:
    case SQLITE_READONLY:
    case SQLITE_FULL:
    case SQLITE_PERM:
    case SQLITE_NOMEM:
    case SQLITE_NOLFS:
    case SQLITE_AUTH: return false;
    default: return true;
  }
}

}  // namespace

QString TThumbnailCache::DefaultFile() {
  // The generic folder, not the application's: the window and the
  // command-line tool are two programs sharing one cache.
  QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
  if (folder.isEmpty()) folder = QDir::tempPath();
  return folder + QStringLiteral("/tesselune/thumbnails.sqlite");
}

TThumbnailCache::TThumbnailCache(const QString& file) : m_file(file) {
  if (!Open()) Rebuild();
}

TThumbnailCache::~TThumbnailCache() {
  if (m_inBatch) EndBatch();
  Close();
}

sqlite3_stmt* TThumbnailCache::Prepare(const char* sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr) != SQLITE_OK) {
    sqlite3_finalize(statement);
    return nullptr;
  }
  return statement;
}

// True when the file is open with the current layout; false when it should be
// rebuilt. A file that cannot be opened at all leaves m_db null and true.
bool TThumbnailCache::Open() {
  QDir().mkpath(QFileInfo(m_file).absolutePath());
  if (sqlite3_open_v2(EncodeFileName(m_file).constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    Close();
    return true;
  }
  // Another run storing at the same moment: wait a little, then do without.
  sqlite3_busy_timeout(m_db, 2000);
  sqlite3_stmt* version = Prepare("PRAGMA user_version");
  int code = version ? sqlite3_step(version) : sqlite3_errcode(m_db);
  const int found = code == SQLITE_ROW ? sqlite3_column_int(version, 0) : -1;
  sqlite3_finalize(version);
  if (code != SQLITE_ROW) {
    const bool damaged = Damaged(code);
    Close();
    return !damaged;
  }
  if (found != LayoutVersion) {
    // A new file has version 0 and no table; anything else is not ours to read.
    sqlite3_stmt* tables = Prepare("SELECT count(*) FROM sqlite_schema");
    const bool empty = tables && sqlite3_step(tables) == SQLITE_ROW && sqlite3_column_int(tables, 0) == 0;
    sqlite3_finalize(tables);
    if (!empty) {
      Close();
      return false;
    }
    // Large pages: a row (a square of a few kilobytes) then wastes little of
    // its page, and the file stays close to the squares it holds.
    code = sqlite3_exec(m_db,
                        "PRAGMA page_size = 65536;"
                        "CREATE TABLE thumbnails("
                        " path BLOB NOT NULL, cell INTEGER NOT NULL, height INTEGER NOT NULL,"
                        " mode INTEGER NOT NULL, size INTEGER NOT NULL, mtime INTEGER NOT NULL,"
                        " pixels BLOB NOT NULL, descriptor BLOB NOT NULL,"
                        " UNIQUE(path, cell, height, mode));"
                        "PRAGMA user_version = 2;",
                        nullptr, nullptr, nullptr);
    if (code != SQLITE_OK) {
      const bool damaged = Damaged(code);
      Close();
      return !damaged;
    }
  }
  sqlite3_exec(m_db, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr);
  m_find = Prepare(
      "SELECT size, mtime, pixels, descriptor FROM thumbnails WHERE path = ? AND cell = ? AND height = ? AND mode = ?");
  m_store = Prepare(
      "INSERT OR REPLACE INTO thumbnails(path, cell, height, mode, size, mtime, pixels, descriptor)"
      " VALUES(?, ?, ?, ?, ?, ?, ?, ?)");
  if (!m_find || !m_store) {
    const bool damaged = Damaged(sqlite3_errcode(m_db));
    Close();
    return !damaged;
  }
  return true;
}

void TThumbnailCache::Close() {
  sqlite3_finalize(m_find);
  sqlite3_finalize(m_store);
  m_find = m_store = nullptr;
  if (m_db) sqlite3_close(m_db);
  m_db = nullptr;
  m_inBatch = false;
}

void TThumbnailCache::Rebuild() {
  Close();
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) QFile::remove(m_file + QLatin1String(suffix));
  if (!Open()) Close();
}

void TThumbnailCache::Failed(int code) {
  if (Damaged(code))
    Rebuild();
  else
    Close();
}

bool TThumbnailCache::Find(const QString& path, const TThumbnailCacheMode& mode, TCachedThumbnail& out,
                           TFileStamp* stamp) {
  const QByteArray key = Key(path);
  TFileStamp now;
  if (!Stamp(key, now)) return false;
  if (stamp) *stamp = now;
  if (!m_db || mode.CellSize <= 0) return false;
  sqlite3_reset(m_find);
  sqlite3_bind_blob(m_find, 1, key.constData(), int(key.size()), SQLITE_STATIC);
  sqlite3_bind_int(m_find, 2, mode.CellSize);
  sqlite3_bind_int(m_find, 3, mode.TileHeight());
  sqlite3_bind_int(m_find, 4, ModeBits(mode));
  const int code = sqlite3_step(m_find);
  if (code != SQLITE_ROW) {
    sqlite3_reset(m_find);
    if (code != SQLITE_DONE) Failed(code);
    return false;
  }
  const int cell = mode.CellSize, height = mode.TileHeight();
  const qsizetype rowBytes = qsizetype(cell) * 3;
  const bool current = sqlite3_column_int64(m_find, 0) == now.Size && sqlite3_column_int64(m_find, 1) == now.TimeNs;
  const int pixelBytes = sqlite3_column_bytes(m_find, 2);
  bool found = false;
  if (current && pixelBytes == rowBytes * height) {
    const auto* pixels = static_cast<const std::uint8_t*>(sqlite3_column_blob(m_find, 2));
    const auto* descriptor = static_cast<const std::uint8_t*>(sqlite3_column_blob(m_find, 3));
    const int descriptorBytes = sqlite3_column_bytes(m_find, 3);
    TBitmap square(cell, height, pf24bit);
    for (int y = 0; y < height; ++y) std::memcpy(square.ScanLine(y), pixels + y * rowBytes, size_t(rowBytes));
    out.Square = std::move(square);
    out.Descriptor.assign(descriptor, descriptor + descriptorBytes);
    found = true;
  }
  sqlite3_reset(m_find);
  return found;
}

void TThumbnailCache::Store(const QString& path, const TThumbnailCacheMode& mode, const TCachedThumbnail& thumbnail,
                            const TFileStamp* stamp) {
  const int cell = mode.CellSize, height = mode.TileHeight();
  const TBitmap& square = thumbnail.Square;
  if (!m_db || cell <= 0 || square.Width() != cell || square.Height() != height || square.PixelFormat() != pf24bit)
    return;
  const QByteArray key = Key(path);
  TFileStamp now;
  if (stamp)
    now = *stamp;
  else if (!Stamp(key, now))
    return;
  const qsizetype rowBytes = qsizetype(cell) * 3;
  QByteArray pixels(rowBytes * height, Qt::Uninitialized);
  for (int y = 0; y < height; ++y) std::memcpy(pixels.data() + y * rowBytes, square.ScanLine(y), size_t(rowBytes));
  sqlite3_reset(m_store);
  sqlite3_bind_blob(m_store, 1, key.constData(), int(key.size()), SQLITE_STATIC);
  sqlite3_bind_int(m_store, 2, cell);
  sqlite3_bind_int(m_store, 3, height);
  sqlite3_bind_int(m_store, 4, ModeBits(mode));
  sqlite3_bind_int64(m_store, 5, now.Size);
  sqlite3_bind_int64(m_store, 6, now.TimeNs);
  sqlite3_bind_blob(m_store, 7, pixels.constData(), int(pixels.size()), SQLITE_STATIC);
  // An empty descriptor is stored as an empty blob, never NULL.
  static const std::uint8_t none = 0;
  const std::uint8_t* descriptor = thumbnail.Descriptor.empty() ? &none : thumbnail.Descriptor.data();
  sqlite3_bind_blob(m_store, 8, descriptor, int(thumbnail.Descriptor.size()), SQLITE_STATIC);
  const int code = sqlite3_step(m_store);
  sqlite3_reset(m_store);
  if (code != SQLITE_DONE) Failed(code);
}

void TThumbnailCache::DropMissing(const QString& folder) {
  if (!m_db) return;
  QByteArray prefix = EncodeFileName(QFileInfo(folder).absoluteFilePath());
  if (!prefix.endsWith('/')) prefix += '/';
  sqlite3_stmt* list = Prepare("SELECT DISTINCT path FROM thumbnails WHERE substr(path, 1, ?) = ?");
  sqlite3_stmt* drop = Prepare("DELETE FROM thumbnails WHERE path = ?");
  if (!list || !drop) {
    sqlite3_finalize(list);
    sqlite3_finalize(drop);
    return;
  }
  sqlite3_bind_int(list, 1, int(prefix.size()));
  sqlite3_bind_blob(list, 2, prefix.constData(), int(prefix.size()), SQLITE_STATIC);
  std::vector<QByteArray> gone;
  int code;
  while ((code = sqlite3_step(list)) == SQLITE_ROW) {
    const QByteArray path(static_cast<const char*>(sqlite3_column_blob(list, 0)), sqlite3_column_bytes(list, 0));
    TFileStamp stamp;
    if (!Stamp(path, stamp)) gone.push_back(path);
  }
  sqlite3_finalize(list);
  if (code == SQLITE_DONE) {
    for (const QByteArray& path : gone) {
      sqlite3_reset(drop);
      sqlite3_bind_blob(drop, 1, path.constData(), int(path.size()), SQLITE_STATIC);
      code = sqlite3_step(drop);
      if (code != SQLITE_DONE) break;
    }
  }
  sqlite3_finalize(drop);
  if (code != SQLITE_DONE) Failed(code);
}

void TThumbnailCache::BeginBatch() {
  if (!m_db || m_inBatch) return;
  const int code = sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  if (code == SQLITE_OK)
    m_inBatch = true;
  else
    Failed(code);
}

void TThumbnailCache::EndBatch() {
  if (!m_db || !m_inBatch) return;
  m_inBatch = false;
  const int code = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
  if (code != SQLITE_OK) {
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    Failed(code);
  }
}
