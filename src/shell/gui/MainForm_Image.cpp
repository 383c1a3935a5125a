// "Image size...": the dialog gathers the new size, the window resizes.
#include <memory>

#include "dialogs/gui/Redim.h"
#include "raster/Lanczos.h"
#include "raster/RectUtils.h"
#include "shell/gui/MainForm.h"

namespace {

struct TWaitGuard {
  TMainForm& Form;
  ~TWaitGuard() { Form.EndWait(); }
};

}  // namespace

void TMainForm::MenuActionRedimClick() {
  if (WorkingImage().Empty()) return;
  if (!RedimForm) RedimForm = std::make_unique<TRedimForm>(this);
  if (RedimForm->Execute(WorkingImage()) != QDialog::Accepted) return;
  ResizeImage(RedimForm->NewWidth, RedimForm->NewHeight, RedimForm->Smooth());
}

void TMainForm::ResizeImage(int newWidth, int newHeight, bool smooth) {
  BeginWait(QStringLiteral("Processing..."));
  TWaitGuard guard{*this};
  SaveUndo();
  // The resize starts from the undo copy: without one (memory ran out, and
  // the warning was shown) the picture stays as it was, and is not counted
  // as changed.
  if (UndoBitmap.Empty()) {
    --ChangeCount;
    return;
  }
  // Made aside and swapped in only when whole.
  TBitmap resized;
  if (smooth) {
    if (!SmoothResampleBitmap(newWidth, newHeight, UndoBitmap, resized)) return;
  } else {
    ResampleBitmap(newWidth, newHeight, UndoBitmap, resized);
    if (resized.Empty()) return;
  }
  WorkingImage().Assign(&resized);
  ChooseZoomItem();
  RefreshView();
}
