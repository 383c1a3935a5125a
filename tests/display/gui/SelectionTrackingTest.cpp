#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "TestBitmaps.h"
#include "display/gui/ImageView.h"

using namespace testing_bitmaps;

namespace {

constexpr TColor kBack = RGBColor(200, 180, 160);
constexpr TColor kXor = 0xFFD8CE;  // colour the outline pen flips pixels with

TColor At(const QImage& img, int x, int y) {
  const QRgb c = img.pixel(x, y);
  return RGBColor(qRed(c), qGreen(c), qBlue(c));
}

::testing::AssertionResult SameImage(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return ::testing::AssertionFailure() << "sizes differ";
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      if (At(a, x, y) != At(b, x, y))
        return ::testing::AssertionFailure()
               << "pixel (" << x << ", " << y << ") is " << Hex(At(a, x, y)) << " vs " << Hex(At(b, x, y));
  return ::testing::AssertionSuccess();
}

struct Report {
  TRect R;
  TSelOption Option;
};

// A 400 x 300 view without frame showing a 100 x 80 picture at zoom 2:
// ImageRect (8, 8, 208, 168).
class SelectionTrackingTest : public ::testing::Test {
 public:
  void SetUp() override {
    view.SetBorderStyle(bsNone);
    view.SetColor(kBack);
    view.resize(400, 300);
    view.SelectionMode = smShape;
    view.OnSelection = [this](TMyImage&, const TRect& r, TSelOption option) { reports.push_back({r, option}); };
    view.show();
    view.Bitmap().Assign(&picture);
    view.BitmapChanged();
    view.SetZoom(2);
    Settle();
  }
  void TearDown() override {
    // Qt Test remembers pressed buttons across tests: let go of every one.
    for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton})
      if (held & b) QTest::mouseRelease(vp(), b);
  }
  static void Settle() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
  }
  QWidget* vp() { return view.viewport(); }
  // Presses and releases through Qt Test, remembering which buttons are down
  // (a double click leaves its button down until the release).
  void Press(Qt::MouseButton b, Qt::KeyboardModifiers mods, QPoint pos) {
    QTest::mousePress(vp(), b, mods, pos);
    held |= b;
  }
  void Release(Qt::MouseButton b, Qt::KeyboardModifiers mods, QPoint pos) {
    QTest::mouseRelease(vp(), b, mods, pos);
    held &= ~Qt::MouseButtons(b);
  }
  void DoubleClick(Qt::MouseButton b, Qt::KeyboardModifiers mods, QPoint pos) {
    QTest::mouseDClick(vp(), b, mods, pos);
    held |= b;
  }
  // A move carrying the buttons held down, with modifiers (which
  // QTest::mouseMove cannot send).
  void Move(QPoint pos, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QMouseEvent move(QEvent::MouseMove, pos, vp()->mapToGlobal(pos), Qt::NoButton, held, mods);
    QApplication::sendEvent(vp(), &move);
  }
  void Drag(QPoint from, QPoint to, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    Press(Qt::LeftButton, mods, from);
    Move((from + to) / 2, mods);
    Move(to, mods);
  }
  void Click(QPoint pos) {
    Move(pos);
    QTest::mouseClick(vp(), Qt::LeftButton, Qt::NoModifier, pos);
  }
  std::vector<int> Options() const {
    std::vector<int> o;
    for (const Report& r : reports) o.push_back(r.Option);
    return o;
  }
  // What the view shows on screen, repainted only where it asked to be.
  QImage OnScreen() {
    Settle();
    const QPoint origin = vp()->mapTo(view.window(), QPoint(0, 0));
    return view.screen()
        ->grabWindow(view.window()->winId(), origin.x(), origin.y(), vp()->width(), vp()->height())
        .toImage();
  }
  // The view painted afresh in full.
  QImage Fresh() { return vp()->grab().toImage(); }

  TBitmap picture = Numbered(100, 80);
  TMyImage view;
  Qt::MouseButtons held;
  std::vector<Report> reports;
};

struct DragCase {
  const char* Name;
  TMyShape Shape;  // ssLineWidth: a line (smLine), anything else an smShape
  double Zoom;
  Qt::KeyboardModifiers Mods;
  QPoint From, To;
  TSelOption Ending;
  TRect Final;  // client coordinates
};

void PrintTo(const DragCase& c, std::ostream* os) { *os << c.Name; }

class SelectionDrag : public SelectionTrackingTest, public ::testing::WithParamInterface<DragCase> {};

// A drag reports a zero-size rectangle at the press point, its changes, then
// its end or cancellation with the final rectangle; the view is at rest after.
TEST_P(SelectionDrag, ReportsInOrder) {
  const DragCase& c = GetParam();
  const bool line = c.Shape == ssLineWidth;
  view.SelectionMode = line ? smLine : smShape;
  if (!line) view.SetSelShape(c.Shape);
  view.SetZoom(c.Zoom);
  Settle();
  Press(Qt::LeftButton, c.Mods, c.From);
  EXPECT_EQ(view.SelState(), 1);
  EXPECT_TRUE(reports.empty()) << "nothing begins before the mouse moves";
  Move((c.From + c.To) / 2, c.Mods);
  EXPECT_EQ(view.SelState(), 2);
  // A wide line is one picture pixel wide while it is tracked.
  EXPECT_EQ(LineWidth.load(), line ? 2 : 1);
  Move(c.To, c.Mods);
  Release(Qt::LeftButton, c.Mods, c.To);
  EXPECT_EQ(view.SelState(), 0);
  EXPECT_EQ(LineWidth.load(), 1);
  ASSERT_EQ(Options(), (std::vector<int>{soBegin, soChange, soChange, c.Ending}));
  EXPECT_EQ(reports[0].R, (TRect{c.From.x(), c.From.y(), c.From.x(), c.From.y()}));
  EXPECT_EQ(reports.back().R, c.Final);
  EXPECT_EQ(view.SelRect(), c.Final);
}

// Area rectangles are snapped to whole picture pixels (zoom 2 from 8, 8).
INSTANTIATE_TEST_SUITE_P(
    All, SelectionDrag,
    ::testing::Values(
        DragCase{"Rect", ssRect, 2, Qt::NoModifier, {20, 30}, {61, 71}, soEnd, {20, 30, 60, 70}},
        // Squared towards the start corner, which stays put.
        DragCase{"SquareUpLeft", ssRect, 2, Qt::ShiftModifier, {100, 100}, {60, 40}, soEnd, {60, 60, 100, 100}},
        DragCase{"StopsAtPictureEdge", ssRect, 2, Qt::NoModifier, {150, 120}, {300, 250}, soEnd, {150, 120, 208, 168}},
        DragCase{"NarrowerThanMinSelSize", ssRect, 2, Qt::NoModifier, {20, 30}, {27, 60}, soCancel, {20, 30, 26, 60}},
        // 9 pixels wide passes MinSelSize 8 but not Ceil(9.5) = 10.
        DragCase{"NarrowerThanOnePixel", ssRect, 9.5, Qt::NoModifier, {20, 20}, {30, 100}, soCancel, {18, 18, 27, 94}},
        // Dragged polygons take a point wherever the mouse moves 3 pixels.
        DragCase{"FreehandPolygon", ssPolygon, 2, Qt::NoModifier, {20, 30}, {61, 71}, soEnd, {20, 30, 61, 71}},
        DragCase{"FreehandTooFewPoints", ssPolygon, 2, Qt::NoModifier, {20, 30}, {23, 33}, soCancel, {20, 30, 21, 31}},
        DragCase{"Line", ssLineWidth, 2, Qt::NoModifier, {20, 30}, {70, 45}, soEnd, {20, 30, 70, 45}},
        DragCase{"Line45", ssLineWidth, 2, Qt::ShiftModifier, {20, 30}, {70, 75}, soEnd, {20, 30, 65, 75}},
        // Within 0.77 < |dx| / |dy| < 1.33 a line snaps to 45 degrees.
        DragCase{"Line45Shallow", ssLineWidth, 2, Qt::ShiftModifier, {20, 30}, {85, 80}, soEnd, {20, 30, 70, 80}},
        DragCase{"LineSteepNot45", ssLineWidth, 2, Qt::ShiftModifier, {20, 30}, {55, 80}, soEnd, {20, 30, 20, 80}},
        DragCase{"LineHorizontal", ssLineWidth, 2, Qt::ShiftModifier, {20, 30}, {70, 50}, soEnd, {20, 30, 70, 30}},
        DragCase{"LineVertical", ssLineWidth, 2, Qt::ShiftModifier, {100, 100}, {90, 40}, soEnd, {100, 100, 100, 40}},
        DragCase{"LineTooShort", ssLineWidth, 2, Qt::NoModifier, {20, 30}, {21, 31}, soCancel, {20, 30, 21, 31}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(SelectionTrackingTest, ShiftKeyRedrawsWithTheNewConstraint) {
  view.setFocus();
  Drag({20, 20}, {101, 61});
  EXPECT_EQ(reports.back().R, (TRect{20, 20, 100, 60}));
  QTest::keyPress(&view, Qt::Key_Shift);
  EXPECT_EQ(reports.back().Option, soChange);
  EXPECT_EQ(reports.back().R, (TRect{20, 20, 60, 60}));
  QTest::keyRelease(&view, Qt::Key_Shift);
  EXPECT_EQ(reports.back().R, (TRect{20, 20, 100, 60}));
  Release(Qt::LeftButton, Qt::NoModifier, {101, 61});
  EXPECT_EQ(reports.back().Option, soEnd);
}

TEST_F(SelectionTrackingTest, OnlyALeftPressOnAPictureWithASelectionModeStartsTracking) {
  const auto tryDrag = [&](Qt::MouseButton button) {
    Press(button, Qt::NoModifier, {20, 20});
    Move({60, 60});
    const int state = view.SelState();
    Release(button, Qt::NoModifier, {60, 60});
    return state;
  };
  view.SelectionMode = smNone;
  EXPECT_EQ(tryDrag(Qt::LeftButton), 0);
  view.SelectionMode = smShape;
  EXPECT_EQ(tryDrag(Qt::RightButton), 0);
  EXPECT_TRUE(reports.empty());

  // Another button pressed during a drag cancels it.
  Drag({20, 20}, {60, 60});
  Press(Qt::RightButton, Qt::NoModifier, {60, 60});
  EXPECT_EQ(view.SelState(), 0);
  EXPECT_EQ(Options(), (std::vector<int>{soBegin, soChange, soChange, soCancel}));
  Release(Qt::RightButton, Qt::NoModifier, {60, 60});
  Release(Qt::LeftButton, Qt::NoModifier, {60, 60});
  EXPECT_EQ(reports.size(), 4u) << "the release after a cancellation reports nothing";

  view.Bitmap().Assign(nullptr);
  view.BitmapChanged();
  EXPECT_EQ(tryDrag(Qt::LeftButton), 0);
}

class SelectionOutline : public SelectionTrackingTest, public ::testing::WithParamInterface<bool> {};

// The outline flips the pixels along the selection's border. What reaches
// the screen, repainted piecemeal as the mouse moves or the picture scrolls,
// always matches a full repaint; the picture comes back exactly at the end.
TEST_P(SelectionOutline, DrawnOverThePictureAndRemovedWithoutTrace) {
  view.DoubleBuffer = GetParam();
  picture = Numbered(300, 250);  // large enough to scroll
  view.Bitmap().Assign(&picture);
  view.BitmapChanged();
  const QImage before = OnScreen();
  ASSERT_TRUE(SameImage(before, Fresh()));

  Drag({20, 20}, {121, 101});
  EXPECT_TRUE(SameImage(OnScreen(), Fresh()));
  Move({81, 61});  // shrinking: the old outline must go
  const TRect r = view.SelRect();
  ASSERT_EQ(r, (TRect{20, 20, 80, 60}));
  const QImage during = OnScreen();
  EXPECT_TRUE(SameImage(during, Fresh()));
  int flipped = 0;
  for (int y = 0; y < during.height(); ++y)
    for (int x = 0; x < during.width(); ++x) {
      const TColor was = At(before, x, y), now = At(during, x, y);
      const bool onBorder = x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom &&
                            (x == r.Left || x == r.Right - 1 || y == r.Top || y == r.Bottom - 1);
      if (now == was) continue;
      ASSERT_TRUE(onBorder) << "changed off the outline at " << x << ", " << y;
      ASSERT_EQ(Hex(now), Hex(was ^ kXor)) << x << ", " << y;
      ++flipped;
    }
  const int border = 2 * (r.Right - r.Left) + 2 * (r.Bottom - r.Top) - 4;
  EXPECT_GE(flipped, border / 2 - 4) << "a dotted outline flips every other run of 4 pixels";

  // A dragged outline keeps its place on the view when the picture scrolls.
  view.horizontalScrollBar()->setValue(6);
  EXPECT_EQ(view.SelRect(), r);
  EXPECT_TRUE(SameImage(OnScreen(), Fresh()));

  Release(Qt::LeftButton, Qt::NoModifier, {81, 61});
  view.horizontalScrollBar()->setValue(0);
  EXPECT_TRUE(SameImage(OnScreen(), before));
}

INSTANTIATE_TEST_SUITE_P(DirectAndBuffered, SelectionOutline, ::testing::Bool());

// Polygons built click by click at zoom 2; the corners are snapped to picture
// pixels and the finished shape is stored in picture pixels.
struct PolygonCase {
  const char* Name;
  std::function<void(SelectionTrackingTest&)> End;
  TSelOption Ending;
  std::vector<TPoint> Stored;
};

void PrintTo(const PolygonCase& c, std::ostream* os) { *os << c.Name; }

class SelectionPolygon : public SelectionTrackingTest, public ::testing::WithParamInterface<PolygonCase> {};

TEST_P(SelectionPolygon, BuiltByClicks) {
  view.MultiLine = true;
  view.SetSelShape(ssPolygon);
  view.setFocus();
  Click({21, 21});  // snapped to (20, 20)
  EXPECT_EQ(view.SelState(), 1) << "waits for the first move";
  Click({81, 21});
  EXPECT_EQ(view.SelState(), 2);
  Click({80, 101});
  Click({21, 100});
  EXPECT_EQ(view.ShapeManager().PointCount(), 4);
  EXPECT_EQ(view.SelRect(), (TRect{20, 20, 81, 101}));
  GetParam().End(*this);
  EXPECT_EQ(view.SelState(), 0);
  EXPECT_EQ(reports.front().Option, soBegin);
  EXPECT_EQ(reports.back().Option, GetParam().Ending);
  EXPECT_FALSE(view.ShapeManager().Building);
  if (GetParam().Ending == soEnd) {
    EXPECT_EQ(view.ShapeManager().Stored.Points, GetParam().Stored);
  }
}

const std::vector<TPoint> kQuad{{0, 0}, {30, 0}, {30, 40}, {0, 40}};
const std::vector<TPoint> kTriangle{{0, 0}, {30, 0}, {30, 40}};

INSTANTIATE_TEST_SUITE_P(
    All, SelectionPolygon,
    ::testing::Values(
        PolygonCase{"DoubleClick",
                    [](SelectionTrackingTest& t) {
                      t.DoubleClick(Qt::LeftButton, Qt::NoModifier, {21, 100});
                      t.Release(Qt::LeftButton, Qt::NoModifier, {21, 100});
                    },
                    soEnd, kQuad},
        PolygonCase{"Enter", [](SelectionTrackingTest& t) { QTest::keyClick(&t.view, Qt::Key_Return); }, soEnd, kQuad},
        PolygonCase{"ClickNearTheStart",
                    [](SelectionTrackingTest& t) {
                      t.Click({27, 13});
                    },
                    soEnd, kQuad},
        PolygonCase{"Escape", [](SelectionTrackingTest& t) { QTest::keyClick(&t.view, Qt::Key_Escape); }, soCancel, {}},
        PolygonCase{"DeleteThenEnter",
                    [](SelectionTrackingTest& t) {
                      QTest::keyClick(&t.view, Qt::Key_Delete);
                      EXPECT_EQ(t.view.ShapeManager().PointCount(), 3);
                      QTest::keyClick(&t.view, Qt::Key_Return);
                    },
                    soEnd, kTriangle},
        // Two points are no polygon.
        PolygonCase{"TooFewPoints",
                    [](SelectionTrackingTest& t) {
                      QTest::keyClick(&t.view, Qt::Key_Delete);
                      QTest::keyClick(&t.view, Qt::Key_Delete);
                      QTest::keyClick(&t.view, Qt::Key_Return);
                    },
                    soCancel,
                    {}},
        // Deleting the one point left cancels.
        PolygonCase{"DeleteToNothing",
                    [](SelectionTrackingTest& t) {
                      for (int i = 0; i < 3; ++i) QTest::keyClick(&t.view, Qt::Key_Delete);
                      EXPECT_EQ(t.view.SelState(), 2);
                      QTest::keyClick(&t.view, Qt::Key_Delete);
                    },
                    soCancel,
                    {}}),
    [](const auto& info) { return std::string(info.param.Name); });

// Near the start, a click closes only a polygon that has its three points.
TEST_F(SelectionTrackingTest, ClickNearTheStartOfAShortPolygonAddsAPoint) {
  view.MultiLine = true;
  view.SetSelShape(ssPolygon);
  Click({20, 20});
  Click({80, 20});
  Click({26, 26});
  EXPECT_EQ(view.SelState(), 2);
  EXPECT_EQ(view.ShapeManager().PointCount(), 3);
  EXPECT_EQ(reports.back().Option, soChange);
}

// Scrolling while a polygon is built keeps its points on the same picture
// pixels: the shape finished after scrolling is the one clicked before.
TEST_F(SelectionTrackingTest, ScrollingShiftsAPolygonBeingBuilt) {
  picture = Numbered(300, 250);
  view.Bitmap().Assign(&picture);
  view.BitmapChanged();
  Settle();
  view.MultiLine = true;
  view.SetSelShape(ssPolygon);
  view.setFocus();
  Click({20, 20});
  Click({81, 21});
  Click({80, 101});
  const TRect r = view.SelRect();
  view.horizontalScrollBar()->setValue(10);
  view.verticalScrollBar()->setValue(6);
  EXPECT_EQ(view.SelRect(), (TRect{r.Left - 10, r.Top - 6, r.Right - 10, r.Bottom - 6}));
  EXPECT_TRUE(SameImage(OnScreen(), Fresh())) << "the outline on screen moved with the picture";
  Click({21 - 10, 100 - 6});
  QTest::keyClick(&view, Qt::Key_Return);
  EXPECT_EQ(reports.back().Option, soEnd);
  EXPECT_EQ(view.ShapeManager().Stored.Points, kQuad);
}

}  // namespace
