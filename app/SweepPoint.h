// One point of a sweep: the case run as "qxsim run" runs it, in an
// Application of its own, so that points on different threads share no
// state; the indices of the run's last window and the stability verdict.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/PerformanceIndices.h"
#include "app/PanelActions.h"
#include "engine/FieldTable.h"

namespace qx {

// What a point runs: the case, its overrides (the sweep's own, then the
// point's settings), the steps, the noise seed and the scripted actions.
struct SweepPointSettings {
  std::string CasePath;  // empty: the starting case
  std::vector<FieldOverride> Overrides;
  std::optional<int64_t> Steps;
  std::optional<uint64_t> Seed;
  std::vector<ScriptedAction> Actions;
};

struct SweepPointRun {
  bool Loaded = false;
  std::string Messages;  // what the application reported, one line each
  analysis::PerformanceResults Results;
  bool Stable = false;
};

// Runs the case with `settings`. `interrupted` ends the run early, as
// Ctrl-C ends "qxsim run".
SweepPointRun RunSweepPoint(const SweepPointSettings& settings, const std::atomic<bool>& interrupted);

// The loaded case before any run: the values of `fields` and the loop's
// set point and CV range, for the default set-point step and the map's mark.
struct CaseProbe {
  bool Loaded = false;
  std::string Messages;
  std::vector<double> FieldValues;
  double SP = 0, CVLow = 0, CVHigh = 0;
};
CaseProbe ProbeCase(const SweepPointSettings& settings, const std::vector<const FieldInfo*>& fields);

}  // namespace qx
