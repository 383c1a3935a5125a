#include "dialogs/gui/MosaicReport.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace {

QLabel* Figure(QGridLayout* grid, int row, int column) {
  auto* label = new QLabel;
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  label->setMinimumWidth(60);
  grid->addWidget(label, row, column);
  return label;
}

QString Difference(double value) { return QString::number(value, 'f', 1); }

}  // namespace

TMosaicReportForm::TMosaicReportForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Mosaic report"));
  auto* layout = new QVBoxLayout(this);

  auto* colours = new QGroupBox(QStringLiteral("Colour difference (CIEDE2000)"));
  auto* cg = new QGridLayout(colours);
  cg->addWidget(new QLabel(QStringLiteral("Mean")), 0, 1, Qt::AlignRight);
  cg->addWidget(new QLabel(QStringLiteral("95 %")), 0, 2, Qt::AlignRight);
  cg->addWidget(new QLabel(QStringLiteral("From afar (cell colours)")), 1, 0);
  LblFarMean = Figure(cg, 1, 1);
  LblFarP95 = Figure(cg, 1, 2);
  cg->addWidget(new QLabel(QStringLiteral("Up close (quarters of a cell)")), 2, 0);
  LblNearMean = Figure(cg, 2, 1);
  LblNearP95 = Figure(cg, 2, 2);
  layout->addWidget(colours);

  auto* photos = new QGroupBox(QStringLiteral("Photos"));
  auto* pg = new QGridLayout(photos);
  pg->addWidget(new QLabel(QStringLiteral("Used of the library")), 0, 0);
  LblPhotos = Figure(pg, 0, 1);
  pg->addWidget(new QLabel(QStringLiteral("Most uses of one photo")), 1, 0);
  LblMostUses = Figure(pg, 1, 1);
  pg->addWidget(new QLabel(QStringLiteral("Mean tint")), 2, 0);
  LblTint = Figure(pg, 2, 1);
  layout->addWidget(photos);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  setModal(false);
}

void TMosaicReportForm::Prepare(const TMosaicQuality& quality, int libraryCount) {
  LblFarMean->setText(Difference(quality.Far.Mean));
  LblFarP95->setText(Difference(quality.Far.P95));
  LblNearMean->setText(Difference(quality.Near.Mean));
  LblNearP95->setText(Difference(quality.Near.P95));
  LblPhotos->setText(QStringLiteral("%1 of %2").arg(quality.PhotosUsed).arg(libraryCount));
  LblMostUses->setText(QStringLiteral("%1 cells").arg(quality.MostUses));
  LblTint->setText(QStringLiteral("%1 %").arg(QString::number(quality.MeanTint, 'f', 1)));
}

void TMosaicReportForm::Show(const TMosaicQuality& quality, int libraryCount) {
  Prepare(quality, libraryCount);
  show();
  raise();
}
