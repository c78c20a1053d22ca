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
  k_ = 0;
  spBefore_ = spBefore;
  change_ = cause == WindowCause::SetPointChange ? sp - spBefore : 0.0;
  inverseChange_ = change_ != 0 ? 1 / change_ : 0.0;
  bandWidth_ = band_ * (change_ != 0 ? std::fabs(change_) : span_);
  sumAbs_ = sumSquares_ = sumWeighted_ = travel_ = 0;
  maxExcess_ = 0;
  rise10_ = rise90_ = -1;
  bandEntry_ = -1;
  side_ = change_ > 0 ? 1 : change_ < 0 ? -1 : 0;
  excursionsDone_ = false;
  exc_ = Excursion{};
}

void PerformanceIndices::Restart(double t, double sp, double op, int mode) {
  if (!started_) {
    StartWindow(t, sp, WindowCause::RunStart, sp);
    started_ = true;
    lastStepChangedSP_ = false;
    return;
  }
  const bool spChanged = SetPointMoved(sp, lastSP_);
  if (spChanged && lastStepChangedSP_ && cause_ == WindowCause::SetPointChange) {
    // A ramp goes on: one change from the SP before it to the newest SP.
    change_ = sp - spBefore_;
    inverseChange_ = change_ != 0 ? 1 / change_ : 0.0;
    bandWidth_ = band_ * (change_ != 0 ? std::fabs(change_) : span_);
    travel_ += std::fabs(op - lastOP_);
  } else if (spChanged) {
    StartWindow(t, sp, WindowCause::SetPointChange, lastSP_);
  } else if (disturbancePending_) {
    StartWindow(t, sp, WindowCause::Disturbance, sp);
  } else if (mode != lastMode_) {
    StartWindow(t, sp, WindowCause::ModeChange, sp);
  } else {
    travel_ += std::fabs(op - lastOP_);  // a set point moved within rounding
  }
  disturbancePending_ = false;
  lastStepChangedSP_ = spChanged;
}

void PerformanceIndices::TrackExcursions(double deviation) {
  if (side_ == 0) {
    if (std::fabs(deviation) <= bandWidth_) return;
    side_ = deviation > 0 ? 1 : -1;
  }
  const double s = side_ * deviation;
  if (!exc_.inside) {
    if (s <= bandWidth_) return;
    exc_.inside = true;
    ++exc_.count;
  }
  double& peak = exc_.count == 1 ? exc_.first : exc_.second;
  if (s > peak) peak = s;
  if (s <= 0.5 * bandWidth_) {
    exc_.inside = false;
    if (exc_.count == 1) exc_.firstEnded = true;
    excursionsDone_ = exc_.count >= 2;
  }
}

PerformanceResults PerformanceIndices::Results() const {
  PerformanceResults r;
  r.IAE = sumAbs_ * kStepTime;
  r.ISE = sumSquares_ * kStepTime;
  r.ITAE = sumWeighted_ * kStepTime * kStepTime;
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
