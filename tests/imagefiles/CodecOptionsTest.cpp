// Options reach every codec through one value, the dispatch keeps its state
// in its caller's context, and the files of other programs that used to be
// refused.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <climits>
#include <thread>
#include <vector>

#include "TestBitmaps.h"
#include "TestFiles.h"
#include "app/InterfaceTexts.h"
#include "app/MyMsgDlg.h"
#include "imagefiles/BmpImage.h"
#include "imagefiles/PictureFiles.h"
#include "imagefiles/PictureInfo.h"
#include "imagefiles/TiffImage.h"

using namespace testing_bitmaps;
using namespace testing_files;

namespace {

std::uint32_t BE32(const TByteBuffer& f, std::size_t at) {
  return std::uint32_t(f[at]) << 24 | std::uint32_t(f[at + 1]) << 16 | std::uint32_t(f[at + 2]) << 8 | f[at + 3];
}
std::uint32_t LE32(const TByteBuffer& f, std::size_t at) {
  return std::uint32_t(f[at]) | std::uint32_t(f[at + 1]) << 8 | std::uint32_t(f[at + 2]) << 16 |
         std::uint32_t(f[at + 3]) << 24;
}

// A one-strip TIFF written by libtiff: the tags given, then either scan lines
// (raw == false) or the bytes as they are (a writer with its own layout).
struct TTiffFile {
  std::uint32_t width = 2, height = 2;
  std::uint16_t samplesPerPixel = 1, bitsPerSample = 8, photometric = PHOTOMETRIC_MINISBLACK;
  std::uint16_t sampleFormat = SAMPLEFORMAT_UINT, extraSamples = 0;
  std::vector<std::uint8_t> data;  // all rows
  bool raw = false;
};

void WriteTiffFile(const QString& path, const TTiffFile& t) {
  TIFF* tif = TIFFOpen(path.toLocal8Bit().constData(), "w");
  ASSERT_NE(tif, nullptr);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, t.width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, t.height);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, t.samplesPerPixel);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, t.bitsPerSample);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, t.photometric);
  TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, t.sampleFormat);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, t.height);
  if (t.extraSamples) {
    const std::uint16_t kind = EXTRASAMPLE_UNASSALPHA;
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &kind);
  }
  std::vector<std::uint8_t> data = t.data;
  if (t.raw) {
    TIFFWriteRawStrip(tif, 0, data.data(), tmsize_t(data.size()));
  } else {
    const std::size_t line = data.size() / t.height;
    for (std::uint32_t y = 0; y < t.height; ++y) TIFFWriteScanline(tif, data.data() + y * line, y, 0);
  }
  TIFFClose(tif);
}

class CodecOptions : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEnglishTexts();
    context.ShowFileErrors = false;
  }
  QString Path(const char* name) const { return QDir(dir.path()).filePath(QString::fromLatin1(name)); }

  QTemporaryDir dir;
  TPictureFileContext context;
};

// The PNG writer used to write 72 dpi whatever SaveResolution said.
TEST_F(CodecOptions, PngAndTiffWritersTakeTheSaveResolution) {
  struct Case {
    double dpi;
    std::uint32_t pixelsPerMetre, tiffNumerator;
  };
  for (const Case c : {Case{72.0, 2834, 72}, Case{300.0, 11811, 300}}) {
    SCOPED_TRACE(c.dpi);
    context.SaveResolution = c.dpi;
    QString png = Path("r.png"), tif = Path("r.tif");
    ASSERT_EQ(SavePicture(context, png, Numbered(3, 2)), 1);
    ASSERT_EQ(SavePicture(context, tif, Numbered(3, 2)), 1);
    const TByteBuffer p = ReadFileBytes(png);
    // Signature, the 25-byte header chunk, then pHYs: length, type, x, y, unit.
    ASSERT_EQ(std::string(p.begin() + 37, p.begin() + 41), "pHYs");
    EXPECT_EQ(BE32(p, 41), c.pixelsPerMetre);
    EXPECT_EQ(BE32(p, 45), c.pixelsPerMetre);
    EXPECT_EQ(p[49], 1);
    EXPECT_EQ(LE32(ReadFileBytes(tif), 8), c.tiffNumerator);  // XResolution
  }
}

// TIFFs of every stored format, each with the format it must report.
struct TStoredCase {
  const char* name;
  TTiffFile file;
  TPixelFormat stored;
};

std::vector<TStoredCase> StoredCases() {
  TTiffFile bilevel;
  bilevel.bitsPerSample = 1;
  bilevel.data = {0x40, 0x80};
  TTiffFile grey4;
  grey4.bitsPerSample = 4;
  grey4.data = {0x0F, 0xF0};
  TTiffFile grey8;
  grey8.data = {0, 50, 100, 250};
  TTiffFile rgb;
  rgb.samplesPerPixel = 3;
  rgb.photometric = PHOTOMETRIC_RGB;
  rgb.data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  TTiffFile rgba = rgb;
  rgba.samplesPerPixel = 4;
  rgba.extraSamples = 1;
  rgba.data = {1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9, 255, 10, 11, 12, 100};
  return {{"bilevel", bilevel, pf1bit},
          {"grey4", grey4, pf4bit},
          {"grey8", grey8, pf8bit},
          {"rgb", rgb, pf24bit},
          {"rgba", rgba, pf32bit}};
}

// Reading a TIFF used to write a global, although the decoder promises that
// several threads may decode at once.
TEST_F(CodecOptions, TiffsDecodeOnSeveralThreadsEachWithItsStoredFormat) {
  const std::vector<TStoredCase> cases = StoredCases();
  std::vector<QString> names;
  for (const TStoredCase& c : cases) {
    names.push_back(Path(c.name) + QStringLiteral(".tif"));
    WriteTiffFile(names.back(), c.file);
  }
  std::atomic<int> wrong{0}, done{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 40; ++i) {
        const std::size_t k = std::size_t(t + i) % cases.size();
        TDecodedPicture picture;
        if (!DecodePictureFile(names[k], picture) || picture.StoredFormat != cases[k].stored ||
            picture.Bitmap.Width() != 2)
          ++wrong;
        ++done;
      }
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(done.load(), 240);
  EXPECT_EQ(wrong.load(), 0);
}

// The preview used to leave the depth of the TIFF it read in its context,
// where the open dialog picked it up afterwards; the value it returns now
// carries it, with the full size.
TEST_F(CodecOptions, ThePreviewTellsTheFullSizeAndStoredFormatOfATiff) {
  for (const TStoredCase& c : StoredCases()) {
    SCOPED_TRACE(c.name);
    const QString name = Path(c.name) + QStringLiteral(".tif");
    WriteTiffFile(name, c.file);
    const TPicturePreview preview = LoadPicturePreview(name);
    ASSERT_TRUE(preview.Ok) << preview.Error.toStdString();
    EXPECT_EQ(preview.Width, 2);
    EXPECT_EQ(preview.Height, 2);
    EXPECT_EQ(preview.StoredFormat, c.stored);
    EXPECT_EQ(preview.Picture.Width(), 2);
  }
  const QString bilevel = Path("bilevel.tif");
  EXPECT_EQ(ColorDepthText(bilevel, LoadPicturePreview(bilevel).StoredFormat), QStringLiteral("1 bit"));
  QString broken = Path("broken.tif");
  EXPECT_TRUE(WriteFileBytes(broken, TByteBuffer{'I', 'I', 42, 0, 99, 0, 0, 0}));
  const TPicturePreview failed = LoadPicturePreview(broken);
  EXPECT_FALSE(failed.Ok);
  EXPECT_FALSE(failed.Error.isEmpty());
  EXPECT_TRUE(failed.Picture.Empty());
}

// Each caller's context is its own: one caller's handler, messages and
// failures leave another's alone.
TEST_F(CodecOptions, ContextsAreIndependent) {
  std::vector<QString> messages;
  const TMsgPresenter previous = SetMsgPresenter([&](const TMsgRequest& r) {
    messages.push_back(r.Text);
    return MsgUnattendedResult(r.Buttons);
  });
  std::vector<TFileStage> otherStages, ownStages;
  TPictureFileContext other;
  other.OnPictureFile = [&](TGraphic*, const QString&, TFileStage s, bool&) { otherStages.push_back(s); };
  context.OnPictureFile = [&](TGraphic*, const QString&, TFileStage s, bool&) { ownStages.push_back(s); };

  const QString missing = Path("missing.png"), good = Path("good.bmp");
  TBitmap target;
  EXPECT_EQ(LoadPicture(context, missing, target), -1);
  ASSERT_EQ(SavePicture(context, good, Numbered(4, 3)), 1);
  ASSERT_EQ(LoadPicture(context, good, target), 1);
  EXPECT_TRUE(messages.empty());  // the context's messages are off
  EXPECT_EQ(ownStages,
            (std::vector<TFileStage>{fsBeforeLoad, fsFailed, fsBeforeSave, fsAfterSave, fsBeforeLoad, fsAfterLoad}));
  EXPECT_EQ(target.Width(), 4);
  EXPECT_TRUE(context.LastError.isEmpty());
  EXPECT_TRUE(otherStages.empty());
  EXPECT_TRUE(other.ShowFileErrors);
  EXPECT_TRUE(other.LastError.isEmpty());

  EXPECT_EQ(LoadPicture(other, missing, target), -1);
  EXPECT_EQ(messages.size(), 1u);  // this one shows its failures
  EXPECT_EQ(otherStages, (std::vector<TFileStage>{fsBeforeLoad, fsFailed}));
  EXPECT_EQ(ownStages.size(), 6u);
  EXPECT_TRUE(context.LastError.isEmpty());
  SetMsgPresenter(previous);
}

// ---- files of other programs ----

struct TPeerTiff {
  const char* name;
  TTiffFile file;
};

// Four grey samples across: black, white, middle, quarter (or just below middle).
std::vector<TPeerTiff> PeerTiffs() {
  TTiffFile packed12;
  packed12.width = 4;
  packed12.height = 1;
  packed12.bitsPerSample = 12;
  // 0x000, 0xFFF, 0x800, 0x400 packed two samples to three bytes.
  packed12.data = {0x00, 0x0F, 0xFF, 0x80, 0x04, 0x00};
  TTiffFile words12 = packed12;
  words12.raw = true;  // one sample to a 16-bit little-endian word
  words12.data = {0x00, 0x00, 0xFF, 0x0F, 0x00, 0x08, 0x00, 0x04};
  TTiffFile signed32;
  signed32.width = 4;
  signed32.height = 1;
  signed32.bitsPerSample = 32;
  signed32.sampleFormat = SAMPLEFORMAT_INT;
  for (std::int32_t v : {INT32_MIN, INT32_MAX, 0, -1})
    for (int i = 0; i < 4; ++i) signed32.data.push_back(std::uint8_t(std::uint32_t(v) >> (8 * i)));
  return {{"12-bit samples", packed12}, {"12-bit samples in 16-bit words", words12}, {"32-bit signed grey", signed32}};
}

TEST_F(CodecOptions, TwelveBitAndSignedIntegerTiffsAreScaledByTheirFullRange) {
  for (const TPeerTiff& c : PeerTiffs()) {
    SCOPED_TRACE(c.name);
    QString name = Path("peer.tif");
    WriteTiffFile(name, c.file);
    TBitmap picture;
    ASSERT_EQ(LoadPicture(context, name, picture), 1);
    ASSERT_EQ(picture.Width(), 4);
    ASSERT_EQ(picture.Height(), 1);
    EXPECT_EQ(picture.PixelFormat(), pf24bit);
    EXPECT_EQ(LoadPicturePreview(name).StoredFormat, pf24bit);
    const bool isSigned = c.file.sampleFormat == SAMPLEFORMAT_INT;
    const int levels[4] = {0, 255, 128, isSigned ? 127 : 64};
    for (int x = 0; x < 4; ++x) EXPECT_EQ(picture.Pixel(x, 0), RGBColor(levels[x], levels[x], levels[x])) << x;
  }
}

TEST_F(CodecOptions, ClipboardBitmapsWithoutFileHeaderReadAsDib) {
  const TFormatDescriptor* row = ReadableFormat(u"dib");
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->Format, TPictureFormat::Bmp);
  TBitmap eight = Numbered(5, 3);
  eight.SetPixelFormat(pf8bit);
  for (const TBitmap& picture : {Numbered(5, 3), eight}) {
    SCOPED_TRACE(int(picture.PixelFormat()));
    TBmpImage writer;
    writer.Bitmap() = picture;
    TByteBuffer file;
    writer.SaveToBytes(file);
    QString whole = Path("whole.dib"), packed = Path("packed.dib");
    EXPECT_TRUE(WriteFileBytes(whole, file));
    EXPECT_TRUE(WriteFileBytes(packed, TByteBuffer(file.begin() + 14, file.end())));
    TBitmap a, b;
    ASSERT_EQ(LoadPicture(context, whole, a), 1);
    ASSERT_EQ(LoadPicture(context, packed, b), 1);
    EXPECT_EQ(b.PixelFormat(), picture.PixelFormat());
    EXPECT_TRUE(SamePixels(a, picture));
    EXPECT_TRUE(SamePixels(b, picture));
  }
}

}  // namespace
