#pragma once
// The JPEG options asked at every JPEG save: a compression level in 20 steps
// (quality 5 to 100) and standard or progressive encoding. The dialog is made
// once and kept, so the last choices are offered again at the next save;
// they are not stored in the settings.
#include <QDialog>

#include "imagefiles/PictureFiles.h"

class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;

class TJPGCompressForm : public QDialog {
 public:
  explicit TJPGCompressForm(QWidget* parent = nullptr);

  QLabel* LblN = nullptr;
  QSlider* TBN = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QRadioButton* RBStandard = nullptr;
  QRadioButton* RBProgressif = nullptr;
  QPushButton* BOk = nullptr;
  QPushButton* BAnnuler = nullptr;

  // The caption follows the track bar: "Compression : 5 x position".
  void TBNChange();
  int Quality() const;
  bool Progressive() const;

  // Escape and the close box answer 2, as Annuler does.
  void reject() override;
};

// The dialog of the whole run, made on first use.
TJPGCompressForm& JpegOptionsForm();

// The stage handler the main window gives its file context (OnPictureFile):
// before a JPEG is written it asks the options and hands them to the writer;
// any answer but Ok stops the save, with no file and no message. Other
// stages and formats pass untouched.
void JpegSaveHandler(TGraphic* graphic, const QString& fileName, TFileStage stage, bool& cont);
