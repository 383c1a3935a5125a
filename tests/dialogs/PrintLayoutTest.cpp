#include "dialogs/PrintJob.h"
#include "dialogs/PrintLayout.h"

#include <gtest/gtest.h>

#include <QLocale>

namespace {

TPageGeometry Page(int w, int h, double dpi, bool inch = false) {
  TPageGeometry page;
  EXPECT_TRUE(ReadPageSize(w, h, dpi, inch, page));
  return page;
}

TEST(PrintLayout, PageInCentimetresAndInches) {
  const TPageGeometry cm = Page(4800, 3300, 600);
  EXPECT_DOUBLE_EQ(cm.WidthUnit, 20.32);
  EXPECT_DOUBLE_EQ(cm.HeightUnit, 13.97);
  const TPageGeometry in = Page(4800, 3300, 600, true);
  EXPECT_DOUBLE_EQ(in.WidthUnit, 8.0);
  EXPECT_DOUBLE_EQ(in.HeightUnit, 5.5);
  EXPECT_DOUBLE_EQ(UnitFromPixels(in, 600, true), 1.0);
  EXPECT_EQ(PixelsFromUnit(in, false, 2.5), 1500);
  // Halves go to the even neighbour: 0.5/600 inch is 0.5 pixel.
  EXPECT_EQ(PixelsFromUnit(in, true, 0.5 / 600), 0);
  EXPECT_EQ(PixelsFromUnit(in, true, 1.5 / 600), 2);
}

TEST(PrintLayout, NoGeometryForAnEmptyPageOrResolution) {
  TPageGeometry page;
  EXPECT_FALSE(ReadPageSize(0, 3300, 600, false, page));
  EXPECT_FALSE(ReadPageSize(4800, 0, 600, false, page));
  EXPECT_FALSE(ReadPageSize(4800, 3300, 0, false, page));
  EXPECT_EQ(page.WidthPx, 0);
}

TEST(PrintLayout, OrientationFollowsThePicture) {
  EXPECT_FALSE(PrintsPortrait(640, 480));
  EXPECT_TRUE(PrintsPortrait(480, 640));
  EXPECT_FALSE(PrintsPortrait(500, 500));
}

TEST(PrintLayout, PreviewLongSideIs225) {
  const TPreviewGeometry landscape = PreviewGeometry(Page(4800, 3300, 600));
  EXPECT_EQ(landscape.Width, 225);
  EXPECT_EQ(landscape.Height, 155);  // 154.69 rounded
  EXPECT_DOUBLE_EQ(landscape.Scale, 225.0 / 4800);
  const TPreviewGeometry portrait = PreviewGeometry(Page(3300, 4800, 600));
  EXPECT_EQ(portrait.Width, 155);
  EXPECT_EQ(portrait.Height, 225);
}

TEST(PrintLayout, ScaleBarFromTheFitFactor) {
  struct Case {
    double fit;
    int barMax;
    double scale;
    int position;
  };
  const Case cases[] = {
      {3.27, 32, 2.616, 26},
      {8.0, 80, 5.0, 50},  // capped at 5, not 6.4
      {0.05, 1, 0.04, 1},  // a picture far larger than the page: the bar keeps a range
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fit);
    EXPECT_EQ(ScaleBarMax(c.fit), c.barMax);
    EXPECT_DOUBLE_EQ(InitialPrintScale(c.fit), c.scale);
    EXPECT_EQ(ScaleBarPosition(InitialPrintScale(c.fit), ScaleBarMax(c.fit)), c.position);
  }
  EXPECT_DOUBLE_EQ(FitFactor(640, 480, Page(4800, 3300, 600)), 3300.0 / 480);
  EXPECT_EQ(FitFactor(0, 480, Page(4800, 3300, 600)), 0);
}

TEST(PrintLayout, PrintRectFollowsTheTwoDecimalFields) {
  const TPageGeometry page = Page(4800, 3300, 600);  // 600 dpi: 1 cm is 236.22 pixels
  const TRect r = PrintRect(page, 1.0, 2.0, 10.0, 7.5);
  EXPECT_EQ(r, Rect(236, 472, 236 + 2362, 472 + 1772));
}

TEST(PrintLayout, CropMarksRunFrom24To189PixelsAt600Dpi) {
  const TPageGeometry page = Page(4800, 3300, 600);
  const TRect r = Rect(1000, 800, 2000, 1500);  // 10:7, no middle marks
  const std::vector<QLineF> marks = CropMarkSegments(page, r, 640, 448);
  // Each corner: a horizontal then a vertical segment, from far to near.
  const std::vector<QLineF> expected = {
      {1000 - 189, 800, 1000 - 24, 800},   {1000, 800 - 189, 1000, 800 - 24},    // top-left
      {2000 + 189, 800, 2000 + 24, 800},   {2000, 800 - 189, 2000, 800 - 24},    // top-right
      {2000 + 189, 1500, 2000 + 24, 1500}, {2000, 1500 + 189, 2000, 1500 + 24},  // bottom-right
      {1000 - 189, 1500, 1000 - 24, 1500}, {1000, 1500 + 189, 1000, 1500 + 24},  // bottom-left
  };
  ASSERT_EQ(marks.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(marks[i].p1(), expected[i].p1());
    EXPECT_EQ(marks[i].p2(), expected[i].p2());
  }
  // The same marks in inches: the same physical distances.
  EXPECT_EQ(CropMarkSegments(Page(4800, 3300, 600, true), r, 640, 448), marks);
}

TEST(PrintLayout, CopiesAreTheCountOrThePages) {
  EXPECT_EQ(JobCopies(4, true).CopyCount, 4);
  EXPECT_EQ(JobCopies(4, true).Pages, 1);
  EXPECT_EQ(JobCopies(4, false).CopyCount, 1);
  EXPECT_EQ(JobCopies(4, false).Pages, 4);
}

TEST(PrintLayout, ElongatedPicturesGetMiddleMarks) {
  const TPageGeometry page = Page(4800, 3300, 600);
  const TRect r = Rect(1000, 800, 2001, 1300);
  const std::vector<QLineF> wide = CropMarkSegments(page, r, 800, 400);
  ASSERT_EQ(wide.size(), 10u);
  EXPECT_EQ(wide[8], QLineF(1500, 800 - 189, 1500, 800 - 24));
  EXPECT_EQ(wide[9], QLineF(1500, 1300 + 189, 1500, 1300 + 24));
  const std::vector<QLineF> tall = CropMarkSegments(page, Rect(1000, 800, 1500, 1801), 400, 600);
  ASSERT_EQ(tall.size(), 10u);
  EXPECT_EQ(tall[8], QLineF(1000 - 189, 1300, 1000 - 24, 1300));
  EXPECT_EQ(CropMarkSegments(page, r, 599, 400).size(), 8u);  // just under 1.5
}

TEST(PrintLayout, RangeChecksInOrderWithBoundsNeverAboveTheTruth) {
  QLocale::setDefault(QLocale::c());
  const TPageGeometry page = Page(2100, 2970, 254);  // 21.0 x 29.7 cm
  EXPECT_DOUBLE_EQ(ShownBound(21.0), 20.995);
  EXPECT_EQ(ShownBound(0.001), 0);
  const int zw = PixelsFromUnit(page, true, 10), zh = PixelsFromUnit(page, false, 5);
  QString message;
  struct Case {
    double w, h, x, y;
    int check;
    const char* message;
  };
  const Case cases[] = {
      {10, 5, 0, 0, 0, ""},
      {0.5, 5, 0, 0, 1, "The width must lie between 1.00 and 20.99 !"},
      {21.5, 5, 0, 0, 1, "The width must lie between 1.00 and 20.99 !"},
      {10, 40, 0, 0, 2, "The height must lie between 1.00 and 29.69 !"},
      {10, 5, 11.1, 0, 3, "The left margin must be lower or equal to 10.99 !"},
      {10, 5, 0, 25, 4, "The top margin must be lower or equal to 24.69 !"},
      {0.5, 40, 30, 30, 1, "The width must lie between 1.00 and 20.99 !"},  // the first failing check wins
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    message.clear();
    EXPECT_EQ(CheckLayoutRanges(page, zw, zh, c.w, c.h, c.x, c.y, message), c.check);
    EXPECT_EQ(message, c.message);
  }
  QLocale::setDefault(QLocale::system());
}

}  // namespace
