#include "analysis/PerformanceIndices.h"

#include <cmath>

namespace qx::analysis {
namespace {

// A set point differs from the one before by more than its single-precision
// storage can blur.
bool SetPointMoved(double sp, double previous) {
  return std::fabs(sp - previous) > 1e-6 * std::fmax(1.0, std::fabs(previous));
}

}  // namespace

PerformanceIndices::PerformanceIndices(double cvSpan, double bandFraction)
    : span_(std::fabs(cvSpan)), band_(std::fabs(bandFraction)) {}

void PerformanceIndices::Reset() {
  *this = PerformanceIndices(span_, band_);
}

void PerformanceIndices::StartWindow(double t, double sp, WindowCause cause, double spBefore) {
  cause_ = cause;
  windowStart_ = t;
  steps_ = 0;
  spBefore_ = spBefore;
  change_ = cause == WindowCause::SetPointChange ? sp - spBefore : 0.0;
  iae_ = ise_ = itae_ = travel_ = 0;
  maxExcess_ = 0;
  rise10_ = rise90_ = -1;
  bandEntry_ = -1;
  side_ = change_ > 0 ? 1 : change_ < 0 ? -1 : 0;
  exc_ = Excursion{};
}

void PerformanceIndices::Add(double t, double sp, double pv, double op, int mode) {
  if (!std::isfinite(t) || !std::isfinite(sp) || !std::isfinite(pv) || !std::isfinite(op)) {
    ++skipped_;
    return;
  }
  bool spChanged = false;
  if (!started_) {
    StartWindow(t, sp, WindowCause::RunStart, sp);
    started_ = true;
  } else {
    spChanged = SetPointMoved(sp, lastSP_);
    const bool newWindow = spChanged || disturbancePending_ || mode != lastMode_;
    if (spChanged && lastStepChangedSP_ && cause_ == WindowCause::SetPointChange) {
      // A ramp goes on: one change from the SP before it to the newest SP.
      change_ = sp - spBefore_;
      travel_ += std::fabs(op - lastOP_);
    } else if (spChanged) {
      StartWindow(t, sp, WindowCause::SetPointChange, lastSP_);
    } else if (disturbancePending_) {
      StartWindow(t, sp, WindowCause::Disturbance, sp);
    } else if (mode != lastMode_) {
      StartWindow(t, sp, WindowCause::ModeChange, sp);
    }
    if (!newWindow) travel_ += std::fabs(op - lastOP_);
    disturbancePending_ = false;
  }
  Accumulate(sp, pv);
  lastSP_ = sp;
  lastOP_ = op;
  lastMode_ = mode;
  lastStepChangedSP_ = spChanged;
}

void PerformanceIndices::Accumulate(double sp, double pv) {
  const int64_t k = steps_;
  const double tw = static_cast<double>(k) * kStepTime;
  const double e = sp - pv;
  const double ae = std::fabs(e);
  iae_ += ae * kStepTime;
  ise_ += e * e * kStepTime;
  itae_ += tw * ae * kStepTime;

  double bandWidth = band_ * span_;
  if (change_ != 0) {
    const double size = std::fabs(change_);
    bandWidth = band_ * size;
    const double excess = side_ * (pv - sp);
    if (excess > maxExcess_) maxExcess_ = excess;
    const double progress = (pv - spBefore_) / change_;
    if (rise10_ < 0 && progress >= 0.1) rise10_ = k;
    if (rise90_ < 0 && progress >= 0.9) rise90_ = k;
    if (ae <= bandWidth) {
      if (bandEntry_ < 0) bandEntry_ = k;
    } else {
      bandEntry_ = -1;
    }
  }
  TrackExcursions(pv - sp, bandWidth);
  ++steps_;
}

void PerformanceIndices::TrackExcursions(double deviation, double bandWidth) {
  if (side_ == 0) {
    if (std::fabs(deviation) <= bandWidth) return;
    side_ = deviation > 0 ? 1 : -1;
  }
  if (exc_.count >= 2 && !exc_.inside) return;  // the first two are all it needs
  const double s = side_ * deviation;
  if (!exc_.inside) {
    if (s > bandWidth) {
      exc_.inside = true;
      ++exc_.count;
    } else {
      return;
    }
  }
  double& peak = exc_.count == 1 ? exc_.first : exc_.second;
  if (s > peak) peak = s;
  if (s <= 0.5 * bandWidth) {
    exc_.inside = false;
    if (exc_.count == 1) exc_.firstEnded = true;
  }
}

PerformanceResults PerformanceIndices::Results() const {
  PerformanceResults r;
  r.IAE = iae_;
  r.ISE = ise_;
  r.ITAE = itae_;
  r.OPTravel = travel_;
  r.WindowStart = windowStart_;
  r.WindowLength = steps_ > 0 ? static_cast<double>(steps_ - 1) * kStepTime : 0.0;
  r.Cause = cause_;
  r.SetPointChange = change_;
  r.Steps = steps_;
  r.SkippedSteps = skipped_;
  if (change_ != 0) {
    r.Overshoot = maxExcess_ / std::fabs(change_) * 100.0;
    if (rise10_ >= 0 && rise90_ >= 0) r.RiseTime = static_cast<double>(rise90_ - rise10_) * kStepTime;
    if (bandEntry_ >= 0) r.SettlingTime = static_cast<double>(bandEntry_) * kStepTime;
  }
  if (exc_.count >= 2)
    r.DecayRatio = exc_.first > 0 ? exc_.second / exc_.first : 0.0;
  else if (exc_.firstEnded)
    r.DecayRatio = 0.0;
  return r;
}

}  // namespace qx::analysis
