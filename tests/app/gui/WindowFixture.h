#pragma once
// A window made in a temporary folder (its settings file lives there), with
// the message box recorded and the open dialog answered from a script.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <deque>
#include <memory>
#include <vector>

#include "app/LibLang.h"
#include "app/MyMenu.h"
#include "app/MyMsgDlg.h"
#include "app/gui/MainForm.h"
#include "imagefiles/PictureFiles.h"

class TOpenScript : public TPictureFileDialogs {
 public:
  std::deque<QString> OpenNames;
  bool RunOpenDialog(QString& fileName, const QString&, const QString&, bool&) override {
    if (OpenNames.empty()) return false;
    fileName = OpenNames.front();
    OpenNames.pop_front();
    return !fileName.isEmpty();
  }
  bool RunSaveDialog(QString&, const QString&, int, const QString&, const QString&) override { return false; }
};

class WindowFixture : public testing::Test {
 protected:
  void SetUp() override {
    SetFrenchTexts();
    RegisterPictureFormats();
    InitMenuColors();
    m_previousPresenter = SetMsgPresenter([this](const TMsgRequest& r) {
      Messages.push_back(r);
      return MsgUnattendedResult(r.Buttons);
    });
    m_previousDialogs = PictureFileDialogs;
    PictureFileDialogs = &Dialogs;
    PreviewEnabled = false;
    ASSERT_TRUE(Dir.isValid());
  }

  void TearDown() override {
    if (Form) {
      Form->ChangeCount = 0;
      Form.reset();
    }
    PictureFileDialogs = m_previousDialogs;
    SetMsgPresenter(m_previousPresenter);
    SetFrenchTexts();
    PreviewEnabled = false;
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
    Form->ChangeCount = 0;
    Form.reset();
  }
  void Open(const QString& name) {
    Dialogs.OpenNames.push_back(name);
    Form->MenuFichierOuvrir->trigger();
  }

  QTemporaryDir Dir;
  TOpenScript Dialogs;
  std::vector<TMsgRequest> Messages;
  std::unique_ptr<TMainForm> Form;

 private:
  TMsgPresenter m_previousPresenter;
  TPictureFileDialogs* m_previousDialogs = nullptr;
};
