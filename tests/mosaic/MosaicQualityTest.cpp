// The fidelity figures: a cell whose average is right but whose inside is
// wrong passes from afar and fails up close; uses and tint are counted from
// the placement.
#include <gtest/gtest.h>

#include <stdexcept>

#include "TestBitmaps.h"
#include "mosaic/LabColor.h"
#include "mosaic/MosaicQuality.h"

using namespace testing_bitmaps;

namespace {

// Linear-light mid grey: the average of black and white seen from afar.
const TColor kMidGrey = RGBColor(188, 188, 188);

// 8 x 8 cells of a 16 x 8 picture: the left cell half black, half white
// (left and right), the right cell as given.
TBitmap TwoCells(TColor right) {
  TBitmap b = Solid(16, 8, right);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) b.SetPixel(x, y, x < 4 ? RGBColor(0, 0, 0) : RGBColor(255, 255, 255));
  return b;
}

TEST(MosaicQuality, AnInsideThatDiffersShowsOnlyUpClose) {
  const TBitmap target = Solid(16, 8, kMidGrey);
  const TMosaicQuality q = MeasureMosaic(target, TwoCells(kMidGrey), 8, 8, {3, 3}, {10, 30});
  EXPECT_EQ(q.Cells, 2);
  EXPECT_LT(q.Far.Mean, 0.5);
  // Half the blocks of one cell are black, half white: 16 of 32 far off.
  EXPECT_GT(q.Near.Mean, 15.0);
  EXPECT_GT(q.Near.P95, 50.0);
  EXPECT_EQ(q.PhotosUsed, 1);
  EXPECT_EQ(q.MostUses, 2);
  EXPECT_DOUBLE_EQ(q.MeanTint, 20.0);

  const TMosaicQuality same = MeasureMosaic(target, target, 8, 8);
  EXPECT_EQ(same.Far.Mean, 0.0);
  EXPECT_EQ(same.Near.P95, 0.0);
  EXPECT_EQ(same.PhotosUsed, 0);
}

TEST(MosaicQuality, PartialCellsAndCellsSmallerThanTheBlocks) {
  // 5 x 3 cells of a 7 x 4 picture: a full cell, a 2-wide, a 1-high ... each
  // measured over what it covers, each block at least a pixel.
  TBitmap mosaic = Solid(7, 4, RGBColor(0, 0, 0));
  mosaic.SetPixel(6, 3, RGBColor(255, 255, 255));
  const TMosaicQuality q = MeasureMosaic(Solid(7, 4, RGBColor(0, 0, 0)), mosaic, 5, 3);
  EXPECT_EQ(q.Cells, 4);
  // Only the last cell (2 x 1) differs: half white from afar, a white block up close.
  EXPECT_GT(q.Far.P95, 40.0);
  EXPECT_NEAR(q.Far.Mean, q.Far.P95 / 4, 1e-9);
  EXPECT_GT(q.Near.P95, 90.0);
}

TEST(MosaicQuality, PercentileByNearestRank) {
  const struct {
    std::vector<double> values;
    double mean, p95;
  } cases[] = {{{}, 0, 0}, {{4}, 4, 4}, {{5, 1, 3}, 3, 5}, {std::vector<double>(19, 1.0), 1, 1}};
  for (const auto& c : cases) {
    const TDistanceFigures f = Figures(c.values);
    EXPECT_DOUBLE_EQ(f.Mean, c.mean);
    EXPECT_DOUBLE_EQ(f.P95, c.p95);
  }
  std::vector<double> hundred;
  for (int i = 1; i <= 100; ++i) hundred.push_back(i);
  EXPECT_DOUBLE_EQ(Figures(hundred).P95, 95.0);
  EXPECT_THROW(MeasureMosaic(Solid(4, 4, 0), Solid(4, 5, 0), 2, 2), std::invalid_argument);
}

}  // namespace
