#pragma once
// The server fixture with alarm conditions on its application folder, and
// helpers for event items: filters from field paths, the events of a
// Publish response, and Acknowledge/Confirm/ConditionRefresh calls.

#include <string>
#include <utility>
#include <vector>

#include "ServerFixture.h"
#include "opcua/EventNodeIds.h"
#include "opcua/EventServiceTypes.h"

namespace opcua::test {

// The fields the tests select, in this order; the last is the condition
// object (attribute NodeId of ConditionType).
inline const std::vector<std::string> kFields = {
    "EventId", "EventType", "SourceNode", "SourceName", "Message", "Severity", "ConditionName",
    "ActiveState/Id", "AckedState/Id", "ConfirmedState/Id", "Retain", "Comment", "ClientUserId",
    "LimitState/CurrentState", "HighLimit", "NoSuchField"};
enum Field : size_t {
  kEventId, kEventType, kSourceNode, kSourceName, kMessage, kSeverity, kConditionName, kActive,
  kAcked, kConfirmed, kRetain, kComment, kClientUserId, kLimitState, kHighLimit, kNoSuchField,
  kConditionId
};

inline SimpleAttributeOperand Select(const std::string& path, uint32_t type = ids::BaseEventType) {
  SimpleAttributeOperand op;
  op.typeDefinitionId = NodeId(0, type);
  size_t start = 0;
  while (start <= path.size() && !path.empty()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    op.browsePath.push_back({0, path.substr(start, end - start)});
    start = end + 1;
  }
  return op;
}

inline EventFilter StandardFilter() {
  EventFilter f;
  for (const auto& path : kFields) f.selectClauses.push_back(Select(path));
  SimpleAttributeOperand conditionId = Select("", ids::ConditionType);
  conditionId.attributeId = kAttrNodeId;
  f.selectClauses.push_back(conditionId);
  return f;
}

inline ContentFilterElement OfType(uint32_t type) {
  return {FilterOperator::OfType, {Wrap(LiteralOperand{NodeId(0, type)})}};
}

class EventFixture : public ServerFixture {
 protected:
  explicit EventFixture(ServerLimits limits = {}, ServerSecurity security = {})
      : ServerFixture(limits, std::move(security)) {
    std::string error;
    ConditionDefinition level{NodeId(ns, "App.Level"), NodeId(0, ids::ExclusiveLevelAlarmType),
                        folder(), "Level", var("A"), {}, {}};
    ConditionDefinition offNormal{NodeId(ns, "App.Stuck"), NodeId(0, ids::OffNormalAlarmType),
                            folder(), "Stuck", var("B"), {}, {}};
    EXPECT_TRUE(core.AddCondition(level, levelHandle, error)) << error;
    EXPECT_TRUE(core.AddCondition(offNormal, stuckHandle, error)) << error;
  }

  NodeId levelId() const { return NodeId(ns, "App.Level"); }

  void SetState(uint32_t handle, ConditionState state) {
    std::vector<ConditionUpdate> updates{{handle, std::move(state)}};
    core.ApplyConditionUpdates(updates);
  }
  static ConditionState HighActive() {
    ConditionState s;
    s.active = true;
    s.limit = LimitState::High;
    s.limits.high = 80;
    s.severity = 500;
    s.message = {"en", "PV high: 82.5 > 80"};
    s.acked = s.confirmed = false;
    return s;
  }

  // An event item on `node`; returns its result.
  MonitoredItemCreateResult MonitorEvents(TestClient& client, uint32_t subscription,
                                          const NodeId& node, EventFilter filter,
                                          uint32_t queueSize = 100, bool discardOldest = true) {
    CreateMonitoredItemsRequest req;
    req.subscriptionId = subscription;
    MonitoredItemCreateRequest item;
    item.itemToMonitor.nodeId = node;
    item.itemToMonitor.attributeId = kAttrEventNotifier;
    item.requestedParameters.clientHandle = nextClientHandle++;
    item.requestedParameters.filter = Wrap(filter);
    item.requestedParameters.queueSize = queueSize;
    item.requestedParameters.discardOldest = discardOldest;
    req.itemsToCreate.push_back(item);
    CreateMonitoredItemsResponse resp;
    EXPECT_EQ(client.Call(req, resp), status::Good);
    return resp.results.empty() ? MonitoredItemCreateResult{} : resp.results[0];
  }

  // The events of a Publish response, by client handle in order.
  static std::vector<EventFieldList> Events(const PublishResponse& resp) {
    std::vector<EventFieldList> out;
    for (const auto& data : resp.notificationMessage.notificationData) {
      if (!(data.typeId == NodeId(0, EventNotificationList::kTypeId))) continue;
      EventNotificationList list;
      EXPECT_EQ(Unwrap(data, list), status::Good);
      out.insert(out.end(), list.events.begin(), list.events.end());
    }
    return out;
  }

  // Publishes within the next interval and returns the events it carried.
  std::vector<EventFieldList> NextEvents(TestClient& client) { return Events(PublishOnce(client)); }

  template <class T>
  static T Get(const EventFieldList& e, size_t field) {
    const auto* v = std::get_if<T>(&e.eventFields.at(field).scalar);
    return v ? *v : T{};
  }

  CallMethodResult CallMethod(TestClient& client, const NodeId& object, uint32_t method,
                              std::vector<Variant> inputs) {
    CallRequest req;
    req.methodsToCall.push_back({object, NodeId(0, method), std::move(inputs)});
    CallResponse resp;
    EXPECT_EQ(client.Call(req, resp), status::Good);
    return resp.results.empty() ? CallMethodResult{} : resp.results[0];
  }
  StatusCode Answer(TestClient& client, uint32_t method, const ByteString& eventId,
                    const std::string& comment, const NodeId* object = nullptr) {
    return CallMethod(client, object ? *object : levelId(), method,
                      {eventId, LocalizedText{"en", comment}})
        .statusCode;
  }

  uint32_t levelHandle = 0;
  uint32_t stuckHandle = 0;
};

}  // namespace opcua::test
