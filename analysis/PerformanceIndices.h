// Control-performance indices of the single loop, updated step by step so
// that a running window can show them live: O(1) work and no allocation per
// step.
//
// The window. It starts at the first step fed, and starts again at
//  - a set-point change: the SP of a step differs from the SP of the step
//    before. Consecutive changing steps (a rate-limited ramp) belong to one
//    change: the window keeps the start of the first and the change is
//    measured from the SP before it to the newest SP;
//  - a disturbance step the caller reports (MarkDisturbance);
//  - a change of mode: a switch between Manual and Auto begins a new episode.
// It ends at the newest step. Time inside the window, tw, counts from 0 at
// its first step in steps of 0.5, whatever the run's clock does.
//
// With e = SP - PV at each step of the window and dt = 0.5:
//   IAE  = sum |e| dt         ISE = sum e^2 dt        ITAE = sum tw |e| dt
//   OPTravel = sum |OP(k) - OP(k-1)| over the window's steps after its first.
// Only for a window that starts with a set-point change of size
// dSP = SP - SP_before (the newest SP during a ramp):
//   Overshoot    = max(0, max over the window of sign(dSP) (PV - SP)) / |dSP|
//                  x 100, in percent of the change;
//   RiseTime     = tw at which (PV - SP_before) / dSP first reaches 0.9 minus
//                  tw at which it first reaches 0.1; absent until 0.9 is
//                  reached;
//   SettlingTime = tw of the first step of the newest unbroken stretch with
//                  |PV - SP| <= 2 % of |dSP| (the last entry into the band);
//                  absent while the newest step is outside the band.
// For every window:
//   DecayRatio   = A2 / A1, the peaks of the first two excursions of the
//                  deviation PV - SP on the same side. The side is that of
//                  the change (overshoot side) after a set-point change, and
//                  that of the first excursion otherwise. An excursion begins
//                  when the deviation passes the band (2 % of |dSP|, or 2 %
//                  of the CV span when there is no change) and ends when it
//                  falls back within half the band (the hysteresis keeps
//                  noise at the band's edge from counting as new
//                  excursions). Absent until the first
//                  excursion has ended, 0 while no second excursion has
//                  begun, then A2 (its peak so far) / A1.
// Steps whose SP, PV or OP is not a finite number are skipped and counted.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>

#include "analysis/LoopSample.h"

namespace qx::analysis {

// Why the current window started.
enum class WindowCause { RunStart, SetPointChange, Disturbance, ModeChange };

struct PerformanceResults {
  double IAE = 0, ISE = 0, ITAE = 0;
  double OPTravel = 0;
  std::optional<double> Overshoot;     // percent of the set-point change
  std::optional<double> RiseTime;      // time units
  std::optional<double> SettlingTime;  // time units from the window's start
  std::optional<double> DecayRatio;
  double WindowStart = 0;   // the run's clock at the window's first step
  double WindowLength = 0;  // time units from the first to the newest step
  WindowCause Cause = WindowCause::RunStart;
  double SetPointChange = 0;  // dSP, 0 for a window without one
  int64_t Steps = 0;          // steps in the window
  int64_t SkippedSteps = 0;   // non-finite steps since Reset
};

class PerformanceIndices {
 public:
  // `cvSpan` scales the excursion band of windows without a set-point
  // change; `bandFraction` is the settling and excursion band (0.02 = 2 %).
  explicit PerformanceIndices(double cvSpan = 100.0, double bandFraction = 0.02);

  // Forgets everything: the next step starts a window as a run start does.
  void Reset();

  // Feeds the newest step of the run.
  void Add(double t, double sp, double pv, double op, int mode);
  void Add(const LoopSample& s) { Add(s.t, s.SP, s.PV, s.OP, s.Mode); }

  // A disturbance step happened: the next step starts a new window.
  void MarkDisturbance() { disturbancePending_ = true; }

  // The indices of the current window.
  PerformanceResults Results() const;

 private:
  struct Excursion {
    int count = 0;        // same-side excursions begun so far
    bool inside = false;  // the deviation is currently beyond the band
    double first = 0;     // A1
    double second = 0;    // A2 so far
    bool firstEnded = false;
  };

  void StartWindow(double t, double sp, WindowCause cause, double spBefore);
  // The first step, a set point that moved, a change of mode or a reported
  // disturbance: decides whether a new window starts.
  void Restart(double t, double sp, double op, int mode);
  void Accumulate(double sp, double pv);
  void TrackExcursions(double deviation);

  double span_, band_;
  bool started_ = false;
  bool disturbancePending_ = false;
  int64_t skipped_ = 0;

  // The previous step.
  double lastSP_ = 0, lastOP_ = 0;
  int lastMode_ = 0;
  bool lastStepChangedSP_ = false;

  // The window. The sums leave out the factors dt (and dt^2 for ITAE, whose
  // weight is the step count k), which Results applies.
  WindowCause cause_ = WindowCause::RunStart;
  double windowStart_ = 0;
  int64_t steps_ = 0;
  double k_ = 0;  // steps_ as a double, the ITAE weight of the next step
  double spBefore_ = 0, change_ = 0, inverseChange_ = 0;
  double bandWidth_ = 0;  // the band of this window, engineering units
  double sumAbs_ = 0, sumSquares_ = 0, sumWeighted_ = 0, travel_ = 0;
  double maxExcess_ = 0;
  int64_t rise10_ = -1, rise90_ = -1;
  int64_t bandEntry_ = -1;  // first step of the current in-band stretch
  int side_ = 0;            // +1 / -1 once known
  bool excursionsDone_ = false;  // both excursions the ratio needs are seen
  Excursion exc_;
};

// Add and Accumulate run at every step of a run: inline, so that the host
// that feeds them pays no call for the common step.
inline void PerformanceIndices::Add(double t, double sp, double pv, double op, int mode) {
  // x - x is 0 for every finite x and NaN otherwise: one test for all four.
  if (!((t - t) + (sp - sp) + (pv - pv) + (op - op) == 0)) {
    ++skipped_;
    return;
  }
  if (sp != lastSP_ || mode != lastMode_ || disturbancePending_ || !started_) {
    Restart(t, sp, op, mode);
  } else {
    travel_ += std::fabs(op - lastOP_);
    lastStepChangedSP_ = false;
  }
  Accumulate(sp, pv);
  lastSP_ = sp;
  lastOP_ = op;
  lastMode_ = mode;
}

inline void PerformanceIndices::Accumulate(double sp, double pv) {
  const double e = sp - pv;
  const double ae = std::fabs(e);
  sumAbs_ += ae;
  sumSquares_ += e * e;
  sumWeighted_ += k_ * ae;

  if (change_ != 0) {
    const double excess = side_ * (pv - sp);
    if (excess > maxExcess_) maxExcess_ = excess;
    const double progress = (pv - spBefore_) * inverseChange_;
    if (rise90_ < 0) {
      if (rise10_ < 0 && progress >= 0.1) rise10_ = steps_;
      if (progress >= 0.9) rise90_ = steps_;
    }
    if (ae > bandWidth_)
      bandEntry_ = -1;
    else if (bandEntry_ < 0)
      bandEntry_ = steps_;
  }
  if (!excursionsDone_) TrackExcursions(pv - sp);
  ++steps_;
  k_ += 1;
}

}  // namespace qx::analysis
