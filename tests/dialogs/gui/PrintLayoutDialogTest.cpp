// The print layout dialog driven by keyboard and mouse, and print jobs on the
// real print system checked in the PDF files the queue writes.
#include "dialogs/gui/PrintLayoutDialog.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "MissingPiece.h"
#include "TestBitmaps.h"
#include "app/MyMsgDlg.h"
#include "controls/gui/SpinEdits.h"
#include "dialogs/gui/PrintCancelWindow.h"
#include "dialogs/gui/PrintJob.h"

using testing_bitmaps::Solid;

namespace {

// Runs a tool and returns its standard output; empty when it failed.
QString RunTool(const QString& program, const QStringList& args, int* exitCode = nullptr) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit) return {};
  if (exitCode) *exitCode = p.exitCode();
  return QString::fromUtf8(p.readAllStandardOutput());
}

constexpr TColor Red = RGBColor(255, 0, 0);
constexpr TColor Blue = RGBColor(0, 0, 255);

// Left half red, right half blue.
TBitmap Halves(int w, int h) {
  TBitmap b = Solid(w, h, Red);
  for (int y = 0; y < h; ++y)
    for (int x = w / 2; x < w; ++x) b.SetPixel(x, y, Blue);
  return b;
}

// The dialog on a printer, with the messages it shows recorded and answered.
class ImprFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    m_previous = SetMsgPresenter([this](const TMsgRequest& r) {
      Messages.push_back(r);
      return int(idOk);
    });
  }
  void TearDown() override {
    Form.reset();
    SetMsgPresenter(m_previous);
  }

  // A printer writing a PDF file: always there, with a known A4 page.
  void UseFilePrinter(const QString& file) {
    FilePrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
    FilePrinter->setOutputFormat(QPrinter::PdfFormat);
    FilePrinter->setOutputFileName(file);
    FilePrinter->setPageSize(QPageSize(QPageSize::A4));
  }

  // Lays `image` out and shows the dialog, focused.
  void Show(QPrinter& printer, const TBitmap& image, const QString& file = QStringLiteral("/pictures/photo.png")) {
    Image = image;
    Form = std::make_unique<TImprForm>(printer, false);
    ASSERT_TRUE(Form->Prepare(&Image, file));
    Form->show();
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
  }

  // Replaces the field's text by typing and presses Enter in it.
  static void Enter(QLineEdit* field, const QString& text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
    QTest::keyClick(field, Qt::Key_Return);
  }

  void Uncenter() {
    QTest::mouseClick(Form->CBCentrer, Qt::LeftButton, {}, QPoint(6, Form->CBCentrer->height() / 2));
    ASSERT_FALSE(Form->CBCentrer->isChecked());
  }

  // The job of the dialog closed with OK, as the window runs it.
  int Print(TAnnulerForm& cancel) { return RunPrintJob(Form->Printer(), Form->JobParams(), Image, cancel); }

  static QString Shown(double v) { return FormatFloat(QStringLiteral("0.00"), v); }

  std::vector<TMsgRequest> Messages;
  std::unique_ptr<QPrinter> FilePrinter;
  std::unique_ptr<TImprForm> Form;
  TBitmap Image;
  QTemporaryDir Dir;

 private:
  TMsgPresenter m_previous;
};

// ---------------------------------------------------------------- layout

struct OrientationCase {
  int Width, Height;
  bool Portrait;
};

class ImprOrientationTest : public ImprFixture, public ::testing::WithParamInterface<OrientationCase> {};

TEST_P(ImprOrientationTest, PageFollowsThePictureAndThePreviewShowsItCentred) {
  const OrientationCase c = GetParam();
  SCOPED_TRACE(testing::Message() << c.Width << " x " << c.Height);
  UseFilePrinter(Dir.filePath("o.pdf"));
  ASSERT_NO_FATAL_FAILURE(Show(*FilePrinter, Solid(c.Width, c.Height, Red)));
  EXPECT_EQ(FilePrinter->pageLayout().orientation(), c.Portrait ? QPageLayout::Portrait : QPageLayout::Landscape);
  EXPECT_EQ(Form->Page.WidthPx < Form->Page.HeightPx, c.Portrait);
  EXPECT_EQ(std::max(Form->Preview.Width, Form->Preview.Height), 225);
  EXPECT_EQ(Form->LblProp->text(), QStringLiteral("%1 x %2 pixels").arg(c.Width).arg(c.Height));
  EXPECT_EQ(Form->LabelZoom->text(), QStringLiteral("Scale : %1%").arg(Form->ScrollBarZoom->value() * 10));
  EXPECT_EQ(QApplication::focusWidget(), Form->BImprimer);

  // The starting scale, centred: the fields say so in centimetres.
  EXPECT_DOUBLE_EQ(Form->PrintScale, InitialPrintScale(FitFactor(c.Width, c.Height, Form->Page)));
  EXPECT_EQ(Form->SEL->text(), Shown(UnitFromPixels(Form->Page, Form->PageZoom.ZoomWidth(), true)));
  EXPECT_EQ(Form->SEX->text(),
            Shown(UnitFromPixels(Form->Page, (Form->Page.WidthPx - Form->PageZoom.ZoomWidth()) / 2, true)));
  EXPECT_FALSE(Form->GBMarges->isEnabled());
  EXPECT_TRUE(Form->GBTaille->isEnabled());

  // The preview: the picture in the middle of a white page.
  const QImage shot = Form->grab().toImage();
  const TRect pic = Form->PreviewZoom.PictureRect();
  EXPECT_EQ(shot.pixelColor((pic.Left + pic.Right) / 2, (pic.Top + pic.Bottom) / 2), QColor(255, 0, 0));
  EXPECT_EQ(shot.pixelColor(19, 19), QColor(Qt::white));
  EXPECT_EQ(shot.pixelColor(16 + Form->Preview.Width / 2, 16 + Form->Preview.Height - 3), QColor(Qt::white));
}

INSTANTIATE_TEST_SUITE_P(Pictures, ImprOrientationTest,
                         ::testing::Values(OrientationCase{640, 480, false}, OrientationCase{480, 640, true},
                                           OrientationCase{500, 500, false}),
                         [](const auto& info) {
                           return std::to_string(info.param.Width) + "x" + std::to_string(info.param.Height);
                         });

using ImprFormTest = ImprFixture;

TEST_F(ImprFormTest, FitToPageDisablesScaleSizeAndCentringUntilUnchecked) {
  UseFilePrinter(Dir.filePath("f.pdf"));
  ASSERT_NO_FATAL_FAILURE(Show(*FilePrinter, Solid(640, 480, Red)));
  QTest::mouseClick(Form->CBAjuster, Qt::LeftButton, {}, QPoint(6, Form->CBAjuster->height() / 2));
  ASSERT_TRUE(Form->CBAjuster->isChecked());
  EXPECT_TRUE(Form->CBCentrer->isChecked());
  for (QWidget* w : std::initializer_list<QWidget*>{Form->CBCentrer, Form->ScrollBarZoom, Form->LabelZoom,
                                                    Form->GBTaille, Form->SEL, Form->BOkTaille, Form->GBMarges}) {
    SCOPED_TRACE(w->metaObject()->className());
    EXPECT_FALSE(w->isEnabled());
  }
  EXPECT_DOUBLE_EQ(Form->PrintScale, FitFactor(640, 480, Form->Page));
  // The picture fills the page's height.
  EXPECT_EQ(Form->SEH->text(), Shown(Form->Page.HeightUnit));
  EXPECT_EQ(Form->SEY->text(), Shown(0));

  QTest::mouseClick(Form->CBAjuster, Qt::LeftButton, {}, QPoint(6, Form->CBAjuster->height() / 2));
  for (QWidget* w :
       std::initializer_list<QWidget*>{Form->CBCentrer, Form->ScrollBarZoom, Form->GBTaille, Form->BOkTaille})
    EXPECT_TRUE(w->isEnabled());
  EXPECT_FALSE(Form->GBMarges->isEnabled());
}

TEST_F(ImprFormTest, EnterAppliesTheFieldItWasPressedIn) {
  UseFilePrinter(Dir.filePath("e.pdf"));
  ASSERT_NO_FATAL_FAILURE(Show(*FilePrinter, Solid(640, 480, Red)));
  const TPageGeometry& page = Form->Page;

  // Typing a width changes the height at once; Enter applies the size.
  Form->SEL->setFocus();
  Form->SEL->selectAll();
  QTest::keyClicks(Form->SEL, QStringLiteral("10"));
  EXPECT_EQ(Form->SEH->text(), Shown(7.5));
  const int before = Form->PageZoom.ZoomWidth();
  QTest::keyClick(Form->SEL, Qt::Key_Return);
  EXPECT_NE(Form->PageZoom.ZoomWidth(), before);
  EXPECT_NEAR(Form->PageZoom.ZoomWidth(), PixelsFromUnit(page, true, 10), 1);
  EXPECT_EQ(Form->SEL->text(), Shown(10));
  EXPECT_FALSE(Form->SizeEdited);
  // Still centred with the new size.
  EXPECT_EQ(Form->SEX->text(), Shown(UnitFromPixels(page, (page.WidthPx - Form->PageZoom.ZoomWidth()) / 2, true)));

  Enter(Form->SEH, QStringLiteral("6"));
  EXPECT_EQ(Form->SEL->text(), Shown(8));
  EXPECT_NEAR(Form->PageZoom.ZoomHeight(), PixelsFromUnit(page, false, 6), 1);

  ASSERT_NO_FATAL_FAILURE(Uncenter());
  EXPECT_TRUE(Form->GBMarges->isEnabled());
  Enter(Form->SEX, QStringLiteral("2"));
  EXPECT_EQ(Form->PageZoom.Left(), PixelsFromUnit(page, true, 2));
  EXPECT_EQ(Form->PreviewZoom.Left(), RoundEven(Form->PageZoom.Left() * Form->Preview.Scale) + 16);
  Enter(Form->SEY, QStringLiteral("3"));
  EXPECT_EQ(Form->PageZoom.Top(), PixelsFromUnit(page, false, 3));
  EXPECT_EQ(Form->SEY->text(), Shown(3));

  // In the copies Enter only is swallowed; nowhere does it close the dialog.
  Enter(Form->SECopies, QStringLiteral("5"));
  EXPECT_EQ(Form->SECopies->text(), QStringLiteral("5"));
  EXPECT_TRUE(Form->isVisible());
  EXPECT_TRUE(Messages.empty());

  // Escape closes it as cancelled.
  QTest::keyClick(Form->SEL, Qt::Key_Escape);
  EXPECT_FALSE(Form->isVisible());
  EXPECT_EQ(Form->result(), 2);
}

TEST_F(ImprFormTest, ScaleBarScalesAndSetupStartsTheLayoutAfresh) {
  UseFilePrinter(Dir.filePath("u.pdf"));
  ASSERT_NO_FATAL_FAILURE(Show(*FilePrinter, Solid(640, 480, Red)));
  const double initial = Form->PrintScale;
  const int position = Form->ScrollBarZoom->value();
  // A click on the bar's left arrow: one step, 10 %, down.
  QTest::mouseClick(Form->ScrollBarZoom, Qt::LeftButton, {}, QPoint(4, Form->ScrollBarZoom->height() / 2));
  ASSERT_EQ(Form->ScrollBarZoom->value(), position - 1);
  EXPECT_DOUBLE_EQ(Form->PrintScale, (position - 1) / 10.0);
  EXPECT_EQ(Form->LabelZoom->text(), QStringLiteral("Scale : %1%").arg((position - 1) * 10));
  EXPECT_EQ(Form->PageZoom.ZoomWidth(), RoundEven(640 * Form->PrintScale));
  ASSERT_NO_FATAL_FAILURE(Uncenter());

  // The setup dialog is closed without a change: the layout starts afresh.
  bool setupShown = false;
  QTimer::singleShot(200, Form.get(), [&] {
    if (QWidget* setup = QApplication::activeModalWidget(); setup && setup != Form.get()) {
      setupShown = true;
      QTest::keyClick(setup, Qt::Key_Escape);
    }
  });
  QTest::mouseClick(Form->BConfigurer, Qt::LeftButton);
  EXPECT_TRUE(setupShown);
  EXPECT_DOUBLE_EQ(Form->PrintScale, initial);
  EXPECT_EQ(Form->ScrollBarZoom->value(), position);
  EXPECT_TRUE(Form->CBCentrer->isChecked());
  EXPECT_FALSE(Form->GBMarges->isEnabled());
}

struct RangeCase {
  const char* Name;
  int Field;  // 0 SEL, 1 SEH, 2 SEX, 3 SEY
  const char* Text;
  const char* Message;  // its beginning
};

class ImprRangeTest : public ImprFixture, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(ImprRangeTest, OutOfRangeFieldIsReportedFocusedAndSelected) {
  const RangeCase c = GetParam();
  SCOPED_TRACE(c.Name);
  UseFilePrinter(Dir.filePath("r.pdf"));
  // A square picture on a landscape page: the height can overflow alone.
  ASSERT_NO_FATAL_FAILURE(Show(*FilePrinter, Solid(500, 500, Red)));
  ASSERT_NO_FATAL_FAILURE(Uncenter());
  TFloatSpinEdit* fields[] = {Form->SEL, Form->SEH, Form->SEX, Form->SEY};
  const int zoomWidth = Form->PageZoom.ZoomWidth();
  Enter(fields[c.Field], QString::fromLatin1(c.Text));

  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Kind, mkWarning);
  EXPECT_TRUE(Messages[0].Text.startsWith(QString::fromLatin1(c.Message))) << Messages[0].Text.toStdString();
  EXPECT_EQ(QApplication::focusWidget(), fields[c.Field]);
  EXPECT_EQ(fields[c.Field]->selectedText(), fields[c.Field]->text());
  EXPECT_FALSE(fields[c.Field]->text().isEmpty());
  // Nothing was applied.
  EXPECT_EQ(Form->PageZoom.ZoomWidth(), zoomWidth);
}

INSTANTIATE_TEST_SUITE_P(Fields, ImprRangeTest,
                         ::testing::Values(RangeCase{"narrow", 0, "0.5", "The width must lie between 1.00 and "},
                                           RangeCase{"wide", 0, "40", "The width must lie between 1.00 and "},
                                           RangeCase{"tall", 1, "21", "The height must lie between 1.00 and "},
                                           RangeCase{"left", 2, "25", "The left margin must be lower or equal to "},
                                           RangeCase{"top", 3, "19", "The top margin must be lower or equal to "}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(ImprFormTest, LargePageSizesKeepBothDecimals) {
  UseFilePrinter(Dir.filePath("a0.pdf"));
  FilePrinter->setPageSize(QPageSize(QPageSize::A0));
  ASSERT_NO_FATAL_FAILURE(Show(*FilePrinter, Solid(2000, 500, Red)));
  QTest::mouseClick(Form->CBAjuster, Qt::LeftButton, {}, QPoint(6, Form->CBAjuster->height() / 2));
  ASSERT_GT(Form->Page.WidthUnit, 100);
  EXPECT_EQ(Form->SEL->text(), Shown(UnitFromPixels(Form->Page, Form->PageZoom.ZoomWidth(), true)));
  EXPECT_EQ(Form->SEL->text().size(), 6);
}

TEST_F(ImprFormTest, BoundsAreAnnouncedNeverAboveTheTruth) {
  UseFilePrinter(Dir.filePath("b.pdf"));
  ASSERT_NO_FATAL_FAILURE(Show(*FilePrinter, Solid(500, 500, Red)));
  Enter(Form->SEL, QStringLiteral("40"));
  ASSERT_EQ(Messages.size(), 1u);
  const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("and ([0-9.]+) !$")).match(Messages[0].Text);
  ASSERT_TRUE(m.hasMatch()) << Messages[0].Text.toStdString();
  const double bound = m.captured(1).toDouble();
  EXPECT_LE(bound, Form->Page.WidthUnit);
  EXPECT_GT(bound, Form->Page.WidthUnit - 0.011);
}

TEST_F(ImprFormTest, EmptyFieldStopsPrintAndTakesTheFocus) {
  UseFilePrinter(Dir.filePath("m.pdf"));
  ASSERT_NO_FATAL_FAILURE(Show(*FilePrinter, Solid(640, 480, Red)));
  ASSERT_NO_FATAL_FAILURE(Uncenter());
  Form->SEY->setFocus();
  Form->SEY->selectAll();
  QTest::keyClick(Form->SEY, Qt::Key_Backspace);
  QTest::mouseClick(Form->BImprimer, Qt::LeftButton);
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Text, QStringLiteral("Complete all the fields before continuing !"));
  EXPECT_EQ(QApplication::focusWidget(), Form->SEY);
  EXPECT_TRUE(Form->isVisible());
}

struct CopiesCase {
  const char* Typed;
  int Copies;
  bool FocusLeaves;
};

class ImprCopiesTest : public ImprFixture, public ::testing::WithParamInterface<CopiesCase> {};

TEST_P(ImprCopiesTest, CopiesAreClampedWhicheverWayPrintIsPressed) {
  const CopiesCase c = GetParam();
  SCOPED_TRACE(testing::Message() << c.Typed << (c.FocusLeaves ? " mouse" : " focus kept"));
  UseFilePrinter(Dir.filePath("c.pdf"));
  ASSERT_NO_FATAL_FAILURE(Show(*FilePrinter, Solid(640, 480, Red)));
  Form->SECopies->setFocus();
  Form->SECopies->selectAll();
  QTest::keyClicks(Form->SECopies, QString::fromLatin1(c.Typed));
  if (c.FocusLeaves)
    QTest::mouseClick(Form->BImprimer, Qt::LeftButton);
  else
    Form->BImprimer->click();  // as by an accelerator: the field keeps the focus
  EXPECT_EQ(Form->result(), 1);
  EXPECT_EQ(Form->Copies(), c.Copies);
  EXPECT_EQ(Form->SECopies->text(), QString::number(c.Copies));
}

INSTANTIATE_TEST_SUITE_P(Typed, ImprCopiesTest,
                         ::testing::Values(CopiesCase{"250", 100, true}, CopiesCase{"250", 100, false},
                                           CopiesCase{"0", 1, false}, CopiesCase{"7", 7, false}),
                         [](const auto& info) {
                           return std::string(info.param.Typed) + (info.param.FocusLeaves ? "_mouse" : "_focus_kept");
                         });

TEST_F(ImprFormTest, SignKeysAreRefusedInTheFields) {
  UseFilePrinter(Dir.filePath("s.pdf"));
  ASSERT_NO_FATAL_FAILURE(Show(*FilePrinter, Solid(640, 480, Red)));
  int beeps = 0;
  Form->SEL->OnBeep = [&] { ++beeps; };
  Form->SEL->setFocus();
  Form->SEL->setCursorPosition(0);
  const QString before = Form->SEL->text();
  QTest::keyClicks(Form->SEL, QStringLiteral("-+"));
  EXPECT_EQ(Form->SEL->text(), before);
  EXPECT_EQ(beeps, 2);
}

// ---------------------------------------------------------------- failures

TEST_F(ImprFormTest, PrinterThatCannotStartReportsAndClosesTheCancelWindow) {
  UseFilePrinter(Dir.filePath("no-such-folder/x.pdf"));
  ASSERT_NO_FATAL_FAILURE(Show(*FilePrinter, Solid(640, 480, Red)));
  QTest::mouseClick(Form->BImprimer, Qt::LeftButton);
  ASSERT_EQ(Form->result(), 1);
  TAnnulerForm cancel;
  EXPECT_EQ(Print(cancel), -1);
  EXPECT_FALSE(cancel.isVisible());
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Kind, mkError);
  EXPECT_TRUE(Messages[0].Text.contains(QStringLiteral("could not start the document")));
  EXPECT_FALSE(QFileInfo::exists(Dir.filePath("no-such-folder/x.pdf")));
}

TEST_F(ImprFormTest, FilePrinterGetsEveryCopyLosslessWhenItCannotMakeThem) {
  const QString out = Dir.filePath("copies.pdf");
  UseFilePrinter(out);
  if (FilePrinter->supportsMultipleCopies()) GTEST_SKIP() << "this PDF printer makes copies itself";
  int code = -1;
  RunTool(QStringLiteral("pdfinfo"), {QStringLiteral("-v")}, &code);
  if (code != 0) MISSING_PIECE("pdfinfo is not installed (poppler-utils, scripts/install-deps.sh)");
  ASSERT_NO_FATAL_FAILURE(Show(*FilePrinter, Solid(640, 480, Red)));
  Enter(Form->SECopies, QStringLiteral("3"));
  QTest::mouseClick(Form->BImprimer, Qt::LeftButton);
  TAnnulerForm cancel;
  ASSERT_EQ(Print(cancel), 1);
  EXPECT_TRUE(RunTool(QStringLiteral("pdfinfo"), {out}).contains(QRegularExpression(QStringLiteral("Pages:\\s+3\\n"))));
  EXPECT_EQ(FilePrinter->copyCount(), 1);
  // Each page holds the picture at its own size, not as a JPEG.
  const QStringList images =
      RunTool(QStringLiteral("pdfimages"), {QStringLiteral("-list"), out}).split('\n', Qt::SkipEmptyParts).mid(2);
  ASSERT_EQ(images.size(), 3);
  for (const QString& line : images) {
    const QStringList cols = line.simplified().split(' ');
    ASSERT_GE(cols.size(), 9);
    EXPECT_EQ(cols[3] + 'x' + cols[4], QStringLiteral("640x480"));
    EXPECT_NE(cols[8], QStringLiteral("jpeg")) << line.toStdString();
  }
}

// ---------------------------------------------------------------- real queue

// Jobs on the system's default queue (scripts/start-printer.sh makes one
// whose jobs become PDF files in one folder). Each job gets a title of its
// own, and its PDF is the file of the folder named after that title.
class CupsPrintTest : public ImprFixture {
 protected:
  void SetUp() override {
    ImprFixture::SetUp();
    if (QPrinterInfo::defaultPrinter().isNull())
      MISSING_PIECE("no CUPS queue: scripts/start-printer.sh starts the print system these tests need");
    Output = QDir(qEnvironmentVariable("TESSELUNE_PRINT_DIR", QStringLiteral("/var/spool/tesselune-pdf")));
    if (!Output.exists())
      MISSING_PIECE("the queue's output folder " << Output.path().toStdString()
                                                 << " is missing: scripts/start-printer.sh makes it");
    int code = -1;
    RunTool(QStringLiteral("pdfinfo"), {QStringLiteral("-v")}, &code);
    if (code != 0) MISSING_PIECE("pdfinfo is not installed (poppler-utils, scripts/install-deps.sh)");
    Printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  }

  // A title no other job has: letters and digits only, as the queue keeps
  // them in the file name.
  static QString Stem(const char* what) {
    static int n = 0;
    return QStringLiteral("tslprint%1%2x%3")
        .arg(QString::fromLatin1(what))
        .arg(QCoreApplication::applicationPid())
        .arg(++n);
  }

  // Lays the picture out, presses "Print" and runs the job.
  // adjust: changes to the layout; beforeJob: runs just before the job.
  int PrintJob(const TBitmap& image, const QString& stem, const std::function<void()>& adjust = {},
               const std::function<void()>& beforeJob = {}) {
    Show(*Printer, image, QStringLiteral("/pictures/") + stem + QStringLiteral(".png"));
    if (::testing::Test::HasFatalFailure()) return -99;
    if (adjust) adjust();
    Rect = Form->PrintRect();
    QTest::mouseClick(Form->BImprimer, Qt::LeftButton);
    if (Form->result() != 1) return -98;
    if (beforeJob) beforeJob();
    return Print(Cancel);
  }

  // The job's PDF once the queue has written it whole, empty after a minute.
  QString WaitForPdf(const QString& stem) {
    for (int i = 0; i < 300; ++i) {
      const QStringList found = Output.entryList({stem + QStringLiteral("*.pdf")}, QDir::Files);
      int code = -1;
      if (!found.isEmpty()) {
        const QString path = Output.filePath(found.first());
        RunTool(QStringLiteral("pdfinfo"), {path}, &code);
        if (code == 0) return path;
      }
      QTest::qWait(200);
    }
    return {};
  }

  // The page rendered at `dpi` without smoothing, so that thin lines are
  // whole black pixels.
  QImage Render(const QString& pdf, int dpi) {
    const QString base = Dir.filePath(QStringLiteral("page"));
    RunTool(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-aa"),
                                         QStringLiteral("no"), QStringLiteral("-aaVector"), QStringLiteral("no"),
                                         QStringLiteral("-png"), QStringLiteral("-singlefile"), pdf, base});
    return QImage(base + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
  }

  // A point of the printable area in device pixels, on the page rendered at
  // dpi. The queue may put a landscape page on portrait paper, turned a
  // quarter counter-clockwise, as printers feed it.
  QPointF OnPage(double x, double y, const QImage& page, int dpi) const {
    const QPageLayout layout = Printer->pageLayout();
    const QRectF full = layout.fullRectPoints(), paint = layout.paintRectPoints();
    const double res = Printer->resolution();
    const QPointF p(paint.left() + x * 72 / res, paint.top() + y * 72 / res);
    const bool turned = (page.width() > page.height()) != (full.width() > full.height());
    const QPointF onPaper = turned ? QPointF(p.y(), full.width() - p.x()) : p;
    return onPaper * dpi / 72;
  }

  QDir Output;
  std::unique_ptr<QPrinter> Printer;
  TAnnulerForm Cancel;
  TRect Rect;
};

// The colours survive the queue's conversions nearly unchanged.
::testing::AssertionResult Near(QRgb actual, QRgb expected) {
  if (std::abs(qRed(actual) - qRed(expected)) <= 8 && std::abs(qGreen(actual) - qGreen(expected)) <= 8 &&
      std::abs(qBlue(actual) - qBlue(expected)) <= 8)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << QColor(actual).name().toStdString() << " instead of "
                                       << QColor(expected).name().toStdString();
}

bool Dark(const QImage& page, QPointF p, int reach) {
  for (int dy = -reach; dy <= reach; ++dy)
    for (int dx = -reach; dx <= reach; ++dx) {
      const QPoint q(int(p.x()) + dx, int(p.y()) + dy);
      if (page.rect().contains(q) && qGray(page.pixel(q)) < 128) return true;
    }
  return false;
}

TEST_F(CupsPrintTest, PictureIsPrintedWholeWhereTheLayoutPutIt) {
  const QString stem = Stem("pic");
  ASSERT_EQ(PrintJob(Halves(640, 480), stem), 1);
  EXPECT_FALSE(Cancel.isVisible());
  const QString pdf = WaitForPdf(stem);
  ASSERT_FALSE(pdf.isEmpty()) << "no PDF for " << stem.toStdString() << " in " << Output.path().toStdString();

  const QString info = RunTool(QStringLiteral("pdfinfo"), {pdf});
  EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n")))) << info.toStdString();
  const QImage page = Render(pdf, 72);
  ASSERT_FALSE(page.isNull());
  EXPECT_EQ(Printer->pageLayout().orientation(), QPageLayout::Landscape);

  // One image, the picture itself, not resampled.
  const QStringList images =
      RunTool(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf}).split('\n', Qt::SkipEmptyParts).mid(2);
  ASSERT_EQ(images.size(), 1) << images.join('\n').toStdString();
  const QStringList cols = images[0].simplified().split(' ');
  ASSERT_GE(cols.size(), 5);
  EXPECT_EQ(cols[3], QStringLiteral("640"));
  EXPECT_EQ(cols[4], QStringLiteral("480"));

  // Where the layout put it, red on the left and blue on the right.
  QRect ink;
  for (int y = 0; y < page.height(); ++y)
    for (int x = 0; x < page.width(); ++x)
      if (page.pixel(x, y) != qRgb(255, 255, 255)) ink |= QRect(x, y, 1, 1);
  const QPointF tl = OnPage(Rect.Left, Rect.Top, page, 72), br = OnPage(Rect.Right, Rect.Bottom, page, 72);
  const QRectF expected = QRectF(tl, br).normalized();
  EXPECT_NEAR(ink.left(), expected.left(), 1.5);
  EXPECT_NEAR(ink.top(), expected.top(), 1.5);
  EXPECT_NEAR(ink.right() + 1, expected.right(), 1.5);
  EXPECT_NEAR(ink.bottom() + 1, expected.bottom(), 1.5);
  // The picture's own left and right quarters, wherever the paper turned them.
  const int w = Rect.Right - Rect.Left, midY = (Rect.Top + Rect.Bottom) / 2;
  EXPECT_TRUE(Near(page.pixel(OnPage(Rect.Left + w / 4, midY, page, 72).toPoint()), qRgb(255, 0, 0)));
  EXPECT_TRUE(Near(page.pixel(OnPage(Rect.Right - w / 4, midY, page, 72).toPoint()), qRgb(0, 0, 255)));
}

TEST_F(CupsPrintTest, BoundingBoxAndCropMarksWithoutThePicture) {
  const QString stem = Stem("box");
  ASSERT_EQ(PrintJob(Halves(640, 480), stem,
                     [this] {
                       Form->CBContours->setChecked(true);
                       Form->CBTraits->setChecked(true);
                     }),
            1);
  const QString pdf = WaitForPdf(stem);
  ASSERT_FALSE(pdf.isEmpty()) << "no PDF for " << stem.toStdString();
  EXPECT_EQ(RunTool(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf}).split('\n', Qt::SkipEmptyParts).size(),
            2)
      << "a bounding box job holds no image";

  constexpr int dpi = 150;
  const QImage page = Render(pdf, dpi);
  ASSERT_FALSE(page.isNull());
  const int midX = (Rect.Left + Rect.Right) / 2, midY = (Rect.Top + Rect.Bottom) / 2;
  // The frame on all four sides, nothing inside.
  EXPECT_TRUE(Dark(page, OnPage(midX, Rect.Top, page, dpi), 1));
  EXPECT_TRUE(Dark(page, OnPage(midX, Rect.Bottom - 1, page, dpi), 1));
  EXPECT_TRUE(Dark(page, OnPage(Rect.Left, midY, page, dpi), 1));
  EXPECT_TRUE(Dark(page, OnPage(Rect.Right - 1, midY, page, dpi), 1));
  EXPECT_FALSE(Dark(page, OnPage(midX, midY, page, dpi), 20));

  // Crop marks: from 0.8 to 0.1 cm off each corner's edge lines, and a gap
  // between their ends and the frame.
  const double far = PixelsFromUnit(Form->Page, true, 0.8), near = PixelsFromUnit(Form->Page, true, 0.1);
  const double along = (far + near) / 2;
  struct Corner {
    double X, Y, Sx, Sy;
  };
  for (const Corner& c :
       {Corner{double(Rect.Left), double(Rect.Top), -1, -1}, Corner{double(Rect.Right), double(Rect.Top), 1, -1},
        Corner{double(Rect.Right), double(Rect.Bottom), 1, 1}, Corner{double(Rect.Left), double(Rect.Bottom), -1, 1}}) {
    SCOPED_TRACE(testing::Message() << "corner " << c.X << ", " << c.Y);
    EXPECT_TRUE(Dark(page, OnPage(c.X + c.Sx * along, c.Y, page, dpi), 1));
    EXPECT_TRUE(Dark(page, OnPage(c.X, c.Y + c.Sy * along, page, dpi), 1));
    EXPECT_FALSE(Dark(page, OnPage(c.X + c.Sx * near / 2, c.Y + c.Sy * near / 2, page, dpi), 1));
    EXPECT_FALSE(Dark(page, OnPage(c.X + c.Sx * (far + near), c.Y, page, dpi), 1));
  }
}

TEST_F(CupsPrintTest, CancelledJobLeavesNoPdf) {
  const QString stem = Stem("cancel");
  bool shownWhenPressed = false;
  // Pressed as soon as the job lets messages through.
  const auto press = [&] {
    QTimer::singleShot(0, &Cancel, [&] {
      shownWhenPressed = Cancel.isVisible();
      QTest::mouseClick(Cancel.BAnnuler, Qt::LeftButton);
    });
  };
  ASSERT_EQ(PrintJob(Solid(640, 480, Red), stem, {}, press), 0);
  EXPECT_TRUE(shownWhenPressed);
  EXPECT_FALSE(Cancel.isVisible());
  EXPECT_TRUE(Messages.empty());

  // The queue takes jobs in order: once a later job is written, a cancelled
  // one that had reached it would be there too.
  const QString later = Stem("after");
  ASSERT_EQ(PrintJob(Solid(640, 480, Red), later), 1);
  ASSERT_FALSE(WaitForPdf(later).isEmpty());
  EXPECT_TRUE(Output.entryList({stem + QStringLiteral("*")}).isEmpty());
}

TEST_F(CupsPrintTest, CopiesReachTheJob) {
  const QString stem = Stem("copies");
  ASSERT_EQ(PrintJob(Solid(640, 480, Red), stem, [this] { Enter(Form->SECopies, QStringLiteral("3")); }), 1);
  const QString pdf = WaitForPdf(stem);
  ASSERT_FALSE(pdf.isEmpty()) << "no PDF for " << stem.toStdString();
  // The queue makes the copies: the job asks for three, and the queue's PDF
  // holds them (the job's one page three times).
  ASSERT_TRUE(Printer->supportsMultipleCopies());
  EXPECT_EQ(Printer->copyCount(), 3);
  const QString info = RunTool(QStringLiteral("pdfinfo"), {pdf});
  EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+3\\n")))) << info.toStdString();
  const QRegularExpressionMatch job = QRegularExpression(QStringLiteral("job_(\\d+)\\.pdf$")).match(pdf);
  ASSERT_TRUE(job.hasMatch()) << pdf.toStdString();
  const QString request = Dir.filePath(QStringLiteral("job.test"));
  QFile f(request);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(QStringLiteral("{\nOPERATION Get-Job-Attributes\nGROUP operation-attributes-tag\n"
                         "ATTR charset attributes-charset utf-8\nATTR naturalLanguage attributes-natural-language en\n"
                         "ATTR uri printer-uri $uri\nATTR integer job-id %1\n"
                         "ATTR name requesting-user-name %2\n"
                         "ATTR keyword requested-attributes copies,job-name\nDISPLAY copies\nDISPLAY job-name\n}\n")
              .arg(job.captured(1), QString::fromLocal8Bit(getpwuid(getuid())->pw_name))
              .toUtf8());
  f.close();
  const QString uri = QStringLiteral("ipp://localhost/printers/") + Printer->printerName();
  int code = -1;
  const QString attributes = RunTool(QStringLiteral("ipptool"), {QStringLiteral("-tv"), uri, request}, &code);
  if (code == -1) MISSING_PIECE("ipptool is not installed (cups-ipp-utils, scripts/install-deps.sh)");
  EXPECT_TRUE(attributes.contains(QRegularExpression(QStringLiteral("copies \\(integer\\) = 3"))))
      << attributes.toStdString();
  EXPECT_TRUE(attributes.contains(stem + QStringLiteral(".png"))) << "the title is the file's name";
}

TEST_F(CupsPrintTest, QueueRemovedSinceItWasChosenGivesAnErrorInsteadOfTheDialog) {
  const QString queue = QStringLiteral("TesseluneGone%1").arg(QCoreApplication::applicationPid());
  int code = -1;
  RunTool(QStringLiteral("lpadmin"),
          {QStringLiteral("-p"), queue, QStringLiteral("-v"), QStringLiteral("cups-pdf:/"), QStringLiteral("-m"),
           QStringLiteral("lsb/usr/cups-pdf/CUPS-PDF_opt.ppd"), QStringLiteral("-E")},
          &code);
  if (code != 0) MISSING_PIECE("lpadmin cannot add a queue here (needs the print system's administrator)");
  QPrinter chosen(QPrinter::HighResolution);
  chosen.setPrinterName(queue);
  RunTool(QStringLiteral("lpadmin"), {QStringLiteral("-x"), queue}, &code);
  ASSERT_EQ(code, 0);
  ASSERT_EQ(chosen.printerName(), queue);

  Image = Solid(640, 480, Red);
  Form = std::make_unique<TImprForm>(chosen, false);
  EXPECT_FALSE(Form->Prepare(&Image, QStringLiteral("photo.png")));
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Kind, mkError);
  EXPECT_TRUE(Messages[0].Text.contains(queue));
  EXPECT_FALSE(Form->isVisible());
}

}  // namespace
