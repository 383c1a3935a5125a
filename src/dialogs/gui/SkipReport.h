#pragma once
// "Skipped files": the photo files a library load could not read, each with
// why, so the user can find and mend them. Opened from the status bar's
// "N files skipped".
#include <QDialog>
#include <QStringList>

class QLabel;
class QTreeWidget;

class TSkipReportForm : public QDialog {
 public:
  explicit TSkipReportForm(QWidget* parent = nullptr);

  // Lists files (full paths) with their reasons, of found photo files.
  void Prepare(const QStringList& files, const QStringList& reasons, int found);

  QLabel* LblSummary = nullptr;
  QTreeWidget* ListFiles = nullptr;  // columns: file name, reason, folder
};
