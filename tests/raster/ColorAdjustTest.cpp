#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "TestBitmaps.h"
#include "raster/ColorAdjust.h"

using namespace testing_bitmaps;

namespace {

// Naive 3 x 3 box blur read from an untouched copy, with coordinates clamped
// to the rectangle: the same result as the in-place row buffers must give.
TBitmap ReferenceBlur(const TBitmap& src, TRect r) {
  TBitmap out(src);
  for (int y = r.Top; y < r.Bottom; ++y)
    for (int x = r.Left; x < r.Right; ++x) {
      int sum[3] = {0, 0, 0};
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const int sx = std::clamp(x + dx, r.Left, r.Right - 1), sy = std::clamp(y + dy, r.Top, r.Bottom - 1);
          const TColor c = src.Pixel(sx, sy);
          sum[0] += GetRValue(c);
          sum[1] += GetGValue(c);
          sum[2] += GetBValue(c);
        }
      out.SetPixel(x, y, RGBColor(sum[0] / 9, sum[1] / 9, sum[2] / 9));
    }
  return out;
}

// Pixels with no linear pattern, so that a blur changes interior pixels too.
TBitmap Noisy(int w, int h) {
  TBitmap b(w, h, pf24bit);
  std::uint32_t s = 12345;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      s = s * 1103515245u + 12345u;
      b.SetPixel(x, y, TColor((s >> 8) & 0xFFFFFF));
    }
  return b;
}

TBitmap Grey(std::initializer_list<std::initializer_list<int>> rows) {
  const int h = int(rows.size()), w = int(rows.begin()->size());
  TBitmap b(w, h, pf24bit);
  int y = 0;
  for (const auto& row : rows) {
    int x = 0;
    for (int v : row) b.SetPixel(x++, y, RGBColor(v, v, v));
    ++y;
  }
  return b;
}

TBitmap Mirrored(const TBitmap& src) {
  TBitmap out(src.Width(), src.Height(), pf24bit);
  for (int y = 0; y < src.Height(); ++y)
    for (int x = 0; x < src.Width(); ++x) out.SetPixel(src.Width() - 1 - x, y, src.Pixel(x, y));
  return out;
}

TBitmap Transposed(const TBitmap& src) {
  TBitmap out(src.Height(), src.Width(), pf24bit);
  for (int y = 0; y < src.Height(); ++y)
    for (int x = 0; x < src.Width(); ++x) out.SetPixel(y, x, src.Pixel(x, y));
  return out;
}

// Two rows: row 0 dark over columns 0..n+1, row 1 dark over columns 0..1.
// The step of row 1 leaves a run of n light pixels (columns 2..n+1) that lie
// under dark pixels of row 0.
TBitmap Staircase(int n) {
  TBitmap b = Solid(n + 4, 2, clWhite);
  for (int x = 0; x <= n + 1; ++x) b.SetPixel(x, 0, clBlack);
  b.SetPixel(0, 1, clBlack);
  b.SetPixel(1, 1, clBlack);
  return b;
}

// Grey levels of a row (red byte; the masks are grey).
std::vector<int> RowLevels(const TBitmap& b, int y, int from, int to) {
  std::vector<int> v;
  for (int x = from; x < to; ++x) v.push_back(GetRValue(b.Pixel(x, y)));
  return v;
}

}  // namespace

// ---- lookup tables and the mosaic cell arithmetic ----

TEST(ColorAdjustTables, ColorizeEntries) {
  struct Case {
    int target, percent, in, out;
  } cases[] = {
      {40, 77, 200, 77},    // 200 + (-12320 div 100)
      {255, 77, 0, 196},    // 0 + 19635 div 100
      {0, -100, 100, 200},  // pushed away from the target
      {40, -100, 40, 40},   // a channel equal to the target stays
      {0, -100, 200, 255},  // clamped high
      {255, -100, 50, 0},   // clamped low
      {123, 100, 7, 123},   // 100 percent is the target itself
      {0, 1, 99, 99},       // -0.99 truncates to 0
      {0, 1, 100, 99},
  };
  for (const Case& c : cases) {
    TChannelTable t;
    BuildColorizeTable(t, c.target, c.percent);
    EXPECT_EQ(t[size_t(c.in)], c.out) << "target " << c.target << " percent " << c.percent << " in " << c.in;
  }
}

TEST(ColorAdjustTables, ContrastEntries) {
  TChannelTable t;
  BuildContrastTable(t, 12);
  const int in[] = {0, 1, 127, 128, 129, 200, 250};
  const int out[] = {0, 0, 127, 128, 129, 208, 255};
  for (size_t i = 0; i < std::size(in); ++i) EXPECT_EQ(t[size_t(in[i])], out[i]) << "in " << in[i];

  BuildContrastTable(t, -100);
  EXPECT_TRUE(std::all_of(t.begin(), t.end(), [](std::uint8_t v) { return v == 128; }));
}

TEST(ColorAdjustBitmap, CellColourisedThenSharpened) {
  // Red 200 towards 40, green 0 towards 255, blue already at its target.
  TBitmap b = Solid(2, 2, RGBColor(200, 0, 128));
  ColorizeBitmap(b, RGBColor(40, 255, 128), 77, FullRect);
  EXPECT_EQ(Hex(b.Pixel(1, 1)), Hex(RGBColor(77, 196, 128)));
  ContrastBitmap(b, 12, FullRect);
  EXPECT_EQ(Hex(b.Pixel(1, 1)), Hex(RGBColor(71, 204, 128)));
  EXPECT_TRUE(SamePixels(b, Solid(2, 2, RGBColor(71, 204, 128))));
}

TEST(ColorAdjustBitmap, ColorizeOutOfRangePercentIsIgnored) {
  for (int percent : {0, 101, -101}) {
    TBitmap b = Numbered(4, 3);
    ColorizeBitmap(b, clRed, percent, FullRect);
    EXPECT_TRUE(SamePixels(b, Numbered(4, 3))) << percent;
  }
}

TEST(ColorAdjustBitmap, ColorizeFullStrength) {
  TBitmap b = Numbered(4, 3);
  ColorizeBitmap(b, RGBColor(9, 8, 7), 100, FullRect);
  EXPECT_TRUE(SamePixels(b, Solid(4, 3, RGBColor(9, 8, 7))));

  // System colours are resolved before use.
  ColorizeBitmap(b, clBtnFace, 100, FullRect);
  EXPECT_EQ(b.Pixel(2, 2), ColorToRGB(clBtnFace));

  TBitmap away = Solid(1, 1, RGBColor(100, 40, 250));
  ColorizeBitmap(away, RGBColor(0, 40, 255), -100, FullRect);
  EXPECT_EQ(Hex(away.Pixel(0, 0)), Hex(RGBColor(200, 40, 245)));
}

TEST(ColorAdjustBitmap, ContrastZeroIsIgnoredAndLargePercentsClamp) {
  TBitmap b = Numbered(4, 3);
  ContrastBitmap(b, 0, FullRect);
  EXPECT_TRUE(SamePixels(b, Numbered(4, 3)));

  TBitmap g = Grey({{0, 127, 128, 129, 255}});
  ContrastBitmap(g, 1000000, FullRect);
  EXPECT_EQ(RowLevels(g, 0, 0, 5), (std::vector<int>{0, 0, 128, 255, 255}));
}

// ---- rectangle handling, shared by every operation that takes one ----

struct RectOp {
  std::string name;
  std::function<void(TBitmap&, TRect)> apply;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const RectOp& op, std::ostream* os) { *os << op.name; }

class ColorAdjustRect : public ::testing::TestWithParam<RectOp> {
 protected:
  static constexpr int W = 6, H = 5;
  static TBitmap Input() { return Numbered(W, H); }
  TBitmap Run(TRect r) {
    TBitmap b = Input();
    GetParam().apply(b, r);
    return b;
  }
};

TEST_P(ColorAdjustRect, FullRectIsTheWholeBitmap) {
  const TBitmap full = Run(FullRect);
  EXPECT_FALSE(SamePixels(full, Input())) << "the operation changed nothing";
  EXPECT_TRUE(SamePixels(full, Run(Rect(0, 0, W, H))));
}

TEST_P(ColorAdjustRect, RectangleOutsideDoesNothing) {
  for (TRect r : {Rect(20, 20, 30, 30), Rect(-10, -10, 0, 0), Rect(2, 2, 2, 4), Rect(0, H, W, H + 3)}) {
    EXPECT_TRUE(SamePixels(Run(r), Input())) << r.Left << "," << r.Top << "," << r.Right << "," << r.Bottom;
  }
}

TEST_P(ColorAdjustRect, OnlyTheClippedRectangleChanges) {
  const TRect r = Rect(1, 1, 4, 3);
  const TBitmap b = Run(r);
  const TBitmap input = Input();
  bool inside = false;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const bool in = x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom;
      if (!in) {
        EXPECT_EQ(Hex(b.Pixel(x, y)), Hex(input.Pixel(x, y))) << x << "," << y;
      }
      inside |= in && b.Pixel(x, y) != input.Pixel(x, y);
    }
  EXPECT_TRUE(inside);
  // Corners in any order, and a rectangle overhanging the bitmap, clip alike.
  EXPECT_TRUE(SamePixels(b, Run(Rect(4, 3, 1, 1))));
  EXPECT_TRUE(SamePixels(Run(Rect(3, 2, 100, -100)), Run(Rect(3, 0, W, 2))));
}

TEST_P(ColorAdjustRect, OtherFormatsAndEmptyBitmapsAreLeftAlone) {
  TBitmap b32 = Input();
  b32.SetPixelFormat(pf32bit);
  const QImage before = b32.Image().copy();
  GetParam().apply(b32, FullRect);
  EXPECT_EQ(b32.Image(), before);

  TBitmap empty;
  GetParam().apply(empty, FullRect);
  EXPECT_TRUE(empty.Empty());
}

const TBitmap& SampleTile() {
  static const TBitmap tile = Solid(3, 2, RGBColor(1, 2, 3));
  return tile;
}

INSTANTIATE_TEST_SUITE_P(
    Ops, ColorAdjustRect,
    ::testing::Values(RectOp{"Colorize", [](TBitmap& b, TRect r) { ColorizeBitmap(b, RGBColor(10, 200, 30), 60, r); }},
                      RectOp{"Contrast", [](TBitmap& b, TRect r) { ContrastBitmap(b, 40, r); }},
                      RectOp{"Blur", [](TBitmap& b, TRect r) { BlurBitmap(b, r); }},
                      RectOp{"ColorMaskInPlace",
                             [](TBitmap& b, TRect r) { MakeColorMask(b, b, Distinct(2, 2), 30, true, r); }},
                      RectOp{"Tile", [](TBitmap& b, TRect r) { TileBitmap(SampleTile(), b, 1, 2, r); }},
                      RectOp{"BlendColorMasked",
                             [](TBitmap& b, TRect r) {
                               BlendColorMasked(Solid(50, 50, clBlack), FullRect, b, 0, 0, r, clWhite, 60);
                             }}),
    [](const ::testing::TestParamInfo<RectOp>& info) { return info.param.name; });

// ---- blur ----

TEST(BlurBitmap, HandComputed) {
  // Edges replicate; the second row still sees the first row as it was.
  TBitmap b = Grey({{0, 90, 180}, {10, 18, 27}});
  BlurBitmap(b, FullRect);
  EXPECT_EQ(RowLevels(b, 0, 0, 3), (std::vector<int>{24, 66, 108}));
  EXPECT_EQ(RowLevels(b, 1, 0, 3), (std::vector<int>{18, 42, 66}));
}

TEST(BlurBitmap, OnePixelAndUniformAreasStay) {
  TBitmap b = Numbered(5, 4);
  BlurBitmap(b, Rect(2, 1, 3, 2));
  EXPECT_TRUE(SamePixels(b, Numbered(5, 4)));

  TBitmap u = Solid(7, 5, RGBColor(13, 200, 77));
  BlurBitmap(u, FullRect);
  EXPECT_TRUE(SamePixels(u, Solid(7, 5, RGBColor(13, 200, 77))));
}

TEST(BlurBitmap, MatchesReferenceOnRectangles) {
  const TBitmap src = Noisy(9, 7);
  for (TRect r : {Rect(0, 0, 9, 7), Rect(2, 1, 7, 6), Rect(0, 3, 9, 4), Rect(4, 0, 5, 7)}) {
    TBitmap b = src;
    BlurBitmap(b, r);
    EXPECT_TRUE(SamePixels(b, ReferenceBlur(src, r))) << r.Left << "," << r.Top << "," << r.Right << "," << r.Bottom;
  }
}

TEST(BlurBitmap, WiderThanTenThousandPixels) {
  const TBitmap src = Noisy(10050, 3);
  TBitmap b = src;
  BlurBitmap(b, FullRect);
  EXPECT_TRUE(SamePixels(b, ReferenceBlur(src, Rect(0, 0, 10050, 3))));
}

TEST(BlurBitmap, LeavesSharedCopiesAlone) {
  const TBitmap original = Noisy(5, 5);
  TBitmap copy = original;  // shares the pixel data until written
  BlurBitmap(copy, FullRect);
  EXPECT_TRUE(SamePixels(original, Noisy(5, 5)));
  EXPECT_TRUE(SamePixels(copy, ReferenceBlur(original, Rect(0, 0, 5, 5))));
}

// ---- grey tint ----

TEST(GrayTintBitmap, KeyBecomesTintOthersTintedGrey) {
  const TColor key = RGBColor(10, 20, 30), tint = RGBColor(200, 100, 0);
  TBitmap b = FromRows({{RGBColor(17, 13, 37), RGBColor(18, 20, 30), key}});
  GrayTintBitmap(b, key, tint, 50);
  EXPECT_EQ(Hex(b.Pixel(0, 0)), Hex(tint));  // 7 away in every channel
  EXPECT_EQ(Hex(b.Pixel(2, 0)), Hex(tint));
  // 8 away in red: grey (18 + 20 + 30) div 3 = 22, halfway to the tint.
  EXPECT_EQ(Hex(b.Pixel(1, 0)), Hex(RGBColor(111, 61, 11)));
}

TEST(GrayTintBitmap, PercentLimits) {
  const TBitmap src = FromRows({{RGBColor(100, 150, 200), clWhite}});
  for (int percent : {0, -5}) {
    TBitmap b = src;
    GrayTintBitmap(b, clWhite, clRed, percent);
    EXPECT_TRUE(SamePixels(b, src));
  }
  TBitmap b = src;
  GrayTintBitmap(b, clWhite, clBtnFace, 250);  // treated as 100, system tint resolved
  EXPECT_TRUE(SamePixels(b, Solid(2, 1, ColorToRGB(clBtnFace))));
}

// ---- colour values ----

TEST(ColorsNear, Tolerances) {
  const TColor c = RGBColor(10, 20, 30);
  struct Case {
    TColor a, b;
    int tolerance;
    bool near;
  } cases[] = {
      {c, c, 0, true},
      {c, RGBColor(10, 21, 30), 0, false},
      {c, RGBColor(13, 17, 33), 3, true},
      {c, RGBColor(10, 20, 34), 3, false},
      {c, c, -1, false},
      {clBtnFace, ColorToRGB(clBtnFace), 0, true},
  };
  for (const Case& k : cases)
    EXPECT_EQ(ColorsNear(k.a, k.b, k.tolerance), k.near) << Hex(k.a) << " " << Hex(k.b) << " " << k.tolerance;
}

TEST(MixColors, PercentLimitsAndMidpoint) {
  EXPECT_EQ(MixColors(clBtnFace, clRed, 0), clBtnFace);  // unresolved
  EXPECT_EQ(MixColors(clBtnFace, clRed, 101), clBtnFace);
  EXPECT_EQ(MixColors(clBtnFace, clRed, -3), clBtnFace);
  EXPECT_EQ(MixColors(clRed, clBtnFace, 100), ColorToRGB(clBtnFace));
  EXPECT_EQ(Hex(MixColors(RGBColor(0, 100, 255), RGBColor(255, 0, 0), 50)), Hex(RGBColor(127, 50, 128)));
}

TEST(ColorToBGR, PixelByteOrder) {
  EXPECT_EQ(ColorToBGR(RGBColor(1, 2, 3)), (TColorTriple{3, 2, 1}));
  const TColor face = ColorToRGB(clBtnFace);
  EXPECT_EQ(ColorToBGR(clBtnFace), (TColorTriple{std::uint8_t(GetBValue(face)), std::uint8_t(GetGValue(face)),
                                                 std::uint8_t(GetRValue(face))}));
}

// ---- masked blending ----

TEST(BlendPixelMasked, StrengthFollowsMask) {
  struct Case {
    int mask, percent;
    std::uint8_t t0, expected;
  } cases[] = {
      {255, 1, 100, 100}, {255, 100, 100, 100}, {255, 1000, 100, 100},  // white leaves the target
      {0, 100, 100, 200}, {0, 150, 7, 200},                             // black at full strength
      {0, 50, 100, 150},                                                // w = 50
      {128, 100, 0, 98},                                                // w = 12700 div 255 = 49
      {0, 99, 0, 198},                                                  // w = 99
  };
  const TColorTriple c{200, 200, 200};
  for (const Case& k : cases) {
    std::uint8_t target[3] = {k.t0, k.t0, k.t0};
    const std::uint8_t mask[3] = {std::uint8_t(k.mask), 0, 0};  // only the first byte counts
    BlendPixelMasked(target, c, mask, k.percent);
    EXPECT_EQ(int(target[0]), int(k.expected)) << "mask " << k.mask << " percent " << k.percent;
    EXPECT_EQ(int(target[2]), int(k.expected));
  }
}

TEST(BlendColorMasked, MaskPlacedAtXY) {
  const TBitmap mask =
      FromRows({{clBlack, clWhite, clWhite}, {clWhite, clBlack, clWhite}, {clWhite, clWhite, clWhite}});
  TBitmap t = Solid(4, 4, clGray);
  // The mask rectangle's position does not shift the mask.
  BlendColorMasked(mask, Rect(1, 1, 3, 3), t, 1, 2, FullRect, clRed, 100);
  TBitmap expected = Solid(4, 4, clGray);
  expected.SetPixel(1, 2, clRed);
  expected.SetPixel(2, 3, clRed);
  EXPECT_TRUE(SamePixels(t, expected));

  for (int percent : {0, -1}) {
    TBitmap u = Solid(4, 4, clGray);
    BlendColorMasked(mask, FullRect, u, 0, 0, FullRect, clRed, percent);
    EXPECT_TRUE(SamePixels(u, Solid(4, 4, clGray)));
  }
  TBitmap off = Solid(4, 4, clGray);
  BlendColorMasked(mask, FullRect, off, 4, -2, FullRect, clRed, 100);
  EXPECT_TRUE(SamePixels(off, Solid(4, 4, clGray)));
  BlendColorMasked(mask, FullRect, off, -2000000000, 2000000000, FullRect, clRed, 100);
  EXPECT_TRUE(SamePixels(off, Solid(4, 4, clGray)));
}

// ---- tiling ----

TEST(TileBitmap, OriginFixesThePattern) {
  const TBitmap tile = Numbered(3, 2);
  TBitmap t = Solid(5, 4, clWhite);
  TileBitmap(tile, t, -1, -1, FullRect);
  EXPECT_EQ(t.Pixel(0, 0), tile.Pixel(1, 1));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(t.Pixel(x, y), tile.Pixel((x + 1) % 3, (y + 1) % 2)) << x << "," << y;

  // A partial rectangle keeps the same alignment; far origins are fine.
  TBitmap part = Solid(5, 4, clWhite);
  TileBitmap(tile, part, 2000000000, -2000000000, Rect(2, 1, 5, 3));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) {
      const bool in = x >= 2 && y >= 1 && y < 3;
      const long long tx = ((x - 2000000000LL) % 3 + 3) % 3, ty = ((y + 2000000000LL) % 2 + 2) % 2;
      EXPECT_EQ(part.Pixel(x, y), in ? tile.Pixel(int(tx), int(ty)) : clWhite) << x << "," << y;
    }
}

TEST(TileBitmap, EmptyTileDoesNothing) {
  TBitmap t = Numbered(3, 3);
  TileBitmap(TBitmap(), t, 0, 0, FullRect);
  EXPECT_TRUE(SamePixels(t, Numbered(3, 3)));
}

// ---- colour masks ----

TEST(MakeColorMask, InPlace) {
  const TColor c = RGBColor(100, 100, 100);
  const TBitmap src = FromRows({{c, RGBColor(102, 98, 100), RGBColor(103, 100, 100), clWhite}});
  TBitmap marked = src;
  MakeColorMask(marked, marked, c, 2, true, FullRect);
  EXPECT_TRUE(SamePixels(marked, FromRows({{clWhite, clWhite, clBlack, clBlack}})));

  TBitmap kept = src;
  MakeColorMask(kept, kept, c, 2, false, FullRect);
  EXPECT_TRUE(SamePixels(kept, FromRows({{c, RGBColor(102, 98, 100), clBlack, clBlack}})));
}

TEST(MakeColorMask, SeparateMaskTakesSourceSize) {
  const TBitmap src = FromRows({{clRed, clBlue, clRed}, {clRed, clRed, clBlue}});
  TBitmap mask;
  MakeColorMask(src, mask, clRed, 0, true, Rect(1, 0, 3, 2));
  ASSERT_EQ(mask.Width(), 3);
  ASSERT_EQ(mask.Height(), 2);
  // Column 0 lies outside the rectangle and keeps the black of the new mask.
  EXPECT_TRUE(SamePixels(mask, FromRows({{clBlack, clBlack, clWhite}, {clBlack, clWhite, clBlack}})));

  TBitmap untouched;
  MakeColorMask(src, untouched, clRed, -1, true, FullRect);
  EXPECT_TRUE(untouched.Empty());
}

// ---- mask edge smoothing ----

TEST(SmoothMaskEdges, RampLengths) {
  struct Case {
    int run;
    std::vector<int> ramp;
  } cases[] = {
      {1, {128}},
      {2, {86, 170}},  // 85.5 and 170.5 go to the even neighbour
      {3, {64, 128, 192}},
      {4, {52, 102, 154, 204}},
  };
  for (const Case& k : cases) {
    TBitmap b = Staircase(k.run);
    SmoothMaskEdges(b, FullRect, 33);
    std::vector<int> row1 = {0, 0};
    row1.insert(row1.end(), k.ramp.begin(), k.ramp.end());
    row1.insert(row1.end(), {255, 255});
    EXPECT_EQ(RowLevels(b, 1, 0, b.Width()), row1) << "run " << k.run;
    // Row 0 is untouched.
    EXPECT_EQ(RowLevels(b, 0, 0, b.Width()), RowLevels(Staircase(k.run), 0, 0, b.Width()));
  }
}

TEST(SmoothMaskEdges, AllFourDirections) {
  TBitmap smoothed = Staircase(3);
  SmoothMaskEdges(smoothed, FullRect, 33);
  // Leftward runs (mirrored), upward and downward runs (transposed) ramp alike.
  for (const auto& transform :
       {std::function<TBitmap(const TBitmap&)>(Mirrored), std::function<TBitmap(const TBitmap&)>(Transposed),
        std::function<TBitmap(const TBitmap&)>([](const TBitmap& b) { return Transposed(Mirrored(b)); })}) {
    TBitmap b = transform(Staircase(3));
    SmoothMaskEdges(b, FullRect, 33);
    EXPECT_TRUE(SamePixels(b, transform(smoothed)));
  }
  // With the dark step on the row below instead of above.
  TBitmap flipped = Transposed(Mirrored(Transposed(Staircase(3))));
  SmoothMaskEdges(flipped, FullRect, 33);
  EXPECT_EQ(RowLevels(flipped, 0, 2, 5), (std::vector<int>{64, 128, 192}));
}

TEST(SmoothMaskEdges, LongRunsAndMaximum) {
  TBitmap b32 = Staircase(32);
  SmoothMaskEdges(b32, FullRect, 33);
  const std::vector<int> ramp = RowLevels(b32, 1, 2, 34);
  EXPECT_EQ(ramp.front(), 8);  // 255/33 + 0.5 = 8.23
  EXPECT_TRUE(std::is_sorted(ramp.begin(), ramp.end()));
  EXPECT_LT(ramp.back(), 255);

  for (int run : {33, 40}) {
    TBitmap b = Staircase(run);
    SmoothMaskEdges(b, FullRect, 33);
    EXPECT_TRUE(SamePixels(b, Staircase(run))) << run;
  }
  // A negative maximum means no limit.
  TBitmap unlimited = Staircase(40);
  SmoothMaskEdges(unlimited, FullRect, -1);
  EXPECT_EQ(GetRValue(unlimited.Pixel(2, 1)), 7);  // 255/41 + 0.5 = 6.72
  EXPECT_LT(GetRValue(unlimited.Pixel(41, 1)), 255);
}

TEST(SmoothMaskEdges, RunStopsAtRectangleAndNeverRaises) {
  TBitmap b = Staircase(4);
  SmoothMaskEdges(b, Rect(0, 0, 4, 2), 33);  // lastCol 3: only columns 2 and 3 count
  EXPECT_EQ(RowLevels(b, 1, 0, 8), (std::vector<int>{0, 0, 86, 170, 255, 255, 255, 255}));

  TBitmap low = Staircase(4);
  low.SetPixel(3, 1, RGBColor(40, 40, 40));
  low.SetPixel(4, 1, RGBColor(200, 200, 200));
  SmoothMaskEdges(low, FullRect, 33);
  EXPECT_EQ(RowLevels(low, 1, 0, 8), (std::vector<int>{0, 0, 52, 40, 154, 204, 255, 255}));
}

TEST(SmoothMaskEdges, StraightEdgesAndPlainMasksStay) {
  TBitmap block = Solid(8, 7, clWhite);
  for (int y = 2; y < 5; ++y)
    for (int x = 2; x < 6; ++x) block.SetPixel(x, y, clBlack);
  TBitmap halves = Solid(6, 6, clWhite);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 6; ++x) halves.SetPixel(x, y, clBlack);

  for (const TBitmap& src : {Solid(5, 4, clWhite), Solid(5, 4, clBlack), block, halves, Transposed(halves)}) {
    TBitmap b = src;
    SmoothMaskEdges(b, FullRect, 33);
    EXPECT_TRUE(SamePixels(b, src));
  }
}
