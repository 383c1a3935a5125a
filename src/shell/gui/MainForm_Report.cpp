// "Mosaic report...": the figures the last matched mosaic was measured by.
#include <QAction>

#include "dialogs/gui/MosaicReport.h"
#include "shell/gui/MainForm.h"

void TMainForm::MosaicBuilt() {
  if (Mosaic.LastQuality.Cells > 0) {
    MenuActionRapportClick();
    StartInspection();
  } else if (MosaicReportForm) {
    MosaicReportForm->hide();
  }
}

void TMainForm::MenuActionRapportClick() {
  if (Mosaic.LastQuality.Cells <= 0) return;
  if (!MosaicReportForm) MosaicReportForm = new TMosaicReportForm(this);
  MosaicReportForm->Show(Mosaic.LastQuality, Mosaic.ImgVignettes.Count());
}
