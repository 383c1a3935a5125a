#pragma once
// "Mosaic report": how faithful the last matched mosaic is and how it used
// the photo library, as the mosaic command measured it. Not modal: it stays
// beside the picture while the user looks at the mosaic.
//
//   if (!MosaicReportForm) MosaicReportForm = new TMosaicReportForm(this);
//   MosaicReportForm->Show(MosaicResult.Quality, MosaicResult.Photos);
#include <QDialog>

#include "mosaic/MosaicQuality.h"

class QLabel;

class TMosaicReportForm : public QDialog {
 public:
  explicit TMosaicReportForm(QWidget* parent = nullptr);

  // Fills the figures (libraryCount: the photos the library offered) and
  // shows the dialog without taking the window's input.
  void Show(const TMosaicQuality& quality, int libraryCount);
  // The figures alone (Show's first step).
  void Prepare(const TMosaicQuality& quality, int libraryCount);

  QLabel* LblFarMean = nullptr;
  QLabel* LblFarP95 = nullptr;
  QLabel* LblNearMean = nullptr;
  QLabel* LblNearP95 = nullptr;
  QLabel* LblPhotos = nullptr;
  QLabel* LblMostUses = nullptr;
  QLabel* LblTint = nullptr;
};
