// The light tint: each part of a tile moved towards the target's light there.
#include "mosaic/LightTint.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "mosaic/AreaMean.h"
#include "mosaic/LabColor.h"

namespace {

// The light tint works on a grid of this many parts a side: a quarter of
// the cell, the size at which a tile's inside is seen from a metre away.
constexpr int kLightGrid = 4;

// The light of a pixel value between two bytes, in linear light.
float LinearOf(float value) {
  const auto& lin = SrgbToLinearTable();
  const float v = std::clamp(value, 0.0f, 255.0f);
  const int i = std::min(int(v), 254);
  return lin[size_t(i)] + (v - float(i)) * (lin[size_t(i) + 1] - lin[size_t(i)]);
}

}  // namespace

int DrawLightTinted(const TBitmap& tile, TBitmap& image, int x, int y, int w, int h, const TMatchOptions& options) {
  const float limit = float(std::clamp(options.TintLimit, 0, 100)) / 100.0f;
  std::array<std::array<std::array<float, 3>, kLightGrid>, kLightGrid> move{};
  float percentSum = 0;
  for (int gy = 0; gy < kLightGrid; ++gy) {
    int y0, y1;
    PartSpan(gy, kLightGrid, h, y0, y1);
    for (int gx = 0; gx < kLightGrid; ++gx) {
      int x0, x1;
      PartSpan(gx, kLightGrid, w, x0, x1);
      const TLinearMean goal = AreaMean(image, x + x0, y + y0, x + x1, y + y1);
      const TLab goalLab = LinearRgbToLab(goal.R, goal.G, goal.B);
      // The parts' mean pixel values, blue, green, red.
      double sum[3] = {0, 0, 0};
      for (int row = y0; row < y1; ++row) {
        const std::uint8_t* t = tile.ScanLine(row) + 3 * x0;
        const std::uint8_t* g = image.ScanLine(y + row) + 3 * (x + x0);
        for (int col = x0; col < x1; ++col, t += 3, g += 3)
          for (size_t c = 0; c < 3; ++c) sum[c] += double(g[c]) - double(t[c]);
      }
      const double n = double(x1 - x0) * double(y1 - y0);
      const float d[3] = {float(sum[0] / n), float(sum[1] / n), float(sum[2] / n)};
      const auto farAt = [&](float f) {
        double light[3] = {0, 0, 0};
        for (int row = y0; row < y1; ++row) {
          const std::uint8_t* t = tile.ScanLine(row) + 3 * x0;
          for (int col = x0; col < x1; ++col, t += 3)
            for (size_t c = 0; c < 3; ++c) light[c] += LinearOf(float(t[c]) + f * d[c]);
        }
        const TLab lab = LinearRgbToLab(float(light[2] / n), float(light[1] / n), float(light[0] / n));
        return DeltaE76(lab, goalLab) > options.TintTolerance;
      };
      float f = 0;
      if (limit > 0 && farAt(0)) {
        if (farAt(limit)) {
          f = limit;
        } else {
          // The distance falls as the fraction grows: halve the interval
          // to within a percent.
          float lo = 0, hi = limit;
          while (hi - lo > 0.01f) {
            const float mid = (lo + hi) / 2;
            (farAt(mid) ? lo : hi) = mid;
          }
          f = hi;
        }
      }
      for (size_t c = 0; c < 3; ++c) move[size_t(gy)][size_t(gx)][c] = f * d[c];
      percentSum += f;
    }
  }
  // Each pixel's move, bilinear between the parts' centres (held at the
  // edges).
  const auto position = [](int i, int length, int& part, float& t) {
    const float u = (float(i) + 0.5f) * kLightGrid / float(length) - 0.5f;
    const float clamped = std::clamp(u, 0.0f, float(kLightGrid - 1));
    part = std::min(int(clamped), kLightGrid - 2);
    t = clamped - float(part);
  };
  for (int row = 0; row < h; ++row) {
    int py;
    float ty;
    position(row, h, py, ty);
    const std::uint8_t* s = tile.ScanLine(row);
    std::uint8_t* out = image.ScanLine(y + row) + 3 * x;
    for (int col = 0; col < w; ++col, s += 3, out += 3) {
      int px;
      float tx;
      position(col, w, px, tx);
      for (size_t c = 0; c < 3; ++c) {
        const float top = move[size_t(py)][size_t(px)][c] * (1 - tx) + move[size_t(py)][size_t(px + 1)][c] * tx;
        const float bottom =
            move[size_t(py + 1)][size_t(px)][c] * (1 - tx) + move[size_t(py + 1)][size_t(px + 1)][c] * tx;
        out[c] = std::uint8_t(std::clamp(std::lround(float(s[c]) + top * (1 - ty) + bottom * ty), 0L, 255L));
      }
    }
  }
  return int(std::lround(percentSum * 100.0f / (kLightGrid * kLightGrid)));
}
