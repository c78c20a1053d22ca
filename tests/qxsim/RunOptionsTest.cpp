#include "tools/qxsim/RunOptions.h"

#include <gtest/gtest.h>

namespace qx {
namespace {

TEST(RunOptions, ActionsKeepCommandLineOrderAndKinds) {
  RunOptions o;
  std::string error;
  ASSERT_TRUE(ParseRunOptions({"case.pid", "--at", "5:PSingle=2.5", "--at", "5:enter", "--at",
                               "7:store:SingleLoop.I=3", "--at", "9:up:PVNoise", "--at",
                               "9:SinglePIDEquation=-1", "--set", "ProcessModel.Tau1=4",
                               "--steps", "100"},
                              o, error))
      << error;
  EXPECT_EQ(o.CasePath, "case.pid");
  ASSERT_EQ(o.Actions.size(), 5u);
  EXPECT_EQ(o.Actions[0].What, ScriptedAction::Kind::SetControl);
  EXPECT_EQ(o.Actions[0].Text, "2.5");
  EXPECT_EQ(o.Actions[1].What, ScriptedAction::Kind::Enter);
  EXPECT_EQ(o.Actions[2].What, ScriptedAction::Kind::Store);
  EXPECT_EQ(o.Actions[2].Name, "SingleLoop.I");
  EXPECT_EQ(o.Actions[3].What, ScriptedAction::Kind::SpinUp);
  EXPECT_EQ(o.Actions[4].Text, "-1");
  EXPECT_EQ(o.Overrides.at(0).Name, "ProcessModel.Tau1");
  EXPECT_EQ(o.Steps, 100);
}

TEST(RunOptions, ErrorsNameTheProblem) {
  struct Case {
    std::vector<std::string> args;
    std::string mentions;
  };
  const Case cases[] = {
      {{"--set", "SingleLoop.Nope=1"}, "SingleLoop.Nope"},
      {{"--set", "SingleLoop.P=1e40x"}, "SingleLoop.P"},
      {{"--set", "RunControl.StopRequested=2"}, "0 or 1"},
      {{"--set", "SingleLoop.Equation=2.5"}, "integer"},
      {{"--at", "4:down:PSingle"}, "PSingle"},
      {{"--at", "4:SinglePIDEquation=x"}, "item index"},
      {{"--trace"}, "--trace"},
      {{"a.pid", "b.pid"}, "b.pid"},
  };
  for (const Case& c : cases) {
    RunOptions o;
    std::string error;
    EXPECT_FALSE(ParseRunOptions(c.args, o, error)) << c.mentions;
    EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
  }
}

// A value given with --set is the user's own and is refused like any other
// bad value; a scripted store is a deliberate hostile write and saturates.
TEST(RunOptions, SetRefusesARealBeyondSinglePrecisionThatAStoreSaturates) {
  struct Case {
    std::vector<std::string> args;
    bool accepted;
  };
  const Case cases[] = {
      {{"--set", "SingleLoop.P=1e39"}, false},
      {{"--set", "SingleLoop.P=-1e300"}, false},
      {{"--set", "SingleLoop.P=3.4e38"}, true},
      {{"--set", "SingleLoop.P=1e-50"}, true},  // underflows to zero, as the OPC path does
      {{"--at", "2:store:SingleLoop.P=1e39"}, true},
  };
  for (const Case& c : cases) {
    RunOptions o;
    std::string error;
    EXPECT_EQ(ParseRunOptions(c.args, o, error), c.accepted) << c.args.back();
    if (c.accepted) continue;
    EXPECT_NE(error.find("SingleLoop.P"), std::string::npos) << error;
    EXPECT_NE(error.find(c.args.back().substr(c.args.back().find('=') + 1)), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace qx
