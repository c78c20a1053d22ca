// One step of a run as the analysis reads it: the clock, the set point, the
// measured PV (engineering units), the controller output (percent) and the
// loop's mode (0 Manual, otherwise Auto).
#pragma once

#include "engine/LoopModel.h"

namespace qx::analysis {

// The run's fixed step in time units; the analysis counts time in steps of
// it, so a wrap of the run's clock does not disturb a window or a fit.
inline constexpr double kStepTime = kTimeStep;

struct LoopSample {
  double t = 0;
  double SP = 0;
  double PV = 0;
  double OP = 0;
  int Mode = 0;
};

}  // namespace qx::analysis
