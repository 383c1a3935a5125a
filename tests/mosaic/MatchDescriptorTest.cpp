#include "mosaic/MatchDescriptor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>

#include "mosaic/LabColor.h"

// The descriptor on colours whose CIELAB values are published (sRGB, D65):
// lightness as it is, hue kept, chroma C compressed to ln(1 + 0.045 C) /
// 0.045, so that pure red's 104.55 comes to 38.70 while a grey keeps its
// nought. Each of the 16 parts of a tile takes one of them in turn: the
// parts come row by row.
TEST(MatchDescriptor, CielabWithItsChromaCompressed) {
  const struct {
    TColor colour;
    TLab lab;
  } colours[] = {
      {RGBColor(255, 0, 0), {53.2408f, 80.0925f, 67.2032f}},
      {RGBColor(0, 255, 0), {87.7347f, -86.1827f, 83.1793f}},
      {RGBColor(0, 0, 255), {32.2970f, 79.1875f, -107.8602f}},
      {RGBColor(119, 119, 119), {50.03f, 0, 0}},
      {RGBColor(255, 255, 255), {100, 0, 0}},
  };
  const auto colourOfPart = [&](int part) { return colours[size_t(part) % std::size(colours)]; };
  TBitmap tile(8, 8, pf24bit);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) tile.SetPixel(x, y, colourOfPart(y / 2 * MatchGrid + x / 2).colour);
  const TTileDescriptor d = DescribeArea(tile, 0, 0, 8, 8);
  for (int part = 0; part < MatchGrid * MatchGrid; ++part) {
    SCOPED_TRACE(::testing::Message() << "part " << part);
    const TLab& lab = colourOfPart(part).lab;
    const double chroma = std::hypot(lab.a, lab.b);
    const double scale = chroma > 0 ? std::log1p(0.045 * chroma) / (0.045 * chroma) : 1;
    EXPECT_NEAR(d[size_t(part) * 3], lab.L, 0.02);
    EXPECT_NEAR(d[size_t(part) * 3 + 1], lab.a * scale, 0.02);
    EXPECT_NEAR(d[size_t(part) * 3 + 2], lab.b * scale, 0.02);
  }
  EXPECT_NEAR(std::hypot(d[1], d[2]), 38.70, 0.01);
}
