#pragma once
// Runs independent pieces of work on all cores: body(i) for every i in
// 0..count-1, each exactly once unless a piece throws, in which case no new
// piece starts and the first exception is rethrown once all threads stopped.
// The calling thread works too; when no thread can be started the work simply
// runs on it alone.
#include <algorithm>
#include <cstddef>
#include <functional>

#include "raster/Workers.h"

template <class F>
void ParallelFor(std::size_t count, F&& body) {
  const std::size_t threads = std::min<std::size_t>(count, std::size_t(WorkerThreads(0)));
  TWorkers workers(count, int(threads) - 1, std::ref(body));
  workers.Help();
}
