#include "dialogs/gui/MosaicOptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <iterator>

#include "app/gui/SelDir.h"

namespace {

QString AspectText(TTileAspect a) { return QStringLiteral("%1:%2").arg(a.Width).arg(a.Height); }

// A row of widgets, for a form's field.
QWidget* Row(std::initializer_list<QWidget*> widgets) {
  auto* row = new QWidget;
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  for (QWidget* w : widgets) layout->addWidget(w);
  layout->addStretch();
  return row;
}

}  // namespace

TMosaicOptionsForm::TMosaicOptionsForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Mosaic options"));
  ChooseFolder = [](const QString& start) { return SelectFolder(QStringLiteral("Thumbnails folder :"), start); };
  auto* top = new QVBoxLayout(this);
  // The warnings and the poster's button come and go: the dialog grows to hold them.
  top->setSizeConstraint(QLayout::SetMinimumSize);

  auto* library = new QGroupBox(QStringLiteral("Photo library"), this);
  auto* libraryForm = new QFormLayout(library);
  EdiFolder = new QLineEdit(library);
  EdiFolder->setMinimumWidth(260);
  BBrowse = new QPushButton(QStringLiteral("Browse..."), library);
  auto* folderRow = new QWidget(library);
  auto* folderLayout = new QHBoxLayout(folderRow);
  folderLayout->setContentsMargins(0, 0, 0, 0);
  folderLayout->addWidget(EdiFolder, 1);
  folderLayout->addWidget(BBrowse);
  libraryForm->addRow(QStringLiteral("Folder:"), folderRow);
  CBSubFolders = new QCheckBox(QStringLiteral("Include sub-folders"), library);
  libraryForm->addRow(QString(), CBSubFolders);
  top->addWidget(library);

  auto* mode = new QGroupBox(QStringLiteral("Mode"), this);
  auto* modeLayout = new QVBoxLayout(mode);
  RBRandom = new QRadioButton(QStringLiteral("Random tint (the default mosaic)"), mode);
  RBMatched = new QRadioButton(QStringLiteral("Matched colours"), mode);
  modeLayout->addWidget(RBRandom);
  modeLayout->addWidget(RBMatched);
  GBMatched = new QGroupBox(mode);
  GBMatched->setFlat(true);
  auto* matched = new QFormLayout(GBMatched);
  SlTint = new QSlider(Qt::Horizontal, GBMatched);
  SlTint->setRange(0, 100);
  SlTint->setMinimumWidth(160);
  LblTint = new QLabel(GBMatched);
  LblTint->setMinimumWidth(LblTint->fontMetrics().horizontalAdvance(QStringLiteral("100 %")));
  matched->addRow(QStringLiteral("Tint limit:"), Row({SlTint, LblTint}));
  CmbTintMode = new QComboBox(GBMatched);
  CmbTintMode->addItems({QStringLiteral("Light (each part towards its cell)"), QStringLiteral("Whole tile")});
  matched->addRow(QStringLiteral("Tint:"), CmbTintMode);
  SpRepeat = new QSpinBox(GBMatched);
  SpRepeat->setRange(0, 25);
  SpRepeat->setSuffix(QStringLiteral(" cells"));
  matched->addRow(QStringLiteral("Repeat distance:"), SpRepeat);
  CBMaxUses = new QCheckBox(QStringLiteral("At most"), GBMatched);
  SpMaxUses = new QSpinBox(GBMatched);
  SpMaxUses->setRange(1, 1000000000);
  SpMaxUses->setSuffix(QStringLiteral(" uses of a photo"));
  matched->addRow(QStringLiteral("Fair use:"), Row({CBMaxUses, SpMaxUses}));
  CBUseAll = new QCheckBox(QStringLiteral("Every photo at least once"), GBMatched);
  matched->addRow(QString(), CBUseAll);
  modeLayout->addWidget(GBMatched);
  top->addWidget(mode);

  auto* tiles = new QGroupBox(QStringLiteral("Tiles"), this);
  auto* tilesForm = new QFormLayout(tiles);
  CmbShape = new QComboBox(tiles);
  for (TTileAspect a : TileAspects) CmbShape->addItem(AspectText(a));
  CBCrop = new QCheckBox(QStringLiteral("Crop to square"), tiles);
  tilesForm->addRow(QStringLiteral("Shape:"), Row({CmbShape, CBCrop}));
  CmbCellSize = new QComboBox(tiles);
  for (int size : CellSizes) CmbCellSize->addItem(QStringLiteral("%1 pixels").arg(size));
  tilesForm->addRow(QStringLiteral("Cell size:"), CmbCellSize);
  top->addWidget(tiles);

  auto* output = new QGroupBox(QStringLiteral("Output size"), this);
  auto* outputForm = new QFormLayout(output);
  SpScale = new QSpinBox(output);
  SpScale->setRange(1, MaxMosaicScale);
  SpScale->setPrefix(QStringLiteral("x "));
  outputForm->addRow(QStringLiteral("Scale:"), SpScale);
  CBPoster = new QCheckBox(QStringLiteral("Poster"), output);
  SpPosterWidth = new QDoubleSpinBox(output);
  SpPosterHeight = new QDoubleSpinBox(output);
  for (QDoubleSpinBox* side : {SpPosterWidth, SpPosterHeight}) {
    side->setDecimals(1);
    side->setRange(1, 1000);
  }
  SpPosterWidth->setValue(60);
  SpPosterHeight->setValue(40);
  SpDpi = new QSpinBox(output);
  SpDpi->setRange(50, 1200);
  SpDpi->setValue(150);
  SpDpi->setSuffix(QStringLiteral(" dpi"));
  outputForm->addRow(CBPoster, Row({SpPosterWidth, new QLabel(QStringLiteral("x"), output), SpPosterHeight,
                                    new QLabel(QStringLiteral("at"), output), SpDpi}));
  LblPrint = new QLabel(output);
  outputForm->addRow(QString(), LblPrint);
  LblWarning = new QLabel(output);
  // Short lines of their own: a wrapped label would not grow the dialog.
  LblWarning->setWordWrap(false);
  LblWarning->setStyleSheet(QStringLiteral("color: #b00000;"));
  outputForm->addRow(QString(), LblWarning);
  BSavePoster = new QPushButton(QStringLiteral("Save poster..."), output);
  connect(BSavePoster, &QPushButton::clicked, this, [this] { done(SavePosterResult); });
  outputForm->addRow(QString(), Row({BSavePoster}));
  top->addWidget(output);

  auto* buttons = new QDialogButtonBox(this);
  BOk = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  BCancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
  BOk->setDefault(true);
  top->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  connect(BBrowse, &QPushButton::clicked, this, [this] { Browse(); });
  connect(SlTint, &QSlider::valueChanged, this,
          [this](int value) { LblTint->setText(QStringLiteral("%1 %").arg(value)); });
  for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{RBRandom, RBMatched, CBMaxUses, CBPoster})
    connect(b, &QAbstractButton::toggled, this, [this] { UpdateControls(); });
  for (QComboBox* c : {CmbShape, CmbCellSize})
    connect(c, &QComboBox::currentIndexChanged, this, [this] { UpdateControls(); });
  for (QDoubleSpinBox* s : {SpPosterWidth, SpPosterHeight})
    connect(s, &QDoubleSpinBox::valueChanged, this, [this] { UpdatePrint(); });
  connect(SpDpi, &QSpinBox::valueChanged, this, [this] { UpdatePrint(); });
}

void TMosaicOptionsForm::Prepare(const TMosaicOptions& o, int pictureWidth, int pictureHeight, bool inches) {
  m_given = o;
  m_pictureWidth = pictureWidth;
  m_pictureHeight = pictureHeight;
  // The poster kept from the last showing follows a change of unit.
  if (inches != m_inches) {
    const double factor = inches ? 1 / 2.54 : 2.54;
    for (QDoubleSpinBox* side : {SpPosterWidth, SpPosterHeight}) side->setValue(side->value() * factor);
    m_inches = inches;
  }
  const QString unit = inches ? QStringLiteral(" in") : QStringLiteral(" cm");
  for (QDoubleSpinBox* side : {SpPosterWidth, SpPosterHeight}) side->setSuffix(unit);

  EdiFolder->setText(o.ThumbnailsFolder);
  CBSubFolders->setChecked(o.Recursive);
  (o.MatchColours ? RBMatched : RBRandom)->setChecked(true);
  SlTint->setValue(o.TintLimit);
  LblTint->setText(QStringLiteral("%1 %").arg(o.TintLimit));
  CmbTintMode->setCurrentIndex(o.TintMode == TTintMode::Whole ? 1 : 0);
  SpRepeat->setValue(o.RepeatDistance);
  CBMaxUses->setChecked(o.MaxUses > 0);
  SpMaxUses->setValue(o.MaxUses > 0 ? o.MaxUses : 1);
  CBUseAll->setChecked(o.UseAll);
  int shape = 0;
  for (int i = 0; i < int(std::size(TileAspects)); ++i)
    if (TileAspects[i] == o.TileAspect) shape = i;
  CmbShape->setCurrentIndex(shape);
  CBCrop->setChecked(o.CropSquare);
  int cell = 2;
  for (int i = 0; i < int(std::size(CellSizes)); ++i)
    if (CellSizes[i] == o.CellSize) cell = i;
  CmbCellSize->setCurrentIndex(cell);
  SpScale->setValue(o.Scale);
  // Without a picture the poster cannot be sized: the scale is the choice.
  if (pictureWidth <= 0 || pictureHeight <= 0) CBPoster->setChecked(false);
  UpdateControls();
}

int TMosaicOptionsForm::Execute(const TMosaicOptions& options, int pictureWidth, int pictureHeight, bool inches) {
  Prepare(options, pictureWidth, pictureHeight, inches);
  return exec();
}

TMosaicOptions TMosaicOptionsForm::Options() const {
  TMosaicOptions o = m_given;
  o.ThumbnailsFolder = EdiFolder->text();
  o.Recursive = CBSubFolders->isChecked();
  o.MatchColours = RBMatched->isChecked();
  o.TintLimit = SlTint->value();
  o.TintMode = CmbTintMode->currentIndex() == 1 ? TTintMode::Whole : TTintMode::Light;
  o.RepeatDistance = SpRepeat->value();
  o.MaxUses = CBMaxUses->isChecked() ? SpMaxUses->value() : 0;
  o.UseAll = CBUseAll->isChecked();
  o.TileAspect = TileAspects[CmbShape->currentIndex()];
  o.CropSquare = CBCrop->isChecked();
  o.CellSize = CellSizes[CmbCellSize->currentIndex()];
  o.Scale = SpScale->value();
  return o;
}

void TMosaicOptionsForm::UpdateControls() {
  // The tint, repeat and fair-use rules are the matched mode's own.
  GBMatched->setEnabled(RBMatched->isChecked());
  SpMaxUses->setEnabled(CBMaxUses->isChecked());
  // A tile of another shape is always cut to it: the square crop is moot.
  CBCrop->setEnabled(TileAspects[CmbShape->currentIndex()].Square());
  const bool picture = m_pictureWidth > 0 && m_pictureHeight > 0;
  CBPoster->setEnabled(picture);
  for (QWidget* w : std::initializer_list<QWidget*>{SpPosterWidth, SpPosterHeight, SpDpi})
    w->setEnabled(picture && CBPoster->isChecked());
  // The poster sets the scale.
  SpScale->setEnabled(!CBPoster->isChecked());
  UpdatePrint();
}

int TMosaicOptionsForm::PosterScale() const { return CBPoster->isChecked() ? m_posterScale : SpScale->value(); }

void TMosaicOptionsForm::UpdatePrint() {
  LblWarning->clear();
  BSavePoster->hide();
  if (m_pictureWidth <= 0 || m_pictureHeight <= 0) {
    LblPrint->setText(QStringLiteral("Open a picture to size a poster."));
    return;
  }
  if (!CBPoster->isChecked()) {
    LblPrint->setText(QStringLiteral("The mosaic is %1 times the picture's size.").arg(SpScale->value()));
    return;
  }
  const TMosaicOptions o = Options();
  int baseWidth = 0, baseHeight = 0;
  MosaicBaseSize(m_pictureWidth, m_pictureHeight, o.CellSize, o.CheckSize, baseWidth, baseHeight);
  const TPosterPrint p = PosterPrint(SpPosterWidth->value(), SpPosterHeight->value(), m_inches, SpDpi->value(),
                                     baseWidth, baseHeight, o.CellSize, o.TileAspect);
  SpScale->setValue(p.Scale);
  m_posterScale = p.NeededScale;
  BSavePoster->show();
  const QString unit = m_inches ? QStringLiteral("in") : QStringLiteral("cm");
  LblPrint->setText(QStringLiteral("Scale %1; each tile prints %2 x %3 %4.")
                        .arg(p.Scale)
                        .arg(p.TileWidth, 0, 'f', 2)
                        .arg(p.TileHeight, 0, 'f', 2)
                        .arg(unit));
  QStringList warnings;
  if (p.TooSmall) warnings << QStringLiteral("Tiles print smaller than 1 cm: the photos will hardly show.");
  if (p.Short) {
    warnings << QStringLiteral("The poster needs a scale of %1: at most %2,\nit prints below %3 dpi.")
                    .arg(p.NeededScale)
                    .arg(MaxMosaicScale)
                    .arg(SpDpi->value());
    // Beyond what the window holds, the poster is drawn in bands straight
    // into its file.
    warnings << QStringLiteral("\"Save poster...\" draws it at full size\nstraight into a file.");
  }
  LblWarning->setText(warnings.join(QLatin1Char('\n')));
}

void TMosaicOptionsForm::Browse() {
  const QString folder = ChooseFolder(EdiFolder->text());
  if (!folder.isEmpty()) EdiFolder->setText(folder);
}
