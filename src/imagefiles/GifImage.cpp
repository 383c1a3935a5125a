#include "imagefiles/GifImage.h"

#include "imagefiles/CodecHelpers.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "imagefiles/ColorQuantizer.h"

namespace {

// ---- reading ----

struct TMemoryReader {
  TBytes data;
  std::size_t pos = 0;
};

int ReadFromMemory(GifFileType* gif, GifByteType* buf, int len) {
  auto* in = static_cast<TMemoryReader*>(gif->UserData);
  if (len <= 0) return 0;
  const std::size_t n = std::min(std::size_t(len), in->data.size() - in->pos);
  if (n) std::memcpy(buf, in->data.data() + in->pos, n);
  in->pos += n;
  return int(n);
}

struct TDecoderClose {
  void operator()(GifFileType* gif) const { DGifCloseFile(gif, nullptr); }
};
using TDecoder = std::unique_ptr<GifFileType, TDecoderClose>;

[[noreturn]] void Fail(const char* what, int code) {
  const char* detail = GifErrorString(code);
  throw EImageError(std::string("GIF: ") + what + (detail ? std::string(": ") + detail : std::string()));
}

QList<QRgb> TableOf(const ColorMapObject* map) {
  QList<QRgb> table;
  if (!map || !map->Colors) return table;
  const int count = std::clamp(map->ColorCount, 0, 256);
  table.reserve(count);
  for (int i = 0; i < count; ++i) table.append(qRgb(map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue));
  return table;
}

// Nearest entry of `to` for every entry of `from` (colours of a local map
// drawn onto a picture in the global palette).
std::array<uchar, 256> NearestMap(const QList<QRgb>& from, const QList<QRgb>& to) {
  std::array<uchar, 256> map{};
  for (qsizetype i = 0; i < from.size() && i < 256; ++i) {
    long bestDist = -1;
    for (qsizetype j = 0; j < to.size(); ++j) {
      const long dr = qRed(from[i]) - qRed(to[j]), dg = qGreen(from[i]) - qGreen(to[j]),
                 db = qBlue(from[i]) - qBlue(to[j]);
      const long d = dr * dr + dg * dg + db * db;
      if (bestDist < 0 || d < bestDist) bestDist = d, map[std::size_t(i)] = uchar(j);
    }
  }
  return map;
}

// ---- writing ----

struct TMemoryWriter {
  TByteBuffer* out;
};

int WriteToMemory(GifFileType* gif, const GifByteType* buf, int len) {
  auto* w = static_cast<TMemoryWriter*>(gif->UserData);
  if (len <= 0) return 0;
  w->out->insert(w->out->end(), buf, buf + len);
  return len;
}

struct TEncoderClose {
  void operator()(GifFileType* gif) const { EGifCloseFile(gif, nullptr); }
};
using TEncoder = std::unique_ptr<GifFileType, TEncoderClose>;

struct TMapFree {
  void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

}  // namespace

namespace {

// The file up to its first frame's pixels: the screen, the records before
// the frame, and the frame's descriptor, all checked. The decoder is left at
// the frame's first line.
struct TGifFrameStart {
  int screenW = 0, screenH = 0, background = 0;
  QList<QRgb> globalTable;
  int transparentIndex = -1;
  int left = 0, top = 0, frameW = 0, frameH = 0;
  bool hasLocalMap = false;
  QList<QRgb> frameTable;
  bool interlaced = false;
  bool covers = false;  // the frame covers the screen: the picture is the frame
  // A frame of wide literal codes (see TWideLzwFrame): its code size and the
  // offset of its first data block; 0 for a frame giflib decodes.
  int wideCodeSize = 0;
  std::size_t wideDataAt = 0;
};

// giflib refuses a frame whose LZW literals are wider than 8 bits (a minimum
// code size of 9 to 12), although every other reader we compared
// (ImageMagick, Pillow, Qt, libvips up to 11) decodes it: the pixels are the
// low 8 bits of each literal. Such a frame's descriptor is read here from the
// bytes at `at` (just after the ','), and its data by TWideLzwFrame. False
// when the descriptor is damaged in any other way, or ends with the file.
bool ReadWideCodeDescriptor(TBytes data, std::size_t at, TGifFrameStart& f) {
  TByteCursor in(data, at);
  try {
    f.left = int(in.U16()), f.top = int(in.U16()), f.frameW = int(in.U16()), f.frameH = int(in.U16());
    const std::uint8_t flags = in.U8();
    f.interlaced = (flags & 0x40) != 0;
    f.hasLocalMap = (flags & 0x80) != 0;
    if (f.hasLocalMap) {
      const TBytes map = in.Take(std::size_t(3) << ((flags & 0x07) + 1));
      f.frameTable.clear();
      for (std::size_t i = 0; i + 2 < map.size(); i += 3) f.frameTable.append(qRgb(map[i], map[i + 1], map[i + 2]));
    } else {
      f.frameTable = f.globalTable;
    }
    f.wideCodeSize = in.U8();
  } catch (const EImageError&) {
    return false;
  }
  f.wideDataAt = in.Position();
  return f.wideCodeSize >= 9 && f.wideCodeSize <= 12;
}

// The LZW data of a frame with literals of 9 to 12 bits, decoded as GIF
// decodes any frame: codes start one bit wider than a literal and widen up to
// 12 bits as the table of 4096 strings fills (a 12-bit literal leaves no room
// for strings: every code is 13 bits). Each pixel is a literal's low 8 bits.
class TWideLzwFrame {
 public:
  TWideLzwFrame(TBytes data, std::size_t at, int codeSize)
      : m_data(data), m_pos(at), m_codeSize(codeSize), m_clear(1 << codeSize) {
    Restart();
  }

  // The next `width` pixels; false when the data end (or a code is damaged)
  // before they are all there.
  bool Line(uchar* row, int width) {
    for (int x = 0; x < width; ++x) {
      if (m_pending == 0 && !Decode()) return false;
      row[x] = uchar(m_stack[--m_pending]);
    }
    return true;
  }

 private:
  static constexpr int TableSize = 4096;

  void Restart() {
    m_next = m_clear + 2;
    m_width = m_codeSize + 1;
    m_previous = -1;
  }

  // The next byte of the data blocks, -1 after the last block or the file.
  int NextByte() {
    while (m_blockLeft == 0) {
      if (m_pos >= m_data.size() || m_data[m_pos] == 0) return -1;
      m_blockLeft = m_data[m_pos++];
    }
    if (m_pos >= m_data.size()) return -1;
    --m_blockLeft;
    return m_data[m_pos++];
  }

  int NextCode() {
    while (m_bitCount < m_width) {
      const int byte = NextByte();
      if (byte < 0) return -1;
      m_bits |= std::uint32_t(byte) << m_bitCount;
      m_bitCount += 8;
    }
    const int code = int(m_bits & ((1u << m_width) - 1));
    m_bits >>= m_width;
    m_bitCount -= m_width;
    return code;
  }

  // Pushes the string of `code` (a literal or a table entry), last pixel
  // first; returns its first pixel's literal.
  int Push(int code) {
    while (code >= m_clear) {
      m_stack[m_pending++] = m_suffix[std::size_t(code)];
      code = m_prefix[std::size_t(code)];
    }
    m_stack[m_pending++] = std::uint16_t(code);
    return code;
  }

  // Decodes codes until one gives pixels.
  bool Decode() {
    for (;;) {
      const int code = NextCode();
      if (code < 0 || code == m_clear + 1) return false;
      if (code == m_clear) {
        Restart();
        continue;
      }
      if (m_previous < 0) {
        if (code > m_clear) return false;  // a string before any literal
        m_previousFirst = Push(code);
        m_previous = code;
        return true;
      }
      const bool known = code < m_next;  // a literal or a string of the table
      if (!known && (code != m_next || m_next >= TableSize)) return false;
      int first;
      if (known) {
        first = Push(code);
      } else {  // the string being defined: the previous one and its own first pixel
        m_stack[m_pending++] = std::uint16_t(m_previousFirst);
        first = Push(m_previous);
      }
      if (m_next < TableSize) {
        m_prefix[std::size_t(m_next)] = std::uint16_t(m_previous);
        m_suffix[std::size_t(m_next)] = std::uint16_t(first);
        if (++m_next == (1 << m_width) && m_width < 12) ++m_width;
      }
      m_previous = code;
      m_previousFirst = first;
      return true;
    }
  }

  TBytes m_data;
  std::size_t m_pos;
  int m_blockLeft = 0;
  std::uint32_t m_bits = 0;
  int m_bitCount = 0;
  const int m_codeSize, m_clear;
  int m_next = 0, m_width = 0, m_previous = -1, m_previousFirst = 0;
  std::array<std::uint16_t, TableSize> m_prefix{}, m_suffix{};
  // A string is at most as long as the table, plus the pixel a code being
  // defined adds.
  std::array<std::uint16_t, TableSize + 1> m_stack{};
  int m_pending = 0;
};

TGifFrameStart StartFirstFrame(GifFileType* gif, TBytes data) {
  TGifFrameStart f;
  f.screenW = gif->SWidth, f.screenH = gif->SHeight, f.background = gif->SBackGroundColor;
  f.globalTable = TableOf(gif->SColorMap);
  int& transparentIndex = f.transparentIndex;
  const int screenW = f.screenW, screenH = f.screenH;

  // Records up to the first image; each call consumes input, so the loop ends
  // with the data at the latest.
  for (;;) {
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) Fail("damaged file", gif->Error);
    if (type == TERMINATE_RECORD_TYPE) throw EImageError("GIF: the file holds no picture");
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) Fail("damaged extension", gif->Error);
      bool first = true;
      while (block) {
        // The graphic control extension's first block: flags, delay (2), index.
        if (first && code == GRAPHICS_EXT_FUNC_CODE && block[0] >= 4)
          transparentIndex = (block[1] & 1) ? int(block[4]) : -1;
        first = false;
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) Fail("damaged extension", gif->Error);
      }
      continue;
    }
    if (type != IMAGE_DESC_RECORD_TYPE) throw EImageError("GIF: unexpected record");
    break;
  }

  const std::size_t descriptorAt = static_cast<TMemoryReader*>(gif->UserData)->pos;
  if (DGifGetImageDesc(gif) == GIF_ERROR) {
    if (!ReadWideCodeDescriptor(data, descriptorAt, f)) Fail("damaged image descriptor", gif->Error);
  } else {
    const GifImageDesc& desc = gif->Image;
    f.left = desc.Left, f.top = desc.Top, f.frameW = desc.Width, f.frameH = desc.Height;
    f.hasLocalMap = desc.ColorMap != nullptr;
    f.frameTable = f.hasLocalMap ? TableOf(desc.ColorMap) : f.globalTable;
    f.interlaced = desc.Interlace;
  }
  const int left = f.left, top = f.top, frameW = f.frameW, frameH = f.frameH;
  // An LZW code names a string of at most 4096 pixels in at most 12 bits, so
  // a frame cannot hold more pixels than that ratio allows its file: a short
  // file claiming a large frame fails before the frame is allocated. A flat
  // frame beats deflate's ratio, so above UnbackedPixels it is LZW's that
  // binds, and below it this reader's own.
  CheckPictureSize(frameW, frameH, MaxLzwPixelsPerByte);
  if (std::int64_t(frameW) * frameH > std::int64_t(data.size()) * MaxLzwPixelsPerByte)
    throw EImageError("GIF: the file is too short for its picture");
  const bool covers = f.covers =
      left <= 0 && top <= 0 && std::int64_t(left) + frameW >= screenW && std::int64_t(top) + frameH >= screenH;
  if (!covers) {
    CheckCanvasSize(screenW, screenH);
    // The screen around a smaller frame is backed by no data: beyond a
    // generous floor it may not be larger than the file could describe.
    if (std::int64_t(screenW) * screenH > std::max(UnbackedPixels, std::int64_t(data.size()) * MaxLzwPixelsPerByte))
      throw EImageError("GIF: the screen is larger than the file could describe");
  }

  return f;
}

}  // namespace

bool TGifImage::ReadHeaderBytes(TBytes data, TPictureHeader& header) {
  TMemoryReader reader{data, 0};
  int error = 0;
  TDecoder gif(DGifOpen(&reader, ReadFromMemory, &error));
  if (!gif) Fail("not a readable GIF file", error);
  const TGifFrameStart f = StartFirstFrame(gif.get(), data);
  header.Width = f.covers ? f.frameW : f.screenW;
  header.Height = f.covers ? f.frameH : f.screenH;
  // As stored: the bits of the frame's colour table (8 without one).
  const qsizetype colours = f.frameTable.size();
  int bits = colours > 0 ? 1 : 8;
  while ((qsizetype(1) << bits) < colours) ++bits;
  header.BitsPerPixel = bits;
  return true;
}

namespace {

TBitmap DecodeFirstFrame(TBytes data) {
  TMemoryReader reader{data, 0};
  int error = 0;
  TDecoder gif(DGifOpen(&reader, ReadFromMemory, &error));
  if (!gif) Fail("not a readable GIF file", error);
  const TGifFrameStart f = StartFirstFrame(gif.get(), data);
  const int screenW = f.screenW, screenH = f.screenH, background = f.background;
  const QList<QRgb>& globalTable = f.globalTable;
  const int transparentIndex = f.transparentIndex;
  const int left = f.left, top = f.top, frameW = f.frameW, frameH = f.frameH;
  const bool hasLocalMap = f.hasLocalMap;
  QList<QRgb> frameTable = f.frameTable;
  const bool interlaced = f.interlaced;
  const bool covers = f.covers;

  QImage frame(frameW, frameH, QImage::Format_Indexed8);
  if (frame.isNull()) throw EImageError("GIF: not enough memory for the picture");
  std::unique_ptr<TWideLzwFrame> wide;
  if (f.wideCodeSize) wide = std::make_unique<TWideLzwFrame>(data, f.wideDataAt, f.wideCodeSize);
  const auto readLine = [&](int y) {
    if (wide ? !wide->Line(frame.scanLine(y), frameW) : DGifGetLine(gif.get(), frame.scanLine(y), frameW) == GIF_ERROR)
      Fail("damaged image data", wide ? D_GIF_ERR_IMAGE_DEFECT : gif->Error);
  };
  if (interlaced) {
    static constexpr int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
      for (int y = start[pass]; y < frameH; y += step[pass]) readLine(y);
  } else {
    for (int y = 0; y < frameH; ++y) readLine(y);
  }
  gif.reset();

  // Indices are free to exceed the colour map (or there may be no map at all):
  // give every index used an entry, grey levels without a map, black beyond one.
  const int highest = LargestIndex(frame);
  if (frameTable.isEmpty())
    frameTable = GreyRamp(256).first(highest + 1);
  else
    PadColorTable(frameTable, highest);

  QImage picture;
  QList<QRgb> table;
  int keyIndex = transparentIndex;
  if (covers) {
    picture = std::move(frame);
    table = frameTable;
  } else {
    // The screen takes the global palette; a frame with its own map is drawn in
    // the nearest global colours, one with no global map lends its own.
    const bool ownColors = !hasLocalMap || globalTable.isEmpty();
    table = ownColors ? frameTable : globalTable;
    std::array<uchar, 256> remap{};
    std::iota(remap.begin(), remap.end(), uchar(0));
    if (!ownColors) remap = NearestMap(frameTable, table);
    picture = QImage(screenW, screenH, QImage::Format_Indexed8);
    if (picture.isNull()) throw EImageError("GIF: not enough memory for the picture");
    // Uncovered screen shows through as transparent when the frame has a
    // transparent index of the screen's palette; otherwise the background.
    int fill = 0;
    if (transparentIndex >= 0 && ownColors && transparentIndex < table.size())
      fill = transparentIndex;
    else if (background >= 0 && background < table.size())
      fill = background;
    picture.fill(uint(fill));
    if (transparentIndex >= 0 && !ownColors) keyIndex = fill;
    const int x0 = std::max(left, 0), y0 = std::max(top, 0);
    const int x1 = int(std::min<std::int64_t>(std::int64_t(left) + frameW, screenW));
    const int y1 = int(std::min<std::int64_t>(std::int64_t(top) + frameH, screenH));
    for (int y = y0; y < y1; ++y) {
      const uchar* s = frame.constScanLine(y - top);
      uchar* d = picture.scanLine(y);
      for (int x = x0; x < x1; ++x) {
        const uchar k = s[x - left];
        if (int(k) != transparentIndex) d[x] = remap[k];
      }
    }
  }
  picture.setColorTable(table);

  TBitmap result;
  result.SetImage(std::move(picture), table.size() <= 16 ? pf4bit : pf8bit);
  if (keyIndex >= 0 && keyIndex < table.size()) {
    const QRgb c = table[keyIndex];
    result.Transparent = true;
    result.SetTransparentColor(RGBColor(qRed(c), qGreen(c), qBlue(c)));
  }
  return result;
}

}  // namespace

void TGifImage::ReadBytes(TBytes data) {
  try {
    m_bitmap = DecodeFirstFrame(data);
  } catch (const EImageError&) {
    // Some files stop right after the frame's last block of data, without the
    // empty block that ends it (and the trailer): their pixels are all there,
    // and other readers show them. They are read again with the two bytes
    // they lack; a file short of any pixel data fails that read too, the two
    // bytes being then taken for data or a block length with nothing after.
    const std::exception_ptr first = std::current_exception();
    TByteBuffer completed(data.begin(), data.end());
    completed.insert(completed.end(), {0x00, ';'});
    try {
      m_bitmap = DecodeFirstFrame(completed);
    } catch (const EImageError&) {
      std::rethrow_exception(first);
    }
  }
}

void OptimizeColorMap(QImage& indexed) {
  if (indexed.format() != QImage::Format_Indexed8) return;
  const QList<QRgb> table = indexed.colorTable();
  const int w = indexed.width(), h = indexed.height();
  std::array<std::uint64_t, 256> count{};
  for (int y = 0; y < h; ++y) {
    const uchar* row = indexed.constScanLine(y);
    for (int x = 0; x < w; ++x) ++count[row[x]];
  }
  const int n = int(std::min<qsizetype>(table.size(), 256));
  for (int i = n; i < 256; ++i)
    if (count[std::size_t(i)]) throw EImageError("GIF: pixel beyond the colour map");
  // Entries of the same colour merge into the first of them.
  std::array<int, 256> owner{};
  for (int i = 0; i < 256; ++i) owner[std::size_t(i)] = i;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < i; ++j)
      if (owner[std::size_t(j)] == j && (table[i] & 0xFFFFFF) == (table[j] & 0xFFFFFF)) {
        owner[std::size_t(i)] = j;
        count[std::size_t(j)] += count[std::size_t(i)];
        count[std::size_t(i)] = 0;
        break;
      }
  std::vector<int> order;
  for (int i = 0; i < n; ++i)
    if (owner[std::size_t(i)] == i && count[std::size_t(i)] > 0) order.push_back(i);
  std::stable_sort(order.begin(), order.end(),
                   [&](int a, int b) { return count[std::size_t(a)] > count[std::size_t(b)]; });
  std::array<uchar, 256> remap{};
  std::iota(remap.begin(), remap.end(), uchar(0));
  QList<QRgb> newTable;
  for (std::size_t k = 0; k < order.size(); ++k) {
    remap[std::size_t(order[k])] = uchar(k);
    newTable.append(table[order[k]]);
  }
  for (int i = 0; i < n; ++i) remap[std::size_t(i)] = remap[std::size_t(owner[std::size_t(i)])];
  for (int y = 0; y < h; ++y) {
    uchar* row = indexed.scanLine(y);
    for (int x = 0; x < w; ++x) row[x] = remap[row[x]];
  }
  indexed.setColorTable(newTable);
}

void TGifImage::WriteBytes(TByteBuffer& out) {
  if (m_bitmap.Empty()) throw EImageError("GIF: nothing to write");
  const int w = m_bitmap.Width(), h = m_bitmap.Height();
  if (w > 0xFFFF || h > 0xFFFF) throw EImageError("GIF: picture too large for the format");

  QImage indexed = QuantizeOctree(m_bitmap, 256).Image();
  if (OptimizeColors) {
    // A failed optimisation leaves the map as the quantiser made it.
    QImage optimized = indexed.copy();
    try {
      if (optimized.isNull()) throw std::bad_alloc();
      OptimizeColorMap(optimized);
      indexed = std::move(optimized);
    } catch (const std::exception&) {
    }
  }

  // GIF colour maps hold a power of two entries, at least 2.
  const QList<QRgb> table = indexed.colorTable();
  int size = 2;
  while (size < table.size()) size *= 2;
  if (size > 256) throw EImageError("GIF: more than 256 colours");
  std::vector<GifColorType> colors(std::size_t(size), GifColorType{0, 0, 0});
  for (qsizetype i = 0; i < table.size(); ++i)
    colors[std::size_t(i)] = {GifByteType(qRed(table[i])), GifByteType(qGreen(table[i])), GifByteType(qBlue(table[i]))};
  std::unique_ptr<ColorMapObject, TMapFree> map(GifMakeMapObject(size, colors.data()));
  if (!map) throw EImageError("GIF: cannot make the colour map");

  TByteBuffer bytes;
  TMemoryWriter writer{&bytes};
  int error = 0;
  TEncoder gif(EGifOpen(&writer, WriteToMemory, &error));
  if (!gif) Fail("cannot start the encoder", error);
  if (EGifPutScreenDesc(gif.get(), w, h, map->BitsPerPixel, 0, map.get()) == GIF_ERROR)
    Fail("cannot write the screen descriptor", gif->Error);
  if (EGifPutImageDesc(gif.get(), 0, 0, w, h, Interlaced, nullptr) == GIF_ERROR)
    Fail("cannot write the image descriptor", gif->Error);
  if (Interlaced) {
    static constexpr int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
      for (int y = start[pass]; y < h; y += step[pass])
        if (EGifPutLine(gif.get(), indexed.scanLine(y), w) == GIF_ERROR) Fail("cannot write the pixels", gif->Error);
  } else {
    for (int y = 0; y < h; ++y)
      if (EGifPutLine(gif.get(), indexed.scanLine(y), w) == GIF_ERROR) Fail("cannot write the pixels", gif->Error);
  }
  GifFileType* raw = gif.release();
  if (EGifCloseFile(raw, &error) == GIF_ERROR) Fail("cannot finish the file", error);
  out.insert(out.end(), bytes.begin(), bytes.end());
}
