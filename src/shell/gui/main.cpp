// The program's entry point: the application, its main window, the event loop.
//
// tesselune [PICTURE]
//   Opens PICTURE once the window is shown.
// tesselune --quit-after-show [PICTURE]
//   For tests and scripts: messages go to standard error instead of a dialog;
//   once the window is shown and PICTURE opened, prints the status bar
//   ("status: Ready | 640x480 | /path/sample.jpg"), the thumbnails folder and
//   the information page it found, and quits (status 0 when the window came
//   up; 1 when PICTURE was given and could not be opened).
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <cstdio>
#include <functional>

#include "app/MyMsgDlg.h"
#include "shell/gui/MainForm.h"
#include "shell/gui/ProgramSetup.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tesselune"));
  QApplication::setApplicationDisplayName(QStringLiteral("Tesselune"));
  QApplication::setDesktopFileName(QStringLiteral("tesselune"));
  InitTesselune();

  QStringList arguments = app.arguments().mid(1);
  const bool quitAfterShow = arguments.removeAll(QStringLiteral("--quit-after-show")) > 0;
  if (quitAfterShow) SetMsgPresenter(StderrMsgPresenter);

  TMainForm form(arguments);
  form.show();
  int status = 0;
  std::function<void()> report;
  report = [&] {
    // Once the picture given has been opened: the first posted open may
    // still be running when this comes round.
    if (form.Busy()) {
      QTimer::singleShot(10, &form, report);
      return;
    }
    std::printf("status: %s | %s | %s\n", qPrintable(form.StatusPanel[0]->text()),
                qPrintable(form.StatusPanel[1]->text()), qPrintable(form.StatusPanel[2]->text()));
    std::printf("thumbnails: %s\n", qPrintable(form.Mosaic.Options.ThumbnailsFolder));
    std::printf("information: %s\n", qPrintable(TMainForm::InformationPagePath()));
    std::fflush(stdout);
    if (!arguments.isEmpty() && form.WorkingImage().Empty()) status = 1;
    form.Document.DiscardChanges();  // leave without asking
    QApplication::quit();
  };
  // Posted after the window's own queued opening of the picture.
  if (quitAfterShow) QTimer::singleShot(0, &form, report);
  const int result = app.exec();
  return result != 0 ? result : status;
}
