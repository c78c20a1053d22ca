#include "sweep/PointPool.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace qx::sweep {

int MachineCores() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(cores);
}

PoolResult RunPoints(int64_t begin, int64_t end, int jobs,
                     const std::function<PointOutcome(int64_t point)>& run,
                     const std::atomic<bool>& cancel,
                     const std::function<void(int64_t done, int64_t total)>& progress,
                     int progressMs) {
  const int64_t total = end > begin ? end - begin : 0;
  PoolResult result;
  result.Points.resize(static_cast<std::size_t>(total));
  std::atomic<int64_t> next{begin};
  std::atomic<int64_t> done{0};
  std::atomic<bool> failed{false};
  std::mutex mutex;  // guards result.FirstError and the wake-up below
  std::condition_variable finished;
  int running = 0;

  auto fail = [&](int64_t point, const std::string& why) {
    std::lock_guard lock(mutex);
    if (result.FirstError.empty()) result.FirstError = "point " + std::to_string(point) + ": " + why;
    failed.store(true);
  };
  auto worker = [&] {
    for (;;) {
      if (cancel.load(std::memory_order_relaxed) || failed.load(std::memory_order_relaxed)) break;
      const int64_t point = next.fetch_add(1);
      if (point >= end) break;
      try {
        PointOutcome outcome = run(point);
        // A run that the cancel cut short is not a result.
        if (cancel.load()) break;
        if (!outcome.Error.empty()) {
          fail(point, outcome.Error);
          break;
        }
        result.Points[static_cast<std::size_t>(point - begin)] = std::move(outcome);
        done.fetch_add(1);
      } catch (const std::exception& e) {
        fail(point, e.what());
        break;
      } catch (...) {
        fail(point, "unknown exception");
        break;
      }
    }
    std::lock_guard lock(mutex);
    --running;
    finished.notify_all();
  };

  const int threads = static_cast<int>(std::min<int64_t>(std::max(jobs, 1), std::max<int64_t>(total, 1)));
  std::vector<std::thread> pool;
  pool.reserve(static_cast<std::size_t>(threads));
  for (int i = 0; i < threads; ++i) {
    {
      std::lock_guard lock(mutex);
      ++running;
    }
    try {
      pool.emplace_back(worker);
    } catch (const std::exception& e) {
      // The threads already started finish the grid; with none, nothing runs.
      {
        std::lock_guard lock(mutex);
        --running;
      }
      if (pool.empty()) {
        std::lock_guard lock(mutex);
        result.FirstError = std::string("cannot start a thread: ") + e.what();
      }
      break;
    }
  }
  {
    std::unique_lock lock(mutex);
    while (running > 0) {
      finished.wait_for(lock, std::chrono::milliseconds(progressMs));
      if (progress && running > 0) {
        lock.unlock();
        progress(done.load(), total);
        lock.lock();
      }
    }
  }
  for (std::thread& thread : pool) thread.join();
  result.Done = done.load();
  if (progress) progress(result.Done, total);
  return result;
}

}  // namespace qx::sweep
