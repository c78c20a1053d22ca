// The live loop analysis as the run hosts feed it: the indices in their
// fixed order, the step signal's switches as disturbance windows, the CV
// span of the run, and a new run forgetting the old.
#include "app/LoopAnalysis.h"

#include <gtest/gtest.h>

#include <string>

namespace qx {
namespace {

TEST(IndexValues, FixedOrderUnitsAndAbsentValues) {
  analysis::PerformanceResults r;
  r.IAE = 1;
  r.ISE = 2;
  r.ITAE = 3;
  r.RiseTime = 5;
  r.DecayRatio = 7;
  r.OPTravel = 8;
  r.WindowStart = 9;
  const IndexList values = IndexValues(r);
  const struct {
    const char* name;
    std::optional<double> value;
    const char* unit;
  } expected[] = {{"IAE", 1, ""},
                  {"ISE", 2, ""},
                  {"ITAE", 3, ""},
                  {"Overshoot", std::nullopt, "%"},
                  {"RiseTime", 5, "time units"},
                  {"SettlingTime", std::nullopt, "time units"},
                  {"DecayRatio", 7, ""},
                  {"OPTravel", 8, "%"},
                  {"WindowStart", 9, "time units"}};
  ASSERT_EQ(values.size(), std::size(expected));
  ASSERT_EQ(values.size(), kIndexCount);
  for (std::size_t i = 0; i < values.size(); ++i) {
    EXPECT_STREQ(values[i].name, expected[i].name);
    EXPECT_EQ(values[i].value, expected[i].value) << expected[i].name;
    EXPECT_STREQ(values[i].unit, expected[i].unit) << expected[i].name;
  }
}

// A steady loop in Auto at SP = PV = 50 on a CV range of 0..100.
LoopModel SteadyLoop() {
  LoopModel m;
  m.SingleLoop.CVLow = 0;
  m.SingleLoop.CVHigh = 100;
  m.SingleLoop.SP = m.SingleLoop.PV = m.SingleLoop.OP = 50;
  m.SingleLoop.Mode = 1;
  return m;
}

// Feeds the steps at t = from, from + 0.5, ... up to `to` inclusive.
void Feed(LoopAnalysis& a, const LoopModel& m, double from, double to) {
  for (double t = from; t <= to; t += 0.5) a.StepComputed(m, t);
}

TEST(LoopAnalysis, StepSignalSwitchesStartDisturbanceWindows) {
  const struct {
    const char* what;
    int on;
    float size;
    double windowStartMidway, windowStartAtEnd;
    analysis::WindowCause cause;
  } cases[] = {
      // The step is on while Start < t < End: from t = 10.5, off again at 20.
      {"step on", 1, 5, 10.5, 20, analysis::WindowCause::Disturbance},
      {"step off", 0, 5, 0, 0, analysis::WindowCause::RunStart},
      {"step of size 0", 1, 0, 0, 0, analysis::WindowCause::RunStart},
  };
  for (const auto& c : cases) {
    LoopModel m = SteadyLoop();
    m.StepSignal.On = c.on;
    m.StepSignal.Start = 10;
    m.StepSignal.End = 20;
    m.StepSignal.Size = c.size;
    LoopAnalysis a;
    a.RunStarting();
    Feed(a, m, 0, 15);
    EXPECT_EQ(a.Results().WindowStart, c.windowStartMidway) << c.what;
    Feed(a, m, 15.5, 30);
    EXPECT_EQ(a.Results().WindowStart, c.windowStartAtEnd) << c.what;
    EXPECT_EQ(a.Results().Cause, c.cause) << c.what;
  }
}

TEST(LoopAnalysis, ExcursionBandScalesWithTheRunsCVSpan) {
  // A deviation of 5 is beyond 2 % of a span of 100 and within 2 % of
  // 1000: only the first run sees an excursion that ended.
  for (const float cvHigh : {100.0f, 1000.0f}) {
    LoopModel m = SteadyLoop();
    m.SingleLoop.CVHigh = cvHigh;
    LoopAnalysis a;
    a.RunStarting();
    Feed(a, m, 0, 2);
    m.SingleLoop.PV = 55;
    Feed(a, m, 2.5, 5);
    m.SingleLoop.PV = 50;
    Feed(a, m, 5.5, 8);
    if (cvHigh == 100.0f)
      EXPECT_EQ(a.Results().DecayRatio, 0.0);
    else
      EXPECT_FALSE(a.Results().DecayRatio.has_value());
  }
}

TEST(LoopAnalysis, ANewRunForgetsTheLastAndCountsItsOwnClock) {
  LoopModel m = SteadyLoop();
  LoopAnalysis a;
  a.RunStarting();
  for (int step = 0; step < 10; ++step) {
    if (step == 4) m.SingleLoop.SP = 60;
    a.StepComputed(m);
  }
  EXPECT_EQ(a.Results().Cause, analysis::WindowCause::SetPointChange);
  EXPECT_EQ(a.Results().WindowStart, 2.0);  // step 4 at 0.5 a step
  EXPECT_EQ(a.Results().IAE, 6 * 10 * 0.5);

  a.RunStarting();
  m.SingleLoop.PV = 58;
  for (int step = 0; step < 3; ++step) a.StepComputed(m);
  const analysis::PerformanceResults r = a.Results();
  EXPECT_EQ(r.Cause, analysis::WindowCause::RunStart);
  EXPECT_EQ(r.WindowStart, 0.0);
  EXPECT_EQ(r.Steps, 3);
  EXPECT_EQ(r.IAE, 3 * 2 * 0.5);
}

}  // namespace
}  // namespace qx
