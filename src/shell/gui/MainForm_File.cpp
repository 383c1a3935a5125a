// Opening, saving, closing and leaving: the document's way in and out.
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

#include "app/MyMsgDlg.h"
#include "app/PathAndTextHelpers.h"
#include "imagefiles/gui/PictureFileDialogs.h"
#include "shell/gui/MainForm.h"

namespace {

QString FolderOf(const QString& fileName) { return QFileInfo(fileName).absolutePath() + QLatin1Char('/'); }

// The local files of a drop, in order.
QStringList DroppedFiles(const QMimeData* data) {
  QStringList files;
  if (!data || !data->hasUrls()) return files;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) files.append(url.toLocalFile());
  return files;
}

}  // namespace

void TMainForm::OpenFile(const QString& name, bool remember) {
  if (Busy() || !ConfirmSave()) return;
  const TWait wait(*this, QStringLiteral("Opening..."));
  QString fileName = name;
  // Loaded aside, so that a failed or cancelled load leaves the picture as it was.
  // The conversion to 24 bits is part of the load, so a picture too large to
  // convert is refused with the load's own message.
  TBitmap loaded;
  const int result = OpenPictureDialog(PictureFiles, fileName, loaded, OpenFolder);
  if (result <= 0) return;
  Document.Opened(loaded, fileName);
  if (remember) {
    OpenFolder = FolderOf(fileName);
    AddRecentFile(fileName);
  }
  ChooseZoomItem();
  RefreshView();
}

void TMainForm::MenuFichierOuvrirClick() { OpenFile(QString(), true); }

void TMainForm::MenuFichierNClick(int tag) {
  if (tag >= 0 && tag < RecentFiles.size()) OpenFile(RecentFiles.at(tag), true);
}

int TMainForm::MenuFichierEnregistrerClick() {
  if (WorkingImage().Empty()) return 0;
  const TWait wait(*this, QStringLiteral("Saving..."));
  if (SaveFolder.isEmpty()) SaveFolder = OpenFolder;
  QString fileName;
  const int result = SavePictureDialog(PictureFiles, fileName, WorkingImage(), PathInFolder(CurrentFile(), SaveFolder));
  if (result > 0) {
    Document.Saved(fileName);
    SaveFolder = FolderOf(fileName);
  }
  return result;
}

bool TMainForm::ConfirmSave() {
  if (!Document.NeedsSaveQuestion()) return true;
  switch (MyMessageDlg(QStringLiteral("Save changes before continuing ?"), mkConfirmation, btYes | btNo | btCancel)) {
    // Only a save that was written lets the changes go: a cancelled dialog
    // or a failed write keeps the picture and stops what asked.
    case idYes: return MenuFichierEnregistrerClick() > 0;
    case idNo: return true;
    default: return false;
  }
}

void TMainForm::MenuFichierFermerClick() {
  if (!ConfirmSave()) return;
  Document.Closed();
  UpdateStatus();
}

void TMainForm::MenuFichierQuitterClick() { close(); }

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
  if (!Busy() && !DroppedFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event) {
  const QStringList files = DroppedFiles(event->mimeData());
  if (files.isEmpty()) return;
  event->acceptProposedAction();
  // Opened once the drop has returned, so that no question is asked inside it.
  const QString first = files.front();
  QMetaObject::invokeMethod(
      this, [this, first] { Guarded([this, first] { OpenFile(first, true); }); }, Qt::QueuedConnection);
}
