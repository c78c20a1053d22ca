#include <gtest/gtest.h>

#include <memory>

#include "RunFixture.h"
#include "ui/TrendPlot.h"

namespace qx {
namespace {

// Run buffers with junk in every entry, so that a value read from outside the
// window or from a stale entry shows up in a range.
class TrendBuffers : public ::testing::Test {
 protected:
  TrendBuffers() {
    ResetBuffers();
    loop.CVLow = 0;
    loop.CVHigh = 200;
    loop.MVLow = 0;
    loop.MVHigh = 50;
  }
  void ResetBuffers() {
    b = RunBuffers{};
    b.Loop = ZeroedLoopBuffers();
    b.TimeTrend = ZeroedFloats(kTrendLength);
    for (int i = 0; i < kTrendLength; ++i) {
      b.Loop->PVTrend[i] = b.Loop->SPTrend[i] = b.Loop->OutputTrend[i] = -7;
      b.TimeTrend[i] = -99;
    }
  }
  // Records samples 0..count-1 with the value pattern of `at`.
  template <class F>
  void Record(int count, F at) {
    for (int i = 0; i < count; ++i) {
      const auto [pv, sp, out] = at(i);
      b.RecordSample(i, static_cast<float>(i), pv, sp, out);
    }
  }
  RunBuffers b;
  PIDLoop loop;
};

struct Sample {
  float PV, SP, Output;
};

TEST_F(TrendBuffers, SteadyLoopBecomesALineInTheBuffersThroughTheFillAhead) {
  // A loop at 50 with wobbles of 0.01: well inside 0.1 % of the middle.
  const int k = 40;
  // The window ends inside the fill-ahead, or takes all of it.
  for (int window : {200, kTrendFillEnd}) {
    SCOPED_TRACE(window);
    ResetBuffers();
    Record(k, [](int i) { return Sample{i % 2 ? 50.01f : 49.99f, 50.0f, 30.0f + i}; });
    RunBuffers& buf = b;

    const TrendLayout layout = PlanTrends(buf, k, window, loop, true);
    EXPECT_FLOAT_EQ(layout.Chart1Left.Lower, 50.0f - 8);
    EXPECT_FLOAT_EQ(layout.Chart1Left.Upper, 50.0f + 8);
    for (int i = 0; i <= window; ++i) {
      ASSERT_FLOAT_EQ(buf.PVAt(i), 50.0f) << i;
      ASSERT_FLOAT_EQ(buf.SPAt(i), 50.0f) << i;
    }
    // The output is not touched, in the stored samples nor ahead of them.
    EXPECT_EQ(buf.OutputAt(3), 33.0f);
    EXPECT_EQ(buf.OutputAt(window), 30.0f + k - 1);
    // Past the window the fill still repeats the newest sample.
    if (window < kTrendFillEnd) {
      EXPECT_EQ(buf.PVAt(window + 1), 50.01f);
    }

    // The next sample fills ahead over the line as usual.
    buf.RecordSample(k, k, 60, 61, 62);
    EXPECT_EQ(buf.PVAt(k - 1), 50.0f);
    EXPECT_EQ(buf.PVAt(k), 60);
    EXPECT_EQ(buf.SPAt(window), 61);
    EXPECT_EQ(buf.OutputAt(window), 62);
  }
}

TEST(TrendRun, SteadyRunDrawsAndKeepsAStraightLineAcrossCompactions) {
  // The steady loop at 50 of the engine tests, redrawn after every step as
  // the window does, over a window of 200 that is compacted twice.
  Simulation sim;
  test::LoadTestCase(sim.Model);
  test::ScriptedHost host(sim);
  host.StopAtStep = 900;
  int flatSteps = 0;
  TrendLayout last;
  host.OnPlot = [&](const RunBuffers&, int k) {
    RunBuffers& b = sim.Buffers;  // what the hook hands out, writable
    ValueSpan span = UpperTrendSpan(b, 200);
    if (ApplyFlatTrace(b, 200, span)) ++flatSteps;
    last = PlanTrends(b, k, 200, sim.Model.SingleLoop, true);
    for (int i = 0; i <= 200; ++i) {
      ASSERT_EQ(b.PVAt(i), span.Min) << i;
      ASSERT_EQ(b.SPAt(i), span.Min) << i;
    }
  };
  SinglePID1Click(sim, host);
  EXPECT_EQ(flatSteps, 900);
  EXPECT_NEAR(last.Chart1Left.Lower, 50 - 4, 1e-3);  // CV 0..100
  EXPECT_NEAR(last.Chart1Left.Upper, 50 + 4, 1e-3);
  for (const test::StepValues& v : host.Steps) ASSERT_NEAR(v.PV, 50, 0.05) << v.Step;
}

TEST_F(TrendBuffers, TraceVaryingByMoreThanATenthOfAPercentIsLeftAlone) {
  Record(10, [](int i) { return Sample{i % 2 ? 50.1f : 49.9f, 50.0f, 30.0f}; });
  const TrendLayout layout = PlanTrends(b, 10, 200, loop, true);
  EXPECT_FLOAT_EQ(layout.Chart1Left.Lower, 49.9f - 8);
  EXPECT_FLOAT_EQ(layout.Chart1Left.Upper, 50.1f + 8);
  EXPECT_EQ(b.PVAt(0), 49.9f);
  EXPECT_EQ(b.PVAt(1), 50.1f);
}

TEST_F(TrendBuffers, RangesCoverEntriesZeroToWindowReadThroughTheFillAhead) {
  Record(5, [](int i) { return Sample{100.0f + i, 200.0f + i, 10.0f + i}; });
  struct Case {
    int Window;
    float UpperMin, UpperMax, OutputMin, OutputMax;
  } cases[] = {
      {3, 100, 203, 10, 13},   // window ends before the newest sample
      {10, 100, 204, 10, 14},  // entries past the newest sample repeat it
      {0, 100, 200, 10, 10},   // a single entry
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Window);
    const ValueSpan upper = UpperTrendSpan(b, c.Window);
    const ValueSpan output = OutputTrendSpan(b, c.Window);
    EXPECT_EQ(upper.Min, c.UpperMin);
    EXPECT_EQ(upper.Max, c.UpperMax);
    EXPECT_EQ(output.Min, c.OutputMin);
    EXPECT_EQ(output.Max, c.OutputMax);
  }
}

TEST_F(TrendBuffers, AxisLimitsUnderBothScalingRules) {
  Record(5, [](int i) { return Sample{40.0f + 5 * i, 50.0f, 20.0f + 2 * i}; });  // PV 40..60, out 20..28
  const TrendLayout autoRule = PlanTrends(b, 5, 100, loop, true);
  EXPECT_DOUBLE_EQ(autoRule.Chart1Left.Lower, 40 - 8);  // m = 0.04 x 200
  EXPECT_DOUBLE_EQ(autoRule.Chart1Left.Upper, 60 + 8);
  EXPECT_DOUBLE_EQ(autoRule.Chart1Right.Lower, autoRule.Chart1Left.Lower);
  EXPECT_DOUBLE_EQ(autoRule.Chart1Right.Upper, autoRule.Chart1Left.Upper);
  EXPECT_DOUBLE_EQ(autoRule.Chart2Left.Lower, 20 - 2);  // m2 = 0.04 x 50
  EXPECT_DOUBLE_EQ(autoRule.Chart2Left.Upper, 28 + 2);
  EXPECT_DOUBLE_EQ(autoRule.Chart2Right.Lower, 0);

  loop.CVLow = -10;
  const TrendLayout full = PlanTrends(b, 5, 100, loop, false);
  for (const AxisRange& r : {full.Chart1Left, full.Chart1Right}) {
    EXPECT_DOUBLE_EQ(r.Lower, -10);
    EXPECT_DOUBLE_EQ(r.Upper, 200);
  }
  for (const AxisRange& r : {full.Chart2Left, full.Chart2Right}) {
    EXPECT_DOUBLE_EQ(r.Lower, 0);
    EXPECT_DOUBLE_EQ(r.Upper, 100);
  }
  for (const TrendLayout& l : {autoRule, full}) {
    EXPECT_DOUBLE_EQ(l.Chart1Bottom.Lower, 0);
    EXPECT_DOUBLE_EQ(l.Chart1Bottom.Upper, 100);
  }
}

TEST_F(TrendBuffers, AllSamplesEqualSpanTheMarginAroundTheValue) {
  Record(3, [](int) { return Sample{75, 75, 40}; });
  const TrendLayout layout = PlanTrends(b, 3, 50, loop, true);
  EXPECT_DOUBLE_EQ(layout.Chart1Left.Lower, 75 - 8);
  EXPECT_DOUBLE_EQ(layout.Chart1Left.Upper, 75 + 8);
  EXPECT_DOUBLE_EQ(layout.Chart2Left.Lower, 40 - 2);
  EXPECT_DOUBLE_EQ(layout.Chart2Left.Upper, 40 + 2);
}

TEST_F(TrendBuffers, TimeOffsetIsTheWholePartOfTheEarliestRecordedTime) {
  struct Case {
    float Times[3];
    double Offset;
  } cases[] = {
      {{12.7f, 10.9f, 11.5f}, 10},
      {{-3.7f, 2, 3}, -3},  // toward zero
      {{0.5f, 1, 1.5f}, 0},
  };
  for (const Case& c : cases) {
    for (int i = 0; i < 3; ++i) b.TimeTrend[i] = c.Times[i];
    // Entry 3 (-99) is not a recorded sample.
    EXPECT_EQ(TrendTimeOffset(b, 3), c.Offset) << c.Times[0];
  }
  b.TimeTrend[0] = 7.2f;
  b.TimeTrend[1] = 1;
  const TrendLayout layout = PlanTrends(b, 1, 10, loop, true);
  EXPECT_EQ(layout.TimeOffset, 7);
  EXPECT_DOUBLE_EQ(layout.Chart2Bottom.Lower, layout.Chart1Bottom.Lower) << "one time scale for both";
  EXPECT_DOUBLE_EQ(layout.Chart2Bottom.Upper, layout.Chart1Bottom.Upper);
}

TEST(TrendPoints, CountsPerSeriesAndChart2BottomAxis) {
  struct Case {
    int Samples, Window;
    TrendPointCounts Expected;
  } cases[] = {
      {1, 200, {0, 1, 0, 200}},        // the first sample: only SP is drawn
      {5, 200, {4, 5, 4, 200}},
      {201, 200, {200, 200, 200, 200}},  // SP stops at W-1
      {5, 0, {4, 0, 4, 0}},
  };
  for (const Case& c : cases) {
    const TrendPointCounts p = TrendPoints(c.Samples, c.Window);
    EXPECT_EQ(p.PV, c.Expected.PV) << c.Samples << "/" << c.Window;
    EXPECT_EQ(p.SP, c.Expected.SP) << c.Samples << "/" << c.Window;
    EXPECT_EQ(p.Output, c.Expected.Output) << c.Samples << "/" << c.Window;
    EXPECT_EQ(p.Zero, c.Expected.Zero) << c.Samples << "/" << c.Window;
  }
}

TEST_F(TrendBuffers, Chart2BottomKeepsItsRangeWithoutPoints) {
  Record(1, [](int) { return Sample{1, 1, 1}; });
  EXPECT_FALSE(PlanTrends(b, 1, 0, loop, true).Chart2BottomFollows);
  const TrendLayout layout = PlanTrends(b, 1, 30, loop, true);
  EXPECT_TRUE(layout.Chart2BottomFollows);
  EXPECT_DOUBLE_EQ(layout.Chart2Bottom.Lower, 0);
  EXPECT_DOUBLE_EQ(layout.Chart2Bottom.Upper, 30) << "ends where Chart1's does, on its last label";
}

TEST(ZoomSelection, DragRules) {
  const PixelRect plot{50, 50, 450, 350};
  struct Case {
    const char* Name;
    int PressX, PressY, MoveX, MoveY;
    bool Drags, Shown;
    ZoomSelection::Release Release;
    PixelRect After;
  } cases[] = {
      {"14 x 40", 100, 100, 114, 140, true, true, ZoomSelection::Release::Cancel, {}},
      {"15 x 15", 100, 100, 115, 115, true, true, ZoomSelection::Release::Zoom, {100, 100, 115, 115}},
      {"up and left", 300, 300, 200, 200, true, false, ZoomSelection::Release::Cancel, {}},
      {"straight right", 100, 100, 300, 100, true, false, ZoomSelection::Release::Cancel, {}},
      {"limited to the last column and row", 100, 100, 450, 350, true, true, ZoomSelection::Release::Zoom,
       {100, 100, 449, 349}},
      {"press outside", 10, 10, 200, 200, false, false, ZoomSelection::Release::Ignored, {10, 10, 10, 10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    ZoomSelection z;
    EXPECT_EQ(z.Press(c.PressX, c.PressY, plot), c.Drags);
    EXPECT_EQ(z.Move(c.MoveX, c.MoveY, plot), c.Shown);
    EXPECT_EQ(z.Up(), c.Release);
    EXPECT_EQ(z.Selection, c.After);
    EXPECT_FALSE(z.Dragging);
  }
}

TEST(ZoomSelection, ALaterMoveUpKeepsTheLastSelection) {
  const PixelRect plot{0, 0, 400, 300};
  ZoomSelection z;
  z.Press(100, 100, plot);
  EXPECT_TRUE(z.Move(150, 160, plot));
  EXPECT_FALSE(z.Move(90, 160, plot));
  EXPECT_FALSE(z.Move(500, 160, plot)) << "outside the plot";
  EXPECT_EQ(z.Up(), ZoomSelection::Release::Zoom);
  EXPECT_EQ(z.Selection, (PixelRect{100, 100, 150, 160}));
}

TEST(TrendScale, CaptionNamesTheRuleInForceAfterTheClick) {
  TrendScale scale;
  EXPECT_EQ(scale.Toggle(), "Trend Scale Full");
  EXPECT_FALSE(scale.Auto);
  EXPECT_EQ(scale.Toggle(), "Trend Scale Auto");
  EXPECT_TRUE(scale.Auto);
}

}  // namespace
}  // namespace qx
