// Whether a run stayed stable, judged from the values of its steps.
//
// A run is stable when
//  - bounded: the unclamped measurement (PVRaw) stayed finite and within one
//    CV span beyond either end of the CV range at every step, and
//  - settling: over the last quarter of the run the largest |SP - PV| is
//    within the settled band (1 % of the CV span, or three times the PV
//    noise's peak-to-peak width when that is wider: the loop passes the
//    noise on, amplified, and a noise-driven loop is not unstable), or
//    below kDecayFactor times the
//    largest |SP - PV| of the quarter before.
// A limit cycle (an unstable loop held by the output limits) keeps the same
// peaks in both quarters and is therefore unstable; so is an output pinned
// at a limit that leaves the set point unreached.
#pragma once

#include <cstdint>

namespace qx::sweep {

// The last quarter's peak error must be below this fraction of the peak of
// the quarter before: margin enough for noise on a limit cycle's peaks.
inline constexpr double kDecayFactor = 0.95;
// The settled band in parts of the CV span, and in peak-to-peak widths of
// the PV noise.
inline constexpr double kSettledBand = 0.01;
inline constexpr double kNoiseBands = 3;
// How far beyond the CV range, in CV spans, the measurement may go.
inline constexpr double kBoundSpans = 1.0;

class StabilityCheck {
 public:
  // `steps`: the run's length, which places its quarters.
  StabilityCheck(double cvLow, double cvHigh, int64_t steps);

  // The values after step `step` (0-based) was computed. `pvNoise`: the
  // noise's peak-to-peak width as a part of the CV span (PIDLoop.PVNoise);
  // the band follows the widest the run had.
  void Add(int64_t step, double sp, double pv, double pvRaw, double pvNoise);

  bool Stable() const;

 private:
  double low_, high_, span_;
  double noise_ = 0;
  int64_t thirdQuarter_, lastQuarter_;
  bool bounded_ = true;
  double peakThird_ = 0;
  double peakLast_ = 0;
};

}  // namespace qx::sweep
