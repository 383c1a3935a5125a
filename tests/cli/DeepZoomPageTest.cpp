// The deep-zoom page of a matched mosaic in a real browser: headless
// Chromium opens it from the disk, zooms to the deepest level at a cell, and
// the screenshot there shows the photo the mosaic put in that cell; the
// mouse on it names that photo.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cmath>
#include <cstdlib>

#include "MissingPiece.h"
#include "imagefiles/PictureFiles.h"
#include "raster/Bitmap.h"

namespace {

constexpr const char* Chromium = "/usr/bin/chromium";

QJsonObject ReadJson(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject{};
}

// Photos that differ in pattern as well as colour: stripes of one period
// and direction each, so that a cell showing another photo's pixels, or
// this photo shifted, shows.
TBitmap Photo(int i) {
  TBitmap b(48, 48, pf24bit);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 48; ++x) {
      const int t = i % 2 ? x : y, period = 6 + 2 * (i / 2);
      const int wave = (t / (period / 2)) % 2 ? 70 : -70;
      b.SetPixel(x, y,
                 RGBColor(std::clamp(40 + i * 25 + wave, 0, 255), 128 + wave, std::clamp(220 - i * 25 + wave, 0, 255)));
    }
  return b;
}

TEST(DeepZoomPage, OpensFromDiskAndShowsEachCellsPhoto) {
  if (!QFile::exists(QLatin1String(Chromium))) MISSING_PIECE("no Chromium at " << Chromium);
  if (QStandardPaths::findExecutable(QStringLiteral("node")).isEmpty()) MISSING_PIECE("no node on the PATH");
  const QString script = QStringLiteral(TESSELUNE_SOURCE_DIR "/tests/browser/deep-zoom-page.mjs");
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  TPictureFileContext files;
  QDir().mkpath(dir.filePath("library/more"));
  for (int i = 0; i < 8; ++i)
    ASSERT_EQ(SavePicture(files, dir.filePath(QStringLiteral("library/%1p%2.png").arg(i < 4 ? "" : "more/").arg(i)),
                          Photo(i)),
              1);
  TBitmap target(600, 400, pf24bit);
  for (int y = 0; y < 400; ++y)
    for (int x = 0; x < 600; ++x) target.SetPixel(x, y, RGBColor(x * 255 / 600, 128, y * 255 / 400));
  ASSERT_EQ(SavePicture(files, dir.filePath("target.png"), target), 1);

  QProcess cli;
  cli.setProcessEnvironment([&] {
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CACHE_HOME"), dir.filePath("cache"));
    return env;
  }());
  cli.start(QStringLiteral(TESSELUNE_CLI),
            {"mosaic", dir.filePath("target.png"), "--thumbnails", dir.filePath("library"), "--recursive", "--cell",
             "40", "--no-check-size", "--match", "--seed", "1", "--output", dir.filePath("mosaic.png"), "--deep-zoom",
             dir.filePath("page"), "--tile-map", dir.filePath("map.json")});
  ASSERT_TRUE(cli.waitForFinished(120000));
  ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
  TBitmap mosaic;
  ASSERT_EQ(LoadPicture(files, dir.filePath("mosaic.png"), mosaic), 1);
  mosaic.SetPixelFormat(pf24bit);
  const QJsonObject map = ReadJson(dir.filePath("map.json"));
  EXPECT_EQ(ReadJson(dir.filePath("page/tilemap.json")), map);
  const QJsonArray cells = map["cells"].toArray();
  ASSERT_EQ(cells.size(), 15 * 10);

  // Two cells with different photos, so that the page cannot pass by
  // showing the same thing everywhere.
  for (const int index : {4 * 15 + 7, 7 * 15 + 2}) {
    const QJsonObject cell = cells[index].toObject();
    SCOPED_TRACE(cell["photo"].toString().toStdString());
    const int cx = cell["x"].toInt(), cy = cell["y"].toInt(), scale = 3;
    QProcess node;
    node.start(QStringLiteral("node"), {script, dir.filePath("page"), QString::number(cx + 20),
                                        QString::number(cy + 20), QString::number(scale), dir.filePath("shot.png")});
    ASSERT_TRUE(node.waitForFinished(120000));
    ASSERT_EQ(node.exitCode(), 0) << node.readAllStandardError().toStdString();
    const QJsonObject view = QJsonDocument::fromJson(node.readAllStandardOutput()).object();
    EXPECT_EQ(view["errors"].toArray(), QJsonArray{});
    EXPECT_EQ(view["deepestLevel"].toInt(), 10);  // ceil(log2(600))
    EXPECT_EQ(view["label"].toString().toStdString(),
              QStringLiteral("%1, tint %2 %").arg(cell["photo"].toString()).arg(cell["tint"].toInt()).toStdString());

    TBitmap shot;
    ASSERT_EQ(LoadPicture(files, dir.filePath("shot.png"), shot), 1);
    shot.SetPixelFormat(pf24bit);
    // Each pixel of the cell, but its border (resampled with the next
    // cell's), against the screen pixel at its centre.
    long diff = 0, n = 0;
    for (int y = cy + 1; y < cy + 39; ++y)
      for (int x = cx + 1; x < cx + 39; ++x) {
        const int sx = int(std::floor(view["originX"].toDouble() + (x + 0.5) * scale));
        const int sy = int(std::floor(view["originY"].toDouble() + (y + 0.5) * scale));
        ASSERT_TRUE(sx >= 0 && sy >= 0 && sx < shot.Width() && sy < shot.Height());
        const TColor a = shot.Pixel(sx, sy), b = mosaic.Pixel(x, y);
        diff += std::abs(GetRValue(a) - GetRValue(b)) + std::abs(GetGValue(a) - GetGValue(b)) +
                std::abs(GetBValue(a) - GetBValue(b));
        n += 3;
      }
    EXPECT_LE(double(diff) / double(n), 6.0);
  }
}

}  // namespace
