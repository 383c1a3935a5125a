#pragma once
// The inputs of the mosaic job benchmarks: 120 photograph-like JPEG files of
// 2000 x 1500 and a 1600 x 1200 target, made once into a folder of /tmp, and
// a helper that times an external command.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "imagefiles/PictureFiles.h"
#include "raster/Bitmap.h"

extern char** environ;

namespace bench_job {

inline const QString kRoot = QStringLiteral("/tmp/tesselune-bench-mosaic-job");
constexpr int kPhotos = 120;

inline QString Photos() { return kRoot + QStringLiteral("/photos"); }
inline QString Target() { return kRoot + QStringLiteral("/target.jpg"); }

// A photograph-like picture: smooth colour fields, edges and fine noise, so
// that decoding costs what a real photograph costs.
inline TBitmap Photo(int w, int h, unsigned seed) {
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

// The same files as bench/MosaicJobBench.cpp makes (the same recipe and
// folder), so that either benchmark may make them first.
inline void MakeInputs() {
  QDir().mkpath(Photos());
  const QString stamp = kRoot + QStringLiteral("/complete");
  if (QFile::exists(stamp)) return;
  TPictureFileContext files;
  for (int i = 0; i < kPhotos; ++i) {
    const QString name = Photos() + QStringLiteral("/photo%1.jpg").arg(i, 3, 10, QLatin1Char('0'));
    if (SavePicture(files, name, Photo(2000, 1500, unsigned(i))) <= 0) throw std::runtime_error("cannot write");
  }
  if (SavePicture(files, Target(), Photo(1600, 1200, 999)) <= 0) throw std::runtime_error("cannot write");
  QFile f(stamp);
  f.open(QIODevice::WriteOnly);
}

// Runs a command and returns its wall time in seconds; throws when it fails.
inline double RunCommand(const std::vector<std::string>& argv) { return bench_child::RunChild(argv).wall; }

// An empty folder of that name under the root.
inline std::string Fresh(const char* name) {
  const QString dir = kRoot + u'/' + QLatin1String(name);
  QDir(dir).removeRecursively();
  QDir().mkpath(dir);
  return dir.toStdString();
}

// The whole job as a metapixel user runs it: metapixel-prepare at cell 20
// into a fresh library folder, then metapixel --metapixel; seconds.
inline double MetapixelJobSeconds(const char* library, const QString& output) {
  const std::string lib = Fresh(library);
  double seconds = RunCommand({"metapixel-prepare", "--width=20", "--height=20", Photos().toStdString(), lib});
  seconds += RunCommand(
      {"metapixel", "--metapixel", "-l", lib, "-w", "20", "-h", "20", Target().toStdString(), output.toStdString()});
  return seconds;
}

}  // namespace bench_job
