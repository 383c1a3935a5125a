// "Image size...": the dialog gathers the new size, the resize command makes
// it, the window shows what came of it.
#include <memory>

#include "app/MyMsgDlg.h"
#include "dialogs/gui/ImageSizeDialog.h"
#include "document/ResizeCommand.h"
#include "shell/gui/MainForm.h"

void TMainForm::MenuActionRedimClick() {
  if (WorkingImage().Empty()) return;
  if (!RedimForm) RedimForm = std::make_unique<TRedimForm>(this);
  if (RedimForm->Execute(WorkingImage()) != QDialog::Accepted) return;
  ResizeImage(RedimForm->NewWidth, RedimForm->NewHeight, RedimForm->Smooth());
}

void TMainForm::ResizeImage(int newWidth, int newHeight, bool smooth) {
  TResizeResult result = TResizeResult::NoPicture;
  {
    const TWait wait(*this, QStringLiteral("Processing..."));
    result = ResizePicture(Document, newWidth, newHeight, smooth);
    if (result == TResizeResult::Done) {
      ChooseZoomItem();
      RefreshView();
    }
  }
  switch (result) {
    case TResizeResult::NoMemoryForUndo: MyMessageDlg(QString::fromLatin1(NoMemoryForUndoText), mkWarning, btOk); break;
    case TResizeResult::NoMemory: MyMessageDlg(QString::fromLatin1(NotEnoughMemoryText), mkError, btOk); break;
    // The dialog asks only for sizes a picture can have, of a picture there is.
    case TResizeResult::Done:
    case TResizeResult::NoPicture:
    case TResizeResult::SizeRefused: break;
  }
}
