// The mean colour of a part of a bitmap in linear light; the cut into parts.
#include "mosaic/AreaMean.h"

#include <algorithm>
#include <cstdint>

#include "mosaic/LabColor.h"

void PartSpan(int i, int n, int length, int& first, int& last) {
  first = i * length / n;
  last = (i + 1) * length / n;
  if (last <= first) {
    first = std::min(first, length - 1);
    last = first + 1;
  }
}

TLinearMean AreaMean(const TBitmap& bitmap, int x0, int y0, int x1, int y1) {
  const auto& lin = SrgbToLinearTable();
  double r = 0, g = 0, b = 0;
  for (int y = y0; y < y1; ++y) {
    const std::uint8_t* p = bitmap.ScanLine(y) + 3 * x0;
    for (int x = x0; x < x1; ++x, p += 3) {
      b += lin[p[0]];
      g += lin[p[1]];
      r += lin[p[2]];
    }
  }
  const double n = double(x1 - x0) * double(y1 - y0);
  return {float(r / n), float(g / n), float(b / n)};
}
