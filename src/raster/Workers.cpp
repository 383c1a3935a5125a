#include "raster/Workers.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <utility>

int WorkerThreads(int wanted) { return wanted > 0 ? wanted : int(std::max(1u, std::thread::hardware_concurrency())); }

TWorkers::TWorkers(std::size_t count, int threads, std::function<void(std::size_t)> body, std::size_t window,
                   TThreadStarter start)
    : m_count(count), m_body(std::move(body)), m_window(std::max<std::size_t>(window, 1)), m_finished(count) {
  const std::size_t wanted = std::min(std::size_t(std::max(threads, 0)), count);
  // Room first: a started thread must never be dropped unjoined.
  m_threads.reserve(wanted);
  try {
    for (std::size_t t = 0; t < wanted; ++t) {
      if (start)
        m_threads.push_back(start([this] { Work(); }));
      else
        m_threads.emplace_back([this] { Work(); });
    }
  } catch (const std::system_error&) {
    // Fewer threads only makes it slower; with none the waiting calls work.
  }
}

TWorkers::~TWorkers() {
  {
    const std::lock_guard lock(m_mutex);
    m_stop = true;
  }
  m_changed.notify_all();
  for (std::thread& t : m_threads) t.join();
}

bool TWorkers::Claim(std::size_t& piece) {
  if (m_stop || m_failure || m_next >= m_count) return false;
  if (m_next >= m_released && m_next - m_released >= m_window) return false;
  piece = m_next++;
  ++m_running;
  return true;
}

void TWorkers::Run(std::unique_lock<std::mutex>& lock, std::size_t piece) {
  lock.unlock();
  std::exception_ptr error;
  try {
    m_body(piece);
  } catch (...) {
    error = std::current_exception();
  }
  lock.lock();
  --m_running;
  if (error) {
    if (!m_failure) m_failure = error;
  } else {
    m_finished[piece] = true;
    ++m_done;
  }
  m_changed.notify_all();
}

void TWorkers::Work() {
  std::unique_lock lock(m_mutex);
  for (;;) {
    std::size_t piece = 0;
    bool claimed = false;
    m_changed.wait(lock, [&] { return (claimed = Claim(piece)) || m_stop || m_failure || m_next >= m_count; });
    if (!claimed) return;
    Run(lock, piece);
  }
}

template <class Ready>
void TWorkers::WaitUntil(std::unique_lock<std::mutex>& lock, Ready ready) {
  for (;;) {
    if (m_failure) {
      m_changed.wait(lock, [&] { return m_running == 0; });
      std::rethrow_exception(m_failure);
    }
    if (ready()) return;
    std::size_t piece;
    if (m_threads.empty() && Claim(piece))
      Run(lock, piece);
    else
      m_changed.wait(lock);
  }
}

void TWorkers::WaitFor(std::size_t i) {
  std::unique_lock lock(m_mutex);
  WaitUntil(lock, [&] { return i >= m_count || m_finished[i]; });
}

std::size_t TWorkers::HandedOut() {
  const std::lock_guard lock(m_mutex);
  return m_next;
}

void TWorkers::Release(std::size_t i) {
  {
    const std::lock_guard lock(m_mutex);
    m_released = std::max(m_released, i);
  }
  m_changed.notify_all();
}

std::size_t TWorkers::WaitForMore(std::size_t known) {
  std::unique_lock lock(m_mutex);
  WaitUntil(lock, [&] { return m_done > known || m_done >= m_count; });
  return m_done;
}

void TWorkers::Help(const std::function<void(std::size_t)>& done) {
  std::unique_lock lock(m_mutex);
  for (std::size_t piece; !m_failure && Claim(piece);) {
    Run(lock, piece);
    if (done && !m_failure) {
      const std::size_t count = m_done;
      lock.unlock();
      done(count);
      lock.lock();
    }
  }
  WaitUntil(lock, [&] { return m_next >= m_count && m_running == 0; });
}

bool RunUntilStopped(std::size_t count, int threads, const std::function<void(std::size_t)>& body,
                     const std::function<void(std::size_t done)>& done, const std::function<bool()>& stopped) {
  std::atomic<bool> stop = false;
  TWorkers workers(count, threads, [&](std::size_t i) {
    if (!stop) body(i);
  });
  workers.Help([&](std::size_t n) {
    if (stop) return;
    if (done) done(n);
    if (stopped && stopped()) stop = true;
  });
  return !stop;
}
