#include "app/MyMsgDlg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/InterfaceTexts.h"

namespace {

// Installs a presenter that records every message and answers `answer`;
// puts back the previous presenter and the French texts afterwards.
class MyMsgDlg : public testing::Test {
 protected:
  void SetUp() override {
    SetFrenchTexts();
    m_previous = SetMsgPresenter([this](const TMsgRequest& r) {
      m_calls.push_back(r);
      return m_answer;
    });
  }
  void TearDown() override {
    SetMsgPresenter(m_previous);
    SetFrenchTexts();
  }

  std::vector<TMsgRequest> m_calls;
  int m_answer = idOk;

 private:
  TMsgPresenter m_previous;
};

TEST_F(MyMsgDlg, KindsAndButtonValues) {
  EXPECT_EQ(int(mkWarning), 0);
  EXPECT_EQ(int(mkError), 1);
  EXPECT_EQ(int(mkInformation), 2);
  EXPECT_EQ(int(mkConfirmation), 3);
  EXPECT_EQ(int(mkApplication), 4);
  EXPECT_EQ(btYes | btNo | btCancel, 11);
  EXPECT_EQ(btOk, 4);
}

TEST_F(MyMsgDlg, HeadingComesFromTheKindAsTheTextsReadNow) {
  struct Case {
    TMsgKind kind;
    const char* french;
    const char* afterSwitch;
  } cases[] = {
      {mkWarning, "Avertissement", "Avertissement"},
      {mkError, "Erreur", "Erreur"},
      {mkInformation, "Information", "Information"},
      {mkConfirmation, "Confirmation", "Confirm"},
      {mkApplication, "tesselune_core_tests", "tesselune_core_tests"},  // the executable's name
  };
  for (bool english : {false, true}) {
    if (english) SetEnglishTexts();
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << int(c.kind) << (english ? " english" : " french"));
      m_calls.clear();
      MyMessageDlg(QStringLiteral("text"), c.kind, btOk);
      ASSERT_EQ(m_calls.size(), 1u);
      EXPECT_EQ(m_calls[0].Heading, QString::fromUtf8(english ? c.afterSwitch : c.french));
      EXPECT_EQ(m_calls[0].Kind, c.kind);
    }
  }
}

TEST_F(MyMsgDlg, GivenHeadingTextAndButtonsReachThePresenter) {
  struct Case {
    TMsgButtons buttons;
    int answer;
  } cases[] = {{btYes | btNo | btCancel, idNo}, {btOk, idOk}, {btYes | btNo, idYes}, {btOk | btCancel, idCancel}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.buttons);
    m_calls.clear();
    m_answer = c.answer;
    const int result = MyMessageDlg(QStringLiteral("Save changes before continuing ?"), mkConfirmation, c.buttons,
                                    QStringLiteral("Own heading"));
    EXPECT_EQ(result, c.answer);
    ASSERT_EQ(m_calls.size(), 1u);
    EXPECT_EQ(m_calls[0].Text, QStringLiteral("Save changes before continuing ?"));
    EXPECT_EQ(m_calls[0].Buttons, c.buttons);
    EXPECT_EQ(m_calls[0].Heading, QStringLiteral("Own heading"));
  }
}

TEST_F(MyMsgDlg, SetMsgPresenterHandsBackThePreviousOne) {
  int other = 0;
  TMsgPresenter mine = SetMsgPresenter([&other](const TMsgRequest&) { return ++other, idCancel; });
  EXPECT_EQ(MyMessageDlg(QStringLiteral("x"), mkWarning, btOk), idCancel);
  EXPECT_EQ(other, 1);
  EXPECT_TRUE(m_calls.empty());
  SetMsgPresenter(mine);
  MyMessageDlg(QStringLiteral("x"), mkWarning, btOk);
  EXPECT_EQ(m_calls.size(), 1u);
}

TEST_F(MyMsgDlg, WithoutPresenterTheMessageGoesToStandardError) {
  SetMsgPresenter(nullptr);
  SetEnglishTexts();
  struct Case {
    TMsgKind kind;
    TMsgButtons buttons;
    int result;
    const char* line;
  } cases[] = {
      {mkInformation, btOk, idOk, "Information: File not found !\n"},
      {mkConfirmation, btYes | btNo | btCancel, idCancel, "Confirm: File not found !\n"},
      {mkConfirmation, btYes | btNo, idNo, "Confirm: File not found !\n"},
      {mkWarning, btYes, idCancel, "Avertissement: File not found !\n"},
      {mkError, 0, idCancel, "Erreur: File not found !\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.buttons);
    testing::internal::CaptureStderr();
    const int result = MyMessageDlg(QStringLiteral("File not found !"), c.kind, c.buttons);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line);
    EXPECT_EQ(result, c.result);
  }
}

TEST_F(MyMsgDlg, EnterAndEscapeButtons) {
  struct Case {
    TMsgButtons buttons;
    int enter, escape, unattended;
  } cases[] = {
      {btOk, idOk, 0, idOk},
      {btYes | btNo | btCancel, idYes, idCancel, idCancel},
      {btYes | btNo, idYes, idNo, idNo},
      {btOk | btCancel, idOk, idCancel, idCancel},
      {btYes | btOk | btNo, idOk, idNo, idNo},
      {btYes, idYes, 0, idCancel},
      {0, 0, 0, idCancel},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.buttons);
    EXPECT_EQ(MsgDefaultResult(c.buttons), c.enter);
    EXPECT_EQ(MsgCancelResult(c.buttons), c.escape);
    EXPECT_EQ(MsgUnattendedResult(c.buttons), c.unattended);
  }
}

TEST_F(MyMsgDlg, AcceleratorKeys) {
  EXPECT_EQ(AcceleratorChar(QStringLiteral("&Oui")), QLatin1Char('O'));
  EXPECT_EQ(AcceleratorChar(QStringLiteral("Ab&c")), QLatin1Char('c'));
  EXPECT_EQ(AcceleratorChar(QStringLiteral("&&&Z")), QLatin1Char('Z'));
  EXPECT_TRUE(AcceleratorChar(QStringLiteral("Ok")).isNull());
  EXPECT_TRUE(AcceleratorChar(QStringLiteral("A&&B")).isNull());
  EXPECT_TRUE(AcceleratorChar(QStringLiteral("End&")).isNull());

  const TMsgButtons question = btYes | btNo | btCancel;
  // French captions: O and N.
  EXPECT_EQ(MsgKeyResult(QLatin1Char('o'), question), idYes);
  EXPECT_EQ(MsgKeyResult(QLatin1Char('y'), question), 0);
  SetEnglishTexts();
  struct Case {
    char key;
    TMsgButtons buttons;
    int result;
  } cases[] = {
      {'y', question, idYes}, {'Y', question, idYes}, {'n', question, idNo},      {'N', btNo, idNo},
      {'o', question, 0},     {'y', btOk, 0},         {'n', btYes | btCancel, 0}, {'c', question, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.key << " " << c.buttons);
    EXPECT_EQ(MsgKeyResult(QLatin1Char(c.key), c.buttons), c.result);
  }
  EXPECT_EQ(MsgKeyResult(QChar(), question), 0);
}

TEST_F(MyMsgDlg, Layout) {
  // A short one-line message: the minimum width, Ok 11 pixels from the right.
  TMsgDlgLayout ok = MsgDlgLayout(80, 13, btOk);
  EXPECT_EQ(ok.ClientWidth, 300);
  EXPECT_EQ(ok.SeparatorWidth, 276);
  EXPECT_EQ(ok.ButtonTop, 100);
  EXPECT_EQ(ok.ClientHeight, 137);
  EXPECT_EQ(ok.ButtonLeft[2], 214);
  EXPECT_EQ(ok.ButtonLeft[0], -1);
  EXPECT_EQ(ok.ButtonLeft[1], -1);
  EXPECT_EQ(ok.ButtonLeft[3], -1);

  // Yes, No, Cancel: a row 237 wide, buttons 81 apart.
  TMsgDlgLayout question = MsgDlgLayout(180, 13, btYes | btNo | btCancel);
  EXPECT_EQ(question.ClientWidth, 300);
  EXPECT_EQ(question.ButtonLeft[0], 300 - 237 - 11);
  EXPECT_EQ(question.ButtonLeft[1], 300 - 237 - 11 + 81);
  EXPECT_EQ(question.ButtonLeft[2], -1);
  EXPECT_EQ(question.ButtonLeft[3], 300 - 75 - 11);

  // A wide, three-line message grows the dialog.
  TMsgDlgLayout large = MsgDlgLayout(400, 39, btOk);
  EXPECT_EQ(large.ClientWidth, 468);
  EXPECT_EQ(large.ButtonTop, 107);
  EXPECT_EQ(large.ClientHeight, 144);
  EXPECT_EQ(large.ButtonLeft[2], 468 - 75 - 11);
}

}  // namespace
