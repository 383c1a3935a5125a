#include "mosaic/FairUse.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <queue>

#include "raster/Workers.h"

namespace {

// Candidates searched per open pair in the rounds after the first, doubled
// each round: a round leaves a pair open only when all its candidates have
// filled up, so few rounds follow.
constexpr int kRoundCandidates = 64;
constexpr int kMostRoundCandidates = 1024;
// Queries searched per piece of work.
constexpr int kSearchChunk = 256;
// A cell whose photo is used nearby looks for a trade among the cells of its
// nearest photos: this many photos, this many cells of each. A conflict is
// local, so a short look finds a good trade; a longer one costs more than it
// gains.
constexpr int kTradePhotos = 16;
constexpr int kTradeCells = 8;

struct TOpenPair {
  float Distance;
  int Query;
  int Position;  // in the query's list
  bool operator>(const TOpenPair& o) const {
    return Distance > o.Distance || (Distance == o.Distance && Query > o.Query);
  }
};

// Gives each open query (assignment < 0) the first target of its list that
// still has room, the nearest pairs of all first. `listOf(j)` is the list of
// open[j], `target(index)` the target an entry of it names.
template <class ListOf, class Target>
void AssignNearestFirst(const std::vector<int>& open, int k, const ListOf& listOf, const Target& target,
                        std::vector<int>& room, std::vector<int>& assignment, std::vector<float>& distance) {
  std::priority_queue<TOpenPair, std::vector<TOpenPair>, std::greater<>> queue;
  for (size_t j = 0; j < open.size(); ++j) queue.push({listOf(j)[0].Distance, int(j), 0});
  while (!queue.empty()) {
    TOpenPair pair = queue.top();
    queue.pop();
    const TMatchCandidate& entry = listOf(size_t(pair.Query))[pair.Position];
    const int t = target(entry.Index);
    if (room[size_t(t)] > 0) {
      --room[size_t(t)];
      assignment[size_t(open[size_t(pair.Query)])] = t;
      distance[size_t(open[size_t(pair.Query)])] = entry.Distance;
    } else if (++pair.Position < k) {
      pair.Distance = listOf(size_t(pair.Query))[pair.Position].Distance;
      queue.push(pair);
    }
  }
}

// Gives every open query a target within the targets' room, nearest pairs
// first, as far as the room goes. The first round may take given lists (of
// every query, k each); later rounds search the targets that still have room.
void Assign(const std::vector<TTileDescriptor>& queries, const std::vector<TTileDescriptor>& targets,
            std::vector<int>& room, std::vector<int>& assignment, std::vector<float>& distance,
            const TMatchCandidate* firstLists, int firstK, int threads) {
  for (int round = 0;; ++round) {
    std::vector<int> open, available;
    for (size_t q = 0; q < queries.size(); ++q)
      if (assignment[q] < 0) open.push_back(int(q));
    for (size_t t = 0; t < targets.size(); ++t)
      if (room[t] > 0) available.push_back(int(t));
    if (open.empty() || available.empty()) return;
    if (round == 0 && firstLists) {
      AssignNearestFirst(
          open, firstK, [&](size_t j) { return firstLists + size_t(open[j]) * size_t(firstK); },
          [](int index) { return index; }, room, assignment, distance);
      continue;
    }
    const int k = int(std::min<std::int64_t>(
        {std::int64_t(available.size()), std::int64_t(kRoundCandidates) << std::min(round, 8), kMostRoundCandidates}));
    std::vector<TTileDescriptor> subset, asked;
    subset.reserve(available.size());
    for (int t : available) subset.push_back(targets[size_t(t)]);
    asked.reserve(open.size());
    for (int q : open) asked.push_back(queries[size_t(q)]);
    const TMatchLibrary library(std::move(subset));
    std::vector<TMatchCandidate> lists(open.size() * size_t(k));
    const size_t chunks = (open.size() + kSearchChunk - 1) / kSearchChunk;
    TWorkers search(chunks, std::min(WorkerThreads(threads), int(chunks)) - 1, [&](size_t chunk) {
      const size_t first = chunk * kSearchChunk;
      const int count = int(std::min<size_t>(kSearchChunk, open.size() - first));
      library.Nearest(asked.data() + first, count, k, lists.data() + first * size_t(k));
    });
    search.Help();
    AssignNearestFirst(
        open, k, [&](size_t j) { return lists.data() + j * size_t(k); },
        [&](int index) { return available[size_t(index)]; }, room, assignment, distance);
  }
}

// Whether photo p shows within r cells of cell c, c itself aside.
bool UsedNear(const std::vector<int>& chosen, int columns, int rows, int c, int p, int r) {
  const int cx = c % columns, cy = c / columns;
  for (int y = std::max(0, cy - r); y <= std::min(rows - 1, cy + r); ++y)
    for (int x = std::max(0, cx - r); x <= std::min(columns - 1, cx + r); ++x) {
      const int at = y * columns + x;
      if (at != c && chosen[size_t(at)] == p) return true;
    }
  return false;
}

void Forget(std::vector<int>& cells, int cell) {
  const auto at = std::find(cells.begin(), cells.end(), cell);
  if (at != cells.end()) {
    *at = cells.back();
    cells.pop_back();
  }
}

}  // namespace

TMatchUses CountUses(const std::vector<int>& chosen, int photos) {
  TMatchUses uses;
  uses.Photos = photos;
  uses.Cells = int(chosen.size());
  std::vector<int> count(size_t(photos), 0);
  for (int p : chosen)
    if (p >= 0 && p < photos) ++count[size_t(p)];
  for (int n : count) {
    uses.PhotosUsed += n > 0;
    uses.MostUses = std::max(uses.MostUses, n);
  }
  return uses;
}

std::vector<int> FairMatch(const TMatchLibrary& library, const std::vector<TTileDescriptor>& cells, int columns,
                           int rows, const std::vector<TMatchCandidate>& candidates, int k,
                           const std::vector<int>& order, const TMatchOptions& options, TMatchUses* report) {
  const int photos = library.Count();
  const size_t cellCount = size_t(columns) * size_t(rows);
  const int r = std::clamp(options.RepeatDistance, 0, MaxRepeatDistance);
  std::vector<TTileDescriptor> photoDescriptors;
  photoDescriptors.reserve(size_t(photos));
  for (int p = 0; p < photos; ++p) photoDescriptors.push_back(library.Descriptor(p));
  const std::vector<TTileDescriptor> cellDescriptors(cells.begin(), cells.begin() + std::ptrdiff_t(cellCount));

  std::vector<int> assignment(cellCount, -1);
  std::vector<float> distance(cellCount, 0);
  std::vector<int> count(size_t(photos), 0);
  // Every photo asked for: each takes the nearest cell still free.
  if (options.UseAll) {
    std::vector<int> cellRoom(cellCount, 1), photoCell(size_t(photos), -1);
    std::vector<float> photoDistance(size_t(photos), 0);
    Assign(photoDescriptors, cellDescriptors, cellRoom, photoCell, photoDistance, nullptr, 0, options.Threads);
    for (int p = 0; p < photos; ++p)
      if (const int c = photoCell[size_t(p)]; c >= 0) {
        assignment[size_t(c)] = p;
        distance[size_t(c)] = photoDistance[size_t(p)];
        count[size_t(p)] = 1;
      }
  }
  // The other cells within the cap; when the cap cannot fill them all, the
  // rest is shared out evenly beyond it.
  const std::int64_t cap = options.MaxUses > 0 ? options.MaxUses : std::int64_t(cellCount);
  std::vector<int> limit(size_t(photos), int(std::min<std::int64_t>(cap, std::int64_t(cellCount))));
  std::vector<int> room(static_cast<size_t>(photos));
  for (int p = 0; p < photos; ++p) room[size_t(p)] = std::max(0, limit[size_t(p)] - count[size_t(p)]);
  Assign(cellDescriptors, photoDescriptors, room, assignment, distance, candidates.data(), k, options.Threads);
  const auto open = std::int64_t(std::count(assignment.begin(), assignment.end(), -1));
  if (open > 0) {
    const int extra = int((open + photos - 1) / photos);
    for (int p = 0; p < photos; ++p) limit[size_t(p)] += extra, room[size_t(p)] += extra;
    Assign(cellDescriptors, photoDescriptors, room, assignment, distance, candidates.data(), k, options.Threads);
  }
  for (int p = 0; p < photos; ++p) count[size_t(p)] = limit[size_t(p)] - room[size_t(p)];

  std::vector<int> chosen = assignment;
  if (r > 0) {
    // Placing in the visiting order: a cell whose photo is already used
    // nearby trades it with another cell's (placed or not) or swaps it for
    // a photo with room, whichever costs least; the counts stay as they are
    // settled, so the cap and the use of every photo hold.
    std::vector<std::vector<int>> cellsOf(static_cast<size_t>(photos));
    for (size_t c = 0; c < cellCount; ++c) cellsOf[size_t(assignment[c])].push_back(int(c));
    std::fill(chosen.begin(), chosen.end(), -1);
    std::vector<int> stamp(size_t(photos), -1);
    for (size_t v = 0; v < cellCount; ++v) {
      const int c = order[v];
      const int cx = c % columns, cy = c / columns;
      for (int y = std::max(0, cy - r); y <= std::min(rows - 1, cy + r); ++y)
        for (int x = std::max(0, cx - r); x <= std::min(columns - 1, cx + r); ++x)
          if (const int used = chosen[size_t(y) * size_t(columns) + size_t(x)]; used >= 0) stamp[size_t(used)] = int(v);
      const int p = assignment[size_t(c)];
      if (stamp[size_t(p)] != int(v)) {
        chosen[size_t(c)] = p;
        continue;
      }
      // A use may move from p to a photo with room, as long as p is not the
      // last use of a photo asked for and no cell goes beyond the cap that
      // was within it.
      const bool overCap = options.MaxUses > 0 && count[size_t(p)] > options.MaxUses;
      const auto mayMoveTo = [&](int q) {
        return (!options.UseAll || count[size_t(p)] > 1) && count[size_t(q)] < limit[size_t(q)] &&
               (options.MaxUses <= 0 || overCap || count[size_t(q)] < options.MaxUses);
      };
      float best = std::numeric_limits<float>::infinity(), bestOwn = 0, bestTraded = 0;
      int bestPhoto = -1, bestCell = -1;
      const TMatchCandidate* list = candidates.data() + size_t(c) * size_t(k);
      for (int i = 0, tried = 0; i < k && tried < kTradePhotos; ++i) {
        const int q = list[i].Index;
        if (q == p || stamp[size_t(q)] == int(v)) continue;
        ++tried;
        const float own = list[i].Distance;
        if (mayMoveTo(q) && own - distance[size_t(c)] < best) {
          best = own - distance[size_t(c)];
          bestPhoto = q, bestCell = -1, bestOwn = own;
        }
        const std::vector<int>& holders = cellsOf[size_t(q)];
        for (size_t h = 0; h < holders.size() && h < size_t(kTradeCells); ++h) {
          const int other = holders[h];
          if (chosen[size_t(other)] >= 0 && UsedNear(chosen, columns, rows, other, p, r)) continue;
          const float traded = library.Distance(cells[size_t(other)], p);
          const float cost = own + traded - distance[size_t(c)] - distance[size_t(other)];
          if (cost < best) best = cost, bestPhoto = q, bestCell = other, bestOwn = own, bestTraded = traded;
        }
      }
      if (bestPhoto < 0) {
        // No trade among the near photos: the nearest photo of the whole
        // library that is free here and may take the use.
        const std::vector<float> all = library.Distances(cells[size_t(c)]);
        for (int q = 0; q < photos; ++q)
          if (q != p && stamp[size_t(q)] != int(v) && mayMoveTo(q) &&
              (bestPhoto < 0 || all[size_t(q)] < all[size_t(bestPhoto)]))
            bestPhoto = q;
        if (bestPhoto >= 0) bestOwn = all[size_t(bestPhoto)];
      }
      if (bestPhoto < 0) {
        chosen[size_t(c)] = p;  // the counts leave no other way
        continue;
      }
      const int q = bestPhoto;
      Forget(cellsOf[size_t(p)], c);
      cellsOf[size_t(q)].push_back(c);
      if (bestCell >= 0) {
        Forget(cellsOf[size_t(q)], bestCell);
        cellsOf[size_t(p)].push_back(bestCell);
        assignment[size_t(bestCell)] = p;
        distance[size_t(bestCell)] = bestTraded;
        if (chosen[size_t(bestCell)] >= 0) chosen[size_t(bestCell)] = p;
      } else {
        --count[size_t(p)];
        ++count[size_t(q)];
      }
      assignment[size_t(c)] = q;
      distance[size_t(c)] = bestOwn;
      chosen[size_t(c)] = q;
    }
  }

  if (report) {
    *report = CountUses(chosen, photos);
    report->MaxUses = std::max(options.MaxUses, 0);
    report->UseAll = options.UseAll;
    report->RepeatDistance = r;
    if (options.MaxUses > 0)
      for (int p = 0; p < photos; ++p) report->OverCap += std::max(0, count[size_t(p)] - options.MaxUses);
    if (options.UseAll) report->Unused = photos - report->PhotosUsed;
    if (r > 0)
      for (size_t c = 0; c < cellCount; ++c) report->TooClose += UsedNear(chosen, columns, rows, int(c), chosen[c], r);
  }
  return chosen;
}
