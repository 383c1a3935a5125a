#pragma once
// How faithful a mosaic is to the picture it was made from, as a viewer sees
// it from two distances: from afar only each cell's average colour shows;
// from a metre away each quarter of a cell's side can be told apart. Both
// are given as CIEDE2000 differences between the target's and the mosaic's
// averages (taken in linear light), their mean and 95th percentile, with
// how the photos were used when the placement is known.
#include <vector>

#include "raster/Bitmap.h"

struct TDistanceFigures {
  double Mean = 0;
  double P95 = 0;
};

struct TMosaicQuality {
  TDistanceFigures Far;   // one average per cell
  TDistanceFigures Near;  // one per block of a NearBlocks x NearBlocks grid of each cell
  int Cells = 0;
  int PhotosUsed = 0;   // distinct photos placed (0 when the placement is not known)
  int MostUses = 0;     // the most cells one photo went to
  double MeanTint = 0;  // percent, over the cells
};

// Blocks along each side of a cell seen up close.
constexpr int NearBlocks = 4;

// Measures a mosaic while it is drawn, a cell at a time: the cell's target
// is read before the cell is drawn over it and the mosaic after, so that no
// copy of the target is kept.
class TQualityMeter {
 public:
  void Before(const TBitmap& target, int x, int y, int w, int h);
  void After(const TBitmap& mosaic, int x, int y, int w, int h);
  // The figures so far, with the use figures from the placement's
  // thumbnail and tint lists (either may be empty).
  TMosaicQuality Result(const std::vector<int>& thumbnail = {}, const std::vector<int>& tint = {}) const;

 private:
  struct TCellLabs;
  static TCellLabs Labs(const TBitmap& b, int x, int y, int w, int h);
  std::vector<float> m_pending;  // the target's L, a, b: the cell's, then its blocks'
  std::vector<double> m_far, m_near;
};

// Compares mosaic with target (same size, 24 bits) in cells of cellWidth x
// cellHeight anchored at the top-left corner; thumbnail and tint (per cell,
// row by row, may be empty) give the use figures.
TMosaicQuality MeasureMosaic(const TBitmap& target, const TBitmap& mosaic, int cellWidth, int cellHeight,
                             const std::vector<int>& thumbnail = {}, const std::vector<int>& tint = {});

// The mean and 95th percentile (nearest rank) of a list of differences.
TDistanceFigures Figures(std::vector<double> values);
