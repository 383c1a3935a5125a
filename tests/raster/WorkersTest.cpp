#include "raster/Workers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "raster/ParallelFor.h"

namespace {

// Starts the first `allowed` threads, then refuses as a system out of
// threads does.
TThreadStarter Allowing(int allowed) {
  return [allowed, started = 0](std::function<void()> run) mutable {
    if (started == allowed) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    ++started;
    return std::thread(std::move(run));
  };
}

enum class TWait { Ordered, Progress, Help };

// Every way of waiting, with threads refused from the first or the second
// on: each piece runs exactly once, the pieces are handed out as far as the
// window from the first one not released and no further, and with no thread
// the calling thread does all the work.
TEST(Workers, EveryPieceRunsOnceWhateverTheThreadsThatStart) {
  constexpr std::size_t count = 40, window = 3;
  for (const int allowed : {0, 1}) {
    for (const TWait wait : {TWait::Ordered, TWait::Progress, TWait::Help}) {
      SCOPED_TRACE(testing::Message() << allowed << " thread(s), wait " << int(wait));
      std::vector<std::atomic<int>> runs(count);
      std::atomic<std::size_t> elsewhere{0};
      const std::thread::id caller = std::this_thread::get_id();
      TWorkers workers(
          count, 4,
          [&](std::size_t i) {
            ++runs[i];
            if (std::this_thread::get_id() != caller) ++elsewhere;
          },
          wait == TWait::Ordered ? window : TWorkers::Unbounded, Allowing(allowed));
      EXPECT_EQ(workers.Threads(), allowed);
      switch (wait) {
        case TWait::Ordered:
          for (std::size_t i = 0; i < count; ++i) {
            // Once the last piece the window allows is done, the one after
            // it has been refused (the thread asks for it as it finishes).
            workers.WaitFor(std::min(i + window, count) - 1);
            ASSERT_EQ(runs[i].load(), 1) << i;
            ASSERT_EQ(workers.HandedOut(), std::min(i + window, count)) << i;
            workers.Release(i + 1);
          }
          break;
        case TWait::Progress:
          for (std::size_t done = 0, before = 0; done < count; before = done) {
            done = workers.WaitForMore(before);
            ASSERT_GT(done, before);
          }
          break;
        case TWait::Help: workers.Help(); break;
      }
      for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(runs[i].load(), 1) << i;
      if (allowed == 0) {
        EXPECT_EQ(elsewhere.load(), 0u);
      }
    }
  }
}

// A piece that throws: no piece starts after it (seen exactly on the calling
// thread alone), and the waiting call rethrows it, as ParallelFor does.
TEST(Workers, AThrowingPieceStopsTheWorkAndIsRethrown) {
  for (const int allowed : {0, 2}) {
    SCOPED_TRACE(allowed);
    std::atomic<int> ran{0};
    TWorkers workers(
        100, 2,
        [&](std::size_t i) {
          ++ran;
          if (i == 5) throw std::runtime_error("piece 5");
        },
        TWorkers::Unbounded, Allowing(allowed));
    EXPECT_THROW(workers.Help(), std::runtime_error);
    if (allowed == 0) {
      EXPECT_EQ(ran.load(), 6);
    }
  }
  std::vector<int> seen(1000);
  EXPECT_THROW(ParallelFor(seen.size(),
                           [&](std::size_t i) {
                             seen[i] = 1;
                             if (i == 500) throw std::runtime_error("piece 500");
                           }),
               std::runtime_error);
  EXPECT_EQ(seen[500], 1);
}

}  // namespace
