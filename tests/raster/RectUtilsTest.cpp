#include "raster/RectUtils.h"

#include <gtest/gtest.h>

#include "TestBitmaps.h"

using namespace testing_bitmaps;

TEST(RectUtils, RectangleHelpers) {
  EXPECT_EQ(RectWidth(Rect(10, 0, 2, 0)), 8);
  EXPECT_EQ(RectHeight(Rect(0, 7, 0, 3)), 4);
  EXPECT_TRUE(RectIsPoint(Rect(3, 4, 3, 4)));
  EXPECT_FALSE(RectIsPoint(Rect(3, 4, 3, 5)));
  EXPECT_EQ(PointsToRect(5, 1, 2, 9), Rect(2, 1, 5, 9));
  EXPECT_EQ(NormalizeRect(Rect(5, 5, -3, -3)), Rect(-3, -3, 5, 5));
}

TEST(RectUtils, SquareRectPinsTheChosenCorner) {
  struct Case {
    TRect in;
    bool keepLeft, keepTop;
    TRect out;
  } cases[] = {
      {Rect(0, 0, 10, 4), true, true, Rect(0, 0, 4, 4)},  {Rect(0, 0, 10, 4), false, true, Rect(6, 0, 10, 4)},
      {Rect(0, 0, 4, 10), true, true, Rect(0, 0, 4, 4)},  {Rect(0, 0, 4, 10), true, false, Rect(0, 6, 4, 10)},
      {Rect(2, 2, 7, 7), false, false, Rect(2, 2, 7, 7)},
  };
  for (const Case& c : cases) EXPECT_EQ(SquareRect(c.in, c.keepLeft, c.keepTop), c.out);
}

TEST(RectUtils, ClipRectToBitmap) {
  const TBitmap b = Solid(10, 10, clWhite);
  TRect r = Rect(5, 5, -3, -3);
  ClipRectToBitmap(r, b);
  EXPECT_EQ(r, Rect(0, 0, 5, 5));
  r = Rect(20, 20, 30, 30);
  ClipRectToBitmap(r, b);
  EXPECT_TRUE(IsRectEmpty(r));
  r = FullRect;
  ClipRectToBitmap(r, b);
  EXPECT_EQ(r, Rect(0, 0, 10, 10));
}

TEST(RectUtils, FitInBox) {
  struct Case {
    int w, h, bw, bh, ew, eh;
  } cases[] = {
      {640, 480, 1600, 1600, 1600, 1200}, {333, 250, 1200, 1200, 1200, 901}, {50, 75, 3200, 3200, 2133, 3200},
      {100, 1, 800, 800, 800, 8},         {799, 10, 800, 800, 800, 10},      {1, 1, 800, 800, 800, 800},
      {300, 200, 800, 800, 800, 533},     {4000, 3000, 400, 300, 400, 300},  {0, 10, 800, 800, 0, 10},
      {10, -1, 800, 800, 10, -1},         {10, 10, 0, 800, 10, 10},
  };
  for (const Case& c : cases) {
    int w = c.w, h = c.h;
    FitInBox(w, h, c.bw, c.bh);
    EXPECT_EQ(w, c.ew) << c.w << "x" << c.h << " in " << c.bw << "x" << c.bh;
    EXPECT_EQ(h, c.eh) << c.w << "x" << c.h << " in " << c.bw << "x" << c.bh;
  }
}

TEST(RectUtils, ResampleRepeatsOrDropsWholePixels) {
  const TBitmap two = FromRows({{clRed, clLime}, {clBlue, clWhite}});
  TBitmap four;
  ResampleBitmap(4, 4, two, four);
  EXPECT_TRUE(SamePixels(four, FromRows({{clRed, clRed, clLime, clLime},
                                         {clRed, clRed, clLime, clLime},
                                         {clBlue, clBlue, clWhite, clWhite},
                                         {clBlue, clBlue, clWhite, clWhite}})));
  // Reducing keeps one pixel of each 2 x 2 block: no blended colour appears.
  const TBitmap src = Numbered(4, 4);
  TBitmap half;
  ResampleBitmap(2, 2, src, half);
  ASSERT_EQ(half.Width(), 2);
  for (int by = 0; by < 2; ++by)
    for (int bx = 0; bx < 2; ++bx) {
      bool found = false;
      for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx) found |= half.Pixel(bx, by) == src.Pixel(2 * bx + dx, 2 * by + dy);
      EXPECT_TRUE(found) << "block " << bx << "," << by;
    }
}

TEST(RectUtils, ResampleCoversWholeSourceAtOddScales) {
  const TBitmap src = Numbered(7, 5);
  TBitmap dst;
  ResampleBitmap(17, 3, src, dst);
  // Columns 0 and 6 of the source both appear: nothing is lost at either edge.
  EXPECT_EQ(dst.Pixel(0, 0), src.Pixel(0, 0));
  EXPECT_EQ(dst.Pixel(16, 2), src.Pixel(6, 4));
}

TEST(RectUtils, ResampleKeepsFormatPaletteAndTransparency) {
  TBitmap pal(3, 2, pf8bit);
  pal.SetPalette({qRgb(1, 2, 3), qRgb(200, 100, 50), qRgb(9, 9, 9)});
  pal.MutableImage().setPixel(2, 1, 1);
  pal.Transparent = true;
  pal.SetTransparentColor(clLime);
  TBitmap out;
  ResampleBitmap(6, 4, pal, out);
  EXPECT_EQ(out.PixelFormat(), pf8bit);
  EXPECT_EQ(out.Palette(), pal.Palette());
  EXPECT_EQ(out.Pixel(5, 3), RGBColor(200, 100, 50));
  EXPECT_TRUE(out.Transparent);
  EXPECT_EQ(out.TransparentColor(), clLime);

  TBitmap mono(9, 1, pf1bit);
  mono.MutableImage().setPixel(8, 0, 1);
  TBitmap mono2;
  ResampleBitmap(18, 2, mono, mono2);
  EXPECT_EQ(mono2.PixelFormat(), pf1bit);
  EXPECT_EQ(mono2.Pixel(17, 1), clWhite);
  EXPECT_EQ(mono2.Pixel(15, 1), clBlack);
}

TEST(RectUtils, EmptySourceLeavesTargetAlone) {
  const TBitmap empty;
  TBitmap target = Numbered(3, 3);
  const TBitmap before(target);
  ResampleBitmap(10, 10, empty, target);
  EXPECT_TRUE(SamePixels(target, before));
  TBitmap none;
  ScaleBitmap(5, 5, none);
  EXPECT_TRUE(none.Empty());
}

TEST(RectUtils, ScaleBitmapDistortsToTheExactSize) {
  TBitmap wide = Solid(300, 100, clRed);
  for (int x = 150; x < 300; ++x)
    for (int y = 0; y < 100; ++y) wide.SetPixel(x, y, clBlue);
  ScaleBitmap(20, 20, wide);
  ASSERT_EQ(wide.Width(), 20);
  ASSERT_EQ(wide.Height(), 20);
  EXPECT_EQ(wide.Pixel(0, 19), clRed);  // squashed, not cropped: both halves remain
  EXPECT_EQ(wide.Pixel(19, 0), clBlue);
}
