// Runs the command-line tool as a user would and checks its exit statuses,
// messages and files.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
// clang-format off
#include <cstddef>
#include <jpeglib.h>
// clang-format on

#include "TestBitmaps.h"
#include "TestFiles.h"
#include "imagefiles/PictureFiles.h"

using namespace testing_bitmaps;

namespace {

struct CliRun {
  int status;
  QString out, err;
};

CliRun RunCli(const QStringList& args) {
  QProcess p;
  p.start(QStringLiteral(TESSELUNE_CLI), args);
  EXPECT_TRUE(p.waitForFinished(120000));
  return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()),
          QString::fromLocal8Bit(p.readAllStandardError())};
}

// Runs the tool in a child whose data segment may grow by at most budget
// bytes beyond the test's own, standard error going to errFile. Under the
// address sanitizer, a failed allocation returns null as it does without it.
int RunCliWithDataBudget(std::uint64_t budget, const QStringList& args, const QString& errFile) {
  std::vector<QByteArray> encoded{QFile::encodeName(QStringLiteral(TESSELUNE_CLI))};
  for (const QString& a : args) encoded.push_back(QFile::encodeName(a));
  std::vector<char*> argv;
  for (QByteArray& a : encoded) argv.push_back(a.data());
  argv.push_back(nullptr);
  const QByteArray err = QFile::encodeName(errFile);
  const char* asan = std::getenv("ASAN_OPTIONS");
  const std::string options = std::string(asan ? asan : "") + ":allocator_may_return_null=1";
  return testing_files::RunWithDataBudget(budget, [&] {
    if (!std::freopen(err.constData(), "w", stderr)) return 103;
    setenv("ASAN_OPTIONS", options.c_str(), 1);
    execv(argv[0], argv.data());
    return 104;
  });
}

// A plain grey JPEG, written row by row so that making it costs no picture
// in memory: large in pixels, small on disk.
void WriteGreyJpeg(const QString& path, int width, int height) {
  FILE* out = std::fopen(QFile::encodeName(path).constData(), "wb");
  ASSERT_NE(out, nullptr);
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, out);
  c.image_width = JDIMENSION(width);
  c.image_height = JDIMENSION(height);
  c.input_components = 1;
  c.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&c);
  jpeg_start_compress(&c, TRUE);
  std::vector<JSAMPLE> row(size_t(width), 128);
  JSAMPROW rows[1] = {row.data()};
  while (c.next_scanline < c.image_height) jpeg_write_scanlines(&c, rows, 1);
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::fclose(out);
}

QByteArray Contents(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class CliTool : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    RegisterPictureFormats();
    QDir().mkpath(Path("thumbs"));
    for (int i = 0; i < 5; ++i)
      Write(QStringLiteral("thumbs/t%1.png").arg(i), Solid(12, 9, RGBColor(i * 50, 100, 200 - i * 40)));
    Write("target.png", Numbered(50, 30));
  }
  QString Path(const QString& name) const { return dir.filePath(name); }
  void Write(const QString& name, const TBitmap& b) {
    QString path = Path(name);
    ASSERT_EQ(SavePicture(path, b, QString()), 1);
  }
  QTemporaryDir dir;
};

}  // namespace

TEST_F(CliTool, MosaicWithSeedRepeats) {
  const QStringList base = {"mosaic", Path("target.png"), "--thumbnails", Path("thumbs"), "--cell", "10", "--seed",
                            "7"};
  const CliRun a = RunCli(base + QStringList{"--output", Path("a.png")});
  ASSERT_EQ(a.status, 0) << a.err.toStdString();
  EXPECT_TRUE(a.err.isEmpty()) << a.err.toStdString();  // no progress bar when not on a terminal
  const CliRun b = RunCli(base + QStringList{"--output", Path("b.png")});
  ASSERT_EQ(b.status, 0);
  EXPECT_EQ(Contents(Path("a.png")), Contents(Path("b.png")));
  const CliRun c = RunCli(QStringList{"mosaic", Path("target.png"), "--thumbnails", Path("thumbs"), "--cell", "10",
                                      "--seed", "8", "--no-check-size", "--output", Path("c.bmp")});
  ASSERT_EQ(c.status, 0);
  QString name = Path("c.bmp");
  TBitmap result;
  ASSERT_EQ(LoadPicture(name, result, QString()), 1);
  EXPECT_EQ(result.Width(), 50);  // --no-check-size keeps the picture's size
  EXPECT_EQ(result.Height(), 30);
}

TEST_F(CliTool, MosaicCellsAreThumbnailsPulledTowardsTheCell) {
  // A 20 x 20 picture of four 10 x 10 blocks and two solid thumbnails, black
  // and white. Without antialias a cell's colour is its top-left pixel, the
  // block's colour; each channel t of the thumbnail becomes
  // t' = t + (c - t) * 77 div 100, then t' + (t' - 128) * 12 div 100,
  // clamped. Worked by hand for the channel values used here:
  //   black: c = 0 -> 0 (-15 clamped), 100 -> 77 -> 71, 200 -> 154 -> 157, 255 -> 196 -> 204
  //   white: c = 0 -> 59 -> 51, 100 -> 136 -> 136, 200 -> 213 -> 223, 255 -> 255 (270 clamped)
  const TColor blocks[2][2] = {{RGBColor(0, 100, 200), RGBColor(255, 200, 100)},
                               {RGBColor(100, 255, 0), RGBColor(200, 0, 255)}};
  const TColor fromBlack[2][2] = {{RGBColor(0, 71, 157), RGBColor(204, 157, 71)},
                                  {RGBColor(71, 204, 0), RGBColor(157, 0, 204)}};
  const TColor fromWhite[2][2] = {{RGBColor(51, 136, 223), RGBColor(255, 223, 136)},
                                  {RGBColor(136, 255, 51), RGBColor(223, 51, 255)}};
  TBitmap target(20, 20, pf24bit);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) target.SetPixel(x, y, blocks[y / 10][x / 10]);
  Write("blocks.png", target);
  QDir().mkpath(Path("solid"));
  Write("solid/black.png", Solid(12, 9, clBlack));
  Write("solid/white.png", Solid(12, 9, clWhite));

  const CliRun r = RunCli({"mosaic", Path("blocks.png"), "--thumbnails", Path("solid"), "--cell", "10",
                           "--no-check-size", "--no-antialias", "--seed", "3", "--output", Path("m.png")});
  ASSERT_EQ(r.status, 0) << r.err.toStdString();
  QString name = Path("m.png");
  TBitmap mosaic;
  ASSERT_EQ(LoadPicture(name, mosaic, QString()), 1);
  mosaic.SetPixelFormat(pf24bit);
  ASSERT_EQ(mosaic.Width(), 20);
  ASSERT_EQ(mosaic.Height(), 20);
  for (int cy = 0; cy < 2; ++cy)
    for (int cx = 0; cx < 2; ++cx) {
      SCOPED_TRACE(testing::Message() << "cell " << cx << ", " << cy);
      const TColor first = mosaic.Pixel(cx * 10, cy * 10);
      EXPECT_TRUE(first == fromBlack[cy][cx] || first == fromWhite[cy][cx]) << Hex(first);
      EXPECT_TRUE(SamePixels(Crop(mosaic, cx * 10, cy * 10, 10, 10), Solid(10, 10, first)));
    }
}

TEST_F(CliTool, FailuresAndUsage) {
  struct Case {
    QStringList args;
    int status;
    QString message;
  } cases[] = {
      {{"mosaic", Path("x.pcx"), "--thumbnails", Path("thumbs"), "--output", Path("o.png")},
       1,
       QStringLiteral("Unable to load image in file \"%1\" !").arg(Path("x.pcx"))},
      {{"mosaic", Path("target.png"), "--thumbnails", Path("none"), "--output", Path("o.png")},
       1,
       "No thumbnail in the list !"},
      {{"mosaic", Path("target.png"), "--thumbnails", Path("thumbs"), "--output", Path("o.jpe")},
       1,
       QStringLiteral("Unable to save image in file \"%1\" !").arg(Path("o.jpe"))},
      {{"mosaic", Path("target.png"), "--cell", "12", "--output", Path("o.png")}, 2, "--cell must be"},
      {{"mosaic", Path("target.png")}, 2, "no --output"},
      {{"convert", Path("target.png"), Path("o.jpg"), "--quality", "101"}, 2, "--quality"},
      {{"frobnicate"}, 2, "unknown command"},
      {{}, 2, "Usage:"},
      {{"info", Path("target.png"), Path("missing.gif")},
       1,
       QStringLiteral("Unable to load image in file \"%1\" !").arg(Path("missing.gif"))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const CliRun r = RunCli(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_TRUE(r.err.contains(c.message)) << r.err.toStdString();
  }
  EXPECT_FALSE(QFile::exists(Path("o.jpe")));
  for (const char* sub : {"mosaic", "convert", "info"}) {
    const CliRun help = RunCli({sub, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.startsWith("Usage: tesselune-cli " + QString::fromLatin1(sub))) << help.out.toStdString();
  }
}

TEST_F(CliTool, ConvertAndInfo) {
  ASSERT_EQ(RunCli({"convert", Path("target.png"), Path("low.jpg"), "--quality", "10"}).status, 0);
  ASSERT_EQ(RunCli({"convert", Path("target.png"), Path("high.jpg"), "--quality", "100", "--progressive"}).status, 0);
  EXPECT_LT(Contents(Path("low.jpg")).size(), Contents(Path("high.jpg")).size());
  ASSERT_EQ(RunCli({"convert", Path("target.png"), Path("t.gif")}).status, 0);
  const CliRun info = RunCli({"info", Path("target.png"), Path("t.gif")});
  ASSERT_EQ(info.status, 0) << info.err.toStdString();
  const QStringList lines = info.out.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 2);
  EXPECT_TRUE(lines[0].startsWith(Path("target.png") + ": 50x30 pixels, 24 bits, ")) << lines[0].toStdString();
  EXPECT_TRUE(lines[0].endsWith(" bytes") || lines[0].endsWith(" Kb")) << lines[0].toStdString();
  EXPECT_TRUE(lines[1].startsWith(Path("t.gif") + ": 50x30 pixels, 8 bits, ")) << lines[1].toStdString();
}

// A grey photograph whose pixels fit in memory but whose 24-bit working copy
// does not: opening it is a failed load with the program's message, as a
// target and as a thumbnail (where the load stops at it), never an abort.
TEST_F(CliTool, FullMemoryIsALoadErrorNotACrash) {
  QDir().mkpath(Path("bigthumbs"));
  const QString big = Path("bigthumbs/z.jpg");
  WriteGreyJpeg(big, 20000, 15000);  // 300 MB of grey, 900 MB at 24 bits
  for (int i = 0; i < 2; ++i)
    Write(QStringLiteral("bigthumbs/t%1.png").arg(i), Solid(12, 9, RGBColor(i * 90, 100, 50)));
  const std::uint64_t budget = std::uint64_t(600) << 20;
  const QString err = Path("err.txt");
  struct Case {
    QStringList args;
    int status;
    QString message;
  } cases[] = {
      {{"convert", big, Path("o.bmp")}, 1, QStringLiteral("Unable to load image in file \"%1\" !").arg(big)},
      {{"mosaic", big, "--output", Path("o.png")}, 1, QStringLiteral("Unable to load image in file \"%1\" !").arg(big)},
      {{"mosaic", Path("target.png"), "--thumbnails", Path("bigthumbs"), "--seed", "1", "--output", Path("m.png")},
       0,
       QString()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    EXPECT_EQ(RunCliWithDataBudget(budget, c.args, err), c.status);
    const QString text = QString::fromLocal8Bit(Contents(err));
    EXPECT_TRUE(text.contains(c.message)) << text.toStdString();
  }
  EXPECT_FALSE(QFile::exists(Path("o.bmp")));
  EXPECT_TRUE(QFile::exists(Path("m.png")));  // from the two thumbnails before the photograph
}
