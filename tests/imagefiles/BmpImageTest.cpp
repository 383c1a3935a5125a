#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestBitmaps.h"
#include "TestFiles.h"
#include "imagefiles/BmpImage.h"

using namespace testing_bitmaps;
using namespace testing_files;

namespace {

using Bytes = std::vector<std::uint8_t>;

void Add16(Bytes& b, std::uint32_t v) {
  b.push_back(std::uint8_t(v));
  b.push_back(std::uint8_t(v >> 8));
}
void Add32(Bytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(std::uint8_t(v >> (8 * i)));
}
std::uint32_t Get16(const Bytes& b, std::size_t at) { return b[at] | (b[at + 1] << 8); }
std::uint32_t Get32(const Bytes& b, std::size_t at) { return Get16(b, at) | (Get16(b, at + 2) << 16); }

// An information header of `size` bytes (40, 52, 56, 108, 124...); fields past
// the 40 common bytes are zero unless masks are given (they go at offset 40).
Bytes InfoHeader(std::int32_t w, std::int32_t h, int bpp, std::uint32_t compression, std::uint32_t colorsUsed = 0,
                 std::uint32_t size = 40, std::vector<std::uint32_t> masks = {}) {
  Bytes b;
  Add32(b, size);
  Add32(b, std::uint32_t(w));
  Add32(b, std::uint32_t(h));
  Add16(b, 1);
  Add16(b, std::uint32_t(bpp));
  Add32(b, compression);
  Add32(b, 0);
  Add32(b, 2835);
  Add32(b, 2835);
  Add32(b, colorsUsed);
  Add32(b, 0);
  for (std::uint32_t m : masks) Add32(b, m);
  b.resize(size, 0);
  return b;
}

// The 14-byte file header, then the information header, what follows it
// (masks, colour table) and the pixels; the pixel offset points past `extras`.
Bytes BmpFile(const Bytes& info, const Bytes& extras, const Bytes& pixels) {
  Bytes f = {'B', 'M'};
  Add32(f, std::uint32_t(14 + info.size() + extras.size() + pixels.size()));
  Add32(f, 0);
  Add32(f, std::uint32_t(14 + info.size() + extras.size()));
  f.insert(f.end(), info.begin(), info.end());
  f.insert(f.end(), extras.begin(), extras.end());
  f.insert(f.end(), pixels.begin(), pixels.end());
  return f;
}

// Colour-table entries (blue, green, red, 0) for a list of colours.
Bytes Quads(std::initializer_list<TColor> colors) {
  Bytes b;
  for (TColor c : colors) {
    b.push_back(std::uint8_t(GetBValue(c)));
    b.push_back(std::uint8_t(GetGValue(c)));
    b.push_back(std::uint8_t(GetRValue(c)));
    b.push_back(0);
  }
  return b;
}

TColor PaletteColor(int i) { return RGBColor(i * 16, 255 - i * 16, i * 3); }
Bytes SixteenColours() {
  Bytes b;
  for (int i = 0; i < 16; ++i) {
    const Bytes q = Quads({PaletteColor(i)});
    b.insert(b.end(), q.begin(), q.end());
  }
  return b;
}

constexpr auto Load = LoadAs<TBmpImage>;
constexpr auto Save = SaveAs<TBmpImage>;

::testing::AssertionResult SameIndexes(const TBitmap& b, const std::vector<std::vector<int>>& rows) {
  for (int y = 0; y < int(rows.size()); ++y)
    for (int x = 0; x < int(rows[y].size()); ++x)
      if (b.Image().pixelIndex(x, y) != rows[y][x])
        return ::testing::AssertionFailure() << "index at (" << x << ", " << y << ") is " << b.Image().pixelIndex(x, y)
                                             << ", expected " << rows[y][x];
  return ::testing::AssertionSuccess();
}

}  // namespace

TEST(BmpImage, WritesHeadersAndPaddedRowsBottomUp) {
  const TColor a = RGBColor(1, 2, 3), b = RGBColor(4, 5, 6), c = RGBColor(7, 8, 9);
  const TColor d = RGBColor(10, 11, 12), e = RGBColor(13, 14, 15), f = RGBColor(16, 17, 18);
  const Bytes out = Save(FromRows({{a, b, c}, {d, e, f}}));
  ASSERT_EQ(out.size(), 78u);
  EXPECT_EQ(out[0], 'B');
  EXPECT_EQ(out[1], 'M');
  EXPECT_EQ(Get32(out, 2), 78u);   // file size
  EXPECT_EQ(Get32(out, 6), 0u);    // reserved
  EXPECT_EQ(Get32(out, 10), 54u);  // pixel offset
  EXPECT_EQ(Get32(out, 14), 40u);  // information header size
  EXPECT_EQ(Get32(out, 18), 3u);
  EXPECT_EQ(Get32(out, 22), 2u);  // positive height: bottom-up
  EXPECT_EQ(Get16(out, 26), 1u);  // planes
  EXPECT_EQ(Get16(out, 28), 24u);
  EXPECT_EQ(Get32(out, 30), 0u);   // no compression
  EXPECT_EQ(Get32(out, 34), 24u);  // image size: two rows of 9 bytes padded to 12
  EXPECT_EQ(Get32(out, 46), 0u);   // no colour table
  const Bytes rows(out.begin() + 54, out.end());
  const Bytes expected = {12, 11, 10, 15, 14, 13, 18, 17, 16, 0, 0, 0,  // bottom row first, blue-green-red
                          3,  2,  1,  6,  5,  4,  9,  8,  7,  0, 0, 0};
  EXPECT_EQ(rows, expected);
}

TEST(BmpImage, RoundTripKeepsPixelFormatAndPixels) {
  struct Case {
    TPixelFormat pf;
    int bitCount;
    std::uint32_t compression;
  };
  const Case cases[] = {{pf24bit, 24, 0}, {pf32bit, 32, 0}, {pf8bit, 8, 0},  {pf4bit, 4, 0},
                        {pf1bit, 1, 0},   {pf15bit, 16, 0}, {pf16bit, 16, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.pf));
    TBitmap original = Numbered(5, 3);  // odd width: every depth needs row padding
    original.SetPixelFormat(c.pf);
    if (c.pf == pf32bit) original.ScanLine(1)[4 * 2 + 3] = 77;  // alpha kept in the fourth byte
    const Bytes out = Save(original);
    EXPECT_EQ(Get16(out, 28), std::uint32_t(c.bitCount));
    EXPECT_EQ(Get32(out, 30), c.compression);
    const std::uint32_t rowBytes = ((5 * c.bitCount + 31) / 32) * 4;
    EXPECT_EQ(out.size(), Get32(out, 10) + 3 * rowBytes);
    const TBitmap back = Load(out);
    EXPECT_EQ(back.PixelFormat(), c.pf);
    EXPECT_TRUE(SamePixels(back, original));
    if (c.pf == pf32bit) {
      EXPECT_EQ(back.ScanLine(1)[4 * 2 + 3], 77);
      EXPECT_EQ(back.ScanLine(0)[3], 255);
    }
    if (c.pf == pf8bit || c.pf == pf4bit || c.pf == pf1bit) {
      EXPECT_EQ(back.Image(), original.Image());  // same indexes and colour table
    }
  }
}

TEST(BmpImage, WriterLeavesTheBitmapAlone) {
  TBmpImage bmp;
  bmp.Bitmap() = Numbered(4, 4);
  bmp.Bitmap().SetPixelFormat(pf4bit);
  const TBitmap before = bmp.Bitmap();
  Bytes out;
  bmp.SaveToBytes(out);
  EXPECT_EQ(bmp.Bitmap().PixelFormat(), pf4bit);
  EXPECT_EQ(bmp.Bitmap().Image(), before.Image());
  TBmpImage empty;
  EXPECT_THROW(empty.SaveToBytes(out), EImageError);
}

TEST(BmpImage, ReadsRunLength4) {
  const Bytes stream = {0x03, 0x12,              // bottom row: 1 2 1
                        0x00, 0x03, 0x45, 0x60,  // absolute: 4 5 6 (two bytes, already even)
                        0x00, 0x00,              // end of line
                        0x06, 0x7F,              // top row: 7 15 7 15 7 15
                        0x00, 0x01};             // end of bitmap
  const TBitmap b = Load(BmpFile(InfoHeader(6, 2, 4, 2, 16), SixteenColours(), stream));
  EXPECT_EQ(b.PixelFormat(), pf4bit);
  EXPECT_EQ(b.Palette().size(), 16);
  EXPECT_TRUE(SameIndexes(b, {{7, 15, 7, 15, 7, 15}, {1, 2, 1, 4, 5, 6}}));
  EXPECT_EQ(b.Pixel(1, 0), PaletteColor(15));
}

TEST(BmpImage, ReadsRunLength8WithDelta) {
  const Bytes stream = {0x02, 0x05,                          // bottom row: 5 5
                        0x00, 0x02, 0x01, 0x01,              // delta: one right, one up, to (3, row 1)
                        0x01, 0x09,                          // 9
                        0x00, 0x00,                          // end of line: row 2
                        0x00, 0x03, 0x0A, 0x0B, 0x0C, 0x00,  // absolute 10 11 12, padded to an even length
                        0x00, 0x01};                         // end of bitmap: the top row stays at index 0
  const TBitmap b = Load(BmpFile(InfoHeader(4, 4, 8, 1, 13), SixteenColours(), stream));
  EXPECT_EQ(b.PixelFormat(), pf8bit);
  EXPECT_TRUE(SameIndexes(b, {{0, 0, 0, 0}, {10, 11, 12, 0}, {0, 0, 0, 9}, {5, 5, 0, 0}}));
  EXPECT_EQ(b.Pixel(3, 2), PaletteColor(9));
}

TEST(BmpImage, RunLengthPastTheRowEndIsCut) {
  const Bytes stream = {0x05, 0x07,                          // a run of 5 on a row of 2
                        0x00, 0x00,                          // end of line
                        0x00, 0x04, 0x01, 0x02, 0x03, 0x04,  // absolute 4 on a row of 2
                        0x00, 0x02, 0x00, 0x09};             // delta below the last row ends the picture
  const TBitmap b = Load(BmpFile(InfoHeader(2, 2, 8, 1), SixteenColours(), stream));
  EXPECT_TRUE(SameIndexes(b, {{1, 2}, {7, 7}}));

  const Bytes four = {0x07, 0x34, 0x00, 0x00, 0x00, 0x05, 0x12, 0x34, 0x50, 0x00, 0x00, 0x01};
  const TBitmap b4 = Load(BmpFile(InfoHeader(3, 2, 4, 2), SixteenColours(), four));
  EXPECT_TRUE(SameIndexes(b4, {{1, 2, 3}, {3, 4, 3}}));
}

TEST(BmpImage, ReadsTopDownRows) {
  const Bytes pixels = {1, 2, 3, 4,  5,  6,  0, 0,  // first stored row is the top one
                        7, 8, 9, 10, 11, 12, 0, 0};
  const TBitmap b = Load(BmpFile(InfoHeader(2, -2, 24, 0), {}, pixels));
  EXPECT_EQ(b.PixelFormat(), pf24bit);
  EXPECT_EQ(b.Pixel(0, 0), RGBColor(3, 2, 1));
  EXPECT_EQ(b.Pixel(1, 1), RGBColor(12, 11, 10));
}

TEST(BmpImage, ReadsSixteenBitLayouts) {
  struct Case {
    const char* name;
    std::uint32_t compression;
    std::vector<std::uint32_t> masks;  // after the 40-byte header
    std::uint16_t pixel[2];
    TPixelFormat pf;
    TColor expected[2];
  };
  const Case cases[] = {
      {"5-5-5", 0, {}, {0x7C00, 0x03FF}, pf15bit, {RGBColor(255, 0, 0), RGBColor(0, 255, 255)}},
      {"5-6-5", 3, {0xF800, 0x07E0, 0x001F}, {0xF800, 0x07E0}, pf16bit, {RGBColor(255, 0, 0), RGBColor(0, 255, 0)}},
      {"5-5-5 fields", 3, {0x7C00, 0x03E0, 0x001F}, {0x001F, 0x03E0}, pf15bit, {clBlue, clLime}},
      {"4-4-4-4",
       6,
       {0x0F00, 0x00F0, 0x000F, 0xF000},
       {0x8F00, 0x00F5},
       pf32bit,
       {RGBColor(255, 0, 0), RGBColor(0, 255, 85)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes extras;
    for (std::uint32_t m : c.masks) Add32(extras, m);
    Bytes pixels;
    Add16(pixels, c.pixel[0]);
    Add16(pixels, c.pixel[1]);
    const TBitmap b = Load(BmpFile(InfoHeader(2, 1, 16, c.compression), extras, pixels));
    EXPECT_EQ(b.PixelFormat(), c.pf);
    EXPECT_EQ(b.Pixel(0, 0), c.expected[0]);
    EXPECT_EQ(b.Pixel(1, 0), c.expected[1]);
    if (c.pf == pf32bit) {
      EXPECT_EQ(b.ScanLine(0)[3], 136);  // alpha 8 of 15
      EXPECT_EQ(b.ScanLine(0)[7], 0);
    }
  }
}

TEST(BmpImage, ReadsThirtyTwoBitLayouts) {
  struct Case {
    const char* name;
    std::uint32_t headerSize;
    std::uint32_t compression;
    std::vector<std::uint32_t> masks;  // inside the header
    Bytes pixels;
    TColor color;
    std::uint8_t alpha;
  };
  const Case cases[] = {
      {"plain, alpha byte unused", 40, 0, {}, {30, 20, 10, 0}, RGBColor(10, 20, 30), 255},
      {"plain with alpha", 40, 0, {}, {30, 20, 10, 9}, RGBColor(10, 20, 30), 9},
      {"V5 fields", 124, 3, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, {30, 20, 10, 40}, RGBColor(10, 20, 30), 40},
      {"V4 fields without alpha", 108, 3, {0xFF0000, 0xFF00, 0xFF, 0}, {30, 20, 10, 40}, RGBColor(10, 20, 30), 255},
      {"V5 red in the low byte",
       124,
       3,
       {0xFF, 0xFF00, 0xFF0000, 0xFF000000},
       {30, 20, 10, 40},
       RGBColor(30, 20, 10),
       40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TBitmap b = Load(BmpFile(InfoHeader(1, 1, 32, c.compression, 0, c.headerSize, c.masks), {}, c.pixels));
    EXPECT_EQ(b.PixelFormat(), pf32bit);
    EXPECT_EQ(b.Pixel(0, 0), c.color);
    EXPECT_EQ(b.ScanLine(0)[3], c.alpha);
  }
}

TEST(BmpImage, ReadsCoreHeaderAndShortColourTables) {
  // 12-byte header: 16-bit sides and 3-byte colour entries.
  Bytes core;
  Add32(core, 12);
  Add16(core, 3);
  Add16(core, 1);
  Add16(core, 1);
  Add16(core, 8);
  const Bytes table = {0, 0, 255, 0, 255, 0};  // red, green
  const TBitmap b = Load(BmpFile(core, table, {1, 0, 1, 0}));
  EXPECT_EQ(b.PixelFormat(), pf8bit);
  EXPECT_EQ(b.Palette().size(), 2);
  EXPECT_EQ(b.Pixel(0, 0), RGBColor(0, 255, 0));
  EXPECT_EQ(b.Pixel(1, 0), clRed);

  // 1 bit: most significant bit first.
  const TBitmap mono = Load(BmpFile(InfoHeader(10, 1, 1, 0, 2), Quads({clBlack, clWhite}), {0xA0, 0x40, 0, 0}));
  EXPECT_EQ(mono.PixelFormat(), pf1bit);
  EXPECT_EQ(mono.Pixel(0, 0), clWhite);
  EXPECT_EQ(mono.Pixel(1, 0), clBlack);
  EXPECT_EQ(mono.Pixel(2, 0), clWhite);
  EXPECT_EQ(mono.Pixel(9, 0), clWhite);
}

// An index past the colour table shows opaque black, in every layout that
// stores indexes. Browsers show such a pixel opaque black too, and Qt's own
// reader black with no alpha; ImageMagick takes the first entry. The table
// grows to the largest index used, its new entries opaque black: a pixel
// past the table would read as black too, but transparent, and drawn as
// whatever Qt makes of it.
TEST(BmpImage, IndexPastTheColourTableIsBlack) {
  const Bytes two = Quads({clRed, clBlue});
  struct {
    const char* name;
    Bytes file;
    int largest;  // the largest index a pixel uses
  } cases[] = {
      {"8 bits", BmpFile(InfoHeader(2, 1, 8, 0, 2), two, {1, 200, 0, 0}), 200},
      {"8 bits, the table one entry short of its count", BmpFile(InfoHeader(2, 1, 8, 0, 3), two, {1, 2, 0, 0}), 2},
      {"4 bits", BmpFile(InfoHeader(2, 1, 4, 0, 2), two, {0x1F, 0, 0, 0}), 15},
      {"1 bit, one entry", BmpFile(InfoHeader(2, 1, 1, 0, 1), Quads({clBlue}), {0x40, 0, 0, 0}), 1},
      {"RLE8", BmpFile(InfoHeader(2, 1, 8, 1, 2), two, {0x01, 0x01, 0x01, 0x07, 0x00, 0x01}), 7},
      {"RLE4", BmpFile(InfoHeader(2, 1, 4, 2, 2), two, {0x02, 0x1C, 0x00, 0x01}), 12},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TBitmap b = Load(c.file);
    EXPECT_EQ(Hex(b.Pixel(0, 0)), Hex(clBlue));
    EXPECT_EQ(Hex(b.Pixel(1, 0)), Hex(clBlack));
    const QList<QRgb> table = b.Palette();
    EXPECT_EQ(table.size(), c.largest + 1);
    EXPECT_EQ(table.value(c.largest), qRgb(0, 0, 0));  // value(): 0, transparent, when the table is short
  }
}

// A palette picture whose pixels start right after the header has no colour
// table. ImageMagick and Qt take one from the pixels' own bytes (each its
// own way), Pillow refuses the file; it reads in the grey levels of its
// depth. A table stated for a picture of 16, 24 or 32 bits and absent does
// not matter: Pillow and Qt read such a file (ImageMagick refuses it).
TEST(BmpImage, MissingColourTable) {
  const auto grey = [](int v) { return RGBColor(v, v, v); };
  struct {
    const char* name;
    Bytes file;
    TPixelFormat pf;
    std::vector<TColor> row;
  } cases[] = {
      {"8 bits", BmpFile(InfoHeader(3, 1, 8, 0), {}, {0, 128, 255, 0}), pf8bit, {clBlack, grey(128), clWhite}},
      {"8 bits, 16 colours stated",
       BmpFile(InfoHeader(3, 1, 8, 0, 16), {}, {0, 9, 255, 0}),
       pf8bit,
       {clBlack, grey(9), clWhite}},
      {"4 bits", BmpFile(InfoHeader(3, 1, 4, 0), {}, {0x0F, 0x80, 0, 0}), pf4bit, {clBlack, clWhite, grey(136)}},
      {"1 bit", BmpFile(InfoHeader(2, 1, 1, 0), {}, {0x40, 0, 0, 0}), pf1bit, {clBlack, clWhite}},
      {"RLE8", BmpFile(InfoHeader(2, 1, 8, 1), {}, {0x01, 0x40, 0x01, 0xFF, 0x00, 0x01}), pf8bit, {grey(64), clWhite}},
      {"24 bits, 256 colours stated",
       BmpFile(InfoHeader(2, 1, 24, 0, 256), {}, {1, 2, 3, 4, 5, 6, 0, 0}),
       pf24bit,
       {RGBColor(3, 2, 1), RGBColor(6, 5, 4)}},
      {"32 bits, 16 colours stated",
       BmpFile(InfoHeader(1, 1, 32, 0, 16), {}, {1, 2, 3, 0}),
       pf32bit,
       {RGBColor(3, 2, 1)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TBitmap b = Load(c.file);
    EXPECT_EQ(b.PixelFormat(), c.pf);
    ASSERT_EQ(b.Width(), int(c.row.size()));
    for (int x = 0; x < b.Width(); ++x) EXPECT_EQ(Hex(b.Pixel(x, 0)), Hex(c.row[std::size_t(x)])) << x;
  }
}

TEST(BmpImage, DamagedOrOversizedFilesFail) {
  const Bytes table = Quads({clBlack, clWhite});
  Bytes truncated = BmpFile(InfoHeader(2, 2, 24, 0), {}, Bytes(16, 0));
  truncated.resize(truncated.size() - 3);  // the last row lacks one of its used bytes
  Bytes cutShort = BmpFile(InfoHeader(1, 1, 24, 0), {}, Bytes(4, 0));
  cutShort.resize(30);
  Bytes badMagic = BmpFile(InfoHeader(1, 1, 24, 0), {}, Bytes(4, 0));
  badMagic[0] = 'X';
  Bytes hugeHeader = BmpFile(InfoHeader(1, 1, 24, 0), {}, Bytes(4, 0));
  hugeHeader[14] = 0xFF;  // header size 255: past the end of the file
  struct Case {
    const char* name;
    Bytes file;
  };
  const Case cases[] = {
      {"empty", {}},
      {"not a BMP", badMagic},
      {"header cut short", cutShort},
      {"header size past the file", hugeHeader},
      {"width 70000", BmpFile(InfoHeader(70000, 1, 24, 0), {}, Bytes(64, 0))},
      {"30000 x 30000", BmpFile(InfoHeader(30000, 30000, 8, 1), table, {0, 1})},
      {"negative width", BmpFile(InfoHeader(-5, 1, 24, 0), {}, Bytes(64, 0))},
      {"zero height", BmpFile(InfoHeader(1, 0, 24, 0), {}, Bytes(64, 0))},
      {"7 bits", BmpFile(InfoHeader(1, 1, 7, 0), table, Bytes(4, 0))},
      {"JPEG inside", BmpFile(InfoHeader(1, 1, 24, 4), {}, Bytes(4, 0))},
      {"RLE8 with 4 bits", BmpFile(InfoHeader(1, 1, 4, 1), table, {0, 1})},
      {"bit fields on 24 bits", BmpFile(InfoHeader(1, 1, 24, 3), Bytes(12, 0), Bytes(4, 0))},
      {"masks missing", BmpFile(InfoHeader(1, 1, 16, 3), {}, {})},
      {"no colour table, no pixels", BmpFile(InfoHeader(1, 1, 8, 0), {}, {})},
      {"pixels truncated", truncated},
      {"pixels missing", BmpFile(InfoHeader(4, 4, 24, 0), {}, {})},
      {"RLE ends early", BmpFile(InfoHeader(2, 2, 8, 1), table, {0x02, 0x01, 0x00, 0x00})},
      {"RLE absolute cut", BmpFile(InfoHeader(8, 1, 8, 1), table, {0x00, 0x06, 1, 2, 3})},
      {"RLE delta cut", BmpFile(InfoHeader(8, 2, 8, 1), table, {0x00, 0x02, 1})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TBmpImage bmp;
    bmp.Bitmap() = Solid(2, 2, clRed);
    EXPECT_THROW(bmp.LoadFromBytes(c.file), EImageError);
    EXPECT_EQ(bmp.Bitmap().Pixel(1, 1), clRed);  // a failed read leaves the bitmap as it was
  }
}
