#include "raster/Bitmap.h"

#include <gtest/gtest.h>

#include "TestBitmaps.h"

using namespace testing_bitmaps;

TEST(Bitmap, SidesSetOneAfterTheOther) {
  TBitmap b;
  EXPECT_TRUE(b.Empty());
  b.SetWidth(5);
  EXPECT_TRUE(b.Empty());
  b.SetHeight(4);
  ASSERT_FALSE(b.Empty());
  EXPECT_EQ(b.Width(), 5);
  EXPECT_EQ(b.Height(), 4);
  EXPECT_EQ(b.Image().format(), QImage::Format_BGR888);
  b.SetPixel(4, 3, RGBColor(1, 2, 3));
  const uint8_t* p = b.ScanLine(3) + 12;
  EXPECT_EQ(p[0], 3);  // blue first
  EXPECT_EQ(p[2], 1);
  b.SetWidth(7);  // growing keeps the old pixels
  EXPECT_EQ(b.Pixel(4, 3), RGBColor(1, 2, 3));
  EXPECT_EQ(b.Pixel(6, 3), clBlack);
  EXPECT_EQ(b.Pixel(7, 3), clNone);
}

TEST(Bitmap, To24BitKeepsColourBytesAndDropsAlpha) {
  TBitmap b(2, 1, pf32bit);
  uint8_t* p = b.ScanLine(0);
  const uint8_t px[8] = {10, 20, 30, 0, 40, 50, 60, 128};
  std::copy(px, px + 8, p);
  b.SetPixelFormat(pf24bit);
  EXPECT_EQ(b.Pixel(0, 0), RGBColor(30, 20, 10));  // alpha 0 is not blended to black
  EXPECT_EQ(b.Pixel(1, 0), RGBColor(60, 50, 40));

  TBitmap pal(2, 1, pf8bit);
  pal.SetPalette({qRgba(1, 2, 3, 0), qRgb(250, 128, 7)});
  pal.MutableImage().setPixel(1, 0, 1);
  pal.SetPixelFormat(pf24bit);
  EXPECT_EQ(pal.Pixel(0, 0), RGBColor(1, 2, 3));
  EXPECT_EQ(pal.Pixel(1, 0), RGBColor(250, 128, 7));
}

TEST(Bitmap, DrawClipsAndHonoursTransparency) {
  TBitmap target = Solid(4, 4, clWhite);
  TBitmap src = Solid(3, 3, clRed);
  src.SetPixel(1, 1, clLime);
  target.Draw(2, -1, src);
  EXPECT_EQ(target.Pixel(1, 0), clWhite);
  EXPECT_EQ(target.Pixel(2, 0), clRed);  // source row 1 lands on row 0
  EXPECT_EQ(target.Pixel(3, 0), clLime);
  EXPECT_EQ(target.Pixel(3, 1), clRed);
  EXPECT_EQ(target.Pixel(3, 2), clWhite);

  TBitmap keyed = Solid(2, 2, clRed);
  keyed.SetPixel(0, 0, clBlue);
  keyed.Transparent = true;  // the bottom-left pixel gives the transparent colour
  target.Draw(0, 2, keyed);
  EXPECT_EQ(target.Pixel(0, 2), clBlue);
  EXPECT_EQ(target.Pixel(1, 3), clWhite);
}

TEST(Bitmap, AssignCopiesPictureAndSettings) {
  TBitmap a = Numbered(3, 2);
  a.Transparent = true;
  a.SetTransparentColor(clAqua);
  TBitmap b;
  b.Assign(&a);
  EXPECT_TRUE(SamePixels(a, b));
  EXPECT_TRUE(b.Transparent);
  EXPECT_EQ(b.TransparentColor(), clAqua);
  b.SetPixel(0, 0, clBlack);  // copies do not share pixels
  EXPECT_NE(a.Pixel(0, 0), clBlack);
  b.Assign(nullptr);
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(b.Width(), 0);
}

TEST(Bitmap, SystemColoursResolve) {
  EXPECT_EQ(ColorToRGB(clRed), clRed);
  EXPECT_EQ(ColorToRGB(clNone), clNone);
  EXPECT_EQ(ColorToRGB(clBtnFace) & 0xFF000000u, 0u);
  EXPECT_EQ(ColorToRGB(clWindow), clWhite);
}
