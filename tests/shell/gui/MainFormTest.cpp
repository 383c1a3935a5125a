#include "shell/gui/MainForm.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <deque>
#include <memory>
#include <stdexcept>
#include <vector>

#include "app/InterfaceTexts.h"
#include "app/MyMenu.h"
#include "app/MyMsgDlg.h"
#include "app/gui/MenuStyle.h"
#include "controls/gui/SpecialEdit.h"
#include "dialogs/gui/AboutBox.h"
#include "display/gui/ImageView.h"
#include "imagefiles/PictureFiles.h"
#include "mosaic/MosaicRandom.h"
#include "shell/gui/WindowFixture.h"

namespace {

QImage Gradient(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.setPixel(x, y, qRgb(x * 255 / w, y * 255 / h, (x + y) % 256));
  return image;
}

class MainFormTest : public WindowFixture {
 protected:
  void SetUp() override {
    WindowFixture::SetUp();
    Small = File("small.png");
    ASSERT_TRUE(Gradient(40, 30).save(Small));
    Large = File("large.png");
    ASSERT_TRUE(Gradient(1200, 900).save(Large));
    // Thumbnails: a few plain squares.
    QDir(Dir.path()).mkdir(QStringLiteral("thumbs"));
    const QRgb colours[] = {qRgb(200, 30, 30), qRgb(30, 200, 30), qRgb(30, 30, 200), qRgb(220, 220, 40)};
    for (int i = 0; i < 4; ++i) {
      QImage t(16, 16, QImage::Format_RGB32);
      t.fill(colours[i]);
      ASSERT_TRUE(t.save(File(QStringLiteral("thumbs/t%1.png").arg(i))));
    }
  }

  void TearDown() override {
    WindowFixture::TearDown();
    QGuiApplication::clipboard()->clear();
  }

  // The window as the program makes it, shown and active, with the test's
  // thumbnails and a seeded mosaic.
  TMainForm& Show(const QStringList& arguments = {}) {
    // Settings read from and written to the test's own folder.
    Form = std::make_unique<TMainForm>(arguments, nullptr, Dir.path());
    Form->Mosaic.Options.ThumbnailsFolder = File(QStringLiteral("thumbs"));
    Form->Mosaic.Random = &m_random;
    Form->Mosaic.LoadThreads = 1;
    Form->show();
    Form->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    // The queued work of the first show (the command-line picture).
    QCoreApplication::processEvents();
    return *Form;
  }

  // 10-pixel cells: a small picture grows to 800 pixels, quick to build.
  void SmallCells() {
    Form->EdiTaille->SetItemIndex(0);
    ASSERT_EQ(Form->Mosaic.Options.CellSize, 10);
  }

  bool Asked() const {
    for (const TMsgRequest& r : Messages)
      if (r.Text == QStringLiteral("Save changes before continuing ?")) return true;
    return false;
  }

  QString Small, Large;

 private:
  TSeededRandom m_random{7};
};

TEST_F(MainFormTest, EnablingRulesInTheEmptyOpenedAndChangedStates) {
  TMainForm& f = Show();
  auto enabled = [&](std::initializer_list<QAction*> actions, bool expected) {
    for (QAction* a : actions) EXPECT_EQ(a->isEnabled(), expected) << a->text().toStdString();
  };
  const auto picture = {
      f.MenuFichierEnregistrer, f.PopEnregistrer, f.BtnEnregistrer,     f.MenuFichierFermer, f.PopFermer,
      f.MenuEditionCopier,      f.PopCopier,      f.MenuActionMosaique, f.BtnAction,         f.PopMosaique,
      f.MenuActionRedim,        f.BtnRedim};
  const auto undo = {f.MenuEditionAnnuler, f.BtnAnnuler, f.PopAnnuler};
  const auto always = {f.MenuFichierOuvrir,  f.BtnOuvrir,         f.PopOuvrir,     f.MenuFichierQuitter,
                       f.MenuVerifierTaille, f.MenuLisser,        f.MenuVignettes, f.MenuInformations,
                       f.MenuAPropos,        f.MenuActionOptions, f.BtnOptions};

  // Empty.
  enabled(picture, false);
  enabled(undo, false);
  enabled(always, true);
  enabled({f.MenuFichierImprimer, f.BtnImprimer}, false);
  EXPECT_FALSE(f.EdiZoom->isEnabled());
  EXPECT_TRUE(f.EdiTaille->isEnabled());
  EXPECT_EQ(f.StatusPanel[0]->text(), QStringLiteral("Ready"));

  // Opened.
  Open(Small);
  enabled(picture, true);
  enabled(undo, false);
  enabled(always, true);
  EXPECT_TRUE(f.EdiZoom->isEnabled());
  EXPECT_EQ(f.StatusPanel[1]->text(), QStringLiteral("40x30"));
  EXPECT_EQ(f.StatusPanel[2]->text(), Small);
  EXPECT_EQ(f.ChangeCount(), 0);

  // Print follows the printers found at start-up.
  for (bool present : {false, true}) {
    f.PrinterPresent = present;
    f.UpdateCommands();
    enabled({f.MenuFichierImprimer, f.BtnImprimer}, present);
  }

  // Changed.
  SmallCells();
  f.MenuActionMosaique->trigger();
  enabled(picture, true);
  enabled(undo, true);
  EXPECT_EQ(f.ChangeCount(), 1);
}

TEST_F(MainFormTest, MenusCarryTheirShortcutTextsAndTheFlatLook) {
  TMainForm& f = Show();
  EXPECT_EQ(f.MenuFichierOuvrir->text(), QStringLiteral("Open...\tCtrl+O"));
  EXPECT_EQ(f.MenuFichierQuitter->text(), QStringLiteral("Exit\tCtrl+Q"));
  EXPECT_EQ(f.MenuActionMosaique->text(), QStringLiteral("Create the mosaic\tEnter"));
  EXPECT_EQ(f.MenuFichierImprimer->text(), QStringLiteral("Print...\tCtrl+P"));
  EXPECT_EQ(f.MenuActionRedim->text(), QStringLiteral("Image size..."));
  EXPECT_EQ(f.MenuActionMosaique->shortcuts(),
            (QList<QKeySequence>{QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}));
  EXPECT_FALSE(f.menuBar()->isNativeMenuBar());
  EXPECT_EQ(f.menuBar()->style(), &MenuStyle());
  for (QMenu* m :
       {f.MenuFichier, f.MenuEdition, f.MenuAction, f.MenuOptions, f.MenuUnit, f.MenuAide, f.PopZoom, f.PopTaille})
    EXPECT_EQ(m->style(), &MenuStyle()) << m->title().toStdString();
  EXPECT_NE(f.PopImage->style(), &MenuStyle());
  EXPECT_EQ(f.EdiTaille->Text(), QStringLiteral("20 pixels"));
  EXPECT_EQ(f.EdiZoom->Text(), QStringLiteral("<Auto>"));
}

// Undo after a mosaic gives back the picture as it was before "Check size"
// enlarged it; the count of changes goes back to 0, so closing asks nothing.
TEST_F(MainFormTest, CreateTheMosaicFourWaysAndUndo) {
  enum Way { Menu, Button, ContextMenu, EnterKey, KeypadEnter };
  for (Way way : {Menu, Button, ContextMenu, EnterKey, KeypadEnter}) {
    SCOPED_TRACE(int(way));
    TMainForm& f = Show();
    Open(Small);
    SmallCells();
    const QImage before = f.WorkingImage().Image().copy();
    switch (way) {
      case Menu: f.MenuActionMosaique->trigger(); break;
      case Button: QTest::mouseClick(f.ToolBar->widgetForAction(f.BtnAction), Qt::LeftButton); break;
      case ContextMenu: f.PopMosaique->trigger(); break;
      case EnterKey: QTest::keyClick(f.ImageView, Qt::Key_Return); break;
      case KeypadEnter: QTest::keyClick(f.ImageView, Qt::Key_Enter, Qt::KeypadModifier); break;
    }
    EXPECT_EQ(f.WorkingImage().Width(), 800);
    EXPECT_EQ(f.WorkingImage().Height(), 600);
    EXPECT_EQ(f.ChangeCount(), 1);
    EXPECT_EQ(f.StatusPanel[0]->text(), QStringLiteral("Ready"));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    ASSERT_TRUE(f.BtnAnnuler->isEnabled());
    QTest::mouseClick(f.ToolBar->widgetForAction(f.BtnAnnuler), Qt::LeftButton);
    EXPECT_EQ(f.WorkingImage().Image(), before);
    EXPECT_EQ(f.ChangeCount(), 0);
    EXPECT_FALSE(f.MenuEditionAnnuler->isEnabled());
    f.MenuFichierFermer->trigger();
    EXPECT_FALSE(Asked());
    EXPECT_TRUE(f.WorkingImage().Empty());
    Form.reset();
  }
}

// Saving leaves the count alone: closing after a saved mosaic still asks.
// Yes lets the close go on only once the picture is written; a cancelled
// save dialog or a failed write keeps the picture.
TEST_F(MainFormTest, SaveQuestionGuardsTheWayOut) {
  struct Case {
    const char* name;
    int answer;
    QString saveAs;  // the save dialog's answer; empty cancels it
    bool closed;
  };
  const Case cases[] = {
      {"no", idNo, QString(), true},
      {"cancel", idCancel, QString(), false},
      {"yes, saved", idYes, File("saved.png"), true},
      {"yes, save dialog cancelled", idYes, QString(), false},
      {"yes, write failed", idYes, File("missing-folder/x.png"), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TMainForm& f = Show();
    Open(Small);
    SmallCells();
    f.MenuActionMosaique->trigger();
    // A save before the close does not reset the count.
    Dialogs.SaveNames.push_back(File("first.png"));
    f.MenuFichierEnregistrer->trigger();
    ASSERT_TRUE(QFile::exists(File("first.png")));
    EXPECT_EQ(f.CurrentFile(), File("first.png"));
    EXPECT_EQ(f.ChangeCount(), 1);

    Messages.clear();
    Answers = {c.answer, idOk};
    Dialogs.SaveNames = {c.saveAs};
    f.MenuFichierFermer->trigger();
    EXPECT_TRUE(Asked());
    EXPECT_EQ(f.WorkingImage().Empty(), c.closed);
    if (!c.closed) {
      EXPECT_EQ(f.WorkingImage().Width(), 800);
      EXPECT_EQ(f.ChangeCount(), 1);
      EXPECT_TRUE(f.MenuEditionAnnuler->isEnabled());
    }
    Dialogs.SaveNames.clear();
    Form->Document.DiscardChanges();
    Form.reset();
  }
}

TEST_F(MainFormTest, QuitAsksWhileChangedAndStaysOnCancel) {
  TMainForm& f = Show();
  Open(Small);
  SmallCells();
  f.MenuActionMosaique->trigger();
  Answers = {idCancel};
  f.MenuFichierQuitter->trigger();
  EXPECT_TRUE(Asked());
  EXPECT_TRUE(f.isVisible());
  Answers = {idNo};
  QTest::keyClick(f.ImageView, Qt::Key_Q, Qt::ControlModifier);
  EXPECT_FALSE(f.isVisible());
}

// When the undo copy cannot be made the warning shows and the mosaic is
// still built; the change is counted all the same, so leaving still asks.
TEST_F(MainFormTest, FailedUndoCopyStillCountsTheChange) {
  TMainForm& f = Show();
  Open(Small);
  SmallCells();
  f.Document.CopyForUndo = [](const TBitmap&, TBitmap& undo) {
    undo.SetSize(2, 2);  // half made when memory ran out
    throw std::bad_alloc();
  };
  // "Check size" enlarges from the undo copy: without one it cannot.
  f.MenuVerifierTaille->setChecked(false);
  f.MenuActionMosaique->trigger();
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Text, QStringLiteral(" Not enougth memory for undo !"));
  EXPECT_EQ(Messages[0].Kind, mkWarning);
  EXPECT_TRUE(f.Document.UndoCopy().Empty());
  EXPECT_FALSE(f.MenuEditionAnnuler->isEnabled());
  EXPECT_EQ(f.ChangeCount(), 1);
  Answers = {idCancel};
  f.close();
  EXPECT_TRUE(Asked());
  EXPECT_TRUE(f.isVisible());
}

// A thumbnails folder whose pictures are all in sub-folders: "Create the
// mosaic" asks before doing anything; no leaves the picture untouched (and
// asks again next time), yes takes the sub-folders (the choice is kept) and
// makes the mosaic. An empty folder warns after the run instead.
TEST_F(MainFormTest, SubFolderQuestionAndNoThumbnailWarningComeFromTheWindow) {
  TMainForm& f = Show();
  ASSERT_TRUE(QDir(Dir.path()).mkpath(QStringLiteral("trips/2024")));
  for (int i = 0; i < 2; ++i)
    ASSERT_TRUE(
        QFile::copy(File(QStringLiteral("thumbs/t%1.png").arg(i)), File(QStringLiteral("trips/2024/t%1.png").arg(i))));
  f.Mosaic.FolderChosen(File(QStringLiteral("trips")));
  Open(Small);
  SmallCells();
  const QString question = QStringLiteral(
                               "No thumbnail in the list !\nFolder \"%1\": holds no PNG, JPEG, BMP or GIF file\n2 "
                               "pictures in sub-folders: include sub-folders?")
                               .arg(File(QStringLiteral("trips")));
  for (const int answer : {int(idNo), int(idYes)}) {
    SCOPED_TRACE(answer);
    Messages.clear();
    Answers = {answer};
    f.MenuActionMosaique->trigger();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Text, question);
    EXPECT_EQ(Messages[0].Kind, mkConfirmation);
    EXPECT_EQ(Messages[0].Buttons, btYes | btNo);
    EXPECT_EQ(f.Mosaic.Options.Recursive, answer == idYes);
    EXPECT_EQ(f.ChangeCount(), answer == idYes ? 1 : 0);
    EXPECT_EQ(f.MenuEditionAnnuler->isEnabled(), answer == idYes);
  }

  QDir(Dir.path()).mkdir(QStringLiteral("empty"));
  f.Mosaic.FolderChosen(File(QStringLiteral("empty")));
  Messages.clear();
  f.MenuActionMosaique->trigger();
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Text,
            QStringLiteral("No thumbnail in the list !\nFolder \"%1\": holds no PNG, JPEG, BMP or GIF file")
                .arg(File(QStringLiteral("empty"))));
  EXPECT_EQ(Messages[0].Kind, mkWarning);
  EXPECT_EQ(f.ChangeCount(), 1);
}

TEST_F(MainFormTest, ZoomChoiceOnOpen) {
  TMainForm& f = Show();
  Open(Small);
  EXPECT_EQ(f.EdiZoom->ItemIndex(), 4);
  EXPECT_EQ(f.ImageView->Zoom(), 1.0);
  EXPECT_EQ(f.EdiZoom->DisplayText(), QStringLiteral("100%"));

  Open(Large);
  EXPECT_EQ(f.EdiZoom->ItemIndex(), 0);
  const double z = f.ImageView->Zoom();
  EXPECT_LT(z, 1.0);
  EXPECT_GE(z, 0.1);
  EXPECT_EQ(f.EdiZoom->DisplayText(), QString::number(std::lrint(z * 100)) + QLatin1Char('%'));
  // The fitted picture lies inside the view.
  EXPECT_LE(f.ImageView->HorzRange(), f.ImageView->viewport()->width());
}

// A mosaic that enlarges a picture the program had shown at 100 % fits the
// new one; a zoom the user chose stays.
TEST_F(MainFormTest, ZoomFollowsAMosaicThatEnlargesThePicture) {
  TMainForm& f = Show();
  Open(Small);
  SmallCells();
  ASSERT_EQ(f.EdiZoom->ItemIndex(), 4);
  f.MenuActionMosaique->trigger();
  ASSERT_GT(f.WorkingImage().Width(), f.ImageView->width());
  EXPECT_EQ(f.EdiZoom->ItemIndex(), 0);
  EXPECT_LT(f.ImageView->Zoom(), 1.0);
  EXPECT_LE(f.ImageView->HorzRange(), f.ImageView->viewport()->width());

  Answers = {idNo};  // the mosaic is not saved
  Open(Small);
  ASSERT_EQ(f.WorkingImage().Width(), 40);
  f.EdiZoom->SetItemIndex(4);
  f.EdiZoomSelectItem(false);  // as the edit reports a user's pick
  f.MenuActionMosaique->trigger();
  EXPECT_EQ(f.EdiZoom->ItemIndex(), 4);
  EXPECT_EQ(f.ImageView->Zoom(), 1.0);
}

// Picks an item of a value edit's drop-down menu as a user does: a click on
// the edit opens the menu, a click on the item chooses it.
void Choose(TSpecialEdit& edit, const QString& caption) {
  bool clicked = false;
  QTimer::singleShot(0, &edit, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    for (QAction* a : menu->actions())
      if (a->text() == caption) {
        QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(a).center());
        clicked = true;
      }
    if (!clicked) menu->close();
  });
  QTest::mouseClick(&edit, Qt::LeftButton, Qt::NoModifier, QPoint(5, edit.height() / 2));
  EXPECT_TRUE(clicked) << caption.toStdString();
}

TEST_F(MainFormTest, ZoomEditAppliesAChangedZoomAndRefitsOnAuto) {
  TMainForm& f = Show();
  // A clock that moves on, so that no drop-down is held back as a reopening.
  qint64 now = 0;
  f.EdiZoom->Clock = [&now] { return now += 1000; };
  Open(Large);
  const double fitted = f.ImageView->Zoom();
  ASSERT_LT(fitted, 1.0);

  // "<Auto>" chosen again fits again.
  f.ImageView->SetZoom(0.5);
  Choose(*f.EdiZoom, QStringLiteral("<Auto>"));
  EXPECT_EQ(f.ImageView->Zoom(), fitted);

  Choose(*f.EdiZoom, QStringLiteral("200%  (2:1)"));
  EXPECT_EQ(f.ImageView->Zoom(), 2.0);
  EXPECT_EQ(f.EdiZoom->DisplayText(), QStringLiteral("200%"));
  // The same fixed zoom again changes nothing.
  f.ImageView->SetZoom(0.5);
  Choose(*f.EdiZoom, QStringLiteral("200%  (2:1)"));
  EXPECT_EQ(f.ImageView->Zoom(), 0.5);
  Choose(*f.EdiZoom, QStringLiteral("33%  (1:3)"));
  EXPECT_EQ(f.ImageView->Zoom(), 1.0 / 3.0);

  // The cell size edit only marks the thumbnails stale.
  f.Mosaic.ThumbnailsStale = false;
  Choose(*f.EdiTaille, QStringLiteral("40 pixels"));
  EXPECT_EQ(f.Mosaic.Options.CellSize, 40);
  EXPECT_TRUE(f.Mosaic.ThumbnailsStale);
}

TEST_F(MainFormTest, DroppedFilesOpenTheFirstOnlyAndABadOneKeepsThePicture) {
  TMainForm& f = Show();
  auto drop = [&](const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint at = f.rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&f, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent dropEvent(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&f, &dropEvent);
    // Nothing is opened inside the drop itself.
    EXPECT_TRUE(Messages.empty());
    QCoreApplication::processEvents();
  };
  drop({QUrl::fromLocalFile(Small), QUrl::fromLocalFile(Large)});
  EXPECT_EQ(f.CurrentFile(), Small);
  EXPECT_EQ(f.WorkingImage().Width(), 40);
  EXPECT_EQ(f.OpenFolder, Dir.path() + QLatin1Char('/'));

  QFile text(File("notes.png"));
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write("not a picture at all\n");
  text.close();
  drop({QUrl::fromLocalFile(text.fileName())});
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Kind, mkError);
  EXPECT_TRUE(Messages[0].Text.contains(text.fileName()));
  EXPECT_EQ(f.CurrentFile(), Small);
  EXPECT_EQ(f.WorkingImage().Width(), 40);
  EXPECT_EQ(f.StatusPanel[0]->text(), QStringLiteral("Ready"));
}

TEST_F(MainFormTest, PasteFollowsTheClipboard) {
  QGuiApplication::clipboard()->clear();
  TMainForm& f = Show();
  EXPECT_FALSE(f.MenuEditionColler->isEnabled());
  // The shortcut with nothing to paste: no question, no empty picture.
  QTest::keyClick(f.ImageView, Qt::Key_V, Qt::ControlModifier);
  EXPECT_TRUE(Messages.empty());
  EXPECT_TRUE(f.WorkingImage().Empty());
  EXPECT_NE(f.CurrentFile(), QStringLiteral("Untitled"));

  QGuiApplication::clipboard()->setImage(Gradient(30, 20));
  QCoreApplication::processEvents();
  EXPECT_TRUE(f.MenuEditionColler->isEnabled());
  EXPECT_TRUE(f.PopColler->isEnabled());
  QTest::keyClick(f.ImageView, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(f.WorkingImage().Width(), 30);
  EXPECT_EQ(f.WorkingImage().PixelFormat(), pf24bit);
  EXPECT_EQ(f.ChangeCount(), 1);
  EXPECT_EQ(f.StatusPanel[2]->text(), QStringLiteral("Untitled"));
  EXPECT_FALSE(f.MenuEditionAnnuler->isEnabled());

  // Copy puts the picture back on the clipboard.
  QGuiApplication::clipboard()->clear();
  QCoreApplication::processEvents();
  EXPECT_FALSE(f.MenuEditionColler->isEnabled());
  f.MenuEditionCopier->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(30, 20));
}

TEST_F(MainFormTest, CommandLinePictureOpensOnceWithoutTouchingTheOpenFolder) {
  TMainForm& f = Show({Small});
  EXPECT_EQ(f.CurrentFile(), Small);
  EXPECT_EQ(f.WorkingImage().Width(), 40);
  EXPECT_EQ(f.OpenFolder, Dir.path() + QLatin1Char('/'));
  EXPECT_EQ(f.ChangeCount(), 0);
  // Shown again: not opened again.
  f.MenuFichierFermer->trigger();
  f.hide();
  f.show();
  QCoreApplication::processEvents();
  EXPECT_TRUE(f.WorkingImage().Empty());
  // The same picture through "Open..." moves the open folder.
  Open(Small);
  EXPECT_EQ(f.OpenFolder, Dir.path() + QLatin1Char('/'));
}

TEST_F(MainFormTest, MissingCommandLinePictureLeavesTheWindowEmpty) {
  TMainForm& f = Show({File("nowhere.jpg")});
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Kind, mkError);
  EXPECT_TRUE(f.WorkingImage().Empty());
  EXPECT_EQ(f.StatusPanel[0]->text(), QStringLiteral("Ready"));
}

// The failure dialog keeps the program's sentence on its first line and
// says why on the second, for loads and saves alike.
TEST_F(MainFormTest, FailureDialogSaysWhy) {
  TMainForm& f = Show();
  QFile text(File("notes.png"));
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write("not a picture at all\n");
  text.close();
  const QString missing = File("nowhere.jpg"), unreadable = text.fileName(), noFolder = File("gone/out.png");
  auto sentence = [](int id, const QString& name) { return QString(LangText(id)).replace(QStringLiteral("%s"), name); };
  Open(missing);
  Open(unreadable);
  Open(Small);
  Dialogs.SaveNames.push_back(noFolder);
  f.MenuFichierEnregistrer->trigger();
  const QStringList expected = {sentence(lsLoadError, missing) + "\nno such file",
                                sentence(lsLoadError, unreadable) + "\nPNG: not a PNG file",
                                sentence(lsSaveError, noFolder) + "\nno such folder"};
  ASSERT_EQ(Messages.size(), size_t(expected.size()));
  for (qsizetype i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(Messages[size_t(i)].Text, expected[i]);
    EXPECT_EQ(Messages[size_t(i)].Kind, mkError);
  }
}

// An exception leaving a command ends its wait and shows as an error
// instead of crossing the event loop.
TEST_F(MainFormTest, ExceptionInACommandIsShownAndTheWaitEnds) {
  bool thrown = false;
  SetMsgPresenter([&](const TMsgRequest& r) {
    Messages.push_back(r);
    if (!thrown) {
      thrown = true;
      throw std::runtime_error("presenter broke");
    }
    return int(idOk);
  });
  TMainForm& f = Show({File("nowhere.jpg")});
  ASSERT_EQ(Messages.size(), 2u);
  EXPECT_EQ(Messages[1].Kind, mkError);
  EXPECT_EQ(Messages[1].Text, QStringLiteral("presenter broke"));
  EXPECT_FALSE(f.Busy());
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(f.StatusPanel[0]->text(), QStringLiteral("Ready"));
  EXPECT_TRUE(f.MenuFichierOuvrir->isEnabled());
}

TEST_F(MainFormTest, NestedWaitsRestoreTheCursorAndBlockCommands) {
  TMainForm& f = Show();
  f.BeginWait(QStringLiteral("Opening..."));
  f.BeginWait(QStringLiteral("Processing..."));
  EXPECT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_FALSE(f.MenuFichierOuvrir->isEnabled());
  // A command asked for meanwhile does not start.
  Dialogs.OpenNames.push_back(Small);
  f.MenuFichierOuvrir->trigger();
  EXPECT_TRUE(f.WorkingImage().Empty());
  f.EndWait();
  EXPECT_EQ(f.StatusPanel[0]->text(), QStringLiteral("Processing..."));
  f.EndWait();
  f.EndWait();  // one too many changes nothing
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(f.StatusPanel[0]->text(), QStringLiteral("Ready"));
  EXPECT_TRUE(f.MenuFichierOuvrir->isEnabled());
}

// During long work every command that could start is disabled wherever it
// is shown (menu, toolbar button, context menu), even those the picture and
// the undo copy would enable, and they come back when the work is over.
TEST_F(MainFormTest, CommandsAreDisabledEverywhereWhileBusy) {
  TMainForm& f = Show();
  Open(Small);
  SmallCells();
  f.MenuActionMosaique->trigger();  // an undo copy now exists
  f.PrinterPresent = true;
  QImage picture(4, 4, QImage::Format_RGB32);
  picture.fill(Qt::red);
  QGuiApplication::clipboard()->setImage(picture);
  f.UpdateCommands();
  const QList<QAction*> commands = {f.MenuFichierOuvrir,   f.MenuFichierEnregistrer, f.MenuFichierFermer,
                                    f.MenuFichierQuitter,  f.MenuEditionAnnuler,     f.MenuEditionCopier,
                                    f.MenuEditionColler,   f.MenuActionMosaique,     f.MenuActionRedim,
                                    f.MenuFichierImprimer, f.MenuVignettes};
  // What the user sees of a command: the action, its toolbar button and its
  // context menu entry, when it has them.
  auto shown = [&](QAction* a) {
    QList<bool> states{a->isEnabled()};
    if (QWidget* button = f.ToolBar->widgetForAction(a)) states.append(button->isEnabled());
    if (f.PopImage->actions().contains(a)) states.append(a->isEnabled());
    return states;
  };
  for (QAction* a : commands) {
    SCOPED_TRACE(a->text().toStdString());
    for (bool on : shown(a)) EXPECT_TRUE(on);
  }
  std::vector<std::pair<std::string, bool>> whileBusy;
  QMetaObject::invokeMethod(
      &f,
      [&] {
        for (QAction* a : commands)
          for (bool on : shown(a)) whileBusy.emplace_back(a->text().toStdString(), on);
        for (QAction* a : f.MenuFichierN) whileBusy.emplace_back("recent", a->isEnabled());
        whileBusy.emplace_back("cell size", f.EdiTaille->isEnabled());
      },
      Qt::QueuedConnection);
  f.MenuActionMosaique->trigger();
  ASSERT_FALSE(whileBusy.empty());
  for (const auto& [name, on] : whileBusy) EXPECT_FALSE(on) << name;
  for (QAction* a : commands) {
    SCOPED_TRACE(a->text().toStdString());
    for (bool on : shown(a)) EXPECT_TRUE(on);
  }
}

// Receives the addresses the program asks the desktop to open.
class TUrlCatcher : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> Urls;
  Q_INVOKABLE void Open(const QUrl& url) { Urls.append(url); }
};

// While the mosaic is built the window goes on handling its events (so it
// repaints and answers the desktop), but a command that arrives meanwhile
// is refused instead of running inside the first one.
TEST_F(MainFormTest, CommandArrivingDuringTheMosaicIsRefused) {
  TMainForm& f = Show();
  Open(Small);
  SmallCells();
  // Posted now, handled while the mosaic runs: "Open..." asked for then.
  std::vector<bool> busyWhenHandled;
  Dialogs.OpenNames.push_back(Large);
  QMetaObject::invokeMethod(
      &f,
      [&] {
        busyWhenHandled.push_back(f.Busy());
        f.MenuFichierOuvrir->trigger();
        f.OpenFile(Large, true);
      },
      Qt::QueuedConnection);
  f.MenuActionMosaique->trigger();
  QCoreApplication::processEvents();
  EXPECT_EQ(busyWhenHandled, std::vector<bool>{true});
  EXPECT_EQ(Dialogs.OpenNames.size(), 1u);
  EXPECT_EQ(f.WorkingImage().Width(), 800);
  EXPECT_TRUE(Messages.empty());
}

// "Thumbnails folder...": the chooser opens on the current folder; a choice,
// even the same folder, makes the next mosaic read the thumbnails again.
TEST_F(MainFormTest, ThumbnailsFolderChoiceMarksTheListStale) {
  TMainForm& f = Show();
  Open(Small);
  SmallCells();
  f.MenuActionMosaique->trigger();
  ASSERT_FALSE(f.Mosaic.ThumbnailsStale);
  const QString folder = File(QStringLiteral("thumbs"));
  QString title;
  auto answer = [&](bool accept) {
    QTimer::singleShot(0, [&, accept] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      title = dialog->windowTitle();
      if (accept)
        QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog, Qt::Key_Return);
      else
        dialog->close();
    });
  };
  answer(false);
  f.MenuVignettes->trigger();
  EXPECT_EQ(title, QStringLiteral("Thumbnails folder :"));
  EXPECT_FALSE(f.Mosaic.ThumbnailsStale);
  answer(true);
  f.MenuVignettes->trigger();
  EXPECT_EQ(f.Mosaic.Options.ThumbnailsFolder, folder);
  EXPECT_TRUE(f.Mosaic.ThumbnailsStale);
}

// The about box is made on first use and kept.
TEST_F(MainFormTest, AboutBoxIsMadeOnceAndShownModally) {
  TMainForm& f = Show();
  std::vector<QWidget*> shown;
  for (int i = 0; i < 2; ++i) {
    QTimer::singleShot(0, [&] {
      QWidget* dialog = QApplication::activeModalWidget();
      shown.push_back(dialog);
      if (dialog) dialog->close();
    });
    f.MenuAPropos->trigger();
  }
  ASSERT_EQ(shown.size(), 2u);
  ASSERT_NE(dynamic_cast<TAProposForm*>(shown[0]), nullptr);
  EXPECT_EQ(shown[0]->windowTitle(), QStringLiteral("About Tesselune"));
  EXPECT_EQ(shown[1], shown[0]);
}

TEST_F(MainFormTest, InformationPageBesideTheProgramOrFileNotFound) {
  TMainForm& f = Show();
  // Named like the executable: here the test program's own name.
  const QString page = TMainForm::InformationPagePath();
  EXPECT_EQ(page, QCoreApplication::applicationDirPath() + QStringLiteral("/tesselune_gui_tests.htm"));
  TUrlCatcher catcher;
  QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "Open");
  ASSERT_FALSE(QFile::exists(page));
  f.MenuInformations->trigger();
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Text, QStringLiteral("File not found !"));
  EXPECT_EQ(Messages[0].Kind, mkInformation);
  EXPECT_TRUE(catcher.Urls.isEmpty());

  QFile file(page);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  f.MenuInformations->trigger();
  QFile::remove(page);
  QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  EXPECT_EQ(Messages.size(), 1u);
  ASSERT_EQ(catcher.Urls.size(), 1);
  EXPECT_EQ(catcher.Urls[0], QUrl::fromLocalFile(page));
}

// A desktop without a browser: the page shows in a window of the program's
// own instead of nothing at all.
TEST_F(MainFormTest, InformationPageWithoutABrowserOpensInAWindow) {
  TMainForm& f = Show();
  const QString page = TMainForm::InformationPagePath();
  QFile file(page);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("<html><body><h1>Tesselune</h1><p>How to make a mosaic.</p></body></html>");
  file.close();
  const auto browser = TMainForm::UrlOpener();
  std::vector<QUrl> asked;
  TMainForm::UrlOpener() = [&](const QUrl& url) {
    asked.push_back(url);
    return false;
  };
  QString shownText, title;
  QTimer::singleShot(0, [&] {
    QWidget* window = QApplication::activeModalWidget();
    if (!window) return;
    title = window->windowTitle();
    if (auto* text = window->findChild<QTextBrowser*>()) shownText = text->toPlainText();
    window->grab().save(QDir::temp().filePath(QStringLiteral("tesselune-information-page.png")));
    window->close();
  });
  f.MenuInformations->trigger();
  TMainForm::UrlOpener() = browser;
  QFile::remove(page);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0], QUrl::fromLocalFile(page));
  EXPECT_EQ(title, QStringLiteral("Information"));
  EXPECT_TRUE(shownText.contains(QStringLiteral("How to make a mosaic."))) << shownText.toStdString();
  EXPECT_TRUE(Messages.empty());
}

}  // namespace

#include "MainFormTest.moc"

// "Match colours" and "Crop to square" in the Options menu change the mosaic,
// fill the lasting cache and come back at the next start.
TEST_F(MainFormTest, MatchColoursAndCropFromTheOptionsMenu) {
  TMainForm& plain = Show();
  Open(Small);
  SmallCells();
  plain.MenuActionMosaique->trigger();
  const QImage random = plain.WorkingImage().Image().copy();
  Quit();

  TMainForm& f = Show();
  f.Mosaic.CacheFile = File("cache/thumbnails.sqlite");
  EXPECT_FALSE(f.MenuAssortir->isChecked());
  EXPECT_FALSE(f.MenuRecadrer->isChecked());
  f.MenuAssortir->trigger();
  f.MenuRecadrer->trigger();
  Open(Small);
  SmallCells();
  f.MenuActionMosaique->trigger();
  const QImage matched = f.WorkingImage().Image();
  ASSERT_EQ(matched.size(), random.size());
  EXPECT_NE(matched, random);
  EXPECT_TRUE(QFile::exists(File("cache/thumbnails.sqlite")));
  EXPECT_EQ(f.StatusPanel[0]->text(), QStringLiteral("Ready"));
  // Tinted at most a quarter of the way: every cell keeps most of the colour
  // of one of the plain thumbnails (the default tint of 77 % would not).
  const QRgb colours[] = {qRgb(200, 30, 30), qRgb(30, 200, 30), qRgb(30, 30, 200), qRgb(220, 220, 40)};
  int near = 0, cells = 0;
  for (int y = 5; y < matched.height(); y += 10)
    for (int x = 5; x < matched.width(); x += 10, ++cells) {
      const QRgb c = matched.pixel(x, y);
      for (QRgb t : colours)
        if (std::abs(qRed(c) - qRed(t)) + std::abs(qGreen(c) - qGreen(t)) + std::abs(qBlue(c) - qBlue(t)) < 200) {
          ++near;
          break;
        }
    }
  EXPECT_EQ(near, cells);
  Quit();

  TMainForm& again = Show();
  EXPECT_TRUE(again.MenuAssortir->isChecked());
  EXPECT_TRUE(again.MenuRecadrer->isChecked());
}
