#include "mosaic/MosaicBands.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// The bytes a band aims at: a few rows of cells of a wide mosaic, so that
// the sinks get work in large pieces and memory stays flat.
constexpr std::int64_t kBandBytes = std::int64_t(64) << 20;

int CellRowsPerBand(int width, int cellHeight, TBandLayout layout) {
  if (layout.CellRows > 0) return layout.CellRows;
  const std::int64_t rowBytes = std::int64_t(width) * 3 * cellHeight;
  return int(std::clamp<std::int64_t>(kBandBytes / std::max<std::int64_t>(rowBytes, 1), 1, 1 << 20));
}

// Abandons the sink unless the work got to its end.
class TSinkGuard {
 public:
  explicit TSinkGuard(TBandSink& sink) : m_sink(sink) {}
  ~TSinkGuard() {
    if (!m_done) m_sink.Abandon();
  }
  bool Finish() { return m_done = m_sink.Finish(); }

 private:
  TBandSink& m_sink;
  bool m_done = false;
};

// The first `rows` rows of band (which may hold more below) to the sink,
// as a view of the band's pixels rather than a copy.
bool WriteRows(TBandSink& sink, const TBitmap& band, int top, int rows) {
  if (band.Height() == rows) return sink.Write(band, top);
  TBitmap view;
  view.SetImage(QImage(band.ScanLine(0), band.Width(), rows, band.BytesPerLine(), QImage::Format_BGR888), pf24bit);
  return sink.Write(view, top);
}

}  // namespace

TTargetRows::TTargetRows(const TBitmap& picture, int scale) {
  if (picture.Empty()) return;
  if (scale > 1) {
    // A side beyond the band resampler's reach leaves it invalid.
    const auto side = [&](int length) {
      return std::int64_t(length) * scale > MaxBandResampleSide ? 0 : length * scale;
    };
    m_resampler = std::make_unique<TBandResampler>(picture, side(picture.Width()), side(picture.Height()));
    m_width = m_resampler->Width();
    m_height = m_resampler->Height();
    return;
  }
  m_picture = picture;
  // Drawn into as 24-bit rows, as the builders convert the picture.
  if (m_picture.PixelFormat() != pf24bit) m_picture.SetPixelFormat(pf24bit);
  m_width = m_picture.Width();
  m_height = m_picture.Height();
}

bool TTargetRows::Valid() const { return m_resampler ? m_resampler->Valid() : !m_picture.Empty(); }

bool TTargetRows::Rows(int y0, int y1, TBitmap& band) const {
  if (m_resampler) return m_resampler->Rows(y0, y1, band);
  if (m_picture.Empty() || y0 < 0 || y1 > m_height || y0 >= y1) return false;
  TBitmap rows(m_width, y1 - y0, pf24bit);
  for (int y = y0; y < y1; ++y) std::memcpy(rows.ScanLine(y - y0), m_picture.ScanLine(y), 3 * size_t(m_width));
  band = std::move(rows);
  return true;
}

bool DrawMosaicInBands(const TTargetRows& target, const TThumbnailList& thumbnails, int cellWidth, int cellHeight,
                       bool antialias, TRandom* random, TBandSink& sink, const TProgressProc& progress,
                       const TCancelProc& cancelled, TBandLayout layout) {
  if (thumbnails.Count() == 0 || cellWidth <= 0 || cellHeight <= 0 || !target.Valid()) return false;
  const int width = target.Width(), height = target.Height(), lastRow = height - 1;
  TSinkGuard guard(sink);
  TClockRandom clock;
  TRandom& source = random ? *random : clock;
  source.Randomize();
  if (!sink.Begin(width, height)) return false;
  const std::int64_t bandRows = std::int64_t(CellRowsPerBand(width, cellHeight, layout)) * cellHeight;
  int previous = -1;
  TBitmap band;
  for (int top = 0; top < height; top += int(bandRows)) {
    const int rows = int(std::min<std::int64_t>(bandRows, height - top));
    // A cell's colour reads the first row of the cells below it: the band
    // holds that row too, as the next band will make it.
    if (!target.Rows(top, std::min(height, top + rows + 1), band)) return false;
    TMosaicBuilder builder(band, thumbnails, cellWidth, cellHeight, antialias, source);
    builder.PreviousThumbnail = previous;
    for (int y = 0; y < rows; y += cellHeight) {
      if (cancelled && cancelled()) return false;
      // A picture one pixel high has no divisor: its only row is at 0 %.
      if (progress) progress(lastRow > 0 ? int(std::int64_t(top + y) * 100 / lastRow) : 0);
      builder.DrawCellRow(y);
    }
    previous = builder.PreviousThumbnail;
    if (!WriteRows(sink, band, top, rows)) return false;
  }
  return guard.Finish();
}

bool DrawMatchedMosaicInBands(const TTargetRows& target, const TThumbnailList& thumbnails, const TMatchLibrary& library,
                              const TMatchOptions& options, TBandSink& sink, const TProgressProc& progress,
                              TMatchPlacement* placement, TMosaicQuality* quality, TBandLayout layout) {
  if (thumbnails.Count() == 0 || options.CellSize <= 0 || library.Count() != thumbnails.Count() || !target.Valid())
    return false;
  const TMatchGrid grid = MatchGridOf(target.Width(), target.Height(), options);
  const int cellRows = CellRowsPerBand(target.Width(), grid.CellHeight, layout);
  const auto bandOf = [&](int firstRow, TBitmap& band) {
    const std::int64_t top = std::int64_t(firstRow) * grid.CellHeight;
    const std::int64_t bottom = std::min<std::int64_t>(target.Height(), top + std::int64_t(cellRows) * grid.CellHeight);
    return target.Rows(int(top), int(bottom), band);
  };
  // The bar: the first pass over the bands, the search, the second pass.
  constexpr int kDescribed = 30, kSearched = 50;

  // The first pass: every cell described before anything is drawn.
  TSinkGuard guard(sink);
  std::vector<TTileDescriptor> cells;
  std::vector<TColor> colors;
  TBitmap band;
  for (int row = 0; row < grid.Rows; row += cellRows) {
    if (options.Stopped()) return false;
    if (progress) progress(row * kDescribed / grid.Rows);
    if (!bandOf(row, band)) return false;
    DescribeCellRows(band, row, grid, cells, colors);
  }
  band = TBitmap();

  const TProgressProc searchProgress = [&](int percent) {
    if (progress) progress(kDescribed + percent * (kSearched - kDescribed) / 100);
  };
  const std::vector<int> chosen = MatchCells(library, cells, grid.Columns, grid.Rows, options, searchProgress,
                                             placement ? &placement->Uses : nullptr);
  if (chosen.size() != cells.size()) return false;  // cancelled
  cells = {};
  if (placement) {
    placement->Columns = grid.Columns;
    placement->Rows = grid.Rows;
    placement->Thumbnail = chosen;
  }

  // The second pass: each band made again, drawn and passed on.
  if (!sink.Begin(target.Width(), target.Height())) return false;
  TQualityMeter meter;
  std::vector<int> tints;
  for (int row = 0; row < grid.Rows; row += cellRows) {
    if (!bandOf(row, band)) return false;
    if (!DrawCellRows(band, row, grid, thumbnails, chosen, colors, options, tints, quality ? &meter : nullptr, progress,
                      kSearched, 100))
      return false;
    if (!sink.Write(band, row * grid.CellHeight)) return false;
  }
  if (!guard.Finish()) return false;
  if (placement) placement->Tint = tints;
  if (quality) *quality = meter.Result(chosen, tints);
  return true;
}
