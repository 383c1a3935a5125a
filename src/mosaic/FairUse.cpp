#include "mosaic/FairUse.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <queue>

#include "mosaic/MatchPlacement.h"
#include "raster/Workers.h"

namespace {

// Candidates searched per open pair, doubled each round: a round leaves a
// pair open only when all its candidates have filled up, so few rounds
// follow.
constexpr int kRoundCandidates = 16;
constexpr int kMostRoundCandidates = 1024;
// Queries searched per piece of work.
constexpr int kSearchChunk = 256;
// Photos with room are searched this many at first, four times more each
// time all of them are used nearby.
constexpr int kRoomCandidates = 8;
// A cell that finds no photo with room free nearby looks for a trade among
// the cells of the photos free nearby: this many photos, this many cells of
// each, this many photos with room for that cell. The case is rare (the
// last cells of a tight cap), so a short look is enough.
constexpr int kTradePhotos = 16;
constexpr int kTradeCells = 8;
constexpr int kTradeRoom = 32;
// The share of the placement's progress taken by placing every photo first,
// when asked for: nearly all of it without a cap, as the cells then take
// their first free candidate; about half with one (measured on 2,000 and
// 20,000 photos for 19,200 cells).
constexpr int kAssignPercent = 90;
constexpr int kAssignPercentWithCap = 50;

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
    } else {
      // A target that is full stays full: pass over every such one at once.
      const TMatchCandidate* list = listOf(size_t(pair.Query));
      while (++pair.Position < k && room[size_t(target(list[pair.Position].Index))] == 0) {
      }
      if (pair.Position < k) {
        pair.Distance = list[pair.Position].Distance;
        queue.push(pair);
      }
    }
  }
}

// Orders ids[first, last) along a k-d split of the descriptors' average
// colour (the mean of the parts' L, a, b), halving the widest channel.
void SpatialOrder(std::vector<int>& ids, size_t first, size_t last, const std::vector<TTileDescriptor>& points) {
  if (last - first <= 8) return;
  const auto mean = [&](int id, int channel) {
    float sum = 0;
    for (int part = 0; part < MatchGrid * MatchGrid; ++part) sum += points[size_t(id)][size_t(part * 3 + channel)];
    return sum;
  };
  int channel = 0;
  float widest = -1;
  for (int ch = 0; ch < 3; ++ch) {
    float lo = std::numeric_limits<float>::max(), hi = std::numeric_limits<float>::lowest();
    for (size_t i = first; i < last; ++i) {
      lo = std::min(lo, mean(ids[i], ch));
      hi = std::max(hi, mean(ids[i], ch));
    }
    if (hi - lo > widest) widest = hi - lo, channel = ch;
  }
  const size_t mid = first + (last - first) / 2;
  std::nth_element(ids.begin() + std::ptrdiff_t(first), ids.begin() + std::ptrdiff_t(mid),
                   ids.begin() + std::ptrdiff_t(last), [&](int a, int b) {
                     const float va = mean(a, channel), vb = mean(b, channel);
                     return va < vb || (va == vb && a < b);
                   });
  SpatialOrder(ids, first, mid, points);
  SpatialOrder(ids, mid, last, points);
}

// The placement's progress passed on as it rises, each percent once: the
// estimate falls back as a later round of a search starts.
class TRisingProgress {
 public:
  explicit TRisingProgress(const TProgressProc& progress) : m_progress(progress) {}
  void operator()(int percent) {
    if (m_progress && percent > m_last) m_progress(m_last = percent);
  }

 private:
  const TProgressProc& m_progress;
  int m_last = -1;
};

// Gives every open query a target within the targets' room, nearest pairs
// first, as far as the room goes; each round searches the targets that still
// have room. progress receives 0..100 from the calling thread: the queries
// settled or searched in this round, the first round being most of the work.
// False when options.Cancelled, asked as often and at each round, stopped
// it.
bool Assign(const std::vector<TTileDescriptor>& queries, const std::vector<TTileDescriptor>& targets,
            std::vector<int>& room, std::vector<int>& assignment, std::vector<float>& distance,
            const TMatchOptions& options, const TProgressProc& progress) {
  for (int round = 0;; ++round) {
    std::vector<int> open, available;
    for (size_t q = 0; q < queries.size(); ++q)
      if (assignment[q] < 0) open.push_back(int(q));
    for (size_t t = 0; t < targets.size(); ++t)
      if (room[t] > 0) available.push_back(int(t));
    if (open.empty() || available.empty()) return true;
    if (round > 0 && options.Stopped()) return false;
    const int k = int(std::min<std::int64_t>(
        {std::int64_t(available.size()), std::int64_t(kRoundCandidates) << std::min(round, 8), kMostRoundCandidates}));
    std::vector<TTileDescriptor> subset, asked;
    subset.reserve(available.size());
    for (int t : available) subset.push_back(targets[size_t(t)]);
    // Queries next to each other in colour are searched faster (each starts
    // from the list of the one before): the open ones go in a k-d order of
    // their average colours.
    SpatialOrder(open, 0, open.size(), queries);
    asked.reserve(open.size());
    for (int q : open) asked.push_back(queries[size_t(q)]);
    const TMatchLibrary library(std::move(subset));
    std::vector<TMatchCandidate> lists(open.size() * size_t(k));
    const size_t chunks = (open.size() + kSearchChunk - 1) / kSearchChunk;
    const std::int64_t settled = std::int64_t(queries.size() - open.size());
    const bool searched = RunUntilStopped(
        chunks, std::min(WorkerThreads(options.Threads), int(chunks)) - 1,
        [&](size_t chunk) {
          const size_t first = chunk * kSearchChunk;
          const int count = int(std::min<size_t>(kSearchChunk, open.size() - first));
          library.Nearest(asked.data() + first, count, k, lists.data() + first * size_t(k));
        },
        [&](size_t done) {
          const std::int64_t part = std::int64_t(open.size()) * std::int64_t(done) / std::int64_t(chunks);
          progress(int((settled + part) * 100 / std::int64_t(queries.size())));
        },
        [&] { return options.Stopped(); });
    if (!searched) return false;
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

// The photos that still have room, searchable. Full ones are passed over
// until a quarter of those it holds have filled up, or sooner when the last
// search met several: the full ones gather where the cells crowd, and every
// search there would pass over them again.
class TRoomSearch {
 public:
  TRoomSearch(const std::vector<TTileDescriptor>& photos, const std::vector<int>& count, const std::vector<int>& limit)
      : m_photos(photos), m_count(count), m_limit(limit) {}

  // The nearest photo with room for which free(photo) holds; -1 when none.
  template <class Free>
  int Nearest(const TTileDescriptor& cell, const Free& free) {
    if (m_stale * 4 >= int(m_ids.size()) ||
        (m_wasted >= kRoomCandidates && m_stale >= std::max(kRoomCandidates, int(m_ids.size()) / 64)))
      Build();
    m_wasted = 0;
    for (int k = std::min(kRoomCandidates, m_library.Count()); k > 0;) {
      m_list.resize(size_t(k));
      m_library.Nearest(&cell, 1, k, m_list.data());
      for (const TMatchCandidate& c : m_list) {
        const int p = m_ids[size_t(c.Index)];
        if (!HasRoom(p)) {
          ++m_wasted;
        } else if (free(p)) {
          return p;
        }
      }
      if (k == m_library.Count()) break;
      k = std::min(k * 4, m_library.Count());
    }
    return -1;
  }
  bool HasRoom(int p) const { return m_count[size_t(p)] < m_limit[size_t(p)]; }
  void Filled() { ++m_stale; }
  void Build() {
    m_ids.clear();
    std::vector<TTileDescriptor> subset;
    for (size_t p = 0; p < m_photos.size(); ++p)
      if (HasRoom(int(p))) {
        m_ids.push_back(int(p));
        subset.push_back(m_photos[p]);
      }
    m_library = TMatchLibrary(std::move(subset));
    m_stale = 0;
  }

 private:
  const std::vector<TTileDescriptor>& m_photos;
  const std::vector<int>& m_count;
  const std::vector<int>& m_limit;
  TMatchLibrary m_library;
  std::vector<int> m_ids;
  std::vector<TMatchCandidate> m_list;
  int m_stale = 1;   // built at the first search
  int m_wasted = 0;  // full photos the last search met
};

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
                           const std::vector<int>& order, const TMatchOptions& options, const TProgressProc& progress,
                           TMatchUses* report) {
  TRisingProgress rising(progress);
  // Placing every photo first takes this share of the bar, the cells the rest.
  const int assignShare = !options.UseAll ? 0 : options.MaxUses > 0 ? kAssignPercentWithCap : kAssignPercent;
  const int photos = library.Count();
  const size_t cellCount = size_t(columns) * size_t(rows);
  const int r = std::clamp(options.RepeatDistance, 0, MaxRepeatDistance);
  std::vector<TTileDescriptor> photoDescriptors;
  photoDescriptors.reserve(size_t(photos));
  for (int p = 0; p < photos; ++p) photoDescriptors.push_back(library.Descriptor(p));

  std::vector<int> chosen(cellCount, -1);
  std::vector<int> count(static_cast<size_t>(photos), 0);
  // Every photo asked for: each is placed first, in the nearest cell still
  // free, nearest pairs first.
  if (options.UseAll) {
    const std::vector<TTileDescriptor> cellDescriptors(cells.begin(), cells.begin() + std::ptrdiff_t(cellCount));
    std::vector<int> cellRoom(cellCount, 1), photoCell(static_cast<size_t>(photos), -1);
    std::vector<float> photoDistance(static_cast<size_t>(photos), 0);
    if (!Assign(photoDescriptors, cellDescriptors, cellRoom, photoCell, photoDistance, options,
                [&](int percent) { rising(percent * assignShare / 100); }))
      return {};
    for (int p = 0; p < photos; ++p)
      if (const int c = photoCell[size_t(p)]; c >= 0) {
        chosen[size_t(c)] = p;
        count[size_t(p)] = 1;
      }
  }

  // The other cells in the visiting order, each taking the nearest photo
  // that has room and is not used nearby: its candidates first, then the
  // photos with room. When every photo with room is used nearby, a trade
  // with a cell farther away is tried before the repeat distance yields;
  // the cap yields only when every photo is at it, evenly.
  const int cap = options.MaxUses > 0 ? options.MaxUses : int(std::min<size_t>(cellCount, 1u << 30));
  std::vector<int> limit(static_cast<size_t>(photos), cap);
  TRoomSearch room(photoDescriptors, count, limit);
  int withRoom = 0;
  for (int p = 0; p < photos; ++p) withRoom += room.HasRoom(p);
  std::vector<int> stamp(static_cast<size_t>(photos), -1), nearestUse(static_cast<size_t>(photos), 0);
  std::vector<std::vector<int>> cellsOf;  // made for the first trade
  const auto place = [&](int c, int p) {
    chosen[size_t(c)] = p;
    if (++count[size_t(p)] == limit[size_t(p)]) {
      --withRoom;
      room.Filled();
    }
    if (!cellsOf.empty()) cellsOf[size_t(p)].push_back(c);
  };
  for (size_t v = 0; v < cellCount; ++v) {
    if (v % size_t(columns) == 0) {
      rising(assignShare + int(std::int64_t(v) * (100 - assignShare) / std::int64_t(cellCount)));
      if (options.Stopped()) return {};
    }
    const int c = order[v];
    if (chosen[size_t(c)] >= 0) continue;
    MarkNearbyUses(chosen, columns, rows, c, r, int(v), stamp, nearestUse);
    const auto freeHere = [&](int p) { return stamp[size_t(p)] != int(v); };
    if (withRoom == 0) {
      // The cap cannot fill the cells: it grows evenly for the rest.
      std::int64_t left = std::int64_t(cellCount);
      for (int n : count) left -= n;
      const int extra = int((left + photos - 1) / photos);
      for (int& l : limit) l += extra;
      withRoom = photos;
      room.Build();
    }
    int pick = -1;
    const TMatchCandidate* list = candidates.data() + size_t(c) * size_t(k);
    for (int i = 0; i < k && pick < 0; ++i)
      if (room.HasRoom(list[i].Index) && freeHere(list[i].Index)) pick = list[i].Index;
    if (pick < 0) pick = room.Nearest(cells[size_t(c)], freeHere);
    if (pick < 0 && r > 0) {
      // A trade: this cell takes a photo that is free here but full, from a
      // cell that can take a photo with room instead.
      if (cellsOf.empty()) {
        cellsOf.resize(static_cast<size_t>(photos));
        for (size_t at = 0; at < cellCount; ++at)
          if (chosen[at] >= 0) cellsOf[size_t(chosen[at])].push_back(int(at));
      }
      std::vector<int> roomy;  // gathered at the first photo worth a trade
      float best = std::numeric_limits<float>::infinity();
      int bestPhoto = -1, bestCell = -1, bestInstead = -1;
      for (int i = 0, tried = 0; i < k && tried < kTradePhotos; ++i) {
        const int q = list[i].Index;
        if (!freeHere(q) || room.HasRoom(q)) continue;
        if (tried++ == 0)
          for (int p = 0; p < photos && int(roomy.size()) < kTradeRoom; ++p)
            if (room.HasRoom(p)) roomy.push_back(p);
        const std::vector<int>& holders = cellsOf[size_t(q)];
        for (size_t h = 0; h < holders.size() && h < size_t(kTradeCells); ++h) {
          const int other = holders[h];
          const float before = library.Distance(cells[size_t(other)], q);
          for (int p : roomy) {
            if (UsedNear(chosen, columns, rows, other, p, r)) continue;
            const float cost = list[i].Distance + library.Distance(cells[size_t(other)], p) - before;
            if (cost < best) best = cost, bestPhoto = q, bestCell = other, bestInstead = p;
          }
        }
      }
      if (bestPhoto >= 0) {
        std::vector<int>& holders = cellsOf[size_t(bestPhoto)];
        holders.erase(std::find(holders.begin(), holders.end(), bestCell));
        chosen[size_t(bestCell)] = -1;
        --count[size_t(bestPhoto)];
        place(bestCell, bestInstead);
        chosen[size_t(c)] = bestPhoto;
        ++count[size_t(bestPhoto)];
        cellsOf[size_t(bestPhoto)].push_back(c);
        continue;
      }
    }
    if (pick < 0) {
      // The repeat distance yields: the photo with room whose nearest use
      // is farthest away, then the nearest in colour.
      const std::vector<float> distances = library.Distances(cells[size_t(c)]);
      int bestUse = -1;
      for (int p = 0; p < photos; ++p) {
        if (!room.HasRoom(p)) continue;
        const int use = freeHere(p) ? std::numeric_limits<int>::max() : nearestUse[size_t(p)];
        if (use > bestUse || (use == bestUse && distances[size_t(p)] < distances[size_t(pick)])) {
          bestUse = use;
          pick = p;
        }
      }
    }
    place(c, pick);
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
