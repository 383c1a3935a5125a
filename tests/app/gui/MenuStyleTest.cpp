#include "app/gui/MenuStyle.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include "app/InterfaceTexts.h"
#include "app/MyMenu.h"
#include "raster/Color.h"

namespace {

TColor PixelAt(const QImage& image, int x, int y) {
  const QRgb c = image.pixel(x, y);
  return RGBColor(qRed(c), qGreen(c), qBlue(c));
}

TColor Rgb(TColor c) { return ColorToRGB(c); }

// One channel of FillGradient's column k of w, from a to b.
int Step(int a, int b, int k, int w) { return a + (k * (b - a)) / w; }

class MenuStyleTest : public testing::Test {
 protected:
  void SetUp() override {
    SetEnglishTexts();
    InitMenuColors();
  }
  void TearDown() override { SetFrenchTexts(); }

  // Shows the menu at the screen's corner and grabs it as painted.
  QImage Grab(QMenu& menu) {
    menu.popup(QPoint(0, 0));
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&menu));
    QImage image = menu.grab().toImage().convertToFormat(QImage::Format_RGB32);
    menu.hide();
    return image;
  }
};

TEST_F(MenuStyleTest, OpenMenuShowsTheGutterBandAndTheMeasuredWidth) {
  QMenu menu;
  QAction* plain = menu.addAction(QStringLiteral("Check size"));
  menu.addSeparator();
  menu.addAction(QStringLiteral("Thumbnails folder..."));
  OwnerDrawMenu(&menu);
  const QImage image = Grab(menu);

  // Items span the menu inside its one-pixel frame; an item without shortcut
  // is as wide as its caption plus one "X", plus 16.
  const QRect item = menu.actionGeometry(plain);
  const QFontMetrics fm(menu.font());
  EXPECT_EQ(item.left(), 1);
  EXPECT_EQ(menu.width(), 2 + fm.horizontalAdvance(QStringLiteral("Thumbnails folder...X")) + 16);
  // ... and the widest caption is drawn whole: its last dot is there.
  const QRect widest = menu.actionGeometry(menu.actions().last());
  const int lastDot = widest.left() + 16 + fm.horizontalAdvance(QStringLiteral("Thumbnails folder.."));
  int ink = 0;
  for (int x = lastDot; x < lastDot + fm.horizontalAdvance(QLatin1Char('.')); ++x)
    for (int y = widest.top(); y <= widest.bottom(); ++y) ink += qGray(image.pixel(x, y)) < 128;
  EXPECT_GT(ink, 0);

  // The band: 77 columns from the gutter colour towards the menu colour, the
  // last one step short of it; the menu colour right after.
  const TColor a = Rgb(MenuGutterColor), b = Rgb(clMenu);
  const int y = item.center().y();
  for (int k : {0, 1, 38, 76}) {
    SCOPED_TRACE(k);
    const TColor expected = RGBColor(Step(GetRValue(a), GetRValue(b), k, MenuGutterWidth),
                                     Step(GetGValue(a), GetGValue(b), k, MenuGutterWidth),
                                     Step(GetBValue(a), GetBValue(b), k, MenuGutterWidth));
    // On the item's top row, above the caption's letters.
    const int x = item.left() + k;
    EXPECT_EQ(PixelAt(image, x, item.top()), expected);
  }
  EXPECT_EQ(PixelAt(image, item.left() + MenuGutterWidth, item.top()), b);
  EXPECT_EQ(PixelAt(image, item.right() - 2, y), b);
  EXPECT_NE(a, b);

  // The separator carries the band too and its line four pixels down.
  const QRect sep = menu.actionGeometry(menu.actions().at(1));
  EXPECT_EQ(sep.height(), 9);
  EXPECT_EQ(PixelAt(image, sep.left(), sep.top()), a);
  EXPECT_EQ(PixelAt(image, sep.left() + 1, sep.top() + 4), Rgb(clBtnShadow));
  EXPECT_EQ(PixelAt(image, sep.left() + 100, sep.top() + 1), b);
}

TEST_F(MenuStyleTest, ShortcutTextIsMeasuredAndDrawnInItsOwnColour) {
  QMenu menu;
  const QString shortcut = MenuShortCutToText(TShortCut(scShift | scCtrl | (vkF1 + 4)));
  ASSERT_EQ(shortcut, QStringLiteral("Maj+Ctrl+F5"));
  QAction* action = menu.addAction(QStringLiteral("Refresh\t") + shortcut);
  menu.addAction(QStringLiteral("Go"));
  OwnerDrawMenu(&menu);
  const QImage image = Grab(menu);

  const QFontMetrics fm(menu.font());
  EXPECT_EQ(menu.width(), 2 + fm.horizontalAdvance(QStringLiteral("RefreshX") + shortcut + QStringLiteral("XXX")) + 16);
  // The shortcut sits right-aligned 16 pixels from the item's right edge, in
  // dark red; the caption on the left in the menu text colour.
  const QRect item = menu.actionGeometry(action);
  const QRect shortcutArea(item.right() - 16 - fm.horizontalAdvance(shortcut), item.top(),
                           fm.horizontalAdvance(shortcut), item.height());
  int red = 0, other = 0;
  for (int x = shortcutArea.left(); x <= shortcutArea.right(); ++x)
    for (int y = shortcutArea.top(); y <= shortcutArea.bottom(); ++y) {
      const TColor c = PixelAt(image, x, y);
      if (c == MenuShortCutColor) ++red;
      if (c == Rgb(clMenuText)) ++other;
    }
  EXPECT_GT(red, 10);
  EXPECT_EQ(other, 0);
}

TEST_F(MenuStyleTest, SelectedItemIsAGradientBarInsideTheHighlightColour) {
  QMenu menu;
  QAction* first = menu.addAction(QStringLiteral("Open..."));
  menu.addAction(QStringLiteral("Close"));
  OwnerDrawMenu(&menu);
  menu.setActiveAction(first);
  const QImage image = Grab(menu);
  const QRect item = menu.actionGeometry(first);
  EXPECT_EQ(PixelAt(image, item.left(), item.top()), Rgb(clHighlight));
  EXPECT_EQ(PixelAt(image, item.left() + 1, item.top() + 1), Rgb(MenuSelStartColor));
}

TEST_F(MenuStyleTest, MenuBarItemsKeepTheirSizeAndCentreTheirCaptions) {
  QMenuBar bar;
  bar.setNativeMenuBar(false);
  QMenu* file = bar.addMenu(QStringLiteral("File"));
  file->addAction(QStringLiteral("Open..."));
  bar.resize(300, bar.sizeHint().height());
  const QRect before = bar.actionGeometry(file->menuAction());
  OwnerDrawMenu(&bar);
  bar.resize(300, bar.sizeHint().height());
  EXPECT_EQ(file->style(), &MenuStyle());
  const QRect after = bar.actionGeometry(file->menuAction());
  EXPECT_EQ(after.size(), before.size());
  const QImage image = bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
  // Caption pixels (far from the bar's colour) lie on both sides of the
  // item's centre.
  const int background = qGray(image.pixel(after.left(), after.top()));
  int left = 0, right = 0;
  for (int x = after.left(); x <= after.right(); ++x)
    for (int y = after.top(); y <= after.bottom(); ++y)
      if (std::abs(qGray(image.pixel(x, y)) - background) > 100) (x < after.center().x() ? left : right)++;
  EXPECT_GT(left, 0);
  EXPECT_GT(right, 0);
  EXPECT_EQ(PixelAt(image, after.left(), after.top()), Rgb(clMenuBar));
}

}  // namespace
