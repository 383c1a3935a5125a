#include "mosaic/MosaicJob.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "TestBitmaps.h"
#include "app/MyMsgDlg.h"
#include "imagefiles/PictureFiles.h"

using namespace testing_bitmaps;

namespace {

// A photo with detail of its own, different for each i.
TBitmap Photo(int i, int w, int h) {
  TBitmap b(w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.SetPixel(x, y, RGBColor((37 * i + 3 * x) % 256, (90 + 23 * i + 5 * y) % 256, (200 - 17 * i + x + y) % 256));
  return b;
}

QByteArray Bytes(const QString& file) {
  QFile f(file);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class MosaicJob : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(photos.isValid());
    ASSERT_TRUE(out.isValid());
    previous = SetMsgPresenter([this](const TMsgRequest& r) {
      messages.push_back(r.Text);
      return int(idOk);
    });
    TPictureFileContext files;
    for (int i = 0; i < 6; ++i)
      ASSERT_EQ(SavePicture(files, photos.filePath(QStringLiteral("p%1.png").arg(i)), Photo(i, 24, 24)), 1);
    command.FolderChosen(photos.path());
    command.PreferSamplePhotos = false;
    command.Options.UseCache = false;
    command.Options.CheckSize = false;
    command.Options.MatchColours = true;
    command.Options.CellSize = 10;
  }
  void TearDown() override { SetMsgPresenter(previous); }
  QString Out(const char* name) const { return out.filePath(QLatin1String(name)); }

  QTemporaryDir photos, out;
  TMosaicCommand command;
  std::vector<QString> messages;
  TMsgPresenter previous;
};

}  // namespace

// Held whole while a picture can hold the mosaic and it is not a large
// enlargement whose file takes bands; in bands when the file's format
// allows; refused, before any work, beyond what either can do.
TEST_F(MosaicJob, PlansMemoryAgainstBands) {
  struct Case {
    const char* Name;
    int Width, Height, Scale;
    const char* File;
    TMosaicFit Fit;
    std::int64_t SideLimit;
  } cases[] = {
      {"small", 100, 80, 1, "m.png", TMosaicFit::Whole, 0},
      {"no file, small", 100, 80, 1, "", TMosaicFit::Whole, 0},
      {"beyond a side, PNG", 6, 480, 140, "m.png", TMosaicFit::InBands, 1000000},
      {"beyond a side, TIFF", 6, 480, 140, "m.tif", TMosaicFit::InBands, 1000000},
      {"beyond a side, BMP", 6, 480, 140, "m.bmp", TMosaicFit::TooLargeToHold, 0},
      {"beyond a side, no file", 6, 480, 140, "", TMosaicFit::TooLargeToHold, 0},
      {"beyond JPEG's side", 6, 480, 140, "m.jpg", TMosaicFit::BeyondFormatSide, 65535},
      {"large enlargement, TIFF", 1000, 1000, 15, "m.tif", TMosaicFit::InBands, 1000000},
      {"large enlargement, BMP", 1000, 1000, 15, "m.bmp", TMosaicFit::Whole, 0},
      {"just under the band pixels", 1000, 1000, 14, "m.tif", TMosaicFit::Whole, 0},
      {"beyond the band writers", 2, 8000, 140, "m.tif", TMosaicFit::BeyondFormatSide, 1000000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    command.Options.Scale = c.Scale;
    TMosaicOutputs outputs;
    if (*c.File) outputs.PictureFile = Out(c.File);
    const TMosaicPlan plan = PlanMosaic(command, c.Width, c.Height, outputs);
    EXPECT_EQ(int(plan.Fit), int(c.Fit));
    EXPECT_EQ(plan.Width, std::int64_t(c.Width) * c.Scale);
    EXPECT_EQ(plan.Height, std::int64_t(c.Height) * c.Scale);
    if (c.Fit == TMosaicFit::BeyondFormatSide) {
      EXPECT_EQ(plan.SideLimit, c.SideLimit);
    }
    EXPECT_FALSE(plan.Failure.Failed());
  }
  // "Check size" enlarges first: the plan has the size that comes out.
  command.Options.CheckSize = true;
  command.Options.Scale = 2;
  const TMosaicPlan enlarged = PlanMosaic(command, 400, 300, {});
  EXPECT_EQ(enlarged.Width, 1600);
  EXPECT_EQ(enlarged.Height, 1200);
}

// Every output is checked before the work: the first that cannot be
// written is named with why.
TEST_F(MosaicJob, OutputsAreCheckedBeforeTheWork) {
  const QString missing = Out("missing/m.png");
  struct Case {
    const char* Name;
    TMosaicOutputs Outputs;
    QString Failed;
  } cases[] = {
      {"all writable", {Out("m.png"), Out("page"), Out("map.csv"), Out("report.json")}, QString()},
      {"picture's folder missing", {missing, {}, {}, {}}, missing},
      {"report's folder missing", {Out("m.png"), {}, {}, Out("missing/r.json")}, Out("missing/r.json")},
      {"tile map's folder missing", {{}, {}, Out("missing/map.json"), {}}, Out("missing/map.json")},
      {"page where a file is", {{}, Out("file.txt/page"), {}, {}}, Out("file.txt/page")},
  };
  QFile file(Out("file.txt"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const TOutputFailure failure = CheckOutputs(c.Outputs);
    EXPECT_EQ(failure.File, c.Failed);
    EXPECT_EQ(failure.Reason.isEmpty(), c.Failed.isEmpty());
  }
  EXPECT_FALSE(QDir(Out("page")).exists());
}

// Drawn in bands or held whole, the job writes the same mosaic, tile map,
// report and page: one run for every size.
TEST_F(MosaicJob, BandsAndWholeWriteTheSameOutputs) {
  const TBitmap target = Numbered(70, 45);
  QByteArray maps[2], reports[2], pages[2];
  TBitmap pictures[2];
  for (const bool bands : {false, true}) {
    SCOPED_TRACE(bands ? "in bands" : "whole");
    const QString folder = out.filePath(bands ? QStringLiteral("bands") : QStringLiteral("whole"));
    TMosaicOutputs outputs{folder + QStringLiteral("/m.png"), folder + QStringLiteral("/page"),
                           folder + QStringLiteral("/map.json"), folder + QStringLiteral("/report.json")};
    ASSERT_TRUE(QDir().mkpath(folder));
    TMosaicPlan plan = PlanMosaic(command, target.Width(), target.Height(), outputs);
    ASSERT_EQ(int(plan.Fit), int(TMosaicFit::Whole));
    if (bands) plan.Fit = TMosaicFit::InBands;
    TSeededRandom random(3);
    command.Random = &random;
    command.ThumbnailsStale = true;
    TBitmap working(target);
    const TMosaicResult result = RunMosaicJob(command, working, plan, outputs);
    ASSERT_TRUE(result.Built) << result.Failure.File.toStdString() << ": " << result.Failure.Reason.toStdString();
    EXPECT_EQ(result.InBands, bands);
    EXPECT_TRUE(result.Matched());
    EXPECT_EQ(result.Width, 70);
    EXPECT_EQ(result.Height, 45);
    // In bands the target is left as it was.
    EXPECT_EQ(SamePixels(working, target), bands);
    TPictureFileContext files;
    ASSERT_EQ(LoadPicture(files, outputs.PictureFile, pictures[bands]), 1);
    maps[bands] = Bytes(outputs.TileMapFile);
    reports[bands] = Bytes(outputs.ReportFile);
    pages[bands] = Bytes(outputs.DeepZoomFolder + QStringLiteral("/mosaic.dzi"));
    EXPECT_TRUE(QFile::exists(outputs.DeepZoomFolder + QStringLiteral("/index.html")));
    EXPECT_TRUE(QFile::exists(outputs.DeepZoomFolder + QStringLiteral("/tilemap.json")));
    const QJsonObject report = QJsonDocument::fromJson(reports[bands]).object();
    EXPECT_EQ(report.value(QStringLiteral("cells")).toInt(), 7 * 5);
    EXPECT_EQ(report.value(QStringLiteral("photosInLibrary")).toInt(), 6);
    EXPECT_EQ(report.value(QStringLiteral("repeatDistance")).toInt(), command.Options.RepeatDistance);
  }
  EXPECT_TRUE(SamePixels(pictures[0], pictures[1]));
  EXPECT_FALSE(maps[0].isEmpty());
  EXPECT_EQ(maps[0], maps[1]);
  EXPECT_EQ(reports[0], reports[1]);
  EXPECT_EQ(pages[0], pages[1]);
  EXPECT_TRUE(messages.empty());
}

// The page of a mosaic on screen: its progress is told, a cancel part way
// leaves the folder as it was, and a finished one holds the page, the
// pyramid and, for a matched mosaic, the tile map.
TEST_F(MosaicJob, ExportedPageReportsProgressAndLeavesNothingWhenCancelled) {
  TBitmap mosaic = Numbered(300, 700);  // three rows of 256-row bands
  const TMosaicResult result = command.Execute(mosaic);
  ASSERT_TRUE(result.Built);
  const QString folder = Out("page");
  ASSERT_TRUE(QDir().mkpath(folder));
  std::vector<int> shown;
  TMosaicProgress progress;
  progress.ShowOutputProgress = [&](int percent) { shown.push_back(percent); };
  progress.Cancelled = [&] { return shown.size() >= 2; };
  const TOutputResult cancelled = ExportDeepZoom(mosaic, result, folder, progress);
  EXPECT_FALSE(cancelled.Written);
  EXPECT_TRUE(cancelled.Cancelled);
  EXPECT_FALSE(cancelled.Failure.Failed());
  EXPECT_EQ(shown.size(), 2u);
  EXPECT_TRUE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());

  shown.clear();
  progress.Cancelled = {};
  const TOutputResult written = ExportDeepZoom(mosaic, result, folder, progress);
  EXPECT_TRUE(written.Written);
  EXPECT_EQ(shown, (std::vector<int>{36, 73, 100}));
  for (const char* name : {"index.html", "mosaic.dzi", "mosaic_files", "tilemap.json"})
    EXPECT_TRUE(QFileInfo::exists(folder + QLatin1Char('/') + QLatin1String(name))) << name;
}
