#include "controls/gui/SpecialEdit.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/PathAndTextHelpers.h"

namespace {

// The toolbar's zoom edit: "<Auto>", a separator, then the factors.
class SpecialEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    menu.addAction(QStringLiteral("<Auto>"));
    menu.addSeparator();
    for (const char* caption : {"33%  (1:3)", "50%  (1:2)", "100%  (1:1)", "&Grand", "A&&B"})
      menu.addAction(QString::fromLatin1(caption));
    edit.Clock = [this] { return now; };
    edit.OnChange = [this] { ++changes; };
    edit.OnSelectItem = [this](TSpecialEdit&, bool changed) { selections.append(changed); };
    edit.resize(120, edit.MinHeight());
    edit.SetShowButton(true);
    edit.show();
    QObject::connect(&menu, &QMenu::aboutToShow, [this] {
      ++opened;
      menuPos = menu.pos();
      QTimer::singleShot(0, &menu, [this] {
        menuPos = menu.pos();
        if (onOpen) onOpen();
        if (menu.isVisible()) menu.close();
      });
    });
  }
  QList<int> Checked() const {
    QList<int> positions;
    for (int i = 0; i < menu.actions().size(); ++i)
      if (menu.actions()[i]->isChecked()) positions.append(i);
    return positions;
  }
  void Choose(int position) {
    onOpen = [this, position] {
      QAction* item = menu.actions().at(position);
      QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(item).center());
    };
  }
  void ClickArrow() { QTest::mouseClick(edit.Button(), Qt::LeftButton, {}, QPoint(5, 5)); }

  QMenu menu;
  TSpecialEdit edit;
  qint64 now = 1'000'000;
  int changes = 0;
  int opened = 0;
  QPoint menuPos;
  QList<bool> selections;
  std::function<void()> onOpen;
};

TEST_F(SpecialEditTest, ItemsMapToMenuEntriesPastSeparators) {
  edit.SetDropDownMenu(&menu);
  EXPECT_EQ(changes, 1);
  edit.SetItemIndex(1);
  EXPECT_EQ(edit.ItemToMenuIndex(1), 2);
  EXPECT_EQ(edit.Text(), "33%  (1:3)");
  EXPECT_EQ(Checked(), QList<int>{2});
  EXPECT_EQ(edit.MenuItemToIndex(menu.actions()[4]), 3);
  EXPECT_EQ(edit.MenuItemToIndex(nullptr), -1);

  // Ampersands: the first one goes.
  edit.SetItemIndex(4);
  EXPECT_EQ(edit.Text(), "Grand");
  edit.SetItemIndex(5);
  EXPECT_EQ(edit.Text(), "A&B");

  // Past the last item: no text, no check mark.
  edit.SetItemIndex(7);
  EXPECT_EQ(edit.ItemToMenuIndex(7), -1);
  EXPECT_EQ(edit.Text(), "");
  EXPECT_TRUE(Checked().isEmpty());

  // Any negative index is -1 and clears the marks; OnChange once.
  edit.SetItemIndex(2);
  changes = 0;
  edit.SetItemIndex(-5);
  EXPECT_EQ(edit.ItemIndex(), -1);
  EXPECT_TRUE(Checked().isEmpty());
  EXPECT_EQ(changes, 1);
  edit.SetItemIndex(-2);
  EXPECT_EQ(changes, 1);
}

TEST_F(SpecialEditTest, TextIsStoredOnlyWithoutAMenu) {
  edit.SetItemIndex(-5);  // without a menu: stored, nothing fired
  EXPECT_EQ(edit.ItemIndex(), -1);
  EXPECT_EQ(changes, 0);
  edit.SetText(QStringLiteral("free"));
  edit.SetText(QStringLiteral("free"));  // no equality test
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(edit.Text(), "free");

  edit.SetDropDownMenu(&menu);
  edit.SetItemIndex(0);
  changes = 0;
  edit.SetText(QStringLiteral("ignored"));
  EXPECT_EQ(edit.Text(), "<Auto>");
  EXPECT_EQ(changes, 0);
}

TEST_F(SpecialEditTest, ChoosingFromTheMenuUnderTheControl) {
  edit.SetDropDownMenu(&menu);
  edit.SetItemIndex(0);
  changes = 0;
  Choose(3);  // "50%  (1:2)"
  ClickArrow();
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(menuPos, edit.mapToGlobal(QPoint(0, edit.height() - 1)));  // one up when themed
  EXPECT_EQ(edit.ItemIndex(), 2);
  EXPECT_EQ(selections, QList<bool>{true});
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(Checked(), QList<int>{3});

  // The chosen item again: OnSelectItem says unchanged, OnChange stays quiet.
  now += 1000;
  Choose(3);
  QTest::mouseClick(&edit, Qt::LeftButton, {}, QPoint(10, 5));  // the text area opens it too
  EXPECT_EQ(opened, 2);
  EXPECT_EQ(selections, (QList<bool>{true, false}));
  EXPECT_EQ(changes, 1);
}

TEST_F(SpecialEditTest, MenuDoesNotReopenWithin333Ms) {
  edit.SetDropDownMenu(&menu);
  int arrowClicks = 0;
  edit.OnBtnClick = [&] { ++arrowClicks; };
  ClickArrow();
  EXPECT_EQ(opened, 1);
  now += 200;  // the click that closed it
  ClickArrow();
  EXPECT_EQ(opened, 1);
  now += 200;  // 400 ms after the menu closed
  ClickArrow();
  EXPECT_EQ(opened, 2);
  EXPECT_EQ(arrowClicks, 3);
}

TEST_F(SpecialEditTest, ReadOnlyDisablesOnlyTheArrow) {
  edit.SetDropDownMenu(&menu);
  edit.SetReadOnly(true);
  EXPECT_FALSE(edit.Button()->isEnabled());
  ClickArrow();
  EXPECT_EQ(opened, 0);
  QTest::mouseClick(&edit, Qt::LeftButton, {}, QPoint(10, 5));
  EXPECT_EQ(opened, 1);
  edit.SetReadOnly(false);
  EXPECT_TRUE(edit.Button()->isEnabled());
  edit.setEnabled(false);
  EXPECT_FALSE(edit.Button()->isEnabled());
}

TEST_F(SpecialEditTest, DisabledColours) {
  edit.SetShowButton(false);
  edit.SetText(QStringLiteral("MMMMMMMM"));
  auto background = [this] { return edit.grab().toImage().pixelColor(edit.width() - 6, edit.height() / 2); };
  auto darkest = [this] {
    const QImage img = edit.grab().toImage();
    int best = 255;
    const QRect text = edit.TextRect();
    for (int y = text.top(); y <= text.bottom(); ++y)
      for (int x = text.left(); x < text.left() + 40; ++x) best = std::min(best, qGray(img.pixel(x, y)));
    return best;
  };
  const int enabledInk = darkest();
  const QColor enabledBack = background();
  edit.setEnabled(false);  // DisabledColor clNone: the normal background
  EXPECT_EQ(background(), enabledBack);
  EXPECT_GT(darkest(), enabledInk);  // grey text
  edit.SetDisabledColor(clYellow);
  EXPECT_EQ(background(), QColor(255, 255, 0));
}

TEST_F(SpecialEditTest, PathsShortenFromTheLeadingFolders) {
  const QFontMetrics fm(edit.font());
  const QString path = QStringLiteral("/home/someone/pictures/holidays/2026/beach.jpg");
  EXPECT_EQ(MinimizePath(path, fm, 10000), path);
  const QString shorter = MinimizePath(path, fm, fm.horizontalAdvance(QStringLiteral("/.../2026/beach.jpg")));
  EXPECT_EQ(shorter, "/.../2026/beach.jpg");
  EXPECT_EQ(MinimizePath(path, fm, fm.horizontalAdvance(QStringLiteral(".../beach.jpg"))), ".../beach.jpg");
  EXPECT_EQ(MinimizePath(path, fm, 5), "beach.jpg");

  edit.SetShowButton(false);
  edit.SetMinimizeText(true);
  edit.SetText(path);
  EXPECT_TRUE(edit.DisplayText().endsWith(QStringLiteral("beach.jpg")));
  EXPECT_LE(fm.horizontalAdvance(edit.DisplayText()), edit.TextRect().width());
  edit.OnDisplayText = [](TSpecialEdit&, QString& text) { text = QStringLiteral("[") + text + u']'; };
  EXPECT_TRUE(edit.DisplayText().startsWith(u'['));
}

TEST_F(SpecialEditTest, ButtonSitsInTheRightStrip) {
  const QRect b = edit.Button()->geometry();
  EXPECT_EQ(b.width(), 15);
  EXPECT_EQ(b.right(), edit.width() - 1 - 2);
  EXPECT_LE(edit.TextRect().right(), b.left() - 1);
  edit.SetShowButton(false);
  EXPECT_FALSE(edit.Button()->isVisible());
  edit.resize(120, 2);
  EXPECT_EQ(edit.height(), edit.MinHeight());
}

TEST_F(SpecialEditTest, GlyphAtTheLeftWithItsDisabledImage) {
  // Two 10 x 8 images side by side: red, then blue; the bottom-left pixel's
  // magenta is the transparent colour.
  QImage glyph(20, 8, QImage::Format_RGB32);
  glyph.fill(Qt::red);
  for (int y = 0; y < 8; ++y)
    for (int x = 10; x < 20; ++x) glyph.setPixelColor(x, y, Qt::blue);
  for (int x = 0; x < 4; ++x) glyph.setPixelColor(x, 7, Qt::magenta);
  edit.SetGlyph(QPixmap::fromImage(glyph));
  edit.SetNumGlyphs(2);
  edit.SetShowButton(false);
  EXPECT_EQ(edit.TextRect().left(), 2 + 10 + 2);  // border, glyph, margin
  auto count = [this](QColor c) {
    const QImage img = edit.grab().toImage();
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) n += img.pixelColor(x, y) == c ? 1 : 0;
    return n;
  };
  EXPECT_EQ(count(Qt::red), 8 * 8 - 4);  // two columns fall outside the box
  EXPECT_EQ(count(Qt::blue), 0);
  EXPECT_EQ(count(Qt::magenta), 0);
  edit.setEnabled(false);
  EXPECT_EQ(count(Qt::red), 0);
  EXPECT_EQ(count(Qt::blue), 8 * 8);
}

}  // namespace
