#include "dialogs/MosaicOptions.h"

#include <gtest/gtest.h>

namespace {

// A poster fitted to the mosaic: the scale that reaches the resolution, the
// tile's printed sides and the warnings, in either unit.
TEST(PosterPrint, ScaleTileSizeAndWarnings) {
  struct Case {
    const char* name;
    double width, height;
    bool inches;
    int dpi, pictureWidth, pictureHeight, cell;
    TTileAspect aspect;
    int needed, scale;
    bool isShort;
    double tileWidth, tileHeight;
    bool tooSmall;
  };
  const Case cases[] = {
      // 0.1 cm a pixel at 150 dpi is 5.9 pixels: 6.
      {"cm", 80, 60, false, 150, 800, 600, 20, {1, 1}, 6, 6, false, 2, 2, false},
      // The narrower fit wins: the height's 0.1 cm, not the width's 0.15.
      {"fitted", 120, 60, false, 150, 800, 600, 20, {1, 1}, 6, 6, false, 2, 2, false},
      {"half a centimetre", 40, 30, false, 300, 800, 600, 10, {1, 1}, 6, 6, false, 0.5, 0.5, true},
      {"inches", 20, 15, true, 300, 800, 600, 20, {1, 1}, 8, 8, false, 0.5, 0.5, false},
      {"beyond the cap", 100, 75, true, 300, 800, 600, 20, {1, 1}, 38, 8, true, 2.5, 2.5, false},
      {"smaller than the picture", 10, 10, false, 72, 800, 600, 20, {1, 1}, 1, 1, false, 0.25, 0.25, true},
      // Exactly 5 pixels and exactly 1 cm: no rounding up, no warning.
      {"exact", 5, 5, false, 254, 100, 100, 20, {1, 1}, 5, 5, false, 1, 1, false},
      // Whole enlargements that the arithmetic puts a rounding error above:
      // 56 cm at 254 dpi from 800 pixels comes to 7.000000000000001, 30.48 cm
      // at 200 dpi to 3.0000000000000004, 14 inches at 200 dpi from 400
      // pixels to 7.000000000000001. The poster needs the whole number.
      {"7 and a rounding error", 56, 42, false, 254, 800, 600, 20, {1, 1}, 7, 7, false, 1.4, 1.4, false},
      {"3 and a rounding error", 30.48, 22.86, false, 200, 800, 600, 20, {1, 1}, 3, 3, false, 0.762, 0.762, true},
      {"7 and a rounding error, inches", 14, 10.5, true, 200, 400, 300, 20, {1, 1}, 7, 7, false, 0.7, 0.7, false},
      // A real fraction above a whole number, however small, needs the next:
      // 7.00125 (a hundredth of a centimetre more) and 7.00025 (a
      // thousandth of an inch more).
      {"7.00125", 56.01, 42.01, false, 254, 800, 600, 20, {1, 1}, 8, 8, false, 1.40025, 1.40025, false},
      {"7.00025", 28.001, 21.001, true, 200, 800, 600, 20, {1, 1}, 8, 8, false, 0.700025, 0.700025, false},
      // A 4:3 tile of cell 40 is 40 x 30: its shorter side prints under 1 cm.
      {"shape", 10, 10, false, 254, 400, 400, 40, {4, 3}, 3, 3, false, 1, 0.75, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TPosterPrint p =
        PosterPrint(c.width, c.height, c.inches, c.dpi, c.pictureWidth, c.pictureHeight, c.cell, c.aspect);
    EXPECT_EQ(p.NeededScale, c.needed);
    EXPECT_EQ(p.Scale, c.scale);
    EXPECT_EQ(p.Short, c.isShort);
    EXPECT_NEAR(p.TileWidth, c.tileWidth, 1e-9);
    EXPECT_NEAR(p.TileHeight, c.tileHeight, 1e-9);
    EXPECT_EQ(p.TooSmall, c.tooSmall);
  }
}

// The poster is sized on the mosaic "Check size" makes: a small picture is
// first enlarged to 80 cells.
TEST(PosterPrint, BaseSizeFollowsCheckSize) {
  int w = 0, h = 0;
  MosaicBaseSize(400, 300, 20, true, w, h);
  EXPECT_EQ(w, 1600);
  EXPECT_EQ(h, 1200);
  MosaicBaseSize(400, 300, 20, false, w, h);
  EXPECT_EQ(w, 400);
  EXPECT_EQ(h, 300);
}

}  // namespace
