// The alarm rules on made-up responses: each alarm fed a signal that
// crosses its limit and comes back, step by step, with the transitions
// recorded as the transition log writes them.
#include "alarms/AlarmSet.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

namespace qx {
namespace {

constexpr double kStep = 0.5;

// One transition as "t state" (e.g. "2 high").
struct Recorder {
  std::vector<std::string> log;
  void Attach(AlarmSet& set) {
    set.SetListener([this](const AlarmStatus& s, AlarmChange change) {
      log.push_back(std::string(AlarmKindName(s.Kind)) + " " + AlarmNumberText(s.RunTime) + " " +
                    AlarmStateName(s, change));
    });
  }
};

// Feeds one value per step from t = 0; `signal` is PV for the level alarm,
// SP - PV (with SP 50) for the deviation, OP for the saturation.
std::vector<std::string> Feed(const AlarmLimits& limits, AlarmKind kind,
                             const std::vector<double>& signal) {
  AlarmSet set(kStep);
  set.Configure(limits);
  Recorder rec;
  rec.Attach(set);
  set.RunStarting();
  double t = 0;
  for (double v : signal) {
    switch (kind) {
      case AlarmKind::Level: set.Step(t, 50, v, 50); break;
      case AlarmKind::Deviation: set.Step(t, 50, 50 - v, 50); break;
      case AlarmKind::Saturation: set.Step(t, 50, 50, v); break;
    }
    t += kStep;
  }
  return rec.log;
}

AlarmLimits Level() {
  AlarmLimits l;
  l.LowLow = 10;
  l.Low = 20;
  l.High = 80;
  l.HighHigh = 90;
  l.LevelDeadband = 2;
  return l;
}
AlarmLimits Deviation(double delay) {
  AlarmLimits l;
  l.Deviation = 10;
  l.DeviationDelay = delay;
  l.DeviationDeadband = 1;
  return l;
}
AlarmLimits Saturation(double delay) {
  AlarmLimits l;
  l.SaturationDelay = delay;
  l.SaturationDeadband = 5;
  return l;
}

struct Case {
  const char* name;
  AlarmLimits limits;
  AlarmKind kind;
  std::vector<double> signal;
  std::vector<std::string> expected;
};

class AlarmRules : public ::testing::TestWithParam<Case> {};

TEST_P(AlarmRules, Transitions) {
  const Case& c = GetParam();
  EXPECT_EQ(Feed(c.limits, c.kind, c.signal), c.expected);
}

AlarmLimits HighOnly() {
  AlarmLimits l;
  l.High = 80;
  l.LevelDeadband = 2;
  return l;
}

INSTANTIATE_TEST_SUITE_P(
    Responses, AlarmRules,
    ::testing::Values(
        // Up through high and high-high, down again: each clears only past
        // its limit by the deadband, and high-high eases to high.
        Case{"LevelUpAndDown", Level(), AlarmKind::Level,
             {50, 80, 80.5, 89, 90.5, 89, 88.5, 79, 78.5, 50},
             {"level 1 high", "level 2 highhigh", "level 3.5 high", "level 4.5 normal"}},
        Case{"LevelDownAndUp", Level(), AlarmKind::Level,
             {50, 20, 19.5, 9.5, 11, 12.5, 21, 22.5},
             {"level 1 low", "level 1.5 lowlow", "level 2.5 low", "level 3.5 normal"}},
        // Exclusive: a jump past both limits raises only the worse one.
        Case{"LevelJumpPicksTheMostSevere", Level(), AlarmKind::Level, {50, 95, 50, 5, 50},
             {"level 0.5 highhigh", "level 1 normal", "level 1.5 lowlow", "level 2 normal"}},
        // Noise of +-1 around the limit inside the 2 deadband: one alarm,
        // no chatter, until PV is really back.
        Case{"NoChatterAtTheEdge", HighOnly(), AlarmKind::Level,
             {79, 81, 79, 81, 79.5, 80.5, 78.5, 79, 81, 77},
             {"level 0.5 high", "level 4.5 normal"}},
        // Without a high limit, high-high falls straight to normal.
        Case{"OnlyHighHigh",
             [] { AlarmLimits l; l.HighHigh = 90; l.LevelDeadband = 1; return l; }(),
             AlarmKind::Level, {91, 89.5, 88.5}, {"level 0 highhigh", "level 1 normal"}},
        // Deviation 12 for 1.5 time units with a delay of 2: nothing; then
        // long enough: active at the step that completes the delay.
        Case{"DeviationShorterThanDelay", Deviation(2), AlarmKind::Deviation,
             {0, 12, 12, 12, 12, 0, 12, 12, 12, 12, 12, 12},
             {"deviation 5 active"}},
        Case{"DeviationClearsPastDeadband", Deviation(0), AlarmKind::Deviation,
             {0, 10.5, 9.5, 10.5, 9, 8.9, 12},
             {"deviation 0.5 active", "deviation 2.5 normal", "deviation 3 active"}},
        // The sign of SP - PV does not matter.
        Case{"DeviationBelow", Deviation(0), AlarmKind::Deviation, {0, -11, 0},
             {"deviation 0.5 active", "deviation 1 normal"}},
        Case{"SaturationAtEitherEnd", Saturation(1), AlarmKind::Saturation,
             {50, 100, 100, 100, 97, 94, 0, 0, 0, 0, 4, 6},
             {"saturation 1.5 active", "saturation 2.5 normal", "saturation 4 active",
              "saturation 5.5 normal"}},
        // Leaving the end for one step restarts the delay.
        Case{"SaturationDelayRestarts", Saturation(1), AlarmKind::Saturation,
             {100, 100, 99, 100, 100, 100}, {"saturation 2.5 active"}},
        Case{"OffByDefault", AlarmLimits{}, AlarmKind::Level, {0, 100, 1e9, -1e9}, {}}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(AlarmAcknowledge, UnackedFromActivationUntilAckThenConfirm) {
  AlarmSet set(kStep);
  set.Configure(HighOnly());
  Recorder rec;
  rec.Attach(set);
  const AlarmStatus& s = set.Status(AlarmKind::Level);
  EXPECT_TRUE(s.Enabled);
  EXPECT_EQ(set.Acknowledge(AlarmKind::Level, "", 0.5), AlarmAnswer::AlreadyAcked);
  set.Step(0, 50, 85, 50);
  EXPECT_TRUE(s.Active);
  EXPECT_FALSE(s.Acked);
  EXPECT_FALSE(s.Confirmed);
  EXPECT_EQ(s.Message, "PV high: 85 > 80");
  EXPECT_EQ(s.Value, 85);
  EXPECT_EQ(s.LimitValue, 80);
  EXPECT_EQ(s.Severity, 500);
  EXPECT_EQ(set.Confirm(AlarmKind::Level, "", 0.5), AlarmAnswer::NotAcked);
  // Cleared but not yet acknowledged: the operator still has to answer it.
  set.Step(0.5, 50, 50, 50);
  EXPECT_FALSE(s.Active);
  EXPECT_FALSE(s.Acked);
  const uint64_t before = s.Transitions;
  EXPECT_EQ(set.Acknowledge(AlarmKind::Level, "seen", 0.5), AlarmAnswer::Done);
  EXPECT_TRUE(s.Acked);
  EXPECT_EQ(s.Comment, "seen");
  EXPECT_EQ(s.RunTime, 0.5);
  EXPECT_GT(s.Transitions, before);
  EXPECT_EQ(set.Acknowledge(AlarmKind::Level, "", 0.5), AlarmAnswer::AlreadyAcked);
  EXPECT_EQ(set.Confirm(AlarmKind::Level, "fixed", 0.5), AlarmAnswer::Done);
  EXPECT_TRUE(s.Confirmed);
  EXPECT_EQ(set.Confirm(AlarmKind::Level, "", 0.5), AlarmAnswer::AlreadyConfirmed);
  EXPECT_EQ(set.Acknowledge(AlarmKind::Deviation, "", 0.5), AlarmAnswer::Disabled);
  EXPECT_EQ(rec.log, (std::vector<std::string>{"level 0 high", "level 0.5 normal",
                                                "level 0.5 acked", "level 0.5 confirmed"}));
}

TEST(AlarmMessages, SignalInFourFiguresLimitAsSet) {
  AlarmSet set(kStep);
  AlarmLimits l = Level();
  l.High = 80.125;
  set.Configure(l);
  set.Step(0, 50, 80.1328369140625, 50);
  EXPECT_EQ(set.Status(AlarmKind::Level).Message, "PV high: 80.13 > 80.125");
  set.Step(0.5, 50, 5.25, 50);
  EXPECT_EQ(set.Status(AlarmKind::Level).Message, "PV low-low: 5.25 < 10");
  set.Step(1, 50, 50, 50);
  EXPECT_EQ(set.Status(AlarmKind::Level).Message, "PV normal: 50");
}

TEST(AlarmAcknowledge, WorseLimitWantsAttentionAgainEasingDoesNot) {
  AlarmSet set(kStep);
  set.Configure(Level());
  const AlarmStatus& s = set.Status(AlarmKind::Level);
  set.Step(0, 50, 85, 50);
  set.Acknowledge(AlarmKind::Level, "", 0.5);
  set.Step(0.5, 50, 95, 50);
  EXPECT_EQ(s.Limit, LevelLimit::HighHigh);
  EXPECT_FALSE(s.Acked);
  EXPECT_EQ(s.Severity, 800);
  set.Acknowledge(AlarmKind::Level, "", 0.5);
  set.Step(1, 50, 85, 50);
  EXPECT_EQ(s.Limit, LevelLimit::High);
  EXPECT_TRUE(s.Acked);
  EXPECT_EQ(s.Severity, 500);
  EXPECT_EQ(s.LimitValue, 80);
}

TEST(AlarmAcknowledge, NewRunStartsNormalAndAcked) {
  AlarmSet set(kStep);
  set.Configure(HighOnly());
  set.Step(0, 50, 85, 50);
  const uint64_t before = set.Status(AlarmKind::Level).Transitions;
  set.RunStarting();
  const AlarmStatus& s = set.Status(AlarmKind::Level);
  EXPECT_FALSE(s.Active);
  EXPECT_TRUE(s.Acked);
  EXPECT_TRUE(s.Enabled);
  EXPECT_GT(s.Transitions, before);
}


// The run hosts feed the loop's single-precision values through
// StepFromLoop, whose quiet steps compare against a window fitted to the
// set point instead of running the rules. It must answer exactly as Step at
// every step: fed values at and one float beside every limit (limits that
// no float holds, so the window's rounding matters), the deviation's edges
// around a moving SP, NaN and infinities, both give the same transitions.
TEST(AlarmSet, LoopFeedAnswersAsTheFullStepAtEveryEdge) {
  AlarmLimits l;
  l.LowLow = 10.1;
  l.Low = 20.3;
  l.High = 80.7;
  l.HighHigh = 90.9;
  l.LevelDeadband = 0.3;
  l.Deviation = 7.7;
  l.DeviationDelay = 1;
  l.DeviationDeadband = 0.2;
  l.SaturationDelay = 0.5;
  l.SaturationDeadband = 0.1;

  const float inf = std::numeric_limits<float>::infinity();
  const float setPoints[] = {50.3f, 50.3f, 61.7f, 12.9f, 88.1f};
  std::vector<float> pvEdges = {std::numeric_limits<float>::quiet_NaN(), inf, -inf};
  for (double limit : {*l.LowLow, *l.Low, *l.High, *l.HighHigh})
    for (double x : {limit, limit - l.LevelDeadband, limit + l.LevelDeadband}) pvEdges.push_back(float(x));
  const std::vector<float> opEdges = {0.0f, 100.0f, 50.0f, std::numeric_limits<float>::quiet_NaN(),
                                      std::nextafter(0.0f, 1.0f), std::nextafter(100.0f, 0.0f), -inf};

  AlarmSet full(kStep), loop(kStep);
  full.Configure(l);
  loop.Configure(l);
  Recorder fullLog, loopLog;
  fullLog.Attach(full);
  loopLog.Attach(loop);
  uint32_t state = 12345;
  const auto next = [&state](uint32_t n) {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) % n;
  };
  double t = 0;
  for (int i = 0; i < 200000; ++i, t += kStep) {
    const float sp = setPoints[(i / 5000) % std::size(setPoints)];
    std::vector<float> pvs = pvEdges;
    for (double dev : {*l.Deviation, *l.Deviation - l.DeviationDeadband}) {
      pvs.push_back(float(sp + dev));
      pvs.push_back(float(sp - dev));
    }
    float pv = next(4) == 0 ? sp : pvs[next(static_cast<uint32_t>(pvs.size()))];
    const int nudge = static_cast<int>(next(5)) - 2;  // up to two floats either side
    for (int k = 0; k < std::abs(nudge); ++k) pv = std::nextafter(pv, nudge > 0 ? inf : -inf);
    const float op = next(3) == 0 ? opEdges[next(static_cast<uint32_t>(opEdges.size()))] : 50.0f;
    ASSERT_EQ(full.Step(t, sp, pv, op), loop.StepFromLoop(t, sp, pv, op))
        << "step " << i << ": SP " << sp << " PV " << pv << " OP " << op;
  }
  EXPECT_EQ(fullLog.log, loopLog.log);
  EXPECT_GT(fullLog.log.size(), 1000u);  // the feed did cross the limits
}

}  // namespace
}  // namespace qx
