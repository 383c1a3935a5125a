// Peak memory of the command-line mosaic on a large target: a 20000 x 15000
// JPEG of smooth noise made into a mosaic at cell 10 and saved, measured as
// the child's peak resident size (getrusage through wait4) in bytes a pixel
// of the target, against the goal of twice the 24-bit picture (6 bytes a
// pixel). The target is made once and kept in /tmp.
// Run: bench_mosaic_memory --benchmark_counters_tabular=true
// A second tool to compare with (an older build, say):
//   TESSELUNE_BASELINE_CLI=/path/to/tesselune-cli bench_mosaic_memory
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "ValueNoise.h"
#include "app/InterfaceTexts.h"
#include "imagefiles/PictureFiles.h"
#include "raster/ParallelFor.h"

extern char** environ;

namespace {

const QString kRoot = QStringLiteral("/tmp/tesselune-bench-mosaic-memory");
constexpr int kWidth = 20000;
constexpr int kHeight = 15000;
constexpr double kGoalBytesPerPixel = 6.0;

QString Target() { return kRoot + QStringLiteral("/target.jpg"); }

// Smooth colour noise, features a few hundred pixels wide: what a large
// photograph of sky and landscape costs the decoder and the cell colours.
void MakeTarget() {
  if (QFileInfo(Target()).size() > 0) return;
  QDir().mkpath(kRoot);
  TBitmap picture(kWidth, kHeight, pf24bit);
  ParallelFor(std::size_t(kHeight), [&](std::size_t row) {
    const int y = int(row);
    std::uint8_t* p = picture.ScanLine(y);
    for (int x = 0; x < kWidth; ++x, p += 3)
      for (int c = 0; c < 3; ++c)
        p[c] = std::uint8_t(
            std::clamp(int(bench_noise::Fractal(x / 400.0, y / 400.0, 11u + std::uint32_t(c)) * 300) - 25, 0, 255));
  });
  const QString name = kRoot + QStringLiteral("/target-part.jpg");
  TPictureFileContext files;
  if (SavePicture(files, name, picture) <= 0 || !QFile::rename(name, Target()))
    throw std::runtime_error("cannot write the target");
}

// The bundled thumbnails beside the tool built with this benchmark, for
// every tool measured.
std::string Thumbnails() {
  return (QFileInfo(QStringLiteral(TESSELUNE_CLI)).absolutePath() + QStringLiteral("/Thumbnails")).toStdString();
}

struct TChildResult {
  double seconds = 0;
  double peakBytes = 0;
};

// Runs a command, its output thrown away; its wall time and peak resident size.
TChildResult RunMeasured(const std::vector<std::string>& argv) {
  const bench_child::TChildRun run = bench_child::RunChild(argv);
  return {run.wall, run.peakBytes};
}

void Setup(const benchmark::State&) {
  SetEnglishTexts();
  MakeTarget();
}

void MosaicPeak(benchmark::State& state, const std::string& cli, const char* extension) {
  const std::string output = (kRoot + QStringLiteral("/mosaic.") + QLatin1String(extension)).toStdString();
  TChildResult last;
  for (auto _ : state) {
    try {
      last = RunMeasured({cli, "mosaic", Target().toStdString(), "--thumbnails", Thumbnails(), "--cell", "10", "--seed",
                          "1", "--output", output});
    } catch (const std::exception& e) {
      state.SkipWithError(e.what());
      return;
    }
    state.SetIterationTime(last.seconds);
  }
  const double pixels = double(kWidth) * kHeight;
  state.counters["peak_MB"] = last.peakBytes / 1e6;
  state.counters["bytes_per_pixel"] = last.peakBytes / pixels;
  state.counters["goal"] = kGoalBytesPerPixel;
  state.counters["met"] = last.peakBytes / pixels <= kGoalBytesPerPixel ? 1 : 0;
  state.counters["output_bytes_per_pixel"] = double(QFileInfo(QString::fromStdString(output)).size()) / pixels;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const auto add = [](const char* name, std::string cli, const char* extension) {
    benchmark::RegisterBenchmark(name, MosaicPeak, cli, extension)
        ->Setup(Setup)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
  };
  add("CliMosaic/png", TESSELUNE_CLI, "png");
  add("CliMosaic/jpg", TESSELUNE_CLI, "jpg");
  if (const char* baseline = std::getenv("TESSELUNE_BASELINE_CLI")) add("BaselineMosaic/png", baseline, "png");
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
