#include "opcua/Conditions.h"

#include "opcua/EventNodeIds.h"
#include "opcua/NodeIds.h"

namespace opcua {

namespace {

LocalizedText Text(const char* text) { return {"en", text}; }

// The state of the exclusive limit state machine and its name.
std::pair<NodeId, const char*> LimitStateNode(LimitState limit) {
  switch (limit) {
    case LimitState::HighHigh: return {NodeId(0, ids::ExclusiveLimitStateMachineType_HighHigh), "HighHigh"};
    case LimitState::High: return {NodeId(0, ids::ExclusiveLimitStateMachineType_High), "High"};
    case LimitState::Low: return {NodeId(0, ids::ExclusiveLimitStateMachineType_Low), "Low"};
    case LimitState::LowLow: return {NodeId(0, ids::ExclusiveLimitStateMachineType_LowLow), "LowLow"};
    case LimitState::None: break;
  }
  return {NodeId(), ""};
}

void TwoState(Event& e, const char* name, bool value, const char* trueText, const char* falseText) {
  e.fields[name] = Text(value ? trueText : falseText);
  e.fields[std::string(name) + "/Id"] = value;
}

}  // namespace

bool IsAlarmType(const NodeId& type, const AddressSpace& space) {
  const Node* node = space.Find(type);
  return node && node->nodeClass == NodeClass::ObjectType &&
         space.IsSubtype(type, NodeId(0, ids::AlarmConditionType));
}

Event ConditionEvent(const Condition& c, const AddressSpace& space, DateTime receiveTime) {
  const ConditionState& s = c.state;
  Event e;
  e.type = c.definition.type;
  e.source = c.definition.source;
  e.conditionId = c.definition.id;
  auto& f = e.fields;
  f["EventId"] = c.eventId;
  f["EventType"] = c.definition.type;
  f["SourceNode"] = c.definition.source;
  f["SourceName"] = c.sourceName;
  f["Time"] = s.time.ticks != 0 ? s.time : receiveTime;
  f["ReceiveTime"] = receiveTime;
  f["Message"] = s.message;
  f["Severity"] = s.severity;
  f["ConditionClassId"] = NodeId(0, ids::ProcessConditionClassType);
  f["ConditionClassName"] = Text("Process");
  f["ConditionName"] = c.definition.name;
  f["BranchId"] = NodeId();
  f["Retain"] = c.Retain();
  TwoState(e, "EnabledState", s.enabled, "Enabled", "Disabled");
  f["Quality"] = status::Good;
  f["LastSeverity"] = c.lastSeverity;
  f["Comment"] = c.comment;
  f["ClientUserId"] = c.clientUserId;
  TwoState(e, "AckedState", s.acked, "Acknowledged", "Unacknowledged");
  TwoState(e, "ConfirmedState", s.confirmed, "Confirmed", "Unconfirmed");
  TwoState(e, "ActiveState", s.active, "Active", "Inactive");
  f["InputNode"] = c.definition.inputNode;
  f["SuppressedOrShelved"] = false;
  const NodeId& type = c.definition.type;
  if (space.IsSubtype(type, NodeId(0, ids::LimitAlarmType))) {
    const ConditionLimits& l = s.limits;
    for (auto [name, limit] : {std::pair{"HighHighLimit", &l.highHigh}, {"HighLimit", &l.high},
                               {"LowLimit", &l.low}, {"LowLowLimit", &l.lowLow}})
      if (*limit) f[name] = **limit;
  }
  if (space.IsSubtype(type, NodeId(0, ids::ExclusiveLimitAlarmType))) {
    auto [state, name] = LimitStateNode(s.active ? s.limit : LimitState::None);
    f["LimitState/CurrentState"] = LocalizedText{state.IsNull() ? "" : "en", name};
    f["LimitState/CurrentState/Id"] = state;
  }
  if (space.IsSubtype(type, NodeId(0, ids::ExclusiveDeviationAlarmType)))
    f["SetpointNode"] = c.definition.setpointNode;
  if (space.IsSubtype(type, NodeId(0, ids::OffNormalAlarmType)))
    f["NormalState"] = c.definition.normalState;
  return e;
}

Event SystemEvent(uint32_t type, const std::string& message, const ByteString& eventId,
                  DateTime now) {
  Event e;
  e.type = NodeId(0, type);
  e.source = NodeId(0, ids::Server);
  auto& f = e.fields;
  f["EventId"] = eventId;
  f["EventType"] = e.type;
  f["SourceNode"] = e.source;
  f["SourceName"] = std::string("Server");
  f["Time"] = now;
  f["ReceiveTime"] = now;
  f["Message"] = LocalizedText{"en", message};
  f["Severity"] = uint16_t{1};
  return e;
}

}  // namespace opcua
