// The loop as one OPC UA object, ns=1;s=Loop under Objects, beside the 33
// String items: typed variables that change at every trend sample, writes
// and methods that act as the operator's controls do, and the history of
// PV, SP and OP over the current run.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "engine/LoopModel.h"
#include "opc/LoopCommands.h"
#include "opcua/Server.h"

namespace qx {

// The object's node id (string id in the items' namespace) and browse name;
// its variables are "<kLoopObjectId>.<name>".
inline constexpr const char* kLoopObjectId = "Loop";

// Values each of PV, SP and OP keeps by default: the newest of the run, 16
// bytes each (16 MB per variable at the default).
inline constexpr std::size_t kDefaultLoopHistoryCapacity = 1'000'000;
inline constexpr std::size_t kLoopHistoryBytesPerValue = 16;

// The loop object's variables, in the order of kLoopVariableNames.
enum class LoopNode { PV, SP, OP, Mode, P, I, D, SPNew, OPNew, t, Running };
inline constexpr std::size_t kLoopNodeCount = 11;
inline constexpr std::array<const char*, kLoopNodeCount> kLoopVariableNames = {
    "PV", "SP", "OP", "Mode", "P", "I", "D", "SPNew", "OPNew", "t", "Running"};

// The texts of Mode's values 0, 1, 2 (its EnumStrings).
inline constexpr std::array<const char*, kLoopObjectModeCount> kLoopModeTexts = {"Manual", "Auto",
                                                                                 "Cascade"};

// What a publication takes besides the loop data model.
struct LoopRunValues {
  bool CascadeModeChecked = false;
  bool Running = false;
  float Clock = 0;  // the run clock t
};

// The mode that Mode shows: the loop's own state first (Manual is Manual
// whether or not "Cascade Mode" is checked), then the check box.
LoopObjectMode ShownLoopMode(const LoopModel& model, bool cascadeModeChecked);

class LoopObject {
 public:
  // `post` receives the commands of the writes and calls that passed their
  // checks, on the server thread; `separator` is the panel's decimal
  // separator, for the edit texts.
  LoopObject(std::function<void(LoopCommand)> post, char separator);

  // Builds the object on `server` (before it starts) in namespace `ns`:
  // its variables with their types, ranges and units, its methods, and the
  // history of PV, SP and OP with `historyCapacity` values each (0: no
  // history). `cvLow`..`cvHigh` is the EURange of PV and SP until a
  // publication brings another CV range. False with a
  // message naming the node that could not be made.
  bool Create(opcua::Server& server, uint16_t ns, float cvLow, float cvHigh,
              std::size_t historyCapacity, std::string& error);

  // The values of one trend sample, inside the caller's update batch with
  // the items' timestamp; on the run loop's thread. Also refreshes the state
  // the checks read.
  void Publish(opcua::Server& server, const LoopModel& model, const LoopRunValues& run,
               opcua::DateTime timestamp);

  // Running and t alone, inside the caller's update batch.
  void PublishRunState(opcua::Server& server, const LoopRunValues& run, opcua::DateTime timestamp);

  // GUI thread: the state the checks read, after anything that changed it
  // between two publications (a delivered command, an operator's action, a
  // run's start or end). `canStart`: StartRun may be called.
  void UpdateState(const LoopModel& model, const LoopRunValues& run, bool canStart);

  // Server thread: a client's write of one of the object's variables (the
  // stack's handle); false when the variable is not the object's.
  bool Write(uint32_t variable, opcua::Variant& value, opcua::StatusCode& result);

  // Any thread: forgets the history of PV, SP and OP (a new run).
  void ClearHistory(opcua::Server& server);

  const LoopCommandState& State() const { return state_; }
  // The stack's handle of a variable, once created.
  uint32_t Handle(LoopNode node) const { return handles_[static_cast<std::size_t>(node)]; }

 private:
  bool CreateVariables(opcua::Server& server, uint16_t ns, float cvLow, float cvHigh, std::string& error);
  bool CreateMethods(opcua::Server& server, uint16_t ns, std::string& error);

  std::function<void(LoopCommand)> post_;
  const char separator_;
  LoopCommandState state_;
  std::array<uint32_t, kLoopNodeCount> handles_{};
  std::array<uint32_t, 2> rangeHandles_{};  // the EURange of PV and of SP
  std::array<float, 2> publishedRange_{};   // the CV range they show
  bool created_ = false;
  bool history_ = false;
};

}  // namespace qx
