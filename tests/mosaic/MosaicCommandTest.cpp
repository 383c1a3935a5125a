#include "mosaic/MosaicCommand.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <stdexcept>

#include "TestBitmaps.h"
#include "app/MyMsgDlg.h"
#include "imagefiles/PictureFiles.h"
#include "mosaic/MatchedMosaic.h"

using namespace testing_bitmaps;

namespace {

class MosaicCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    previous = SetMsgPresenter([this](const TMsgRequest& r) {
      messages.push_back(r.Text);
      return int(idOk);
    });
    command.Options.ThumbnailsFolder = dir.path();
    command.Random = &random;
    progress.ShowThumbnailCount = [this](int n) {
      lastCount = n;
      ++loads;
    };
    AddThumbnail(clRed);
  }
  void TearDown() override { SetMsgPresenter(previous); }
  void AddThumbnail(TColor c) {
    TPictureFileContext pictureFiles;
    ASSERT_EQ(SavePicture(pictureFiles, dir.filePath(QStringLiteral("t%1.png").arg(files++)), Solid(8, 8, c)), 1);
  }

  QTemporaryDir dir;
  TMosaicCommand command;
  TMosaicProgress progress;
  TSeededRandom random{5};
  std::vector<QString> messages;
  TMsgPresenter previous;
  int files = 0, lastCount = 0, loads = 0;
};

}  // namespace

TEST_F(MosaicCommand, CheckSizeEnlargesSmallPictures) {
  struct Case {
    int cell, w, h, ew, eh;
  } cases[] = {{20, 640, 480, 1600, 1200}, {20, 1600, 100, 1600, 100}, {10, 300, 200, 800, 533},
               {40, 50, 75, 2133, 3200},   {10, 800, 10, 800, 10},     {15, 100, 100, 1200, 1200}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " at " << c.cell);
    command.Options.CellSize = c.cell;
    const TBitmap picture = Numbered(c.w, c.h);
    TBitmap working(picture), undo(picture);
    EXPECT_EQ(command.CheckImageSize(working, undo), c.ew != c.w);
    EXPECT_EQ(working.Width(), c.ew);
    EXPECT_EQ(working.Height(), c.eh);
  }
}

TEST_F(MosaicCommand, RunTakesUndoBeforeEnlargingAndBuilds) {
  const TBitmap original = Numbered(64, 48);
  TDocument document;
  document.Opened(original, QStringLiteral("a.png"));
  ASSERT_TRUE(command.Execute(document, progress));
  const TBitmap& working = document.Picture();
  EXPECT_EQ(document.ChangeCount(), 1);
  EXPECT_EQ(working.Width(), 1600);  // 64 x 48 at cell 20
  EXPECT_EQ(working.Height(), 1200);
  // The enlargement stretches each pixel to 25 x 25; the mosaic then lays
  // uniform 20 x 20 cells (the only thumbnail is solid red) over it. The
  // first cell's samples all fall in the first pixel's square, (1, 2, 0):
  // red 255 -> 255 - 195 = 60 -> 60 - 8 = 52; green 0 -> 1 -> 1 - 15,
  // clamped to 0; blue 0 -> 0 -> 0.
  EXPECT_EQ(working.Pixel(0, 0), RGBColor(52, 0, 0));
  for (int y = 0; y < 40; y += 20)
    for (int x = 0; x < 1600; x += 20)
      ASSERT_TRUE(SamePixels(Crop(working, x, y, 20, 20), Solid(20, 20, working.Pixel(x, y))))
          << "cell " << x << ", " << y;
  // undo gives back the picture before the enlargement
  EXPECT_TRUE(SamePixels(document.UndoCopy(), original));
  EXPECT_FALSE(command.ThumbnailsStale);
  EXPECT_EQ(command.ImgVignettes.Width(), 20);

  command.Options.CheckSize = false;
  document.Opened(Numbered(30, 30), QStringLiteral("b.png"));
  ASSERT_TRUE(command.Execute(document, progress));
  EXPECT_EQ(document.Picture().Width(), 30);
}

TEST_F(MosaicCommand, ReloadsOnlyWhenStale) {
  command.Options.CheckSize = false;
  TBitmap working = Numbered(40, 40);
  command.Execute(working, progress);
  EXPECT_EQ(loads, 1);
  AddThumbnail(clBlue);  // not noticed until the size or folder is chosen again
  command.Execute(working, progress);
  EXPECT_EQ(command.ImgVignettes.Count(), 1);

  command.CellSizeChosen(20);  // the same size: nothing changes
  command.CellSizeChosen(0);   // no size at all: ignored
  EXPECT_FALSE(command.ThumbnailsStale);
  command.CellSizeChosen(40);
  command.CellSizeChosen(20);  // back again: still stale until a load
  EXPECT_TRUE(command.ThumbnailsStale);
  EXPECT_EQ(command.Options.CellSize, 20);
  command.Execute(working, progress);
  EXPECT_EQ(command.ImgVignettes.Count(), 2);

  AddThumbnail(clLime);
  command.FolderChosen(QString());  // chooser cancelled
  EXPECT_FALSE(command.ThumbnailsStale);
  command.FolderChosen(dir.path());  // the same folder again reloads
  command.Execute(working, progress);
  EXPECT_EQ(command.ImgVignettes.Count(), 3);
  EXPECT_TRUE(messages.empty());
}

// A whole new set of options (the dialog's OK): only a new folder or cell
// size asks for a new load; an empty folder or a size that is not positive
// keeps the one before, every other option is taken as given.
TEST_F(MosaicCommand, OptionsChosenMarksStaleOnlyForFolderOrCellSize) {
  TBitmap working = Numbered(40, 40);
  command.Options.CheckSize = false;
  ASSERT_TRUE(command.Execute(working, progress));
  ASSERT_FALSE(command.ThumbnailsStale);
  QTemporaryDir other;
  struct Case {
    const char* name;
    void (*change)(TMosaicOptions&, const QString& otherFolder);
    bool stale;
  };
  const Case cases[] = {
      {"the same options", [](TMosaicOptions&, const QString&) {}, false},
      {"every other option",
       [](TMosaicOptions& o, const QString&) {
         o.CheckSize = o.Antialias = false;
         o.MatchColours = o.CropSquare = o.Recursive = o.UseAll = true;
         o.TileAspect = {4, 3};
         o.TintLimit = 1;
         o.TintMode = TTintMode::Whole;
         o.RepeatDistance = 0;
         o.MaxUses = 2;
         o.Scale = 3;
       },
       false},
      {"no folder", [](TMosaicOptions& o, const QString&) { o.ThumbnailsFolder.clear(); }, false},
      {"no cell size", [](TMosaicOptions& o, const QString&) { o.CellSize = 0; }, false},
      {"another cell size", [](TMosaicOptions& o, const QString&) { o.CellSize = 40; }, true},
      {"another folder", [](TMosaicOptions& o, const QString& folder) { o.ThumbnailsFolder = folder; }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TMosaicOptions before = command.Options;
    command.ThumbnailsStale = false;
    TMosaicOptions chosen = before;
    c.change(chosen, other.path());
    command.OptionsChosen(chosen);
    EXPECT_EQ(command.ThumbnailsStale, c.stale);
    TMosaicOptions expected = chosen;
    if (chosen.ThumbnailsFolder.isEmpty()) expected.ThumbnailsFolder = before.ThumbnailsFolder;
    if (chosen.CellSize <= 0) expected.CellSize = before.CellSize;
    EXPECT_EQ(command.Options, expected);
    command.OptionsChosen(before);
  }
}

// A mosaic that could not be built is no change: the picture (enlarged by
// "Check size" before the thumbnails were found missing) is as it was, and
// leaving asks nothing.
TEST_F(MosaicCommand, EmptyFolderWarnsOnceAndChangesNothing) {
  QTemporaryDir empty;
  command.FolderChosen(empty.path());
  const TBitmap original = Numbered(30, 30);
  TDocument document;
  document.Opened(original, QStringLiteral("a.png"));
  const TMosaicResult first = command.Execute(document, progress);
  EXPECT_FALSE(first.Built);
  const QString warning =
      QStringLiteral("No thumbnail in the list !\nFolder \"%1\": holds no PNG, JPEG, BMP or GIF file")
          .arg(empty.path());
  EXPECT_EQ(first.Notes.NoThumbnail, warning);
  // Once loaded, the empty list is not loaded again, and says nothing again.
  const TMosaicResult second = command.Execute(document, progress);
  EXPECT_FALSE(second.Built);
  EXPECT_EQ(second.Notes.NoThumbnail, QString());
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(SamePixels(document.Picture(), original));
  EXPECT_EQ(document.ChangeCount(), 0);
  EXPECT_FALSE(document.CanUndo());
}

// A folder whose pictures are all in sub-folders: the run stops before
// anything is done with the question that says how many there are, shown
// by nobody here; asked again until Recursive is set (the caller's yes),
// after which the sub-folders' pictures are taken.
TEST_F(MosaicCommand, PicturesOnlyInSubFoldersStopTheRunWithAQuestion) {
  QTemporaryDir trips;
  TPictureFileContext pictureFiles;
  ASSERT_TRUE(QDir(trips.path()).mkpath(QStringLiteral("2024/coast")));
  ASSERT_EQ(SavePicture(pictureFiles, trips.filePath(QStringLiteral("2024/a.png")), Solid(8, 8, clRed)), 1);
  ASSERT_EQ(SavePicture(pictureFiles, trips.filePath(QStringLiteral("2024/coast/b.png")), Solid(8, 8, clBlue)), 1);
  TMosaicCommand offered;
  offered.Random = &random;
  offered.FolderChosen(trips.path());
  const QString question = QStringLiteral(
                               "No thumbnail in the list !\nFolder \"%1\": holds no PNG, JPEG, BMP or GIF file\n2 "
                               "pictures in sub-folders: include sub-folders?")
                               .arg(trips.path());
  const TBitmap original = Numbered(30, 30);
  TDocument document;
  document.Opened(original, QStringLiteral("a.png"));
  TBitmap bare(original);
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE(run);
    const TMosaicResult result = run == 0 ? offered.Execute(document, progress) : offered.Execute(bare, progress);
    EXPECT_FALSE(result.Built);
    EXPECT_EQ(result.Notes.SubFolderQuestion, question);
    EXPECT_EQ(result.Notes.NoThumbnail, QString());
    EXPECT_EQ(offered.ImgVignettes.Count(), 0);
    EXPECT_EQ(loads, 0);
  }
  EXPECT_TRUE(SamePixels(document.Picture(), original));
  EXPECT_TRUE(SamePixels(bare, original));
  EXPECT_EQ(document.ChangeCount(), 0);
  EXPECT_FALSE(document.CanUndo());

  offered.Options.Recursive = true;
  const TMosaicResult taken = offered.Execute(document, progress);
  EXPECT_TRUE(taken.Built);
  EXPECT_EQ(taken.Notes.SubFolderQuestion, QString());
  EXPECT_EQ(offered.ImgVignettes.Count(), 2);
  EXPECT_EQ(document.ChangeCount(), 1);
  EXPECT_TRUE(messages.empty());
}

// An error in the middle of the build (here from the progress sink) leaves
// the document as it was before the command.
TEST_F(MosaicCommand, AnErrorGivesTheChangeUp) {
  progress.ShowProgress = [](int percent) {
    if (percent > 0) throw std::runtime_error("stop");
  };
  const TBitmap original = Numbered(30, 30);
  TDocument document;
  document.Opened(original, QStringLiteral("a.png"));
  EXPECT_THROW(command.Execute(document, progress), std::runtime_error);
  EXPECT_TRUE(SamePixels(document.Picture(), original));
  EXPECT_EQ(document.ChangeCount(), 0);
  EXPECT_FALSE(document.CanUndo());
}

// The command-line tool's run keeps no undo: the snapshot is not taken, the
// picture is not copied when no enlargement replaces it, and the mosaic is
// the window's one for the same seed, with and without the enlargement.
TEST_F(MosaicCommand, RunWithoutUndoBuildsTheSameMosaicInPlace) {
  AddThumbnail(clBlue);
  AddThumbnail(RGBColor(30, 200, 90));
  for (bool checkSize : {true, false}) {
    SCOPED_TRACE(checkSize ? "enlarged" : "as it is");
    command.Options.CheckSize = checkSize;
    const TBitmap original = Numbered(64, 48);
    TDocument windows;
    windows.Opened(original, QStringLiteral("a.png"));
    ASSERT_TRUE(command.Execute(windows, progress));
    EXPECT_TRUE(SamePixels(windows.UndoCopy(), original));

    TBitmap tools = Numbered(64, 48);
    const std::uint8_t* pixels = tools.Image().constBits();
    ASSERT_TRUE(command.Execute(tools, progress));
    EXPECT_TRUE(SamePixels(tools, windows.Picture()));
    if (!checkSize) {
      EXPECT_EQ(tools.Image().constBits(), pixels);  // drawn where it lay
    }
  }
}

// Tiles of the 3:2 shape at cell size 12 are 12 x 8. Photos of other shapes
// (higher, wider) carry a 12 x 8 picture of their own at the centre of a red
// frame: cropped to 3:2 that picture is all that is left, so every cell of
// the matched mosaic, untinted, is one photo's centre. The random mosaic
// lays the same grid: with one photo on a uniform picture it repeats every
// 12 x 8 pixels.
TEST_F(MosaicCommand, TileAspectCellsShowEachPhotoCroppedToTheShape) {
  QTemporaryDir photos;
  ASSERT_TRUE(photos.isValid());
  std::vector<TBitmap> centres;
  const struct { int w, h; } frames[] = {{12, 14}, {20, 8}, {12, 8}, {12, 10}};
  for (int i = 0; i < 4; ++i) {
    TBitmap centre = Solid(12, 8, RGBColor(30 + 60 * i, 200 - 50 * i, 90));
    for (int x = 0; x < 12; ++x) centre.SetPixel(x, (x + i) % 8, RGBColor(250 - 60 * i, 20 * i, 200));
    TBitmap photo = Solid(frames[i].w, frames[i].h, clRed);
    photo.Draw((frames[i].w - 12) / 2, (frames[i].h - 8) / 2, centre);
    TPictureFileContext pictureFiles;
    ASSERT_EQ(SavePicture(pictureFiles, photos.filePath(QStringLiteral("p%1.png").arg(i)), photo), 1);
    centres.push_back(centre);
  }
  command.FolderChosen(photos.path());
  command.CacheFile = photos.filePath(QStringLiteral("cache/thumbnails.sqlite"));
  command.Options.CheckSize = false;
  command.Options.CellSize = 12;
  command.Options.TileAspect = {3, 2};
  command.Options.MatchColours = true;
  command.Options.TintLimit = 0;
  command.Options.RepeatDistance = 0;
  TBitmap target = Numbered(50, 30);  // 5 columns (the last 2 wide), 4 rows (the last 6 high)
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round == 0 ? "decoded" : "from the cache");
    command.ThumbnailsStale = true;
    TBitmap image = target;
    const TMosaicResult result = command.Execute(image, progress);
    ASSERT_TRUE(result.Built);
    EXPECT_TRUE(result.Library);
    EXPECT_EQ(result.LibraryLoad.FromCache, round == 0 ? 0 : 4);
    ASSERT_EQ(command.ImgVignettes.Count(), 4);
    EXPECT_EQ(command.ImgVignettes.Width(), 12);
    EXPECT_EQ(command.ImgVignettes.Height(), 8);
    for (int cy = 0; cy < 4; ++cy)
      for (int cx = 0; cx < 5; ++cx) {
        const int w = std::min(12, 50 - cx * 12), h = std::min(8, 30 - cy * 8);
        const TBitmap cell = Crop(image, cx * 12, cy * 8, w, h);
        EXPECT_TRUE(std::any_of(centres.begin(), centres.end(),
                                [&](const TBitmap& c) { return SamePixels(cell, Crop(c, 0, 0, w, h)); }))
            << "cell " << cx << ", " << cy;
      }
  }

  QTemporaryDir one;
  ASSERT_TRUE(one.isValid());
  TPictureFileContext pictureFiles;
  ASSERT_EQ(SavePicture(pictureFiles, one.filePath(QStringLiteral("p.png")), Numbered(30, 20)), 1);
  command.FolderChosen(one.path());
  command.Options.MatchColours = false;
  command.Options.Antialias = false;
  TBitmap image = Solid(50, 30, RGBColor(100, 120, 140));
  ASSERT_TRUE(command.Execute(image, progress));
  ASSERT_FALSE(SamePixels(Crop(image, 0, 0, 12, 8), Solid(12, 8, image.Pixel(0, 0))));
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 50; ++x) ASSERT_EQ(Hex(image.Pixel(x, y)), Hex(image.Pixel(x % 12, y % 8))) << x << ", " << y;
}

// Cancelled half way through each stage (the library load, the matched
// search, the placement under rules on reuse, its drawing, the random
// mosaic), the command gives its change up:
// the picture, the undo copy and the change count are those of the edit
// before it. A library stopped part way is loaded again by the next run,
// which decodes only the photos the cancelled one had not reached.
TEST_F(MosaicCommand, CancelledHalfWayGivesTheChangeUp) {
  QTemporaryDir photos;
  ASSERT_TRUE(photos.isValid());
  // Photos of a real size: each takes its time to decode, so that a load
  // cancelled half way has photos left to decode.
  constexpr int photoCount = 36;
  for (int i = 0; i < photoCount; ++i) {
    TPictureFileContext pictureFiles;
    const TColor c = RGBColor(7 * i, 255 - 7 * i, (97 * i) % 256);
    ASSERT_EQ(SavePicture(pictureFiles, photos.filePath(QStringLiteral("p%1.png").arg(i, 2, 10, QChar(u'0'))),
                          Solid(320, 240, c)),
              1);
  }
  command.FolderChosen(photos.path());
  command.CacheFile = photos.filePath(QStringLiteral("cache/thumbnails.sqlite"));
  command.Options.CheckSize = false;
  command.LoadThreads = 1;

  enum TStage { Loading, Searching, Placing, Drawing, Random };
  const struct {
    const char* name;
    TStage stage;
  } cases[] = {{"library load", Loading},
               {"search", Searching},
               {"placement", Placing},
               {"drawing", Drawing},
               {"random", Random}};
  // The build's bar as the placement under rules on reuse starts.
  constexpr int placingFrom = MatchSearchPercent * FairSearchPercent / 100;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    command.Options.MatchColours = c.stage != Random;
    command.Options.CropSquare = true;
    // 80 cells, at most 3 of each of the 36 photos, every photo once.
    command.Options.MaxUses = c.stage == Placing ? 3 : 0;
    command.Options.UseAll = c.stage == Placing;
    TDocument document;
    document.Opened(Numbered(200, 160), QStringLiteral("a.png"));
    ASSERT_TRUE(document.SnapshotBeforeChange());
    document.Picture().SetPixel(3, 4, clRed);  // the edit before the command
    const TBitmap picture = document.Picture(), undo = document.UndoCopy();
    const int changes = document.ChangeCount();

    bool cancel = false;
    int doneAtCancel = 0;
    TMosaicProgress halfWay;
    halfWay.Cancelled = [&] { return cancel; };
    halfWay.ShowFileProgress = [&](int done, int found) {
      if (c.stage == Loading && !cancel && done * 2 >= found) {
        cancel = true;
        doneAtCancel = done;
      }
    };
    const int threshold = c.stage == Searching ? MatchSearchPercent / 2
                          : c.stage == Placing ? (placingFrom + MatchSearchPercent) / 2
                          : c.stage == Drawing ? (MatchSearchPercent + 100) / 2
                                               : 50;
    int reportedAfterCancel = -1, reportedAtCancel = -1;
    halfWay.ShowProgress = [&](int percent) {
      if (cancel) reportedAfterCancel = std::max(reportedAfterCancel, percent);
      if (c.stage != Loading && !cancel && percent >= threshold) {
        cancel = true;
        reportedAtCancel = percent;
      }
    };
    const TMosaicResult cancelled = command.Execute(document, halfWay);
    EXPECT_FALSE(cancelled.Built);
    EXPECT_TRUE(cancelled.Cancelled);
    EXPECT_TRUE(cancel);
    // Stopped at the next check: a search never goes on to the drawing, a
    // placement or a drawing row never starts.
    if (c.stage == Searching)
      EXPECT_LT(reportedAfterCancel, MatchSearchPercent);
    else
      EXPECT_EQ(reportedAfterCancel, -1);
    if (c.stage == Placing) {
      EXPECT_GT(reportedAtCancel, placingFrom);
      EXPECT_LT(reportedAtCancel, MatchSearchPercent) << "cancelled while placing";
    }
    EXPECT_TRUE(SamePixels(document.Picture(), picture));
    EXPECT_TRUE(SamePixels(document.UndoCopy(), undo));
    EXPECT_EQ(document.ChangeCount(), changes);

    if (c.stage == Loading) {
      EXPECT_TRUE(command.ThumbnailsStale);
      EXPECT_EQ(command.ImgVignettes.Count(), 0);
      EXPECT_TRUE(cancelled.LibraryLoad.Cancelled);
      // The next run takes what was decoded from the cache and builds.
      const TMosaicResult next = command.Execute(document, progress);
      ASSERT_TRUE(next.Built);
      EXPECT_GE(next.LibraryLoad.FromCache, doneAtCancel);
      EXPECT_LT(next.LibraryLoad.FromCache, photoCount);
      EXPECT_EQ(command.ImgVignettes.Count(), photoCount);
      EXPECT_EQ(document.ChangeCount(), changes + 1);
      EXPECT_FALSE(SamePixels(document.Picture(), picture));
    }
  }
  EXPECT_TRUE(messages.empty());
}
