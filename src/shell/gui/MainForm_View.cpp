// The zoom, the status bar, and the wait and progress shown during long work.
#include <QApplication>
#include <QCursor>
#include <QLabel>
#include <QStatusBar>
#include <cmath>

#include "controls/gui/SpecialEdit.h"
#include "display/gui/ImageView.h"
#include "shell/gui/MainForm.h"

namespace {

// Lets the window repaint and answer the desktop while a command runs; the
// user's input waits until the command is over.
void KeepPainted() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

}  // namespace

void TMainForm::BeginWait(const QString& text) {
  if (m_waitDepth++ == 0) UpdateCommands();
  StatusPanel[0]->setText(text);
  QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  statusBar()->repaint();
  KeepPainted();
}

void TMainForm::EndWait() {
  if (m_waitDepth == 0) return;
  QGuiApplication::restoreOverrideCursor();
  if (--m_waitDepth > 0) return;
  StatusPanel[0]->setText(QStringLiteral("Ready"));
  UpdateCommands();
  UpdatePaste();
}

void TMainForm::ShowProgress(int percent) {
  StatusPanel[0]->setText(QStringLiteral("Processing : %1%").arg(percent));
  statusBar()->repaint();
  KeepPainted();
}

void TMainForm::ShowThumbnailCount(int count) {
  StatusPanel[0]->setText(QStringLiteral("Thumbnail %1").arg(count));
  statusBar()->repaint();
  KeepPainted();
}

void TMainForm::ShowFileProgress(int done, int found) {
  StatusPanel[0]->setText(QStringLiteral("Photo %1 of %2").arg(done).arg(found));
  statusBar()->repaint();
  KeepPainted();
}

TMosaicProgress TMainForm::MosaicProgress() {
  TMosaicProgress progress;
  progress.ShowProgress = [this](int percent) { ShowProgress(percent); };
  progress.ShowThumbnailCount = [this](int count) { ShowThumbnailCount(count); };
  progress.ShowFileProgress = [this](int done, int found) { ShowFileProgress(done, found); };
  return progress;
}

void TMainForm::ChooseZoomItem() {
  const TBitmap& picture = WorkingImage();
  const int room = 2 * ImageView->Marge() + 2 + ImageView->ShadowSize();
  const bool fits = ImageView->width() - room >= picture.Width() && ImageView->height() - room >= picture.Height();
  EdiZoom->SetItemIndex(fits ? 4 : 0);
  m_zoomChosenByProgram = true;
}

void TMainForm::PictureResized() {
  // A picture zoomed to fit by the program stays fitted when a mosaic
  // enlarges it; a zoom the user chose stays.
  if (m_zoomChosenByProgram) ChooseZoomItem();
  RefreshView();
}

void TMainForm::ApplyZoom() {
  switch (EdiZoom->ItemIndex()) {
    case 1: ImageView->SetZoom(1.0 / 3.0); break;
    case 2: ImageView->SetZoom(0.5); break;
    case 3: ImageView->SetZoom(0.75); break;
    case 4: ImageView->SetZoom(1.0); break;
    case 5: ImageView->SetZoom(2.0); break;
    case 6: ImageView->SetZoom(4.0); break;
    default: {
      // "<Auto>": reduce a large picture to fit, down to 10 %, never enlarge.
      ImageView->ZoomToFit();
      double z = ImageView->Zoom();
      if (z > 1)
        z = 1;
      else if (z < 0.1)
        z = 0.1;
      ImageView->SetZoom(z);
    }
  }
}

void TMainForm::UpdateStatus() {
  StatusPanel[0]->setText(QStringLiteral("Ready"));
  ShowPictureStatus();
}

void TMainForm::ShowPictureStatus() {
  const TBitmap& picture = WorkingImage();
  if (picture.Empty()) {
    StatusPanel[1]->clear();
    StatusPanel[2]->clear();
  } else {
    StatusPanel[1]->setText(QStringLiteral("%1x%2").arg(picture.Width()).arg(picture.Height()));
    StatusPanel[2]->setText(CurrentFile());
  }
  statusBar()->repaint();
  EdiZoom->repaint();
}

void TMainForm::RefreshView() {
  ApplyZoom();
  UpdateStatus();
}

void TMainForm::DocumentChanged(const TDocumentChange& change) {
  if (change.Picture) ImageView->BitmapChanged();
  if (change.Picture || change.FileName) ShowPictureStatus();
  // Which commands apply hangs on the picture being there and on the undo.
  if (change.Picture || change.History) UpdateCommands();
}

void TMainForm::EdiZoomSelectItem(bool changed) {
  m_zoomChosenByProgram = false;
  // The same fixed zoom again changes nothing; "<Auto>" again fits again.
  if (EdiZoom->ItemIndex() <= 0 || changed) ApplyZoom();
  EdiZoom->update();
}

void TMainForm::EdiZoomDisplayText(QString& text) {
  if (EdiZoom->ItemIndex() <= 0) {
    if (!WorkingImage().Empty()) text = QString::number(std::lrint(ImageView->Zoom() * 100)) + QLatin1Char('%');
    return;
  }
  const qsizetype percent = text.indexOf(QLatin1Char('%'));
  if (percent >= 0) text.truncate(percent + 1);
}
