// The undo copy, the one-step undo, copy and paste.
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>

#include "app/MyMsgDlg.h"
#include "shell/gui/MainForm.h"

void TMainForm::SaveUndo() {
  // Counted even without an undo copy: the picture is about to change all
  // the same, and leaving must still ask.
  if (!Document.SnapshotBeforeChange()) MyMessageDlg(QString::fromLatin1(NoMemoryForUndoText), mkWarning, btOk);
}

void TMainForm::ClearUndo() { Document.ClearUndo(); }

void TMainForm::MenuEditionAnnulerClick() {
  if (!Document.Undo()) return;
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
  Document.Pasted(pasted);
  RefreshView();
}

void TMainForm::MenuEditionClick() { UpdatePaste(); }

void TMainForm::PopImagePopup() {
  UpdatePaste();
  PopOuvrirPhoto->setVisible(!Busy() && InspectedCell() >= 0);
}
