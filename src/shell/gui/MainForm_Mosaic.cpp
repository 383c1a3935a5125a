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
#include "display/gui/MyGraphic.h"
#include "shell/gui/MainForm.h"
#include "shell/gui/MosaicProgressDialog.h"

void TMainForm::MenuActionMosaiqueClick() {
  if (WorkingImage().Empty()) return;
  Mosaic.CheckSize = MenuVerifierTaille->isChecked();
  Mosaic.Antialias = MenuLisser->isChecked();
  Mosaic.MatchColours = MenuAssortir->isChecked();
  Mosaic.CropSquare = MenuRecadrer->isChecked();
  const QSize before(WorkingImage().Width(), WorkingImage().Height());
  // A folder whose pictures are all in sub-folders stops the command before
  // anything is done, to ask; a yes takes them (the choice is kept) and runs
  // it again.
  TMosaicResult result;
  for (bool again = true; again;) {
    {
      const TWait wait(*this, QStringLiteral("Processing..."));
      // Shown once the work proves long; Cancel gives the change up.
      TMosaicProgressDialog dialog(this, Mosaic.MatchColours);
      result = Mosaic.Execute(Document, dialog.Sink(MosaicProgress()));
    }
    const TMosaicNotes& notes = result.Notes;
    again = !notes.SubFolderQuestion.isEmpty() &&
            MyMessageDlg(notes.SubFolderQuestion, mkConfirmation, btYes | btNo) == idYes;
    if (again) Mosaic.Recursive = true;
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
  // The cell-size edit and the check items are where those options live:
  // the dialog shows them and gives them back.
  TMosaicOptions options = TMosaicOptions::From(Mosaic);
  if (const int cell = ChosenCellSize(); cell > 0) options.CellSize = cell;
  options.MatchColours = MenuAssortir->isChecked();
  options.CropSquare = MenuRecadrer->isChecked();
  if (!MosaicOptionsForm) MosaicOptionsForm = std::make_unique<TMosaicOptionsForm>(this);
  const int answer = MosaicOptionsForm->Execute(options, WorkingImage().Width(), WorkingImage().Height(),
                                                MenuVerifierTaille->isChecked(), MenuUnitPouces->isChecked());
  if (answer != QDialog::Accepted && answer != TMosaicOptionsForm::SavePosterResult) return;
  const TMosaicOptions chosen = MosaicOptionsForm->Options();
  chosen.ApplyTo(Mosaic);
  MenuAssortir->setChecked(chosen.MatchColours);
  MenuRecadrer->setChecked(chosen.CropSquare);
  // The edit's items are 10, 15, 20 and 40 pixels.
  constexpr int sizes[] = {10, 15, 20, 40};
  for (int i = 0; i < int(std::size(sizes)); ++i)
    if (sizes[i] == chosen.CellSize) EdiTaille->SetItemIndex(i);
  EdiTailleChange();
  // "Save poster..." takes the options as OK does, then draws the poster at
  // its own scale, which may be beyond the options' largest.
  if (answer == TMosaicOptionsForm::SavePosterResult) SavePoster(MosaicOptionsForm->PosterScale());
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
