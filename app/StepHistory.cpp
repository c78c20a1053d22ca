#include "app/StepHistory.h"

#include <algorithm>

namespace qx {

StepHistory::StepHistory(std::size_t capacity) : capacity_(capacity > 0 ? capacity : 1) {}

void StepHistory::Clear() {
  next_ = 0;
  size_ = 0;
  newest_ = 0;
}

std::vector<analysis::LoopSample> StepHistory::Between(const StepSpan& span) const {
  std::vector<analysis::LoopSample> out;
  if (size_ == 0) return out;
  // The ring holds consecutive steps, the newest just before next_.
  const int64_t oldest = newest_ - static_cast<int64_t>(size_) + 1;
  const int64_t first = std::max(span.First, oldest);
  const int64_t last = std::min(span.Last, newest_);
  if (first > last) return out;
  out.reserve(static_cast<std::size_t>(last - first + 1));
  const std::size_t oldestSlot = (next_ + capacity_ - size_) % capacity_;
  for (int64_t step = first; step <= last; ++step)
    out.push_back(steps_[(oldestSlot + static_cast<std::size_t>(step - oldest)) % capacity_]);
  return out;
}

}  // namespace qx
