// The run's latest steps, as many as the trend window can show. The trends
// keep every second step only; a stretch selected on them is fitted on
// every step, which a model's dead time and lags need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/LoopSample.h"
#include "engine/LoopModel.h"
#include "engine/Plant.h"
#include "ui/TrendTimeline.h"

namespace qx {

class StepHistory {
 public:
  // Two steps for every sample a trend window can hold.
  explicit StepHistory(std::size_t capacity = 2 * static_cast<std::size_t>(kTrendLength));

  // Forgets every step (a new run).
  void Clear();

  // What run step `step` (counted from the run's start, never wrapping)
  // computed. A trend sample is taken at the start of a step and holds what
  // the step before it computed, so this shows as step `step` + 1, the
  // number it is kept under.
  void StepComputed(const PIDLoop& loop, int64_t step);

  // The steps shown as steps span.First .. span.Last (inclusive) that are
  // still held, oldest first. Each one's t is its number times the step
  // time: time since the run's start, which does not wrap with the clock.
  std::vector<analysis::LoopSample> Between(const StepSpan& span) const;

  std::size_t Size() const { return size_; }

 private:
  std::vector<analysis::LoopSample> steps_;  // a ring, allocated by the first step
  std::size_t capacity_;
  std::size_t next_ = 0;  // where the next step goes
  std::size_t size_ = 0;
  int64_t newest_ = 0;  // the number of the newest step held
};

inline void StepHistory::StepComputed(const PIDLoop& loop, int64_t step) {
  if (steps_.empty()) steps_.resize(capacity_);
  // The process receives the output as limited to 0 .. 100 %.
  newest_ = step + 1;
  steps_[next_] = {static_cast<double>(newest_) * analysis::kStepTime, loop.SP, loop.PV, loop.OPOut, loop.Mode};
  next_ = next_ + 1 == capacity_ ? 0 : next_ + 1;
  if (size_ < capacity_) ++size_;
}

}  // namespace qx
