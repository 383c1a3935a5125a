// Unit Redim.
// The "Image size" dialog.
#include "dialogs/gui/ImageSizeDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "app/MyMsgDlg.h"
#include "app/PathAndTextHelpers.h"
#include "controls/gui/SpinEdits.h"
#include "raster/Bitmap.h"
#include "raster/Lanczos.h"

namespace {

// The fields' range.
constexpr double MinField = 1;
constexpr double MaxField = 5000;

TFloatSpinEdit* SizeField(QWidget* parent, const QRect& geometry) {
  auto* e = new TFloatSpinEdit(parent);
  e->SetFormat(QStringLiteral("0"));
  e->Increment = 1;
  e->SetMinValue(MinField);
  e->SetMaxValue(MaxField);
  e->SetShowUpDown(true);
  e->setGeometry(geometry);
  return e;
}

QComboBox* UnitList(QWidget* parent, const QRect& geometry) {
  auto* c = new QComboBox(parent);
  c->addItems({QStringLiteral("pixels"), QStringLiteral("%")});
  c->setCurrentIndex(0);
  c->setGeometry(geometry);
  return c;
}

int Rounded(double value) { return int(RoundEven(value)); }

}  // namespace

TRedimForm::TRedimForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Image size"));
  setWindowFlags((windowFlags() | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint) &
                 ~Qt::WindowContextHelpButtonHint);
  setModal(true);
  Label1 = new QLabel(QStringLiteral("Width :"), this);
  Label1->setGeometry(12, 16, 60, 21);
  EdiL = SizeField(this, QRect(76, 14, 80, 22));
  CmbL = UnitList(this, QRect(164, 14, 76, 22));
  Label2 = new QLabel(QStringLiteral("Height :"), this);
  Label2->setGeometry(12, 46, 60, 21);
  EdiH = SizeField(this, QRect(76, 44, 80, 22));
  CmbH = UnitList(this, QRect(164, 44, 76, 22));
  CBProportions = new QCheckBox(QStringLiteral("Preserve aspect ratio"), this);
  CBProportions->setGeometry(12, 78, 228, 20);
  CBProportions->setChecked(true);
  CBOptimiser = new QCheckBox(QStringLiteral("Antialias"), this);
  CBOptimiser->setGeometry(12, 100, 228, 20);
  CBOptimiser->setChecked(true);
  BOk = new QPushButton(QStringLiteral("Ok"), this);
  BOk->setGeometry(40, 132, 92, 26);
  BAnnuler = new QPushButton(QStringLiteral("Annuler"), this);
  BAnnuler->setGeometry(140, 132, 92, 26);
  // Enter is the dialog's own (caught before any field or button sees it).
  BOk->setAutoDefault(false);
  BAnnuler->setAutoDefault(false);
  setFixedSize(252, 170);

  connect(EdiL, &QLineEdit::textChanged, this, [this] { EdiLChange(); });
  connect(EdiH, &QLineEdit::textChanged, this, [this] { EdiHChange(); });
  connect(CmbL, &QComboBox::currentIndexChanged, this, [this](int index) { CmbLChange(index); });
  connect(CmbH, &QComboBox::currentIndexChanged, this, [this](int index) { CmbHChange(index); });
  connect(BOk, &QPushButton::clicked, this, [this] { BOkClick(); });
  connect(BAnnuler, &QPushButton::clicked, this, &QDialog::reject);
  for (QWidget* w : std::initializer_list<QWidget*>{EdiL, EdiH, CmbL, CmbH, CBProportions, CBOptimiser, BOk, BAnnuler})
    w->installEventFilter(this);
}

int TRedimForm::Execute(const TBitmap& picture) {
  m_picture = &picture;
  FormShow();
  if (parentWidget()) move(parentWidget()->geometry().center() - rect().center());
  const int result = exec();
  m_picture = nullptr;
  return result;
}

bool TRedimForm::Smooth() const { return CBOptimiser->isEnabled() && CBOptimiser->isChecked(); }

void TRedimForm::FormShow() {
  StartWidth = m_picture->Width();
  StartHeight = m_picture->Height();
  // A transparent picture is resized without smoothing, which keeps its
  // colours (and so its transparent one) as they are.
  CBOptimiser->setEnabled(!m_picture->Transparent);
  CBOptimiser->setChecked(CBOptimiser->isEnabled());
  AspectRatio = double(StartWidth) / double(StartHeight);
  WidthUnit = CmbL->currentIndex();
  HeightUnit = CmbH->currentIndex();
  ShowWidth(StartWidth);
  ShowHeight(StartHeight);
  CBProportions->setChecked(true);
  BOk->setFocus();
}

int TRedimForm::WidthInPixels() const {
  return WidthUnit == 0 ? Rounded(EdiL->Value()) : Rounded(EdiL->Value() * StartWidth / 100);
}

int TRedimForm::HeightInPixels() const {
  return HeightUnit == 0 ? Rounded(EdiH->Value()) : Rounded(EdiH->Value() * StartHeight / 100);
}

void TRedimForm::ShowWidth(int pixels) {
  Coupling = false;
  EdiL->SetValue(WidthUnit == 0 ? double(pixels) : pixels * 100.0 / StartWidth);
  Coupling = true;
}

void TRedimForm::ShowHeight(int pixels) {
  Coupling = false;
  EdiH->SetValue(HeightUnit == 0 ? double(pixels) : pixels * 100.0 / StartHeight);
  Coupling = true;
}

void TRedimForm::CmbLChange(int index) {
  // The size stays; only the way it is shown changes.
  Coupling = false;
  const int pixels = WidthInPixels();
  WidthUnit = index;
  EdiL->SetFormat(index == 1 ? QStringLiteral("0.00") : QStringLiteral("0"));
  ShowWidth(pixels);
  Coupling = true;
}

void TRedimForm::CmbHChange(int index) {
  Coupling = false;
  const int pixels = HeightInPixels();
  HeightUnit = index;
  EdiH->SetFormat(index == 1 ? QStringLiteral("0.00") : QStringLiteral("0"));
  ShowHeight(pixels);
  Coupling = true;
}

void TRedimForm::EdiLChange() {
  if (Coupling && CBProportions->isChecked() && !EdiL->text().isEmpty())
    ShowHeight(Rounded(WidthInPixels() / AspectRatio));
}

void TRedimForm::EdiHChange() {
  if (Coupling && CBProportions->isChecked() && !EdiH->text().isEmpty())
    ShowWidth(Rounded(HeightInPixels() * AspectRatio));
}

void TRedimForm::BOkClick() {
  if (EdiL->text().isEmpty() || EdiH->text().isEmpty()) {
    MyMessageDlg(QStringLiteral("Complete all the fields before continuing !"), mkWarning, btOk);
    return;
  }
  // A field may still hold what was typed if the focus never left it (the
  // click that took it may not have come from the mouse): its range applies.
  for (TFloatSpinEdit* field : {EdiL, EdiH}) field->SetValue(field->Value());
  NewWidth = std::max(2, WidthInPixels());
  NewHeight = std::max(2, HeightInPixels());
  if (NewWidth == StartWidth && NewHeight == StartHeight) {
    reject();
    return;
  }
  // Percent lets a field ask for far more than any picture can hold (5000 %
  // of a 4000-pixel side): refused before anything is touched.
  if (NewWidth > MaxResampleSide || NewHeight > MaxResampleSide ||
      std::int64_t(NewWidth) * NewHeight > MaxResamplePixels) {
    MyMessageDlg(QStringLiteral("The new size %1 x %2 is too large !").arg(NewWidth).arg(NewHeight), mkWarning, btOk);
    return;
  }
  accept();
}

bool TRedimForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  if (key->text() == QLatin1String("+") || key->text() == QLatin1String("-")) {
    // Signs make no sense here: refused as the field refuses a letter.
    auto* field = dynamic_cast<TFloatSpinEdit*>(watched);
    if (field && field->OnBeep)
      field->OnBeep();
    else
      QApplication::beep();
    return true;
  }
  if (key->key() == Qt::Key_Escape) {
    reject();
    return true;
  }
  if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
  // The field being typed in keeps its focus, so its range is applied here as
  // leaving it would have.
  if (auto* field = dynamic_cast<TFloatSpinEdit*>(watched); field && !field->text().isEmpty())
    field->SetValue(field->Value());
  BOkClick();
  return true;
}

void TRedimForm::keyPressEvent(QKeyEvent* event) {
  // Keys reaching the dialog itself (no control focused).
  if (eventFilter(this, event)) return;
  QDialog::keyPressEvent(event);
}
