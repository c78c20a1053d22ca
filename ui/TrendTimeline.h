// Which run step and run clock each sample of the trend window was taken at,
// and the charts' time axis mapped onto them. The charts number their points
// by the sample's place in the window (plus a whole time offset), so once the
// window has compacted, or the run's clock has wrapped, a chart time says
// nothing about when in the run a sample was taken: every user of a chart
// time that needs the run's steps (a stretch, a fitted curve, an export, a
// cursor read-out) goes through this mapping.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace qx {

// The run steps of the samples within a range of chart times, both ends
// included; steps count from the run's start and never wrap.
struct StepSpan {
  int64_t First = 0;
  int64_t Last = 0;
  bool operator==(const StepSpan&) const = default;
};

class TrendTimeline {
 public:
  // Room for every sample the trend arrays can hold, taken once.
  TrendTimeline();

  // --- Fed by the run, in the order the trend window changes ---

  // A new run: no samples.
  void Clear();
  // The sample at window place `index` was taken at the start of run step
  // `step`, with the run's clock at `clock`.
  void SampleRecorded(int index, int64_t step, float clock);
  // The window dropped its older half: places half .. 2 half - 1 moved to
  // 0 .. half - 1, as the trends did.
  void Compacted(int half);
  // Compactions since the run started: a shown mapping taken before one
  // places the steps elsewhere.
  int64_t Compactions() const { return compactions_; }

  // --- What the charts show ---

  // The first `count` samples of `live`, place i shown at chart time
  // i + `offset`.
  void Show(const TrendTimeline& live, int count, double offset);
  int Count() const { return count_; }
  double Offset() const { return offset_; }

  double TimeAt(int index) const { return index + offset_; }
  int64_t StepAt(int index) const { return steps_[index]; }
  float ClockAt(int index) const { return clocks_[index]; }

  // The shown sample nearest to chart time `time`; none when nothing is
  // shown or `time` lies more than half a sample outside the shown ones.
  std::optional<int> IndexNear(double time) const;
  // The steps of the shown samples whose chart times lie in from .. to;
  // none when no shown sample does.
  std::optional<StepSpan> StepsWithin(double from, double to) const;
  // The chart time at which run step `step` shows: a sample's own time, a
  // step between two samples proportionally between them. None for a step
  // outside the shown samples.
  std::optional<double> TimeOfStep(int64_t step) const;
  // The shown sample whose clock is nearest to `clock` (the window spans
  // far less than the clock's period, so a clock names one place in it);
  // none when `clock` lies more than a sample's spacing outside them.
  std::optional<int> IndexOfClock(double clock) const;

 private:
  std::vector<int64_t> steps_;
  std::vector<float> clocks_;
  int count_ = 0;
  double offset_ = 0;
  int64_t compactions_ = 0;
};

}  // namespace qx
