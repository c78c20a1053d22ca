// The alarms through the application: a case's companion file read on open
// and written beside the saved case, a bad one reported with the case still
// loaded, the run hosts' feed, and the GUI thread's acknowledge and confirm.
#include <filesystem>
#include <fstream>

#include "AppFixture.h"
#include "persistence/AlarmFile.h"

namespace qx {
namespace {

using Log = std::vector<std::string>;

// Feeds the alarms as the window's and qxsim's run hosts do.
class AlarmRunHost : public test::StoppingRunHost {
 public:
  explicit AlarmRunHost(Application& app) : StoppingRunHost(app), app_(app) {}
  void RunStarting() override {
    StoppingRunHost::RunStarting();
    app_.Alarms().RunStarting();
  }
  void StepComputed() override { app_.Alarms().StepComputed(sim_.Model, sim_.Run.t); }

 private:
  Application& app_;
};

class LoopAlarmsApp : public ::testing::Test {
 protected:
  LoopAlarmsApp() : app(host, '.'), run(app) {
    app.StartUpState();
    test::WriteCaseFile(folder.File("start.pid"), test::StartingCaseListing());
  }
  void WriteCompanion(const std::string& text) {
    std::ofstream(folder.File("start.pid.alarms"), std::ios::binary) << text;
  }
  // A run of the starting case with a set-point step from 50 to 80 at
  // step 20: PV follows to 80 without overshoot.
  void RunWithStep(int64_t steps) {
    run.StopAtStep = steps;
    run.OnStep = [this](int64_t step) {
      if (step == 20) app.Model().SingleLoop.SPNew = 80;
    };
    app.OpenCaseFile(folder.File("start.pid"), run);
  }
  test::WorkingFolder folder;
  test::FakeAppHost host;
  Application app;
  AlarmRunHost run;
};

TEST_F(LoopAlarmsApp, CompanionFileIsReadOnOpenAndTheRunRaisesItsAlarms) {
  WriteCompanion("pv.high = 70\ndeviation.limit = 10\ndeviation.delay = 5\n");
  std::vector<std::string> log;
  app.Alarms().Set().SetListener([&](const AlarmStatus& s, AlarmChange change) {
    log.push_back(std::string(AlarmKindName(s.Kind)) + " " + AlarmStateName(s, change));
  });
  RunWithStep(200);
  EXPECT_EQ(app.Alarms().Set().Limits().High, 70);
  EXPECT_EQ(log, (Log{"deviation active", "level high", "deviation normal"}));
  EXPECT_TRUE(host.Log.end() == std::find_if(host.Log.begin(), host.Log.end(), [](const std::string& l) {
                return l.find("Alarm") != std::string::npos;
              }));
}

TEST_F(LoopAlarmsApp, BadCompanionFileIsNamedAndTheCaseStillLoads) {
  WriteCompanion("pv.high = 70\npv.low = abc\n");
  app.Model().SingleLoop.P = 9;
  app.OpenCaseFile(folder.File("start.pid"), run);
  EXPECT_NE(app.Model().SingleLoop.P, 9);  // the case was read
  EXPECT_EQ(app.Alarms().Set().Limits().High, 70);
  EXPECT_FALSE(app.Alarms().Set().Limits().Low);
  ASSERT_FALSE(host.Log.empty());
  EXPECT_NE(std::find(host.Log.begin(), host.Log.end(),
                      "box Quorvanex OPC Server: Alarm limits partly not read, defaults used:\n"
                      "start.pid.alarms line 2: pv.low = abc: not a number [error]"),
            host.Log.end())
      << testing::PrintToString(host.Log);
}

TEST_F(LoopAlarmsApp, SaveWritesTheLimitsBesideTheNewName) {
  WriteCompanion("pv.high = 70\n");
  app.OpenCaseFile(folder.File("start.pid"), run);
  AlarmLimits limits = app.Alarms().Set().Limits();
  limits.Deviation = 12;
  EXPECT_TRUE(app.SetAlarmLimits(limits).empty());
  host.SaveChoice = folder.File("renamed.pid");
  app.SaveCaseFileClick();
  const AlarmFileRead read = ReadAlarmFile(folder.File("renamed.pid.alarms"), 0, 100);
  EXPECT_TRUE(read.Problems.empty());
  EXPECT_EQ(read.Limits, limits);
  EXPECT_EQ(host.Log.back(), "box Quorvanex OPC Server: File Saved Successfully");
}

TEST_F(LoopAlarmsApp, RefusedLimitsChangeNothing) {
  app.OpenCaseFile(folder.File("start.pid"), run);
  AlarmLimits limits;
  limits.High = 180;
  EXPECT_EQ(app.SetAlarmLimits(limits), (Log{"pv.high = 180: outside the CV range 0 to 100"}));
  EXPECT_EQ(app.Alarms().Set().Limits(), AlarmLimits{});
}

TEST_F(LoopAlarmsApp, AcknowledgeThenConfirmFromTheGuiThread) {
  WriteCompanion("pv.high = 70\n");
  RunWithStep(200);
  const AlarmStatus& level = app.Alarms().Status(AlarmKind::Level);
  ASSERT_TRUE(level.Active);
  EXPECT_FALSE(level.Acked);
  EXPECT_EQ(app.ConfirmAlarm(AlarmKind::Level, ""), AlarmAnswer::NotAcked);
  const int changes = host.PanelChanges;
  EXPECT_EQ(app.AcknowledgeAlarm(AlarmKind::Level, "operator saw it"), AlarmAnswer::Done);
  EXPECT_EQ(host.PanelChanges, changes + 1);
  EXPECT_TRUE(level.Acked);
  EXPECT_EQ(level.Comment, "operator saw it");
  EXPECT_EQ(app.AcknowledgeAlarm(AlarmKind::Level, ""), AlarmAnswer::AlreadyAcked);
  EXPECT_EQ(app.ConfirmAlarm(AlarmKind::Level, "ok"), AlarmAnswer::Done);
  EXPECT_TRUE(level.Confirmed);
  EXPECT_EQ(app.AcknowledgeAlarm(AlarmKind::Saturation, ""), AlarmAnswer::Disabled);
}

}  // namespace
}  // namespace qx
