#include "sweep/StabilityCheck.h"

#include <algorithm>
#include <cmath>

namespace qx::sweep {

StabilityCheck::StabilityCheck(double cvLow, double cvHigh, double pvNoise, int64_t steps)
    : low_(cvLow),
      high_(cvHigh),
      span_(std::fabs(cvHigh - cvLow)),
      band_(span_ * std::max(kSettledBand, std::fabs(pvNoise))),
      thirdQuarter_(steps / 2),
      lastQuarter_(steps - steps / 4) {}

void StabilityCheck::Add(int64_t step, double sp, double pv, double pvRaw) {
  if (!std::isfinite(pvRaw) || pvRaw < low_ - kBoundSpans * span_ || pvRaw > high_ + kBoundSpans * span_)
    bounded_ = false;
  const double error = std::isfinite(sp - pv) ? std::fabs(sp - pv) : span_;
  if (step >= lastQuarter_)
    peakLast_ = std::max(peakLast_, error);
  else if (step >= thirdQuarter_)
    peakThird_ = std::max(peakThird_, error);
}

bool StabilityCheck::Stable() const {
  return bounded_ && (peakLast_ <= band_ || peakLast_ < kDecayFactor * peakThird_);
}

}  // namespace qx::sweep
