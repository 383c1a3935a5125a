#include "mosaic/SquareCrop.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <vector>

TSquareRegion CentredSquare(int width, int height) {
  const int side = std::max(0, std::min(width, height));
  return {(width - side) / 2, (height - side) / 2, side};
}

TCropRegion CentredRegion(int width, int height, int shapeWidth, int shapeHeight) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (shapeWidth <= 0 || shapeHeight <= 0) return {};
  // 64 bits: a 65535-pixel side times a shape side does not fit in 32.
  int w = width, h = height;
  if (std::int64_t(width) * shapeHeight >= std::int64_t(height) * shapeWidth)
    w = int(std::min<std::int64_t>(width, (2 * std::int64_t(height) * shapeWidth + shapeHeight) / (2 * shapeHeight)));
  else
    h = int(std::min<std::int64_t>(height, (2 * std::int64_t(width) * shapeHeight + shapeWidth) / (2 * shapeWidth)));
  if (width > 0 && height > 0) {
    w = std::max(w, 1);
    h = std::max(h, 1);
  }
  return {(width - w) / 2, (height - h) / 2, w, h};
}

QString TileAspectList() {
  QString list;
  const int count = int(std::size(TileAspects));
  for (int i = 0; i < count; ++i) {
    if (i > 0) list += i + 1 == count ? QStringLiteral(" or ") : QStringLiteral(", ");
    list += QStringLiteral("%1:%2").arg(TileAspects[i].Width).arg(TileAspects[i].Height);
  }
  return list;
}

bool ParseTileAspect(const QString& text, TTileAspect& aspect) {
  for (const TTileAspect& a : TileAspects)
    if (text == QStringLiteral("%1:%2").arg(a.Width).arg(a.Height)) {
      aspect = a;
      return true;
    }
  return false;
}

TTileSize TileSize(int cellSize, TTileAspect aspect) {
  if (cellSize <= 0 || aspect.Width <= 0 || aspect.Height <= 0) return {};
  const int longer = std::max(aspect.Width, aspect.Height), shorter = std::min(aspect.Width, aspect.Height);
  const int side = std::max(1, int((2 * std::int64_t(cellSize) * shorter + longer) / (2 * longer)));
  return aspect.Width >= aspect.Height ? TTileSize{cellSize, side} : TTileSize{side, cellSize};
}

namespace {

// Source pixel spans and weights of each target pixel along one axis, for an
// interval of `source` pixels mapped onto `target` pixels.
struct TSpan {
  int First = 0;
  std::vector<float> Weights;
};

std::vector<TSpan> AreaSpans(int source, int target) {
  std::vector<TSpan> spans(static_cast<size_t>(target));
  const double scale = double(source) / target;
  for (int i = 0; i < target; ++i) {
    const double a = i * scale, b = (i + 1) * scale;
    TSpan& s = spans[size_t(i)];
    s.First = std::min(int(std::floor(a)), source - 1);
    const int last = std::min(int(std::ceil(b)) - 1, source - 1);
    double total = 0;
    for (int k = s.First; k <= std::max(last, s.First); ++k) {
      const double w = std::min(b, double(k + 1)) - std::max(a, double(k));
      s.Weights.push_back(float(std::max(w, 0.0)));
      total += std::max(w, 0.0);
    }
    for (float& w : s.Weights) w = float(w / total);
  }
  return spans;
}

}  // namespace

TBitmap CropToShape(const TBitmap& picture, int width, int height) {
  if (picture.Empty() || width <= 0 || height <= 0) return TBitmap();
  // Read through a const reference: a 24-bit picture is never copied.
  TBitmap converted;
  if (picture.PixelFormat() != pf24bit) {
    converted = picture;
    converted.SetPixelFormat(pf24bit);
  }
  const TBitmap& source = picture.PixelFormat() == pf24bit ? picture : converted;
  const TCropRegion region = CentredRegion(source.Width(), source.Height(), width, height);
  const std::vector<TSpan> across = AreaSpans(region.Width, width), down = AreaSpans(region.Height, height);
  // Horizontal pass into rows of floats, then the vertical pass.
  const size_t rowFloats = size_t(width) * 3;
  std::vector<float> rows(size_t(region.Height) * rowFloats);
  for (int y = 0; y < region.Height; ++y) {
    const std::uint8_t* s = source.ScanLine(region.Top + y) + 3 * region.Left;
    float* r = rows.data() + size_t(y) * rowFloats;
    for (int x = 0; x < width; ++x) {
      const TSpan& span = across[size_t(x)];
      float acc[3] = {0, 0, 0};
      for (size_t k = 0; k < span.Weights.size(); ++k) {
        const std::uint8_t* p = s + 3 * (span.First + int(k));
        for (int c = 0; c < 3; ++c) acc[c] += span.Weights[k] * p[c];
      }
      for (int c = 0; c < 3; ++c) r[3 * x + c] = acc[c];
    }
  }
  TBitmap tile(width, height, pf24bit);
  for (int y = 0; y < height; ++y) {
    const TSpan& span = down[size_t(y)];
    std::uint8_t* d = tile.ScanLine(y);
    for (size_t x = 0; x < rowFloats; ++x) {
      float acc = 0;
      for (size_t k = 0; k < span.Weights.size(); ++k)
        acc += span.Weights[k] * rows[size_t(span.First + int(k)) * rowFloats + x];
      d[x] = std::uint8_t(std::clamp(int(std::lround(acc)), 0, 255));
    }
  }
  return tile;
}

TBitmap CropToSquare(const TBitmap& picture, int size) { return CropToShape(picture, size, size); }
