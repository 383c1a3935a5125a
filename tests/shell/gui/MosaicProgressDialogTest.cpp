#include "shell/gui/MosaicProgressDialog.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <algorithm>

#include "controls/gui/SpecialEdit.h"
#include "mosaic/MatchPlacement.h"
#include "mosaic/MatchedMosaic.h"
#include "mosaic/MosaicRandom.h"
#include "shell/gui/WindowFixture.h"

namespace {

// A window with a matched mosaic over a library of a few dozen photos, the
// dialog shown from the first progress call and fed at every one.
class MosaicProgressDialogTest : public WindowFixture {
 protected:
  void SetUp() override {
    WindowFixture::SetUp();
    m_timing = TMosaicProgressDialog::SetTiming({0, 0});
    QDir(Dir.path()).mkdir(QStringLiteral("photos"));
    // Photos of a real size: each takes its time to decode, so that a load
    // cancelled half way has photos left to decode.
    for (int i = 0; i < PhotoCount; ++i) {
      QImage photo(320, 240, QImage::Format_RGB32);
      photo.fill(qRgb(7 * i, 255 - 7 * i, (97 * i) % 256));
      for (int x = 0; x < 320; ++x) photo.setPixel(x, (x * (i + 1)) % 240, qRgb(255 - 5 * i, 20, 5 * i));
      ASSERT_TRUE(photo.save(File(QStringLiteral("photos/p%1.png").arg(i, 2, 10, QChar(u'0')))));
    }
    QImage picture(400, 320, QImage::Format_RGB32);
    for (int y = 0; y < 320; ++y)
      for (int x = 0; x < 400; ++x) picture.setPixel(x, y, qRgb(x * 255 / 400, y * 255 / 320, (x + y) % 256));
    ASSERT_TRUE(picture.save(File(QStringLiteral("picture.png"))));
  }
  void TearDown() override {
    WindowFixture::TearDown();
    TMosaicProgressDialog::SetTiming(m_timing);
  }

  TMainForm& Show() {
    TMainForm& f = Make();
    f.Mosaic.Options.ThumbnailsFolder = File(QStringLiteral("photos"));
    f.Mosaic.CacheFile = File(QStringLiteral("cache/thumbnails.sqlite"));
    f.Mosaic.Random = &m_random;
    f.Mosaic.LoadThreads = 1;
    f.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&f));
    Open(File(QStringLiteral("picture.png")));
    f.EdiTaille->SetItemIndex(0);  // 10-pixel cells: 40 x 32 of them
    if (f.MenuVerifierTaille->isChecked()) f.MenuVerifierTaille->trigger();
    if (!f.MenuAssortir->isChecked()) f.MenuAssortir->trigger();
    return f;
  }

  static constexpr int PhotoCount = 36;

 private:
  TMosaicProgressDialog::TTiming m_timing;
  TSeededRandom m_random{3};
};

}  // namespace

// Cancel clicked once the bar passes half, while the photos load (as a
// library, or as the default mosaic's thumbnails) or while the mosaic is
// built, or at the first step of placing the photos under a rule on their
// reuse: the picture, the undo state and the change count are as before, and
// the next run builds the mosaic, decoding only the photos the cancelled
// library load had not reached. The placement stops at its next check: the
// bar goes no further.
TEST_F(MosaicProgressDialogTest, CancelHalfWayGivesTheChangeUp) {
  const struct {
    const char* name;
    bool whileLoading, matched;
    const char* loadingText;
    int maxUses = 0;
    bool useAll = false;
  } cases[] = {{"loading the photos", true, true, "Photo %1 of %2"},
               {"building", false, true, "Photo %1 of %2"},
               {"loading the thumbnails", true, false, "Thumbnail %1 of %2"},
               {"placing at most 40 uses of a photo", false, true, "Photo %1 of %2", 40},
               {"placing every photo", false, true, "Photo %1 of %2", 0, true}};
  // Where the bar stands as the placement starts.
  constexpr int placingFrom = MatchSearchPercent * FairSearchPercent / 100;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TMainForm& f = Show();
    if (!c.matched) f.MenuAssortir->trigger();
    f.Mosaic.Options.MaxUses = c.maxUses;
    f.Mosaic.Options.UseAll = c.useAll;
    const bool placing = c.maxUses > 0 || c.useAll;
    const QString loadingText = QString::fromLatin1(c.loadingText);
    const QString loadingPrefix = loadingText.left(loadingText.indexOf(u'%'));
    if (!c.whileLoading) {
      // The library loaded, and a mosaic to undo: the state to keep.
      f.MenuActionMosaique->trigger();
      ASSERT_EQ(f.ChangeCount(), 1);
    }
    const QImage picture = f.WorkingImage().Image().copy();
    const QImage undo = f.Document.UndoCopy().Image().copy();
    const int changes = f.ChangeCount();

    // Watches the dialog from the event loop it lets run.
    QString stage;
    QStringList stagesAfterClick;
    int shownAtClick = -1, shownAfterClick = -1;
    QTimer watcher;
    watcher.setInterval(0);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
      auto* dialog = dynamic_cast<TMosaicProgressDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      const QProgressBar* bar = dialog->Bar();
      if (shownAtClick >= 0) {
        shownAfterClick = std::max(shownAfterClick, bar->value());
        stagesAfterClick << dialog->StageLabel()->text();
        return;
      }
      const bool loading = dialog->StageLabel()->text().startsWith(loadingPrefix);
      if (loading != c.whileLoading || bar->maximum() == 0) return;
      if (placing ? bar->value() <= placingFrom : bar->value() * 2 < bar->maximum()) return;
      stage = dialog->StageLabel()->text();
      shownAtClick = bar->value();
      const QString grab = qEnvironmentVariable("TESSELUNE_PROGRESS_GRAB");
      if (!grab.isEmpty() && c.whileLoading) dialog->grab().save(grab);
      QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
    });
    watcher.start();
    f.MenuActionMosaique->trigger();
    watcher.stop();

    ASSERT_GE(shownAtClick, 0) << "Cancel was never clicked";
    stagesAfterClick.removeAll(QStringLiteral("Cancelling..."));
    EXPECT_TRUE(stagesAfterClick.isEmpty()) << stagesAfterClick.join(u',').toStdString();
    if (c.whileLoading) {
      EXPECT_EQ(stage, loadingText.arg(shownAtClick).arg(PhotoCount));
      EXPECT_TRUE(f.Mosaic.ThumbnailsStale);
    } else if (placing) {
      EXPECT_EQ(stage.toStdString(), "Matching...");
      EXPECT_LT(shownAtClick, MatchSearchPercent);
      EXPECT_LE(shownAfterClick, shownAtClick) << "the placement went on";
    } else {
      EXPECT_TRUE(stage == QStringLiteral("Matching...") || stage == QStringLiteral("Drawing..."))
          << stage.toStdString();
    }
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(f.WorkingImage().Image(), picture);
    EXPECT_EQ(f.Document.UndoCopy().Image(), undo);
    EXPECT_EQ(f.ChangeCount(), changes);
    EXPECT_EQ(f.StatusPanel[0]->text(), QStringLiteral("Ready"));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(Messages.empty());

    // Not cancelled, the same command builds the mosaic.
    f.MenuActionMosaique->trigger();
    EXPECT_EQ(f.ChangeCount(), changes + 1);
    EXPECT_NE(f.WorkingImage().Image(), picture);
    if (c.whileLoading && c.matched) {
      EXPECT_GE(f.MosaicResult.LibraryLoad.FromCache, shownAtClick);
      EXPECT_LT(f.MosaicResult.LibraryLoad.FromCache, PhotoCount);
    }
    Quit();
    QDir(File(QStringLiteral("cache"))).removeRecursively();
  }
}

// The time left, from the rate so far, once that rate means something.
TEST(MosaicProgressDialog, TimeLeftFromTheRateSoFar) {
  const struct {
    qint64 spentMs;
    int value, maximum;
    const char* text;
  } cases[] = {
      {500, 50, 100, ""},                    // too early to tell
      {4000, 2, 100, ""},                    // too little done to tell
      {2000, 50, 100, "About 2 s left"},     // half in 2 s: 2 s more
      {3000, 18, 36, "About 3 s left"},      // photos count as the bar does
      {1500, 10, 100, "About 14 s left"},    // 13.5 s, rounded up
      {10000, 10, 100, "About 2 min left"},  // 90 s
      {60000, 100, 100, ""},                 // done
      {60000, 0, 0, ""},                     // no bar to fill
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(TMosaicProgressDialog::TimeLeftText(c.spentMs, c.value, c.maximum), QString::fromLatin1(c.text));
  }
}

// Once cancelled, by the button or by Escape, the dialog says so until the
// command stops, whatever progress the command reports before its next
// check: no stage text, no time left, no second Cancel.
TEST(MosaicProgressDialog, AfterCancelTheStageStaysCancelling) {
  // Shown from the first report, the events let through at every one.
  struct TTimingGuard {
    TMosaicProgressDialog::TTiming previous = TMosaicProgressDialog::SetTiming({0, 0});
    ~TTimingGuard() { TMosaicProgressDialog::SetTiming(previous); }
  } const timing;
  const struct {
    const char* name;
    void (*cancel)(TMosaicProgressDialog&);
  } ways[] = {
      {"Cancel button", [](TMosaicProgressDialog& d) { QTest::mouseClick(d.CancelButton(), Qt::LeftButton); }},
      {"Escape", [](TMosaicProgressDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
  };
  const struct {
    const char* name;
    void (*report)(const TMosaicProgress&);
  } reports[] = {
      {"matching", [](const TMosaicProgress& p) { p.ShowProgress(MatchSearchPercent / 2); }},
      {"drawing", [](const TMosaicProgress& p) { p.ShowProgress(MatchSearchPercent + 10); }},
      {"photo", [](const TMosaicProgress& p) { p.ShowFileProgress(7, 10); }},
      {"thumbnail", [](const TMosaicProgress& p) { p.ShowThumbnailFiles(7, 10); }},
  };
  for (const auto& way : ways) {
    for (const auto& report : reports) {
      SCOPED_TRACE(::testing::Message() << way.name << ", then " << report.name);
      TMosaicProgressDialog dialog(nullptr, true);
      const TMosaicProgress sink = dialog.Sink({});
      sink.ShowProgress(10);
      ASSERT_TRUE(dialog.isVisible());
      ASSERT_EQ(dialog.StageLabel()->text().toStdString(), "Matching...");
      way.cancel(dialog);
      EXPECT_TRUE(sink.Cancelled());
      report.report(sink);
      EXPECT_EQ(dialog.StageLabel()->text().toStdString(), "Cancelling...");
      EXPECT_TRUE(dialog.TimeLabel()->text().isEmpty());
      EXPECT_FALSE(dialog.CancelButton()->isEnabled());
      EXPECT_TRUE(sink.Cancelled());
    }
  }
}
