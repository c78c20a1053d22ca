// The loop object's methods: each checks its call on the server thread and
// hands the operator's action to the GUI thread.
#include <string>
#include <utility>
#include <vector>

#include "opc/LoopObject.h"
#include "opcua/Methods.h"
#include "opcua/NodeIds.h"

namespace qx {
namespace {

struct MethodEntry {
  LoopMethod Method;
  const char* Name;
  std::vector<opcua::MethodArgument> Inputs;
};

std::vector<MethodEntry> MethodEntries() {
  const opcua::NodeId real(0, opcua::ids::Double);
  const opcua::NodeId whole(0, opcua::ids::Int32);
  return {
      {LoopMethod::StartRun, "StartRun", {}},
      {LoopMethod::StopRun, "StopRun", {}},
      {LoopMethod::StepSetPoint,
       "StepSetPoint",
       {{"delta", real, {"", "Change of the set point, in the CV range's units (Auto or Cascade)"}}}},
      {LoopMethod::StepOutput,
       "StepOutput",
       {{"delta", real, {"", "Change of the output, percent (Manual only)"}}}},
      {LoopMethod::SetSpeed,
       "SetSpeed",
       {{"level", whole,
         {"", "Speed gauge level, 0 (the slowest) to " + std::to_string(kFastestGaugeLevel) +
                  " (no pause); 3 is Normal"}}}},
  };
}

}  // namespace

bool LoopObject::CreateMethods(opcua::Server& server, uint16_t ns, std::string& error) {
  const opcua::NodeId object(ns, kLoopObjectId);
  for (MethodEntry& entry : MethodEntries()) {
    const LoopMethod method = entry.Method;
    auto callback = [this, method](const opcua::MethodCall& call, std::vector<opcua::Variant>&) {
      LoopCommand command;
      const opcua::StatusCode result = CheckLoopCall(method, call.inputs, state_, command);
      if (result.IsGood()) post_(std::move(command));
      return result;
    };
    if (!server.AddMethod(object, opcua::NodeId(ns, std::string(kLoopObjectId) + "." + entry.Name),
                          entry.Name, std::move(entry.Inputs), {}, std::move(callback), error))
      return false;
  }
  return true;
}

}  // namespace qx
