// What an OPC client may ask of the loop as its operator: writes of the loop
// object's variables and calls of its methods, checked on the server thread
// against the state the GUI thread last published, then handed to the GUI
// thread as commands that do what the operator's controls do.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "opcua/StatusCodes.h"
#include "opcua/Types.h"

namespace qx {

// The loop object's Mode: the index into its EnumStrings.
enum class LoopObjectMode : int32_t { Manual = 0, Auto = 1, Cascade = 2 };
inline constexpr int32_t kLoopObjectModeCount = 3;

// The speed gauge's levels, 0 (the slowest, the longest pause) to the
// fastest (no pause).
inline constexpr int32_t kFastestGaugeLevel = 6;

// One thing for the GUI thread to do as the operator would.
struct LoopCommand {
  enum class Kind {
    EnterEdit,     // Edit := Text, then the Enter key
    SetMode,       // Mode: the Manual/Auto panel and "Cascade Mode" as needed
    StepSetPoint,  // the set-point edit := its value + Delta, then Enter
    StepOutput,    // the output edit := its value + Delta, then Enter
    SetSpeed,      // the speed gauge to Level
    StartRun,      // the case's run, as its loading command starts it
    StopRun,       // "Stop Simulation" answered Yes
  };
  Kind What = Kind::EnterEdit;
  std::string Edit;   // EnterEdit: the edit's name
  std::string Text;   // EnterEdit: its new text
  double Delta = 0;   // StepSetPoint, StepOutput
  int32_t Level = 0;  // SetMode: a LoopObjectMode; SetSpeed: a gauge level
};

// What the checks on the server thread read: published by the GUI thread
// (at every trend sample, after every delivered command and every panel
// action), read by the server thread without a lock.
struct LoopCommandState {
  std::atomic<float> CVLow{0};
  std::atomic<float> CVHigh{100};
  std::atomic<float> SPNew{0};
  std::atomic<float> OPNew{0};
  std::atomic<int32_t> Mode{static_cast<int32_t>(LoopObjectMode::Auto)};
  std::atomic<bool> Running{false};
  std::atomic<bool> CanStart{false};  // idle, with a case to run and a front end to run it
};

// The writable variables of the loop object.
enum class LoopVariable { SP, OP, Mode, P, I, D };

// A client's write of `value` to `variable`: the command that performs it
// in `command` and Good, or the status that refuses it (nothing changes):
//   BadTypeMismatch  not a Double (an Int32 for Mode), or NaN or infinity;
//   BadOutOfRange    SP outside the CV range, OP outside 0..100, P, I or D
//                    negative or beyond a single-precision field, Mode not
//                    0, 1 or 2;
//   BadNotWritable   OP outside Manual, SP in Manual (the edit that the
//                    operator would type into is disabled there).
// `separator` is the panel's decimal separator, for the edit text.
opcua::StatusCode CheckLoopWrite(LoopVariable variable, const opcua::Variant& value,
                                 const LoopCommandState& state, char separator,
                                 LoopCommand& command);

// The loop object's methods.
enum class LoopMethod { StartRun, StopRun, StepSetPoint, StepOutput, SetSpeed };

// A client's call with the inputs the method declares (their number and
// types are checked by the stack): the command and Good, or
//   BadInvalidState  StartRun while running (or with nothing to run),
//                    StopRun while stopped, StepOutput outside Manual,
//                    StepSetPoint in Manual;
//   BadOutOfRange    a NaN or infinite delta, a step leaving the CV range
//                    or 0..100, a speed level outside 0..kFastestGaugeLevel.
opcua::StatusCode CheckLoopCall(LoopMethod method, const std::vector<opcua::Variant>& inputs,
                                const LoopCommandState& state, LoopCommand& command);

// The edit that a write of `variable` types into.
const char* LoopVariableEdit(LoopVariable variable);

}  // namespace qx
