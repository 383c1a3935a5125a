#include <gtest/gtest.h>

#include <vector>

#include "TestBitmaps.h"
#include "TestFiles.h"
#include "imagefiles/TargaImage.h"

using namespace testing_bitmaps;
using namespace testing_files;

namespace {

using Bytes = std::vector<std::uint8_t>;

// An 18-byte header followed by `body` (image ID, colour map, pixels).
Bytes TargaFile(int type, int mapType, int mapFirst, int mapLength, int mapBits, int w, int h, int depth,
                int descriptor, const Bytes& body, int idLength = 0) {
  Bytes f = {std::uint8_t(idLength),
             std::uint8_t(mapType),
             std::uint8_t(type),
             std::uint8_t(mapFirst),
             std::uint8_t(mapFirst >> 8),
             std::uint8_t(mapLength),
             std::uint8_t(mapLength >> 8),
             std::uint8_t(mapBits),
             0,
             0,
             0,
             0,
             std::uint8_t(w),
             std::uint8_t(w >> 8),
             std::uint8_t(h),
             std::uint8_t(h >> 8),
             std::uint8_t(depth),
             std::uint8_t(descriptor)};
  f.insert(f.end(), body.begin(), body.end());
  return f;
}

constexpr auto Load = LoadAs<TTargaImage>;
constexpr auto Save = SaveAs<TTargaImage>;

// Blue, green, red bytes of a colour, as the file stores a pixel.
Bytes Px(TColor c) { return {std::uint8_t(GetBValue(c)), std::uint8_t(GetGValue(c)), std::uint8_t(GetRValue(c))}; }

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

}  // namespace

TEST(TargaImage, WritesTheFixedHeader) {
  const Bytes out = Save(Solid(300, 2, clRed));
  ASSERT_GE(out.size(), 18u);
  const Bytes header(out.begin(), out.begin() + 18);
  const Bytes expected = {0, 0, 10, 0, 0, 0x00, 0x01, 24, 0, 0, 0, 0, 0x2C, 0x01, 2, 0, 24, 0x20};
  EXPECT_EQ(header, expected);
}

TEST(TargaImage, EncodesEachRowInPackets) {
  const TColor A = RGBColor(1, 2, 3), B = RGBColor(4, 5, 6), C = RGBColor(7, 8, 9);
  std::vector<TColor> distinct130, equal130(130, B);
  Bytes distinctPackets = {0x7F};
  for (int i = 0; i < 130; ++i) {
    distinct130.push_back(RGBColor(i, 0, 1));
    if (i == 128 || i == 129) distinctPackets.push_back(0);
    const Bytes p = Px(distinct130.back());
    distinctPackets.insert(distinctPackets.end(), p.begin(), p.end());
  }
  struct Case {
    const char* name;
    std::vector<std::vector<TColor>> rows;
    Bytes packets;
  };
  const Case cases[] = {
      {"A B C", {{A, B, C}}, Cat({{1}, Px(A), Px(B), {0}, Px(C)})},
      {"A B B B", {{A, B, B, B}}, Cat({{0}, Px(A), {0x82}, Px(B)})},
      {"one pixel", {{C}}, Cat({{0}, Px(C)})},
      {"A A B", {{A, A, B}}, Cat({{0x81}, Px(A), {0}, Px(B)})},
      {"A B A A", {{A, B, A, A}}, Cat({{1}, Px(A), Px(B), {0x81}, Px(A)})},
      {"130 equal", {equal130}, Cat({{0xFF}, Px(B), {0x81}, Px(B)})},
      {"130 distinct", {distinct130}, distinctPackets},
      {"rows never share a packet", {{A, A}, {A, A}}, Cat({{0x81}, Px(A), {0x81}, Px(A)})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int w = int(c.rows[0].size()), h = int(c.rows.size());
    TBitmap b(w, h, pf24bit);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) b.SetPixel(x, y, c.rows[y][x]);
    const Bytes out = Save(b);
    ASSERT_GE(out.size(), 18u);
    EXPECT_EQ(Bytes(out.begin() + 18, out.end()), c.packets);
    EXPECT_TRUE(SamePixels(Load(out), b));
  }
}

TEST(TargaImage, RoundTripOfOtherFormatsIsTwentyFourBits) {
  TBitmap runs = Numbered(200, 7);
  for (int x = 20; x < 180; ++x) runs.SetPixel(x, 3, clYellow);  // long runs beside distinct pixels
  for (TPixelFormat pf : {pf24bit, pf32bit, pf8bit}) {
    SCOPED_TRACE(int(pf));
    TBitmap original = runs;
    original.SetPixelFormat(pf);
    TTargaImage tga;
    tga.Bitmap() = original;
    Bytes out;
    tga.SaveToBytes(out);
    EXPECT_EQ(tga.Bitmap().PixelFormat(), pf);  // the writer converts a copy
    const TBitmap back = Load(out);
    EXPECT_EQ(back.PixelFormat(), pf24bit);
    EXPECT_TRUE(SamePixels(back, original));
  }
}

TEST(TargaImage, SidesAboveTheHeaderLimitFail) {
  for (auto [w, h] : {std::pair{70000, 1}, std::pair{1, 70000}}) {
    TTargaImage tga;
    tga.Bitmap() = Solid(w, h, clWhite);
    Bytes out;
    EXPECT_THROW(tga.SaveToBytes(out), EImageError);
    EXPECT_TRUE(out.empty());
  }
  TTargaImage empty;
  Bytes out;
  EXPECT_THROW(empty.SaveToBytes(out), EImageError);
}

TEST(TargaImage, ReadsRunLengthColourMapWithSixteenBitEntriesBottomUp) {
  // Map entries 1..3 (the map starts at index 1): red, green, blue as x-r5-g5-b5;
  // index 0 lies before the map.
  const Bytes map = {0x00, 0x7C, 0xE0, 0x83, 0x1F, 0x00};
  const Bytes pixels = {0x82, 1,         // run of three: the bottom row is red
                        0x02, 2, 3, 0};  // raw: green, blue, index 0
  const TBitmap b = Load(TargaFile(9, 1, 1, 3, 16, 3, 2, 8, 0x00, Cat({{'i', 'd'}, map, pixels}), 2));
  EXPECT_EQ(b.PixelFormat(), pf8bit);
  EXPECT_TRUE(SamePixels(b, FromRows({{clLime, clBlue, clBlack}, {clRed, clRed, clRed}})));
}

TEST(TargaImage, ReadsOtherLayouts) {
  const TColor P = RGBColor(10, 20, 30), Q = RGBColor(40, 50, 60);
  struct Case {
    const char* name;
    Bytes file;
    TPixelFormat pf;
    TBitmap expected;
  };
  const TColor g10 = RGBColor(10, 10, 10), g20 = RGBColor(20, 20, 20), g30 = RGBColor(30, 30, 30);
  const Case cases[] = {
      {"grey, top-left", TargaFile(3, 0, 0, 0, 0, 2, 2, 8, 0x20, {0, 50, 100, 255}), pf8bit,
       FromRows({{clBlack, RGBColor(50, 50, 50)}, {RGBColor(100, 100, 100), clWhite}})},
      {"grey run-length, packets across rows", TargaFile(11, 0, 0, 0, 0, 3, 2, 8, 0x20, {0x83, 10, 0x01, 20, 30}),
       pf8bit, FromRows({{g10, g10, g10}, {g10, g20, g30}})},
      {"colour map of 24 bits", TargaFile(1, 1, 0, 2, 24, 2, 1, 8, 0x20, Cat({Px(P), Px(Q), {1, 0}})), pf8bit,
       FromRows({{Q, P}})},
      {"colour map of 32 bits", TargaFile(1, 1, 0, 2, 32, 2, 1, 8, 0x20, Cat({Px(P), {9}, Px(Q), {9}, {1, 0}})), pf8bit,
       FromRows({{Q, P}})},
      {"24 bits, bottom-left", TargaFile(2, 0, 0, 0, 0, 1, 2, 24, 0x00, Cat({Px(P), Px(Q)})), pf24bit,
       FromRows({{Q}, {P}})},
      {"24 bits run-length", TargaFile(10, 0, 0, 0, 0, 3, 1, 24, 0x20, Cat({{0x81}, Px(P), {0}, Px(Q)})), pf24bit,
       FromRows({{P, P, Q}})},
      {"16 bits", TargaFile(2, 0, 0, 0, 0, 2, 1, 16, 0x20, {0xFF, 0x7F, 0x1F, 0x00}), pf24bit,
       FromRows({{clWhite, clBlue}})},
      {"15 bits run-length", TargaFile(10, 0, 0, 0, 0, 2, 1, 15, 0x20, {0x81, 0x00, 0x7C}), pf24bit,
       FromRows({{clRed, clRed}})},
      {"right to left", TargaFile(2, 0, 0, 0, 0, 2, 1, 24, 0x30, Cat({Px(P), Px(Q)})), pf24bit, FromRows({{Q, P}})},
      {"unused colour map skipped", TargaFile(2, 1, 0, 2, 24, 1, 1, 24, 0x20, Cat({Bytes(6, 0xEE), Px(P)})), pf24bit,
       FromRows({{P}})},
      {"map fields without a map ignored", TargaFile(10, 0, 0, 256, 24, 1, 1, 24, 0x20, Cat({{0}, Px(Q)})), pf24bit,
       FromRows({{Q}})},
      {"run cut at the picture end", TargaFile(10, 0, 0, 0, 0, 2, 1, 24, 0x20, Cat({{0x85}, Px(P)})), pf24bit,
       FromRows({{P, P}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TBitmap b = Load(c.file);
    EXPECT_EQ(b.PixelFormat(), c.pf);
    EXPECT_TRUE(SamePixels(b, c.expected));
  }
}

TEST(TargaImage, ThirtyTwoBitsKeepAlpha) {
  const TBitmap b = Load(TargaFile(2, 0, 0, 0, 0, 2, 1, 32, 0x28, {30, 20, 10, 128, 60, 50, 40, 0}));
  EXPECT_EQ(b.PixelFormat(), pf32bit);
  EXPECT_EQ(b.Pixel(0, 0), RGBColor(10, 20, 30));
  EXPECT_EQ(b.ScanLine(0)[3], 128);
  EXPECT_EQ(b.ScanLine(0)[7], 0);
  // Alpha left at zero everywhere means an opaque picture.
  const TBitmap opaque = Load(TargaFile(2, 0, 0, 0, 0, 1, 1, 32, 0x20, {30, 20, 10, 0}));
  EXPECT_EQ(opaque.ScanLine(0)[3], 255);
}

// Grey and alpha in two bytes a pixel, as other programs write grey pictures
// with transparency: the alpha is kept when the descriptor gives 8 alpha bits.
TEST(TargaImage, ReadsSixteenBitGreyAndAlpha) {
  struct Case {
    const char* name;
    Bytes file;
    TPixelFormat pf;
    std::vector<std::vector<int>> pixels;  // grey and alpha, rows from the top
  };
  const Case cases[] = {
      {"uncompressed, bottom-up",
       TargaFile(3, 0, 0, 0, 0, 2, 2, 16, 0x08, {10, 255, 20, 128, 30, 0, 40, 64}),
       pf32bit,
       {{30, 0, 40, 64}, {10, 255, 20, 128}}},
      {"run-length across rows, top-down",
       TargaFile(11, 0, 0, 0, 0, 3, 2, 16, 0x28, {0x83, 50, 200, 0x01, 60, 100, 70, 0}),
       pf32bit,
       {{50, 200, 50, 200, 50, 200}, {50, 200, 60, 100, 70, 0}}},
      {"alpha all zero is opaque",
       TargaFile(3, 0, 0, 0, 0, 2, 1, 16, 0x28, {10, 0, 20, 0}),
       pf32bit,
       {{10, 255, 20, 255}}},
      {"no alpha bits: grey only",
       TargaFile(3, 0, 0, 0, 0, 2, 1, 16, 0x20, {10, 7, 200, 9}),
       pf8bit,
       {{10, 255, 200, 255}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const TBitmap b = Load(c.file);
    EXPECT_EQ(b.PixelFormat(), c.pf);
    ASSERT_EQ(b.Height(), int(c.pixels.size()));
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) {
        const int grey = c.pixels[std::size_t(y)][std::size_t(2 * x)];
        EXPECT_EQ(Hex(b.Pixel(x, y)), Hex(RGBColor(grey, grey, grey))) << x << "," << y;
        const int alpha = b.PixelFormat() == pf32bit ? b.ScanLine(y)[4 * x + 3] : 255;
        EXPECT_EQ(alpha, c.pixels[std::size_t(y)][std::size_t(2 * x + 1)]) << x << "," << y;
      }
  }
}

TEST(TargaImage, DamagedOrOversizedFilesFail) {
  struct Case {
    const char* name;
    Bytes file;
  };
  const Case cases[] = {
      {"short header", Bytes(17, 0)},
      {"type 0", TargaFile(0, 0, 0, 0, 0, 1, 1, 24, 0, {1, 2, 3})},
      {"type 32", TargaFile(32, 0, 0, 0, 0, 1, 1, 24, 0, {1, 2, 3})},
      {"type 4", TargaFile(4, 0, 0, 0, 0, 1, 1, 24, 0, {1, 2, 3})},
      {"map type 2", TargaFile(2, 2, 0, 0, 0, 1, 1, 24, 0, {1, 2, 3})},
      {"colour-mapped without a map", TargaFile(1, 0, 0, 0, 0, 1, 1, 8, 0, {0})},
      {"16-bit indexes", TargaFile(1, 1, 0, 1, 24, 1, 1, 16, 0, {1, 2, 3, 0, 0})},
      {"8-bit map entries", TargaFile(1, 1, 0, 1, 8, 1, 1, 8, 0, {1, 0})},
      {"8-bit true colour", TargaFile(2, 0, 0, 0, 0, 1, 1, 8, 0, {1})},
      {"32-bit grey", TargaFile(3, 0, 0, 0, 0, 1, 1, 32, 0, {1, 2, 3, 4})},
      {"zero width", TargaFile(2, 0, 0, 0, 0, 0, 1, 24, 0, {1, 2, 3})},
      {"65535 x 65535", TargaFile(10, 0, 0, 0, 0, 65535, 65535, 24, 0, {0xFF, 1, 2, 3})},
      {"ID past the end", TargaFile(2, 0, 0, 0, 0, 1, 1, 24, 0, {1, 2, 3}, 200)},
      {"map truncated", TargaFile(1, 1, 0, 200, 24, 1, 1, 8, 0, Bytes(30, 0))},
      {"raw pixels truncated", TargaFile(2, 0, 0, 0, 0, 2, 2, 24, 0, Bytes(11, 0))},
      {"few pixels for a large picture", TargaFile(10, 0, 0, 0, 0, 20000, 20000, 24, 0, {0xFF, 1, 2, 3})},
      {"run-length stops early",
       TargaFile(10, 0, 0, 0, 0, 300, 1, 24, 0, Cat({{0xFF}, Px(1), {0xFF}, Px(2), {0x81}, Px(3)}))},
      {"raw packet cut",
       TargaFile(10, 0, 0, 0, 0, 300, 1, 24, 0, Cat({{0xFF}, Px(1), {0xFF}, Px(2), {0x7F}, Px(3), Px(4)}))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TTargaImage tga;
    tga.Bitmap() = Solid(2, 2, clRed);
    EXPECT_THROW(tga.LoadFromBytes(c.file), EImageError);
    EXPECT_EQ(tga.Bitmap().Pixel(1, 1), clRed);
  }
}
