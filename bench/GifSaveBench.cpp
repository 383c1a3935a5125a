// GIF output of a photograph: our writer (octree reduction, error diffusion,
// colour-map optimisation, giflib encoding) against ImageMagick's
//   convert INPUT.ppm -dither FloydSteinberg -colors 256 OUTPUT.gif
// run as a child process on the same picture. Both results are decoded with
// our GIF reader and compared with the original (PSNR over R, G and B).
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "ValueNoise.h"
#include "imagefiles/GifImage.h"

namespace {

using namespace bench_noise;

constexpr int kWidth = 1600, kHeight = 1200;

// A landscape-like picture: a sky gradient with clouds, textured hills,
// shaded spheres and fine grain, so it has the smooth areas and the many
// colours of a photograph.
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
        r = 90 + 120 * v + 160 * cloud;
        g = 140 + 90 * v + 140 * cloud;
        bl = 230 - 30 * v + 60 * cloud;
      } else {
        const double t = Fractal(u * 40, v * 40, 3), m = Fractal(u * 5, v * 5, 5);
        const double shade = 0.55 + 0.6 * (v - horizon);
        r = (70 + 90 * m + 60 * t) * shade;
        g = (110 + 70 * t - 30 * m) * shade;
        bl = (40 + 40 * m) * shade;
      }
      // Spheres lit from the upper left.
      const double cx[3] = {0.25, 0.62, 0.85}, cy[3] = {0.7, 0.78, 0.6}, rad[3] = {0.12, 0.09, 0.06};
      const double cr[3] = {200, 230, 80}, cg[3] = {60, 200, 90}, cb[3] = {50, 70, 210};
      for (int k = 0; k < 3; ++k) {
        const double dx = (u - cx[k]) * kWidth / kHeight / rad[k], dy = (v - cy[k]) / rad[k];
        const double d2 = dx * dx + dy * dy;
        if (d2 < 1) {
          const double dz = std::sqrt(1 - d2);
          const double light = std::max(0.0, (-dx * 0.5 - dy * 0.6 + dz * 0.62)) * 0.9 + 0.1;
          const double highlight = std::pow(std::max(0.0, -dx * 0.3 - dy * 0.4 + dz * 0.87), 40) * 200;
          r = cr[k] * light + highlight, g = cg[k] * light + highlight, bl = cb[k] * light + highlight;
        }
      }
      const double grain = (Lattice(x, y, 99) - 0.5) * 10;
      row[3 * x + 0] = std::uint8_t(std::clamp(bl + grain, 0.0, 255.0));
      row[3 * x + 1] = std::uint8_t(std::clamp(g + grain, 0.0, 255.0));
      row[3 * x + 2] = std::uint8_t(std::clamp(r + grain, 0.0, 255.0));
    }
  }
  return b;
}

struct TFixture {
  TBitmap picture = Photograph();
  std::filesystem::path dir;
  std::filesystem::path input, output;
  TFixture() {
    dir = std::filesystem::temp_directory_path() / ("tesselune_gif_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    input = dir / "photo.ppm";
    output = dir / "convert.gif";
    std::ofstream f(input, std::ios::binary);
    f << "P6\n" << kWidth << " " << kHeight << "\n255\n";
    for (int y = 0; y < kHeight; ++y) {
      const std::uint8_t* row = picture.ScanLine(y);
      for (int x = 0; x < kWidth; ++x) {
        const char rgb[3] = {char(row[3 * x + 2]), char(row[3 * x + 1]), char(row[3 * x])};
        f.write(rgb, 3);
      }
    }
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

double Psnr(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return 0;
  double sum = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) {
      const TColor p = a.Pixel(x, y), q = b.Pixel(x, y);
      const int d[3] = {GetRValue(p) - GetRValue(q), GetGValue(p) - GetGValue(q), GetBValue(p) - GetBValue(q)};
      for (int v : d) sum += double(v) * v;
    }
  const double mse = sum / (3.0 * a.Width() * a.Height());
  return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

double PsnrOfGif(const TByteBuffer& bytes) {
  TGifImage gif;
  gif.LoadFromBytes(bytes);
  return Psnr(Fixture().picture, gif.Bitmap());
}

// Best wall time of one iteration for each side, for the closing ratio.
double g_oursSeconds = 0, g_convertSeconds = 0, g_oursPsnr = 0, g_convertPsnr = 0;
std::string g_command;

void Keep(double& best, double seconds) {
  if (best == 0 || seconds < best) best = seconds;
}

void BM_OurGifSave(benchmark::State& state) {
  TFixture& fx = Fixture();
  TByteBuffer out;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    TGifImage gif;
    gif.Bitmap().Assign(&fx.picture);
    out.clear();
    gif.SaveToBytes(out);
    Keep(g_oursSeconds, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    benchmark::DoNotOptimize(out.data());
  }
  g_oursPsnr = PsnrOfGif(out);
  state.counters["psnr_dB"] = g_oursPsnr;
  state.counters["bytes"] = double(out.size());
}
BENCHMARK(BM_OurGifSave)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_ImageMagickConvert(benchmark::State& state) {
  TFixture& fx = Fixture();
  g_command = "convert '" + fx.input.string() + "' -dither FloydSteinberg -colors 256 '" + fx.output.string() + "'";
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    if (std::system(g_command.c_str()) != 0) {
      state.SkipWithError("convert failed (is ImageMagick installed?)");
      return;
    }
    Keep(g_convertSeconds, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  std::ifstream f(fx.output, std::ios::binary);
  const TByteBuffer bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  g_convertPsnr = PsnrOfGif(bytes);
  state.counters["psnr_dB"] = g_convertPsnr;
  state.counters["bytes"] = double(bytes.size());
}
BENCHMARK(BM_ImageMagickConvert)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Fixture();  // the picture is made before any timing
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_oursSeconds > 0 && g_convertSeconds > 0) {
    std::printf("\n%dx%d photograph, best of each:\n", kWidth, kHeight);
    std::printf("  ours    %8.1f ms  PSNR %.2f dB\n", g_oursSeconds * 1e3, g_oursPsnr);
    std::printf("  convert %8.1f ms  PSNR %.2f dB   (%s)\n", g_convertSeconds * 1e3, g_convertPsnr, g_command.c_str());
    std::printf("  time ratio convert / ours: %.2f; PSNR difference ours - convert: %+.2f dB\n",
                g_convertSeconds / g_oursSeconds, g_oursPsnr - g_convertPsnr);
  }
  return 0;
}
