#pragma once
// The colour-matched mosaic built: every cell gets the thumbnail whose colours,
// part by part, are nearest to the cell's, never one already placed within
// the repeat distance; each placed thumbnail is then tinted towards the
// target only as far as needed to reach it, up to a limit.
//
// Its pieces: the descriptors of thumbnails and cells (MatchDescriptor.h),
// the search of the nearest ones (MatchIndex.h), the placement under the
// repeat distance (MatchPlacement.h, FairUse.h under rules on reuse), and
// the two tints (LightTint.h, WholeTint.h).
#include <vector>

#include "mosaic/MatchDescriptor.h"
#include "mosaic/MatchIndex.h"
#include "mosaic/MatchOptions.h"
#include "mosaic/MatchPlacement.h"
#include "mosaic/MosaicQuality.h"
#include "mosaic/ThumbnailList.h"
#include "raster/Bitmap.h"

// The share of a matched build's progress taken by the search; drawing is
// the rest.
constexpr int MatchSearchPercent = 80;

// Builds the matched mosaic in place, in cells anchored at the top-left
// corner like the default mosaic; cells of any shape are CellSize x
// CellHeight pixels, and the repeat distance counts cells, not pixels. False
// (nothing touched, no progress) when the list is empty or the cell size is
// not positive. Progress is reported on
// the calling thread, once per row of cells while searching and drawing.
bool BuildMatchedMosaic(TBitmap& image, const TThumbnailList& thumbnails, const TMatchOptions& options,
                        const TProgressProc& progress, TMatchPlacement* placement = nullptr,
                        TMosaicQuality* quality = nullptr);
// The same with the library's descriptors made beforehand (they depend only
// on the thumbnails, so a window can keep them between builds).
bool BuildMatchedMosaic(TBitmap& image, const TThumbnailList& thumbnails, const TMatchLibrary& library,
                        const TMatchOptions& options, const TProgressProc& progress,
                        TMatchPlacement* placement = nullptr, TMosaicQuality* quality = nullptr);

// The same in pieces, for a picture drawn band by band: the cells described
// over one pass of the bands, placed, then drawn over a second pass. A band
// holds whole rows of cells (the last cut by the picture's bottom), its top
// row the top of cell row firstRow.
struct TMatchGrid {
  int CellWidth = 0, CellHeight = 0;
  int Columns = 0, Rows = 0;
};
TMatchGrid MatchGridOf(int width, int height, const TMatchOptions& options);
// Fills the band's cells of cells and colors (sized for the whole grid):
// their descriptors and average colours.
void DescribeCellRows(const TBitmap& band, int firstRow, const TMatchGrid& grid, std::vector<TTileDescriptor>& cells,
                      std::vector<TColor>& colors);
// Draws the band's cells with the chosen thumbnails, their tints into tints
// (sized for the whole grid); measures each cell when a meter is given.
// Progress runs from percentFrom to percentTo over the grid's rows. False
// when options.Cancelled stops it.
bool DrawCellRows(TBitmap& band, int firstRow, const TMatchGrid& grid, const TThumbnailList& thumbnails,
                  const std::vector<int>& chosen, const std::vector<TColor>& colors, const TMatchOptions& options,
                  std::vector<int>& tints, TQualityMeter* meter, const TProgressProc& progress, int percentFrom,
                  int percentTo);
