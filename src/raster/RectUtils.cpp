#include "raster/RectUtils.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "raster/Bitmap.h"

bool IsRectEmpty(const TRect& r) { return r.Right <= r.Left || r.Bottom <= r.Top; }

bool IntersectRect(TRect& result, const TRect& a, const TRect& b) {
  TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right), std::min(a.Bottom, b.Bottom)};
  if (IsRectEmpty(r)) r = TRect{};
  result = r;
  return !IsRectEmpty(r);
}

int RectWidth(const TRect& r) { return std::abs(r.Right - r.Left); }
int RectHeight(const TRect& r) { return std::abs(r.Bottom - r.Top); }
bool RectIsPoint(const TRect& r) { return r.Left == r.Right && r.Top == r.Bottom; }

TRect PointsToRect(int x1, int y1, int x2, int y2) {
  return TRect{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

TRect NormalizeRect(const TRect& r) { return PointsToRect(r.Left, r.Top, r.Right, r.Bottom); }

TRect SquareRect(const TRect& r, bool keepLeft, bool keepTop) {
  TRect s = r;
  const int w = r.Right - r.Left, h = r.Bottom - r.Top;
  if (h < w) {
    if (keepLeft)
      s.Right = s.Left + h;
    else
      s.Left = s.Right - h;
  } else {
    if (keepTop)
      s.Bottom = s.Top + w;
    else
      s.Top = s.Bottom - w;
  }
  return s;
}

TRect BitmapRect(const TBitmap& bitmap) { return TRect{0, 0, bitmap.Width(), bitmap.Height()}; }

void ClipRectToBitmap(TRect& r, const TBitmap& bitmap) { IntersectRect(r, NormalizeRect(r), BitmapRect(bitmap)); }

void FitInBox(int& width, int& height, int boxWidth, int boxHeight) {
  if (width <= 0 || height <= 0 || boxWidth <= 0 || boxHeight <= 0) return;
  const double ratio = std::max(double(width) / boxWidth, double(height) / boxHeight);
  // nearbyint follows the default rounding mode: halves go to the even neighbour.
  width = int(std::nearbyint(width / ratio));
  height = int(std::nearbyint(height / ratio));
  if (width > boxWidth) width = boxWidth;
  if (height > boxHeight) height = boxHeight;
}

namespace {

// Source coordinate of each target coordinate: the centre of target pixel i
// falls in source pixel floor((i + 0.5) * src / dst). Covers the whole source
// and takes one source pixel for every target pixel.
std::vector<int> NearestMap(int dst, int src) {
  std::vector<int> map(size_t(std::max(dst, 0)));
  for (int i = 0; i < dst; ++i) map[size_t(i)] = int(((2 * std::int64_t(i) + 1) * src) / (2 * std::int64_t(dst)));
  return map;
}

}  // namespace

void ResampleBitmap(int newWidth, int newHeight, const TBitmap& source, TBitmap& target) {
  if (source.Empty()) return;
  target.Assign(nullptr);
  target.SetPixelFormat(source.PixelFormat());
  const TPixelFormat pf = source.PixelFormat();
  target.SetWidth(newWidth);
  target.SetHeight(newHeight);
  if (pf == pf1bit || pf == pf4bit || pf == pf8bit) target.SetPalette(source.Palette());
  if (!target.Empty()) {
    const std::vector<int> xs = NearestMap(newWidth, source.Width());
    const std::vector<int> ys = NearestMap(newHeight, source.Height());
    QImage& dst = target.MutableImage();
    const QImage& src = source.Image();
    const int depth = src.depth();
    for (int y = 0; y < newHeight; ++y) {
      const uchar* s = src.constScanLine(ys[size_t(y)]);
      uchar* d = dst.scanLine(y);
      if (y > 0 && ys[size_t(y)] == ys[size_t(y) - 1]) {
        std::memcpy(d, dst.constScanLine(y - 1), size_t(dst.bytesPerLine()));
        continue;
      }
      switch (depth) {
        case 1:
          std::memset(d, 0, size_t(dst.bytesPerLine()));
          for (int x = 0; x < newWidth; ++x) {
            const int sx = xs[size_t(x)];
            if (s[sx >> 3] & (0x80 >> (sx & 7))) d[x >> 3] |= uchar(0x80 >> (x & 7));
          }
          break;
        case 8:
          for (int x = 0; x < newWidth; ++x) d[x] = s[xs[size_t(x)]];
          break;
        case 16: {
          auto* d16 = reinterpret_cast<std::uint16_t*>(d);
          const auto* s16 = reinterpret_cast<const std::uint16_t*>(s);
          for (int x = 0; x < newWidth; ++x) d16[x] = s16[xs[size_t(x)]];
          break;
        }
        case 24:
          for (int x = 0; x < newWidth; ++x, d += 3) {
            const uchar* p = s + 3 * xs[size_t(x)];
            d[0] = p[0];
            d[1] = p[1];
            d[2] = p[2];
          }
          break;
        default: {
          auto* d32 = reinterpret_cast<std::uint32_t*>(d);
          const auto* s32 = reinterpret_cast<const std::uint32_t*>(s);
          for (int x = 0; x < newWidth; ++x) d32[x] = s32[xs[size_t(x)]];
        }
      }
    }
  }
  target.SetTransparentColor(source.TransparentColorSet() ? source.TransparentColor() : clDefault);
  target.Transparent = source.Transparent;
}

void ScaleBitmap(int newWidth, int newHeight, TBitmap& bitmap) {
  if (bitmap.Empty()) return;
  TBitmap scaled;
  ResampleBitmap(newWidth, newHeight, bitmap, scaled);
  bitmap.Assign(&scaled);
}
