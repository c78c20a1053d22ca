#pragma once
// Alarms and conditions an application raises: what it declares once (the
// condition object, its type, its source, its limits) and the state it sets
// as things change. Every change of state is an event with a new EventId,
// reported to the event items of the source and of the Server object; a
// client acknowledges or confirms the state it saw by that EventId.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "opcua/EventFilter.h"
#include "opcua/Types.h"

namespace opcua {

// The state of an exclusive limit alarm: which limit is exceeded.
enum class LimitState : uint8_t { None, HighHigh, High, Low, LowLow };

struct ConditionLimits {
  std::optional<double> highHigh, high, low, lowLow;
  friend bool operator==(const ConditionLimits&, const ConditionLimits&) = default;
};

struct ConditionDefinition {
  NodeId id;      // the condition object, a new node
  NodeId type;    // an AlarmConditionType subtype, e.g. NodeId(0, ids::ExclusiveLevelAlarmType)
  NodeId source;  // the object the condition belongs to (SourceNode)
  std::string name;      // ConditionName and the object's browse name
  NodeId inputNode;      // the variable the alarm watches (InputNode), may be null
  NodeId setpointNode;   // ExclusiveDeviationAlarmType: the set point it deviates from
  NodeId normalState;    // OffNormalAlarmType: the variable holding the normal state
};

struct ConditionState {
  bool enabled = true;
  bool active = false;
  LimitState limit = LimitState::None;  // exclusive limit alarms while active
  ConditionLimits limits;               // limit alarms: the limits in force
  uint16_t severity = 1;                // 1..1000
  LocalizedText message;
  DateTime time;                        // when the state came about (now if 0); a
                                        // state that differs only in it raises no event
  bool acked = true;
  bool confirmed = true;
  friend bool operator==(const ConditionState&, const ConditionState&) = default;
};

// Longest message text kept; longer ones are cut, so that every queued
// event stays small.
inline constexpr size_t kMaxConditionMessageBytes = 256;

enum class ConditionResponse { Acknowledge, Confirm };

// Runs on the server thread when a client acknowledges or confirms the
// newest state of a condition (the stack has checked the EventId and that
// the state is still open). Good lets the stack record it at once; a Bad
// status refuses the call with it.
using ConditionResponseCallback =
    std::function<StatusCode(uint32_t handle, ConditionResponse response,
                             const LocalizedText& comment, const std::string& identity)>;

struct ConditionUpdate {
  uint32_t handle = 0;
  ConditionState state;
};

// A condition as the server holds it.
struct Condition {
  ConditionDefinition definition;
  ConditionState state;
  std::string sourceName;  // the source's browse name
  ByteString eventId;      // of the newest event, the one a client answers
  LocalizedText comment;
  std::string clientUserId;
  uint16_t lastSeverity = 0;
  bool reported = false;   // an event was raised for it

  // Retained: clients that refresh get the condition's state.
  bool Retain() const { return state.enabled && (state.active || !state.acked || !state.confirmed); }
};

// The fields of the condition's current state as an event.
Event ConditionEvent(const Condition& condition, const AddressSpace& space, DateTime receiveTime);

// A plain system event (refresh start/end, queue overflow) from the Server.
Event SystemEvent(uint32_t type, const std::string& message, const ByteString& eventId,
                  DateTime now);

// True when `type` is a condition type this server raises.
bool IsAlarmType(const NodeId& type, const AddressSpace& space);

}  // namespace opcua
