// Lanczos-3 resize of a 1600 x 1200 photograph to 50 % and to 200 %: ours
// (SmoothResampleBitmap) against ImageMagick (Magick++: LanczosFilter, then
// resize to the exact size, as `convert -filter Lanczos -resize WxH!`) and
// libvips (vips_resize with kernel lanczos3, as `vips resize IN OUT SCALE
// --kernel lanczos3`), all on the same picture in memory, in one run. The
// second argument of the peers is their thread count (ours always uses every
// core). libvips's operation cache is switched off, so every iteration
// computes, and its lazy pipeline is forced by writing the result to memory.
//   build/bench/bench/bench_resize
// Closes with the best time of each and the PSNR of the 200 % results against
// ImageMagick's.
#include <benchmark/benchmark.h>

#include <vips/vips.h>

#include <Magick++.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "ValueNoise.h"
#include "raster/Bitmap.h"
#include "raster/Lanczos.h"

namespace {

using namespace bench_noise;

constexpr int kWidth = 1600, kHeight = 1200;

// Sky with clouds, textured ground, hard-edged shaded discs, thin lines and
// grain: the smooth areas, sharp edges and fine detail of a photograph.
TBitmap Photograph() {
  TBitmap b(kWidth, kHeight, pf24bit);
  for (int y = 0; y < kHeight; ++y) {
    std::uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < kWidth; ++x) {
      const double u = double(x) / kWidth, v = double(y) / kHeight;
      const double horizon = 0.45 + 0.08 * std::sin(u * 7.0) + 0.05 * Fractal(u * 4, 0.5, 7);
      double r, g, bl;
      if (v < horizon) {
        const double cloud = std::max(0.0, Fractal(u * 6, v * 10, 1) - 0.45) * 2.2;
        r = 90 + 120 * v + 160 * cloud, g = 140 + 90 * v + 140 * cloud, bl = 230 - 30 * v + 60 * cloud;
      } else {
        const double t = Fractal(u * 60, v * 60, 3), m = Fractal(u * 5, v * 5, 5);
        const double shade = 0.55 + 0.6 * (v - horizon);
        r = (70 + 90 * m + 80 * t) * shade, g = (110 + 90 * t - 30 * m) * shade, bl = (40 + 40 * m) * shade;
      }
      const double cx[3] = {0.25, 0.62, 0.85}, cy[3] = {0.7, 0.78, 0.3}, rad[3] = {0.12, 0.09, 0.06};
      for (int k = 0; k < 3; ++k) {
        const double dx = (u - cx[k]) * kWidth / kHeight / rad[k], dy = (v - cy[k]) / rad[k];
        if (dx * dx + dy * dy < 1) {
          const double light = 0.2 + 0.8 * std::max(0.0, -0.6 * dx - 0.7 * dy + 0.4 * std::sqrt(1 - dx * dx - dy * dy));
          r = 60 + 180 * light * (k == 0), g = 40 + 200 * light * (k == 1), bl = 50 + 190 * light * (k != 1);
        }
      }
      if (x % 97 == 13 || (y % 61 == 7 && v > horizon)) r = g = bl = 245;  // wires and fences
      const double grain = (Lattice(x, y, 99) - 0.5) * 12;
      row[3 * x + 0] = std::uint8_t(std::clamp(bl + grain, 0.0, 255.0));
      row[3 * x + 1] = std::uint8_t(std::clamp(g + grain, 0.0, 255.0));
      row[3 * x + 2] = std::uint8_t(std::clamp(r + grain, 0.0, 255.0));
    }
  }
  return b;
}

struct TFixture {
  TBitmap picture = Photograph();
  Magick::Image magick;
  VipsImage* vips = nullptr;
  std::vector<std::uint8_t> packed;  // the pixels vips reads, blue-green-red, no row padding
  TFixture() {
    packed.resize(size_t(kWidth) * kHeight * 3);
    for (int y = 0; y < kHeight; ++y) std::memcpy(&packed[size_t(y) * kWidth * 3], picture.ScanLine(y), kWidth * 3);
    magick.read(kWidth, kHeight, "BGR", Magick::CharPixel, packed.data());
    magick.filterType(Magick::LanczosFilter);
    vips = vips_image_new_from_memory(packed.data(), packed.size(), kWidth, kHeight, 3, VIPS_FORMAT_UCHAR);
  }
};
TFixture& Fixture() {
  static TFixture f;
  return f;
}

// Best wall time and best processor time (all threads of the process) of
// one resize per library and percentage, and the 200 % results. On a busy
// machine the processor time is the steadier of the two.
struct TTimes {
  double wall = 0, cpu = 0;
};
std::map<std::string, TTimes> g_best;
TBitmap g_ours200, g_magick200, g_vips200;

double CpuNow() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + t.tv_nsec * 1e-9;
}
struct TClock {
  std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
  double cpu = CpuNow();
};
void Keep(const std::string& key, const TClock& t0) {
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0.wall).count();
  const double cpu = CpuNow() - t0.cpu;
  TTimes& best = g_best[key];
  if (best.wall == 0 || wall < best.wall) best.wall = wall;
  if (best.cpu == 0 || cpu < best.cpu) best.cpu = cpu;
}
std::string Key(const char* who, int percent) {
  char s[64];
  std::snprintf(s, sizeof s, "%s %d %%", who, percent);
  return s;
}

TBitmap FromPacked(const std::uint8_t* data, int w, int h) {
  TBitmap b(w, h, pf24bit);
  for (int y = 0; y < h; ++y) std::memcpy(b.ScanLine(y), data + size_t(y) * w * 3, size_t(w) * 3);
  return b;
}

void BM_Ours(benchmark::State& state) {
  const int percent = int(state.range(0));
  const int w = kWidth * percent / 100, h = kHeight * percent / 100;
  TBitmap out;
  for (auto _ : state) {
    const TClock t0;
    if (!SmoothResampleBitmap(w, h, Fixture().picture, out)) state.SkipWithError("refused");
    Keep(Key("ours", percent), t0);
    benchmark::DoNotOptimize(out.ScanLine(0));
  }
  if (percent == 200) g_ours200 = out;
  state.counters["threads"] = double(std::max(1u, std::thread::hardware_concurrency()));
}
BENCHMARK(BM_Ours)->Arg(50)->Arg(200)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ImageMagick(benchmark::State& state) {
  const int percent = int(state.range(0)), threads = int(state.range(1));
  const int w = kWidth * percent / 100, h = kHeight * percent / 100;
  Magick::ResourceLimits::thread(Magick::MagickSizeType(threads));
  Magick::Geometry size{size_t(w), size_t(h)};
  size.aspect(true);  // exactly w x h
  Magick::Image out;
  for (auto _ : state) {
    const TClock t0;
    out = Fixture().magick;  // shares the pixels; resize reads them and makes a new image
    out.resize(size);
    Keep(Key(("ImageMagick " + std::to_string(threads) + "t").c_str(), percent), t0);
  }
  if (percent == 200) {
    std::vector<std::uint8_t> data(size_t(w) * h * 3);
    out.write(0, 0, size_t(w), size_t(h), "BGR", Magick::CharPixel, data.data());
    g_magick200 = FromPacked(data.data(), w, h);
  }
  state.counters["threads"] = double(threads);
}

void BM_Vips(benchmark::State& state) {
  const int percent = int(state.range(0)), threads = int(state.range(1));
  vips_concurrency_set(threads);
  VipsImage* out = nullptr;
  for (auto _ : state) {
    const TClock t0;
    size_t bytes = 0;
    void* data = nullptr;
    if (vips_resize(Fixture().vips, &out, percent / 100.0, "kernel", VIPS_KERNEL_LANCZOS3, nullptr) == 0)
      data = vips_image_write_to_memory(out, &bytes);
    if (!data) {
      state.SkipWithError(vips_error_buffer());
      break;
    }
    Keep(Key(("libvips " + std::to_string(threads) + "t").c_str(), percent), t0);
    if (percent == 200) g_vips200 = FromPacked(static_cast<const std::uint8_t*>(data), out->Xsize, out->Ysize);
    g_free(data);
    g_object_unref(out);
  }
  state.counters["threads"] = double(threads);
}

void PeerArgs(benchmark::internal::Benchmark* b) {
  const int all = int(std::max(1u, std::thread::hardware_concurrency()));
  for (int percent : {50, 200}) {
    b->Args({percent, 1});
    if (all > 1) b->Args({percent, all});
  }
}
BENCHMARK(BM_ImageMagick)->Apply(PeerArgs)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Vips)->Apply(PeerArgs)->Unit(benchmark::kMillisecond)->UseRealTime();

double Psnr(const TBitmap& a, const TBitmap& b) {
  if (a.Empty() || a.Width() != b.Width() || a.Height() != b.Height()) return 0;
  double sum = 0;
  for (int y = 0; y < a.Height(); ++y) {
    const std::uint8_t *p = a.ScanLine(y), *q = b.ScanLine(y);
    for (int i = 0; i < 3 * a.Width(); ++i) sum += double(p[i] - q[i]) * (p[i] - q[i]);
  }
  const double mse = sum / (3.0 * a.Width() * a.Height());
  return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace

int main(int argc, char** argv) {
  Magick::InitializeMagick(*argv);
  if (VIPS_INIT(argv[0])) return 1;
  vips_cache_set_max(0);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Fixture();  // the picture is made before any timing
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  std::printf("\n%dx%d photograph, best of each (ours: %u threads); wall time, processor time of all threads:\n",
              kWidth, kHeight, std::max(1u, std::thread::hardware_concurrency()));
  for (int percent : {50, 200}) {
    const TTimes ours = g_best[Key("ours", percent)];
    if (ours.wall <= 0) continue;
    for (const auto& [key, t] : g_best)
      if (key.ends_with(Key("", percent)))
        std::printf("  %-24s wall %8.2f ms = %5.2f x ours   cpu %8.2f ms = %5.2f x ours\n", key.c_str(), t.wall * 1e3,
                    t.wall / ours.wall, t.cpu * 1e3, t.cpu / ours.cpu);
  }
  if (!g_ours200.Empty() && !g_magick200.Empty())
    std::printf("PSNR at 200 %% against ImageMagick: ours %.2f dB, libvips %.2f dB\n", Psnr(g_ours200, g_magick200),
                Psnr(g_vips200, g_magick200));
  vips_shutdown();
  return 0;
}
