#include "mosaic/MosaicQuality.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <stdexcept>
#include <unordered_map>

#include "mosaic/AreaMean.h"
#include "mosaic/LabColor.h"

namespace {

TLab AreaLab(const TBitmap& b, int x0, int y0, int x1, int y1) {
  const TLinearMean m = AreaMean(b, x0, y0, x1, y1);
  return LinearRgbToLab(m.R, m.G, m.B);
}

}  // namespace

TDistanceFigures Figures(std::vector<double> values) {
  TDistanceFigures f;
  if (values.empty()) return f;
  f.Mean = std::accumulate(values.begin(), values.end(), 0.0) / double(values.size());
  const size_t rank = size_t(std::ceil(0.95 * double(values.size()))) - 1;
  std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(rank), values.end());
  f.P95 = values[rank];
  return f;
}

struct TQualityMeter::TCellLabs {
  TLab Cell;
  TLab Blocks[NearBlocks * NearBlocks];
};

TQualityMeter::TCellLabs TQualityMeter::Labs(const TBitmap& b, int x, int y, int w, int h) {
  TCellLabs labs;
  labs.Cell = AreaLab(b, x, y, x + w, y + h);
  for (int by = 0; by < NearBlocks; ++by) {
    int y0, y1;
    PartSpan(by, NearBlocks, h, y0, y1);
    for (int bx = 0; bx < NearBlocks; ++bx) {
      int x0, x1;
      PartSpan(bx, NearBlocks, w, x0, x1);
      labs.Blocks[by * NearBlocks + bx] = AreaLab(b, x + x0, y + y0, x + x1, y + y1);
    }
  }
  return labs;
}

void TQualityMeter::Before(const TBitmap& target, int x, int y, int w, int h) {
  const TCellLabs labs = Labs(target, x, y, w, h);
  m_pending.clear();
  for (const TLab& lab : labs.Blocks) m_pending.insert(m_pending.end(), {lab.L, lab.a, lab.b});
  m_pending.insert(m_pending.end(), {labs.Cell.L, labs.Cell.a, labs.Cell.b});
}

void TQualityMeter::After(const TBitmap& mosaic, int x, int y, int w, int h) {
  if (m_pending.size() != 3 * (NearBlocks * NearBlocks + 1))
    throw std::logic_error("a cell measured after without before");
  const TCellLabs labs = Labs(mosaic, x, y, w, h);
  const auto pending = [&](size_t i) { return TLab{m_pending[3 * i], m_pending[3 * i + 1], m_pending[3 * i + 2]}; };
  for (size_t i = 0; i < NearBlocks * NearBlocks; ++i) m_near.push_back(DeltaE2000(labs.Blocks[i], pending(i)));
  m_far.push_back(DeltaE2000(labs.Cell, pending(NearBlocks * NearBlocks)));
  m_pending.clear();
}

TMosaicQuality TQualityMeter::Result(const std::vector<int>& thumbnail, const std::vector<int>& tint) const {
  TMosaicQuality q;
  q.Cells = int(m_far.size());
  q.Far = Figures(m_far);
  q.Near = Figures(m_near);
  std::unordered_map<int, int> uses;
  for (int t : thumbnail)
    if (t >= 0) q.MostUses = std::max(q.MostUses, ++uses[t]);
  q.PhotosUsed = int(uses.size());
  if (!tint.empty()) q.MeanTint = std::accumulate(tint.begin(), tint.end(), 0.0) / double(tint.size());
  return q;
}

TMosaicQuality MeasureMosaic(const TBitmap& target, const TBitmap& mosaic, int cellWidth, int cellHeight,
                             const std::vector<int>& thumbnail, const std::vector<int>& tint) {
  if (target.Width() != mosaic.Width() || target.Height() != mosaic.Height() || target.PixelFormat() != pf24bit ||
      mosaic.PixelFormat() != pf24bit || cellWidth <= 0 || cellHeight <= 0)
    throw std::invalid_argument("a mosaic is measured against a 24-bit target of its size");
  TQualityMeter meter;
  for (int y = 0; y < target.Height(); y += cellHeight)
    for (int x = 0; x < target.Width(); x += cellWidth) {
      const int w = std::min(cellWidth, target.Width() - x), h = std::min(cellHeight, target.Height() - y);
      meter.Before(target, x, y, w, h);
      meter.After(mosaic, x, y, w, h);
    }
  return meter.Result(thumbnail, tint);
}
