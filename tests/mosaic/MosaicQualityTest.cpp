// The fidelity figures: a cell whose average is right but whose inside is
// wrong passes from afar and fails up close; uses and tint are counted from
// the placement.
#include <gtest/gtest.h>

#include <cmath>
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

// The far figure with cells that are not one colour inside, in pictures of
// black and white pixels only. An area whose share of white pixels is p is a
// grey of linear light p: its CIELAB lightness is 116 p^(1/3) - 16 (every p
// here is 0 or above (6/29)^3), a = b = 0, and the CIEDE2000 difference of
// two greys is their lightness difference over S_L at their mean lightness.
double GreyLightness(double p) { return p == 0 ? 0 : 116 * std::cbrt(p) - 16; }

double GreyDifference(double p, double q) {
  const double l1 = GreyLightness(p), l2 = GreyLightness(q);
  const double m = ((l1 + l2) / 2 - 50) * ((l1 + l2) / 2 - 50);
  return std::abs(l1 - l2) / (1 + 0.015 * m / std::sqrt(20 + m));
}

// Whether (x, y) of an 8 x 8 cell is white; the near figure's blocks are
// 2 x 2 and each pattern below is black or white over a whole block.
using TCellPattern = bool (*)(int x, int y);

void PaintCell(TBitmap& b, int x0, int y0, TCellPattern white) {
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) b.SetPixel(x0 + x, y0 + y, white(x, y) ? RGBColor(255, 255, 255) : RGBColor(0, 0, 0));
}

// One cell measured alone in the middle of a 3 x 3 cell picture, whose other
// cells are white in the target and black in the mosaic: a window off the
// cell, or a part of it, gives another figure than the whole cell.
TEST(MosaicQuality, FarFigureIsTheAverageOfTheWholeCell) {
  const TCellPattern black = [](int, int) { return false; };
  const TCellPattern blackLeft = [](int x, int) { return x >= 4; };
  const TCellPattern whiteLeft = [](int x, int) { return x < 4; };
  const TCellPattern blackTop = [](int, int y) { return y >= 4; };
  const TCellPattern blackTopLeft = [](int x, int y) { return x >= 4 || y >= 4; };
  const struct {
    const char* name;
    TCellPattern target, mosaic;
    double far;   // the cell's difference from afar
    double near;  // the mean of its 16 blocks': each 0 (alike) or 100 (black against white)
  } cases[] = {
      // The same average, other insides: nothing from afar, everything up close.
      {"halves mirrored", blackLeft, whiteLeft, 0, 100},
      {"halves turned", blackLeft, blackTop, 0, 50},
      // Part of the cell alike, the whole not.
      {"the left half alike", blackLeft, black, GreyDifference(0.5, 0), 50},
      {"the top-left quarter alike", blackTopLeft, black, GreyDifference(0.75, 0), 75},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TBitmap target = Solid(24, 24, RGBColor(255, 255, 255)), mosaic = Solid(24, 24, RGBColor(0, 0, 0));
    PaintCell(target, 8, 8, c.target);
    PaintCell(mosaic, 8, 8, c.mosaic);
    TQualityMeter meter;
    meter.Before(target, 8, 8, 8, 8);
    meter.After(mosaic, 8, 8, 8, 8);
    const TMosaicQuality q = meter.Result();
    EXPECT_EQ(q.Cells, 1);
    EXPECT_NEAR(q.Far.Mean, c.far, 0.01);
    EXPECT_NEAR(q.Far.P95, c.far, 0.01);
    EXPECT_NEAR(q.Near.Mean, c.near, 0.01);
    EXPECT_NEAR(q.Near.P95, 100, 0.01);
  }
}

// A 3 x 2 grid of 8 x 8 cells whose first n columns are white, n differing
// from cell to cell: each mosaic cell is measured against its own target
// cell, not a neighbour's.
TEST(MosaicQuality, EachCellIsMeasuredAgainstItsOwnTarget) {
  const int whiteColumns[2][3] = {{0, 2, 4}, {6, 8, 4}};
  const auto paint = [&](bool swapRows, bool mirror) {
    TBitmap b(24, 16, pf24bit);
    for (int cy = 0; cy < 2; ++cy)
      for (int cx = 0; cx < 3; ++cx) {
        const int n = whiteColumns[swapRows ? 1 - cy : cy][cx];
        for (int y = 0; y < 8; ++y)
          for (int x = 0; x < 8; ++x) {
            const bool white = mirror ? x >= 8 - n : x < n;
            b.SetPixel(cx * 8 + x, cy * 8 + y, white ? RGBColor(255, 255, 255) : RGBColor(0, 0, 0));
          }
      }
    return b;
  };
  const TBitmap target = paint(false, false);
  const struct {
    const char* name;
    TBitmap mosaic;
    double farMean, farP95, nearMean;
  } cases[] = {
      // Each cell's columns mirrored: every average kept. Up close 8, 16, 8,
      // 0 and 16 of the cells' 16 blocks differ (n = 2, 4, 6, 8, 4).
      {"cells mirrored", paint(false, true), 0, 0, 50},
      // The rows of cells swapped: the white shares 0 and 0.75, 0.25 and 1,
      // 0.5 and 0.5 meet twice each; up close 12, 12 and 0 blocks differ.
      {"rows swapped", paint(true, false), (GreyDifference(0, 0.75) + GreyDifference(0.25, 1)) / 3,
       GreyDifference(0, 0.75), 50},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TMosaicQuality q = MeasureMosaic(target, c.mosaic, 8, 8);
    EXPECT_EQ(q.Cells, 6);
    EXPECT_NEAR(q.Far.Mean, c.farMean, 0.01);
    EXPECT_NEAR(q.Far.P95, c.farP95, 0.01);
    EXPECT_NEAR(q.Near.Mean, c.nearMean, 0.01);
  }
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
