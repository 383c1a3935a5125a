// The matched mosaic built: cells described, photos placed, tiles drawn.
#include "mosaic/MatchedMosaic.h"

#include <algorithm>
#include <cstdint>

#include "mosaic/AreaMean.h"
#include "mosaic/LabColor.h"
#include "mosaic/LightTint.h"
#include "mosaic/WholeTint.h"

// How the matching was chosen, on the fidelity benchmark
// (bench/MosaicMatchBench.cpp: 300 crops of real photographs on three other
// photographs, and 400 generated scenes on three generated pictures; CIEDE2000
// between target and mosaic from afar, each cell's average, and up close,
// each quarter cell's):
// - Parts: a 4 x 4 grid, the size at which a tile's inside is seen from a
//   metre away, and no extra weight on the average (the sum over the parts
//   already counts it 16 times). Against the earlier 3 x 3 grid with the
//   average weighted three times over, at tint 0: up close the mean falls by
//   2 to 6 % and the 95th percentile by 6 to 12 %; from afar the mean rises
//   by 4 to 25 %, the price of tiles that are right inside. The search takes
//   1.5 times as long (a tenth of a second for 20,000 photos and 19,200
//   cells on two cores).
// - Chroma compressed (DescribeArea): from afar up to 11 % less, up close 1
//   to 6 % less, most on vivid targets.
// - Cells visited row by row instead of in a shuffled order: each cell then
//   meets placed neighbours on one side only, so the repeat rule packs the
//   photos tightly (in an even area a photo may come back every fourth
//   cell); in a shuffled order the last cells are hemmed in on every side
//   and take poor matches. 3 to 7 % less from afar, most where the picture
//   has wide even areas.
// - The light tint by default: at a limit of 25 % it is closer up close than
//   the whole-tile tint on all nine targets (by 1 to 15 %, most on detail
//   finer than a cell), as close or closer from afar on seven, and changes
//   the real photographs less (mean byte change 6.3 to 8.5 against 6.6 to
//   9.2); on detail finer than a cell it changes the photos more, as it
//   carries that detail's light into them.

namespace {

TColor ColorOfMean(const TLinearMean& m) { return RGBColor(LinearToSrgb(m.R), LinearToSrgb(m.G), LinearToSrgb(m.B)); }

}  // namespace

bool BuildMatchedMosaic(TBitmap& image, const TThumbnailList& thumbnails, const TMatchOptions& options,
                        const TProgressProc& progress, TMatchPlacement* placement, TMosaicQuality* quality) {
  if (thumbnails.Count() == 0 || options.CellSize <= 0) return false;
  return BuildMatchedMosaic(image, thumbnails, TMatchLibrary(thumbnails), options, progress, placement, quality);
}

TMatchGrid MatchGridOf(int width, int height, const TMatchOptions& options) {
  TMatchGrid grid;
  grid.CellWidth = options.CellSize;
  grid.CellHeight = options.CellHeight > 0 ? options.CellHeight : options.CellSize;
  if (grid.CellWidth <= 0 || grid.CellHeight <= 0 || width <= 0 || height <= 0) return grid;
  grid.Columns = int((std::int64_t(width) + grid.CellWidth - 1) / grid.CellWidth);
  grid.Rows = int((std::int64_t(height) + grid.CellHeight - 1) / grid.CellHeight);
  return grid;
}

void DescribeCellRows(const TBitmap& band, int firstRow, const TMatchGrid& grid, std::vector<TTileDescriptor>& cells,
                      std::vector<TColor>& colors) {
  const size_t cellCount = size_t(grid.Columns) * size_t(grid.Rows);
  cells.resize(cellCount);
  colors.resize(cellCount);
  const int cell = grid.CellWidth, cellHeight = grid.CellHeight;
  for (int cy = firstRow; cy < grid.Rows && (cy - firstRow) * cellHeight < band.Height(); ++cy)
    for (int cx = 0; cx < grid.Columns; ++cx) {
      const int x = cx * cell, y = (cy - firstRow) * cellHeight;
      const int w = std::min(cell, band.Width() - x), h = std::min(cellHeight, band.Height() - y);
      const size_t i = size_t(cy) * size_t(grid.Columns) + size_t(cx);
      cells[i] = DescribeArea(band, x, y, w, h);
      colors[i] = ColorOfMean(AreaMean(band, x, y, x + w, y + h));
    }
}

bool DrawCellRows(TBitmap& band, int firstRow, const TMatchGrid& grid, const TThumbnailList& thumbnails,
                  const std::vector<int>& chosen, const std::vector<TColor>& colors, const TMatchOptions& options,
                  std::vector<int>& tints, TQualityMeter* meter, const TProgressProc& progress, int percentFrom,
                  int percentTo) {
  const int cell = grid.CellWidth, cellHeight = grid.CellHeight;
  tints.resize(size_t(grid.Columns) * size_t(grid.Rows));
  for (int cy = firstRow; cy < grid.Rows && (cy - firstRow) * cellHeight < band.Height(); ++cy) {
    if (options.Stopped()) return false;
    if (progress) progress(percentFrom + cy * (percentTo - percentFrom) / grid.Rows);
    for (int cx = 0; cx < grid.Columns; ++cx) {
      const size_t i = size_t(cy) * size_t(grid.Columns) + size_t(cx);
      const TBitmap& thumb = thumbnails.Entry(chosen[i]);
      const int x = cx * cell, y = (cy - firstRow) * cellHeight;
      const int w = std::min({thumb.Width(), band.Width() - x, cell});
      const int h = std::min({thumb.Height(), band.Height() - y, cellHeight});
      const int cellW = std::min(cell, band.Width() - x), cellH = std::min(cellHeight, band.Height() - y);
      if (meter) meter->Before(band, x, y, cellW, cellH);
      tints[i] = options.Tint == TTintMode::Light ? DrawLightTinted(thumb, band, x, y, w, h, options)
                                                  : DrawWholeTinted(thumb, band, x, y, w, h, colors[i], options);
      if (meter) meter->After(band, x, y, cellW, cellH);
    }
  }
  return true;
}

bool BuildMatchedMosaic(TBitmap& image, const TThumbnailList& thumbnails, const TMatchLibrary& library,
                        const TMatchOptions& options, const TProgressProc& progress, TMatchPlacement* placement,
                        TMosaicQuality* quality) {
  if (thumbnails.Count() == 0 || options.CellSize <= 0 || library.Count() != thumbnails.Count() || image.Empty())
    return false;
  if (image.PixelFormat() != pf24bit) image.SetPixelFormat(pf24bit);
  const TMatchGrid grid = MatchGridOf(image.Width(), image.Height(), options);

  // Every cell is described before anything is drawn.
  std::vector<TTileDescriptor> cells;
  std::vector<TColor> colors;
  DescribeCellRows(image, 0, grid, cells, colors);

  // Searching is most of the work: 80 % of the bar, drawing the rest.
  const TProgressProc searchProgress = [&](int percent) {
    if (progress) progress(percent * MatchSearchPercent / 100);
  };
  const std::vector<int> chosen = MatchCells(library, cells, grid.Columns, grid.Rows, options, searchProgress,
                                             placement ? &placement->Uses : nullptr);
  if (chosen.size() != cells.size()) return false;  // cancelled
  if (placement) {
    placement->Columns = grid.Columns;
    placement->Rows = grid.Rows;
    placement->Thumbnail = chosen;
  }

  TQualityMeter meter;
  std::vector<int> tints;
  if (!DrawCellRows(image, 0, grid, thumbnails, chosen, colors, options, tints, quality ? &meter : nullptr, progress,
                    MatchSearchPercent, 100))
    return false;
  if (placement) placement->Tint = tints;
  if (quality) *quality = meter.Result(chosen, tints);
  return true;
}
