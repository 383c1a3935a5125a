// The print aspect of the main window: "Print..." hands the picture to the
// print layout dialog, which runs the job with its cancel window.
#include "dialogs/gui/AnnulImp.h"
#include "dialogs/gui/Impr.h"
#include "shell/gui/MainForm.h"

void TMainForm::MenuFichierImprimerClick() {
  if (!PrinterPresent || WorkingImage().Empty()) return;
  PrintCommand(this, ImprForm, AnnulerForm, MenuUnitPouces->isChecked(), WorkingImage(), CurrentFile());
}
