// The single loop's structure: Manual/Auto with output tracking (bumpless
// in both directions), the set point at each execution, and the tracking
// role of the cascade record.
#pragma once

#include "engine/LoopModel.h"
#include "engine/RunHost.h"

namespace qx {

// SingleLoop.Mode from RunControl.SingleModeSelect, at every step: Manual
// copies OPNew into OP, Auto copies OP into OPNew; other values change
// nothing.
void ApplyModeSelection(LoopModel& m);

// The set point (Auto: from SPNew) or the output (Manual: from OPNew) at an
// execution of the single loop.
void SingleSetPoint(LoopModel& m);

// The single loop's SP in percent of its CV range.
float SetPointPercent(const PIDLoop& single);

// Runs whenever the cascade record's period is due: writes the tracking
// display and makes the cascade record follow the single loop's set point.
// Returns false when a stop was requested (the run ends).
bool CascadeTracking(LoopModel& m, RunHost& host);

}  // namespace qx
