// The controller of the single loop: the velocity (incremental) PID
// algorithm in 24 equation forms, with gap action, a set-point rate limit,
// an output step at the start of a run and output limits.
//
// With e = Error (% of CV span, positive when PV is above SP), e1 = ErrorPrev,
// T = ExecPeriod, K = EffectiveP and Kpb = 100 / (EffectiveP + 0.0001):
//   OP(k) = OP(k-1) + s * (proportional + integral + derivative)
// where s = -1 for a positive process gain (reverse action), +1 otherwise.
// Family A acts on the error (P: dE = e - e1, D: ddE), B on the error for P
// and the PV for D (ddPV), C on the PV for both (P: dPV). The digit picks the
// gain (K for 0, 2, 4, 5; Kpb, a proportional band, for 1, 3, 6, 7), whether
// the gain scales all three terms (0-3) or only P (4-7), and whether I is an
// integral time (e T / I: 0, 1, 4, 6) or an integral rate (e T I: 2, 3, 5, 7).
// The derivative term is D x ddE / T or D x ddPV / T, unfiltered.
#pragma once

#include "engine/LoopModel.h"

namespace qx {

// The engine's floor for the integral term's I.
inline constexpr float kMinimumIntegral = 0.00001f;

// Time units the output keeps the output step (or, after it, the starting
// output) before it switches to the other: far longer than any run, so in
// practice the step stays for the whole run.
inline constexpr float kOutputStepHold = 1000000;
// Below this magnitude (percent) an output step counts as none, and an
// output this close to the starting output counts as back at the start.
inline constexpr double kOutputStepTolerance = 0.00001;

// Process-lifetime state of the output step.
struct OutputStepState {
  float Timer = 0;
};

// True when the loop has not executed yet in this run or its period is due.
bool ExecutionDue(const PIDLoop& loop);

// The new output OP + s * (P + I + D terms) of the loop's equation form;
// an equation outside 1..24 returns OP unchanged. `actionSign` is s.
float ComputePID(const PIDLoop& loop, float actionSign);

// One execution of the loop after its SP (Auto) or OP (Manual) is set:
// rate limit, error, gap action, the PID form (in Auto), output step,
// output limits and the bookkeeping of previous values.
void ExecuteController(PIDLoop& loop, const ModelParams& process, OutputStepState& step, float t,
                       float dt);

}  // namespace qx
