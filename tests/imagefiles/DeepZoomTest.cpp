#include "imagefiles/DeepZoom.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "TestFiles.h"
#include "imagefiles/JpegImage.h"

using namespace testing_files;

namespace {

// Light waving a few pixels apart (which JPEG keeps well) over a slow
// change of colour: a tile one pixel off, or in another place, differs
// clearly.
TColor Wave(int x, int y, int w, int h) {
  const int light = int(90 * std::sin(x / 2.5) * std::cos(y / 3.5));
  const int r = x * 200 / std::max(1, w - 1), b = y * 200 / std::max(1, h - 1);
  return RGBColor(std::clamp(r + light + 28, 0, 255), std::clamp(128 + light, 0, 255),
                  std::clamp(b + light + 28, 0, 255));
}

TBitmap WavePicture(int w, int h) {
  TBitmap b(w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.SetPixel(x, y, Wave(x, y, w, h));
  return b;
}

// Compared by their light: JPEG halves the colour's resolution, which on
// the smallest levels, a few pixels wide, moves the colours themselves.
double LumaDiff(TColor a, TColor b) {
  return std::abs(0.299 * (GetRValue(a) - GetRValue(b)) + 0.587 * (GetGValue(a) - GetGValue(b)) +
                  0.114 * (GetBValue(a) - GetBValue(b)));
}

// The source's mean over each clipped block of side `block`, as a viewer
// expects a level `block` times smaller to look.
TColor BlockMean(const TBitmap& source, int bx, int by, int block) {
  long sum[3] = {0, 0, 0}, n = 0;
  for (int y = by * block; y < std::min(source.Height(), (by + 1) * block); ++y)
    for (int x = bx * block; x < std::min(source.Width(), (bx + 1) * block); ++x) {
      const TColor c = source.Pixel(x, y);
      sum[0] += GetRValue(c), sum[1] += GetGValue(c), sum[2] += GetBValue(c), ++n;
    }
  return RGBColor(int((sum[0] + n / 2) / n), int((sum[1] + n / 2) / n), int((sum[2] + n / 2) / n));
}

struct TPyramidCase {
  int Width, Height, BandRows;
};

class DeepZoomTest : public ::testing::TestWithParam<TPyramidCase> {};

// Every level holds exactly its grid of tiles, each the size the format
// gives it (256 pixels plus the overlap on the sides with a neighbour), and
// shows the picture reduced to that level, the overlap included.
TEST_P(DeepZoomTest, EveryLevelTilesThePictureReducedToItsSize) {
  const TPyramidCase c = GetParam();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const TBitmap source = WavePicture(c.Width, c.Height);
  TDeepZoomWriter writer(dir.path(), QStringLiteral("pic"));
  ASSERT_TRUE(WriteInBands(source, writer, c.BandRows)) << writer.Error().toStdString();

  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            (QStringList{QStringLiteral("pic.dzi"), QStringLiteral("pic_files")}));
  EXPECT_EQ(AsQByteArray(ReadFileBytes(dir.path() + QStringLiteral("/pic.dzi"))),
            QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<Image xmlns=\"http://schemas.microsoft.com/deepzoom/2008\" TileSize=\"256\" Overlap=\"1\" "
                       "Format=\"jpg\">\n  <Size Width=\"") +
                QByteArray::number(c.Width) + "\" Height=\"" + QByteArray::number(c.Height) + "\"/>\n</Image>\n");

  const int maxLevel = int(std::ceil(std::log2(std::max(c.Width, c.Height))));
  EXPECT_EQ(QDir(dir.path() + QStringLiteral("/pic_files")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(),
            maxLevel + 1);
  for (int level = 0; level <= maxLevel; ++level) {
    const int block = 1 << (maxLevel - level);
    const int w = (c.Width + block - 1) / block, h = (c.Height + block - 1) / block;
    const int columns = (w + 255) / 256, rows = (h + 255) / 256;
    const QString folder = dir.path() + QStringLiteral("/pic_files/%1/").arg(level);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), columns * rows) << "level " << level;
    for (int row = 0; row < rows; ++row)
      for (int column = 0; column < columns; ++column) {
        SCOPED_TRACE(testing::Message() << "level " << level << " tile " << column << "_" << row);
        const TBitmap tile =
            LoadAs<TJpegImage>(ReadFileBytes(folder + QStringLiteral("%1_%2.jpg").arg(column).arg(row)));
        const int left = std::max(0, column * 256 - 1), top = std::max(0, row * 256 - 1);
        ASSERT_EQ(tile.Width(), std::min(w, (column + 1) * 256 + 1) - left);
        ASSERT_EQ(tile.Height(), std::min(h, (row + 1) * 256 + 1) - top);
        double diff = 0;
        for (int y = 0; y < tile.Height(); ++y)
          for (int x = 0; x < tile.Width(); ++x)
            diff += LumaDiff(tile.Pixel(x, y), BlockMean(source, left + x, top + y, block));
        EXPECT_LE(diff / (tile.Width() * tile.Height()), 5.0);
      }
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, DeepZoomTest,
                         ::testing::Values(TPyramidCase{1, 1, 1}, TPyramidCase{256, 256, 256},
                                           TPyramidCase{257, 513, 7}, TPyramidCase{700, 300, 100},
                                           TPyramidCase{93, 1030, 1000}));

// Each tile is the JPEG that the picture's save writes of the same pixels
// at the pyramid's quality: the tiles of a row, encoded on several threads
// by encoders reused tile after tile, take nothing from one another.
TEST(DeepZoomWriterTest, TilesAreTheSaveBytesOfTheirPixels) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const TBitmap source = WavePicture(700, 300);
  TDeepZoomWriter writer(dir.path(), QStringLiteral("pic"), 70);
  ASSERT_TRUE(WriteInBands(source, writer, 64)) << writer.Error().toStdString();
  struct TTile {
    int Column, Row, Left, Top, Width, Height;
  };
  const TTile tiles[] = {{0, 0, 0, 0, 257, 257},
                         {1, 0, 255, 0, 258, 257},
                         {2, 0, 511, 0, 189, 257},
                         {0, 1, 0, 255, 257, 45},
                         {2, 1, 511, 255, 189, 45}};
  for (const TTile& t : tiles) {
    SCOPED_TRACE(testing::Message() << "tile " << t.Column << "_" << t.Row);
    TBitmap pixels(t.Width, t.Height, pf24bit);
    for (int y = 0; y < t.Height; ++y)
      std::memcpy(pixels.ScanLine(y), source.ScanLine(t.Top + y) + 3 * t.Left, size_t(3 * t.Width));
    TJpegImage jpeg;
    jpeg.Bitmap().Assign(&pixels);
    jpeg.Options.JpegQuality = 70;
    TByteBuffer expected;
    jpeg.SaveToBytes(expected);
    EXPECT_EQ(ReadFileBytes(dir.path() + QStringLiteral("/pic_files/10/%1_%2.jpg").arg(t.Column).arg(t.Row)), expected);
  }
}

// A stopped pyramid leaves nothing, and the old one of the same name stays
// until a new one is complete, which then replaces it whole (no level of
// the larger picture is left behind).
TEST(DeepZoomWriterTest, AbandonedLeavesNothingAndFinishedReplacesWhole) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const auto files = [&] {
    QStringList all;
    QDirIterator it(dir.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) all << it.next().mid(dir.path().size() + 1);
    all.sort();
    return all;
  };
  TDeepZoomWriter first(dir.path(), QStringLiteral("pic"));
  ASSERT_TRUE(WriteInBands(WavePicture(600, 40), first, 16));
  const QStringList large = files();
  ASSERT_TRUE(large.contains(QStringLiteral("pic_files/10/2_0.jpg")));

  TDeepZoomWriter stopped(dir.path(), QStringLiteral("pic"));
  ASSERT_TRUE(stopped.Begin(20, 20));
  ASSERT_TRUE(stopped.Write(WavePicture(20, 10), 0));
  stopped.Abandon();
  EXPECT_EQ(files(), large);

  TDeepZoomWriter second(dir.path(), QStringLiteral("pic"));
  ASSERT_TRUE(WriteInBands(WavePicture(20, 10), second, 4));
  QStringList small{QStringLiteral("pic.dzi")};
  for (int level = 0; level <= 5; ++level) small << QStringLiteral("pic_files/%1/0_0.jpg").arg(level);
  EXPECT_EQ(files(), small);

  // Another output of the same picture failing after the pyramid was
  // finished takes the pyramid with it.
  struct TFailingFinish : TBandSink {
    bool Begin(int, int) override { return true; }
    bool Write(const TBitmap&, int) override { return true; }
    bool Finish() override { return false; }
    void Abandon() override {}
    QString Error() const override { return QStringLiteral("disk full"); }
  } failing;
  TDeepZoomWriter third(dir.path(), QStringLiteral("pic"));
  TBandTee tee({&third, &failing});
  EXPECT_FALSE(WriteInBands(WavePicture(20, 10), tee, 4));
  EXPECT_EQ(files(), QStringList{});
}

// Only strips of tile rows are held: a picture far taller than the budget
// allows in one piece is written band by band within it.
TEST(DeepZoomWriterTest, MemoryDoesNotGrowWithTheHeight) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  // 768 MB whole; the budget leaves room for the address sanitizer's
  // quarantine of freed memory (256 MB) and the encoding threads.
  constexpr int Width = 64, Height = 4000000;
  const TBitmap band = WavePicture(Width, 1000);
  const int status = RunWithDataBudget(std::uint64_t(560) << 20, [&] {
    TDeepZoomWriter writer(dir.path(), QStringLiteral("tall"));
    if (!writer.Begin(Width, Height)) return 1;
    for (int top = 0; top < Height; top += band.Height())
      if (!writer.Write(band, top)) return 2;
    return writer.Finish() ? 0 : 3;
  });
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(QFile::exists(dir.path() + QStringLiteral("/tall_files/22/0_15624.jpg")));
}

}  // namespace

namespace {

// The room a pyramid is refused for is never less than what it takes: a
// picture of noise (the largest tiles JPEG makes), at sizes that leave
// narrow edge tiles and one-pixel levels, on the disk as the file system
// counts it (whole blocks).
TEST(DeepZoomWriterTest, BytesNeededBoundWhatThePyramidTakes) {
  const struct { int Width, Height; } cases[] = {{1, 1}, {257, 3}, {700, 513}};
  std::uint32_t state = 12345;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Width << " x " << c.Height);
    TBitmap noise(c.Width, c.Height, pf24bit);
    for (int y = 0; y < c.Height; ++y)
      for (int x = 0; x < c.Width; ++x) {
        state = state * 1664525u + 1013904223u;
        noise.SetPixel(x, y, TColor(state >> 8 & 0xFFFFFF));
      }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TDeepZoomWriter writer(dir.path(), QStringLiteral("noise"), 100);
    ASSERT_TRUE(WriteInBands(noise, writer, 256, {}));
    std::uint64_t taken = 0, tiles = 0;
    for (QDirIterator it(dir.path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
      const QFileInfo file(it.next());
      taken += (std::uint64_t(file.size()) + 4095) / 4096 * 4096;
      ++tiles;
    }
    ASSERT_GT(tiles, 1u);
    EXPECT_LE(taken, DeepZoomBytesNeeded(c.Width, c.Height));
    // Not so loose that a page which fits would be refused.
    EXPECT_LE(DeepZoomBytesNeeded(c.Width, c.Height), 4 * taken + 64 * 1024);
  }
}

}  // namespace
