#include "mosaic/SquareCrop.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

TSquareRegion CentredSquare(int width, int height) {
  const int side = std::max(0, std::min(width, height));
  return {(width - side) / 2, (height - side) / 2, side};
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

TBitmap CropToSquare(const TBitmap& picture, int size) {
  if (picture.Empty() || size <= 0) return TBitmap();
  // Read through a const reference: a 24-bit picture is never copied.
  TBitmap converted;
  if (picture.PixelFormat() != pf24bit) {
    converted = picture;
    converted.SetPixelFormat(pf24bit);
  }
  const TBitmap& source = picture.PixelFormat() == pf24bit ? picture : converted;
  const TSquareRegion sq = CentredSquare(source.Width(), source.Height());
  const std::vector<TSpan> spans = AreaSpans(sq.Side, size);
  // Horizontal pass into rows of floats, then the vertical pass.
  std::vector<float> rows(size_t(sq.Side) * size_t(size) * 3);
  for (int y = 0; y < sq.Side; ++y) {
    const std::uint8_t* s = source.ScanLine(sq.Top + y) + 3 * sq.Left;
    float* r = rows.data() + size_t(y) * size_t(size) * 3;
    for (int x = 0; x < size; ++x) {
      const TSpan& span = spans[size_t(x)];
      float acc[3] = {0, 0, 0};
      for (size_t k = 0; k < span.Weights.size(); ++k) {
        const std::uint8_t* p = s + 3 * (span.First + int(k));
        for (int c = 0; c < 3; ++c) acc[c] += span.Weights[k] * p[c];
      }
      for (int c = 0; c < 3; ++c) r[3 * x + c] = acc[c];
    }
  }
  TBitmap square(size, size, pf24bit);
  for (int y = 0; y < size; ++y) {
    const TSpan& span = spans[size_t(y)];
    std::uint8_t* d = square.ScanLine(y);
    for (int x = 0; x < 3 * size; ++x) {
      float acc = 0;
      for (size_t k = 0; k < span.Weights.size(); ++k)
        acc += span.Weights[k] * rows[size_t(span.First + int(k)) * size_t(size) * 3 + size_t(x)];
      d[x] = std::uint8_t(std::clamp(int(std::lround(acc)), 0, 255));
    }
  }
  return square;
}
