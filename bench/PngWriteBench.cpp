// The PNG writer against ImageMagick in one run: `tesselune-cli convert` of a
// 4000 x 3000 photograph-like JPEG to PNG (zlib level 7, filter Sub) against
// `convert photo.jpg -quality 71 out.png`, both as child processes, their wall
// and processor times (user + system, from wait4) taken round by round.
// Goals: processor time no more than ImageMagick's (cpu_ratio >= 1) and
// elapsed time half of it or less on two cores (wall_ratio >= 2); ratios are
// ImageMagick's time over ours, from the median of the rounds.
// Run: bench_png_write --benchmark_counters_tabular=true
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
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "ValueNoise.h"
#include "app/InterfaceTexts.h"
#include "imagefiles/PictureFiles.h"
#include "raster/ParallelFor.h"

extern char** environ;

namespace {

const QString kRoot = QStringLiteral("/tmp/tesselune-bench-png-write");
constexpr int kWidth = 4000;
constexpr int kHeight = 3000;
constexpr int kRounds = 5;

QString Photo() { return kRoot + QStringLiteral("/photo.jpg"); }

// Large smooth shapes, texture a few pixels wide and a little sensor grain,
// saved as a JPEG at quality 90 as a camera would.
void MakePhoto() {
  if (QFileInfo(Photo()).size() > 0) return;
  QDir().mkpath(kRoot);
  TBitmap picture(kWidth, kHeight, pf24bit);
  ParallelFor(std::size_t(kHeight), [&](std::size_t row) {
    const int y = int(row);
    std::uint32_t grain = std::uint32_t(y) * 2654435761u + 1;
    std::uint8_t* p = picture.ScanLine(y);
    for (int x = 0; x < kWidth; ++x, p += 3)
      for (int c = 0; c < 3; ++c) {
        grain = grain * 1664525u + 1013904223u;
        const double v = bench_noise::Fractal(x / 300.0, y / 300.0, 1u + std::uint32_t(c)) * 0.8 +
                         bench_noise::Fractal(x / 9.0, y / 9.0, 7u + std::uint32_t(c)) * 0.25;
        p[c] = std::uint8_t(std::clamp(int(v * 280) - 20 + int(grain >> 30) - 2, 0, 255));
      }
  });
  const QString name = kRoot + QStringLiteral("/photo-part.jpg");
  TPictureFileContext files;
  if (SavePicture(files, name, picture) <= 0 || !QFile::rename(name, Photo()))
    throw std::runtime_error("cannot write the photograph");
}

struct TTimes {
  double wall = 0;
  double cpu = 0;
};

TTimes Run(const std::vector<std::string>& argv) {
  const bench_child::TChildRun run = bench_child::RunChild(argv);
  return {run.wall, run.cpu};
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void Setup(const benchmark::State&) {
  SetEnglishTexts();
  MakePhoto();
}

void BM_ConvertToPngAgainstImageMagick(benchmark::State& state) {
  const std::string ours = (kRoot + QStringLiteral("/ours.png")).toStdString();
  const std::string theirs = (kRoot + QStringLiteral("/imagemagick.png")).toStdString();
  std::vector<double> oursWall, oursCpu, theirsWall, theirsCpu;
  for (auto _ : state) {
    try {
      // Taken in turns, so that a change in the machine's load touches both.
      const TTimes a = Run({TESSELUNE_CLI, "convert", Photo().toStdString(), ours});
      const TTimes b = Run({"convert", Photo().toStdString(), "-quality", "71", theirs});
      oursWall.push_back(a.wall), oursCpu.push_back(a.cpu);
      theirsWall.push_back(b.wall), theirsCpu.push_back(b.cpu);
      state.SetIterationTime(a.wall);
    } catch (const std::exception& e) {
      state.SkipWithError(e.what());
      return;
    }
  }
  state.counters["ours_wall_s"] = Median(oursWall);
  state.counters["ours_cpu_s"] = Median(oursCpu);
  state.counters["im_wall_s"] = Median(theirsWall);
  state.counters["im_cpu_s"] = Median(theirsCpu);
  state.counters["wall_ratio"] = Median(theirsWall) / Median(oursWall);
  state.counters["cpu_ratio"] = Median(theirsCpu) / Median(oursCpu);
  state.counters["ours_MB"] = double(QFileInfo(QString::fromStdString(ours)).size()) / 1e6;
  state.counters["im_MB"] = double(QFileInfo(QString::fromStdString(theirs)).size()) / 1e6;
  state.counters["cores"] = double(std::max(1u, std::thread::hardware_concurrency()));
}

}  // namespace

BENCHMARK(BM_ConvertToPngAgainstImageMagick)
    ->Setup(Setup)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(kRounds);
BENCHMARK_MAIN();
