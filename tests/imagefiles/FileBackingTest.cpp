// A picture above UnbackedPixels must be backed by its file: tiny files that
// claim gigabytes are refused on their header, before any pixel memory,
// while large pictures that their files do describe still load.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

#include "TestBitmaps.h"
#include "TestFiles.h"
#include "imagefiles/BksImage.h"
#include "imagefiles/BmpImage.h"
#include "imagefiles/GifImage.h"
#include "imagefiles/JpegImage.h"
#include "imagefiles/PngImage.h"
#include "imagefiles/TiffImage.h"

using namespace testing_bitmaps;
using namespace testing_files;

namespace {

// The side of the largest square picture we accept (MaxPicturePixels).
constexpr std::uint32_t HugeSide = 23170;

void PutLE(TByteBuffer& f, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) f.push_back(std::uint8_t(v >> (8 * i)));
}

// 1,080 bytes: an RLE8 bitmap of HugeSide x HugeSide whose only data is the
// end-of-bitmap code.
TByteBuffer EmptyRle8Bmp() {
  TByteBuffer f = {'B', 'M'};
  PutLE(f, 1080, 4);
  PutLE(f, 0, 4);
  PutLE(f, 14 + 40 + 1024, 4);
  PutLE(f, 40, 4);
  PutLE(f, HugeSide, 4);
  PutLE(f, HugeSide, 4);
  PutLE(f, 1, 2);  // planes
  PutLE(f, 8, 2);
  PutLE(f, 1, 4);  // RLE8
  for (int i = 0; i < 5; ++i) PutLE(f, 0, 4);
  for (int i = 0; i < 256; ++i) PutLE(f, std::uint32_t(i * 0x010101), 4);
  f.push_back(0);
  f.push_back(1);  // end of bitmap
  return f;
}

// A 64 x 48 JPEG whose frame header is patched to HugeSide x HugeSide.
TByteBuffer PatchedJpeg(bool progressive) {
  TJpegImage writer;
  writer.Options.JpegProgressive = progressive;
  TByteBuffer f = SaveWith(writer, Numbered(64, 48));
  const std::uint8_t marker = progressive ? 0xC2 : 0xC0;
  for (std::size_t at = 0; at + 9 < f.size(); ++at)
    if (f[at] == 0xFF && f[at + 1] == marker) {
      f[at + 5] = f[at + 7] = std::uint8_t(HugeSide >> 8);
      f[at + 6] = f[at + 8] = std::uint8_t(HugeSide & 0xFF);
      return f;
    }
  return {};
}

// An uncompressed RGB TIFF of HugeSide x HugeSide with one strip of 16 bytes:
// 144 bytes, then as many zero bytes as padding asks for.
TByteBuffer ShortStripTiff(std::size_t padding) {
  TByteBuffer f = {'I', 'I', 42, 0};
  PutLE(f, 8, 4);
  const std::uint32_t bitsAt = 8 + 2 + 9 * 12 + 4, stripAt = bitsAt + 6;
  PutLE(f, 9, 2);
  const auto entry = [&f](std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t value) {
    PutLE(f, tag, 2);
    PutLE(f, type, 2);
    PutLE(f, count, 4);
    PutLE(f, value, 4);
  };
  entry(256, 4, 1, HugeSide);  // ImageWidth
  entry(257, 4, 1, HugeSide);  // ImageLength
  entry(258, 3, 3, bitsAt);    // BitsPerSample
  entry(259, 3, 1, 1);         // no compression
  entry(262, 3, 1, 2);         // RGB
  entry(273, 4, 1, stripAt);   // StripOffsets
  entry(277, 3, 1, 3);         // SamplesPerPixel
  entry(278, 4, 1, HugeSide);  // RowsPerStrip
  entry(279, 4, 1, 16);        // StripByteCounts
  PutLE(f, 0, 4);
  for (int i = 0; i < 3; ++i) PutLE(f, 8, 2);
  f.resize(f.size() + 16 + padding, 0x80);
  return f;
}

TByteBuffer Text(const std::string& s) { return TByteBuffer(s.begin(), s.end()); }

struct TTinyFile {
  const char* name;
  std::function<TByteBuffer()> bytes;
  std::size_t size;  // as the issue reported it; 0: larger by design
  std::function<std::unique_ptr<TGraphic>()> reader;
};
std::ostream& operator<<(std::ostream& os, const TTinyFile& c) { return os << c.name; }

template <class T>
std::function<std::unique_ptr<TGraphic>()> Reader() {
  return [] { return std::unique_ptr<TGraphic>(std::make_unique<T>()); };
}

class TinyFileClaimingGigabytes : public ::testing::TestWithParam<TTinyFile> {};

// Each file made every reader allocate gigabytes (or fail only after doing
// so); now the header is refused within a budget far below the picture.
TEST_P(TinyFileClaimingGigabytes, IsRefusedBeforeAnyPixelMemory) {
  const TByteBuffer bytes = GetParam().bytes();
  ASSERT_FALSE(bytes.empty());
  if (GetParam().size) {
    EXPECT_EQ(bytes.size(), GetParam().size);
  }
  const int result = ReadWithDataBudget(ReaderMemoryBudget, bytes, GetParam().reader);
  EXPECT_EQ(BoundedReadName(result), std::string(BoundedReadName(brRefused)));
}

INSTANTIATE_TEST_SUITE_P(
    Reproductions, TinyFileClaimingGigabytes,
    ::testing::Values(
        TTinyFile{"Rle8BmpOfOnlyTheEndCode", EmptyRle8Bmp, 1080, Reader<TBmpImage>()},
        TTinyFile{"BaselineJpegWithPatchedFrame", [] { return PatchedJpeg(false); }, 0, Reader<TJpegImage>()},
        TTinyFile{"ProgressiveJpegWithPatchedFrame", [] { return PatchedJpeg(true); }, 0, Reader<TJpegImage>()},
        TTinyFile{"UncompressedTiffWithOneShortStrip", [] { return ShortStripTiff(0); }, 144, Reader<TTiffImage>()},
        // 600,000 bytes back the picture's pixels by the rule of
        // every reader, but its strip holds 16 bytes of 1.6 GB.
        TTinyFile{"UncompressedTiffWhoseStripCannotCoverIt", [] { return ShortStripTiff(600000 - 144); }, 0,
                  Reader<TTiffImage>()},
        TTinyFile{"SelectionOfAHugeEllipse", [] { return Text("-2\n19800\n19800\n"); }, 15, Reader<TBksImage>()}),
    [](const ::testing::TestParamInfo<TTinyFile>& info) { return std::string(info.param.name); });

// Large pictures that their files describe keep loading: a flat colour is
// the best case of each compression.
TEST(FileBacking, LargeFlatPicturesStillLoad) {
  const TBitmap flat = Solid(4200, 4100, RGBColor(90, 140, 200));  // 17.2 M pixels
  struct {
    const char* name;
    std::function<TByteBuffer()> save;
    std::function<std::unique_ptr<TGraphic>()> reader;
  } cases[] = {
      {"PNG", [&] { return SaveAs<TPngImage>(flat); }, Reader<TPngImage>()},
      // LZW beats deflate on a flat picture: our own file holds about one
      // byte for every 1,500 pixels.
      {"GIF", [&] { return SaveAs<TGifImage>(flat); }, Reader<TGifImage>()},
      {"progressive JPEG",
       [&] {
         TJpegImage writer;
         writer.Options.JpegProgressive = true;
         return SaveWith(writer, flat);
       },
       Reader<TJpegImage>()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TByteBuffer bytes = c.save();
    // The file is far smaller than the picture, but holds enough to back it.
    EXPECT_LT(bytes.size(), std::size_t(4200) * 4100 / 100);
    const std::unique_ptr<TGraphic> reader = c.reader();
    ASSERT_NO_THROW(reader->LoadFromBytes(bytes));
    EXPECT_EQ(reader->Bitmap().Width(), 4200);
    EXPECT_EQ(reader->Bitmap().Height(), 4100);
    EXPECT_NEAR(GetRValue(reader->Bitmap().Pixel(4199, 4099)), 90, 2);
  }
}

// A scanned A4 page at 600 dpi, nearly blank, as a 1-bit PNG: fewer bytes
// than one for every 1,032 pixels, yet within what deflate gives for 1-bit
// pixels.
TEST(FileBacking, BlankOneBitPageStillLoads) {
  QImage page(4960, 7016, QImage::Format_Mono);
  page.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
  page.fill(1);
  page.setPixel(2480, 3508, 0);
  QByteArray file;
  QBuffer buffer(&file);
  ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
  ASSERT_TRUE(page.save(&buffer, "PNG", 0));
  ASSERT_LT(file.size(), 4960 * 7016 / MaxDeflateRatio);
  TPngImage reader;
  ASSERT_NO_THROW(
      reader.LoadFromBytes(TBytes(reinterpret_cast<const std::uint8_t*>(file.constData()), size_t(file.size()))));
  EXPECT_EQ(reader.Bitmap().Width(), 4960);
  EXPECT_EQ(reader.Bitmap().Pixel(2480, 3508), clBlack);
  EXPECT_EQ(reader.Bitmap().Pixel(0, 0), clWhite);
}

// A codec that only checks the size it is given, to hold the rule itself
// against its edges: the pixels a file of n bytes may claim, the codec's
// pixel limit, and the unbacked area that a reader bounds by itself.
class TSizeProbe : public TGraphic {
 public:
  const char* FormatName() const override { return "probe"; }
  std::int64_t width = 1, height = 1;
  bool canvas = false;

 protected:
  void ReadBytes(TBytes) override {
    if (canvas)
      CheckCanvasSize(width, height);
    else
      CheckPictureSize(width, height);
    m_bitmap = TBitmap(1, 1, pf24bit);
  }
};

TEST(FileBacking, RuleHoldsAtItsEdges) {
  const std::int64_t side = 8192;  // 64 M pixels
  const std::int64_t backing = (side * side + MaxDeflateRatio - 1) / MaxDeflateRatio;
  struct {
    const char* name;
    std::int64_t width, height, fileBytes, pixelLimit;
    bool canvas, loads;
  } cases[] = {
      {"up to UnbackedPixels any file", 4096, 4096, 1, MaxPicturePixels, false, true},
      {"one pixel more needs its share", 4096 * 4096 + 1, 1, 1, MaxPicturePixels, false, false},
      {"exactly backed", side, side, backing, MaxPicturePixels, false, true},
      {"a byte short", side, side, backing - 1, MaxPicturePixels, false, false},
      {"an unbacked canvas is left to its reader", side, side, 1, MaxPicturePixels, true, true},
      {"the codec's pixel limit", 100, 100, 100000, 9999, false, false},
      {"the pixel limit binds a canvas too", 100, 100, 100000, 9999, true, false},
      {"within the pixel limit", 100, 100, 1, 10000, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TSizeProbe probe;
    probe.width = c.width;
    probe.height = c.height;
    probe.canvas = c.canvas;
    probe.Options.PixelLimit = c.pixelLimit;
    const TByteBuffer bytes(std::size_t(c.fileBytes), 0);
    bool loaded = true;
    try {
      probe.LoadFromBytes(bytes);
    } catch (const EImageError& e) {
      loaded = false;
      EXPECT_EQ(std::string(e.what()).rfind("probe: ", 0), 0u) << e.what();
    }
    EXPECT_EQ(loaded, c.loads);
  }
  // Outside a load nothing tells the file's size: only the limits hold, and
  // a finished load leaves no limit behind.
  EXPECT_NO_THROW(CheckPictureSize(side, side));
  EXPECT_THROW(CheckPictureSize(MaxPictureSide + 1, 1), EImageError);
}

// A load nested in another (a picture inside a file) keeps the outer pixel
// limit, and the outer load its own once the inner one is over.
TEST(FileBacking, NestedLoadsKeepTheSmallerLimit) {
  class TOuter : public TGraphic {
   public:
    const char* FormatName() const override { return "outer"; }
    TSizeProbe inner;
    bool innerLoaded = false;

   protected:
    void ReadBytes(TBytes data) override {
      try {
        inner.LoadFromBytes(data);
        innerLoaded = true;
      } catch (const EImageError&) {
        innerLoaded = false;
      }
      CheckPictureSize(100, 100);
      m_bitmap = TBitmap(1, 1, pf24bit);
    }
  };
  TOuter outer;
  outer.Options.PixelLimit = 5000;
  outer.inner.width = outer.inner.height = 80;  // 6,400 pixels: above the outer limit
  const TByteBuffer bytes(16, 0);
  EXPECT_THROW(outer.LoadFromBytes(bytes), EImageError);
  EXPECT_FALSE(outer.innerLoaded);
  outer.Options.PixelLimit = 10000;
  EXPECT_NO_THROW(outer.LoadFromBytes(bytes));
  EXPECT_TRUE(outer.innerLoaded);
  outer.inner.Options.PixelLimit = 6000;  // the inner limit binds only the inner load
  EXPECT_NO_THROW(outer.LoadFromBytes(bytes));
  EXPECT_FALSE(outer.innerLoaded);
}

}  // namespace
