#include "imagefiles/CodecHelpers.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

TBytes Bytes(TBytes data, std::size_t at, std::size_t n) {
  if (at > data.size() || data.size() - at < n) throw EImageError("data ends too soon");
  return data.subspan(at, n);
}

}  // namespace

std::uint32_t ReadLE16(TBytes data, std::size_t at) { return LoadLE16(Bytes(data, at, 2).data()); }

std::uint32_t ReadLE32(TBytes data, std::size_t at) { return LoadLE32(Bytes(data, at, 4).data()); }

std::uint32_t ReadBE16(TBytes data, std::size_t at) { return LoadBE16(Bytes(data, at, 2).data()); }

std::uint32_t ReadBE32(TBytes data, std::size_t at) {
  const TBytes b = Bytes(data, at, 4);
  return std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | std::uint32_t(b[3]);
}

TBytes TByteCursor::Take(std::size_t n) {
  const TBytes b = Bytes(m_data, m_pos, n);
  m_pos += n;
  return b;
}

void PadColorTable(QList<QRgb>& table, int maxIndex) {
  while (table.size() <= maxIndex) table.append(qRgb(0, 0, 0));
}

int LargestIndex(const QImage& indexed) {
  if (indexed.format() == QImage::Format_Mono || indexed.format() == QImage::Format_MonoLSB) return 1;
  int largest = 0;
  for (int y = 0; y < indexed.height() && largest < 255; ++y) {
    const uchar* row = indexed.constScanLine(y);
    largest = std::max<int>(largest, *std::max_element(row, row + indexed.width()));
  }
  return largest;
}

QList<QRgb> GreyRamp(int levels) {
  QList<QRgb> ramp;
  ramp.reserve(levels);
  for (int i = 0; i < levels; ++i) {
    const int v = (i * 255 + (levels - 1) / 2) / (levels - 1);
    ramp.append(qRgb(v, v, v));
  }
  return ramp;
}

bool OpaqueIfAlphaAllZero(QImage& image) {
  for (int y = 0; y < image.height(); ++y) {
    const uchar* p = image.constScanLine(y);
    for (int x = 0; x < image.width(); ++x)
      if (p[4 * x + 3] != 0) return false;
  }
  for (int y = 0; y < image.height(); ++y) {
    uchar* p = image.scanLine(y);
    for (int x = 0; x < image.width(); ++x) p[4 * x + 3] = 255;
  }
  return true;
}

int ExifBlockOrientation(const std::uint8_t* tiff, std::size_t length) {
  if (length < 8) return 1;
  bool little;
  if (tiff[0] == 'I' && tiff[1] == 'I')
    little = true;
  else if (tiff[0] == 'M' && tiff[1] == 'M')
    little = false;
  else
    return 1;
  const auto u16 = [&](std::size_t at) -> unsigned {
    return little ? unsigned(tiff[at]) | unsigned(tiff[at + 1]) << 8 : unsigned(tiff[at]) << 8 | unsigned(tiff[at + 1]);
  };
  const auto u32 = [&](std::size_t at) -> std::uint32_t {
    return little ? std::uint32_t(u16(at)) | std::uint32_t(u16(at + 2)) << 16
                  : std::uint32_t(u16(at)) << 16 | std::uint32_t(u16(at + 2));
  };
  if (u16(2) != 42) return 1;
  const std::uint32_t directory = u32(4);
  if (directory < 8 || directory > length - 2) return 1;
  const unsigned entries = u16(directory);
  for (unsigned i = 0; i < entries; ++i) {
    const std::size_t entry = directory + 2 + 12 * std::size_t(i);
    if (entry + 12 > length) break;
    if (u16(entry) != 0x0112) continue;
    // One SHORT, held in the first two bytes of the value field.
    if (u16(entry + 2) != 3 || u32(entry + 4) != 1) return 1;
    const unsigned value = u16(entry + 8);
    return value >= 1 && value <= 8 ? int(value) : 1;
  }
  return 1;
}

QImage ExifUpright(const QImage& stored, int orientation) {
  if (orientation <= 1 || orientation > 8) return stored;
  const int w = stored.width(), h = stored.height();
  const bool swapped = orientation >= 5;
  QImage upright(swapped ? h : w, swapped ? w : h, stored.format());
  if (upright.isNull()) throw std::bad_alloc();
  upright.setColorTable(stored.colorTable());
  const int bytes = stored.depth() / 8;  // 0 for 1-bit pictures, moved a pixel index at a time
  for (int y = 0; y < upright.height(); ++y) {
    std::uint8_t* d = upright.scanLine(y);
    for (int x = 0; x < upright.width(); ++x, d += bytes) {
      int sx, sy;
      switch (orientation) {
        case 2: sx = w - 1 - x, sy = y; break;
        case 3: sx = w - 1 - x, sy = h - 1 - y; break;
        case 4: sx = x, sy = h - 1 - y; break;
        case 5: sx = y, sy = x; break;
        case 6: sx = y, sy = h - 1 - x; break;
        case 7: sx = w - 1 - y, sy = h - 1 - x; break;
        default: sx = w - 1 - y, sy = x; break;
      }
      if (bytes == 0)
        upright.setPixel(x, y, uint(stored.pixelIndex(sx, sy)));
      else
        std::memcpy(d, stored.constScanLine(sy) + std::ptrdiff_t(sx) * bytes, std::size_t(bytes));
    }
  }
  return upright;
}
