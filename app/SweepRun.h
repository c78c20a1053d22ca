// A sweep of a case over a grid of settings, as "qxsim sweep" and the
// window's tuning map both run it: the run's defaults (steps, seed, the
// set-point step), the table's header, one point's row and the pool over
// the points.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/SweepPoint.h"
#include "sweep/PointPool.h"
#include "sweep/SweepGrid.h"
#include "sweep/SweepTable.h"

namespace qx {

// Without a step count a point runs this many steps (2000 time units).
inline constexpr int64_t kDefaultSweepSteps = 4000;
// Without a seed every point runs with this noise seed, so that its row is
// what "qxsim run --seed 1" gives and the rows do not depend on the clock.
inline constexpr uint64_t kDefaultSweepSeed = 1;
// Without actions the points run a set-point step at this step, by this
// part of the CV span (upwards, or downwards when that would leave the CV
// range).
inline constexpr int64_t kDefaultStepAt = 10;
inline constexpr double kDefaultStepSpan = 0.1;

struct SweepRequest {
  SweepPointSettings Run;  // Steps, Seed or Actions unset: the defaults
  // The run's options as given, for the table's "# run:" line; the
  // defaults taken are added to it.
  std::vector<std::string> RunArguments;
  std::vector<sweep::GridAxis> Axes;
  std::vector<const FieldInfo*> Fields;  // the field each axis sets
};

// A sweep ready to run: the run with its defaults, the grid and the
// table's header; the rows are added as the points are done.
struct PreparedSweep {
  SweepPointSettings Run;
  std::vector<const FieldInfo*> Fields;
  sweep::SweepTable Table;
};

// Loads the case once for the defaults and the case's own values. False
// with the loader's messages (or the reason) when it cannot be loaded.
bool PrepareSweep(const SweepRequest& request, PreparedSweep& prepared, std::string& error);

// The row cells of one point after its number: the settings, every index
// of the loop analysis ("" where undefined) and the stability verdict.
// `cancel` ends the run early.
sweep::PointOutcome RunGridPoint(const PreparedSweep& job, int64_t point, const std::atomic<bool>& cancel);

// The threads of a sweep beside a live run: the machine's cores but one, so
// that the live run keeps a core of its own (at least one thread).
int JobsBesideLiveRun();

// Lowers the calling thread's scheduling priority (nice 10); the threads it
// starts afterwards inherit it, so that a sweep beside a live run yields
// the processor to it where they share one. False with the reason.
bool LowerThreadPriority(std::string& error);

// Runs the points [begin, end) on `jobs` threads and adds the rows done to
// the table. `progress(done, total)` as sweep::RunPoints calls it.
sweep::PoolResult RunSweep(PreparedSweep& job, int64_t begin, int64_t end, int jobs,
                           const std::atomic<bool>& cancel,
                           const std::function<void(int64_t done, int64_t total)>& progress = {});

}  // namespace qx
