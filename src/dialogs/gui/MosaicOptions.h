#pragma once
// The "Mosaic options..." dialog: the photo library, the mode (the default
// random tint, or matched colours with their tint, repeat and fair-use
// rules), the tiles' shape and cell size, and the output size as a scale or
// as a poster printed at a resolution. It only edits a TMosaicOptions; the
// window applies it on OK, and on "Save poster..." too, then saves the
// poster at its full scale.
//
//   if (!MosaicOptionsForm) MosaicOptionsForm = std::make_unique<TMosaicOptionsForm>(this);
//   const int answer = MosaicOptionsForm->Execute(options, width, height, inches);
//   if (answer == QDialog::Accepted || answer == TMosaicOptionsForm::SavePosterResult)
//     apply MosaicOptionsForm->Options();
//   if (answer == TMosaicOptionsForm::SavePosterResult) save the poster at PosterScale();
//
// The form is kept between showings, so that the poster's size and
// resolution stay for the session.
#include <QDialog>
#include <QString>
#include <functional>

#include "dialogs/MosaicOptions.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QSpinBox;

class TMosaicOptionsForm : public QDialog {
 public:
  explicit TMosaicOptionsForm(QWidget* parent = nullptr);

  // Execute's answer when the dialog was closed by "Save poster...".
  static constexpr int SavePosterResult = 2;

  // Fills the dialog with options for a pictureWidth x pictureHeight picture
  // (0 x 0: none, the poster cannot be sized) and the window's unit, then
  // shows it modally.
  int Execute(const TMosaicOptions& options, int pictureWidth, int pictureHeight, bool inches);
  // The filling alone (Execute's first step).
  void Prepare(const TMosaicOptions& options, int pictureWidth, int pictureHeight, bool inches);
  // The options as the controls show them; those it has no control for
  // ("Check size", "Antialias") as they were given.
  TMosaicOptions Options() const;
  // The scale of the poster the dialog sizes, beyond the largest scale of
  // the options when it needs more; the options' scale without a poster.
  int PosterScale() const;

  // The folder chooser behind "Browse..." (the toolkit's by default): the
  // chosen folder, or empty when cancelled.
  std::function<QString(const QString& start)> ChooseFolder;
  QLineEdit* EdiFolder = nullptr;
  QPushButton* BBrowse = nullptr;
  QCheckBox* CBSubFolders = nullptr;
  QRadioButton* RBRandom = nullptr;
  QRadioButton* RBMatched = nullptr;
  QGroupBox* GBMatched = nullptr;  // what only the matched mode uses
  QSlider* SlTint = nullptr;
  QLabel* LblTint = nullptr;
  QComboBox* CmbTintMode = nullptr;
  QSpinBox* SpRepeat = nullptr;
  QCheckBox* CBMaxUses = nullptr;
  QSpinBox* SpMaxUses = nullptr;
  QCheckBox* CBUseAll = nullptr;
  QComboBox* CmbShape = nullptr;
  QCheckBox* CBCrop = nullptr;
  QComboBox* CmbCellSize = nullptr;
  QSpinBox* SpScale = nullptr;
  QCheckBox* CBPoster = nullptr;
  QDoubleSpinBox* SpPosterWidth = nullptr;
  QDoubleSpinBox* SpPosterHeight = nullptr;
  QSpinBox* SpDpi = nullptr;
  QLabel* LblPrint = nullptr;    // the tile's printed size, or why there is none
  QLabel* LblWarning = nullptr;  // tiles under 1 cm, a poster beyond the scale
  // A poster: drawn at its full scale straight into a file, whatever the
  // window holds.
  QPushButton* BSavePoster = nullptr;
  QPushButton* BOk = nullptr;
  QPushButton* BCancel = nullptr;

 private:
  void UpdateControls();
  void UpdatePrint();
  void Browse();

  TMosaicOptions m_given;  // what Prepare was given
  int m_pictureWidth = 0, m_pictureHeight = 0;
  bool m_inches = false;
  int m_posterScale = 1;
};
