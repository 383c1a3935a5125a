// Placing the photos: each cell's nearest candidate not used nearby.
#include "mosaic/MatchPlacement.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "mosaic/FairUse.h"
#include "raster/Workers.h"

// Why a repeat distance of 3: within any 7 x 7 block of cells no photo shows
// twice, so a repeat is never seen side by side, and at 80 cells across the
// nearest repeat is a tenth of the picture away. The block excludes at most
// 48 photos, which a library of a hundred or so can spare: on 120 photos
// (bench/MosaicMatchBench.cpp) the mean colour error from afar grows by 2 to
// 4 % from no rule to distance 3, and by 2 to 4 % more with each step beyond.

namespace {

// Candidates kept per cell; the repeat rule needs (2R + 1)^2 of them to be
// sure that one is free, beyond that a cell falls back on a full scan.
constexpr int kMaxCandidates = 128;

}  // namespace

void MarkNearbyUses(const std::vector<int>& chosen, int columns, int rows, int cell, int r, int visit,
                    std::vector<int>& stamp, std::vector<int>& nearestUse) {
  const int cx = cell % columns, cy = cell / columns;
  for (int y = std::max(0, cy - r); y <= std::min(rows - 1, cy + r); ++y)
    for (int x = std::max(0, cx - r); x <= std::min(columns - 1, cx + r); ++x) {
      const int used = chosen[size_t(y) * size_t(columns) + size_t(x)];
      if (used < 0) continue;
      const int dist = std::max(std::abs(x - cx), std::abs(y - cy));
      if (stamp[size_t(used)] != visit) {
        stamp[size_t(used)] = visit;
        nearestUse[size_t(used)] = dist;
      } else {
        nearestUse[size_t(used)] = std::min(nearestUse[size_t(used)], dist);
      }
    }
}

std::vector<int> MatchCells(const TMatchLibrary& library, const std::vector<TTileDescriptor>& cells, int columns,
                            int rows, const TMatchOptions& options, const TProgressProc& progress, TMatchUses* uses) {
  const int count = library.Count();
  const size_t cellCount = size_t(columns) * size_t(rows);
  std::vector<int> chosen(cellCount, -1);
  if (count == 0 || cellCount == 0 || cells.size() < cellCount) return chosen;
  const int r = std::clamp(options.RepeatDistance, 0, MaxRepeatDistance);
  const std::int64_t window = (2 * std::int64_t(r) + 1) * (2 * std::int64_t(r) + 1);
  const int k = int(std::min<std::int64_t>({count, window, kMaxCandidates}));

  // Step 1: the k nearest thumbnails of every cell, row by row on several
  // threads; progress is reported from the calling thread only. Placing the
  // photos under rules on reuse takes its own share of the bar.
  const bool ruled = options.MaxUses > 0 || options.UseAll;
  const int searchShare = ruled ? FairSearchPercent : 100;
  std::vector<TMatchCandidate> candidates(cellCount * size_t(k));
  int lastPercent = -1;
  const bool searched = RunUntilStopped(
      size_t(rows), std::min(WorkerThreads(options.Threads), rows) - 1,
      [&](size_t row) {
        const size_t first = row * size_t(columns);
        library.Nearest(cells.data() + first, columns, k, candidates.data() + first * size_t(k));
      },
      [&](size_t done) {
        const int percent = int(std::int64_t(done) * searchShare / rows);
        if (progress && percent != lastPercent) progress(lastPercent = percent);
      },
      [&] { return options.Stopped(); });
  if (!searched || options.Stopped()) return {};

  // Step 2: visit the cells row by row (or column by column), each taking
  // its nearest candidate not used within the repeat distance among the
  // cells placed so far. The random source picks the corner to start from
  // and the direction. (Why not a shuffled order: see the notes in MatchedMosaic.cpp.)
  std::vector<int> order(cellCount);
  TClockRandom clock;
  TRandom& random = options.Random ? *options.Random : clock;
  random.Randomize();
  {
    const int variant = random.Random(8);
    const bool byColumns = variant & 4, flipX = variant & 1, flipY = variant & 2;
    const int outer = byColumns ? columns : rows, inner = byColumns ? rows : columns;
    size_t n = 0;
    for (int o = 0; o < outer; ++o)
      for (int i = 0; i < inner; ++i) {
        const int x = byColumns ? o : i, y = byColumns ? i : o;
        order[n++] = (flipY ? rows - 1 - y : y) * columns + (flipX ? columns - 1 - x : x);
      }
  }
  if (ruled) {
    const TProgressProc placing = [&](int percent) {
      if (progress) progress(searchShare + percent * (100 - searchShare) / 100);
    };
    return FairMatch(library, cells, columns, rows, candidates, k, order, options, placing, uses);
  }

  std::vector<int> stamp(size_t(count), -1), nearestUse(size_t(count), 0);
  for (size_t v = 0; v < cellCount; ++v) {
    if (v % size_t(columns) == 0 && options.Stopped()) return {};
    const int cell = order[v];
    MarkNearbyUses(chosen, columns, rows, cell, r, int(v), stamp, nearestUse);
    const TMatchCandidate* list = candidates.data() + size_t(cell) * size_t(k);
    int pick = -1;
    for (int i = 0; i < k && pick < 0; ++i)
      if (stamp[size_t(list[i].Index)] != int(v)) pick = list[i].Index;
    if (pick < 0) {
      // Every candidate is used nearby: the nearest free thumbnail of the
      // whole library, or, when none is free, the one whose nearest use is
      // farthest away (then the nearest in colour).
      const std::vector<float> distances = library.Distances(cells[size_t(cell)]);
      float best = std::numeric_limits<float>::infinity();
      int bestUse = -1;
      for (int t = 0; t < count; ++t) {
        const int use = stamp[size_t(t)] == int(v) ? nearestUse[size_t(t)] : std::numeric_limits<int>::max();
        if (use < bestUse) continue;
        const float dist = distances[size_t(t)];
        if (use > bestUse || dist < best) {
          bestUse = use;
          best = dist;
          pick = t;
        }
      }
    }
    chosen[size_t(cell)] = pick;
  }
  if (uses) *uses = CountUses(chosen, count);
  return chosen;
}
