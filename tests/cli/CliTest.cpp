// Runs the command-line tool as a user would and checks its exit statuses,
// messages and files.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
// clang-format off
#include <cstddef>
#include <jpeglib.h>
// clang-format on

#include "MissingPiece.h"
#include "TestBitmaps.h"
#include "TestFiles.h"
#include "app/FileNames.h"
#include "imagefiles/PictureFiles.h"
#include "mosaic/MosaicQuality.h"

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

// Runs the tool with arguments given as the system's bytes (a name that is
// not UTF-8 reaches it exactly), in a child that may first change itself
// (its limits, its folder, its user); standard output and error are read
// back from files in scratch. budget > 0 caps the child's data as
// RunCliWithDataBudget does.
struct RawRun {
  int status;
  QByteArray out, err;
};
RawRun RunRaw(const QList<QByteArray>& args, const QString& scratch, const std::function<void()>& before = {},
              std::uint64_t budget = 0, const QString& program = QStringLiteral(TESSELUNE_CLI)) {
  std::vector<QByteArray> encoded{QFile::encodeName(program)};
  for (const QByteArray& a : args) encoded.push_back(a);
  std::vector<char*> argv;
  for (QByteArray& a : encoded) argv.push_back(a.data());
  argv.push_back(nullptr);
  const QByteArray out = QFile::encodeName(scratch + "/run.out"), err = QFile::encodeName(scratch + "/run.err");
  const auto body = [&] {
    if (!std::freopen(out.constData(), "w", stdout) || !std::freopen(err.constData(), "w", stderr)) return 103;
    if (before) before();
    execv(argv[0], argv.data());
    return 104;
  };
  const int status = budget > 0 ? testing_files::RunWithDataBudget(budget, body) : testing_files::RunInChild(body);
  auto read = [](const QByteArray& path) {
    QFile f(QFile::decodeName(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  };
  return {status, read(out), read(err)};
}

// As the superuser the permission bits do not hold: the child becomes the
// unprivileged user "nobody" before running the tool. That user must reach
// what it executes and reads, and the build may sit under a folder only root
// may enter (root's home, a private temporary folder): so as root the tool
// and the sanitizers' suppression files are copied to a folder of their own
// that everyone may read, and the child runs the copy.
class TUnprivilegedTool {
 public:
  TUnprivilegedTool() {
    if (geteuid() != 0) return;
    if (!copies.isValid()) {
      Problem = "no temporary folder for a copy of the tool";
      return;
    }
    chmod(QFile::encodeName(copies.path()).constData(), 0755);
    Program = copies.filePath(QStringLiteral("tesselune-cli"));
    if (!QFile::copy(QStringLiteral(TESSELUNE_CLI), Program) ||
        !QFile::setPermissions(Program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                            QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther)) {
      Problem = "the tool could not be copied to " + copies.path().toStdString();
      return;
    }
    for (const char* variable : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"})
      if (const char* value = std::getenv(variable)) options.emplace_back(variable, CopySuppressions(variable, value));
  }

  // In the child: the options naming the copies, then the user's rights.
  void Become() const {
    if (geteuid() != 0) return;
    for (const auto& [variable, value] : options) setenv(variable.c_str(), value.c_str(), 1);
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(105);
  }

  // Empty when the unprivileged user can run the copy and reach folder;
  // else why not, for the test to say why it is skipped.
  std::string CannotRunIn(const QString& folder) const {
    if (!Problem.empty() || geteuid() != 0) return Problem;
    const QByteArray program = QFile::encodeName(Program), place = QFile::encodeName(folder);
    const int reached = testing_files::RunInChild([&] {
      Become();
      return access(program.constData(), X_OK) == 0 && access(place.constData(), X_OK) == 0 ? 0 : 1;
    });
    if (reached == 0) return {};
    return "the user \"nobody\" cannot reach " + copies.path().toStdString() + " or " + folder.toStdString();
  }

  QString Program = QStringLiteral(TESSELUNE_CLI);
  std::string Problem;

 private:
  // value with each "suppressions=FILE" naming a readable copy of FILE.
  std::string CopySuppressions(const char* variable, const char* value) {
    const QByteArray key("suppressions=");
    QList<QByteArray> list = QByteArray(value).split(':');
    for (QByteArray& option : list)
      if (option.startsWith(key)) {
        const QString copy = copies.filePath(QLatin1String(variable) + ".supp");
        QFile::copy(QFile::decodeName(option.mid(key.size())), copy);
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        option = key + QFile::encodeName(copy);
      }
    return list.join(':').toStdString();
  }

  QTemporaryDir copies;
  std::vector<std::pair<std::string, std::string>> options;
};

// The tool's failure message: its sentence for the file, then the reason.
enum TFailure { LoadFailed, SaveFailed };
std::string FailureText(TFailure failure, const QString& name, const QString& reason) {
  const QString sentence = failure == LoadFailed ? QStringLiteral("Unable to load image in file \"%1\" !")
                                                 : QStringLiteral("Unable to save image in file \"%1\" !");
  return EncodeFileName(sentence.arg(name) + '\n' + reason + '\n').toStdString();
}

// A plain grey JPEG, written row by row so that making it costs no picture
// in memory: large in pixels, small on disk.
void WriteGreyJpeg(const QString& path, int width, int height, bool progressive = false) {
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
  if (progressive) jpeg_simple_progression(&c);
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
    QDir().mkpath(Path("thumbs"));
    for (int i = 0; i < 5; ++i)
      Write(QStringLiteral("thumbs/t%1.png").arg(i), Solid(12, 9, RGBColor(i * 50, 100, 200 - i * 40)));
    Write("target.png", Numbered(50, 30));
  }
  QString Path(const QString& name) const { return dir.filePath(name); }
  void Write(const QString& name, const TBitmap& b) { ASSERT_EQ(SavePicture(files, Path(name), b), 1); }
  TBitmap Read(const QString& name) {
    TBitmap picture;
    EXPECT_EQ(LoadPicture(files, Path(name), picture), 1);
    return picture;
  }
  QTemporaryDir dir;
  TPictureFileContext files;
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
  TBitmap result = Read("c.bmp");
  ASSERT_FALSE(result.Empty());
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
  TBitmap mosaic = Read("m.png");
  ASSERT_FALSE(mosaic.Empty());
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

// Command lines the tool refuses before doing anything: exit 2, the reason,
// and no file written.
TEST_F(CliTool, BadCommandLines) {
  const QString t = Path("target.png"), o = Path("o.png");
  const QStringList mosaic = {"mosaic", t, "--thumbnails", Path("thumbs")};
  struct Case {
    QStringList args;
    QString message;
  } cases[] = {
      {mosaic + QStringList{"--cell", "12", "--output", o}, "--cell must be"},
      {mosaic, "no --output"},
      {mosaic + QStringList{t, "--output", o}, "one target picture only"},
      {mosaic + QStringList{"--output", o, "-o", Path("p.png")}, "--output given twice"},
      {mosaic + QStringList{"--seed", "9223372036854775808", "--output", o}, "--seed must be a whole number from 0"},
      {mosaic + QStringList{"--seed", "-1", "--output", o}, "--seed must be"},
      {mosaic + QStringList{"--seed", " 7", "--output", o}, "--seed must be"},
      {mosaic + QStringList{"--output", Path("o.jpe")},
       "cannot write \"" + Path("o.jpe") + "\": no format is written as \".jpe\""},
      {{"convert", t, Path("o.jpg"), "--quality", "101"}, "--quality must be 5 to 100"},
      {{"convert", t, o, "--quality", "50"}, "--quality applies to JPEG output only"},
      {{"convert", t, Path("o.bmp"), "--progressive"}, "--progressive applies to JPEG output only"},
      {{"convert", t, Path("o")}, "no extension to tell the format"},
      {{"info", "--bogus", t}, "unknown option --bogus"},
      {{"info"}, "no file"},
      {{"frobnicate"}, "unknown command"},
      {{}, "Usage:"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const CliRun r = RunCli(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains(c.message)) << r.err.toStdString();
    // Then where the help of the command, or of the tool, is: two lines,
    // the cause not buried under the help. Run bare, the tool's usage.
    const QString command = c.args.isEmpty() ? QString() : c.args.front();
    if (c.args.isEmpty()) {
      EXPECT_TRUE(r.err.contains(QStringLiteral("\n\nUsage: tesselune-cli COMMAND "))) << r.err.toStdString();
    } else {
      const QString help = QStringList{"mosaic", "convert", "info"}.contains(command)
                               ? "tesselune-cli " + command + " --help"
                               : QStringLiteral("tesselune-cli --help");
      EXPECT_TRUE(r.err.endsWith("\nSee '" + help + "'.\n")) << r.err.toStdString();
      EXPECT_EQ(r.err.count(u'\n'), 2) << r.err.toStdString();
    }
    EXPECT_TRUE(r.out.isEmpty());
  }
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"target.png"});
  for (const char* sub : {"mosaic", "convert", "info"}) {
    const CliRun help = RunCli({sub, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.startsWith("Usage: tesselune-cli " + QString::fromLatin1(sub))) << help.out.toStdString();
  }
}

// "--" ends the options: names that start with a dash are files after it,
// "--help" too; and the largest seed is taken.
TEST_F(CliTool, DoubleDashEndsOptions) {
  ASSERT_TRUE(QFile::copy(Path("target.png"), Path("-dash.png")));
  const auto inDir = [this] {
    if (chdir(QFile::encodeName(dir.path()).constData()) != 0) _exit(106);
  };
  const RawRun info = RunRaw({"info", "--", "-dash.png", "--help"}, dir.path(), inDir);
  EXPECT_EQ(info.status, 1);
  EXPECT_TRUE(info.out.startsWith("-dash.png: 50x30 pixels, 24 bits, ")) << info.out.constData();
  EXPECT_EQ(info.err.toStdString(), FailureText(LoadFailed, "--help", "no extension to tell the format"));
  EXPECT_EQ(RunRaw({"convert", "--", "-dash.png", "-out.bmp"}, dir.path(), inDir).status, 0);
  const RawRun mosaic = RunRaw({"mosaic", "--thumbnails", "thumbs", "--cell", "10", "--seed", "9223372036854775807",
                                "--output", "-m.png", "--", "-dash.png"},
                               dir.path(), inDir);
  EXPECT_EQ(mosaic.status, 0) << mosaic.err.constData();
  EXPECT_TRUE(QFile::exists(Path("-out.bmp")));
  EXPECT_TRUE(QFile::exists(Path("-m.png")));
}

// Every load and save failure: the program's sentence for the file, and the
// reason on the next line, whether the system or the codec gave it. The
// outputs are checked before any work, so a mosaic whose output or
// deep-zoom folder cannot be written fails on that even when its target is
// missing too.
TEST_F(CliTool, FailuresSayWhy) {
  QDir().mkpath(Path("d.png"));
  QDir().mkpath(Path("ro"));
  QFile(Path("zero.png")).open(QIODevice::WriteOnly);
  Write("full.bmp", Numbered(20, 20));
  TByteBuffer bmp = testing_files::ReadFileBytes(Path("full.bmp"));
  bmp.resize(bmp.size() - 100);
  ASSERT_TRUE(testing_files::WriteFileBytes(Path("cut.bmp"), bmp));
  ASSERT_TRUE(QFile::copy(Path("target.png"), Path("locked.png")));
  // Reachable by the unprivileged user the tool runs as, but for the locked
  // file and the read-only folder.
  chmod(QFile::encodeName(dir.path()).constData(), 0777);
  const TUnprivilegedTool tool;
  if (const std::string problem = tool.CannotRunIn(dir.path()); !problem.empty()) MISSING_PIECE(problem);
  const auto dropPrivileges = [&tool] { tool.Become(); };
  chmod(QFile::encodeName(Path("locked.png")).constData(), 0);
  chmod(QFile::encodeName(Path("ro")).constData(), 0555);
  const auto smallFiles = [] {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit small{2048, 2048};
    setrlimit(RLIMIT_FSIZE, &small);
  };
  const QString t = Path("target.png");
  struct Case {
    QStringList args;
    TFailure sentence;
    QString file, reason;
    std::function<void()> before = nullptr;  // none: as the unprivileged user
  } cases[] = {
      {{"info", Path("missing.png")}, LoadFailed, Path("missing.png"), "no such file"},
      {{"info", Path("d.png")}, LoadFailed, Path("d.png"), "is a folder"},
      {{"info", Path("zero.png")}, LoadFailed, Path("zero.png"), "empty file"},
      {{"info", Path("x.xyz")}, LoadFailed, Path("x.xyz"), "no reader for \".xyz\""},
      {{"info", Path("locked.png")}, LoadFailed, Path("locked.png"), "permission denied"},
      {{"convert", Path("cut.bmp"), Path("o.png")}, LoadFailed, Path("cut.bmp"), "BMP: pixel data is truncated"},
      {{"convert", Path("locked.png"), Path("o.png")}, LoadFailed, Path("locked.png"), "permission denied"},
      {{"convert", t, Path("ro/o.png")}, SaveFailed, Path("ro/o.png"), "permission denied"},
      {{"convert", t, Path("gone/o.png")}, SaveFailed, Path("gone/o.png"), "no such folder"},
      {{"convert", t, Path("target.png/o.png")}, SaveFailed, Path("target.png/o.png"), "not a folder"},
      {{"convert", t, Path("d.png")}, SaveFailed, Path("d.png"), "is a folder"},
      {{"convert", t, Path("big.bmp")}, SaveFailed, Path("big.bmp"), "file too large", smallFiles},
      {{"mosaic", Path("missing.png"), "--output", Path("gone/o.png")},
       SaveFailed,
       Path("gone/o.png"),
       "no such folder"},
      {{"mosaic", Path("missing.png"), "--output", Path("o.png")}, LoadFailed, Path("missing.png"), "no such file"},
      // The deep-zoom folder likewise, whether it is there or would be made.
      {{"mosaic", Path("missing.png"), "--output", Path("o.png"), "--deep-zoom", Path("ro")},
       SaveFailed,
       Path("ro"),
       "permission denied"},
      {{"mosaic", Path("missing.png"), "--output", Path("o.png"), "--deep-zoom", Path("ro/page")},
       SaveFailed,
       Path("ro/page"),
       "permission denied"},
      {{"mosaic", Path("missing.png"), "--output", Path("o.png"), "--deep-zoom", Path("target.png")},
       SaveFailed,
       Path("target.png"),
       "not a folder"},
      {{"mosaic", Path("missing.png"), "--output", Path("o.png"), "--deep-zoom", Path("target.png/page")},
       SaveFailed,
       Path("target.png/page"),
       "not a folder"},
      // A folder that can be made is made only for the work: not when the
      // target fails to load.
      {{"mosaic", Path("missing.png"), "--output", Path("o.png"), "--deep-zoom", Path("made/page")},
       LoadFailed,
       Path("missing.png"),
       "no such file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    QList<QByteArray> args;
    for (const QString& a : c.args) args.append(EncodeFileName(a));
    const RawRun r = RunRaw(args, dir.path(), c.before ? c.before : dropPrivileges, 0, tool.Program);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.toStdString(), FailureText(c.sentence, c.file, c.reason));
  }
  chmod(QFile::encodeName(Path("ro")).constData(), 0755);
  // Nothing written, and no temporary file left by the failed write.
  EXPECT_TRUE(QDir(Path("ro")).isEmpty());
  EXPECT_FALSE(QFile::exists(Path("o.png")));
  EXPECT_FALSE(QFileInfo::exists(Path("made")));
  EXPECT_EQ(QDir(dir.path()).entryList({"big.bmp*"}, QDir::Files | QDir::Hidden), QStringList());
}

// When the thumbnails give nothing, the warning names the folder and why;
// a broken file among good ones stops the load there, and the tool says
// which file and how many thumbnails it had.
TEST_F(CliTool, ThumbnailLoadSaysWhereItStopped) {
  QDir().mkpath(Path("empty"));
  QDir().mkpath(Path("badfirst"));
  QDir().mkpath(Path("mixed"));
  QDir().mkpath(Path("trips/2024"));
  Write("trips/2024/a.png", Solid(12, 9, clRed));
  QFile(Path("badfirst/a.png")).open(QIODevice::WriteOnly);
  Write("badfirst/b.png", Solid(12, 9, clRed));
  for (const char* name : {"mixed/a.png", "mixed/b.png", "mixed/d.png"}) Write(name, Solid(12, 9, clBlue));
  QFile notes(Path("mixed/c.png"));
  ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
  notes.write("not a picture at all\n");
  notes.close();
  const QString nothing = QStringLiteral("No thumbnail in the list !\nFolder \"%1\": %2\n");
  struct Case {
    QString folder;
    int status;
    QString err;
    QStringList more = {};
  } cases[] = {
      {Path("none"), 1, nothing.arg(Path("none"), "no such folder")},
      // Unattended, the question about sub-folders is answered no; the
      // switch that says yes is given on the command line.
      {Path("trips"), 1,
       nothing.arg(Path("trips"), "holds no PNG, JPEG, BMP or GIF file").chopped(1) +
           QStringLiteral("\n1 pictures in sub-folders: include sub-folders?\n")},
      {Path("trips"), 0, QString(), {"--recursive"}},
      {Path("target.png"), 1, nothing.arg(Path("target.png"), "not a folder")},
      {Path("empty"), 1, nothing.arg(Path("empty"), "holds no PNG, JPEG, BMP or GIF file")},
      {Path("badfirst"), 1,
       QStringLiteral("No thumbnail in the list !\nFolder \"%1\": its first picture \"a.png\" cannot be read "
                      "(empty file)\n")
           .arg(Path("badfirst"))},
      {Path("mixed"), 0,
       QStringLiteral("tesselune-cli: the thumbnail load stopped at \"%1\" (PNG: not a PNG file): 2 thumbnails "
                      "loaded\n")
           .arg(Path("mixed/c.png"))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder.toStdString());
    QFile::remove(Path("m.png"));
    const CliRun r =
        RunCli(QStringList{"mosaic", Path("target.png"), "--thumbnails", c.folder, "--output", Path("m.png")} + c.more);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(QFile::exists(Path("m.png")), c.status == 0);
  }
}

// Names that are not UTF-8 (a Latin-1 'é', byte 0xE9) are opened and
// written exactly as given: a picture, a thumbnails folder and a thumbnail
// in it, and the outputs.
TEST_F(CliTool, NamesThatAreNotUtf8) {
  const QByteArray root = QFile::encodeName(dir.path()) + '/';
  const QByteArray picture = root + "caf\xe9.png", folder = root + "vignettes\xe9", output = root + "mosa\xefque.bmp";
  ASSERT_EQ(mkdir(folder.constData(), 0755), 0);
  auto exists = [](const QByteArray& name) {
    struct stat st {};
    return ::stat(name.constData(), &st) == 0;
  };
  ASSERT_EQ(RunRaw({"convert", EncodeFileName(Path("target.png")), picture}, dir.path()).status, 0);
  EXPECT_TRUE(exists(picture));
  ASSERT_EQ(RunRaw({"convert", picture, folder + "/\xe9t\xe9.jpg"}, dir.path()).status, 0);
  EXPECT_TRUE(exists(folder + "/\xe9t\xe9.jpg"));
  const RawRun info = RunRaw({"info", picture}, dir.path());
  EXPECT_EQ(info.status, 0);
  EXPECT_TRUE(info.out.startsWith(picture + ": 50x30 pixels, 24 bits, ")) << info.out.constData();
  // The folder holds only the thumbnail with the odd name: the mosaic is
  // built only if that file was found and read.
  const RawRun mosaic =
      RunRaw({"mosaic", picture, "--thumbnails", folder, "--cell", "10", "--output", output}, dir.path());
  EXPECT_EQ(mosaic.status, 0) << mosaic.err.constData();
  EXPECT_TRUE(mosaic.err.isEmpty()) << mosaic.err.constData();
  EXPECT_TRUE(exists(output));
  // A failure names the file with the bytes it was given.
  const RawRun missing = RunRaw({"info", root + "absent\xe9.png"}, dir.path());
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(missing.err.contains("\"" + root + "absent\xe9.png\" !\nno such file")) << missing.err.constData();
  // Qt cannot name these files to remove them with the folder.
  for (const QByteArray& name : {picture, output, folder + "/\xe9t\xe9.jpg"}) EXPECT_EQ(unlink(name.constData()), 0);
  EXPECT_EQ(rmdir(folder.constData()), 0);
}

TEST_F(CliTool, ConvertAndInfo) {
  ASSERT_EQ(RunCli({"convert", Path("target.png"), Path("low.jpg"), "--quality", "10"}).status, 0);
  ASSERT_EQ(RunCli({"convert", Path("target.png"), Path("high.jpg"), "--quality", "100", "--progressive"}).status, 0);
  EXPECT_LT(Contents(Path("low.jpg")).size(), Contents(Path("high.jpg")).size());
  ASSERT_EQ(RunCli({"convert", Path("target.png"), Path("t.gif")}).status, 0);
  ASSERT_EQ(RunCli({"convert", Path("target.png"), Path("t.tga")}).status, 0);  // read without a header read
  TBitmap mono = Solid(9, 4, clBlack);
  mono.SetPixelFormat(pf1bit);
  Write("mono.bmp", mono);
  const CliRun info = RunCli({"info", Path("target.png"), Path("t.gif"), Path("t.tga"), Path("mono.bmp")});
  ASSERT_EQ(info.status, 0) << info.err.toStdString();
  const QStringList lines = info.out.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 4);
  EXPECT_TRUE(lines[0].startsWith(Path("target.png") + ": 50x30 pixels, 24 bits, ")) << lines[0].toStdString();
  EXPECT_TRUE(lines[0].endsWith(" bytes") || lines[0].endsWith(" Kb")) << lines[0].toStdString();
  EXPECT_TRUE(lines[1].startsWith(Path("t.gif") + ": 50x30 pixels, 8 bits, ")) << lines[1].toStdString();
  EXPECT_TRUE(lines[2].startsWith(Path("t.tga") + ": 50x30 pixels, 24 bits, ")) << lines[2].toStdString();
  EXPECT_TRUE(lines[3].startsWith(Path("mono.bmp") + ": 9x4 pixels, 1 bit, ")) << lines[3].toStdString();
}

// info reads the header: a progressive JPEG whose frame says 23170 x 23170
// (a picture of 1.6 GB at 24 bits, whose progressive decoding alone needs
// gigabytes) is answered within a small memory budget. The file is padded
// with comments to a size that could hold that many pixels.
TEST_F(CliTool, InfoReadsTheHeaderWithoutDecoding) {
  const QString small = Path("small.jpg");
  WriteGreyJpeg(small, 64, 48, true);
  QByteArray file = Contents(small);
  const qsizetype frame = file.indexOf("\xff\xc2");  // the progressive frame header
  ASSERT_GT(frame, 0);
  for (int at : {5, 7}) {  // height, then width, big-endian
    file[frame + at] = char(23170 >> 8);
    file[frame + at + 1] = char(23170 & 0xFF);
  }
  QByteArray comment("\xff\xfe\xff\xff");
  comment.append(QByteArray(65533, ' '));
  for (int i = 0; i < 9; ++i) file.insert(2, comment);
  const QString big = Path("big.jpg");
  QFile out(big);
  ASSERT_TRUE(out.open(QIODevice::WriteOnly));
  out.write(file);
  out.close();
  const RawRun r = RunRaw({"info", EncodeFileName(big)}, dir.path(), {}, std::uint64_t(96) << 20);
  EXPECT_EQ(r.status, 0) << r.err.constData();
  EXPECT_TRUE(r.out.startsWith(EncodeFileName(big) + ": 23170x23170 pixels, 8 bits, ")) << r.out.constData();
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
      {{"convert", big, Path("o.bmp")}, 1, QStringLiteral("Unable to load image in file \"%1\" !\n").arg(big)},
      {{"mosaic", big, "--output", Path("o.png")},
       1,
       QStringLiteral("Unable to load image in file \"%1\" !\n").arg(big)},
      {{"mosaic", Path("target.png"), "--thumbnails", Path("bigthumbs"), "--seed", "1", "--output", Path("m.png")},
       0,
       QStringLiteral("stopped at \"%1\" (").arg(big)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    EXPECT_EQ(RunCliWithDataBudget(budget, c.args, err), c.status);
    const QString text = QString::fromLocal8Bit(Contents(err));
    EXPECT_TRUE(text.contains(c.message)) << text.toStdString();
    EXPECT_TRUE(text.contains("not enough memory")) << text.toStdString();
  }
  EXPECT_FALSE(QFile::exists(Path("o.bmp")));
  EXPECT_TRUE(QFile::exists(Path("m.png")));  // from the two thumbnails before the photograph
  EXPECT_TRUE(QString::fromLocal8Bit(Contents(err)).contains("2 thumbnails loaded"));
}

namespace {

// The tool with its per-user cache folder under cacheHome.
CliRun RunCliCached(const QStringList& args, const QString& cacheHome) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("XDG_CACHE_HOME"), cacheHome);
  p.setProcessEnvironment(env);
  p.start(QStringLiteral(TESSELUNE_CLI), args);
  EXPECT_TRUE(p.waitForFinished(120000));
  return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()),
          QString::fromLocal8Bit(p.readAllStandardError())};
}

QStringList CacheFiles(const QString& cacheHome) {
  QStringList found;
  QDirIterator it(cacheHome, {QStringLiteral("*.sqlite")}, QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) found.append(it.next());
  return found;
}

}  // namespace

TEST_F(CliTool, PhotoLibraryModesSkipReportAndCache) {
  QDir().mkpath(Path("thumbs/sub"));
  Write("thumbs/sub/n.png", Solid(16, 12, clYellow));
  QFile junk(Path("thumbs/zz.png"));
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
  junk.write("not a picture");
  junk.close();
  const QStringList base = {"mosaic", Path("target.png"), "--thumbnails", Path("thumbs"), "--cell", "10", "--seed",
                            "3",      "--match",          "--recursive",  "--crop"};
  const CliRun first = RunCliCached(base + QStringList{"--output", Path("m1.png")}, Path("cache"));
  ASSERT_EQ(first.status, 0) << first.err.toStdString();
  EXPECT_TRUE(first.err.contains(QStringLiteral("skipped 1 of 7 photo files")) &&
              first.err.contains(QStringLiteral("zz.png")))
      << first.err.toStdString();
  ASSERT_EQ(CacheFiles(Path("cache")).size(), 1);
  // From the cache, and without it: the same mosaic.
  const CliRun again = RunCliCached(base + QStringList{"--output", Path("m2.png")}, Path("cache"));
  ASSERT_EQ(again.status, 0) << again.err.toStdString();
  const CliRun bare = RunCliCached(base + QStringList{"--no-cache", "--output", Path("m3.png")}, Path("nocache"));
  ASSERT_EQ(bare.status, 0) << bare.err.toStdString();
  EXPECT_TRUE(CacheFiles(Path("nocache")).isEmpty());
  EXPECT_EQ(Contents(Path("m1.png")), Contents(Path("m2.png")));
  EXPECT_EQ(Contents(Path("m1.png")), Contents(Path("m3.png")));

  // Scaled: each cell drawn larger, the mosaic as many times the picture.
  const CliRun scaled = RunCliCached({"mosaic", Path("target.png"), "--thumbnails", Path("thumbs"), "--cell", "10",
                                      "--no-check-size", "--scale", "3", "--output", Path("s.bmp")},
                                     Path("cache"));
  ASSERT_EQ(scaled.status, 0) << scaled.err.toStdString();
  TBitmap result = Read("s.bmp");
  ASSERT_FALSE(result.Empty());
  EXPECT_EQ(result.Width(), 150);
  EXPECT_EQ(result.Height(), 90);
}

// The quality report: its figures are those of the mosaic written, and the
// summary says them on standard error.
TEST_F(CliTool, MatchedMosaicQualityReport) {
  QDir().mkpath(Path("lib"));
  for (int i = 0; i < 8; ++i)
    Write(QStringLiteral("lib/p%1.png").arg(i), Solid(16, 12, RGBColor(i * 30, 90, 200 - i * 20)));
  const QStringList options =
      QStringLiteral("--cell 10 --no-check-size --match --tint 40 --tint-mode whole --repeat-distance 1 --seed 2")
          .split(u' ');
  const CliRun run = RunCliCached(QStringList{"mosaic", Path("target.png"), "--thumbnails", Path("lib"), "--output",
                                              Path("m.png"), "--report", Path("r.json")} +
                                      options,
                                  Path("cache"));
  ASSERT_EQ(run.status, 0) << run.err.toStdString();
  QFile file(Path("r.json"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QJsonObject report = QJsonDocument::fromJson(file.readAll()).object();
  const TBitmap target = Read("target.png"), mosaic = Read("m.png");
  const TMosaicQuality q = MeasureMosaic(target, mosaic, 10, 10);
  EXPECT_EQ(report["cells"].toInt(), q.Cells);
  EXPECT_NEAR(report["deltaE2000Far"]["mean"].toDouble(), q.Far.Mean, 0.01);
  EXPECT_NEAR(report["deltaE2000Near"]["p95"].toDouble(), q.Near.P95, 0.01);
  EXPECT_EQ(report["photosInLibrary"].toInt(), 8);
  EXPECT_GE(report["photosUsed"].toInt(), 4);  // distance 1: no photo twice in a 3 x 3 block
  EXPECT_EQ(report["tintMode"].toString(), QStringLiteral("whole"));
  EXPECT_EQ(report["tintLimitPercent"].toInt(), 40);
  EXPECT_TRUE(run.err.contains(QStringLiteral("from afar %1").arg(q.Far.Mean, 0, 'f', 1))) << run.err.toStdString();
}

// 16:9 tiles at cell 10 are 10 x 6: on a picture of stripes 6 pixels high,
// each the colour of one solid photo, every cell finds its stripe's photo and,
// untinted, the mosaic is the picture itself (square cells would straddle two
// stripes).
TEST_F(CliTool, TileAspectGivesCellsOfThatShape) {
  TBitmap stripes(50, 30, pf24bit);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 50; ++x) stripes.SetPixel(x, y, RGBColor(y / 6 * 50, 100, 200 - y / 6 * 40));
  Write("stripes.png", stripes);
  const CliRun r = RunCliCached(
      {"mosaic", Path("stripes.png"), "--thumbnails", Path("thumbs"), "--cell", "10", "--no-check-size", "--match",
       "--tint", "0", "--repeat-distance", "0", "--tile-aspect", "16:9", "--seed", "1", "--output", Path("m.png")},
      Path("cache"));
  ASSERT_EQ(r.status, 0) << r.err.toStdString();
  TBitmap mosaic = Read("m.png");
  ASSERT_FALSE(mosaic.Empty());
  mosaic.SetPixelFormat(pf24bit);
  EXPECT_TRUE(SamePixels(mosaic, stripes));
}

TEST_F(CliTool, PhotoLibraryOptionsAreChecked) {
  Write("wide.png", Solid(9000, 20, clRed));
  struct Case {
    QStringList args;
    int status;
    const char* message;
    const char* output = "o.png";
  } cases[] = {
      {{"--tint", "30"}, 2, "--tint is an option of --match"},
      {{"--repeat-distance", "2"}, 2, "--repeat-distance is an option of --match"},
      {{"--match", "--tint", "101"}, 2, "--tint must be 0 to 100"},
      {{"--match", "--repeat-distance", "x"}, 2, "--repeat-distance must be 0 to 25"},
      {{"--match", "--repeat-distance", "26"}, 2, "--repeat-distance must be 0 to 25"},
      {{"--tint-mode", "light"}, 2, "--tint-mode is an option of --match"},
      {{"--match", "--tint-mode", "soft"}, 2, "--tint-mode must be light or whole"},
      {{"--report", "r.json"}, 2, "--report is an option of --match"},
      {{"--match", "--report", "/nonexistent-folder/r.json"}, 1, "/nonexistent-folder/r.json"},
      {{"--max-uses", "2"}, 2, "--max-uses is an option of --match"},
      {{"--use-all"}, 2, "--use-all is an option of --match"},
      {{"--match", "--max-uses", "0"}, 2, "--max-uses must be 1 to 1000000000"},
      {{"--match", "--max-uses"}, 2, "--max-uses needs a number"},
      {{"--scale", "0"}, 2, "--scale must be 1 to 1000000"},
      {{"--tile-aspect", "5:4"}, 2, "--tile-aspect must be 1:1, 4:3, 3:2, 16:9, 3:4, 2:3 or 9:16"},
      {{"--match", "--tile-aspect", "16/9"}, 2, "--tile-aspect must be 1:1, 4:3, 3:2, 16:9, 3:4, 2:3 or 9:16"},
      {{"--tile-aspect", "4:3", "--tile-aspect", "4:3"}, 2, "--tile-aspect given twice"},
      {{"--tile-aspect"}, 2, "--tile-aspect needs a shape W:H"},
      // 72,000 pixels wide: beyond what is held whole, so only files written
      // in bands take it, each up to its own limit; 1,800,000 is beyond all.
      {{"--scale", "8", "--no-check-size", "--target-is-wide"}, 1, "of a picture held whole", "o.bmp"},
      {{"--scale", "8", "--no-check-size", "--target-is-wide"},
       1,
       "beyond the limit of 65535 pixels a side of a JPG",
       "o.jpg"},
      {{"--scale", "200", "--no-check-size", "--target-is-wide"},
       1,
       "beyond the limit of 1000000 pixels a side",
       "o.tif"},
      // 500,000 x 300,000 as TIFF: 450 GB, more than the disk has.
      {{"--scale", "10000", "--no-check-size"}, 1, "disk full: the file needs up to", "o.tif"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    QStringList args = c.args;
    QString target = Path("target.png");
    if (args.removeAll(QStringLiteral("--target-is-wide")) > 0) target = Path("wide.png");
    const QString output = Path(QLatin1String(c.output));
    const CliRun run = RunCliCached(
        QStringList{"mosaic", target, "--thumbnails", Path("thumbs"), "--output", output} + args, Path("cache"));
    EXPECT_EQ(run.status, c.status);
    EXPECT_TRUE(run.err.contains(QLatin1String(c.message))) << run.err.toStdString();
    EXPECT_FALSE(QFile::exists(output));
  }
}

// Many unreadable photos among good ones: the first five named with their
// reasons, the rest counted, in either library mode.
TEST_F(CliTool, PhotoLibrarySkipReportNamesFiveAndCountsTheRest) {
  for (int i = 1; i <= 7; ++i) {
    QFile junk(Path(QStringLiteral("thumbs/j%1.png").arg(i)));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a picture");
  }
  for (const char* mode : {"--match", "--crop"}) {
    SCOPED_TRACE(mode);
    const CliRun r = RunCliCached({"mosaic", Path("target.png"), "--thumbnails", Path("thumbs"), "--cell", "10",
                                   QLatin1String(mode), "--no-cache", "--output", Path("m.png")},
                                  Path("cache"));
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    QStringList lines = r.err.split('\n', Qt::SkipEmptyParts);
    // A matched mosaic ends with how it used the photos.
    if (QLatin1String(mode) == "--match" && !lines.isEmpty() && lines.back().contains(" photos used, "))
      lines.pop_back();
    ASSERT_EQ(lines.size(), 7) << r.err.toStdString();
    EXPECT_EQ(lines[0], "tesselune-cli: skipped 7 of 12 photo files that could not be read:");
    for (int i = 1; i <= 5; ++i)
      EXPECT_TRUE(
          lines[i].startsWith(QStringLiteral("  \"%1\" (").arg(Path(QStringLiteral("thumbs/j%1.png").arg(i)))) &&
          lines[i].endsWith(')'))
          << lines[i].toStdString();
    EXPECT_EQ(lines[6], "  and 2 more");
  }
}

// After a matched mosaic, one line on how the photos were used, and before
// it, any rule on reuse that could not be met and by how much. The target
// at cell 10 without enlarging: 5 x 3 cells; the thumbnails: 5 photos.
TEST_F(CliTool, MatchedMosaicSaysHowItUsedThePhotos) {
  struct Case {
    QStringList args;
    QStringList lines;
  } cases[] = {
      {{}, {"tesselune-cli: 5 of 5 photos used, none more than NUM times"}},
      {{"--max-uses", "3", "--repeat-distance", "0"}, {"tesselune-cli: 5 of 5 photos used, none more than 3 times"}},
      {{"--max-uses", "2", "--repeat-distance", "0"},
       {"tesselune-cli: --max-uses 2: 5 photos cannot fill 15 cells; 5 cells use a photo more than 2 times",
        "tesselune-cli: 5 of 5 photos used, none more than 3 times"}},
      {{"--use-all", "--max-uses", "3", "--repeat-distance", "1"},
       {"tesselune-cli: --repeat-distance 1 with --max-uses 3 and --use-all: NUM cells show a photo again within 1 "
        "cell",
        "tesselune-cli: 5 of 5 photos used, none more than 3 times"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const CliRun r =
        RunCliCached(QStringList{"mosaic", Path("target.png"), "--thumbnails", Path("thumbs"), "--cell", "10",
                                 "--no-check-size", "--match", "--seed", "1", "--output", Path("m.png")} +
                         c.args,
                     Path("cache"));
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList lines = r.err.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), c.lines.size()) << r.err.toStdString();
    for (qsizetype i = 0; i < lines.size(); ++i) {
      // NUM stands for a number the case does not fix.
      const QString pattern =
          QRegularExpression::escape(c.lines[i]).replace(QStringLiteral("NUM"), QStringLiteral("[0-9]+"));
      EXPECT_TRUE(QRegularExpression(QStringLiteral("^") + pattern + QStringLiteral("$")).match(lines[i]).hasMatch())
          << lines[i].toStdString();
    }
  }
}

// Without a folder of the user's own, a matched mosaic takes the bundled
// sample photographs, not the generated squares of plain colour; the default
// mosaic, and a matched one given the thumbnails folder, keep the squares.
TEST_F(CliTool, MatchedMosaicTakesTheSamplePhotographs) {
  const QDir bin = QFileInfo(QStringLiteral(TESSELUNE_CLI)).dir();
  const QDir samples(bin.filePath(QStringLiteral("SamplePhotos")));
  if (!samples.exists())
    MISSING_PIECE(
        "no sample photo library in this build (mate-backgrounds, plasma-workspace-wallpapers and "
        "ImageMagick make it: scripts/install-deps.sh)");
  const QStringList jpeg{QStringLiteral("*.jpg")};
  const qsizetype photos = samples.entryList(jpeg, QDir::Files).size();
  const qsizetype squares = QDir(bin.filePath(QStringLiteral("Thumbnails"))).entryList(QDir::Files).size();
  ASSERT_GT(photos, 100);
  ASSERT_NE(photos, squares);
  const QStringList common{"mosaic",
                           bin.filePath(QStringLiteral("sample.jpg")),
                           "--no-check-size",
                           "--no-cache",
                           "--match",
                           "--seed",
                           "1",
                           "--output",
                           Path("m.png")};
  struct Case {
    QStringList args;
    qsizetype offered;
  } const cases[] = {{{}, photos}, {{"--thumbnails", bin.filePath(QStringLiteral("Thumbnails"))}, squares}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const CliRun r = RunCli(common + c.args);
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("[0-9]+ of %1 photos used").arg(c.offered)).match(r.err).hasMatch())
        << r.err.toStdString();
  }
}

// 72,000 x 32 pixels, wider than a picture held whole: drawn in bands into
// the TIFF file, which holds the whole mosaic.
TEST_F(CliTool, MosaicBeyondMemoryIsWrittenInBands) {
  Write("wide.png", Numbered(9000, 4));
  for (const char* mode : {"--seed", "--match"}) {
    SCOPED_TRACE(mode);
    QStringList args{"mosaic",
                     Path("wide.png"),
                     "--thumbnails",
                     Path("thumbs"),
                     "--cell",
                     "10",
                     "--no-check-size",
                     "--scale",
                     "8",
                     "--seed",
                     "3",
                     "--output",
                     Path("m.tif")};
    // The same bands feed the deep-zoom pyramid beside the file; the tile
    // map is of the mosaic written, not of the picture it was made from.
    if (QLatin1String(mode) == "--match")
      args << "--match"
           << "--deep-zoom" << Path("page") << "--tile-map" << Path("map.json");
    const CliRun r = RunCliCached(args, Path("cache"));
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    TIFF* tif = TIFFOpen(QFile::encodeName(Path("m.tif")).constData(), "r");
    ASSERT_TRUE(tif);
    std::uint32_t width = 0, height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    EXPECT_EQ(width, 72000u);
    EXPECT_EQ(height, 32u);
    // The last row, read back: cells of the thumbnails' colours, not black.
    std::vector<std::uint8_t> row(size_t(TIFFScanlineSize(tif)));
    EXPECT_EQ(TIFFReadScanline(tif, row.data(), 31), 1);
    TIFFClose(tif);
    EXPECT_GT(*std::max_element(row.end() - 300, row.end()), 0);
    EXPECT_EQ(QDir(dir.path()).entryList({"m.tif*"}, QDir::Files), QStringList{"m.tif"});
    if (QLatin1String(mode) == "--match") {
      QFile dzi(Path("page/mosaic.dzi"));
      ASSERT_TRUE(dzi.open(QIODevice::ReadOnly));
      EXPECT_TRUE(dzi.readAll().contains("Width=\"72000\" Height=\"32\""));
      EXPECT_TRUE(QFile::exists(Path("page/index.html")));
      EXPECT_TRUE(QFile::exists(Path("page/mosaic_files/17/281_0.jpg")));
      const QJsonObject map = QJsonDocument::fromJson(Contents(Path("map.json"))).object();
      EXPECT_EQ(map["width"].toInt(), 72000);
      EXPECT_EQ(map["height"].toInt(), 32);
      EXPECT_EQ(map["cellWidth"].toInt(), 80);
      EXPECT_EQ(map["columns"].toInt(), 900);
      EXPECT_EQ(Contents(Path("page/tilemap.json")), Contents(Path("map.json")));
    }
    QFile::remove(Path("m.tif"));
  }
}

// The tile map names, for each cell, the photo the mosaic put there. Four
// solid photos (names that CSV must quote among them, one in a sub-folder)
// and a target of columns of their colours, the last column 5 pixels wide:
// untinted, each cell takes its column's photo.
TEST_F(CliTool, TileMapSaysWhichPhotoWentWhere) {
  const QStringList names{"a,b.png", "say \"hi\".png", "plain.png", "sub/deep.png"};
  const TColor colours[] = {clRed, clLime, clBlue, clYellow};
  QDir().mkpath(Path("lib/sub"));
  for (int i = 0; i < 4; ++i) Write("lib/" + names[i], Solid(16, 16, colours[i]));
  TBitmap target(45, 20, pf24bit);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 45; ++x) target.SetPixel(x, y, colours[x / 10 % 4]);
  Write("columns.png", target);
  const QStringList base{"mosaic",
                         Path("columns.png"),
                         "--thumbnails",
                         Path("lib"),
                         "--recursive",
                         "--cell",
                         "10",
                         "--no-check-size",
                         "--match",
                         "--tint",
                         "0",
                         "--repeat-distance",
                         "0",
                         "--seed",
                         "1",
                         "--output",
                         Path("m.png")};
  for (const char* file : {"map.csv", "map.json"}) {
    const CliRun r = RunCliCached(base + QStringList{"--tile-map", Path(file)}, Path("cache"));
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
  }
  QByteArray csv = "column,row,x,y,width,height,photo,tint\r\n";
  const QByteArray quoted[] = {"\"a,b.png\"", "\"say \"\"hi\"\".png\"", "plain.png", "sub/deep.png"};
  const QJsonObject json = QJsonDocument::fromJson(Contents(Path("map.json"))).object();
  const QJsonArray cells = json["cells"].toArray();
  ASSERT_EQ(cells.size(), 10);
  for (int row = 0; row < 2; ++row)
    for (int column = 0; column < 5; ++column) {
      const int width = column == 4 ? 5 : 10;
      csv +=
          QStringLiteral("%1,%2,%3,%4,%5,10,").arg(column).arg(row).arg(column * 10).arg(row * 10).arg(width).toUtf8() +
          quoted[column % 4] + ",0\r\n";
      EXPECT_EQ(cells[row * 5 + column].toObject(), (QJsonObject{{"column", column},
                                                                 {"row", row},
                                                                 {"x", column * 10},
                                                                 {"y", row * 10},
                                                                 {"width", width},
                                                                 {"height", 10},
                                                                 {"photo", names[column % 4]},
                                                                 {"tint", 0}}));
    }
  EXPECT_EQ(Contents(Path("map.csv")), csv);
  EXPECT_EQ(json["library"].toString(), Path("lib"));
  EXPECT_EQ(json["width"].toInt(), 45);
  EXPECT_EQ(json["height"].toInt(), 20);
  EXPECT_EQ(json["cellWidth"].toInt(), 10);
  EXPECT_EQ(json["cellHeight"].toInt(), 10);
  EXPECT_EQ(json["columns"].toInt(), 5);
  EXPECT_EQ(json["rows"].toInt(), 2);

  // What the map needs is checked before any work.
  const struct {
    QStringList args;
    const char* message;
  } wrong[] = {
      {{"--tile-map", Path("map.txt"), "--match"}, "--tile-map must name a .json or .csv file"},
      {{"--tile-map", Path("map.json")}, "--tile-map is an option of --match"},
  };
  for (const auto& w : wrong) {
    SCOPED_TRACE(w.message);
    const CliRun r = RunCli(
        QStringList{"mosaic", Path("columns.png"), "--thumbnails", Path("lib"), "--output", Path("w.png")} + w.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("tesselune-cli: ") + QLatin1String(w.message))) << r.err.toStdString();
  }
  QStringList elsewhere = base;
  elsewhere.replace(elsewhere.indexOf(Path("m.png")), Path("m2.png"));
  const CliRun missing = RunCliCached(elsewhere + QStringList{"--tile-map", Path("nowhere/map.json")}, Path("cache"));
  EXPECT_EQ(missing.status, 1);
  EXPECT_FALSE(QFile::exists(Path("m2.png")));
}

// A second mosaic with its page in the folder of the first: the page's files
// are written over the old ones, and its map is the new mosaic's.
TEST_F(CliTool, ADeepZoomPageIsWrittenOverTheLastOne) {
  QByteArray first;
  for (const char* cell : {"10", "15"}) {
    SCOPED_TRACE(cell);
    const CliRun r = RunCliCached(
        {"mosaic", Path("target.png"), "--thumbnails", Path("thumbs"), "--cell", cell, "--no-check-size", "--match",
         "--seed", "1", "--output", Path("m.png"), "--tile-map", Path("map.json"), "--deep-zoom", Path("page")},
        Path("cache"));
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(Contents(Path("page/tilemap.json")), Contents(Path("map.json")));
    EXPECT_TRUE(QFile::exists(Path("page/index.html")));
    if (first.isEmpty())
      first = Contents(Path("map.json"));
    else
      EXPECT_NE(Contents(Path("map.json")), first);
  }
}
