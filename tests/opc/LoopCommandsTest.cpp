// The checks of the loop object's writes and method calls on the server
// thread, and their hand-off to the GUI thread in the order they came.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "opc/ClientWriteHandOff.h"
#include "opc/LoopCommands.h"

namespace qx {
namespace {

using opcua::Variant;
namespace status = opcua::status;
using K = LoopCommand::Kind;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// A loop with CV range 0..200, set point 50, output 40.
void SetState(LoopCommandState& state, LoopObjectMode mode, bool running = true) {
  state.CVLow = 0;
  state.CVHigh = 200;
  state.SPNew = 50;
  state.OPNew = 40;
  state.Mode = static_cast<int32_t>(mode);
  state.Running = running;
  state.CanStart = !running;
}

TEST(LoopWrites, ValidatedAsTheOperatorsEditsWithTheStandardStatuses) {
  struct Case {
    LoopVariable variable;
    LoopObjectMode mode;
    Variant value;
    opcua::StatusCode expected;
    const char* edit = nullptr;  // the edit typed into when Good
    const char* text = nullptr;
  };
  const auto A = LoopObjectMode::Auto, M = LoopObjectMode::Manual, C = LoopObjectMode::Cascade;
  const Case cases[] = {
      {LoopVariable::SP, A, Variant(75.5), status::Good, "SingleSPNew", "75.5"},
      {LoopVariable::SP, C, Variant(200.0), status::Good, "SingleSPNew", "200"},
      {LoopVariable::SP, A, Variant(0.0), status::Good, "SingleSPNew", "0"},
      {LoopVariable::SP, A, Variant(200.5), status::BadOutOfRange},
      {LoopVariable::SP, A, Variant(-0.1), status::BadOutOfRange},
      {LoopVariable::SP, M, Variant(75.0), status::BadNotWritable},
      {LoopVariable::SP, A, Variant(kNaN), status::BadTypeMismatch},
      {LoopVariable::SP, A, Variant(kInf), status::BadTypeMismatch},
      {LoopVariable::SP, A, Variant(75.0f), status::BadTypeMismatch},  // Float, not Double
      {LoopVariable::SP, A, Variant(int32_t{75}), status::BadTypeMismatch},
      {LoopVariable::SP, A, Variant(std::string("75")), status::BadTypeMismatch},
      {LoopVariable::SP, A, Variant::Array(opcua::BuiltinType::Double, {75.0}), status::BadTypeMismatch},
      {LoopVariable::OP, M, Variant(12.25), status::Good, "SingleOPNew", "12.25"},
      {LoopVariable::OP, M, Variant(100.0), status::Good, "SingleOPNew", "100"},
      {LoopVariable::OP, M, Variant(100.01), status::BadOutOfRange},
      {LoopVariable::OP, M, Variant(-1.0), status::BadOutOfRange},
      {LoopVariable::OP, A, Variant(10.0), status::BadNotWritable},
      {LoopVariable::OP, C, Variant(10.0), status::BadNotWritable},
      {LoopVariable::OP, M, Variant(-kInf), status::BadTypeMismatch},
      {LoopVariable::P, A, Variant(2.5), status::Good, "PSingle", "2.5"},
      {LoopVariable::I, M, Variant(0.0), status::Good, "ISingle", "0"},
      {LoopVariable::D, A, Variant(0.1), status::Good, "DSingle", "0.100000001490116"},
      {LoopVariable::P, A, Variant(-0.5), status::BadOutOfRange},
      {LoopVariable::D, A, Variant(1e39), status::BadOutOfRange},  // beyond a single
      {LoopVariable::I, A, Variant(kNaN), status::BadTypeMismatch},
      {LoopVariable::P, A, Variant(true), status::BadTypeMismatch},
      {LoopVariable::Mode, A, Variant(uint32_t{0}), status::Good},
      {LoopVariable::Mode, M, Variant(int32_t{2}), status::Good},
      {LoopVariable::Mode, A, Variant(uint32_t{3}), status::BadOutOfRange},
      {LoopVariable::Mode, A, Variant(int32_t{-1}), status::BadOutOfRange},
      {LoopVariable::Mode, A, Variant(1.0), status::BadTypeMismatch},
      {LoopVariable::Mode, A, Variant(std::string("Auto")), status::BadTypeMismatch},
  };
  for (const Case& c : cases) {
    LoopCommandState state;
    SetState(state, c.mode);
    LoopCommand command;
    command.Edit = "untouched";
    const opcua::StatusCode result = CheckLoopWrite(c.variable, c.value, state, '.', command);
    const std::string what = std::string(LoopVariableEdit(c.variable)) + " type " +
                             std::to_string(int(c.value.Type())) + " mode " + std::to_string(int(c.mode));
    EXPECT_EQ(result, c.expected) << what;
    if (!c.expected.IsGood()) {
      EXPECT_EQ(command.Edit, "untouched") << what;  // nothing to perform
    } else if (c.variable == LoopVariable::Mode) {
      EXPECT_EQ(command.What, K::SetMode) << what;
    } else {
      EXPECT_EQ(command.What, K::EnterEdit) << what;
      EXPECT_EQ(command.Edit, c.edit) << what;
      EXPECT_EQ(command.Text, c.text) << what;
    }
  }
}

TEST(LoopWrites, TheEditTextUsesThePanelsSeparator) {
  LoopCommandState state;
  SetState(state, LoopObjectMode::Auto);
  LoopCommand command;
  ASSERT_EQ(CheckLoopWrite(LoopVariable::SP, Variant(75.5), state, ',', command), status::Good);
  EXPECT_EQ(command.Text, "75,5");
}

TEST(LoopCalls, RefusedWhereTheLoopsStateForbidsThem) {
  struct Case {
    LoopMethod method;
    LoopObjectMode mode;
    bool running;
    std::vector<Variant> inputs;
    opcua::StatusCode expected;
    K kind;  // when Good
  };
  const auto A = LoopObjectMode::Auto, M = LoopObjectMode::Manual, C = LoopObjectMode::Cascade;
  const Case cases[] = {
      {LoopMethod::StartRun, A, false, {}, status::Good, K::StartRun},
      {LoopMethod::StartRun, A, true, {}, status::BadInvalidState, K::StartRun},
      {LoopMethod::StopRun, M, true, {}, status::Good, K::StopRun},
      {LoopMethod::StopRun, A, false, {}, status::BadInvalidState, K::StopRun},
      {LoopMethod::StepSetPoint, A, true, {Variant(10.0)}, status::Good, K::StepSetPoint},
      {LoopMethod::StepSetPoint, C, true, {Variant(-50.0)}, status::Good, K::StepSetPoint},
      {LoopMethod::StepSetPoint, A, true, {Variant(150.5)}, status::BadOutOfRange, K::StepSetPoint},
      {LoopMethod::StepSetPoint, A, true, {Variant(-50.5)}, status::BadOutOfRange, K::StepSetPoint},
      {LoopMethod::StepSetPoint, A, true, {Variant(kNaN)}, status::BadOutOfRange, K::StepSetPoint},
      {LoopMethod::StepSetPoint, M, true, {Variant(1.0)}, status::BadInvalidState, K::StepSetPoint},
      {LoopMethod::StepOutput, M, true, {Variant(60.0)}, status::Good, K::StepOutput},
      {LoopMethod::StepOutput, M, true, {Variant(60.5)}, status::BadOutOfRange, K::StepOutput},
      {LoopMethod::StepOutput, M, true, {Variant(-kInf)}, status::BadOutOfRange, K::StepOutput},
      {LoopMethod::StepOutput, A, true, {Variant(1.0)}, status::BadInvalidState, K::StepOutput},
      {LoopMethod::StepOutput, C, true, {Variant(1.0)}, status::BadInvalidState, K::StepOutput},
      {LoopMethod::SetSpeed, A, true, {Variant(int32_t{0})}, status::Good, K::SetSpeed},
      {LoopMethod::SetSpeed, A, false, {Variant(int32_t{kFastestGaugeLevel})}, status::Good, K::SetSpeed},
      {LoopMethod::SetSpeed, A, true, {Variant(int32_t{kFastestGaugeLevel + 1})}, status::BadOutOfRange,
       K::SetSpeed},
      {LoopMethod::SetSpeed, A, true, {Variant(int32_t{-1})}, status::BadOutOfRange, K::SetSpeed},
  };
  for (const Case& c : cases) {
    LoopCommandState state;
    SetState(state, c.mode, c.running);
    LoopCommand command;
    command.Edit = "untouched";
    const opcua::StatusCode result = CheckLoopCall(c.method, c.inputs, state, command);
    const std::string what = "method " + std::to_string(int(c.method)) + " mode " +
                             std::to_string(int(c.mode)) + (c.running ? " running" : " idle");
    EXPECT_EQ(result, c.expected) << what;
    if (c.expected.IsGood())
      EXPECT_EQ(command.What, c.kind) << what;
    else
      EXPECT_EQ(command.Edit, "untouched") << what;
  }
}

TEST(LoopCalls, StartRunNeedsACaseAndAFrontEnd) {
  LoopCommandState state;
  SetState(state, LoopObjectMode::Auto, false);
  state.CanStart = false;
  LoopCommand command;
  EXPECT_EQ(CheckLoopCall(LoopMethod::StartRun, {}, state, command), status::BadInvalidState);
}

TEST(LoopCalls, AStepCarriesItsDeltaAndASpeedItsLevel) {
  LoopCommandState state;
  SetState(state, LoopObjectMode::Manual);
  LoopCommand step, speed;
  ASSERT_EQ(CheckLoopCall(LoopMethod::StepOutput, {Variant(-12.5)}, state, step), status::Good);
  EXPECT_EQ(step.Delta, -12.5);
  ASSERT_EQ(CheckLoopCall(LoopMethod::SetSpeed, {Variant(int32_t{4})}, state, speed), status::Good);
  EXPECT_EQ(speed.Level, 4);
}

LoopCommand Speed(int32_t level) {
  LoopCommand command;
  command.What = K::SetSpeed;
  command.Level = level;
  return command;
}

// Item writes and loop commands come out in the order they went in, also
// when a command's performance delivers again (a run begun by StartRun
// delivers the entries that follow it from its steps).
TEST(ClientWriteHandOff, DeliversWritesAndCommandsInArrivalOrderAlsoWhenNested) {
  ClientWriteHandOff handOff;
  int wakes = 0;
  handOff.SetWake([&] { ++wakes; });
  handOff.Post(ClientWrite{TunedField::Gain, 2.5f, "PSingle", "2.500000"});
  handOff.Post(Speed(1));
  handOff.Post(Speed(2));
  handOff.Post(ClientWrite{TunedField::Integral, 7, "ISingle", "7.000000"});
  handOff.Post(Speed(3));
  EXPECT_EQ(wakes, 5);

  LoopModel model{};
  std::vector<std::string> order;
  const ShowEditText show = [&](std::string_view edit, const std::string& text) {
    order.push_back(std::string(edit) + "=" + text);
  };
  PerformLoopCommand perform;
  perform = [&](const LoopCommand& command) {
    order.push_back("speed " + std::to_string(command.Level));
    // The first command delivers from inside itself, as a run's steps do.
    if (command.Level == 1) EXPECT_EQ(handOff.Deliver(model, show, perform), 3u);
  };
  EXPECT_EQ(handOff.Deliver(model, show, perform), 2u);
  EXPECT_EQ(order, (std::vector<std::string>{"PSingle=2.500000", "speed 1", "speed 2", "ISingle=7.000000",
                                             "speed 3"}));
  EXPECT_EQ(LoadShared(model.SingleLoop.P), 2.5f);
  EXPECT_EQ(LoadShared(model.SingleLoop.I), 7.0f);
  EXPECT_FALSE(handOff.AnyPending());
  EXPECT_EQ(handOff.Deliver(model, show, perform), 0u);
}

}  // namespace
}  // namespace qx
