#include "imagefiles/CodecHelpers.h"

#include <algorithm>

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
