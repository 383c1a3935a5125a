// The cell loop against the data movement no build can avoid: copying each
// thumbnail into its cell. Run with --benchmark_counters_tabular=true.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>

#include "mosaic/MosaicBuilder.h"
#include "raster/RectUtils.h"

namespace {

TBitmap Photo(int w, int h) {
  TBitmap b(w, h, pf24bit);
  for (int y = 0; y < h; ++y) {
    std::uint8_t* p = b.ScanLine(y);
    for (int x = 0; x < w; ++x, p += 3) {
      p[0] = std::uint8_t((x * 255) / w);
      p[1] = std::uint8_t((y * 255) / h);
      p[2] = std::uint8_t((x * y + x * 7) >> 5);
    }
  }
  return b;
}

TThumbnailList Thumbnails(int cell) {
  TThumbnailList list;
  list.SetHeight(cell);
  list.SetWidth(cell);
  for (int i = 0; i < 100; ++i) {
    TBitmap t = Photo(64 + i, 48 + i);
    ScaleBitmap(cell, cell, t);
    list.Add(t);
  }
  return list;
}

void BM_BuildMosaic(benchmark::State& state) {
  const int cell = int(state.range(0));
  const TThumbnailList list = Thumbnails(cell);
  const TBitmap source = Photo(1600, 1200);
  TSeededRandom random(1);
  for (auto _ : state) {
    state.PauseTiming();
    TBitmap picture(source);
    picture.ScanLine(0);  // take a private copy outside the timing
    state.ResumeTiming();
    BuildMosaic(
        picture, list, cell, true, [](int) {}, &random);
    benchmark::DoNotOptimize(picture.ScanLine(0));
  }
}

// Copies thumbnail i mod 100 into every cell, clipped at the edges.
void BM_CopyCellsBaseline(benchmark::State& state) {
  const int cell = int(state.range(0));
  const TThumbnailList list = Thumbnails(cell);
  const TBitmap source = Photo(1600, 1200);
  for (auto _ : state) {
    state.PauseTiming();
    TBitmap picture(source);
    picture.ScanLine(0);
    state.ResumeTiming();
    int i = 0;
    for (int y = 0; y < picture.Height(); y += cell)
      for (int x = 0; x < picture.Width(); x += cell, i = (i + 1) % 100) {
        const TBitmap& t = list.Entry(i);
        const int w = std::min(cell, picture.Width() - x), h = std::min(cell, picture.Height() - y);
        for (int r = 0; r < h; ++r) std::memcpy(picture.ScanLine(y + r) + 3 * x, t.ScanLine(r), size_t(3 * w));
      }
    benchmark::DoNotOptimize(picture.ScanLine(0));
  }
}

}  // namespace

BENCHMARK(BM_CopyCellsBaseline)->Arg(10)->Arg(20)->Arg(40)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildMosaic)->Arg(10)->Arg(20)->Arg(40)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
