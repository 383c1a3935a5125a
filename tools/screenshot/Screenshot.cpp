// Makes the README's picture of the window: the program's own window, drawn
// offscreen, with the bundled sample turned into a mosaic (a fixed seed, so
// that the picture only changes when the program does).
//   tesselune-screenshot SAMPLE OUTPUT.png [MENU.png [OPTIONS.png]]
// The thumbnails are the folder "Thumbnails" beside SAMPLE.
// MENU.png, when given, is a second picture with the "Action" menu open,
// OPTIONS.png a third with the "Options" menu open.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "app/MyMsgDlg.h"
#include "controls/gui/SpecialEdit.h"
#include "mosaic/MosaicRandom.h"
#include "shell/gui/MainForm.h"
#include "shell/gui/ProgramSetup.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: tesselune-screenshot SAMPLE OUTPUT.png [MENU.png [OPTIONS.png]]\n");
    return 2;
  }
  InitTesselune();
  SetMsgPresenter(StderrMsgPresenter);
  const QString bundled = QString::fromLocal8Bit(argv[1]);
  // The status bar shows the picture's path: a copy in a folder with a plain
  // name, so that the picture tells nothing of the machine it was drawn on.
  const QString shown = QDir(QDir::tempPath()).filePath(QStringLiteral("Pictures"));
  const bool madeFolder = !QFileInfo::exists(shown) && QDir().mkpath(shown);
  const QString sample = QDir(shown).filePath(QFileInfo(bundled).fileName());
  QFile::remove(sample);
  if (!QFile::copy(bundled, sample)) {
    std::fprintf(stderr, "the sample could not be copied to %s\n", qPrintable(shown));
    return 1;
  }
  struct TRemoveCopy {
    QString File, Folder;
    ~TRemoveCopy() {
      QFile::remove(File);
      if (!Folder.isEmpty()) QDir().rmdir(Folder);
    }
  } removeCopy{sample, madeFolder ? shown : QString()};
  // Settings of its own, so that none left beside the program changes the picture.
  QTemporaryDir settings;
  TMainForm form({sample}, nullptr, settings.path());
  // The thumbnails that come with the sample.
  form.Mosaic.Options.ThumbnailsFolder = QFileInfo(bundled).dir().filePath(QStringLiteral("Thumbnails"));
  TSeededRandom random(2);
  form.Mosaic.Random = &random;
  form.resize(820, 620);
  form.show();
  if (!QTest::qWaitForWindowExposed(&form)) return 1;
  QCoreApplication::processEvents();
  if (form.WorkingImage().Empty()) {
    std::fprintf(stderr, "the sample could not be opened\n");
    return 1;
  }
  form.MenuActionMosaique->trigger();
  // The whole mosaic in the window.
  form.EdiZoom->SetItemIndex(0);
  form.RefreshView();
  QCoreApplication::processEvents();
  form.Document.DiscardChanges();  // nothing to ask when the tool ends
  if (!form.grab().save(QString::fromLocal8Bit(argv[2]))) return 1;

  // The window with a menu open below its title, one of its items hovered.
  const auto withMenu = [&](QMenu* menu, QAction* active, const char* path) {
    const QRect title = form.menuBar()->actionGeometry(menu->menuAction());
    menu->popup(form.menuBar()->mapToGlobal(title.bottomLeft()));
    if (!QTest::qWaitForWindowExposed(menu)) return false;
    menu->setActiveAction(active);
    QCoreApplication::processEvents();
    QPixmap shot = form.grab();
    QPainter p(&shot);
    p.drawPixmap(form.mapFromGlobal(menu->pos()), menu->grab());
    p.end();
    menu->hide();
    return shot.save(QString::fromLocal8Bit(path));
  };
  if (argc > 3 && !withMenu(form.MenuAction, form.MenuActionMosaique, argv[3])) return 1;
  if (argc > 4 && !withMenu(form.MenuOptions, form.MenuAssortir, argv[4])) return 1;
  return 0;
}
