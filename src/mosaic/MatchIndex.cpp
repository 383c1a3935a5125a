// The nearest-neighbour index: cosine transform, k-d blocks, box skip.
#include "mosaic/MatchIndex.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr int kBlock = 16;
// Unused slots of the last block: far from every colour, and their squared
// distances stay finite.
constexpr float kFar = 1e15f;

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

}  // namespace

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
