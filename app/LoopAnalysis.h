// The live loop analysis every front end shares: the performance indices of
// the current window, fed by the run host at every step, and the indices as
// the window, qxsim and the OPC server list them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <array>

#include "analysis/PerformanceIndices.h"
#include "engine/LoopModel.h"

namespace qx {

// One index as every front end shows it.
struct IndexValue {
  const char* name;
  std::optional<double> value;  // absent while the index is undefined
  const char* unit;             // "" when none
};

// Number of entries IndexValues returns.
inline constexpr std::size_t kIndexCount = 9;

// The indices in their fixed order: IAE, ISE, ITAE, Overshoot, RiseTime,
// SettlingTime, DecayRatio, OPTravel, WindowStart. A fixed array, so that
// the publication at every trend sample allocates nothing.
using IndexList = std::array<IndexValue, kIndexCount>;
IndexList IndexValues(const analysis::PerformanceResults& r);

// The single loop's indices over the current window. Fed on the run's
// thread, at every step; read on the same thread (the window's GUI thread,
// the publication of the trend samples).
class LoopAnalysis {
 public:
  // Forgets the previous run: the next step starts a window as a run does.
  void RunStarting();
  // Feeds t, SP, PV, OP and mode of the newest step. `t` is the run's clock;
  // the one-argument form counts its own clock from the run's start in
  // steps of 0.5, which equals the run's until the clock wraps.
  void StepComputed(const LoopModel& model, double t);
  void StepComputed(const LoopModel& model);
  // A disturbance step happened outside the step signal (which is detected
  // from the model): the next step starts a new window.
  void MarkDisturbance();
  analysis::PerformanceResults Results() const;

 private:
  // The step signal switches on or off at clock t: a load step the process
  // sees as a disturbance.
  bool StepSignalActive(const LoopModel& model, double t) const;

  // The run's first step: the indices start afresh with the run's CV span.
  void FirstStep(const LoopModel& model, double t);

  analysis::PerformanceIndices indices_;
  bool started_ = false;  // the first step of the run was fed
  bool stepSignalWasActive_ = false;
  int64_t steps_ = 0;
};

// StepComputed runs at every step of every run: inline, so that the hosts
// pay no call for it.
inline bool LoopAnalysis::StepSignalActive(const LoopModel& model, double t) const {
  // The same test, in the same single precision, as the run's step signal.
  const SignalParams& step = model.StepSignal;
  const float clock = static_cast<float>(t);
  return step.On == 1 && step.Size != 0 && step.Start < clock && clock < step.End;
}

inline void LoopAnalysis::StepComputed(const LoopModel& model, double t) {
  if (!started_) {
    FirstStep(model, t);
  } else {
    const bool active = StepSignalActive(model, t);
    if (active != stepSignalWasActive_) indices_.MarkDisturbance();
    stepSignalWasActive_ = active;
  }
  const PIDLoop& loop = model.SingleLoop;
  indices_.Add(t, loop.SP, loop.PV, loop.OP, loop.Mode);
  ++steps_;
}

}  // namespace qx
