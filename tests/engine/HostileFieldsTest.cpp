#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "RunFixture.h"

namespace qx {
namespace {

// Values that a case file, a command-line override or another thread may
// store into a field in the middle of a run. None may make the run read or
// write outside its buffers, crash, or put an infinity or NaN into the
// values it computes. Run under the address sanitizer to see the accesses.
struct HostileStore {
  const char* name;
  std::function<void(LoopModel&)> store;
};

class HostileFields : public ::testing::TestWithParam<HostileStore> {};

TEST_P(HostileFields, RunGoesOnWithinItsBuffers) {
  Simulation sim;
  test::LoadTestCase(sim.Model);
  sim.Random.Seed(99);
  LoopModel& m = sim.Model;
  // Everything that moves: disturbances, noise, a dead time.
  m.ProcessModel.Delay = 2;
  m.DisturbanceModel.Gain = 1;
  m.DisturbanceModel.Tau1 = 3;
  m.DisturbanceModel.Delay = 1;
  m.DisturbanceModel2.Gain = 0.5f;
  m.DisturbanceModel2.Tau1 = 2;
  m.DisturbanceModel2.Tau2 = 2;
  m.DisturbanceModel2.Delay = 4;
  m.PulseSignal = SignalParams{1, 1, 0, 50081, 2, 3};
  m.RampSignal = SignalParams{1, 0, 0, 50081, 3, 0.5f};
  m.SineSignal = SignalParams{1, 0, 0, 50081, 1, 0.1f};
  m.RunSettings.DisturbanceNoise = 0.5f;
  m.SingleLoop.PVNoise = 0.02f;

  test::ScriptedHost host(sim);
  host.StopAtStep = 3000;
  host.OnStepStart = [&](int64_t step) {
    if (step == 500) GetParam().store(m);
    // The run keeps the loop's DelayIndex in step with its own position.
    if (step == 1500) m.SingleLoop.DelayIndex = 999999;
  };
  SinglePID1Click(sim, host);
  ASSERT_EQ(host.Steps.size(), 3000u);
  for (const test::StepValues& v : host.Steps) {
    ASSERT_TRUE(test::AllFinite(v)) << "step " << v.Step;
    ASSERT_GE(v.OPOut, 0);
    ASSERT_LE(v.OPOut, 100);
  }
  for (int count : host.SampleCounts) {
    ASSERT_GE(count, 0);
    ASSERT_LT(count, kTrendLength);
  }
}

// A window longer than the trend buffers (stored during the run, so no
// normalisation clamps it): the samples must still stay inside the buffers
// when the run goes on past 25100 samples.
TEST(HostileWindow, LongRunWithAnOversizedWindowStaysInsideTheTrends) {
  Simulation sim;
  test::LoadTestCase(sim.Model);
  test::ScriptedHost host(sim);
  host.StopAtStep = 52000;
  host.OnStepStart = [&](int64_t step) {
    if (step == 1) sim.Model.RunSettings.SimTime = 1e9f;
  };
  int largest = 0;
  host.OnPlot = [&](const RunBuffers& b, int count) {
    largest = std::max(largest, count);
    ASSERT_TRUE(std::isfinite(b.PVAt(count - 1)));
  };
  SinglePID1Click(sim, host);
  EXPECT_EQ(host.Steps.size(), 52000u);
  EXPECT_GT(largest, 20000);
  EXPECT_LT(largest, kTrendLength);
}

constexpr float kHuge = std::numeric_limits<float>::max();

INSTANTIATE_TEST_SUITE_P(
    Stores, HostileFields,
    ::testing::Values(
        HostileStore{"HugeDelay", [](LoopModel& m) { m.ProcessModel.Delay = 1e30f; }},
        HostileStore{"NegativeDelay", [](LoopModel& m) { m.ProcessModel.Delay = -1e30f; }},
        HostileStore{"NegativeDisturbanceDelays",
                     [](LoopModel& m) {
                       m.DisturbanceModel.Delay = -7;
                       m.DisturbanceModel2.Delay = -kHuge;
                     }},
        HostileStore{"DelayStepsOutOfRange",
                     [](LoopModel& m) { m.SingleLoop.DelaySteps = 999999; }},
        HostileStore{"NegativeDelaySteps",
                     [](LoopModel& m) { m.SingleLoop.DelaySteps = -999999; }},
        HostileStore{"Order99", [](LoopModel& m) { m.ProcessModel.Order = 99; }},
        HostileStore{"OrderNegative", [](LoopModel& m) { m.ProcessModel.Order = -4; }},
        HostileStore{"Order2WithoutSecondLag", [](LoopModel& m) { m.ProcessModel.Order = 2; }},
        HostileStore{"SimTime1e9", [](LoopModel& m) { m.RunSettings.SimTime = 1e9f; }},
        HostileStore{"SimTimeNegative", [](LoopModel& m) { m.RunSettings.SimTime = -5; }},
        HostileStore{"SimTimeHuge", [](LoopModel& m) { m.RunSettings.SimTime = kHuge; }},
        HostileStore{"ExecPeriodZero", [](LoopModel& m) { m.SingleLoop.ExecPeriod = 0; }},
        HostileStore{"EquationOutOfRange", [](LoopModel& m) { m.SingleLoop.Equation = 1000; }},
        HostileStore{"EmptyCVRange",
                     [](LoopModel& m) { m.SingleLoop.CVLow = m.SingleLoop.CVHigh = 50; }},
        HostileStore{"HugeGains",
                     [](LoopModel& m) {
                       StoreShared(m.SingleLoop.P, kHuge);
                       m.SingleLoop.D = kHuge;
                       m.ProcessModel.Gain = -kHuge;
                       m.DisturbanceModel.Gain = kHuge;
                     }},
        HostileStore{"HugeSignals",
                     [](LoopModel& m) {
                       m.PulseSignal.Size = kHuge;
                       m.RampSignal.Rate = kHuge;
                       m.SineSignal.Rate = kHuge;
                       m.RunSettings.DisturbanceNoise = kHuge;
                       m.SingleLoop.PVNoise = kHuge;
                     }},
        HostileStore{"PacingOutOfRange",
                     [](LoopModel& m) {
                       m.RunControl.SleepMs = 1e20f;
                       m.RunControl.SpeedLevel = std::numeric_limits<int>::min();
                     }},
        HostileStore{"ChangesPendingWithHugeFilter",
                     [](LoopModel& m) {
                       m.SingleLoop.FilterTimeConstant = kHuge;
                       m.RunControl.ChangesPending = true;
                     }}),
    [](const ::testing::TestParamInfo<HostileStore>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qx
