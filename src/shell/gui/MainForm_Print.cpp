// The print aspect of the main window: "Print..." lays the picture out in the
// print layout dialog, then runs the job with its cancel window.
#include <QPrinter>

#include "dialogs/gui/PrintCancelWindow.h"
#include "dialogs/gui/PrintJob.h"
#include "dialogs/gui/PrintLayoutDialog.h"
#include "shell/gui/MainForm.h"

void TMainForm::MenuFichierImprimerClick() {
  if (!PrinterPresent || WorkingImage().Empty()) return;
  // The two windows are made on first use and kept; a change of unit drops
  // the dialog, which reads the unit when it is made.
  if (!ImprForm) ImprForm = new TImprForm(AppPrinter(), MenuUnitPouces->isChecked(), this);
  if (!AnnulerForm) AnnulerForm = new TAnnulerForm(this);
  if (!ImprForm->Prepare(&WorkingImage(), CurrentFile())) return;
  ImprForm->move(geometry().center() - ImprForm->rect().center());
  if (ImprForm->exec() != 1) return;
  RunPrintJob(ImprForm->Printer(), ImprForm->JobParams(), WorkingImage(), *AnnulerForm);
}
