#pragma once
// Runs independent pieces of work on all cores: body(i) for every i in
// 0..count-1, each exactly once unless a piece throws, in which case no new
// piece starts and the first exception is rethrown once all threads stopped.
// The calling thread works too; when no thread can be started the work simply
// runs on it alone.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

template <class F>
void ParallelFor(std::size_t count, F&& body) {
  std::atomic<std::size_t> next{0};
  std::exception_ptr failure;
  std::mutex failureLock;
  const auto work = [&] {
    for (std::size_t i; (i = next++) < count;) {
      try {
        body(i);
      } catch (...) {
        const std::lock_guard<std::mutex> lock(failureLock);
        if (!failure) failure = std::current_exception();
        next = count;
      }
    }
  };
  const std::size_t threads = std::min<std::size_t>(count, std::max(1u, std::thread::hardware_concurrency()));
  std::vector<std::thread> workers;
  try {
    for (std::size_t t = 1; t < threads; ++t) workers.emplace_back(work);
  } catch (const std::system_error&) {
    // Fewer threads only makes it slower.
  }
  work();
  for (std::thread& t : workers) t.join();
  if (failure) std::rethrow_exception(failure);
}
