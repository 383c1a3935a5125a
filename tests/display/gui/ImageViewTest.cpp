#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <functional>
#include <string>

#include "TestBitmaps.h"
#include "display/gui/ImageView.h"
#include "raster/ColorAdjust.h"

using namespace testing_bitmaps;

namespace {

constexpr TColor kBack = RGBColor(200, 180, 160);

TColor At(const QImage& img, int x, int y) {
  const QRgb c = img.pixel(x, y);
  return RGBColor(qRed(c), qGreen(c), qBlue(c));
}

// Checks every pixel of the image against `expected` and names the first
// one that differs.
::testing::AssertionResult PixelsMatch(const QImage& img, const std::function<TColor(int, int)>& expected,
                                       TRect area = TRect{0, 0, 0, 0}) {
  if (IsRectEmpty(area)) area = TRect{0, 0, img.width(), img.height()};
  for (int y = area.Top; y < area.Bottom; ++y)
    for (int x = area.Left; x < area.Right; ++x)
      if (At(img, x, y) != expected(x, y))
        return ::testing::AssertionFailure()
               << "pixel (" << x << ", " << y << ") is " << Hex(At(img, x, y)) << ", expected " << Hex(expected(x, y));
  return ::testing::AssertionSuccess();
}

bool Inside(const TRect& r, int x, int y) { return x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom; }

// A 400 x 300 client area without frame, on the kBack background.
class MyGraphicTest : public ::testing::Test {
 protected:
  void SetUp() override {
    view.SetBorderStyle(bsNone);
    view.SetColor(kBack);
    view.resize(400, 300);
    view.show();
    Settle();
  }
  // Scroll-bar visibility follows the ranges through queued events.
  static void Settle() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
  }
  void Load(const TBitmap& b) {
    view.Bitmap().Assign(&b);
    view.BitmapChanged();
    Settle();
  }
  QImage Grab() { return view.viewport()->grab().toImage(); }
  // Repaints only r, into a copy of `base`, the way an uncovered strip is
  // repainted after a scroll.
  QImage RenderPart(QImage base, const QRect& r) {
    view.viewport()->render(&base, r.topLeft(), QRegion(r));
    return base;
  }

  TMyImage view;
};

TEST_F(MyGraphicTest, DefaultsAndSetterRules) {
  TMyImage fresh;
  EXPECT_EQ(fresh.Zoom(), 1.0);
  EXPECT_EQ(fresh.Marge(), 8);
  EXPECT_EQ(fresh.BorderStyle(), bsSingle);
  EXPECT_EQ(fresh.BorderColor(), clNone);
  EXPECT_EQ(fresh.ShadowSize(), 0);
  EXPECT_EQ(fresh.OptimizeMode(), omNone);
  EXPECT_EQ(fresh.SelectionMode, smNone);
  EXPECT_EQ(fresh.SelShape(), ssRect);
  EXPECT_EQ(fresh.LineShape(), ssLineWidth);
  EXPECT_EQ(fresh.GridWidth, 16);
  EXPECT_EQ(fresh.GridColor, TColor(0xC0C0C0));
  EXPECT_FALSE(fresh.DoubleBuffer || fresh.ShowGrid || fresh.GridAlign || fresh.MultiLine);
  EXPECT_EQ(fresh.horizontalScrollBar()->singleStep(), 8);
  EXPECT_EQ(fresh.verticalScrollBar()->singleStep(), 8);

  for (const auto& [set, stored] : {std::pair{9, 0}, {-1, 0}, {5, 5}, {7, 7}, {8, 0}}) {
    fresh.SetShadowSize(3);
    fresh.SetShadowSize(set);
    EXPECT_EQ(fresh.ShadowSize(), stored) << "ShadowSize := " << set;
  }
  fresh.SetZoom(0.5);
  fresh.SetZoom(0);
  EXPECT_EQ(fresh.Zoom(), 1.0);
  fresh.SetSelShape(ssLine);
  fresh.SetLineShape(ssEllipse);
  EXPECT_EQ(fresh.SelShape(), ssRect);
  EXPECT_EQ(fresh.LineShape(), ssLineWidth);
  fresh.SetSelShape(ssEllipse);
  fresh.SetLineShape(ssLine);
  EXPECT_EQ(fresh.SelShape(), ssEllipse);
  EXPECT_EQ(fresh.LineShape(), ssLine);
}

struct FitCase {
  int W, H;
  double Zoom;
  int ZW, ZH;
};

class MyGraphicFit : public MyGraphicTest, public ::testing::WithParamInterface<FitCase> {};

TEST_P(MyGraphicFit, ZoomToFitUsesTheWholeControl) {
  const FitCase c = GetParam();
  view.SetZoom(1);
  Load(Solid(c.W, c.H, clRed));  // at zoom 1 both examples need scroll bars
  view.ZoomToFit();
  Settle();
  EXPECT_NEAR(view.Zoom(), c.Zoom, 1e-12);
  EXPECT_EQ(view.ImageRect(), (TRect{8, 8, 8 + c.ZW, 8 + c.ZH}));
  EXPECT_FALSE(view.horizontalScrollBar()->isVisible());
  EXPECT_FALSE(view.verticalScrollBar()->isVisible());
  EXPECT_EQ(view.ClientRect(), (TRect{0, 0, 400, 300}));
}

INSTANTIATE_TEST_SUITE_P(All, MyGraphicFit,
                         ::testing::Values(FitCase{1000, 500, 0.384, 384, 192}, FitCase{100, 1000, 0.284, 28, 284}));

TEST_F(MyGraphicTest, ScrollRangesFollowThePictureNeverCentred) {
  Load(Solid(100, 50, clRed));
  EXPECT_EQ(view.ImageRect(), (TRect{8, 8, 108, 58}));
  EXPECT_EQ(view.HorzRange(), 116);
  EXPECT_EQ(view.VertRange(), 66);
  EXPECT_EQ(view.horizontalScrollBar()->maximum(), 0);
  EXPECT_FALSE(view.verticalScrollBar()->isVisible());

  Load(Solid(1000, 800, clRed));
  EXPECT_EQ(view.HorzRange(), 1016);
  EXPECT_EQ(view.VertRange(), 816);
  QScrollBar* h = view.horizontalScrollBar();
  QScrollBar* v = view.verticalScrollBar();
  ASSERT_TRUE(h->isVisible() && v->isVisible());
  const TRect client = view.ClientRect();
  EXPECT_EQ(client.Right, 400 - v->width());
  EXPECT_EQ(client.Bottom, 300 - h->height());
  EXPECT_EQ(h->maximum(), 1016 - client.Right);
  EXPECT_EQ(v->maximum(), 816 - client.Bottom);
  EXPECT_EQ(h->pageStep(), client.Right);
  EXPECT_EQ(v->pageStep(), client.Bottom);

  h->setValue(30);
  v->setValue(1000);  // clamped to the largest position
  EXPECT_EQ(view.ImageRect().Left, 8 - 30);
  EXPECT_EQ(view.ImageRect().Top, 8 - v->maximum());
  EXPECT_EQ(view.ImageRect().Bottom, client.Bottom - 8) << "the far margin shows at the end";

  // The wheel over the picture does not scroll it.
  QWheelEvent wheel(QPointF(50, 50), view.viewport()->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, -120),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(view.viewport(), &wheel);
  EXPECT_EQ(h->value(), 30);
  EXPECT_EQ(v->value(), v->maximum());
}

// Classifies the pixels around a 40 x 30 picture at (8, 8) with a black
// border (7, 7, 49, 39) and a shadow of size 4 starting 4 pixels down and
// right of the frame's corner.
TEST_F(MyGraphicTest, BorderAndSoftShadowAroundPicture) {
  view.SetBorderColor(clBlack);
  view.SetShadowSize(4);
  Load(Solid(40, 30, clRed));
  const QImage img = Grab();
  const TRect picture{8, 8, 48, 38}, frame{7, 7, 49, 39};
  const auto inShadow = [](int x, int y) {
    return (y >= 39 && y < 43 && x >= 11 && x < 53) || (x >= 49 && x < 53 && y >= 11 && y < 43);
  };
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      const TColor c = At(img, x, y);
      if (Inside(picture, x, y)) {
        ASSERT_EQ(c, clRed) << x << ", " << y;
      } else if (Inside(frame, x, y)) {
        ASSERT_EQ(c, clBlack) << "border at " << x << ", " << y;
      } else if (inShadow(x, y)) {
        ASSERT_TRUE(GetRValue(c) < GetRValue(kBack) && GetGValue(c) < GetGValue(kBack))
            << "shadow at " << x << ", " << y << " is " << Hex(c);
      } else {
        ASSERT_EQ(c, kBack) << "background at " << x << ", " << y << " is " << Hex(c);
      }
    }
  const int rings[4] = {62, 47, 32, 17};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(Hex(At(img, 30, 39 + k)), Hex(MixColors(kBack, clBlack, rings[k]))) << "row ring " << k;
    EXPECT_EQ(Hex(At(img, 49 + k, 25)), Hex(MixColors(kBack, clBlack, rings[k]))) << "column ring " << k;
  }
}

TEST_F(MyGraphicTest, NarrowPictureGetsBorderButNoShadow) {
  view.SetBorderColor(clBlack);
  view.SetShadowSize(4);
  Load(Solid(6, 30, clRed));
  const TRect picture{8, 8, 14, 38}, frame{7, 7, 15, 39};
  EXPECT_TRUE(PixelsMatch(Grab(), [&](int x, int y) {
    return Inside(picture, x, y) ? clRed : Inside(frame, x, y) ? clBlack : kBack;
  }));
}

struct RenderCase {
  bool DoubleBuffer;
  TOptimizeMode Optimize;
};

class MyGraphicRender : public MyGraphicTest, public ::testing::WithParamInterface<RenderCase> {};

// Zoom 2 on a scrolled picture: every picture pixel is a 2 x 2 block, the
// partly visible ones at the edges included, and a repainted strip matches
// the full paint.
TEST_P(MyGraphicRender, ZoomTwoBlocksWhenScrolled) {
  view.DoubleBuffer = GetParam().DoubleBuffer;
  view.SetOptimizeMode(GetParam().Optimize);
  Load(Numbered(300, 200));
  view.SetZoom(2);
  Settle();
  view.horizontalScrollBar()->setValue(13);
  view.verticalScrollBar()->setValue(7);
  const TRect ir = view.ImageRect();
  ASSERT_EQ(ir.Left, -5);
  ASSERT_EQ(ir.Top, 1);
  const QImage img = Grab();
  EXPECT_TRUE(PixelsMatch(
      img, [&](int x, int y) { return Distinct((x - ir.Left) / 2, (y - ir.Top) / 2); }, view.VisibleImageRect()));
  // Strips starting inside a source pixel (odd offsets), as after a scroll.
  for (const QRect& strip : {QRect(0, 0, 9, img.height()), QRect(101, 0, 9, img.height()), QRect(0, 55, 300, 7)}) {
    QImage base(img.size(), img.format());
    base.fill(Qt::magenta);
    const QImage part = RenderPart(base, strip);
    const TRect r{strip.left(), strip.top(), strip.right() + 1, strip.bottom() + 1};
    EXPECT_TRUE(PixelsMatch(
        part, [&](int x, int y) { return At(img, x, y); }, r))
        << "strip at " << strip.left() << ", " << strip.top();
  }
}

INSTANTIATE_TEST_SUITE_P(All, MyGraphicRender,
                         ::testing::Values(RenderCase{false, omNone}, RenderCase{true, omNone},
                                           RenderCase{false, omSystem}));

class MyGraphicChecker : public MyGraphicTest, public ::testing::WithParamInterface<bool> {};

// A fully transparent picture shows the checkerboard: tile (0, 0) in the
// background colour at the picture's corner, white squares beside it, and
// the pattern moves with the picture when scrolling.
TEST_P(MyGraphicChecker, PhaseFollowsPicture) {
  view.DoubleBuffer = GetParam();
  TBitmap b = Solid(500, 400, clWhite);
  b.Transparent = true;
  b.SetTransparentColor(clWhite);
  Load(b);
  for (int scroll : {0, 3, 12}) {
    view.horizontalScrollBar()->setValue(scroll);
    view.verticalScrollBar()->setValue(scroll + 1);
    const TRect vis = view.VisibleImageRect();
    const TRect ir = view.ImageRect();
    EXPECT_TRUE(PixelsMatch(
        Grab(),
        [&](int x, int y) {
          const int tx = (x - ir.Left) % 8, ty = (y - ir.Top) % 8;
          return (tx < 4) == (ty < 4) ? kBack : clWhite;
        },
        vis))
        << "scrolled by " << scroll;
  }
}

INSTANTIATE_TEST_SUITE_P(DirectAndBuffered, MyGraphicChecker, ::testing::Bool());

TEST_F(MyGraphicTest, TransparentPixelsShowCheckerOthersThePicture) {
  TBitmap b = FromRows({{clRed, clWhite}, {clWhite, clBlue}});
  b.Transparent = true;
  b.SetTransparentColor(clWhite);
  Load(b);
  view.SetZoom(8);
  const QImage img = Grab();
  EXPECT_EQ(At(img, 8 + 3, 8 + 3), clRed);
  EXPECT_EQ(At(img, 8 + 12, 8 + 12), clBlue);
  EXPECT_EQ(At(img, 8 + 8, 8), kBack);     // checker square (0, 0) of the second tile
  EXPECT_EQ(At(img, 8 + 12, 8), clWhite);  // checker square (4, 0)
  EXPECT_EQ(At(img, 8, 8 + 8 + 4), clWhite);
}

TEST_F(MyGraphicTest, GridLinesEveryGridWidthPixels) {
  Load(Solid(10, 6, clRed));
  view.ShowGrid = true;
  view.GridWidth = 4;
  view.GridColor = clLime;
  view.SetZoom(3);  // lines every 12 client pixels, from the picture's corner
  const TRect ir{8, 8, 38, 26};
  EXPECT_TRUE(PixelsMatch(
      Grab(),
      [&](int x, int y) {
        if (!Inside(ir, x, y)) return kBack;
        return ((x - 8) % 12 == 0 || (y - 8) % 12 == 0) ? clLime : clRed;
      },
      TRect{0, 0, 60, 40}));

  view.SetZoom(0.4);  // 0.4 x 4 = 1.6 pixels apart: no grid
  EXPECT_TRUE(PixelsMatch(
      Grab(),
      [&](int x, int y) {
        return Inside(TRect{8, 8, 12, 10}, x, y) ? clRed : kBack;
      },
      TRect{0, 0, 30, 20}));
}

TEST_F(MyGraphicTest, PictureChangesRelayoutAndRepaint) {
  view.SetOptimizeMode(omSystem);
  Load(Numbered(400, 400));
  view.SetZoom(0.25);  // a reduction the view keeps between paints
  QImage img = Grab();
  EXPECT_NE(At(img, 20, 20), clRed);

  view.Bitmap().Fill(clRed);
  view.BitmapChanged();
  img = Grab();
  EXPECT_TRUE(PixelsMatch(
      img, [](int, int) { return clRed; }, TRect{8, 8, 108, 108}));

  view.Bitmap().SetSize(800, 40);
  view.BitmapChanged();
  img = Grab();
  EXPECT_EQ(view.HorzRange(), 216);
  EXPECT_EQ(view.VertRange(), 26);
  EXPECT_EQ(At(img, 8, 18), kBack) << "the picture is 10 pixels high now";

  view.Bitmap().Assign(nullptr);
  view.BitmapChanged();
  EXPECT_TRUE(PixelsMatch(Grab(), [](int, int) { return kBack; }));
}

TEST_F(MyGraphicTest, CursorOverPictureOnly) {
  view.SetImgCursor(Qt::CrossCursor);
  view.SetDefaultCursor(Qt::PointingHandCursor);
  Load(Solid(50, 40, clRed));
  const auto moveTo = [&](QPointF pos) {
    QMouseEvent move(QEvent::MouseMove, pos, view.viewport()->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &move);
    return view.viewport()->cursor().shape();
  };
  EXPECT_EQ(moveTo(QPointF(20, 20)), Qt::CrossCursor);
  EXPECT_EQ(moveTo(QPointF(57, 20)), Qt::CrossCursor);
  EXPECT_EQ(moveTo(QPointF(58, 20)), Qt::PointingHandCursor);
  EXPECT_EQ(moveTo(QPointF(3, 3)), Qt::PointingHandCursor);
  EXPECT_EQ(view.SelState(), 0);
}

TEST_F(MyGraphicTest, CoordinateConversions) {
  Load(Numbered(10, 8));
  view.SetZoom(2.5);  // ImageRect (8, 8, 33, 28)
  ASSERT_EQ(view.ImageRect(), (TRect{8, 8, 33, 28}));
  struct PointCase {
    TPoint In, Out;
  };
  for (const PointCase& c : {PointCase{{8, 8}, {0, 0}}, PointCase{{32, 27}, {9, 7}}, PointCase{{20, 18}, {4, 4}},
                             PointCase{{10, 9}, {0, 0}}}) {
    EXPECT_EQ(view.ClientToImagePoint(c.In), c.Out) << c.In.X << ", " << c.In.Y;
  }
  for (const PointCase& c : {PointCase{{9, 7}, {32, 27}}, PointCase{{4, 4}, {18, 18}}, PointCase{{3, 0}, {16, 8}},
                             PointCase{{0, 0}, {8, 8}}}) {
    EXPECT_EQ(view.ImageToClientPoint(c.In), c.Out) << c.In.X << ", " << c.In.Y;
  }
  EXPECT_EQ(view.SnapPointToPixel(TPoint{100, -5}), (TPoint{32, 8}));
  EXPECT_EQ(view.ClientToImageRect(view.ImageRect()), (TRect{0, 0, 10, 8}));
  EXPECT_EQ(view.ImageToClientRect(TRect{0, 0, 10, 8}), view.ImageRect());
  EXPECT_EQ(view.ImageToClientRect(TRect{1, 1, 3, 3}), (TRect{10, 10, 16, 16}));
  EXPECT_EQ(view.SnapRectToGrid(TRect{13, 13, 25, 22}), (TRect{13, 13, 23, 20})) << "no grid alignment: pixels";
  view.GridAlign = true;
  view.GridWidth = 4;
  EXPECT_EQ(view.SnapRectToGrid(TRect{13, 13, 25, 22}), (TRect{8, 8, 28, 18}));
}

TEST_F(MyGraphicTest, OnPaintDrawsOverThePicture) {
  Load(Solid(20, 20, clRed));
  int calls = 0;
  view.OnPaint = [&](TMyImage& sender, QPainter& canvas) {
    ++calls;
    EXPECT_EQ(&sender, &view);
    canvas.fillRect(10, 10, 2, 2, Qt::blue);
  };
  const QImage img = Grab();
  EXPECT_GE(calls, 1);
  EXPECT_EQ(At(img, 11, 11), clBlue);
  EXPECT_EQ(At(img, 12, 12), clRed);
}

}  // namespace
