#include "ui/TrendTimeline.h"

#include <algorithm>
#include <cmath>

#include "engine/Plant.h"

namespace qx {
namespace {

// A sample every second step of 0.5: one time unit apart.
constexpr double kSampleSpacing = 1.0;

}  // namespace

TrendTimeline::TrendTimeline() : steps_(kTrendLength), clocks_(kTrendLength) {}

void TrendTimeline::Clear() {
  count_ = 0;
  offset_ = 0;
  compactions_ = 0;
}

void TrendTimeline::SampleRecorded(int index, int64_t step, float clock) {
  if (index < 0 || index >= kTrendLength) return;
  steps_[index] = step;
  clocks_[index] = clock;
}

void TrendTimeline::Compacted(int half) {
  const int moved = std::clamp(half, 0, kTrendLength / 2);
  std::copy_n(steps_.begin() + moved, moved, steps_.begin());
  std::copy_n(clocks_.begin() + moved, moved, clocks_.begin());
  ++compactions_;
}

void TrendTimeline::Show(const TrendTimeline& live, int count, double offset) {
  count_ = std::clamp(count, 0, kTrendLength);
  offset_ = offset;
  compactions_ = live.compactions_;
  std::copy_n(live.steps_.begin(), count_, steps_.begin());
  std::copy_n(live.clocks_.begin(), count_, clocks_.begin());
}

std::optional<int> TrendTimeline::IndexNear(double time) const {
  if (count_ == 0) return std::nullopt;
  const double place = std::round(time - offset_);
  if (place < 0 || place >= count_) return std::nullopt;
  return static_cast<int>(place);
}

std::optional<StepSpan> TrendTimeline::StepsWithin(double from, double to) const {
  // Sample i shows at time i + offset: the places from .. to cover.
  const double first = std::max(std::ceil(from - offset_), 0.0);
  const double last = std::min(std::floor(to - offset_), static_cast<double>(count_) - 1);
  if (count_ == 0 || first > last) return std::nullopt;
  return StepSpan{steps_[static_cast<int>(first)], steps_[static_cast<int>(last)]};
}

std::optional<double> TrendTimeline::TimeOfStep(int64_t step) const {
  if (count_ == 0 || step < steps_[0] || step > steps_[count_ - 1]) return std::nullopt;
  // Steps grow along the window; the first sample at or after `step`.
  const auto end = steps_.begin() + count_;
  const auto after = std::lower_bound(steps_.begin(), end, step);
  const int i = static_cast<int>(after - steps_.begin());
  if (*after == step || i == 0) return TimeAt(i);
  const double spacing = static_cast<double>(steps_[i] - steps_[i - 1]);
  return TimeAt(i - 1) + static_cast<double>(step - steps_[i - 1]) / spacing;
}

std::optional<int> TrendTimeline::IndexOfClock(double clock) const {
  std::optional<int> best;
  double bestDistance = 0;
  for (int i = 0; i < count_; ++i) {
    const double distance = std::fabs(clocks_[i] - clock);
    if (!best || distance < bestDistance) {
      best = i;
      bestDistance = distance;
    }
  }
  // Farther off than the samples' spacing, the clock is not shown.
  if (best && bestDistance > kSampleSpacing) return std::nullopt;
  return best;
}

}  // namespace qx
