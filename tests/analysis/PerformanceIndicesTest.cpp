#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/PerformanceIndices.h"

namespace qx::analysis {
namespace {

struct Step {
  double sp, pv, op;
  int mode = 1;
};

// Feeds steps 0.5 apart from t = `t0`.
void Feed(PerformanceIndices& pi, const std::vector<Step>& steps, double t0 = 0) {
  double t = t0;
  for (const Step& s : steps) {
    pi.Add(t, s.sp, s.pv, s.op, s.mode);
    t += kStepTime;
  }
}

// Two steps at rest, then a set-point change 0 -> 10 at t = 1 and a response
// with two overshoots. In the window (k = 0..9, tw = k / 2):
//   PV     0    4    9    12   11   9.5  10.5  10   10.1  10
//   |e|    10   6    1    2    1    0.5  0.5   0    0.1   0     sum 21.1
//   e^2    100  36   1    4    1    .25  .25   0    .01   0     sum 142.51
//   tw|e|  0    3    1    3    2    1.25 1.5   0    .4    0     sum 12.15
//   OP     50   60   58   55   52   50   51    50   50    50    travel 22
// IAE 10.55, ISE 71.255, ITAE 6.075; overshoot 2 / 10 = 20 %; 10 % reached
// at k 1, 90 % at k 2: rise 0.5; within 0.2 of SP from k 7 on: settling
// 3.5; excursions above SP peak at 2 (k 3) and 0.5 (k 6): decay ratio 0.25.
const std::vector<Step> kResponse = {
    {0, 0, 50},  {0, 0, 50},     {10, 0, 50},   {10, 4, 60},  {10, 9, 58},  {10, 12, 55},
    {10, 11, 52}, {10, 9.5, 50}, {10, 10.5, 51}, {10, 10, 50}, {10, 10.1, 50}, {10, 10, 50}};

TEST(PerformanceIndices, HandComputedResponse) {
  PerformanceIndices pi;
  Feed(pi, kResponse);
  const PerformanceResults r = pi.Results();
  EXPECT_EQ(r.Cause, WindowCause::SetPointChange);
  EXPECT_DOUBLE_EQ(r.WindowStart, 1.0);
  EXPECT_DOUBLE_EQ(r.WindowLength, 4.5);
  EXPECT_EQ(r.Steps, 10);
  EXPECT_DOUBLE_EQ(r.SetPointChange, 10);
  EXPECT_NEAR(r.IAE, 10.55, 1e-12);
  EXPECT_NEAR(r.ISE, 71.255, 1e-12);
  EXPECT_NEAR(r.ITAE, 6.075, 1e-12);
  EXPECT_NEAR(r.OPTravel, 22, 1e-12);
  ASSERT_TRUE(r.Overshoot && r.RiseTime && r.SettlingTime && r.DecayRatio);
  EXPECT_NEAR(*r.Overshoot, 20, 1e-12);
  EXPECT_NEAR(*r.RiseTime, 0.5, 1e-12);
  EXPECT_NEAR(*r.SettlingTime, 3.5, 1e-12);
  EXPECT_NEAR(*r.DecayRatio, 0.25, 1e-12);
}

TEST(PerformanceIndices, ADownwardChangeMirrorsAnUpwardOne) {
  std::vector<Step> down = kResponse;
  for (Step& s : down) {
    s.sp = 100 - s.sp;
    s.pv = 100 - s.pv;
  }
  PerformanceIndices pi;
  Feed(pi, down);
  const PerformanceResults r = pi.Results();
  EXPECT_DOUBLE_EQ(r.SetPointChange, -10);
  EXPECT_NEAR(r.IAE, 10.55, 1e-9);
  EXPECT_NEAR(*r.Overshoot, 20, 1e-9);
  EXPECT_NEAR(*r.RiseTime, 0.5, 1e-12);
  EXPECT_NEAR(*r.SettlingTime, 3.5, 1e-12);
  EXPECT_NEAR(*r.DecayRatio, 0.25, 1e-9);
}

TEST(PerformanceIndices, FiguresThatNeedMoreOfTheResponseStayAbsent) {
  PerformanceIndices pi;
  // Without a set-point change there is no change to measure against.
  Feed(pi, {{50, 48, 50}, {50, 49, 51}, {50, 50, 51}});
  PerformanceResults r = pi.Results();
  EXPECT_EQ(r.Cause, WindowCause::RunStart);
  EXPECT_NEAR(r.IAE, (2 + 1) * 0.5, 1e-12);
  EXPECT_NEAR(r.OPTravel, 1, 1e-12);
  EXPECT_FALSE(r.Overshoot || r.RiseTime || r.SettlingTime || r.DecayRatio);

  // The first steps of a change: not yet at 90 %, outside the band, no
  // excursion ended.
  pi.Reset();
  Feed(pi, {kResponse.begin(), kResponse.begin() + 6});
  r = pi.Results();
  ASSERT_TRUE(r.Overshoot);
  EXPECT_NEAR(*r.Overshoot, 20, 1e-12);
  EXPECT_TRUE(r.RiseTime);
  EXPECT_FALSE(r.SettlingTime) << "the newest step is outside the band";
  EXPECT_FALSE(r.DecayRatio) << "the first excursion has not ended";

  // An overdamped response: no overshoot, no excursion at all.
  pi.Reset();
  Feed(pi, {{0, 0, 50}, {10, 0, 60}, {10, 5, 60}, {10, 8, 60}, {10, 9.5, 60}, {10, 9.9, 60}});
  r = pi.Results();
  EXPECT_NEAR(*r.Overshoot, 0, 1e-12);
  EXPECT_NEAR(*r.SettlingTime, 2.0, 1e-12);
  EXPECT_FALSE(r.DecayRatio);
}

TEST(PerformanceIndices, WindowRestartRules) {
  struct Case {
    const char* name;
    std::vector<Step> steps;
    bool markDisturbanceBeforeLast;
    WindowCause cause;
    double windowStart;
    double change;
  };
  const Case cases[] = {
      {"a ramp of the set point is one change from its first step",
       {{0, 0, 50}, {2, 0, 50}, {4, 1, 50}, {6, 2, 50}, {8, 4, 50}, {8, 6, 50}}, false,
       WindowCause::SetPointChange, 0.5, 8},
      {"a second change restarts the window",
       {{0, 0, 50}, {10, 0, 50}, {10, 5, 50}, {10, 9, 50}, {5, 9, 50}, {5, 8, 50}}, false,
       WindowCause::SetPointChange, 2.0, -5},
      {"a disturbance the caller reports restarts it",
       {{10, 0, 50}, {10, 10, 50}, {10, 10, 50}, {10, 9, 50}}, true, WindowCause::Disturbance,
       1.5, 0},
      {"a switch of mode restarts it",
       {{10, 10, 50, 0}, {10, 10, 50, 0}, {10, 10, 50, 1}, {10, 9, 50, 1}}, false,
       WindowCause::ModeChange, 1.0, 0},
  };
  for (const Case& c : cases) {
    PerformanceIndices pi;
    std::vector<Step> head(c.steps.begin(), c.steps.end() - 1);
    Feed(pi, head);
    if (c.markDisturbanceBeforeLast) pi.MarkDisturbance();
    pi.Add((c.steps.size() - 1) * kStepTime, c.steps.back().sp, c.steps.back().pv,
           c.steps.back().op, c.steps.back().mode);
    const PerformanceResults r = pi.Results();
    EXPECT_EQ(r.Cause, c.cause) << c.name;
    EXPECT_DOUBLE_EQ(r.WindowStart, c.windowStart) << c.name;
    EXPECT_DOUBLE_EQ(r.SetPointChange, c.change) << c.name;
  }
}

TEST(PerformanceIndices, DisturbanceWindowMeasuresExcursionsAgainstTheSpan) {
  // No set-point change: the band is 2 % of the span (2 on 0..100); the
  // first excursion goes below SP, so that side counts: peaks 6 and 3.
  PerformanceIndices pi(100);
  pi.MarkDisturbance();
  Feed(pi, {{50, 50, 50}, {50, 44, 50}, {50, 49.5, 50}, {50, 53, 50}, {50, 50, 50},
            {50, 47, 50}, {50, 50, 50}});
  const PerformanceResults r = pi.Results();
  ASSERT_TRUE(r.DecayRatio);
  EXPECT_NEAR(*r.DecayRatio, 0.5, 1e-12);
  EXPECT_FALSE(r.Overshoot);
}

TEST(PerformanceIndices, NonFiniteStepsAreSkippedAndCounted) {
  PerformanceIndices clean, dirty;
  Feed(clean, kResponse);
  std::vector<Step> withGaps = kResponse;
  withGaps.insert(withGaps.begin() + 5, {10, NAN, 55});
  withGaps.insert(withGaps.begin() + 8, {INFINITY, 10, 50});
  withGaps.insert(withGaps.begin() + 9, {10, 10, NAN});
  for (const Step& s : withGaps) dirty.Add(0, s.sp, s.pv, s.op, s.mode);
  const PerformanceResults a = clean.Results(), b = dirty.Results();
  EXPECT_EQ(b.SkippedSteps, 3);
  EXPECT_DOUBLE_EQ(a.IAE, b.IAE);
  EXPECT_DOUBLE_EQ(a.ITAE, b.ITAE);
  EXPECT_DOUBLE_EQ(a.OPTravel, b.OPTravel);
  EXPECT_EQ(a.Overshoot, b.Overshoot);
}

TEST(PerformanceIndices, TimeCountsInStepsWhateverTheClockDoes) {
  // The run's clock wraps to 0; the window goes on in steps of 0.5.
  PerformanceIndices pi;
  pi.Add(25044.5, 0, 0, 50, 1);
  pi.Add(25045, 10, 0, 50, 1);
  pi.Add(0, 10, 10, 50, 1);
  pi.Add(0.5, 10, 8, 50, 1);
  const PerformanceResults r = pi.Results();
  EXPECT_DOUBLE_EQ(r.WindowStart, 25045);
  EXPECT_DOUBLE_EQ(r.WindowLength, 1.0);
  EXPECT_NEAR(r.ITAE, (0 * 10 + 0.5 * 0 + 1.0 * 2) * 0.5, 1e-12);
}

}  // namespace
}  // namespace qx::analysis
