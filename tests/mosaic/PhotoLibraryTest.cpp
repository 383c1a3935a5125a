#include "mosaic/PhotoLibrary.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "TestBitmaps.h"
#include "app/FileNames.h"
#include "imagefiles/PictureFiles.h"

using namespace testing_bitmaps;

namespace {

class PhotoLibrary : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }
  QString Path(const QString& name) const { return dir.filePath(name); }
  void Write(const QString& name, const TBitmap& picture) {
    QDir().mkpath(QFileInfo(Path(name)).absolutePath());
    TPictureFileContext context;
    context.ShowFileErrors = false;
    ASSERT_EQ(SavePicture(context, Path(name), picture), 1) << name.toStdString();
  }
  void WriteJunk(const QString& name) {
    QDir().mkpath(QFileInfo(Path(name)).absolutePath());
    QFile f(Path(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("this is not a picture");
  }
  struct Loaded {
    TThumbnailList list;
    std::vector<TTileDescriptor> descriptors;
    TPhotoLibraryLoad load;
    std::vector<std::pair<int, int>> progress;
  };
  Loaded LoadFrom(const QString& folder, bool recursive, TThumbnailCache* cache = nullptr, bool crop = false,
                  int cellHeight = 0) {
    Loaded l;
    TPhotoLibraryOptions options;
    options.Load.CellSize = 10;
    options.Load.CellHeight = cellHeight;
    options.Load.CropSquare = crop;
    options.Recursive = recursive;
    options.Cache = cache;
    l.load = LoadPhotoLibrary(l.list, l.descriptors, folder, options,
                              [&](int done, int found) { l.progress.emplace_back(done, found); });
    return l;
  }
  QStringList Relative(const QStringList& files) const {
    QStringList names;
    for (const QString& f : files) names.append(QDir(dir.path()).relativeFilePath(f));
    return names;
  }

  QTemporaryDir dir;
};

TEST_F(PhotoLibrary, NestedFoldersAreReadInAStableOrder) {
  for (const char* name : {"lib/b.png", "lib/a.JPG", "lib/z/c.gif", "lib/m/n/d.bmp", "lib/m/e.png", "lib/.h/f.png"})
    WriteJunk(QString::fromLatin1(name));
  WriteJunk("lib/notes.txt");
  ASSERT_EQ(symlink("..", QFile::encodeName(Path("lib/m/loop")).constData()), 0);  // read once, not forever
  EXPECT_EQ(Relative(FindPhotos(Path("lib"), false)), (QStringList{"lib/a.JPG", "lib/b.png"}));
  EXPECT_EQ(Relative(FindPhotos(Path("lib"), true)),
            (QStringList{"lib/a.JPG", "lib/b.png", "lib/.h/f.png", "lib/m/e.png", "lib/m/n/d.bmp", "lib/z/c.gif"}));
  EXPECT_TRUE(FindPhotos(Path("missing"), true).isEmpty());

  // A name that is not UTF-8 comes back as the very bytes it has.
  const QByteArray latin1 = EncodeFileName(Path("lib/z/")) + "caf\xe9.png";
  const int fd = ::open(latin1.constData(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ::close(fd);
  const QStringList found = FindPhotos(Path("lib/z"), false);
  ASSERT_EQ(found.size(), 2);
  EXPECT_EQ(EncodeFileName(found[1]), latin1);
}

TEST_F(PhotoLibrary, UnreadableFilesAreSkippedAndNamed) {
  Write("lib/a.png", Solid(8, 8, clRed));
  WriteJunk("lib/b.png");
  Write("lib/sub/c.png", Solid(8, 8, clBlue));
  WriteJunk("lib/sub/d.jpg");
  const Loaded l = LoadFrom(Path("lib"), true);
  EXPECT_EQ(l.load.Found, 4);
  EXPECT_EQ(l.load.Skipped, 2);
  EXPECT_EQ(Relative(l.load.SkippedFiles), (QStringList{"lib/b.png", "lib/sub/d.jpg"}));
  EXPECT_EQ(Relative(l.load.Loaded), (QStringList{"lib/a.png", "lib/sub/c.png"}));  // the list's order
  ASSERT_EQ(l.list.Count(), 2);
  ASSERT_EQ(l.descriptors.size(), 2u);
  EXPECT_EQ(l.list.Entry(0).Pixel(5, 5), clRed);
  EXPECT_EQ(l.list.Entry(1).Pixel(5, 5), clBlue);
  EXPECT_EQ(l.progress.back(), std::make_pair(4, 4));  // files done of files found
  EXPECT_LT(l.descriptors[1][2], l.descriptors[0][2] - 50) << "blue lies towards -b, red towards +b";
}

TEST_F(PhotoLibrary, CachedSquaresAreTheFreshOnesAndChangesAreSeen) {
  TBitmap photo = Numbered(40, 30);
  Write("lib/a.png", photo);
  Write("lib/b.png", Solid(30, 30, clGreen));
  TThumbnailCache cache(Path("cache/t.sqlite"));
  // Squashed, cropped to the square, then cropped to 3:2 and 2:3 tiles: each
  // shape its own tiles, decoded once and then taken from the cache.
  const struct {
    bool crop;
    int height;
  } modes[] = {{false, 0}, {true, 0}, {true, 7}, {true, 15}};
  for (const auto& m : modes) {
    SCOPED_TRACE(::testing::Message() << (m.crop ? "crop" : "squash") << " height " << m.height);
    const Loaded fresh = LoadFrom(Path("lib"), false, &cache, m.crop, m.height);
    EXPECT_EQ(fresh.load.FromCache, 0);
    const Loaded again = LoadFrom(Path("lib"), false, &cache, m.crop, m.height);
    EXPECT_EQ(again.load.FromCache, 2);
    ASSERT_EQ(again.list.Count(), 2);
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(again.list.Entry(i).Height(), m.height > 0 ? m.height : 10);
      EXPECT_TRUE(SamePixels(again.list.Entry(i), fresh.list.Entry(i)));
      EXPECT_EQ(again.descriptors[size_t(i)], fresh.descriptors[size_t(i)]);
    }
    // Described over the whole tile, not a square of its width.
    const TBitmap& tile = again.list.Entry(0);
    EXPECT_EQ(again.descriptors[0], DescribeArea(tile, 0, 0, tile.Width(), tile.Height()));
  }
  // An edited photo is decoded again; the other still comes from the cache.
  Write("lib/b.png", Solid(30, 30, clYellow));
  const timespec later[2] = {{2000000000, 0}, {2000000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(Path("lib/b.png")).constData(), later, 0), 0);
  const Loaded edited = LoadFrom(Path("lib"), false, &cache);
  EXPECT_EQ(edited.load.FromCache, 1);
  EXPECT_EQ(edited.list.Entry(1).Pixel(3, 3), clYellow);
  // The bar counts the cached photo as done from the start, and the decoded
  // one on top of it: it ends at every file found.
  ASSERT_FALSE(edited.progress.empty());
  EXPECT_EQ(edited.progress.front(), std::make_pair(1, 2));
  EXPECT_EQ(edited.progress.back(), std::make_pair(2, 2));
}

// A photo edited after its decode but before its square is stored is
// decoded again next time: the row keeps the stamp found before the decode.
// The last progress call comes once every decode is done and before the
// cache is written.
TEST_F(PhotoLibrary, APhotoEditedDuringTheLoadIsDecodedAgain) {
  Write("lib/a.png", Solid(30, 30, clGreen));
  Write("lib/b.png", Solid(30, 30, clRed));
  TThumbnailCache cache(Path("cache/t.sqlite"));
  TPhotoLibraryOptions options;
  options.Load.CellSize = 10;
  options.Cache = &cache;
  TThumbnailList list;
  std::vector<TTileDescriptor> descriptors;
  bool edited = false;
  const TPhotoLibraryLoad first = LoadPhotoLibrary(list, descriptors, Path("lib"), options, [&](int done, int found) {
    if (done == found && !edited) {
      Write("lib/b.png", Solid(32, 30, clYellow));  // another size: another stamp
      edited = true;
    }
  });
  ASSERT_TRUE(edited);
  EXPECT_EQ(first.FromCache, 0);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Entry(1).Pixel(3, 3), clRed);  // decoded before the edit
  const Loaded next = LoadFrom(Path("lib"), false, &cache);
  EXPECT_EQ(next.load.FromCache, 1);
  ASSERT_EQ(next.list.Count(), 2);
  EXPECT_EQ(next.list.Entry(1).Pixel(3, 3), clYellow);
}

}  // namespace
