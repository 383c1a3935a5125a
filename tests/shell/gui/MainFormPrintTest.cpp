// "Print..." from the window, on the real print queue.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QImage>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include "MissingPiece.h"
#include "dialogs/gui/PrintCancelWindow.h"
#include "dialogs/gui/PrintLayoutDialog.h"
#include "shell/gui/WindowFixture.h"

namespace {

class WindowPrintTest : public WindowFixture {
 protected:
  void SetUp() override {
    WindowFixture::SetUp();
    if (QPrinterInfo::defaultPrinter().isNull())
      MISSING_PIECE("no CUPS queue: scripts/start-printer.sh starts the print system this test needs");
    Output = QDir(qEnvironmentVariable("TESSELUNE_PRINT_DIR", QStringLiteral("/var/spool/tesselune-pdf")));
    if (!Output.exists()) MISSING_PIECE("the queue's output folder " << Output.path().toStdString() << " is missing");
  }

  // The pdfinfo report of the job's PDF once the queue has written it whole;
  // empty after a minute.
  QString WaitForPdfInfo(const QString& stem) {
    for (int i = 0; i < 300; ++i) {
      const QStringList found = Output.entryList({stem + QStringLiteral("*.pdf")}, QDir::Files);
      if (!found.isEmpty()) {
        QProcess info;
        info.start(QStringLiteral("pdfinfo"), {Output.filePath(found.first())});
        if (info.waitForFinished(10000) && info.exitCode() == 0) return QString::fromUtf8(info.readAllStandardOutput());
      }
      QTest::qWait(200);
    }
    return {};
  }

  // Presses "Print" (or "Cancel") in the layout dialog once it is up.
  static void PressWhenShown(bool print = true) {
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, print] {
      if (auto* form = dynamic_cast<TImprForm*>(QApplication::activeModalWidget())) {
        timer->deleteLater();
        QTest::mouseClick(print ? form->BImprimer : form->BAnnuler, Qt::LeftButton);
      }
    });
    timer->start();
  }

  QDir Output;
};

TEST_F(WindowPrintTest, PrintFromTheMenuGivesAPdfAndAUnitChangeRemakesTheDialog) {
  const QString stem = QStringLiteral("tslwindow%1").arg(QCoreApplication::applicationPid());
  const QString picture = File(stem + QStringLiteral(".png"));
  QImage image(640, 480, QImage::Format_RGB32);
  image.fill(qRgb(200, 30, 30));
  ASSERT_TRUE(image.save(picture));

  TMainForm& form = Make();
  form.show();
  EXPECT_FALSE(form.MenuFichierImprimer->isEnabled());  // no picture yet
  Open(picture);
  ASSERT_TRUE(form.PrinterPresent);
  ASSERT_TRUE(form.MenuFichierImprimer->isEnabled());

  PressWhenShown();
  form.MenuFichierImprimer->trigger();
  const QString info = WaitForPdfInfo(stem);
  ASSERT_FALSE(info.isEmpty()) << "no PDF for " << stem.toStdString();
  EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n")))) << info.toStdString();
  EXPECT_TRUE(Messages.empty());
  ASSERT_TRUE(form.ImprForm && form.AnnulerForm);
  EXPECT_TRUE(form.ImprForm->GBTaille->title().endsWith(QStringLiteral("(cm) ")));
  EXPECT_FALSE(form.AnnulerForm->isVisible());
  const TAnnulerForm* firstCancel = form.AnnulerForm.data();

  // The dialog reads the unit when it is made: a change of unit drops it, and
  // it comes back in inches; the cancel window stays.
  form.MenuUnitPouces->trigger();
  EXPECT_FALSE(form.ImprForm);
  EXPECT_TRUE(form.MenuUnitPouces->isChecked());
  PressWhenShown(false);
  form.MenuFichierImprimer->trigger();
  ASSERT_TRUE(form.ImprForm);
  EXPECT_EQ(form.ImprForm->GBTaille->title(), QStringLiteral(" Image size (inch) "));
  EXPECT_EQ(form.ImprForm->GBMarges->title(), QStringLiteral(" Position (inch) "));
  EXPECT_EQ(form.AnnulerForm.data(), firstCancel);
}

}  // namespace
