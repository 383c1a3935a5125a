#pragma once
// Worker threads for pieces of work numbered 0..count-1, handed out in order.
// Every part of the program that runs threads goes through here, so that a
// thread that cannot start (std::system_error) is dealt with in one place:
// the calling thread then does the pieces itself as it waits for them, and
// the result is the same, only slower.
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

// Runs body(i) for every i in 0..count-1 on `threads` threads and the
// calling one, which calls done(n) after each piece it did (n: the pieces
// done by all) and then asks stopped(): once that says true, the pieces not
// yet begun are passed over and no more are reported. False when stopped.
bool RunUntilStopped(std::size_t count, int threads, const std::function<void(std::size_t)>& body,
                     const std::function<void(std::size_t done)>& done, const std::function<bool()>& stopped);

// Starts a thread running the function, or throws std::system_error.
using TThreadStarter = std::function<std::thread(std::function<void()>)>;

// `wanted` when positive, otherwise one per core.
int WorkerThreads(int wanted);

class TWorkers {
 public:
  static constexpr std::size_t Unbounded = std::numeric_limits<std::size_t>::max();

  // Starts `threads` threads (at most one per piece; fewer, even none, when
  // some cannot start) that run body(i) for every i in 0..count-1. At most
  // `window` pieces are handed out from the first one not yet released, which
  // bounds what is held ahead of an ordered consumer. `start` replaces the
  // starting of a thread (tests refuse it); empty starts std::threads.
  TWorkers(std::size_t count, int threads, std::function<void(std::size_t)> body, std::size_t window = Unbounded,
           TThreadStarter start = {});
  // Hands out no new piece and waits for the threads.
  ~TWorkers();
  TWorkers(const TWorkers&) = delete;
  TWorkers& operator=(const TWorkers&) = delete;

  // The threads that did start.
  int Threads() const { return int(m_threads.size()); }
  // The pieces handed out so far, to the threads or to the calling thread.
  std::size_t HandedOut();

  // Waits until piece i is done.
  void WaitFor(std::size_t i);
  // The pieces below i are consumed: the window moves past them.
  void Release(std::size_t i);
  // Waits until more than `known` pieces are done (or none is left to do);
  // returns how many are done.
  std::size_t WaitForMore(std::size_t known);
  // The calling thread takes pieces as well until none is left, then waits
  // for the threads' last ones (work without a window). `done` is called on
  // the calling thread after each piece it did, with the number of pieces
  // done so far by all.
  void Help(const std::function<void(std::size_t done)>& done = {});

  // A piece that throws stops the handing out; every waiting call above then
  // rethrows the first exception once the pieces under way have ended.

 private:
  void Work();
  // Hands out the next piece unless there is none, or the window is full.
  bool Claim(std::size_t& piece);
  // Runs the piece with the lock released.
  void Run(std::unique_lock<std::mutex>& lock, std::size_t piece);
  // Waits until `ready` holds; runs the pieces itself when no thread started.
  template <class Ready>
  void WaitUntil(std::unique_lock<std::mutex>& lock, Ready ready);

  const std::size_t m_count;
  const std::function<void(std::size_t)> m_body;
  const std::size_t m_window;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<bool> m_finished;
  std::size_t m_next = 0;
  std::size_t m_released = 0;
  std::size_t m_done = 0;
  std::size_t m_running = 0;
  bool m_stop = false;
  std::exception_ptr m_failure;
  std::vector<std::thread> m_threads;
};
