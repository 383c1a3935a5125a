// The undo copy, the one-step undo, copy and paste.
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <new>

#include "app/MyMsgDlg.h"
#include "shell/gui/MainForm.h"

void TMainForm::SaveUndo() {
  try {
    CopyForUndo(WorkingImage(), UndoBitmap);
  } catch (const std::bad_alloc&) {
    UndoBitmap.Assign(nullptr);
    MyMessageDlg(QStringLiteral(" Not enougth memory for undo !"), mkWarning, btOk);
  }
  UpdateCommands();
  // Counted even without an undo copy: the picture is about to change all
  // the same, and leaving must still ask.
  ++ChangeCount;
}

void TMainForm::ClearUndo() {
  --ChangeCount;
  UndoBitmap.Assign(nullptr);
  UpdateCommands();
}

void TMainForm::MenuEditionAnnulerClick() {
  if (WorkingImage().Empty() || UndoBitmap.Empty()) return;
  // The picture takes the undo copy's pixels as they are (shared, not
  // copied), so an undo cannot run out of memory halfway.
  WorkingImage().Assign(&UndoBitmap);
  ClearUndo();
  RefreshView();
}

void TMainForm::MenuEditionCopierClick() {
  if (WorkingImage().Empty()) return;
  QGuiApplication::clipboard()->setImage(WorkingImage().Image().convertToFormat(QImage::Format_RGB32));
}

void TMainForm::MenuEditionCollerClick() {
  // The shortcut works whatever the menu showed when it last opened: without
  // a picture on the clipboard there is nothing to paste and nothing to ask.
  const QImage picture = QGuiApplication::clipboard()->image();
  if (picture.isNull()) return;
  if (!ConfirmSave()) return;
  TBitmap pasted;
  pasted.SetImage(picture, pf24bit);
  pasted.Transparent = false;
  WorkingImage().Assign(&pasted);
  ClearUndo();
  ChangeCount = 1;
  CurrentFile = QStringLiteral("Untitled");
  RefreshView();
}

void TMainForm::MenuEditionClick() { UpdatePaste(); }

void TMainForm::PopImagePopup() { UpdatePaste(); }
