#pragma once
// Placing the photos of the matched mosaic: the K nearest thumbnails of every
// cell are found independently (on several threads), then the cells are
// visited row by row from a corner and each takes its nearest candidate not
// used nearby. The corner and direction are all that the random source
// decides, so a seed gives one mosaic.
#include <vector>

#include "mosaic/MatchIndex.h"
#include "mosaic/MatchOptions.h"
#include "mosaic/MatchUses.h"

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
