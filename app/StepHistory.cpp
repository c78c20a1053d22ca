#include "app/StepHistory.h"

namespace qx {

StepHistory::StepHistory(std::size_t capacity) : capacity_(capacity > 0 ? capacity : 1) {}

void StepHistory::Clear() {
  next_ = 0;
  size_ = 0;
}

std::vector<analysis::LoopSample> StepHistory::Between(double from, double to) const {
  std::vector<analysis::LoopSample> out;
  const std::size_t oldest = (next_ + capacity_ - size_) % capacity_;
  for (std::size_t i = 0; i < size_; ++i) {
    const analysis::LoopSample& step = steps_[(oldest + i) % capacity_];
    if (step.t >= from && step.t <= to) out.push_back(step);
  }
  return out;
}

}  // namespace qx
