#pragma once
// The cell loop: cuts the picture into square cells (or cells of the
// thumbnails' shape) anchored at its top-left corner and replaces each by a
// random thumbnail pulled towards the cell's colour (colourise 77 %, then
// contrast 12 %).
#include <functional>

#include "mosaic/MosaicRandom.h"
#include "mosaic/ThumbnailList.h"
#include "raster/Bitmap.h"

using TProgressProc = std::function<void(int percent)>;
// Asked between pieces of long work: true stops it, and the work reports
// failure (false) with the picture partly drawn, for the caller to restore.
using TCancelProc = std::function<bool()>;

constexpr int MosaicColorizePercent = 77;
constexpr int MosaicContrastPercent = 12;

class TMosaicBuilder {
 public:
  TMosaicBuilder(TBitmap& image, const TThumbnailList& thumbnails, int cellSize, bool antialias, TRandom& random);
  // Cells cellWidth x cellHeight, for thumbnails of another shape than a square.
  TMosaicBuilder(TBitmap& image, const TThumbnailList& thumbnails, int cellWidth, int cellHeight, bool antialias,
                 TRandom& random);

  // True when the mosaic was built, False (nothing touched, no progress) when
  // the thumbnail list is empty or the cell size is not positive. Progress is
  // reported once per row of cells. An exception leaves the cells drawn so far;
  // so does cancelled, asked before each row, which then returns false.
  bool BuildMosaic(const TProgressProc& progress, const TCancelProc& cancelled = {});

  // One row of cells, whose top is row y, drawn left to right; the random
  // source is not reseeded. A picture drawn band by band passes each band
  // in turn to a builder of its own, with the previous one's
  // PreviousThumbnail; each band then holds, below its rows of cells, the
  // first row of the next band, which CellColor reads.
  void DrawCellRow(int y);

  // Copies a randomly chosen thumbnail into work as a 24-bit bitmap. The
  // previous thumbnail is drawn again up to three times before it is accepted.
  void PickThumbnail(TBitmap& work);

  // The colour of the cell whose top-left pixel is (x, y): the average of its
  // corner and the first pixels of the next cells, clamped to the picture.
  TColor CellColor(int x, int y) const;

  int PreviousThumbnail = -1;

 private:
  int PickIndex();
  void DrawCell(int index, int x, int y, TColor cellColor);

  TBitmap& m_image;
  const TThumbnailList& m_thumbnails;
  int m_cellSize;  // the cell's width
  int m_cellHeight;
  bool m_antialias;
  TRandom& m_random;
};

// Builds with a random source reseeded from the clock when none is given.
bool BuildMosaic(TBitmap& image, const TThumbnailList& thumbnails, int cellSize, bool antialias,
                 const TProgressProc& progress, TRandom* random = nullptr, const TCancelProc& cancelled = {});
// The same with cells cellWidth x cellHeight.
bool BuildMosaic(TBitmap& image, const TThumbnailList& thumbnails, int cellWidth, int cellHeight, bool antialias,
                 const TProgressProc& progress, TRandom* random = nullptr, const TCancelProc& cancelled = {});
