#include "imagefiles/BmpImage.h"

#include "imagefiles/CodecHelpers.h"

#include <QList>
#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

namespace {

constexpr std::uint32_t BiRgb = 0;
constexpr std::uint32_t BiRle8 = 1;
constexpr std::uint32_t BiRle4 = 2;
constexpr std::uint32_t BiBitfields = 3;
constexpr std::uint32_t BiAlphaBitfields = 6;

constexpr std::uint64_t FileHeaderSize = 14;
constexpr std::uint64_t InfoHeaderSize = 40;

[[noreturn]] void Fail(const char* what) { throw EImageError(std::string("BMP: ") + what); }

// What the headers say, checked against the file's length.
struct TBmpLayout {
  std::int64_t width = 0;
  std::int64_t height = 0;
  bool topDown = false;
  int bitCount = 0;
  std::uint32_t compression = BiRgb;
  bool masksGiven = false;
  std::uint32_t masks[4] = {};  // red, green, blue, alpha
  QList<QRgb> palette;
  std::uint64_t pixelStart = 0;
};

TBmpLayout ReadLayout(TBytes d) {
  if (d.size() < FileHeaderSize + 12 || d[0] != 'B' || d[1] != 'M') Fail("not a BMP file");
  const std::uint64_t size = d.size();
  const std::uint64_t offBits = ReadLE32(d, 10);
  const std::uint64_t hs = ReadLE32(d, 14);
  if (hs < 12 || (hs > 12 && hs < 16) || FileHeaderSize + hs > size) Fail("damaged information header");

  TBmpLayout L;
  std::uint64_t colorsUsed = 0;
  int entrySize = 4;
  if (hs == 12) {  // the old core header: 16-bit sides, 3-byte colour entries
    L.width = ReadLE16(d, 18);
    L.height = ReadLE16(d, 20);
    L.bitCount = int(ReadLE16(d, 24));
    entrySize = 3;
  } else {
    // Fields the header is too short to hold read as zero (short OS/2 headers).
    auto field32 = [&](std::uint64_t off) -> std::uint32_t {
      return off + 4 <= hs ? ReadLE32(d, FileHeaderSize + off) : 0;
    };
    auto field16 = [&](std::uint64_t off) -> std::uint32_t {
      return off + 2 <= hs ? ReadLE16(d, FileHeaderSize + off) : 0;
    };
    const auto h = std::int32_t(field32(8));
    L.width = std::int32_t(field32(4));
    L.topDown = h < 0;
    L.height = L.topDown ? -std::int64_t(h) : std::int64_t(h);
    L.bitCount = int(field16(14));
    L.compression = field32(16);
    colorsUsed = field32(32);
    // OS/2 2.x headers reuse 3 and 4 for Huffman and RLE24, which we do not read.
    const bool os2 = hs < 40 || hs == 64;
    if (os2 && (L.compression == 3 || L.compression == 4)) Fail("unsupported OS/2 compression");
    if (L.compression == BiBitfields || L.compression == BiAlphaBitfields) {
      L.masksGiven = true;
      if (hs >= 52 && !os2) {
        for (int i = 0; i < 3; ++i) L.masks[i] = field32(40 + 4 * i);
        L.masks[3] = field32(52);
      }
    }
  }
  std::uint64_t afterHeader = FileHeaderSize + hs;
  if (L.masksGiven && hs < 52) {  // a plain information header: the masks follow it
    const int count = L.compression == BiAlphaBitfields ? 4 : 3;
    if (afterHeader + 4 * count > size) Fail("bit field masks are missing");
    for (int i = 0; i < count; ++i) L.masks[i] = ReadLE32(d, afterHeader + 4 * i);
    afterHeader += 4 * count;
  }

  CheckPictureSize(L.width, L.height);

  const int bpp = L.bitCount;
  bool valid = false;
  switch (L.compression) {
    case BiRgb: valid = bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32; break;
    case BiRle8: valid = bpp == 8; break;
    case BiRle4: valid = bpp == 4; break;
    case BiBitfields:
    case BiAlphaBitfields: valid = bpp == 16 || bpp == 32; break;
    default: Fail("unsupported compression");
  }
  if (!valid) Fail("unsupported bit count for its compression");

  std::uint64_t paletteEnd = afterHeader;
  if (bpp <= 8) {
    const std::uint64_t most = std::uint64_t(1) << bpp;
    std::uint64_t count = colorsUsed == 0 || colorsUsed > most ? most : colorsUsed;
    // The table cannot reach into the pixels nor past the end of the file.
    const std::uint64_t limit = offBits >= afterHeader && offBits < size ? offBits : size;
    count = std::min(count, (limit - afterHeader) / entrySize);
    // Pixels that start right after the header leave no room for a table.
    // ImageMagick and Qt read one from the pixels' own bytes (each its own
    // way, in colours that mean nothing), Pillow refuses the file; we show the
    // indexes as grey levels, as the GIF reader shows a frame without a map.
    if (count == 0) {
      L.palette = GreyRamp(int(most));
    } else {
      L.palette.reserve(qsizetype(count));
      for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint8_t* e = &d[afterHeader + i * entrySize];
        L.palette.append(qRgb(e[2], e[1], e[0]));
      }
    }
    paletteEnd = afterHeader + count * entrySize;
  }
  // Some writers leave the pixel offset at zero; the pixels then follow the table.
  L.pixelStart = offBits >= paletteEnd && offBits < size ? offBits : paletteEnd;
  if (L.pixelStart >= size) Fail("pixel data is missing");
  return L;
}

QImage NewImage(std::int64_t width, std::int64_t height, QImage::Format format) {
  QImage img(int(width), int(height), format);
  if (img.isNull()) Fail("not enough memory for the picture");
  return img;
}

// The table grows to the largest index used (see PadColorTable).
void SetColorTable(QImage& img, QList<QRgb> palette) {
  if (img.format() == QImage::Format_Mono && palette.size() > 2) palette.resize(2);
  PadColorTable(palette, LargestIndex(img));
  img.setColorTable(palette);
}

// One channel of a bit-field pixel scaled to 0..255.
struct TChannel {
  std::uint32_t mask = 0;
  int shift = 0;
  std::uint64_t max = 0;
  explicit TChannel(std::uint32_t m) : mask(m) {
    if (m) {
      shift = std::countr_zero(m);
      max = m >> shift;
    }
  }
  std::uint8_t Get(std::uint32_t v, std::uint8_t absent) const {
    if (!mask) return absent;
    return std::uint8_t(std::uint64_t((v & mask) >> shift) * 255 / max);
  }
};

TBitmap ReadUncompressed(TBytes d, const TBmpLayout& L) {
  const std::int64_t w = L.width, h = L.height;
  const int bpp = L.bitCount;
  const std::uint64_t rowBytes = ((std::uint64_t(w) * bpp + 31) / 32) * 4;
  const std::uint64_t usedBytes = (std::uint64_t(w) * bpp + 7) / 8;
  // The last row may lack its padding; everything else must be there.
  if (L.pixelStart + rowBytes * std::uint64_t(h - 1) + usedBytes > d.size()) Fail("pixel data is truncated");
  auto fileRow = [&](std::int64_t y) {  // y counts rows from the top of the picture
    const std::int64_t stored = L.topDown ? y : h - 1 - y;
    return d.data() + L.pixelStart + rowBytes * std::uint64_t(stored);
  };

  const std::uint32_t* m = L.masks;
  const bool is555 = !L.masksGiven || (m[0] == 0x7C00 && m[1] == 0x3E0 && m[2] == 0x1F && m[3] == 0);
  const bool is565 = L.masksGiven && m[0] == 0xF800 && m[1] == 0x7E0 && m[2] == 0x1F && m[3] == 0;
  const bool isBgra =
      !L.masksGiven || (m[0] == 0xFF0000 && m[1] == 0xFF00 && m[2] == 0xFF && (m[3] == 0 || m[3] == 0xFF000000u));

  TBitmap result;
  if (bpp == 1 || bpp == 4 || bpp == 8) {
    QImage img = NewImage(w, h, bpp == 1 ? QImage::Format_Mono : QImage::Format_Indexed8);
    for (std::int64_t y = 0; y < h; ++y) {
      const std::uint8_t* s = fileRow(y);
      uchar* t = img.scanLine(int(y));
      if (bpp == 4) {
        for (std::int64_t x = 0; x < w; ++x) t[x] = (x & 1) ? s[x / 2] & 0x0F : s[x / 2] >> 4;
      } else {
        std::memcpy(t, s, usedBytes);  // 1-bit rows are most significant bit first, as in Format_Mono
      }
    }
    SetColorTable(img, L.palette);
    result.SetImage(std::move(img), bpp == 1 ? pf1bit : bpp == 4 ? pf4bit : pf8bit);
  } else if (bpp == 16 && (is555 || is565)) {
    QImage img = NewImage(w, h, is555 ? QImage::Format_RGB555 : QImage::Format_RGB16);
    const std::uint32_t keep = is555 ? 0x7FFF : 0xFFFF;
    for (std::int64_t y = 0; y < h; ++y) {
      const std::uint8_t* s = fileRow(y);
      auto* t = reinterpret_cast<quint16*>(img.scanLine(int(y)));
      for (std::int64_t x = 0; x < w; ++x) t[x] = quint16(LoadLE16(s + 2 * x) & keep);
    }
    result.SetImage(std::move(img), is555 ? pf15bit : pf16bit);
  } else if (bpp == 24) {
    QImage img = NewImage(w, h, QImage::Format_BGR888);
    for (std::int64_t y = 0; y < h; ++y) std::memcpy(img.scanLine(int(y)), fileRow(y), usedBytes);
    result.SetImage(std::move(img), pf24bit);
  } else if (bpp == 32 && isBgra) {
    QImage img = NewImage(w, h, QImage::Format_ARGB32);
    const bool alphaGiven = !L.masksGiven || m[3] != 0;
    for (std::int64_t y = 0; y < h; ++y) {
      uchar* t = img.scanLine(int(y));
      std::memcpy(t, fileRow(y), usedBytes);
      if (!alphaGiven)
        for (std::int64_t x = 0; x < w; ++x) t[4 * x + 3] = 255;
    }
    if (alphaGiven) OpaqueIfAlphaAllZero(img);
    result.SetImage(std::move(img), pf32bit);
  } else {  // any other bit fields, 16 or 32 bits
    const TChannel r(m[0]), g(m[1]), b(m[2]), a(m[3]);
    const bool alpha = m[3] != 0 || bpp == 32;
    QImage img = NewImage(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_BGR888);
    const int outBytes = alpha ? 4 : 3;
    for (std::int64_t y = 0; y < h; ++y) {
      const std::uint8_t* s = fileRow(y);
      uchar* t = img.scanLine(int(y));
      for (std::int64_t x = 0; x < w; ++x, t += outBytes) {
        const std::uint32_t v = bpp == 16 ? LoadLE16(s + 2 * x) : LoadLE32(s + 4 * x);
        t[0] = b.Get(v, 0);
        t[1] = g.Get(v, 0);
        t[2] = r.Get(v, 0);
        if (alpha) t[3] = a.Get(v, 255);
      }
    }
    if (m[3] != 0) OpaqueIfAlphaAllZero(img);
    result.SetImage(std::move(img), alpha ? pf32bit : pf24bit);
  }
  return result;
}

// RLE4 and RLE8. Pixels the stream never sets (after an end of line, a delta
// or the end of the bitmap) keep index 0. Runs that pass the end of a row are
// cut there, and a delta below the last row ends the picture.
TBitmap ReadRunLength(TBytes d, const TBmpLayout& L) {
  const bool four = L.compression == BiRle4;
  const std::int64_t w = L.width, h = L.height;
  QImage img = NewImage(w, h, QImage::Format_Indexed8);
  img.fill(0);
  auto row = [&](std::int64_t fy) { return img.scanLine(int(L.topDown ? fy : h - 1 - fy)); };

  const std::size_t end = d.size();
  std::size_t pos = std::size_t(L.pixelStart);
  std::int64_t x = 0, fy = 0;  // fy counts rows in file order
  bool done = false;
  while (!done && fy < h) {
    if (end - pos < 2) Fail("run-length data is truncated");
    const unsigned count = d[pos], value = d[pos + 1];
    pos += 2;
    if (count > 0) {  // a run: one index, or two alternating nibbles
      uchar* t = row(fy);
      for (unsigned i = 0; i < count && x < w; ++i, ++x) t[x] = four ? ((i & 1) ? value & 0x0F : value >> 4) : value;
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        ++fy;
        break;
      case 1:  // end of bitmap
        done = true;
        break;
      case 2:  // delta: move right and up (down the picture for top-down rows)
        if (end - pos < 2) Fail("run-length data is truncated");
        x += d[pos];
        fy += d[pos + 1];
        pos += 2;
        break;
      default: {  // absolute mode: `value` literal pixels, padded to a 16-bit boundary
        const std::size_t bytes = four ? (value + 1) / 2 : value;
        if (end - pos < bytes) Fail("run-length data is truncated");
        const std::uint8_t* s = d.data() + pos;
        uchar* t = row(fy);
        for (unsigned i = 0; i < value && x < w; ++i, ++x)
          t[x] = four ? ((i & 1) ? s[i / 2] & 0x0F : s[i / 2] >> 4) : s[i];
        pos += std::min(end - pos, bytes + (bytes & 1));
      }
    }
  }
  SetColorTable(img, L.palette);
  TBitmap result;
  result.SetImage(std::move(img), four ? pf4bit : pf8bit);
  return result;
}

// A device-independent bitmap as the clipboard holds it (and as some ".dib"
// files are saved): the information header first, no file header before it.
// Told apart by a known header size and the planes field, which is always 1.
bool IsPackedDib(TBytes d) {
  if (d.size() < 16) return false;
  const std::uint32_t hs = LoadLE32(d.data());
  if (hs == 12) return LoadLE16(&d[8]) == 1;
  const bool known = hs == 16 || hs == 40 || hs == 52 || hs == 56 || hs == 64 || hs == 108 || hs == 124;
  return known && LoadLE16(&d[12]) == 1;
}

// A packed bitmap gets the file header it lacks (in storage); its pixel
// offset stays 0, so the pixels follow the colour table as they do in such a
// bitmap. Any other data is returned as it is.
TBytes WithFileHeader(TBytes data, TByteBuffer& storage) {
  if ((data.size() >= 2 && data[0] == 'B' && data[1] == 'M') || !IsPackedDib(data)) return data;
  storage = {'B', 'M'};
  PutLE32(storage, std::uint32_t(std::min<std::uint64_t>(FileHeaderSize + data.size(), 0xFFFFFFFFu)));
  PutLE32(storage, 0);  // reserved
  PutLE32(storage, 0);  // pixel offset: after the colour table
  storage.insert(storage.end(), data.begin(), data.end());
  return storage;
}

}  // namespace

bool TBmpImage::ReadHeaderBytes(TBytes data, TPictureHeader& header) {
  TByteBuffer storage;
  const TBmpLayout layout = ReadLayout(WithFileHeader(data, storage));
  header.Width = int(layout.width);
  header.Height = int(layout.height);
  header.BitsPerPixel = layout.bitCount;
  return true;
}

void TBmpImage::ReadBytes(TBytes data) {
  TByteBuffer withHeader;
  data = WithFileHeader(data, withHeader);
  const TBmpLayout layout = ReadLayout(data);
  if (layout.compression == BiRle4 || layout.compression == BiRle8)
    m_bitmap = ReadRunLength(data, layout);
  else
    m_bitmap = ReadUncompressed(data, layout);
}

void TBmpImage::WriteBytes(TByteBuffer& out) {
  if (m_bitmap.Empty()) Fail("there is no picture to write");
  QImage img = m_bitmap.Image();
  const std::int64_t w = img.width(), h = img.height();

  int bpp = 24;
  QImage::Format format = QImage::Format_BGR888;
  switch (m_bitmap.PixelFormat()) {
    case pf1bit: bpp = 1, format = QImage::Format_Mono; break;
    case pf4bit: bpp = 4, format = QImage::Format_Indexed8; break;
    case pf8bit: bpp = 8, format = QImage::Format_Indexed8; break;
    case pf15bit: bpp = 16, format = QImage::Format_RGB555; break;
    case pf16bit: bpp = 16, format = QImage::Format_RGB16; break;
    case pf32bit: bpp = 32, format = QImage::Format_ARGB32; break;
    default: break;
  }
  if (img.format() != format) {
    img = img.convertToFormat(format);
    if (img.isNull()) Fail("not enough memory to convert the picture");
  }
  const bool bitfields = m_bitmap.PixelFormat() == pf16bit;

  QList<QRgb> table;
  if (bpp <= 8) {
    const int maxIndex = LargestIndex(img);
    // A 4-bit picture holding an index above 15 cannot be stored in nibbles.
    if (bpp == 4 && (maxIndex > 15 || img.colorCount() > 16)) bpp = 8;
    table = img.colorTable();
    const qsizetype most = qsizetype(1) << bpp;
    if (table.size() > most) table.resize(most);
    PadColorTable(table, maxIndex);
  }

  const std::uint64_t rowBytes = ((std::uint64_t(w) * bpp + 31) / 32) * 4;
  const std::uint64_t imageBytes = rowBytes * std::uint64_t(h);
  const std::uint64_t offBits =
      FileHeaderSize + InfoHeaderSize + (bitfields ? 12 : 0) + 4 * std::uint64_t(table.size());
  const std::uint64_t fileSize = offBits + imageBytes;
  if (fileSize > 0xFFFFFFFFu) Fail("picture is too large for a BMP file");

  TByteBuffer file;
  file.reserve(std::size_t(fileSize));
  file.push_back('B');
  file.push_back('M');
  PutLE32(file, std::uint32_t(fileSize));
  PutLE32(file, 0);  // two reserved words
  PutLE32(file, std::uint32_t(offBits));
  PutLE32(file, std::uint32_t(InfoHeaderSize));
  PutLE32(file, std::uint32_t(w));
  PutLE32(file, std::uint32_t(h));  // positive: rows bottom-up
  PutLE16(file, 1);                 // planes
  PutLE16(file, std::uint32_t(bpp));
  PutLE32(file, bitfields ? BiBitfields : BiRgb);
  PutLE32(file, std::uint32_t(imageBytes));
  PutLE32(file, 0);  // no resolution recorded
  PutLE32(file, 0);
  PutLE32(file, std::uint32_t(table.size()));
  PutLE32(file, 0);  // all colours important
  if (bitfields) {
    PutLE32(file, 0xF800);
    PutLE32(file, 0x07E0);
    PutLE32(file, 0x001F);
  }
  for (QRgb c : table) {
    file.push_back(std::uint8_t(qBlue(c)));
    file.push_back(std::uint8_t(qGreen(c)));
    file.push_back(std::uint8_t(qRed(c)));
    file.push_back(0);
  }

  for (std::int64_t y = h - 1; y >= 0; --y) {
    const uchar* s = img.constScanLine(int(y));
    const std::size_t rowStart = file.size();
    switch (bpp) {
      case 1: {
        const std::int64_t bytes = (w + 7) / 8;
        file.insert(file.end(), s, s + bytes);
        if (w % 8) file.back() &= std::uint8_t(0xFF << (8 - w % 8));  // bits past the last pixel
        break;
      }
      case 4:
        for (std::int64_t x = 0; x < w; x += 2)
          file.push_back(std::uint8_t((s[x] << 4) | (x + 1 < w ? s[x + 1] & 0x0F : 0)));
        break;
      case 16: {
        const auto* p = reinterpret_cast<const quint16*>(s);
        for (std::int64_t x = 0; x < w; ++x) PutLE16(file, bitfields ? p[x] : p[x] & 0x7FFF);
        break;
      }
      default: file.insert(file.end(), s, s + w * (bpp / 8));
    }
    file.resize(rowStart + rowBytes, 0);
  }
  out.insert(out.end(), file.begin(), file.end());
}
