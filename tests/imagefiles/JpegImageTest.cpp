#include <gtest/gtest.h>
#include <unistd.h>

#include "imagefiles/JpegImage.h"

// jpeglib.h needs FILE and size_t declared first.
// clang-format off
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "TestBitmaps.h"
#include "imagefiles/PictureFiles.h"

using namespace testing_bitmaps;

namespace {

// Smooth colour ramps: what a JPEG keeps well.
TBitmap Gradient(int w, int h) {
  TBitmap b(w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.SetPixel(x, y, RGBColor(x * 255 / w, y * 255 / h, (x + y) * 255 / (w + h)));
  return b;
}

// Ramps plus deterministic noise: costly to encode, so quality shows in size.
TBitmap Noisy(int w, int h) {
  TBitmap b = Gradient(w, h);
  std::uint32_t seed = 12345;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int n = int(seed >> 27) - 16;
      const TColor c = b.Pixel(x, y);
      b.SetPixel(x, y,
                 RGBColor(std::clamp(GetRValue(c) + n, 0, 255), std::clamp(GetGValue(c) - n, 0, 255),
                          std::clamp(GetBValue(c) + n / 2, 0, 255)));
    }
  return b;
}

TByteBuffer Encode(const TBitmap& picture, int quality = 90, bool progressive = false) {
  TJpegImage jpeg;
  jpeg.Bitmap().Assign(&picture);
  jpeg.Options.JpegQuality = quality;
  jpeg.Options.JpegProgressive = progressive;
  TByteBuffer out;
  jpeg.SaveToBytes(out);
  return out;
}

bool HasMarker(const TByteBuffer& file, std::uint8_t marker) {
  for (size_t i = 0; i + 1 < file.size(); ++i)
    if (file[i] == 0xFF && file[i + 1] == marker) return true;
  return false;
}

// The largest difference of one colour channel over the whole picture.
int MaxChannelError(const TBitmap& a, const TBitmap& b) {
  int worst = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) {
      const TColor p = a.Pixel(x, y), q = b.Pixel(x, y);
      worst = std::max({worst, std::abs(GetRValue(p) - GetRValue(q)), std::abs(GetGValue(p) - GetGValue(q)),
                        std::abs(GetBValue(p) - GetBValue(q))});
    }
  return worst;
}

// A file made by libjpeg directly, for colour spaces our writer does not
// produce. samples: width x height x components, row by row.
// adobeMarker: false leaves out the marker libjpeg writes for CMYK files.
TByteBuffer LibjpegFile(int width, int height, J_COLOR_SPACE space, int components,
                        const std::vector<std::uint8_t>& samples, bool adobeMarker = true) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = JDIMENSION(width);
  cinfo.image_height = JDIMENSION(height);
  cinfo.input_components = components;
  cinfo.in_color_space = space;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 95, TRUE);
  if (!adobeMarker) cinfo.write_Adobe_marker = FALSE;
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<std::uint8_t> row;
  for (int y = 0; y < height; ++y) {
    row.assign(samples.begin() + std::ptrdiff_t(y * width * components),
               samples.begin() + std::ptrdiff_t((y + 1) * width * components));
    JSAMPROW p = row.data();
    jpeg_write_scanlines(&cinfo, &p, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  TByteBuffer out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

// Decodes with libjpeg directly into red, green, blue samples, row by row.
std::vector<std::uint8_t> LibjpegRgb(const TByteBuffer& file, int& width, int& height) {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  width = int(cinfo.output_width);
  height = int(cinfo.output_height);
  std::vector<std::uint8_t> samples(size_t(width) * size_t(height) * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = samples.data() + size_t(cinfo.output_scanline) * size_t(width) * 3;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return samples;
}

// 16 x 8 samples: the left 8 columns hold one pixel value, the right 8 another.
constexpr int HalvesWidth = 16, HalvesHeight = 8;
std::vector<std::uint8_t> Halves(const std::vector<std::uint8_t>& left, const std::vector<std::uint8_t>& right) {
  std::vector<std::uint8_t> samples;
  for (int y = 0; y < HalvesHeight; ++y)
    for (int x = 0; x < HalvesWidth; ++x) {
      const std::vector<std::uint8_t>& p = x < HalvesWidth / 2 ? left : right;
      samples.insert(samples.end(), p.begin(), p.end());
    }
  return samples;
}

// The largest channel difference from the expected colour over the middle of
// each half (the columns next to the edge between them blend).
int HalvesError(const TBitmap& b, TColor left, TColor right) {
  int worst = 0;
  for (int y = 0; y < HalvesHeight; ++y)
    for (int x : {0, 1, 2, 3, 4, 11, 12, 13, 14, 15}) {
      const TColor p = b.Pixel(x, y), q = x < HalvesWidth / 2 ? left : right;
      worst = std::max({worst, std::abs(GetRValue(p) - GetRValue(q)), std::abs(GetGValue(p) - GetGValue(q)),
                        std::abs(GetBValue(p) - GetBValue(q))});
    }
  return worst;
}

TJpegImage Decode(const TByteBuffer& bytes, int scale = 0) {
  TJpegImage jpeg;
  jpeg.Options.JpegScale = scale;
  jpeg.LoadFromBytes(bytes);
  return jpeg;
}

std::string ScratchPath(const char* stem) {
  static int counter = 0;
  return (std::filesystem::path(::testing::TempDir()) /
          (std::string(stem) + "_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + ".jpg"))
      .string();
}

// The file with an APP1 segment of EXIF data put right after its start: a
// first directory holding a resolution unit, then the orientation entry
// (`tiffTail` replaces everything after the TIFF header when given).
TByteBuffer WithExif(const TByteBuffer& jpeg, int orientation, bool bigEndian,
                     const std::vector<std::uint8_t>* tiffTail = nullptr) {
  std::vector<std::uint8_t> exif = {'E', 'x', 'i', 'f', 0, 0};
  const auto put16 = [&](unsigned v) {
    const std::uint8_t hi = std::uint8_t(v >> 8), lo = std::uint8_t(v);
    exif.insert(exif.end(), bigEndian ? std::initializer_list<std::uint8_t>{hi, lo} : std::initializer_list{lo, hi});
  };
  const auto put32 = [&](std::uint32_t v) {
    put16(bigEndian ? v >> 16 : v & 0xFFFF);
    put16(bigEndian ? v & 0xFFFF : v >> 16);
  };
  exif.insert(exif.end(), 2, std::uint8_t(bigEndian ? 'M' : 'I'));
  put16(42);
  if (tiffTail) {
    exif.insert(exif.end(), tiffTail->begin(), tiffTail->end());
  } else {
    put32(8);
    put16(2);
    put16(0x0128), put16(3), put32(1), put16(2), put16(0);
    put16(0x0112), put16(3), put32(1), put16(unsigned(orientation)), put16(0);
    put32(0);
  }
  TByteBuffer out = {0xFF, 0xD8, 0xFF, 0xE1, std::uint8_t((exif.size() + 2) >> 8), std::uint8_t(exif.size() + 2)};
  out.insert(out.end(), exif.begin(), exif.end());
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

// Six grey squares of 16 pixels in three columns and two rows, each level
// apart from the others: every turn and mirror of it is told apart.
constexpr int SquareSide = 16;
TBitmap Squares() {
  TBitmap b(3 * SquareSide, 2 * SquareSide, pf24bit);
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const int level = 20 + 40 * ((y / SquareSide) * 3 + x / SquareSide);
      b.SetPixel(x, y, RGBColor(level, level, level));
    }
  return b;
}

// Where the upright picture's pixel (x, y) lies in the stored one of w x h,
// for each EXIF orientation.
std::pair<int, int> StoredPixel(int orientation, int x, int y, int w, int h) {
  switch (orientation) {
    case 2: return {w - 1 - x, y};
    case 3: return {w - 1 - x, h - 1 - y};
    case 4: return {x, h - 1 - y};
    case 5: return {y, x};
    case 6: return {y, h - 1 - x};
    case 7: return {w - 1 - y, h - 1 - x};
    case 8: return {w - 1 - y, x};
    default: return {x, y};
  }
}

}  // namespace

TEST(JpegImage, RoundTripKeepsSizeAndColours) {
  const TBitmap picture = Gradient(61, 37);  // sides that are not whole blocks
  const TJpegImage jpeg = Decode(Encode(picture));
  EXPECT_EQ(jpeg.Bitmap().PixelFormat(), pf24bit);
  EXPECT_EQ(jpeg.Bitmap().Image().format(), QImage::Format_BGR888);
  ASSERT_EQ(jpeg.Bitmap().Width(), 61);
  ASSERT_EQ(jpeg.Bitmap().Height(), 37);
  EXPECT_LE(MaxChannelError(jpeg.Bitmap(), picture), 12);
  // Red and blue in their places (a swapped channel would be far off).
  const TBitmap red = Solid(16, 16, clRed);
  EXPECT_LE(MaxChannelError(Decode(Encode(red)).Bitmap(), red), 3);
}

TEST(JpegImage, OtherPixelFormatsAreEncodedAsColour) {
  const TBitmap picture = Gradient(20, 10);
  TBitmap argb = picture;
  argb.SetPixelFormat(pf32bit);
  EXPECT_EQ(Encode(argb), Encode(picture));  // the fourth byte plays no part

  TBitmap pal(8, 8, pf8bit);
  pal.SetPalette({qRgb(0, 0, 255), qRgb(255, 255, 0)});
  const TJpegImage jpeg = Decode(Encode(pal));
  EXPECT_EQ(jpeg.Bitmap().PixelFormat(), pf24bit);
  EXPECT_LE(MaxChannelError(jpeg.Bitmap(), Solid(8, 8, clBlue)), 3);
}

TEST(JpegImage, EmptyPictureIsNotWritten) {
  TJpegImage jpeg;
  TByteBuffer out;
  EXPECT_THROW(jpeg.SaveToBytes(out), EImageError);
  EXPECT_TRUE(out.empty());
}

TEST(JpegImage, LowerQualityGivesSmallerFiles) {
  const TBitmap picture = Noisy(96, 64);
  const TByteBuffer q90 = Encode(picture, 90), q30 = Encode(picture, 30);
  EXPECT_GT(q90.size(), q30.size());
  EXPECT_GT(Encode(picture, 100).size(), q90.size());
  const TJpegImage back = Decode(q30);
  EXPECT_EQ(back.Bitmap().Width(), 96);
  EXPECT_EQ(back.Bitmap().Height(), 64);
}

TEST(JpegImage, ProgressiveFileHasProgressiveFrameHeader) {
  const TBitmap picture = Gradient(40, 30);
  const TByteBuffer baseline = Encode(picture, 90, false), progressive = Encode(picture, 90, true);
  EXPECT_TRUE(HasMarker(baseline, 0xC0));
  EXPECT_FALSE(HasMarker(baseline, 0xC2));
  EXPECT_TRUE(HasMarker(progressive, 0xC2));
  EXPECT_FALSE(HasMarker(progressive, 0xC0));
  const TJpegImage back = Decode(progressive);
  EXPECT_EQ(back.Bitmap().Width(), 40);
  EXPECT_EQ(back.Bitmap().Height(), 30);
  EXPECT_LE(MaxChannelError(back.Bitmap(), picture), 12);
}

TEST(JpegImage, GreyFileGivesEightBitGreyRamp) {
  constexpr int W = 32, H = 8;
  std::vector<std::uint8_t> samples(W * H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) samples[size_t(y * W + x)] = std::uint8_t(x < 16 ? 0 : 255);
  const TJpegImage jpeg = Decode(LibjpegFile(W, H, JCS_GRAYSCALE, 1, samples));
  EXPECT_EQ(jpeg.Bitmap().PixelFormat(), pf8bit);
  EXPECT_EQ(jpeg.Bitmap().Image().format(), QImage::Format_Indexed8);
  const QList<QRgb> palette = jpeg.Bitmap().Palette();
  ASSERT_EQ(palette.size(), 236);
  EXPECT_EQ(palette.front(), qRgb(0, 0, 0));
  EXPECT_EQ(palette.back(), qRgb(255, 255, 255));
  for (int i = 1; i < palette.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(qRed(palette[i]), qGreen(palette[i]));
    EXPECT_EQ(qRed(palette[i]), qBlue(palette[i]));
    EXPECT_GT(qRed(palette[i]), qRed(palette[i - 1]));
  }
  EXPECT_EQ(jpeg.Bitmap().Pixel(2, 2), clBlack);
  EXPECT_EQ(jpeg.Bitmap().Pixel(W - 3, 2), clWhite);
}

TEST(JpegImage, ColourFilesFromLibjpegKeepEachChannelInPlace) {
  // Files written by libjpeg itself, with colours that change when any two
  // channels trade places: our decoder must not agree with our encoder on
  // a swap that no other program makes.
  const struct {
    const char* name;
    TByteBuffer file;
  } cases[] = {
      {"RGB", LibjpegFile(HalvesWidth, HalvesHeight, JCS_RGB, 3, Halves({255, 0, 0}, {0, 0, 255}))},
      // Adobe's CMYK stores the inks inverted (255 is no ink): cyan, then yellow.
      {"CMYK, Adobe marker",
       LibjpegFile(HalvesWidth, HalvesHeight, JCS_CMYK, 4, Halves({0, 255, 255, 255}, {255, 255, 0, 255}))},
      // Without the marker the samples are the inks themselves.
      {"CMYK, no Adobe marker",
       LibjpegFile(HalvesWidth, HalvesHeight, JCS_CMYK, 4, Halves({255, 0, 0, 0}, {0, 0, 255, 0}), false)},
  };
  const TColor cyan = RGBColor(0, 255, 255), yellow = RGBColor(255, 255, 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const bool cmyk = std::string(c.name) != "RGB";
    const bool marked = std::string(c.name) == "CMYK, Adobe marker";
    // The fixture is what it claims: the marker is there exactly when meant.
    EXPECT_EQ(HasMarker(c.file, 0xEE), marked);
    const TJpegImage jpeg = Decode(c.file);
    ASSERT_EQ(jpeg.Bitmap().PixelFormat(), pf24bit);
    ASSERT_EQ(jpeg.Bitmap().Width(), HalvesWidth);
    EXPECT_LE(HalvesError(jpeg.Bitmap(), cmyk ? cyan : clRed, cmyk ? yellow : clBlue), 4);
  }
}

TEST(JpegImage, EncoderWritesChannelsLibjpegReadsInPlace) {
  TBitmap picture = Solid(HalvesWidth, HalvesHeight, clRed);
  for (int y = 0; y < HalvesHeight; ++y)
    for (int x = HalvesWidth / 2; x < HalvesWidth; ++x) picture.SetPixel(x, y, clBlue);
  for (TPixelFormat format : {pf24bit, pf32bit}) {
    SCOPED_TRACE(format == pf24bit ? "24 bits" : "32 bits");
    TBitmap source = picture;
    source.SetPixelFormat(format);
    int w = 0, h = 0;
    const std::vector<std::uint8_t> rgb = LibjpegRgb(Encode(source), w, h);
    ASSERT_EQ(w, HalvesWidth);
    ASSERT_EQ(h, HalvesHeight);
    TBitmap decoded(w, h, pf24bit);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const std::uint8_t* p = &rgb[(size_t(y) * size_t(w) + size_t(x)) * 3];
        decoded.SetPixel(x, y, RGBColor(p[0], p[1], p[2]));
      }
    EXPECT_LE(HalvesError(decoded, clRed, clBlue), 4);
  }
}

TEST(JpegImage, ScaledDecodingSizes) {
  const TByteBuffer file = Encode(Gradient(100, 60));
  const struct {
    int scale, width, height;
  } cases[] = {{0, 100, 60}, {1, 50, 30}, {2, 25, 15}, {3, 13, 8}, {7, 13, 8}, {-1, 100, 60}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scale);
    const TJpegImage jpeg = Decode(file, c.scale);
    EXPECT_EQ(jpeg.Bitmap().Width(), c.width);
    EXPECT_EQ(jpeg.Bitmap().Height(), c.height);
  }
}

TEST(JpegImage, ReadJpegSizeWalksToTheBaselineFrameHeader) {
  const TByteBuffer baseline = Encode(Gradient(123, 45));
  const TByteBuffer progressive = Encode(Gradient(123, 45), 90, true);
  TByteBuffer appPastEnd = {0xFF, 0xD8, 0xFF, 0xE0, 0x40, 0x00, 'J', 'F', 'I', 'F'};
  // Cut inside the frame header, after the height: the height stays.
  TByteBuffer cutInFrame;
  for (size_t i = 0; i + 1 < baseline.size(); ++i)
    if (baseline[i] == 0xFF && baseline[i + 1] == 0xC0) {
      cutInFrame.assign(baseline.begin(), baseline.begin() + std::ptrdiff_t(i + 2 + 3 + 2 + 1));
      break;
    }
  ASSERT_FALSE(cutInFrame.empty());
  // Zero-length segments move the walk two bytes at a time, never back.
  TByteBuffer zeroLengths = {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x00, 0xFF, 0xE2, 0x00, 0x01, 0xFF};

  const struct {
    const char* name;
    TByteBuffer bytes;
    int width, height;
  } cases[] = {
      {"baseline", baseline, 123, 45},
      {"progressive", progressive, 0, 0},
      {"APP segment past the end", appPastEnd, 0, 0},
      {"cut in the frame header", cutInFrame, 0, 45},
      {"zero-length segments", zeroLengths, 0, 0},
      {"not a JPEG", {'G', 'I', 'F', '8'}, 0, 0},
      {"empty", {}, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    int w = -1, h = -1;
    ReadJpegSize(TBytes(c.bytes), w, h);
    EXPECT_EQ(w, c.width);
    EXPECT_EQ(h, c.height);

    const std::string path = ScratchPath("probe");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(c.bytes.data()), std::streamsize(c.bytes.size()));
    w = h = -1;
    ReadJpegSize(QString::fromStdString(path), w, h);
    EXPECT_EQ(w, c.width);
    EXPECT_EQ(h, c.height);
    std::remove(path.c_str());
  }
  int w = -1, h = -1;
  ReadJpegSize(QStringLiteral("/nonexistent/folder/none.jpg"), w, h);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 0);
}

TEST(JpegImage, JpegScaleFor) {
  const struct {
    int width, height, target, scale;
  } cases[] = {{3000, 2000, 150, 3}, {400, 250, 150, 1}, {299, 100, 150, 0}, {100, 300, 150, 1},
               {599, 10, 150, 1},    {600, 10, 150, 2},  {1199, 1, 150, 2},  {1200, 1, 150, 3},
               {0, 500, 150, 0},     {500, -1, 150, 0},  {500, 500, 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " target " << c.target);
    EXPECT_EQ(JpegScaleFor(c.width, c.height, c.target), c.scale);
  }
}

TEST(JpegImage, CorruptDataRaisesImageError) {
  const TByteBuffer good = Encode(Gradient(32, 32));
  // A Huffman table whose code counts claim more than 256 symbols.
  TByteBuffer badHuffman = good;
  for (size_t i = 0; i + 5 < badHuffman.size(); ++i)
    if (badHuffman[i] == 0xFF && badHuffman[i + 1] == 0xC4) {
      for (size_t k = 0; k < 16; ++k) badHuffman[i + 5 + k] = 0xFF;
      break;
    }
  // The frame header claims zero lines.
  TByteBuffer noLines = good;
  for (size_t i = 0; i + 8 < noLines.size(); ++i)
    if (noLines[i] == 0xFF && noLines[i + 1] == 0xC0) {
      noLines[i + 5] = 0;
      noLines[i + 6] = 0;
      break;
    }
  const struct {
    const char* name;
    TByteBuffer bytes;
  } cases[] = {
      {"empty", {}},
      {"start of image only", {0xFF, 0xD8}},
      {"not a JPEG", {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0}},
      {"garbage after the start", {0xFF, 0xD8, 0x12, 0x34, 0x56, 0x78, 0x9A}},
      {"cut before the pixels", TByteBuffer(good.begin(), good.begin() + 100)},
      {"bad Huffman table", badHuffman},
      {"no lines", noLines},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TJpegImage jpeg;
    jpeg.LoadFromBytes(good);
    ASSERT_FALSE(jpeg.Bitmap().Empty());
    const TBitmap before = jpeg.Bitmap();
    EXPECT_THROW(jpeg.LoadFromBytes(c.bytes), EImageError);
    EXPECT_TRUE(SamePixels(jpeg.Bitmap(), before));  // a failed read leaves the picture as it was
  }
}

TEST(JpegImage, TruncatedPixelDataStillShowsWhatWasDecoded) {
  const TBitmap picture = Gradient(64, 64);
  const TByteBuffer good = Encode(picture);
  const TByteBuffer cut(good.begin(), good.begin() + std::ptrdiff_t(good.size() * 3 / 4));
  const TJpegImage jpeg = Decode(cut);
  ASSERT_EQ(jpeg.Bitmap().Width(), 64);
  TBitmap top(64, 8, pf24bit), decodedTop(64, 8, pf24bit);
  top.Draw(0, 0, picture);
  decodedTop.Draw(0, 0, jpeg.Bitmap());
  EXPECT_LE(MaxChannelError(decodedTop, top), 12);
}

TEST(JpegImage, PixelLimitIsCheckedBeforeDecoding) {
  const TByteBuffer file = Encode(Gradient(10, 10));
  TJpegImage jpeg;
  jpeg.Options.PixelLimit = 99;
  EXPECT_THROW(jpeg.LoadFromBytes(file), EImageError);
  jpeg.Options.PixelLimit = 100;
  jpeg.LoadFromBytes(file);
  EXPECT_EQ(jpeg.Bitmap().Width(), 10);
  EXPECT_EQ(jpeg.Bitmap().Height(), 10);
}

// A photograph from a phone opens upright: the eight EXIF orientations, in
// both byte orders, at full size and at the reduced scale of the thumbnails
// (through the thumbnail loader's own decode), each pixel in the middle of a
// square checked against where the turn or mirror puts it.
TEST(JpegImage, ExifOrientationTurnsThePictureUpright) {
  const TBitmap stored = Squares();
  const TByteBuffer plain = Encode(stored, 95);
  for (int orientation = 1; orientation <= 8; ++orientation)
    for (int scale : {0, 1}) {
      SCOPED_TRACE(testing::Message() << "orientation " << orientation << ", scale " << scale);
      const TByteBuffer file = WithExif(plain, orientation, orientation % 2 == 1);
      TBitmap upright;
      if (scale == 0) {
        upright = Decode(file).Bitmap();
      } else {
        const std::string path = ScratchPath("oriented");
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
        ASSERT_TRUE(DecodePictureFile(QString::fromStdString(path), upright, scale));
        std::remove(path.c_str());
      }
      const int w = stored.Width() >> scale, h = stored.Height() >> scale, side = SquareSide >> scale;
      const bool swapped = orientation >= 5;
      ASSERT_EQ(upright.Width(), swapped ? h : w);
      ASSERT_EQ(upright.Height(), swapped ? w : h);
      int probeWidth = -1, probeHeight = -1;
      ReadJpegSize(TBytes(file), probeWidth, probeHeight);
      EXPECT_EQ(probeWidth, swapped ? stored.Height() : stored.Width());
      EXPECT_EQ(probeHeight, swapped ? stored.Width() : stored.Height());
      for (int y = side / 2; y < upright.Height(); y += side)
        for (int x = side / 2; x < upright.Width(); x += side) {
          const auto [sx, sy] = StoredPixel(orientation, x, y, w, h);
          const int expected = GetRValue(stored.Pixel(sx << scale, sy << scale));
          EXPECT_NEAR(GetRValue(upright.Pixel(x, y)), expected, 6) << "at " << x << ", " << y;
        }
    }
}

// EXIF data that cannot be followed is ignored, never read past its end.
TEST(JpegImage, UnreadableExifLeavesThePictureAsStored) {
  const TBitmap stored = Squares();
  const TByteBuffer plain = Encode(stored, 95);
  const struct {
    const char* name;
    std::vector<std::uint8_t> tail;  // after the byte order and 42
  } cases[] = {
      {"directory past the end", {0, 0, 0xFF, 0xF0}},
      {"more entries than bytes", {0, 0, 0, 8, 0xFF, 0xFF, 0x01, 0x12, 0, 3}},
      {"orientation as a LONG", {0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 4, 0, 0, 0, 1, 0, 0, 0, 6}},
      {"orientation out of range", {0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 9, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::uint8_t>* tail = &c.tail;
    const TByteBuffer file = WithExif(plain, 0, true, tail);
    const TBitmap decoded = Decode(file).Bitmap();
    EXPECT_EQ(decoded.Width(), stored.Width());
    EXPECT_EQ(decoded.Height(), stored.Height());
    EXPECT_LE(MaxChannelError(decoded, stored), 8);
  }
}

// An orientation entry that is not one SHORT is not the standard's and is
// ignored: each case patches the type or the count of the entry that would
// turn the picture (6, a quarter turn), in both byte orders; the value stays
// where a SHORT's would be.
TEST(JpegImage, OrientationEntryOfAnotherTypeOrCountIsIgnored) {
  const TBitmap stored = Squares();
  const TByteBuffer plain = Encode(stored, 95);
  const struct {
    const char* name;
    std::size_t offset;  // in the entry: 2 the type, 4 the count
    std::uint32_t value;
  } patches[] = {
      {"LONG", 2, 4}, {"SSHORT", 2, 8}, {"BYTE", 2, 1}, {"count 0", 4, 0}, {"count 2", 4, 2},
  };
  for (bool bigEndian : {false, true})
    for (const auto& p : patches) {
      SCOPED_TRACE(testing::Message() << p.name << (bigEndian ? ", big-endian" : ", little-endian"));
      TByteBuffer file = WithExif(plain, 6, bigEndian);
      const std::uint8_t tag[2] = {std::uint8_t(bigEndian ? 0x01 : 0x12), std::uint8_t(bigEndian ? 0x12 : 0x01)};
      const auto entry = std::search(file.begin(), file.end(), std::begin(tag), std::end(tag));
      ASSERT_NE(entry, file.end());
      const std::size_t at = std::size_t(entry - file.begin()) + p.offset, size = p.offset == 2 ? 2 : 4;
      for (std::size_t i = 0; i < size; ++i)
        file[at + i] = std::uint8_t(p.value >> (8 * (bigEndian ? size - 1 - i : i)));
      const TBitmap decoded = Decode(file).Bitmap();
      EXPECT_EQ(decoded.Width(), stored.Width());
      EXPECT_EQ(decoded.Height(), stored.Height());
      EXPECT_LE(MaxChannelError(decoded, stored), 8);
      int probeWidth = -1, probeHeight = -1;
      ReadJpegSize(TBytes(file), probeWidth, probeHeight);
      EXPECT_EQ(probeWidth, stored.Width());
    }
}

// The deep-zoom tiles of a thread share one encoder: each picture must come
// out as the whole-picture save writes it, whatever the encoder did before,
// a picture whose output failed included.
TEST(JpegEncoder, OneEncoderGivesEveryPictureTheSaveBytes) {
  struct TCase {
    int Width, Height, Quality;
    bool Progressive;
  };
  const TCase cases[] = {{40, 30, 90, true}, {17, 9, 50, false}, {64, 48, 75, true}, {33, 65, 95, false}};
  const auto encode = [](TJpegEncoder& encoder, const TBitmap& picture, const TCase& c) {
    TByteBuffer out;
    encoder.Start(c.Width, c.Height, c.Quality, c.Progressive,
                  [&out](const std::uint8_t* data, size_t size) { out.insert(out.end(), data, data + size); });
    encoder.Write(picture);
    encoder.Finish();
    return out;
  };
  TJpegEncoder shared;
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Width << " x " << c.Height << ", quality " << c.Quality
                                    << (c.Progressive ? ", progressive" : ""));
    const TBitmap picture = Noisy(c.Width, c.Height);
    const TByteBuffer saved = Encode(picture, c.Quality, c.Progressive);
    EXPECT_EQ(encode(shared, picture, c), saved);

    shared.Start(c.Width, c.Height, c.Quality, c.Progressive,
                 [](const std::uint8_t*, size_t) { throw EImageError("disk full"); });
    try {
      shared.Write(picture);
      shared.Finish();
      ADD_FAILURE() << "a failed output went unnoticed";
    } catch (const EImageError& e) {
      EXPECT_STREQ(e.what(), "disk full");
    }
    EXPECT_EQ(encode(shared, picture, c), saved);
  }
}
