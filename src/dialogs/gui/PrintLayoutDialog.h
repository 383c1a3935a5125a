#pragma once
// Unit Impr.
// The print layout dialog: it lays the picture out on the printer's page and,
// closed with OK (1), gives the job's parameters (dialogs/gui/PrintJob.h runs
// the job).
//
// Positions and sizes are held in printer device pixels (the printable area
// the printer reports) and shown in centimetres or inches with two decimals.
#include <QDialog>
#include <QString>

#include "dialogs/PrintJob.h"
#include "dialogs/PrintLayout.h"
#include "display/ImgZoom.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QPainter;
class QPrinter;
class QPushButton;
class QScrollBar;
class TFloatSpinEdit;
class TSpinEdit2;

// The printer of the whole run (high resolution, the system's default printer
// at first), made on first use and freed as the event loop ends.
QPrinter& AppPrinter();

// Sets the enabled state of every child control of the group, last to
// first, then of the group itself.
void EnableGroup(QGroupBox* group, bool enabled);

class TImprForm : public QDialog {
 public:
  // printer: laid out for and printed on; it must outlive the form. inchUnit:
  // the unit of the fields, read once (a change of unit makes a new form).
  TImprForm(QPrinter& printer, bool inchUnit, QWidget* parent = nullptr);

  // Before every showing: takes the picture (kept until the form hides),
  // orients the printer after the picture,
  // reads its page and lays the picture out afresh. A printer that is no
  // longer valid or reports an empty page or no resolution gives an error
  // message and false: the dialog must not be shown then.
  bool Prepare(const TBitmap* image, const QString& currentFile);

  // After the dialog closed with OK: what the job is to print.
  TPrintJobParams JobParams() const;

  QCheckBox* CBCentrer = nullptr;
  QCheckBox* CBAjuster = nullptr;
  QLabel* LabelZoom = nullptr;
  QScrollBar* ScrollBarZoom = nullptr;
  QGroupBox* GBTaille = nullptr;
  QLabel* Label1 = nullptr;
  TFloatSpinEdit* SEL = nullptr;
  QLabel* Label2 = nullptr;
  TFloatSpinEdit* SEH = nullptr;
  QPushButton* BOkTaille = nullptr;
  QGroupBox* GBMarges = nullptr;
  QLabel* Label3 = nullptr;
  TFloatSpinEdit* SEX = nullptr;
  QLabel* Label4 = nullptr;
  TFloatSpinEdit* SEY = nullptr;
  QPushButton* BOkMarges = nullptr;
  QLabel* LblProp = nullptr;
  QLabel* LCopies = nullptr;
  TSpinEdit2* SECopies = nullptr;
  QCheckBox* CBContours = nullptr;
  QCheckBox* CBTraits = nullptr;
  QPushButton* BConfigurer = nullptr;
  QPushButton* BImprimer = nullptr;
  QPushButton* BAnnuler = nullptr;

  bool InchUnit = false;
  TImageZoom PreviewZoom;
  TImageZoom PageZoom;
  int ImageWidth = 0;
  int ImageHeight = 0;
  double ImageRatio = 1;
  TPageGeometry Page;
  TPreviewGeometry Preview;
  double PrintScale = 1;
  bool LinkFields = true;
  bool SizeEdited = false;
  bool PositionEdited = false;

  QPrinter& Printer() const { return *m_printer; }
  // The printed rectangle in device pixels, from the four fields.
  TRect PrintRect() const;
  // The copies the job asks for: the field clamped to 1..100.
  int Copies() const;

  void ResetLayout();
  void UpdateScaleBar();
  void ApplyScale();
  void ApplyPosition();
  void SetupPreview();
  void CBCentrerClick();
  void CBAjusterClick();
  void ScrollBarZoomScroll();
  void SELChange();
  void SEHChange();
  void SEXYChange();
  void BOkTailleClick();
  void BOkMargesClick();
  void BConfigurerClick();
  void BImprimerClick();
  // 0, or the number (1..5) of the first empty field, after the message.
  int CheckFieldsFilled();
  // 0, or the number (1..4) of the first check that fails, after the message.
  int CheckFieldRanges();

 protected:
  // Escape and "Cancel" close with 2.
  void reject() override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  bool ReadPageSize();
  void DrawPreviewPage(QPainter& p);
  void FocusField(QWidget* field, bool selectAll);
  void UpdateZoomLabel(int position);

  QPrinter* m_printer;
  QString m_currentFile;
  int m_copies = 1;
};
