// Loading a large JPEG photograph: our TJpegImage (file read + decode into a
// TBitmap) against libjpeg-turbo's own command-line decoder
//   djpeg -outfile /dev/null FILE
// run as a child process on the same file (wall time of the whole child,
// start-up included, nothing subtracted). The closing lines give the ratio
// ours / djpeg.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "imagefiles/JpegImage.h"

extern char** environ;

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

// A photograph-like picture: smooth colour gradients, a few hard-edged
// shapes and fine noise, all deterministic.
TBitmap Photograph() {
  TBitmap b(kWidth, kHeight, pf24bit);
  std::uint32_t seed = 2024;
  for (int y = 0; y < kHeight; ++y) {
    std::uint8_t* row = b.ScanLine(y);
    const double v = double(y) / kHeight;
    for (int x = 0; x < kWidth; ++x) {
      const double u = double(x) / kWidth;
      double r = 60 + 150 * u + 30 * std::sin(v * 9.0);
      double g = 90 + 100 * v + 25 * std::sin(u * 13.0 + v * 4.0);
      double bl = 170 - 90 * u * v + 30 * std::cos(u * 7.0);
      // Edges: a dark band, a bright disc and a checkered panel.
      if (std::abs(u - 0.3 - 0.1 * v) < 0.015) r *= 0.3, g *= 0.3, bl *= 0.3;
      const double dx = u - 0.7, dy = (v - 0.4) * kHeight / kWidth;
      if (dx * dx + dy * dy < 0.01) r = 240, g = 220 - 60 * v, bl = 90;
      if (u > 0.1 && u < 0.25 && v > 0.6 && v < 0.85 && ((x / 40 + y / 40) & 1)) r *= 0.5, g *= 0.6, bl *= 0.8;
      seed = seed * 1664525u + 1013904223u;
      const double grain = double(int(seed >> 27) - 16) * 0.6;
      row[3 * x + 0] = std::uint8_t(std::clamp(bl + grain, 0.0, 255.0));
      row[3 * x + 1] = std::uint8_t(std::clamp(g + grain, 0.0, 255.0));
      row[3 * x + 2] = std::uint8_t(std::clamp(r + grain, 0.0, 255.0));
    }
  }
  return b;
}

struct TFixture {
  std::filesystem::path dir, file;
  std::size_t bytes = 0;
  TFixture() {
    dir = std::filesystem::temp_directory_path() / ("tesselune_jpeg_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    file = dir / "photo.jpg";
    TJpegImage jpeg;
    const TBitmap picture = Photograph();
    jpeg.Bitmap().Assign(&picture);
    jpeg.Options.JpegQuality = 90;
    TByteBuffer out;
    jpeg.SaveToBytes(out);
    bytes = out.size();
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
  }
  ~TFixture() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};
TFixture& Fixture() {
  static TFixture f;
  return f;
}

std::vector<double> g_ours, g_djpeg;

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void BM_OurJpegLoad(benchmark::State& state) {
  TFixture& fx = Fixture();
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    std::ifstream in(fx.file, std::ios::binary | std::ios::ate);
    TByteBuffer bytes(size_t(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    TJpegImage jpeg;
    jpeg.LoadFromBytes(bytes);
    benchmark::DoNotOptimize(jpeg.Bitmap().ScanLine(kHeight - 1));
    g_ours.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    if (jpeg.Bitmap().Width() != kWidth) state.SkipWithError("wrong size");
  }
}
BENCHMARK(BM_OurJpegLoad)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(15);

void BM_Djpeg(benchmark::State& state) {
  TFixture& fx = Fixture();
  const std::string path = fx.file.string();
  char* argv[] = {const_cast<char*>("djpeg"), const_cast<char*>("-outfile"), const_cast<char*>("/dev/null"),
                  const_cast<char*>(path.c_str()), nullptr};
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int status = 0;
    if (posix_spawnp(&pid, "djpeg", nullptr, nullptr, argv, environ) != 0 || waitpid(pid, &status, 0) != pid ||
        !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("djpeg failed (is libjpeg-turbo-progs installed?)");
      return;
    }
    g_djpeg.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
}
BENCHMARK(BM_Djpeg)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(15);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Fixture();  // the picture is made and saved before any timing
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (!g_ours.empty() && !g_djpeg.empty()) {
    const double ours = Median(g_ours), djpeg = Median(g_djpeg);
    const double oursBest = *std::min_element(g_ours.begin(), g_ours.end());
    const double djpegBest = *std::min_element(g_djpeg.begin(), g_djpeg.end());
    std::printf("\n%dx%d photograph, JPEG quality 90, %zu bytes:\n", kWidth, kHeight, Fixture().bytes);
    std::printf("  ours   median %7.1f ms  best %7.1f ms\n", ours * 1e3, oursBest * 1e3);
    std::printf("  djpeg  median %7.1f ms  best %7.1f ms   (djpeg -outfile /dev/null %s)\n", djpeg * 1e3,
                djpegBest * 1e3, Fixture().file.string().c_str());
    std::printf("  ratio ours / djpeg: median %.2f, best %.2f\n", ours / djpeg, oursBest / djpegBest);
  }
  return 0;
}
