// Grabs the program's dialogs and controls to PNG files.
//   tesselune-grab-dialogs OUTPUT_DIR      (offscreen unless QT_QPA_PLATFORM says otherwise)
// The open dialog previews sample.jpg when it lies beside this program (the
// build puts it there), otherwise a picture made on the spot.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "app/InterfaceTexts.h"
#include "app/gui/MsgDlgForm.h"
#include "app/gui/SelDir.h"
#include "controls/gui/PrevNextBtn.h"
#include "controls/gui/SpecialEdit.h"
#include "controls/gui/SpinEdits.h"
#include "dialogs/gui/AboutBox.h"
#include "dialogs/gui/ImageSizeDialog.h"
#include "dialogs/gui/MosaicOptions.h"
#include "dialogs/gui/MosaicReport.h"
#include "dialogs/gui/PrintCancelWindow.h"
#include "dialogs/gui/PrintLayoutDialog.h"
#include "imagefiles/gui/JPGCompress.h"
#include "imagefiles/gui/PictureFileDialogs.h"
#include "shell/gui/MainForm.h"

namespace {

QDir g_out;
int g_failures = 0;

void Save(QWidget& widget, const char* name) {
  widget.show();
  QApplication::processEvents();
  const QString path = g_out.filePath(QString::fromLatin1(name));
  if (!widget.grab().save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    ++g_failures;
    return;
  }
  std::printf("%s\n", qPrintable(path));
}

// A widget of several controls, each captioned.
class TSheet : public QWidget {
 public:
  TSheet() : m_form(new QFormLayout(this)) { setAutoFillBackground(true); }
  template <class W>
  W* Add(const char* caption, W* widget) {
    m_form->addRow(QString::fromLatin1(caption), widget);
    return widget;
  }

 private:
  QFormLayout* m_form;
};

void GrabArrowButtons() {
  QWidget sheet;
  sheet.setAutoFillBackground(true);
  int x = 8;
  for (TPNStyle s : {stDown, stUp, stLeft, stRight}) {
    auto* b = new TPrevNextButton(&sheet);
    b->SetStyle(s);
    b->setGeometry(x, 8, 21, 21);
    x += 29;
  }
  auto* off = new TPrevNextButton(&sheet);
  off->setGeometry(x, 8, 21, 21);
  off->setEnabled(false);
  sheet.resize(x + 29, 37);
  Save(sheet, "arrow-buttons.png");
}

void GrabValueEdits(QMenu& zoom) {
  TSheet sheet;
  auto* size = sheet.Add("Cell size", new TSpecialEdit);
  QMenu sizes;
  for (const char* s : {"10 pixels", "15 pixels", "20 pixels", "40 pixels"}) sizes.addAction(QString::fromLatin1(s));
  size->SetDropDownMenu(&sizes);
  size->SetItemIndex(2);
  size->SetShowButton(true);
  auto* edit = sheet.Add("Zoom", new TSpecialEdit);
  edit->SetDropDownMenu(&zoom);
  edit->SetItemIndex(0);
  edit->SetShowButton(true);
  auto* path = sheet.Add("Shortened path", new TSpecialEdit);
  path->SetMinimizeText(true);
  path->SetText(QStringLiteral("/home/someone/pictures/holidays/2026/beach.jpg"));
  path->setMinimumWidth(160);
  auto* disabled = sheet.Add("Disabled", new TSpecialEdit);
  disabled->SetText(QStringLiteral("40 pixels"));
  disabled->SetShowButton(true);
  disabled->SetDisabledColor(clBtnFace);
  disabled->setEnabled(false);
  Save(sheet, "value-edits.png");

  edit->SetItemIndex(3);
  zoom.popup(QPoint(0, 0));
  Save(zoom, "value-edit-menu.png");
  zoom.hide();
}

void GrabSpinEdits() {
  TSheet sheet;
  auto* copies = sheet.Add("Copies", new TSpinEdit2);
  copies->SetMinValue(1);
  copies->SetMaxValue(99);
  copies->SetValue(2);
  auto* width = sheet.Add("Width", new TFloatSpinEdit);
  width->SetValue(21.5);
  auto* french = new TFloatSpinEdit;
  french->setLocale(QLocale(QLocale::French, QLocale::France));
  french->SetValue(14.25);
  sheet.Add("Width (fr_FR)", french);
  auto* fixed = sheet.Add("Stepping only", new TSpinEdit2);
  fixed->SetValue(5);
  fixed->SetEditorEnabled(false);
  auto* off = sheet.Add("Disabled", new TFloatSpinEdit);
  off->setEnabled(false);
  Save(sheet, "spin-edits.png");
}

void GrabMessages() {
  TMsgDlgForm question({QStringLiteral("Save changes before continuing ?"), mkConfirmation, btYes | btNo | btCancel,
                        MsgHeading(mkConfirmation, QString())});
  Save(question, "message-question.png");
  TMsgDlgForm error(
      {QString(LangText(lsLoadError)).replace(QStringLiteral("%s"), QStringLiteral("/home/someone/broken.png")),
       mkError, btOk, MsgHeading(mkError, QString())});
  Save(error, "message-error.png");
  TMsgDlgForm warning(
      {QStringLiteral("No thumbnail in the list !"), mkWarning, btOk, MsgHeading(mkWarning, QString())});
  Save(warning, "message-warning.png");
  TMsgDlgForm subFolders({QStringLiteral("No thumbnail in the list !\nFolder \"/home/someone/Pictures\": holds no PNG, "
                                         "JPEG, BMP or GIF file\n420 pictures in sub-folders: include sub-folders?"),
                          mkConfirmation, btYes | btNo, MsgHeading(mkConfirmation, QString())});
  Save(subFolders, "message-subfolders.png");
}

void GrabModal(const char* name, const std::function<void()>& run) {
  QTimer::singleShot(300, [name] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) {
      std::fprintf(stderr, "no dialog for %s\n", name);
      ++g_failures;
      return;
    }
    Save(*modal, name);
    modal->close();
  });
  run();
}

void GrabFileDialogs(const QDir& pictures) {
  QTemporaryDir tmp;
  QString sample = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("sample.jpg"));
  if (!QFileInfo::exists(sample)) {
    sample = tmp.filePath(QStringLiteral("sample.jpg"));
    QImage made(640, 480, QImage::Format_RGB888);
    QPainter p(&made);
    p.fillRect(made.rect(), QColor(40, 90, 200));
    p.fillRect(QRect(120, 100, 400, 280), QColor(250, 200, 60));
    p.end();
    TBitmap bitmap;
    bitmap.SetImage(made.convertToFormat(QImage::Format_BGR888), pf24bit);
    TPictureFileContext files;
    SavePicture(files, sample, bitmap);
  }
  TOpenPictureDialog open;
  open.SetFilter(BuildOpenFilter());
  open.setDirectory(QFileInfo(sample).absolutePath());
  open.SetPreview(true);
  open.resize(760, 440);
  open.show();
  open.selectFile(sample);
  open.UpdatePreview(sample);
  Save(open, "open-dialog.png");

  TMySaveDialog save;
  save.SetFilter(BuildSaveFilter(), 3);
  save.setDirectory(pictures.absolutePath());
  save.SetTypedName(QStringLiteral("mosaic.jpg"));
  save.resize(620, 400);
  Save(save, "save-dialog.png");

  GrabModal("folder-chooser.png",
            [&] { SelectFolder(QStringLiteral("Thumbnails folder :"), pictures.absolutePath()); });
}

// The print layout on an A4 page written to a file (no print system needed),
// laid out for a landscape picture, and the cancel window of a job.
void GrabImageSize() {
  const TBitmap picture(640, 480, pf24bit);
  TRedimForm form;
  GrabModal("image-size.png", [&] { form.Execute(picture); });
}

// The mosaic options in the matched mode, with a poster whose tiles print
// under 1 cm.
void GrabMosaicOptions() {
  TMosaicOptions options;
  options.ThumbnailsFolder = QStringLiteral("/home/user/Pictures/Thumbnails");
  options.MatchColours = true;
  options.MaxUses = 3;
  options.CheckSize = false;
  TMosaicOptionsForm form;
  form.Prepare(options, 800, 600, false);
  form.CBPoster->setChecked(true);
  form.SpPosterWidth->setValue(30);
  form.SpPosterHeight->setValue(20);
  Save(form, "mosaic-options.png");
  // A poster beyond the largest scale: saved at full size from the dialog.
  form.SpPosterWidth->setValue(120);
  form.SpPosterHeight->setValue(80);
  form.SpDpi->setValue(300);
  // Shown already: the longer warning lays the dialog out again first.
  QApplication::processEvents();
  form.adjustSize();
  Save(form, "mosaic-options-poster.png");
}

// The Action menu with every command offered (as after a matched mosaic),
// and the question that ends an exported page.
void GrabMosaicExports() {
  QTemporaryDir dir;
  TMainForm window(QStringList(), nullptr, dir.path());
  for (QAction* a : window.MenuAction->actions()) a->setEnabled(true);
  window.show();
  QApplication::processEvents();
  window.MenuAction->popup(window.mapToGlobal(QPoint(0, 0)));
  Save(*window.MenuAction, "action-menu.png");
  window.MenuAction->hide();
  TMsgDlgForm question({QStringLiteral("The zoomable page is written:\n/home/someone/Pictures/page/index.html\n"
                                       "Open it in the browser?"),
                        mkConfirmation, btYes | btNo, MsgHeading(mkConfirmation, QString())});
  Save(question, "export-question.png");
}

// The report of a matched mosaic of a few thousand cells from a library of
// a few hundred photos.
void GrabMosaicReport() {
  TMosaicQuality quality;
  quality.Far = {2.8, 6.1};
  quality.Near = {9.4, 18.7};
  quality.Cells = 4800;
  quality.PhotosUsed = 412;
  quality.MostUses = 31;
  quality.MeanTint = 12.6;
  TMosaicReportForm form;
  form.Prepare(quality, 450);
  Save(form, "mosaic-report.png");
}

void GrabPrinting() {
  QTemporaryDir dir;
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(dir.filePath(QStringLiteral("page.pdf")));
  printer.setPageSize(QPageSize(QPageSize::A4));
  TBitmap picture(640, 480, pf24bit);
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) picture.SetPixel(x, y, RGBColor(x * 255 / 639, y * 255 / 479, 160));
  TImprForm print(printer, false);
  print.CBTraits->setChecked(true);
  if (!print.Prepare(&picture, QStringLiteral("photo.jpg"))) {
    std::fprintf(stderr, "cannot lay out the print page\n");
    ++g_failures;
    return;
  }
  Save(print, "print.png");
  TAnnulerForm cancel;
  Save(cancel, "print-cancel.png");
}

}  // namespace

int main(int argc, char** argv) {
  // Offscreen unless the caller chose a platform: no desktop is needed.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: tesselune-grab-dialogs OUTPUT_DIR\n");
    return 2;
  }
  g_out = QDir(QString::fromLocal8Bit(argv[1]));
  if (!g_out.mkpath(QStringLiteral("."))) {
    std::fprintf(stderr, "cannot create %s\n", argv[1]);
    return 1;
  }
  // As the program runs: the start-up switch to English.
  SetEnglishTexts();

  GrabArrowButtons();
  QMenu zoom;
  zoom.addAction(QStringLiteral("<Auto>"));
  zoom.addSeparator();
  for (const char* s : {"33%  (1:3)", "50%  (1:2)", "100%  (1:1)", "200%  (2:1)", "400%  (4:1)"})
    zoom.addAction(QString::fromLatin1(s));
  GrabValueEdits(zoom);
  GrabSpinEdits();
  GrabMessages();

  TAProposForm about;
  Save(about, "about.png");
  TJPGCompressForm jpeg;
  Save(jpeg, "jpeg-options.png");
  GrabImageSize();
  GrabMosaicOptions();
  GrabMosaicReport();
  GrabMosaicExports();
  GrabPrinting();

  const QString thumbnails = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Thumbnails"));
  GrabFileDialogs(QDir(QFileInfo::exists(thumbnails) ? thumbnails : QDir::currentPath()));
  return g_failures == 0 ? 0 : 1;
}
