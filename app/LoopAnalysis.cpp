#include "app/LoopAnalysis.h"

#include "analysis/LoopSample.h"

namespace qx {

IndexList IndexValues(const analysis::PerformanceResults& r) {
  return {{
      {"IAE", r.IAE, ""},
      {"ISE", r.ISE, ""},
      {"ITAE", r.ITAE, ""},
      {"Overshoot", r.Overshoot, "%"},
      {"RiseTime", r.RiseTime, "time units"},
      {"SettlingTime", r.SettlingTime, "time units"},
      {"DecayRatio", r.DecayRatio, ""},
      {"OPTravel", r.OPTravel, "%"},
      {"WindowStart", r.WindowStart, "time units"},
  }};
}

void LoopAnalysis::RunStarting() {
  started_ = false;
  stepSignalWasActive_ = false;
  steps_ = 0;
}

void LoopAnalysis::FirstStep(const LoopModel& model, double t) {
  // The CV span scales the excursion band of windows without a set-point
  // change.
  const PIDLoop& loop = model.SingleLoop;
  indices_ = analysis::PerformanceIndices(static_cast<double>(loop.CVHigh) - loop.CVLow);
  started_ = true;
  stepSignalWasActive_ = StepSignalActive(model, t);
}

void LoopAnalysis::StepComputed(const LoopModel& model) {
  StepComputed(model, static_cast<double>(steps_) * analysis::kStepTime);
}

void LoopAnalysis::MarkDisturbance() { indices_.MarkDisturbance(); }

analysis::PerformanceResults LoopAnalysis::Results() const { return indices_.Results(); }

}  // namespace qx
