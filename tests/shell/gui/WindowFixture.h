#pragma once
// A window made in a temporary folder (its settings file lives there), with
// the message box recorded and the open dialog answered from a script.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <deque>
#include <memory>
#include <vector>

#include "app/InterfaceTexts.h"
#include "app/MyMenu.h"
#include "app/MyMsgDlg.h"
#include "imagefiles/gui/PictureFileDialogs.h"
#include "shell/gui/MainForm.h"

// Answers the window's open and save dialogs from a script: each run
// takes the next name (an empty one, or none left, cancels the dialog).
class TScriptedDialogs : public TPictureFileDialogs {
 public:
  std::deque<QString> OpenNames, SaveNames;
  int SaveRuns = 0;
  bool RunOpenDialog(QString& fileName, const QString&, int&, const QString&, bool&) override {
    return Next(OpenNames, fileName);
  }
  bool RunSaveDialog(QString& fileName, const QString&, int, const QString&, const QString&) override {
    ++SaveRuns;
    return Next(SaveNames, fileName);
  }

 private:
  static bool Next(std::deque<QString>& names, QString& fileName) {
    if (names.empty()) return false;
    fileName = names.front();
    names.pop_front();
    return !fileName.isEmpty();
  }
};

class WindowFixture : public testing::Test {
 protected:
  void SetUp() override {
    SetFrenchTexts();
    InitMenuColors();
    // Messages are recorded and answered from Answers, else as a closed
    // dialog would answer.
    m_previousPresenter = SetMsgPresenter([this](const TMsgRequest& r) {
      Messages.push_back(r);
      if (Answers.empty()) return MsgUnattendedResult(r.Buttons);
      const int answer = Answers.front();
      Answers.pop_front();
      return answer;
    });
    m_previousDialogs = SetPictureFileDialogs(&Dialogs);
    ASSERT_TRUE(Dir.isValid());
  }

  void TearDown() override {
    if (Form) {
      Form->Document.DiscardChanges();
      Form.reset();
    }
    SetPictureFileDialogs(m_previousDialogs);
    SetMsgPresenter(m_previousPresenter);
    SetFrenchTexts();
  }

  QString File(const QString& name) const { return Dir.filePath(name); }
  QString IniPath() const { return File(QStringLiteral("Tesselune.ini")); }

  // A window started from the temporary folder, as the program starts one.
  TMainForm& Make() {
    Form = std::make_unique<TMainForm>(QStringList(), nullptr, Dir.path());
    return *Form;
  }
  // Destroys the window, which writes its settings.
  void Quit() {
    Form->Document.DiscardChanges();
    Form.reset();
  }
  void Open(const QString& name) {
    Dialogs.OpenNames.push_back(name);
    Form->MenuFichierOuvrir->trigger();
  }

  QTemporaryDir Dir;
  TScriptedDialogs Dialogs;
  std::vector<TMsgRequest> Messages;
  std::deque<int> Answers;
  std::unique_ptr<TMainForm> Form;

 private:
  TMsgPresenter m_previousPresenter;
  TPictureFileDialogs* m_previousDialogs = nullptr;
};
