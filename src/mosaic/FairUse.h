#pragma once
// Step 2 of the matched mosaic when the reuse of photos is ruled: at most
// MaxUses cells per photo, or every photo at least once, or both, along with
// the repeat distance.
//
// Every photo asked for: each is placed first, in the nearest cell still
// free (nearest pairs first, the photos searching the cells in short lists;
// never cells x photos). Then the other cells, in the visiting order, each
// take the nearest photo that has room and is not used nearby: the cell's
// candidates first, then a search of the photos that still have room. When
// every photo with room is used nearby, the cell trades with a cell farther
// away before the repeat distance yields; the cap yields only when every
// photo is at it, and then evenly. (Deciding all the pairs first, as an
// assignment nearest pairs first, and placing them afterwards fitted the
// cells less well on the benchmark: 393 and 381 against 374 mean distance.)
#include <vector>

#include "mosaic/MatchIndex.h"
#include "mosaic/MatchOptions.h"
#include "mosaic/MatchUses.h"

// The thumbnail of each cell. `candidates` holds the k nearest thumbnails of
// every cell (step 1), `order` the visiting order. Fills `uses` when given.
// progress receives 0..100 as the photos are placed; options.Cancelled is
// asked as often, and stops the placement with an empty list.
std::vector<int> FairMatch(const TMatchLibrary& library, const std::vector<TTileDescriptor>& cells, int columns,
                           int rows, const std::vector<TMatchCandidate>& candidates, int k,
                           const std::vector<int>& order, const TMatchOptions& options, const TProgressProc& progress,
                           TMatchUses* uses);

// The photos used and the most uses of one (the rule fields left unset).
TMatchUses CountUses(const std::vector<int>& chosen, int photos);
