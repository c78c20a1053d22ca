#include "opc/LoopObject.h"

#include <utility>

#include "engine/RunControlCodes.h"
#include "opc/EngineeringUnits.h"
#include "opcua/NodeIds.h"

namespace qx {
namespace {

// The output's range, percent.
constexpr double kOutputLow = 0;
constexpr double kOutputHigh = 100;
// The object's EventNotifier: clients may subscribe to its events (the
// alarms hang on it).
constexpr uint8_t kSubscribeToEvents = 0x01;

struct VariableEntry {
  LoopNode Node;
  opcua::Variant Initial;  // gives the data type
  bool Writable;
  const char* Description;
};

const VariableEntry kVariables[kLoopNodeCount] = {
    {LoopNode::PV, 0.0, false, "Process value, in the CV range's units"},
    {LoopNode::SP, 0.0, true, "Set point; a write acts as the set-point edit with Enter (not in Manual)"},
    {LoopNode::OP, 0.0, true, "Controller output, percent; a write acts as the output edit with Enter "
                              "(Manual only)"},
    {LoopNode::Mode, uint32_t{1}, true, "Controller mode: 0 Manual, 1 Auto, 2 Cascade"},
    {LoopNode::P, 0.0, true, "Proportional tuning; a write acts as the P edit with Enter"},
    {LoopNode::I, 0.0, true, "Integral tuning; a write acts as the I edit with Enter"},
    {LoopNode::D, 0.0, true, "Derivative tuning; a write acts as the D edit with Enter"},
    {LoopNode::SPNew, 0.0, false, "The set point entered, which the loop moves towards"},
    {LoopNode::OPNew, 0.0, false, "The output entered in Manual"},
    {LoopNode::t, 0.0, false, "Run clock, time units"},
    {LoopNode::Running, false, false, "A run is in progress"},
};

opcua::NodeId VariableId(uint16_t ns, LoopNode node) {
  return opcua::NodeId(ns, std::string(kLoopObjectId) + "." +
                               kLoopVariableNames[static_cast<std::size_t>(node)]);
}

}  // namespace

LoopObjectMode ShownLoopMode(const LoopModel& model, bool cascadeModeChecked) {
  if (model.RunControl.SingleAutoState != FieldCode(LoopMode::Auto)) return LoopObjectMode::Manual;
  return cascadeModeChecked ? LoopObjectMode::Cascade : LoopObjectMode::Auto;
}

LoopObject::LoopObject(std::function<void(LoopCommand)> post, char separator)
    : post_(std::move(post)), separator_(separator) {}

bool LoopObject::Create(opcua::Server& server, uint16_t ns, float cvLow, float cvHigh,
                        std::size_t historyCapacity, std::string& error) {
  const opcua::NodeId object(ns, kLoopObjectId);
  if (!server.AddObject(opcua::NodeId(0, opcua::ids::ObjectsFolder), object, kLoopObjectId,
                        opcua::NodeId(0, opcua::ids::BaseObjectType), kSubscribeToEvents, error) ||
      !server.SetDescription(object, {"", "The simulated control loop"}, error) ||
      !CreateVariables(server, ns, cvLow, cvHigh, error) || !CreateMethods(server, ns, error))
    return false;
  if (historyCapacity > 0) {
    for (LoopNode node : {LoopNode::PV, LoopNode::SP, LoopNode::OP})
      if (!server.EnableHistory(Handle(node), historyCapacity, error)) return false;
    history_ = true;
  }
  state_.CVLow = cvLow;
  state_.CVHigh = cvHigh;
  created_ = true;
  return true;
}

bool LoopObject::CreateVariables(opcua::Server& server, uint16_t ns, float cvLow, float cvHigh,
                                 std::string& error) {
  const opcua::NodeId object(ns, kLoopObjectId);
  for (const VariableEntry& entry : kVariables) {
    const std::size_t index = static_cast<std::size_t>(entry.Node);
    const opcua::NodeId id = VariableId(ns, entry.Node);
    if (!server.AddVariable(object, id, kLoopVariableNames[index], entry.Initial, entry.Writable,
                            handles_[index], error) ||
        !server.SetDescription(id, {"", entry.Description}, error))
      return false;
  }
  // PV, SP and OP are analog items with their ranges; OP is in percent.
  for (LoopNode node : {LoopNode::PV, LoopNode::SP, LoopNode::OP}) {
    const opcua::NodeId id = VariableId(ns, node);
    const bool output = node == LoopNode::OP;
    if (!server.SetTypeDefinition(id, opcua::NodeId(0, opcua::ids::AnalogItemType), error) ||
        !server.SetEURange(id, output ? kOutputLow : cvLow, output ? kOutputHigh : cvHigh, error))
      return false;
  }
  // The CV range comes with the case: PV's and SP's ranges follow it.
  if (!server.TrackProperty(VariableId(ns, LoopNode::PV), "EURange", rangeHandles_[0], error) ||
      !server.TrackProperty(VariableId(ns, LoopNode::SP), "EURange", rangeHandles_[1], error))
    return false;
  publishedRange_ = {cvLow, cvHigh};
  if (!server.SetEngineeringUnits(VariableId(ns, LoopNode::OP), *EngineeringUnits("%"), error))
    return false;
  // Mode is a multi-state discrete item: its value indexes its texts.
  std::vector<opcua::Scalar> texts;
  for (const char* text : kLoopModeTexts) texts.emplace_back(opcua::LocalizedText{"", text});
  const opcua::NodeId mode = VariableId(ns, LoopNode::Mode);
  return server.SetTypeDefinition(mode, opcua::NodeId(0, opcua::ids::MultiStateDiscreteType), error) &&
         server.AddProperty(mode, "EnumStrings",
                            opcua::Variant::Array(opcua::BuiltinType::LocalizedText, std::move(texts)),
                            error);
}

void LoopObject::Publish(opcua::Server& server, const LoopModel& model, const LoopRunValues& run,
                         opcua::DateTime timestamp) {
  if (!created_) return;
  const PIDLoop& s = model.SingleLoop;
  const auto set = [&](LoopNode node, opcua::Variant value) {
    server.SetValue(Handle(node), std::move(value), opcua::status::Good, timestamp);
  };
  set(LoopNode::PV, static_cast<double>(s.PV));
  set(LoopNode::SP, static_cast<double>(s.SP));
  set(LoopNode::OP, static_cast<double>(s.OP));
  set(LoopNode::Mode, static_cast<uint32_t>(ShownLoopMode(model, run.CascadeModeChecked)));
  set(LoopNode::P, static_cast<double>(LoadShared(s.P)));
  set(LoopNode::I, static_cast<double>(LoadShared(s.I)));
  set(LoopNode::D, static_cast<double>(s.D));
  set(LoopNode::SPNew, static_cast<double>(s.SPNew));
  set(LoopNode::OPNew, static_cast<double>(s.OPNew));
  set(LoopNode::t, static_cast<double>(run.Clock));
  set(LoopNode::Running, run.Running);
  if (s.CVLow != publishedRange_[0] || s.CVHigh != publishedRange_[1]) {
    publishedRange_ = {s.CVLow, s.CVHigh};
    const opcua::Variant range(
        opcua::Wrap(opcua::Range{static_cast<double>(s.CVLow), static_cast<double>(s.CVHigh)}));
    for (uint32_t handle : rangeHandles_) server.SetValue(handle, range, opcua::status::Good, timestamp);
  }
  UpdateState(model, run, state_.CanStart.load(std::memory_order_relaxed));
}

void LoopObject::PublishRunState(opcua::Server& server, const LoopRunValues& run,
                                 opcua::DateTime timestamp) {
  if (!created_) return;
  server.SetValue(Handle(LoopNode::t), static_cast<double>(run.Clock), opcua::status::Good, timestamp);
  server.SetValue(Handle(LoopNode::Running), run.Running, opcua::status::Good, timestamp);
}

void LoopObject::UpdateState(const LoopModel& model, const LoopRunValues& run, bool canStart) {
  const PIDLoop& s = model.SingleLoop;
  state_.CVLow.store(s.CVLow, std::memory_order_relaxed);
  state_.CVHigh.store(s.CVHigh, std::memory_order_relaxed);
  state_.SPNew.store(s.SPNew, std::memory_order_relaxed);
  state_.OPNew.store(s.OPNew, std::memory_order_relaxed);
  state_.Mode.store(static_cast<int32_t>(ShownLoopMode(model, run.CascadeModeChecked)),
                    std::memory_order_relaxed);
  state_.Running.store(run.Running, std::memory_order_relaxed);
  state_.CanStart.store(canStart, std::memory_order_relaxed);
}

bool LoopObject::Write(uint32_t variable, opcua::Variant& value, opcua::StatusCode& result) {
  if (!created_) return false;
  LoopVariable target;
  if (variable == Handle(LoopNode::SP))
    target = LoopVariable::SP;
  else if (variable == Handle(LoopNode::OP))
    target = LoopVariable::OP;
  else if (variable == Handle(LoopNode::Mode))
    target = LoopVariable::Mode;
  else if (variable == Handle(LoopNode::P))
    target = LoopVariable::P;
  else if (variable == Handle(LoopNode::I))
    target = LoopVariable::I;
  else if (variable == Handle(LoopNode::D))
    target = LoopVariable::D;
  else
    return false;
  LoopCommand command;
  result = CheckLoopWrite(target, value, state_, separator_, command);
  if (!result.IsGood()) return true;
  // Until the next sample the variable reads what was written, in its own
  // data type.
  if (target == LoopVariable::Mode) value = static_cast<uint32_t>(command.Level);
  post_(std::move(command));
  return true;
}

void LoopObject::ClearHistory(opcua::Server& server) {
  if (!history_) return;
  for (LoopNode node : {LoopNode::PV, LoopNode::SP, LoopNode::OP}) server.ClearHistory(Handle(node));
}

}  // namespace qx
