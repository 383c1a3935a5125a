#include "controls/gui/PrevNextBtn.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QStyle>
#include <QTest>

#include "app/PathAndTextHelpers.h"

namespace {

class PrevNextBtn : public ::testing::Test {
 protected:
  void SetUp() override {
    button.OnClick = [this] { ++clicks; };
    button.resize(15, 21);
    button.show();
  }
  void TearDown() override { ThemesActive = true; }

  TPrevNextButton button;
  int clicks = 0;
};

TEST_F(PrevNextBtn, SquareAsAScrollBarArrowByDefault) {
  TPrevNextButton fresh;
  EXPECT_EQ(fresh.width(), fresh.height());
  EXPECT_EQ(fresh.width(), fresh.style()->pixelMetric(QStyle::PM_ScrollBarExtent));
  EXPECT_EQ(fresh.Style(), stDown);
  EXPECT_EQ(fresh.ClickMode(), cmUp);
}

// The whole up-down face of which the button shows one half, as
// (left, top, right, bottom) with exclusive right and bottom, 15 x 21 host.
TEST_F(PrevNextBtn, UpDownRectByStyle) {
  const struct {
    TPNStyle style;
    bool themed;
    int l, t, r, b;
  } cases[] = {
      {stLeft, false, 0, 0, 31, 21}, {stLeft, true, -1, -1, 32, 22},  {stRight, false, -16, 0, 15, 21},
      {stUp, false, 0, 0, 15, 43},   {stDown, false, 0, -22, 15, 21}, {stDown, true, -1, -23, 16, 22},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "style " << int(c.style) << " themed " << c.themed);
    ThemesActive = c.themed;
    button.SetStyle(c.style);
    const QRect r = button.UpDownRect();
    EXPECT_EQ(r.left(), c.l);
    EXPECT_EQ(r.top(), c.t);
    EXPECT_EQ(r.right() + 1, c.r);
    EXPECT_EQ(r.bottom() + 1, c.b);
  }
}

TEST_F(PrevNextBtn, ClickOnReleaseInsideTheWholeFace) {
  button.SetStyle(stLeft);
  QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(7, 10));
  EXPECT_TRUE(button.Pressed());
  QTest::qWait(150);
  EXPECT_EQ(clicks, 0);  // held: nothing yet, and nothing repeated
  QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(7, 10));
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(button.Pressed());

  // The hidden half beyond the right edge still belongs to the face.
  QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(7, 10));
  QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(25, 10));
  EXPECT_EQ(clicks, 2);
  // Anywhere else, no click.
  QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(7, 10));
  QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(7, 40));
  EXPECT_EQ(clicks, 2);
  // A release without a press on the button is no click either.
  QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(7, 10));
  EXPECT_EQ(clicks, 2);
}

TEST_F(PrevNextBtn, ClickModeDownFiresOnceAfterThePress) {
  button.SetClickMode(cmDown);
  qint64 now = 1000;
  button.Clock = [&now] { return now; };
  QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(7, 10));
  EXPECT_EQ(clicks, 0);
  // 99 ms on the button's clock: however long the wait, no click yet.
  now += 99;
  QTest::qWait(250);
  EXPECT_EQ(clicks, 0);
  now += 1;
  QTRY_COMPARE(clicks, 1);
  // The mouse left before the release: the click stands, and stays one.
  QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(100, 100));
  QTest::qWait(150);
  EXPECT_EQ(clicks, 1);

  // A quick click, released before the delay, still clicks exactly once.
  QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(7, 10));
  QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(7, 10));
  EXPECT_EQ(clicks, 1);
  now += 100;
  QTRY_COMPARE(clicks, 2);
  QTest::qWait(150);
  EXPECT_EQ(clicks, 2);
}

TEST_F(PrevNextBtn, DisabledGivesNoClicks) {
  QWidget host;
  auto* child = new TPrevNextButton(&host);
  int childClicks = 0;
  child->OnClick = [&] { ++childClicks; };
  host.show();
  host.setEnabled(false);
  EXPECT_FALSE(child->isEnabled());
  QTest::mouseClick(child, Qt::LeftButton, {}, QPoint(5, 5));
  EXPECT_EQ(childClicks, 0);

  // Disabled while a delayed click is pending: it never comes.
  host.setEnabled(true);
  child->SetClickMode(cmDown);
  QTest::mousePress(child, Qt::LeftButton, {}, QPoint(5, 5));
  host.setEnabled(false);
  QTest::qWait(200);
  EXPECT_EQ(childClicks, 0);
}

TEST_F(PrevNextBtn, EachDirectionAndTheDisabledLookDrawDifferently) {
  button.resize(21, 21);
  QList<QImage> looks;
  for (TPNStyle s : {stDown, stUp, stLeft, stRight}) {
    button.SetStyle(s);
    looks.append(button.grab().toImage());
  }
  button.SetStyle(stDown);
  button.setEnabled(false);
  looks.append(button.grab().toImage());
  for (int i = 0; i < looks.size(); ++i)
    for (int j = i + 1; j < looks.size(); ++j) EXPECT_NE(looks[i], looks[j]) << i << " and " << j;
  // The down arrow points down: its dark pixels widen towards the top.
  const QImage down = looks[0];
  auto darkInRow = [&down](int y) {
    int n = 0;
    for (int x = 0; x < down.width(); ++x) n += qGray(down.pixel(x, y)) < 100 ? 1 : 0;
    return n;
  };
  int first = -1, last = -1;
  for (int y = 3; y < down.height() - 3; ++y)
    if (darkInRow(y) > 0) {
      if (first < 0) first = y;
      last = y;
    }
  ASSERT_GE(first, 0);
  EXPECT_GT(darkInRow(first), darkInRow(last));
}

}  // namespace
