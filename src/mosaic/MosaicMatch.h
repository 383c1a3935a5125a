#pragma once
// The colour-matched mosaic: every cell gets the thumbnail whose colours,
// part by part, are nearest to the cell's, never one already placed within
// the repeat distance; each placed thumbnail is then tinted towards the
// target only as far as needed to reach it, up to a limit.
//
// A thumbnail and a cell are described alike: the picture is cut into a
// 4 x 4 grid of parts and each part's average colour (in linear light) is
// given in CIELAB with its chroma compressed, 48 numbers in all. Matching
// runs in two steps: the K nearest thumbnails of every cell are found
// independently (on several threads), then the cells are visited row by row
// from a corner and each takes its nearest candidate not used nearby. The
// corner and direction are all that the random source decides, so a seed
// gives one mosaic.
#include <array>
#include <cstdint>
#include <vector>

#include "mosaic/MatchUses.h"
#include "mosaic/MosaicBuilder.h"
#include "mosaic/MosaicQuality.h"
#include "mosaic/MosaicRandom.h"
#include "mosaic/ThumbnailList.h"
#include "raster/Bitmap.h"

// Parts a side (see MosaicMatch.cpp for why 4).
constexpr int MatchGrid = 4;
constexpr int MatchDescriptorSize = MatchGrid * MatchGrid * 3;
// A photo appears at most once in any 7 x 7 block of cells (see the note in
// MosaicMatch.cpp for why 3).
constexpr int DefaultRepeatDistance = 3;
// Larger distances are taken as this one: each cell looks at every cell
// within the distance, and a 51 x 51 block is already most of a mosaic.
constexpr int MaxRepeatDistance = 25;
constexpr int DefaultMatchTintLimit = 25;
// A tile whose average is within this CIELAB distance of its cell's is close
// enough: about the smallest difference the eye notices.
constexpr float DefaultTintTolerance = 2.3f;

// L, a, b of each part, parts row by row.
using TTileDescriptor = std::array<float, MatchDescriptorSize>;

// How a placed photo is tinted towards its cell.
enum class TTintMode {
  // The whole tile pulled towards the cell's average colour (with the
  // contrast that goes with the tint), as the default mosaic tints.
  Whole,
  // Each part of the tile pulled towards the target's own colours there,
  // smoothed over a quarter of the cell: the target's light and edges come
  // through, the photo's detail stays.
  Light
};

// The tint a matched mosaic gets unless told otherwise (see the note in
// MosaicMatch.cpp).
constexpr TTintMode DefaultTintMode = TTintMode::Light;

struct TMatchOptions {
  int CellSize = 20;  // the cell's width
  // The cell's height; 0: square cells of CellSize.
  int CellHeight = 0;
  // Cells (in both directions) within which a thumbnail is not used twice;
  // 0 lets neighbours repeat. When the library is too small for the rule,
  // the cell takes the thumbnail whose nearest use is farthest away.
  int RepeatDistance = DefaultRepeatDistance;
  // Percent 0..100: how far a tile may be pulled towards its cell's colour.
  int TintLimit = DefaultMatchTintLimit;
  float TintTolerance = DefaultTintTolerance;
  TTintMode Tint = DefaultTintMode;
  // The contrast boost a tile gets at the default mosaic's tint (77 %); a
  // lighter tint gets a proportionally lighter boost, an untinted tile none.
  int ContrastPercent = MosaicContrastPercent;
  // Decides the visiting order; none: reseeded from the clock.
  TRandom* Random = nullptr;
  // Search threads; 0 means one per core.
  int Threads = 0;
  // Reuse of the photos (see FairUse.h); with neither, each cell simply
  // takes its nearest candidate.
  int MaxUses = 0;      // the most cells one photo may go to; 0: no cap
  bool UseAll = false;  // every photo at least once, when the cells allow
  // Asked per row of cells while searching, placing and drawing: true ends
  // the build, which returns false (an empty list from MatchCells).
  TCancelProc Cancelled;
  bool Stopped() const { return Cancelled && Cancelled(); }
};

// The share of a matched build's progress taken by the search; drawing is
// the rest.
constexpr int MatchSearchPercent = 80;
// Under rules on reuse (FairUse.h) placing the photos takes about as long as
// the search, or twice as long (a cap of one use on 20,000 photos): the share
// of MatchCells' progress its search takes then, the placement the rest.
constexpr int FairSearchPercent = 40;

// Where each cell's thumbnail went, row by row.
struct TMatchPlacement {
  int Columns = 0;
  int Rows = 0;
  std::vector<int> Thumbnail;  // list index per cell
  std::vector<int> Tint;       // percent applied per cell
  TMatchUses Uses;
};

// The descriptor of the w x h area of a 24-bit bitmap whose top-left corner
// is (x, y). Parts are cut at i * w / 3; a part narrower than a pixel takes
// the nearest pixel column or row.
TTileDescriptor DescribeArea(const TBitmap& bitmap, int x, int y, int w, int h);

struct TMatchCandidate {
  float Distance = 0;  // squared distance between descriptors
  int Index = 0;
};

// The thumbnails' descriptors, laid out for a fast exact nearest-neighbour
// scan. Descriptors are compared through their per-channel 4 x 4 cosine
// transform: orthonormal, so it keeps distances, but it puts most of the
// difference between two pictures into the first few numbers (the average
// colour, then the gradients). Entries are grouped 16 to a block along a k-d split of
// the averages, each block with its bounding box over the leading numbers,
// so a block whose box is already farther than the k-th candidate is
// skipped without reading it.
class TMatchLibrary {
 public:
  TMatchLibrary() = default;
  explicit TMatchLibrary(const TThumbnailList& thumbnails);
  explicit TMatchLibrary(std::vector<TTileDescriptor> descriptors);

  int Count() const { return int(m_descriptors.size()); }
  const TTileDescriptor& Descriptor(int index) const { return m_descriptors.at(size_t(index)); }

  // The k nearest entries of each query (k at most Count()), nearest first,
  // equal distances by lower index: query q's list at out[q * k]. Queries
  // next to each other (a row of cells) are found faster, as each starts
  // from the list of the one before.
  void Nearest(const TTileDescriptor* queries, int queryCount, int k, TMatchCandidate* out) const;

  // The squared distance from a query to every entry, in entry order.
  std::vector<float> Distances(const TTileDescriptor& query) const;
  // The same to one entry.
  float Distance(const TTileDescriptor& query, int index) const;

 private:
  std::vector<TTileDescriptor> m_descriptors;
  std::vector<TTileDescriptor> m_transformed;
  // Blocks of 16 entries, dimension by dimension (16 floats for dimension 0,
  // then 16 for dimension 1, ...); unused slots lie far from any colour.
  std::vector<float> m_blocks;
  std::vector<int> m_slotIndex;  // entry index of each slot, -1 when unused
  // Bounding boxes of the blocks over the leading dimensions, dimension by
  // dimension, padded to a multiple of 16 blocks.
  std::vector<float> m_boxLow, m_boxHigh;
  int m_blockCount = 0;
  int m_paddedBlocks = 0;
};

// The placement's view of a cell's neighbourhood: every thumbnail that a
// placed cell within r cells of `cell` shows gets stamp = visit and, in
// nearestUse, the distance in cells of its nearest such use.
void MarkNearbyUses(const std::vector<int>& chosen, int columns, int rows, int cell, int r, int visit,
                    std::vector<int>& stamp, std::vector<int>& nearestUse);

// The thumbnail for each of columns x rows cells (descriptors row by row).
// progress receives 0..100 as rows of cells are searched, and under rules on
// reuse, 0..FairSearchPercent for the search and the rest as the photos are
// placed; uses, when given, how the photos were used.
std::vector<int> MatchCells(const TMatchLibrary& library, const std::vector<TTileDescriptor>& cells, int columns,
                            int rows, const TMatchOptions& options, const TProgressProc& progress = nullptr,
                            TMatchUses* uses = nullptr);

// The tint percent (0..limit) that brings a tile's average within the
// tolerance of the target colour, the smallest that does, or the limit.
int AdaptiveTint(const TBitmap& tile, int w, int h, TColor target, const TMatchOptions& options);

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
