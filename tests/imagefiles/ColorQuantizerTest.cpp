#include "imagefiles/ColorQuantizer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "TestBitmaps.h"

using namespace testing_bitmaps;

namespace {

// A smooth picture with far more than 256 colours.
TBitmap Gradient(int w, int h) {
  TBitmap b(w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.SetPixel(x, y, RGBColor(x * 255 / (w - 1), y * 255 / (h - 1), (x + y) * 255 / (w + h - 2)));
  return b;
}

double Psnr(const TBitmap& a, const TBitmap& b) {
  double sum = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) {
      const TColor p = a.Pixel(x, y), q = b.Pixel(x, y);
      const int d[3] = {GetRValue(p) - GetRValue(q), GetGValue(p) - GetGValue(q), GetBValue(p) - GetBValue(q)};
      for (int v : d) sum += double(v) * v;
    }
  const double mse = sum / (3.0 * a.Width() * a.Height());
  return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

std::set<TColor> ColoursOf(const TBitmap& b) {
  std::set<TColor> s;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) s.insert(b.Pixel(x, y));
  return s;
}

}  // namespace

TEST(ColorQuantizer, FewColoursComeBackExact) {
  struct TCase {
    const char* name;
    TBitmap source;
    int maxColors;
  };
  TBitmap wide = Numbered(16, 16);  // 256 distinct colours: just fits
  const TCase cases[] = {
      {"one colour", Solid(5, 3, RGBColor(10, 200, 30)), 256},
      {"two colours", FromRows({{clRed, clBlue}, {clBlue, clRed}}), 2},
      {"256 colours", wide, 256},
      {"16 of 16", Numbered(4, 4), 16},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const TBitmap q = QuantizeOctree(c.source, c.maxColors);
    EXPECT_EQ(q.PixelFormat(), pf8bit);
    EXPECT_EQ(q.Image().format(), QImage::Format_Indexed8);
    EXPECT_LE(q.Palette().size(), c.maxColors);
    EXPECT_TRUE(SamePixels(q, c.source));
  }
}

TEST(ColorQuantizer, PaletteSourceKeepsItsTable) {
  TBitmap pal(3, 2, pf8bit);
  const QList<QRgb> table{qRgb(1, 2, 3), qRgb(200, 100, 50), qRgb(1, 2, 3), qRgb(9, 9, 9)};
  pal.SetPalette(table);
  pal.MutableImage().setPixel(1, 0, 1);
  pal.MutableImage().setPixel(2, 1, 3);
  const TBitmap q = QuantizeOctree(pal, 256);
  EXPECT_EQ(q.PixelFormat(), pf8bit);
  EXPECT_EQ(q.Palette(), table);
  EXPECT_TRUE(SamePixels(q, pal));

  TBitmap mono(9, 2, pf1bit);
  mono.SetPalette({qRgb(10, 20, 30), qRgb(250, 240, 230)});
  mono.MutableImage().setPixel(8, 1, 1);
  const TBitmap q1 = QuantizeOctree(mono, 256);
  EXPECT_EQ(q1.Image().format(), QImage::Format_Indexed8);
  EXPECT_EQ(q1.Palette(), mono.Palette());
  EXPECT_TRUE(SamePixels(q1, mono));

  // A pixel without a table entry reads as black; the result indexes its table.
  TBitmap stray(2, 1, pf8bit);
  stray.SetPalette({qRgb(200, 10, 10), qRgb(0, 0, 255)});
  stray.ScanLine(0)[1] = 7;  // QImage::setPixel refuses such an index
  const TBitmap q2 = QuantizeOctree(stray, 256);
  ASSERT_EQ(q2.Image().format(), QImage::Format_Indexed8);
  EXPECT_LT(q2.ScanLine(0)[1], q2.Palette().size());
  EXPECT_EQ(q2.Pixel(0, 0), RGBColor(200, 10, 10));
  EXPECT_EQ(q2.Pixel(1, 0), clBlack);
}

TEST(ColorQuantizer, ManyColoursReduceWithinTheLimit) {
  const TBitmap g = Gradient(256, 96);
  ASSERT_GT(ColoursOf(g).size(), 256u);
  for (int maxColors : {256, 64, 16, 2}) {
    SCOPED_TRACE(maxColors);
    const TBitmap q = QuantizeOctree(g, maxColors);
    ASSERT_EQ(q.Width(), g.Width());
    ASSERT_EQ(q.Height(), g.Height());
    EXPECT_EQ(q.PixelFormat(), pf8bit);
    EXPECT_EQ(q.Palette().size(), maxColors);
    // Every pixel indexes the table.
    for (int y = 0; y < q.Height(); ++y)
      for (int x = 0; x < q.Width(); ++x) ASSERT_LT(q.ScanLine(y)[x], q.Palette().size());
  }
  EXPECT_GT(Psnr(g, QuantizeOctree(g, 256)), 31.0);
  EXPECT_GT(Psnr(g, QuantizeOctree(g, 16)), 19.0);
}

// Error diffusion keeps the average colour of an area even with few colours:
// without it, a smooth ramp collapses onto the nearest palette entries.
TEST(ColorQuantizer, DiffusionKeepsTheAverageColour) {
  TBitmap ramp(128, 64, pf24bit);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 128; ++x) ramp.SetPixel(x, y, RGBColor(x * 2, 90, 255 - x * 2));
  const TBitmap q = QuantizeOctree(ramp, 4);
  ASSERT_LE(q.Palette().size(), 4);
  // Column bands of 16 pixels: the mean red of each band follows the ramp
  // (the outer bands reach beyond the palette's range of red).
  for (int band = 1; band < 7; ++band) {
    double src = 0, dst = 0;
    for (int y = 0; y < 64; ++y)
      for (int x = band * 16; x < band * 16 + 16; ++x) {
        src += GetRValue(ramp.Pixel(x, y));
        dst += GetRValue(q.Pixel(x, y));
      }
    EXPECT_NEAR(dst / (16 * 64), src / (16 * 64), 6.0) << "band " << band;
  }
}

TEST(ColorQuantizer, OtherTrueColourFormatsAndEmpty) {
  TBitmap b32 = Numbered(8, 8);
  b32.SetPixelFormat(pf32bit);
  const TBitmap q = QuantizeOctree(b32, 256);
  EXPECT_TRUE(SamePixels(q, Numbered(8, 8)));

  const TBitmap empty = QuantizeOctree(TBitmap(), 256);
  EXPECT_TRUE(empty.Empty());
  EXPECT_EQ(empty.PixelFormat(), pf8bit);
}
