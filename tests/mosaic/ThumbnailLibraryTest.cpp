#include "mosaic/ThumbnailLibrary.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include "TestBitmaps.h"
#include "TestFiles.h"
#include "app/InterfaceTexts.h"
#include "app/MyMsgDlg.h"
#include "imagefiles/PictureFiles.h"
#include "raster/RectUtils.h"

using namespace testing_bitmaps;
using testing_files::RunWithDataBudget;

namespace {

class ThumbnailLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    previous = SetMsgPresenter([this](const TMsgRequest& r) {
      warnings.push_back(r.Text);
      return int(idOk);
    });
  }
  void TearDown() override { SetMsgPresenter(previous); }
  QString Folder() const { return dir.path(); }
  void Write(const QString& name, const TBitmap& picture) {
    TPictureFileContext files;
    ASSERT_EQ(SavePicture(files, dir.filePath(name), picture), 1) << name.toStdString();
  }
  void WriteJunk(const QString& name) {
    QFile f(dir.filePath(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("this is not a picture");
  }
  QStringList Found(const QString& masks) {
    QStringList names;
    FindFiles(Folder(), masks, [&](const QString& folder, const QString& name) {
      EXPECT_TRUE(folder.endsWith(u'/'));
      names.append(name);
      return true;
    });
    return names;
  }
  struct Load {
    TThumbnailList list;
    std::vector<int> counts;
    TThumbnailLoadResult result;
  };
  Load LoadWith(int threads, int cell = 10) {
    Load load;
    TThumbnailLoadOptions options;
    options.CellSize = cell;
    options.Threads = threads;
    load.result = LoadThumbnails(load.list, Folder(), options, [&](int n) { load.counts.push_back(n); });
    return load;
  }

  QTemporaryDir dir;
  std::vector<QString> warnings;
  TMsgPresenter previous;
};

}  // namespace

TEST_F(ThumbnailLibrary, FindFilesByMaskThenName) {
  for (const char* n : {"b.png", "a.PNG", "photo.JPG", "photo.jpgx", "c.gif", "x.jpeg", "notes.txt", ".hidden.bmp"})
    WriteJunk(QString::fromLatin1(n));
  ASSERT_TRUE(QDir(Folder()).mkdir("sub.png"));  // folders are never reported
  EXPECT_EQ(Found(QString::fromLatin1(ThumbnailMasks)),
            (QStringList{"a.PNG", "b.png", "photo.JPG", "x.jpeg", ".hidden.bmp", "c.gif"}));
  EXPECT_EQ(Found(" *.gif ; *.png"), (QStringList{"c.gif", "a.PNG", "b.png"}));
  int calls = 0;
  FindFiles(Folder(), "*.png;*.gif", [&](const QString&, const QString&) { return ++calls < 2; });
  EXPECT_EQ(calls, 2);  // false stops the enumeration, across masks too
  calls = 0;
  FindFiles(dir.filePath("missing"), "*.png", [&](const QString&, const QString&) { return ++calls > 0; });
  EXPECT_EQ(calls, 0);
}

TEST_F(ThumbnailLibrary, SquaresEveryPictureAt24Bits) {
  TBitmap wide = Solid(300, 100, clRed);
  for (int y = 0; y < 100; ++y)
    for (int x = 150; x < 300; ++x) wide.SetPixel(x, y, clBlue);
  Write("a.png", wide);
  TBitmap palette = Numbered(16, 16);  // 256 distinct colours: stored as an 8-bit GIF
  Write("b.gif", palette);
  const Load load = LoadWith(1, 20);
  ASSERT_EQ(load.list.Count(), 2);
  EXPECT_EQ(load.counts, (std::vector<int>{1, 2}));
  const TBitmap& squashed = load.list.Entry(0);
  EXPECT_EQ(squashed.Width(), 20);
  EXPECT_EQ(squashed.Height(), 20);
  EXPECT_EQ(squashed.Pixel(0, 10), clRed);  // squashed, not cropped
  EXPECT_EQ(squashed.Pixel(19, 10), clBlue);
  EXPECT_EQ(load.list.Entry(1).PixelFormat(), pf24bit);
  EXPECT_TRUE(warnings.empty());
}

TEST_F(ThumbnailLibrary, UnreadableFileEndsTheLoad) {
  Write("a.png", Solid(5, 5, clRed));
  WriteJunk("b.png");
  Write("c.png", Solid(5, 5, clBlue));
  Write("d.bmp", Solid(5, 5, clLime));
  for (int threads : {1, 3}) {
    const Load load = LoadWith(threads);
    EXPECT_EQ(load.list.Count(), 1) << threads;
    EXPECT_EQ(load.counts, std::vector<int>{1});
  }
}

// A named pipe or a link to a device among the thumbnails is an unreadable
// file like any other: the load stops there instead of waiting for a writer
// or reading without end (in a child, so a regression fails instead of hanging).
TEST_F(ThumbnailLibrary, PipesAndDevicesEndTheLoadAtOnce) {
  Write("a.png", Solid(5, 5, clRed));
  Write("c.png", Solid(5, 5, clBlue));
  // The PNG files come first, so a JPEG stops the load after both of them.
  const std::pair<const char*, int> cases[] = {{"b.png", 1}, {"b.jpg", 2}};
  for (const auto& [special, loaded] : cases) {
    SCOPED_TRACE(special);
    const QString path = dir.filePath(QString::fromLatin1(special));
    ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    for (int threads : {1, 3})
      EXPECT_EQ(RunWithDataBudget(testing_files::ReaderMemoryBudget,
                                  [&] {
                                    alarm(20);
                                    return LoadWith(threads).list.Count();
                                  }),
                loaded)
          << threads;
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path));
    EXPECT_EQ(RunWithDataBudget(testing_files::ReaderMemoryBudget,
                                [&] {
                                  alarm(20);
                                  return LoadWith(1).list.Count();
                                }),
              loaded);
    ASSERT_TRUE(QFile::remove(path));
  }
}

// A load that gives nothing says why in its result, for the caller to show;
// the loader itself shows nothing.
TEST_F(ThumbnailLibrary, NothingLoadedSaysWhyAndShowsNothing) {
  const QString head = QStringLiteral("No thumbnail in the list !\nFolder \"%1\": ").arg(Folder());
  EXPECT_EQ(LoadWith(2).result.NoThumbnail, head + QStringLiteral("holds no PNG, JPEG, BMP or GIF file"));
  WriteJunk("a.png");
  Write("b.png", Solid(5, 5, clRed));
  const Load load = LoadWith(2);
  EXPECT_EQ(load.list.Count(), 0);
  EXPECT_TRUE(load.result.NoThumbnail.startsWith(head + QStringLiteral("its first picture \"a.png\" cannot be read (")))
      << load.result.NoThumbnail.toStdString();
  Write("a.png", Solid(5, 5, clRed));
  EXPECT_EQ(LoadWith(2).result.NoThumbnail, QString());
  EXPECT_TRUE(warnings.empty());
}

TEST_F(ThumbnailLibrary, ParallelLoadGivesTheOneByOneResult) {
  const char* formats[] = {"png", "jpg", "bmp", "gif"};
  for (int i = 0; i < 23; ++i) {
    TBitmap picture = Numbered(20 + i, 12 + 2 * i);
    picture.SetPixel(0, 0, RGBColor(i * 10, 255 - i, 3 * i));
    Write(QStringLiteral("p%1.%2").arg(i, 2, 10, QLatin1Char('0')).arg(QLatin1String(formats[i % 4])), picture);
  }
  WriteJunk("p19.png");  // a file in the middle of the order that cannot be read
  const Load one = LoadWith(1);
  // PNG files first, in name order: p00, p04, p08, p12, p16, then p19 stops the load.
  ASSERT_EQ(one.list.Count(), 5);
  EXPECT_EQ(one.counts, (std::vector<int>{1, 2, 3, 4, 5}));
  for (int threads : {2, 4, 16}) {
    SCOPED_TRACE(threads);
    const Load many = LoadWith(threads);
    EXPECT_EQ(many.counts, one.counts);
    ASSERT_EQ(many.list.Count(), one.list.Count());
    for (int i = 0; i < one.list.Count(); ++i) EXPECT_TRUE(SamePixels(many.list.Entry(i), one.list.Entry(i))) << i;
  }
}

TEST(ThumbnailJpegScale, LargestReductionThatStillCoversTheCell) {
  const struct {
    int width, height, cell, scale;
  } cases[] = {
      {200, 90, 20, 2},     // 1/4 gives 50 x 22; 1/8 would leave 11 rows
      {90, 200, 20, 2},     // the same standing up
      {160, 160, 20, 3},    // 1/8 gives exactly the cell
      {159, 159, 20, 2},    // 1/8 would give 19
      {40, 40, 20, 1},      //
      {39, 39, 20, 0},      // half would be 19
      {4000, 3000, 10, 3},  // never beyond 1/8
      {2000, 30, 15, 1},    // the short side decides
      {0, 0, 20, 0},        // no size read from the header
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " at cell " << c.cell);
    EXPECT_EQ(ThumbnailJpegScale(c.width, c.height, c.cell), c.scale);
  }
}

TEST_F(ThumbnailLibrary, FastJpegDecodesAtTheReducedScale) {
  Write("big.jpg", Numbered(200, 90));
  const QString path = dir.filePath("big.jpg");
  // The square the load must give at each decoding scale: a 200 x 90 file at
  // cell 20 decodes at 1/4 (50 x 23) before the squash.
  auto squareAt = [&](int scale) {
    TBitmap picture;
    EXPECT_TRUE(DecodePictureFile(path, picture, scale));
    picture.SetPixelFormat(pf24bit);
    ScaleBitmap(20, 20, picture);
    return picture;
  };
  const TBitmap quarter = squareAt(2);
  ASSERT_FALSE(SamePixels(quarter, squareAt(0)));  // the scales can be told apart
  ASSERT_FALSE(SamePixels(quarter, squareAt(3)));
  for (bool fast : {true, false}) {
    SCOPED_TRACE(fast ? "fast" : "full size");
    TThumbnailList list;
    TThumbnailLoadOptions options;
    options.CellSize = 20;
    options.FastJpeg = fast;
    LoadThumbnails(list, Folder(), options, nullptr);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_TRUE(SamePixels(list.Entry(0), fast ? quarter : squareAt(0)));
  }
}
