#include "mosaic/MosaicBuilder.h"

#include <gtest/gtest.h>

#include <deque>
#include <stdexcept>
#include <vector>

#include "TestBitmaps.h"

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

// One channel t of a black (0) or white (255) thumbnail after the two colour
// passes towards the cell's channel c: t' = t + (c - t) * 77 div 100, then
// t' + (t' - 128) * 12 div 100, clamped to 0..255. Worked by hand, so that a
// change in the colour tables' rounding shows.
int Pulled(int t, int c) {
  const struct {
    int t, c, result;
  } table[] = {
      {0, 0, 0},        // 0, then 0 - 15, clamped
      {0, 100, 71},     // 77, then 77 - 6
      {0, 150, 114},    // 115, then 115 - 1
      {0, 200, 157},    // 154, then 154 + 3
      {0, 255, 204},    // 196, then 196 + 8
      {255, 0, 51},     // 255 - 196 = 59, then 59 - 8
      {255, 100, 136},  // 255 - 119 = 136, then 136 + 0
      {255, 150, 180},  // 255 - 80 = 175, then 175 + 5
      {255, 200, 223},  // 255 - 42 = 213, then 213 + 10
      {255, 255, 255},  // 255, then 255 + 15, clamped
  };
  for (const auto& e : table)
    if (e.t == t && e.c == c) return e.result;
  ADD_FAILURE() << "no worked value for t = " << t << ", c = " << c;
  return -1;
}

TColor PulledColor(int t, TColor cell) {
  return RGBColor(Pulled(t, GetRValue(cell)), Pulled(t, GetGValue(cell)), Pulled(t, GetBValue(cell)));
}

// Black and white thumbnails whose halves show where a cell was clipped.
TBitmap LeftBlack(int size) {
  TBitmap b = Solid(size, size, clWhite);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size / 2; ++x) b.SetPixel(x, y, clBlack);
  return b;
}
TBitmap TopWhite(int size) {
  TBitmap b = Solid(size, size, clBlack);
  for (int y = 0; y < size / 2; ++y)
    for (int x = 0; x < size; ++x) b.SetPixel(x, y, clWhite);
  return b;
}

// A picture of solid cell-sized blocks, row by row, in the given colours.
TBitmap Blocks(int w, int h, int cell, const std::vector<TColor>& colours) {
  const int columns = (w + cell - 1) / cell;
  TBitmap b(w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.SetPixel(x, y, colours[size_t((y / cell) * columns + x / cell)]);
  return b;
}

// Checks every pixel of the result: cell k shows thumbnail order[k] (black
// and white only) pulled towards cellColours[k], clipped at the picture's
// right and bottom edges.
void ExpectMosaic(const TBitmap& after, const TThumbnailList& list, int cell, const std::vector<int>& order,
                  const std::vector<TColor>& cellColours) {
  size_t k = 0;
  for (int y = 0; y < after.Height(); y += cell)
    for (int x = 0; x < after.Width(); x += cell, ++k) {
      ASSERT_LT(k, order.size());
      ASSERT_LT(k, cellColours.size());
      const TBitmap& thumb = list.Entry(order[k]);
      for (int dy = 0; dy < cell && y + dy < after.Height(); ++dy)
        for (int dx = 0; dx < cell && x + dx < after.Width(); ++dx)
          ASSERT_EQ(after.Pixel(x + dx, y + dy), PulledColor(GetRValue(thumb.Pixel(dx, dy)), cellColours[k]))
              << "cell (" << x << ", " << y << ") pixel (" << dx << ", " << dy << ")";
    }
  EXPECT_EQ(k, order.size());
}

}  // namespace

TEST(MosaicBuilder, CoversOddSizedPictureWithClippedCellsColouredFromOriginal) {
  // 41 x 41 at cell 20: 3 x 3 cells, the last column and row one pixel wide.
  const TThumbnailList list = ListOf(20, {LeftBlack(20), TopWhite(20)});
  const std::vector<int> order = {0, 1, 0, 1, 0, 1, 0, 1, 0};
  {
    SCOPED_TRACE("top-left");
    // Blocks of 20: every cell's top-left pixel is its block's colour.
    const std::vector<TColor> colours = {
        RGBColor(0, 100, 200),   RGBColor(255, 200, 100), RGBColor(100, 255, 0),
        RGBColor(200, 0, 255),   RGBColor(150, 150, 150), RGBColor(0, 0, 0),
        RGBColor(255, 255, 255), RGBColor(100, 150, 200), RGBColor(200, 100, 0),
    };
    TBitmap picture = Blocks(41, 41, 20, colours);
    ScriptedRandom random(order);
    TMosaicBuilder builder(picture, list, 20, false, random);
    ASSERT_TRUE(builder.BuildMosaic(nullptr));
    EXPECT_EQ(random.randomizes, 1);
    ExpectMosaic(picture, list, 20, order, colours);
  }
  {
    SCOPED_TRACE("antialias");
    // Grey 200 with black at (20, 20) and (40, 40). The samples lie on the
    // grid x, y in {0, 20, 40}, clamped to the last column and row:
    // cell (0, 0) sees one black of four, 150; cell (20, 20) two, 100; the
    // last column's cells sample only column 40; cell (40, 40) only black.
    TBitmap picture = Solid(41, 41, RGBColor(200, 200, 200));
    picture.SetPixel(20, 20, clBlack);
    picture.SetPixel(40, 40, clBlack);
    const int grey[] = {150, 150, 200, 150, 100, 100, 200, 100, 0};
    std::vector<TColor> colours;
    for (int g : grey) colours.push_back(RGBColor(g, g, g));
    ScriptedRandom random(order);
    TMosaicBuilder builder(picture, list, 20, true, random);
    ASSERT_TRUE(builder.BuildMosaic(nullptr));
    ExpectMosaic(picture, list, 20, order, colours);
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
  const TThumbnailList list = ListOf(10, {LeftBlack(10)});
  std::vector<TColor> colours;
  for (int k = 0; k < 12; ++k) colours.push_back(k % 2 ? RGBColor(100, 255, 0) : RGBColor(200, 150, 0));
  TBitmap picture = Blocks(35, 25, 10, colours);
  ScriptedRandom random({});
  ASSERT_TRUE(BuildMosaic(picture, list, 10, false, nullptr, &random));
  ExpectMosaic(picture, list, 10, std::vector<int>(12, 0), colours);
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
  TSeededRandom random(7);
  auto failOnSecondRow = [](int percent) {
    if (percent > 0) throw std::runtime_error("stop");
  };
  EXPECT_THROW(BuildMosaic(picture, list, 10, false, failOnSecondRow, &random), std::runtime_error);
  const TColor drawn = RGBColor(204, 204, 204);  // black pulled towards white
  EXPECT_EQ(picture.Pixel(19, 9), drawn);        // first row of cells done
  EXPECT_EQ(picture.Pixel(0, 10), clWhite);      // second row untouched
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
