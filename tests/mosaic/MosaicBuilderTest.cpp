#include "mosaic/MosaicBuilder.h"

#include <gtest/gtest.h>

#include <deque>
#include <stdexcept>
#include <vector>

#include "TestBitmaps.h"
#include "raster/ColorAdjust.h"

using namespace testing_bitmaps;

namespace {

// Plays back a fixed list of draws (taken modulo the bound) and counts calls.
class ScriptedRandom : public TRandom {
 public:
  explicit ScriptedRandom(std::vector<int> draws) : m_draws(draws.begin(), draws.end()) {}
  void Randomize() override { ++randomizes; }
  int Random(int bound) override {
    ++calls;
    if (m_draws.empty()) return 0;
    const int v = m_draws.front();
    m_draws.pop_front();
    return v % bound;
  }
  int calls = 0;
  int randomizes = 0;

 private:
  std::deque<int> m_draws;
};

TThumbnailList ListOf(int size, std::initializer_list<TBitmap> thumbs) {
  TThumbnailList list;
  list.SetHeight(size);
  list.SetWidth(size);
  for (const TBitmap& t : thumbs) EXPECT_GE(list.Add(t), 0);
  return list;
}

// What one cell must hold: the thumbnail after the two colour passes.
TBitmap ExpectedCell(const TBitmap& thumb, TColor cellColor) {
  TBitmap t(thumb);
  ColorizeBitmap(t, cellColor, 77, FullRect);
  ContrastBitmap(t, 12, FullRect);
  return t;
}

TColor TopLeft(const TBitmap& pic, int x, int y, int) { return pic.Pixel(x, y); }

TColor Corners(const TBitmap& pic, int x, int y, int cell) {
  const int xr = std::min(x + cell, pic.Width() - 1), yb = std::min(y + cell, pic.Height() - 1);
  int r = 0, g = 0, b = 0;
  for (TColor c : {pic.Pixel(x, y), pic.Pixel(xr, y), pic.Pixel(xr, yb), pic.Pixel(x, yb)}) {
    r += GetRValue(c);
    g += GetGValue(c);
    b += GetBValue(c);
  }
  return RGBColor(r / 4, g / 4, b / 4);
}

// Checks every pixel of the result against thumbnails chosen in `order`,
// coloured from the picture as it was before the build.
void ExpectMosaic(const TBitmap& before, const TBitmap& after, const TThumbnailList& list, int cell,
                  const std::vector<int>& order, TColor (*cellColor)(const TBitmap&, int, int, int)) {
  ASSERT_EQ(after.Width(), before.Width());
  ASSERT_EQ(after.Height(), before.Height());
  size_t k = 0;
  for (int y = 0; y < before.Height(); y += cell)
    for (int x = 0; x < before.Width(); x += cell, ++k) {
      ASSERT_LT(k, order.size());
      const TBitmap expected = ExpectedCell(list.Entry(order[k]), cellColor(before, x, y, cell));
      for (int dy = 0; dy < cell && y + dy < before.Height(); ++dy)
        for (int dx = 0; dx < cell && x + dx < before.Width(); ++dx)
          ASSERT_EQ(after.Pixel(x + dx, y + dy), expected.Pixel(dx, dy))
              << "cell (" << x << ", " << y << ") pixel (" << dx << ", " << dy << ")";
    }
  EXPECT_EQ(k, order.size());
}

}  // namespace

TEST(MosaicBuilder, CoversOddSizedPictureWithClippedCellsColouredFromOriginal) {
  for (bool antialias : {true, false}) {
    SCOPED_TRACE(antialias ? "antialias" : "top-left");
    const TThumbnailList list = ListOf(20, {Numbered(20, 20), Solid(20, 20, RGBColor(200, 10, 128))});
    TBitmap picture = Numbered(41, 41);
    const TBitmap before(picture);
    const std::vector<int> order = {0, 1, 0, 1, 0, 1, 0, 1, 0};
    ScriptedRandom random(order);
    TMosaicBuilder builder(picture, list, 20, antialias, random);
    ASSERT_TRUE(builder.BuildMosaic(nullptr));
    ExpectMosaic(before, picture, list, 20, order, antialias ? Corners : TopLeft);
    EXPECT_EQ(random.randomizes, 1);
  }
}

TEST(MosaicBuilder, ProgressOncePerRowOfCells) {
  const TThumbnailList list = ListOf(20, {Solid(20, 20, clGray)});
  struct Case {
    int height;
    std::vector<int> progress;
  } cases[] = {{100, {0, 20, 40, 60, 80}}, {1, {0}}, {41, {0, 50, 100}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.height);
    TBitmap picture = Solid(30, c.height, clWhite);
    std::vector<int> seen;
    TSeededRandom random(1);
    ASSERT_TRUE(BuildMosaic(
        picture, list, 20, true, [&](int p) { seen.push_back(p); }, &random));
    EXPECT_EQ(seen, c.progress);
  }
}

TEST(MosaicBuilder, AntialiasAveragesCornersWithShiftRightByTwo) {
  // Cell (0, 0) of a 40 x 40 picture at cell 20 samples (0,0), (20,0), (20,20), (0,20).
  TBitmap picture = Solid(40, 40, clBlack);
  picture.SetPixel(0, 0, RGBColor(255, 0, 0));
  TThumbnailList list = ListOf(20, {Solid(20, 20, clBlack)});
  TSeededRandom random(3);
  TMosaicBuilder builder(picture, list, 20, true, random);
  EXPECT_EQ(builder.CellColor(0, 0), RGBColor(63, 0, 0));
  // In the last column the right samples are the picture's last column.
  picture.SetPixel(39, 20, RGBColor(0, 0, 200));
  EXPECT_EQ(builder.CellColor(20, 20), RGBColor(0, 0, 50));
  // Narrower than a cell: every sample in column 0 or the last column.
  TBitmap narrow = Solid(3, 3, clBlack);
  narrow.SetPixel(2, 2, RGBColor(0, 100, 0));
  TMosaicBuilder thin(narrow, list, 20, true, random);
  EXPECT_EQ(thin.CellColor(0, 0), RGBColor(0, 25, 0));
}

TEST(MosaicBuilder, RedrawsThePreviousThumbnailAtMostThreeTimes) {
  const TThumbnailList two = ListOf(10, {Solid(10, 10, clRed), Solid(10, 10, clBlue)});
  TBitmap picture = Solid(20, 10, clWhite);
  TBitmap work;
  {
    // Second cell: 0 repeated, redrawn to 1.
    ScriptedRandom random({0, 0, 1});
    TMosaicBuilder builder(picture, two, 10, false, random);
    builder.PickThumbnail(work);
    builder.PickThumbnail(work);
    EXPECT_EQ(builder.PreviousThumbnail, 1);
    EXPECT_EQ(random.calls, 3);
    EXPECT_TRUE(SamePixels(work, two.Entry(1)));
    EXPECT_EQ(work.PixelFormat(), pf24bit);
  }
  {
    // Four hits on the previous index in a row: accepted anyway.
    ScriptedRandom random({1, 1, 1, 1, 1, 0});
    TMosaicBuilder builder(picture, two, 10, false, random);
    builder.PickThumbnail(work);
    builder.PickThumbnail(work);
    EXPECT_EQ(builder.PreviousThumbnail, 1);
    EXPECT_EQ(random.calls, 5);
  }
}

TEST(MosaicBuilder, SingleThumbnailFillsEveryCell) {
  const TThumbnailList list = ListOf(10, {Numbered(10, 10)});
  TBitmap picture = Numbered(35, 25);
  const TBitmap before(picture);
  ScriptedRandom random({});
  ASSERT_TRUE(BuildMosaic(picture, list, 10, false, nullptr, &random));
  ExpectMosaic(before, picture, list, 10, std::vector<int>(12, 0), TopLeft);
  // First cell one draw, each later cell one draw and three redraws.
  EXPECT_EQ(random.calls, 1 + 11 * 4);
}

TEST(MosaicBuilder, EmptyListChangesNothing) {
  TThumbnailList empty;
  TBitmap picture = Numbered(30, 30);
  const TBitmap before(picture);
  int progressCalls = 0;
  EXPECT_FALSE(BuildMosaic(picture, empty, 20, true, [&](int) { ++progressCalls; }));
  EXPECT_EQ(progressCalls, 0);
  EXPECT_TRUE(SamePixels(picture, before));
}

TEST(MosaicBuilder, ExceptionKeepsCellsDrawnSoFar) {
  const TThumbnailList list = ListOf(10, {Solid(10, 10, clBlack)});
  TBitmap picture = Solid(20, 30, clWhite);
  int changes = 0;
  picture.OnChange = [&] { ++changes; };
  TSeededRandom random(7);
  auto failOnSecondRow = [](int percent) {
    if (percent > 0) throw std::runtime_error("stop");
  };
  EXPECT_THROW(BuildMosaic(picture, list, 10, false, failOnSecondRow, &random), std::runtime_error);
  const TColor drawn = ExpectedCell(list.Entry(0), clWhite).Pixel(0, 0);
  EXPECT_EQ(picture.Pixel(19, 9), drawn);    // first row of cells done
  EXPECT_EQ(picture.Pixel(0, 10), clWhite);  // second row untouched
  EXPECT_EQ(changes, 1);                     // the view still hears of it
}

TEST(MosaicBuilder, SeedRepeatsTheMosaic) {
  TThumbnailList list = ListOf(10, {});
  for (int i = 0; i < 8; ++i) list.Add(Solid(10, 10, RGBColor(i * 30, 255 - i * 30, i * 10)));
  auto build = [&](std::uint64_t seed) {
    TBitmap picture = Numbered(60, 40);
    TSeededRandom random(seed);
    BuildMosaic(picture, list, 10, true, nullptr, &random);
    return picture;
  };
  EXPECT_TRUE(SamePixels(build(42), build(42)));
  EXPECT_FALSE(SamePixels(build(42), build(43)));
}
