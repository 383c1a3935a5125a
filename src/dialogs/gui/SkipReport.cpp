#include "dialogs/gui/SkipReport.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

TSkipReportForm::TSkipReportForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Skipped files"));
  auto* layout = new QVBoxLayout(this);
  LblSummary = new QLabel;
  LblSummary->setWordWrap(true);
  layout->addWidget(LblSummary);
  ListFiles = new QTreeWidget;
  ListFiles->setRootIsDecorated(false);
  ListFiles->setHeaderLabels({QStringLiteral("File"), QStringLiteral("Reason"), QStringLiteral("Folder")});
  ListFiles->setSortingEnabled(true);
  ListFiles->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  layout->addWidget(ListFiles);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  resize(640, 320);
}

void TSkipReportForm::Prepare(const QStringList& files, const QStringList& reasons, int found) {
  LblSummary->setText(QStringLiteral("%1 of %2 photo files could not be read and were left out of the mosaic:")
                          .arg(files.size())
                          .arg(found));
  ListFiles->setSortingEnabled(false);
  ListFiles->clear();
  for (qsizetype i = 0; i < files.size(); ++i) {
    const QFileInfo file(files[i]);
    auto* item = new QTreeWidgetItem(
        ListFiles, {file.fileName(), i < reasons.size() ? reasons[i] : QString(), file.absolutePath()});
    item->setToolTip(0, files[i]);
  }
  // Load order until the user sorts.
  ListFiles->header()->setSortIndicator(-1, Qt::AscendingOrder);
  ListFiles->setSortingEnabled(true);
}
