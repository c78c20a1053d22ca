// Event monitored items: their creation with an EventFilter, the delivery
// of events to the items of the notifiers above an event's source, and the
// EventNotificationList a Publish response carries.
//
// An event item's queue lives in the session's queue slots like a data
// item's: each queued event takes one slot per kEventFieldsPerSlot selected
// fields, and the compiled filter takes slots for the memory it holds, so
// that the session's budget of queued values bounds event items too.

#include <algorithm>
#include <cstring>

#include "opcua/EventNodeIds.h"
#include "opcua/EventTypes.h"
#include "opcua/NodeIds.h"
#include "opcua/ServerCoreInternal.h"

namespace opcua {

namespace {

// A queue slot is sized for one value of a data item; an event's fields are
// of the same kind, a few to a slot.
constexpr size_t kEventFieldsPerSlot = 4;
// The queue of an event item whose client leaves the size to the server.
constexpr uint32_t kDefaultEventQueueSize = 100;
// Notifiers above a source: objects are seldom deeper than a few levels.
constexpr size_t kMaxNotifiers = 16;

bool ValidMode(MonitoringMode m) {
  return static_cast<int32_t>(m) >= 0 && static_cast<int32_t>(m) <= 2;
}

struct Reservation {
  uint32_t queueSize = 0;
  uint32_t slotWeight = 1;
  uint32_t extraSlots = 0;
};

// Fits an event item's queue into the session's free slots, after what
// `current` (the item being modified, or null) gives back. False when not
// even one event fits.
bool ReserveEventQueue(const Session& s, const ServerLimits& limits, const MonitoredItem* current,
                       const EventFilterProgram& filter, uint32_t requested, Reservation& out) {
  out.slotWeight = static_cast<uint32_t>(
      std::max<size_t>(1, (filter.SelectCount() + kEventFieldsPerSlot - 1) / kEventFieldsPerSlot));
  out.extraSlots = static_cast<uint32_t>((filter.Bytes() + kQueuedValueBytes - 1) / kQueuedValueBytes);
  // As for data items: every further item the session may create keeps one
  // slot, and this item's own slot is part of what is free.
  size_t items = s.monitoredItemCount + (current ? 0 : 1);
  size_t held = s.queueSlots - (current ? ReservedSlots(*current) : 0);
  size_t kept = held + (limits.maxMonitoredItemsPerSession > items
                            ? limits.maxMonitoredItemsPerSession - items : 0);
  size_t free = limits.maxQueuedValuesPerSession > kept ? limits.maxQueuedValuesPerSession - kept : 0;
  if (free < out.extraSlots + out.slotWeight) return false;
  size_t most = std::min<size_t>((free - out.extraSlots) / out.slotWeight, limits.maxQueueSize);
  size_t wanted = requested == 0 ? kDefaultEventQueueSize : requested;
  out.queueSize = static_cast<uint32_t>(std::clamp<size_t>(wanted, 1, most));
  return true;
}

// Decodes and checks the filter of an event item into `state`.
StatusCode CompileFilter(const ExtensionObject& raw, const AddressSpace& space,
                         EventItemState& state, ExtensionObject& filterResult) {
  if (raw.encoding == ExtensionObject::Encoding::None) return status::BadEventFilterInvalid;
  if (!(raw.typeId == NodeId(0, EventFilter::kTypeId))) return status::BadMonitoredItemFilterUnsupported;
  EventFilter filter;
  if (!Unwrap(raw, filter).IsGood()) return status::BadEventFilterInvalid;
  EventFilterResult result;
  StatusCode st = state.filter.Compile(filter, space, result);
  filterResult = Wrap(result);
  return st;
}

}  // namespace

MonitoredItemCreateResult ServerCore::CreateEventItem(Session& s, Subscription& sub,
                                                      const MonitoredItemCreateRequest& r) {
  MonitoredItemCreateResult result;
  const MonitoringParameters& p = r.requestedParameters;
  Node* node = space_.Find(r.itemToMonitor.nodeId);
  auto state = std::make_unique<EventItemState>();
  Reservation reservation;
  if (!node) {
    result.statusCode = status::BadNodeIdUnknown;
  } else if (node->nodeClass != NodeClass::Object || !(node->eventNotifier & kSubscribeToEvents)) {
    result.statusCode = status::BadAttributeIdInvalid;
  } else if (!r.itemToMonitor.indexRange.empty()) {
    result.statusCode = status::BadIndexRangeInvalid;
  } else if (!ValidMode(r.monitoringMode)) {
    result.statusCode = status::BadMonitoringModeInvalid;
  } else if (s.monitoredItemCount >= config_.limits.maxMonitoredItemsPerSession) {
    result.statusCode = status::BadTooManyMonitoredItems;
  } else if (StatusCode f = CompileFilter(p.filter, space_, *state, result.filterResult);
             !f.IsGood()) {
    result.statusCode = f;
  } else if (!ReserveEventQueue(s, config_.limits, nullptr, state->filter, p.queueSize,
                                reservation)) {
    result.statusCode = status::BadTooManyMonitoredItems;
  }
  if (!result.statusCode.IsGood()) return result;
  auto item = std::make_unique<MonitoredItem>();
  item->id = nextMonitoredItemId_++;
  item->subscription = &sub;
  item->node = node;
  item->attributeId = kAttrEventNotifier;
  item->clientHandle = p.clientHandle;
  item->mode = r.monitoringMode;
  item->queueSize = reservation.queueSize;
  item->slotWeight = reservation.slotWeight;
  item->extraSlots = reservation.extraSlots;
  item->discardOldest = p.discardOldest;
  item->events = std::move(state);
  s.queueSlots += ReservedSlots(*item);
  ++s.monitoredItemCount;
  node->eventMonitors.push_back(item.get());
  result.monitoredItemId = item->id;
  result.revisedQueueSize = item->queueSize;
  sub.items.emplace(item->id, std::move(item));
  return result;
}

MonitoredItemModifyResult ServerCore::ModifyEventItem(Session& s, MonitoredItem& item,
                                                      const MonitoringParameters& p) {
  MonitoredItemModifyResult result;
  auto state = std::make_unique<EventItemState>();
  Reservation reservation;
  result.statusCode = CompileFilter(p.filter, space_, *state, result.filterResult);
  if (result.statusCode.IsGood() &&
      !ReserveEventQueue(s, config_.limits, &item, state->filter, p.queueSize, reservation))
    result.statusCode = status::BadTooManyMonitoredItems;
  if (!result.statusCode.IsGood()) return result;  // the item keeps its filter and queue
  s.queueSlots -= ReservedSlots(item);
  item.clientHandle = p.clientHandle;
  item.queueSize = reservation.queueSize;
  item.slotWeight = reservation.slotWeight;
  item.extraSlots = reservation.extraSlots;
  item.discardOldest = p.discardOldest;
  s.queueSlots += ReservedSlots(item);
  // Queued events keep the fields of the filter they were selected with;
  // they are sent as they are, up to the new queue size.
  state->queue = std::move(item.events->queue);
  state->overflowed = item.events->overflowed;
  while (state->queue.size() > item.queueSize) {
    state->queue.pop_front();
    state->overflowed = true;
  }
  item.events = std::move(state);
  result.revisedQueueSize = item.queueSize;
  return result;
}

ByteString ServerCore::NewEventId() {
  // The start time makes the ids of one run differ from those of another.
  std::string id(16, '\0');
  int64_t start = startTime_.ticks;
  uint64_t number = nextEventNumber_++;
  std::memcpy(id.data(), &start, sizeof start);
  std::memcpy(id.data() + sizeof start, &number, sizeof number);
  return ByteString(std::move(id));
}

std::vector<Node*> ServerCore::NotifiersOf(const NodeId& source) {
  std::vector<Node*> out;
  std::vector<NodeId> todo{source};
  const NodeId hasNotifier(0, ids::HasNotifier), hasEventSource(0, ids::HasEventSource);
  while (!todo.empty() && out.size() < kMaxNotifiers) {
    Node* n = space_.Find(todo.back());
    todo.pop_back();
    if (!n || std::find(out.begin(), out.end(), n) != out.end()) continue;
    out.push_back(n);
    for (const Reference& r : n->references)
      if (!r.isForward && (r.typeId == hasNotifier || r.typeId == hasEventSource))
        todo.push_back(r.target);
  }
  return out;
}

void ServerCore::EnqueueEvent(MonitoredItem& item, const Event& event, bool always) {
  if (item.mode == MonitoringMode::Disabled || !item.events) return;
  EventItemState& st = *item.events;
  if (!always && !st.filter.Matches(event, space_)) return;
  st.queue.push_back(st.filter.Select(event, space_));
  if (st.queue.size() <= item.queueSize) return;
  // Full: the oldest event goes, or the new one; the client learns of the
  // loss from an overflow event.
  if (item.discardOldest)
    st.queue.pop_front();
  else
    st.queue.pop_back();
  st.overflowed = true;
}

void ServerCore::ReportEvent(const Event& event) {
  for (Node* notifier : NotifiersOf(event.source))
    for (MonitoredItem* item : notifier->eventMonitors) EnqueueEvent(*item, event, false);
}

size_t ServerCore::AppendEventNotifications(Subscription& sub, size_t limit, size_t budget,
                                            NotificationMessage& message) {
  std::string bytes;
  size_t count = 0;
  bool full = false;
  // The first event always goes when nothing else is in the message, so
  // that a small response size never stops the queue.
  const bool mayExceed = message.notificationData.empty();
  auto add = [&](uint32_t clientHandle, const std::vector<Variant>& fields) {
    std::string one;
    Writer w(one);
    w.Put(clientHandle);
    w.Put(fields);
    if (count >= limit || (!(mayExceed && count == 0) && bytes.size() + one.size() > budget)) {
      full = true;
      return false;
    }
    bytes += one;
    ++count;
    return true;
  };
  for (auto& entry : sub.items) {
    MonitoredItem& item = *entry.second;
    if (!item.events || item.mode != MonitoringMode::Reporting) continue;
    EventItemState& st = *item.events;
    auto overflow = [&] {
      Event lost = SystemEvent(ids::EventQueueOverflowEventType, "Events were lost", NewEventId(),
                               clock_.Now());
      if (add(item.clientHandle, st.filter.Select(lost, space_))) st.overflowed = false;
    };
    if (st.overflowed && item.discardOldest) overflow();
    while (!full && !(st.overflowed && item.discardOldest) && !st.queue.empty()) {
      if (!add(item.clientHandle, st.queue.front())) break;
      st.queue.pop_front();
    }
    // Discarding the newest, the overflow comes after the events kept.
    if (!full && st.overflowed && !item.discardOldest && st.queue.empty()) overflow();
    if (full) break;
  }
  if (count == 0) return 0;
  ExtensionObject list;
  list.typeId = NodeId(0, EventNotificationList::kTypeId);
  list.encoding = ExtensionObject::Encoding::Binary;
  Writer body(list.body);
  body.Put(static_cast<int32_t>(count));
  body.PutBytes(bytes);
  message.notificationData.push_back(std::move(list));
  return count;
}

}  // namespace opcua
