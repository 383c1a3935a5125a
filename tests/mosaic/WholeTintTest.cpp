#include "mosaic/WholeTint.h"

#include <gtest/gtest.h>

#include "TestBitmaps.h"
#include "mosaic/LabColor.h"

using namespace testing_bitmaps;

TEST(WholeTint, AdaptiveTintIsTheSmallestThatReachesTheCell) {
  const TBitmap tile = Solid(10, 10, RGBColor(100, 100, 100));
  const auto& lin = SrgbToLinearTable();
  const auto lab = [&](int r, int g, int b) { return LinearRgbToLab(lin[size_t(r)], lin[size_t(g)], lin[size_t(b)]); };
  const struct {
    TColor target;
    int limit, expected;
  } cases[] = {
      {RGBColor(100, 100, 100), 100, 0},  // already there
      {RGBColor(101, 100, 100), 100, 0},  // within the tolerance
      {RGBColor(200, 100, 100), 25, 25},  // out of reach: the limit
      {RGBColor(200, 100, 100), 0, 0},
  };
  for (const auto& c : cases) {
    TMatchOptions options;
    options.TintLimit = c.limit;
    EXPECT_EQ(AdaptiveTint(tile, 10, 10, c.target, options), c.expected) << Hex(c.target) << " limit " << c.limit;
  }
  // Within reach: the tinted grey is close enough, one percent less is not.
  // Red t + (200 - t) * p div 100 with t = 100, then the contrast of p.
  TMatchOptions options;
  options.TintLimit = 100;
  options.ContrastPercent = 0;
  const int p = AdaptiveTint(tile, 10, 10, RGBColor(200, 100, 100), options);
  ASSERT_GT(p, 0);
  ASSERT_LT(p, 100);
  EXPECT_LE(DeltaE76(lab(100 + p, 100, 100), lab(200, 100, 100)), options.TintTolerance);
  EXPECT_GT(DeltaE76(lab(100 + p - 1, 100, 100), lab(200, 100, 100)), options.TintTolerance);
}
