// The thumbnail load and the whole mosaic job against metapixel, the tool a
// Linux user would pick instead, on the same generated inputs in one run:
// 120 JPEG photographs of 2000 x 1500 and a 1600 x 1200 target.
//   (a) thumbnail load at cell 20            vs metapixel-prepare --width=20 --height=20
//   (b) load + build + save PNG (the CLI)    vs metapixel-prepare, then metapixel --metapixel
//   (c) thumbnail load                       vs libjpeg-turbo full decoding of the same
//                                               files on one core, divided by the cores used
// Run: bench_mosaic_job --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <jpeglib.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "JobInputs.h"
#include "app/InterfaceTexts.h"
#include "imagefiles/PictureFiles.h"
#include "mosaic/ThumbnailLibrary.h"

extern char** environ;

namespace {

using namespace bench_job;

void Setup(const benchmark::State&) {
  SetEnglishTexts();
  MakeInputs();
}

int Cores() { return int(std::max(1u, std::thread::hardware_concurrency())); }

void BM_LoadThumbnails(benchmark::State& state) {
  TThumbnailLoadOptions options;
  options.CellSize = 20;
  options.FastJpeg = state.range(0) != 0;
  for (auto _ : state) {
    TThumbnailList list;
    LoadThumbnails(list, Photos(), options, nullptr);
    if (list.Count() != kPhotos) state.SkipWithError("not every photograph loaded");
  }
  state.counters["cores"] = Cores();
}

void BM_MetapixelPrepare(benchmark::State& state) {
  for (auto _ : state) {
    const std::string out = Fresh("metapixel-library");
    state.SetIterationTime(RunCommand({"metapixel-prepare", "--width=20", "--height=20", Photos().toStdString(), out}));
  }
}

// libjpeg-turbo alone, every file decoded in full on one core, divided by the
// cores the thumbnail load uses: the floor of any load.
void BM_DecodeOnlyPerCore(benchmark::State& state) {
  QStringList files = QDir(Photos()).entryList({"*.jpg"}, QDir::Files, QDir::Name);
  std::vector<QByteArray> data;
  for (const QString& f : files) {
    QFile file(Photos() + u'/' + f);
    file.open(QIODevice::ReadOnly);
    data.push_back(file.readAll());
  }
  std::vector<unsigned char> row;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    for (const QByteArray& d : data) {
      jpeg_decompress_struct cinfo;
      jpeg_error_mgr jerr;
      cinfo.err = jpeg_std_error(&jerr);
      jpeg_create_decompress(&cinfo);
      jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(d.constData()), static_cast<unsigned long>(d.size()));
      jpeg_read_header(&cinfo, TRUE);
      jpeg_start_decompress(&cinfo);
      row.resize(size_t(cinfo.output_width) * cinfo.output_components);
      while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW r = row.data();
        jpeg_read_scanlines(&cinfo, &r, 1);
      }
      jpeg_finish_decompress(&cinfo);
      jpeg_destroy_decompress(&cinfo);
    }
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / Cores());
  }
}

void BM_WholeJobCli(benchmark::State& state) {
  std::vector<std::string> args = {TESSELUNE_CLI,
                                   "mosaic",
                                   Target().toStdString(),
                                   "--thumbnails",
                                   Photos().toStdString(),
                                   "--cell",
                                   "20",
                                   "--seed",
                                   "1",
                                   "--output",
                                   (kRoot + QStringLiteral("/ours.png")).toStdString()};
  if (state.range(0)) args.push_back("--fast");
  for (auto _ : state) state.SetIterationTime(RunCommand(args));
}

void BM_WholeJobMetapixel(benchmark::State& state) {
  for (auto _ : state) {
    const double seconds = MetapixelJobSeconds("metapixel-job-library", kRoot + QStringLiteral("/metapixel.png"));
    state.SetIterationTime(seconds);
  }
}

}  // namespace

BENCHMARK(BM_LoadThumbnails)
    ->Setup(Setup)
    ->ArgName("fast")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_DecodeOnlyPerCore)->Setup(Setup)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MetapixelPrepare)->Setup(Setup)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_WholeJobCli)
    ->Setup(Setup)
    ->ArgName("fast")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_WholeJobMetapixel)->Setup(Setup)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_MAIN();
