#pragma once
// Unit Redim.
// The "Image size" dialog: the new width and height of the picture, in pixels
// or in percent of its size, optionally keeping its aspect ratio, with or
// without smoothing. It only gathers the size; the window resizes.
//
//   if (!RedimForm) RedimForm = std::make_unique<TRedimForm>(this);
//   if (RedimForm->Execute(WorkingImage()) == QDialog::Accepted)
//     resize to RedimForm->NewWidth x RedimForm->NewHeight,
//     smoothed when RedimForm->Smooth();
//
// The form is kept between showings, so the chosen units stay.
#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class TBitmap;
class TFloatSpinEdit;

class TRedimForm : public QDialog {
 public:
  explicit TRedimForm(QWidget* parent = nullptr);

  // Shows the dialog modally for picture (read as it is shown). Accepted
  // with NewWidth and NewHeight set when a new size was chosen; Rejected when
  // cancelled or the size did not change.
  int Execute(const TBitmap& picture);
  // Whether the resize is to be smoothed ("Antialias", which a transparent
  // picture cannot have).
  bool Smooth() const;

  QLabel* Label1 = nullptr;
  TFloatSpinEdit* EdiL = nullptr;
  QComboBox* CmbL = nullptr;
  QLabel* Label2 = nullptr;
  TFloatSpinEdit* EdiH = nullptr;
  QComboBox* CmbH = nullptr;
  QCheckBox* CBProportions = nullptr;
  QCheckBox* CBOptimiser = nullptr;
  QPushButton* BOk = nullptr;
  QPushButton* BAnnuler = nullptr;

  int StartWidth = 0;
  int StartHeight = 0;
  double AspectRatio = 1;
  int WidthUnit = 0;  // 0 pixels, 1 percent
  int HeightUnit = 0;
  bool Coupling = false;
  int NewWidth = 0;
  int NewHeight = 0;

  void FormShow();
  void CmbLChange(int index);
  void CmbHChange(int index);
  void EdiLChange();
  void EdiHChange();
  void BOkClick();
  int WidthInPixels() const;
  int HeightInPixels() const;
  void ShowWidth(int pixels);
  void ShowHeight(int pixels);

 protected:
  // Sees every key of the fields before they do (signs, Enter, Escape).
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  const TBitmap* m_picture = nullptr;
};
