#include "imagefiles/gui/JPGCompress.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <algorithm>

#include "imagefiles/JpegImage.h"
#include "imagefiles/PictureFormats.h"

TJPGCompressForm::TJPGCompressForm(QWidget* parent) : QDialog(parent) {
  // The texts of this dialog are French and stay French.
  setWindowTitle(QStringLiteral("Compression JPEG "));
  setWindowFlags((windowFlags() | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint) &
                 ~Qt::WindowContextHelpButtonHint);

  LblN = new QLabel(QStringLiteral("Compression : 90"), this);
  LblN->move(16, 24);

  TBN = new QSlider(Qt::Horizontal, this);
  TBN->setRange(1, 20);
  TBN->setValue(18);
  TBN->setPageStep(1);
  TBN->setSingleStep(1);
  TBN->setTickInterval(1);
  TBN->setTickPosition(QSlider::TicksBelow);
  TBN->setGeometry(10, 40, 279, std::max(25, TBN->sizeHint().height()));
  connect(TBN, &QSlider::valueChanged, this, [this] { TBNChange(); });

  Label1 = new QLabel(QStringLiteral("Qualité inférieure"), this);
  Label1->adjustSize();
  Label1->move(16, 72);
  Label2 = new QLabel(QStringLiteral("Qualité supérieure"), this);
  Label2->setAlignment(Qt::AlignRight | Qt::AlignTop);
  Label2->adjustSize();
  // Right-aligned: its right edge stays where the designed label's was.
  Label2->move(197 + 85 - Label2->width(), 72);

  RBStandard = new QRadioButton(QStringLiteral("Format standard"), this);
  RBStandard->setChecked(true);
  RBStandard->adjustSize();
  RBStandard->move(16, 112);
  RBProgressif = new QRadioButton(QStringLiteral("Format progressif"), this);
  RBProgressif->adjustSize();
  RBProgressif->move(16, std::max(132, 112 + RBStandard->height() + 2));

  BOk = new QPushButton(QStringLiteral("Ok"), this);
  BOk->setGeometry(120, 192, 75, 25);
  BOk->setDefault(true);
  connect(BOk, &QPushButton::clicked, this, [this] { done(1); });
  BAnnuler = new QPushButton(QStringLiteral("Annuler"), this);
  BAnnuler->setGeometry(208, 192, 75, 25);
  connect(BAnnuler, &QPushButton::clicked, this, [this] { done(2); });

  TBNChange();
  setFixedSize(298, 234);
  BOk->setFocus();
}

void TJPGCompressForm::TBNChange() {
  LblN->setText(QStringLiteral("Compression : %1").arg(TBN->value() * 5));
  LblN->adjustSize();
}

int TJPGCompressForm::Quality() const { return 5 * TBN->value(); }
bool TJPGCompressForm::Progressive() const { return RBProgressif->isChecked(); }

void TJPGCompressForm::reject() { done(2); }

TJPGCompressForm& JpegOptionsForm() {
  // Kept for the whole run and freed as the event loop ends; until then the
  // pointer keeps it reachable.
  static QPointer<TJPGCompressForm> form;
  if (!form) {
    // No parent: a window that goes away must not take the choices with it.
    form = new TJPGCompressForm();
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, form, [] { delete form.data(); });
  }
  return *form;
}

void JpegSaveHandler(TGraphic* graphic, const QString& fileName, TFileStage stage, bool& cont) {
  if (stage != fsBeforeSave || !graphic) return;
  // The writer was chosen by the file name, so its row tells the format.
  const TFormatDescriptor* row = WritableFormat(fileName);
  if (!row || row->Format != TPictureFormat::Jpeg) return;
  TJPGCompressForm& form = JpegOptionsForm();
  if (QWidget* over = QApplication::activeWindow(); over && over != &form)
    form.move(over->geometry().center() - form.rect().center());
  form.BOk->setFocus();
  cont = form.exec() == 1;
  if (cont) {
    graphic->Options.JpegQuality = form.Quality();
    graphic->Options.JpegProgressive = form.Progressive();
  }
}
