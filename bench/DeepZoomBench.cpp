// The cost of the deep-zoom pyramid against the plain JPEG output of the
// same 20000 x 15000 mosaic: both written from the mosaic held in memory,
// the plain file by the program's JPEG writer (quality 90, its default), the
// pyramid by TDeepZoomWriter fed in bands of 256 rows as a band renderer
// hands them over (quality 85, the page's), each on one thread. The goal: the pyramid at most 1.5 times the
// plain file's time. libvips' dzsave writes the same pyramid from the same
// pixels (held whole, which ours never needs) as a peer, on one thread and
// on all.
// The mosaic is the default random one of smooth colour noise at cell 20,
// with the thumbnails bundled with the program; the outputs go to /tmp.
// Run: bench_deep_zoom --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <vips/vips.h>

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>

#include "ValueNoise.h"
#include "app/InterfaceTexts.h"
#include "imagefiles/DeepZoom.h"
#include "imagefiles/PictureFiles.h"
#include "mosaic/MosaicCommand.h"
#include "raster/BandSink.h"
#include "raster/ParallelFor.h"

namespace {

// TESSELUNE_BENCH_DIR=/dev/shm, say, takes the disk out of the figures.
const QString kRoot = QString::fromLocal8Bit(qgetenv("TESSELUNE_BENCH_DIR")).isEmpty()
                          ? QStringLiteral("/tmp/tesselune-bench-deep-zoom")
                          : QString::fromLocal8Bit(qgetenv("TESSELUNE_BENCH_DIR"));
constexpr int kWidth = 20000;
constexpr int kHeight = 15000;
constexpr double kGoalRatio = 1.5;

TBitmap& Mosaic() {
  static std::unique_ptr<TBitmap> mosaic = [] {
    SetEnglishTexts();
    auto picture = std::make_unique<TBitmap>(kWidth, kHeight, pf24bit);
    ParallelFor(std::size_t(kHeight), [&](std::size_t row) {
      std::uint8_t* p = picture->ScanLine(int(row));
      for (int x = 0; x < kWidth; ++x, p += 3)
        for (int c = 0; c < 3; ++c)
          p[c] = std::uint8_t(
              std::clamp(int(bench_noise::Fractal(x / 400.0, row / 400.0, 11u + std::uint32_t(c)) * 300) - 25, 0, 255));
    });
    TMosaicCommand command;
    command.FolderChosen(QFileInfo(QStringLiteral(TESSELUNE_CLI)).absolutePath() + QStringLiteral("/Thumbnails"));
    command.Options.CheckSize = false;
    TSeededRandom random(1);
    command.Random = &random;
    if (!command.Execute(*picture)) throw std::runtime_error("the mosaic could not be built");
    QDir().mkpath(kRoot);
    return picture;
  }();
  return *mosaic;
}

double g_plainSeconds = 0, g_plainProcessorSeconds = 0;

// User and system time of every thread of the process so far: the cost
// whatever else the machine runs, which the wall time is not.
double ProcessorSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct TTimes {
  double Wall = 0, Processor = 0;  // seconds, means of the iterations
};

// The mean times of the iterations, each measured alone.
template <class Write>
TTimes Measure(benchmark::State& state, Write write, const std::function<void()>& untimed = {}) {
  const TBitmap& mosaic = Mosaic();
  TTimes total;
  for (auto _ : state) {
    if (untimed) untimed();
    const auto start = std::chrono::steady_clock::now();
    const double processor = ProcessorSeconds();
    if (!write(mosaic)) {
      state.SkipWithError("the output could not be written");
      return {};
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
    total.Wall += seconds;
    total.Processor += ProcessorSeconds() - processor;
  }
  const double n = double(state.iterations());
  state.counters["processor_s"] = total.Processor / n;
  return {total.Wall / n, total.Processor / n};
}

void PlainJpeg(benchmark::State& state) {
  const QString name = kRoot + QStringLiteral("/mosaic.jpg");
  const TTimes times = Measure(state, [&](const TBitmap& mosaic) {
    TPictureFileContext files;
    return SavePicture(files, name, mosaic) > 0;
  });
  g_plainSeconds = times.Wall;
  g_plainProcessorSeconds = times.Processor;
  state.counters["MB"] = double(QFileInfo(name).size()) / 1e6;
}

// The bands as a band renderer hands them over: one band's memory, filled
// again for each band (here copied from the mosaic held whole).
bool SendBands(const TBitmap& mosaic, TBandSink& sink) {
  constexpr int Rows = 256;
  if (!sink.Begin(mosaic.Width(), mosaic.Height())) return false;
  TBitmap band(mosaic.Width(), Rows, pf24bit);
  for (int top = 0; top < mosaic.Height(); top += Rows) {
    const int rows = std::min(Rows, mosaic.Height() - top);
    if (rows < Rows) band = TBitmap(mosaic.Width(), rows, pf24bit);
    for (int y = 0; y < rows; ++y) std::memcpy(band.ScanLine(y), mosaic.ScanLine(top + y), size_t(mosaic.Width()) * 3);
    if (!sink.Write(band, top)) {
      sink.Abandon();
      return false;
    }
  }
  return sink.Finish();
}

double FolderMegabytes(const QString& folder) {
  double bytes = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.toStdString()))
    if (entry.is_regular_file()) bytes += double(entry.file_size());
  return bytes / 1e6;
}

void DeepZoom(benchmark::State& state) {
  const QString folder = kRoot + QStringLiteral("/ours");
  QDir().mkpath(folder);
  // The pyramid of the previous iteration is removed untimed: the plain
  // file's is replaced by a rename, and the time is the writing's.
  const TTimes times = Measure(
      state,
      [&](const TBitmap& mosaic) {
        TDeepZoomWriter writer(folder, QStringLiteral("mosaic"));
        return SendBands(mosaic, writer);
      },
      [&] { std::filesystem::remove_all((folder + QStringLiteral("/mosaic_files")).toStdString()); });
  state.counters["MB"] = FolderMegabytes(folder);
  if (g_plainSeconds > 0) {
    const double ratio = times.Wall / g_plainSeconds, processorRatio = times.Processor / g_plainProcessorSeconds;
    state.counters["ratio"] = ratio;
    state.counters["processor_ratio"] = processorRatio;
    state.counters["goal"] = kGoalRatio;
    state.counters["met"] = ratio <= kGoalRatio ? 1 : 0;
  }
}

void VipsDzsave(benchmark::State& state) {
  const int threads = int(state.range(0));
  const TBitmap& mosaic = Mosaic();
  std::vector<std::uint8_t> packed(size_t(kWidth) * kHeight * 3);
  for (int y = 0; y < kHeight; ++y)
    std::memcpy(packed.data() + size_t(y) * kWidth * 3, mosaic.ScanLine(y), size_t(kWidth) * 3);
  vips_concurrency_set(threads);
  const std::string folder = (kRoot + QStringLiteral("/vips%1").arg(threads)).toStdString();
  std::filesystem::create_directories(folder);
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    VipsImage* image = vips_image_new_from_memory(packed.data(), packed.size(), kWidth, kHeight, 3, VIPS_FORMAT_UCHAR);
    const int failed = vips_dzsave(image, (folder + "/mosaic").c_str(), "tile_size", 256, "overlap", 1, "suffix",
                                   ".jpg[Q=85]", nullptr);
    g_object_unref(image);
    if (failed) {
      state.SkipWithError(vips_error_buffer());
      return;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
    if (g_plainSeconds > 0) state.counters["ratio"] = seconds / g_plainSeconds;
  }
  state.counters["MB"] = FolderMegabytes(QString::fromStdString(folder));
}

}  // namespace

int main(int argc, char** argv) {
  if (VIPS_INIT(argv[0])) return 1;
  vips_cache_set_max(0);
  benchmark::Initialize(&argc, argv);
  benchmark::RegisterBenchmark("Output/plain_jpeg", PlainJpeg)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3);
  benchmark::RegisterBenchmark("Output/deep_zoom", DeepZoom)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3);
  benchmark::RegisterBenchmark("Peer/vips_dzsave", VipsDzsave)
      ->Arg(1)
      ->Arg(int(std::max(1u, std::thread::hardware_concurrency())))
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  vips_shutdown();
  return 0;
}
