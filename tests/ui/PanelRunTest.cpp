#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "PanelFixture.h"

namespace qx {
namespace {

// The panel's own run host with scripted operator actions at given steps.
class PanelScriptHost : public PanelRunHost {
 public:
  using PanelRunHost::PanelRunHost;

  int64_t StopAtStep = 100;
  std::function<void(int64_t)> OnStepStart;
  std::function<void(int64_t)> OnPause;  // clicks while the step pauses
  std::vector<test::StepValues> Steps;
  std::vector<int> Pauses;
  std::vector<float> IntegratorRates;
  int RunsStarted = 0, RunsEnded = 0;
  bool StartedInsideARun = false;

  // Queued speed clicks go to the run wherever messages are processed, as
  // the window's and the headless runner's hosts deliver them.
  void ProcessMessages(MessagePoint point) override {
    DeliverSpeedClick(sim_.Model, panel_);
    if (point != MessagePoint::StepStart) return;
    const int64_t step = sim_.Run.StepsDone;
    if (OnStepStart) OnStepStart(step);
    if (step >= StopAtStep) sim_.Model.RunControl.StopRequested = true;
  }
  void StepComputed() override {
    const PIDLoop& s = sim_.Model.SingleLoop;
    Steps.push_back(test::StepValues{sim_.Run.StepsDone, sim_.Run.t, sim_.Run.StepIndex, s.SP,
                                     s.PV, s.PVRaw, s.OP, s.OPOut, s.OPNew, s.MV, s.ModelOutput,
                                     s.DelayedOutput, sim_.Signal.Total, s.TimeSinceExec == 0,
                                     s.Mode});
    IntegratorRates.push_back(s.IntegratorRate);
  }
  void Pause(int ms) override {
    Pauses.push_back(ms);
    if (OnPause) OnPause(sim_.Run.StepsDone);
    DeliverSpeedClick(sim_.Model, panel_);
  }
  void RunStarting() override {
    if (sim_.Run.Active) StartedInsideARun = true;
    ++RunsStarted;
    PanelRunHost::RunStarting();
  }
  void RunEnded() override { ++RunsEnded; }
};

class PanelRun : public ::testing::Test {
 protected:
  PanelRun() : host(sim, panel) {
    test::LoadTestCase(sim.Model, panel);
    sim.Random.Seed(31);
  }
  void Run(int64_t steps) {
    host.StopAtStep = steps;
    SinglePID1Click(sim, host);
  }
  LoopModel& m() { return sim.Model; }

  Simulation sim;
  OperatorPanel panel;
  PanelScriptHost host;
};

TEST_F(PanelRun, RunStartReadsTheControlsBack) {
  panel.SingleSPNew.Text = "60";
  panel.PSingle.Text = "2";
  Run(3);
  EXPECT_EQ(m().SingleLoop.SPNew, 60);
  EXPECT_EQ(LoadShared(m().SingleLoop.P), 2);
  // InitialValue takes the set point held before the controls are read.
  EXPECT_EQ(m().SingleLoop.InitialValue, 50);
  EXPECT_EQ(host.Steps[0].SP, 60);
  EXPECT_TRUE(panel.Layout.RunIndicatorOn);
}

TEST_F(PanelRun, TrackingDisplayShowsTheOutputWithOneDecimalInAuto) {
  m().SingleLoop.OPNew = 37.126f;
  ShowLoopValues(m(), panel);
  EXPECT_EQ(panel.SingleOPNew.Text, "37.13");
  panel.SingleInitialValveOpening.Text = "37.126";
  Run(2);
  EXPECT_EQ(panel.SingleOPNew.Text, "37.1");
}

TEST_F(PanelRun, TrackingDisplayShowsTheSetPointWithThreeDecimalsInManual) {
  manual_auto_selectClick(m(), panel);
  panel.SingleSPNew.Text = "42.5";
  Run(2);
  EXPECT_EQ(panel.SingleSPNew.Text, "50.000") << "the working SP (the run's start value)";
}

TEST_F(PanelRun, TrackingRewritesAnEditTheOperatorChangedWhileTheValueStays) {
  manual_auto_selectClick(m(), panel);
  std::string shownAfterEdit;
  host.OnStepStart = [&](int64_t step) {
    if (step == 5) panel.SingleSPNew.Text = "77";
    if (step == 6) shownAfterEdit = panel.SingleSPNew.Text;
  };
  Run(8);
  EXPECT_EQ(shownAfterEdit, "50.000");
}

// Tracking skips the formatting when the text would not change; each value
// must still show its own text.
TEST_F(PanelRun, TrackingShowsEachValuesTextInTurn) {
  const struct {
    float value;
    const char* text;
  } kOutputs[] = {{12.34f, "12.3"}, {12.31f, "12.3"}, {12.36f, "12.4"}, {12.25f, "12.2"},
                  {0.01f, "0.0"},   {-0.01f, "-0.0"}, {0.0f, "0.0"},    {100, "100.0"}};
  for (const auto& c : kOutputs) {
    host.ShowTrackedOutput(c.value);
    EXPECT_EQ(panel.SingleOPNew.Text, c.text) << c.value;
  }
  host.ShowTrackedSetPoint(50);
  host.ShowTrackedSetPoint(50.0004f);
  EXPECT_EQ(panel.SingleSPNew.Text, "50.000");
  host.ShowTrackedSetPoint(50.0006f);
  EXPECT_EQ(panel.SingleSPNew.Text, "50.001");
}

TEST_F(PanelRun, PickupReadsTheTuningEditsAndShowsThemNormalised) {
  host.OnStepStart = [&](int64_t step) {
    if (step == 5) {
      panel.PSingle.Text = "1.5.2";
      panel.ISingle.Text = "0";
      panel.PVNoise.Text = "2";
      panel.SingleSPNew.Text = "150";
      EnterKey(m(), panel);
    }
  };
  Run(6);
  EXPECT_EQ(LoadShared(m().SingleLoop.P), 1.5f);
  EXPECT_EQ(LoadShared(m().SingleLoop.I), 0.00001f);
  EXPECT_FLOAT_EQ(m().SingleLoop.PVNoise, 0.02f) << "divided by 100 once";
  EXPECT_EQ(m().SingleLoop.SPNew, 100);
  EXPECT_EQ(panel.PSingle.Text, "1.5000");
  EXPECT_EQ(panel.SingleSPNew.Text, "100.000");
  EXPECT_EQ(panel.PVNoise.Text, "2.0");
  EXPECT_EQ(host.Steps[5].SP, 100);
}

TEST_F(PanelRun, SpeedClickIsLostWhenEnterIsPressedBeforeTheNextStep) {
  host.OnStepStart = [&](int64_t step) {
    if (step == 2) {
      SpeedControlClick(m(), SpeedCommand::Slower);
      EnterKey(m(), panel);
    }
    if (step == 5) SpeedControlClick(m(), SpeedCommand::Slower);
  };
  Run(8);
  // Only the second click acts: a 100 ms pause from step 5 on.
  EXPECT_EQ(host.Pauses, (std::vector<int>{100, 100, 100}));
  EXPECT_EQ(m().RunControl.SleepMs, 100);
}

// Three clicks within one pause of the slowest speed: the run takes one per
// step, in the order given, none replaced by the one after it; an Enter
// before they are taken drops all of them.
TEST_F(PanelRun, SpeedClicksWithinOnePauseActOneAfterTheOther) {
  struct Case { bool enter; std::vector<int> pauses; };
  const Case cases[] = {
      {false, {600, 600, 500, 400, 300, 300, 300}},
      {true, {600, 600, 600, 600, 600, 600, 600}},
  };
  for (const Case& c : cases) {
    m().RunControl.SleepMs = 600;
    m().RunControl.SpeedLevel = 6;
    host.Pauses.clear();
    host.OnPause = [&](int64_t step) {
      if (step != 1) return;
      SpeedControlClick(m(), panel, SpeedCommand::Faster);
      SpeedControlClick(m(), panel, SpeedCommand::Faster);
      SpeedControlClick(m(), panel, SpeedCommand::Normal);
      if (c.enter) EnterKey(m(), panel);
    };
    Run(7);
    EXPECT_EQ(host.Pauses, c.pauses) << c.enter;
    EXPECT_EQ(panel.SpeedClicks.Count, 0) << c.enter;
  }
}

TEST_F(PanelRun, ApplyChangesDuringARunKeepsTheRunAndItsStartValues) {
  host.OnStepStart = [&](int64_t step) {
    if (step == 20) {
      panel.Gain.Text = "3";
      panel.SimTime.Text = "400";
      ApplyChangesButtonClick(sim, panel, host);
    }
  };
  Run(40);
  ASSERT_EQ(host.Steps.size(), 40u);
  EXPECT_EQ(host.Steps[21].t, 10.5f) << "same clock";
  EXPECT_FALSE(m().RunControl.ApplyInProgress);
  EXPECT_EQ(m().ProcessModel.Gain, 3);
  EXPECT_EQ(m().RunSettings.SimTime, 400);
  EXPECT_EQ(panel.SimTime.Text, "400");
  // A first-order process keeps the gain of the run's start: still steady.
  EXPECT_NEAR(m().SingleLoop.InputGain, 0.1f, 1e-7);
  for (int k = 20; k < 40; ++k) ASSERT_NEAR(host.Steps[k].PV, 50, 1e-4) << k;
}

TEST_F(PanelRun, ApplyChangesTurnsTheActionSignWithTheNewGainAtTheNextExecution) {
  for (const char* gain : {"1", "-1"}) {
    Simulation run;
    OperatorPanel controls;
    test::LoadTestCase(run.Model, controls);
    PanelScriptHost script(run, controls);
    script.StopAtStep = 12;
    script.OnStepStart = [&](int64_t step) {
      if (step == 10) {
        controls.Gain.Text = gain;
        controls.SingleSPNew.Text = "60";  // PV now 10 % below SP
        ApplyChangesButtonClick(run, controls, script);
      }
    };
    SinglePID1Click(run, script);
    ASSERT_EQ(script.Steps.size(), 12u);
    if (std::string(gain) == "1")
      EXPECT_GT(script.Steps[10].OP, 55) << "reverse action raises the output";
    else
      EXPECT_LT(script.Steps[10].OP, 45) << "direct action lowers it";
  }
}

TEST_F(PanelRun, ApplyChangesActsOnAnIntegratingProcessFromTheNextStep) {
  panel.TimeConstant1.Text = "0.5";  // integrating
  host.OnStepStart = [&](int64_t step) {
    if (step == 20) {
      panel.Gain.Text = "2";
      ApplyChangesButtonClick(sim, panel, host);
    }
  };
  Run(22);
  EXPECT_NEAR(host.IntegratorRates[19], 0, 1e-4);
  // Rate = Gain x MV + offset, the offset kept from the start (-1 x 50).
  EXPECT_NEAR(host.IntegratorRates[20], 2 * host.Steps[20].MV - 50, 1e-3);
}

TEST_F(PanelRun, StopSimulationDuringARunEndsItAtThatStep) {
  host.OnStepStart = [&](int64_t step) {
    if (step == 10) cmd_exitClick(m(), panel, [](std::string_view) { return true; });
  };
  Run(1000);
  EXPECT_EQ(host.Steps.size(), 10u);
  EXPECT_FALSE(sim.Buffers.Held());
  EXPECT_FALSE(panel.Layout.ModePageVisible);
  EXPECT_FALSE(m().RunControl.ChangesPending) << "the pending change was picked up";
}

TEST_F(PanelRun, StopSimulationAnsweredNoLetsTheRunGoOn) {
  host.OnStepStart = [&](int64_t step) {
    if (step == 10) cmd_exitClick(m(), panel, [](std::string_view) { return false; });
  };
  Run(30);
  EXPECT_EQ(host.Steps.size(), 30u);
  EXPECT_TRUE(panel.Layout.ModePageVisible);
}

// Stop and Start handled in one batch of events: the last one wins, and
// no run is ever started inside another.
TEST_F(PanelRun, StopAndStartInOneBatchGiveOneRunAtATime) {
  const auto yes = [](std::string_view) { return true; };
  struct Case {
    const char* name;
    std::function<void()> batch;
    int runs;
  } const cases[] = {
      {"stop then start", [&] { cmd_exitClick(m(), panel, yes); SinglePID1Click(sim, host); }, 2},
      {"start then stop", [&] { SinglePID1Click(sim, host); cmd_exitClick(m(), panel, yes); }, 1},
      {"start twice", [&] { SinglePID1Click(sim, host); SinglePID1Click(sim, host); }, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::LoadTestCase(sim.Model, panel);
    host.RunsStarted = host.RunsEnded = 0;
    host.StartedInsideARun = false;
    bool done = false;
    host.OnStepStart = [&](int64_t step) {
      if (step == 5 && !done) {
        done = true;
        c.batch();
      }
    };
    Run(20);
    EXPECT_EQ(host.RunsStarted, c.runs);
    EXPECT_EQ(host.RunsEnded, c.runs);
    EXPECT_FALSE(host.StartedInsideARun);
    EXPECT_FALSE(m().RunControl.RestartPending);
  }
}

}  // namespace
}  // namespace qx
