#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "engine/ControlStructure.h"
#include "engine/RunControlCodes.h"
#include "RunFixture.h"

namespace qx {
namespace {

using test::ScriptedHost;

class RunLoopTest : public ::testing::Test {
 protected:
  RunLoopTest() : host(sim) {
    test::LoadTestCase(sim.Model);
    sim.Random.Seed(4242);
  }
  // Runs `steps` complete steps.
  void Run(int64_t steps) {
    host.StopAtStep = steps;
    SinglePID1Click(sim, host);
  }
  LoopModel& m() { return sim.Model; }
  PIDLoop& single() { return sim.Model.SingleLoop; }

  Simulation sim;
  ScriptedHost host;
};

TEST_F(RunLoopTest, SamplesAndPublishesAtEveryOtherStepFromTheFirst) {
  Run(9);
  EXPECT_EQ(host.PublishedAt, (std::vector<int64_t>{0, 2, 4, 6, 8}));
  EXPECT_EQ(host.SampleCounts, (std::vector<int>{1, 1, 2, 2, 3, 3, 4, 4, 5}));
  EXPECT_EQ(host.Steps.size(), 9u);
  EXPECT_EQ(host.RunStartingCalls, 1);
  EXPECT_EQ(host.RunEndedCalls, 1);
  EXPECT_FALSE(sim.Buffers.Held()) << "a run releases its buffers when it ends";
}

TEST_F(RunLoopTest, SteadyStartStaysSteady) {
  Run(200);
  for (const test::StepValues& v : host.Steps) {
    ASSERT_NEAR(v.PV, 50, 1e-4) << v.Step;
    ASSERT_NEAR(v.OPOut, 50, 1e-4) << v.Step;
    ASSERT_NEAR(v.MV, 50, 1e-4) << v.Step;
  }
}

TEST_F(RunLoopTest, ClosedLoopSettlesAtANewSetPoint) {
  host.OnStepStart = [&](int64_t step) {
    if (step == 10) single().SPNew = 60;  // as the master link stores it
  };
  Run(3000);
  const test::StepValues& last = host.Steps.back();
  EXPECT_NEAR(last.SP, 60, 1e-6);
  EXPECT_NEAR(last.PV, 60, 0.01);
  EXPECT_NEAR(last.OPOut, 60, 0.05);  // gain 1: the valve moves by the SP change
}

TEST_F(RunLoopTest, WindowOf200IsCompactedToTheNewest100SamplesEvery200Steps) {
  single().PVNoise = 0.05f;  // distinct samples
  std::vector<float> before;
  host.OnPlot = [&](const RunBuffers& b, int count) {
    if (count == 200) {
      before.clear();
      for (int i = 0; i < 200; ++i) before.push_back(b.PVAt(i));
    } else if (count == 100 && before.size() == 200) {
      for (int i = 0; i < 100; ++i) ASSERT_EQ(b.PVAt(i), before[100 + i]) << i;
      before.clear();
    }
  };
  Run(1000);
  ASSERT_EQ(host.SampleCounts.size(), 1000u);
  EXPECT_EQ(host.SampleCounts[398], 200);
  for (int step : {399, 599, 799, 999}) {
    EXPECT_EQ(host.SampleCounts[step - 1], 200) << step;
    EXPECT_EQ(host.SampleCounts[step], 100) << step;
  }
  for (int step = 400; step < 1000; ++step) {
    ASSERT_GE(host.SampleCounts[step], 100);
    ASSERT_LE(host.SampleCounts[step], 200);
  }
}

TEST_F(RunLoopTest, NewestSampleIsFilledAheadToEntry1999DuringTheRun) {
  single().PVNoise = 0.05f;
  int checked = 0;
  host.OnPlot = [&](const RunBuffers& b, int count) {
    const int newest = count - 1;
    for (int i : {count, 1000, 1999}) {
      ASSERT_EQ(b.PVAt(i), b.PVAt(newest));
      ASSERT_EQ(b.SPAt(i), b.SPAt(newest));
      ASSERT_EQ(b.OutputAt(i), b.OutputAt(newest));
    }
    ++checked;
  };
  Run(300);
  EXPECT_EQ(checked, 300);
}

TEST_F(RunLoopTest, ClockWrapsAfterStepIndex50090) {
  m().ProcessModel.Delay = 3;
  m().RampSignal = SignalParams{1, 0, 0, 50081, 10, 1};
  m().DisturbanceModel.Gain = 0.5f;
  m().DisturbanceModel.Tau1 = 5;
  std::vector<std::pair<int64_t, float>> sampleTimes;
  host.OnPlot = [&](const RunBuffers& b, int count) {
    const int64_t step = sim.Run.StepsDone;
    if (step >= 50088 && step % 2 == 0) sampleTimes.emplace_back(step, b.TimeTrend[count - 1]);
  };
  Run(50110);
  const auto& s = host.Steps;
  ASSERT_EQ(s.size(), 50110u);
  EXPECT_EQ(s[50090].StepIndex, 50090);
  EXPECT_FLOAT_EQ(s[50090].t, 25045);
  EXPECT_EQ(s[50091].StepIndex, 0);
  EXPECT_EQ(s[50091].t, 0);
  EXPECT_EQ(s[50092].t, 0.5f);
  // The dead time shows InitialValue again for its 6 steps.
  EXPECT_NE(s[50090].DelayedOutput, 50);
  for (int k = 50091; k < 50097; ++k) EXPECT_EQ(s[k].DelayedOutput, 50) << k;
  EXPECT_NE(s[50097].DelayedOutput, 50);
  // The signal generator starts again: the ramp is 0 at clock 0, then rises.
  EXPECT_GT(s[50090].D, 0);
  EXPECT_EQ(s[50091].D, 0);
  EXPECT_NEAR(s[50092].D, 0.5f, 1e-6);
  // Trend sample times start again from DataStart (0).
  ASSERT_GE(sampleTimes.size(), 3u);
  EXPECT_EQ(sampleTimes[0], std::make_pair(int64_t{50088}, 25044.0f));
  EXPECT_EQ(sampleTimes[1], std::make_pair(int64_t{50090}, 25045.0f));
  EXPECT_EQ(sampleTimes[2], std::make_pair(int64_t{50092}, 0.5f));
  // Sampling keeps counting steps from the start of the run.
  EXPECT_EQ(host.PublishedAt.back() % 2, 0);
  EXPECT_EQ(host.PublishedAt.size(), 50110u / 2);
}

TEST_F(RunLoopTest, ModelOutputBeyond1e25SetsTheClockToSimTimePlus1) {
  single().CVLow = -1e35f;
  single().CVHigh = 1e35f;
  single().SPNew = 1e30f;
  NormaliseLoopParameters(m());
  Run(4);
  for (const auto& v : host.Steps) {
    EXPECT_EQ(v.t, 201) << v.Step;  // set within the step, before the clock advances
    EXPECT_TRUE(test::AllFinite(v)) << v.Step;
  }
}

TEST_F(RunLoopTest, ControllerExecutesEveryExecPeriod) {
  single().ExecPeriod = 2;
  Run(20);
  std::vector<int64_t> executed;
  for (const auto& v : host.Steps)
    if (v.Executed) executed.push_back(v.Step);
  EXPECT_EQ(executed, (std::vector<int64_t>{0, 4, 8, 12, 16}));
}

TEST_F(RunLoopTest, ManualHoldsTheOperatorsOutputAndAutoContinuesFromIt) {
  m().RunControl.SingleModeSelect = 0;
  host.OnStepStart = [&](int64_t step) {
    if (step == 1) single().OPNew = 25;
    if (step == 20) m().RunControl.SingleModeSelect = 1;
  };
  Run(40);
  const auto& s = host.Steps;
  EXPECT_EQ(s[0].OPOut, 50);
  for (int k = 1; k < 20; ++k) {
    ASSERT_EQ(s[k].OPOut, 25) << k;
    ASSERT_EQ(s[k].Mode, 0) << k;
  }
  EXPECT_EQ(s[20].Mode, 1);
  // The PV has fallen far from the set point, yet the first automatic output
  // moves only by one execution's change from 25.
  EXPECT_LT(s[19].PV, 40);
  EXPECT_NEAR(s[20].OP, 25, 2) << "Auto starts the controller from the manual output";
}

TEST_F(RunLoopTest, SwitchToManualKeepsTheOutputAsItStoodBeforeTheLastExecution) {
  host.OnStepStart = [&](int64_t step) {
    if (step == 1) single().SPNew = 55;
    if (step == 20) m().RunControl.SingleModeSelect = 0;
  };
  Run(30);
  const auto& s = host.Steps;
  ASSERT_NE(s[18].OP, s[19].OP) << "the output moves in Auto";
  // Tracking (OPNew = OP) comes before the execution within a step, so the
  // output kept in Manual is the one of two steps before the switch.
  for (int k = 20; k < 30; ++k) ASSERT_EQ(s[k].OP, s[18].OP) << k;
}

TEST_F(RunLoopTest, CascadeRecordFollowsTheSetPointInPercent) {
  single().CVHigh = 200;
  single().SPNew = 60;
  NormaliseLoopParameters(m());
  Run(5);
  EXPECT_FLOAT_EQ(m().CascadeLoop.InitialValveOpening, 30);
  EXPECT_FLOAT_EQ(m().CascadeLoop.OP, 30);
  EXPECT_FLOAT_EQ(m().CascadeLoop.OPOut, 30);
  EXPECT_EQ(m().CascadeLoop.Mode, 0);
}

TEST_F(RunLoopTest, TrackingDisplayIsWrittenEveryCascadeExecPeriod) {
  m().CascadeLoop.ExecPeriod = 5;
  host.OnStepStart = [&](int64_t step) {
    if (step == 1) single().SPNew = 55;
  };
  Run(40);
  EXPECT_EQ(host.TrackedAt, (std::vector<int64_t>{0, 10, 20, 30}));
  ASSERT_EQ(host.TrackedOutputs.size(), 4u);
  EXPECT_TRUE(host.TrackedSetPoints.empty());
  // In Auto the display shows OPNew, which then equals OP.
  EXPECT_EQ(host.TrackedOutputs[2], host.Steps[19].OP);

  ScriptedHost manual(sim);
  manual.StopAtStep = 12;
  m().RunControl.SingleModeSelect = 0;
  SinglePID1Click(sim, manual);
  EXPECT_EQ(manual.TrackedAt, (std::vector<int64_t>{0, 10}));
  ASSERT_EQ(manual.TrackedSetPoints.size(), 2u);
  EXPECT_EQ(manual.TrackedSetPoints[1], manual.Steps[10].SP);
  EXPECT_TRUE(manual.TrackedOutputs.empty());
}

TEST_F(RunLoopTest, OutputStepStartsTheRunAtInitialOpeningPlusStep) {
  single().OPStep = 10;
  Run(5);
  EXPECT_EQ(host.Steps[0].OPOut, 60);
  // One execution's change (a 0.5 % error: 0.5 + 0.025) from the stepped output.
  EXPECT_NEAR(host.Steps[1].OPOut, 60 - 0.525f, 1e-4) << "Auto continues from the stepped output";

  ScriptedHost manual(sim);
  manual.StopAtStep = 5;
  m().RunControl.SingleModeSelect = 0;
  SinglePID1Click(sim, manual);
  EXPECT_EQ(manual.Steps[0].OPOut, 60);
  EXPECT_EQ(manual.Steps[1].OPOut, 50) << "Manual returns to OPNew at the next step";
}

TEST_F(RunLoopTest, FilterActsFromTheFirstStepWithoutAPickup) {
  single().FilterTimeConstant = 2;
  host.OnStepStart = [&](int64_t step) {
    if (step == 0) {
      EXPECT_EQ(single().FilterRate, 0.5f);
    }
  };
  Run(2);
  EXPECT_EQ(single().FilterRate, 0.5f);
}

TEST_F(RunLoopTest, ApplyInProgressOrAStopPreventsTheRun) {
  single().PV = 77;
  m().RunControl.ApplyInProgress = true;
  RunSimulation(sim, host);
  EXPECT_TRUE(host.Steps.empty());
  EXPECT_FALSE(sim.Buffers.Held());
  EXPECT_EQ(single().PV, 77) << "nothing changes";
  EXPECT_EQ(host.RunEndedCalls, 0);

  m().RunControl.ApplyInProgress = false;
  m().RunControl.StopRequested = true;
  RunSimulation(sim, host);
  EXPECT_TRUE(host.Steps.empty());
  EXPECT_EQ(single().PV, 77);
}

TEST_F(RunLoopTest, StopDuringTheFirstMessagesStillPicksUpChangesButRecordsNoSample) {
  StoreShared(single().I, 0);
  host.OnStepStart = [&](int64_t step) {
    if (step == 4) m().RunControl.ChangesPending = true;
  };
  Run(4);  // the stop is requested at step 4 as well
  EXPECT_EQ(host.ReadTuningCalls, 1);
  EXPECT_FALSE(m().RunControl.ChangesPending);
  EXPECT_EQ(single().I, 0.00001f);
  EXPECT_EQ(host.PublishedAt, (std::vector<int64_t>{0, 2}));
  EXPECT_EQ(host.Steps.size(), 4u);
}

TEST_F(RunLoopTest, PickupRaisesIToTheFloorAndRederivesWhatDependsOnTheTuning) {
  StoreShared(single().I, 0);
  m().CascadeLoop.I = 0;
  host.OnStepStart = [&](int64_t step) {
    if (step == 5) {
      single().SPNew = 40;
      single().FilterTimeConstant = 4;
      m().RunControl.ChangesPending = true;
    }
  };
  Run(6);
  EXPECT_EQ(single().I, 0.00001f);
  EXPECT_EQ(m().CascadeLoop.I, 0.00001f);
  EXPECT_EQ(single().InitialValue, 40);
  EXPECT_EQ(single().FilterRate, 0.25f);
  EXPECT_FLOAT_EQ(m().CascadeLoop.InitialValveOpening, 40);
  EXPECT_FALSE(m().RunControl.ChangesPending);
}

TEST_F(RunLoopTest, RunStartingWithIZeroUsesTheFloorAndKeepsTheStoredI) {
  StoreShared(single().I, 0);
  host.OnStepStart = [&](int64_t step) {
    if (step == 2) single().SPNew = 51;
  };
  Run(50);
  for (const auto& v : host.Steps) {
    ASSERT_TRUE(test::AllFinite(v)) << v.Step;
    ASSERT_GE(v.OP, 0);
    ASSERT_LE(v.OP, 100);
  }
  // A 1 % error divided by the floor drives the output to its limit.
  EXPECT_EQ(host.Steps[2].OP, 100);
  EXPECT_EQ(single().I, 0) << "only a pickup raises the stored I";
}

TEST_F(RunLoopTest, SpeedCommandsStepThePauseBetween0And600) {
  auto click = [&](int command) {
    m().RunControl.SpeedCommand = command;
    m().RunControl.SpeedChangeEnabled = true;
    m().RunControl.SpeedCommandPending = true;
  };
  host.OnStepStart = [&](int64_t step) {
    if (step == 1) click(1);                // faster at full speed: nothing
    if (step >= 2 && step <= 8) click(3);   // slower seven times
    if (step == 9) click(1);                // faster
    if (step == 10) click(2);               // normal
  };
  Run(12);
  EXPECT_EQ(host.Pauses, (std::vector<int>{100, 200, 300, 400, 500, 600, 600, 500, 300, 300}));
  EXPECT_EQ(m().RunControl.SleepMs, 300);
  EXPECT_EQ(m().RunControl.SpeedLevel, 3);
  EXPECT_FALSE(m().RunControl.SpeedChangeEnabled) << "cleared when the run ends";
}

// A click may come while the run processes messages at the start of a step,
// around its pacing, or while it pauses (where most of a slow step's time
// goes). At every speed, each acts exactly once: a click at the start of a
// step in that step, a later one in the next step.
TEST_F(RunLoopTest, SpeedClickActsOnceWhenItComesAtEveryPointOfAStepAtEverySpeed) {
  enum class When { StepStart, Pacing, Pause };
  struct Command { int code; int levelAfter[7]; };
  const Command commands[] = {
      {1, {0, 0, 1, 2, 3, 4, 5}},  // faster
      {2, {3, 3, 3, 3, 3, 3, 3}},  // normal
      {3, {1, 2, 3, 4, 5, 6, 6}},  // slower
  };
  constexpr int64_t kClickStep = 3;
  for (int level = 0; level <= 6; ++level) {
    for (const Command& command : commands) {
      for (When when : {When::StepStart, When::Pacing, When::Pause}) {
        if (when == When::Pause && level == 0) continue;  // the fastest speed does not pause
        Simulation run;
        test::LoadTestCase(run.Model);
        ScriptedHost clicking(run);
        RunControlRecord& c = run.Model.RunControl;
        c.SleepMs = static_cast<float>(100 * level);
        c.SpeedLevel = level;
        std::vector<int> levelAtStepStart;
        auto clickAt = [&](When at, int64_t step) {
          if (at != when || step != kClickStep) return;
          c.SpeedCommand = command.code;
          c.SpeedChangeEnabled = true;
          c.SpeedCommandPending = true;
        };
        clicking.OnStepStart = [&](int64_t step) {
          levelAtStepStart.push_back(c.SpeedLevel);
          clickAt(When::StepStart, step);
        };
        clicking.OnPacing = [&](int64_t step) { clickAt(When::Pacing, step); };
        clicking.OnPause = [&](int64_t step) { clickAt(When::Pause, step); };
        clicking.StopAtStep = 10;
        SinglePID1Click(run, clicking);

        const int64_t actsIn = when == When::StepStart ? kClickStep : kClickStep + 1;
        const int after = command.levelAfter[level];
        ASSERT_EQ(levelAtStepStart.size(), 11u);
        for (int64_t step = 0; step <= 10; ++step)
          EXPECT_EQ(levelAtStepStart[step], step <= actsIn ? level : after)
              << "level " << level << ", command " << command.code << ", click at "
              << static_cast<int>(when) << ", step " << step;
        EXPECT_EQ(c.SleepMs, 100.0f * after) << level << " " << command.code;
        EXPECT_FALSE(c.SpeedCommandPending);
      }
    }
  }
}

TEST(ApplySpeedCommand, LevelStaysAtAnIntLimitAStoreLeftItAt) {
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  struct Case { SpeedCommand command; float sleepMs; int32_t level; float sleepAfter; int32_t levelAfter; };
  const Case cases[] = {
      {SpeedCommand::Faster, 300, kMin, 200, kMin},
      {SpeedCommand::Slower, 300, kMax, 400, kMax},
      {SpeedCommand::Faster, 300, kMax, 200, kMax - 1},
      {SpeedCommand::Slower, 300, kMin, 400, kMin + 1},
  };
  for (const Case& c : cases) {
    RunControlRecord control{};
    control.SpeedChangeEnabled = true;
    control.SpeedCommand = FieldCode(c.command);
    control.SleepMs = c.sleepMs;
    control.SpeedLevel = c.level;
    ApplySpeedCommand(control);
    EXPECT_EQ(control.SleepMs, c.sleepAfter) << c.level;
    EXPECT_EQ(control.SpeedLevel, c.levelAfter) << c.level;
  }
}

TEST_F(RunLoopTest, SpeedCommandWithoutSpeedChangeEnabledIsDropped) {
  host.OnStepStart = [&](int64_t step) {
    if (step == 1) {
      m().RunControl.SpeedCommand = 3;
      m().RunControl.SpeedCommandPending = true;
      m().RunControl.SpeedChangeEnabled = false;  // as after a read of the inputs
    }
  };
  Run(4);
  EXPECT_TRUE(host.Pauses.empty());
  EXPECT_EQ(m().RunControl.SleepMs, 0);
  EXPECT_FALSE(m().RunControl.SpeedCommandPending);
}

TEST_F(RunLoopTest, StopDuringPacingEndsTheRunAfterThatStep) {
  host.OnPacing = [&](int64_t step) {
    if (step == 6) m().RunControl.StopRequested = true;
  };
  Run(100);
  EXPECT_EQ(host.Steps.size(), 7u);
  EXPECT_EQ(host.SampleCounts.size(), 7u) << "the redraw of that step still happens";
}

}  // namespace
}  // namespace qx
