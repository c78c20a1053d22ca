// The loop object's writes and methods through the application's server:
// what each does to the model and the panel once the GUI thread has
// delivered it, and that a refused one changes nothing.
#include <atomic>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "AppFixture.h"
#include "PanelFixture.h"
#include "engine/FieldTable.h"
#include "engine/RunControlCodes.h"
#include "opc/OPCServer.h"
#include "opcua/Client.h"

namespace qx {
namespace {

namespace status = opcua::status;
using opcua::Variant;

opcua::NodeId LoopNodeId(const std::string& name) { return opcua::NodeId(1, "Loop" + (name.empty() ? "" : "." + name)); }

// Every model field and every edit's text, to see that nothing changed.
std::string ModelAndPanel(Application& app) {
  std::string out;
  for (const FieldInfo& field : AllFields()) out += FieldValueText(app.Model(), field) + ";";
  OperatorPanel& p = app.Panel();
  for (const EditControl* edit : {&p.PSingle, &p.ISingle, &p.DSingle, &p.SingleSPNew, &p.SingleOPNew})
    out += edit->Text + ";";
  out += p.ModePanel.Caption + (p.CascadeModeCheckBox ? " cascade" : "");
  return out;
}

// A run host that tells the application of its runs' start and end, as the
// window's and qxsim's do.
class LoopRunHost final : public test::StoppingRunHost {
 public:
  explicit LoopRunHost(Application& app) : StoppingRunHost(app), app_(app) {}
  void RunStarting() override {
    StoppingRunHost::RunStarting();
    app_.RunStarting();
  }
  void RunEnded() override {
    StoppingRunHost::RunEnded();
    app_.RunEnded();
  }

 private:
  Application& app_;
};

class LoopObjectCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    test::LoadTestCase(app_.Model(), app_.Panel());  // CV range 0..100, SP 50, Auto
    endpoint_ = test::ServeOnFreePort(app_);
    ASSERT_FALSE(endpoint_.empty());
    std::string error;
    ASSERT_TRUE(client_.Connect(endpoint_, error)) << error;
    app_.UpdateLoopState();
  }

  opcua::StatusCode Write(const std::string& name, Variant value) {
    return client_.Write(LoopNodeId(name), value);
  }
  opcua::StatusCode Call(const std::string& method, std::vector<Variant> inputs = {}) {
    std::vector<Variant> outputs;
    return client_.CallMethod(LoopNodeId(""), LoopNodeId(method), std::move(inputs), outputs);
  }

  test::FakeAppHost host_;
  Application app_{host_, '.'};
  std::string endpoint_;
  opcua::Client client_;
};

TEST_F(LoopObjectCommands, EachActsAsTheOperatorsControlAndARefusalChangesNothing) {
  const LoopModel& m = app_.Model();
  const OperatorPanel& p = app_.Panel();
  const RunControlRecord& c = m.RunControl;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Step {
    const char* what;
    std::function<opcua::StatusCode()> act;
    opcua::StatusCode expected;
    std::function<void()> check = {};  // after the delivery, when Good
  };
  const Step steps[] = {
      {"SP := 62.5", [&] { return Write("SP", 62.5); }, status::Good,
       [&] {
         EXPECT_EQ(p.SingleSPNew.Text, "62.5");
         EXPECT_EQ(m.SingleLoop.SPNew, 62.5f);
         EXPECT_TRUE(c.ChangesPending) << "Enter asks the run to pick the change up";
       }},
      {"SP := 120 (above the CV range)", [&] { return Write("SP", 120.0); }, status::BadOutOfRange},
      {"SP := NaN", [&] { return Write("SP", nan); }, status::BadTypeMismatch},
      {"OP := 30 in Auto", [&] { return Write("OP", 30.0); }, status::BadNotWritable},
      {"P := 2.5", [&] { return Write("P", 2.5); }, status::Good,
       [&] {
         EXPECT_EQ(p.PSingle.Text, "2.5");
         EXPECT_EQ(LoadShared(m.SingleLoop.P), 2.5f);
       }},
      {"I := -1", [&] { return Write("I", -1.0); }, status::BadOutOfRange},
      {"D := \"1\" (a String)", [&] { return Write("D", Variant(std::string("1"))); }, status::BadTypeMismatch},
      {"D := 0.75", [&] { return Write("D", 0.75); }, status::Good, [&] { EXPECT_EQ(m.SingleLoop.D, 0.75f); }},
      {"StepSetPoint(-12.5)", [&] { return Call("StepSetPoint", {Variant(-12.5)}); }, status::Good,
       [&] { EXPECT_EQ(m.SingleLoop.SPNew, 50.0f); }},
      {"StepOutput(1) in Auto", [&] { return Call("StepOutput", {Variant(1.0)}); }, status::BadInvalidState},
      {"Mode := 0", [&] { return Write("Mode", Variant(uint32_t{0})); }, status::Good,
       [&] {
         EXPECT_EQ(c.SingleAutoState, FieldCode(LoopMode::Manual));
         EXPECT_EQ(p.ModePanel.Caption, "Manual");
         EXPECT_TRUE(p.SingleOPNew.Enabled);
       }},
      {"OP := 30 in Manual", [&] { return Write("OP", 30.0); }, status::Good,
       [&] {
         EXPECT_EQ(p.SingleOPNew.Text, "30");
         EXPECT_EQ(m.SingleLoop.OPNew, 30.0f);
       }},
      {"OP := 100.5", [&] { return Write("OP", 100.5); }, status::BadOutOfRange},
      {"SP := 40 in Manual", [&] { return Write("SP", 40.0); }, status::BadNotWritable},
      {"StepOutput(5)", [&] { return Call("StepOutput", {Variant(5.0)}); }, status::Good,
       [&] { EXPECT_EQ(m.SingleLoop.OPNew, 35.0f); }},
      {"StepOutput(70), beyond 100", [&] { return Call("StepOutput", {Variant(70.0)}); }, status::BadOutOfRange},
      {"StepOutput(infinity)",
       [&] { return Call("StepOutput", {Variant(std::numeric_limits<double>::infinity())}); },
       status::BadOutOfRange},
      {"StepSetPoint(1) in Manual", [&] { return Call("StepSetPoint", {Variant(1.0)}); }, status::BadInvalidState},
      {"Mode := 2", [&] { return Write("Mode", Variant(uint32_t{2})); }, status::Good,
       [&] {
         EXPECT_TRUE(p.CascadeModeCheckBox);
         EXPECT_EQ(c.SingleAutoState, FieldCode(LoopMode::Auto));
       }},
      {"Mode := 3", [&] { return Write("Mode", Variant(uint32_t{3})); }, status::BadOutOfRange},
      {"Mode := 1", [&] { return Write("Mode", Variant(int32_t{1})); }, status::Good,
       [&] {
         EXPECT_FALSE(p.CascadeModeCheckBox);
         EXPECT_EQ(p.ModePanel.Caption, "Auto");
       }},
      {"SetSpeed(6)", [&] { return Call("SetSpeed", {Variant(int32_t{6})}); }, status::Good,
       [&] {
         EXPECT_EQ(c.SpeedLevel, 0);
         EXPECT_EQ(c.SleepMs, 0.0f);
       }},
      {"SetSpeed(7)", [&] { return Call("SetSpeed", {Variant(int32_t{7})}); }, status::BadOutOfRange},
      {"SetSpeed(2.0), a Double", [&] { return Call("SetSpeed", {Variant(2.0)}); }, status::BadInvalidArgument},
      {"StepSetPoint()", [&] { return Call("StepSetPoint", {}); }, status::BadArgumentsMissing},
      {"StopRun while idle", [&] { return Call("StopRun"); }, status::BadInvalidState},
      {"StartRun before any case has run", [&] { return Call("StartRun"); }, status::BadInvalidState},
  };
  for (const Step& step : steps) {
    const std::string before = ModelAndPanel(app_);
    EXPECT_EQ(step.act(), step.expected) << step.what;
    app_.DeliverClientWrites();
    if (step.expected.IsGood()) {
      if (step.check) step.check();
    } else {
      EXPECT_EQ(ModelAndPanel(app_), before) << step.what << " changed something";
    }
  }
}

// "Stop Simulation" asks "End This Simulation?"; a client's stop does not.
TEST_F(LoopObjectCommands, AClientsStopEndsTheRunWithoutAQuestion) {
  LoopRunHost run(app_);
  app_.SetCommandRunHost(&run);
  run.StopAtStep = 100000;
  opcua::StatusCode stop = status::BadInternalError;
  run.OnStep = [&](int64_t step) {
    if (step == 6) stop = Call("StopRun");
  };
  app_.StartCaseRun(run);
  EXPECT_EQ(stop, status::Good);
  ASSERT_EQ(run.Runs.size(), 2u);
  EXPECT_LT(std::stoll(run.Runs[1].substr(std::string("end at step ").size())), 10) << run.Runs[1];
  for (const std::string& line : host_.Log) EXPECT_EQ(line.rfind("ask:", 0), std::string::npos) << line;
  EXPECT_FALSE(app_.Panel().Layout.ModePageVisible) << "the window is back in its idle layout";
  EXPECT_EQ(Call("StopRun"), status::BadInvalidState);
  app_.SetCommandRunHost(nullptr);
}

// StartRun while the GUI thread is idle wakes it; the delivery runs the loop
// again with the values the panel holds.
TEST_F(LoopObjectCommands, AClientsStartWakesTheIdleGuiThreadAndRunsTheLoop) {
  LoopRunHost run(app_);
  app_.SetCommandRunHost(&run);
  run.StopAtStep = 4;
  std::atomic<int> wakes{0};
  app_.SetClientWriteWake([&] { ++wakes; });
  EXPECT_EQ(Call("StartRun"), status::BadInvalidState) << "no case has run yet";
  app_.StartCaseRun(run);
  ASSERT_EQ(run.Runs.size(), 2u);
  EXPECT_EQ(Call("StartRun"), status::Good);
  EXPECT_EQ(wakes.load(), 1);
  app_.DeliverClientWrites();
  EXPECT_EQ(run.Runs, (std::vector<std::string>{"start", "end at step 4", "start", "end at step 4"}));
  EXPECT_TRUE(app_.Panel().Layout.ModePageVisible);
  app_.SetCommandRunHost(nullptr);
}

}  // namespace
}  // namespace qx
