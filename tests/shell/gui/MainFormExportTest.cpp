// The mosaic's outputs from the window's Action menu, as the user meets
// them: the zoomable page opened in a real browser, the poster drawn into a
// file without touching the window's picture, a cancel part way that leaves
// nothing behind, and the tile map and report files.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <cmath>
#include <cstdlib>
#include <functional>

#include "MissingPiece.h"
#include "controls/gui/SpecialEdit.h"
#include "dialogs/gui/MosaicOptions.h"
#include "imagefiles/DeepZoom.h"
#include "imagefiles/PictureFiles.h"
#include "mosaic/MosaicJob.h"
#include "mosaic/MosaicRandom.h"
#include "shell/gui/MosaicProgressDialog.h"
#include "shell/gui/WindowFixture.h"

namespace {

constexpr const char* Chromium = "/usr/bin/chromium";
const QRgb Red = qRgb(200, 30, 30);
const QRgb Green = qRgb(30, 200, 30);
const QRgb Colours[] = {Red, Green, qRgb(30, 30, 200), qRgb(220, 220, 40)};
constexpr int Seed = 11;

QByteArray Read(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A picture file's size from its header; a PNG's read straight from its
// IHDR chunk, as the load dispatch takes no picture beyond 65535 pixels a
// side.
QSize SizeOf(const QString& file) {
  if (file.endsWith(QStringLiteral(".png"))) {
    const QByteArray head = Read(file).left(24);
    if (head.size() < 24 || head.mid(12, 4) != "IHDR") return {};
    const auto word = [&](int at) {
      return int(std::uint8_t(head[at]) << 24 | std::uint8_t(head[at + 1]) << 16 | std::uint8_t(head[at + 2]) << 8 |
                 std::uint8_t(head[at + 3]));
    };
    return QSize(word(16), word(20));
  }
  TPictureFileContext files;
  TPictureHeader header;
  return ReadPictureHeader(files, file, header) ? QSize(header.Width, header.Height) : QSize();
}

// Every entry of a folder, hidden ones too, and what is below them.
QStringList Tree(const QString& folder) {
  QStringList names;
  const QDir dir(folder);
  for (const QFileInfo& e : dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name)) {
    names << e.fileName();
    if (e.isDir())
      for (const QString& below : Tree(e.filePath())) names << e.fileName() + QLatin1Char('/') + below;
  }
  return names;
}

class MainFormExportTest : public WindowFixture {
 protected:
  void SetUp() override {
    WindowFixture::SetUp();
    // Four plain photos, and a picture whose left half is the first one's
    // colour and right half the second's.
    QDir(Dir.path()).mkdir(QStringLiteral("thumbs"));
    for (int i = 0; i < 4; ++i) {
      QImage t(16, 16, QImage::Format_RGB32);
      t.fill(Colours[i]);
      ASSERT_TRUE(t.save(File(QStringLiteral("thumbs/t%1.png").arg(i))));
    }
    Picture(QStringLiteral("halves.png"), 80, 60);
    QDir(Dir.path()).mkdir(QStringLiteral("out"));
    m_timing = TMosaicProgressDialog::SetTiming({0, 0});
  }
  void TearDown() override {
    TMosaicProgressDialog::SetTiming(m_timing);
    WindowFixture::TearDown();
  }

  void Picture(const QString& name, int w, int h) {
    QImage picture(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) picture.setPixel(x, y, x < w / 2 ? Red : Green);
    ASSERT_TRUE(picture.save(File(name)));
  }

  // The options both the window and the reference mosaic are made with:
  // 10-pixel cells, no "Check size", photos free to repeat side by side.
  void Configure(TMosaicCommand& c, TRandom* random) {
    c.Options.ThumbnailsFolder = File(QStringLiteral("thumbs"));
    c.Random = random;
    c.LoadThreads = 1;
    c.CacheFile = File(QStringLiteral("cache"));
    c.Options.RepeatDistance = 0;
    c.Options.CellSize = 10;
    c.Options.CheckSize = false;
  }

  // A shown window with the picture open, ready for a mosaic.
  TMainForm& ShowWith(const QString& picture, bool matched) {
    TMainForm& f = Make();
    Configure(f.Mosaic, &m_random);
    f.ChooseFolder = [this](const QString&, const QString&) { return ChosenFolder; };
    f.OpenInBrowser = [this](const QUrl& url) {
      Opened.push_back(url);
      return true;
    };
    f.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&f));
    Open(File(picture));
    f.EdiTaille->SetItemIndex(0);
    f.MenuVerifierTaille->setChecked(false);
    f.MenuAssortir->setChecked(matched);
    return f;
  }

  // The mosaic the core makes of picture at scale into file, with the
  // window's options and the same seed.
  void ReferencePoster(const QString& picture, int scale, const QString& file) {
    TSeededRandom random(Seed);
    TMosaicCommand c;
    Configure(c, &random);
    c.Options.Scale = scale;
    TPictureFileContext files;
    TBitmap target;
    ASSERT_EQ(LoadPicture(files, File(picture), target), 1);
    TMosaicOutputs outputs;
    outputs.PictureFile = file;
    const TMosaicPlan plan = PlanMosaic(c, target.Width(), target.Height(), outputs);
    ASSERT_TRUE(RunMosaicJob(c, target, plan, outputs).Built);
  }

  // Clicks the progress dialog's Cancel once its bar has moved.
  void CancelPartWay() {
    auto* timer = new QTimer(Form.get());
    QObject::connect(timer, &QTimer::timeout, timer, [this, timer] {
      auto* dialog = dynamic_cast<TMosaicProgressDialog*>(QApplication::activeModalWidget());
      if (!dialog || dialog->Bar()->value() <= 0) return;
      CancelledAt = dialog->Bar()->value();
      QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
      timer->deleteLater();
    });
    timer->start(0);
  }

  QString ChosenFolder;
  std::vector<QUrl> Opened;
  int CancelledAt = -1;
  TSeededRandom m_random{Seed};

 private:
  TMosaicProgressDialog::TTiming m_timing;
};

// The exports follow the mosaic on screen: the page for any mosaic made
// here, the tile map and report for a matched one; undo takes them away.
TEST_F(MainFormExportTest, ExportsAreOfferedWhileTheMosaicIsOnScreen) {
  TMainForm& f = ShowWith(QStringLiteral("halves.png"), false);
  const auto expect = [&](const char* step, bool poster, bool page, bool matched) {
    SCOPED_TRACE(step);
    EXPECT_EQ(f.MenuActionPoster->isEnabled(), poster);
    EXPECT_EQ(f.MenuActionPage->isEnabled(), page);
    EXPECT_EQ(f.MenuActionTileMap->isEnabled(), matched);
    EXPECT_EQ(f.MenuActionReport->isEnabled(), matched);
  };
  expect("a picture", true, false, false);
  f.MenuActionMosaique->trigger();
  expect("a random mosaic", true, true, false);
  f.MenuEditionAnnuler->trigger();
  expect("undone", true, false, false);
  f.MenuAssortir->setChecked(true);
  f.MenuActionMosaique->trigger();
  expect("a matched mosaic", true, true, true);
  f.Document.DiscardChanges();
  f.MenuFichierFermer->trigger();
  expect("closed", false, false, false);
  for (QAction* a : {f.MenuActionPoster, f.MenuActionPage, f.MenuActionTileMap, f.MenuActionReport})
    EXPECT_TRUE(f.MenuAction->actions().contains(a)) << a->text().toStdString();
}

// A random mosaic's page: the pyramid and the page, with a tile map of no
// cells; the browser is offered the page itself.
TEST_F(MainFormExportTest, RandomMosaicPageIsWrittenAndOffered) {
  TMainForm& f = ShowWith(QStringLiteral("halves.png"), false);
  f.MenuActionMosaique->trigger();
  ChosenFolder = File(QStringLiteral("out"));
  Answers = {idNo};
  Messages.clear();
  f.MenuActionPage->trigger();
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Kind, mkConfirmation);
  EXPECT_TRUE(Opened.empty());
  const QStringList tree = Tree(ChosenFolder);
  for (const char* name : {"index.html", "mosaic.dzi", "mosaic_files/7/0_0.jpg", "tilemap.json"})
    EXPECT_TRUE(tree.contains(QLatin1String(name))) << name;
  EXPECT_EQ(QJsonDocument::fromJson(Read(ChosenFolder + QStringLiteral("/tilemap.json")))["cells"].toArray().size(), 0);
}

// The page of a matched mosaic, opened from the disk in headless Chromium:
// deep in, each cell shows its photo's colour and the mouse names the photo;
// the browser is offered that page.
TEST_F(MainFormExportTest, MatchedMosaicPageOpensInTheBrowser) {
  TMainForm& f = ShowWith(QStringLiteral("halves.png"), true);
  f.MenuActionMosaique->trigger();
  ASSERT_TRUE(f.MenuActionPage->isEnabled());
  ChosenFolder = File(QStringLiteral("out"));
  Answers = {idYes};
  f.MenuActionPage->trigger();
  const QString page = ChosenFolder + QStringLiteral("/index.html");
  ASSERT_EQ(Opened.size(), 1u);
  EXPECT_EQ(Opened[0], QUrl::fromLocalFile(page));
  ASSERT_TRUE(QFile::exists(page));
  EXPECT_EQ(Read(ChosenFolder + QStringLiteral("/mosaic.dzi")), TDeepZoomWriter::Descriptor(80, 60));

  if (!QFile::exists(QLatin1String(Chromium))) MISSING_PIECE("no Chromium at " << Chromium);
  if (QStandardPaths::findExecutable(QStringLiteral("node")).isEmpty()) MISSING_PIECE("no node on the PATH");
  const QString script = QStringLiteral(TESSELUNE_SOURCE_DIR "/tests/browser/deep-zoom-page.mjs");
  const struct {
    int x, y;
    const char* photo;
    QRgb colour;
  } cells[] = {{15, 25, "t0.png", Red}, {65, 35, "t1.png", Green}};
  for (const auto& cell : cells) {
    SCOPED_TRACE(cell.photo);
    const int scale = 4;
    QProcess node;
    node.start(QStringLiteral("node"), {script, ChosenFolder, QString::number(cell.x), QString::number(cell.y),
                                        QString::number(scale), File(QStringLiteral("shot.png"))});
    ASSERT_TRUE(node.waitForFinished(120000));
    ASSERT_EQ(node.exitCode(), 0) << node.readAllStandardError().toStdString();
    const QJsonObject view = QJsonDocument::fromJson(node.readAllStandardOutput()).object();
    EXPECT_EQ(view["errors"].toArray(), QJsonArray{});
    EXPECT_EQ(view["deepestLevel"].toInt(), TDeepZoomWriter::MaxLevel(80, 60));
    EXPECT_EQ(view["label"].toString().toStdString(), QStringLiteral("%1, tint 0 %").arg(cell.photo).toStdString());
    const QImage shot(File(QStringLiteral("shot.png")));
    ASSERT_FALSE(shot.isNull());
    const QRgb seen = shot.pixel(int(view["pointX"].toDouble()), int(view["pointY"].toDouble()));
    EXPECT_LE(std::abs(qRed(seen) - qRed(cell.colour)) + std::abs(qGreen(seen) - qGreen(cell.colour)) +
                  std::abs(qBlue(seen) - qBlue(cell.colour)),
              24)
        << std::hex << seen;
  }
}

// The poster is the core's mosaic of the picture at the poster's scale,
// byte for byte, held whole or drawn in bands; made while a mosaic is on
// screen, it is the poster of the picture that mosaic was made from. The
// window's picture, undo copy, change count and scale stay as they were.
TEST_F(MainFormExportTest, PosterIsTheMosaicAtItsScaleAndLeavesTheWindowAlone) {
  Picture(QStringLiteral("thin.png"), 6600, 10);
  const struct {
    const char* name;
    const char* picture;
    bool mosaicFirst;
    int scale;
    const char* file;
    int width, height;
  } cases[] = {
      {"held whole", "halves.png", false, 3, "poster.png", 240, 180},
      {"from the mosaic on screen", "halves.png", true, 2, "poster.tif", 160, 120},
      // Beyond the 65535 pixels a side of a picture held whole.
      {"in bands", "thin.png", false, 10, "poster.png", 66000, 100},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TMainForm& f = ShowWith(QString::fromLatin1(c.picture), false);
    if (c.mosaicFirst) f.MenuActionMosaique->trigger();
    const qint64 picture = f.WorkingImage().Image().cacheKey();
    const qint64 undo = f.Document.UndoCopy().Empty() ? 0 : f.Document.UndoCopy().Image().cacheKey();
    const int changes = f.ChangeCount();
    f.Mosaic.Options.Scale = c.scale;
    const QString file = File(QStringLiteral("out/") + QLatin1String(c.file));
    Dialogs.SaveNames = {file};
    Messages.clear();
    f.MenuActionPoster->trigger();
    EXPECT_TRUE(Messages.empty()) << Messages.front().Text.toStdString();
    EXPECT_EQ(SizeOf(file), QSize(c.width, c.height));
    const QString reference = File(QStringLiteral("reference.") + QFileInfo(file).suffix());
    ReferencePoster(QString::fromLatin1(c.picture), c.scale, reference);
    EXPECT_TRUE(Read(file) == Read(reference));

    EXPECT_EQ(f.WorkingImage().Image().cacheKey(), picture);
    EXPECT_EQ(f.Document.UndoCopy().Empty() ? 0 : f.Document.UndoCopy().Image().cacheKey(), undo);
    EXPECT_EQ(f.ChangeCount(), changes);
    EXPECT_EQ(f.Mosaic.Options.Scale, c.scale);
    EXPECT_EQ(f.MenuActionPage->isEnabled(), c.mosaicFirst);
    Quit();
  }
}

// "Save poster..." in the options dialog takes the options and saves the
// poster at the scale it needs, beyond the largest scale of the window.
TEST_F(MainFormExportTest, OptionsDialogSavesThePosterAtItsFullScale) {
  TMainForm& f = ShowWith(QStringLiteral("halves.png"), false);
  const QString file = File(QStringLiteral("out/poster.png"));
  Dialogs.SaveNames = {file};
  QTimer::singleShot(0, &f, [&f] {
    TMosaicOptionsForm& d = *f.MosaicOptionsForm;
    QTest::mouseClick(d.CBPoster, Qt::LeftButton);
    // 15 x 15 cm at 150 dpi: 886 pixels over the picture's 80, scale 12.
    for (QDoubleSpinBox* side : {d.SpPosterWidth, d.SpPosterHeight}) side->setValue(15);
    d.SpDpi->setValue(150);
    EXPECT_TRUE(d.BSavePoster->isVisible());
    QTest::mouseClick(d.BSavePoster, Qt::LeftButton);
    if (d.isVisible()) {
      ADD_FAILURE() << "the dialog stayed open";
      d.reject();
    }
  });
  f.MenuActionOptions->trigger();
  EXPECT_EQ(SizeOf(file), QSize(80 * 12, 60 * 12));
  EXPECT_EQ(f.Mosaic.Options.Scale, 8);
}

// A poster that cannot be made is said before any work: no file, no
// thumbnail loaded.
TEST_F(MainFormExportTest, PosterBeyondItsFormatIsRefusedFirst) {
  Picture(QStringLiteral("thin.png"), 6600, 10);
  const struct {
    const char* file;
    const char* says;
  } cases[] = {
      {"poster.jpg", "beyond the 65535 pixels a side of a JPG file"},
      {"poster.bmp", "too large to hold whole"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    TMainForm& f = ShowWith(QStringLiteral("thin.png"), false);
    f.Mosaic.Options.Scale = 10;
    const QString file = File(QStringLiteral("out/") + QLatin1String(c.file));
    Dialogs.SaveNames = {file};
    Messages.clear();
    f.MenuActionPoster->trigger();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].Kind, mkError);
    EXPECT_TRUE(Messages[0].Text.contains(QStringLiteral("66000 x 100 pixels"))) << Messages[0].Text.toStdString();
    EXPECT_TRUE(Messages[0].Text.contains(QLatin1String(c.says))) << Messages[0].Text.toStdString();
    EXPECT_TRUE(f.Mosaic.ThumbnailsStale);
    EXPECT_EQ(Tree(File(QStringLiteral("out"))).join(QStringLiteral(", ")).toStdString(), "");
    Quit();
  }
}

// Cancel part way through the page or the poster: the folder holds what it
// held before, the window's picture is as it was, nothing is asked.
TEST_F(MainFormExportTest, CancelPartWayLeavesNothingBehind) {
  // Four bands of the page's 256 rows; many rows of cells for the posters,
  // the wide one drawn in bands (beyond 65535 pixels a side).
  Picture(QStringLiteral("tall.png"), 200, 1000);
  Picture(QStringLiteral("wide.png"), 6600, 40);
  const QString out = File(QStringLiteral("out"));
  QFile keep(out + QStringLiteral("/keep.txt"));
  ASSERT_TRUE(keep.open(QIODevice::WriteOnly));
  keep.write("kept");
  keep.close();
  const struct {
    const char* name;
    const char* picture;
    std::function<void(TMainForm&)> run;
  } cases[] = {
      {"page", "tall.png",
       [this, out](TMainForm& f) {
         ChosenFolder = out;
         f.MenuActionPage->trigger();
       }},
      {"poster in bands", "wide.png",
       [this, out](TMainForm& f) {
         f.Mosaic.Options.Scale = 10;
         Dialogs.SaveNames = {out + QStringLiteral("/poster.tif")};
         f.MenuActionPoster->trigger();
       }},
      {"poster held whole", "tall.png",
       [this, out](TMainForm& f) {
         f.Mosaic.Options.Scale = 2;
         Dialogs.SaveNames = {out + QStringLiteral("/poster.png")};
         f.MenuActionPoster->trigger();
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TMainForm& f = ShowWith(QLatin1String(c.picture), false);
    f.MenuActionMosaique->trigger();
    ASSERT_TRUE(f.MenuActionPage->isEnabled());
    const qint64 picture = f.WorkingImage().Image().cacheKey();
    const int changes = f.ChangeCount();
    Messages.clear();
    CancelledAt = -1;
    CancelPartWay();
    c.run(f);
    EXPECT_GT(CancelledAt, 0);
    EXPECT_LT(CancelledAt, 100);
    EXPECT_EQ(Tree(out).join(QStringLiteral(", ")).toStdString(), "keep.txt");
    EXPECT_EQ(Read(out + QStringLiteral("/keep.txt")), QByteArray("kept"));
    EXPECT_TRUE(Messages.empty()) << Messages.front().Text.toStdString();
    EXPECT_TRUE(Opened.empty());
    EXPECT_EQ(f.WorkingImage().Image().cacheKey(), picture);
    EXPECT_EQ(f.ChangeCount(), changes);
    EXPECT_TRUE(f.MenuActionPage->isEnabled());
    Quit();
  }
}

// The tile map (JSON or CSV by the name chosen) and the report of the
// matched mosaic on screen: each cell names the photo of its half.
TEST_F(MainFormExportTest, TileMapAndReportFilesDescribeTheMosaic) {
  TMainForm& f = ShowWith(QStringLiteral("halves.png"), true);
  f.MenuActionMosaique->trigger();
  ASSERT_TRUE(f.MosaicResult.Matched());
  Messages.clear();
  const QString json = File(QStringLiteral("out/map.json")), csv = File(QStringLiteral("out/map.csv")),
                report = File(QStringLiteral("out/report.json"));
  Dialogs.SaveNames = {json};
  f.MenuActionTileMap->trigger();
  Dialogs.SaveNames = {csv};
  f.MenuActionTileMap->trigger();
  Dialogs.SaveNames = {report};
  f.MenuActionReport->trigger();
  EXPECT_TRUE(Messages.empty()) << Messages.front().Text.toStdString();

  const QJsonObject map = QJsonDocument::fromJson(Read(json)).object();
  EXPECT_EQ(map["columns"].toInt(), 8);
  EXPECT_EQ(map["rows"].toInt(), 6);
  const QJsonArray cells = map["cells"].toArray();
  ASSERT_EQ(cells.size(), 48);
  ASSERT_EQ(f.MosaicResult.Placement.Tint.size(), 48u);
  const QList<QByteArray> lines = Read(csv).split('\n');
  ASSERT_EQ(lines.size(), 1 + 48 + 1);  // the header, the cells, the empty end
  EXPECT_EQ(lines[0], QByteArray("column,row,x,y,width,height,photo,tint\r"));
  for (int i = 0; i < 48; ++i) {
    const QJsonObject cell = cells[i].toObject();
    const int column = i % 8, row = i / 8;
    const QString photo = column < 4 ? QStringLiteral("t0.png") : QStringLiteral("t1.png");
    SCOPED_TRACE(i);
    EXPECT_EQ(cell["column"].toInt(), column);
    EXPECT_EQ(cell["row"].toInt(), row);
    EXPECT_EQ(cell["x"].toInt(), column * 10);
    EXPECT_EQ(cell["y"].toInt(), row * 10);
    EXPECT_EQ(cell["photo"].toString(), photo);
    EXPECT_EQ(cell["tint"].toInt(-1), f.MosaicResult.Placement.Tint[size_t(i)]);
    EXPECT_EQ(
        QString::fromUtf8(lines[i + 1]),
        QStringLiteral("%1,%2,%3,%4,10,10,%5,0\r").arg(column).arg(row).arg(column * 10).arg(row * 10).arg(photo));
  }

  const QJsonObject figures = QJsonDocument::fromJson(Read(report)).object();
  const struct {
    const char* key;
    int value;
  } expected[] = {{"cells", 48},          {"columns", 8},    {"rows", 6},
                  {"photosInLibrary", 4}, {"photosUsed", 2}, {"mostUses", 24}};
  for (const auto& e : expected) {
    SCOPED_TRACE(e.key);
    EXPECT_EQ(figures[QLatin1String(e.key)].toInt(-1), e.value);
  }
  EXPECT_EQ(figures["deltaE2000Far"]["mean"].toDouble(-1), 0.0);
}

}  // namespace
