// The view, the status bar and the commands follow the document: whatever
// changes the picture, through a command of the window or through the
// document itself, reaches the screen.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <algorithm>
#include <functional>
#include <new>

#include "TestBitmaps.h"
#include "controls/gui/SpecialEdit.h"
#include "display/gui/ImageView.h"
#include "mosaic/MosaicRandom.h"
#include "shell/gui/WindowFixture.h"

using namespace testing_bitmaps;

namespace {

class MainFormViewTest : public WindowFixture {
 protected:
  void SetUp() override {
    WindowFixture::SetUp();
    QDir(Dir.path()).mkdir(QStringLiteral("thumbs"));
    const QRgb colours[] = {qRgb(30, 30, 200), qRgb(30, 200, 200), qRgb(200, 200, 30)};
    for (int i = 0; i < 3; ++i) {
      QImage thumbnail(16, 16, QImage::Format_RGB32);
      thumbnail.fill(colours[i]);
      ASSERT_TRUE(thumbnail.save(File(QStringLiteral("thumbs/t%1.png").arg(i))));
    }
    ASSERT_TRUE(Picture(40, 30, qRgb(220, 40, 40)).save(File(QStringLiteral("red.png"))));
    ASSERT_TRUE(Picture(36, 24, qRgb(40, 200, 40)).save(File(QStringLiteral("green.png"))));
  }

  void TearDown() override {
    WindowFixture::TearDown();
    QGuiApplication::clipboard()->clear();
  }

  // A picture of one colour with a lighter diagonal, so that a shift shows.
  static QImage Picture(int w, int h, QRgb colour) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    for (int i = 0; i < std::min(w, h); ++i) image.setPixel(i, i, qRgb(250, 250, 250));
    return image;
  }

  // The window shown with the red picture opened, at 100 %, its mosaic of
  // 10-pixel cells leaving the size as it is.
  TMainForm& ShowOpened() {
    TMainForm& f = Make();
    f.Mosaic.Options.ThumbnailsFolder = File(QStringLiteral("thumbs"));
    f.Mosaic.Random = &m_random;
    f.Mosaic.LoadThreads = 1;
    f.MenuVerifierTaille->setChecked(false);
    f.EdiTaille->SetItemIndex(0);
    f.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&f));
    Open(File(QStringLiteral("red.png")));
    Settle();
    return f;
  }

  static void Settle() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
  }

  // What reached the screen in the view's client area, against the view
  // painted afresh from the picture as it is now.
  QImage OnScreen() {
    Settle();
    QWidget* vp = Form->ImageView->viewport();
    const QPoint origin = vp->mapTo(Form.get(), QPoint(0, 0));
    return Form->screen()->grabWindow(Form->winId(), origin.x(), origin.y(), vp->width(), vp->height()).toImage();
  }
  QImage Fresh() { return Form->ImageView->viewport()->grab().toImage(); }

  // The screen shows the document's picture: what is there matches a fresh
  // paint, and at 100 % the picture's pixels sit in its place.
  void ExpectShown() {
    const QImage screen = OnScreen().convertToFormat(QImage::Format_RGB32);
    const QImage fresh = Fresh().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(screen.size(), fresh.size());
    EXPECT_TRUE(screen == fresh) << "the screen still shows an earlier picture";
    const TBitmap& picture = Form->WorkingImage();
    if (picture.Empty()) return;
    ASSERT_EQ(Form->ImageView->Zoom(), 1.0);
    const TRect r = Form->ImageView->ImageRect();
    ASSERT_EQ(r.Right - r.Left, picture.Width());
    ASSERT_EQ(r.Bottom - r.Top, picture.Height());
    for (int y = 0; y < picture.Height(); ++y)
      for (int x = 0; x < picture.Width(); ++x) {
        const QRgb shown = screen.pixel(r.Left + x, r.Top + y);
        const TColor c = picture.Pixel(x, y);
        ASSERT_EQ(Hex(RGBColor(qRed(shown), qGreen(shown), qBlue(shown))), Hex(c)) << x << ", " << y;
      }
  }

 private:
  TSeededRandom m_random{7};
};

// Each step starts from the red picture opened and shown, or from a change
// made to it and shown, and must reach the screen, the status bar and the
// commands.
TEST_F(MainFormViewTest, EveryChangeReachesTheScreen) {
  // A change made to the document in place, as a command does it.
  const auto changeInPlace = [](TMainForm& f, TColor colour) {
    f.Document.SnapshotBeforeChange();
    f.Document.Picture().Fill(colour);
    f.Document.ChangeMade();
  };
  const auto blue = [&](TMainForm& f) { changeInPlace(f, clBlue); };
  struct Case {
    const char* name;
    std::function<void(TMainForm&)> before;  // none: the red picture as opened
    std::function<void(TMainForm&)> step;
    bool canUndo;
    const char* size;  // the status bar's size panel
  };
  const Case cases[] = {
      {"change made through the document", nullptr, blue, true, "40x30"},
      {"undo through the document", blue, [](TMainForm& f) { f.Document.Undo(); }, false, "40x30"},
      // Without an undo copy a change given up keeps what was done (a build
      // that threw part way): the screen shows it all the same.
      {"change given up through the document without an undo copy", nullptr,
       [](TMainForm& f) {
         f.Document.CopyForUndo = [](const TBitmap&, TBitmap&) { throw std::bad_alloc(); };
         f.Document.SnapshotBeforeChange();
         f.Document.Picture().Fill(clLime);
         f.Document.ChangeAbandoned();
       },
       false, "40x30"},
      {"pasted into the document", nullptr, [](TMainForm& f) { f.Document.Pasted(Solid(30, 20, clLime)); }, false,
       "30x20"},
      {"opened into the document", nullptr,
       [](TMainForm& f) { f.Document.Opened(Solid(25, 35, clYellow), QStringLiteral("y.png")); }, false, "25x35"},
      {"closed in the document", nullptr, [](TMainForm& f) { f.Document.Closed(); }, false, ""},
      {"the undo command", blue, [](TMainForm& f) { f.MenuEditionAnnuler->trigger(); }, false, "40x30"},
      {"the paste command", nullptr,
       [](TMainForm& f) {
         QGuiApplication::clipboard()->setImage(Picture(32, 28, qRgb(10, 120, 160)));
         f.MenuEditionColler->trigger();
       },
       false, "32x28"},
      {"the open command", nullptr, [this](TMainForm&) { Open(File(QStringLiteral("green.png"))); }, false, "36x24"},
      {"the close command", nullptr, [](TMainForm& f) { f.MenuFichierFermer->trigger(); }, false, ""},
      {"the image size command", nullptr, [](TMainForm& f) { f.ResizeImage(60, 45, false); }, true, "60x45"},
      {"the mosaic command", nullptr, [](TMainForm& f) { f.MenuActionMosaique->trigger(); }, true, "40x30"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TMainForm& f = ShowOpened();
    if (c.before) c.before(f);
    ExpectShown();
    const QImage before = OnScreen();
    c.step(f);
    EXPECT_TRUE(Messages.empty());
    ExpectShown();
    EXPECT_FALSE(OnScreen() == before) << "nothing changed on screen";
    EXPECT_EQ(f.MenuEditionAnnuler->isEnabled(), c.canUndo);
    EXPECT_EQ(f.MenuActionRedim->isEnabled(), !f.WorkingImage().Empty());
    EXPECT_EQ(f.StatusPanel[1]->text(), QString::fromLatin1(c.size));
    EXPECT_EQ(f.StatusPanel[2]->text(), f.WorkingImage().Empty() ? QString() : f.CurrentFile());
    Messages.clear();
    Quit();
  }
}

// Saving under a new name shows it, the picture unchanged.
TEST_F(MainFormViewTest, SavedNameReachesTheStatusBar) {
  TMainForm& f = ShowOpened();
  const QString name = File(QStringLiteral("saved.bmp"));
  f.Document.Saved(name);
  EXPECT_EQ(f.StatusPanel[2]->text(), name);
  EXPECT_EQ(f.StatusPanel[1]->text(), QStringLiteral("40x30"));
}

}  // namespace
