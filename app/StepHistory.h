// The run's latest steps, as many as the trend window can show. The trends
// keep every second step only; a stretch selected on them is fitted on
// every step, which a model's dead time and lags need.
#pragma once

#include <cstddef>
#include <vector>

#include "analysis/LoopSample.h"
#include "engine/LoopModel.h"
#include "engine/Plant.h"

namespace qx {

class StepHistory {
 public:
  // Two steps for every sample a trend window can hold.
  explicit StepHistory(std::size_t capacity = 2 * static_cast<std::size_t>(kTrendLength));

  // Forgets every step (a new run).
  void Clear();

  // The step just computed, at the time the trends show it: a trend sample
  // is taken at the start of a step and holds what the step before it
  // computed, so the step at clock t shows at t + 0.5.
  void StepComputed(const PIDLoop& loop, double t);

  // The steps shown at times from .. to (inclusive), oldest first.
  std::vector<analysis::LoopSample> Between(double from, double to) const;

  std::size_t Size() const { return size_; }

 private:
  std::vector<analysis::LoopSample> steps_;  // a ring, allocated by the first step
  std::size_t capacity_;
  std::size_t next_ = 0;  // where the next step goes
  std::size_t size_ = 0;
};

inline void StepHistory::StepComputed(const PIDLoop& loop, double t) {
  if (steps_.empty()) steps_.resize(capacity_);
  // The process receives the output as limited to 0 .. 100 %.
  steps_[next_] = {t + analysis::kStepTime, loop.SP, loop.PV, loop.OPOut, loop.Mode};
  next_ = next_ + 1 == capacity_ ? 0 : next_ + 1;
  if (size_ < capacity_) ++size_;
}

}  // namespace qx
