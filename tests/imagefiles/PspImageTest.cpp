#include "imagefiles/PspImage.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "TestBitmaps.h"
#include "TestFiles.h"
#include "imagefiles/FormatFixtures.h"

using namespace testing_bitmaps;
using namespace testing_files;

namespace {

// ---- a small writer of Paint Shop Pro files, enough for the reader's paths ----

enum : unsigned { None = 0, Rle = 1, Deflate = 2, Jpeg = 3 };

void Append(TByteBuffer& to, const TByteBuffer& from) { to.insert(to.end(), from.begin(), from.end()); }

TByteBuffer RleEncode(const TByteBuffer& in) {
  TByteBuffer out;
  std::size_t i = 0;
  while (i < in.size()) {
    std::size_t run = 1;
    while (i + run < in.size() && in[i + run] == in[i] && run < 127) ++run;
    if (run >= 3) {
      out.push_back(std::uint8_t(128 + run));
      out.push_back(in[i]);
      i += run;
      continue;
    }
    std::size_t n = 0;  // literals up to the next run of three
    while (i + n < in.size() && n < 128 &&
           !(i + n + 2 < in.size() && in[i + n] == in[i + n + 1] && in[i + n] == in[i + n + 2]))
      ++n;
    out.push_back(std::uint8_t(n));
    out.insert(out.end(), in.begin() + std::ptrdiff_t(i), in.begin() + std::ptrdiff_t(i + n));
    i += n;
  }
  return out;
}

TByteBuffer DeflateEncode(const TByteBuffer& in) {
  uLongf size = compressBound(uLong(in.size()));
  TByteBuffer out(size);
  compress(out.data(), &size, in.data(), uLong(in.size()));
  out.resize(size);
  return out;
}

struct TChannelSpec {
  unsigned bitmapType = 0, channelType = 0;
  TByteBuffer samples;  // expanded, rows as they are stored
};

struct TLayerSpec {
  int left = 0, top = 0, width = 0, height = 0;  // the saved rectangle
  unsigned opacity = 255;
  std::vector<TChannelSpec> channels;
};

struct TCompositeSpec {
  int width = 0, height = 0;
  unsigned depth = 24, compression = None, kind = 0;
  bool jpeg = false;
  std::vector<QRgb> palette;
  std::vector<TChannelSpec> channels;
};

struct TPspSpec {
  unsigned major = 5;
  int width = 0, height = 0;
  unsigned depth = 24, compression = None;
  bool grey = false;
  std::vector<QRgb> palette;  // the image's own palette block
  std::vector<TCompositeSpec> composites;
  std::vector<TLayerSpec> layers;
};

class TPspWriter {
 public:
  explicit TPspWriter(unsigned major) : m_major(major) {}

  // Version 4 on: every chunk starts with its own length.
  TByteBuffer Chunk(const TByteBuffer& fields) const {
    if (m_major < 4) return fields;
    TByteBuffer c;
    PutLE32(c, std::uint32_t(fields.size() + 4));
    Append(c, fields);
    return c;
  }

  TByteBuffer Block(unsigned id, const TByteBuffer& first, const TByteBuffer& rest) const {
    TByteBuffer b = {'~', 'B', 'K', 0};
    PutLE16(b, id);
    if (m_major < 4) PutLE32(b, std::uint32_t(first.size()));
    PutLE32(b, std::uint32_t(first.size() + rest.size()));
    Append(b, first);
    Append(b, rest);
    return b;
  }

  TByteBuffer Palette(const std::vector<QRgb>& colours) const {
    TByteBuffer count, entries;
    PutLE32(count, std::uint32_t(colours.size()));
    for (QRgb c : colours)
      entries.insert(entries.end(), {std::uint8_t(qBlue(c)), std::uint8_t(qGreen(c)), std::uint8_t(qRed(c)), 0});
    return Block(2, Chunk(count), entries);
  }

  TByteBuffer Channel(const TChannelSpec& c, unsigned compression) const {
    const TByteBuffer stored = compression == Rle       ? RleEncode(c.samples)
                               : compression == Deflate ? DeflateEncode(c.samples)
                                                        : c.samples;
    TByteBuffer info;
    PutLE32(info, std::uint32_t(stored.size()));
    PutLE32(info, std::uint32_t(c.samples.size()));
    PutLE16(info, c.bitmapType);
    PutLE16(info, c.channelType);
    return Block(5, Chunk(info), stored);
  }

  TByteBuffer Layer(const TLayerSpec& l, unsigned compression) const {
    TByteBuffer info;
    if (m_major < 4) {
      info.resize(256, 0);
      std::memcpy(info.data(), "Background", 10);
    } else {
      PutLE16(info, 5);
      info.insert(info.end(), {'L', 'a', 'y', 'e', 'r'});
    }
    info.push_back(1);             // raster
    for (int i = 0; i < 2; ++i) {  // the whole extent, then the saved part
      PutLE32(info, std::uint32_t(l.left));
      PutLE32(info, std::uint32_t(l.top));
      PutLE32(info, std::uint32_t(l.left + l.width));
      PutLE32(info, std::uint32_t(l.top + l.height));
    }
    info.insert(info.end(), {std::uint8_t(l.opacity), 0, 1, 0, 0});  // opacity, normal blend, visible
    info.resize(info.size() + 32 + 3, 0);                            // mask rectangles and flags
    PutLE16(info, 5);
    info.resize(info.size() + 40, 0);  // blend ranges
    TByteBuffer bitmaps;
    PutLE16(bitmaps, 1);
    PutLE16(bitmaps, std::uint32_t(l.channels.size()));
    TByteBuffer first, rest;
    if (m_major < 4) {
      first = info;
      Append(first, bitmaps);
    } else {
      first = Chunk(info);
      rest = Chunk(bitmaps);
    }
    for (const TChannelSpec& c : l.channels) Append(rest, Channel(c, compression));
    return Block(4, first, rest);
  }

  TByteBuffer CompositeBank(const std::vector<TCompositeSpec>& composites) const {
    TByteBuffer count, rest;
    PutLE32(count, std::uint32_t(composites.size()));
    for (const TCompositeSpec& c : composites) {
      TByteBuffer attributes;
      PutLE32(attributes, std::uint32_t(c.width));
      PutLE32(attributes, std::uint32_t(c.height));
      PutLE16(attributes, c.depth);
      PutLE16(attributes, c.jpeg ? Jpeg : c.compression);
      PutLE16(attributes, 1);
      PutLE32(attributes, c.depth >= 24 ? 1u << 24 : 1u << c.depth);
      PutLE16(attributes, c.kind);
      Append(rest, Block(17, Chunk(attributes), {}));
      if (c.jpeg) {
        TByteBuffer jpeg;
        PutLE32(jpeg, 4);
        PutLE32(jpeg, 4);
        PutLE16(jpeg, 0);
        Append(rest, Block(18, Chunk(jpeg), {0xFF, 0xD8, 0xFF, 0xD9}));
        continue;
      }
      TByteBuffer info, image;
      PutLE16(info, 1);
      PutLE16(info, std::uint32_t(c.channels.size()));
      if (!c.palette.empty()) Append(image, Palette(c.palette));
      for (const TChannelSpec& ch : c.channels) Append(image, Channel(ch, c.compression));
      Append(rest, Block(9, Chunk(info), image));
    }
    return Block(16, Chunk(count), rest);
  }

 private:
  unsigned m_major;
};

TByteBuffer MakePsp(const TPspSpec& s) {
  const TPspWriter w(s.major);
  TByteBuffer out(32, 0);
  std::memcpy(out.data(), "Paint Shop Pro Image File\n\x1a", 27);
  PutLE16(out, s.major);
  PutLE16(out, 0);
  TByteBuffer attributes;
  PutLE32(attributes, std::uint32_t(s.width));
  PutLE32(attributes, std::uint32_t(s.height));
  attributes.resize(attributes.size() + 8, 0);  // resolution
  attributes.push_back(1);                      // per inch
  PutLE16(attributes, s.compression);
  PutLE16(attributes, s.depth);
  PutLE16(attributes, 1);
  PutLE32(attributes, s.depth >= 24 ? 1u << 24 : 1u << s.depth);
  attributes.push_back(s.grey ? 1 : 0);
  PutLE32(attributes, 0);
  PutLE32(attributes, 0);
  PutLE16(attributes, std::uint32_t(s.layers.size()));
  if (s.major >= 4) PutLE32(attributes, 1);
  Append(out, w.Block(0, w.Chunk(attributes), {}));
  if (!s.composites.empty()) Append(out, w.CompositeBank(s.composites));
  if (!s.palette.empty()) Append(out, w.Palette(s.palette));
  TByteBuffer layers;
  for (const TLayerSpec& l : s.layers) Append(layers, w.Layer(l, s.compression));
  Append(out, w.Block(3, {}, layers));
  return out;
}

// The samples of one channel of a w x h picture, rows padded to `align` bytes.
TByteBuffer Samples(int w, int h, const std::function<int(int, int)>& value, int bits = 8, int align = 1) {
  const std::size_t tight = (std::size_t(w) * std::size_t(bits) + 7) / 8;
  const std::size_t stride = (tight + std::size_t(align) - 1) / std::size_t(align) * std::size_t(align);
  TByteBuffer s(stride * std::size_t(h), 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::size_t bit = std::size_t(x) * std::size_t(bits);
      std::uint8_t& byte = s[std::size_t(y) * stride + bit / 8];
      byte |= std::uint8_t(value(x, y) << (8 - bits - int(bit % 8)));
    }
  return s;
}

// Red, green and blue channels of a colour function, for layers (bitmap type
// 0) or composites (8).
std::vector<TChannelSpec> RgbChannels(int w, int h, const std::function<TColor(int, int)>& colour,
                                      unsigned bitmapType = 0) {
  return {{bitmapType, 1, Samples(w, h, [&](int x, int y) { return GetRValue(colour(x, y)); })},
          {bitmapType, 2, Samples(w, h, [&](int x, int y) { return GetGValue(colour(x, y)); })},
          {bitmapType, 3, Samples(w, h, [&](int x, int y) { return GetBValue(colour(x, y)); })}};
}

TColor Other(int x, int y) { return RGBColor(255 - x, 3 * y, 77); }

constexpr auto Load = LoadAs<TPspImage>;

TPspSpec OneLayer(unsigned major, unsigned compression, int w = 7, int h = 5) {
  TPspSpec s;
  s.major = major, s.width = w, s.height = h, s.compression = compression;
  s.layers.push_back({0, 0, w, h, 255, RgbChannels(w, h, Distinct)});
  return s;
}

// A file with a full composite and a thumbnail in its bank and a layer that
// differs from the composite: the composite must win.
TPspSpec WithComposite(unsigned major, unsigned compression, int w = 6, int h = 4) {
  TPspSpec s = OneLayer(major, compression, w, h);
  s.layers[0].channels = RgbChannels(w, h, Other);
  TCompositeSpec thumbnail{2, 2, 24, compression, 1, false, {}, RgbChannels(2, 2, Other, 8)};
  TCompositeSpec full{w, h, 24, compression, 0, false, {}, RgbChannels(w, h, Distinct, 8)};
  s.composites = {thumbnail, full};
  return s;
}

}  // namespace

TEST(PspImage, ReadsTheOnlyLayerOfEveryVersionAndCompression) {
  for (unsigned major : {3u, 4u, 5u, 6u})
    for (unsigned compression : {None, Rle, Deflate}) {
      SCOPED_TRACE("version " + std::to_string(major) + ", compression " + std::to_string(compression));
      TBitmap b;
      ASSERT_NO_THROW(b = Load(MakePsp(OneLayer(major, compression))));
      EXPECT_EQ(b.PixelFormat(), pf24bit);
      EXPECT_TRUE(SamePixels(b, Numbered(7, 5)));
    }
}

TEST(PspImage, PrefersTheFullCompositeImage) {
  for (unsigned major : {4u, 5u, 6u})
    for (unsigned compression : {None, Rle, Deflate}) {
      SCOPED_TRACE("version " + std::to_string(major) + ", compression " + std::to_string(compression));
      TBitmap b;
      ASSERT_NO_THROW(b = Load(MakePsp(WithComposite(major, compression))));
      EXPECT_EQ(b.PixelFormat(), pf24bit);
      EXPECT_TRUE(SamePixels(b, Numbered(6, 4)));
    }
}

TEST(PspImage, JpegCompositeFallsBackToTheLayer) {
  TPspSpec s = OneLayer(6, Deflate, 5, 3);
  s.composites = {{5, 3, 24, None, 0, true, {}, {}}};
  EXPECT_TRUE(SamePixels(Load(MakePsp(s)), Numbered(5, 3)));
}

TEST(PspImage, PaletteAndGreyPicturesComeOutInTrueColour) {
  const std::vector<QRgb> palette = {qRgb(10, 20, 30), qRgb(200, 100, 0), qRgb(0, 255, 0), qRgb(1, 2, 3)};
  const auto index = [](int x, int y) { return (x + 2 * y) % 4; };
  const auto fromPalette = [&](int x, int y) {
    const QRgb c = palette[std::size_t(index(x, y))];
    return RGBColor(qRed(c), qGreen(c), qBlue(c));
  };
  struct TCase {
    const char* name;
    TPspSpec spec;
    std::function<TColor(int, int)> expected;
  };
  std::vector<TCase> cases;
  for (int bits : {8, 4, 1}) {
    // Palette pictures, rows padded to 4 bytes (as the format stores small depths).
    TPspSpec s;
    s.major = 5, s.width = 9, s.height = 3, s.depth = unsigned(bits), s.compression = Rle, s.palette = palette;
    const auto idx = [&, bits](int x, int y) { return bits == 1 ? index(x, y) % 2 : index(x, y); };
    s.layers.push_back({0, 0, 9, 3, 255, {{0, 0, Samples(9, 3, idx, bits, 4)}}});
    cases.push_back({bits == 8   ? "8-bit palette"
                     : bits == 4 ? "4-bit palette"
                                 : "1-bit palette",
                     s, [&, idx](int x, int y) {
                       const QRgb c = palette[std::size_t(idx(x, y))];
                       return RGBColor(qRed(c), qGreen(c), qBlue(c));
                     }});
  }
  TPspSpec grey;
  grey.major = 3, grey.width = 5, grey.height = 2, grey.depth = 8, grey.grey = true, grey.compression = Deflate;
  grey.layers.push_back({0, 0, 5, 2, 255, {{0, 0, Samples(5, 2, [](int x, int y) { return x * 50 + y; })}}});
  cases.push_back(
      {"8-bit grey, no palette", grey, [](int x, int y) { return RGBColor(x * 50 + y, x * 50 + y, x * 50 + y); }});
  TPspSpec composite;
  composite.major = 6, composite.width = 4, composite.height = 4, composite.depth = 8;
  composite.composites = {{4, 4, 8, None, 0, false, palette, {{8, 0, Samples(4, 4, index)}}}};
  cases.push_back({"8-bit composite with its own palette", composite, fromPalette});

  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TBitmap b;
    ASSERT_NO_THROW(b = Load(MakePsp(c.spec)));
    EXPECT_EQ(b.PixelFormat(), pf24bit);
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) ASSERT_EQ(Hex(b.Pixel(x, y)), Hex(c.expected(x, y))) << x << ", " << y;
  }
}

TEST(PspImage, TransparencyGivesThirtyTwoBits) {
  const auto alpha = [](int x, int y) { return x * 40 + y; };
  TPspSpec masked = OneLayer(5, Rle, 6, 3);
  masked.layers[0].channels.push_back({1, 0, Samples(6, 3, alpha)});
  TPspSpec composite = WithComposite(6, Deflate, 6, 3);
  composite.composites[1].channels.push_back({9, 0, Samples(6, 3, alpha)});
  TPspSpec faded = OneLayer(4, None, 6, 3);
  faded.layers[0].opacity = 128;
  struct TCase {
    const char* name;
    TPspSpec spec;
    std::function<int(int, int)> alpha;
  } const cases[] = {{"layer transparency mask", masked, alpha},
                     {"composite transparency mask", composite, alpha},
                     {"layer opacity", faded, [](int, int) { return 128; }}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const TBitmap b = Load(MakePsp(c.spec));
    EXPECT_EQ(b.PixelFormat(), pf32bit);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 6; ++x) {
        EXPECT_EQ(b.Pixel(x, y), Distinct(x, y));
        EXPECT_EQ(qAlpha(b.Image().pixel(x, y)), c.alpha(x, y));
      }
  }
}

TEST(PspImage, LayerSmallerThanTheCanvasSitsAtItsPosition) {
  TPspSpec s;
  s.major = 5, s.width = 8, s.height = 6, s.compression = Deflate;
  s.layers.push_back({2, 3, 4, 2, 255, RgbChannels(4, 2, Distinct)});
  const TBitmap b = Load(MakePsp(s));
  EXPECT_EQ(b.PixelFormat(), pf32bit);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) {
      const bool inside = x >= 2 && x < 6 && y >= 3 && y < 5;
      SCOPED_TRACE(std::to_string(x) + ", " + std::to_string(y));
      EXPECT_EQ(b.Pixel(x, y), inside ? Distinct(x - 2, y - 3) : clWhite);
      EXPECT_EQ(qAlpha(b.Image().pixel(x, y)), inside ? 255 : 0);
    }
}

TEST(PspImage, UnsupportedOrDamagedFilesFail) {
  const auto edited = [](TPspSpec s, const std::function<void(TPspSpec&)>& edit) {
    edit(s);
    return MakePsp(s);
  };
  const TPspSpec base = OneLayer(5, Rle, 6, 4);
  struct TCase {
    const char* name;
    TByteBuffer bytes;
  };
  std::vector<TCase> cases = {
      {"empty", {}},
      {"not the signature",
       [&] {
         TByteBuffer b = MakePsp(base);
         b[3] = 'X';
         return b;
       }()},
      {"Paint Shop Pro 4 file", edited(base, [](TPspSpec& s) { s.major = 2; })},
      {"no picture at all", edited(base, [](TPspSpec& s) { s.layers.clear(); })},
      {"only a JPEG composite", edited(base,
                                       [](TPspSpec& s) {
                                         s.layers.clear();
                                         s.composites = {{6, 4, 24, None, 0, true, {}, {}}};
                                       })},
      {"two raster layers and no composite", edited(base, [](TPspSpec& s) { s.layers.push_back(s.layers[0]); })},
      {"a colour channel missing", edited(base, [](TPspSpec& s) { s.layers[0].channels.pop_back(); })},
      {"channel size disagrees with the layer",
       edited(base, [](TPspSpec& s) { s.layers[0].channels[1].samples.pop_back(); })},
      {"16 bits a channel", edited(base, [](TPspSpec& s) { s.depth = 48; })},
      {"JPEG-compressed layers", edited(base, [](TPspSpec& s) { s.compression = Jpeg; })},
      {"palette picture without palette",
       edited(base,
              [](TPspSpec& s) {
                s.depth = 8;
                s.layers[0].channels = {{0, 0, Samples(6, 4, [](int, int) { return 1; })}};
              })},
      {"empty layer rectangle", edited(base, [](TPspSpec& s) { s.layers[0].width = 0; })},
  };
  // A damaged deflate stream and a channel length pointing past the file.
  TByteBuffer deflated = MakePsp(OneLayer(6, Deflate, 6, 4));
  const std::size_t stream = deflated.size() - 10;
  deflated[stream] ^= 0xFF, deflated[stream + 1] ^= 0xFF;
  cases.push_back({"damaged deflate data", deflated});
  TByteBuffer overrun = MakePsp(OneLayer(6, None, 6, 4));
  overrun[overrun.size() - 24 - 12] = 0xFF;  // the last channel's stored length, now far too large
  cases.push_back({"channel running past its block", overrun});

  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_THROW(Load(c.bytes), EImageError);
  }
}

TEST(PspImage, EveryTruncationFailsOrGivesTheWholePicture) {
  // Whatever the cut, the reader either reports the damage or (when the cut
  // falls after everything it needs) returns the exact picture.
  for (const TPspSpec& spec : {WithComposite(5, Rle), OneLayer(3, Deflate, 6, 4)}) {
    const TByteBuffer full = MakePsp(spec);
    for (std::size_t n = 0; n < full.size(); ++n) {
      SCOPED_TRACE(n);
      const TByteBuffer cut(full.begin(), full.begin() + std::ptrdiff_t(n));
      try {
        EXPECT_TRUE(SamePixels(Load(cut), Numbered(6, 4)));
      } catch (const EImageError&) {
      }
    }
  }
}

TEST(PspImage, CanvasFarLargerThanTheFileFails) {
  // 400 million pixels within the side limits, around a 2 x 2 layer: nothing
  // in a file of a few hundred bytes can stand for that much picture.
  TPspSpec s = OneLayer(5, Deflate, 2, 2);
  s.width = s.height = 20000;
  EXPECT_THROW(Load(MakePsp(s)), EImageError);
  // A modest canvas around a small layer still loads.
  s.width = s.height = 300;
  EXPECT_EQ(Load(MakePsp(s)).Width(), 300);
}

TEST(PspImage, HugeHeaderIsRefusedBeforeAllocating) {
  TPspSpec s = OneLayer(5, None, 2, 2);
  s.width = s.height = 100000;
  const int r = ReadWithDataBudget(ReaderMemoryBudget, MakePsp(s), [] { return std::make_unique<TPspImage>(); });
  EXPECT_EQ(r, brRefused) << BoundedReadName(r);
}

TByteBuffer SamplePspFile() { return MakePsp(OneLayer(5, Rle)); }
