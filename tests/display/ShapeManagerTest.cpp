#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <climits>
#include <string>
#include <vector>

#include "TestBitmaps.h"
#include "display/ShapeManager.h"

using namespace testing_bitmaps;

namespace {

// ---- fixtures and checks ----

// The picture as rows of characters: '#' black, '.' white, 'o' anything else.
std::vector<std::string> Ascii(const TBitmap& b) {
  std::vector<std::string> rows;
  for (int y = 0; y < b.Height(); ++y) {
    std::string row;
    for (int x = 0; x < b.Width(); ++x) {
      const TColor c = b.Pixel(x, y);
      row += c == clBlack ? '#' : c == clWhite ? '.' : 'o';
    }
    rows.push_back(row);
  }
  return rows;
}

std::string Joined(const std::vector<std::string>& rows) {
  std::string s;
  for (const std::string& r : rows) s += r + "\n";
  return s;
}

// The smallest rectangle holding every pixel that is not white (exclusive
// right and bottom); (0, 0, 0, 0) when there is none.
TRect InkBounds(const TBitmap& b) {
  TRect r{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (b.Pixel(x, y) != clWhite)
        r = TRect{std::min(r.Left, x), std::min(r.Top, y), std::max(r.Right, x + 1), std::max(r.Bottom, y + 1)};
  return r.Left == INT_MAX ? TRect{} : r;
}

// Each row's ink is one run without holes.
::testing::AssertionResult RowsAreRuns(const TBitmap& b) {
  for (int y = 0; y < b.Height(); ++y) {
    int state = 0;  // 0 before the run, 1 inside, 2 after
    for (int x = 0; x < b.Width(); ++x) {
      const bool ink = b.Pixel(x, y) != clWhite;
      if (ink && state == 2) return ::testing::AssertionFailure() << "row " << y << " has a hole before x " << x;
      if (ink) state = 1;
      if (!ink && state == 1) state = 2;
    }
  }
  return ::testing::AssertionSuccess();
}

// A shape drawn the way selection files are painted: black brush and pen on white.
TBitmap DrawSolid(TShapeManager& m, TMyShape kind, TRect r, int w, int h) {
  TBitmap b = Solid(w, h, clWhite);
  TShapeCanvas c(b);
  c.Brush.Color = clBlack;
  c.Pen.Color = clBlack;
  m.Draw(c, r, 0, kind);
  return b;
}
TBitmap DrawSolid(TMyShape kind, TRect r, int w, int h) {
  TShapeManager m;
  return DrawSolid(m, kind, r, w, h);
}

using TData = std::vector<std::uint8_t>;

TData Text(const std::string& s) { return TData(s.begin(), s.end()); }

void Put32(TData& out, std::int64_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(std::uint64_t(v) >> (8 * i)));
}

struct TFlagged {
  int x, y, flags;
};

// The binary selection layout; lineEnd separates the two header lines and the count.
TData BinarySelection(const std::vector<TFlagged>& pts, const std::string& lineEnd = "\r\n") {
  TData out = Text("Brindlemark Selection" + lineEnd + "Binary" + lineEnd);
  Put32(out, std::int64_t(pts.size()));
  for (const TFlagged& p : pts) {
    Put32(out, p.x + 33);
    Put32(out, p.flags + 77);
    Put32(out, p.y + 33);
  }
  return out;
}

// A filled block of pixels as a multi-point shape: every pixel of the
// block's border with the flags of its boundary sides, in row order.
std::vector<TFlagged> Block(int w, int h) {
  std::vector<TFlagged> pts;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int f = 0;
      if (x == 0) f |= mpLeft;
      if (y == 0) f |= mpTop;
      if (x == w - 1) f |= mpRight;
      if (y == h - 1) f |= mpBottom;
      if (f) pts.push_back({x, y, f});
    }
  return pts;
}

TShapeManager Loaded(const TData& data) {
  TShapeManager m;
  TMyShape kind;
  TRect bounds;
  EXPECT_EQ(m.ReadSelection(data, kind, bounds), "");
  return m;
}

// ---- area figures ----

TEST(ShapeManagerDraw, RectangleCoversLeftToRightMinusOne) {
  const TBitmap b = DrawSolid(ssRect, Rect(2, 1, 7, 4), 9, 6);
  EXPECT_EQ(Joined(Ascii(b)),
            ".........\n"
            "..#####..\n"
            "..#####..\n"
            "..#####..\n"
            ".........\n"
            ".........\n");
}

TEST(ShapeManagerDraw, PenOutlinesAndBrushFillsTheInside) {
  TBitmap b = Solid(7, 5, clWhite);
  TShapeCanvas c(b);
  c.Pen.Color = clBlack;
  c.Brush.Color = clRed;
  TShapeManager m;
  m.Draw(c, Rect(1, 0, 6, 5), 0, ssRect);
  EXPECT_EQ(Joined(Ascii(b)),
            ".#####.\n"
            ".#ooo#.\n"
            ".#ooo#.\n"
            ".#ooo#.\n"
            ".#####.\n");
  EXPECT_EQ(b.Pixel(3, 2), clRed);

  // A clear brush leaves the inside alone; a clear pen lets the brush cover it all.
  b = Solid(7, 5, clWhite);
  TShapeCanvas outline(b);
  outline.Brush.Style = bsClear;
  m.Draw(outline, Rect(1, 0, 6, 5), 0, ssRect);
  EXPECT_EQ(Joined(Ascii(b)),
            ".#####.\n"
            ".#...#.\n"
            ".#...#.\n"
            ".#...#.\n"
            ".#####.\n");
  b = Solid(7, 5, clWhite);
  TShapeCanvas filled(b);
  filled.Pen.Style = psClear;
  filled.Brush.Color = clBlack;
  m.Draw(filled, Rect(1, 0, 6, 5), 0, ssRect);
  EXPECT_EQ(InkBounds(b), Rect(1, 0, 6, 5));
  EXPECT_EQ(b.Pixel(1, 0), clBlack);
}

TEST(ShapeManagerDraw, ReversedAndEmptyRectangles) {
  EXPECT_TRUE(SamePixels(DrawSolid(ssRect, Rect(7, 4, 2, 1), 9, 6), DrawSolid(ssRect, Rect(2, 1, 7, 4), 9, 6)));
  EXPECT_TRUE(SamePixels(DrawSolid(ssEllipse, Rect(7, 4, 2, 1), 9, 6), DrawSolid(ssEllipse, Rect(2, 1, 7, 4), 9, 6)));
  EXPECT_EQ(InkBounds(DrawSolid(ssRect, Rect(3, 1, 3, 4), 9, 6)), TRect{});
  EXPECT_EQ(InkBounds(DrawSolid(ssEllipse, Rect(3, 1, 8, 1), 9, 6)), TRect{});
}

TEST(ShapeManagerDraw, EllipseOfTenByTen) {
  const TBitmap b = DrawSolid(ssEllipse, Rect(0, 0, 10, 10), 12, 12);
  EXPECT_EQ(Joined(Ascii(b)),
            "...####.....\n"
            ".########...\n"
            ".########...\n"
            "##########..\n"
            "##########..\n"
            "##########..\n"
            "##########..\n"
            ".########...\n"
            ".########...\n"
            "...####.....\n"
            "............\n"
            "............\n");
}

TEST(ShapeManagerDraw, EllipsesTouchEverySideOfTheirBox) {
  const TRect boxes[] = {Rect(1, 1, 31, 12), Rect(2, 0, 5, 40), Rect(0, 3, 100, 5), Rect(3, 3, 5, 103),
                         Rect(4, 4, 5, 9),   Rect(1, 2, 2, 3),  Rect(0, 0, 37, 37)};
  for (const TRect& box : boxes) {
    SCOPED_TRACE(testing::Message() << "box " << box.Left << "," << box.Top << "," << box.Right << "," << box.Bottom);
    const TBitmap b = DrawSolid(ssEllipse, box, 110, 110);
    EXPECT_EQ(InkBounds(b), box);
    EXPECT_TRUE(RowsAreRuns(b));
    // Symmetric about both axes of the box.
    for (int y = box.Top; y < box.Bottom; ++y)
      for (int x = box.Left; x < box.Right; ++x) {
        const int mx = box.Left + box.Right - 1 - x, my = box.Top + box.Bottom - 1 - y;
        ASSERT_EQ(b.Pixel(x, y), b.Pixel(mx, y)) << x << "," << y;
        ASSERT_EQ(b.Pixel(x, y), b.Pixel(x, my)) << x << "," << y;
      }
  }
}

TEST(ShapeManagerDraw, RoundRectCornerIsAQuarterOfMinSideOverFour) {
  EXPECT_EQ(RoundRectCorner(Rect(0, 0, 40, 20)), 5);
  EXPECT_EQ(RoundRectCorner(Rect(40, 20, 0, 0)), 5);
  EXPECT_EQ(RoundRectCorner(Rect(0, 0, 3, 90)), 0);

  // A 5 x 5 corner ellipse cuts exactly the corner pixel of the 40 x 20 box.
  const TBitmap b = DrawSolid(ssRoundRect, Rect(0, 0, 40, 20), 42, 22);
  EXPECT_EQ(InkBounds(b), Rect(0, 0, 40, 20));
  for (int y = 0; y < 20; ++y) {
    SCOPED_TRACE(y);
    const bool edgeRow = y == 0 || y == 19;
    EXPECT_EQ(b.Pixel(0, y), edgeRow ? clWhite : clBlack);
    EXPECT_EQ(b.Pixel(1, y), clBlack);
    EXPECT_EQ(b.Pixel(38, y), clBlack);
    EXPECT_EQ(b.Pixel(39, y), edgeRow ? clWhite : clBlack);
  }
}

TEST(ShapeManagerDraw, RoundRectCornersAreQuartersOfTheCornerEllipse) {
  // 80 x 40: corner 10, so each corner is a quarter of a 10 x 10 ellipse.
  const TBitmap rr = DrawSolid(ssRoundRect, Rect(0, 0, 80, 40), 80, 40);
  const TBitmap e = DrawSolid(ssEllipse, Rect(0, 0, 10, 10), 10, 10);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) {
      SCOPED_TRACE(testing::Message() << x << "," << y);
      EXPECT_EQ(rr.Pixel(x, y), e.Pixel(x, y));
      EXPECT_EQ(rr.Pixel(79 - x, y), e.Pixel(9 - x, y));
      EXPECT_EQ(rr.Pixel(x, 39 - y), e.Pixel(x, 9 - y));
      EXPECT_EQ(rr.Pixel(79 - x, 39 - y), e.Pixel(9 - x, 9 - y));
    }
  EXPECT_EQ(rr.Pixel(2, 0), clWhite);
  EXPECT_EQ(rr.Pixel(3, 0), clBlack);
  EXPECT_EQ(rr.Pixel(0, 5), clBlack);
}

// ---- polygons ----

struct TPolygonCase {
  TMyShape kind;
  std::vector<TPoint> corners;  // into (0, 0, 11, 9): L 0, T 0, R 10, B 8, MX 5, MY 4
};

class ShapeManagerPolygon : public testing::TestWithParam<TPolygonCase> {};

TEST_P(ShapeManagerPolygon, CornersLandOnTheirPixelsAndNothingPassesTheLastColumnAndRow) {
  const TPolygonCase& c = GetParam();
  const TBitmap b = DrawSolid(c.kind, Rect(0, 0, 11, 9), 13, 11);
  EXPECT_EQ(InkBounds(b), Rect(0, 0, 11, 9)) << Joined(Ascii(b));
  for (const TPoint& p : c.corners) EXPECT_EQ(b.Pixel(p.X, p.Y), clBlack) << p.X << "," << p.Y;
  EXPECT_TRUE(RowsAreRuns(b)) << Joined(Ascii(b));
}

INSTANTIATE_TEST_SUITE_P(ShapeManager, ShapeManagerPolygon,
                         testing::Values(TPolygonCase{ssTriangle1, {{0, 8}, {5, 0}, {10, 8}}},
                                         TPolygonCase{ssTriangle2, {{0, 0}, {10, 4}, {0, 8}}},
                                         TPolygonCase{ssTriangle3, {{0, 0}, {10, 0}, {5, 8}}},
                                         TPolygonCase{ssTriangle4, {{0, 4}, {10, 0}, {10, 8}}},
                                         TPolygonCase{ssLosange, {{5, 0}, {10, 4}, {5, 8}, {0, 4}}}));

TEST(ShapeManagerDraw, TriangleOneIntoElevenByEleven) {
  const TBitmap b = DrawSolid(ssTriangle1, Rect(0, 0, 11, 11), 13, 13);
  EXPECT_EQ(InkBounds(b), Rect(0, 0, 11, 11));
  EXPECT_EQ(b.Pixel(0, 10), clBlack);
  EXPECT_EQ(b.Pixel(5, 0), clBlack);
  EXPECT_EQ(b.Pixel(10, 10), clBlack);
  // The apex row holds the apex alone, the base row the whole base.
  EXPECT_EQ(Ascii(b)[0], ".....#.......");
  EXPECT_EQ(Ascii(b)[10], "###########..");
  // Symmetric about the apex column.
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x <= 5; ++x) EXPECT_EQ(b.Pixel(x, y), b.Pixel(10 - x, y)) << x << "," << y;
}

TEST(ShapeManagerDraw, TriangleOutlineAlone) {
  TBitmap b = Solid(11, 9, clWhite);
  TShapeCanvas c(b);
  c.Brush.Style = bsClear;
  TShapeManager m;
  m.Draw(c, Rect(0, 0, 11, 9), 0, ssTriangle3);
  EXPECT_EQ(Joined(Ascii(b)),
            "###########\n"
            ".#.......#.\n"
            ".#.......#.\n"
            "..#.....#..\n"
            "..#.....#..\n"
            "...#...#...\n"
            "....#.#....\n"
            "....#.#....\n"
            ".....#.....\n");
}

TEST(ShapeManagerDraw, LineLeavesOutItsLastPixel) {
  EXPECT_EQ(Ascii(DrawSolid(ssLine, Rect(1, 0, 6, 0), 8, 1))[0], ".#####..");
  const TBitmap d = DrawSolid(ssLine, Rect(0, 0, 4, 4), 5, 5);
  EXPECT_EQ(Joined(Ascii(d)),
            "#....\n"
            ".#...\n"
            "..#..\n"
            "...#.\n"
            ".....\n");
  // Drawn from the bottom-right towards the top-left it leaves out (0, 0) instead.
  const TBitmap back = DrawSolid(ssLine, Rect(4, 4, 0, 0), 5, 5);
  EXPECT_EQ(back.Pixel(4, 4), clBlack);
  EXPECT_EQ(back.Pixel(0, 0), clWhite);
}

TEST(ShapeManagerDraw, WideLineIsARectangleAroundTheSegment) {
  struct TCase {
    int width;
    TRect segment, ink;
  };
  const TCase cases[] = {
      {1, Rect(2, 5, 8, 5), Rect(2, 5, 9, 7)},  // 0 above, 1 below
      {4, Rect(2, 5, 8, 5), Rect(2, 3, 9, 8)},  // 2 above, 2 below
      {5, Rect(2, 5, 8, 5), Rect(2, 3, 9, 9)},  // 2 above, 3 below
      {4, Rect(5, 2, 5, 8), Rect(3, 2, 8, 9)},  // turned a quarter: 2 to the right, 2 to the left
  };
  const int saved = LineWidth;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.width);
    LineWidth = c.width;
    const TBitmap b = DrawSolid(ssLineWidth, c.segment, 12, 12);
    EXPECT_EQ(InkBounds(b), c.ink) << Joined(Ascii(b));
    // Filled: every pixel of the ink bounds is black.
    for (int y = c.ink.Top; y < c.ink.Bottom; ++y)
      for (int x = c.ink.Left; x < c.ink.Right; ++x) ASSERT_EQ(b.Pixel(x, y), clBlack) << x << "," << y;
  }
  LineWidth = saved;
}

TEST(ShapeManagerDraw, PolygonFitsItsStoredPointsToTheRectangle) {
  // Stored (0,0) (10,0) (0,10): drawn into (0, 0, 11, 11) the points stay.
  TShapeManager m = Loaded(Text("3\n0;0\n10;0\n0;10\n"));
  const TBitmap b = DrawSolid(m, ssPolygon, Rect(0, 0, 11, 11), 12, 12);
  EXPECT_EQ(InkBounds(b), Rect(0, 0, 11, 11));
  EXPECT_EQ(b.Pixel(10, 0), clBlack);
  EXPECT_EQ(b.Pixel(0, 10), clBlack);
  EXPECT_EQ(b.Pixel(10, 10), clWhite);
  EXPECT_TRUE(RowsAreRuns(b));
  // Into (4, 2, 25, 23) the right angle doubles.
  const TBitmap big = DrawSolid(m, ssPolygon, Rect(4, 2, 25, 23), 30, 30);
  EXPECT_EQ(InkBounds(big), Rect(4, 2, 25, 23));
  EXPECT_EQ(big.Pixel(24, 2), clBlack);
  EXPECT_EQ(big.Pixel(4, 22), clBlack);
}

TEST(ShapeManagerDraw, PolylineIsOpenAndUnfilled) {
  TShapeManager m = Loaded(Text("3\n0;0\n6;0\n6;6\n"));
  const TBitmap b = DrawSolid(m, ssPolyline, Rect(0, 0, 7, 7), 8, 8);
  EXPECT_EQ(Joined(Ascii(b)),
            "#######.\n"
            "......#.\n"
            "......#.\n"
            "......#.\n"
            "......#.\n"
            "......#.\n"
            "........\n"
            "........\n");
}

// ---- multi-point shapes ----

TEST(ShapeManagerEdges, BlockFillsAndOutlinesItsPixels) {
  TShapeManager m = Loaded(BinarySelection(Block(4, 3)));
  EXPECT_EQ(m.Stored.Bounds, Rect(0, 0, 3, 2));
  // Into its own size (Draw takes the loader's bounds, one larger than the stored ones).
  const TBitmap b = DrawSolid(m, ssMultiPoints, Rect(1, 1, 5, 4), 6, 5);
  EXPECT_EQ(Joined(Ascii(b)),
            "......\n"
            ".####.\n"
            ".####.\n"
            ".####.\n"
            "......\n");
}

TEST(ShapeManagerEdges, SecondRunWithoutLeftFlagStopsTheFill) {
  // Row 0: a run 0..2; row 1: starts with a point lacking the left flag.
  const std::vector<TFlagged> pts = {
      {0, 0, mpLeft | mpTop | mpBottom}, {1, 0, mpTop | mpBottom}, {2, 0, mpRight | mpTop | mpBottom},
      {0, 1, mpTop | mpBottom},          {1, 1, mpBottom},         {2, 1, mpRight | mpBottom}};
  TShapeManager m = Loaded(BinarySelection(pts));
  TBitmap b = Solid(3, 2, clWhite);
  TShapeCanvas c(b);
  c.Brush.Color = clBlack;
  c.Pen.Style = psClear;
  m.Draw(c, Rect(0, 0, 3, 2), 0, ssMultiPoints);
  EXPECT_EQ(Joined(Ascii(b)), "###\n...\n");
}

TEST(ShapeManagerEdges, RunClosedInAnotherRowStopsTheFill) {
  const std::vector<TFlagged> pts = {
      {0, 0, mpLeft | mpRight}, {1, 1, mpLeft}, {2, 2, mpRight}, {0, 3, mpLeft | mpRight}};
  TShapeManager m = Loaded(BinarySelection(pts));
  TBitmap b = Solid(3, 4, clWhite);
  TShapeCanvas c(b);
  c.Brush.Color = clBlack;
  c.Pen.Style = psClear;
  m.Draw(c, Rect(0, 0, 3, 4), 0, ssMultiPoints);
  EXPECT_EQ(Joined(Ascii(b)), "#..\n...\n...\n...\n");
}

TEST(ShapeManagerEdges, TwiceTheSizeDoublesRunsAndOutlines) {
  TShapeManager m = Loaded(BinarySelection(Block(3, 2)));
  // Fill alone: every run twice as wide and twice as high.
  TBitmap fill = Solid(8, 6, clWhite);
  TShapeCanvas fc(fill);
  fc.Brush.Color = clBlack;
  fc.Pen.Style = psClear;
  m.Draw(fc, Rect(1, 1, 7, 5), 0, ssMultiPoints);
  EXPECT_EQ(InkBounds(fill), Rect(1, 1, 7, 5));
  EXPECT_EQ(Ascii(fill)[2], ".######.");

  // Outline alone: along the doubled cell borders.
  TBitmap edges = Solid(8, 6, clWhite);
  TShapeCanvas ec(edges);
  ec.Brush.Style = bsClear;
  m.Draw(ec, Rect(1, 1, 7, 5), 0, ssMultiPoints);
  EXPECT_EQ(Joined(Ascii(edges)),
            "........\n"
            ".######.\n"
            ".#....#.\n"
            ".#....#.\n"
            ".######.\n"
            "........\n");
}

TEST(ShapeManagerEdges, ShrunkSidesCollapseToTheScaledPixel) {
  // 4 x 4 block into 2 x 2: factor 1/2, every side becomes its cell's single pixel.
  TShapeManager m = Loaded(BinarySelection(Block(4, 4)));
  TBitmap b = Solid(3, 3, clWhite);
  TShapeCanvas c(b);
  c.Brush.Style = bsClear;
  m.Draw(c, Rect(0, 0, 2, 2), 0, ssMultiPoints);
  EXPECT_EQ(Joined(Ascii(b)), "##.\n##.\n...\n");
}

TEST(ShapeManagerEdges, WidePenDrawsBandsCentredOnTheSides) {
  TShapeManager m = Loaded(BinarySelection({{0, 0, mpLeft}}));
  TBitmap b = Solid(8, 8, clWhite);
  TShapeCanvas c(b);
  c.Brush.Style = bsClear;
  c.Pen.Width = 3;
  m.Draw(c, Rect(3, 3, 5, 5), 0, ssMultiPoints);  // one pixel scaled to 2 x 2 at (3, 3)
  // The left side is column 3, rows 3..4; a band of 3 around it.
  EXPECT_EQ(InkBounds(b), Rect(2, 2, 5, 6));
}

TEST(ShapeManagerEdges, DottedPenAlternatesFourAndFourAlongXPlusY) {
  TShapeManager m = Loaded(BinarySelection(Block(12, 1)));
  TBitmap b = Solid(14, 3, clWhite);
  TShapeCanvas c(b);
  c.Brush.Style = bsClear;
  c.Pen.Style = psDot;
  c.Pen.Color = clBlack;
  c.BackgroundColor = clRed;
  m.Draw(c, Rect(2, 1, 14, 2), 0, ssMultiPoints);
  // Scaled, unoffset x + y = 0..11: pen for 0..3 and 8..11, background for 4..7.
  EXPECT_EQ(Ascii(b)[1], "..####oooo####");
  EXPECT_EQ(b.Pixel(6, 1), clRed);
}

// ---- modes ----

class ShapeManagerXor : public testing::TestWithParam<TMyShape> {};

TEST_P(ShapeManagerXor, DrawingTwiceRestoresThePicture) {
  TShapeManager m =
      Loaded(GetParam() == ssMultiPoints ? BinarySelection(Block(5, 4)) : Text("4\n0;0\n9;2\n5;9\n1;6\n"));
  for (int mode : {1, 2}) {
    SCOPED_TRACE(mode);
    const TBitmap original = Numbered(40, 30);
    TBitmap b = original;
    TShapeCanvas c(b);
    m.Draw(c, Rect(3, 2, 31, 25), mode, GetParam());
    EXPECT_FALSE(SamePixels(b, original));
    m.Draw(c, Rect(3, 2, 31, 25), mode, GetParam());
    EXPECT_TRUE(SamePixels(b, original));
  }
}

INSTANTIATE_TEST_SUITE_P(ShapeManager, ShapeManagerXor,
                         testing::Values(ssRect, ssEllipse, ssRoundRect, ssLine, ssLineWidth, ssTriangle1, ssTriangle2,
                                         ssTriangle3, ssTriangle4, ssLosange, ssPolygon, ssPolyline, ssMultiPoints));

TEST(ShapeManagerModes, SolidXorFlipsTheOutlineByThePenColour) {
  TBitmap b = Solid(6, 5, clBlack);
  TShapeCanvas c(b);
  TShapeManager m;
  m.Draw(c, Rect(1, 1, 5, 4), 2, ssRect);
  EXPECT_EQ(b.Pixel(1, 1), TColor(0xFFD8CE));
  EXPECT_EQ(b.Pixel(2, 2), clBlack);  // clear brush
  EXPECT_EQ(b.Pixel(0, 0), clBlack);
  EXPECT_EQ(c.Brush.Style, bsClear);
  EXPECT_EQ(c.Pen.Mode, pmXor);
  EXPECT_EQ(c.Pen.Style, psSolid);
}

TEST(ShapeManagerModes, DottedXorLeavesTheGapsAlone) {
  TBitmap b = Solid(20, 3, clWhite);
  TShapeCanvas c(b);
  TShapeManager m;
  m.Draw(c, Rect(0, 1, 20, 1), 1, ssLine);
  // Four flipped pixels, four untouched (xor with the black background).
  const TColor flipped = clWhite ^ 0xFFD8CE;
  for (int x = 0; x < 20; ++x) EXPECT_EQ(b.Pixel(x, 1), (x % 8) < 4 ? flipped : clWhite) << x;
}

TEST(ShapeManagerModes, CrawlingOutlineAlternatesWithTheToggle) {
  bool toggle = false;
  TShapeManager m;
  m.Toggle = &toggle;
  TBitmap b = Solid(10, 3, clRed);
  TShapeCanvas c(b);
  m.Draw(c, Rect(0, 1, 10, 1), 3, ssLine);  // style 2: black pen on white
  EXPECT_TRUE(toggle);
  EXPECT_EQ(c.Pen.Color, clBlack);
  EXPECT_EQ(b.Pixel(0, 1), clBlack);
  EXPECT_EQ(b.Pixel(4, 1), clWhite);
  m.Draw(c, Rect(0, 1, 10, 1), 4, ssLine);  // mode 4 follows the toggle without flipping it
  EXPECT_TRUE(toggle);
  EXPECT_EQ(c.Pen.Color, clWhite);
  EXPECT_EQ(b.Pixel(0, 1), clWhite);
  EXPECT_EQ(b.Pixel(4, 1), clBlack);
  m.Draw(c, Rect(0, 1, 10, 1), 3, ssLine);  // style 3, then back
  EXPECT_FALSE(toggle);
  EXPECT_EQ(c.BackgroundColor, clBlack);
  EXPECT_EQ(c.Pen.Width, 1);
  EXPECT_TRUE(c.OpaqueBackground);
}

TEST(ShapeManagerModes, ModeZeroKeepsTheCanvasSettings) {
  TBitmap b = Solid(5, 5, clWhite);
  TShapeCanvas c(b);
  c.Pen.Color = clBlue;
  c.Brush.Color = clLime;
  c.Pen.Width = 1;
  TShapeManager m;
  m.Draw(c, Rect(0, 0, 5, 5), 0, ssRect);
  EXPECT_EQ(c.Pen.Color, clBlue);
  EXPECT_EQ(c.Brush.Style, bsSolid);
  EXPECT_EQ(b.Pixel(0, 0), clBlue);
  EXPECT_EQ(b.Pixel(2, 2), clLime);
}

TEST(ShapeManagerModes, ClipRectBoundsTheDrawing) {
  TBitmap b = Solid(10, 10, clWhite);
  TShapeCanvas c(b);
  c.Brush.Color = clBlack;
  c.ClipRect = Rect(2, 2, 6, 6);
  TShapeManager m;
  m.Draw(c, Rect(-50, -50, 50, 50), 0, ssEllipse);
  EXPECT_EQ(InkBounds(b), Rect(2, 2, 6, 6));
}

// ---- through QPainter ----

QImage ToRgb32(const TBitmap& b) { return b.Image().convertToFormat(QImage::Format_RGB32); }

class ShapeManagerPainter : public testing::TestWithParam<TMyShape> {};

TEST_P(ShapeManagerPainter, SamePixelsAsOnABitmap) {
  TShapeManager m =
      Loaded(GetParam() == ssMultiPoints ? BinarySelection(Block(6, 5)) : Text("4\n0;0\n9;2\n5;9\n1;6\n"));
  const TRect r = Rect(3, 2, 33, 27);
  for (int mode : {0, 1, 3}) {
    SCOPED_TRACE(mode);
    bool toggleA = false, toggleB = false;
    TBitmap expected = Numbered(40, 30);
    QImage image = ToRgb32(expected);
    m.Toggle = &toggleA;
    TShapeCanvas bc(expected);
    bc.Brush.Color = clBlack;
    bc.Pen.Color = clRed;
    m.Draw(bc, r, mode, GetParam());

    QPainter painter(&image);
    m.Toggle = &toggleB;
    TShapeCanvas pc(painter);
    pc.Brush.Color = clBlack;
    pc.Pen.Color = clRed;
    m.Draw(pc, r, mode, GetParam());
    painter.end();
    m.Toggle = &ShapeToggle;

    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        const QRgb p = image.pixel(x, y);
        ASSERT_EQ(qAlpha(p), 255) << x << "," << y;
        ASSERT_EQ(RGBColor(qRed(p), qGreen(p), qBlue(p)), expected.Pixel(x, y)) << x << "," << y;
      }
  }
}

INSTANTIATE_TEST_SUITE_P(ShapeManager, ShapeManagerPainter,
                         testing::Values(ssRect, ssEllipse, ssRoundRect, ssLine, ssLineWidth, ssTriangle1, ssLosange,
                                         ssPolygon, ssPolyline, ssMultiPoints));

TEST(ShapeManagerPainterXor, DrawingTwiceRestoresTheImage) {
  for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}) {
    SCOPED_TRACE(int(format));
    QImage image = ToRgb32(Numbered(30, 20)).convertToFormat(format);
    const QImage original = image;
    TShapeManager m;
    {
      QPainter painter(&image);
      TShapeCanvas c(painter);
      m.Draw(c, Rect(2, 2, 25, 17), 2, ssEllipse);
    }
    EXPECT_NE(image, original);
    EXPECT_EQ(qAlpha(image.pixel(2, 9)), 255);
    {
      QPainter painter(&image);
      TShapeCanvas c(painter);
      m.Draw(c, Rect(2, 2, 25, 17), 2, ssEllipse);
    }
    EXPECT_EQ(image, original);
  }
}

// ---- fitting and building ----

TEST(ShapeManagerFit, ScalesWithHalvesToEvenAndShiftsWhenTheSizeIsKept) {
  TShapeManager m = Loaded(Text("3\n0;0\n3;0\n0;4\n"));  // stored bounds (0, 0, 3, 4)
  m.FitTo(Rect(10, 20, 16, 28));                         // x * 6/3, y * 8/4
  EXPECT_EQ(m.Working.Points, (TArrayOfPoint{{10, 20}, {16, 20}, {10, 28}}));
  EXPECT_EQ(m.Working.Bounds, Rect(10, 20, 16, 28));
  m.Stored.Points[1] = TPoint{1, 1};  // 1 * 5/2 = 2.5 -> 2 and 1 * 1.5 = 1.5 -> 2 (halves to even)
  m.Stored.Bounds = Rect(0, 0, 2, 4);
  m.FitTo(Rect(0, 0, 5, 6));
  EXPECT_EQ(m.Working.Points[1], (TPoint{2, 2}));
  // Same size elsewhere: only shifted.
  m.FitTo(Rect(3, 1, 8, 7));
  EXPECT_EQ(m.Working.Points[1], (TPoint{5, 3}));
  // The same rectangle: nothing recomputed.
  m.Working.Points[0] = TPoint{-7, -7};
  m.FitTo(Rect(3, 1, 8, 7));
  EXPECT_EQ(m.Working.Points[0], (TPoint{-7, -7}));
}

TEST(ShapeManagerFit, ShapeWithoutWidthStaysOnTheLeftEdge) {
  TShapeManager m = Loaded(Text("2\n4;0\n4;9\n"));
  EXPECT_EQ(m.Stored.Bounds, Rect(0, 0, 0, 9));
  m.FitTo(Rect(5, 0, 20, 18));
  EXPECT_EQ(m.Working.Points, (TArrayOfPoint{{5, 0}, {5, 18}}));
}

TEST(ShapeManagerFit, FreshWorkingPointsAreAlwaysComputed) {
  // After a reset the working bounds are (0, 0, 0, 0) with points of no meaning:
  // fitting to a zero-size rectangle still places them.
  TShapeManager m = Loaded(Text("2\n0;0\n4;4\n"));
  m.ResetWorking();
  m.FitTo(Rect(0, 0, 0, 0));
  EXPECT_EQ(m.Working.Points, (TArrayOfPoint{{0, 0}, {0, 0}}));
  m.ResetWorking();
  m.FitTo(Rect(0, 0, 4, 4));
  EXPECT_EQ(m.Working.Points, (TArrayOfPoint{{0, 0}, {4, 4}}));
}

TEST(ShapeManagerBuild, PolygonPointByPoint) {
  TShapeManager m;
  m.StartPolygon({10, 10});
  EXPECT_TRUE(m.Building);
  EXPECT_EQ(m.Working.Bounds, Rect(10, 10, 10, 10));
  EXPECT_EQ(m.AddPoint({12, 12}), -1);  // 2 pixels away in both directions
  EXPECT_EQ(m.AddPoint({12, 8}), -1);
  EXPECT_EQ(m.PointCount(), 1);
  EXPECT_EQ(m.AddPoint({13, 10}), 1);  // 3 pixels in x is enough
  EXPECT_EQ(m.AddPoint({13, 30}), 2);
  EXPECT_EQ(m.AddPoint({1, 31}), 3);
  EXPECT_EQ(m.GetFirstPoint(), (TPoint{10, 10}));
  EXPECT_EQ(m.GetLastPoint(), (TPoint{1, 31}));
  EXPECT_EQ(m.Working.Bounds, Rect(1, 10, 13, 31));

  // While building, drawing does not refit the points.
  m.FitTo(Rect(0, 0, 100, 100));
  EXPECT_EQ(m.GetLastPoint(), (TPoint{1, 31}));

  TRect rest;
  m.RemoveLastPoint(rest);
  EXPECT_EQ(rest, Rect(10, 10, 13, 30));
  EXPECT_EQ(m.PointCount(), 3);
  m.Offset(-10, 5);
  EXPECT_EQ(m.GetFirstPoint(), (TPoint{0, 15}));
  EXPECT_EQ(m.Working.Bounds, Rect(0, 15, 3, 35));

  m.Finish(2);  // canvas pixels at zoom 2 back to picture pixels, truncated
  EXPECT_FALSE(m.Building);
  EXPECT_EQ(m.Stored.Points, (TArrayOfPoint{{0, 0}, {1, 0}, {1, 10}}));
  EXPECT_EQ(m.Stored.Bounds, Rect(0, 0, 1, 10));

  m.ResetWorking();
  EXPECT_EQ(m.PointCount(), 3);
  EXPECT_EQ(m.Working.Bounds, TRect{});
  m.Clear();
  EXPECT_EQ(m.PointCount(), 0);
  EXPECT_EQ(m.Stored.Bounds, TRect{});
}

// ---- selection files ----

struct TLoadCase {
  const char* name;
  std::string data;
  TMyShape kind;
  TRect bounds;
};

class ShapeManagerLoad : public testing::TestWithParam<TLoadCase> {};

TEST_P(ShapeManagerLoad, ReadsKindAndBounds) {
  const TLoadCase& c = GetParam();
  TShapeManager m;
  TMyShape kind = ssRect;
  TRect bounds;
  ASSERT_EQ(m.ReadSelection(Text(c.data), kind, bounds), "");
  EXPECT_EQ(kind, c.kind);
  EXPECT_EQ(bounds, c.bounds);
}

INSTANTIATE_TEST_SUITE_P(
    ShapeManager, ShapeManagerLoad,
    testing::Values(TLoadCase{"BareRect", "-1\n100\n50\n", ssRect, Rect(0, 0, 100, 50)},
                    TLoadCase{"Losange", "-10\r\n7\r\n9", ssLosange, Rect(0, 0, 7, 9)},
                    TLoadCase{"Ellipse", " -2 \n 3\n+4\n", ssEllipse, Rect(0, 0, 3, 4)},
                    TLoadCase{"HeaderPolygon", "Brindlemark Selection\r\nanything\r\n3\r\n0;0\r\n10;0\r\n0;10\r\n",
                              ssPolygon, Rect(0, 0, 11, 11)},
                    TLoadCase{"MovedToOrigin", "3\n-5;7\n5;17\n0;12", ssPolygon, Rect(0, 0, 11, 11)},
                    TLoadCase{"CrOnly", "Brindlemark Selection\rtext\r2\r1;1\r3;2\r", ssPolygon, Rect(0, 0, 3, 2)},
                    TLoadCase{"LfCr", "2\n\r1;1\n\r3;2\n\r", ssPolygon, Rect(0, 0, 3, 2)},
                    TLoadCase{"CrCrIsOneLineEnd", "2\r\r1;1\r\r3;2", ssPolygon, Rect(0, 0, 3, 2)}),
    [](const testing::TestParamInfo<TLoadCase>& info) { return std::string(info.param.name); });

TEST(ShapeManagerLoadFile, TextPolygonPointsAreRelativeToTheirCorner) {
  TShapeManager m = Loaded(Text("3\n-5;7\n5;17\n0;12\n"));
  EXPECT_EQ(m.Stored.Points, (TArrayOfPoint{{0, 0}, {10, 10}, {5, 5}}));
  EXPECT_EQ(m.Stored.Bounds, Rect(0, 0, 10, 10));
  EXPECT_TRUE(m.Stored.Flags.empty());
}

TEST(ShapeManagerLoadFile, BinaryPointsAndFlags) {
  const TData data = BinarySelection({{5, 3, mpLeft | mpTop}, {7, 3, mpRight}, {6, 4, 255}});
  TShapeManager m;
  TMyShape kind = ssRect;
  TRect bounds;
  ASSERT_EQ(m.ReadSelection(data, kind, bounds), "");
  EXPECT_EQ(kind, ssMultiPoints);
  EXPECT_EQ(bounds, Rect(0, 0, 3, 2));
  EXPECT_EQ(m.Stored.Points, (TArrayOfPoint{{0, 0}, {2, 0}, {1, 1}}));
  EXPECT_EQ(m.Stored.Flags, (TArrayOfByte{3, 4, 255}));
}

TEST(ShapeManagerLoadFile, BinaryCountAfterASingleLineFeed) {
  // Ten points: the count's first byte is a line feed, which must not be
  // taken for the end of the "Binary" line.
  std::vector<TFlagged> pts;
  for (int i = 0; i < 10; ++i) pts.push_back({i, i, 0});
  for (const char* end : {"\n", "\r\n"}) {
    SCOPED_TRACE(end == std::string("\n") ? "LF" : "CR LF");
    TShapeManager m;
    TMyShape kind;
    TRect bounds;
    ASSERT_EQ(m.ReadSelection(BinarySelection(pts, end), kind, bounds), "");
    EXPECT_EQ(m.Stored.Points.size(), 10u);
    EXPECT_EQ(bounds, Rect(0, 0, 10, 10));
  }
}

TEST(ShapeManagerLoadFile, SimpleShapeLeavesTheStoredPointsAlone) {
  TShapeManager m = Loaded(Text("2\n0;0\n4;4\n"));
  TMyShape kind;
  TRect bounds;
  ASSERT_EQ(m.ReadSelection(Text("-3\n40\n20\n"), kind, bounds), "");
  EXPECT_EQ(kind, ssRoundRect);
  EXPECT_EQ(m.Stored.Points.size(), 2u);
}

class ShapeManagerBadFile : public testing::TestWithParam<std::string> {};

TEST_P(ShapeManagerBadFile, FailsAndClearsTheShape) {
  TShapeManager m = Loaded(Text("2\n0;0\n4;4\n"));
  TMyShape kind;
  TRect bounds;
  EXPECT_NE(m.ReadSelection(Text(GetParam()), kind, bounds), "");
  EXPECT_TRUE(m.Stored.Points.empty());
  EXPECT_EQ(m.Stored.Bounds, TRect{});
  EXPECT_EQ(m.PointCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(ShapeManager, ShapeManagerBadFile,
                         testing::Values("", "0\n", "abc\n", "12x\n", "-11\n5\n5\n", "-1\n\n5\n", "-1\n5\n",
                                         "-1\n5\nfive\n", "2\n0;0\n", "2\n0;0\n;4\n", "2\n0;0\n4\n", "2\n0;0\n4;y\n",
                                         "Brindlemark Selection\n", "Brindlemark Selection\nBinary\n\x01\x00",
                                         "99999999999\n", "2147483647\n1;1\n", "3\n0;0\n2147483647;0\n-1;0\n"));

TEST(ShapeManagerLoadFile, BinaryCountsBoundedByTheData) {
  for (std::int64_t count : {std::int64_t(-1), std::int64_t(2), std::int64_t(0x7FFFFFFF), std::int64_t(0)}) {
    SCOPED_TRACE(count);
    TData data = Text("Brindlemark Selection\r\nBinary\r\n");
    Put32(data, count);
    for (int i = 0; i < 3; ++i) Put32(data, 40);  // one record only
    TShapeManager m;
    TMyShape kind;
    TRect bounds;
    EXPECT_NE(m.ReadSelection(data, kind, bounds), "");
  }
}

}  // namespace
