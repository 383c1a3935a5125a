// Every reader against the same table of damaged files: whatever the format,
// a bad file ends in the load error naming the format, and neither the
// codec's bitmap nor the caller's changes on the way.
#include <gtest/gtest.h>
#include <zlib.h>

#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <string>

#include "TestBitmaps.h"
#include "TestFiles.h"
#include "app/InterfaceTexts.h"
#include "imagefiles/BmpImage.h"
#include "imagefiles/GifImage.h"
#include "imagefiles/JpegImage.h"
#include "imagefiles/PictureFiles.h"
#include "imagefiles/PngImage.h"
#include "imagefiles/TargaImage.h"
#include "imagefiles/TiffImage.h"

using namespace testing_bitmaps;
using namespace testing_files;

namespace {

TByteBuffer Corpus(const char* relative) {
  return ReadFileBytes(QStringLiteral(TESSELUNE_TEST_DATA "/../../fuzz/corpus/") + QString::fromLatin1(relative));
}

// The ImageMagick fuzzer's seeds start with a byte that picks the format.
TByteBuffer MagickSeed(const char* relative) {
  const TByteBuffer seed = Corpus(relative);
  return seed.empty() ? seed : TByteBuffer(seed.begin() + 1, seed.end());
}

template <class T>
TByteBuffer Written(const TBitmap& picture) {
  T writer;
  writer.Bitmap() = picture;
  TByteBuffer out;
  writer.SaveToBytes(out);
  return out;
}

// How a file's header states its size, so that it can be made to claim
// 65535 x 65535 pixels.
enum class TSize { None, LE16, LE32, BE16, BE16HeightFirst, BE32HeightFirst, Png, Pcx, Tiff, PnmText, BksText };

void Put(TByteBuffer& f, std::size_t at, std::uint32_t v, int bytes, bool big) {
  for (int i = 0; i < bytes; ++i) f[at + std::size_t(i)] = std::uint8_t(v >> (8 * (big ? bytes - 1 - i : i)));
}
std::uint32_t Get(const TByteBuffer& f, std::size_t at, int bytes, bool big) {
  std::uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= std::uint32_t(f[at + std::size_t(i)]) << (8 * (big ? bytes - 1 - i : i));
  return v;
}

// Replaces every stored pair (first, second) by (65535, 65535); true when one was found.
bool ReplacePairs(TByteBuffer& f, std::uint32_t first, std::uint32_t second, int bytes, bool big,
                  std::uint32_t to = 65535) {
  bool found = false;
  for (std::size_t at = 0; at + 2 * std::size_t(bytes) <= f.size(); ++at)
    if (Get(f, at, bytes, big) == first && Get(f, at + std::size_t(bytes), bytes, big) == second) {
      Put(f, at, to, bytes, big);
      Put(f, at + std::size_t(bytes), to, bytes, big);
      found = true;
    }
  return found;
}

std::string Text(const TByteBuffer& f) { return std::string(f.begin(), f.end()); }

// A copy of f claiming side x side pixels (the files we write: 65535 at most).
TByteBuffer ClaimHuge(TByteBuffer f, TSize how, int w, int h, std::uint32_t side = 65535) {
  bool ok = false;
  switch (how) {
    case TSize::None: return {};
    case TSize::LE16: ok = ReplacePairs(f, std::uint32_t(w), std::uint32_t(h), 2, false, side); break;
    case TSize::LE32: ok = ReplacePairs(f, std::uint32_t(w), std::uint32_t(h), 4, false, side); break;
    case TSize::BE16: ok = ReplacePairs(f, std::uint32_t(w), std::uint32_t(h), 2, true, side); break;
    case TSize::BE16HeightFirst: ok = ReplacePairs(f, std::uint32_t(h), std::uint32_t(w), 2, true, side); break;
    case TSize::BE32HeightFirst: ok = ReplacePairs(f, std::uint32_t(h), std::uint32_t(w), 4, true, side); break;
    case TSize::Pcx: ok = ReplacePairs(f, std::uint32_t(w - 1), std::uint32_t(h - 1), 2, false, side - 1); break;
    case TSize::Png:
      Put(f, 16, side, 4, true);
      Put(f, 20, side, 4, true);
      Put(f, 29, std::uint32_t(crc32(0, f.data() + 12, 17)), 4, true);  // the header stays valid
      ok = true;
      break;
    case TSize::Tiff: {
      // Our writer's file: ImageWidth and ImageLength are the second and
      // third entries of the first directory.
      const std::size_t ifd = Get(f, 4, 4, false);
      Put(f, ifd + 2 + 12 + 8, side, 4, false);
      Put(f, ifd + 2 + 24 + 8, side, 4, false);
      ok = true;
      break;
    }
    case TSize::PnmText: {
      std::string s = Text(f);
      const std::string from = std::to_string(w) + " " + std::to_string(h);
      const std::size_t at = s.find(from);
      ok = at != std::string::npos;
      if (ok) s.replace(at, from.size(), std::to_string(side) + " " + std::to_string(side));
      f.assign(s.begin(), s.end());
      break;
    }
    case TSize::BksText: {
      const std::string s = "-1\n" + std::to_string(side) + "\n" + std::to_string(side) + "\n";
      f.assign(s.begin(), s.end());
      ok = true;
      break;
    }
  }
  return ok ? f : TByteBuffer{};
}

struct TReaderCase {
  const char* name;
  const char* extension;  // without dot
  std::function<TByteBuffer()> valid;
  TSize size;
};

std::ostream& operator<<(std::ostream& os, const TReaderCase& c) { return os << c.name; }

const TBitmap& Picture() {
  static const TBitmap picture = Numbered(37, 23);
  return picture;
}

std::vector<TReaderCase> ReaderCases() {
  return {
      {"BMP", "bmp", [] { return Written<TBmpImage>(Picture()); }, TSize::LE32},
      {"DIB without file header", "dib",
       [] {
         const TByteBuffer bmp = Written<TBmpImage>(Picture());
         return TByteBuffer(bmp.begin() + 14, bmp.end());
       },
       TSize::LE32},
      {"GIF", "gif", [] { return Written<TGifImage>(Picture()); }, TSize::LE16},
      {"JPEG", "jpg", [] { return Written<TJpegImage>(Picture()); }, TSize::BE16HeightFirst},
      {"PNG", "png", [] { return Written<TPngImage>(Picture()); }, TSize::Png},
      {"Targa", "tga", [] { return Written<TTargaImage>(Picture()); }, TSize::LE16},
      {"TIFF", "tif", [] { return Written<TTiffImage>(Picture()); }, TSize::Tiff},
      {"TIFF through libtiff's coders", "tif", [] { return Corpus("tiff/rgb8_lzw.tif"); }, TSize::None},
      {"native image", "bki", [] { return Corpus("bki/small.bki"); }, TSize::LE32},
      {"selection", "bks", [] { return Corpus("bks/polygon.bks"); }, TSize::BksText},
      {"Autodesk", "cel", [] { return Corpus("cel/eight_bit.cel"); }, TSize::LE16},
      {"Paint Shop Pro", "psp", [] { return Corpus("psp/v5_composite_rle.psp"); }, TSize::LE32},
      {"Paintbrush", "pcx", [] { return MagickSeed("magick/pcx_truecolor.bin"); }, TSize::Pcx},
      {"Photoshop", "psd", [] { return MagickSeed("magick/psd_rgb.bin"); }, TSize::BE32HeightFirst},
      {"SGI", "sgi", [] { return MagickSeed("magick/sgi_rgb.bin"); }, TSize::BE16},
      {"portable map", "ppm", [] { return MagickSeed("magick/ppm.bin"); }, TSize::PnmText},
      {"Dr. Halo", "cut", [] { return ReadFileBytes(QStringLiteral(TESSELUNE_TEST_DATA "/cut/grey5x3.cut")); },
       TSize::LE16},
      {"Alias/Wavefront", "rla", [] { return ReadFileBytes(QStringLiteral(TESSELUNE_TEST_DATA "/rla/rgb4x3.rla")); },
       TSize::None},
      {"icon", "ico", [] { return MagickSeed("magick/ico_alpha.bin"); }, TSize::None},
      {"metafile", "wmf", [] { return ReadFileBytes(QStringLiteral(TESSELUNE_TEST_DATA "/wmf/rect40x30.wmf")); },
       TSize::None},
  };
}

class ReaderContract : public ::testing::TestWithParam<TReaderCase> {
 protected:
  void SetUp() override {
    SetEnglishTexts();
    context.ShowFileErrors = false;
  }

  // One file through the codec and through the dispatch. A failure must be
  // the load error naming the format with both bitmaps as they were; a
  // success must give a picture.
  enum TOutcome { MustLoad, MayLoad, MustFail };
  void Check(const std::string& what, const TByteBuffer& bytes, TOutcome outcome) {
    const bool mustLoad = outcome == MustLoad;
    SCOPED_TRACE(what);
    const QString name = dir.filePath(QStringLiteral("file.") + QString::fromLatin1(GetParam().extension));
    const TFormatDescriptor* row = ReadableFormat(QString::fromLatin1(GetParam().extension));
    ASSERT_NE(row, nullptr);
    std::unique_ptr<TGraphic> reader = row->Reader(QString::fromLatin1(GetParam().extension));
    ASSERT_NE(reader, nullptr);
    reader->Bitmap() = Sentinel();
    bool loaded = true;
    try {
      reader->LoadFromBytes(bytes);
    } catch (const EImageError& e) {
      loaded = false;
      if (mustLoad) ADD_FAILURE() << e.what();
      EXPECT_EQ(std::string(e.what()).rfind(std::string(reader->FormatName()) + ": ", 0), 0u) << e.what();
      EXPECT_TRUE(SamePixels(reader->Bitmap(), Sentinel()));
    } catch (...) {
      ADD_FAILURE() << "a reader let something other than the load error out";
      loaded = false;
    }
    if (loaded) {
      EXPECT_FALSE(reader->Bitmap().Empty());
    }
    if (outcome != MayLoad) {
      EXPECT_EQ(loaded, mustLoad);
    }

    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    file.close();
    TBitmap target = Sentinel();
    const int result = LoadPicture(context, name, target);
    if (outcome != MayLoad) {
      EXPECT_EQ(result, mustLoad ? 1 : -1);
    }
    if (result < 0) {
      EXPECT_TRUE(SamePixels(target, Sentinel()));
    } else {
      EXPECT_FALSE(target.Empty());
    }
  }

  static const TBitmap& Sentinel() {
    static const TBitmap sentinel = Solid(3, 2, clFuchsia);
    return sentinel;
  }

  QTemporaryDir tempDir;
  QDir dir{tempDir.path()};
  TPictureFileContext context;
};

TEST_P(ReaderContract, DamagedFilesEndInTheLoadErrorAndChangeNoBitmap) {
  const TByteBuffer valid = GetParam().valid();
  ASSERT_FALSE(valid.empty());
  Check("the valid file", valid, MustLoad);
  Check("an empty file", {}, MustFail);
  for (int tenth = 1; tenth < 10; ++tenth) {
    const std::size_t length = valid.size() * std::size_t(tenth) / 10;
    Check("cut at " + std::to_string(tenth * 10) + " %", TByteBuffer(valid.begin(), valid.begin() + length), MayLoad);
  }

  TBitmap decoded;
  const QString fileName = dir.filePath(QStringLiteral("size.") + QString::fromLatin1(GetParam().extension));
  {
    QFile file(fileName);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(valid.data()), qint64(valid.size()));
  }
  ASSERT_EQ(LoadPicture(context, fileName, decoded), 1);
  if (GetParam().size != TSize::None) {
    const TByteBuffer huge = ClaimHuge(valid, GetParam().size, decoded.Width(), decoded.Height());
    ASSERT_FALSE(huge.empty()) << "the size fields were not found";
    Check("a header claiming 65535 x 65535 pixels", huge, MustFail);
    // Within every size limit, but far more than the file could describe:
    // refused on the header, well within a memory budget.
    const TByteBuffer large = ClaimHuge(valid, GetParam().size, decoded.Width(), decoded.Height(), 23170);
    ASSERT_FALSE(large.empty());
    const std::string extension = GetParam().extension;
    const int result = ReadWithDataBudget(ReaderMemoryBudget, large, [&] {
      return ReadableFormat(QString::fromStdString(extension))->Reader(QString::fromStdString(extension));
    });
    EXPECT_EQ(BoundedReadName(result), std::string(BoundedReadName(brRefused))) << "a header claiming 23170 x 23170";
  }
}

INSTANTIATE_TEST_SUITE_P(EveryReader, ReaderContract, ::testing::ValuesIn(ReaderCases()),
                         [](const ::testing::TestParamInfo<TReaderCase>& info) {
                           std::string name;
                           for (char c : std::string(info.param.name))
                             if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                           return name;
                         });

}  // namespace
