#include <gtest/gtest.h>

#include <QPainter>
#include <functional>
#include <string>
#include <vector>

#include "TestBitmaps.h"
#include "display/ImgZoom.h"
#include "raster/ColorAdjust.h"

using namespace testing_bitmaps;

namespace {

constexpr TColor kSentinel = 0x123456;

QImage Canvas(int w, int h, TColor fill = kSentinel) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(QColor(GetRValue(fill), GetGValue(fill), GetBValue(fill)));
  return img;
}

TColor At(const QImage& img, int x, int y) {
  const QRgb c = img.pixel(x, y);
  return RGBColor(qRed(c), qGreen(c), qBlue(c));
}

// Checks every pixel of `area` against `expected` and names the first one
// that differs.
::testing::AssertionResult PixelsMatch(const QImage& img, TRect area, const std::function<TColor(int, int)>& expected) {
  for (int y = area.Top; y < area.Bottom; ++y)
    for (int x = area.Left; x < area.Right; ++x)
      if (At(img, x, y) != expected(x, y))
        return ::testing::AssertionFailure()
               << "pixel (" << x << ", " << y << ") is " << Hex(At(img, x, y)) << ", expected " << Hex(expected(x, y));
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult SameImage(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return ::testing::AssertionFailure() << "sizes differ";
  return PixelsMatch(a, TRect{0, 0, a.width(), a.height()}, [&](int x, int y) { return At(b, x, y); });
}

// Draws bitmap at (x, y) with the given zoom into a canvas, inside box.
struct DrawSetup {
  double Zoom = 1;
  int X = 0, Y = 0;
  bool Halftone = false;
  bool Fill = false;
  bool Plain = false;
  TColor Brush = clWhite;
};

TRect DrawInto(QImage& canvas, const TBitmap& bitmap, const DrawSetup& s, const TRect* box = nullptr) {
  QPainter p(&canvas);
  p.setBrush(QColor(GetRValue(s.Brush), GetGValue(s.Brush), GetBValue(s.Brush)));
  TImageZoom z;
  z.SetBitmap(&bitmap);
  z.SetCanvas(&p);
  if (box) z.SetBox(*box);
  z.SetZoom(s.Zoom);
  z.SetLeft(s.X);
  z.SetTop(s.Y);
  z.WholePixels = true;
  z.Halftone = s.Halftone;
  z.Plain = s.Plain;
  return z.Draw(s.Fill);
}

TEST(ImgZoom, ZoomSetterAndRounding) {
  TImageZoom z;
  z.SetZoom(-1);
  EXPECT_EQ(z.Zoom(), 1.0);
  EXPECT_EQ(z.ZoomMode(), zmCustom);
  z.SetZoom(0.5);
  z.SetZoom(0);
  EXPECT_EQ(z.Zoom(), 1.0);
  EXPECT_EQ(z.ZoomWidth(), 0) << "no bitmap, no zoomed size";

  const TBitmap b = Solid(5, 3, clRed);
  z.SetBitmap(&b);
  z.SetZoom(2.5);  // 12.5 and 7.5: halves go to the even neighbour
  EXPECT_EQ(z.ZoomWidth(), 12);
  EXPECT_EQ(z.ZoomHeight(), 8);

  z.SetZoomWidth(0);
  z.SetZoomWidth(-3);
  EXPECT_EQ(z.Zoom(), 2.5) << "a width <= 0 is ignored";
  z.SetZoomWidth(10);
  EXPECT_DOUBLE_EQ(z.Zoom(), 2.0);
  EXPECT_EQ(z.ZoomHeight(), 6);
  z.SetZoomHeight(9);
  EXPECT_DOUBLE_EQ(z.Zoom(), 3.0);
  EXPECT_EQ(z.ZoomWidth(), 15);

  const TBitmap empty;
  z.SetBitmap(&empty);
  z.SetZoomWidth(10);  // nothing to divide by: ignored
  EXPECT_EQ(z.ZoomWidth(), 0);
}

TEST(ImgZoom, ComputeFitZoom) {
  const TBitmap b = Solid(200, 100, clRed), empty;
  const TRect box{0, 0, 100, 80};
  EXPECT_EQ(TImageZoom::ComputeFitZoom(nullptr, box, 3), 0);
  EXPECT_EQ(TImageZoom::ComputeFitZoom(&empty, box, 3), 0);
  EXPECT_EQ(TImageZoom::ComputeFitZoom(&b, TRect{5, 5, 5, 50}, 3), 0);
  EXPECT_DOUBLE_EQ(TImageZoom::ComputeFitZoom(&b, box, 1), 0.5);
  EXPECT_DOUBLE_EQ(TImageZoom::ComputeFitZoom(&b, box, 2), 0.8);
  EXPECT_DOUBLE_EQ(TImageZoom::ComputeFitZoom(&b, box, 3), 0.5);
  EXPECT_EQ(TImageZoom::ComputeFitZoom(&b, box, 7), 1.0);
}

TEST(ImgZoom, FitBoxCentred) {
  const TBitmap b = Solid(200, 100, clRed);
  TImageZoom z;
  z.SetAlign(zaCenter);
  z.SetBitmap(&b);
  z.SetBox(TRect{10, 20, 110, 120});
  z.SetZoomMode(zmFitBox);
  EXPECT_DOUBLE_EQ(z.Zoom(), 0.5);
  EXPECT_EQ(z.ZoomWidth(), 100);
  EXPECT_EQ(z.ZoomHeight(), 50);
  EXPECT_EQ(z.PictureRect(), (TRect{10, 45, 110, 95}));
}

struct AlignCase {
  TZoomAlign Align;
  int Left, Top;
};

class ImgZoomAlign : public ::testing::TestWithParam<AlignCase> {};

// A 40 x 20 picture at actual size in the box (10, 20, 110, 80); a manual
// position of (-7, -9) shows which coordinate an alignment leaves alone.
TEST_P(ImgZoomAlign, PlacesPictureInBox) {
  const AlignCase c = GetParam();
  const TBitmap b = Solid(40, 20, clRed);
  TImageZoom z;
  z.SetBitmap(&b);
  z.SetLeft(-7);
  z.SetTop(-9);
  z.SetBox(TRect{10, 20, 110, 80});
  z.SetAlign(c.Align);
  EXPECT_EQ(z.Left(), c.Left);
  EXPECT_EQ(z.Top(), c.Top);
}

INSTANTIATE_TEST_SUITE_P(All, ImgZoomAlign,
                         ::testing::Values(AlignCase{zaTopLeft, 10, 20}, AlignCase{zaTopCenter, 40, 20},
                                           AlignCase{zaTopRight, 70, 20}, AlignCase{zaMiddleLeft, 10, 40},
                                           AlignCase{zaCenter, 40, 40}, AlignCase{zaMiddleRight, 70, 40},
                                           AlignCase{zaBottomLeft, 10, 60}, AlignCase{zaBottomCenter, 40, 60},
                                           AlignCase{zaBottomRight, 70, 60}, AlignCase{zaCenterHorz, 40, -9},
                                           AlignCase{zaCenterVert, -7, 40}));

TEST(ImgZoom, ZoomTwoGivesTwoByTwoBlocksInPartlyVisibleBox) {
  const TBitmap b = Numbered(7, 5);
  QImage canvas = Canvas(30, 20);
  const TRect box{5, 3, 12, 10};  // cuts the zoomed picture at odd offsets
  DrawSetup s;
  s.Zoom = 2;
  s.X = 2;
  s.Y = 0;
  const TRect drawn = DrawInto(canvas, b, s, &box);
  EXPECT_EQ(drawn, box);
  EXPECT_TRUE(PixelsMatch(canvas, TRect{0, 0, 30, 20}, [&](int x, int y) {
    const bool inBox = x >= box.Left && x < box.Right && y >= box.Top && y < box.Bottom;
    return inBox ? Distinct((x - 2) / 2, y / 2) : kSentinel;
  }));
}

TEST(ImgZoom, ThreeByThreeAtTwoAndAHalfDrawsWholePixels) {
  // Whole picture: source columns span 0-1, 2-4 and 5-7 (8 = Round(7.5)
  // columns). A box starting at column 4 cuts source column 1, which is still
  // drawn, clipped by the box.
  const TBitmap b = Numbered(3, 3);
  QImage canvas = Canvas(30, 12);
  const TRect box{10 + 4, 0, 30, 12};
  DrawSetup s;
  s.Zoom = 2.5;
  s.X = 10;
  const TRect drawn = DrawInto(canvas, b, s, &box);
  EXPECT_EQ(drawn, (TRect{14, 0, 18, 8}));
  const int colOf[8] = {0, 0, 1, 1, 1, 2, 2, 2};
  EXPECT_TRUE(PixelsMatch(canvas, TRect{0, 0, 30, 12}, [&](int x, int y) {
    if (x < 14 || x >= 18 || y >= 8) return kSentinel;
    return Distinct(colOf[x - 10], colOf[y]);
  }));
}

struct PieceCase {
  double Zoom;
  bool Halftone;
};

class ImgZoomPieces : public ::testing::TestWithParam<PieceCase> {};

// A repaint of any part (a scrolled strip, a box edge) gives the same pixels
// as the whole picture drawn at once: no seams.
TEST_P(ImgZoomPieces, PartsEqualWhole) {
  const PieceCase c = GetParam();
  const TBitmap b = Numbered(23, 17);
  DrawSetup s;
  s.Zoom = c.Zoom;
  s.Halftone = c.Halftone;
  s.X = -3;
  s.Y = 2;
  QImage whole = Canvas(70, 60);
  DrawInto(whole, b, s);
  QImage pieces = Canvas(70, 60);
  for (int y0 = 0; y0 < 60; y0 += 7)
    for (int x0 = 0; x0 < 70; x0 += 9) {
      const TRect box{x0, y0, x0 + 9, y0 + 7};
      DrawInto(pieces, b, s, &box);
    }
  EXPECT_TRUE(SameImage(pieces, whole));
}

INSTANTIATE_TEST_SUITE_P(All, ImgZoomPieces,
                         ::testing::Values(PieceCase{0.37, false}, PieceCase{0.37, true}, PieceCase{0.5, true},
                                           PieceCase{1.7, false}, PieceCase{1.7, true}, PieceCase{2.5, false},
                                           PieceCase{3, true}));

TEST(ImgZoom, HalftoneAveragesTheAreaEachPixelCovers) {
  const TBitmap b = FromRows({{RGBColor(0, 10, 255), RGBColor(100, 20, 255), RGBColor(7, 7, 7), RGBColor(8, 8, 8)},
                              {RGBColor(0, 30, 0), RGBColor(101, 40, 0), RGBColor(9, 9, 9), RGBColor(9, 9, 9)}});
  QImage small = Canvas(2, 1);
  DrawSetup s;
  s.Zoom = 0.5;
  s.Halftone = true;
  DrawInto(small, b, s);
  EXPECT_EQ(At(small, 0, 0), RGBColor(50, 25, 128));  // (201 / 4 = 50.25, 100 / 4, 510 / 4 = 127.5 -> 128)
  EXPECT_EQ(At(small, 1, 0), RGBColor(8, 8, 8));      // 33 / 4 = 8.25

  // Enlarging 2 x 1 by 1.5: the middle zoomed pixel covers half of each
  // source pixel; by 2 every source pixel becomes a block.
  const TBitmap pair = FromRows({{RGBColor(0, 0, 0), RGBColor(200, 100, 40)}});
  QImage big = Canvas(4, 2);
  s.Zoom = 1.5;
  DrawInto(big, pair, s);
  const TColor mid[3] = {RGBColor(0, 0, 0), RGBColor(100, 50, 20), RGBColor(200, 100, 40)};
  EXPECT_TRUE(PixelsMatch(big, TRect{0, 0, 3, 2}, [&](int x, int) { return mid[x]; }));
  s.Zoom = 2;
  DrawInto(big, pair, s);
  EXPECT_TRUE(PixelsMatch(big, TRect{0, 0, 4, 2}, [&](int x, int) { return pair.Pixel(x / 2, 0); }));
}

TEST(ImgZoom, LargeReductionSharedAmongCoresAveragesEveryBlock) {
  // Big enough for the stretch to be split into bands of rows: each band
  // must average exactly its own blocks of 21 x 21 source pixels.
  const int block = 21, cells = 100, side = block * cells;
  TBitmap b(side, side, pf24bit);
  for (int y = 0; y < side; ++y) {
    std::uint8_t* p = b.ScanLine(y);
    for (int x = 0; x < side; ++x, p += 3) {
      p[0] = std::uint8_t(x * 7 + y);
      p[1] = std::uint8_t(y * 3);
      p[2] = std::uint8_t((x ^ y) & 0xFF);
    }
  }
  const QImage out = StretchPart(b, cells, cells, TRect{0, 0, cells, cells}, TStretchKind::Smooth);
  ASSERT_EQ(out.width(), cells);
  const int n = block * block;
  for (int cy = 0; cy < cells; ++cy)
    for (int cx = 0; cx < cells; ++cx) {
      long sum[3] = {0, 0, 0};
      for (int y = cy * block; y < (cy + 1) * block; ++y)
        for (int x = cx * block; x < (cx + 1) * block; ++x)
          for (int c = 0; c < 3; ++c) sum[c] += b.ScanLine(y)[3 * x + c];
      const QRgb v = out.pixel(cx, cy);
      ASSERT_EQ(qBlue(v), (sum[0] + n / 2) / n) << cx << "," << cy;
      ASSERT_EQ(qGreen(v), (sum[1] + n / 2) / n) << cx << "," << cy;
      ASSERT_EQ(qRed(v), (sum[2] + n / 2) / n) << cx << "," << cy;
    }
}

TEST(ImgZoom, FillPaintsBandsAroundPicture) {
  const TBitmap b = Numbered(4, 3);
  QImage canvas = Canvas(20, 16);
  const TRect box{1, 2, 19, 15};
  DrawSetup s;
  s.Zoom = 2;
  s.X = 5;
  s.Y = 4;
  s.Fill = true;
  s.Brush = clLime;
  EXPECT_EQ(DrawInto(canvas, b, s, &box), (TRect{5, 4, 13, 10}));
  EXPECT_TRUE(PixelsMatch(canvas, TRect{0, 0, 20, 16}, [&](int x, int y) {
    if (x < 1 || x >= 19 || y < 2 || y >= 15) return kSentinel;
    if (x >= 5 && x < 13 && y >= 4 && y < 10) return Distinct((x - 5) / 2, (y - 4) / 2);
    return clLime;
  }));

  // A picture wholly outside the box: the box is filled, nothing drawn.
  QImage away = Canvas(20, 16);
  s.X = 40;
  EXPECT_EQ(DrawInto(away, b, s, &box), TRect{});
  EXPECT_TRUE(PixelsMatch(away, box, [](int, int) { return clLime; }));
}

TEST(ImgZoom, TransparentPixelsLeaveTheBackground) {
  TBitmap b = FromRows({{clRed, clWhite}, {clWhite, clBlue}});
  b.Transparent = true;
  b.SetTransparentColor(clWhite);
  struct Case {
    const char* Name;
    bool Fill, Plain;
    TColor Hole;  // what shows at the transparent pixels
  };
  const Case cases[] = {{"plain stretch copies every pixel", false, true, clWhite},
                        {"masked, no fill", false, false, kSentinel},
                        {"masked over the filled brush", true, false, clLime}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    QImage canvas = Canvas(4, 4);
    DrawSetup s;
    s.Zoom = 2;
    s.Fill = c.Fill;
    s.Plain = c.Plain;
    s.Halftone = true;  // ignored for transparent pictures
    s.Brush = clLime;
    DrawInto(canvas, b, s);
    EXPECT_TRUE(PixelsMatch(canvas, TRect{0, 0, 4, 4}, [&](int x, int y) {
      const TColor src = b.Pixel(x / 2, y / 2);
      return src == clWhite ? c.Hole : src;
    }));
  }
}

TEST(ImgZoom, EveryPixelFormatDrawsItsColours) {
  TBitmap base = Numbered(6, 4);
  base.SetPixel(0, 0, clWhite);
  base.SetPixel(1, 0, clBlack);
  for (TPixelFormat pf : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
    SCOPED_TRACE("pixel format " + std::to_string(int(pf)));
    TBitmap b(base);
    b.SetPixelFormat(pf);
    if (pf == pf32bit) {  // alpha is not looked at: a plain copy ignores it
      QImage& img = b.MutableImage();
      for (int y = 0; y < img.height(); ++y) img.scanLine(y)[3] = 0;
    }
    QImage canvas = Canvas(6, 4);
    DrawInto(canvas, b, DrawSetup{});
    EXPECT_TRUE(PixelsMatch(canvas, TRect{0, 0, 6, 4}, [&](int x, int y) { return b.Pixel(x, y); }));
  }
}

TEST(ImgZoom, CacheFollowsPictureChanges) {
  TBitmap b = Numbered(40, 40);
  QImage plain = Canvas(10, 10), cached = Canvas(10, 10);
  DrawSetup s;
  s.Zoom = 0.25;
  s.Halftone = true;
  DrawInto(plain, b, s);

  QPainter p(&cached);
  TImageZoom z;
  z.CacheZoomed = true;
  z.Halftone = true;
  z.SetBitmap(&b);
  z.SetCanvas(&p);
  z.SetZoom(0.25);
  z.Draw(false);
  EXPECT_TRUE(SameImage(cached, plain));

  b.Fill(clRed);
  z.PictureChanged();
  z.Draw(false);
  EXPECT_EQ(At(cached, 3, 3), clRed);

  z.SetZoom(0.1);  // a new factor: a new reduction
  p.fillRect(0, 0, 10, 10, Qt::black);
  z.Draw(false);
  EXPECT_EQ(At(cached, 3, 3), clRed);
  EXPECT_EQ(At(cached, 4, 4), clBlack) << "outside the 4 x 4 zoomed picture";
}

TEST(ImgZoom, DrawWithoutBitmapOrCanvasDoesNothing) {
  TImageZoom z;
  EXPECT_EQ(z.Draw(true), TRect{});
  const TBitmap b = Solid(3, 3, clRed);
  z.SetBitmap(&b);
  EXPECT_EQ(z.Draw(true), TRect{});
}

// ---- Shadows ------------------------------------------------------------------

constexpr TColor kBack = RGBColor(200, 180, 160);
TColor Dark(int percent) { return MixColors(kBack, clBlack, percent); }

TEST(ImgZoomShadow, NothingForOutOfRangeArguments) {
  struct Case {
    TRect R;
    int Size, Percent;
  };
  for (const Case& c : {Case{{2, 2, 20, 20}, 4, 0}, Case{{2, 2, 20, 20}, 4, 101}, Case{{2, 2, 20, 20}, 0, 77},
                        Case{{20, 2, 2, 20}, 4, 77}}) {
    for (bool soft : {true, false}) {
      QImage canvas = Canvas(40, 40);
      QPainter p(&canvas);
      DrawShadow(p, c.R, c.Size, soft, kBack, c.Percent);
      p.end();
      EXPECT_TRUE(PixelsMatch(canvas, TRect{0, 0, 40, 40}, [](int, int) { return kSentinel; }))
          << "size " << c.Size << ", percent " << c.Percent << ", soft " << soft;
    }
  }
}

// Strengths of the rings of a soft shadow around (10, 10, 50, 40), read along
// the bottom row band (x = 30) and the right column band (y = 25).
struct SoftCase {
  int Size;
  std::vector<int> Rings;
};

class ImgZoomSoftShadow : public ::testing::TestWithParam<SoftCase> {};

TEST_P(ImgZoomSoftShadow, RingStrengths) {
  const SoftCase c = GetParam();
  const TRect r{10, 10, 50, 40};
  QImage canvas = Canvas(70, 60);
  QPainter p(&canvas);
  DrawShadow(p, r, c.Size, true, kBack, 77);
  p.end();
  for (size_t k = 0; k < c.Rings.size(); ++k) {
    SCOPED_TRACE("ring " + std::to_string(k));
    EXPECT_EQ(Hex(At(canvas, 30, r.Bottom + int(k))), Hex(Dark(c.Rings[k])));
    EXPECT_EQ(Hex(At(canvas, r.Right + int(k), 25)), Hex(Dark(c.Rings[k])));
  }
  const int n = int(c.Rings.size());
  EXPECT_EQ(At(canvas, 30, r.Bottom + n), kSentinel) << "nothing past the last ring";
  EXPECT_EQ(At(canvas, r.Right + n, 25), kSentinel);
  EXPECT_EQ(At(canvas, 30, r.Bottom - 1), kSentinel) << "nothing over the rectangle";
  // The row fades in from the offset left end, the column from the offset top.
  const int first = c.Rings[0];
  EXPECT_EQ(At(canvas, r.Left + c.Size - 1, r.Bottom), kSentinel);
  EXPECT_EQ(Hex(At(canvas, r.Left + c.Size, r.Bottom)), Hex(Dark(first * 2 / 10)));
  EXPECT_EQ(Hex(At(canvas, r.Left + c.Size + 3, r.Bottom)), Hex(Dark(first * 8 / 10)));
  EXPECT_EQ(At(canvas, r.Right, r.Top + c.Size - 1), kSentinel);
  EXPECT_EQ(Hex(At(canvas, r.Right, r.Top + c.Size + 1)), Hex(Dark(first * 4 / 10)));
  // The whole corner square is covered.
  for (int y = r.Bottom; y < r.Bottom + n; ++y)
    for (int x = r.Right; x < r.Right + n; ++x) EXPECT_NE(At(canvas, x, y), kSentinel) << x << ", " << y;
}

INSTANTIATE_TEST_SUITE_P(All, ImgZoomSoftShadow,
                         ::testing::Values(SoftCase{4, {62, 47, 32, 17}}, SoftCase{6, {77, 77, 62, 47, 32, 17}},
                                           SoftCase{2, {52, 27}}));

TEST(ImgZoomShadow, SoftCornerFadesOut) {
  // Size 4: the corner pixel (r.Right + a, r.Bottom + b) belongs to the row of
  // ring b when a <= b, faded by a steps, and to the column of ring a otherwise.
  const TRect r{10, 10, 50, 40};
  QImage canvas = Canvas(70, 60);
  QPainter p(&canvas);
  DrawShadow(p, r, 4, true, kBack, 77);
  p.end();
  const int ring[4] = {62, 47, 32, 17};
  EXPECT_TRUE(PixelsMatch(canvas, TRect{50, 40, 54, 44}, [&](int x, int y) {
    const int a = x - 50, b = y - 40;
    return a <= b ? Dark(ring[b] * (8 - 2 * a) / 10) : Dark(ring[a] * (8 - 2 * b) / 10);
  }));
}

TEST(ImgZoomShadow, HardShadowIsTwoBands) {
  QImage canvas = Canvas(40, 40);
  QPainter p(&canvas);
  DrawShadow(p, TRect{5, 5, 25, 20}, 3, false, kBack, 50);
  p.end();
  EXPECT_TRUE(PixelsMatch(canvas, TRect{0, 0, 40, 40}, [](int x, int y) {
    const bool below = y >= 20 && y < 23 && x >= 8 && x < 28;
    const bool right = x >= 25 && x < 28 && y >= 8 && y < 20;
    return below || right ? Dark(50) : kSentinel;
  }));
}

// ---- Framed pictures ---------------------------------------------------------------

TEST(ImgZoomFramed, CentresSmallPictureAtActualSizeAndFitsLargeOne) {
  struct Case {
    int W, H;
    TRect Drawn;
  };
  // Box after shadow 4, frame, one more pixel and inset 2: (4, 4, 92, 92).
  for (const Case& c : {Case{50, 40, {23, 28, 73, 68}}, Case{400, 200, {4, 26, 92, 70}}}) {
    SCOPED_TRACE(std::to_string(c.W) + " x " + std::to_string(c.H));
    const TBitmap src = Numbered(c.W, c.H);
    TBitmap target = Solid(100, 100, clBlack);
    const TRect drawn = DrawFramedPicture(src, target, clWhite, false, kBack, 4, 2);
    EXPECT_EQ(drawn, c.Drawn);
    if (c.W == 50) {
      for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 50; ++x) ASSERT_EQ(target.Pixel(23 + x, 28 + y), Distinct(x, y)) << x << ", " << y;
    }
    EXPECT_EQ(target.Pixel(drawn.Left - 1, 50), clWhite);  // face around the picture
    EXPECT_EQ(target.Pixel(2, 2), clWhite);
    EXPECT_EQ(target.Pixel(0, 0), TColor(0xCCCCCC));    // light top-left edge
    EXPECT_EQ(target.Pixel(95, 0), TColor(0x555555));   // dark top-right corner
    EXPECT_EQ(target.Pixel(50, 95), TColor(0x555555));  // dark bottom edge
    EXPECT_EQ(target.Pixel(99, 0), kBack);              // back colour beside the shadow
    EXPECT_EQ(target.Pixel(97, 50), Dark(70 - 2 * (70 / 5))) << "second shadow ring";
  }
}

TEST(ImgZoomFramed, PaletteTargetBecomesTrueColour) {
  TBitmap target = Solid(30, 30, clBlack);
  target.SetPixelFormat(pf8bit);
  const TBitmap src = Solid(5, 5, clRed);
  const TRect drawn = DrawFramedPicture(src, target, clWhite, true, kBack, 0, 0);
  EXPECT_EQ(target.PixelFormat(), pf24bit);
  EXPECT_EQ(drawn, (TRect{12, 12, 17, 17}));
  EXPECT_EQ(target.Pixel(14, 14), clRed);
  EXPECT_EQ(target.Pixel(0, 0), clWhite);
}

}  // namespace
