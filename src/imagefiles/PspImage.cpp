#include "imagefiles/PspImage.h"

#include "imagefiles/CodecHelpers.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr char Signature[] = "Paint Shop Pro Image File\n\x1a";
constexpr std::size_t SignatureSize = sizeof(Signature) - 1;
constexpr std::size_t BlocksStart = 36;  // 32-byte signature field, then the version

enum : unsigned {
  BlockImage = 0,
  BlockColor = 2,
  BlockLayerBank = 3,
  BlockLayer = 4,
  BlockChannel = 5,
  BlockCompositeImage = 9,
  BlockCompositeBank = 16,
  BlockCompositeAttributes = 17,
  BlockJpeg = 18,
};
enum : unsigned { CompressNone = 0, CompressRle = 1, CompressDeflate = 2, CompressJpeg = 3 };
// Bitmap types of channels: a layer's picture and transparency, the
// composite's picture and transparency; other types (masks, selections,
// thumbnails) are not needed here.
enum : unsigned { DibImage = 0, DibTransparency = 1, DibComposite = 8, DibCompositeTransparency = 9 };
enum : unsigned { ChannelIndex = 0, ChannelRed = 1, ChannelGreen = 2, ChannelBlue = 3 };

[[noreturn]] void Fail(const std::string& what) { throw EImageError("Paint Shop Pro: " + what); }

// Little-endian reads confined to [pos, end) of the file; running past the end
// is a damaged file.
class TReader : public TByteCursor {
 public:
  TReader(TBytes data, std::size_t pos, std::size_t end) : TByteCursor(Window(data, pos, end), pos), m_end(end) {}
  std::size_t Pos() const { return Position(); }
  std::size_t End() const { return m_end; }

 private:
  static TBytes Window(TBytes data, std::size_t pos, std::size_t end) {
    if (pos > end || end > data.size()) Fail("damaged structure");
    return data.first(end);
  }
  std::size_t m_end;
};

struct TBlock {
  unsigned id = 0;
  std::size_t begin = 0, end = 0;  // the block's content
  std::size_t firstEnd = 0;        // end of the first data (version 3)
};

struct TRect {
  std::int64_t left = 0, top = 0, right = 0, bottom = 0;
};

struct TChannel {
  unsigned bitmapType = 0, channelType = 0;
  std::uint32_t expanded = 0;  // length once decompressed
  TBytes stored;
};

struct TLayer {
  TRect saved;  // the area the channels cover
  unsigned opacity = 255;
  std::vector<TChannel> channels;
};

struct TComposite {
  std::int64_t width = 0, height = 0;
  unsigned depth = 0, compression = 0, kind = 0;  // kind 0: the full composite, 1: thumbnail
  bool jpeg = false, present = false;
  std::vector<QRgb> palette;
  std::vector<TChannel> channels;
};

// One channel decompressed: rows of `stride` bytes.
struct TPlane {
  std::vector<std::uint8_t> bytes;
  std::size_t stride = 0;
};

class TParser {
 public:
  explicit TParser(TBytes data) : m_data(data) {}
  void Parse();
  TBitmap Picture();

 private:
  bool NextBlock(std::size_t& pos, std::size_t end, TBlock& block) const;
  TReader FirstData(const TBlock& block) const;
  TReader Chunk(std::size_t pos, std::size_t end) const;
  bool StartsBlock(std::size_t pos, std::size_t end) const;
  std::size_t AfterInfo(const TBlock& block) const;
  std::vector<QRgb> Palette(const TBlock& block) const;
  TChannel Channel(const TBlock& block) const;
  void Layer(const TBlock& block);
  void CompositeBank(std::size_t pos, std::size_t end, std::deque<TComposite*>& unpaired);
  void CompositeImage(const TBlock& block, TComposite& composite);

  TPlane Expand(const TChannel& channel, unsigned compression, std::int64_t w, std::int64_t h, unsigned bits) const;
  QImage Render(std::int64_t canvasW, std::int64_t canvasH, const TRect& area, unsigned depth, unsigned compression,
                const std::vector<QRgb>& palette, const std::vector<TChannel>& channels, unsigned opacity,
                bool forceAlpha) const;

  TBytes m_data;
  unsigned m_major = 0;
  bool m_haveAttributes = false;
  std::int64_t m_width = 0, m_height = 0;
  unsigned m_compression = 0, m_depth = 0;
  bool m_grey = false;
  std::vector<QRgb> m_palette;
  std::vector<TLayer> m_layers;
  std::deque<TComposite> m_composites;
};

// Reads the block header at pos; false when no further block starts there
// (end of the enclosing data or of the file).
bool TParser::NextBlock(std::size_t& pos, std::size_t end, TBlock& block) const {
  const std::size_t header = m_major < 4 ? 14 : 10;
  if (end - pos < header || std::memcmp(m_data.data() + pos, "~BK\0", 4) != 0) return false;
  TReader r(m_data, pos + 4, end);
  block.id = r.U16();
  std::uint32_t first = 0;
  if (m_major < 4) first = r.U32();
  const std::uint32_t total = r.U32();
  block.begin = r.Pos();
  if (total > end - block.begin) Fail("a block runs past its end");
  block.end = block.begin + total;
  if (m_major < 4 && first > total) Fail("damaged block header");
  block.firstEnd = m_major < 4 ? block.begin + first : block.begin;
  pos = block.end;
  return true;
}

bool TParser::StartsBlock(std::size_t pos, std::size_t end) const {
  return end - pos >= 4 && std::memcmp(m_data.data() + pos, "~BK\0", 4) == 0;
}

// A chunk: its own length first (version 4 on), the length included.
TReader TParser::Chunk(std::size_t pos, std::size_t end) const {
  TReader r(m_data, pos, end);
  const std::uint32_t size = r.U32();
  if (size < 4 || size > end - pos) Fail("damaged chunk");
  return TReader(m_data, pos + 4, pos + size);
}

TReader TParser::FirstData(const TBlock& block) const {
  if (m_major < 4) return TReader(m_data, block.begin, block.firstEnd);
  return Chunk(block.begin, block.end);
}

// Where the sub-blocks of a container block start: after its information
// chunk, if it has one.
std::size_t TParser::AfterInfo(const TBlock& block) const {
  if (m_major < 4) return block.firstEnd;
  if (block.begin == block.end || StartsBlock(block.begin, block.end)) return block.begin;
  return Chunk(block.begin, block.end).End();
}

// Colour palette: the entry count, then blue, green, red and a spare byte each.
std::vector<QRgb> TParser::Palette(const TBlock& block) const {
  TReader info = FirstData(block);
  const std::uint32_t count = info.U32();
  TReader entries(m_data, info.End(), block.end);
  std::vector<QRgb> palette;
  for (std::uint32_t i = 0; i < count && i < 256; ++i) {
    const unsigned b = entries.U8(), g = entries.U8(), r = entries.U8();
    entries.U8();
    palette.push_back(qRgb(int(r), int(g), int(b)));
  }
  return palette;
}

TChannel TParser::Channel(const TBlock& block) const {
  TReader info = FirstData(block);
  TChannel c;
  const std::uint32_t storedLength = info.U32();
  c.expanded = info.U32();
  c.bitmapType = info.U16();
  c.channelType = info.U16();
  const std::size_t start = info.End();
  if (storedLength > block.end - start) Fail("channel data runs past its block");
  c.stored = m_data.subspan(start, storedLength);
  return c;
}

void TParser::Layer(const TBlock& block) {
  TReader info = FirstData(block);
  if (m_major < 4) {
    info.Skip(256);  // fixed-size name
  } else {
    info.Skip(info.U16());
  }
  info.U8();                               // layer type: raster layers are recognised by their channels
  for (int i = 0; i < 4; ++i) info.I32();  // the layer's whole extent
  TLayer layer;
  layer.saved.left = info.I32();
  layer.saved.top = info.I32();
  layer.saved.right = info.I32();
  layer.saved.bottom = info.I32();
  layer.opacity = info.U8();

  std::size_t pos = info.End();
  // From version 4 the bitmap information follows as a chunk of its own.
  if (m_major >= 4 && !StartsBlock(pos, block.end)) pos = Chunk(pos, block.end).End();
  TBlock sub;
  while (NextBlock(pos, block.end, sub))
    if (sub.id == BlockChannel) layer.channels.push_back(Channel(sub));
  m_layers.push_back(std::move(layer));
}

void TParser::CompositeImage(const TBlock& block, TComposite& composite) {
  std::size_t pos = AfterInfo(block);
  TBlock sub;
  while (NextBlock(pos, block.end, sub)) {
    if (sub.id == BlockColor) composite.palette = Palette(sub);
    if (sub.id == BlockChannel) composite.channels.push_back(Channel(sub));
  }
  composite.present = true;
}

// The bank's attributes blocks each describe one composite; the image (or
// JPEG) blocks that follow them, at the same level or inside them, hold the
// pixels in the same order.
void TParser::CompositeBank(std::size_t pos, std::size_t end, std::deque<TComposite*>& unpaired) {
  TBlock sub;
  while (NextBlock(pos, end, sub)) {
    if (sub.id == BlockCompositeAttributes) {
      TReader a = FirstData(sub);
      TComposite& c = m_composites.emplace_back();
      c.width = a.I32();
      c.height = a.I32();
      c.depth = a.U16();
      c.compression = a.U16();
      a.U16();  // planes
      a.U32();  // colour count
      c.kind = a.U16();
      unpaired.push_back(&c);
      CompositeBank(a.End(), sub.end, unpaired);
    } else if ((sub.id == BlockCompositeImage || sub.id == BlockJpeg) && !unpaired.empty()) {
      TComposite& c = *unpaired.front();
      unpaired.pop_front();
      if (sub.id == BlockJpeg)
        c.jpeg = true;
      else
        CompositeImage(sub, c);
    }
  }
}

void TParser::Parse() {
  if (m_data.size() < BlocksStart || std::memcmp(m_data.data(), Signature, SignatureSize) != 0)
    Fail("not a Paint Shop Pro file");
  TReader version(m_data, 32, BlocksStart);
  m_major = version.U16();
  if (m_major < 3) Fail("files of Paint Shop Pro 4 and before are not supported");

  std::size_t pos = BlocksStart;
  TBlock block;
  while (NextBlock(pos, m_data.size(), block)) {
    switch (block.id) {
      case BlockImage: {
        TReader a = FirstData(block);
        m_width = a.I32();
        m_height = a.I32();
        a.Skip(8 + 1);  // resolution and its unit
        m_compression = a.U16();
        m_depth = a.U16();
        a.U16();  // planes
        a.U32();  // colour count
        m_grey = a.U8() != 0;
        m_haveAttributes = true;
        break;
      }
      case BlockColor: m_palette = Palette(block); break;
      case BlockLayerBank: {
        std::size_t at = AfterInfo(block);
        TBlock layer;
        while (NextBlock(at, block.end, layer))
          if (layer.id == BlockLayer) Layer(layer);
        break;
      }
      case BlockCompositeBank: {
        std::deque<TComposite*> unpaired;
        CompositeBank(AfterInfo(block), block.end, unpaired);
        break;
      }
      default: break;
    }
  }
  if (!m_haveAttributes) Fail("the file has no image attributes");
  // The canvas may be larger than the layer the file stores (see Picture).
  CheckCanvasSize(m_width, m_height);
}

// Decompresses one channel of w x h samples of `bits` bits. The rows may be
// padded to 4 bytes; the stated expanded length tells which. The stored
// length bounds what any compression can expand to, so a small file cannot
// ask for a large buffer.
TPlane TParser::Expand(const TChannel& channel, unsigned compression, std::int64_t w, std::int64_t h,
                       unsigned bits) const {
  const std::size_t tight = (std::size_t(w) * bits + 7) / 8, padded = (tight + 3) & ~std::size_t(3);
  TPlane plane;
  if (std::uint64_t(channel.expanded) == std::uint64_t(tight) * std::uint64_t(h))
    plane.stride = tight;
  else if (std::uint64_t(channel.expanded) == std::uint64_t(padded) * std::uint64_t(h))
    plane.stride = padded;
  else
    Fail("a channel's size does not match its picture");
  const std::size_t n = channel.expanded;
  const std::size_t stored = channel.stored.size();
  const TBytes in = channel.stored;
  switch (compression) {
    case CompressNone: {
      if (stored < n) Fail("channel data is truncated");
      plane.bytes.assign(in.begin(), in.begin() + std::ptrdiff_t(n));
      break;
    }
    case CompressRle: {
      // A count above 128 repeats the next byte count - 128 times; any other
      // count copies that many bytes. Two stored bytes give at most 127.
      if (n / 64 > stored) Fail("channel data is truncated");
      plane.bytes.resize(n);
      std::size_t i = 0, o = 0;
      while (o < n) {
        if (i >= stored) Fail("channel data is truncated");
        std::size_t count = in[i++];
        if (count > 128) {
          if (i >= stored) Fail("channel data is truncated");
          const std::uint8_t v = in[i++];
          count = std::min(count - 128, n - o);
          std::memset(plane.bytes.data() + o, v, count);
          o += count;
        } else {
          if (count > stored - i) Fail("channel data is truncated");
          const std::size_t copied = std::min(count, n - o);
          std::memcpy(plane.bytes.data() + o, in.data() + i, copied);
          i += count;
          o += copied;
        }
      }
      break;
    }
    case CompressDeflate: {
      // Deflate expands at most about 1032 to 1.
      if (n / 1032 > stored + 1) Fail("channel data is truncated");
      plane.bytes.resize(n);
      z_stream z{};
      if (inflateInit(&z) != Z_OK) Fail("the decompressor cannot start");
      z.next_in = const_cast<Bytef*>(in.data());
      z.avail_in = uInt(std::min<std::size_t>(stored, 0xFFFFFFFFu));
      z.next_out = plane.bytes.data();
      z.avail_out = uInt(n);
      const int rc = inflate(&z, Z_FINISH);
      const bool full = z.avail_out == 0;
      inflateEnd(&z);
      if (!full || (rc != Z_STREAM_END && rc != Z_OK && rc != Z_BUF_ERROR)) Fail("damaged compressed channel");
      break;
    }
    default: Fail("unsupported channel compression");
  }
  return plane;
}

unsigned Sample(const TPlane& plane, std::int64_t x, std::int64_t y, unsigned bits) {
  const std::uint8_t* row = plane.bytes.data() + std::size_t(y) * plane.stride;
  if (bits == 8) return row[x];
  const std::size_t bit = std::size_t(x) * bits;
  return (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
}

// Paints the channels covering `area` onto a canvas of canvasW x canvasH.
QImage TParser::Render(std::int64_t canvasW, std::int64_t canvasH, const TRect& area, unsigned depth,
                       unsigned compression, const std::vector<QRgb>& palette, const std::vector<TChannel>& channels,
                       unsigned opacity, bool forceAlpha) const {
  const std::int64_t w = area.right - area.left, h = area.bottom - area.top;
  CheckPictureSize(w, h);
  const bool colour = depth == 24;
  const unsigned bits = colour ? 8 : depth;
  std::optional<TPlane> red, green, blue, index, mask;
  for (const TChannel& c : channels) {
    const bool picture = c.bitmapType == DibImage || c.bitmapType == DibComposite;
    const bool transparency = c.bitmapType == DibTransparency || c.bitmapType == DibCompositeTransparency;
    if (picture && colour && c.channelType == ChannelRed && !red) red = Expand(c, compression, w, h, 8);
    if (picture && colour && c.channelType == ChannelGreen && !green) green = Expand(c, compression, w, h, 8);
    if (picture && colour && c.channelType == ChannelBlue && !blue) blue = Expand(c, compression, w, h, 8);
    if (picture && !colour && c.channelType == ChannelIndex && !index) index = Expand(c, compression, w, h, bits);
    if (transparency && c.channelType == ChannelIndex && !mask) mask = Expand(c, compression, w, h, 8);
  }
  if (colour ? !(red && green && blue) : !index) Fail("the picture's channels are missing");

  std::vector<QRgb> table = palette;
  if (!colour && table.empty()) {
    if (!m_grey) Fail("the palette is missing");
    const QList<QRgb> ramp = GreyRamp(1 << bits);
    table.assign(ramp.begin(), ramp.end());
  }

  const bool covers = area.left <= 0 && area.top <= 0 && area.right >= canvasW && area.bottom >= canvasH;
  const bool alpha = forceAlpha || mask || opacity < 255 || !covers;
  QImage out(int(canvasW), int(canvasH), alpha ? QImage::Format_ARGB32 : QImage::Format_BGR888);
  if (out.isNull()) Fail("not enough memory for the picture");
  out.fill(alpha ? QColor(255, 255, 255, 0) : QColor(255, 255, 255));
  const std::int64_t x0 = std::max<std::int64_t>(area.left, 0), y0 = std::max<std::int64_t>(area.top, 0);
  const std::int64_t x1 = std::min(area.right, canvasW), y1 = std::min(area.bottom, canvasH);
  for (std::int64_t y = y0; y < y1; ++y) {
    std::uint8_t* row = out.scanLine(int(y));
    const std::int64_t sy = y - area.top;
    for (std::int64_t x = x0; x < x1; ++x) {
      const std::int64_t sx = x - area.left;
      unsigned r, g, b;
      if (colour) {
        r = Sample(*red, sx, sy, 8), g = Sample(*green, sx, sy, 8), b = Sample(*blue, sx, sy, 8);
      } else {
        const unsigned i = Sample(*index, sx, sy, bits);
        const QRgb c = i < table.size() ? table[i] : qRgb(0, 0, 0);
        r = unsigned(qRed(c)), g = unsigned(qGreen(c)), b = unsigned(qBlue(c));
      }
      std::uint8_t* p = row + x * (alpha ? 4 : 3);
      p[0] = std::uint8_t(b), p[1] = std::uint8_t(g), p[2] = std::uint8_t(r);
      if (alpha) p[3] = std::uint8_t((mask ? Sample(*mask, sx, sy, 8) : 255) * opacity / 255);
    }
  }
  return out;
}

TBitmap TParser::Picture() {
  if (m_depth != 1 && m_depth != 4 && m_depth != 8 && m_depth != 24) Fail("unsupported colour depth");
  TBitmap result;
  for (const TComposite& c : m_composites) {
    if (c.kind != 0 || !c.present || c.jpeg) continue;
    if (c.depth != 1 && c.depth != 4 && c.depth != 8 && c.depth != 24) continue;
    CheckPictureSize(c.width, c.height);
    QImage image = Render(c.width, c.height, TRect{0, 0, c.width, c.height}, c.depth, c.compression,
                          c.palette.empty() ? m_palette : c.palette, c.channels, 255, false);
    const TPixelFormat pf = image.format() == QImage::Format_ARGB32 ? pf32bit : pf24bit;
    result.SetImage(std::move(image), pf);
    return result;
  }
  if (m_compression == CompressJpeg) Fail("unsupported channel compression");
  const TLayer* only = nullptr;
  for (const TLayer& layer : m_layers) {
    const bool raster = std::any_of(layer.channels.begin(), layer.channels.end(),
                                    [](const TChannel& c) { return c.bitmapType == DibImage; });
    if (!raster) continue;
    if (only) Fail("pictures of several layers without a composite image are not supported");
    only = &layer;
  }
  if (!only) Fail("the file holds no picture");
  // The canvas around a smaller layer is backed by no data at all: beyond a
  // generous floor it may not be larger than the whole file could describe
  // deflated, so that a tiny file cannot claim gigabytes through it.
  if (m_width * m_height > std::max(UnbackedPixels, std::int64_t(m_data.size()) * MaxDeflateRatio * 4))
    Fail("the canvas is larger than the file could describe");
  QImage image =
      Render(m_width, m_height, only->saved, m_depth, m_compression, m_palette, only->channels, only->opacity, false);
  const TPixelFormat pf = image.format() == QImage::Format_ARGB32 ? pf32bit : pf24bit;
  result.SetImage(std::move(image), pf);
  return result;
}

}  // namespace

void TPspImage::ReadBytes(TBytes data) {
  TParser parser(data);
  parser.Parse();
  m_bitmap = parser.Picture();
}
