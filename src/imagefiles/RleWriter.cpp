#include "imagefiles/RleWriter.h"

#include <algorithm>

#include "imagefiles/ColorQuantizer.h"

void ReduceColors(TBitmap& bitmap) { bitmap = QuantizeOctree(bitmap, 256); }

namespace {

// Length of the run of equal bytes starting at row[i], at most 255.
int RunAt(const uchar* row, int i, int width) {
  int n = 1;
  while (i + n < width && n < 255 && row[i + n] == row[i]) ++n;
  return n;
}

void EncodeRow(const uchar* row, int width, TByteBuffer& out) {
  int i = 0;
  while (i < width) {
    const int run = RunAt(row, i, width);
    if (run >= 2) {
      out.push_back(uchar(run));
      out.push_back(row[i]);
      i += run;
      continue;
    }
    // Gather literal pixels until a run of 3 or more starts; a pair inside
    // the literal stretch is cheaper kept than split off.
    int end = i + 1;
    while (end < width && end - i < 255) {
      const int next = RunAt(row, end, width);
      if (next >= 3) break;
      end += std::min(next, 255 - (end - i));
    }
    const int count = end - i;
    if (count < 3) {
      // Absolute mode needs at least 3 pixels: single-pixel runs instead.
      for (int k = i; k < end; ++k) {
        out.push_back(1);
        out.push_back(row[k]);
      }
    } else {
      out.push_back(0);
      out.push_back(uchar(count));
      out.insert(out.end(), row + i, row + end);
      if (count & 1) out.push_back(0);  // literal stretches end on a word boundary
    }
    i = end;
  }
}

}  // namespace

TByteBuffer EncodeRle8(const QImage& indexed) {
  TByteBuffer out;
  const int w = indexed.width(), h = indexed.height();
  out.reserve(std::size_t(w + 4) * std::size_t(h) / 2 + 2);
  for (int y = h - 1; y >= 0; --y) {
    EncodeRow(indexed.constScanLine(y), w, out);
    out.push_back(0);  // end of line
    out.push_back(0);
  }
  out.push_back(0);  // end of bitmap
  out.push_back(1);
  return out;
}

void WriteRle(const TBitmap& bitmap, TByteBuffer& out) {
  if (bitmap.Empty()) throw EImageError("RLE: nothing to write");
  TBitmap copy(bitmap);
  copy.Transparent = false;
  ReduceColors(copy);
  const QImage& img = copy.Image();
  if (img.format() != QImage::Format_Indexed8) throw EImageError("RLE: colour reduction failed");
  const QList<QRgb> table = img.colorTable();
  const std::uint32_t n = std::uint32_t(table.size());
  if (n == 0 || n > 256) throw EImageError("RLE: colour reduction failed");
  const TByteBuffer data = EncodeRle8(img);
  const std::uint64_t offset = 54 + 4 * std::uint64_t(n);
  if (offset + data.size() > 0xFFFFFFFFull) throw EImageError("RLE: picture too large for the format");
  const std::uint32_t s = std::uint32_t(data.size());

  out.reserve(out.size() + std::size_t(offset) + s);
  out.push_back('B');
  out.push_back('M');
  PutLE32(out, std::uint32_t(offset) + s);  // file size
  PutLE16(out, 0);
  PutLE16(out, 0);
  PutLE32(out, std::uint32_t(offset));  // pixel data offset
  PutLE32(out, 40);                     // information header size
  PutLE32(out, std::uint32_t(img.width()));
  PutLE32(out, std::uint32_t(img.height()));  // positive: rows bottom-up
  PutLE16(out, 1);                            // planes
  PutLE16(out, 8);                            // bits per pixel
  PutLE32(out, 1);                            // BI_RLE8
  PutLE32(out, s);
  PutLE32(out, 0);  // resolution, both directions
  PutLE32(out, 0);
  PutLE32(out, n);  // colours used
  PutLE32(out, 0);  // important colours
  for (QRgb c : table) {
    out.push_back(uchar(qBlue(c)));
    out.push_back(uchar(qGreen(c)));
    out.push_back(uchar(qRed(c)));
    out.push_back(0);
  }
  out.insert(out.end(), data.begin(), data.end());
}
