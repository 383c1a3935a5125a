// The mosaic report as the user meets it: shown after a matched mosaic,
// reopened from the Action menu, put away by a mosaic that is not matched.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QTreeWidget>
#include <cstdlib>
#include <optional>

#include "controls/gui/SpecialEdit.h"
#include "dialogs/gui/MosaicReport.h"
#include "dialogs/gui/SkipReport.h"
#include "display/gui/ImageView.h"
#include "mosaic/MosaicRandom.h"
#include "mosaic/TileMap.h"
#include "shell/gui/WindowFixture.h"

namespace {

const QRgb Red = qRgb(200, 30, 30);
const QRgb Green = qRgb(30, 200, 30);

int Apart(QRgb a, QRgb b) {
  return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
}

class MosaicReportTest : public WindowFixture {
 protected:
  void SetUp() override {
    WindowFixture::SetUp();
    // Four plain photos; the picture is made of two of them, in 10-pixel
    // cells: its left half red (6 cells), its right half green (6 cells).
    QDir(Dir.path()).mkdir(QStringLiteral("thumbs"));
    const QRgb colours[] = {Red, Green, qRgb(30, 30, 200), qRgb(220, 220, 40)};
    for (int i = 0; i < 4; ++i) {
      QImage t(16, 16, QImage::Format_RGB32);
      t.fill(colours[i]);
      ASSERT_TRUE(t.save(File(QStringLiteral("thumbs/t%1.png").arg(i))));
    }
    QImage picture(40, 30, QImage::Format_RGB32);
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x) picture.setPixel(x, y, x < 20 ? Red : Green);
    ASSERT_TRUE(picture.save(File(QStringLiteral("halves.png"))));
  }

  // A shown window ready for a matched mosaic of the halves at 10-pixel
  // cells, the picture's own size, photos free to repeat side by side.
  TMainForm& ShowMatched() {
    TMainForm& f = Make();
    f.Mosaic.Options.ThumbnailsFolder = File(QStringLiteral("thumbs"));
    f.Mosaic.Random = &m_random;
    f.Mosaic.LoadThreads = 1;
    f.Mosaic.CacheFile = File(QStringLiteral("cache"));
    f.Mosaic.Options.RepeatDistance = 0;
    f.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&f));
    Open(File(QStringLiteral("halves.png")));
    f.EdiTaille->SetItemIndex(0);
    f.MenuVerifierTaille->setChecked(false);
    f.MenuAssortir->setChecked(true);
    return f;
  }

  // The viewport point over picture pixel (x, y), and the viewport as shown.
  QPoint Over(int x, int y) const {
    const TPoint p = Form->ImageView->ImageToClientPoint(TPoint{x, y});
    return QPoint(p.X, p.Y);
  }
  QImage Shown() const { return Form->ImageView->viewport()->grab().toImage(); }

 private:
  TSeededRandom m_random{7};
};

TEST_F(MosaicReportTest, AMatchedMosaicShowsHowItUsedTheLibrary) {
  TMainForm& f = ShowMatched();
  EXPECT_FALSE(f.MenuActionRapport->isEnabled());
  f.MenuActionMosaique->trigger();
  ASSERT_EQ(f.WorkingImage().Width(), 40);
  ASSERT_TRUE(f.MosaicReportForm);
  TMosaicReportForm& r = *f.MosaicReportForm;
  EXPECT_TRUE(r.isVisible());
  EXPECT_FALSE(r.isModal());
  // Every cell found its own colour among the photos: nothing to tint, no
  // difference from afar or up close.
  struct {
    const char* name;
    QLabel* label;
    const char* text;
  } const figures[] = {
      {"far mean", r.LblFarMean, "0.0"},  {"far 95 %", r.LblFarP95, "0.0"},  {"near mean", r.LblNearMean, "0.0"},
      {"near 95 %", r.LblNearP95, "0.0"}, {"photos", r.LblPhotos, "2 of 4"}, {"most uses", r.LblMostUses, "6 cells"},
      {"tint", r.LblTint, "0.0 %"},
  };
  for (const auto& figure : figures) {
    SCOPED_TRACE(figure.name);
    EXPECT_EQ(figure.label->text(), QString::fromLatin1(figure.text));
  }

  // Closed, it comes back from the Action menu.
  r.reject();
  EXPECT_FALSE(r.isVisible());
  ASSERT_TRUE(f.MenuActionRapport->isEnabled());
  f.MenuActionRapport->trigger();
  EXPECT_TRUE(r.isVisible());
}

TEST_F(MosaicReportTest, ReportFiguresComeFromTheMeasuredMosaic) {
  // A picture the photos do not match: the report shows the measure.
  TMainForm& f = ShowMatched();
  QImage picture(40, 30, QImage::Format_RGB32);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) picture.setPixel(x, y, qRgb(x * 6, y * 8, 128));
  ASSERT_TRUE(picture.save(File(QStringLiteral("gradient.png"))));
  Open(File(QStringLiteral("gradient.png")));
  f.MenuActionMosaique->trigger();
  ASSERT_TRUE(f.MosaicReportForm);
  const TMosaicReportForm& r = *f.MosaicReportForm;
  const TMosaicQuality& q = f.MosaicResult.Quality;
  ASSERT_GT(q.Near.Mean, q.Far.Mean);
  ASSERT_GT(q.MeanTint, 0);
  EXPECT_EQ(r.LblFarMean->text(), QString::number(q.Far.Mean, 'f', 1));
  EXPECT_EQ(r.LblFarP95->text(), QString::number(q.Far.P95, 'f', 1));
  EXPECT_EQ(r.LblNearMean->text(), QString::number(q.Near.Mean, 'f', 1));
  EXPECT_EQ(r.LblNearP95->text(), QString::number(q.Near.P95, 'f', 1));
  EXPECT_EQ(r.LblTint->text(), QString::number(q.MeanTint, 'f', 1) + QStringLiteral(" %"));
}

TEST_F(MosaicReportTest, AMosaicThatIsNotMatchedPutsTheReportAway) {
  TMainForm& f = ShowMatched();
  f.MenuActionMosaique->trigger();
  ASSERT_TRUE(f.MosaicReportForm && f.MosaicReportForm->isVisible());
  f.MenuAssortir->setChecked(false);
  f.MenuActionMosaique->trigger();
  EXPECT_FALSE(f.MosaicReportForm->isVisible());
  EXPECT_FALSE(f.MenuActionRapport->isEnabled());
}

TEST_F(MosaicReportTest, ThePhotoUnderTheMouseIsNamedOutlinedAndOpened) {
  TMainForm& f = ShowMatched();
  f.MenuActionMosaique->trigger();
  QWidget* viewport = f.ImageView->viewport();
  const QString ready = f.StatusPanel[0]->text();
  // Cell (0, 1) is red (t0.png), cell (3, 2) green (t1.png).
  QTest::mouseMove(viewport, Over(5, 15));
  EXPECT_EQ(f.StatusPanel[0]->text(), QStringLiteral("t0.png, tint 0 %"));
  EXPECT_EQ(f.InspectedCell(), 4);
  const QPoint corner = Over(0, 10), elsewhere = Over(30, 20);
  EXPECT_NE(Shown().pixel(corner), Red) << "the cell is outlined";
  EXPECT_EQ(Shown().pixel(elsewhere), Green);
  QTest::mouseMove(viewport, Over(35, 25));
  EXPECT_EQ(f.StatusPanel[0]->text(), QStringLiteral("t1.png, tint 0 %"));
  EXPECT_EQ(Shown().pixel(corner), Red) << "the outline moved on";
  EXPECT_NE(Shown().pixel(elsewhere), Green);
  // Off the picture: no cell, the status as it was.
  QTest::mouseMove(viewport, QPoint(1, 1));
  EXPECT_EQ(f.InspectedCell(), -1);
  EXPECT_EQ(f.StatusPanel[0]->text(), ready);

  // "Open this photo" from the context menu, after the question every way
  // out of a changed picture asks.
  QTest::mouseMove(viewport, Over(35, 25));
  emit f.PopImage->aboutToShow();
  ASSERT_TRUE(f.PopOuvrirPhoto->isVisible());
  Answers = {idNo};
  f.PopOuvrirPhoto->trigger();
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Text, QStringLiteral("Save changes before continuing ?"));
  EXPECT_EQ(QFileInfo(f.CurrentFile()).fileName(), QStringLiteral("t1.png"));
  EXPECT_EQ(f.InspectedCell(), -1);
  QTest::mouseMove(viewport, Over(5, 5));
  EXPECT_EQ(f.InspectedCell(), -1);
  emit f.PopImage->aboutToShow();
  EXPECT_FALSE(f.PopOuvrirPhoto->isVisible());
}

// Tiles of another shape than the square: the cell under the mouse is the
// tile map's, its photo named in the status bar, its rectangle outlined
// (white, black inside) and its photo opened. Six plain photos; the picture
// gives cell (column, row) the colour of photo (column + 2 x row) mod 6, so
// that each cell takes its own photo untinted. The cells tried include ones
// far from the corner, where a mix-up of the cell's width and height lands
// elsewhere.
TEST_F(MosaicReportTest, NonSquareTilesNameOutlineAndOpenThePhotoUnderTheMouse) {
  const QRgb colours[] = {Red, Green, qRgb(30, 30, 200), qRgb(220, 220, 40), qRgb(200, 40, 200), qRgb(40, 200, 200)};
  for (int i = 4; i < 6; ++i) {
    QImage t(16, 16, QImage::Format_RGB32);
    t.fill(colours[i]);
    ASSERT_TRUE(t.save(File(QStringLiteral("thumbs/t%1.png").arg(i))));
  }
  const QRgb white = qRgb(255, 255, 255), black = qRgb(0, 0, 0);
  // The pixels of `shown` on the border of `ring` (inside the picture) that
  // are not `want`, or with `want` unset, that are white or black.
  const auto strays = [&](const QImage& shown, const QRect& ring, const QRect& picture, std::optional<QRgb> want) {
    int n = 0;
    for (int y = ring.top(); y <= ring.bottom(); ++y)
      for (int x = ring.left(); x <= ring.right(); ++x) {
        if ((y != ring.top() && y != ring.bottom() && x != ring.left() && x != ring.right()) || !picture.contains(x, y))
          continue;
        const QRgb pixel = shown.pixel(x, y) | 0xff000000;
        n += want ? pixel != *want : pixel == white || pixel == black;
      }
    return n;
  };
  for (const TTileAspect aspect : {TTileAspect{16, 9}, TTileAspect{3, 4}}) {
    SCOPED_TRACE(::testing::Message() << aspect.Width << ":" << aspect.Height);
    const TTileSize tile = TileSize(10, aspect);
    ASSERT_NE(tile.Width, tile.Height);
    constexpr int width = 80, height = 60;
    const int columns = width / tile.Width, rows = height / tile.Height;
    ASSERT_EQ(columns * tile.Width, width);
    ASSERT_EQ(rows * tile.Height, height);
    const auto photoOf = [](int column, int row) { return QStringLiteral("t%1.png").arg((column + 2 * row) % 6); };
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) picture.setPixel(x, y, colours[(x / tile.Width + 2 * (y / tile.Height)) % 6]);
    ASSERT_TRUE(picture.save(File(QStringLiteral("tiles.png"))));

    TMainForm& f = ShowMatched();
    f.Mosaic.Options.TileAspect = aspect;
    Open(File(QStringLiteral("tiles.png")));
    f.MenuActionMosaique->trigger();
    ASSERT_EQ(f.ChangeCount(), 1);
    const TTileMap map = TileMapOf(f.MosaicResult, width, height);
    ASSERT_EQ(map.Columns, columns);
    ASSERT_EQ(map.Rows, rows);
    ASSERT_EQ(map.Cells.size(), size_t(columns * rows));
    const TRect shownPicture = f.ImageView->ImageRect();
    const QRect pictureArea(shownPicture.Left, shownPicture.Top, shownPicture.Right - shownPicture.Left,
                            shownPicture.Bottom - shownPicture.Top);

    const struct {
      int column, row;
    } tried[] = {{0, 0}, {1, 2}, {columns / 2, rows - 1}, {columns - 1, 1}, {columns - 1, rows - 1}};
    for (const auto& t : tried) {
      SCOPED_TRACE(::testing::Message() << "cell " << t.column << ", " << t.row);
      const int index = t.row * columns + t.column;
      const TTileMapCell& cell = map.Cells[size_t(index)];
      ASSERT_EQ(cell.Column, t.column);
      ASSERT_EQ(cell.Row, t.row);
      ASSERT_GE(cell.Photo, 0);
      EXPECT_EQ(QFileInfo(map.Photos[cell.Photo]).fileName().toStdString(), photoOf(t.column, t.row).toStdString())
          << "the mosaic's own choice";
      QTest::mouseMove(f.ImageView->viewport(), Over(cell.X + cell.Width / 2, cell.Y + cell.Height / 2));
      EXPECT_EQ(f.InspectedCell(), index);
      EXPECT_EQ(f.StatusPanel[0]->text().toStdString(),
                (photoOf(t.column, t.row) + QStringLiteral(", tint 0 %")).toStdString());
      const TRect r = f.ImageView->ImageToClientRect(TRect{cell.X, cell.Y, cell.X + cell.Width, cell.Y + cell.Height});
      const QRect outline(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
      const QImage shown = Shown();
      EXPECT_EQ(strays(shown, outline, pictureArea, white), 0) << "white around the cell";
      EXPECT_EQ(strays(shown, outline.adjusted(1, 1, -1, -1), pictureArea, black), 0) << "black inside it";
      EXPECT_EQ(strays(shown, outline.adjusted(-1, -1, 1, 1), pictureArea, std::nullopt), 0) << "nothing beyond it";
    }

    // "Open this photo" opens the last cell's.
    emit f.PopImage->aboutToShow();
    ASSERT_TRUE(f.PopOuvrirPhoto->isVisible());
    Answers = {idNo};
    f.PopOuvrirPhoto->trigger();
    EXPECT_EQ(QFileInfo(f.CurrentFile()).fileName().toStdString(), photoOf(columns - 1, rows - 1).toStdString());
    Quit();
    Messages.clear();
  }
}

TEST_F(MosaicReportTest, AChangedPictureEndsTheInspection) {
  enum Change { Undo, Resize, OpenAnother };
  for (Change change : {Undo, Resize, OpenAnother}) {
    SCOPED_TRACE(int(change));
    TMainForm& f = ShowMatched();
    f.MenuActionMosaique->trigger();
    QTest::mouseMove(f.ImageView->viewport(), Over(5, 15));
    ASSERT_EQ(f.InspectedCell(), 4);
    const QPoint corner = Over(0, 10);
    ASSERT_NE(Shown().pixel(corner), Red);
    switch (change) {
      case Undo: f.MenuEditionAnnuler->trigger(); break;
      case Resize: f.ResizeImage(40, 30, true); break;
      case OpenAnother:
        Answers = {idNo};
        Open(File(QStringLiteral("halves.png")));
        break;
    }
    EXPECT_EQ(f.InspectedCell(), -1);
    EXPECT_FALSE(f.MenuActionRapport->isEnabled()) << "the report was the mosaic's";
    EXPECT_EQ(f.StatusPanel[0]->text(), QStringLiteral("Ready"));
    EXPECT_EQ(Shown().pixel(corner), Red) << "no outline";
    QTest::mouseMove(f.ImageView->viewport(), Over(35, 25));
    EXPECT_EQ(f.InspectedCell(), -1);
    Quit();
    Messages.clear();
  }
}

// Unreadable photos of a library are left out, and the status bar says how
// many; its link lists them with why. A later load with none hides it.
TEST_F(MosaicReportTest, SkippedFilesAreListedFromTheStatusBar) {
  TMainForm& f = ShowMatched();
  for (const char* name : {"thumbs/broken.png", "thumbs/empty.jpg"}) {
    QFile junk(File(QString::fromLatin1(name)));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(name[7] == 'b' ? "not a picture" : "");
  }
  f.MenuActionMosaique->trigger();
  ASSERT_TRUE(f.SkippedLink);
  EXPECT_TRUE(f.SkippedLink->isVisible());
  EXPECT_EQ(f.SkippedLink->text(), QStringLiteral("<a href=\"skipped\">2 files skipped</a>"));
  emit f.SkippedLink->linkActivated(QStringLiteral("skipped"));
  ASSERT_TRUE(f.SkipReportForm && f.SkipReportForm->isVisible());
  const TSkipReportForm& list = *f.SkipReportForm;
  EXPECT_EQ(list.LblSummary->text(),
            QStringLiteral("2 of 6 photo files could not be read and were left out of the mosaic:"));
  ASSERT_EQ(list.ListFiles->topLevelItemCount(), 2);
  for (int i = 0; i < 2; ++i) {
    const QTreeWidgetItem* item = list.ListFiles->topLevelItem(i);
    EXPECT_EQ(item->text(0), i == 0 ? QStringLiteral("broken.png") : QStringLiteral("empty.jpg"));
    EXPECT_FALSE(item->text(1).isEmpty()) << "each with its reason";
    EXPECT_EQ(QDir(item->text(2)), QDir(File(QStringLiteral("thumbs"))));
  }

  QFile::remove(File(QStringLiteral("thumbs/broken.png")));
  QFile::remove(File(QStringLiteral("thumbs/empty.jpg")));
  f.Mosaic.ThumbnailsStale = true;
  f.MenuActionMosaique->trigger();
  EXPECT_FALSE(f.SkippedLink->isVisible());
}

// The default thumbnail load ends at the first file it cannot read: the
// window says where, after making the mosaic of the thumbnails before it.
TEST_F(MosaicReportTest, AThumbnailLoadThatStoppedSaysWhere) {
  TMainForm& f = ShowMatched();
  f.MenuAssortir->setChecked(false);
  QFile junk(File(QStringLiteral("thumbs/t2.png")));
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly | QIODevice::Truncate));
  junk.write("not a picture");
  junk.close();
  Messages.clear();
  f.MenuActionMosaique->trigger();
  EXPECT_EQ(f.Mosaic.ImgVignettes.Count(), 2);
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_TRUE(Messages[0].Text.startsWith(
      QStringLiteral("The thumbnail load stopped at \"%1\" (").arg(File(QStringLiteral("thumbs/t2.png")))))
      << Messages[0].Text.toStdString();
  EXPECT_TRUE(Messages[0].Text.endsWith(QStringLiteral("): 2 thumbnails loaded")));
  // Not loaded again, not said again.
  f.MenuActionMosaique->trigger();
  EXPECT_EQ(Messages.size(), 1u);
}

TEST_F(MosaicReportTest, HoldingTheSpaceBarShowsThePictureBeforeTheMosaic) {
  TMainForm& f = ShowMatched();
  QImage picture(40, 30, QImage::Format_RGB32);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) picture.setPixel(x, y, qRgb(x * 6, y * 8, 128));
  ASSERT_TRUE(picture.save(File(QStringLiteral("gradient.png"))));
  Open(File(QStringLiteral("gradient.png")));
  f.MenuActionMosaique->trigger();
  const QRgb mosaic = f.WorkingImage().Image().pixel(15, 15), before = picture.pixel(15, 15);
  ASSERT_NE(mosaic, before);
  ASSERT_GT(Apart(mosaic, before), 30);
  // The view smooths the picture it zooms: what it shows is the nearer of the two.
  const QPoint at = Over(15, 15) + QPoint(1, 1);
  auto showsBefore = [&] {
    const QRgb shown = Shown().pixel(at);
    return Apart(shown, before) < Apart(shown, mosaic);
  };
  EXPECT_FALSE(showsBefore());
  QTest::keyPress(f.ImageView, Qt::Key_Space);
  EXPECT_TRUE(showsBefore());
  // Held, the key repeats: releases and presses marked as repeats.
  for (QEvent::Type type : {QEvent::KeyRelease, QEvent::KeyPress}) {
    QKeyEvent repeat(type, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), true);
    QApplication::sendEvent(f.ImageView, &repeat);
    EXPECT_TRUE(showsBefore());
  }
  QTest::keyRelease(f.ImageView, Qt::Key_Space);
  EXPECT_FALSE(showsBefore());
  EXPECT_EQ(f.WorkingImage().Image().pixel(15, 15), mosaic) << "the picture itself never changed";

  // Once the picture is no longer the mosaic, the key shows nothing else.
  f.MenuEditionAnnuler->trigger();
  QTest::keyPress(f.ImageView, Qt::Key_Space);
  EXPECT_FALSE(f.Comparing());
  EXPECT_TRUE(showsBefore()) << "the undone picture itself";
  QTest::keyRelease(f.ImageView, Qt::Key_Space);
}

}  // namespace
