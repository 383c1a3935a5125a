// The descriptor of a tile or a cell: its parts' colours in CIELAB.
#include "mosaic/MatchDescriptor.h"

#include <cmath>

#include "mosaic/AreaMean.h"
#include "mosaic/LabColor.h"

namespace {

// The chroma compression of the descriptors (CIE94's chroma weighting, the
// log form of DIN99).
constexpr float kChromaCompression = 0.045f;

}  // namespace

TTileDescriptor DescribeArea(const TBitmap& bitmap, int x, int y, int w, int h) {
  TTileDescriptor d{};
  for (int gy = 0; gy < MatchGrid; ++gy) {
    int y0, y1;
    PartSpan(gy, MatchGrid, h, y0, y1);
    for (int gx = 0; gx < MatchGrid; ++gx) {
      int x0, x1;
      PartSpan(gx, MatchGrid, w, x0, x1);
      const TLinearMean m = AreaMean(bitmap, x + x0, y + y0, x + x1, y + y1);
      TLab lab = LinearRgbToLab(m.R, m.G, m.B);
      // The eye tells strong colours apart by less than their distance in
      // CIELAB says: chroma is compressed as CIE94 and DIN99 weigh it, so
      // that a vivid tile is not taken for a near match of a vivid cell
      // whose hue it misses, nor a grey one passed over for it.
      if (const float c = std::hypot(lab.a, lab.b); c > 0) {
        const float scale = std::log1p(kChromaCompression * c) / (kChromaCompression * c);
        lab.a *= scale;
        lab.b *= scale;
      }
      const size_t at = size_t(gy * MatchGrid + gx) * 3;
      d[at] = lab.L;
      d[at + 1] = lab.a;
      d[at + 2] = lab.b;
    }
  }
  return d;
}
