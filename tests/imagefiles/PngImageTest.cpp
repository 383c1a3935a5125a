#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "TestBitmaps.h"
#include "TestFiles.h"
#include "imagefiles/PngImage.h"

using namespace testing_bitmaps;
using namespace testing_files;

namespace {

using Bytes = std::vector<std::uint8_t>;

void AddBe32(Bytes& b, std::uint32_t v) {
  for (int i = 3; i >= 0; --i) b.push_back(std::uint8_t(v >> (8 * i)));
}
std::uint32_t GetBe32(const Bytes& b, std::size_t at) {
  return (std::uint32_t(b[at]) << 24) | (std::uint32_t(b[at + 1]) << 16) | (std::uint32_t(b[at + 2]) << 8) | b[at + 3];
}

struct Chunk {
  std::string type;
  Bytes data;
};

Bytes ChunkBytes(const std::string& type, const Bytes& data) {
  Bytes out;
  AddBe32(out, std::uint32_t(data.size()));
  out.insert(out.end(), type.begin(), type.end());
  out.insert(out.end(), data.begin(), data.end());
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type.data()), 4);
  crc = crc32(crc, data.data(), uInt(data.size()));
  AddBe32(out, std::uint32_t(crc));
  return out;
}

// Splits a PNG file into its chunks; fails the test on a damaged layout.
std::vector<Chunk> ParseChunks(const Bytes& file) {
  std::vector<Chunk> chunks;
  const Bytes signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  EXPECT_TRUE(file.size() >= 8 && Bytes(file.begin(), file.begin() + 8) == signature);
  std::size_t pos = 8;
  while (pos + 12 <= file.size()) {
    const std::uint32_t length = GetBe32(file, pos);
    if (pos + 12 + length > file.size()) break;
    chunks.push_back({std::string(file.begin() + pos + 4, file.begin() + pos + 8),
                      Bytes(file.begin() + pos + 8, file.begin() + pos + 8 + length)});
    pos += 12 + length;
  }
  EXPECT_EQ(pos, file.size());
  return chunks;
}

Bytes Inflate(const Bytes& compressed, std::size_t expectedSize) {
  Bytes out(expectedSize + 1);
  uLongf size = uLongf(out.size());
  EXPECT_EQ(uncompress(out.data(), &size, compressed.data(), uLong(compressed.size())), Z_OK);
  out.resize(size);
  return out;
}

// A PNG file from its header fields and its unfiltered rows (filter byte 0
// is added); with `adam7`, `row(y)` gives whole rows of whole-byte pixels and
// the passes are cut out of them.
Bytes MakePng(std::uint32_t w, std::uint32_t h, int depth, int colorType, const std::function<Bytes(int)>& row,
              bool adam7 = false, const std::vector<Chunk>& beforeData = {}, const std::vector<Chunk>& afterData = {}) {
  Bytes raw;
  if (!adam7) {
    for (std::uint32_t y = 0; y < h; ++y) {
      raw.push_back(0);
      const Bytes r = row(int(y));
      raw.insert(raw.end(), r.begin(), r.end());
    }
  } else {
    const int x0[] = {0, 4, 0, 2, 0, 1, 0}, y0[] = {0, 0, 4, 0, 2, 0, 1};
    const int dx[] = {8, 8, 4, 4, 2, 2, 1}, dy[] = {8, 8, 8, 4, 4, 2, 2};
    const std::size_t px = row(0).size() / w;
    for (int pass = 0; pass < 7; ++pass) {
      if (x0[pass] >= int(w)) continue;
      for (int y = y0[pass]; y < int(h); y += dy[pass]) {
        raw.push_back(0);
        const Bytes r = row(y);
        for (int x = x0[pass]; x < int(w); x += dx[pass]) raw.insert(raw.end(), &r[x * px], &r[x * px] + px);
      }
    }
  }
  Bytes compressed(compressBound(uLong(raw.size())));
  uLongf size = uLongf(compressed.size());
  EXPECT_EQ(compress(compressed.data(), &size, raw.data(), uLong(raw.size())), Z_OK);
  compressed.resize(size);

  Bytes ihdr;
  AddBe32(ihdr, w);
  AddBe32(ihdr, h);
  ihdr.insert(ihdr.end(), {std::uint8_t(depth), std::uint8_t(colorType), 0, 0, std::uint8_t(adam7 ? 1 : 0)});
  Bytes file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  auto add = [&file](const std::string& type, const Bytes& data) {
    const Bytes c = ChunkBytes(type, data);
    file.insert(file.end(), c.begin(), c.end());
  };
  add("IHDR", ihdr);
  for (const Chunk& c : beforeData) add(c.type, c.data);
  add("IDAT", compressed);
  for (const Chunk& c : afterData) add(c.type, c.data);
  add("IEND", {});
  return file;
}

constexpr auto Load = LoadAs<TPngImage>;
constexpr auto Save = SaveAs<TPngImage>;

TBitmap Noise(int w, int h) {
  std::mt19937 random(7);
  TBitmap b(w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < 3 * w; ++x) b.ScanLine(y)[x] = std::uint8_t(random());
  return b;
}

}  // namespace

TEST(PngImage, RoundTripGivesTheSamePixels) {
  for (TPixelFormat pf : {pf24bit, pf32bit, pf8bit, pf1bit}) {
    SCOPED_TRACE(int(pf));
    TBitmap original = Numbered(37, 23);
    original.SetPixelFormat(pf);
    const TBitmap back = Load(Save(original));
    EXPECT_EQ(back.PixelFormat(), pf24bit);  // always written as RGB
    EXPECT_TRUE(SamePixels(back, original));
  }
}

TEST(PngImage, WritesOnlyHeaderResolutionDataAndEnd) {
  const TBitmap picture = Numbered(20, 10);
  const std::vector<Chunk> chunks = ParseChunks(Save(picture));
  ASSERT_EQ(chunks.size(), 4u);
  EXPECT_EQ(chunks[0].type, "IHDR");
  EXPECT_EQ(chunks[1].type, "pHYs");
  EXPECT_EQ(chunks[2].type, "IDAT");
  EXPECT_EQ(chunks[3].type, "IEND");
  const Bytes ihdr = {0, 0, 0, 20, 0, 0, 0, 10, 8, 2, 0, 0, 0};  // 8 bits, RGB, not interlaced
  EXPECT_EQ(chunks[0].data, ihdr);
  const Bytes phys = {0, 0, 0x0B, 0x12, 0, 0, 0x0B, 0x12, 1};  // 2834 pixels a metre both ways
  EXPECT_EQ(chunks[1].data, phys);
  // zlib level 7 shows as the highest compression level flag of the stream.
  ASSERT_GE(chunks[2].data.size(), 2u);
  EXPECT_EQ(chunks[2].data[1] >> 6, 3);
}

TEST(PngImage, ResolutionIsTruncatedToPixelsPerMetre) {
  TPngImage png;
  png.Bitmap() = Solid(1, 1, clRed);
  png.Options.Resolution = 300.0;  // 11811.02...
  Bytes out;
  png.SaveToBytes(out);
  const std::vector<Chunk> chunks = ParseChunks(out);
  ASSERT_GE(chunks.size(), 2u);
  ASSERT_EQ(chunks[1].type, "pHYs");
  EXPECT_EQ(GetBe32(chunks[1].data, 0), 11811u);
  EXPECT_EQ(GetBe32(chunks[1].data, 4), 11811u);
}

TEST(PngImage, LargePictureSplitsDataAndFiltersEveryRowWithSub) {
  const int w = 300, h = 200;
  const TBitmap picture = Noise(w, h);  // barely compressible: well over one chunk
  const std::vector<Chunk> chunks = ParseChunks(Save(picture));
  Bytes data;
  int dataChunks = 0;
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    if (chunks[i].type != "IDAT") continue;
    ++dataChunks;
    EXPECT_LE(chunks[i].data.size(), 65535u);
    EXPECT_EQ(chunks[i - 1].type, i == 2 ? "pHYs" : "IDAT");  // consecutive, after pHYs
    data.insert(data.end(), chunks[i].data.begin(), chunks[i].data.end());
  }
  EXPECT_GE(dataChunks, 2);
  EXPECT_EQ(chunks.back().type, "IEND");
  const Bytes raw = Inflate(data, std::size_t(h) * (1 + 3 * w));
  ASSERT_EQ(raw.size(), std::size_t(h) * (1 + 3 * w));
  for (int y = 0; y < h; ++y) EXPECT_EQ(raw[std::size_t(y) * (1 + 3 * w)], 1) << "row " << y;
  // Sub: each byte is the difference to the same channel of the pixel on its left.
  const std::uint8_t* row = raw.data() + 1;
  EXPECT_EQ(row[0], picture.Pixel(0, 0) & 0xFF);  // red of the first pixel as it is
  EXPECT_EQ(row[3], std::uint8_t(GetRValue(picture.Pixel(1, 0)) - GetRValue(picture.Pixel(0, 0))));
}

TEST(PngImage, PictureCompressedInManyPiecesReadsBack) {
  // Over a megabyte of image data: several pieces compressed side by side.
  const TBitmap picture = Noise(900, 500);
  TPngImage reader;
  reader.LoadFromBytes(Save(picture));
  EXPECT_TRUE(SamePixels(reader.Bitmap(), picture));
}

// The writer's stream (libdeflate by pieces, zlib where the history before a
// piece pays) against one plain zlib stream at the same level over the same
// Sub-filtered rows, as libpng would write it: the pixels come back and the
// file is never larger, whatever the picture. Each kind spans several pieces.
TEST(PngImage, WrittenFileReadsBackAndIsNoLargerThanPlainZlib) {
  const int w = 1000, h = 700;
  const auto fill = [](const std::function<TColor(int, int)>& colour) {
    TBitmap b(w, h, pf24bit);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) b.SetPixel(x, y, colour(x, y));
    return b;
  };
  std::mt19937 random(11);
  std::vector<TColor> stripes(w);
  for (TColor& c : stripes) c = TColor(random() & 0xFFFFFF);
  const struct {
    const char* name;
    TBitmap picture;
  } cases[] = {
      {"photograph-like", fill([&](int x, int y) {
         const int grain = int(random() % 7) - 3;
         const auto channel = [&](int v) { return std::clamp(v + grain, 0, 255); };
         return RGBColor(channel(128 + int(60 * std::sin(x / 37.0) * std::cos(y / 53.0))),
                         channel((x * 255 / w + y / 7) % 256), channel(200 - y * 150 / h));
       })},
      {"flat", fill([](int, int) { return RGBColor(12, 140, 230); })},
      {"horizontal ramp, rows alike", fill([](int x, int) { return RGBColor(x % 256, 255 - x % 256, x / 4); })},
      {"random stripes, rows alike", fill([&](int x, int) { return stripes[std::size_t(x)]; })},
      {"checkerboard", fill([](int x, int y) { return ((x / 5 + y / 5) % 2) ? clWhite : RGBColor(30, 60, 90); })},
      {"noise", Noise(w, h)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes file = Save(c.picture);
    EXPECT_TRUE(SamePixels(Load(file), c.picture));

    Bytes rows;
    for (int y = 0; y < h; ++y) {
      rows.push_back(1);
      for (int x = 0; x < w; ++x) {
        const TColor p = c.picture.Pixel(x, y), left = x ? c.picture.Pixel(x - 1, y) : 0;
        rows.push_back(std::uint8_t(GetRValue(p) - GetRValue(left)));
        rows.push_back(std::uint8_t(GetGValue(p) - GetGValue(left)));
        rows.push_back(std::uint8_t(GetBValue(p) - GetBValue(left)));
      }
    }
    Bytes plain(compressBound(uLong(rows.size())));
    uLongf plainSize = uLongf(plain.size());
    ASSERT_EQ(compress2(plain.data(), &plainSize, rows.data(), uLong(rows.size()), 7), Z_OK);
    std::size_t ours = 0;
    for (const Chunk& chunk : ParseChunks(file))
      if (chunk.type == "IDAT") ours += chunk.data.size();
    EXPECT_LE(ours, plainSize);
  }
}

TEST(PngImage, ReadsEveryColourType) {
  const auto rgba = [](int y) { return Bytes{std::uint8_t(10 * y), 20, 30, 40, 50, 60, 70, 255}; };
  struct Case {
    const char* name;
    Bytes file;
    TPixelFormat pf;
    TBitmap expected;
  };
  const Chunk plte{"PLTE", {255, 0, 0, 0, 255, 0, 0, 0, 255}};
  const TColor g85 = RGBColor(85, 85, 85), g170 = RGBColor(170, 170, 170);
  const Case cases[] = {
      {"palette 8",
       MakePng(3, 1, 8, 3,
               [](int) {
                 return Bytes{2, 0, 1};
               },
               false, {plte}),
       pf8bit, FromRows({{clBlue, clRed, clLime}})},
      {"palette 4",
       MakePng(3, 1, 4, 3,
               [](int) {
                 return Bytes{0x21, 0x00};
               },
               false, {plte}),
       pf4bit, FromRows({{clBlue, clLime, clRed}})},
      {"palette 2", MakePng(3, 1, 2, 3, [](int) { return Bytes{0x24}; }, false, {plte}), pf4bit,
       FromRows({{clRed, clBlue, clLime}})},
      {"palette 1",
       MakePng(9, 1, 1, 3,
               [](int) {
                 return Bytes{0x80, 0x80};
               },
               false, {{"PLTE", {0, 0, 0, 9, 9, 9}}}),
       pf1bit, FromRows({{RGBColor(9, 9, 9), 0, 0, 0, 0, 0, 0, 0, RGBColor(9, 9, 9)}})},
      {"index past the palette",
       MakePng(2, 1, 8, 3,
               [](int) {
                 return Bytes{1, 7};
               },
               false, {plte}),
       pf8bit, FromRows({{clLime, clBlack}})},
      {"grey 8",
       MakePng(2, 1, 8, 0,
               [](int) {
                 return Bytes{0, 200};
               }),
       pf8bit, FromRows({{clBlack, RGBColor(200, 200, 200)}})},
      {"grey 2", MakePng(4, 1, 2, 0, [](int) { return Bytes{0x1B}; }), pf8bit,
       FromRows({{clBlack, g85, g170, clWhite}})},
      {"grey 16",
       MakePng(2, 1, 16, 0,
               [](int) {
                 return Bytes{0xFF, 0xFF, 0x80, 0x80};
               }),
       pf8bit, FromRows({{clWhite, RGBColor(128, 128, 128)}})},
      {"grey with alpha",
       MakePng(1, 1, 8, 4,
               [](int) {
                 return Bytes{90, 128};
               }),
       pf32bit, FromRows({{RGBColor(90, 90, 90)}})},
      {"RGB 8", MakePng(2, 1, 8, 2, [](int) { return Bytes{1, 2, 3, 4, 5, 6}; }), pf24bit,
       FromRows({{RGBColor(1, 2, 3), RGBColor(4, 5, 6)}})},
      {"RGB 16", MakePng(1, 1, 16, 2, [](int) { return Bytes{0xFF, 0xFF, 0x00, 0x00, 0x80, 0x80}; }), pf24bit,
       FromRows({{RGBColor(255, 0, 128)}})},
      {"RGBA", MakePng(2, 2, 8, 6, rgba), pf32bit,
       FromRows({{RGBColor(0, 20, 30), RGBColor(50, 60, 70)}, {RGBColor(10, 20, 30), RGBColor(50, 60, 70)}})},
      {"RGBA interlaced", MakePng(2, 2, 8, 6, rgba, true), pf32bit,
       FromRows({{RGBColor(0, 20, 30), RGBColor(50, 60, 70)}, {RGBColor(10, 20, 30), RGBColor(50, 60, 70)}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TBitmap b = Load(c.file);
    EXPECT_EQ(b.PixelFormat(), c.pf);
    EXPECT_TRUE(SamePixels(b, c.expected));
  }
}

TEST(PngImage, AlphaIsKeptUnpremultiplied) {
  const TBitmap b = Load(MakePng(1, 1, 8, 6, [](int) { return Bytes{200, 100, 50, 64}; }));
  ASSERT_EQ(b.PixelFormat(), pf32bit);
  const std::uint8_t* p = b.ScanLine(0);
  EXPECT_EQ(p[0], 50);  // blue, green, red, alpha in memory
  EXPECT_EQ(p[1], 100);
  EXPECT_EQ(p[2], 200);
  EXPECT_EQ(p[3], 64);

  const Chunk plte{"PLTE", {255, 0, 0, 0, 255, 0}};
  const Chunk trns{"tRNS", {0}};
  const TBitmap pal = Load(MakePng(2, 1, 8, 3, [](int) { return Bytes{0, 1}; }, false, {plte, trns}));
  ASSERT_EQ(pal.Palette().size(), 2);
  EXPECT_EQ(qAlpha(pal.Palette()[0]), 0);
  EXPECT_EQ(qAlpha(pal.Palette()[1]), 255);
}

TEST(PngImage, InterlacedFileMatchesItsPlainTwin) {
  const TBitmap source = Numbered(13, 11);
  const auto row = [&source](int y) {
    Bytes r;
    for (int x = 0; x < source.Width(); ++x) {
      const TColor c = source.Pixel(x, y);
      r.insert(r.end(), {std::uint8_t(GetRValue(c)), std::uint8_t(GetGValue(c)), std::uint8_t(GetBValue(c))});
    }
    return r;
  };
  const TBitmap plain = Load(MakePng(13, 11, 8, 2, row));
  const TBitmap interlaced = Load(MakePng(13, 11, 8, 2, row, true));
  EXPECT_TRUE(SamePixels(plain, source));
  EXPECT_TRUE(SamePixels(interlaced, source));
}

TEST(PngImage, DamagedOrOversizedFilesFail) {
  const auto rgbRow = [](int) { return Bytes(6, 9); };
  const Bytes good = MakePng(2, 2, 8, 2, rgbRow);
  Bytes badCrc = good;
  badCrc[29] ^= 1;  // the IHDR checksum
  Bytes cut = good;
  cut.resize(cut.size() - 20);  // into the image data
  Bytes badSignature = good;
  badSignature[1] = 'Q';
  const auto wideRow = [](int) { return Bytes(3, 0); };  // far too short for the header's width
  struct Case {
    const char* name;
    Bytes file;
  };
  const Case cases[] = {
      {"empty", {}},
      {"signature only", Bytes(good.begin(), good.begin() + 8)},
      {"bad signature", badSignature},
      {"IHDR checksum", badCrc},
      {"cut in the image data", cut},
      {"width 70000", MakePng(70000, 1, 8, 2, wideRow)},
      {"30000 x 30000", MakePng(30000, 30000, 8, 2, wideRow)},
      {"20000 x 20000 from a few bytes", MakePng(20000, 20000, 8, 6, wideRow)},
      {"palette without PLTE", MakePng(2, 1, 8, 3,
                                       [](int) {
                                         return Bytes{0, 1};
                                       })},
      {"bit depth 3", MakePng(2, 1, 3, 0, [](int) { return Bytes{0}; })},
      {"rows too short", MakePng(4, 4, 8, 2, [](int) { return Bytes(5, 1); })},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TPngImage png;
    png.Bitmap() = Solid(2, 2, clRed);
    EXPECT_THROW(png.LoadFromBytes(c.file), EImageError);
    EXPECT_EQ(png.Bitmap().Pixel(1, 1), clRed);
  }
}

// An eXIf chunk (a bare EXIF block, no "Exif" prefix) turns the picture
// upright as browsers show it: 2 to 4 mirror, 5 to 8 transpose, so that the
// sides swap, and the quick header read tells the shown size. Both byte
// orders, and a 1-bit picture, whose pixels are packed. After the image data
// it comes too late: Chromium, libvips, ImageMagick and Qt show the picture
// as stored (only Pillow turns it), and so do we.
TEST(PngImage, ExifOrientationTurnsThePictureUpright) {
  const auto exif = [](std::uint16_t orientation, bool big) {
    const auto u16 = [big](Bytes& b, unsigned v) {
      b.push_back(std::uint8_t(big ? v >> 8 : v));
      b.push_back(std::uint8_t(big ? v : v >> 8));
    };
    Bytes b = big ? Bytes{'M', 'M'} : Bytes{'I', 'I'};
    u16(b, 42);
    u16(b, big ? 0 : 8), u16(b, big ? 8 : 0);  // the first directory at 8
    u16(b, 1);                                 // one entry: Orientation, one SHORT
    u16(b, 0x0112), u16(b, 3), u16(b, big ? 0 : 1), u16(b, big ? 1 : 0);
    u16(b, orientation), u16(b, 0);
    u16(b, 0), u16(b, 0);  // no further directory
    return b;
  };
  const std::vector<std::vector<std::string>> shown = {
      {"ABC", "DEF"},     {"CBA", "FED"},     {"FED", "CBA"},     {"DEF", "ABC"},
      {"AD", "BE", "CF"}, {"DA", "EB", "FC"}, {"FC", "EB", "DA"}, {"CF", "BE", "AD"},
  };
  // Stored as "ABC" over "DEF": RGB with a colour a letter, or 1-bit indexes
  // (black, white) with A, C and E white.
  const auto colour = [](char letter) { return RGBColor((letter - 'A') * 40 + 10, 200 - (letter - 'A') * 30, 77); };
  const auto bit = [](char letter) { return (letter - 'A') % 2 == 0 ? clWhite : clBlack; };
  for (bool late : {false, true})
    for (bool oneBit : {false, true})
      for (std::uint16_t o = 1; o <= 8; ++o) {
        const bool big = o % 2 == 0;
        SCOPED_TRACE(testing::Message() << "orientation " << o << (oneBit ? ", 1 bit" : ", RGB")
                                        << (late ? ", after the image data" : ""));
        const auto row = [&](int y) {
          if (oneBit) return Bytes{std::uint8_t(y == 0 ? 0xA0 : 0x40)};
          Bytes r;
          for (char letter : std::string(y == 0 ? "ABC" : "DEF")) {
            const TColor c = colour(letter);
            r.insert(r.end(), {std::uint8_t(GetRValue(c)), std::uint8_t(GetGValue(c)), std::uint8_t(GetBValue(c))});
          }
          return r;
        };
        std::vector<Chunk> before, after;
        (late ? after : before).push_back({"eXIf", exif(o, big)});
        if (oneBit) before.insert(before.begin(), {"PLTE", {0, 0, 0, 255, 255, 255}});
        const Bytes file = MakePng(3, 2, oneBit ? 1 : 8, oneBit ? 3 : 2, row, false, before, after);
        const TBitmap b = Load(file);
        const std::vector<std::string>& rows = shown[late ? 0 : o - 1];
        ASSERT_EQ(b.Height(), int(rows.size()));
        ASSERT_EQ(b.Width(), int(rows[0].size()));
        TPictureHeader header;
        ASSERT_TRUE(TPngImage().ReadHeader(file, header));
        EXPECT_EQ(header.Width, b.Width());
        EXPECT_EQ(header.Height, b.Height());
        for (int y = 0; y < b.Height(); ++y)
          for (int x = 0; x < b.Width(); ++x) {
            const char letter = rows[std::size_t(y)][std::size_t(x)];
            EXPECT_EQ(Hex(b.Pixel(x, y)), Hex(oneBit ? bit(letter) : colour(letter))) << x << "," << y;
          }
      }
}
