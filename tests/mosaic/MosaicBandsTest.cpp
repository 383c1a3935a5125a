#include "mosaic/MosaicBands.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstring>

#include "TestBitmaps.h"
#include "app/MyMsgDlg.h"
#include "imagefiles/PictureFiles.h"
#include "mosaic/MosaicCommand.h"

using namespace testing_bitmaps;

namespace {

// Puts the bands it is sent together; can fail at a band or refuse to begin.
struct TPictureSink : TBandSink {
  int FailAtBand = -1;
  bool RefuseBegin = false;
  int Bands = 0, Abandoned = 0, NextTop = 0;
  bool Finished = false;
  TBitmap Picture;
  bool Begin(int width, int height) override {
    if (RefuseBegin) return false;
    Picture = TBitmap(width, height, pf24bit);
    return true;
  }
  bool Write(const TBitmap& band, int top) override {
    if (Bands++ == FailAtBand) return false;
    EXPECT_EQ(top, NextTop);
    EXPECT_EQ(band.Width(), Picture.Width());
    EXPECT_EQ(band.PixelFormat(), pf24bit);
    NextTop = top + band.Height();
    for (int y = 0; y < band.Height(); ++y)
      std::memcpy(Picture.ScanLine(top + y), band.ScanLine(y), 3 * size_t(band.Width()));
    return true;
  }
  bool Finish() override {
    EXPECT_EQ(NextTop, Picture.Height());
    return Finished = true;
  }
  void Abandon() override { ++Abandoned; }
  QString Error() const override { return QStringLiteral("no room"); }
};

// A photo with detail of its own: a gradient in the photo's colour crossed by
// a diagonal line.
TBitmap Photo(int i, int w, int h) {
  TBitmap b(w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.SetPixel(x, y,
                 (x + 2 * y + i) % 11 == 0
                     ? RGBColor(255 - 20 * i, 10 * i, 128)
                     : RGBColor((37 * i + 3 * x) % 256, (90 + 23 * i + 5 * y) % 256, (200 - 17 * i + x + y) % 256));
  return b;
}

class MosaicBands : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    previous = SetMsgPresenter([](const TMsgRequest&) { return int(idOk); });
    for (int i = 0; i < 14; ++i) {
      TPictureFileContext files;
      ASSERT_EQ(SavePicture(files, dir.filePath(QStringLiteral("p%1.png").arg(i, 2, 10, QChar(u'0'))),
                            Photo(i, 30 + i, 24 + (i % 3) * 4)),
                1);
    }
    // Two photos: the random mosaic's redraw of the previous photo comes
    // into play at almost every cell.
    ASSERT_TRUE(few.isValid());
    for (int i = 0; i < 2; ++i) {
      TPictureFileContext files;
      ASSERT_EQ(SavePicture(files, few.filePath(QStringLiteral("p%1.png").arg(i)), Photo(i, 30, 24)), 1);
    }
    command.FolderChosen(dir.path());
    command.Options.UseCache = false;
    command.Random = &random;
  }
  void TearDown() override { SetMsgPresenter(previous); }

  QTemporaryDir dir, few;
  TMosaicCommand command;
  TSeededRandom random{11};
  TMsgPresenter previous;
};

// A target with detail at every pixel: a wrong row or a wrong cell shows.
TBitmap Target(int w, int h) {
  TBitmap b(w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.SetPixel(x, y, RGBColor((x * 9 + y) % 256, (y * 7 + 40) % 256, (x * y) % 256));
  return b;
}

}  // namespace

// The mosaic drawn in bands, whatever their height, is byte for byte the one
// built in memory with the same options and seed, in the random and the
// matched mode, with the options that change how cells are drawn; the
// matched results (placement, tints, quality) are the same too.
TEST_F(MosaicBands, BandsMakeTheMosaicBuiltInMemory) {
  struct TCase {
    const char* Name;
    bool Match;
    int Scale, Cell;
    TTileAspect Aspect;
    bool Antialias = true;
    TTintMode Tint = TTintMode::Light;
    int MaxUses = 0;
    bool UseAll = false;
    bool Crop = false;
    int Repeat = DefaultRepeatDistance;
    int TintLimit = DefaultMatchTintLimit;
    bool FewPhotos = false;
  };
  const TCase cases[] = {
      {"random", false, 1, 10, {1, 1}},
      {"random scaled", false, 3, 10, {1, 1}},
      {"random without antialias", false, 2, 15, {1, 1}, false},
      {"random 3:2 tiles", false, 3, 10, {3, 2}},
      {"random of two photos",
       false,
       2,
       10,
       {1, 1},
       true,
       TTintMode::Light,
       0,
       false,
       false,
       DefaultRepeatDistance,
       DefaultMatchTintLimit,
       true},
      {"matched light tint", true, 3, 10, {1, 1}},
      {"matched whole tint", true, 2, 10, {1, 1}, true, TTintMode::Whole, 0, false, false, 1, 60},
      {"matched fair use, cropped", true, 3, 10, {1, 1}, true, TTintMode::Light, 4, true, true, 2},
      {"matched 16:9 unscaled", true, 1, 15, {16, 9}},
  };
  const TBitmap target = Target(47, 95);
  for (const TCase& c : cases) {
    command.Options.MatchColours = c.Match;
    command.Options.Scale = c.Scale;
    command.Options.CellSize = c.Cell;
    command.Options.TileAspect = c.Aspect;
    command.Options.Antialias = c.Antialias;
    command.Options.TintMode = c.Tint;
    command.Options.TintLimit = c.TintLimit;
    command.Options.MaxUses = c.MaxUses;
    command.Options.UseAll = c.UseAll;
    command.Options.CropSquare = c.Crop;
    command.Options.RepeatDistance = c.Repeat;
    command.Options.CheckSize = false;
    command.FolderChosen(c.FewPhotos ? few.path() : dir.path());
    TBitmap whole = target;
    const TMosaicResult held = command.Execute(whole);
    ASSERT_TRUE(held.Built) << c.Name;
    const TMatchPlacement& placement = held.Placement;
    const TMosaicQuality& quality = held.Quality;
    for (const int cellRows : {1, 2, 5, 0}) {
      SCOPED_TRACE(testing::Message() << c.Name << ", " << cellRows << " rows of cells a band");
      command.BandCellRows = cellRows;
      TPictureSink sink;
      const TMosaicResult banded = command.ExecuteInBands(target, sink);
      ASSERT_TRUE(banded.Built);
      EXPECT_TRUE(sink.Finished);
      EXPECT_EQ(sink.Abandoned, 0);
      EXPECT_TRUE(SamePixels(sink.Picture, whole));
      EXPECT_EQ(banded.Placement.Thumbnail, placement.Thumbnail);
      EXPECT_EQ(banded.Placement.Tint, placement.Tint);
      EXPECT_EQ(banded.Placement.Columns, placement.Columns);
      EXPECT_EQ(banded.Quality.Cells, quality.Cells);
      EXPECT_EQ(banded.Quality.Far.Mean, quality.Far.Mean);
      EXPECT_EQ(banded.Quality.Near.P95, quality.Near.P95);
      EXPECT_EQ(banded.Placement.Uses.PhotosUsed, placement.Uses.PhotosUsed);
      EXPECT_EQ(banded.Width, whole.Width());
      EXPECT_EQ(banded.Height, whole.Height());
    }
  }
  // "Check size" enlarges the small picture first, as in memory.
  command.Options.MatchColours = false;
  command.Options.Scale = 1;
  command.Options.CellSize = 10;
  command.Options.CheckSize = true;
  command.FolderChosen(dir.path());
  TBitmap whole = target;
  ASSERT_TRUE(command.Execute(whole));
  TPictureSink sink;
  ASSERT_TRUE(command.ExecuteInBands(target, sink));
  EXPECT_EQ(sink.Picture.Height(), 800);
  EXPECT_TRUE(SamePixels(sink.Picture, whole));
}

// A sink that fails, refuses the picture, or a cancel part way: no mosaic,
// the sink abandoned and never finished.
TEST_F(MosaicBands, AFailureOrACancelAbandonsTheSink) {
  command.Options.CheckSize = false;
  command.Options.Scale = 2;
  command.BandCellRows = 1;
  const TBitmap target = Target(40, 30);
  for (const bool match : {false, true}) {
    command.Options.MatchColours = match;
    struct TCase {
      const char* Name;
      int FailAtBand;
      bool RefuseBegin;
      int CancelAfterRows;  // rows of cells asked after the first band; -1: never
    } cases[] = {{"write fails", 1, false, -1}, {"begin refused", -1, true, -1}, {"cancelled", -1, false, 0}};
    for (const TCase& c : cases) {
      SCOPED_TRACE(testing::Message() << (match ? "matched, " : "random, ") << c.Name);
      TPictureSink sink;
      sink.FailAtBand = c.FailAtBand;
      sink.RefuseBegin = c.RefuseBegin;
      TMosaicProgress progress;
      int rows = 0;
      if (c.CancelAfterRows >= 0) progress.Cancelled = [&] { return sink.Bands > 0 && ++rows > c.CancelAfterRows; };
      EXPECT_FALSE(command.ExecuteInBands(target, sink, progress));
      EXPECT_FALSE(sink.Finished);
      EXPECT_GE(sink.Abandoned, 1);
    }
  }
}
