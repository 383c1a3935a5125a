// Unit MyDlgs.
#include "imagefiles/gui/PictureFileDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QToolTip>
#include <QVBoxLayout>
#include <exception>
#include <utility>

#include "app/InterfaceTexts.h"
#include "app/PathAndTextHelpers.h"
#include "display/ImgZoom.h"
#include "imagefiles/PictureInfo.h"

namespace {

// The preview area's designed size.
constexpr int kPanelWidth = 169, kPaintWidth = 165, kPaintHeight = 130, kSepWidth = 161;

TColor ToTColor(const QColor& c) { return RGBColor(c.red(), c.green(), c.blue()); }

// Shows the painted preview.
class TPaintBox : public QWidget {
 public:
  TPaintBox(const TBitmap& picture, QWidget* parent) : QWidget(parent), m_picture(picture) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    if (m_picture.Empty()) return;
    QPainter p(this);
    p.drawImage(0, 0, m_picture.Image());
  }

 private:
  const TBitmap& m_picture;
};

QString StripTrailingPatterns(const QString& description) {
  // "Alias/Wavefront (*.rla;*.rpf)": the toolkit shows the patterns itself.
  if (!description.endsWith(u')')) return description;
  const qsizetype open = description.lastIndexOf(QStringLiteral(" ("));
  if (open < 0 || !description.mid(open + 2).startsWith(u'*')) return description;
  return description.left(open);
}

}  // namespace

QStringList NameFiltersOf(const QString& filter) {
  const QStringList fields = filter.split(u'|');
  QStringList result;
  for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
    const QStringList patterns = fields[i + 1].split(u';', Qt::SkipEmptyParts);
    result.append(StripTrailingPatterns(fields[i]) + QStringLiteral(" (") + patterns.join(u' ') + u')');
  }
  return result;
}

QString ReplaceTypedExtension(const QString& typed, const QString& ext) {
  if (typed.isEmpty() || ext.isEmpty() || ext.contains(u'*') || ext.contains(u'?')) return typed;
  const qsizetype nameStart = typed.lastIndexOf(u'/') + 1;
  const qsizetype dot = typed.lastIndexOf(u'.');
  // A dot before the file-name part belongs to a folder; a name that starts
  // with its only dot (".hidden") has no extension either.
  if (dot > nameStart) return typed.left(dot) + ext;
  return typed + ext;
}

// ---------------------------------------------------------------------------

TOpenPictureDialog::TOpenPictureDialog(QWidget* parent) : QFileDialog(parent) {
  setOption(QFileDialog::DontUseNativeDialog);
  setFileMode(QFileDialog::ExistingFile);
  setAcceptMode(QFileDialog::AcceptOpen);

  PicturePanel = new QWidget(this);
  PicturePanel->setObjectName(QStringLiteral("PicturePanel"));
  PicturePanel->setMinimumWidth(kPanelWidth);
  auto* column = new QVBoxLayout(PicturePanel);
  column->setContentsMargins(6, 6, 6, 6);
  column->setSpacing(0);

  PreviewCheck = new QCheckBox(LangText(lsPreview), PicturePanel);
  PreviewCheck->setObjectName(QStringLiteral("PreviewCheck"));
  column->addWidget(PreviewCheck);
  column->addSpacing(8);

  PaintBox = new TPaintBox(PreviewBitmap, PicturePanel);
  PaintBox->setObjectName(QStringLiteral("PaintBox"));
  PaintBox->setFixedSize(kPaintWidth, kPaintHeight);
  column->addWidget(PaintBox);
  column->addSpacing(4);

  InfoLabel = new QLabel(LangText(lsImageProperties), PicturePanel);
  InfoLabel->setObjectName(QStringLiteral("InfoLabel"));
  QFont bold = InfoLabel->font();
  bold.setBold(true);
  InfoLabel->setFont(bold);
  column->addWidget(InfoLabel);
  column->addSpacing(2);

  SepPanel = new QFrame(PicturePanel);
  SepPanel->setObjectName(QStringLiteral("SepPanel"));
  SepPanel->setFrameShape(QFrame::NoFrame);
  SepPanel->setAutoFillBackground(true);
  SepPanel->setPalette(QPalette(Qt::black, Qt::black));
  SepPanel->setFixedSize(kSepWidth, 2);
  column->addWidget(SepPanel);
  column->addSpacing(6);

  PictureLabel = new QLabel(PicturePanel);
  PictureLabel->setObjectName(QStringLiteral("PictureLabel"));
  PictureLabel->setTextFormat(Qt::PlainText);
  PictureLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  column->addWidget(PictureLabel);
  column->addStretch(1);

  // Beside the file list, over the dialog's whole height.
  if (auto* grid = qobject_cast<QGridLayout*>(layout()))
    grid->addWidget(PicturePanel, 0, grid->columnCount(), grid->rowCount(), 1);

  connect(this, &QFileDialog::currentChanged, this, [this](const QString& path) { UpdatePreview(path); });
  connect(PreviewCheck, &QCheckBox::toggled, this, [this] {
    if (Showing) UpdatePreview(m_currentFile);
  });
  // The empty frame until a file is chosen.
  TBitmap none;
  DrawPreview(false, none);
}

void TOpenPictureDialog::SetFilter(const QString& filter, int filterIndex) {
  const QStringList filters = NameFiltersOf(filter);
  setNameFilters(filters);
  if (filterIndex >= 1 && filterIndex <= filters.size()) selectNameFilter(filters[filterIndex - 1]);
}

int TOpenPictureDialog::FilterIndex() const { return int(nameFilters().indexOf(selectedNameFilter())) + 1; }

bool TOpenPictureDialog::Preview() const { return PreviewCheck->isChecked(); }
void TOpenPictureDialog::SetPreview(bool preview) { PreviewCheck->setChecked(preview); }

bool TOpenPictureDialog::Execute() {
  QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
  const int result = exec();
  QGuiApplication::restoreOverrideCursor();
  Showing = false;
  return result == QDialog::Accepted && !selectedFiles().isEmpty();
}

void TOpenPictureDialog::showEvent(QShowEvent* event) {
  PictureLabel->clear();
  Showing = true;
  QFileDialog::showEvent(event);
}

void TOpenPictureDialog::done(int result) {
  Showing = false;
  QFileDialog::done(result);
  // A tip raised over the file list must not outlive the dialog.
  QToolTip::hideText();
}

void TOpenPictureDialog::UpdatePreview(const QString& name) {
  m_currentFile = name;
  PreviewFormat = pf24bit;
  const QFileInfo info(name);
  TPicturePreview preview;
  if (Preview() && !name.isEmpty() && info.exists() && !info.isDir() && selectedFiles().size() <= 1)
    preview = LoadPicturePreview(name);
  const bool ok = preview.Ok;
  if (ok) {
    PictureWidth = preview.Width;
    PictureHeight = preview.Height;
    PreviewFormat = preview.StoredFormat;
  }
  DrawPreview(ok, preview.Picture);
  QString text;
  try {
    text = InfoText(ok, name);
  } catch (const std::exception&) {
    text.clear();
  }
  PictureLabel->setText(text);
}

void TOpenPictureDialog::DrawPreview(bool ok, TBitmap& picture) {
  TBitmap area(PaintBox->width(), PaintBox->height(), pf24bit);
  if (ok)
    picture.SetPixelFormat(pf24bit);
  else
    picture = TBitmap();
  const TColor back = ToTColor(PicturePanel->palette().color(QPalette::Window));
  DrawFramedPicture(picture, area, clWhite, true, back, 4, 2);
  PreviewBitmap = std::move(area);
  PaintBox->update();
}

QString TOpenPictureDialog::InfoText(bool ok, const QString& name) const {
  if (!ok) return QString();
  const QLocale locale;
  const QDateTime modified = QFileInfo(name).lastModified();
  QString pixels = LangText(lsPixelSize);
  pixels.replace(QStringLiteral("%dx%d"), QStringLiteral("%1x%2"));
  const QStringList lines = {
      pixels.arg(PictureWidth).arg(PictureHeight),
      ColorDepthText(name, PreviewFormat),
      SizeToText(FileSizeOf(name), false),
      locale.toString(modified.date(), QLocale::ShortFormat) + u' ' +
          locale.toString(modified.time(), QLocale::ShortFormat),
  };
  return lines.join(u'\n');
}

// ---------------------------------------------------------------------------

TMySaveDialog::TMySaveDialog(QWidget* parent) : QFileDialog(parent) {
  setOption(QFileDialog::DontUseNativeDialog);
  setAcceptMode(QFileDialog::AcceptSave);
  setFileMode(QFileDialog::AnyFile);
  // Taken as the type changes, before the toolkit's own handling of the
  // choice: that swaps whatever follows the last dot for the new type's
  // extension, and so would turn ".hidden" into ".gif" before we see it.
  // What we leave ends with that extension already, so it stays.
  auto* types = findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
  connect(types, &QComboBox::currentIndexChanged, this, [this] {
    if (!m_settingFilter) DoTypeChange();
  });
}

void TMySaveDialog::SetFilter(const QString& filter, int filterIndex) {
  m_filter = filter;
  const QStringList filters = NameFiltersOf(filter);
  m_settingFilter = true;
  setNameFilters(filters);
  if (filterIndex >= 1 && filterIndex <= filters.size()) selectNameFilter(filters[filterIndex - 1]);
  m_settingFilter = false;
}

int TMySaveDialog::FilterIndex() const { return int(nameFilters().indexOf(selectedNameFilter())) + 1; }

QString TMySaveDialog::TypedName() const {
  const auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  return edit ? edit->text() : QString();
}

void TMySaveDialog::SetTypedName(const QString& name) {
  if (auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) edit->setText(name);
}

void TMySaveDialog::DoTypeChange() {
  const QString typed = TypedName();
  if (typed.isEmpty()) return;
  const QString ext = MaskToExt(FilterField(m_filter, FilterIndex(), true));
  SetTypedName(ReplaceTypedExtension(typed, ext));
}

// ---------------------------------------------------------------------------

bool TGuiPictureFileDialogs::RunOpenDialog(QString& fileName, const QString& filter, int& filterIndex,
                                           const QString& initialDir, bool& previewEnabled) {
  bool chosen = false;
  {
    TOpenPictureDialog dialog(QApplication::activeWindow());
    dialog.SetFilter(filter, filterIndex);
    if (!initialDir.isEmpty()) dialog.setDirectory(initialDir);
    dialog.SetPreview(previewEnabled);
    chosen = dialog.Execute();
    previewEnabled = dialog.Preview();
    filterIndex = dialog.FilterIndex();
    if (chosen) fileName = dialog.selectedFiles().constFirst();
  }
  // The window behind repaints before the picture is decoded.
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  return chosen;
}

bool TGuiPictureFileDialogs::RunSaveDialog(QString& fileName, const QString& filter, int filterIndex,
                                           const QString& initialDir, const QString& defaultExt) {
  bool chosen = false;
  {
    TMySaveDialog dialog(QApplication::activeWindow());
    dialog.SetFilter(filter, filterIndex);
    QString suffix = defaultExt.section(u';', 0, 0);
    if (suffix.startsWith(u'.')) suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);
    if (!initialDir.isEmpty()) dialog.setDirectory(initialDir);
    if (!fileName.isEmpty()) dialog.selectFile(fileName);
    chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    if (chosen) fileName = dialog.selectedFiles().constFirst();
  }
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  return chosen;
}

namespace {

TPictureFileDialogs* g_dialogs = nullptr;

TPictureFileDialogs& Dialogs() {
  static TGuiPictureFileDialogs own;
  return g_dialogs ? *g_dialogs : own;
}

}  // namespace

TPictureFileDialogs* SetPictureFileDialogs(TPictureFileDialogs* dialogs) { return std::exchange(g_dialogs, dialogs); }

bool ChooseSaveFile(QString& fileName, const QString& filter, const QString& initialDir, const QString& defaultExt) {
  return Dialogs().RunSaveDialog(fileName, filter, 1, initialDir, defaultExt);
}

int OpenPictureDialog(TPictureFileContext& context, QString& fileName, TBitmap& bitmap, const QString& initialDir) {
  if (fileName.isEmpty()) {
    bool preview = context.PreviewEnabled;
    int filterIndex = context.OpenFilterIndex;
    QString chosen;
    if (Dialogs().RunOpenDialog(chosen, BuildOpenFilter(), filterIndex, initialDir, preview)) fileName = chosen;
    context.PreviewEnabled = preview;
    context.OpenFilterIndex = filterIndex;
  }
  return LoadPicture(context, fileName, bitmap);
}

int SavePictureDialog(TPictureFileContext& context, QString& fileName, const TBitmap& bitmap,
                      const QString& suggestion) {
  if (fileName.isEmpty()) {
    int filterIndex = 1;
    QString initialDir, name;
    if (!suggestion.isEmpty()) {
      if (QFileInfo(suggestion).isDir()) {
        initialDir = suggestion;
      } else {
        const int i = SaveFormatIndex(suggestion);
        name = suggestion;
        if (i < 0) {
          const QString ext = LowerExtension(suggestion);
          name.chop(ext.size());
        } else {
          filterIndex = i + 1;
        }
      }
    }
    if (Dialogs().RunSaveDialog(name, BuildSaveFilter(), filterIndex, initialDir, SaveFormats()[0].Extensions))
      fileName = name;
  }
  return SavePicture(context, fileName, bitmap);
}
