#include "imagefiles/TargaImage.h"

#include "imagefiles/CodecHelpers.h"

#include <QList>
#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr std::size_t HeaderSize = 18;
constexpr int MaxPacketPixels = 128;

[[noreturn]] void Fail(const char* what) { throw EImageError(std::string("Targa: ") + what); }

std::uint8_t Expand5(std::uint32_t v) { return std::uint8_t((v << 3) | (v >> 2)); }

// A 15/16-bit value (x-r5-g5-b5, little-endian) as 8-bit blue, green, red.
void Unpack555(const std::uint8_t* p, std::uint8_t* bgr) {
  const std::uint32_t v = LoadLE16(p);
  bgr[0] = Expand5(v & 0x1F);
  bgr[1] = Expand5((v >> 5) & 0x1F);
  bgr[2] = Expand5((v >> 10) & 0x1F);
}

// Where the n-th stored pixel goes in a picture whose first stored row is the
// bottom (or top) one, and whose rows run left to right (or right to left).
class TPixelPlacer {
 public:
  TPixelPlacer(QImage& img, int bytesPerPixel, std::uint8_t descriptor)
      : m_img(img),
        m_bpp(bytesPerPixel),
        m_topDown(descriptor & 0x20),
        m_rightToLeft(descriptor & 0x10),
        m_w(img.width()),
        m_h(img.height()) {
    StartRow();
  }
  bool Full() const { return m_row >= m_h; }
  // The place of the next pixel; advances to the one after it.
  uchar* Next() {
    uchar* p = m_line + std::ptrdiff_t(m_rightToLeft ? m_w - 1 - m_x : m_x) * m_bpp;
    if (++m_x == m_w) {
      m_x = 0;
      ++m_row;
      StartRow();
    }
    return p;
  }

 private:
  void StartRow() {
    if (m_row < m_h) m_line = m_img.scanLine(m_topDown ? m_row : m_h - 1 - m_row);
  }
  QImage& m_img;
  int m_bpp;
  bool m_topDown;
  bool m_rightToLeft;
  int m_w;
  int m_h;
  int m_x = 0;
  int m_row = 0;
  uchar* m_line = nullptr;
};

}  // namespace

namespace {

// The 18-byte header and the checks every read of it makes.
struct TTargaHeader {
  unsigned idLength, mapType, imageType, mapFirst, mapLength, mapBits, width, height, depth;
  std::uint8_t descriptor;
  unsigned kind;  // 1 colour-mapped, 2 true colour, 3 grey
  bool rle;
  bool greyAlpha;
};

TTargaHeader ReadTargaHeader(TBytes d) {
  if (d.size() < HeaderSize) Fail("file is too short");
  TTargaHeader h{};
  h.idLength = d[0], h.mapType = d[1], h.imageType = d[2];
  h.mapFirst = ReadLE16(d, 3), h.mapLength = ReadLE16(d, 5), h.mapBits = d[7];
  h.width = ReadLE16(d, 12), h.height = ReadLE16(d, 14), h.depth = d[16];
  h.descriptor = d[17];
  h.kind = h.imageType & 7;
  h.rle = h.imageType & 8;
  if ((h.imageType & ~8u) == 0 || h.kind > 3 || (h.imageType & ~15u)) Fail("unsupported image type");
  if (h.mapType > 1) Fail("unsupported colour map type");
  if (h.kind == 1 && (h.mapType != 1 || h.depth != 8)) Fail("unsupported colour-mapped layout");
  if (h.kind == 2 && h.depth != 15 && h.depth != 16 && h.depth != 24 && h.depth != 32) Fail("unsupported pixel depth");
  if (h.kind == 3 && h.depth != 8 && h.depth != 16) Fail("unsupported grey depth");
  // 16-bit grey pixels are a grey byte and an alpha byte; the alpha counts
  // only when the descriptor gives the pixels alpha bits.
  h.greyAlpha = h.kind == 3 && h.depth == 16 && (h.descriptor & 0x0F) != 0;
  CheckPictureSize(h.width, h.height);
  return h;
}

}  // namespace

bool TTargaImage::ReadHeaderBytes(TBytes d, TPictureHeader& header) {
  const TTargaHeader h = ReadTargaHeader(d);
  header.Width = int(h.width);
  header.Height = int(h.height);
  header.BitsPerPixel = h.depth == 15 ? 16 : int(h.depth);
  return true;
}

void TTargaImage::ReadBytes(TBytes d) {
  const TTargaHeader h = ReadTargaHeader(d);
  const unsigned idLength = h.idLength, mapType = h.mapType;
  const unsigned mapFirst = h.mapFirst, mapLength = h.mapLength, mapBits = h.mapBits;
  const unsigned width = h.width, height = h.height, depth = h.depth;
  const std::uint8_t descriptor = h.descriptor;
  const unsigned kind = h.kind;
  const bool rle = h.rle;
  const bool greyAlpha = h.greyAlpha;

  std::size_t pos = HeaderSize + idLength;
  QList<QRgb> palette;
  if (mapType == 1) {  // without one, the map fields mean nothing and are ignored
    const std::size_t entryBytes = (mapBits + 7) / 8;
    const std::size_t mapBytes = std::size_t(mapLength) * entryBytes;
    if (pos > d.size() || d.size() - pos < mapBytes) Fail("colour map is truncated");
    if (kind == 1) {
      if (mapBits != 15 && mapBits != 16 && mapBits != 24 && mapBits != 32) Fail("unsupported colour map entry size");
      // Index i shows map entry i - mapFirst; indexes outside the map are black.
      const unsigned entries = std::min(256u, mapFirst + mapLength);
      for (unsigned i = 0; i < entries; ++i) {
        if (i < mapFirst) {
          palette.append(qRgb(0, 0, 0));
          continue;
        }
        const std::uint8_t* e = &d[pos + (i - mapFirst) * entryBytes];
        std::uint8_t bgr[3];
        if (entryBytes == 2)
          Unpack555(e, bgr);
        else
          std::memcpy(bgr, e, 3);
        palette.append(entryBytes == 4 ? qRgba(bgr[2], bgr[1], bgr[0], e[3]) : qRgb(bgr[2], bgr[1], bgr[0]));
      }
    }
    pos += mapBytes;
  }
  if (pos > d.size()) Fail("pixel data is missing");

  const std::size_t inBytes = (depth + 7) / 8;
  const std::uint64_t pixels = std::uint64_t(width) * height;
  const std::uint64_t available = d.size() - pos;
  // The least data that can cover the picture, checked before any allocation.
  const std::uint64_t least = rle ? (pixels + MaxPacketPixels - 1) / MaxPacketPixels * (1 + inBytes) : pixels * inBytes;
  if (available < least) Fail("pixel data is truncated");

  try {
    QImage::Format format = QImage::Format_BGR888;
    TPixelFormat pf = pf24bit;
    if (kind != 2 && !greyAlpha) {
      format = QImage::Format_Indexed8;
      pf = pf8bit;
    } else if (depth == 32 || greyAlpha) {
      format = QImage::Format_ARGB32;
      pf = pf32bit;
    }
    QImage img(int(width), int(height), format);
    if (img.isNull()) Fail("not enough memory for the picture");
    const int outBytes = format == QImage::Format_Indexed8 ? 1 : format == QImage::Format_BGR888 ? 3 : 4;
    TPixelPlacer place(img, outBytes, descriptor);

    auto put = [&](const std::uint8_t* px) {
      uchar* t = place.Next();
      if (greyAlpha) {
        t[0] = t[1] = t[2] = px[0];
        t[3] = px[1];
      } else if (kind == 3) {
        t[0] = px[0];
      } else if (inBytes == 2)
        Unpack555(px, t);
      else
        std::memcpy(t, px, inBytes);
    };
    const std::uint8_t* s = d.data() + pos;
    const std::uint8_t* end = d.data() + d.size();
    if (!rle) {
      for (std::uint64_t n = 0; n < pixels; ++n, s += inBytes) put(s);
    } else {
      // Packets may run on into the next row; a packet passing the end of the
      // picture is cut there.
      while (!place.Full()) {
        if (s == end) Fail("run-length data is truncated");
        const unsigned count = (*s & 0x7F) + 1;
        const bool run = *s & 0x80;
        ++s;
        const std::size_t need = run ? inBytes : count * inBytes;
        if (std::size_t(end - s) < need) Fail("run-length data is truncated");
        for (unsigned i = 0; i < count && !place.Full(); ++i) put(run ? s : s + i * inBytes);
        s += need;
      }
    }

    if (kind == 1) {
      PadColorTable(palette, LargestIndex(img));
      img.setColorTable(palette);
    } else if (kind == 3 && !greyAlpha) {
      img.setColorTable(GreyRamp(256));
    } else if (format == QImage::Format_ARGB32) {
      OpaqueIfAlphaAllZero(img);
    }
    TBitmap result;
    result.SetImage(std::move(img), pf);
    m_bitmap = std::move(result);
  } catch (const std::bad_alloc&) {
    Fail("not enough memory for the picture");
  }
}

namespace {

// One row as packets: a raw packet takes the pixels before the first pair of
// equal neighbours (all but the last pixel when no pair follows, so a row
// ending in distinct pixels ends with a one-pixel raw packet); otherwise a run
// packet takes the equal pixels. Both hold at most 128 pixels.
void EncodeRow(const std::uint8_t* row, int width, TByteBuffer& out) {
  auto same = [row](int a, int b) { return std::memcmp(row + 3 * a, row + 3 * b, 3) == 0; };
  int i = 0;
  while (i < width) {
    int j = i;
    while (j + 1 < width && j - i < MaxPacketPixels && !same(j, j + 1)) ++j;
    int raw;
    if (j - i == MaxPacketPixels)
      raw = MaxPacketPixels;
    else if (j + 1 < width)
      raw = j - i;  // the pair starts at j
    else
      raw = width - i == 1 ? 1 : width - i - 1;
    if (raw > 0) {
      out.push_back(std::uint8_t(raw - 1));
      out.insert(out.end(), row + 3 * i, row + 3 * (i + raw));
      i += raw;
    } else {
      int run = 1;
      while (i + run < width && run < MaxPacketPixels && same(i, i + run)) ++run;
      out.push_back(std::uint8_t(0x80 | (run - 1)));
      out.insert(out.end(), row + 3 * i, row + 3 * i + 3);
      i += run;
    }
  }
}

}  // namespace

void TTargaImage::WriteBytes(TByteBuffer& out) {
  if (m_bitmap.Empty()) Fail("there is no picture to write");
  const int w = m_bitmap.Width(), h = m_bitmap.Height();
  if (w > 0xFFFF || h > 0xFFFF) Fail("a side above 65535 pixels does not fit the header");

  try {
    TBitmap converted;
    const TBitmap* source = &m_bitmap;
    if (m_bitmap.PixelFormat() != pf24bit || m_bitmap.Image().format() != QImage::Format_BGR888) {
      converted = m_bitmap;
      converted.SetPixelFormat(pf24bit);
      source = &converted;
    }

    TByteBuffer file;
    file.reserve(HeaderSize + std::size_t(w) * h * 3 / 2);
    file.push_back(0);   // no image ID
    file.push_back(0);   // no colour map ...
    file.push_back(10);  // run-length encoded true colour
    PutLE16(file, 0);
    PutLE16(file, 256);  // ... though the map fields still say 256 entries of 24 bits
    file.push_back(24);
    PutLE16(file, 0);  // X and Y origin
    PutLE16(file, 0);
    PutLE16(file, std::uint32_t(w));
    PutLE16(file, std::uint32_t(h));
    file.push_back(24);
    file.push_back(0x20);  // first row at the top, no alpha bits
    for (int y = 0; y < h; ++y) EncodeRow(source->ScanLine(y), w, file);
    out.insert(out.end(), file.begin(), file.end());
  } catch (const std::bad_alloc&) {
    Fail("not enough memory to write the picture");
  }
}
