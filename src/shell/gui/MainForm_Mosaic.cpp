// "Create the mosaic", the cell size and the thumbnails folder.
#include <QAction>

#include "app/gui/SelDir.h"
#include "controls/gui/SpecialEdit.h"
#include "display/gui/MyGraphic.h"
#include "shell/gui/MainForm.h"

void TMainForm::MenuActionMosaiqueClick() {
  if (WorkingImage().Empty()) return;
  Mosaic.CheckSize = MenuVerifierTaille->isChecked();
  Mosaic.Antialias = MenuLisser->isChecked();
  Mosaic.MatchColours = MenuAssortir->isChecked();
  Mosaic.CropSquare = MenuRecadrer->isChecked();
  Mosaic.Callbacks.BeginWait = [this](const QString& text) { BeginWait(text); };
  Mosaic.Callbacks.EndWait = [this] { EndWait(); };
  Mosaic.Callbacks.SaveUndo = [this] { SaveUndo(); };
  Mosaic.Callbacks.ShowProgress = [this](int percent) { ShowProgress(percent); };
  Mosaic.Callbacks.ShowThumbnailCount = [this](int count) { ShowThumbnailCount(count); };
  Mosaic.Callbacks.ShowFileProgress = [this](int done, int found) { ShowFileProgress(done, found); };
  Mosaic.Callbacks.RefreshView = [this] { RefreshView(); };
  if (Mosaic.Execute(WorkingImage(), UndoBitmap)) BtnEnregistrer->setEnabled(true);
  UpdateCommands();
}

void TMainForm::EdiTailleChange() { Mosaic.CellSizeTextChanged(EdiTaille->Text()); }

void TMainForm::MenuVignettesClick() {
  Mosaic.FolderChosen(SelectFolder(QStringLiteral("Thumbnails folder :"), Mosaic.FolderChooserStart()));
}
