#include "app/gui/SelDir.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>

QString SelectFolder(const QString& title, const QString& initialFolder) {
  QFileDialog dialog(QApplication::activeWindow(), title);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  // Opened beside the initial folder with that folder selected, so that
  // confirming at once keeps it.
  const QFileInfo initial(initialFolder);
  if (initial.isDir() && !initial.isRoot())
    dialog.selectFile(initial.absoluteFilePath());
  else
    dialog.setDirectory(initialFolder);
  if (dialog.exec() != QDialog::Accepted) return QString();
  const QStringList chosen = dialog.selectedFiles();
  return chosen.isEmpty() ? QString() : chosen.first();
}
