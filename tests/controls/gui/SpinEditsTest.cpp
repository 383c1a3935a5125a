#include "controls/gui/SpinEdits.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <climits>
#include <memory>

namespace {

// A visible, focused edit in a window, with its beeps counted.
template <class Edit>
class SpinHost {
 public:
  SpinHost() {
    edit = new Edit(&window);
    other = new QPushButton(QStringLiteral("other"), &window);
    other->move(0, 40);
    edit->OnBeep = [this] { ++beeps; };
    window.resize(200, 80);
    window.show();
    window.activateWindow();
    edit->setFocus();
    QApplication::processEvents();
  }
  void Type(const QString& keys) { QTest::keyClicks(edit, keys); }
  void SetText(const QString& text) {
    edit->setText(text);
    edit->setCursorPosition(int(text.size()));
  }
  void Leave() {
    other->setFocus();
    QApplication::processEvents();
  }

  QWidget window;
  Edit* edit = nullptr;
  QPushButton* other = nullptr;
  int beeps = 0;
};

class LocaleGuard {
 public:
  explicit LocaleGuard(const QLocale& locale) : m_previous(QLocale()) { QLocale::setDefault(locale); }
  ~LocaleGuard() { QLocale::setDefault(m_previous); }

 private:
  QLocale m_previous;
};

TEST(Spin2, StartsAsZeroInTheLocaleFormat) {
  const LocaleGuard c(QLocale::c());
  TSpinEdit2 i;
  TFloatSpinEdit f;
  EXPECT_EQ(i.text(), "0");
  EXPECT_EQ(f.text(), "0.00");
  EXPECT_EQ(f.Format(), "0.00");
  EXPECT_EQ(i.width(), 65);
  EXPECT_GE(i.height(), i.MinimumHeight());
}

TEST(Spin2, IntegerKeyFilter) {
  const LocaleGuard c(QLocale::c());
  SpinHost<TSpinEdit2> h;
  h.SetText(QString());
  h.Type(QStringLiteral("12a.3"));
  EXPECT_EQ(h.edit->text(), "123");
  EXPECT_EQ(h.beeps, 2);  // the letter and the point

  // A sign only at the start.
  h.Type(QStringLiteral("-"));
  EXPECT_EQ(h.edit->text(), "123");
  EXPECT_EQ(h.beeps, 3);
  h.edit->setCursorPosition(0);
  h.Type(QStringLiteral("-"));
  EXPECT_EQ(h.edit->text(), "-123");
  EXPECT_EQ(h.edit->Value(), -123);
  // Backspace and the other editing keys work as usual.
  h.edit->end(false);
  QTest::keyClick(h.edit, Qt::Key_Backspace);
  EXPECT_EQ(h.edit->text(), "-12");
}

TEST(Spin2, DecimalSeparatorFollowsTheFormat) {
  const LocaleGuard c(QLocale::c());
  SpinHost<TFloatSpinEdit> h;
  h.SetText(QString());
  h.Type(QStringLiteral("1.5.2"));
  EXPECT_EQ(h.edit->text(), "1.52");  // one separator only
  EXPECT_EQ(h.beeps, 1);
  EXPECT_DOUBLE_EQ(h.edit->Value(), 1.52);

  h.edit->SetFormat(QStringLiteral("0"));
  EXPECT_EQ(h.edit->text(), "2");  // written again in the new format
  h.SetText(QStringLiteral("7"));
  h.Type(QStringLiteral("."));
  EXPECT_EQ(h.edit->text(), "7");
  EXPECT_EQ(h.beeps, 2);
  h.edit->SetFormat(QString());
  EXPECT_EQ(h.edit->Format(), "0.00");
  EXPECT_EQ(h.edit->text(), "7.00");
}

TEST(Spin2, FrenchSeparatorIsTypedWithTheFullStop) {
  const LocaleGuard french(QLocale(QLocale::French, QLocale::France));
  SpinHost<TFloatSpinEdit> h;
  EXPECT_EQ(h.edit->text(), "0,00");
  h.SetText(QString());
  h.Type(QStringLiteral("2.5"));
  EXPECT_EQ(h.edit->text(), "2,5");
  EXPECT_DOUBLE_EQ(h.edit->Value(), 2.5);
  h.edit->SetValue(1234.5);
  EXPECT_EQ(h.edit->text(), "1234,50");  // no group separator
  // A point typed by other means is not the separator here.
  h.edit->setText(QStringLiteral("2.5"));
  EXPECT_DOUBLE_EQ(h.edit->Value(), h.edit->MinValue());
}

TEST(Spin2, SteppingStopsAtTheBoundsAndIsFreeWithoutThem) {
  const LocaleGuard c(QLocale::c());
  SpinHost<TFloatSpinEdit> f;
  f.edit->SetFormat(QStringLiteral("0"));
  f.edit->SetMinValue(1);
  f.edit->SetMaxValue(5000);
  f.edit->SetValue(4999);
  QTest::keyClick(f.edit, Qt::Key_Up);
  EXPECT_EQ(f.edit->text(), "5000");
  QTest::keyClick(f.edit, Qt::Key_Up);
  EXPECT_EQ(f.edit->text(), "5000");

  SpinHost<TSpinEdit2> i;  // MinValue = MaxValue = 0: no bounds
  QTest::keyClick(i.edit, Qt::Key_Down);
  QTest::keyClick(i.edit, Qt::Key_Down);
  EXPECT_EQ(i.edit->Value(), -2);
  i.edit->SetValue(INT_MAX);
  i.edit->StepUp();  // stops at the end of int instead of wrapping
  EXPECT_EQ(i.edit->Value(), INT_MAX);

  // The button: upper half up, lower half down, and the edit takes the focus.
  i.Leave();
  i.edit->SetValue(10);
  QWidget* button = i.edit->UpDown();
  ASSERT_TRUE(button->isVisible());
  EXPECT_LE(button->geometry().right(), i.edit->width() - 1);
  EXPECT_GE(button->x(), i.edit->width() - 13 - 4);
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(button->width() / 2, 2));
  EXPECT_EQ(i.edit->Value(), 11);
  EXPECT_TRUE(i.edit->hasFocus());
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(button->width() / 2, button->height() - 3));
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(button->width() / 2, button->height() - 3));
  EXPECT_EQ(i.edit->Value(), 9);

  // A read-only edit beeps instead of stepping.
  i.edit->SetReadOnly(true);
  QTest::keyClick(i.edit, Qt::Key_Up);
  EXPECT_EQ(i.edit->Value(), 9);
  EXPECT_EQ(i.beeps, 1);
}

TEST(Spin2, ClampWhenTheFocusLeaves) {
  const LocaleGuard c(QLocale::c());
  SpinHost<TSpinEdit2> i;
  i.edit->SetMinValue(1);
  i.edit->SetMaxValue(100);
  i.SetText(QStringLiteral("250"));
  EXPECT_EQ(i.edit->Value(), 250);  // not clamped while typing
  i.Leave();
  EXPECT_EQ(i.edit->text(), "100");
  // Garbage reads as MinValue and is left alone by the integer edit.
  i.edit->setFocus();
  i.SetText(QStringLiteral("abc"));
  i.Leave();
  EXPECT_EQ(i.edit->text(), "abc");
  EXPECT_EQ(i.edit->Value(), 1);

  SpinHost<TFloatSpinEdit> f;
  f.edit->SetFormat(QStringLiteral("0"));
  f.edit->SetMinValue(1);
  f.edit->SetMaxValue(5000);
  f.SetText(QStringLiteral("abc"));
  EXPECT_DOUBLE_EQ(f.edit->Value(), 1);
  f.Leave();
  EXPECT_EQ(f.edit->text(), "1");
  f.edit->setFocus();
  f.SetText(QString());
  f.Leave();
  EXPECT_EQ(f.edit->text(), "");  // an empty text stays empty
}

// Texts that are numbers to a parser but no value a caller can round into an
// int read as MinValue, like any other garbage.
TEST(Spin2, NonFiniteAndOutOfRangeTextsReadAsMinValue) {
  const LocaleGuard c(QLocale::c());
  TSpinEdit2 i;
  TFloatSpinEdit f;
  i.SetMinValue(3);
  i.SetMaxValue(9);
  f.SetMinValue(3);
  f.SetMaxValue(9);
  for (const char* text : {"inf", "-inf", "nan", "1e308", "99999999999", "-99999999999", "2147483648", "", "x"}) {
    SCOPED_TRACE(text);
    i.setText(QString::fromLatin1(text));
    f.setText(QString::fromLatin1(text));
    EXPECT_EQ(i.Value(), 3);
    EXPECT_DOUBLE_EQ(f.Value(), 3.0);
  }
  f.setText(QStringLiteral("2147483647"));
  EXPECT_DOUBLE_EQ(f.Value(), 2147483647.0);
  f.SetMinValue(0);
  f.SetMaxValue(0);
  f.SetValue(std::numeric_limits<double>::infinity());
  EXPECT_EQ(f.text(), "0.00");
  f.SetValue(1e300);
  EXPECT_DOUBLE_EQ(f.Value(), double(INT_MAX));
}

TEST(Spin2, EditorDisabledBlocksEveryWayIn) {
  const LocaleGuard c(QLocale::c());
  SpinHost<TSpinEdit2> h;
  h.SetText(QStringLiteral("5"));
  QApplication::clipboard()->setText(QStringLiteral("77"));

  // With the editor enabled, paste works: the blocked cases below are real.
  QTest::keyClick(h.edit, Qt::Key_Insert, Qt::ShiftModifier);
  EXPECT_EQ(h.edit->text(), "577");

  h.SetText(QStringLiteral("5"));
  h.edit->SetEditorEnabled(false);
  h.Type(QStringLiteral("12"));
  QTest::keyClick(h.edit, Qt::Key_Backspace);
  QTest::keyClick(h.edit, Qt::Key_Delete);
  EXPECT_EQ(h.edit->text(), "5");
  EXPECT_GE(h.beeps, 2);

  QTest::keyClick(h.edit, Qt::Key_Insert, Qt::ShiftModifier);
  QTest::keyClick(h.edit, Qt::Key_V, Qt::ControlModifier);
  h.edit->selectAll();
  QTest::keyClick(h.edit, Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(h.edit->text(), "5");

  // The context menu offers no paste, cut, delete or undo.
  auto editingOffered = [&h] {
    const std::unique_ptr<QMenu> menu(h.edit->createStandardContextMenu());
    QStringList offered;
    for (QAction* a : menu->actions()) {
      const QString name = a->text().section(u'\t', 0, 0).remove(u'&');
      if (a->isEnabled() && (name == u"Paste" || name == u"Cut" || name == u"Delete" || name == u"Undo"))
        offered.append(name);
    }
    return offered;
  };
  EXPECT_EQ(editingOffered(), QStringList());
  h.edit->SetEditorEnabled(true);
  EXPECT_TRUE(editingOffered().contains(QStringLiteral("Paste")));
  h.edit->SetEditorEnabled(false);

  // The selection's middle-button paste, where the platform has a selection.
  if (QApplication::clipboard()->supportsSelection()) {
    QApplication::clipboard()->setText(QStringLiteral("88"), QClipboard::Selection);
    QTest::mouseClick(h.edit, Qt::MiddleButton, {}, QPoint(5, h.edit->height() / 2));
    EXPECT_EQ(h.edit->text(), "5");
  }

  // Dropped text.
  QMimeData data;
  data.setText(QStringLiteral("99"));
  const QPoint at(5, h.edit->height() / 2);
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(h.edit, &enter);
  QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(h.edit, &drop);
  EXPECT_EQ(h.edit->text(), "5");

  // Stepping still works, by key and by button.
  QTest::keyClick(h.edit, Qt::Key_Up);
  QWidget* button = h.edit->UpDown();
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(button->width() / 2, 2));
  EXPECT_EQ(h.edit->text(), "7");
}

// Enter is kept from the dialog: its auto-default button must not be pressed
// behind the dialog's back.
TEST(Spin2, EnterDoesNotPressTheDialogsDefaultButton) {
  QDialog dialog;
  auto* ok = new QPushButton(QStringLiteral("Ok"), &dialog);
  ok->setDefault(true);
  int pressed = 0;
  QObject::connect(ok, &QPushButton::clicked, [&] { ++pressed; });
  auto* edit = new TSpinEdit2(&dialog);
  edit->move(0, 40);
  int beeps = 0;
  edit->OnBeep = [&] { ++beeps; };
  dialog.show();
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_Return);
  QTest::keyClick(edit, Qt::Key_Enter);
  EXPECT_EQ(pressed, 0);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(beeps, 2);
}

TEST(Spin2, FormatFloatFormats) {
  const QLocale c = QLocale::c();
  const struct {
    const char* format;
    double value;
    const char* text;
  } cases[] = {
      {"0.00", 2.5, "2.50"}, {"0", 2.4, "2"},          {"0.##", 2.5, "2.5"},    {"0.##", 3.0, "3"},
      {"0.0#", 3.0, "3.0"},  {"0.00", -0.001, "0.00"}, {"0.00", -1.5, "-1.50"}, {"0", 123456, "123456"},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(std::string(t.format) + " " + std::to_string(t.value));
    EXPECT_EQ(FormatFloat(QString::fromLatin1(t.format), t.value, c), QString::fromLatin1(t.text));
  }
}

}  // namespace
