#include "imagefiles/GifImage.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <vector>

#include "TestBitmaps.h"
#include "TestFiles.h"

using namespace testing_bitmaps;
using namespace testing_files;

namespace {

// ---- GIF files made at test time with giflib's encoder ----

using TMap = std::vector<TColor>;  // colour values; padded to a power of two

const TMap kFour{clRed, clLime, clBlue, clWhite};

struct TFrame {
  int left = 0, top = 0, width = 0, height = 0;
  std::vector<std::uint8_t> pixels;  // width x height indices, row by row
  std::optional<TMap> local;
  bool interlaced = false;
  int transparent = -1;
};

struct TGifLayout {
  int width = 0, height = 0, background = 0;
  std::optional<TMap> global;
  std::vector<TFrame> frames;
};

ColorMapObject* MakeMap(const TMap& colours) {
  int size = 2;
  while (size < int(colours.size())) size *= 2;
  std::vector<GifColorType> c(std::size_t(size), GifColorType{0, 0, 0});
  for (std::size_t i = 0; i < colours.size(); ++i)
    c[i] = {GifByteType(GetRValue(colours[i])), GifByteType(GetGValue(colours[i])), GifByteType(GetBValue(colours[i]))};
  return GifMakeMapObject(size, c.data());
}

int Append(GifFileType* gif, const GifByteType* buf, int len) {
  auto* out = static_cast<TByteBuffer*>(gif->UserData);
  out->insert(out->end(), buf, buf + len);
  return len;
}

TByteBuffer MakeGif(const TGifLayout& layout) {
  TByteBuffer out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, Append, &error);
  EXPECT_NE(gif, nullptr);
  EGifSetGifVersion(gif, true);
  ColorMapObject* global = layout.global ? MakeMap(*layout.global) : nullptr;
  EXPECT_EQ(EGifPutScreenDesc(gif, layout.width, layout.height, 8, layout.background, global), GIF_OK);
  GifFreeMapObject(global);
  for (const TFrame& f : layout.frames) {
    if (f.transparent >= 0) {
      const GifByteType gce[4] = {1, 0, 0, GifByteType(f.transparent)};
      EXPECT_EQ(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, gce), GIF_OK);
    }
    ColorMapObject* local = f.local ? MakeMap(*f.local) : nullptr;
    EXPECT_EQ(EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, f.interlaced, local), GIF_OK);
    GifFreeMapObject(local);
    std::vector<std::uint8_t> row(std::size_t(f.width));
    auto put = [&](int y) {
      std::copy_n(f.pixels.begin() + std::ptrdiff_t(y) * f.width, f.width, row.begin());
      EXPECT_EQ(EGifPutLine(gif, row.data(), f.width), GIF_OK);
    };
    if (f.interlaced) {
      const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
      for (int p = 0; p < 4; ++p)
        for (int y = start[p]; y < f.height; y += step[p]) put(y);
    } else {
      for (int y = 0; y < f.height; ++y) put(y);
    }
  }
  EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK);
  return out;
}

// Cuts a 256-entry global map down to 2 entries while the pixel data keep
// their 8-bit codes: a file whose indices run past its colour map.
TByteBuffer ShrinkGlobalMapToTwo(TByteBuffer bytes) {
  EXPECT_EQ(bytes[10] & 0x87, 0x87);
  bytes[10] = std::uint8_t(bytes[10] & ~0x07);
  bytes.erase(bytes.begin() + 13 + 6, bytes.begin() + 13 + 768);
  return bytes;
}

// A frame whose pixel (x, y) has index f(x, y).
template <class F>
TFrame FrameOf(int left, int top, int w, int h, F f) {
  TFrame fr;
  fr.left = left, fr.top = top, fr.width = w, fr.height = h;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) fr.pixels.push_back(std::uint8_t(f(x, y)));
  return fr;
}

// GIF's LZW coding of a frame's indices with literals of codeSize bits (2 to
// 12; giflib's encoder writes at most 8), in data blocks ending with the empty
// one. A plain encoder: the longest known string, a new string for each code
// written, a clear code when the table of 4096 is full.
TByteBuffer LzwBlocks(const std::vector<int>& indices, int codeSize) {
  const int clear = 1 << codeSize;
  int width = codeSize + 1, next = clear + 2;
  std::map<std::pair<int, int>, int> strings;
  TByteBuffer packed;
  std::uint32_t bits = 0;
  int count = 0;
  const auto put = [&](int code) {
    bits |= std::uint32_t(code) << count;
    for (count += width; count >= 8; count -= 8, bits >>= 8) packed.push_back(std::uint8_t(bits));
  };
  put(clear);
  int prefix = indices.at(0);
  for (std::size_t i = 1; i < indices.size(); ++i) {
    const auto known = strings.find({prefix, indices[i]});
    if (known != strings.end()) {
      prefix = known->second;
      continue;
    }
    put(prefix);
    if (next < 4096) {
      strings[{prefix, indices[i]}] = next++;
      // The reader adds each string a code later than we do.
      if (next > (1 << width) && width < 12) ++width;
    } else if (next == 4096) {
      put(clear);
      strings.clear();
      next = clear + 2, width = codeSize + 1;
    }
    prefix = indices[i];
  }
  put(prefix);
  put(clear + 1);
  if (count > 0) packed.push_back(std::uint8_t(bits));
  TByteBuffer blocks;
  for (std::size_t at = 0; at < packed.size(); at += 255) {
    const std::size_t n = std::min<std::size_t>(255, packed.size() - at);
    blocks.push_back(std::uint8_t(n));
    blocks.insert(blocks.end(), packed.begin() + std::ptrdiff_t(at), packed.begin() + std::ptrdiff_t(at + n));
  }
  blocks.push_back(0);
  return blocks;
}

// A one-frame GIF written byte by byte: a 4-entry global map, the frame
// covering the screen, its w x h indices (row by row; they may pass 255)
// coded with literals of codeSize bits.
TByteBuffer RawGif(int w, int h, const std::vector<int>& indices, int codeSize, bool interlaced = false) {
  TByteBuffer f = {
      'G',  'I', 'F', '8', '9', 'a', std::uint8_t(w), std::uint8_t(w >> 8), std::uint8_t(h), std::uint8_t(h >> 8),
      0x81, 0,   0};
  for (TColor c : kFour)
    f.insert(f.end(), {std::uint8_t(GetRValue(c)), std::uint8_t(GetGValue(c)), std::uint8_t(GetBValue(c))});
  f.insert(f.end(), {',', 0, 0, 0, 0, std::uint8_t(w), std::uint8_t(w >> 8), std::uint8_t(h), std::uint8_t(h >> 8),
                     std::uint8_t(interlaced ? 0x40 : 0), std::uint8_t(codeSize)});
  std::vector<int> stream;
  const auto row = [&](int y) {
    stream.insert(stream.end(), &indices[std::size_t(y * w)], &indices[std::size_t(y * w)] + w);
  };
  if (interlaced) {
    static constexpr int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
      for (int y = start[pass]; y < h; y += step[pass]) row(y);
  } else {
    for (int y = 0; y < h; ++y) row(y);
  }
  const TByteBuffer data = LzwBlocks(stream, codeSize);
  f.insert(f.end(), data.begin(), data.end());
  f.push_back(';');
  return f;
}

constexpr auto Load = LoadAs<TGifImage>;
constexpr auto Save = SaveAs<TGifImage>;

// A small photograph-like picture: smooth shading plus texture.
TBitmap PhotoLike(int w, int h) {
  TBitmap b(w, h, pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double t = std::sin(x * 0.21) * std::cos(y * 0.17) * 40;
      const int r = int(120 + 100.0 * x / w + t) & 0xFF;
      const int g = int(60 + 150.0 * y / h - t / 2) & 0xFF;
      const int bl = int(200 - 120.0 * (x + y) / (w + h) + ((x * 31 + y * 17) % 23)) & 0xFF;
      b.SetPixel(x, y, RGBColor(r, g, bl));
    }
  return b;
}

}  // namespace

TEST(GifImage, RoundTripOfFewColoursIsExact) {
  const std::pair<const char*, TBitmap> cases[] = {
      {"256 colours", Numbered(16, 16)},
      {"one colour", Solid(7, 3, RGBColor(12, 34, 56))},
      {"three colours, odd size", FromRows({{clRed, clRed, clBlue}, {clWhite, clRed, clBlue}})},
      {"one pixel", Solid(1, 1, clBlack)},
  };
  for (const auto& [name, source] : cases) {
    SCOPED_TRACE(name);
    const TByteBuffer bytes = Save(source);
    ASSERT_GE(bytes.size(), 6u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "GIF8");
    const TBitmap back = Load(bytes);
    EXPECT_TRUE(back.PixelFormat() == pf8bit || back.PixelFormat() == pf4bit);
    EXPECT_FALSE(back.Transparent);
    EXPECT_TRUE(SamePixels(back, source));
  }
}

// The written map: used entries first, by decreasing use, all distinct; the
// entries after them only pad the map to a power of two and are never used.
TEST(GifImage, ColourMapOrderedByUseWithoutUnusedOrDuplicates) {
  // 3 colours with 10, 4 and 2 pixels, listed least used first.
  const TBitmap few = FromRows({{clBlue, clBlue, clLime, clLime},
                                {clLime, clLime, clRed, clRed},
                                {clRed, clRed, clRed, clRed},
                                {clRed, clRed, clRed, clRed}});
  const TBitmap back = Load(Save(few));
  ASSERT_TRUE(SamePixels(back, few));
  const QList<QRgb> table = back.Palette();
  ASSERT_EQ(table.size(), 4);  // 3 colours padded to 4
  EXPECT_EQ(table[0] & 0xFFFFFF, qRgb(255, 0, 0) & 0xFFFFFF);
  EXPECT_EQ(table[1] & 0xFFFFFF, qRgb(0, 255, 0) & 0xFFFFFF);
  EXPECT_EQ(table[2] & 0xFFFFFF, qRgb(0, 0, 255) & 0xFFFFFF);

  // A dithered picture: the same properties over the whole map.
  const TBitmap photo = PhotoLike(120, 90);
  const TBitmap reduced = Load(Save(photo));
  std::map<int, int> uses;
  for (int y = 0; y < reduced.Height(); ++y)
    for (int x = 0; x < reduced.Width(); ++x) ++uses[reduced.ScanLine(y)[x]];
  const QList<QRgb> map = reduced.Palette();
  const int used = int(uses.size());
  EXPECT_GT(used, 100);
  EXPECT_EQ(uses.rbegin()->first, used - 1) << "used entries are not the first ones";
  std::set<QRgb> distinct;
  for (int i = 0; i < used; ++i) {
    distinct.insert(map[i] & 0xFFFFFF);
    if (i > 0) {
      EXPECT_GE(uses[i - 1], uses[i]) << "entry " << i;
    }
  }
  EXPECT_EQ(int(distinct.size()), used);
  EXPECT_LT(map.size(), 2 * std::max(used, 2));

  // And the picture is still close to the original.
  double sum = 0;
  for (int y = 0; y < photo.Height(); ++y)
    for (int x = 0; x < photo.Width(); ++x) {
      const TColor p = photo.Pixel(x, y), q = reduced.Pixel(x, y);
      const int d[3] = {GetRValue(p) - GetRValue(q), GetGValue(p) - GetGValue(q), GetBValue(p) - GetBValue(q)};
      for (int v : d) sum += double(v) * v;
    }
  EXPECT_GT(10 * std::log10(255.0 * 255.0 * 3 * photo.Width() * photo.Height() / sum), 30.0);
}

TEST(GifImage, OptimizeColorMapMergesDropsAndOrders) {
  QImage img(6, 1, QImage::Format_Indexed8);
  // Entry 0 unused, 1 and 3 the same colour, 2 and 4 used once each.
  img.setColorTable({qRgb(9, 9, 9), qRgb(1, 1, 1), qRgb(2, 2, 2), qRgb(1, 1, 1), qRgb(3, 3, 3)});
  const int pixels[6] = {2, 1, 3, 4, 3, 1};
  for (int x = 0; x < 6; ++x) img.setPixel(x, 0, uint(pixels[x]));
  OptimizeColorMap(img);
  EXPECT_EQ(img.colorTable(), (QList<QRgb>{qRgb(1, 1, 1), qRgb(2, 2, 2), qRgb(3, 3, 3)}));
  const int expected[6] = {1, 0, 0, 2, 0, 0};
  for (int x = 0; x < 6; ++x) EXPECT_EQ(img.pixelIndex(x, 0), expected[x]) << x;
}

TEST(GifImage, FirstFrameOfTwo) {
  TGifLayout layout{4, 3, 0, kFour, {}};
  layout.frames.push_back(FrameOf(0, 0, 4, 3, [](int x, int y) { return (x + y) % 3; }));
  layout.frames.push_back(FrameOf(0, 0, 4, 3, [](int, int) { return 3; }));
  const TBitmap b = Load(MakeGif(layout));
  ASSERT_EQ(b.Width(), 4);
  ASSERT_EQ(b.Height(), 3);
  EXPECT_EQ(b.PixelFormat(), pf4bit);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(b.Pixel(x, y), kFour[std::size_t((x + y) % 3)]) << x << "," << y;
}

TEST(GifImage, FrameSmallerThanScreenIsPlacedAtItsOffset) {
  // Background index 2 (blue); a 2x2 frame at (3, 1) on a 6x4 screen.
  TGifLayout layout{6, 4, 2, kFour, {}};
  layout.frames.push_back(FrameOf(3, 1, 2, 2, [](int x, int y) { return x + 2 * y == 3 ? 3 : x; }));
  const TBitmap b = Load(MakeGif(layout));
  ASSERT_EQ(b.Width(), 6);
  ASSERT_EQ(b.Height(), 4);
  EXPECT_EQ(b.Palette().size(), 4);
  EXPECT_TRUE(SamePixels(b, FromRows({{clBlue, clBlue, clBlue, clBlue, clBlue, clBlue},
                                      {clBlue, clBlue, clBlue, clRed, clLime, clBlue},
                                      {clBlue, clBlue, clBlue, clRed, clWhite, clBlue},
                                      {clBlue, clBlue, clBlue, clBlue, clBlue, clBlue}})));
}

TEST(GifImage, FrameWithLocalMapTakesTheNearestGlobalColours) {
  TGifLayout layout{3, 2, 0, kFour, {}};
  TFrame f = FrameOf(1, 0, 2, 2, [](int x, int y) { return x + 2 * y; });
  f.local = TMap{RGBColor(250, 10, 10), RGBColor(240, 240, 240), RGBColor(0, 0, 200), RGBColor(5, 200, 5)};
  layout.frames.push_back(f);
  const TBitmap b = Load(MakeGif(layout));
  EXPECT_EQ(b.Palette().size(), 4);
  EXPECT_TRUE(SamePixels(b, FromRows({{clRed, clRed, clWhite}, {clRed, clBlue, clLime}})));
}

TEST(GifImage, LocalMapOnlyAndInterlacedRows) {
  TGifLayout layout{3, 11, 0, std::nullopt, {}};
  TFrame f = FrameOf(0, 0, 3, 11, [](int x, int y) { return (y * 3 + x) % 20; });
  TMap local;
  for (int i = 0; i < 20; ++i) local.push_back(RGBColor(i * 10, 255 - i * 10, i));
  f.local = local;
  f.interlaced = true;
  layout.frames.push_back(f);
  const TBitmap b = Load(MakeGif(layout));
  EXPECT_EQ(b.PixelFormat(), pf8bit);  // 20 entries padded to 32
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x < 3; ++x) ASSERT_EQ(b.Pixel(x, y), local[std::size_t((y * 3 + x) % 20)]) << x << "," << y;
}

TEST(GifImage, TransparentIndexSetsTransparency) {
  {
    SCOPED_TRACE("frame covering the screen");
    TGifLayout layout{2, 2, 0, kFour, {}};
    TFrame f = FrameOf(0, 0, 2, 2, [](int x, int y) { return x + y; });
    f.transparent = 1;
    layout.frames.push_back(f);
    const TBitmap b = Load(MakeGif(layout));
    EXPECT_TRUE(b.Transparent);
    EXPECT_EQ(b.TransparentColor(), clLime);
    EXPECT_EQ(b.Pixel(1, 0), clLime);
  }
  {
    SCOPED_TRACE("smaller frame: the uncovered screen is transparent too");
    TGifLayout layout{4, 1, 0, kFour, {}};
    TFrame f = FrameOf(1, 0, 2, 1, [](int x, int) { return x == 0 ? 3 : 2; });
    f.transparent = 2;
    layout.frames.push_back(f);
    const TBitmap b = Load(MakeGif(layout));
    EXPECT_TRUE(b.Transparent);
    EXPECT_EQ(b.TransparentColor(), clBlue);
    EXPECT_TRUE(SamePixels(b, FromRows({{clBlue, clWhite, clBlue, clBlue}})));
  }
  {
    SCOPED_TRACE("no control extension");
    TGifLayout layout{2, 1, 0, kFour, {}};
    layout.frames.push_back(FrameOf(0, 0, 2, 1, [](int x, int) { return x; }));
    EXPECT_FALSE(Load(MakeGif(layout)).Transparent);
  }
}

// Frames reaching past the screen and indices past the map are data, not
// permission to read or write out of bounds.
TEST(GifImage, OutOfRangeFramesAndIndicesStayInBounds) {
  {
    SCOPED_TRACE("frame partly outside the screen");
    TGifLayout layout{3, 3, 0, kFour, {}};
    layout.frames.push_back(FrameOf(2, 2, 4, 4, [](int, int) { return 3; }));
    const TBitmap b = Load(MakeGif(layout));
    ASSERT_EQ(b.Width(), 3);
    EXPECT_EQ(b.Pixel(2, 2), clWhite);
    EXPECT_EQ(b.Pixel(1, 2), clRed);
  }
  {
    SCOPED_TRACE("frame larger than the screen");
    TGifLayout layout{1, 1, 0, kFour, {}};
    layout.frames.push_back(FrameOf(0, 0, 3, 2, [](int x, int) { return x; }));
    const TBitmap b = Load(MakeGif(layout));
    EXPECT_EQ(b.Width(), 3);
    EXPECT_EQ(b.Height(), 2);
  }
  {
    SCOPED_TRACE("indices beyond a two-entry map");
    TMap colours(256, clWhite);
    colours[0] = clRed;
    colours[1] = clBlue;
    TGifLayout layout{4, 1, 0, colours, {}};
    layout.frames.push_back(FrameOf(0, 0, 4, 1, [](int x, int) { return x * 60; }));
    const TBitmap b = Load(ShrinkGlobalMapToTwo(MakeGif(layout)));
    EXPECT_GE(b.Palette().size(), 181);
    EXPECT_EQ(b.Pixel(0, 0), clRed);
    EXPECT_EQ(b.Pixel(3, 0), clBlack);
  }
}

// giflib refuses a frame whose literals are wider than 8 bits (a minimum code
// size of 9 to 12), which ImageMagick, Pillow, Qt and libvips (up to 11)
// decode. The same indices coded with 8-bit literals (read through giflib)
// and with wider ones read alike, over enough pixels to fill the table of
// strings and start it again.
TEST(GifImage, LiteralsWiderThanEightBitsDecode) {
  const int w = 200, h = 120;
  std::mt19937 random(11);
  std::vector<int> indices;
  for (int i = 0; i < w * h; ++i) indices.push_back(int(random() % 4));
  for (bool interlaced : {false, true}) {
    SCOPED_TRACE(interlaced ? "interlaced" : "progressive");
    const TBitmap eightBits = Load(RawGif(w, h, indices, 8, interlaced));
    ASSERT_EQ(eightBits.Width(), w);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) ASSERT_EQ(eightBits.Pixel(x, y), kFour[std::size_t(indices[std::size_t(y * w + x)])]);
    for (int codeSize : {9, 10, 11, 12}) {
      SCOPED_TRACE(codeSize);
      const TByteBuffer file = RawGif(w, h, indices, codeSize, interlaced);
      EXPECT_TRUE(SamePixels(Load(file), eightBits));
      TPictureHeader header;
      ASSERT_TRUE(TGifImage().ReadHeader(file, header));
      EXPECT_EQ(header.Width, w);
      EXPECT_EQ(header.Height, h);
    }
  }
  // A pixel is its literal's low 8 bits, as Pillow and libvips take it: 257
  // is index 1, and 300 index 44, past the map (black, see above).
  const TBitmap wide = Load(RawGif(3, 1, {2, 257, 300}, 9));
  EXPECT_EQ(wide.Pixel(0, 0), clBlue);
  EXPECT_EQ(wide.Pixel(1, 0), clLime);
  EXPECT_EQ(wide.Pixel(2, 0), clBlack);
}

TEST(GifImage, DamagedFilesRaiseTheLoadError) {
  TGifLayout layout{5, 4, 0, kFour, {}};
  layout.frames.push_back(FrameOf(0, 0, 5, 4, [](int x, int y) { return (x * y) % 4; }));
  const TByteBuffer good = MakeGif(layout);
  ASSERT_EQ(Load(good).Width(), 5);
  // Every truncation of the file before its picture data ends.
  for (std::size_t n = 0; n + 2 < good.size(); ++n) {
    SCOPED_TRACE(n);
    EXPECT_THROW(Load(TByteBuffer(good.begin(), good.begin() + std::ptrdiff_t(n))), EImageError);
  }
  std::vector<int> indices;
  for (int i = 0; i < 60; ++i) indices.push_back(i * 5 / 3 % 4);
  const TByteBuffer wide = RawGif(10, 6, indices, 9);
  TByteBuffer mapPastTheEnd = RawGif(10, 6, indices, 9);
  mapPastTheEnd[13 + 12 + 9] |= 0x87;  // a local map of 256 entries, not there
  const std::pair<const char*, TByteBuffer> cases[] = {
      {"literals of 13 bits", RawGif(10, 6, indices, 13)},
      {"literals of 9 bits, data cut", TByteBuffer(wide.begin(), wide.end() - 20)},
      {"literals of 9 bits, local map past the end", mapPastTheEnd},
      {"not a GIF", {'G', 'I', 'F', '8', '9', 'b', 0, 0}},
      {"no picture", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, ';'}},
      // A 1x1 frame on a screen beyond the size limit.
      {"huge screen", {'G', 'I', 'F', '8', '9', 'a', 0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0, 0, 0,    0,    0, 255, 255,
                       255, ',', 1,   0,   1,   0,   1,    0,    1,    0,    0,    2, 2, 0x4C, 0x01, 0, ';'}},
      {"frame without pixels", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0,    0,    0, 255, 255,
                                255, ',', 0,   0,   0,   0,   0, 0, 0, 0, 0,    2, 2, 0x4C, 0x01, 0, ';'}},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    EXPECT_THROW(Load(bytes), EImageError);
  }
}

// A file that stops right after its frame's last block of data (no empty
// block, no trailer) still holds every pixel, and reads as the whole file
// does; a byte less and it fails (see above).
TEST(GifImage, FrameWithoutItsEndingBlockStillReads) {
  for (bool interlaced : {false, true}) {
    SCOPED_TRACE(interlaced ? "interlaced" : "progressive");
    TGifLayout layout{6, 9, 0, kFour, {}};
    layout.frames.push_back(FrameOf(0, 0, 6, 9, [](int x, int y) { return (x + 2 * y) % 4; }));
    layout.frames.back().interlaced = interlaced;
    const TByteBuffer whole = MakeGif(layout);
    ASSERT_EQ(whole.end()[-2], 0x00);
    ASSERT_EQ(whole.end()[-1], ';');
    const TBitmap cut = Load(TByteBuffer(whole.begin(), whole.end() - 2));
    EXPECT_TRUE(SamePixels(cut, Load(whole)));
  }
}

TEST(GifImage, PictureLargerThanItsFileCouldDescribeFails) {
  // A 1 x 1 frame on a 20000 x 20000 screen: 400 million pixels of background
  // from a file of a few dozen bytes.
  TGifLayout huge{20000, 20000, 0, kFour, {}};
  huge.frames.push_back(FrameOf(0, 0, 1, 1, [](int, int) { return 1; }));
  EXPECT_THROW(Load(MakeGif(huge)), EImageError);
  // A modest screen around a small frame still loads.
  TGifLayout modest{1000, 800, 0, kFour, {}};
  modest.frames.push_back(FrameOf(0, 0, 1, 1, [](int, int) { return 1; }));
  EXPECT_EQ(Load(MakeGif(modest)).Width(), 1000);
  // A uniform frame compresses about as far as LZW goes, and still loads.
  TGifLayout uniform{2000, 2000, 0, kFour, {}};
  uniform.frames.push_back(FrameOf(0, 0, 2000, 2000, [](int, int) { return 1; }));
  const TByteBuffer bytes = MakeGif(uniform);
  EXPECT_EQ(Load(bytes).Height(), 2000);
  // The same header with its data cut short fails before the frame is made.
  EXPECT_THROW(Load(TByteBuffer(bytes.begin(), bytes.begin() + 60)), EImageError);
}

TEST(GifImage, SavingNothingFails) {
  TGifImage gif;
  TByteBuffer out;
  EXPECT_THROW(gif.SaveToBytes(out), EImageError);
}

TEST(GifImage, SaveLeavesTheSourceAlone) {
  const TBitmap photo = PhotoLike(40, 30);
  TGifImage gif;
  gif.Bitmap().Assign(&photo);
  TByteBuffer out;
  gif.SaveToBytes(out);
  EXPECT_EQ(gif.Bitmap().PixelFormat(), pf24bit);
  EXPECT_TRUE(SamePixels(gif.Bitmap(), photo));
}
