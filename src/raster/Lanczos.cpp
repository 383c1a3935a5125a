#include "raster/Lanczos.h"

#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <numbers>
#include <thread>
#include <vector>

#include "raster/Bitmap.h"
#include "raster/MemoryHints.h"
#include "raster/ParallelFor.h"

namespace {

// Weights are fixed point with 14 fraction bits: a weight times a byte stays
// in 16-bit operands and the sums of a few dozen taps fit 32 bits easily.
constexpr int kBits = 14;
constexpr int kOne = 1 << kBits;
constexpr int kHalf = 1 << (kBits - 1);
constexpr double kRadius = 3.0;
// The column pass works on this many bytes of a row at a time: a constant trip
// count lets -O2 vectorise it, and the 32-bit sums stay in the L1 cache.
constexpr int kChunk = 512;
// Rows of intermediate picture each piece of parallel work aims at.
constexpr int kBandRows = 128;
// Largest slice of the intermediate picture one piece of work holds at once.
constexpr size_t kSliceBytes = size_t(8) << 20;

double Sinc(double x) {
  if (x == 0) return 1.0;
  x *= std::numbers::pi;
  return std::sin(x) / x;
}

double Lanczos3(double x) {
  x = std::abs(x);
  return x < kRadius ? Sinc(x) * Sinc(x / kRadius) : 0.0;
}

// The filter along one axis: output i reads `taps` consecutive source pixels
// from start[i] with weights[i * taps + k], which add up to exactly kOne.
struct TAxisFilter {
  int taps = 0;
  std::vector<int> start;
  std::vector<std::int16_t> weights;
  std::vector<float> floatWeights;  // the same values
};

TAxisFilter MakeFilter(int oldSize, int newSize) {
  // Source position of output i is first + i * step; the filter is stretched
  // by `widen` source pixels per unit of the kernel.
  double first = 0, step, widen;
  if (newSize == 1) {
    first = (oldSize - 1) / 2.0;
    step = 0;
    widen = oldSize;
  } else if (oldSize == 1) {
    step = 1.0 / newSize;
    widen = 1;
  } else {
    step = double(oldSize - 1) / (newSize - 1);
    widen = std::max(1.0, step);
  }
  const double support = kRadius * widen;
  const auto centre = [&](int i) {
    // Multiplying before dividing keeps the last output exactly on the last pixel.
    return newSize == 1 || oldSize == 1 ? first + i * step : double(i) * (oldSize - 1) / (newSize - 1);
  };
  const auto lowest = [&](double c) { return std::max(0, int(std::floor(c - support)) + 1); };
  const auto highest = [&](double c) { return std::min(oldSize - 1, int(std::ceil(c + support)) - 1); };

  TAxisFilter f;
  for (int i = 0; i < newSize; ++i) {
    const double c = centre(i);
    f.taps = std::max(f.taps, highest(c) - lowest(c) + 1);
  }
  f.taps = std::min(f.taps, oldSize);
  f.start.resize(size_t(newSize));
  f.weights.assign(size_t(newSize) * size_t(f.taps), 0);
  std::vector<double> w(size_t(f.taps));
  for (int i = 0; i < newSize; ++i) {
    const double c = centre(i);
    const int lo = lowest(c), hi = highest(c);
    // Every output reads the same number of taps; near the far border the
    // window slides inward and its extra taps keep a weight of 0.
    const int start = std::min(lo, oldSize - f.taps);
    f.start[size_t(i)] = start;
    std::fill(w.begin(), w.end(), 0.0);
    double sum = 0;
    for (int j = lo; j <= hi; ++j) sum += w[size_t(j - start)] = Lanczos3((j - c) / widen);
    // Rounding the running sum, not each weight, makes the integer weights add
    // up to exactly kOne (a flat picture stays flat) with each off by less
    // than one unit.
    std::int16_t* q = &f.weights[size_t(i) * size_t(f.taps)];
    double running = 0;
    long previous = 0;
    for (int k = 0; k < f.taps; ++k) {
      running += w[size_t(k)] / sum;
      const long rounded = std::lround(running * kOne);
      q[k] = std::int16_t(rounded - previous);
      previous = rounded;
    }
    q[f.taps - 1] = std::int16_t(q[f.taps - 1] + (kOne - previous));
  }
  f.floatWeights.assign(f.weights.begin(), f.weights.end());
  return f;
}

std::uint8_t ToByte(int sum) { return std::uint8_t(std::clamp(sum >> kBits, 0, 255)); }

// The inner loops below are kept out of line, so that every optimisation
// level vectorises them the same way (inlined, -O3 fuses the column pass's
// tap loop around its inner loop and leaves the fused loop scalar). On x86-64
// they are also built for AVX2, picked at load time where the processor has
// it: twice the bytes per instruction, weights broadcast from memory.
#if defined(__x86_64__) && defined(__ELF__)
#define VECTOR_KERNEL [[gnu::target_clones("avx2", "default")]]
#else
#define VECTOR_KERNEL [[gnu::noinline]]
#endif

// One pixel's blue, green, red and an unused lane as one vector (GCC and
// Clang lower it to SSE on x86, NEON on ARM, plain floats elsewhere).
using TPixel4 = float __attribute__((vector_size(16)));

using TBytes4 = std::uint8_t __attribute__((vector_size(4)));
using TInt4 = int __attribute__((vector_size(16)));

// Source pixels lo..hi-1 of a 24-bit row widened to vectors, through
// `bytes`, which gets the pixels four bytes apart (the fourth lane is never
// used): then every byte becomes a float in one vectorised loop. `bytes` has
// room for hi - lo pixels rounded up to a multiple of kWidenBlock.
constexpr int kWidenBlock = 16;
void WidenRow(const std::uint8_t* __restrict src, std::uint8_t* __restrict bytes, TPixel4* __restrict dst, int lo,
              int hi) {
  src += 3 * size_t(lo);
  // Four bytes are read a pixel, except for the last, which may end the
  // picture's memory.
  const int n = hi - lo;
  for (int i = 0; i < n - 1; ++i) std::memcpy(bytes + 4 * size_t(i), src + 3 * size_t(i), 4);
  std::memcpy(bytes + 4 * size_t(n - 1), src + 3 * size_t(n - 1), 3);
  float* __restrict out = reinterpret_cast<float*>(dst + lo);
  for (int b = 0; b < n; b += kWidenBlock)
    for (int j = 0; j < 4 * kWidenBlock; ++j) out[4 * b + j] = bytes[4 * b + j];
}

// Output pixels x0..x1-1 of one row filtered horizontally from its widened
// source pixels. The sums are of whole numbers (byte times integer weight)
// whose magnitude stays below 2^23 (the weights' absolute values add up to
// less than 2 x kOne, about 1.6 x kOne at worst), so float arithmetic computes
// them exactly, in any order: the result is the fixed-point one, with the
// channels summed side by side. Four sums run in turn, so that each addition
// does not wait for the one before.
VECTOR_KERNEL void FilterRow(const TPixel4* __restrict src, std::uint8_t* __restrict dst, const TAxisFilter& f, int x0,
                             int x1) {
  const int n = f.taps;
  const float* w = f.floatWeights.data() + size_t(x0) * size_t(n);
  for (int x = x0; x < x1; ++x, w += n, dst += 3) {
    const TPixel4* p = src + f.start[size_t(x)];
    TPixel4 a0 = {kHalf, kHalf, kHalf, kHalf}, a1 = {}, a2 = {}, a3 = {};
    int k = 0;
    for (; k + 4 <= n; k += 4) {
      a0 += w[k] * p[k];
      a1 += w[k + 1] * p[k + 1];
      a2 += w[k + 2] * p[k + 2];
      a3 += w[k + 3] * p[k + 3];
    }
    for (; k < n; ++k) a0 += w[k] * p[k];
    TInt4 v = __builtin_convertvector((a0 + a1) + (a2 + a3), TInt4) >> kBits;
    // Clamped to 0..255 without branches: negative lanes to 0, then lanes
    // above 255 to all ones, masked to 255.
    v &= ~(v >> 31);
    v = (v | ((255 - v) >> 31)) & 255;
    const TBytes4 bytes = __builtin_convertvector(v, TBytes4);
    // The fourth byte is overwritten by the next pixel; the last pixel stores three.
    std::memcpy(dst, &bytes, x + 1 < x1 ? 4 : 3);
  }
}

// acc += wp * p + wq * q over one chunk: unaliased pointers and a constant
// trip count.
VECTOR_KERNEL void AddTwoRows(int* __restrict acc, const std::uint8_t* __restrict p, int wp,
                              const std::uint8_t* __restrict q, int wq) {
  const std::int16_t a = std::int16_t(wp), b = std::int16_t(wq);
  for (int j = 0; j < kChunk; ++j) {
    // 16-bit operands: the multiply is then a widening one (pmullw/pmulhw on
    // x86) instead of a 32-bit one that SSE2 has to emulate.
    const std::int16_t pv = p[j], qv = q[j];
    acc[j] += a * pv + b * qv;
  }
}

// One output row from `n` rows of the intermediate picture: every byte is a
// weighted sum of the bytes below each other, so the channels need no care.
// `bytes` is a multiple of kChunk; rows and dst are padded to it.
void FilterColumns(const std::uint8_t* const* rows, const std::int16_t* w, int n, std::uint8_t* __restrict dst,
                   size_t bytes) {
  alignas(64) int acc[kChunk];
  for (size_t c0 = 0; c0 < bytes; c0 += kChunk) {
    for (int j = 0; j < kChunk; ++j) acc[j] = kHalf;
    // Two rows a pass halve the traffic through the sums; an odd last row
    // pairs with the first one at weight 0.
    for (int k = 0; k < n; k += 2)
      AddTwoRows(acc, rows[k] + c0, w[k], rows[k + 1 < n ? k + 1 : 0] + c0, k + 1 < n ? w[k + 1] : 0);
    for (int j = 0; j < kChunk; ++j) dst[c0 + j] = ToByte(acc[j]);
  }
}

// Scratch buffers handed from one piece of work to the next, so each thread
// allocates (and faults in) its band memory once.
class TBufferPool {
 public:
  std::vector<std::uint8_t> Take() {
    const std::lock_guard<std::mutex> lock(m_lock);
    if (m_free.empty()) return {};
    std::vector<std::uint8_t> b = std::move(m_free.back());
    m_free.pop_back();
    return b;
  }
  void Give(std::vector<std::uint8_t>&& b) {
    const std::lock_guard<std::mutex> lock(m_lock);
    m_free.push_back(std::move(b));
  }

 private:
  std::mutex m_lock;
  std::vector<std::vector<std::uint8_t>> m_free;
};

// Output rows y0..y1-1 of the resize of src into out (whose first row is
// output row y0, rows outLine bytes apart), on all cores. Every output row is
// computed from the source alone, so any cut into bands gives the same bytes.
void ResampleRows(const QImage& src, const TAxisFilter& fx, const TAxisFilter& fy, int newWidth, int newHeight, int y0,
                  int y1, std::uint8_t* outBits, size_t outLine) {
  const int oldWidth = src.width(), oldHeight = src.height();
  // The work is cut into bands of output rows; each band filters the source
  // rows it needs into its own slice of the intermediate picture (new width by
  // source height), then filters the slice's columns into its output rows.
  // Neighbouring bands share a few intermediate rows and compute them twice,
  // which keeps the slice small and in cache. A slice that would still be
  // large (a tall picture made very flat and wide) is done in strips of
  // columns, so the memory needed stays bounded whatever the sizes.
  // At least four bands a core when the rows are many enough, so that all
  // cores stay busy to the end.
  const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
  const int rows = y1 - y0;
  const int bandRows =
      std::clamp(int(std::int64_t(kBandRows) * newHeight / oldHeight), 1, std::max(1, rows / (4 * cores)));
  const size_t bands = (size_t(rows) + size_t(bandRows) - 1) / size_t(bandRows);
  TBufferPool pool;
  ParallelFor(bands, [&](size_t band) {
    const int b0 = y0 + int(band) * bandRows, b1 = std::min(y1, b0 + bandRows);
    const int r0 = fy.start[size_t(b0)], r1 = fy.start[size_t(b1 - 1)] + fy.taps;
    const size_t sliceRows = size_t(r1 - r0);
    int stripWidth = newWidth;
    if (sliceRows * 3 * size_t(newWidth) > kSliceBytes)
      stripWidth = int(std::max<size_t>(kChunk, kSliceBytes / (3 * sliceRows) / kChunk * kChunk));
    const size_t stride = (3 * size_t(stripWidth) + kChunk - 1) / kChunk * kChunk;
    std::vector<std::uint8_t> buffer = pool.Take();
    // The slice's rows, one padded output row, then one source row as bytes
    // four apart and as vectors (both with room for a whole last block).
    const size_t widened = size_t(oldWidth) + kWidenBlock;
    const size_t need = (sliceRows + 1) * stride + 4 * widened + sizeof(TPixel4) * (widened + 1);
    if (buffer.size() < need) buffer.resize(need);
    std::uint8_t* const row = &buffer[sliceRows * stride];
    std::uint8_t* const packed = row + stride;
    TPixel4* const wide =
        reinterpret_cast<TPixel4*>((reinterpret_cast<std::uintptr_t>(packed + 4 * widened) + alignof(TPixel4) - 1) &
                                   ~std::uintptr_t(alignof(TPixel4) - 1));
    std::vector<const std::uint8_t*> taps(size_t(fy.taps));
    for (int x0 = 0; x0 < newWidth; x0 += stripWidth) {
      const int x1 = std::min(newWidth, x0 + stripWidth);
      const size_t bytes = 3 * size_t(x1 - x0), padded = (bytes + kChunk - 1) / kChunk * kChunk;
      const int lo = fx.start[size_t(x0)], hi = fx.start[size_t(x1 - 1)] + fx.taps;
      for (int r = r0; r < r1; ++r) {
        WidenRow(src.constScanLine(r), packed, wide, lo, hi);
        FilterRow(wide, &buffer[size_t(r - r0) * stride], fx, x0, x1);
      }
      for (int y = b0; y < b1; ++y) {
        const int first = fy.start[size_t(y)] - r0;
        for (int k = 0; k < fy.taps; ++k) taps[size_t(k)] = &buffer[size_t(first + k) * stride];
        FilterColumns(taps.data(), &fy.weights[size_t(y) * size_t(fy.taps)], fy.taps, row, padded);
        std::memcpy(outBits + size_t(y - y0) * outLine + 3 * size_t(x0), row, bytes);
      }
    }
    pool.Give(std::move(buffer));
  });
}

}  // namespace

struct TBandResampler::TFilters {
  TAxisFilter X, Y;
};

TBandResampler::TBandResampler(const TBitmap& source, int newWidth, int newHeight)
    : m_width(newWidth), m_height(newHeight) {
  if (source.Empty() || newWidth < 1 || newHeight < 1 || newWidth > MaxBandResampleSide ||
      newHeight > MaxBandResampleSide)
    return;
  // A 24-bit view of the source: shares the pixels when they already are.
  m_source.SetImage(source.Image(), pf24bit);
  m_filters = std::make_shared<TFilters>(
      TFilters{MakeFilter(m_source.Width(), newWidth), MakeFilter(m_source.Height(), newHeight)});
}

TBandResampler::~TBandResampler() = default;

bool TBandResampler::Rows(int y0, int y1, TBitmap& band) const {
  if (!Valid() || y0 < 0 || y1 > m_height || y0 >= y1) return false;
  QImage out(m_width, y1 - y0, QImage::Format_BGR888);
  if (out.isNull()) throw std::bad_alloc();
  ResampleRows(m_source.Image(), m_filters->X, m_filters->Y, m_width, m_height, y0, y1, out.bits(),
               size_t(out.bytesPerLine()));
  TBitmap result;
  result.SetImage(std::move(out), pf24bit);
  band = std::move(result);
  return true;
}

bool SmoothResampleBitmap(int newWidth, int newHeight, const TBitmap& source, TBitmap& target) {
  if (source.Empty()) return false;
  if (newWidth < 1 || newHeight < 1 || newWidth > MaxResampleSide || newHeight > MaxResampleSide ||
      std::int64_t(newWidth) * newHeight > MaxResamplePixels)
    return false;

  // A 24-bit view of the source: shares the pixels when they already are.
  TBitmap converted;
  converted.SetImage(source.Image(), pf24bit);
  const QImage& src = converted.Image();

  QImage out(newWidth, newHeight, QImage::Format_BGR888);
  if (out.isNull()) throw std::bad_alloc();
  PreferHugePages(out.bits(), size_t(out.sizeInBytes()));

  const TAxisFilter fx = MakeFilter(src.width(), newWidth);
  const TAxisFilter fy = MakeFilter(src.height(), newHeight);
  ResampleRows(src, fx, fy, newWidth, newHeight, 0, newHeight, out.bits(), size_t(out.bytesPerLine()));

  TBitmap result;
  result.SetImage(std::move(out), pf24bit);
  target = std::move(result);
  return true;
}
