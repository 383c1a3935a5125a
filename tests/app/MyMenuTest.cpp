#include "app/MyMenu.h"

#include <gtest/gtest.h>

#include <QPainter>

#include "app/InterfaceTexts.h"
#include "raster/ColorAdjust.h"

namespace {

// The button face as the core resolves it without a GUI application:
// red 212, green 208, blue 200.
constexpr int FaceR = 212, FaceG = 208, FaceB = 200;

QImage Design(int w, int h) {
  QImage image(w, h, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  return image;
}

// c moved percent % of the way towards target, with the division truncated
// toward zero as the pixel operations do.
int Toward(int c, int target, int percent) { return c + (target - c) * percent / 100; }

TEST(MakeDisabledImages, GreysPicturesAndDropsTheKeyColour) {
  QImage design = Design(4, 1);
  design.setPixel(0, 0, qRgb(255, 0, 0));      // pure red: grey 85
  design.setPixel(1, 0, qRgb(206, 237, 220));  // the key colour itself
  design.setPixel(2, 0, qRgb(213, 230, 227));  // within 7 of the key in every channel
  // pixel 3 stays transparent in the design: the key shows through
  const auto list = MakeDisabledImages({design, design}, clBtnFace, 50);
  ASSERT_TRUE(list.has_value());
  ASSERT_EQ(list->size(), 2u);
  const QImage& out = (*list)[1];
  ASSERT_EQ(out.size(), QSize(4, 1));
  EXPECT_EQ(out.pixel(0, 0), qRgb(Toward(85, FaceR, 50), Toward(85, FaceG, 50), Toward(85, FaceB, 50)));
  for (int x = 1; x < 4; ++x) {
    SCOPED_TRACE(x);
    EXPECT_EQ(qAlpha(out.pixel(x, 0)), 0);
  }
}

TEST(MakeNormalImages, ShadowFallsRightAndBelowAtMostPercentDark) {
  // A black block with long vertical and horizontal edges.
  QImage design = Design(24, 24);
  QPainter(&design).fillRect(5, 5, 6, 12, Qt::black);  // columns 5..10, rows 5..16
  const auto list = MakeNormalImages({design}, clBtnFace, 33);
  ASSERT_TRUE(list.has_value());
  const QImage& out = list->front();
  const int y = 10;  // far from the block's corners
  const auto darkened = [](int percent) {
    return qRgb(Toward(FaceR, 0, percent), Toward(FaceG, 0, percent), Toward(FaceB, 0, percent));
  };
  EXPECT_EQ(out.pixel(10, y), qRgb(0, 0, 0));
  EXPECT_EQ(out.pixel(11, y), darkened(22));
  EXPECT_EQ(out.pixel(12, y), darkened(11));
  EXPECT_EQ(qAlpha(out.pixel(13, y)), 0);  // exactly the face: transparent
  EXPECT_EQ(qAlpha(out.pixel(4, y)), 0);   // nothing left of the picture
  // Below the horizontal edge, the same two steps.
  const int x = 8;
  EXPECT_EQ(out.pixel(x, 17), darkened(22));
  EXPECT_EQ(out.pixel(x, 18), darkened(11));
  EXPECT_EQ(qAlpha(out.pixel(x, 19)), 0);
  EXPECT_EQ(qAlpha(out.pixel(x, 4)), 0);
}

TEST(MakeNormalImages, NoListForPercentOutOfRangeOrNoPictures) {
  const QImage design = Design(4, 4);
  EXPECT_FALSE(MakeNormalImages({design}, clBtnFace, 101).has_value());
  EXPECT_FALSE(MakeNormalImages({design}, clBtnFace, -1).has_value());
  EXPECT_FALSE(MakeNormalImages({}, clBtnFace, 33).has_value());
  EXPECT_FALSE(MakeDisabledImages({design, Design(5, 4)}, clBtnFace, 50).has_value());
  EXPECT_TRUE(MakeNormalImages({design}, clBtnFace, 100).has_value());
}

TEST(FillGradient, ColumnsStepFromStartAndStopShortOfTheEnd) {
  QImage image(80, 2, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter p(&image);
    FillGradient(p, Rect(0, 0, 77, 1), RGBColor(0, 10, 0), RGBColor(77, 10, 0));
    FillGradient(p, Rect(0, 1, 1, 2), RGBColor(40, 50, 60), RGBColor(200, 200, 200));
    FillGradient(p, Rect(5, 1, 5, 2), clBlack, clBlack);  // empty: nothing drawn
  }
  for (int k = 0; k < 77; ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(image.pixel(k, 0), qRgb(k, 10, 0));
  }
  EXPECT_EQ(image.pixel(77, 0), qRgb(255, 255, 255));
  EXPECT_EQ(image.pixel(0, 1), qRgb(40, 50, 60));
  EXPECT_EQ(image.pixel(1, 1), qRgb(255, 255, 255));
  EXPECT_EQ(image.pixel(5, 1), qRgb(255, 255, 255));
}

TEST(MenuShortCutToText, NamesAndPrefixes) {
  struct Case {
    TShortCut shortcut;
    QString text;
  };
  const Case cases[] = {
      {scCtrl | 'O', "Ctrl+O"},
      {scShift | scCtrl | (vkF1 + 4), "Maj+Ctrl+F5"},
      {scAlt | scShift | (vkF1 + 23), "Maj+Alt+F24"},
      {vkDelete, LangText(lsKeyDelete)},
      {vkReturn, LangText(lsKeyEnter)},
      {scCtrl | '7', "Ctrl+7"},
      {vkNumpad0 + 5, "5"},
      {scCtrl | 7, ""},  // no key has code 7: no shortcut text at all
      {scShift | 255, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shortcut);
    EXPECT_EQ(MenuShortCutToText(c.shortcut), c.text);
  }
  // Codes outside the table take the keyboard's name.
  EXPECT_FALSE(KeyName(187).isEmpty());
  EXPECT_EQ(MenuShortCutToText(scCtrl | 187), LangText(lsCtrlPrefix) + KeyName(187));
}

TEST(KeySequenceOf, BindsTheKeyOfEachShortcut) {
  EXPECT_EQ(KeySequenceOf(scCtrl | 'O'), QKeySequence(Qt::CTRL | Qt::Key_O));
  EXPECT_EQ(KeySequenceOf(scShift | scCtrl | (vkF1 + 4)), QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_F5));
  EXPECT_EQ(KeySequenceOf(vkReturn), QKeySequence(Qt::Key_Return));
  EXPECT_EQ(KeySequenceOf(vkNumpad0 + 2), QKeySequence(Qt::KeypadModifier | Qt::Key_2));
  EXPECT_TRUE(KeySequenceOf(7).isEmpty());
}

}  // namespace
