#include "app/LoopAnalysis.h"

#include "analysis/LoopSample.h"

namespace qx {

std::vector<IndexValue> IndexValues(const analysis::PerformanceResults& r) {
  return {
      {"IAE", r.IAE, ""},
      {"ISE", r.ISE, ""},
      {"ITAE", r.ITAE, ""},
      {"Overshoot", r.Overshoot, "%"},
      {"RiseTime", r.RiseTime, "time units"},
      {"SettlingTime", r.SettlingTime, "time units"},
      {"DecayRatio", r.DecayRatio, ""},
      {"OPTravel", r.OPTravel, "%"},
      {"WindowStart", r.WindowStart, "time units"},
  };
}

void LoopAnalysis::RunStarting() {
  started_ = false;
  stepSignalWasActive_ = false;
  steps_ = 0;
}

bool LoopAnalysis::StepSignalActive(const LoopModel& model, double t) const {
  // The same test, in the same single precision, as the run's step signal.
  const SignalParams& step = model.StepSignal;
  const float clock = static_cast<float>(t);
  return step.On == 1 && step.Size != 0 && step.Start < clock && clock < step.End;
}

void LoopAnalysis::StepComputed(const LoopModel& model, double t) {
  const PIDLoop& loop = model.SingleLoop;
  if (!started_) {
    // The CV span of the run's first step scales the excursion band of
    // windows without a set-point change.
    indices_ = analysis::PerformanceIndices(static_cast<double>(loop.CVHigh) - loop.CVLow);
    started_ = true;
    stepSignalWasActive_ = StepSignalActive(model, t);
  } else {
    const bool active = StepSignalActive(model, t);
    if (active != stepSignalWasActive_) indices_.MarkDisturbance();
    stepSignalWasActive_ = active;
  }
  indices_.Add(t, loop.SP, loop.PV, loop.OP, loop.Mode);
  ++steps_;
}

void LoopAnalysis::StepComputed(const LoopModel& model) {
  StepComputed(model, static_cast<double>(steps_) * analysis::kStepTime);
}

void LoopAnalysis::MarkDisturbance() { indices_.MarkDisturbance(); }

analysis::PerformanceResults LoopAnalysis::Results() const { return indices_.Results(); }

}  // namespace qx
