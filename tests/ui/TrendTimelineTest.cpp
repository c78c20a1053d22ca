// The mapping of the charts' time axis onto the run's steps: which step and
// clock each place of the trend window holds as the run records samples,
// compacts the window (an odd count drops the newest sample) and wraps its
// clock, and the lookups every user of a chart time goes through.
#include <gtest/gtest.h>

#include <cmath>

#include <map>

#include "engine/RunLoop.h"
#include "RunFixture.h"
#include "ui/TrendTimeline.h"

namespace qx::test {
namespace {

// Samples at every second step, as the run records them, from step
// `firstStep` on, with the clock wrapping to 0 after `wrapAt`.
void Record(TrendTimeline& live, int from, int count, int64_t firstStep, double wrapAt = 1e9) {
  for (int i = 0; i < count; ++i) {
    const int64_t step = firstStep + 2 * i;
    const double clock = std::fmod(0.5 * static_cast<double>(step), wrapAt);
    live.SampleRecorded(from + i, step, static_cast<float>(clock));
  }
}

TEST(TrendTimeline, CompactionMovesTheNewerHalfAndLookupsFollowIt) {
  TrendTimeline live;
  Record(live, 0, 200, 0);
  live.Compacted(100);  // places 100..199 (steps 200..398) move to 0..99
  Record(live, 100, 10, 400);
  TrendTimeline shown;
  shown.Show(live, 110, 0);
  EXPECT_EQ(shown.Compactions(), 1);
  EXPECT_EQ(shown.StepAt(0), 200);
  EXPECT_EQ(shown.StepAt(109), 418);
  EXPECT_FLOAT_EQ(shown.ClockAt(0), 100);

  struct Lookup {
    double from, to;
    std::optional<StepSpan> steps;
  };
  for (const Lookup& c : {Lookup{10, 20, StepSpan{220, 240}}, Lookup{9.5, 20.4, StepSpan{220, 240}},
                          Lookup{-5, 0.2, StepSpan{200, 200}}, Lookup{105, 500, StepSpan{410, 418}},
                          Lookup{110.5, 200, std::nullopt}, Lookup{3.2, 3.8, std::nullopt}})
    EXPECT_EQ(shown.StepsWithin(c.from, c.to), c.steps) << c.from << " .. " << c.to;

  // A step between two samples shows between them; outside, nowhere.
  EXPECT_EQ(shown.TimeOfStep(220), 10);
  EXPECT_EQ(shown.TimeOfStep(221), 10.5);
  EXPECT_EQ(shown.TimeOfStep(199), std::nullopt);
  EXPECT_EQ(shown.TimeOfStep(419), std::nullopt);
  EXPECT_EQ(shown.IndexNear(42.4), 42);
  EXPECT_EQ(shown.IndexNear(110.6), std::nullopt);
}

TEST(TrendTimeline, AnOddCompactionLeavesAGapThatTheTimesBridge) {
  // 201 samples: places 100..199 move, the newest (place 200, step 400) is
  // dropped, and the next sample comes at place 100.
  TrendTimeline live;
  Record(live, 0, 201, 0);
  live.Compacted(100);
  Record(live, 100, 5, 402);
  TrendTimeline shown;
  shown.Show(live, 105, 7);
  EXPECT_EQ(shown.StepAt(99), 398);
  EXPECT_EQ(shown.StepAt(100), 402);
  EXPECT_EQ(shown.TimeOfStep(400), 7 + 99.5);
  EXPECT_EQ(shown.StepsWithin(106, 107), (StepSpan{398, 402}));
}

TEST(TrendTimeline, ClocksFindTheirPlaceAcrossTheWrap) {
  TrendTimeline live;
  // Steps 50080.. : the clock passes 25045 and starts again at 0.
  Record(live, 0, 20, 50080, 25045.5);
  TrendTimeline shown;
  shown.Show(live, 20, 0);
  EXPECT_EQ(shown.IndexOfClock(25042), 2);
  EXPECT_EQ(shown.IndexOfClock(25045.2), 5);
  EXPECT_EQ(shown.IndexOfClock(0.5), 6);
  EXPECT_EQ(shown.IndexOfClock(13.5), 19);
  EXPECT_EQ(shown.IndexOfClock(100), std::nullopt);
  shown.Clear();
  EXPECT_EQ(shown.IndexOfClock(0.5), std::nullopt);
  EXPECT_EQ(shown.StepsWithin(0, 100), std::nullopt);
}

// Fed by a real run, the timeline names for every place of the window the
// step whose sample the trends hold there: through compactions of an odd
// window (which drop the newest sample) and of an even one.
TEST(TrendTimeline, FedByARunNamesTheStepOfEveryPlace) {
  class TimelineHost : public ScriptedHost {
   public:
    using ScriptedHost::ScriptedHost;
    void TrendSampleRecorded(int index, int64_t step, float clock) override {
      Live.SampleRecorded(index, step, clock);
    }
    void TrendsCompacted(int half) override { Live.Compacted(half); }
    TrendTimeline Live;
  };
  for (float window : {201.0f, 200.0f}) {
    SCOPED_TRACE(window);
    Simulation sim;
    LoadTestCase(sim.Model);
    sim.Model.RunSettings.SimTime = window;
    sim.Model.SingleLoop.PVNoise = 0.05f;  // every sample distinct
    TimelineHost host(sim);
    std::map<int64_t, float> pvAtStep;  // what each sample recorded
    host.OnStepStart = [&](int64_t step) {
      if (step % 2 == 0) pvAtStep[step] = sim.Model.SingleLoop.PV;
    };
    int checked = 0;
    host.OnPlot = [&](const RunBuffers& buffers, int count) {
      TrendTimeline shown;
      shown.Show(host.Live, count, 0);
      for (int i = 0; i < count; ++i) {
        const auto recorded = pvAtStep.find(shown.StepAt(i));
        ASSERT_NE(recorded, pvAtStep.end()) << i;
        ASSERT_EQ(buffers.PVAt(i), recorded->second) << "place " << i << " step " << shown.StepAt(i);
        ASSERT_FLOAT_EQ(shown.ClockAt(i), 0.5f * static_cast<float>(shown.StepAt(i)));
      }
      ++checked;
    };
    host.StopAtStep = 1500;
    SinglePID1Click(sim, host);
    EXPECT_EQ(checked, 1500);
    EXPECT_GE(host.Live.Compactions(), 3);
  }
}

}  // namespace
}  // namespace qx::test
