#include "mosaic/ThumbnailCache.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include "TestBitmaps.h"

using namespace testing_bitmaps;

namespace {

class ThumbnailCache : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }
  QString Path(const QString& name) const { return dir.filePath(name); }
  QString CacheFile() const { return Path(QStringLiteral("cache/thumbnails.sqlite")); }
  // A "photograph": only its bytes, size and time matter to the cache.
  void WritePhoto(const QString& name, const QByteArray& bytes) {
    QFile f(Path(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }
  static void SetTime(const QString& path, time_t seconds) {
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
  }
  static TCachedThumbnail Thumb(int cell, int seed, int height = 0) {
    TCachedThumbnail t;
    t.Square = Numbered(cell, height > 0 ? height : cell);
    t.Square.SetPixel(0, 0, RGBColor(seed, 0, 0));
    t.Descriptor = {std::uint8_t(seed), 1, 2, 3};
    return t;
  }
  static ::testing::AssertionResult Hit(TThumbnailCache& cache, const QString& path, const TThumbnailCacheMode& mode,
                                        const TCachedThumbnail& expected) {
    TCachedThumbnail got;
    if (!cache.Find(path, mode, got)) return ::testing::AssertionFailure() << "no hit";
    if (got.Descriptor != expected.Descriptor) return ::testing::AssertionFailure() << "descriptor differs";
    return SamePixels(got.Square, expected.Square);
  }
  static bool Miss(TThumbnailCache& cache, const QString& path, const TThumbnailCacheMode& mode) {
    TCachedThumbnail got;
    return !cache.Find(path, mode, got);
  }

  QTemporaryDir dir;
};

TEST_F(ThumbnailCache, KeepsSquaresAcrossRunsPerCellAndMode) {
  WritePhoto("a.jpg", "first photo");
  const TThumbnailCacheMode cell20{20, false, false};
  const TCachedThumbnail a20 = Thumb(20, 7);
  {
    TThumbnailCache cache(CacheFile());
    ASSERT_TRUE(cache.Usable());
    EXPECT_TRUE(Miss(cache, Path("a.jpg"), cell20));
    cache.BeginBatch();
    cache.Store(Path("a.jpg"), cell20, a20);
    cache.EndBatch();
  }
  TThumbnailCache later(CacheFile());
  EXPECT_TRUE(Hit(later, Path("a.jpg"), cell20, a20));
  // Spelled another way, the same file.
  EXPECT_TRUE(Hit(later, dir.path() + QStringLiteral("/./a.jpg"), cell20, a20));
  EXPECT_TRUE(Miss(later, Path("a.jpg"), {40, false, false}));
  EXPECT_TRUE(Miss(later, Path("a.jpg"), {20, true, false}));
  EXPECT_TRUE(Miss(later, Path("a.jpg"), {20, false, true}));
  // Another mode is kept beside the first, not over it.
  const TCachedThumbnail cropped = Thumb(20, 9);
  later.Store(Path("a.jpg"), {20, true, false}, cropped);
  EXPECT_TRUE(Hit(later, Path("a.jpg"), {20, true, false}, cropped));
  EXPECT_TRUE(Hit(later, Path("a.jpg"), cell20, a20));
  // Each of the four modes keeps its own: a cropped square is never served
  // for a fast-decoded whole photo, nor the other way.
  const TThumbnailCacheMode modes[] = {{20, false, false}, {20, true, false}, {20, false, true}, {20, true, true}};
  for (int i = 0; i < 4; ++i) later.Store(Path("a.jpg"), modes[i], Thumb(20, 20 + i));
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(testing::Message() << (modes[i].Crop ? "cropped" : "whole") << (modes[i].FastJpeg ? ", fast" : ""));
    EXPECT_TRUE(Hit(later, Path("a.jpg"), modes[i], Thumb(20, 20 + i)));
  }
}

// Tiles of another shape than the square are kept beside the squares of the
// same cell: a square is never served for a 4:3 tile, nor the other way.
TEST_F(ThumbnailCache, KeepsEachTileShapeApart) {
  WritePhoto("a.jpg", "photo");
  const TThumbnailCacheMode square{20, true, false}, wide{20, true, false, 15}, high{15, true, false, 20};
  TThumbnailCache cache(CacheFile());
  cache.Store(Path("a.jpg"), square, Thumb(20, 1));
  EXPECT_TRUE(Miss(cache, Path("a.jpg"), wide));
  EXPECT_TRUE(Miss(cache, Path("a.jpg"), high));
  cache.Store(Path("a.jpg"), wide, Thumb(20, 2, 15));
  cache.Store(Path("a.jpg"), high, Thumb(15, 3, 20));
  cache.Store(Path("a.jpg"), wide, Thumb(20, 4));  // a square offered as a 4:3 tile: refused
  EXPECT_TRUE(Hit(cache, Path("a.jpg"), square, Thumb(20, 1)));
  EXPECT_TRUE(Hit(cache, Path("a.jpg"), wide, Thumb(20, 2, 15)));
  EXPECT_TRUE(Hit(cache, Path("a.jpg"), high, Thumb(15, 3, 20)));
  // A square's height given outright is the square.
  EXPECT_TRUE(Hit(cache, Path("a.jpg"), {20, true, false, 20}, Thumb(20, 1)));
}

TEST_F(ThumbnailCache, AChangedPhotoIsDecodedAgainAndAVanishedOneDropped) {
  WritePhoto("a.jpg", "first photo");
  WritePhoto("b.jpg", "second photo");
  SetTime(Path("a.jpg"), 1000000);
  SetTime(Path("b.jpg"), 1000000);
  const TThumbnailCacheMode mode{10, false, false};
  TThumbnailCache cache(CacheFile());
  cache.Store(Path("a.jpg"), mode, Thumb(10, 1));
  cache.Store(Path("b.jpg"), mode, Thumb(10, 2));

  SetTime(Path("a.jpg"), 1000001);  // touched, same size
  EXPECT_TRUE(Miss(cache, Path("a.jpg"), mode));
  WritePhoto("b.jpg", "second photo, edited");  // same time, other size
  SetTime(Path("b.jpg"), 1000000);
  EXPECT_TRUE(Miss(cache, Path("b.jpg"), mode));
  cache.Store(Path("a.jpg"), mode, Thumb(10, 3));
  EXPECT_TRUE(Hit(cache, Path("a.jpg"), mode, Thumb(10, 3)));

  // Edited while it was being decoded: stored with the stamp found before the
  // decode, so the next run decodes it again.
  WritePhoto("c.jpg", "third photo");
  SetTime(Path("c.jpg"), 1000000);
  TFileStamp before;
  TCachedThumbnail none;
  cache.Find(Path("c.jpg"), mode, none, &before);
  SetTime(Path("c.jpg"), 1000001);
  cache.Store(Path("c.jpg"), mode, Thumb(10, 6), &before);
  EXPECT_TRUE(Miss(cache, Path("c.jpg"), mode));

  // Gone, then back with the very size and time: only a dropped row misses.
  cache.Store(Path("b.jpg"), mode, Thumb(10, 4));
  ASSERT_TRUE(QFile::rename(Path("b.jpg"), Path("b.away")));
  cache.DropMissing(dir.path());
  ASSERT_TRUE(QFile::rename(Path("b.away"), Path("b.jpg")));
  EXPECT_TRUE(Miss(cache, Path("b.jpg"), mode));
  EXPECT_TRUE(Hit(cache, Path("a.jpg"), mode, Thumb(10, 3)));
}

// Runs sql on a database file of its own.
void Exec(const QString& file, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(QFile::encodeName(file).constData(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

TEST_F(ThumbnailCache, ADamagedOrForeignFileIsRebuilt) {
  WritePhoto("a.jpg", "photo");
  const TThumbnailCacheMode mode{20, false, false};
  struct Case {
    const char* name;
    std::function<void(const QString& file)> spoil;
  } cases[] = {
      {"not a database",
       [](const QString& file) {
         QFile f(file);
         ASSERT_TRUE(f.open(QIODevice::WriteOnly));
         f.write(QByteArray(5000, 'x'));
       }},
      {"cut short",
       [](const QString& file) {
         QFile f(file);
         ASSERT_TRUE(f.open(QIODevice::ReadWrite));
         ASSERT_TRUE(f.resize(f.size() / 3));
       }},
      {"pages overwritten",
       [](const QString& file) {
         QFile f(file);
         ASSERT_TRUE(f.open(QIODevice::ReadWrite));
         ASSERT_TRUE(f.seek(4096));
         f.write(QByteArray(f.size() - 4096, char(0xA5)));
       }},
      {"another layout", [](const QString& file) { Exec(file, "DROP TABLE thumbnails; CREATE TABLE t(x);"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QFile::remove(CacheFile());
    {
      TThumbnailCache cache(CacheFile());
      cache.BeginBatch();
      for (int i = 0; i < 40; ++i) {  // several pages of rows
        WritePhoto(QStringLiteral("p%1.jpg").arg(i), "photo");
        cache.Store(Path(QStringLiteral("p%1.jpg").arg(i)), mode, Thumb(20, i));
      }
      cache.EndBatch();
    }
    c.spoil(CacheFile());
    TThumbnailCache cache(CacheFile());
    TCachedThumbnail got;
    for (int i = 0; i < 40 && cache.Usable(); ++i) cache.Find(Path(QStringLiteral("p%1.jpg").arg(i)), mode, got);
    ASSERT_TRUE(cache.Usable());
    cache.Store(Path("a.jpg"), mode, Thumb(20, 5));
    EXPECT_TRUE(Hit(cache, Path("a.jpg"), mode, Thumb(20, 5)));
  }
}

TEST_F(ThumbnailCache, ALockedOrUnplaceableCacheIsDoneWithout) {
  WritePhoto("a.jpg", "photo");
  const TThumbnailCacheMode mode{20, false, false};
  {
    TThumbnailCache cache(CacheFile());
    cache.Store(Path("a.jpg"), mode, Thumb(20, 1));
  }
  {
    // Another run in the middle of writing holds the file.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(CacheFile()).constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    TThumbnailCache cache(CacheFile());
    EXPECT_TRUE(Miss(cache, Path("a.jpg"), mode));
    cache.Store(Path("a.jpg"), mode, Thumb(20, 2));
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
  }
  TThumbnailCache after(CacheFile());
  EXPECT_TRUE(Hit(after, Path("a.jpg"), mode, Thumb(20, 1))) << "the other run's file was kept";

  // The cache folder's place is taken by a file.
  WritePhoto("blocked", "a file");
  TThumbnailCache nowhere(Path("blocked/thumbnails.sqlite"));
  EXPECT_FALSE(nowhere.Usable());
  nowhere.Store(Path("a.jpg"), mode, Thumb(20, 1));
  EXPECT_TRUE(Miss(nowhere, Path("a.jpg"), mode));
}

}  // namespace
