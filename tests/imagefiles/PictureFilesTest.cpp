#include "imagefiles/PictureFiles.h"

#include <Magick++.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <functional>

#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include "TestBitmaps.h"
#include "TestFiles.h"
#include "app/InterfaceTexts.h"
#include "app/MyMsgDlg.h"
#include "imagefiles/FormatFixtures.h"
#include "imagefiles/GifImage.h"
#include "imagefiles/JpegImage.h"

using namespace testing_bitmaps;
using namespace testing_files;

namespace {

struct StageCall {
  QString format;  // the codec's name, empty for none
  QString fileName;
  TFileStage stage;
};

class PictureFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEnglishTexts();
    files.OnPictureFile = [this](TGraphic* g, const QString& name, TFileStage stage, bool& cont) {
      stages.push_back({g ? QString::fromLatin1(g->FormatName()) : QString(), name, stage});
      if (stage == veto) cont = false;
    };
    previous = SetMsgPresenter([this](const TMsgRequest& r) {
      messages.push_back(r);
      return int(idOk);
    });
    ASSERT_TRUE(dir.isValid());
  }
  void TearDown() override {
    SetMsgPresenter(previous);
    SetFrenchTexts();
  }
  QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
  // Writes a picture through the save dispatch, without recording its stages.
  QString Saved(const char* name, const TBitmap& picture) {
    const QString file = Path(name);
    EXPECT_EQ(SavePicture(files, file, picture), 1) << name;
    stages.clear();
    return file;
  }
  std::vector<TFileStage> StagesSeen() const {
    std::vector<TFileStage> s;
    for (const StageCall& c : stages) s.push_back(c.stage);
    return s;
  }

  QTemporaryDir dir;
  TPictureFileContext files;  // messages shown, stages recorded
  std::vector<StageCall> stages;
  std::vector<TMsgRequest> messages;
  TFileStage veto = TFileStage(255);
  TMsgPresenter previous;
};

}  // namespace

TEST_F(PictureFiles, Filters) {
  EXPECT_EQ(BuildSaveFilter(),
            "BMP (*.bmp)|*.bmp|GIF (*.gif)|*.gif|JPEG (*.jpg;*.jpeg)|*.jpg;*.jpeg|PNG (*.png)|*.png|RLE "
            "(*.rle)|*.rle|Targa (*.tga)|*.tga|TIFF (*.tif;*.tiff)|*.tif;*.tiff");
  EXPECT_EQ(
      BuildOpenFilter(),
      QString::fromUtf8(
          "Common images|*.png;*.jpg;*.jpeg;*.tif;*.tiff;*.tga;*.bmp;*.gif;*.bki|All images|*.*|"
          "Alias/Wavefront (*.rla;*.rpf)|*.rla;*.rpf|Autodesk (*.cel;*.pic)|*.cel;*.pic|"
          "BMP (*.bmp;*.dib;*.rle)|*.bmp;*.dib;*.rle|Brindlemark Image (*.bki)|*.bki|"
          "Brindlemark Sélection (*.bks)|*.bks|Dr. Halo (*.cut)|*.cut|GIF (*.gif)|*.gif|"
          "Icône (*.ico)|*.ico|JPEG (*.jfif;*.jpe;*.jpeg;*.jpg)|*.jfif;*.jpe;*.jpeg;*.jpg|"
          "Metafile (*.emf;*.wmf)|*.emf;*.wmf|Paintbrush (*.pcc;*.pcx;*.scr)|*.pcc;*.pcx;*.scr|"
          "Paintshop Pro (*.psp;*.tub)|*.psp;*.tub|Photo-CD (*.pcd)|*.pcd|"
          "Photoshop (*.pdd;*.psd)|*.pdd;*.psd|PNG (*.png)|*.png|"
          "Portable map (*.pbm;*.pgm;*.ppm)|*.pbm;*.pgm;*.ppm|SGI (*.bw;*.rgb;*.rgba;*.sgi)|*.bw;*.rgb;*.rgba;*.sgi|"
          "Targa (*.icb;*.tga;*.vda;*.vst;*.win)|*.icb;*.tga;*.vda;*.vst;*.win|"
          "TIFF (*.btf;*.fax;*.tf8;*.tif;*.tiff)|*.btf;*.fax;*.tf8;*.tif;*.tiff"));
  // Read from the table when asked: a description changed since shows at once.
  SetLangText(lsTiff, QStringLiteral("Tagged"));
  EXPECT_TRUE(BuildSaveFilter().endsWith("|Tagged (*.tif;*.tiff)|*.tif;*.tiff"));
  EXPECT_TRUE(BuildOpenFilter().contains("|Tagged (*.btf;*.fax;*.tf8;*.tif;*.tiff)|*.btf;*.fax;*.tf8;*.tif;*.tiff"));
  EXPECT_EQ(SaveFormats()[6].Description, "Tagged");
}

TEST_F(PictureFiles, SaveFormatIndex) {
  const std::pair<const char*, int> cases[] = {{"a.bmp", 0},  {"a.GIF", 1},        {"a.jpe", 2}, {"a.jpeg", 2},
                                               {"a.t", 6},    {"a.tiff", 6},       {"a.rle", 4}, {"a.pcx", -1},
                                               {"noext", -1}, {"dir.v2/noext", -1}};
  for (const auto& [name, index] : cases) EXPECT_EQ(SaveFormatIndex(QString::fromLatin1(name)), index) << name;
}

TEST_F(PictureFiles, RoundTripsEveryWriterThroughTheDispatch) {
  const TBitmap picture = Numbered(9, 7);
  struct Case {
    const char* name;
    bool lossless;
  } cases[] = {{"p.bmp", true}, {"p.png", true}, {"p.tga", true}, {"p.tif", true},
               {"p.gif", true}, {"p.rle", true}, {"p.jpg", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString file = Saved(c.name, picture);
    TBitmap loaded;
    ASSERT_EQ(LoadPicture(files, file, loaded), 1);
    EXPECT_EQ(loaded.Width(), 9);
    EXPECT_EQ(loaded.Height(), 7);
    loaded.SetPixelFormat(pf24bit);
    if (c.lossless) {
      EXPECT_TRUE(SamePixels(loaded, picture));
    } else {
      // Lossy: the dispatch gives exactly what the JPEG codec makes of the file.
      TBitmap decoded = LoadAs<TJpegImage>(ReadFileBytes(file));
      decoded.SetPixelFormat(pf24bit);
      EXPECT_TRUE(SamePixels(loaded, decoded));
    }
  }
  EXPECT_TRUE(messages.empty());
}

TEST_F(PictureFiles, ReaderChosenByExtension) {
  const TBitmap picture = Numbered(8, 8);
  const QString jpeg = Saved("x.jpg", picture);
  const QString tiff = Saved("x.tif", picture);
  const std::pair<const char*, const char*> cases[] = {{"a.JPG", "JPEG"}, {"a.jp", "JPEG"},  {"a.jfi", "JPEG"},
                                                       {"a.jpe", "JPEG"}, {"a.tf8", "TIFF"}, {"a.BTF", "TIFF"}};
  for (const auto& [name, format] : cases) {
    SCOPED_TRACE(name);
    const QString copy = Path(name);
    QFile::remove(copy);
    ASSERT_TRUE(QFile::copy(QString::fromLatin1(format) == "JPEG" ? jpeg : tiff, copy));
    TBitmap loaded;
    stages.clear();
    EXPECT_EQ(LoadPicture(files, copy, loaded), 1);
    ASSERT_EQ(stages.size(), 2u);
    EXPECT_EQ(stages[0].format, format);
    EXPECT_EQ(StagesSeen(), (std::vector<TFileStage>{fsBeforeLoad, fsAfterLoad}));
  }
}

TEST_F(PictureFiles, FailedLoadsReportOnceAndLeaveTheBitmap) {
  QFile junk(Path("junk.png"));
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
  junk.write("not a picture at all");
  junk.close();
  // The sentence, then the reason.
  const struct {
    const char* name;
    QString reason;
  } cases[] = {{"pic.xyz", "no reader for \".xyz\""},
               {"junk.png", "PNG: not a PNG file"},
               {"missing.bmp", "no such file"},
               {"noext", "no extension to tell the format"}};
  for (const auto& [n, reason] : cases) {
    SCOPED_TRACE(n);
    messages.clear();
    stages.clear();
    const QString file = Path(n);
    TBitmap target = Numbered(2, 2);
    EXPECT_EQ(LoadPicture(files, file, target), -1);
    EXPECT_TRUE(SamePixels(target, Numbered(2, 2)));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].Text, QStringLiteral("Unable to load image in file \"%1\" !\n").arg(file) + reason);
    EXPECT_EQ(messages[0].Kind, mkError);
    EXPECT_EQ(messages[0].Buttons, btOk);
    ASSERT_FALSE(stages.empty());
    EXPECT_EQ(stages.back().stage, fsFailed);
    EXPECT_TRUE(stages.back().format.isEmpty());
  }
  // Messages off: silent, but the handler still hears of it.
  files.ShowFileErrors = false;
  messages.clear();
  stages.clear();
  TBitmap target;
  EXPECT_EQ(LoadPicture(files, Path("pic.xyz"), target), -1);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(StagesSeen(), std::vector<TFileStage>{fsFailed});
}

// A device, a named pipe or a folder is not a picture file: each fails at
// once, however it is reached, instead of reading without end or waiting for
// a writer. Each load runs in a child with an alarm and a data budget, so a
// regression fails the test instead of hanging it.
TEST_F(PictureFiles, OnlyRegularFilesAreRead) {
  ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), Path("zero.png")));
  ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), Path("zero.jpg")));
  ASSERT_EQ(mkfifo(QFile::encodeName(Path("zz.png")).constData(), 0600), 0);
  ASSERT_EQ(mkfifo(QFile::encodeName(Path("zz.jpg")).constData(), 0600), 0);
  ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.bmp")));
  files.ShowFileErrors = false;
  const auto bounded = [](const std::function<int()>& body) {
    return RunWithDataBudget(ReaderMemoryBudget, [&] {
      alarm(20);
      return body();
    });
  };
  for (const char* n : {"zero.png", "zero.jpg", "zz.png", "zz.jpg", "folder.bmp"}) {
    SCOPED_TRACE(n);
    const QString path = Path(n);
    EXPECT_EQ(bounded([&] {
                TBitmap target;
                return LoadPicture(files, path, target) == -1 ? 1 : 0;
              }),
              1);
    EXPECT_EQ(bounded([&] { return LoadPicturePreview(path).Ok ? 0 : 1; }), 1);
    EXPECT_EQ(bounded([&] {
                TBitmap target;
                return DecodePictureFile(path, target) ? 0 : 1;
              }),
              1);
    EXPECT_EQ(bounded([&] {
                int w = -1, h = -1;
                ReadJpegSize(path, w, h);
                return w == 0 && h == 0 ? 1 : 0;
              }),
              1);
  }
}

TEST_F(PictureFiles, VetoesStopWithoutFailure) {
  const QString png = Saved("v.png", Numbered(4, 4));
  for (TFileStage v : {fsBeforeLoad, fsAfterLoad}) {
    veto = v;
    TBitmap target = Solid(3, 3, clRed);
    EXPECT_EQ(LoadPicture(files, png, target), 0);
    EXPECT_TRUE(SamePixels(target, Solid(3, 3, clRed)));
  }
  veto = fsBeforeSave;
  const QString out = Path("vetoed.bmp");
  EXPECT_EQ(SavePicture(files, out, Numbered(4, 4)), 0);
  EXPECT_FALSE(QFile::exists(out));
  EXPECT_TRUE(messages.empty());
}

// The preview's value carries what the open dialog shows: the full size of
// a JPEG decoded at a reduced scale and the depth it was stored in.
TEST_F(PictureFiles, PreviewSendsNoStagesAndReportsTheFullJpegSize) {
  const QString jpeg = Saved("big.jpg", Numbered(1300, 40));
  const TPicturePreview preview = LoadPicturePreview(jpeg);
  ASSERT_TRUE(preview.Ok);
  EXPECT_TRUE(stages.empty());
  EXPECT_EQ(preview.Width, 1300);
  EXPECT_EQ(preview.Height, 40);
  EXPECT_EQ(preview.StoredFormat, pf24bit);
  EXPECT_EQ(preview.Picture.Width(), 1300 / 8 + 1);  // 1/8 scale, rounded up by the decoder
  EXPECT_EQ(preview.Picture.Height(), 5);
  // A failed preview is silent and sends no fsFailed.
  const TPicturePreview missing = LoadPicturePreview(Path("missing.jpg"));
  EXPECT_FALSE(missing.Ok);
  EXPECT_EQ(missing.Error, "no such file");
  EXPECT_TRUE(stages.empty());
  EXPECT_TRUE(messages.empty());
  // A load decodes the same file at full size.
  TBitmap full;
  EXPECT_EQ(LoadPicture(files, jpeg, full), 1);
  EXPECT_EQ(full.Width(), 1300);
  EXPECT_EQ(full.Height(), 40);
}

TEST_F(PictureFiles, JpegSettingsMadeAtBeforeSaveSurvive) {
  const TBitmap picture = Numbered(64, 64);
  auto sizeAt = [&](int quality) {
    files.OnPictureFile = [quality](TGraphic* g, const QString&, TFileStage stage, bool&) {
      if (g && stage == fsBeforeSave) g->Options.JpegQuality = quality;
    };
    const QString file = Path("q.jpg");
    EXPECT_EQ(SavePicture(files, file, picture), 1);
    return QFileInfo(file).size();
  };
  EXPECT_LT(sizeAt(10), sizeAt(100));
}

TEST_F(PictureFiles, UnknownSaveExtensionWritesNothing) {
  const QString file = Path("photo.jpe");
  EXPECT_EQ(SavePicture(files, file, Numbered(3, 3)), -1);
  EXPECT_FALSE(QFile::exists(file));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].Text,
            QStringLiteral("Unable to save image in file \"%1\" !\nno writer for \".jpe\"").arg(file));
  EXPECT_EQ(StagesSeen(), std::vector<TFileStage>{fsFailed});
}

TEST_F(PictureFiles, FailedSaveKeepsTheFileItReplaces) {
  const QString file = Saved("keep.tga", Numbered(5, 5));
  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray before = f.readAll();
  f.close();
  // Targa stores sides in 16 bits: this picture cannot be written.
  EXPECT_EQ(SavePicture(files, file, Solid(70000, 1, clRed)), -1);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), before);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"keep.tga"});  // no partial file left
}

TEST_F(PictureFiles, FailedWriteKeepsTheFileItReplaces) {
  const QString file = Saved("keep.bmp", Numbered(5, 5));
  const TByteBuffer before = ReadFileBytes(file);
  ASSERT_FALSE(before.empty());
  // The write itself fails: the child may not make any file longer than 4 KB
  // and ignores the signal, so the write returns an error instead. The new
  // picture (120 KB) cannot be written; a save straight into the file would
  // already have cut the old one short.
  const int status = RunInChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit small{4096, 4096};
    if (setrlimit(RLIMIT_FSIZE, &small) != 0) return 1;
    files.ShowFileErrors = false;
    return SavePicture(files, file, Numbered(200, 200)) == -1 ? 0 : 2;
  });
  EXPECT_EQ(status, 0) << "the save did not report the failed write";
  EXPECT_EQ(ReadFileBytes(file), before);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.bmp"});  // no temporary left
}

// Choosing a file is the dialogs' business (imagefiles/gui): without a name
// the dispatch does nothing and says nothing.
TEST_F(PictureFiles, NoNameDoesNothing) {
  TBitmap b = Numbered(2, 2);
  EXPECT_EQ(LoadPicture(files, QString(), b), 0);
  EXPECT_TRUE(SamePixels(b, Numbered(2, 2)));
  EXPECT_EQ(SavePicture(files, QString(), Numbered(2, 2)), 0);
  EXPECT_TRUE(stages.empty());
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(QDir(dir.path()).isEmpty());
}

namespace {

QByteArray Bytes(const TByteBuffer& b) {
  return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
}

QByteArray FileContents(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A small picture written by ImageMagick with the named coder.
QByteArray MagickFile(const QString& dir, const char* coder, int w = 6, int h = 4) {
  Magick::Image picture(Magick::Geometry(std::size_t(w), std::size_t(h)), Magick::Color("orange"));
  picture.draw(Magick::DrawableRectangle(0, 0, w / 2, h / 2));
  const QString path = dir + QStringLiteral("/magick-fixture");
  picture.write(std::string(coder) + ":" + path.toStdString());
  return FileContents(path);
}

}  // namespace

TEST_F(PictureFiles, EveryRegisteredExtensionReachesItsReader) {
  Magick::InitializeMagick(nullptr);
  const QString data = QStringLiteral(TESSELUNE_TEST_DATA);
  const TBitmap picture = Numbered(6, 4);
  const auto ours = [&](const char* name) { return FileContents(Saved(name, picture)); };
  const QByteArray bmp = ours("o.bmp"), rle = ours("o.rle"), jpeg = ours("o.jpg"), png = ours("o.png"),
                   gif = ours("o.gif"), tga = ours("o.tga"), tiff = ours("o.tif");
  const QString d = dir.path();
  const QByteArray pcx = MagickFile(d, "PCX"), psd = MagickFile(d, "PSD"), sgi = MagickFile(d, "SGI"),
                   ico = MagickFile(d, "ICO", 16, 16), pcd = MagickFile(d, "PCD", 768, 512);
  struct Case {
    const char* extension;
    QByteArray file;
    const char* reader;  // the codec the stage handler is given
  };
  const Case cases[] = {
      {"rla", FileContents(data + "/rla/rgb4x3.rla"), "RLA"},
      {"rpf", FileContents(data + "/rla/rgb4x3.rla"), "RLA"},
      {"cel", Bytes(SampleCelFile()), "Autodesk"},
      {"pic", Bytes(SampleCelFile()), "Autodesk"},
      {"bmp", bmp, "BMP"},
      {"dib", bmp, "BMP"},
      {"rle", rle, "BMP"},
      {"cut", FileContents(data + "/cut/grey5x3.cut"), "CUT"},
      {"ico", ico, "ICO"},
      {"jfif", jpeg, "JPEG"},
      {"jpe", jpeg, "JPEG"},
      {"jpeg", jpeg, "JPEG"},
      {"jpg", jpeg, "JPEG"},
      {"wmf", FileContents(data + "/wmf/rect40x30.wmf"), "WMF"},
      {"pcc", pcx, "PCX"},
      {"pcx", pcx, "PCX"},
      {"scr", pcx, "PCX"},
      {"psp", Bytes(SamplePspFile()), "Paint Shop Pro"},
      {"tub", Bytes(SamplePspFile()), "Paint Shop Pro"},
      {"pcd", pcd, "PCD"},
      {"pdd", psd, "PSD"},
      {"psd", psd, "PSD"},
      {"png", png, "PNG"},
      {"pbm", MagickFile(d, "PBM"), "PNM"},
      {"pgm", MagickFile(d, "PGM"), "PNM"},
      {"ppm", MagickFile(d, "PPM"), "PNM"},
      {"bw", sgi, "SGI"},
      {"rgb", sgi, "SGI"},
      {"rgba", sgi, "SGI"},
      {"sgi", sgi, "SGI"},
      {"icb", tga, "Targa"},
      {"tga", tga, "Targa"},
      {"vda", tga, "Targa"},
      {"vst", tga, "Targa"},
      {"win", tga, "Targa"},
      {"gif", gif, "GIF"},
      {"bki", Bytes(SampleBkiFile()), "BKI"},
      {"bks", QByteArray("-1\r\n10\r\n5\r\n"), "BKS"},
      {"tiff", tiff, "TIFF"},
      {"tif", tiff, "TIFF"},
      {"fax", tiff, "TIFF"},
      {"tf8", tiff, "TIFF"},
      {"btf", tiff, "TIFF"},
  };
  std::vector<QString> covered;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.extension);
    ASSERT_FALSE(c.file.isEmpty());
    const QString file = Path("f.") + QString::fromLatin1(c.extension);
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(c.file);
    out.close();
    stages.clear();
    TBitmap loaded;
    EXPECT_EQ(LoadPicture(files, file, loaded), 1);
    ASSERT_FALSE(stages.empty());
    EXPECT_EQ(stages[0].format, QString::fromLatin1(c.reader));
    EXPECT_FALSE(loaded.Empty());
    covered.push_back(QString::fromLatin1(c.extension));
  }
  EXPECT_TRUE(messages.empty());
  // Every registry row has a case above, except the metafile that cannot be
  // rendered here: it reaches its reader and fails with the load error.
  for (const TRegistryEntry& e : OpenRegistry()) {
    if (e.Extension == u"emf") continue;
    EXPECT_NE(std::find(covered.begin(), covered.end(), e.Extension), covered.end()) << e.Extension.toStdString();
  }
  const QString emf = Path("f.emf");
  QFile out(emf);
  ASSERT_TRUE(out.open(QIODevice::WriteOnly));
  out.write(FileContents(data + "/wmf/rect40x30.wmf"));
  out.close();
  stages.clear();
  TBitmap loaded;
  EXPECT_EQ(LoadPicture(files, emf, loaded), -1);
  ASSERT_FALSE(stages.empty());
  EXPECT_EQ(stages[0].format, QStringLiteral("EMF"));
  EXPECT_EQ(stages.back().stage, fsFailed);
}

TEST_F(PictureFiles, QuickModeReadsOnlyTheNativeThumbnail) {
  const QString file = Path("n.bki");
  QFile out(file);
  ASSERT_TRUE(out.open(QIODevice::WriteOnly));
  out.write(Bytes(SampleBkiFile()));
  out.close();
  const TPicturePreview preview = LoadPicturePreview(file);
  ASSERT_TRUE(preview.Ok);
  EXPECT_EQ(preview.Picture.Width(), 2);
  EXPECT_EQ(preview.Width, 4);
  EXPECT_EQ(preview.Height, 3);
  TBitmap full;
  ASSERT_EQ(LoadPicture(files, file, full), 1);
  EXPECT_EQ(full.Width(), 4);
}

// A file named for one format but holding another (a PNG saved as ".jpg") is
// read by the reader its signature names, in the load dispatch as in the
// thumbnail loader's decode; the stage handler sees the codec that read it.
TEST_F(PictureFiles, MisnamedFilesAreReadByTheirContent) {
  const TBitmap picture = Numbered(24, 16);
  const struct {
    const char* saved;  // named for its content
    const char* misnamed;
    const char* reader;
  } cases[] = {
      {"c.png", "png-as.jpg", "PNG"}, {"c.jpg", "jpeg-as.bmp", "JPEG"}, {"c.gif", "gif-as.png", "GIF"},
      {"c.bmp", "bmp-as.tif", "BMP"}, {"c.tif", "tiff-as.gif", "TIFF"}, {"c.jpg", "jpeg-as.tga", "JPEG"},
      {"c.png", "png-as.pcx", "PNG"}, {"c.rle", "rle-as.jpeg", "BMP"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.misnamed);
    const QString proper = Saved(c.saved, picture);
    TBitmap expected;
    ASSERT_EQ(LoadPicture(files, proper, expected), 1);
    const QString misnamed = Path(c.misnamed);
    ASSERT_TRUE(QFile::copy(proper, misnamed));

    stages.clear();
    messages.clear();
    TBitmap loaded;
    ASSERT_EQ(LoadPicture(files, misnamed, loaded), 1);
    EXPECT_TRUE(SamePixels(loaded, expected));
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(StagesSeen(), (std::vector<TFileStage>{fsBeforeLoad, fsAfterLoad}));
    EXPECT_EQ(stages[1].format, QLatin1String(c.reader));

    TBitmap decoded;
    ASSERT_TRUE(DecodePictureFile(misnamed, decoded));
    EXPECT_TRUE(SamePixels(decoded, expected));

    const TPicturePreview preview = LoadPicturePreview(misnamed);
    EXPECT_TRUE(preview.Ok);
    EXPECT_EQ(preview.Width, picture.Width());
    EXPECT_EQ(preview.Height, picture.Height());
  }
}

// Content that no signature names stays with the reader of its extension and
// fails there as before; two bytes of "BM" are not taken for a BMP.
TEST_F(PictureFiles, UnsignedContentStaysWithTheExtensionsReader) {
  const struct {
    const char* name;
    QByteArray bytes;
    const char* reader;
  } cases[] = {
      {"junk.jpg", QByteArray("not a picture at all"), "JPEG"},
      {"bm.png", QByteArray("BMnot a bitmap header at all"), "PNG"},
      {"short-gif.bmp", QByteArray("GIF8"), "BMP"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QFile f(Path(c.name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(c.bytes);
    f.close();
    stages.clear();
    TBitmap target = Numbered(2, 2);
    EXPECT_EQ(LoadPicture(files, Path(c.name), target), -1);
    EXPECT_TRUE(SamePixels(target, Numbered(2, 2)));
    ASSERT_EQ(StagesSeen(), (std::vector<TFileStage>{fsBeforeLoad, fsFailed}));
    EXPECT_EQ(stages[0].format, QLatin1String(c.reader));
    TBitmap decoded;
    EXPECT_FALSE(DecodePictureFile(Path(c.name), decoded));
  }
}

// The less common forms of two signatures, under another format's name: a
// big-endian TIFF ("MM") and a GIF87a file are read by their content.
TEST(DecodePictureFile, BigEndianTiffAndGif87aAreReadByTheirContent) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const TBitmap picture = Solid(6, 4, RGBColor(200, 40, 90));
  // Big-endian ("b") RGB, written by libtiff.
  const QString tiff = dir.filePath("be-as.jpg");
  TIFF* tif = TIFFOpen(QFile::encodeName(tiff).constData(), "wb");
  ASSERT_NE(tif, nullptr);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 6);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 4);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 4);
  std::uint8_t row[6 * 3];
  for (int x = 0; x < 6; ++x) row[3 * x] = 200, row[3 * x + 1] = 40, row[3 * x + 2] = 90;
  for (std::uint32_t y = 0; y < 4; ++y) ASSERT_EQ(TIFFWriteScanline(tif, row, y, 0), 1);
  TIFFClose(tif);
  // Our GIF writer's file, with the older version in its signature.
  TByteBuffer gif = SaveAs<TGifImage>(picture);
  ASSERT_EQ(AsQByteArray(gif).left(4), "GIF8");
  gif[4] = '7';
  const QString gif87 = dir.filePath("gif87-as.tif");
  ASSERT_TRUE(WriteFileBytes(gif87, gif));
  const struct {
    QString file;
    QByteArray signature;
  } cases[] = {{tiff, QByteArray("MM\0*", 4)}, {gif87, "GIF87a"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file.toStdString());
    ASSERT_TRUE(AsQByteArray(ReadFileBytes(c.file)).startsWith(c.signature));
    TBitmap decoded;
    ASSERT_TRUE(DecodePictureFile(c.file, decoded));
    decoded.SetPixelFormat(pf24bit);
    EXPECT_TRUE(SamePixels(decoded, picture));
  }
}
