#include "imagefiles/BandWriters.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QDir>
#include <QTemporaryDir>
#include <random>

#include "MissingPiece.h"
#include "TestBitmaps.h"
#include "TestFiles.h"
#include "imagefiles/Graphic.h"
#include "imagefiles/PictureFiles.h"

using namespace testing_bitmaps;
using namespace testing_files;

namespace {

// Every pixel its own: a compressor finds little to share, so the PNG
// stream is not one of those compared with a single zlib stream.
TBitmap Noise(int w, int h, int amplitude = 64) {
  TBitmap b(w, h, pf24bit);
  std::mt19937 random(std::uint32_t(w * 7919 + h));
  for (int y = 0; y < h; ++y) {
    std::uint8_t* p = b.ScanLine(y);
    for (int x = 0; x < 3 * w; ++x) p[x] = std::uint8_t(int(random() % unsigned(amplitude)) + (x * 2 + y) % 192);
  }
  return b;
}

TBitmap Load(const QString& name) {
  TPictureFileContext context;
  context.ShowFileErrors = false;
  TBitmap b;
  EXPECT_GT(LoadPicture(context, name, b), 0) << name.toStdString();
  if (b.PixelFormat() != pf24bit) b.SetPixelFormat(pf24bit);
  return b;
}

TByteBuffer SavedWhole(const QString& name, const TBitmap& picture) {
  TPictureFileContext context;
  EXPECT_EQ(SavePicture(context, name, picture), 1);
  return ReadFileBytes(name);
}

// The files in a folder besides the given one: a writer leaves nothing else.
QStringList Files(const QString& folder) { return QDir(folder).entryList(QDir::Files, QDir::Name); }

}  // namespace

// Written in bands of any height, each format holds the picture: a PNG or
// JPEG file is byte for byte the one the whole-picture writer makes, a TIFF
// file reads back the same pixels. The large picture spans several batches
// of the PNG stream's segments.
TEST(BandWriters, FilesHoldThePictureWhateverTheBands) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  struct TCase {
    int Width, Height;
    std::vector<int> BandRows;
  };
  const TCase cases[] = {{61, 45, {1, 7, 45, 100}}, {1500, 2400, {333}}};
  for (const TCase& c : cases) {
    const TBitmap picture = Noise(c.Width, c.Height);
    for (const char* ext : {"png", "jpg", "tif"}) {
      const QString whole = dir.filePath(QStringLiteral("whole.%1").arg(QLatin1String(ext)));
      const TByteBuffer expected = SavedWhole(whole, picture);
      for (const int rows : c.BandRows) {
        SCOPED_TRACE(testing::Message() << c.Width << "x" << c.Height << " ." << ext << " in bands of " << rows);
        const QString name = dir.filePath(QStringLiteral("bands.%1").arg(QLatin1String(ext)));
        const std::unique_ptr<TBandSink> writer = MakeBandFileWriter(name);
        ASSERT_TRUE(writer);
        ASSERT_TRUE(WriteInBands(picture, *writer, rows)) << writer->Error().toStdString();
        if (QLatin1String(ext) == QLatin1String("tif"))
          EXPECT_TRUE(SamePixels(Load(name), picture));
        else
          EXPECT_TRUE(ReadFileBytes(name) == expected);
        EXPECT_EQ(Files(dir.path()).size(), 2);
        QFile::remove(name);
      }
      QFile::remove(whole);
    }
  }
}

// Formats that cannot stream have no writer; a size beyond the format or
// the disk is refused at Begin, and a writer abandoned part way leaves the
// old file as it was and nothing beside it.
TEST(BandWriters, RefusalsAndAbandonLeaveTheOldFile) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  for (const char* ext : {"bmp", "gif", "tga", "rle", "txt"}) {
    SCOPED_TRACE(ext);
    EXPECT_FALSE(MakeBandFileWriter(dir.filePath(QStringLiteral("a.%1").arg(QLatin1String(ext)))));
    EXPECT_EQ(BandFileMaxSide(QStringLiteral("a.%1").arg(QLatin1String(ext))), 0);
  }
  const QStringList old{QStringLiteral("old.jpg"), QStringLiteral("old.tif")};
  for (const QString& file : old) ASSERT_TRUE(WriteFileBytes(dir.filePath(file), TByteBuffer{1, 2, 3}));
  struct TCase {
    const char* Name;
    const char* File;
    int Width, Height;
    const char* Error;  // a part of Begin's error; nullptr: Begin succeeds, the writer is abandoned
  } cases[] = {{"wider than JPEG", "old.jpg", 65536, 8, "65535"},
               {"taller than JPEG", "old.jpg", 8, 65536, "65535"},
               {"more than the disk (3 TB)", "old.tif", 1000000, 1000000, "disk full"},
               {"abandoned", "old.jpg", 40, 30, nullptr},
               {"abandoned", "old.tif", 40, 30, nullptr}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Name << ", " << c.File);
    const QString name = dir.filePath(QLatin1String(c.File));
    const std::unique_ptr<TBandSink> writer = MakeBandFileWriter(name);
    if (c.Error) {
      EXPECT_FALSE(writer->Begin(c.Width, c.Height));
      EXPECT_TRUE(writer->Error().contains(QLatin1String(c.Error))) << writer->Error().toStdString();
    } else {
      ASSERT_TRUE(writer->Begin(c.Width, c.Height));
      ASSERT_TRUE(writer->Write(Noise(c.Width, 10), 0));
      EXPECT_EQ(Files(dir.path()).size(), 3);  // the new file beside the old ones
    }
    writer->Abandon();
    writer->Abandon();
    EXPECT_EQ(Files(dir.path()), old);
    EXPECT_TRUE(ReadFileBytes(name) == (TByteBuffer{1, 2, 3}));
  }
}

// The options given to a writer reach its file: JPEG quality and progressive
// scans, the resolution recorded in a PNG file, each giving the bytes the
// whole-picture writer makes with the same settings.
TEST(BandWriters, OptionsGiveTheFileOfTheWholeWriterWithTheSameSettings) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const TBitmap picture = Noise(61, 45);
  struct TCase {
    const char* Ext;
    TBandFileOptions Options;
  };
  const TCase cases[] = {{"jpg", {72.0, 60, false}}, {"jpg", {72.0, 95, true}}, {"png", {300.0, 90, false}}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "." << c.Ext << ", quality " << c.Options.JpegQuality
                                    << (c.Options.JpegProgressive ? ", progressive" : "") << ", "
                                    << c.Options.Resolution << " dpi");
    TPictureFileContext context;
    context.SaveResolution = c.Options.Resolution;
    context.OnPictureFile = [&](TGraphic* graphic, const QString&, TFileStage stage, bool&) {
      if (graphic && stage == fsBeforeSave) {
        graphic->Options.JpegQuality = c.Options.JpegQuality;
        graphic->Options.JpegProgressive = c.Options.JpegProgressive;
      }
    };
    const QString whole = dir.filePath(QStringLiteral("whole.%1").arg(QLatin1String(c.Ext)));
    ASSERT_EQ(SavePicture(context, whole, picture), 1);
    const QString name = dir.filePath(QStringLiteral("bands.%1").arg(QLatin1String(c.Ext)));
    const std::unique_ptr<TBandSink> writer = MakeBandFileWriter(name, c.Options);
    ASSERT_TRUE(writer);
    ASSERT_TRUE(WriteInBands(picture, *writer, 10)) << writer->Error().toStdString();
    EXPECT_TRUE(ReadFileBytes(name) == ReadFileBytes(whole));
    // Not the file of the default settings.
    const QString plain = dir.filePath(QStringLiteral("plain.%1").arg(QLatin1String(c.Ext)));
    const std::unique_ptr<TBandSink> defaults = MakeBandFileWriter(plain);
    ASSERT_TRUE(WriteInBands(picture, *defaults, 10));
    EXPECT_FALSE(ReadFileBytes(plain) == ReadFileBytes(name));
  }
}

// A disk that fills while the file is written (the check before passed):
// the write fails with "disk full", and the new file is removed. A small
// file system of its own is mounted for it, which needs root.
TEST(BandWriters, ADiskFullWhileWritingEndsInItsErrorWithNothingLeft) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QByteArray mountPoint = QFile::encodeName(dir.path());
  if (::geteuid() != 0 || ::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=4m") != 0)
    MISSING_PIECE("cannot mount a small file system here (the test must run as root)");
  struct TUnmount {
    QByteArray point;
    ~TUnmount() { ::umount2(point.constData(), MNT_DETACH); }
  } unmount{mountPoint};
  for (const char* ext : {"tif", "png", "jpg"}) {
    SCOPED_TRACE(ext);
    const QString name = dir.filePath(QStringLiteral("mosaic.%1").arg(QLatin1String(ext)));
    const std::unique_ptr<TBandSink> writer = MakeBandFileWriter(name);
    ASSERT_TRUE(writer->Begin(1000, 1000));  // up to 3 MB: it fits
    // Then another file takes all the room but 256 KB.
    const QString filler = dir.filePath(QStringLiteral("filler"));
    ASSERT_TRUE(WriteFileBytes(filler, TByteBuffer((4 << 20) - (256 << 10), 7)));
    // Pure noise: no format makes it much smaller than its 3 MB.
    const TBitmap band = Noise(1000, 100, 256);
    bool written = true;
    for (int top = 0; top < 1000 && written; top += 100) written = writer->Write(band, top);
    if (written) written = writer->Finish();
    EXPECT_FALSE(written);
    EXPECT_EQ(writer->Error(), QStringLiteral("disk full"));
    writer->Abandon();
    QFile::remove(filler);
    EXPECT_TRUE(Files(dir.path()).isEmpty());
  }
}
