// "Create the mosaic", "Mosaic options...", the cell size and the thumbnails
// folder.
#include <QAction>
#include <QDialog>
#include <QSize>
#include <iterator>

#include "app/MyMsgDlg.h"
#include "app/gui/SelDir.h"
#include "controls/gui/SpecialEdit.h"
#include "dialogs/gui/MosaicOptions.h"
#include "display/gui/ImageView.h"
#include "mosaic/MosaicJob.h"
#include "shell/gui/MainForm.h"
#include "shell/gui/MosaicProgressDialog.h"

void TMainForm::MenuActionMosaiqueClick() {
  if (WorkingImage().Empty()) return;
  const QSize before(WorkingImage().Width(), WorkingImage().Height());
  // A folder whose pictures are all in sub-folders stops the command before
  // anything is done, to ask; a yes takes them (the choice is kept) and runs
  // it again.
  TMosaicResult result;
  for (bool again = true; again;) {
    {
      const TWait wait(*this, QStringLiteral("Processing..."));
      // Shown once the work proves long; Cancel gives the change up.
      TMosaicProgressDialog dialog(this, Mosaic.Options.MatchColours);
      result = RunMosaicJob(Mosaic, Document, {}, dialog.Sink(MosaicProgress()));
    }
    const TMosaicNotes& notes = result.Notes;
    again = !notes.SubFolderQuestion.isEmpty() &&
            MyMessageDlg(notes.SubFolderQuestion, mkConfirmation, btYes | btNo) == idYes;
    if (again) Mosaic.Options.Recursive = true;
  }
  // A run stopped at the question changed nothing: what the window shows
  // still belongs to the mosaic before.
  if (result.Notes.SubFolderQuestion.isEmpty()) MosaicResult = result;
  if (result.Notes.NoMemoryForUndo) MyMessageDlg(QString::fromLatin1(NoMemoryForUndoText), mkWarning, btOk);
  if (!result.Notes.NoThumbnail.isEmpty()) MyMessageDlg(result.Notes.NoThumbnail, mkWarning, btOk);
  MosaicBuilt();
  UpdateCommands();
  // "Check size" and the poster scale change the picture's size: the zoom
  // and the status follow.
  if (before != QSize(WorkingImage().Width(), WorkingImage().Height())) PictureResized();
}

void TMainForm::MenuActionOptionsClick() {
  if (!MosaicOptionsForm) MosaicOptionsForm = std::make_unique<TMosaicOptionsForm>(this);
  const int answer = MosaicOptionsForm->Execute(Mosaic.Options, WorkingImage().Width(), WorkingImage().Height(),
                                                MenuUnitPouces->isChecked());
  if (answer != QDialog::Accepted && answer != TMosaicOptionsForm::SavePosterResult) return;
  Mosaic.OptionsChosen(MosaicOptionsForm->Options());
  // The cell-size edit and the check items show what the dialog chose.
  ShowMosaicOptions();
  // "Save poster..." takes the options as OK does, then draws the poster at
  // its own scale, which may be beyond the options' largest.
  if (answer == TMosaicOptionsForm::SavePosterResult) SavePoster(MosaicOptionsForm->PosterScale());
}

void TMainForm::ShowMosaicOptions() {
  const TMosaicOptions& o = Mosaic.Options;
  // The edit's items are the cell sizes.
  for (int i = 0; i < int(std::size(CellSizes)); ++i)
    if (CellSizes[i] == o.CellSize) EdiTaille->SetItemIndex(i);
  MenuVerifierTaille->setChecked(o.CheckSize);
  MenuLisser->setChecked(o.Antialias);
  MenuAssortir->setChecked(o.MatchColours);
  MenuRecadrer->setChecked(o.CropSquare);
}

int TMainForm::ChosenCellSize() const {
  bool ok = false;
  const int value = EdiTaille->Text().left(2).toInt(&ok);
  return ok ? value : 0;
}

void TMainForm::EdiTailleChange() { Mosaic.CellSizeChosen(ChosenCellSize()); }

void TMainForm::MenuVignettesClick() {
  Mosaic.FolderChosen(SelectFolder(QStringLiteral("Thumbnails folder :"), Mosaic.FolderChooserStart()));
}
