// Unit Impr.
#include "dialogs/gui/PrintLayoutDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <algorithm>

#include "app/MyMsgDlg.h"
#include "controls/gui/SpinEdits.h"

QPrinter& AppPrinter() {
  static QPrinter* printer = nullptr;
  if (!printer) {
    printer = new QPrinter(QPrinter::HighResolution);
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] {
      delete printer;
      printer = nullptr;
    });
  }
  return *printer;
}

void EnableGroup(QGroupBox* group, bool enabled) {
  const QList<QWidget*> children = group->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  for (auto it = children.rbegin(); it != children.rend(); ++it) (*it)->setEnabled(enabled);
  group->setEnabled(enabled);
}

namespace {

constexpr int MinCopies = 1;
constexpr int MaxCopies = 100;

TFloatSpinEdit* LayoutField(QWidget* parent, int x, int y) {
  auto* e = new TFloatSpinEdit(parent);
  e->SetFormat(QStringLiteral("0.00"));
  e->Increment = 1.0;
  // Room for the widest value the dialog writes itself ("1000.00"): the
  // limit also cuts text set by the program, which would lose decimals.
  e->setMaxLength(7);
  e->SetMinValue(0);
  e->SetMaxValue(1000.0);
  e->SetShowUpDown(true);
  e->setGeometry(x, y, 80, std::max(22, e->MinimumHeight()));
  return e;
}

QLabel* Caption(const QString& text, QWidget* parent, int x, int y) {
  auto* l = new QLabel(text, parent);
  l->adjustSize();
  l->move(x, y);
  return l;
}

TColor ToTColor(const QColor& c) { return RGBColor(c.red(), c.green(), c.blue()); }

}  // namespace

TImprForm::TImprForm(QPrinter& printer, bool inchUnit, QWidget* parent)
    : QDialog(parent), InchUnit(inchUnit), m_printer(&printer) {
  setWindowTitle(QStringLiteral("Print"));
  setWindowFlags((windowFlags() | Qt::MSWindowsFixedSizeDialogHint) & ~Qt::WindowContextHelpButtonHint);
  PreviewZoom.Halftone = true;
  PageZoom.Plain = true;
  PageZoom.Halftone = true;
  const QString suffix = InchUnit ? QStringLiteral("(inch) ") : QStringLiteral("(cm) ");

  LabelZoom = Caption(QStringLiteral("Echelle"), this, 264, 12);
  LabelZoom->resize(248, LabelZoom->height());
  ScrollBarZoom = new QScrollBar(Qt::Horizontal, this);
  ScrollBarZoom->setRange(1, 100);
  ScrollBarZoom->setValue(10);
  ScrollBarZoom->setSingleStep(1);
  ScrollBarZoom->setPageStep(4);
  ScrollBarZoom->setGeometry(264, 32, 248, 17);
  connect(ScrollBarZoom, &QScrollBar::valueChanged, this, [this] { ScrollBarZoomScroll(); });

  CBCentrer = new QCheckBox(QStringLiteral("Page center"), this);
  CBCentrer->adjustSize();
  CBCentrer->move(264, 58);
  CBAjuster = new QCheckBox(QStringLiteral("Fit to page"), this);
  CBAjuster->adjustSize();
  CBAjuster->move(396, 58);

  GBTaille = new QGroupBox(QStringLiteral(" Image size ") + suffix, this);
  GBTaille->setGeometry(264, 84, 248, 84);
  Label1 = Caption(QStringLiteral("Width :"), GBTaille, 12, 26);
  SEL = LayoutField(GBTaille, 76, 22);
  Label2 = Caption(QStringLiteral("Height :"), GBTaille, 12, 54);
  SEH = LayoutField(GBTaille, 76, 50);
  BOkTaille = new QPushButton(QStringLiteral("Ok"), GBTaille);
  BOkTaille->setGeometry(176, 36, 56, 25);

  GBMarges = new QGroupBox(QStringLiteral(" Position ") + suffix, this);
  GBMarges->setGeometry(264, 176, 248, 84);
  Label3 = Caption(QStringLiteral("Left :"), GBMarges, 12, 26);
  SEX = LayoutField(GBMarges, 76, 22);
  Label4 = Caption(QStringLiteral("Top :"), GBMarges, 12, 54);
  SEY = LayoutField(GBMarges, 76, 50);
  BOkMarges = new QPushButton(QStringLiteral("Ok"), GBMarges);
  BOkMarges->setGeometry(176, 36, 56, 25);

  LblProp = new QLabel(this);
  LblProp->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

  LCopies = Caption(QStringLiteral("Copies :"), this, 16, 282);
  SECopies = new TSpinEdit2(this);
  SECopies->SetMinValue(MinCopies);
  SECopies->SetMaxValue(MaxCopies);
  SECopies->SetValue(1);
  SECopies->setGeometry(LCopies->x() + LCopies->width() + 8, 278, 60, std::max(22, SECopies->MinimumHeight()));

  CBContours = new QCheckBox(QStringLiteral("Print only bounding box"), this);
  CBContours->adjustSize();
  CBContours->move(264, 270);
  CBTraits = new QCheckBox(QStringLiteral("Print crop marks"), this);
  CBTraits->adjustSize();
  CBTraits->move(264, 292);

  BConfigurer = new QPushButton(QStringLiteral("Setup..."), this);
  BConfigurer->setGeometry(16, 330, 90, 25);
  BImprimer = new QPushButton(QStringLiteral("Print"), this);
  BImprimer->setGeometry(330, 330, 85, 25);
  BAnnuler = new QPushButton(QStringLiteral("Cancel"), this);
  BAnnuler->setGeometry(427, 330, 85, 25);

  connect(CBCentrer, &QCheckBox::toggled, this, [this] { CBCentrerClick(); });
  connect(CBAjuster, &QCheckBox::toggled, this, [this] { CBAjusterClick(); });
  connect(SEL, &QLineEdit::textChanged, this, [this] { SELChange(); });
  connect(SEH, &QLineEdit::textChanged, this, [this] { SEHChange(); });
  connect(SEX, &QLineEdit::textChanged, this, [this] { SEXYChange(); });
  connect(SEY, &QLineEdit::textChanged, this, [this] { SEXYChange(); });
  connect(BOkTaille, &QPushButton::clicked, this, [this] { BOkTailleClick(); });
  connect(BOkMarges, &QPushButton::clicked, this, [this] { BOkMargesClick(); });
  connect(BConfigurer, &QPushButton::clicked, this, [this] { BConfigurerClick(); });
  connect(BImprimer, &QPushButton::clicked, this, [this] { BImprimerClick(); });
  connect(BAnnuler, &QPushButton::clicked, this, [this] { reject(); });
  for (QWidget* w : std::initializer_list<QWidget*>{SEL, SEH, SEX, SEY, SECopies}) w->installEventFilter(this);

  setFixedSize(528, 368);
}

bool TImprForm::ReadPageSize() {
  // A queue removed since it was chosen: the printer object still describes
  // it, but nothing could print there.
  if (!m_printer->isValid()) return false;
  if (m_printer->outputFormat() == QPrinter::NativeFormat &&
      QPrinterInfo::printerInfo(m_printer->printerName()).isNull())
    return false;
  const QRect page = m_printer->pageRect(QPrinter::DevicePixel).toRect();
  return ::ReadPageSize(page.width(), page.height(), m_printer->resolution(), InchUnit, Page);
}

bool TImprForm::Prepare(const TBitmap* image, const QString& currentFile) {
  LinkFields = true;
  SizeEdited = PositionEdited = false;
  CBContours->setChecked(false);
  m_currentFile = currentFile;
  PreviewZoom.SetBitmap(image);
  PageZoom.SetBitmap(image);
  ImageWidth = image ? image->Width() : 0;
  ImageHeight = image ? image->Height() : 0;
  ImageRatio = ImageHeight > 0 ? double(ImageWidth) / ImageHeight : 1.0;
  m_printer->setPageOrientation(PrintsPortrait(ImageWidth, ImageHeight) ? QPageLayout::Portrait
                                                                        : QPageLayout::Landscape);
  if (ImageWidth <= 0 || ImageHeight <= 0 || !ReadPageSize()) {
    PreviewZoom.SetBitmap(nullptr);
    PageZoom.SetBitmap(nullptr);
    MyMessageDlg(QStringLiteral("The printer \"%1\" cannot be used: it reports no page or no resolution !")
                     .arg(m_printer->printerName()),
                 mkError, btOk);
    return false;
  }
  PageZoom.SetBox(TRect{0, 0, Page.WidthPx, Page.HeightPx});
  SetupPreview();
  ResetLayout();
  LblProp->setText(QStringLiteral("%1 x %2 %3").arg(ImageWidth).arg(ImageHeight).arg(QStringLiteral("pixels")));
  BImprimer->setFocus();
  return true;
}

void TImprForm::SetupPreview() {
  Preview = PreviewGeometry(Page);
  PreviewZoom.SetBox(TRect{17, 17, 17 + Preview.Width - 2, 17 + Preview.Height - 2});
  LblProp->setGeometry(17, 25 + Preview.Height, Preview.Width - 2, 20);
  update();
}

void TImprForm::DrawPreviewPage(QPainter& p) {
  const TRect page{16, 16, 16 + Preview.Width, 16 + Preview.Height};
  DrawShadow(p, page, 4, true, ToTColor(palette().window().color()), 70);
  p.fillRect(QRect(page.Left, page.Top, Preview.Width, Preview.Height), Qt::white);
  TRect frame = page;
  Frame3D(p, frame, RGBColor(0xCC, 0xCC, 0xCC), RGBColor(0x55, 0x55, 0x55), 1);
}

void TImprForm::paintEvent(QPaintEvent*) {
  if (!PreviewZoom.Bitmap() || Preview.Width <= 0) return;
  QPainter p(this);
  DrawPreviewPage(p);
  // The zoom object draws through the form's painter for this paint only;
  // its box is the preview page again afterwards.
  const TRect box = PreviewZoom.Box();
  const TZoomAlign align = PreviewZoom.ZoomAlign();
  const int left = PreviewZoom.Left(), top = PreviewZoom.Top();
  p.setBrush(Qt::white);
  PreviewZoom.SetCanvas(&p);
  PreviewZoom.SetBox(box);
  PreviewZoom.Draw(true);
  PreviewZoom.SetCanvas(nullptr);
  PreviewZoom.SetBox(box);
  if (align == zaManual) {
    PreviewZoom.SetLeft(left);
    PreviewZoom.SetTop(top);
  }
}

void TImprForm::UpdateZoomLabel(int position) { LabelZoom->setText(QStringLiteral("Scale : %1%").arg(position * 10)); }

void TImprForm::ResetLayout() {
  CBCentrer->setChecked(true);
  CBAjuster->setChecked(false);
  EnableGroup(GBTaille, true);
  EnableGroup(GBMarges, false);
  PageZoom.SetZoomMode(zmFitBox);
  const double fit = PageZoom.Zoom();
  {
    const QSignalBlocker block(ScrollBarZoom);
    ScrollBarZoom->setMaximum(ScaleBarMax(fit));
  }
  PrintScale = InitialPrintScale(fit);
  PageZoom.SetZoom(PrintScale);
  UpdateScaleBar();
  ApplyScale();
  ApplyPosition();
}

void TImprForm::UpdateScaleBar() {
  {
    // The dialog's own change is not a scroll by the user; a disabled bar
    // takes the position all the same.
    const QSignalBlocker block(ScrollBarZoom);
    ScrollBarZoom->setValue(ScaleBarPosition(PrintScale, ScrollBarZoom->maximum()));
  }
  UpdateZoomLabel(ScrollBarZoom->value());
}

void TImprForm::ScrollBarZoomScroll() {
  UpdateZoomLabel(ScrollBarZoom->value());
  PrintScale = ScrollBarZoom->value() * 10 / 100.0;
  ApplyScale();
  update();
}

void TImprForm::ApplyScale() {
  if (CBAjuster->isChecked()) {
    PageZoom.SetZoomMode(zmFitBox);
    PreviewZoom.SetZoomMode(zmFitBox);
    PrintScale = PageZoom.Zoom();
    UpdateScaleBar();
  } else {
    PageZoom.SetZoom(PrintScale);
    PreviewZoom.SetZoom(Preview.Scale * PrintScale);
  }
  if (LinkFields) {
    LinkFields = false;
    SEL->SetValue(UnitFromPixels(Page, PageZoom.ZoomWidth(), true));
    SEH->SetValue(UnitFromPixels(Page, PageZoom.ZoomHeight(), false));
    LinkFields = true;
  }
  if (CBCentrer->isChecked()) ApplyPosition();
}

void TImprForm::ApplyPosition() {
  if (CBCentrer->isChecked()) {
    PageZoom.SetAlign(zaCenter);
    PreviewZoom.SetAlign(zaCenter);
    SEX->SetValue(UnitFromPixels(Page, PageZoom.Left(), true));
    SEY->SetValue(UnitFromPixels(Page, PageZoom.Top(), false));
  } else {
    PageZoom.SetLeft(PixelsFromUnit(Page, true, SEX->Value()));
    PageZoom.SetTop(PixelsFromUnit(Page, false, SEY->Value()));
    PreviewZoom.SetLeft(int(RoundEven(PageZoom.Left() * Preview.Scale)) + 16);
    PreviewZoom.SetTop(int(RoundEven(PageZoom.Top() * Preview.Scale)) + 16);
  }
  update();
}

void TImprForm::CBCentrerClick() {
  if (CBCentrer->isChecked()) {
    ApplyPosition();
  } else {
    PageZoom.SetAlign(zaManual);
    PreviewZoom.SetAlign(zaManual);
  }
  EnableGroup(GBMarges, !CBCentrer->isChecked());
  update();
}

void TImprForm::CBAjusterClick() {
  const bool fit = CBAjuster->isChecked();
  if (fit) {
    CBCentrer->setChecked(true);
    ApplyScale();
  }
  CBCentrer->setEnabled(!fit);
  ScrollBarZoom->setEnabled(!fit);
  LabelZoom->setEnabled(!fit);
  EnableGroup(GBTaille, !fit);
  update();
}

void TImprForm::SELChange() {
  if (!LinkFields) return;
  LinkFields = false;
  SEH->SetValue(SEL->Value() / ImageRatio);
  LinkFields = true;
  SizeEdited = true;
}

void TImprForm::SEHChange() {
  if (!LinkFields) return;
  LinkFields = false;
  SEL->SetValue(SEH->Value() * ImageRatio);
  LinkFields = true;
  SizeEdited = true;
}

void TImprForm::SEXYChange() { PositionEdited = true; }

void TImprForm::FocusField(QWidget* field, bool selectAll) {
  field->setFocus(Qt::OtherFocusReason);
  if (auto* edit = qobject_cast<QLineEdit*>(field); edit && selectAll) edit->selectAll();
}

int TImprForm::CheckFieldsFilled() {
  if (CBAjuster->isChecked()) return 0;
  const QLineEdit* fields[] = {SEL, SEH, SEX, SEY, SECopies};
  for (int i = 0; i < 5; ++i) {
    if (!fields[i]->text().isEmpty()) continue;
    MyMessageDlg(QStringLiteral("Complete all the fields before continuing !"), mkWarning, btOk);
    FocusField(const_cast<QLineEdit*>(fields[i]), false);
    return i + 1;
  }
  return 0;
}

int TImprForm::CheckFieldRanges() {
  if (CBAjuster->isChecked()) return 0;
  QString message;
  const int failed = CheckLayoutRanges(Page, PageZoom.ZoomWidth(), PageZoom.ZoomHeight(), SEL->Value(), SEH->Value(),
                                       SEX->Value(), SEY->Value(), message);
  if (failed == 0) return 0;
  MyMessageDlg(message, mkWarning, btOk);
  QWidget* fields[] = {SEL, SEH, SEX, SEY};
  FocusField(fields[failed - 1], true);
  return failed;
}

void TImprForm::BOkTailleClick() {
  if (CheckFieldsFilled() != 0 || CheckFieldRanges() != 0) return;
  LinkFields = false;
  if (Page.HeightPx < Page.WidthPx)
    PrintScale = SEL->Value() / UnitFromPixels(Page, ImageWidth, true);
  else
    PrintScale = SEH->Value() / UnitFromPixels(Page, ImageHeight, false);
  UpdateScaleBar();
  ApplyScale();
  update();
  LinkFields = true;
  SizeEdited = false;
}

void TImprForm::BOkMargesClick() {
  if (CheckFieldsFilled() != 0 || CheckFieldRanges() != 0) return;
  ApplyPosition();
  PositionEdited = false;
}

void TImprForm::BConfigurerClick() {
  QPrintDialog setup(m_printer, this);
  setup.exec();
  // The layout starts afresh on whatever page the printer now has; a page
  // that cannot be read keeps the previous one.
  if (!ReadPageSize())
    MyMessageDlg(QStringLiteral("The printer \"%1\" cannot be used: it reports no page or no resolution !")
                     .arg(m_printer->printerName()),
                 mkError, btOk);
  SetupPreview();
  PageZoom.SetBox(TRect{0, 0, Page.WidthPx, Page.HeightPx});
  ResetLayout();
  update();
}

int TImprForm::Copies() const { return std::clamp(SECopies->Value(), MinCopies, MaxCopies); }

void TImprForm::BImprimerClick() {
  if (CheckFieldsFilled() != 0 || CheckFieldRanges() != 0) return;
  if (SizeEdited) BOkTailleClick();
  if (PositionEdited) BOkMargesClick();
  m_printer->setDocName(QFileInfo(m_currentFile).fileName());
  // The field may still hold what was typed when the focus never left it.
  SECopies->SetValue(Copies());
  m_copies = Copies();
  done(1);
}

void TImprForm::reject() { done(2); }

bool TImprForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  auto* spin = dynamic_cast<TCustomSpinEdit*>(watched);
  if (!spin) return QDialog::eventFilter(watched, event);
  if (key->text() == QLatin1String("+") || key->text() == QLatin1String("-")) {
    // Signs make no sense in these fields: refused as the edit refuses a letter.
    if (spin->OnBeep)
      spin->OnBeep();
    else
      QApplication::beep();
    return true;
  }
  if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
  if (auto* field = dynamic_cast<TFloatSpinEdit*>(spin); field && !field->text().isEmpty())
    field->SetValue(field->Value());
  if (spin == SEL || spin == SEH)
    BOkTailleClick();
  else if (spin == SEX || spin == SEY)
    BOkMargesClick();
  return true;
}

void TImprForm::hideEvent(QHideEvent* event) {
  PreviewZoom.SetBitmap(nullptr);
  PageZoom.SetBitmap(nullptr);
  QDialog::hideEvent(event);
}

TRect TImprForm::PrintRect() const { return ::PrintRect(Page, SEX->Value(), SEY->Value(), SEL->Value(), SEH->Value()); }

TPrintJobParams TImprForm::JobParams() const {
  return TPrintJobParams{Page,    PrintRect(), ImageWidth, ImageHeight, CBContours->isChecked(), CBTraits->isChecked(),
                         m_copies};
}
