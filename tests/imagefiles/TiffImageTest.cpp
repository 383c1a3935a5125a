#include <gtest/gtest.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "TestBitmaps.h"
#include "imagefiles/TiffImage.h"

using namespace testing_bitmaps;

namespace {

std::uint32_t LE16(const TByteBuffer& b, size_t at) {
  return std::uint32_t(b.at(at)) | std::uint32_t(b.at(at + 1)) << 8;
}
std::uint32_t LE32(const TByteBuffer& b, size_t at) { return LE16(b, at) | LE16(b, at + 2) << 16; }

struct TEntry {
  std::uint32_t tag, type, count, value;
};

std::vector<TEntry> ReadEntries(const TByteBuffer& file) {
  const std::uint32_t ifd = LE32(file, 4);
  const std::uint32_t n = LE16(file, ifd);
  std::vector<TEntry> entries;
  for (std::uint32_t i = 0; i < n; ++i) {
    const size_t at = ifd + 2 + 12 * i;
    entries.push_back({LE16(file, at), LE16(file, at + 2), LE32(file, at + 4), LE32(file, at + 8)});
  }
  return entries;
}

// A scratch file name, unique for this process and call.
std::string ScratchPath(const char* stem) {
  static int counter = 0;
  return (std::filesystem::path(::testing::TempDir()) /
          (std::string(stem) + "_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + ".tif"))
      .string();
}

TByteBuffer ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return TByteBuffer(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& path, const TByteBuffer& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// What a test file made by libtiff itself holds.
struct TTiffSpec {
  std::uint32_t width = 2, height = 2;
  std::uint16_t samplesPerPixel = 3, bitsPerSample = 8, photometric = PHOTOMETRIC_RGB;
  std::uint16_t extraSamples = 0;  // 1: one alpha sample, of alphaKind
  std::uint16_t alphaKind = EXTRASAMPLE_UNASSALPHA;
  std::uint16_t orientation = 0;  // 0: no Orientation tag
  std::uint16_t compression = COMPRESSION_NONE;
  std::uint16_t sampleFormat = 0;  // 0: no SampleFormat tag (unsigned integers)
  bool bigEndian = false;
  std::uint32_t rowsPerStrip = 0;       // 0: one strip
  std::uint32_t tileSide = 0;           // 0: strips; else square tiles of this side
  std::vector<std::uint16_t> colorMap;  // reds, greens, blues for palette files
  std::vector<std::uint8_t> rows;       // packed rows in file order
};

TByteBuffer MakeTiff(const TTiffSpec& spec) {
  const std::string path = ScratchPath("made");
  TIFF* tif = TIFFOpen(path.c_str(), spec.bigEndian ? "wb" : "wl");
  EXPECT_NE(tif, nullptr);
  if (!tif) return {};
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, spec.width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, spec.height);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spec.samplesPerPixel);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, spec.bitsPerSample);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, spec.photometric);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, spec.compression);
  if (spec.compression == COMPRESSION_JPEG) TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 100);
  if (spec.tileSide) {
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, spec.tileSide);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, spec.tileSide);
  } else {
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, spec.rowsPerStrip ? spec.rowsPerStrip : spec.height);
  }
  if (spec.extraSamples) {
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, std::uint16_t(1), &spec.alphaKind);
  }
  if (spec.orientation) TIFFSetField(tif, TIFFTAG_ORIENTATION, spec.orientation);
  if (spec.sampleFormat) TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, spec.sampleFormat);
  if (!spec.colorMap.empty()) {
    const size_t n = spec.colorMap.size() / 3;
    TIFFSetField(tif, TIFFTAG_COLORMAP, spec.colorMap.data(), spec.colorMap.data() + n, spec.colorMap.data() + 2 * n);
  }
  const size_t rowBytes = spec.rows.size() / spec.height;
  if (spec.tileSide) {
    // Whole-byte pixels; the tiles' parts past the picture stay zero.
    const size_t pixelBytes = rowBytes / spec.width, side = spec.tileSide;
    for (std::uint32_t ty = 0; ty < spec.height; ty += spec.tileSide)
      for (std::uint32_t tx = 0; tx < spec.width; tx += spec.tileSide) {
        std::vector<std::uint8_t> tile(side * side * pixelBytes, 0);
        for (std::uint32_t y = ty; y < std::min(spec.height, ty + spec.tileSide); ++y) {
          const size_t count = (std::min(spec.width, tx + spec.tileSide) - tx) * pixelBytes;
          std::copy_n(spec.rows.begin() + std::ptrdiff_t(y * rowBytes + tx * pixelBytes), count,
                      tile.begin() + std::ptrdiff_t((y - ty) * side * pixelBytes));
        }
        EXPECT_GE(TIFFWriteTile(tif, tile.data(), tx, ty, 0, 0), 0);
      }
    TIFFClose(tif);
    TByteBuffer bytes = ReadWholeFile(path);
    std::remove(path.c_str());
    return bytes;
  }
  for (std::uint32_t y = 0; y < spec.height; ++y) {
    std::vector<std::uint8_t> row(spec.rows.begin() + std::ptrdiff_t(y * rowBytes),
                                  spec.rows.begin() + std::ptrdiff_t((y + 1) * rowBytes));
    EXPECT_EQ(TIFFWriteScanline(tif, row.data(), y, 0), 1);
  }
  TIFFClose(tif);
  TByteBuffer bytes = ReadWholeFile(path);
  std::remove(path.c_str());
  return bytes;
}

TTiffImage Load(const TByteBuffer& bytes) {
  TTiffImage image;
  image.LoadFromBytes(bytes);
  return image;
}

}  // namespace

// ---- Writer layout ----

struct TLayoutCase {
  int width, height;
  std::uint32_t ifdAt, fileSize;
  bool padded;
};

class TiffLayout : public ::testing::TestWithParam<TLayoutCase> {};

TEST_P(TiffLayout, HeaderValuesPixelsAndFifteenEntries) {
  const TLayoutCase c = GetParam();
  const TBitmap picture = Numbered(c.width, c.height);
  TByteBuffer file;
  WriteTiff(file, picture, TiffResolutionFraction(72.0));

  ASSERT_EQ(file.size(), c.fileSize);
  EXPECT_EQ(file[0], 'I');
  EXPECT_EQ(file[1], 'I');
  EXPECT_EQ(LE16(file, 2), 42u);
  EXPECT_EQ(LE32(file, 4), c.ifdAt);
  EXPECT_EQ(LE32(file, 8), 72u);  // XResolution
  EXPECT_EQ(LE32(file, 12), 1u);
  EXPECT_EQ(LE32(file, 16), 72u);  // YResolution
  EXPECT_EQ(LE32(file, 20), 1u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(LE16(file, 24 + 2 * size_t(i)), 8u);
  EXPECT_EQ(std::memcmp(file.data() + 30, "Brindlemark\0", 12), 0);

  // Rows top to bottom, red, green, blue, no padding between rows.
  size_t at = 42;
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x, at += 3) {
      SCOPED_TRACE(testing::Message() << "pixel " << x << "," << y);
      const TColor px = Distinct(x, y);
      EXPECT_EQ(file[at], GetRValue(px));
      EXPECT_EQ(file[at + 1], GetGValue(px));
      EXPECT_EQ(file[at + 2], GetBValue(px));
    }
  if (c.padded) {
    EXPECT_EQ(file[at++], 0);
  }
  EXPECT_EQ(at, c.ifdAt);

  const std::uint32_t w = std::uint32_t(c.width), h = std::uint32_t(c.height);
  const std::vector<TEntry> expected = {
      {254, 4, 1, 0}, {256, 3, 1, w},  {257, 3, 1, h}, {258, 3, 3, 24}, {259, 3, 1, 1},
      {262, 3, 1, 2}, {273, 4, 1, 42}, {277, 3, 1, 3}, {278, 4, 1, h},  {279, 4, 1, w * 3 * h},
      {282, 5, 1, 8}, {283, 5, 1, 16}, {284, 3, 1, 1}, {296, 3, 1, 2},  {305, 2, 12, 30},
  };
  const std::vector<TEntry> entries = ReadEntries(file);
  ASSERT_EQ(entries.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "entry " << i << " tag " << expected[i].tag);
    EXPECT_EQ(entries[i].tag, expected[i].tag);
    EXPECT_EQ(entries[i].type, expected[i].type);
    EXPECT_EQ(entries[i].count, expected[i].count);
    EXPECT_EQ(entries[i].value, expected[i].value);
  }
  EXPECT_EQ(LE32(file, c.ifdAt + 2 + 15 * 12), 0u);  // no further IFD
}

INSTANTIATE_TEST_SUITE_P(TiffImage, TiffLayout,
                         ::testing::Values(TLayoutCase{3, 3, 70, 256, true}, TLayoutCase{2, 2, 54, 240, false},
                                           TLayoutCase{5, 1, 58, 244, true}));

TEST(TiffImage, SaveToBytesAppendsAndUsesTheResolutionSetting) {
  TTiffImage tiff;
  tiff.Bitmap().Assign(nullptr);
  const TBitmap picture = Numbered(2, 2);
  tiff.Bitmap().Assign(&picture);
  tiff.Options.Resolution = 96.0;
  TByteBuffer out = {0xAA, 0xBB};
  tiff.SaveToBytes(out);
  ASSERT_EQ(out.size(), 242u);
  EXPECT_EQ(out[0], 0xAA);  // what was in the buffer stays in front
  TByteBuffer file(out.begin() + 2, out.end());
  EXPECT_EQ(LE32(file, 4), 54u);  // offsets count from the file's own start
  EXPECT_EQ(LE32(file, 8), 96u);
  EXPECT_EQ(LE32(file, 16), 96u);
}

TEST(TiffImage, ResolutionFraction) {
  struct {
    double dpi;
    std::uint32_t num, den;
  } cases[] = {{72.0, 72, 1}, {300.0004, 300, 1}, {72.5, 72500, 1000}, {0.25, 250, 1000}, {-5, 0, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dpi);
    const TTiffRational r = TiffResolutionFraction(c.dpi);
    EXPECT_EQ(r.Numerator, c.num);
    EXPECT_EQ(r.Denominator, c.den);
  }
}

TEST(TiffImage, ThirtyTwoBitPicturesLoseTheirFourthByte) {
  const TBitmap rgb = Numbered(3, 2);
  TBitmap argb = rgb;
  argb.SetPixelFormat(pf32bit);
  argb.ScanLine(0)[3] = 7;  // alpha plays no part
  TByteBuffer a, b;
  WriteTiff(a, rgb);
  WriteTiff(b, argb);
  EXPECT_EQ(a, b);
}

TEST(TiffImage, PalettePicturesAreWrittenAsRgb) {
  TBitmap pal(2, 1, pf8bit);
  pal.SetPalette({qRgb(10, 20, 30), qRgb(200, 100, 50)});
  pal.MutableImage().setPixel(1, 0, 1);
  TByteBuffer file;
  WriteTiff(file, pal);
  ASSERT_EQ(file.size(), 42u + 6u + 186u);
  const std::uint8_t pixels[6] = {10, 20, 30, 200, 100, 50};
  EXPECT_EQ(std::memcmp(file.data() + 42, pixels, 6), 0);
}

TEST(TiffImage, EmptyPictureIsNotWritten) {
  TByteBuffer file;
  EXPECT_THROW(WriteTiff(file, TBitmap()), EImageError);
  EXPECT_TRUE(file.empty());
}

TEST(TiffImage, WideSideIsStoredAsLongAndLibtiffReadsIt) {
  constexpr int W = 70000;
  TBitmap wide(W, 1, pf24bit);
  for (int x : {0, 1, 65535, 65536, W - 1}) wide.SetPixel(x, 0, RGBColor(x & 0xFF, (x >> 8) & 0xFF, 99));
  TByteBuffer file;
  WriteTiff(file, wide);
  const std::vector<TEntry> entries = ReadEntries(file);
  ASSERT_EQ(entries.size(), 15u);
  EXPECT_EQ(entries[1].tag, 256u);
  EXPECT_EQ(entries[1].type, 4u);  // LONG
  EXPECT_EQ(entries[1].value, std::uint32_t(W));
  EXPECT_EQ(entries[2].type, 3u);  // the height still fits a SHORT
  EXPECT_EQ(entries[9].value, std::uint32_t(W * 3));

  const std::string path = ScratchPath("wide");
  WriteWholeFile(path, file);
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  ASSERT_NE(tif, nullptr);
  std::uint32_t width = 0, height = 0;
  EXPECT_EQ(TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width), 1);
  EXPECT_EQ(TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height), 1);
  EXPECT_EQ(width, std::uint32_t(W));
  EXPECT_EQ(height, 1u);
  std::vector<std::uint8_t> row(size_t(TIFFScanlineSize(tif)));
  ASSERT_EQ(row.size(), size_t(W) * 3);
  ASSERT_EQ(TIFFReadScanline(tif, row.data(), 0, 0), 1);
  for (int x : {0, 1, 65535, 65536, W - 1}) {
    SCOPED_TRACE(x);
    EXPECT_EQ(row[size_t(x) * 3], x & 0xFF);
    EXPECT_EQ(row[size_t(x) * 3 + 1], (x >> 8) & 0xFF);
    EXPECT_EQ(row[size_t(x) * 3 + 2], 99);
  }
  TIFFClose(tif);
  std::remove(path.c_str());
}

// ---- Reader ----

TEST(TiffImage, OwnFileReadsBackAsTwentyFourBits) {
  const TBitmap picture = Numbered(5, 3);
  TByteBuffer file;
  WriteTiff(file, picture);
  const TTiffImage tiff = Load(file);
  EXPECT_EQ(tiff.Bitmap().PixelFormat(), pf24bit);
  EXPECT_TRUE(SamePixels(tiff.Bitmap(), picture));
  EXPECT_EQ(tiff.SourceFormat, pf24bit);
  EXPECT_EQ(tiff.SourceOrientation, 1);  // no Orientation tag
}

TEST(TiffImage, OpaqueAlphaGivesTwentyFourBits) {
  TTiffSpec spec;
  spec.samplesPerPixel = 4;
  spec.extraSamples = 1;
  spec.rows = {10, 20, 30, 255, 40, 50, 60, 255, 70, 80, 90, 255, 1, 2, 3, 255};
  const TTiffImage tiff = Load(MakeTiff(spec));
  EXPECT_EQ(tiff.Bitmap().PixelFormat(), pf24bit);
  EXPECT_EQ(tiff.SourceFormat, pf24bit);
  EXPECT_EQ(tiff.Bitmap().Pixel(0, 0), RGBColor(10, 20, 30));
  EXPECT_EQ(tiff.Bitmap().Pixel(1, 1), RGBColor(1, 2, 3));
}

TEST(TiffImage, OneTranslucentPixelKeepsThirtyTwoBits) {
  TTiffSpec spec;
  spec.samplesPerPixel = 4;
  spec.extraSamples = 1;
  spec.rows = {10, 20, 30, 255, 40, 50, 60, 255, 70, 80, 90, 255, 200, 150, 100, 254};
  const TTiffImage tiff = Load(MakeTiff(spec));
  EXPECT_EQ(tiff.Bitmap().PixelFormat(), pf32bit);
  EXPECT_EQ(tiff.Bitmap().Image().format(), QImage::Format_ARGB32);
  EXPECT_EQ(tiff.SourceFormat, pf32bit);
  const std::uint8_t* top = tiff.Bitmap().ScanLine(0);
  const std::uint8_t first[4] = {30, 20, 10, 255};  // blue, green, red, alpha
  EXPECT_EQ(std::memcmp(top, first, 4), 0);
  const std::uint8_t* bottom = tiff.Bitmap().ScanLine(1);
  EXPECT_EQ(bottom[4 + 3], 254);
  EXPECT_NEAR(bottom[4 + 2], 200, 1);  // straight, within the rounding of the library's premultiplying
}

struct TSourceCase {
  const char* name;
  std::uint16_t samplesPerPixel, bitsPerSample, photometric;
  std::vector<std::uint8_t> rows;  // 2 x 2 pixels
  TPixelFormat expected;
  std::array<TColor, 4> pixels;  // row by row
};

class TiffSourceFormat : public ::testing::TestWithParam<TSourceCase> {};

TEST_P(TiffSourceFormat, LoadsAsTwentyFourBitsAndRemembersTheStoredFormat) {
  const TSourceCase& c = GetParam();
  TTiffSpec spec;
  spec.samplesPerPixel = c.samplesPerPixel;
  spec.bitsPerSample = c.bitsPerSample;
  spec.photometric = c.photometric;
  spec.rows = c.rows;
  const TTiffImage tiff = Load(MakeTiff(spec));
  EXPECT_EQ(tiff.Bitmap().PixelFormat(), pf24bit);
  EXPECT_EQ(tiff.SourceFormat, c.expected);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Hex(tiff.Bitmap().Pixel(i % 2, i / 2)), Hex(c.pixels[size_t(i)])) << i;
}

INSTANTIATE_TEST_SUITE_P(
    TiffImage, TiffSourceFormat,
    ::testing::Values(
        // 1 bit, MinIsBlack: rows 0b10, 0b01 (one byte each).
        TSourceCase{
            "Bilevel", 1, 1, PHOTOMETRIC_MINISBLACK, {0x80, 0x40}, pf1bit, {clWhite, clBlack, clBlack, clWhite}},
        // 4 bits, rows 15, 5 and 0, 10: levels of 255 / 15 = 17.
        TSourceCase{"Grey4",
                    1,
                    4,
                    PHOTOMETRIC_MINISBLACK,
                    {0xF5, 0x0A},
                    pf4bit,
                    {clWhite, RGBColor(85, 85, 85), clBlack, RGBColor(170, 170, 170)}},
        TSourceCase{"Grey8",
                    1,
                    8,
                    PHOTOMETRIC_MINISBLACK,
                    {0, 128, 64, 255},
                    pf8bit,
                    {clBlack, RGBColor(128, 128, 128), RGBColor(64, 64, 64), clWhite}},
        // 16 bits a sample, native byte order: the high byte is what shows.
        TSourceCase{"Rgb16",
                    3,
                    16,
                    PHOTOMETRIC_RGB,
                    {0x00, 0x10, 0x00, 0x20, 0x00, 0x30, 0,    0,    0,    0,    0,    0,  // top row
                     0,    0,    0,    0,    0,    0,    0xFF, 0xFF, 0x00, 0x80, 0x00, 0x01},
                    pf24bit,
                    {RGBColor(0x10, 0x20, 0x30), clBlack, clBlack, RGBColor(0xFF, 0x80, 0x01)}}),
    [](const ::testing::TestParamInfo<TSourceCase>& info) { return std::string(info.param.name); });

TEST(TiffImage, OneBitPaletteKeepsItsColours) {
  TTiffSpec spec;
  spec.samplesPerPixel = 1;
  spec.bitsPerSample = 1;
  spec.photometric = PHOTOMETRIC_PALETTE;
  spec.colorMap = {0xFFFF, 0x0000, /*greens*/ 0x0000, 0x0000, /*blues*/ 0x0000, 0xFFFF};  // red, blue
  spec.rows = {0x40, 0x80};
  const TTiffImage tiff = Load(MakeTiff(spec));
  EXPECT_EQ(tiff.SourceFormat, pf1bit);
  EXPECT_EQ(tiff.Bitmap().Pixel(0, 0), clRed);
  EXPECT_EQ(tiff.Bitmap().Pixel(1, 0), clBlue);
  EXPECT_EQ(tiff.Bitmap().Pixel(0, 1), clBlue);
}

TEST(TiffImage, OrientationIsRecordedAndRowsArriveUpright) {
  TTiffSpec spec;
  spec.orientation = ORIENTATION_BOTLEFT;  // the first stored row is the bottom one
  spec.rows = {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4};
  const TTiffImage tiff = Load(MakeTiff(spec));
  EXPECT_EQ(tiff.SourceOrientation, ORIENTATION_BOTLEFT);
  EXPECT_EQ(tiff.Bitmap().Pixel(0, 0), RGBColor(3, 3, 3));
  EXPECT_EQ(tiff.Bitmap().Pixel(1, 1), RGBColor(2, 2, 2));
}

TEST(TiffImage, DamagedStripDoesNotStopTheReader) {
  TTiffSpec spec;
  spec.width = 2;
  spec.height = 3;
  spec.rowsPerStrip = 1;
  spec.rows = {1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3};
  TByteBuffer file = MakeTiff(spec);
  // The strip offsets are 8, 14 and 20 (libtiff writes the strips first);
  // the second one is sent far past the end of the file.
  const TByteBuffer offsets = {8, 0, 0, 0, 14, 0, 0, 0, 20, 0, 0, 0};
  const auto at = std::search(file.begin(), file.end(), offsets.begin(), offsets.end());
  ASSERT_NE(at, file.end());
  at[4 + 2] = 0xFF;
  const TTiffImage tiff = Load(file);
  ASSERT_EQ(tiff.Bitmap().Width(), 2);
  ASSERT_EQ(tiff.Bitmap().Height(), 3);
  EXPECT_EQ(tiff.Bitmap().Pixel(1, 0), RGBColor(1, 1, 1));
  EXPECT_EQ(tiff.Bitmap().Pixel(1, 2), RGBColor(3, 3, 3));
}

// Tiles that do not fill a multiple of 1024 bytes, as ImageMagick writes them
// (16 or 112 pixels a side), and right-hand tiles reaching past the picture:
// libtiff's RGBA reader refused the first when uncompressed ("Invalid tile
// byte count") and shifted the rows of the second for grey pixels of 16
// bits or with alpha. A 40 x 24 picture in tiles of 16 reads as the same
// samples in strips do.
TEST(TiffImage, TiledPicturesReadAsTheirStripsDo) {
  struct {
    const char* name;
    std::uint16_t samplesPerPixel, bitsPerSample, photometric, extraSamples, compression;
  } cases[] = {
      {"16-bit grey", 1, 16, PHOTOMETRIC_MINISBLACK, 0, COMPRESSION_NONE},
      {"16-bit grey, deflated", 1, 16, PHOTOMETRIC_MINISBLACK, 0, COMPRESSION_ADOBE_DEFLATE},
      {"16-bit grey and alpha", 2, 16, PHOTOMETRIC_MINISBLACK, 1, COMPRESSION_NONE},
      {"8-bit grey and alpha, deflated", 2, 8, PHOTOMETRIC_MINISBLACK, 1, COMPRESSION_ADOBE_DEFLATE},
      {"8-bit grey", 1, 8, PHOTOMETRIC_MINISBLACK, 0, COMPRESSION_NONE},
      {"16-bit RGB", 3, 16, PHOTOMETRIC_RGB, 0, COMPRESSION_NONE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TTiffSpec spec;
    spec.width = 40, spec.height = 24;
    spec.samplesPerPixel = c.samplesPerPixel;
    spec.bitsPerSample = c.bitsPerSample;
    spec.photometric = c.photometric;
    spec.extraSamples = c.extraSamples;
    spec.compression = c.compression;
    // Every sample its own level (alpha opaque), so that a misplaced one shows.
    for (std::uint32_t y = 0; y < spec.height; ++y)
      for (std::uint32_t x = 0; x < spec.width; ++x)
        for (std::uint16_t k = 0; k < c.samplesPerPixel; ++k) {
          const bool alpha = c.extraSamples && k == c.samplesPerPixel - 1;
          const std::uint16_t v = alpha ? 0xFFFF : std::uint16_t((x * 1531 + y * 997 + k * 20000) * 7);
          if (c.bitsPerSample == 16) {
            spec.rows.push_back(std::uint8_t(v));
            spec.rows.push_back(std::uint8_t(v >> 8));
          } else {
            spec.rows.push_back(std::uint8_t(v >> 8));
          }
        }
    const TTiffImage strips = Load(MakeTiff(spec));
    ASSERT_EQ(strips.Bitmap().Width(), 40);
    EXPECT_NE(strips.Bitmap().Pixel(39, 23), strips.Bitmap().Pixel(38, 22));
    spec.tileSide = 16;
    TTiffImage tiles;
    EXPECT_NO_THROW(tiles.LoadFromBytes(MakeTiff(spec)));
    EXPECT_TRUE(SamePixels(tiles.Bitmap(), strips.Bitmap()));
  }
}

TEST(TiffImage, MalformedInputRaisesImageErrorAndKeepsLastFormat) {
  TByteBuffer good;
  WriteTiff(good, Numbered(3, 3));
  TByteBuffer badIfd = good;  // the IFD offset points past the end
  badIfd[4] = 0xFF;
  badIfd[5] = 0xFF;
  TByteBuffer noSize = good;  // ImageWidth renamed to an unknown tag
  noSize[LE32(good, 4) + 2 + 12] = 0x01;
  noSize[LE32(good, 4) + 2 + 13] = 0x90;
  TByteBuffer tooWide;
  WriteTiff(tooWide, TBitmap(70000, 1, pf24bit));
  TByteBuffer notConvertible = good;  // Compression 259 := 12345, which no codec handles
  notConvertible[LE32(good, 4) + 2 + 4 * 12 + 8] = 0x39;
  notConvertible[LE32(good, 4) + 2 + 4 * 12 + 9] = 0x30;

  const struct {
    const char* name;
    TByteBuffer bytes;
  } cases[] = {
      {"empty", {}},
      {"header only", {'I', 'I', 42, 0}},
      {"not a TIFF", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0}},
      {"truncated", TByteBuffer(good.begin(), good.begin() + 20)},
      {"IFD past the end", badIfd},
      {"no width", noSize},
      {"wider than any picture we accept", tooWide},
      {"unknown compression", notConvertible},
  };
  (void)Load(good);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TTiffImage tiff;
    tiff.Bitmap().Assign(nullptr);
    EXPECT_THROW(tiff.LoadFromBytes(c.bytes), EImageError);
    EXPECT_TRUE(tiff.Bitmap().Empty());
    EXPECT_EQ(tiff.SourceFormat, pfDevice);
  }
}

TEST(TiffImage, PixelLimitIsCheckedBeforeDecoding) {
  TByteBuffer file;
  WriteTiff(file, Numbered(10, 10));
  TTiffImage tiff;
  tiff.Options.PixelLimit = 99;
  EXPECT_THROW(tiff.LoadFromBytes(file), EImageError);
  tiff.Options.PixelLimit = 100;
  tiff.LoadFromBytes(file);
  EXPECT_TRUE(SamePixels(tiff.Bitmap(), Numbered(10, 10)));
}

TEST(TiffImage, IsTiffFile) {
  const struct {
    const char* name;
    bool tiff;
  } cases[] = {{"a.tif", true},       {"/x/y/B.TIFF", true}, {"scan.Fax", true},  {"a.tf8", false},
               {"a.tiff.bak", false}, {"tif", false},        {"dir.tif/a", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IsTiffFile(QString::fromUtf8(c.name)), c.tiff);
  }
}

// ---- What other programs write ----

// Bytes of 16-bit samples in the order libtiff takes them from us (native).
std::vector<std::uint8_t> Samples16(std::initializer_list<std::uint16_t> values) {
  std::vector<std::uint8_t> bytes;
  for (std::uint16_t v : values) {
    bytes.resize(bytes.size() + 2);
    std::memcpy(bytes.data() + bytes.size() - 2, &v, 2);
  }
  return bytes;
}

struct TOrientationCase {
  std::uint16_t orientation;
  bool sampleReader;               // 32-bit samples, which take the reader's other path
  std::vector<std::string> shown;  // rows from the top, a letter a pixel
};
std::ostream& operator<<(std::ostream& os, const TOrientationCase& c) {
  return os << c.orientation << (c.sampleReader ? " (32-bit samples)" : "");
}

class TiffOrientation : public ::testing::TestWithParam<TOrientationCase> {};

// Stored as two rows "ABC" and "DEF"; shown as every other reader shows it:
// 2 to 4 mirror the picture, 5 to 8 transpose it, so its sides swap.
TEST_P(TiffOrientation, ShowsThePictureAsOtherReadersDo) {
  const TOrientationCase& c = GetParam();
  const auto colour = [](char letter) { return RGBColor((letter - 'A') * 40 + 10, 200 - (letter - 'A') * 30, 77); };
  TTiffSpec spec;
  spec.width = 3;
  spec.height = 2;
  spec.orientation = c.orientation;
  spec.bitsPerSample = c.sampleReader ? 32 : 8;
  for (char letter : std::string("ABCDEF")) {
    const TColor px = colour(letter);
    for (int v : {GetRValue(px), GetGValue(px), GetBValue(px)}) {
      if (c.sampleReader) {
        const std::uint32_t wide = std::uint32_t(v) * 0x01010101u;  // exactly v once scaled to 8 bits
        const auto* b = reinterpret_cast<const std::uint8_t*>(&wide);
        spec.rows.insert(spec.rows.end(), b, b + 4);
      } else {
        spec.rows.push_back(std::uint8_t(v));
      }
    }
  }
  const TByteBuffer file = MakeTiff(spec);
  const TTiffImage tiff = Load(file);
  EXPECT_EQ(tiff.SourceOrientation, c.orientation);
  const TBitmap& shown = tiff.Bitmap();
  ASSERT_EQ(shown.Height(), int(c.shown.size()));
  ASSERT_EQ(shown.Width(), int(c.shown[0].size()));
  // The quick header read tells the size the picture is shown at.
  TPictureHeader header;
  ASSERT_TRUE(TTiffImage().ReadHeader(file, header));
  EXPECT_EQ(header.Width, shown.Width());
  EXPECT_EQ(header.Height, shown.Height());
  for (int y = 0; y < shown.Height(); ++y)
    for (int x = 0; x < shown.Width(); ++x)
      EXPECT_EQ(Hex(shown.Pixel(x, y)), Hex(colour(c.shown[std::size_t(y)][std::size_t(x)]))) << x << "," << y;
}

std::vector<TOrientationCase> OrientationCases() {
  const std::vector<std::vector<std::string>> shown = {
      {"ABC", "DEF"},     {"CBA", "FED"},     {"FED", "CBA"},     {"DEF", "ABC"},
      {"AD", "BE", "CF"}, {"DA", "EB", "FC"}, {"FC", "EB", "DA"}, {"CF", "BE", "AD"},
  };
  std::vector<TOrientationCase> cases;
  for (bool sampleReader : {false, true})
    for (std::uint16_t o = 1; o <= 8; ++o) cases.push_back({o, sampleReader, shown[o - 1]});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(TiffImage, TiffOrientation, ::testing::ValuesIn(OrientationCases()),
                         [](const ::testing::TestParamInfo<TOrientationCase>& info) {
                           return std::to_string(info.param.orientation) +
                                  (info.param.sampleReader ? "SampleReader" : "RgbaReader");
                         });

// CMYK files: inks of 16 bits (either byte order) and JPEG-compressed strips
// of 8 bits, each turned into red, green and blue as (1 - C)(1 - K) and so on.
TEST(TiffImage, ReadsCmykOfSixteenBitsAndInJpegStrips) {
  struct {
    const char* name;
    TTiffSpec spec;
    int tolerance;
  } cases[3];
  // White, cyan, black at half strength, red.
  const std::array<TColor, 4> shown = {clWhite, RGBColor(0, 255, 255), RGBColor(128, 128, 128), clRed};
  TTiffSpec inks16;
  inks16.samplesPerPixel = 4;
  inks16.bitsPerSample = 16;
  inks16.photometric = PHOTOMETRIC_SEPARATED;
  inks16.rows = Samples16({0, 0, 0, 0, 65535, 0, 0, 0, 0, 0, 0, 32639, 0, 65535, 65535, 0});
  cases[0] = {"16 bits, little-endian", inks16, 0};
  cases[1] = {"16 bits, big-endian", inks16, 0};
  cases[1].spec.bigEndian = true;
  // 16 x 16 in four flat quarters, so that JPEG keeps each colour.
  TTiffSpec jpeg;
  jpeg.width = jpeg.height = 16;
  jpeg.samplesPerPixel = 4;
  jpeg.photometric = PHOTOMETRIC_SEPARATED;
  jpeg.compression = COMPRESSION_JPEG;
  const std::uint8_t quarters[4][4] = {{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 0, 0, 127}, {0, 255, 255, 0}};
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const std::uint8_t* q = quarters[(y / 8) * 2 + x / 8];
      jpeg.rows.insert(jpeg.rows.end(), q, q + 4);
    }
  cases[2] = {"JPEG strips", jpeg, 4};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TByteBuffer file = MakeTiff(c.spec);
    ASSERT_FALSE(file.empty());
    TTiffImage tiff;
    ASSERT_NO_THROW(tiff.LoadFromBytes(file));
    EXPECT_EQ(tiff.Bitmap().PixelFormat(), pf24bit);
    const int step = int(c.spec.width) / 2;
    for (int i = 0; i < 4; ++i) {
      const TColor got = tiff.Bitmap().Pixel((i % 2) * step + step / 2, (i / 2) * step + step / 2);
      const TColor want = shown[std::size_t(i)];
      EXPECT_NEAR(GetRValue(got), GetRValue(want), c.tolerance + 1) << i;
      EXPECT_NEAR(GetGValue(got), GetGValue(want), c.tolerance + 1) << i;
      EXPECT_NEAR(GetBValue(got), GetBValue(want), c.tolerance + 1) << i;
    }
  }
}

// Associated alpha stores colours multiplied by their alpha; the picture holds
// them straight, so that dropping the alpha later does not darken them.
TEST(TiffImage, AlphaColoursArriveStraight) {
  struct {
    const char* name;
    std::uint16_t kind;
    std::vector<std::uint8_t> stored;  // one pixel: red, green, blue, alpha
    std::array<int, 4> straight;       // red, green, blue, alpha
  } cases[] = {
      {"associated, half", EXTRASAMPLE_ASSOCALPHA, {100, 50, 25, 128}, {199, 100, 50, 128}},
      {"associated, a quarter", EXTRASAMPLE_ASSOCALPHA, {60, 0, 30, 64}, {239, 0, 120, 64}},
      {"associated, invisible", EXTRASAMPLE_ASSOCALPHA, {0, 0, 0, 0}, {0, 0, 0, 0}},
      {"unassociated, half", EXTRASAMPLE_UNASSALPHA, {200, 100, 50, 128}, {200, 100, 50, 128}},
      {"unassociated, a quarter", EXTRASAMPLE_UNASSALPHA, {240, 0, 120, 64}, {240, 0, 120, 64}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TTiffSpec spec;
    spec.width = 2;
    spec.height = 1;
    spec.samplesPerPixel = 4;
    spec.extraSamples = 1;
    spec.alphaKind = c.kind;
    spec.rows = c.stored;
    spec.rows.insert(spec.rows.end(), {9, 9, 9, 255});  // and an opaque pixel
    const TTiffImage tiff = Load(MakeTiff(spec));
    ASSERT_EQ(tiff.Bitmap().PixelFormat(), pf32bit);
    const std::uint8_t* p = tiff.Bitmap().ScanLine(0);
    EXPECT_NEAR(p[2], c.straight[0], 2);
    EXPECT_NEAR(p[1], c.straight[1], 2);
    EXPECT_NEAR(p[0], c.straight[2], 2);
    EXPECT_EQ(p[3], c.straight[3]);
    EXPECT_EQ(Hex(tiff.Bitmap().Pixel(1, 0)), Hex(RGBColor(9, 9, 9)));
  }
}

// Bytes of samples of any type, in native order as libtiff takes them.
template <class T>
std::vector<std::uint8_t> SamplesOf(std::initializer_list<T> values) {
  std::vector<std::uint8_t> bytes(values.size() * sizeof(T));
  std::memcpy(bytes.data(), values.begin(), bytes.size());
  return bytes;
}

// Samples whose numbers are not levels of 0..2^n-1: signed integers scale by
// their signed range, floating point maps 0..1 to black..white, clamped, and
// L*a*b* (stored three ways) becomes the sRGB colour it names. A 16-bit
// two-level picture labelled signed stays black and white. The Lab samples
// are the known L*a*b* of sRGB white, red, mid grey and teal (D65), so each
// must come back within the rounding of its 8 or 16-bit storage.
TEST(TiffImage, ReadsSignedFloatingAndLabSamples) {
  const TColor grey = RGBColor(128, 128, 128);
  const std::array<TColor, 4> labShown = {clWhite, clRed, grey, RGBColor(0, 128, 128)};
  struct TKind {
    std::uint16_t samplesPerPixel, bitsPerSample, photometric, sampleFormat;
  };
  constexpr std::uint16_t Grey = PHOTOMETRIC_MINISBLACK, Signed = SAMPLEFORMAT_INT, Real = SAMPLEFORMAT_IEEEFP;
  struct {
    const char* name;
    TKind kind;
    std::vector<std::uint8_t> rows;  // 2 x 2 pixels
    std::array<TColor, 4> shown;
    int tolerance;
  } cases[] = {
      {"16-bit signed grey",
       {1, 16, Grey, Signed},
       SamplesOf<std::int16_t>({-32768, 32767, 0, -1}),
       {clBlack, clWhite, grey, RGBColor(127, 127, 127)},
       0},
      // Labelled signed, but 0 and 65535 as a two-level picture writes them.
      {"16-bit grey, two levels",
       {1, 16, Grey, Signed},
       Samples16({0, 65535, 65535, 0}),
       {clBlack, clWhite, clWhite, clBlack},
       0},
      // 0, 1, 0.5 and 2 as 16-bit floating point.
      {"16-bit float grey",
       {1, 16, Grey, Real},
       Samples16({0x0000, 0x3C00, 0x3800, 0x4000}),
       {clBlack, clWhite, grey, clWhite},
       0},
      {"32-bit float grey",
       {1, 32, Grey, Real},
       SamplesOf<float>({-0.25f, 2.0f, 0.5f, 0.25f}),
       {clBlack, clWhite, grey, RGBColor(64, 64, 64)},
       0},
      {"32-bit float RGB",
       {3, 32, PHOTOMETRIC_RGB, Real},
       SamplesOf<float>({1, 0.5f, 0, 0, 0, 1, 0.2f, 0.4f, 0.6f, 1, 1, 1}),
       {RGBColor(255, 128, 0), clBlue, RGBColor(51, 102, 153), clWhite},
       0},
      {"64-bit float grey",
       {1, 64, Grey, Real},
       SamplesOf<double>({0.0, 1.0, 0.75, 0.1}),
       {clBlack, clWhite, RGBColor(191, 191, 191), RGBColor(26, 26, 26)},
       0},
      // L* over 0..255, a* and b* signed.
      {"CIELab, 8 bits",
       {3, 8, PHOTOMETRIC_CIELAB, 0},
       {255, 0, 0, 136, 80, 67, 137, 0, 0, 123, 227, 248},
       labShown,
       3},
      // a* and b* moved up by 128.
      {"ICCLab, 8 bits",
       {3, 8, PHOTOMETRIC_ICCLAB, 0},
       {255, 128, 128, 136, 208, 195, 137, 128, 128, 123, 99, 120},
       labShown,
       3},
      // a* -85..85 and b* -75..125 over 0..255.
      {"ITULab, 8 bits",
       {3, 8, PHOTOMETRIC_ITULAB, 0},
       {255, 128, 96, 136, 248, 181, 137, 128, 96, 123, 84, 85},
       labShown,
       3},
      // L* over 0..65535, a* and b* signed in 1/256ths.
      {"CIELab, 16 bits",
       {3, 16, PHOTOMETRIC_CIELAB, 0},
       Samples16({65535, 0, 0, 34891, 20503, 17203, 35117, 0, 0, 31623, 58151, 63365}),
       labShown,
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TTiffSpec spec;
    spec.samplesPerPixel = c.kind.samplesPerPixel;
    spec.bitsPerSample = c.kind.bitsPerSample;
    spec.photometric = c.kind.photometric;
    spec.sampleFormat = c.kind.sampleFormat;
    spec.rows = c.rows;
    TTiffImage tiff;
    ASSERT_NO_THROW(tiff.LoadFromBytes(MakeTiff(spec)));
    for (int i = 0; i < 4; ++i) {
      SCOPED_TRACE(i);
      const TColor got = tiff.Bitmap().Pixel(i % 2, i / 2), want = c.shown[std::size_t(i)];
      EXPECT_NEAR(GetRValue(got), GetRValue(want), c.tolerance) << Hex(got);
      EXPECT_NEAR(GetGValue(got), GetGValue(want), c.tolerance) << Hex(got);
      EXPECT_NEAR(GetBValue(got), GetBValue(want), c.tolerance) << Hex(got);
    }
  }
}

// A 16-bit floating-point sample whose exponent is 0 is subnormal: its value
// is fraction x 2^-24, with no implicit leading 1 (that would make 0x0001
// worth 1025 x 2^-25). Mapped onto 0..255 such values are all black, so the
// value is checked before that step; the file of the same samples checks the
// step, against the smallest normal halves and a few brighter ones.
TEST(TiffImage, SubnormalHalfFloatSamplesKeepTheirValue) {
  const struct {
    std::uint16_t half;
    double value;
  } cases[] = {
      {0x0001, std::ldexp(1.0, -24)},
      {0x0002, std::ldexp(2.0, -24)},
      {0x0155, std::ldexp(341.0, -24)},
      {0x0200, std::ldexp(1.0, -15)},
      {0x03FF, std::ldexp(1023.0, -24)},
      {0x8001, -std::ldexp(1.0, -24)},
      {0x83FF, -std::ldexp(1023.0, -24)},
      {0x0000, 0.0},
      {0x0400, std::ldexp(1.0, -14)},
      {0x0401, std::ldexp(1025.0, -24)},
      {0x2C00, 0.0625},
      {0x3A00, 0.75},
  };
  TTiffSpec spec;
  spec.width = std::uint32_t(std::size(cases)), spec.height = 1;
  spec.samplesPerPixel = 1, spec.bitsPerSample = 16, spec.photometric = PHOTOMETRIC_MINISBLACK;
  spec.sampleFormat = SAMPLEFORMAT_IEEEFP;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "0x" << std::hex << c.half);
    EXPECT_EQ(HalfFloatValue(c.half), c.value);
    spec.rows.push_back(std::uint8_t(c.half));
    spec.rows.push_back(std::uint8_t(c.half >> 8));
  }
  TTiffImage tiff;
  ASSERT_NO_THROW(tiff.LoadFromBytes(MakeTiff(spec)));
  for (std::size_t x = 0; x < std::size(cases); ++x) {
    SCOPED_TRACE(x);
    const long level = std::lround(std::clamp(cases[x].value, 0.0, 1.0) * 255);
    EXPECT_EQ(tiff.Bitmap().Pixel(int(x), 0), RGBColor(int(level), int(level), int(level)));
  }
}
