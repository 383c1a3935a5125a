// "Image size...": the dialog gathers the new size, the window resizes.
#include <memory>

#include "dialogs/gui/Redim.h"
#include "raster/Lanczos.h"
#include "raster/RectUtils.h"
#include "shell/gui/MainForm.h"

void TMainForm::MenuActionRedimClick() {
  if (WorkingImage().Empty()) return;
  if (!RedimForm) RedimForm = std::make_unique<TRedimForm>(this);
  if (RedimForm->Execute(WorkingImage()) != QDialog::Accepted) return;
  ResizeImage(RedimForm->NewWidth, RedimForm->NewHeight, RedimForm->Smooth());
}

void TMainForm::ResizeImage(int newWidth, int newHeight, bool smooth) {
  const TWait wait(*this, QStringLiteral("Processing..."));
  SaveUndo();
  // The resize starts from the undo copy: without one (memory ran out, and
  // the warning was shown) the picture stays as it was, and is not counted
  // as changed.
  const TBitmap& before = Document.UndoCopy();
  // Made aside and swapped in only when whole; a resize that could not be
  // made is no change.
  TBitmap resized;
  if (!before.Empty()) {
    if (!smooth)
      ResampleBitmap(newWidth, newHeight, before, resized);
    else if (!SmoothResampleBitmap(newWidth, newHeight, before, resized))
      resized.Assign(nullptr);
  }
  if (resized.Empty()) {
    Document.ChangeAbandoned();
    return;
  }
  WorkingImage().Assign(&resized);
  Document.ChangeMade();
  ChooseZoomItem();
  RefreshView();
}
