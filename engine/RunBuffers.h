// The buffers that a run allocates at its start and releases at its end:
// the dead-time lines, the model states and the trend window.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <type_traits>

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

// A zeroed block from calloc. The system's fresh pages are zero already, so
// calloc writes nothing into them, and a page that the run never writes
// costs nothing: a trend window of a few hundred samples leaves most of its
// arrays untouched, and an unused disturbance path its whole line.
struct FreeBlock {
  void operator()(void* block) const noexcept { std::free(block); }
};
template <typename T>
using ZeroedBlock = std::unique_ptr<T, FreeBlock>;

// calloc's bytes are the buffers: no constructor or destructor to run.
static_assert(std::is_trivially_default_constructible_v<LoopBuffers> &&
              std::is_trivially_destructible_v<LoopBuffers>);

// The loop's buffers, zeroed; null when there is no memory for them.
inline ZeroedBlock<LoopBuffers> ZeroedLoopBuffers() {
  return ZeroedBlock<LoopBuffers>(static_cast<LoopBuffers*>(std::calloc(1, sizeof(LoopBuffers))));
}
// `count` zeroed floats; null when there is no memory for them.
inline ZeroedBlock<float[]> ZeroedFloats(std::size_t count) {
  return ZeroedBlock<float[]>(static_cast<float*>(std::calloc(count, sizeof(float))));
}

struct RunBuffers {
  ZeroedBlock<LoopBuffers> Loop;
  ZeroedBlock<float[]> TimeTrend;
  ZeroedBlock<float[]> DisturbanceDelayLine;
  ZeroedBlock<float[]> Disturbance2DelayLine;
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
