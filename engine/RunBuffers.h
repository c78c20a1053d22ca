// The buffers that a run allocates at its start and releases at its end:
// the dead-time lines, the model states and the trend window.
#pragma once

#include <memory>

#include "engine/Plant.h"

namespace qx {

// Trend entries that a sample fills ahead: every entry after the newest
// sample up to this index repeats the newest sample, so a series drawn over
// the whole window continues flat to its right edge.
inline constexpr int kTrendFillEnd = 1999;

struct LoopBuffers {
  float DelayLine[kDelayLineLength];
  float PVTrend[kTrendLength];
  float SPTrend[kTrendLength];
  float OutputTrend[kTrendLength];
  ProcessStates Model;  // State, StateRate, Coeff
};

// The fill-ahead of the newest sample is kept as a pending range and only
// written out when someone reads the trends, so recording a sample costs the
// run loop three stores instead of six thousand.
struct TrendFill {
  int From = kTrendFillEnd + 1;  // first index that repeats the newest sample
  float PV = 0, SP = 0, Output = 0;
};

struct RunBuffers {
  std::unique_ptr<LoopBuffers> Loop;
  std::unique_ptr<float[]> TimeTrend;
  std::unique_ptr<float[]> DisturbanceDelayLine;
  std::unique_ptr<float[]> Disturbance2DelayLine;
  SineMemo Sine;
  TrendFill Fill;

  bool Held() const {
    return Loop || TimeTrend || DisturbanceDelayLine || Disturbance2DelayLine || Sine.Values;
  }

  // Records sample `index` of the three trends and its fill-ahead.
  void RecordSample(int index, float time, float pv, float sp, float output);

  // Moves the newer half of the window (entries h .. 2h-1) to the front.
  void CompactTrends(int half);

  // Writes the pending fill-ahead into the trend arrays (idempotent).
  void MaterialiseFill();

  // Trend value as the run defines it, fill-ahead included.
  float PVAt(int i) const { return InFill(i) ? Fill.PV : Loop->PVTrend[i]; }
  float SPAt(int i) const { return InFill(i) ? Fill.SP : Loop->SPTrend[i]; }
  float OutputAt(int i) const { return InFill(i) ? Fill.Output : Loop->OutputTrend[i]; }

 private:
  bool InFill(int i) const { return i >= Fill.From && i <= kTrendFillEnd; }
};

}  // namespace qx
