#pragma once
// TMsgDlgForm: the program's own message box, the dialog behind
// MyMessageDlg. A bold heading over a line, the icon of the message's kind,
// the text unwrapped, and the buttons Yes, No, Ok and Cancel (those asked
// for) right-aligned in that order. Y and N answer Yes and No without any
// modifier; Escape answers Cancel, else No, else does nothing; the close box
// answers Cancel. A new dialog is made for every message, so its button
// captions and heading are the interface strings as they read at that moment.
#include <QDialog>

#include "app/MyMsgDlg.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

class TMsgDlgForm : public QDialog {
 public:
  explicit TMsgDlgForm(const TMsgRequest& request, QWidget* parent = nullptr);

  QLabel* LblCaption = nullptr;
  QFrame* PnlSep = nullptr;
  QLabel* ResIcon = nullptr;
  QLabel* LblMsg = nullptr;
  QPushButton* BtnYes = nullptr;
  QPushButton* BtnNo = nullptr;
  QPushButton* BtnOk = nullptr;
  QPushButton* BtnCancel = nullptr;
  QLineEdit* EdiInput = nullptr;

  // Closing without a button (the close box) answers idCancel.
  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  TMsgButtons m_buttons;
};

// The presenter the GUI installs: shows the message modally over the active
// window and returns the answer.
int GuiMsgPresenter(const TMsgRequest& request);
void InstallGuiMsgPresenter();
