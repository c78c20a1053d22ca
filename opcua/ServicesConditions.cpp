// Conditions: their objects, the events their states raise, and the
// methods the stack answers for them (Acknowledge, Confirm and
// ConditionRefresh).

#include "opcua/EventNodeIds.h"
#include "opcua/EventTypes.h"
#include "opcua/NodeIds.h"
#include "opcua/ServerCoreInternal.h"

namespace opcua {

namespace {

// Cuts a text to at most `most` bytes without splitting a UTF-8 sequence.
void Cut(std::string& text, size_t most) {
  if (text.size() <= most) return;
  size_t end = most;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
}

// The ClientUserId of a session: the user's name, or "anonymous".
std::string ClientUserId(const Session& s) {
  constexpr std::string_view kUserPrefix = "user:";
  std::string_view identity = s.identity;
  if (identity.substr(0, kUserPrefix.size()) == kUserPrefix) identity.remove_prefix(kUserPrefix.size());
  return std::string(identity);
}

}  // namespace

bool ServerCore::AddCondition(const ConditionDefinition& definition, uint32_t& handle, std::string& error) {
  Node* source = space_.Find(definition.source);
  if (!source || source->nodeClass != NodeClass::Object) {
    error = "source " + definition.source.ToString() + " of condition " + definition.id.ToString() +
            " is not an object";
    return false;
  }
  if (!IsAlarmType(definition.type, space_)) {
    error = "type " + definition.type.ToString() + " of condition " + definition.id.ToString() +
            " is not an alarm condition type";
    return false;
  }
  if (definition.name.empty()) {
    error = "condition " + definition.id.ToString() + " has no name";
    return false;
  }
  Node n;
  n.id = definition.id;
  n.nodeClass = NodeClass::Object;
  n.browseName = {definition.id.ns, definition.name};
  n.displayName = {"", definition.name};
  if (!space_.Add(std::move(n))) {
    error = "node " + definition.id.ToString() + " of condition " + definition.name + " already exists";
    return false;
  }
  space_.Link(definition.id, ids::HasTypeDefinition, definition.type);
  space_.Link(definition.source, ids::HasComponent, definition.id);
  space_.Link(definition.source, ids::HasCondition, definition.id);
  // The source's events reach the items on it and on the Server object.
  source = space_.Find(definition.source);
  source->eventNotifier |= kSubscribeToEvents;
  // A source the application has placed in the notifier hierarchy (see
  // AddNotifier) reaches the Server object through it.
  const NodeId server(0, ids::Server);
  const bool notified = std::any_of(source->references.begin(), source->references.end(),
                                    [&](const Reference& r) {
                                      return !r.isForward && r.typeId == NodeId(0, ids::HasNotifier);
                                    });
  if (!notified && !(definition.source == server)) space_.Link(server, ids::HasNotifier, definition.source);
  Condition c;
  c.definition = definition;
  c.sourceName = source->browseName.name;
  handle = static_cast<uint32_t>(conditions_.size());
  conditions_.push_back(std::move(c));
  return true;
}

bool ServerCore::AddNotifier(const NodeId& notifier, const NodeId& child, std::string& error) {
  Node* parent = space_.Find(notifier);
  Node* node = space_.Find(child);
  for (auto [id, n] : {std::pair{&notifier, parent}, std::pair{&child, node}}) {
    if (!n || n->nodeClass != NodeClass::Object) {
      error = "notifier " + id->ToString() + " is not an object";
      return false;
    }
  }
  if (notifier == child) {
    error = "object " + child.ToString() + " cannot be its own notifier";
    return false;
  }
  parent->eventNotifier |= kSubscribeToEvents;
  node->eventNotifier |= kSubscribeToEvents;
  space_.Link(notifier, ids::HasNotifier, child);
  return true;
}

void ServerCore::RaiseConditionEvent(Condition& c) {
  c.eventId = NewEventId();
  c.reported = true;
  ReportEvent(ConditionEvent(c, space_, clock_.Now()));
}

void ServerCore::ApplyConditionUpdates(std::vector<ConditionUpdate>& updates) {
  for (auto& u : updates) {
    if (u.handle >= conditions_.size()) continue;
    Condition& c = conditions_[u.handle];
    Cut(u.state.message.text, kMaxConditionMessageBytes);
    // The time alone is no change: an application that mirrors a client's
    // acknowledgment sets the state the stack already holds, at its own time.
    ConditionState same = u.state;
    same.time = c.state.time;
    if (c.reported && same == c.state) continue;
    if (c.reported) c.lastSeverity = c.state.severity;
    c.state = std::move(u.state);
    RaiseConditionEvent(c);
  }
}

bool ServerCore::CallStackMethod(Session& session, const NodeId& objectId, const NodeId& methodId,
                                 const std::vector<Variant>& inputs, std::vector<Variant>& outputs,
                                 StatusCode& result) {
  outputs.clear();
  if (methodId.ns != 0 || methodId.type != IdType::Numeric) return false;
  switch (methodId.numeric) {
    case ids::AcknowledgeableConditionType_Acknowledge:
      result = AnswerCondition(session, objectId, inputs, ConditionResponse::Acknowledge);
      return true;
    case ids::AcknowledgeableConditionType_Confirm:
      result = AnswerCondition(session, objectId, inputs, ConditionResponse::Confirm);
      return true;
    case ids::ConditionType_ConditionRefresh:
      // Clients call it on ConditionType or on the Server object.
      result = objectId == NodeId(0, ids::ConditionType) || objectId == NodeId(0, ids::Server)
                   ? RefreshConditions(session, inputs)
                   : status::BadMethodInvalid;
      return true;
    default:
      return false;
  }
}

StatusCode ServerCore::AnswerCondition(Session& s, const NodeId& objectId,
                                       const std::vector<Variant>& inputs,
                                       ConditionResponse response) {
  auto it = std::find_if(conditions_.begin(), conditions_.end(),
                         [&](const Condition& c) { return c.definition.id == objectId; });
  if (it == conditions_.end())
    return space_.Find(objectId) ? status::BadMethodInvalid : status::BadNodeIdUnknown;
  // The same rule as for writes: answering an alarm changes the process's state.
  if (!s.signedIn && !config_.security.anonymousWrites) return status::BadUserAccessDenied;
  if (inputs.size() < 2) return status::BadArgumentsMissing;
  if (inputs.size() > 2) return status::BadTooManyArguments;
  const auto* eventId = std::get_if<ByteString>(&inputs[0].scalar);
  const auto* comment = std::get_if<LocalizedText>(&inputs[1].scalar);
  if (inputs[0].isArray || inputs[1].isArray || !eventId || !comment)
    return status::BadInvalidArgument;
  Condition& c = *it;
  // Only the newest state can be answered: a client that acknowledges an
  // older one has not seen what the condition is now.
  if (!c.reported || !(eventId->data == c.eventId.data)) return status::BadEventIdUnknown;
  const bool acknowledge = response == ConditionResponse::Acknowledge;
  if (acknowledge && c.state.acked) return status::BadConditionBranchAlreadyAcked;
  if (!acknowledge && c.state.confirmed) return status::BadConditionBranchAlreadyConfirmed;
  // A state is confirmed once it has been acknowledged.
  if (!acknowledge && !c.state.acked) return status::BadInvalidState;
  LocalizedText text = *comment;
  Cut(text.text, kMaxConditionMessageBytes);
  std::string user = ClientUserId(s);
  if (conditionCallback_) {
    auto handle = static_cast<uint32_t>(it - conditions_.begin());
    StatusCode verdict = conditionCallback_(handle, response, text, user);
    if (!verdict.IsGood()) return verdict;
  }
  c.lastSeverity = c.state.severity;
  (acknowledge ? c.state.acked : c.state.confirmed) = true;
  c.state.time = clock_.Now();
  c.comment = std::move(text);
  c.clientUserId = std::move(user);
  RaiseConditionEvent(c);
  return status::Good;
}

StatusCode ServerCore::RefreshConditions(Session& s, const std::vector<Variant>& inputs) {
  if (inputs.empty()) return status::BadArgumentsMissing;
  if (inputs.size() > 1) return status::BadTooManyArguments;
  const auto* id = std::get_if<uint32_t>(&inputs[0].scalar);
  if (inputs[0].isArray || !id) return status::BadInvalidArgument;
  Subscription* sub = FindSubscription(s, *id);
  if (!sub) return status::BadSubscriptionIdInvalid;
  // Start and end mark the refresh for every event item of the
  // subscription; in between, each item gets the retained conditions of
  // the sources below its notifier, through its where clause.
  DateTime now = clock_.Now();
  auto all = [&](const Event& e) {
    for (auto& [itemId, item] : sub->items) EnqueueEvent(*item, e, true);
  };
  all(SystemEvent(ids::RefreshStartEventType, "Condition refresh started", NewEventId(), now));
  for (const Condition& c : conditions_) {
    if (!c.reported || !c.Retain()) continue;
    Event e = ConditionEvent(c, space_, now);
    std::vector<Node*> notifiers = NotifiersOf(c.definition.source);
    for (auto& [itemId, item] : sub->items)
      if (std::find(notifiers.begin(), notifiers.end(), item->node) != notifiers.end())
        EnqueueEvent(*item, e, false);
  }
  all(SystemEvent(ids::RefreshEndEventType, "Condition refresh ended", NewEventId(), now));
  return status::Good;
}

}  // namespace opcua
