#include "mosaic/MatchedMosaic.h"
#include "mosaic/WholeTint.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <set>
#include <vector>

#include "TestBitmaps.h"
#include "mosaic/LabColor.h"

using namespace testing_bitmaps;

namespace {

TThumbnailList ListOf(int size, const std::vector<TBitmap>& thumbs) {
  TThumbnailList list;
  list.SetHeight(size);
  list.SetWidth(size);
  for (const TBitmap& t : thumbs) EXPECT_GE(list.Add(t), 0);
  return list;
}

// The smallest distance, in cells in either direction, between two cells
// that show the same thumbnail.
int NearestRepeat(const TMatchPlacement& p) {
  int nearest = 1 << 30;
  for (int a = 0; a < p.Columns * p.Rows; ++a)
    for (int b = a + 1; b < p.Columns * p.Rows; ++b)
      if (p.Thumbnail[size_t(a)] == p.Thumbnail[size_t(b)])
        nearest = std::min(nearest,
                           std::max(std::abs(a % p.Columns - b % p.Columns), std::abs(a / p.Columns - b / p.Columns)));
  return nearest;
}

TMatchOptions Options(int cell, int repeat, int tint, TRandom* random) {
  TMatchOptions o;
  o.CellSize = cell;
  o.RepeatDistance = repeat;
  o.TintLimit = tint;
  o.Random = random;
  return o;
}

}  // namespace

TEST(MatchedMosaic, CellGetsTheNearestThumbnail) {
  // Solid thumbnails, and one split black | white that has the grey's
  // average but not its parts.
  TBitmap split = Solid(6, 6, clBlack);
  for (int y = 0; y < 6; ++y)
    for (int x = 3; x < 6; ++x) split.SetPixel(x, y, clWhite);
  const TThumbnailList list =
      ListOf(6, {Solid(6, 6, clRed), Solid(6, 6, RGBColor(0, 160, 0)), Solid(6, 6, clNavy),
                 Solid(6, 6, RGBColor(188, 188, 188)), split, Solid(6, 6, RGBColor(120, 20, 20))});
  const struct {
    const char* name;
    TBitmap target;
    int expected;
  } cases[] = {
      {"orange-red", Solid(6, 6, RGBColor(250, 40, 10)), 0},
      {"leaf green", Solid(6, 6, RGBColor(30, 140, 40)), 1},
      {"dark blue", Solid(6, 6, RGBColor(10, 0, 100)), 2},
      {"light grey", Solid(6, 6, RGBColor(180, 180, 180)), 3},
      {"black | white", split, 4},
      {"maroon", Solid(6, 6, RGBColor(100, 10, 10)), 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TBitmap image = c.target;
    TSeededRandom random(1);
    TMatchPlacement placement;
    ASSERT_TRUE(BuildMatchedMosaic(image, list, Options(6, 0, 0, &random), nullptr, &placement));
    ASSERT_EQ(placement.Thumbnail.size(), 1u);
    EXPECT_EQ(placement.Thumbnail[0], c.expected);
    EXPECT_TRUE(SamePixels(image, list.Entry(c.expected)));
  }
}

TEST(MatchedMosaic, CellsOfTheThumbnailsShape) {
  // 6 x 4 thumbnails, each with a pattern of its own, laid out in a grid on
  // the picture (cut short on the right and bottom): each cell, described
  // over its 6 x 4 pixels, finds the very thumbnail drawn there, untinted.
  std::vector<TBitmap> thumbs;
  for (int i = 0; i < 5; ++i) {
    TBitmap t = Solid(6, 4, RGBColor(40 * i, 200 - 35 * i, 60 + 30 * (i % 3)));
    for (int x = 0; x < 6; ++x) t.SetPixel(x, (x + i) % 4, RGBColor(255 - 40 * i, 30 * i, 90));
    thumbs.push_back(t);
  }
  TThumbnailList list;
  list.SetWidth(6);
  list.SetHeight(4);
  for (const TBitmap& t : thumbs) ASSERT_GE(list.Add(t), 0);
  const int columns = 8, rows = 6;  // 45 x 22: the last column 3 wide, the last row 2 high
  const auto drawn = [](int cx, int cy) { return (cx + 2 * cy) % 5; };
  TBitmap target = Solid(45, 22, clBlack);
  for (int cy = 0; cy < rows; ++cy)
    for (int cx = 0; cx < columns; ++cx) target.Draw(cx * 6, cy * 4, thumbs[size_t(drawn(cx, cy))]);
  TBitmap image = target;
  TSeededRandom random(2);
  TMatchOptions options = Options(6, 0, 0, &random);
  options.CellHeight = 4;
  TMatchPlacement placement;
  ASSERT_TRUE(BuildMatchedMosaic(image, list, options, nullptr, &placement));
  EXPECT_EQ(placement.Columns, columns);
  EXPECT_EQ(placement.Rows, rows);
  ASSERT_EQ(placement.Thumbnail.size(), size_t(columns * rows));
  for (int cy = 0; cy < rows - 1; ++cy)  // the last row is too short to tell its thumbnail
    for (int cx = 0; cx < columns - 1; ++cx)
      EXPECT_EQ(placement.Thumbnail[size_t(cy * columns + cx)], drawn(cx, cy)) << "cell " << cx << ", " << cy;
  for (int cy = 0; cy < rows; ++cy)
    for (int cx = 0; cx < columns; ++cx) {
      const int w = std::min(6, 45 - cx * 6), h = std::min(4, 22 - cy * 4);
      EXPECT_TRUE(SamePixels(Crop(image, cx * 6, cy * 4, w, h),
                             Crop(list.Entry(placement.Thumbnail[size_t(cy * columns + cx)]), 0, 0, w, h)))
          << "cell " << cx << ", " << cy;
    }
}

TEST(MatchedMosaic, NoRepeatWithinTheDistanceAndGracefulWhenTooFew) {
  // Greys 100, 101, ... on a grey-100 picture: without the rule every cell
  // would take thumbnail 0. With fewer thumbnails than the neighbourhood
  // holds, a repeat comes no nearer than the library allows: n thumbnails
  // always leave one unused within d - 1 cells when (2d - 1)^2 <= n.
  const struct {
    int columns, rows, library, repeat, nearest;
  } cases[] = {
      {12, 12, 9, 1, 2},      // enough for the rule
      {12, 12, 49, 3, 4},     // enough, the default distance
      {14, 14, 200, 6, 7},    // more candidates than a cell keeps: a full scan
      {20, 1, 3, 5, 2},       // one row, three thumbnails: never side by side
      {10, 10, 9, 3, 2},      // 9 of 49: never next to itself
      {10, 10, 25, 4, 3},     // 25 of 81: two cells apart at least
      {6, 6, 1, 2, 1},        // one thumbnail: every cell takes it
      {60, 1, 60, 1000, 26},  // a distance beyond the largest is the largest
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.library << " thumbnails, distance " << c.repeat);
    std::vector<TBitmap> thumbs;
    for (int i = 0; i < c.library; ++i) thumbs.push_back(Solid(4, 4, RGBColor(100 + i / 2, 100 + i / 3, 100 + i)));
    const TThumbnailList list = ListOf(4, thumbs);
    TBitmap image = Solid(c.columns * 4, c.rows * 4, RGBColor(100, 100, 100));
    TSeededRandom random(3);
    TMatchPlacement placement;
    ASSERT_TRUE(BuildMatchedMosaic(image, list, Options(4, c.repeat, 0, &random), nullptr, &placement));
    // With enough thumbnails a photo comes back as soon as the rule lets it
    // (the nearest colour wins); with too few, no nearer than promised.
    const int r = std::min(c.repeat, MaxRepeatDistance);
    if (c.library >= std::min(2 * r + 1, c.columns) * std::min(2 * r + 1, c.rows)) {
      EXPECT_EQ(NearestRepeat(placement), c.nearest);
    } else if (c.library > 1) {
      EXPECT_GE(NearestRepeat(placement), c.nearest);
    }
    EXPECT_TRUE(std::all_of(placement.Thumbnail.begin(), placement.Thumbnail.end(),
                            [&](int t) { return t >= 0 && t < c.library; }));
  }
}

TEST(MatchedMosaic, SameSeedSameMosaic) {
  std::vector<TBitmap> thumbs;
  for (int i = 0; i < 30; ++i) {
    TBitmap t = Numbered(5, 5);
    t.Fill(RGBColor(i * 8, 255 - i * 8, (i * 37) & 0xFF));
    t.SetPixel(i % 5, i / 6, clWhite);
    thumbs.push_back(t);
  }
  const TThumbnailList list = ListOf(5, thumbs);
  const TBitmap target = Numbered(43, 31);  // partial cells on the right and bottom
  const auto build = [&](std::uint64_t seed, int threads) {
    TBitmap image = target;
    TSeededRandom random(seed);
    TMatchOptions options = Options(5, 2, 25, &random);
    options.Threads = threads;
    EXPECT_TRUE(BuildMatchedMosaic(image, list, options, nullptr));
    return image;
  };
  const TBitmap first = build(11, 1);
  EXPECT_TRUE(SamePixels(build(11, 1), first));
  EXPECT_TRUE(SamePixels(build(11, 3), first));  // threads do not change the choice
  // The seed picks the corner and direction of the visit: among a few
  // seeds, other mosaics.
  int others = 0;
  for (std::uint64_t seed = 12; seed < 20; ++seed) others += !SamePixels(build(seed, 1), first);
  EXPECT_GE(others, 4);
}

TEST(MatchedMosaic, TintStaysWithinTheLimitAndGoesOnlyAsFarAsNeeded) {
  // Textured thumbnails of a few colours on a picture of many: cells whose
  // colour a thumbnail already has are left alone at any limit.
  std::vector<TBitmap> thumbs;
  for (int i = 0; i < 6; ++i) {
    TBitmap t = Solid(8, 8, RGBColor(40 * i, 200 - 30 * i, 90));
    for (int y = 0; y < 8; y += 2) t.SetPixel(y, 7 - y, RGBColor(40 * i, 230 - 30 * i, 120));
    thumbs.push_back(t);
  }
  const TThumbnailList list = ListOf(8, thumbs);
  TBitmap target = Numbered(45, 35);  // right and bottom cells are partial
  target.Draw(0, 0, list.Entry(2));   // the first cell is exactly a thumbnail
  for (int limit : {0, 25, 100}) {
    SCOPED_TRACE(::testing::Message() << "tint limit " << limit);
    TBitmap image = target;
    TSeededRandom random(5);
    TMatchPlacement placement;
    ASSERT_TRUE(BuildMatchedMosaic(image, list, Options(8, 0, limit, &random), nullptr, &placement));
    EXPECT_EQ(placement.Tint[0], 0);
    const int most = *std::max_element(placement.Tint.begin(), placement.Tint.end());
    if (limit <= 25) {
      EXPECT_EQ(most, limit);  // some cells are far from every thumbnail
    } else {
      EXPECT_GT(most, 25);
    }
    int untouched = 0;
    for (int cy = 0; cy < placement.Rows; ++cy)
      for (int cx = 0; cx < placement.Columns; ++cx) {
        const size_t i = size_t(cy * placement.Columns + cx);
        EXPECT_LE(placement.Tint[i], limit);
        const int w = std::min(8, 45 - cx * 8), h = std::min(8, 35 - cy * 8);
        const bool same =
            SamePixels(Crop(image, cx * 8, cy * 8, w, h), Crop(list.Entry(placement.Thumbnail[i]), 0, 0, w, h));
        EXPECT_EQ(same, placement.Tint[i] == 0) << "cell " << cx << ", " << cy;
        untouched += same;
      }
    if (limit == 0) {
      EXPECT_EQ(untouched, placement.Columns * placement.Rows);
    }
  }
}

// Both ends of the tint search, in both modes, on a flat grey tile over a
// flat cell of another grey. With the tolerance exactly the untinted
// distance the tile is close enough as it is; a hair under it, the least
// tint the search gives is needed (whole: one percent; light: a move of at
// most a percent of the way, which is at most 2.15 of the 215 levels between
// the greys); out of reach, the limit (light: a quarter of the way, 53.75
// levels).
TEST(MatchedMosaic, TintSearchStartsAtTheToleranceAndEndsAtTheLimit) {
  const int tileGrey = 20, cellGrey = 235;
  const auto& lin = SrgbToLinearTable();
  const auto lab = [&](int v) { return LinearRgbToLab(lin[size_t(v)], lin[size_t(v)], lin[size_t(v)]); };
  const float untinted = DeltaE76(lab(tileGrey), lab(cellGrey));
  const TBitmap tile = Solid(16, 16, RGBColor(tileGrey, tileGrey, tileGrey));
  const TColor cell = RGBColor(cellGrey, cellGrey, cellGrey);
  const struct {
    const char* name;
    float tolerance;
    int whole;                              // AdaptiveTint's percent
    int lightLow, lightHigh;                // the light tint's grey
    int lightPercentLow, lightPercentHigh;  // and the percent it reports
  } cases[] = {
      {"untinted at the tolerance", untinted, 0, tileGrey, tileGrey, 0, 0},
      {"untinted a hair outside", std::nextafter(untinted, 0.0f), 1, tileGrey + 1, tileGrey + 2, 0, 1},
      {"out of reach", 1.0f, 25, 74, 74, 25, 25},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TMatchOptions options = Options(16, 0, 25, nullptr);
    options.TintTolerance = c.tolerance;
    EXPECT_EQ(AdaptiveTint(tile, 16, 16, cell, options), c.whole);

    TBitmap image = Solid(16, 16, cell);
    TSeededRandom random(1);
    options.Random = &random;
    options.Tint = TTintMode::Light;
    TMatchPlacement placement;
    ASSERT_TRUE(BuildMatchedMosaic(image, ListOf(16, {tile}), options, nullptr, &placement));
    EXPECT_GE(placement.Tint[0], c.lightPercentLow);
    EXPECT_LE(placement.Tint[0], c.lightPercentHigh);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        const int grey = GetGValue(image.Pixel(x, y));
        ASSERT_TRUE(grey >= c.lightLow && grey <= c.lightHigh) << grey << " at " << x << "," << y;
      }
  }
}

TEST(MatchedMosaic, EmptyListOrNoCellChangesNothing) {
  TBitmap image = Numbered(10, 10);
  TThumbnailList empty = ListOf(5, {});
  int calls = 0;
  const TProgressProc count = [&](int) { ++calls; };
  EXPECT_FALSE(BuildMatchedMosaic(image, empty, Options(5, 3, 25, nullptr), count));
  EXPECT_FALSE(BuildMatchedMosaic(image, ListOf(5, {Solid(5, 5, clRed)}), Options(0, 3, 25, nullptr), count));
  EXPECT_TRUE(SamePixels(image, Numbered(10, 10)));
  EXPECT_EQ(calls, 0);
}

TEST(MatchedMosaic, ProgressRisesOncePerRowToTheEnd) {
  const TThumbnailList list = ListOf(5, {Solid(5, 5, clRed), Solid(5, 5, clBlue)});
  TBitmap image = Numbered(20, 50);  // 10 rows of cells
  std::vector<int> seen;
  TSeededRandom random(1);
  TMatchOptions options = Options(5, 1, 25, &random);
  options.Threads = 1;
  ASSERT_TRUE(BuildMatchedMosaic(image, list, options, [&](int p) { seen.push_back(p); }));
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(seen.size(), 20u);  // each row searched, then each row drawn
  EXPECT_EQ(seen.front(), 8);
  EXPECT_EQ(seen.back(), 98);
}

// The light tint: a textured grey tile laid over a cell that is dark on the
// left and light on the right takes the target's light, part by part, and
// keeps its own texture.
TEST(MatchedMosaic, LightTintFollowsTheTargetsLightAndKeepsTheTilesDetail) {
  TBitmap tile(16, 16, pf24bit);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const int v = (x + y) % 2 ? 138 : 118;  // a fine checkerboard around 128
      tile.SetPixel(x, y, RGBColor(v, v, v));
    }
  TBitmap target(16, 16, pf24bit);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) target.SetPixel(x, y, x < 8 ? RGBColor(40, 40, 40) : RGBColor(230, 230, 230));
  const TThumbnailList list = ListOf(16, {tile});
  // The mean pixel value of four columns.
  const auto side = [&](const TBitmap& b, int x0) {
    double sum = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = x0; x < x0 + 4; ++x) sum += GetGValue(b.Pixel(x, y));
    return sum / 64;
  };

  const struct {
    int limit;
    double mostMove;  // of the outer quarters' light, as a share of the way
  } cases[] = {{0, 0.0}, {25, 0.25}, {100, 1.0}};
  double previousLeft = 255;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.limit);
    TBitmap image = target;
    TSeededRandom random(1);
    TMatchOptions options = Options(16, 0, c.limit, &random);
    options.Tint = TTintMode::Light;
    options.TintTolerance = 0.5f;
    TMatchPlacement placement;
    ASSERT_TRUE(BuildMatchedMosaic(image, list, options, nullptr, &placement));
    EXPECT_NEAR(placement.Tint[0], c.limit, 1);
    // The outer quarters move towards their side of the target, no further
    // than the limit allows (the clamping at black can only shorten it).
    const double left = side(image, 0), right = side(image, 12), was = side(tile, 0);
    EXPECT_LE(left, was);
    EXPECT_GE(right, side(tile, 12));
    EXPECT_LE(was - left, c.mostMove * (was - side(target, 0)) + 0.5);
    EXPECT_LE(left, previousLeft);
    previousLeft = left;
    if (c.limit == 100) {
      EXPECT_NEAR(left, side(target, 0), 2);
      EXPECT_NEAR(right, side(target, 12), 2);
    }
    // The checkerboard is still there on both sides (the target's edge in
    // the middle is drawn over it): each pixel differs from its right
    // neighbour in the same direction as on the tile.
    for (int y = 0; y < 16; ++y)
      for (int x : {0, 1, 2, 3, 4, 11, 12, 13, 14}) {
        const bool darker = GetGValue(tile.Pixel(x, y)) < GetGValue(tile.Pixel(x + 1, y));
        EXPECT_EQ(GetGValue(image.Pixel(x, y)) < GetGValue(image.Pixel(x + 1, y)), darker) << x << "," << y;
      }
  }
}

// The figures measured while drawing are those of the finished mosaic
// against the picture it replaced, partial cells included.
TEST(MatchedMosaic, QualityMeasuredWhileDrawingIsThatOfTheResult) {
  std::vector<TBitmap> thumbs;
  for (int i = 0; i < 12; ++i) {
    TBitmap t = Numbered(8, 8);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) t.SetPixel(x, y, RGBColor(i * 20, (x + i) * 25, y * 30));
    thumbs.push_back(t);
  }
  const TThumbnailList list = ListOf(8, thumbs);
  for (TTintMode mode : {TTintMode::Whole, TTintMode::Light}) {
    const TBitmap target = Numbered(37, 21);
    TBitmap image = target;
    TSeededRandom random(3);
    TMatchOptions options = Options(8, 1, 25, &random);
    options.Tint = mode;
    TMatchPlacement placement;
    TMosaicQuality quality;
    ASSERT_TRUE(BuildMatchedMosaic(image, list, options, nullptr, &placement, &quality));
    const TMosaicQuality expected = MeasureMosaic(target, image, 8, 8, placement.Thumbnail, placement.Tint);
    EXPECT_EQ(quality.Cells, 15);
    EXPECT_DOUBLE_EQ(quality.Far.Mean, expected.Far.Mean);
    EXPECT_DOUBLE_EQ(quality.Near.P95, expected.Near.P95);
    EXPECT_EQ(quality.PhotosUsed, expected.PhotosUsed);
    EXPECT_GT(quality.Far.Mean, 0.0);
    EXPECT_GT(quality.MeanTint, 0.0);
  }
}
