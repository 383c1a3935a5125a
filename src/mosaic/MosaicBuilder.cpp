#include "mosaic/MosaicBuilder.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "raster/ColorAdjust.h"

namespace {

// The colourise-then-contrast mapping of one channel byte t towards a cell
// component c, for all (c, t): the same bytes as running the two table-driven
// passes, at the cost of one look-up a byte.
using CellTables = std::array<TChannelTable, 256>;

const CellTables& MosaicTables() {
  static const CellTables tables = [] {
    CellTables t{};
    TChannelTable contrast;
    BuildContrastTable(contrast, MosaicContrastPercent);
    for (int c = 0; c < 256; ++c) {
      TChannelTable colorize;
      BuildColorizeTable(colorize, c, MosaicColorizePercent);
      for (int i = 0; i < 256; ++i) t[size_t(c)][size_t(i)] = contrast[colorize[size_t(i)]];
    }
    return t;
  }();
  return tables;
}

}  // namespace

TMosaicBuilder::TMosaicBuilder(TBitmap& image, const TThumbnailList& thumbnails, int cellSize, bool antialias,
                               TRandom& random)
    : TMosaicBuilder(image, thumbnails, cellSize, cellSize, antialias, random) {}

TMosaicBuilder::TMosaicBuilder(TBitmap& image, const TThumbnailList& thumbnails, int cellWidth, int cellHeight,
                               bool antialias, TRandom& random)
    : m_image(image),
      m_thumbnails(thumbnails),
      m_cellSize(cellWidth),
      m_cellHeight(cellHeight),
      m_antialias(antialias),
      m_random(random) {}

int TMosaicBuilder::PickIndex() {
  const int count = m_thumbnails.Count();
  int index = m_random.Random(count);
  for (int redraws = 0; index == PreviousThumbnail && redraws < 3; ++redraws) index = m_random.Random(count);
  PreviousThumbnail = index;
  return index;
}

void TMosaicBuilder::PickThumbnail(TBitmap& work) {
  m_thumbnails.GetBitmap(PickIndex(), work);
  work.SetPixelFormat(pf24bit);
}

TColor TMosaicBuilder::CellColor(int x, int y) const {
  const int lastRow = m_image.Height() - 1, lastCol = m_image.Width() - 1;
  const int xr = std::min(x + m_cellSize, lastCol), yb = std::min(y + m_cellHeight, lastRow);
  const TColor samples[4] = {ColorToRGB(m_image.Pixel(x, y)), ColorToRGB(m_image.Pixel(xr, y)),
                             ColorToRGB(m_image.Pixel(xr, yb)), ColorToRGB(m_image.Pixel(x, yb))};
  int r = 0, g = 0, b = 0;
  for (TColor c : samples) {
    r += GetRValue(c);
    g += GetGValue(c);
    b += GetBValue(c);
  }
  return RGBColor(r >> 2, g >> 2, b >> 2);
}

void TMosaicBuilder::DrawCell(int index, int x, int y, TColor cellColor) {
  const TBitmap& thumb = m_thumbnails.Entry(index);
  const CellTables& tables = MosaicTables();
  const std::uint8_t* tb = tables[size_t(GetBValue(cellColor))].data();
  const std::uint8_t* tg = tables[size_t(GetGValue(cellColor))].data();
  const std::uint8_t* tr = tables[size_t(GetRValue(cellColor))].data();
  // Only the part of the thumbnail that falls inside the picture is drawn.
  const int w = std::min(thumb.Width(), m_image.Width() - x);
  const int h = std::min(thumb.Height(), m_image.Height() - y);
  for (int row = 0; row < h; ++row) {
    const std::uint8_t* s = thumb.ScanLine(row);
    std::uint8_t* d = m_image.ScanLine(y + row) + 3 * x;
    for (int i = 0; i < w; ++i, s += 3, d += 3) {
      d[0] = tb[s[0]];
      d[1] = tg[s[1]];
      d[2] = tr[s[2]];
    }
  }
}

bool TMosaicBuilder::BuildMosaic(const TProgressProc& progress, const TCancelProc& cancelled) {
  if (m_thumbnails.Count() == 0 || m_cellSize <= 0 || m_cellHeight <= 0) return false;
  m_random.Randomize();
  PreviousThumbnail = -1;
  // The picture is drawn into as 24-bit rows.
  if (m_image.PixelFormat() != pf24bit) m_image.SetPixelFormat(pf24bit);
  const int lastRow = m_image.Height() - 1;
  for (int y = 0; y <= lastRow; y += m_cellHeight) {
    if (cancelled && cancelled()) return false;
    // A picture one pixel high has no divisor: its only row is at 0 %.
    if (progress) progress(lastRow > 0 ? int(std::int64_t(y) * 100 / lastRow) : 0);
    DrawCellRow(y);
  }
  return true;
}

void TMosaicBuilder::DrawCellRow(int y) {
  for (int x = 0; x < m_image.Width(); x += m_cellSize) {
    const int index = PickIndex();
    const TColor color = m_antialias ? CellColor(x, y) : m_image.Pixel(x, y);
    DrawCell(index, x, y, color);
  }
}

bool BuildMosaic(TBitmap& image, const TThumbnailList& thumbnails, int cellSize, bool antialias,
                 const TProgressProc& progress, TRandom* random, const TCancelProc& cancelled) {
  return BuildMosaic(image, thumbnails, cellSize, cellSize, antialias, progress, random, cancelled);
}

bool BuildMosaic(TBitmap& image, const TThumbnailList& thumbnails, int cellWidth, int cellHeight, bool antialias,
                 const TProgressProc& progress, TRandom* random, const TCancelProc& cancelled) {
  TClockRandom clock;
  TMosaicBuilder builder(image, thumbnails, cellWidth, cellHeight, antialias, random ? *random : clock);
  return builder.BuildMosaic(progress, cancelled);
}
