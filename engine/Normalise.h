// The one place where the limits and derived values of the loop data model
// are enforced, and the reset that puts a loop into its steady start.
#pragma once

#include "engine/LoopModel.h"

namespace qx {

// The simulation step for a trend window length; it is always kTimeStep.
float StepTime(float simTime);

// Order 2 when Tau1 >= 1 and Tau2 >= 1, 1 when Tau1 >= 1 and Tau2 < 1,
// otherwise 0 (integrating).
void DeriveOrder(ModelParams& model);

// The engine's rounding: the integer part n (truncated toward zero), plus 1
// when the remainder is 0.5 or more in magnitude. Saturates at the int range,
// so that a huge field value can never overflow an index.
int RoundToInt(double value);

// Brings every record into range and recomputes the derived fields. Never
// fails; repairs silently.
void NormaliseLoopParameters(LoopModel& model);

// Applies the start-of-run window rule to a test signal: a start or end
// outside 0..kSignalWindowLimit becomes 0, and a start not before the end switches the
// signal off.
void NormaliseSignalWindow(SignalParams& signal);

// Puts a loop's working values into the steady starting state of a run.
void ResetLoopState(PIDLoop& loop);

}  // namespace qx
