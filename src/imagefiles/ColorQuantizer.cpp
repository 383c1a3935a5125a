#include "imagefiles/ColorQuantizer.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <queue>
#include <vector>

// Octree reduction over a colour histogram, then Floyd-Steinberg error
// diffusion onto the resulting palette.
//
// The histogram has 6 bits a channel; its bins are the leaves of a depth-6
// octree (the bin number interleaves the bits of red, green and blue, so a
// node's parent is the bin number shifted right by 3). Each bin keeps the exact
// sums of its pixels, so palette colours are true means, not bin centres.
// The tree is reduced by collapsing, each time, the node whose children merge
// at the least increase of squared error, until no more leaves than colours
// remain (the last node may merge only some of its children, so the count is
// met exactly). A few Lloyd rounds over the histogram then let the colours
// leave the octree's cell boundaries, which gains PSNR on smooth pictures.

namespace {

constexpr int kLevels = 6;                 // octree depth = histogram bits a channel
constexpr int kBins = 1 << (3 * kLevels);  // 262144 leaves
constexpr int kLowBits = 8 - kLevels;      // bits of a channel below the bin
// Lloyd rounds after the octree: most of their gain comes in the first few.
constexpr int kRefineRounds = 4;

// Morton interleave of the top 6 bits of each channel: bit i of red, green,
// blue becomes bits 3i+2, 3i+1, 3i of the bin number.
struct TMorton {
  std::array<std::uint32_t, 256> r{}, g{}, b{};
  TMorton() {
    for (int v = 0; v < 256; ++v) {
      std::uint32_t m = 0;
      const int top = v >> kLowBits;
      for (int i = 0; i < kLevels; ++i)
        if (top & (1 << i)) m |= 1u << (3 * i);
      b[v] = m;
      g[v] = m << 1;
      r[v] = m << 2;
    }
  }
};
const TMorton& Morton() {
  static const TMorton table;
  return table;
}

struct TBin {
  std::uint32_t n = 0;
  // Sums of the channel bits below the bin (0..3 each): at most
  // 3 x MaxPicturePixels, within 32 bits.
  std::uint32_t r = 0, g = 0, b = 0;
};

struct TNode {
  double n = 0, r = 0, g = 0, b = 0;  // pixel count and channel sums
  bool leaf = false;
  int pendingChildren = 0;  // non-leaf children still to collapse
};

double SquaredNorm(const TNode& c) { return c.n > 0 ? (c.r * c.r + c.g * c.g + c.b * c.b) / c.n : 0.0; }

struct TRgb {
  int r, g, b;
};

// Exact nearest palette entry. For each cell of 8x8x8 colours (on first use)
// only the entries that can be nearest to some colour of the cell are kept,
// sorted by their distance to the cell, so the search stops as soon as no
// remaining entry can beat the best found. A cell's entries are picked from
// those of its enclosing 32x32x32 cell, which are picked from the palette.
class TNearest {
 public:
  explicit TNearest(const std::vector<TRgb>& palette) : m_coarse(kCoarseShift), m_fine(kFineShift) {
    for (std::size_t i = 0; i < palette.size(); ++i)
      m_all.push_back(
          {0, std::int16_t(palette[i].r), std::int16_t(palette[i].g), std::int16_t(palette[i].b), std::uint8_t(i)});
  }

  int Find(int r, int g, int b) {
    // Dithered colours repeat a lot: a direct-mapped cache of exact answers.
    const std::uint64_t key = std::uint64_t(r) << 16 | std::uint64_t(g) << 8 | std::uint64_t(b);
    std::uint64_t& slot = m_cache[std::size_t((std::uint32_t(key) * 2654435761u) >> (32 - kCacheBits))];
    if ((slot >> 8) == key) return int(slot & 0xFF);
    const int found = Search(r, g, b);
    slot = key << 8 | std::uint64_t(found);
    return found;
  }

 private:
  static constexpr int kCacheBits = 15;
  static constexpr int kCoarseShift = 5;  // cells of 32 values a channel
  static constexpr int kFineShift = 3;    // cells of 8

  int Search(int r, int g, int b) {
    const int cell = m_fine.CellOf(r, g, b);
    if (!m_fine.Built(cell)) {
      const int coarse = m_coarse.CellOf(r, g, b);
      if (!m_coarse.Built(coarse)) m_coarse.Build(coarse, m_all.data(), m_all.size());
      m_fine.Build(cell, m_coarse.Begin(coarse), m_coarse.Count(coarse));
    }
    const TCandidate* c = m_fine.Begin(cell);
    const TCandidate* end = c + m_fine.Count(cell);
    int best = c->index;
    int bestDist = std::numeric_limits<int>::max();
    for (; c != end && c->cellDist < bestDist; ++c) {
      const int dr = r - c->r, dg = g - c->g, db = b - c->b;
      const int d = dr * dr + dg * dg + db * db;
      if (d < bestDist) bestDist = d, best = c->index;
    }
    return best;
  }

  struct TCandidate {
    int cellDist;  // squared distance from the entry to the nearest point of the cell
    std::int16_t r, g, b;
    std::uint8_t index;
  };

  class TGrid {
   public:
    explicit TGrid(int shift)
        : m_shift(shift),
          m_bits(8 - shift),
          m_start(std::size_t(1) << (3 * m_bits), -1),
          m_count(std::size_t(1) << (3 * m_bits), 0) {}
    int CellOf(int r, int g, int b) const {
      return ((r >> m_shift) << (2 * m_bits)) | ((g >> m_shift) << m_bits) | (b >> m_shift);
    }
    bool Built(int cell) const { return m_start[std::size_t(cell)] >= 0; }
    const TCandidate* Begin(int cell) const { return m_cand.data() + m_start[std::size_t(cell)]; }
    std::size_t Count(int cell) const { return m_count[std::size_t(cell)]; }

    void Build(int cell, const TCandidate* from, std::size_t n) {
      const int mask = (1 << m_bits) - 1, side = (1 << m_shift) - 1;
      const int lo[3] = {(cell >> (2 * m_bits)) << m_shift, ((cell >> m_bits) & mask) << m_shift,
                         (cell & mask) << m_shift};
      auto axisMin = [&](int v, int l) { return v < l ? l - v : v > l + side ? v - (l + side) : 0; };
      auto axisMax = [&](int v, int l) { return std::max(std::abs(v - l), std::abs(v - (l + side))); };
      m_scratch.clear();
      int limit = std::numeric_limits<int>::max();
      for (std::size_t i = 0; i < n; ++i) {
        TCandidate c = from[i];
        const int mr = axisMin(c.r, lo[0]), mg = axisMin(c.g, lo[1]), mb = axisMin(c.b, lo[2]);
        const int xr = axisMax(c.r, lo[0]), xg = axisMax(c.g, lo[1]), xb = axisMax(c.b, lo[2]);
        limit = std::min(limit, xr * xr + xg * xg + xb * xb);
        c.cellDist = mr * mr + mg * mg + mb * mb;
        m_scratch.push_back(c);
      }
      // An entry farther from the whole cell than the worst case of the
      // closest entry can never win inside the cell.
      const std::size_t start = m_cand.size();
      for (const TCandidate& c : m_scratch)
        if (c.cellDist <= limit) m_cand.push_back(c);
      std::stable_sort(m_cand.begin() + std::ptrdiff_t(start), m_cand.end(),
                       [](const TCandidate& a, const TCandidate& b) { return a.cellDist < b.cellDist; });
      m_start[std::size_t(cell)] = int(start);
      m_count[std::size_t(cell)] = std::uint16_t(m_cand.size() - start);
    }

   private:
    int m_shift, m_bits;
    std::vector<int> m_start;
    std::vector<std::uint16_t> m_count;
    std::vector<TCandidate> m_cand;
    std::vector<TCandidate> m_scratch;
  };

  std::vector<TCandidate> m_all;
  TGrid m_coarse, m_fine;
  std::vector<std::uint64_t> m_cache = std::vector<std::uint64_t>(std::size_t(1) << kCacheBits, ~std::uint64_t(0));
};

// Up to maxColors distinct colours: their exact palette, or an empty result
// when there are more.
bool ExactPalette(const QImage& img, int maxColors, std::vector<TRgb>& palette, QImage& out) {
  // Open addressing on 24-bit keys; 1024 slots keep it sparse for 256 colours.
  constexpr int kSlots = 1024;
  std::array<std::uint32_t, kSlots> keys;
  std::array<std::uint8_t, kSlots> index{};
  keys.fill(0xFFFFFFFFu);
  const int w = img.width(), h = img.height();
  out = QImage(w, h, QImage::Format_Indexed8);
  if (out.isNull()) throw std::bad_alloc();
  std::uint32_t lastKey = 0xFFFFFFFFu;
  std::uint8_t lastIndex = 0;
  for (int y = 0; y < h; ++y) {
    const uchar* s = img.constScanLine(y);
    uchar* d = out.scanLine(y);
    for (int x = 0; x < w; ++x, s += 3) {
      const std::uint32_t key = std::uint32_t(s[0]) | (std::uint32_t(s[1]) << 8) | (std::uint32_t(s[2]) << 16);
      if (key != lastKey) {
        std::uint32_t slot = (key * 2654435761u) >> 22;
        while (keys[slot] != key && keys[slot] != 0xFFFFFFFFu) slot = (slot + 1) & (kSlots - 1);
        if (keys[slot] != key) {
          if (int(palette.size()) >= maxColors) return false;
          keys[slot] = key;
          index[slot] = std::uint8_t(palette.size());
          palette.push_back({s[2], s[1], s[0]});
        }
        lastKey = key;
        lastIndex = index[slot];
      }
      d[x] = lastIndex;
    }
  }
  return true;
}

// Merges clusters pairwise, cheapest first (the increase of squared error of
// a merge is na*nb/(na+nb) * |mean a - mean b|^2), until `keep` remain.
void MergePairs(std::vector<TNode>& clusters, std::size_t keep) {
  auto meanDist = [](const TNode& a, const TNode& b) {
    const double dr = a.r / a.n - b.r / b.n, dg = a.g / a.n - b.g / b.n, db = a.b / a.n - b.b / b.n;
    return a.n * b.n / (a.n + b.n) * (dr * dr + dg * dg + db * db);
  };
  while (clusters.size() > keep && clusters.size() > 1) {
    std::size_t bi = 0, bj = 1;
    double best = std::numeric_limits<double>::max();
    for (std::size_t i = 0; i < clusters.size(); ++i)
      for (std::size_t j = i + 1; j < clusters.size(); ++j)
        if (const double d = meanDist(clusters[i], clusters[j]); d < best) best = d, bi = i, bj = j;
    clusters[bi].n += clusters[bj].n;
    clusters[bi].r += clusters[bj].r;
    clusters[bi].g += clusters[bj].g;
    clusters[bi].b += clusters[bj].b;
    clusters.erase(clusters.begin() + std::ptrdiff_t(bj));
  }
}

TRgb MeanOf(const TNode& c) {
  auto mean = [&](double s) { return std::clamp(int(s / c.n + 0.5), 0, 255); };
  return {mean(c.r), mean(c.g), mean(c.b)};
}

// The occupied bins of the histogram as weighted colours (exact sums).
std::vector<TNode> Histogram(const QImage& img) {
  const TMorton& mt = Morton();
  std::vector<TBin> bins(kBins);
  const int w = img.width(), h = img.height();
  constexpr std::uint8_t lowMask = (1 << kLowBits) - 1;
  for (int y = 0; y < h; ++y) {
    const uchar* s = img.constScanLine(y);
    for (int x = 0; x < w; ++x, s += 3) {
      TBin& bin = bins[mt.b[s[0]] | mt.g[s[1]] | mt.r[s[2]]];
      ++bin.n;
      bin.b += s[0] & lowMask;
      bin.g += s[1] & lowMask;
      bin.r += s[2] & lowMask;
    }
  }
  std::vector<TNode> leaves(kBins);  // indexed by bin number; empty bins have n = 0
  for (int i = 0; i < kBins; ++i) {
    const TBin& bin = bins[std::size_t(i)];
    if (!bin.n) continue;
    // Undo the interleave to find the bin's base colour.
    int r = 0, g = 0, b = 0;
    for (int k = 0; k < kLevels; ++k) {
      b |= ((i >> (3 * k)) & 1) << k;
      g |= ((i >> (3 * k + 1)) & 1) << k;
      r |= ((i >> (3 * k + 2)) & 1) << k;
    }
    TNode& node = leaves[std::size_t(i)];
    node.n = bin.n;
    node.r = double(r << kLowBits) * bin.n + bin.r;
    node.g = double(g << kLowBits) * bin.n + bin.g;
    node.b = double(b << kLowBits) * bin.n + bin.b;
    node.leaf = true;
  }
  return leaves;
}

std::vector<TRgb> OctreePalette(std::vector<TNode> bottom, int maxColors) {
  // Dense node levels 0..kLevels; level k has 8^k nodes, node i's parent is i >> 3.
  std::vector<std::vector<TNode>> level(kLevels + 1);
  for (int k = 0; k < kLevels; ++k) level[std::size_t(k)].resize(std::size_t(1) << (3 * k));
  int leaves = 0;
  for (const TNode& n : bottom) leaves += n.n > 0;
  level[kLevels] = std::move(bottom);
  for (int k = kLevels; k > 0; --k) {
    std::vector<TNode>& cur = level[std::size_t(k)];
    std::vector<TNode>& up = level[std::size_t(k - 1)];
    for (std::size_t i = 0; i < cur.size(); ++i) {
      const TNode& c = cur[i];
      if (c.n <= 0) continue;
      TNode& p = up[i >> 3];
      p.n += c.n;
      p.r += c.r;
      p.g += c.g;
      p.b += c.b;
      if (!c.leaf) ++p.pendingChildren;
    }
  }

  // Collapse nodes whose children are all leaves, cheapest first.
  struct TCandidate {
    double cost;
    int level;
    std::uint32_t index;
    bool operator>(const TCandidate& o) const {
      if (cost != o.cost) return cost > o.cost;
      if (level != o.level) return level < o.level;  // deeper first on ties
      return index > o.index;
    }
  };
  auto children = [&](int k, std::uint32_t i) {
    std::vector<TNode> list;
    for (std::uint32_t c = i << 3; c < (i << 3) + 8; ++c)
      if (level[std::size_t(k + 1)][c].n > 0) list.push_back(level[std::size_t(k + 1)][c]);
    return list;
  };
  auto costOf = [&](int k, std::uint32_t i) {
    double sum = 0;
    for (const TNode& c : children(k, i)) sum += SquaredNorm(c);
    return sum - SquaredNorm(level[std::size_t(k)][i]);
  };
  std::priority_queue<TCandidate, std::vector<TCandidate>, std::greater<>> queue;
  {
    const std::vector<TNode>& nodes = level[kLevels - 1];
    for (std::uint32_t i = 0; i < nodes.size(); ++i)
      if (nodes[i].n > 0) queue.push({costOf(kLevels - 1, i), kLevels - 1, i});
  }
  // A node whose children would overshoot the count if merged whole: only
  // some of its children are merged, pairwise.
  int partialLevel = -1;
  std::uint32_t partialIndex = 0;
  std::vector<TNode> partial;
  while (leaves > maxColors && !queue.empty()) {
    const TCandidate c = queue.top();
    queue.pop();
    std::vector<TNode> kids = children(c.level, c.index);
    const int count = int(kids.size());
    if (leaves - (count - 1) < maxColors) {
      MergePairs(kids, std::size_t(count - (leaves - maxColors)));
      partialLevel = c.level, partialIndex = c.index, partial = std::move(kids);
      break;
    }
    leaves -= count - 1;
    level[std::size_t(c.level)][c.index].leaf = true;
    if (c.level > 0) {
      TNode& parent = level[std::size_t(c.level - 1)][c.index >> 3];
      if (--parent.pendingChildren == 0) queue.push({costOf(c.level - 1, c.index >> 3), c.level - 1, c.index >> 3});
    }
  }

  // The palette: the means of the top-most leaves.
  std::vector<TRgb> palette;
  auto collect = [&](auto&& self, int k, std::uint32_t i) -> void {
    const TNode& node = level[std::size_t(k)][i];
    if (node.n <= 0) return;
    if (k == partialLevel && i == partialIndex) {
      for (const TNode& c : partial) palette.push_back(MeanOf(c));
    } else if (node.leaf) {
      palette.push_back(MeanOf(node));
    } else {
      for (std::uint32_t c = i << 3; c < (i << 3) + 8; ++c) self(self, k + 1, c);
    }
  };
  collect(collect, 0, 0);
  return palette;
}

// Lloyd rounds over the histogram: every bin goes to its nearest palette
// colour, every colour moves to the mean of its bins. This frees the colours
// from the octree's cell boundaries.
void Refine(std::vector<TRgb>& palette, const std::vector<TNode>& bins, int rounds) {
  for (int round = 0; round < rounds; ++round) {
    TNearest nearest(palette);
    std::vector<TNode> sums(palette.size());
    for (const TNode& bin : bins) {
      if (bin.n <= 0) continue;
      const TRgb m = MeanOf(bin);
      TNode& s = sums[std::size_t(nearest.Find(m.r, m.g, m.b))];
      s.n += bin.n;
      s.r += bin.r;
      s.g += bin.g;
      s.b += bin.b;
    }
    bool moved = false;
    for (std::size_t k = 0; k < palette.size(); ++k) {
      if (sums[k].n <= 0) continue;
      const TRgb m = MeanOf(sums[k]);
      if (m.r != palette[k].r || m.g != palette[k].g || m.b != palette[k].b) palette[k] = m, moved = true;
    }
    if (!moved) break;
  }
}

// Floyd-Steinberg error diffusion onto the palette, serpentine rows.
QImage Dither(const QImage& img, const std::vector<TRgb>& palette) {
  const int w = img.width(), h = img.height();
  QImage out(w, h, QImage::Format_Indexed8);
  if (out.isNull()) throw std::bad_alloc();
  TNearest nearest(palette);
  // Errors in sixteenths, one row ahead; two guard pixels on each side.
  std::vector<int> errCur(std::size_t(w + 2) * 3, 0), errNext(std::size_t(w + 2) * 3, 0);
  auto clamp255 = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
  for (int y = 0; y < h; ++y) {
    const uchar* s = img.constScanLine(y);
    uchar* d = out.scanLine(y);
    std::fill(errNext.begin(), errNext.end(), 0);
    const bool forward = (y & 1) == 0;
    const int step = forward ? 1 : -1;
    int x = forward ? 0 : w - 1;
    for (int i = 0; i < w; ++i, x += step) {
      int* e = &errCur[std::size_t(x + 1) * 3];
      // Rounded division of the accumulated sixteenths, symmetric around 0.
      auto add = [](int v, int err) { return v + (err >= 0 ? (err + 8) >> 4 : -((-err + 8) >> 4)); };
      const int r = clamp255(add(s[3 * x + 2], e[0]));
      const int g = clamp255(add(s[3 * x + 1], e[1]));
      const int b = clamp255(add(s[3 * x + 0], e[2]));
      const int k = nearest.Find(r, g, b);
      d[x] = uchar(k);
      const TRgb& p = palette[std::size_t(k)];
      const int er = r - p.r, eg = g - p.g, eb = b - p.b;
      int* ahead = &errCur[std::size_t(x + 1 + step) * 3];
      int* below = &errNext[std::size_t(x + 1) * 3];
      int* belowAhead = &errNext[std::size_t(x + 1 + step) * 3];
      int* belowBehind = &errNext[std::size_t(x + 1 - step) * 3];
      const int ev[3] = {er, eg, eb};
      for (int c = 0; c < 3; ++c) {
        ahead[c] += 7 * ev[c];
        belowBehind[c] += 3 * ev[c];
        below[c] += 5 * ev[c];
        belowAhead[c] += ev[c];
      }
    }
    std::swap(errCur, errNext);
  }
  return out;
}

QList<QRgb> ColorTable(const std::vector<TRgb>& palette) {
  QList<QRgb> table;
  table.reserve(qsizetype(palette.size()));
  for (const TRgb& p : palette) table.append(qRgb(p.r, p.g, p.b));
  return table;
}

// A palette picture can be kept as it is only when every pixel has an entry.
bool IndicesWithinTable(const QImage& img) {
  const int count = int(img.colorCount());
  if (img.format() != QImage::Format_Indexed8) return count >= 2;
  for (int y = 0; y < img.height(); ++y) {
    const uchar* row = img.constScanLine(y);
    if (*std::max_element(row, row + img.width()) >= count) return false;
  }
  return true;
}

}  // namespace

TBitmap QuantizeOctree(const TBitmap& source, int maxColors) {
  maxColors = std::clamp(maxColors, 2, 256);
  TBitmap result;
  if (source.Empty()) {
    result.SetImage(QImage(), pf8bit);
    return result;
  }
  const QImage& src = source.Image();
  const TPixelFormat pf = source.PixelFormat();
  if ((pf == pf1bit || pf == pf4bit || pf == pf8bit) && src.colorCount() <= maxColors &&
      (src.format() == QImage::Format_Indexed8 || src.format() == QImage::Format_Mono ||
       src.format() == QImage::Format_MonoLSB) &&
      IndicesWithinTable(src)) {
    QImage img = src.convertToFormat(QImage::Format_Indexed8);
    if (img.isNull()) throw std::bad_alloc();
    img.setColorTable(src.colorTable());
    result.SetImage(std::move(img), pf8bit);
    return result;
  }

  QImage rgb;
  if (pf == pf24bit && src.format() == QImage::Format_BGR888) {
    rgb = src;
  } else {
    TBitmap copy(source);
    copy.SetPixelFormat(pf24bit);
    rgb = copy.Image();
  }

  std::vector<TRgb> palette;
  QImage indexed;
  if (!ExactPalette(rgb, maxColors, palette, indexed)) {
    std::vector<TNode> bins = Histogram(rgb);
    palette = OctreePalette(bins, maxColors);
    Refine(palette, bins, kRefineRounds);
    indexed = Dither(rgb, palette);
  }
  indexed.setColorTable(ColorTable(palette));
  result.SetImage(std::move(indexed), pf8bit);
  return result;
}
