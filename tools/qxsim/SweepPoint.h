// One point of "qxsim sweep": the case run as "qxsim run" runs it, in an
// Application of its own, so that points on different threads share no
// state; the indices of the run's last window and the stability verdict.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "analysis/PerformanceIndices.h"
#include "engine/FieldTable.h"
#include "tools/qxsim/RunOptions.h"

namespace qx {

struct SweepPointRun {
  bool Loaded = false;
  std::string Messages;  // what the application reported, one line each
  analysis::PerformanceResults Results;
  bool Stable = false;
};

// Runs the case with `options` (its --set overrides carry the point's
// settings). `interrupted` ends the run early, as Ctrl-C ends "qxsim run".
SweepPointRun RunSweepPoint(const RunOptions& options, const std::atomic<bool>& interrupted);

// The loaded case before any run: the values of `fields` and the loop's
// set point and CV range, for the default set-point step and the map's mark.
struct CaseProbe {
  bool Loaded = false;
  std::string Messages;
  std::vector<double> FieldValues;
  double SP = 0, CVLow = 0, CVHigh = 0;
};
CaseProbe ProbeCase(const RunOptions& options, const std::vector<const FieldInfo*>& fields);

}  // namespace qx
