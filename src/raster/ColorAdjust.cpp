#include "raster/ColorAdjust.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

std::uint8_t ClampByte(std::int64_t v) { return std::uint8_t(std::clamp<std::int64_t>(v, 0, 255)); }

// The operations walk rows as packed blue-green-red triples; anything else
// would be read past the end of its rows, so such bitmaps are left alone.
bool Is24Bit(const TBitmap& bitmap) {
  return !bitmap.Empty() && bitmap.PixelFormat() == pf24bit && bitmap.Image().format() == QImage::Format_BGR888;
}

// Clips rect against the bitmap; false when nothing is left to work on.
bool ClipToUsable(TRect& rect, const TBitmap& bitmap) {
  if (!Is24Bit(bitmap)) return false;
  ClipRectToBitmap(rect, bitmap);
  return !IsRectEmpty(rect);
}

struct TChannelTables {
  TChannelTable B, G, R;
};

TChannelTables ColorizeTables(TColor color, int percent) {
  const TColor rgb = ColorToRGB(color);
  TChannelTables t;
  BuildColorizeTable(t.B, GetBValue(rgb), percent);
  BuildColorizeTable(t.G, GetGValue(rgb), percent);
  BuildColorizeTable(t.R, GetRValue(rgb), percent);
  return t;
}

void ApplyTables(TBitmap& bitmap, const TRect& rect, const TChannelTable& b, const TChannelTable& g,
                 const TChannelTable& r) {
  for (int y = rect.Top; y < rect.Bottom; ++y) {
    std::uint8_t* p = bitmap.ScanLine(y) + 3 * rect.Left;
    for (int x = rect.Left; x < rect.Right; ++x, p += 3) {
      p[0] = b[p[0]];
      p[1] = g[p[1]];
      p[2] = r[p[2]];
    }
  }
}

bool NearTriple(const std::uint8_t* p, int b, int g, int r, int tolerance) {
  return std::abs(p[0] - b) <= tolerance && std::abs(p[1] - g) <= tolerance && std::abs(p[2] - r) <= tolerance;
}

// Non-negative remainder, in 64 bits so that any origin is safe.
int PositiveMod(std::int64_t a, int m) {
  const std::int64_t r = a % m;
  return int(r < 0 ? r + m : r);
}

}  // namespace

void BuildColorizeTable(TChannelTable& table, int target, int percent) {
  for (int i = 0; i < 256; ++i) table[size_t(i)] = ClampByte(i + (std::int64_t(target - i) * percent) / 100);
}

void BuildContrastTable(TChannelTable& table, int percent) {
  for (int i = 0; i < 256; ++i) table[size_t(i)] = ClampByte(i + (std::int64_t(i - 128) * percent) / 100);
}

TColorTriple ColorToBGR(TColor color) {
  const TColor rgb = ColorToRGB(color);
  return TColorTriple{std::uint8_t(GetBValue(rgb)), std::uint8_t(GetGValue(rgb)), std::uint8_t(GetRValue(rgb))};
}

void ColorizeBitmap(TBitmap& bitmap, TColor color, int percent, TRect rect) {
  if (percent == 0 || percent < -100 || percent > 100) return;
  if (!ClipToUsable(rect, bitmap)) return;
  const TChannelTables t = ColorizeTables(color, percent);
  ApplyTables(bitmap, rect, t.B, t.G, t.R);
}

void ContrastBitmap(TBitmap& bitmap, int percent, TRect rect) {
  if (percent == 0) return;
  if (!ClipToUsable(rect, bitmap)) return;
  TChannelTable table;
  BuildContrastTable(table, percent);
  ApplyTables(bitmap, rect, table, table, table);
}

void BlurBitmap(TBitmap& bitmap, TRect rect) {
  if (!ClipToUsable(rect, bitmap)) return;
  const int lastRow = rect.Bottom - 1;
  const int cols = rect.Right - rect.Left;
  const size_t rowBytes = size_t(cols) * 3;
  // Only the rectangle's columns are ever sampled, so the buffers hold just
  // those; they keep the unmodified rows above and at y while y is written.
  std::vector<std::uint8_t> previous(rowBytes), current(rowBytes);
  const auto sourceRow = [&](int y) { return bitmap.ScanLine(y) + 3 * rect.Left; };

  std::memcpy(current.data(), sourceRow(rect.Top), rowBytes);
  for (int y = rect.Top; y <= lastRow; ++y) {
    previous.swap(current);
    std::uint8_t* out = sourceRow(y);
    // `previous` now holds row y - 1 as it was (row Top itself on the first row).
    std::memcpy(current.data(), out, rowBytes);
    const std::uint8_t* above = previous.data();
    const std::uint8_t* same = current.data();
    const std::uint8_t* below = y == lastRow ? current.data() : sourceRow(y + 1);
    for (int c = 0; c < cols; ++c) {
      const int l = 3 * (c == 0 ? c : c - 1);
      const int m = 3 * c;
      const int r = 3 * (c == cols - 1 ? c : c + 1);
      for (int k = 0; k < 3; ++k) {
        const int sum = above[l + k] + above[m + k] + above[r + k] + same[l + k] + same[m + k] + same[r + k] +
                        below[l + k] + below[m + k] + below[r + k];
        out[m + k] = std::uint8_t(sum / 9);
      }
    }
  }
}

void GrayTintBitmap(TBitmap& bitmap, TColor keyColor, TColor tintColor, int percent) {
  if (percent <= 0) return;
  if (!Is24Bit(bitmap)) return;
  percent = std::min(percent, 100);
  const TColor tint = ColorToRGB(tintColor);
  const TChannelTables t = ColorizeTables(tint, percent);
  const TColor key = ColorToRGB(keyColor);
  const int kb = GetBValue(key), kg = GetGValue(key), kr = GetRValue(key);
  const auto tb = std::uint8_t(GetBValue(tint)), tg = std::uint8_t(GetGValue(tint)), tr = std::uint8_t(GetRValue(tint));
  for (int y = 0; y < bitmap.Height(); ++y) {
    std::uint8_t* p = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x, p += 3) {
      if (NearTriple(p, kb, kg, kr, 7)) {
        p[0] = tb;
        p[1] = tg;
        p[2] = tr;
      } else {
        const int grey = (p[0] + p[1] + p[2]) / 3;
        p[0] = t.B[size_t(grey)];
        p[1] = t.G[size_t(grey)];
        p[2] = t.R[size_t(grey)];
      }
    }
  }
}

void MakeColorMask(const TBitmap& source, TBitmap& mask, TColor color, int tolerance, bool markMatches, TRect rect) {
  if (tolerance < 0) return;
  if (!ClipToUsable(rect, source)) return;
  if (mask.PixelFormat() != pf24bit) return;
  mask.SetSize(source.Width(), source.Height());
  if (!Is24Bit(mask)) return;
  const TColor rgb = ColorToRGB(color);
  const int cb = GetBValue(rgb), cg = GetGValue(rgb), cr = GetRValue(rgb);
  for (int y = rect.Top; y < rect.Bottom; ++y) {
    // The mask row first: if source and mask are one bitmap, taking it may
    // detach the image, and the source row must come from the same buffer.
    std::uint8_t* m = mask.ScanLine(y) + 3 * rect.Left;
    const std::uint8_t* s = source.ScanLine(y) + 3 * rect.Left;
    for (int x = rect.Left; x < rect.Right; ++x, s += 3, m += 3) {
      if (!NearTriple(s, cb, cg, cr, tolerance))
        m[0] = m[1] = m[2] = 0;
      else if (markMatches)
        m[0] = m[1] = m[2] = 255;
    }
  }
}

void BlendPixelMasked(std::uint8_t* targetPixel, const TColorTriple& color, const std::uint8_t* maskPixel,
                      int percent) {
  const int m = maskPixel[0];
  if (m == 0 && percent >= 100) {
    targetPixel[0] = color.B;
    targetPixel[1] = color.G;
    targetPixel[2] = color.R;
    return;
  }
  const std::int64_t w = (std::int64_t(255 - m) * percent) / 255;
  const std::uint8_t c[3] = {color.B, color.G, color.R};
  for (int k = 0; k < 3; ++k) {
    const int t = targetPixel[k];
    // Within 0..100 the result stays between t and c; clamping only keeps
    // other strengths from wrapping around.
    targetPixel[k] = ClampByte(t + (std::int64_t(c[k] - t) * w) / 100);
  }
}

void BlendColorMasked(const TBitmap& mask, TRect maskRect, TBitmap& target, int x, int y, TRect targetRect,
                      TColor color, int percent) {
  if (percent <= 0) return;
  percent = std::min(percent, 100);
  const TColorTriple triple = ColorToBGR(color);
  if (!ClipToUsable(maskRect, mask)) return;
  const int w = maskRect.Right - maskRect.Left, h = maskRect.Bottom - maskRect.Top;
  if (!ClipToUsable(targetRect, target)) return;
  // Intersection with (x, y, x + w, y + h), in 64 bits so that far offsets cannot overflow.
  const int left = int(std::max<std::int64_t>(targetRect.Left, x));
  const int top = int(std::max<std::int64_t>(targetRect.Top, y));
  const int right = int(std::min<std::int64_t>(targetRect.Right, std::int64_t(x) + w));
  const int bottom = int(std::min<std::int64_t>(targetRect.Bottom, std::int64_t(y) + h));
  if (right <= left || bottom <= top) return;
  for (int ty = top; ty < bottom; ++ty) {
    std::uint8_t* t = target.ScanLine(ty) + 3 * left;
    const std::uint8_t* m = mask.ScanLine(ty - y) + 3 * (left - x);
    for (int tx = left; tx < right; ++tx, t += 3, m += 3) BlendPixelMasked(t, triple, m, percent);
  }
}

void TileBitmap(const TBitmap& tile, TBitmap& target, int originX, int originY, TRect rect) {
  if (!Is24Bit(tile)) return;
  if (!ClipToUsable(rect, target)) return;
  const int tw = tile.Width(), th = tile.Height();
  std::vector<int> tileCol(size_t(rect.Right - rect.Left));
  for (int x = rect.Left; x < rect.Right; ++x)
    tileCol[size_t(x - rect.Left)] = 3 * PositiveMod(std::int64_t(x) - originX, tw);
  for (int y = rect.Top; y < rect.Bottom; ++y) {
    std::uint8_t* t = target.ScanLine(y) + 3 * rect.Left;
    const std::uint8_t* src = tile.ScanLine(PositiveMod(std::int64_t(y) - originY, th));
    for (int off : tileCol) {
      t[0] = src[off];
      t[1] = src[off + 1];
      t[2] = src[off + 2];
      t += 3;
    }
  }
}

bool ColorsNear(TColor a, TColor b, int tolerance) {
  if (tolerance < 0) return false;
  const TColor ra = ColorToRGB(a), rb = ColorToRGB(b);
  return std::abs(GetBValue(ra) - GetBValue(rb)) <= tolerance && std::abs(GetGValue(ra) - GetGValue(rb)) <= tolerance &&
         std::abs(GetRValue(ra) - GetRValue(rb)) <= tolerance;
}

TColor MixColors(TColor a, TColor b, int percent) {
  if (percent <= 0 || percent > 100) return a;
  const TColor ra = ColorToRGB(a), rb = ColorToRGB(b);
  const auto mix = [percent](int ca, int cb) { return ca + ((cb - ca) * percent) / 100; };
  return RGBColor(mix(GetRValue(ra), GetRValue(rb)), mix(GetGValue(ra), GetGValue(rb)),
                  mix(GetBValue(ra), GetBValue(rb)));
}

namespace {

// Lays the grey ramps of SmoothMaskEdges. Pixels are addressed as (run
// position, line): for the horizontal pass a position is a column and a line a
// row, for the vertical pass the other way round.
class TMaskSmoother {
 public:
  TMaskSmoother(TBitmap& mask, bool horizontal, int maxRun)
      : m_mask(mask), m_horizontal(horizontal), m_maxRun(maxRun) {}

  bool Dark(int pos, int line) const { return Pixel(pos, line)[0] == 0; }

  // Walks from pos + dir (the pixel next to the dark one) towards stop, over
  // pixels light on `line` and dark on `neighbour`, then ramps them.
  void Run(int pos, int line, int dir, int stop, int neighbour) {
    int count = 0;
    for (int p = pos + dir; count < m_maxRun && (dir < 0 ? p >= stop : p <= stop); p += dir) {
      if (Dark(p, line) || !Dark(p, neighbour)) break;
      ++count;
    }
    if (count == 0 || count >= m_maxRun) return;
    const double step = 255.0 / (count + 1);
    double sum = 0;
    for (int k = 1; k <= count; ++k) {
      sum += step;
      // nearbyint in the default rounding mode sends halves to the even neighbour.
      const double v = std::nearbyint(sum + 0.5);
      std::uint8_t* px = Pixel(pos + k * dir, line);
      if (v < px[0]) px[0] = px[1] = px[2] = std::uint8_t(v);
    }
  }

 private:
  std::uint8_t* Pixel(int pos, int line) const {
    return m_horizontal ? m_mask.ScanLine(line) + 3 * pos : m_mask.ScanLine(pos) + 3 * line;
  }

  TBitmap& m_mask;
  bool m_horizontal;
  int m_maxRun;
};

// One pass: lines run from firstLine to lastLine, positions along each line
// from firstPos to lastPos.
void SmoothPass(TBitmap& mask, bool horizontal, int maxRun, int firstLine, int lastLine, int firstPos, int lastPos) {
  TMaskSmoother s(mask, horizontal, maxRun);
  for (int line = firstLine; line <= lastLine; ++line)
    for (int pos = firstPos + 1; pos <= lastPos - 1; ++pos) {
      if (!s.Dark(pos, line)) continue;
      for (int dir : {-1, 1}) {
        if (s.Dark(pos + dir, line)) continue;
        const int stop = dir < 0 ? firstPos : lastPos;
        if (line > firstLine) s.Run(pos, line, dir, stop, line - 1);
        if (line < lastLine) s.Run(pos, line, dir, stop, line + 1);
      }
    }
}

}  // namespace

void SmoothMaskEdges(TBitmap& mask, TRect rect, int maxRun) {
  if (!ClipToUsable(rect, mask)) return;
  if (maxRun < 0) maxRun = 99999;
  const int lastRow = rect.Bottom - 1, lastCol = rect.Right - 1;
  SmoothPass(mask, true, maxRun, rect.Top, lastRow, rect.Left, lastCol);
  SmoothPass(mask, false, maxRun, rect.Left, lastCol, rect.Top, lastRow);
}
