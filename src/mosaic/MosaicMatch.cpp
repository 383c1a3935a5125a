#include "mosaic/MosaicMatch.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "mosaic/FairUse.h"
#include "mosaic/LabColor.h"
#include "mosaic/MosaicQuality.h"
#include "raster/ColorAdjust.h"
#include "raster/Workers.h"

// How the matching was chosen, on the fidelity benchmark
// (bench/MosaicMatchBench.cpp: 300 crops of real photographs on three other
// photographs, and 400 generated scenes on three generated pictures; CIEDE2000
// between target and mosaic from afar, each cell's average, and up close,
// each quarter cell's):
// - Parts: a 4 x 4 grid, the size at which a tile's inside is seen from a
//   metre away, and no extra weight on the average (the sum over the parts
//   already counts it 16 times). Against the earlier 3 x 3 grid with the
//   average weighted three times over, at tint 0: up close the mean falls by
//   2 to 6 % and the 95th percentile by 6 to 12 %; from afar the mean rises
//   by 4 to 25 %, the price of tiles that are right inside. The search takes
//   1.5 times as long (a tenth of a second for 20,000 photos and 19,200
//   cells on two cores).
// - Chroma compressed (DescribeArea): from afar up to 11 % less, up close 1
//   to 6 % less, most on vivid targets.
// - Cells visited row by row instead of in a shuffled order: each cell then
//   meets placed neighbours on one side only, so the repeat rule packs the
//   photos tightly (in an even area a photo may come back every fourth
//   cell); in a shuffled order the last cells are hemmed in on every side
//   and take poor matches. 3 to 7 % less from afar, most where the picture
//   has wide even areas.
// - The light tint by default: at a limit of 25 % it is closer up close than
//   the whole-tile tint on all nine targets (by 1 to 15 %, most on detail
//   finer than a cell), as close or closer from afar on seven, and changes
//   the real photographs less (mean byte change 6.3 to 8.5 against 6.6 to
//   9.2); on detail finer than a cell it changes the photos more, as it
//   carries that detail's light into them.

// Why a repeat distance of 3: within any 7 x 7 block of cells no photo shows
// twice, so a repeat is never seen side by side, and at 80 cells across the
// nearest repeat is a tenth of the picture away. The block excludes at most
// 48 photos, which a library of a hundred or so can spare: on 120 photos
// (bench/MosaicMatchBench.cpp) the mean colour error from afar grows by 2 to
// 4 % from no rule to distance 3, and by 2 to 4 % more with each step beyond.

namespace {

constexpr int kBlock = 16;
// Unused slots of the last block: far from every colour, and their squared
// distances stay finite.
constexpr float kFar = 1e15f;
// Candidates kept per cell; the repeat rule needs (2R + 1)^2 of them to be
// sure that one is free, beyond that a cell falls back on a full scan.
constexpr int kMaxCandidates = 128;

bool Nearer(const TMatchCandidate& a, const TMatchCandidate& b) {
  return a.Distance < b.Distance || (a.Distance == b.Distance && a.Index < b.Index);
}

// The scan is compiled for the vector units at hand and picked at start-up.
// Contraction into fused multiply-adds is off for this file (CMake), so that
// every build computes the same distances and so picks the same thumbnails.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define MATCH_VECTOR_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define MATCH_VECTOR_CLONES
#endif

using TFloat16 = float __attribute__((vector_size(64)));

// The leading dimensions that carry the blocks' bounding boxes: the average
// and the two gradients of each channel.
constexpr int kBoxDims = 9;
// The chroma compression of the descriptors (CIE94's chroma weighting, the
// log form of DIN99).
constexpr float kChromaCompression = 0.045f;
// The dimensions the blocks are split along: the average colour alone, as
// sixteen entries a block leave too few splits for more.
constexpr int kSplitDims = 3;

// Adds to a max-heap of at most k candidates (worst first).
inline void Offer(TMatchCandidate* heap, int& size, int k, const TMatchCandidate& c) {
  if (size < k) {
    heap[size++] = c;
    std::push_heap(heap, heap + size, Nearer);
  } else if (Nearer(c, heap[0])) {
    std::pop_heap(heap, heap + size, Nearer);
    heap[size - 1] = c;
    std::push_heap(heap, heap + size, Nearer);
  }
}

struct TScanLayout {
  const float* blocks;
  const int* slotIndex;
  const float* boxLow;
  const float* boxHigh;
  int blockCount;
  int paddedBlocks;
};

// Scans every block whose box could still hold a nearer entry than the
// heap's worst; entries marked seen (already offered) are passed over.
MATCH_VECTOR_CLONES
void ScanPruned(const TScanLayout& layout, const float* query, int k, TMatchCandidate* heap, int& size, const int* seen,
                int stamp) {
  for (int b0 = 0; b0 < layout.blockCount; b0 += kBlock) {
    const TFloat16 zero = {};
    TFloat16 bound = {};
    for (int d = 0; d < kBoxDims; ++d) {
      TFloat16 low, high;
      std::memcpy(&low, layout.boxLow + size_t(d) * size_t(layout.paddedBlocks) + size_t(b0), sizeof low);
      std::memcpy(&high, layout.boxHigh + size_t(d) * size_t(layout.paddedBlocks) + size_t(b0), sizeof high);
      const TFloat16 below = low - query[d], above = query[d] - high;
      TFloat16 out = below > above ? below : above;
      out = out > zero ? out : zero;
      bound += out * out;
    }
    const int blocks = std::min(kBlock, layout.blockCount - b0);
    for (int j = 0; j < blocks; ++j) {
      if (size == k && bound[j] > heap[0].Distance) continue;
      const int b = b0 + j;
      const float* block = layout.blocks + size_t(b) * MatchDescriptorSize * kBlock;
      TFloat16 acc = {};
      for (int d = 0; d < MatchDescriptorSize; ++d) {
        TFloat16 e;
        std::memcpy(&e, block + d * kBlock, sizeof e);
        const TFloat16 diff = e - query[d];
        acc += diff * diff;
      }
      for (int i = 0; i < kBlock; ++i) {
        const int index = layout.slotIndex[size_t(b) * kBlock + size_t(i)];
        if (index < 0 || seen[index] == stamp) continue;
        if (size == k && acc[i] > heap[0].Distance) continue;
        Offer(heap, size, k, {acc[i], index});
      }
    }
  }
}

// The orthonormal cosine basis along a side of the grid: the average, then
// the gradient, then finer changes.
struct TCosineBasis {
  float Cos[MatchGrid][MatchGrid];
  // Coefficients (u, v) in the order of the share of a photograph's
  // differences they usually carry: coarser first.
  int Order[MatchGrid * MatchGrid][2];
};

TCosineBasis MakeCosineBasis() {
  TCosineBasis basis{};
  for (int u = 0; u < MatchGrid; ++u)
    for (int i = 0; i < MatchGrid; ++i) {
      const double c = std::sqrt((u == 0 ? 1.0 : 2.0) / MatchGrid) *
                       std::cos(3.14159265358979323846 * (2 * i + 1) * u / (2.0 * MatchGrid));
      // A node of the wave is exactly nought, not a rounding error away.
      basis.Cos[u][i] = std::abs(c) < 1e-9 ? 0.0f : float(c);
    }
  int n = 0;
  for (int sum = 0; sum <= 2 * (MatchGrid - 1); ++sum)
    for (int high = 0; high < MatchGrid; ++high)
      for (int low = 0; low <= high; ++low) {
        if (low + high != sum) continue;
        // (low, high) then (high, low); within a sum, the more even pairs first.
        basis.Order[n][0] = low, basis.Order[n][1] = high, ++n;
        if (low != high) basis.Order[n][0] = high, basis.Order[n][1] = low, ++n;
      }
  return basis;
}

const TCosineBasis& CosineBasis() {
  static const TCosineBasis basis = MakeCosineBasis();
  return basis;
}

TTileDescriptor Transformed(const TTileDescriptor& d) {
  const TCosineBasis& basis = CosineBasis();
  TTileDescriptor t{};
  for (int o = 0; o < MatchGrid * MatchGrid; ++o) {
    const int u = basis.Order[o][0], v = basis.Order[o][1];
    for (int c = 0; c < 3; ++c) {
      float sum = 0;
      for (int gy = 0; gy < MatchGrid; ++gy)
        for (int gx = 0; gx < MatchGrid; ++gx)
          sum += basis.Cos[u][gy] * basis.Cos[v][gx] * d[size_t((gy * MatchGrid + gx) * 3 + c)];
      t[size_t(o * 3 + c)] = sum;
    }
  }
  return t;
}

float SquaredDistance(const TTileDescriptor& a, const TTileDescriptor& b) {
  float sum = 0;
  for (int d = 0; d < MatchDescriptorSize; ++d) {
    const float diff = a[size_t(d)] - b[size_t(d)];
    sum += diff * diff;
  }
  return sum;
}

// The span [first, last) of part i of n along a side of `length` pixels; a
// part narrower than a pixel takes the nearest one.
void PartSpan(int i, int n, int length, int& first, int& last) {
  first = i * length / n;
  last = (i + 1) * length / n;
  if (last <= first) {
    first = std::min(first, length - 1);
    last = first + 1;
  }
}

struct TLinearMean {
  float R = 0, G = 0, B = 0;
};

TLinearMean MeanOf(const TBitmap& bitmap, int x0, int y0, int x1, int y1) {
  const auto& lin = SrgbToLinearTable();
  double r = 0, g = 0, b = 0;
  for (int y = y0; y < y1; ++y) {
    const std::uint8_t* p = bitmap.ScanLine(y) + 3 * x0;
    for (int x = x0; x < x1; ++x, p += 3) {
      b += lin[p[0]];
      g += lin[p[1]];
      r += lin[p[2]];
    }
  }
  const double n = double(x1 - x0) * double(y1 - y0);
  return {float(r / n), float(g / n), float(b / n)};
}

TColor ColorOfMean(const TLinearMean& m) { return RGBColor(LinearToSrgb(m.R), LinearToSrgb(m.G), LinearToSrgb(m.B)); }

TLab LabOfColor(TColor c) {
  const auto& lin = SrgbToLinearTable();
  return LinearRgbToLab(lin[GetRValue(c)], lin[GetGValue(c)], lin[GetBValue(c)]);
}

// The per-channel mapping of a tile pulled `percent` towards a colour, then
// given the contrast that goes with that tint.
struct TTintTables {
  TChannelTable B, G, R;
};

TTintTables TintTables(TColor target, int percent, const TMatchOptions& options) {
  const int contrast = int(std::lround(double(options.ContrastPercent) * percent / MosaicColorizePercent));
  TChannelTable contrastTable;
  BuildContrastTable(contrastTable, contrast);
  TTintTables t;
  const auto build = [&](TChannelTable& table, int component) {
    TChannelTable colorize;
    BuildColorizeTable(colorize, component, percent);
    for (size_t i = 0; i < 256; ++i) table[i] = contrastTable[colorize[i]];
  };
  build(t.B, GetBValue(target));
  build(t.G, GetGValue(target));
  build(t.R, GetRValue(target));
  return t;
}

// The light tint works on a grid of this many parts a side: a quarter of
// the cell, the size at which a tile's inside is seen from a metre away.
constexpr int kLightGrid = 4;

// The light of a pixel value between two bytes, in linear light.
float LinearOf(float value) {
  const auto& lin = SrgbToLinearTable();
  const float v = std::clamp(value, 0.0f, 255.0f);
  const int i = std::min(int(v), 254);
  return lin[size_t(i)] + (v - float(i)) * (lin[size_t(i) + 1] - lin[size_t(i)]);
}

// Draws the w x h top-left part of tile at (x, y) of image, each part of it
// moved towards the mean of the image's own pixels it replaces: no further
// than the smallest fraction that brings the part within the tolerance
// (its light measured in linear light), nor than the limit. The moves are
// offsets of the pixel values, spread smoothly between the parts' centres,
// so the tile's own detail is kept whole and only its light follows the
// target's; a pixel changes by at most the limit's share of the difference
// between the part's means, never more than a blend with the target would.
// Returns the mean percent of the parts.
int DrawLightTinted(const TBitmap& tile, TBitmap& image, int x, int y, int w, int h, const TMatchOptions& options) {
  const float limit = float(std::clamp(options.TintLimit, 0, 100)) / 100.0f;
  std::array<std::array<std::array<float, 3>, kLightGrid>, kLightGrid> move{};
  float percentSum = 0;
  for (int gy = 0; gy < kLightGrid; ++gy) {
    int y0, y1;
    PartSpan(gy, kLightGrid, h, y0, y1);
    for (int gx = 0; gx < kLightGrid; ++gx) {
      int x0, x1;
      PartSpan(gx, kLightGrid, w, x0, x1);
      const TLinearMean goal = MeanOf(image, x + x0, y + y0, x + x1, y + y1);
      const TLab goalLab = LinearRgbToLab(goal.R, goal.G, goal.B);
      // The parts' mean pixel values, blue, green, red.
      double sum[3] = {0, 0, 0};
      for (int row = y0; row < y1; ++row) {
        const std::uint8_t* t = tile.ScanLine(row) + 3 * x0;
        const std::uint8_t* g = image.ScanLine(y + row) + 3 * (x + x0);
        for (int col = x0; col < x1; ++col, t += 3, g += 3)
          for (size_t c = 0; c < 3; ++c) sum[c] += double(g[c]) - double(t[c]);
      }
      const double n = double(x1 - x0) * double(y1 - y0);
      const float d[3] = {float(sum[0] / n), float(sum[1] / n), float(sum[2] / n)};
      const auto farAt = [&](float f) {
        double light[3] = {0, 0, 0};
        for (int row = y0; row < y1; ++row) {
          const std::uint8_t* t = tile.ScanLine(row) + 3 * x0;
          for (int col = x0; col < x1; ++col, t += 3)
            for (size_t c = 0; c < 3; ++c) light[c] += LinearOf(float(t[c]) + f * d[c]);
        }
        const TLab lab = LinearRgbToLab(float(light[2] / n), float(light[1] / n), float(light[0] / n));
        return DeltaE76(lab, goalLab) > options.TintTolerance;
      };
      float f = 0;
      if (limit > 0 && farAt(0)) {
        if (farAt(limit)) {
          f = limit;
        } else {
          // The distance falls as the fraction grows: halve the interval
          // to within a percent.
          float lo = 0, hi = limit;
          while (hi - lo > 0.01f) {
            const float mid = (lo + hi) / 2;
            (farAt(mid) ? lo : hi) = mid;
          }
          f = hi;
        }
      }
      for (size_t c = 0; c < 3; ++c) move[size_t(gy)][size_t(gx)][c] = f * d[c];
      percentSum += f;
    }
  }
  // Each pixel's move, bilinear between the parts' centres (held at the
  // edges).
  const auto position = [](int i, int length, int& part, float& t) {
    const float u = (float(i) + 0.5f) * kLightGrid / float(length) - 0.5f;
    const float clamped = std::clamp(u, 0.0f, float(kLightGrid - 1));
    part = std::min(int(clamped), kLightGrid - 2);
    t = clamped - float(part);
  };
  for (int row = 0; row < h; ++row) {
    int py;
    float ty;
    position(row, h, py, ty);
    const std::uint8_t* s = tile.ScanLine(row);
    std::uint8_t* out = image.ScanLine(y + row) + 3 * x;
    for (int col = 0; col < w; ++col, s += 3, out += 3) {
      int px;
      float tx;
      position(col, w, px, tx);
      for (size_t c = 0; c < 3; ++c) {
        const float top = move[size_t(py)][size_t(px)][c] * (1 - tx) + move[size_t(py)][size_t(px + 1)][c] * tx;
        const float bottom =
            move[size_t(py + 1)][size_t(px)][c] * (1 - tx) + move[size_t(py + 1)][size_t(px + 1)][c] * tx;
        out[c] = std::uint8_t(std::clamp(std::lround(float(s[c]) + top * (1 - ty) + bottom * ty), 0L, 255L));
      }
    }
  }
  return int(std::lround(percentSum * 100.0f / (kLightGrid * kLightGrid)));
}

// Draws the w x h top-left part of tile at (x, y) of image, pulled as a
// whole towards the cell's average colour as far as AdaptiveTint finds
// needed; returns that percent.
int DrawWholeTinted(const TBitmap& tile, TBitmap& image, int x, int y, int w, int h, TColor target,
                    const TMatchOptions& options) {
  const int tint = AdaptiveTint(tile, w, h, target, options);
  const TTintTables t = TintTables(target, tint, options);
  for (int row = 0; row < h; ++row) {
    const std::uint8_t* s = tile.ScanLine(row);
    std::uint8_t* d = image.ScanLine(y + row) + 3 * x;
    for (int j = 0; j < w; ++j, s += 3, d += 3) {
      d[0] = t.B[s[0]];
      d[1] = t.G[s[1]];
      d[2] = t.R[s[2]];
    }
  }
  return tint;
}

}  // namespace

TTileDescriptor DescribeArea(const TBitmap& bitmap, int x, int y, int w, int h) {
  TTileDescriptor d{};
  for (int gy = 0; gy < MatchGrid; ++gy) {
    int y0, y1;
    PartSpan(gy, MatchGrid, h, y0, y1);
    for (int gx = 0; gx < MatchGrid; ++gx) {
      int x0, x1;
      PartSpan(gx, MatchGrid, w, x0, x1);
      const TLinearMean m = MeanOf(bitmap, x + x0, y + y0, x + x1, y + y1);
      TLab lab = LinearRgbToLab(m.R, m.G, m.B);
      // The eye tells strong colours apart by less than their distance in
      // CIELAB says: chroma is compressed as CIE94 and DIN99 weigh it, so
      // that a vivid tile is not taken for a near match of a vivid cell
      // whose hue it misses, nor a grey one passed over for it.
      if (const float c = std::hypot(lab.a, lab.b); c > 0) {
        const float scale = std::log1p(kChromaCompression * c) / (kChromaCompression * c);
        lab.a *= scale;
        lab.b *= scale;
      }
      const size_t at = size_t(gy * MatchGrid + gx) * 3;
      d[at] = lab.L;
      d[at + 1] = lab.a;
      d[at + 2] = lab.b;
    }
  }
  return d;
}

TMatchLibrary::TMatchLibrary(const TThumbnailList& thumbnails) {
  std::vector<TTileDescriptor> descriptors;
  descriptors.reserve(size_t(thumbnails.Count()));
  for (int i = 0; i < thumbnails.Count(); ++i) {
    const TBitmap& t = thumbnails.Entry(i);
    descriptors.push_back(DescribeArea(t, 0, 0, t.Width(), t.Height()));
  }
  *this = TMatchLibrary(std::move(descriptors));
}

namespace {
// Orders ids[first, last) so that every run of 16 is a leaf of a k-d split on
// the leading dimensions (each split on the widest of them, at a multiple
// of 16), so that the entries of a block lie close together.
void KdOrder(std::vector<int>& ids, size_t first, size_t last, const std::vector<TTileDescriptor>& points) {
  if (last - first <= size_t(kBlock)) return;
  int dim = 0;
  float widest = -1;
  for (int d = 0; d < kSplitDims; ++d) {
    float lo = std::numeric_limits<float>::max(), hi = std::numeric_limits<float>::lowest();
    for (size_t i = first; i < last; ++i) {
      lo = std::min(lo, points[size_t(ids[i])][size_t(d)]);
      hi = std::max(hi, points[size_t(ids[i])][size_t(d)]);
    }
    if (hi - lo > widest) widest = hi - lo, dim = d;
  }
  const size_t half = ((last - first) / 2 + kBlock - 1) / kBlock * kBlock;
  const size_t mid = first + half;
  std::nth_element(ids.begin() + std::ptrdiff_t(first), ids.begin() + std::ptrdiff_t(mid),
                   ids.begin() + std::ptrdiff_t(last), [&](int a, int b) {
                     const float va = points[size_t(a)][size_t(dim)], vb = points[size_t(b)][size_t(dim)];
                     return va < vb || (va == vb && a < b);
                   });
  KdOrder(ids, first, mid, points);
  KdOrder(ids, mid, last, points);
}
}  // namespace

TMatchLibrary::TMatchLibrary(std::vector<TTileDescriptor> descriptors) : m_descriptors(std::move(descriptors)) {
  const size_t n = m_descriptors.size();
  m_transformed.reserve(n);
  for (const TTileDescriptor& d : m_descriptors) m_transformed.push_back(Transformed(d));
  std::vector<int> ids(n);
  for (size_t i = 0; i < n; ++i) ids[i] = int(i);
  KdOrder(ids, 0, n, m_transformed);

  m_blockCount = int((n + kBlock - 1) / kBlock);
  m_paddedBlocks = (m_blockCount + kBlock - 1) / kBlock * kBlock;
  m_blocks.assign(size_t(m_blockCount) * MatchDescriptorSize * kBlock, kFar);
  m_slotIndex.assign(size_t(m_blockCount) * kBlock, -1);
  m_boxLow.assign(size_t(kBoxDims) * size_t(m_paddedBlocks), kFar);
  m_boxHigh.assign(size_t(kBoxDims) * size_t(m_paddedBlocks), kFar);
  for (size_t slot = 0; slot < n; ++slot) {
    const size_t b = slot / kBlock, lane = slot % kBlock;
    const TTileDescriptor& t = m_transformed[size_t(ids[slot])];
    m_slotIndex[slot] = ids[slot];
    for (int d = 0; d < MatchDescriptorSize; ++d)
      m_blocks[b * MatchDescriptorSize * kBlock + size_t(d) * kBlock + lane] = t[size_t(d)];
    for (int d = 0; d < kBoxDims; ++d) {
      float& low = m_boxLow[size_t(d) * size_t(m_paddedBlocks) + b];
      float& high = m_boxHigh[size_t(d) * size_t(m_paddedBlocks) + b];
      low = lane == 0 ? t[size_t(d)] : std::min(low, t[size_t(d)]);
      high = lane == 0 ? t[size_t(d)] : std::max(high, t[size_t(d)]);
    }
  }
}

std::vector<float> TMatchLibrary::Distances(const TTileDescriptor& query) const {
  const TTileDescriptor t = Transformed(query);
  std::vector<float> out;
  out.reserve(m_transformed.size());
  for (const TTileDescriptor& e : m_transformed) out.push_back(SquaredDistance(t, e));
  return out;
}

float TMatchLibrary::Distance(const TTileDescriptor& query, int index) const {
  return SquaredDistance(Transformed(query), m_transformed.at(size_t(index)));
}

void TMatchLibrary::Nearest(const TTileDescriptor* queries, int queryCount, int k, TMatchCandidate* out) const {
  k = std::min(k, Count());
  if (k <= 0) return;
  const TScanLayout layout{m_blocks.data(),  m_slotIndex.data(), m_boxLow.data(),
                           m_boxHigh.data(), m_blockCount,       m_paddedBlocks};
  std::vector<int> seen(m_descriptors.size(), -1);
  for (int q = 0; q < queryCount; ++q) {
    const TTileDescriptor query = Transformed(queries[q]);
    TMatchCandidate* heap = out + size_t(q) * size_t(k);
    int size = 0;
    // The previous query's list makes a tight bound from the start.
    if (q > 0) {
      const TMatchCandidate* previous = heap - k;
      for (int i = 0; i < k; ++i) {
        const int index = previous[i].Index;
        seen[size_t(index)] = q;
        Offer(heap, size, k, {SquaredDistance(query, m_transformed[size_t(index)]), index});
      }
    }
    ScanPruned(layout, query.data(), k, heap, size, seen.data(), q);
    std::sort_heap(heap, heap + size, Nearer);
  }
}

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
  // and the direction. (Why not a shuffled order: see the note at the top.)
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

int AdaptiveTint(const TBitmap& tile, int w, int h, TColor target, const TMatchOptions& options) {
  const int limit = std::clamp(options.TintLimit, 0, 100);
  if (limit == 0 || w <= 0 || h <= 0) return 0;
  std::array<std::array<int, 256>, 3> histogram{};
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* p = tile.ScanLine(y);
    for (int x = 0; x < w; ++x, p += 3)
      for (size_t c = 0; c < 3; ++c) ++histogram[c][p[c]];
  }
  const auto& lin = SrgbToLinearTable();
  const TLab goal = LabOfColor(target);
  const double n = double(w) * double(h);
  const auto farFromGoal = [&](int percent) {
    const TTintTables t = TintTables(target, percent, options);
    const TChannelTable* tables[3] = {&t.B, &t.G, &t.R};
    double mean[3] = {0, 0, 0};
    for (size_t c = 0; c < 3; ++c)
      for (size_t i = 0; i < 256; ++i)
        if (histogram[c][i]) mean[c] += histogram[c][i] * double(lin[(*tables[c])[i]]);
    const TLab lab = LinearRgbToLab(float(mean[2] / n), float(mean[1] / n), float(mean[0] / n));
    return DeltaE76(lab, goal) > options.TintTolerance;
  };
  if (!farFromGoal(0)) return 0;
  if (farFromGoal(limit)) return limit;
  // The smallest percent that is close enough, taking the distance as
  // falling with the percent.
  int lo = 0, hi = limit;
  while (hi - lo > 1) {
    const int mid = (lo + hi) / 2;
    (farFromGoal(mid) ? lo : hi) = mid;
  }
  return hi;
}

bool BuildMatchedMosaic(TBitmap& image, const TThumbnailList& thumbnails, const TMatchOptions& options,
                        const TProgressProc& progress, TMatchPlacement* placement, TMosaicQuality* quality) {
  if (thumbnails.Count() == 0 || options.CellSize <= 0) return false;
  return BuildMatchedMosaic(image, thumbnails, TMatchLibrary(thumbnails), options, progress, placement, quality);
}

TMatchGrid MatchGridOf(int width, int height, const TMatchOptions& options) {
  TMatchGrid grid;
  grid.CellWidth = options.CellSize;
  grid.CellHeight = options.CellHeight > 0 ? options.CellHeight : options.CellSize;
  if (grid.CellWidth <= 0 || grid.CellHeight <= 0 || width <= 0 || height <= 0) return grid;
  grid.Columns = int((std::int64_t(width) + grid.CellWidth - 1) / grid.CellWidth);
  grid.Rows = int((std::int64_t(height) + grid.CellHeight - 1) / grid.CellHeight);
  return grid;
}

void DescribeCellRows(const TBitmap& band, int firstRow, const TMatchGrid& grid, std::vector<TTileDescriptor>& cells,
                      std::vector<TColor>& colors) {
  const size_t cellCount = size_t(grid.Columns) * size_t(grid.Rows);
  cells.resize(cellCount);
  colors.resize(cellCount);
  const int cell = grid.CellWidth, cellHeight = grid.CellHeight;
  for (int cy = firstRow; cy < grid.Rows && (cy - firstRow) * cellHeight < band.Height(); ++cy)
    for (int cx = 0; cx < grid.Columns; ++cx) {
      const int x = cx * cell, y = (cy - firstRow) * cellHeight;
      const int w = std::min(cell, band.Width() - x), h = std::min(cellHeight, band.Height() - y);
      const size_t i = size_t(cy) * size_t(grid.Columns) + size_t(cx);
      cells[i] = DescribeArea(band, x, y, w, h);
      colors[i] = ColorOfMean(MeanOf(band, x, y, x + w, y + h));
    }
}

bool DrawCellRows(TBitmap& band, int firstRow, const TMatchGrid& grid, const TThumbnailList& thumbnails,
                  const std::vector<int>& chosen, const std::vector<TColor>& colors, const TMatchOptions& options,
                  std::vector<int>& tints, TQualityMeter* meter, const TProgressProc& progress, int percentFrom,
                  int percentTo) {
  const int cell = grid.CellWidth, cellHeight = grid.CellHeight;
  tints.resize(size_t(grid.Columns) * size_t(grid.Rows));
  for (int cy = firstRow; cy < grid.Rows && (cy - firstRow) * cellHeight < band.Height(); ++cy) {
    if (options.Stopped()) return false;
    if (progress) progress(percentFrom + cy * (percentTo - percentFrom) / grid.Rows);
    for (int cx = 0; cx < grid.Columns; ++cx) {
      const size_t i = size_t(cy) * size_t(grid.Columns) + size_t(cx);
      const TBitmap& thumb = thumbnails.Entry(chosen[i]);
      const int x = cx * cell, y = (cy - firstRow) * cellHeight;
      const int w = std::min({thumb.Width(), band.Width() - x, cell});
      const int h = std::min({thumb.Height(), band.Height() - y, cellHeight});
      const int cellW = std::min(cell, band.Width() - x), cellH = std::min(cellHeight, band.Height() - y);
      if (meter) meter->Before(band, x, y, cellW, cellH);
      tints[i] = options.Tint == TTintMode::Light ? DrawLightTinted(thumb, band, x, y, w, h, options)
                                                  : DrawWholeTinted(thumb, band, x, y, w, h, colors[i], options);
      if (meter) meter->After(band, x, y, cellW, cellH);
    }
  }
  return true;
}

bool BuildMatchedMosaic(TBitmap& image, const TThumbnailList& thumbnails, const TMatchLibrary& library,
                        const TMatchOptions& options, const TProgressProc& progress, TMatchPlacement* placement,
                        TMosaicQuality* quality) {
  if (thumbnails.Count() == 0 || options.CellSize <= 0 || library.Count() != thumbnails.Count() || image.Empty())
    return false;
  if (image.PixelFormat() != pf24bit) image.SetPixelFormat(pf24bit);
  const TMatchGrid grid = MatchGridOf(image.Width(), image.Height(), options);

  // Every cell is described before anything is drawn.
  std::vector<TTileDescriptor> cells;
  std::vector<TColor> colors;
  DescribeCellRows(image, 0, grid, cells, colors);

  // Searching is most of the work: 80 % of the bar, drawing the rest.
  const TProgressProc searchProgress = [&](int percent) {
    if (progress) progress(percent * MatchSearchPercent / 100);
  };
  const std::vector<int> chosen = MatchCells(library, cells, grid.Columns, grid.Rows, options, searchProgress,
                                             placement ? &placement->Uses : nullptr);
  if (chosen.size() != cells.size()) return false;  // cancelled
  if (placement) {
    placement->Columns = grid.Columns;
    placement->Rows = grid.Rows;
    placement->Thumbnail = chosen;
  }

  TQualityMeter meter;
  std::vector<int> tints;
  if (!DrawCellRows(image, 0, grid, thumbnails, chosen, colors, options, tints, quality ? &meter : nullptr, progress,
                    MatchSearchPercent, 100))
    return false;
  if (placement) placement->Tint = tints;
  if (quality) *quality = meter.Result(chosen, tints);
  return true;
}
