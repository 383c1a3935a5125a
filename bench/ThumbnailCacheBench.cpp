// The lasting thumbnail cache on a library of 2,000 photographs (1600 x 1200
// JPEG files, 2 M pixels, made once into a folder of /tmp): a load that fills an empty
// cache against a load that finds every square in it, in one run, and the
// cache file's size against the squares it holds.
// Run: bench_thumbnail_cache --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <stdexcept>

#include "JobInputs.h"
#include "app/InterfaceTexts.h"
#include "mosaic/PhotoLibrary.h"

namespace {

const QString kRoot = QStringLiteral("/tmp/tesselune-bench-cache");
constexpr int kLibrary = 2000;
constexpr int kCell = 20;

QString Library() { return kRoot + QStringLiteral("/photos"); }
QString CacheFile() { return kRoot + QStringLiteral("/cache/thumbnails.sqlite"); }

void MakeLibrary() {
  const QString stamp = kRoot + QStringLiteral("/complete");
  if (QFile::exists(stamp)) return;
  // Nested as a photo collection is: a folder a month.
  TPictureFileContext files;
  for (int i = 0; i < kLibrary; ++i) {
    const QString folder = Library() + QStringLiteral("/2026-%1").arg(i % 12 + 1, 2, 10, QLatin1Char('0'));
    QDir().mkpath(folder);
    const QString name = folder + QStringLiteral("/img%1.jpg").arg(i, 4, 10, QLatin1Char('0'));
    if (SavePicture(files, name, bench_job::Photo(1600, 1200, unsigned(i))) <= 0)
      throw std::runtime_error("cannot write");
  }
  QFile f(stamp);
  f.open(QIODevice::WriteOnly);
}

TPhotoLibraryLoad Load(TThumbnailCache& cache) {
  TThumbnailList list;
  std::vector<TTileDescriptor> descriptors;
  TPhotoLibraryOptions options;
  options.Load.CellSize = kCell;
  options.Recursive = true;
  options.Cache = &cache;
  const TPhotoLibraryLoad load = LoadPhotoLibrary(list, descriptors, Library(), options);
  if (list.Count() != kLibrary) throw std::runtime_error("library not loaded whole");
  return load;
}

void RemoveCache() {
  for (const char* suffix : {"", "-journal"}) QFile::remove(CacheFile() + QLatin1String(suffix));
}

void BM_FirstLoadFillsTheCache(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    RemoveCache();
    state.ResumeTiming();
    TThumbnailCache cache(CacheFile());
    if (Load(cache).FromCache != 0) throw std::runtime_error("cache not empty");
  }
}

void BM_SecondLoadFromTheCache(benchmark::State& state) {
  RemoveCache();
  {
    TThumbnailCache cache(CacheFile());
    Load(cache);
  }
  for (auto _ : state) {
    TThumbnailCache cache(CacheFile());
    if (Load(cache).FromCache != kLibrary) throw std::runtime_error("cache missed");
  }
  state.counters["cache_bytes"] = double(QFileInfo(CacheFile()).size());
  state.counters["square_bytes"] = double(kLibrary) * kCell * kCell * 3;
}

}  // namespace

BENCHMARK(BM_FirstLoadFillsTheCache)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_SecondLoadFromTheCache)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.0);

int main(int argc, char** argv) {
  SetEnglishTexts();
  MakeLibrary();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
