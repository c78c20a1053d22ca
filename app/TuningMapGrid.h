// The grid of the window's tuning map as the operator types it: P and I,
// and D when asked for, each as a range and a number of values; its
// defaults around the current settings and its check.
#pragma once

#include <string>
#include <vector>

#include "sweep/SweepGrid.h"

namespace qx {

// The default grid: this part of the current value either side of it, in
// this many values on each axis.
inline constexpr double kTuningMapSpread = 0.5;
inline constexpr int kTuningMapCount = 15;
// A map's grid beyond this many points is refused: at a few runs a second
// on the cores the live run leaves, it would take hours.
inline constexpr long long kTuningMapMaxPoints = 10'000;

struct TuningRangeText {
  std::string Low, High, Count;
};

struct TuningMapGridText {
  TuningRangeText P, I, D;
  bool WithD = false;  // D as a third axis; otherwise D stays as it is
};

// ±kTuningMapSpread of each current value in kTuningMapCount values ('.' as
// decimal point); a setting of 0 gives the single value 0.
TuningMapGridText DefaultTuningMapGrid(double p, double i, double d);

// The grid's axes P, I (and D) named as the sweep's grid names them. False
// with a message naming the field and the value: a number that does not
// read, a count that is not a whole number of at least 1, a range whose
// low end is above its high end, too many points.
bool ReadTuningMapGrid(const TuningMapGridText& text, std::vector<sweep::GridAxis>& axes, std::string& error);

}  // namespace qx
