#include "sweep/StabilityCheck.h"

#include <algorithm>
#include <cmath>

namespace qx::sweep {

StabilityCheck::StabilityCheck(double cvLow, double cvHigh, int64_t steps)
    : low_(cvLow),
      high_(cvHigh),
      span_(std::fabs(cvHigh - cvLow)),
      thirdQuarter_(steps / 2),
      lastQuarter_(steps - steps / 4) {}

void StabilityCheck::Add(int64_t step, double sp, double pv, double pvRaw, double pvNoise) {
  if (std::isfinite(pvNoise)) noise_ = std::max(noise_, std::fabs(pvNoise));
  if (!std::isfinite(pvRaw) || pvRaw < low_ - kBoundSpans * span_ || pvRaw > high_ + kBoundSpans * span_)
    bounded_ = false;
  const double error = std::isfinite(sp - pv) ? std::fabs(sp - pv) : span_;
  if (step >= lastQuarter_)
    peakLast_ = std::max(peakLast_, error);
  else if (step >= thirdQuarter_)
    peakThird_ = std::max(peakThird_, error);
}

bool StabilityCheck::Stable() const {
  const double band = span_ * std::max(kSettledBand, kNoiseBands * noise_);
  return bounded_ && (peakLast_ <= band || peakLast_ < kDecayFactor * peakThird_);
}

}  // namespace qx::sweep
