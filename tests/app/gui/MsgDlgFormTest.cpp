#include "app/gui/MsgDlgForm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/InterfaceTexts.h"

namespace {

class MsgDlgFormTest : public ::testing::Test {
 protected:
  void SetUp() override { SetEnglishTexts(); }
  void TearDown() override {
    SetFrenchTexts();
    SetMsgPresenter({});
  }
  static TMsgRequest Request(const QString& text, TMsgKind kind, TMsgButtons buttons) {
    return TMsgRequest{text, kind, buttons, MsgHeading(kind, QString())};
  }
};

TEST_F(MsgDlgFormTest, ShortMessageTakesTheDesignedSize) {
  TMsgDlgForm dlg(Request(QStringLiteral("File not found !"), mkInformation, btOk));
  dlg.show();
  EXPECT_EQ(dlg.width(), 300);
  EXPECT_FALSE(dlg.BtnYes->isVisible());
  EXPECT_FALSE(dlg.BtnCancel->isVisible());
  ASSERT_TRUE(dlg.BtnOk->isVisible());
  EXPECT_EQ(dlg.BtnOk->geometry(), QRect(214, dlg.BtnOk->y(), 75, 25));
  EXPECT_GE(dlg.BtnOk->y(), 100);
  EXPECT_EQ(dlg.height(), dlg.BtnOk->y() + 25 + 12);
  EXPECT_EQ(dlg.BtnOk->text(), "Ok");
  EXPECT_FALSE(dlg.EdiInput->isVisible());
  EXPECT_EQ(dlg.windowTitle(), "Tesselune");
  // The heading is bold, over a line as wide as the dialog less 12 a side.
  EXPECT_EQ(dlg.LblCaption->text(), "Information");
  EXPECT_TRUE(dlg.LblCaption->font().bold());
  EXPECT_EQ(dlg.PnlSep->width(), 300 - 24);
  EXPECT_GT(dlg.PnlSep->y(), dlg.LblCaption->geometry().bottom());
  EXPECT_EQ(dlg.focusWidget(), dlg.BtnOk);
}

TEST_F(MsgDlgFormTest, ButtonRowInOrderRightAligned) {
  TMsgDlgForm dlg(Request(QStringLiteral("Save changes before continuing ?"), mkConfirmation, 11));
  dlg.show();
  const QList<QPushButton*> row = {dlg.BtnYes, dlg.BtnNo, dlg.BtnCancel};
  for (QPushButton* b : row) EXPECT_TRUE(b->isVisible());
  EXPECT_FALSE(dlg.BtnOk->isVisible());
  EXPECT_EQ(dlg.BtnNo->x() - dlg.BtnYes->x(), 81);
  EXPECT_EQ(dlg.BtnCancel->x() - dlg.BtnNo->x(), 81);
  EXPECT_EQ(dlg.BtnCancel->geometry().right() + 1, dlg.width() - 11);
  EXPECT_EQ(dlg.BtnCancel->x() + 75 - dlg.BtnYes->x(), 237);
  EXPECT_EQ(dlg.BtnYes->text(), "&Yes");
  EXPECT_EQ(dlg.BtnCancel->text(), "Cancel");
  EXPECT_EQ(dlg.LblCaption->text(), "Confirm");
}

TEST_F(MsgDlgFormTest, LongTextWidensWithoutWrapping) {
  const QString text =
      QStringLiteral("A first line that is a good deal longer than the dialog's least width\nand a second");
  TMsgDlgForm dlg(Request(text, mkWarning, btOk));
  dlg.show();
  const QSize size = dlg.LblMsg->fontMetrics().size(Qt::TextExpandTabs, text);
  EXPECT_EQ(dlg.width(), 56 + size.width() + 12);
  EXPECT_EQ(dlg.LblMsg->size(), size);
  EXPECT_GE(dlg.BtnOk->y(), dlg.LblMsg->geometry().bottom() + 24);
  EXPECT_EQ(dlg.BtnOk->geometry().right() + 1, dlg.width() - 11);
  EXPECT_EQ(dlg.LblCaption->text(), "Avertissement");  // not switched to English
}

TEST_F(MsgDlgFormTest, IconOfTheKind) {
  const struct {
    TMsgKind kind;
    QStyle::StandardPixmap icon;
    const char* heading;
  } cases[] = {{mkWarning, QStyle::SP_MessageBoxWarning, "Avertissement"},
               {mkError, QStyle::SP_MessageBoxCritical, "Erreur"},
               {mkInformation, QStyle::SP_MessageBoxInformation, "Information"},
               {mkConfirmation, QStyle::SP_MessageBoxQuestion, "Confirm"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.heading);
    TMsgDlgForm dlg(Request(QStringLiteral("x"), c.kind, btOk));
    EXPECT_EQ(dlg.LblCaption->text(), QString::fromUtf8(c.heading));
    const QImage expected = dlg.style()->standardIcon(c.icon).pixmap(32, 32).toImage();
    EXPECT_EQ(dlg.ResIcon->pixmap().toImage(), expected);
    EXPECT_EQ(dlg.ResIcon->geometry(), QRect(12, dlg.LblMsg->y(), 32, 32));
  }
}

// (buttons, key) -> the answer, or 0 when the dialog stays open.
TEST_F(MsgDlgFormTest, KeysAnswer) {
  const struct {
    TMsgButtons buttons;
    Qt::Key key;
    int answer;
  } cases[] = {
      {11, Qt::Key_Y, idYes},
      {11, Qt::Key_N, idNo},
      {11, Qt::Key_Escape, idCancel},
      {btYes | btNo, Qt::Key_Escape, idNo},
      {btOk, Qt::Key_Escape, 0},
      {btOk, Qt::Key_Return, idOk},
      {btOk, Qt::Key_Y, 0},
      {11, Qt::Key_Return, idYes},
      {btOk | btCancel, Qt::Key_Escape, idCancel},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "buttons " << c.buttons << " key " << c.key);
    TMsgDlgForm dlg(Request(QStringLiteral("Question ?"), mkConfirmation, c.buttons));
    dlg.setResult(-1);
    dlg.show();
    QApplication::setActiveWindow(&dlg);
    QWidget* target = dlg.focusWidget() ? dlg.focusWidget() : &dlg;
    QTest::keyClick(target, c.key);
    if (c.answer == 0) {
      EXPECT_TRUE(dlg.isVisible());
    } else {
      EXPECT_FALSE(dlg.isVisible());
      EXPECT_EQ(dlg.result(), c.answer);
    }
  }
  // The close box answers Cancel, even without a Cancel button.
  TMsgDlgForm dlg(Request(QStringLiteral("x"), mkWarning, btOk));
  dlg.show();
  dlg.close();
  EXPECT_EQ(dlg.result(), idCancel);
}

TEST_F(MsgDlgFormTest, PresenterMakesAFreshDialogForEachMessage) {
  InstallGuiMsgPresenter();
  QList<QString> okCaptions;
  auto answerWith = [&](std::function<void(TMsgDlgForm&)> act) {
    QTimer::singleShot(0, [&okCaptions, act] {
      auto* dlg = dynamic_cast<TMsgDlgForm*>(QApplication::activeModalWidget());
      ASSERT_NE(dlg, nullptr);
      okCaptions.append(dlg->BtnOk->text());
      act(*dlg);
    });
  };
  answerWith([](TMsgDlgForm& d) { QTest::keyClick(d.focusWidget(), Qt::Key_N); });
  EXPECT_EQ(MyMessageDlg(QStringLiteral("Save changes before continuing ?"), mkConfirmation, 11), idNo);

  SetLangText(lsOk, QStringLiteral("Fine"));
  answerWith([](TMsgDlgForm& d) { QTest::mouseClick(d.BtnOk, Qt::LeftButton); });
  EXPECT_EQ(MyMessageDlg(QStringLiteral("No thumbnail in the list !"), mkWarning, btOk), idOk);
  EXPECT_EQ(okCaptions, (QList<QString>{QStringLiteral("Ok"), QStringLiteral("Fine")}));
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
