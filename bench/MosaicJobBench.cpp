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

#include "app/LibLang.h"
#include "imagefiles/PictureFiles.h"
#include "mosaic/ThumbnailLibrary.h"

extern char** environ;

namespace {

const QString kRoot = QStringLiteral("/tmp/tesselune-bench-mosaic-job");
constexpr int kPhotos = 120;

QString Photos() { return kRoot + QStringLiteral("/photos"); }
QString Target() { return kRoot + QStringLiteral("/target.jpg"); }

// A photograph-like picture: smooth colour fields, edges and fine noise, so
// that decoding costs what a real photograph costs.
TBitmap Photo(int w, int h, unsigned seed) {
  TBitmap b(w, h, pf24bit);
  unsigned s = seed * 2654435761u + 1;
  for (int y = 0; y < h; ++y) {
    std::uint8_t* p = b.ScanLine(y);
    for (int x = 0; x < w; ++x, p += 3) {
      s = s * 1664525u + 1013904223u;
      const int noise = int(s >> 28) - 8;
      const int band = ((x / (97 + seed % 50)) + (y / (71 + seed % 30))) % 2 ? 40 : 0;
      p[0] = std::uint8_t(std::clamp(((x + int(seed) * 13) * 255) / w / 2 + band + noise, 0, 255));
      p[1] = std::uint8_t(std::clamp(((y + int(seed) * 7) * 255) / h / 2 + 60 + noise, 0, 255));
      p[2] = std::uint8_t(std::clamp(((x + y) * 255) / (w + h) + int(seed % 90) + noise, 0, 255));
    }
  }
  return b;
}

void MakeInputs() {
  QDir().mkpath(Photos());
  const QString stamp = kRoot + QStringLiteral("/complete");
  if (QFile::exists(stamp)) return;
  for (int i = 0; i < kPhotos; ++i) {
    QString name = Photos() + QStringLiteral("/photo%1.jpg").arg(i, 3, 10, QLatin1Char('0'));
    if (SavePicture(name, Photo(2000, 1500, unsigned(i)), QString()) <= 0) throw std::runtime_error("cannot write");
  }
  QString target = Target();
  if (SavePicture(target, Photo(1600, 1200, 999), QString()) <= 0) throw std::runtime_error("cannot write");
  QFile f(stamp);
  f.open(QIODevice::WriteOnly);
}

// Runs a command and returns its wall time in seconds; throws when it fails.
double RunCommand(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0)
    throw std::runtime_error("cannot start " + argv[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error(argv[0] + " failed");
  return seconds;
}

std::string Fresh(const char* name) {
  const QString dir = kRoot + u'/' + QLatin1String(name);
  QDir(dir).removeRecursively();
  QDir().mkpath(dir);
  return dir.toStdString();
}

void Setup(const benchmark::State&) {
  SetEnglishTexts();
  RegisterPictureFormats();
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
    const std::string lib = Fresh("metapixel-job-library");
    double seconds = RunCommand({"metapixel-prepare", "--width=20", "--height=20", Photos().toStdString(), lib});
    seconds += RunCommand({"metapixel", "--metapixel", "-l", lib, "-w", "20", "-h", "20", Target().toStdString(),
                           (kRoot + QStringLiteral("/metapixel.png")).toStdString()});
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
