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

TEST(RunOptions, RealBeyondSinglePrecisionSaturatesInsteadOfFailing) {
  RunOptions o;
  std::string error;
  EXPECT_TRUE(ParseRunOptions({"--set", "SingleLoop.P=1e300"}, o, error)) << error;
}

}  // namespace
}  // namespace qx
