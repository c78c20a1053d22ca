// Monitored items: their creation, changes and deletion, and the queueing of
// every value change of a watched node on each of its items (up to its
// queue size), so that a client with sampling interval 0 sees every change.

#include <algorithm>
#include <cmath>

#include "opcua/ServerCoreInternal.h"

namespace opcua {

namespace {

bool ValidMode(MonitoringMode m) {
  return static_cast<int32_t>(m) >= 0 && static_cast<int32_t>(m) <= 2;
}

// Reads the trigger of a DataChangeFilter; other filters are not offered.
StatusCode ParseFilter(const ExtensionObject& filter, int32_t& trigger) {
  trigger = 1;
  if (filter.encoding == ExtensionObject::Encoding::None) return status::Good;
  DataChangeFilter f;
  if (!Unwrap(filter, f).IsGood() || f.deadbandType != 0 || f.trigger < 0 || f.trigger > 2)
    return status::BadMonitoredItemFilterUnsupported;
  trigger = f.trigger;
  return status::Good;
}

// Whether `value` is a change from `before` for an item with `trigger` (0
// status, 1 status and value, 2 status, value and source timestamp).
bool Differs(int32_t trigger, const DataValue& before, const DataValue& value) {
  if (before.status != value.status) return true;
  if (trigger == 0) return false;
  if (!(before.value == value.value)) return true;
  return trigger != 1 && !(before.sourceTimestamp == value.sourceTimestamp);
}

}  // namespace

void ServerCore::DeleteItem(MonitoredItem& item) {
  if (item.node) {
    std::erase(item.node->monitors, &item);
    std::erase(item.node->eventMonitors, &item);
  }
  Subscription& sub = *item.subscription;
  --sub.session->monitoredItemCount;
  sub.session->queueSlots -= ReservedSlots(item);
  sub.items.erase(item.id);  // destroys `item`
}

void ServerCore::Enqueue(MonitoredItem& item, const DataValue& value) {
  Enqueue(item, value, clock_.MonotonicMs());
}

void ServerCore::Enqueue(MonitoredItem& item, const DataValue& value, int64_t now) {
  if (item.mode == MonitoringMode::Disabled) return;
  if (item.hasLast && !Differs(item.trigger, item.last, value)) return;
  item.last = value;
  item.hasLast = true;
  // With a sampling interval, changes within one interval replace each
  // other; with interval 0 every change is kept.
  if (item.samplingIntervalMs > 0 && !item.queue.empty() &&
      now - item.lastSampleMs < item.samplingIntervalMs) {
    DataValue& replaced = item.queue.back();
    replaced = value;
    ApplyTimestamps(replaced, item.timestamps);
    return;
  }
  item.lastSampleMs = now;
  ApplyTimestamps(item.queue.push_back(value, size_t{item.queueSize} + 1), item.timestamps);
  if (item.queue.size() <= item.queueSize) return;
  if (item.discardOldest) {
    item.queue.pop_front();
  } else {
    item.queue.drop_before_back();
  }
  // Tell the client values were lost, on the value next to the gap.
  DataValue& marked = item.discardOldest ? item.queue.front() : item.queue.back();
  if (item.queueSize > 1) {
    marked.hasStatus = true;
    marked.status.value |= status::InfoOverflowBits;
  }
}

void ServerCore::EnqueueBatch(MonitoredItem& item, std::span<DataValue* const> values,
                               int64_t nowMs) {
  // When every change is kept and the oldest go first, the queue size + 1
  // newest changes push out everything before them (and mark the overflow):
  // the values older than those changes are skipped, and the value just
  // before them stands in for the last one reported, which it equals in
  // whatever the trigger compares.
  size_t first = 0;
  if (item.mode != MonitoringMode::Disabled && item.samplingIntervalMs == 0 && item.discardOldest &&
      values.size() > size_t{item.queueSize} + 1) {
    size_t changes = 0;
    for (size_t i = values.size() - 1; i > 0; --i)
      if (Differs(item.trigger, *values[i - 1], *values[i]) && ++changes > item.queueSize) {
        first = i;
        break;
      }
  }
  if (first > 0) {
    item.last = *values[first - 1];
    item.hasLast = true;
  }
  for (size_t i = first; i < values.size(); ++i) Enqueue(item, *values[i], nowMs);
}

void ServerCore::CreateMonitoredItems(Context& ctx, const CreateMonitoredItemsRequest& req,
                                      CreateMonitoredItemsResponse& resp) {
  Session& s = *ctx.session;
  Subscription* sub = CheckSubscriptionRequest(ctx, req.subscriptionId, req.itemsToCreate.size(),
                                               &req.timestampsToReturn);
  if (!sub) return;
  for (const auto& r : req.itemsToCreate) {
    if (r.itemToMonitor.attributeId == kAttrEventNotifier) {
      resp.results.push_back(CreateEventItem(s, *sub, r));
      continue;
    }
    MonitoredItemCreateResult result;
    Node* node = space_.Find(r.itemToMonitor.nodeId);
    DataValue initial;
    int32_t trigger = 1;
    const MonitoringParameters& p = r.requestedParameters;
    if (!node) {
      result.statusCode = status::BadNodeIdUnknown;
    } else if (initial = ReadAttribute(*node, r.itemToMonitor.attributeId, TimestampsToReturn::Both);
               initial.status == status::BadAttributeIdInvalid ||
               initial.status == status::BadNotReadable) {
      result.statusCode = initial.status;
    } else if (!ValidMode(r.monitoringMode)) {
      result.statusCode = status::BadMonitoringModeInvalid;
    } else if (StatusCode f = ParseFilter(p.filter, trigger); !f.IsGood()) {
      result.statusCode = f;
    } else if (s.monitoredItemCount >= config_.limits.maxMonitoredItemsPerSession) {
      result.statusCode = status::BadTooManyMonitoredItems;
    }
    if (!result.statusCode.IsGood()) {
      resp.results.push_back(result);
      continue;
    }
    auto item = std::make_unique<MonitoredItem>();
    item->id = nextMonitoredItemId_++;
    item->subscription = sub;
    item->node = node;
    item->attributeId = r.itemToMonitor.attributeId;
    item->clientHandle = p.clientHandle;
    item->mode = r.monitoringMode;
    item->samplingIntervalMs = std::isnan(p.samplingInterval) ? 0
                               : p.samplingInterval < 0      ? sub->publishingIntervalMs
                                                             : p.samplingInterval;
    item->queueSize = ReviseQueueSize(s, p.queueSize, 0);
    s.queueSlots += item->queueSize;
    item->discardOldest = p.discardOldest;
    item->timestamps = req.timestampsToReturn;
    item->trigger = trigger;
    if (item->attributeId == kAttrValue) node->monitors.push_back(item.get());
    result.monitoredItemId = item->id;
    result.revisedSamplingInterval = item->samplingIntervalMs;
    result.revisedQueueSize = item->queueSize;
    ++s.monitoredItemCount;
    Enqueue(*item, initial);
    sub->items.emplace(item->id, std::move(item));
    resp.results.push_back(result);
  }
}

void ServerCore::ModifyMonitoredItems(Context& ctx, const ModifyMonitoredItemsRequest& req,
                                      ModifyMonitoredItemsResponse& resp) {
  Subscription* sub = CheckSubscriptionRequest(ctx, req.subscriptionId, req.itemsToModify.size(),
                                               &req.timestampsToReturn);
  if (!sub) return;
  Session& s = *ctx.session;
  for (const auto& r : req.itemsToModify) {
    MonitoredItemModifyResult result;
    auto it = sub->items.find(r.monitoredItemId);
    int32_t trigger = 1;
    if (it == sub->items.end()) {
      result.statusCode = status::BadMonitoredItemIdInvalid;
    } else if (it->second->events) {
      result = ModifyEventItem(s, *it->second, r.requestedParameters);
    } else if (StatusCode f = ParseFilter(r.requestedParameters.filter, trigger); !f.IsGood()) {
      result.statusCode = f;
    } else {
      MonitoredItem& item = *it->second;
      const MonitoringParameters& p = r.requestedParameters;
      item.clientHandle = p.clientHandle;
      item.samplingIntervalMs = std::isnan(p.samplingInterval) ? 0
                                : p.samplingInterval < 0      ? sub->publishingIntervalMs
                                                              : p.samplingInterval;
      uint32_t queueSize = ReviseQueueSize(s, p.queueSize, item.queueSize);
      s.queueSlots = s.queueSlots - item.queueSize + queueSize;
      item.queueSize = queueSize;
      item.discardOldest = p.discardOldest;
      item.timestamps = req.timestampsToReturn;
      item.trigger = trigger;
      while (item.queue.size() > item.queueSize) item.queue.pop_front();
      result.revisedSamplingInterval = item.samplingIntervalMs;
      result.revisedQueueSize = item.queueSize;
    }
    resp.results.push_back(result);
  }
}

void ServerCore::SetMonitoringMode(Context& ctx, const SetMonitoringModeRequest& req,
                                   SetMonitoringModeResponse& resp) {
  Subscription* sub = CheckSubscriptionRequest(ctx, req.subscriptionId, req.monitoredItemIds.size());
  if (!sub) return;
  if (!ValidMode(req.monitoringMode)) {
    ctx.serviceResult = status::BadMonitoringModeInvalid;
    return;
  }
  for (uint32_t id : req.monitoredItemIds) {
    auto it = sub->items.find(id);
    if (it == sub->items.end()) {
      resp.results.push_back(status::BadMonitoredItemIdInvalid);
      continue;
    }
    MonitoredItem& item = *it->second;
    bool wasDisabled = item.mode == MonitoringMode::Disabled;
    item.mode = req.monitoringMode;
    if (item.mode == MonitoringMode::Disabled) {
      item.queue.clear();
      item.hasLast = false;
      if (item.events) *item.events = {std::move(item.events->filter), {}, false};
    } else if (wasDisabled && !item.events) {
      Enqueue(item, ReadAttribute(*item.node, item.attributeId, TimestampsToReturn::Both));
    }
    resp.results.push_back(status::Good);
  }
}

void ServerCore::DeleteMonitoredItems(Context& ctx, const DeleteMonitoredItemsRequest& req,
                                      DeleteMonitoredItemsResponse& resp) {
  Subscription* sub = CheckSubscriptionRequest(ctx, req.subscriptionId, req.monitoredItemIds.size());
  if (!sub) return;
  for (uint32_t id : req.monitoredItemIds) {
    auto it = sub->items.find(id);
    bool found = it != sub->items.end();
    if (found) DeleteItem(*it->second);
    resp.results.push_back(found ? status::Good : status::BadMonitoredItemIdInvalid);
  }
}

}  // namespace opcua
