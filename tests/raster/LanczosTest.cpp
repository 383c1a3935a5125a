#include "raster/Lanczos.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <vector>

#include "TestBitmaps.h"

using namespace testing_bitmaps;

namespace {

TBitmap Resized(int w, int h, const TBitmap& source) {
  TBitmap out;
  EXPECT_TRUE(SmoothResampleBitmap(w, h, source, out));
  return out;
}

int Red(const TBitmap& b, int x, int y) { return GetRValue(b.Pixel(x, y)); }

// The resize written plainly, in double precision, one output pixel at a
// time: the expected values for any sizes.
double Lanczos3(double x) {
  const auto sinc = [](double t) { return t == 0 ? 1.0 : std::sin(std::numbers::pi * t) / (std::numbers::pi * t); };
  return std::abs(x) < 3 ? sinc(x) * sinc(x / 3) : 0.0;
}
// Weights of the source pixels for output i along an axis.
std::vector<double> AxisWeights(int oldSize, int newSize, int i) {
  double c, widen;
  if (newSize == 1) {
    c = (oldSize - 1) / 2.0, widen = oldSize;
  } else if (oldSize == 1) {
    c = double(i) / newSize, widen = 1;
  } else {
    c = double(i) * (oldSize - 1) / (newSize - 1), widen = std::max(1.0, (oldSize - 1.0) / (newSize - 1));
  }
  std::vector<double> w(static_cast<size_t>(oldSize));
  double sum = 0;
  for (int j = 0; j < oldSize; ++j) sum += w[size_t(j)] = Lanczos3((j - c) / widen);
  for (double& v : w) v /= sum;
  return w;
}
std::uint8_t Clamped(double v) { return std::uint8_t(std::clamp(std::lround(v), 0L, 255L)); }
TBitmap ReferenceResize(int nw, int nh, const TBitmap& src) {
  const int w = src.Width(), h = src.Height();
  TBitmap mid(nw, h, pf24bit), out(nw, nh, pf24bit);
  for (int x = 0; x < nw; ++x) {
    const std::vector<double> k = AxisWeights(w, nw, x);
    for (int y = 0; y < h; ++y)
      for (int ch = 0; ch < 3; ++ch) {
        double v = 0;
        for (int j = 0; j < w; ++j) v += k[size_t(j)] * src.ScanLine(y)[3 * j + ch];
        mid.ScanLine(y)[3 * x + ch] = Clamped(v);
      }
  }
  for (int y = 0; y < nh; ++y) {
    const std::vector<double> k = AxisWeights(h, nh, y);
    for (int x = 0; x < 3 * nw; ++x) {
      double v = 0;
      for (int j = 0; j < h; ++j) v += k[size_t(j)] * mid.ScanLine(j)[x];
      out.ScanLine(y)[x] = Clamped(v);
    }
  }
  return out;
}

}  // namespace

TEST(SmoothResample, EnlargementKeepsTheSourcePixelsOnItsGrid) {
  const TBitmap src = Numbered(7, 5);
  // (13 - 1) / (7 - 1) = (9 - 1) / (5 - 1) = 2: every other output pixel sits
  // exactly on a source pixel, the first and last of each row and column too.
  const TBitmap out = Resized(13, 9, src);
  for (int y = 0; y < 9; y += 2)
    for (int x = 0; x < 13; x += 2)
      ASSERT_EQ(Hex(out.Pixel(x, y)), Hex(src.Pixel(x / 2, y / 2))) << "at " << x << ", " << y;

  // Any other enlargement still puts the corners on the source's corners.
  const TBitmap odd = Resized(20, 13, src);
  EXPECT_EQ(odd.Pixel(0, 0), src.Pixel(0, 0));
  EXPECT_EQ(odd.Pixel(19, 0), src.Pixel(6, 0));
  EXPECT_EQ(odd.Pixel(0, 12), src.Pixel(0, 4));
  EXPECT_EQ(odd.Pixel(19, 12), src.Pixel(6, 4));
}

TEST(SmoothResample, MatchesThePlainDoublePrecisionResize) {
  // Fixed-point weights may move a value by one level, nothing more.
  const TBitmap src = Numbered(23, 17);
  const int sizes[][2] = {{50, 40}, {9, 6}, {23, 5}, {1, 30}, {64, 1}, {4, 90}, {22, 18}};
  for (const auto& s : sizes) {
    SCOPED_TRACE(testing::Message() << s[0] << "x" << s[1]);
    const TBitmap out = Resized(s[0], s[1], src), expected = ReferenceResize(s[0], s[1], src);
    int worst = 0;
    for (int y = 0; y < s[1]; ++y)
      for (int x = 0; x < 3 * s[0]; ++x)
        worst = std::max(worst, std::abs(out.ScanLine(y)[x] - expected.ScanLine(y)[x]));
    EXPECT_LE(worst, 1);
  }
}

TEST(SmoothResample, FlatPictureStaysExactlyFlat) {
  const TColor c = RGBColor(255, 0, 131);
  const TBitmap src = Solid(37, 23, c);
  const int sizes[][2] = {{74, 46}, {18, 11}, {5, 3}, {1, 1}, {2, 2}, {100, 7}, {37, 23}, {3, 60}, {41, 19}};
  for (const auto& s : sizes) {
    SCOPED_TRACE(testing::Message() << s[0] << "x" << s[1]);
    EXPECT_TRUE(SamePixels(Resized(s[0], s[1], src), Solid(s[0], s[1], c)));
  }
}

TEST(SmoothResample, RampStaysMonotoneAndNearlyLinear) {
  // A ramp 0, 4, 8 ... 252 along x or along y, enlarged and reduced.
  struct Case {
    bool alongX;
    int length, newLength;
  } cases[] = {{true, 64, 200}, {true, 64, 20}, {false, 64, 150}, {false, 64, 25}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.alongX ? "x " : "y ") << c.length << " -> " << c.newLength);
    const int w = c.alongX ? c.length : 3, h = c.alongX ? 3 : c.length;
    TBitmap src(w, h, pf24bit);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) src.SetPixel(x, y, RGBColor(4 * (c.alongX ? x : y), 0, 0));
    const int nw = c.alongX ? c.newLength : 3, nh = c.alongX ? 3 : c.newLength;
    const TBitmap out = Resized(nw, nh, src);
    // A reduction averages over several pixels: near the ends only one side
    // of the filter is there, so only the middle is held to the line.
    // The filter reaches 3 outputs to either side.
    const int margin = c.newLength < c.length ? 4 : 0;
    for (int across = 0; across < 3; ++across) {
      int previous = -1;
      for (int i = 0; i < c.newLength; ++i) {
        const int v = c.alongX ? Red(out, i, across) : Red(out, across, i);
        EXPECT_GE(v, previous) << "at " << i;
        previous = v;
        const double ideal = 4.0 * i * (c.length - 1) / (c.newLength - 1);
        if (i >= margin && i < c.newLength - margin) {
          EXPECT_NEAR(v, ideal, 2.0) << "at " << i;
        }
      }
    }
  }
}

TEST(SmoothResample, AnySourceFormatGivesA24BitPictureOfTheExactSize) {
  TBitmap mono(9, 6, pf1bit);  // palette black, white
  for (int x = 0; x < 9; ++x) mono.SetPixel(x, 2, clWhite);
  TBitmap indexed(9, 6, pf8bit);
  indexed.SetPalette({qRgb(10, 20, 30), qRgb(200, 150, 100)});
  indexed.MutableImage().fill(1);
  TBitmap argb(9, 6, pf32bit);
  argb.MutableImage().fill(qRgba(40, 80, 120, 0));  // alpha is not blended in
  struct Case {
    const char* name;
    const TBitmap* source;
    TColor flat;  // clNone: not flat
  } cases[] = {{"pf1bit", &mono, clNone},
               {"pf8bit", &indexed, RGBColor(200, 150, 100)},
               {"pf32bit", &argb, RGBColor(40, 80, 120)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TPixelFormat before = c.source->PixelFormat();
    TBitmap out(4, 4, pf8bit);
    out.Transparent = true;
    ASSERT_TRUE(SmoothResampleBitmap(23, 11, *c.source, out));
    EXPECT_EQ(out.Width(), 23);
    EXPECT_EQ(out.Height(), 11);
    EXPECT_EQ(out.PixelFormat(), pf24bit);
    EXPECT_EQ(out.Image().format(), QImage::Format_BGR888);
    EXPECT_FALSE(out.Transparent);
    EXPECT_EQ(c.source->PixelFormat(), before);
    if (c.flat != clNone) {
      EXPECT_TRUE(SamePixels(out, Solid(23, 11, c.flat)));
    }
  }
  // The white line of the 1-bit picture (row 2 of 0..5) reaches the rows
  // around 2 * 10 / 5 = 4 of the result, and none of it the far corners.
  const TBitmap out = Resized(23, 11, mono);
  EXPECT_GT(Red(out, 11, 4), 150);
  EXPECT_EQ(out.Pixel(0, 10), clBlack);
}

TEST(SmoothResample, SourceOfOnePixelAlongAnAxis) {
  // One column: every output row is one colour, that of the source row it
  // sits on (rows 0, 2, 4 ... of the result sit on rows 0, 1, 2 ... of the source).
  const TBitmap column = Numbered(1, 5);
  const TBitmap out = Resized(4, 9, column);
  for (int y = 0; y < 9; ++y)
    for (int x = 1; x < 4; ++x) ASSERT_EQ(out.Pixel(x, y), out.Pixel(0, y)) << x << ", " << y;
  for (int y = 0; y < 9; y += 2) EXPECT_EQ(Hex(out.Pixel(0, y)), Hex(column.Pixel(0, y / 2)));

  const TBitmap dot = Solid(1, 1, RGBColor(9, 99, 199));
  EXPECT_TRUE(SamePixels(Resized(3, 2, dot), Solid(3, 2, RGBColor(9, 99, 199))));
}

TEST(SmoothResample, EmptySourceOrAbsurdSizeLeavesTheTargetAlone) {
  const TBitmap picture = Numbered(6, 4);
  const TBitmap before = Numbered(3, 3);
  TBitmap target = before;
  EXPECT_FALSE(SmoothResampleBitmap(10, 10, TBitmap(), target));
  const int sizes[][2] = {{0, 10}, {10, 0}, {-5, 5}, {65536, 1}, {1, 65536}, {40000, 40000}};
  for (const auto& s : sizes) EXPECT_FALSE(SmoothResampleBitmap(s[0], s[1], picture, target)) << s[0] << "x" << s[1];
  EXPECT_TRUE(SamePixels(target, before));

  // The largest side is allowed, and the source may be the target.
  EXPECT_TRUE(SmoothResampleBitmap(65535, 1, picture, target));
  EXPECT_EQ(target.Width(), 65535);
  TBitmap self = Numbered(6, 4);
  EXPECT_TRUE(SmoothResampleBitmap(11, 7, self, self));
  EXPECT_TRUE(SamePixels(self, Resized(11, 7, Numbered(6, 4))));
}

TEST(SmoothResample, ReductionWidensTheFilterSoThinLinesSurvive) {
  // A one-pixel white line at x = 19 of 64, reduced to 16: the nearest
  // outputs sit at 16.8 and 21, where an unwidened Lanczos-3 gives the line a
  // weight of about 0 and drops it. Widened by 4.2 it shows, attenuated.
  TBitmap src = Solid(64, 6, clBlack);
  for (int y = 0; y < 6; ++y) src.SetPixel(19, y, clWhite);
  const TBitmap out = Resized(16, 6, src);
  for (int y = 0; y < 6; ++y) {
    int peak = 0, sum = 0;
    for (int x = 0; x < 16; ++x) peak = std::max(peak, Red(out, x, y)), sum += Red(out, x, y);
    EXPECT_GT(peak, 30);
    EXPECT_LT(peak, 128);
    // The line's light is spread, not lost: 255 / 4.2 in all.
    EXPECT_NEAR(sum, 255 * 15 / 63, 20);
  }
}

TEST(SmoothResample, TallToWideStaysRightAcrossColumnStrips) {
  // 3 x 3000 to 2000 x 2: one output row needs every source row, more than
  // one piece of work holds at once, so the columns are done in strips.
  TBitmap src(3, 3000, pf24bit);
  for (int y = 0; y < 3000; ++y)
    for (int x = 0; x < 3; ++x) src.SetPixel(x, y, RGBColor(100 * x, 7, 250));
  const TBitmap out = Resized(2000, 2, src);
  // The columns are flat, so each output row is exactly the one row of the
  // source resized alone (in one piece): any seam between strips shows.
  TBitmap line(3, 1, pf24bit);
  for (int x = 0; x < 3; ++x) line.SetPixel(x, 0, RGBColor(100 * x, 7, 250));
  const TBitmap alone = Resized(2000, 1, line);
  EXPECT_EQ(Red(out, 0, 0), 0);
  EXPECT_EQ(Red(out, 1999, 1), 200);
  int previous = -1;
  for (int x = 0; x < 2000; ++x) {
    ASSERT_EQ(Hex(out.Pixel(x, 0)), Hex(alone.Pixel(x, 0))) << x;
    ASSERT_EQ(out.Pixel(x, 1), out.Pixel(x, 0)) << x;
    ASSERT_GE(Red(out, x, 0), previous) << x;
    previous = Red(out, x, 0);
  }
}

TEST(BandResampler, BandsAreExactlyTheRowsOfTheWholeResize) {
  const TBitmap src = Numbered(23, 17);
  // Odd sizes, enlargements and reductions, each cut in bands of several
  // heights: a band of one row, bands that do not divide the height, one
  // band of everything.
  struct TCase {
    int Width, Height;
  };
  const TCase sizes[] = {{97, 61}, {9, 6}, {1, 40}, {64, 1}, {23, 17}, {301, 233}};
  for (const TCase& s : sizes)
    for (const int bandRows : {1, 7, 32, 1000}) {
      SCOPED_TRACE(testing::Message() << s.Width << "x" << s.Height << " in bands of " << bandRows);
      const TBitmap whole = Resized(s.Width, s.Height, src);
      const TBandResampler resampler(src, s.Width, s.Height);
      ASSERT_TRUE(resampler.Valid());
      for (int y0 = 0; y0 < s.Height; y0 += bandRows) {
        const int y1 = std::min(s.Height, y0 + bandRows);
        TBitmap band;
        ASSERT_TRUE(resampler.Rows(y0, y1, band));
        ASSERT_EQ(band.PixelFormat(), pf24bit);
        ASSERT_EQ(band.Width(), s.Width);
        ASSERT_EQ(band.Height(), y1 - y0);
        for (int y = y0; y < y1; ++y)
          ASSERT_EQ(0, std::memcmp(band.ScanLine(y - y0), whole.ScanLine(y), 3 * size_t(s.Width))) << "row " << y;
      }
    }
}

TEST(BandResampler, WiderThanAPictureHeldWholeAndRefusesWhatItCannotMake) {
  // 70,001 pixels wide, beyond what a whole picture may be: the corners
  // still sit on the source's corners.
  const TBitmap src = Numbered(2, 2);
  const TBandResampler wide(src, 70001, 5);
  ASSERT_TRUE(wide.Valid());
  TBitmap band;
  ASSERT_TRUE(wide.Rows(3, 5, band));
  ASSERT_EQ(band.Width(), 70001);
  EXPECT_EQ(Hex(band.Pixel(0, 1)), Hex(src.Pixel(0, 1)));
  EXPECT_EQ(Hex(band.Pixel(70000, 1)), Hex(src.Pixel(1, 1)));

  EXPECT_FALSE(TBandResampler(TBitmap(), 10, 10).Valid());
  EXPECT_FALSE(TBandResampler(src, 0, 10).Valid());
  EXPECT_FALSE(TBandResampler(src, 10, int(MaxBandResampleSide) + 1).Valid());
  const TBitmap kept = band;
  EXPECT_FALSE(wide.Rows(4, 6, band));
  EXPECT_FALSE(wide.Rows(2, 2, band));
  EXPECT_TRUE(SamePixels(band, kept));
}
