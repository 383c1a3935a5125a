// The whole-tile tint: the tile's colours pulled towards the cell's average.
#include "mosaic/WholeTint.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "mosaic/LabColor.h"
#include "raster/ColorAdjust.h"

namespace {

TLab LabOfColor(TColor c) {
  const auto& lin = SrgbToLinearTable();
  return LinearRgbToLab(lin[GetRValue(c)], lin[GetGValue(c)], lin[GetBValue(c)]);
}

// The per-channel mapping of a tile pulled `percent` towards a colour, then
// given the contrast that goes with that tint.
struct TTintTables {
  TChannelTable B, G, R;
};

TTintTables TintTables(TColor target, int percent, const TMatchOptions& options) {
  const int contrast = int(std::lround(double(options.ContrastPercent) * percent / MosaicColorizePercent));
  TChannelTable contrastTable;
  BuildContrastTable(contrastTable, contrast);
  TTintTables t;
  const auto build = [&](TChannelTable& table, int component) {
    TChannelTable colorize;
    BuildColorizeTable(colorize, component, percent);
    for (size_t i = 0; i < 256; ++i) table[i] = contrastTable[colorize[i]];
  };
  build(t.B, GetBValue(target));
  build(t.G, GetGValue(target));
  build(t.R, GetRValue(target));
  return t;
}

}  // namespace

int AdaptiveTint(const TBitmap& tile, int w, int h, TColor target, const TMatchOptions& options) {
  const int limit = std::clamp(options.TintLimit, 0, 100);
  if (limit == 0 || w <= 0 || h <= 0) return 0;
  std::array<std::array<int, 256>, 3> histogram{};
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* p = tile.ScanLine(y);
    for (int x = 0; x < w; ++x, p += 3)
      for (size_t c = 0; c < 3; ++c) ++histogram[c][p[c]];
  }
  const auto& lin = SrgbToLinearTable();
  const TLab goal = LabOfColor(target);
  const double n = double(w) * double(h);
  const auto farFromGoal = [&](int percent) {
    const TTintTables t = TintTables(target, percent, options);
    const TChannelTable* tables[3] = {&t.B, &t.G, &t.R};
    double mean[3] = {0, 0, 0};
    for (size_t c = 0; c < 3; ++c)
      for (size_t i = 0; i < 256; ++i)
        if (histogram[c][i]) mean[c] += histogram[c][i] * double(lin[(*tables[c])[i]]);
    const TLab lab = LinearRgbToLab(float(mean[2] / n), float(mean[1] / n), float(mean[0] / n));
    return DeltaE76(lab, goal) > options.TintTolerance;
  };
  if (!farFromGoal(0)) return 0;
  if (farFromGoal(limit)) return limit;
  // The smallest percent that is close enough, taking the distance as
  // falling with the percent.
  int lo = 0, hi = limit;
  while (hi - lo > 1) {
    const int mid = (lo + hi) / 2;
    (farFromGoal(mid) ? lo : hi) = mid;
  }
  return hi;
}

int DrawWholeTinted(const TBitmap& tile, TBitmap& image, int x, int y, int w, int h, TColor target,
                    const TMatchOptions& options) {
  const int tint = AdaptiveTint(tile, w, h, target, options);
  const TTintTables t = TintTables(target, tint, options);
  for (int row = 0; row < h; ++row) {
    const std::uint8_t* s = tile.ScanLine(row);
    std::uint8_t* d = image.ScanLine(y + row) + 3 * x;
    for (int j = 0; j < w; ++j, s += 3, d += 3) {
      d[0] = t.B[s[0]];
      d[1] = t.G[s[1]];
      d[2] = t.R[s[2]];
    }
  }
  return tint;
}
