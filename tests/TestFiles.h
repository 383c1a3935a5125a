#pragma once
// The load and save helpers shared by the codec tests: running one codec
// object over bytes, reading and writing whole files, and running a piece of
// code in a child process whose data memory is capped.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "imagefiles/Graphic.h"

namespace testing_files {

// The picture a codec object decodes from bytes; throws what it throws.
inline TBitmap LoadWith(TGraphic& codec, TBytes bytes) {
  codec.LoadFromBytes(bytes);
  return codec.Bitmap();
}
template <class TCodec>
TBitmap LoadAs(TBytes bytes) {
  TCodec codec;
  return LoadWith(codec, bytes);
}

// The file bytes a codec object encodes a picture into.
inline TByteBuffer SaveWith(TGraphic& codec, const TBitmap& picture) {
  codec.Bitmap().Assign(&picture);
  TByteBuffer out;
  codec.SaveToBytes(out);
  return out;
}
template <class TCodec>
TByteBuffer SaveAs(const TBitmap& picture) {
  TCodec codec;
  return SaveWith(codec, picture);
}

inline TByteBuffer ReadFileBytes(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  const QByteArray a = f.readAll();
  return TByteBuffer(a.begin(), a.end());
}
inline bool WriteFileBytes(const QString& path, TBytes bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) &&
         f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) == qint64(bytes.size());
}
#ifdef TESSELUNE_TEST_DATA
// A file of the tests' data folder.
inline TByteBuffer DataFile(const char* relative) {
  return ReadFileBytes(QStringLiteral(TESSELUNE_TEST_DATA "/") + QString::fromLatin1(relative));
}
#endif
inline QByteArray AsQByteArray(TBytes b) {
  return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
}

// The data segment the process holds now (VmData of /proc/self/status), in
// bytes; 0 when it cannot be read.
inline std::uint64_t DataSegmentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmData:", 0) == 0) {
      std::istringstream fields(line.substr(7));
      std::uint64_t kb = 0;
      fields >> kb;
      return kb * 1024;
    }
  return 0;
}

// Runs body in a forked child, so that the limits it sets and the state it
// changes end with it. Returns the child's exit status (body's result), or
// 128 + the signal that ended it; -1 when no child could be run.
inline int RunInChild(const std::function<int()>& body) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    int result = 101;
    try {
      result = body();
    } catch (...) {
      result = 102;
    }
    _exit(result);  // no exit handlers: the parent owns the test's state
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// Runs body in a child whose data segment may grow by at most budget bytes
// beyond what it inherits (RLIMIT_DATA), so an allocation above the budget
// fails there: malloc returns null, new throws, or the sanitizer's allocator
// stops the child.
inline int RunWithDataBudget(std::uint64_t budget, const std::function<int()>& body) {
  const std::uint64_t now = DataSegmentBytes();
  if (now == 0) return -1;
  return RunInChild([&] {
    rlimit limit;
    getrlimit(RLIMIT_DATA, &limit);
    limit.rlim_cur = rlim_t(now + budget);
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_cur > limit.rlim_max) limit.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_DATA, &limit) != 0) return 100;
    return body();
  });
}

// What a reader did with bytes under a data budget.
enum TBoundedRead {
  brRefused = 10,     // the load error, for a reason other than memory
  brLoaded = 11,      // a picture
  brOutOfMemory = 12  // the load error because an allocation failed
};
inline const char* BoundedReadName(int r) {
  switch (r) {
    case brRefused: return "refused";
    case brLoaded: return "loaded";
    case brOutOfMemory: return "ran out of memory";
    default: return "crashed or was stopped";
  }
}
// Reads bytes with the codec that make() returns, in a child whose data may
// grow by at most budget bytes. A reader that checks the size a header
// claims against its data refuses such a file without coming near the
// budget; one that allocates first hits it.
template <class Make>
int ReadWithDataBudget(std::uint64_t budget, TBytes bytes, Make make) {
  return RunWithDataBudget(budget, [&] {
    auto codec = make();
    try {
      codec->LoadFromBytes(bytes);
      return int(brLoaded);
    } catch (const EImageError& e) {
      return std::string(e.what()).find("memory") == std::string::npos ? int(brRefused) : int(brOutOfMemory);
    }
  });
}
constexpr std::uint64_t ReaderMemoryBudget = std::uint64_t(256) << 20;

}  // namespace testing_files
