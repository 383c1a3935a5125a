#include "app/gui/SelDir.h"

#include <QApplication>
#include <QFileDialog>

QString SelectFolder(const QString& title, const QString& initialFolder) {
  QFileDialog dialog(QApplication::activeWindow(), title, initialFolder);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  if (dialog.exec() != QDialog::Accepted) return QString();
  const QStringList chosen = dialog.selectedFiles();
  return chosen.isEmpty() ? QString() : chosen.first();
}
