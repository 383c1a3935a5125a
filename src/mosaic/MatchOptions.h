#pragma once
// The options of the colour-matched mosaic: cell size, repeat distance, tint
// and its limits, rules on reuse, the random source and the cancel question.
#include "mosaic/MosaicBuilder.h"
#include "mosaic/MosaicRandom.h"

// A photo appears at most once in any 7 x 7 block of cells (see the note in
// MatchPlacement.cpp for why 3).
constexpr int DefaultRepeatDistance = 3;
// Larger distances are taken as this one: each cell looks at every cell
// within the distance, and a 51 x 51 block is already most of a mosaic.
constexpr int MaxRepeatDistance = 25;
constexpr int DefaultMatchTintLimit = 25;
// A tile whose average is within this CIELAB distance of its cell's is close
// enough: about the smallest difference the eye notices.
constexpr float DefaultTintTolerance = 2.3f;

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

// The tint a matched mosaic gets unless told otherwise (see the notes in
// MatchedMosaic.cpp).
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
