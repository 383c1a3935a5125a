// "Mosaic report...": the figures the last matched mosaic was measured by.
#include <QAction>
#include <QLabel>
#include <QStatusBar>

#include "app/MyMsgDlg.h"
#include "dialogs/gui/MosaicReport.h"
#include "dialogs/gui/SkipReport.h"
#include "shell/gui/MainForm.h"

void TMainForm::MosaicBuilt() {
  // The exports follow the mosaic while it is the picture on screen.
  m_mosaicPicture = MosaicResult.Built ? WorkingImage().Image().cacheKey() : 0;
  if (MosaicResult.Loaded) {
    const TThumbnailLoadResult& load = MosaicResult.Load;
    // With nothing loaded the note "No thumbnail in the list !" has said why.
    if (!MosaicResult.Library && !load.StoppedAt.isEmpty() && load.Loaded > 0)
      MyMessageDlg(ThumbnailLoadStoppedText(load), mkWarning, btOk);
    const int skipped = MosaicResult.Library ? MosaicResult.LibraryLoad.Skipped : 0;
    if (skipped > 0 && !SkippedLink) {
      SkippedLink = new QLabel(statusBar());
      SkippedLink->setTextFormat(Qt::RichText);
      SkippedLink->setMinimumWidth(SkippedLink->fontMetrics().horizontalAdvance(QStringLiteral("99999 files skipped")));
      connect(SkippedLink, &QLabel::linkActivated, this, [this] { ShowSkipReport(); });
      statusBar()->addWidget(SkippedLink);
    }
    if (SkippedLink) {
      SkippedLink->setText(
          QStringLiteral("<a href=\"skipped\">%1 file%2 skipped</a>").arg(skipped).arg(skipped == 1 ? "" : "s"));
      SkippedLink->setVisible(skipped > 0);
    }
  }
  if (MosaicResult.Matched()) {
    MenuActionRapportClick();
    StartInspection();
  } else if (MosaicReportForm) {
    MosaicReportForm->hide();
  }
}

void TMainForm::ShowSkipReport() {
  const TPhotoLibraryLoad& load = MosaicResult.LibraryLoad;
  if (!SkipReportForm) SkipReportForm = new TSkipReportForm(this);
  SkipReportForm->Prepare(load.SkippedFiles, load.SkippedReasons, load.Found);
  SkipReportForm->show();
  SkipReportForm->raise();
}

void TMainForm::MenuActionRapportClick() {
  if (!MosaicResult.Matched()) return;
  if (!MosaicReportForm) MosaicReportForm = new TMosaicReportForm(this);
  MosaicReportForm->Show(MosaicResult.Quality, MosaicResult.Photos);
}
