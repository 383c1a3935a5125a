#pragma once
// Step 2 of the matched mosaic when the reuse of photos is ruled: at most
// MaxUses cells per photo, or every photo at least once, or both, along with
// the repeat distance.
//
// The counts are settled first as an assignment of cells to photos, nearest
// pairs first, over short candidate lists (never cells x photos): the cells'
// own candidates, then, for the pairs still open, the nearest of what still
// has room, searched again each round. With every photo asked for, each
// photo first gets the nearest free cell (a search over the cells). The
// repeat distance is spatial and no part of the counts: the cells are then
// placed in the visiting order, and a cell whose photo is already used
// nearby trades it with another cell, or takes a photo that has room, the
// cheapest way that keeps the counts.
#include <vector>

#include "mosaic/MatchUses.h"
#include "mosaic/MosaicMatch.h"

// The thumbnail of each cell. `candidates` holds the k nearest thumbnails of
// every cell (step 1), `order` the visiting order. Fills `uses` when given.
std::vector<int> FairMatch(const TMatchLibrary& library, const std::vector<TTileDescriptor>& cells, int columns,
                           int rows, const std::vector<TMatchCandidate>& candidates, int k,
                           const std::vector<int>& order, const TMatchOptions& options, TMatchUses* uses);

// The photos used and the most uses of one (the rule fields left unset).
TMatchUses CountUses(const std::vector<int>& chosen, int photos);
