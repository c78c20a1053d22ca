// Runs a function once per grid point on a number of threads, each result
// kept at its point's place so that the outcome does not depend on the
// number of threads or on which thread ran which point.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qx::sweep {

// What one point gave: the CSV cells after the point number, or why it has
// none.
struct PointOutcome {
  std::vector<std::string> Cells;
  std::string Error;  // empty on success
};

struct PoolResult {
  // One entry per point of [begin, end); empty for a point that was not
  // run because the sweep was cancelled or a point failed.
  std::vector<std::optional<PointOutcome>> Points;
  int64_t Done = 0;
  std::string FirstError;  // of the first failed point, naming it
};

// Runs `run(point)` for every point of [begin, end) on `jobs` threads
// (at least one). A point that throws or reports an error stops the
// taking of further points. `cancel` set (by a signal handler) also stops
// it; the points under way are given up. `progress(done, total)` is called
// on the calling thread about every `progressMs` milliseconds and once at
// the end. The threads share nothing but the point counter; `run` must not
// share state between calls.
PoolResult RunPoints(int64_t begin, int64_t end, int jobs,
                     const std::function<PointOutcome(int64_t point)>& run,
                     const std::atomic<bool>& cancel,
                     const std::function<void(int64_t done, int64_t total)>& progress = {},
                     int progressMs = 250);

// The machine's cores, at least 1.
int MachineCores();

}  // namespace qx::sweep
