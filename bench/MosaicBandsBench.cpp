// Peak memory and time of the command-line mosaic drawn in bands into a
// BigTIFF file, at three output sizes with cells of 200 pixels after
// scaling: 20,000 x 15,000 (cell 40, scale 5), 40,000 x 30,000 (cell 20,
// scale 10), 100,000 x 75,000 (cell 10, scale 20). The targets are smooth
// noise of 4000 x 3000 pixels (5000 x 3750 for the largest), the library
// 200 generated photos; all are made once and kept in /tmp. Each output is
// deleted once measured (the largest is 22.5 GB: check the disk first).
// Peak memory should be flat in the output size (the goal: at most 1 GB)
// and time per output pixel about constant.
// Measured on 2 cores shared with other work (Release build):
//   output             mode     wall    ns/pixel  peak RSS
//   20,000 x 15,000    random    10 s      34      208 MB
//   40,000 x 30,000    random    38 s      32      184 MB
//   100,000 x 75,000   random   250 s      33      241 MB  (22.5 GB BigTIFF)
//   20,000 x 15,000    matched   39 s     130      212 MB
//   40,000 x 30,000    matched  137 s     114      197 MB
// Run: bench_mosaic_bands --benchmark_counters_tabular=true
//      (--benchmark_filter=Bands/random/2 for the largest alone; the matched
//      mode is .../matched/N)
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "ValueNoise.h"
#include "app/InterfaceTexts.h"
#include "imagefiles/PictureFiles.h"
#include "raster/ParallelFor.h"

namespace {

const QString kRoot = QStringLiteral("/tmp/tesselune-bench-bands");
constexpr int kPhotos = 200;

struct TSize {
  int TargetWidth, TargetHeight, Cell, Scale;
};
constexpr TSize kSizes[] = {{4000, 3000, 40, 5}, {4000, 3000, 20, 10}, {5000, 3750, 10, 20}};

// Smooth colour noise with features `feature` pixels wide.
TBitmap Noise(int width, int height, double feature, std::uint32_t seed) {
  TBitmap picture(width, height, pf24bit);
  ParallelFor(std::size_t(height), [&](std::size_t row) {
    const int y = int(row);
    std::uint8_t* p = picture.ScanLine(y);
    for (int x = 0; x < width; ++x, p += 3)
      for (int c = 0; c < 3; ++c)
        p[c] = std::uint8_t(std::clamp(
            int(bench_noise::Fractal(x / feature, y / feature, seed + std::uint32_t(c)) * 300) - 25, 0, 255));
  });
  return picture;
}

void Save(const QString& name, const TBitmap& picture) {
  if (QFileInfo(name).size() > 0) return;
  const QString part = name + QStringLiteral(".part.jpg");
  TPictureFileContext files;
  if (SavePicture(files, part, picture) <= 0 || !QFile::rename(part, name))
    throw std::runtime_error("cannot write " + name.toStdString());
}

QString Target(const TSize& s) {
  return kRoot + QStringLiteral("/target-%1x%2.jpg").arg(s.TargetWidth).arg(s.TargetHeight);
}
QString Library() { return kRoot + QStringLiteral("/photos"); }

void Setup(const benchmark::State&) {
  SetEnglishTexts();
  QDir().mkpath(Library());
  for (const TSize& s : kSizes)
    if (QFileInfo(Target(s)).size() == 0) Save(Target(s), Noise(s.TargetWidth, s.TargetHeight, 300, 11));
  for (int i = 0; i < kPhotos; ++i) {
    const QString name = Library() + QStringLiteral("/p%1.jpg").arg(i, 3, 10, QChar(u'0'));
    if (QFileInfo(name).size() == 0) Save(name, Noise(320, 240, 40 + i % 50, 100 + 3 * std::uint32_t(i)));
  }
}

void Bands(benchmark::State& state, bool match) {
  const TSize& s = kSizes[state.range(0)];
  const std::string output = (kRoot + QStringLiteral("/mosaic.tif")).toStdString();
  bench_child::TChildRun last;
  for (auto _ : state) {
    std::vector<std::string> argv{TESSELUNE_CLI,
                                  "mosaic",
                                  Target(s).toStdString(),
                                  "--thumbnails",
                                  Library().toStdString(),
                                  "--cell",
                                  std::to_string(s.Cell),
                                  "--scale",
                                  std::to_string(s.Scale),
                                  "--no-cache",
                                  "--seed",
                                  "1",
                                  "--output",
                                  output};
    if (match) argv.push_back("--match");
    try {
      last = bench_child::RunChild(argv);
    } catch (const std::exception& e) {
      QFile::remove(QString::fromStdString(output));
      state.SkipWithError(e.what());
      return;
    }
    state.SetIterationTime(last.wall);
  }
  const double pixels = double(s.TargetWidth) * s.Scale * double(s.TargetHeight) * s.Scale;
  state.counters["out_Mpx"] = pixels / 1e6;
  state.counters["file_GB"] = double(QFileInfo(QString::fromStdString(output)).size()) / 1e9;
  state.counters["peak_MB"] = last.peakBytes / 1e6;
  state.counters["wall_s"] = last.wall;
  state.counters["cpu_s"] = last.cpu;
  state.counters["ns_per_px"] = last.wall * 1e9 / pixels;
  QFile::remove(QString::fromStdString(output));
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  for (const bool match : {false, true})
    benchmark::RegisterBenchmark(match ? "Bands/matched" : "Bands/random", Bands, match)
        ->Setup(Setup)
        ->DenseRange(0, 2)
        ->UseManualTime()
        ->Unit(benchmark::kSecond)
        ->Iterations(1);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
