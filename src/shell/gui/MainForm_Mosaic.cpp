// "Create the mosaic", the cell size and the thumbnails folder.
#include <QAction>
#include <QSize>

#include "app/gui/SelDir.h"
#include "controls/gui/SpecialEdit.h"
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
  {
    const TWait wait(*this, QStringLiteral("Processing..."));
    // Shown once the work proves long; Cancel gives the change up.
    TMosaicProgressDialog dialog(this, Mosaic.MatchColours);
    Mosaic.Execute(Document, dialog.Sink(MosaicProgress()));
  }
  UpdateCommands();
  // "Check size" and the poster scale change the picture's size: the zoom
  // and the status follow.
  if (before != QSize(WorkingImage().Width(), WorkingImage().Height())) RefreshView();
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
