// Subscriptions, Publish and Republish (the monitored items whose queues
// they empty are in ServicesMonitoredItems.cpp).
//
// A subscription's timer turns the items' queues into one notification
// message per publishing interval, answered on the oldest Publish request
// the session has waiting; with none waiting the subscription is "late" and
// the next Publish request is answered at once.

#include <algorithm>
#include <cmath>
#include <cstring>

#include "opcua/ServerCoreInternal.h"

namespace opcua {

namespace {

bool HasReportable(const Subscription& sub) {
  for (const auto& [id, item] : sub.items)
    if (item->mode == MonitoringMode::Reporting && HasNotifications(*item)) return true;
  return false;
}

uint32_t NextSequence(uint32_t n) { return n == 0xFFFFFFFFu ? 1 : n + 1; }

// What a kept notification message costs: its encoded notifications and a
// little for the message around them.
size_t MessageBytes(const NotificationMessage& m) {
  size_t bytes = sizeof(NotificationMessage);
  for (const auto& data : m.notificationData) bytes += sizeof(ExtensionObject) + data.body.size();
  return bytes;
}

size_t QueueSlots(const Subscription& sub) {
  size_t slots = 0;
  for (const auto& [id, item] : sub.items) slots += ReservedSlots(*item);
  return slots;
}

// Room left in a Publish response for the headers around the notifications,
// and the most notification bytes one response carries.
constexpr size_t kPublishOverhead = 4096;
constexpr size_t kMaxNotificationBytes = 8 * 1024 * 1024;

}  // namespace

double ServerCore::RevisePublishingInterval(double requested) const {
  const ServerLimits& l = config_.limits;
  if (std::isnan(requested) || requested < l.minPublishingIntervalMs) return l.minPublishingIntervalMs;
  return std::min(requested, l.maxPublishingIntervalMs);
}

uint32_t ServerCore::ReviseQueueSize(const Session& s, uint32_t requested, uint32_t current) const {
  const ServerLimits& l = config_.limits;
  // The session's slots left once this item gives back its own, less one
  // for every further item the session may still create.
  size_t items = s.monitoredItemCount + (current == 0 ? 1 : 0);
  size_t kept = (s.queueSlots - current) +
                (l.maxMonitoredItemsPerSession > items ? l.maxMonitoredItemsPerSession - items : 0);
  size_t free = l.maxQueuedValuesPerSession > kept ? l.maxQueuedValuesPerSession - kept : 1;
  size_t most = std::clamp<size_t>(free, 1, l.maxQueueSize);
  return static_cast<uint32_t>(std::clamp<size_t>(requested, 1, most));
}

bool ServerCore::CheckOperationCount(Context& ctx, size_t operations) {
  if (operations == 0)
    ctx.serviceResult = status::BadNothingToDo;
  else if (operations > config_.limits.maxNodesPerRequest)
    ctx.serviceResult = status::BadTooManyOperations;
  return ctx.serviceResult.IsGood();
}

Subscription* ServerCore::CheckSubscriptionRequest(Context& ctx, uint32_t subscriptionId,
                                                   size_t operations,
                                                   const TimestampsToReturn* timestamps) {
  Subscription* sub = FindSubscription(*ctx.session, subscriptionId);
  if (!sub) {
    ctx.serviceResult = status::BadSubscriptionIdInvalid;
    return nullptr;
  }
  if (timestamps && !ValidTimestamps(*timestamps)) {
    ctx.serviceResult = status::BadTimestampsToReturnInvalid;
    return nullptr;
  }
  return CheckOperationCount(ctx, operations) ? sub : nullptr;
}

Subscription* ServerCore::FindSubscription(Session& s, uint32_t id) {
  if (!s.subscriptionIds.count(id)) return nullptr;
  auto it = subscriptions_.find(id);
  return it == subscriptions_.end() ? nullptr : it->second.get();
}

// ---- Subscriptions -----------------------------------------------------------------

static void ReviseCounts(Subscription& sub, uint32_t keepAlive, uint32_t lifetime,
                         uint32_t maxNotifications, const ServerLimits& limits) {
  sub.maxKeepAliveCount = std::clamp<uint32_t>(keepAlive == 0 ? 10 : keepAlive, 1,
                                               limits.maxKeepAliveCount);
  // The lifetime must cover at least three keep-alives.
  sub.lifetimeCount = std::clamp<uint32_t>(lifetime, sub.maxKeepAliveCount * 3, 10'000'000);
  sub.maxNotificationsPerPublish = maxNotifications == 0
                                       ? limits.maxNotificationsPerPublish
                                       : std::min(maxNotifications, limits.maxNotificationsPerPublish);
}

void ServerCore::CreateSubscription(Context& ctx, const CreateSubscriptionRequest& req,
                                    CreateSubscriptionResponse& resp) {
  Session& s = *ctx.session;
  if (s.subscriptionIds.size() >= config_.limits.maxSubscriptionsPerSession) {
    ctx.serviceResult = status::BadTooManySubscriptions;
    return;
  }
  auto sub = std::make_unique<Subscription>();
  sub->id = nextSubscriptionId_++;
  sub->session = &s;
  sub->publishingIntervalMs = RevisePublishingInterval(req.requestedPublishingInterval);
  ReviseCounts(*sub, req.requestedMaxKeepAliveCount, req.requestedLifetimeCount,
               req.maxNotificationsPerPublish, config_.limits);
  sub->publishingEnabled = req.publishingEnabled;
  sub->priority = req.priority;
  sub->nextTickMs = clock_.MonotonicMs() + static_cast<int64_t>(sub->publishingIntervalMs);
  // The first interval ends with a message even when nothing changed, so
  // the client learns at once that the subscription works.
  sub->keepAliveCounter = sub->maxKeepAliveCount;

  resp.subscriptionId = sub->id;
  resp.revisedPublishingInterval = sub->publishingIntervalMs;
  resp.revisedLifetimeCount = sub->lifetimeCount;
  resp.revisedMaxKeepAliveCount = sub->maxKeepAliveCount;
  s.subscriptionIds.insert(sub->id);
  subscriptions_.emplace(sub->id, std::move(sub));
}

void ServerCore::ModifySubscription(Context& ctx, const ModifySubscriptionRequest& req,
                                    ModifySubscriptionResponse& resp) {
  Subscription* sub = FindSubscription(*ctx.session, req.subscriptionId);
  if (!sub) {
    ctx.serviceResult = status::BadSubscriptionIdInvalid;
    return;
  }
  sub->publishingIntervalMs = RevisePublishingInterval(req.requestedPublishingInterval);
  ReviseCounts(*sub, req.requestedMaxKeepAliveCount, req.requestedLifetimeCount,
               req.maxNotificationsPerPublish, config_.limits);
  sub->priority = req.priority;
  sub->nextTickMs = clock_.MonotonicMs() + static_cast<int64_t>(sub->publishingIntervalMs);
  resp.revisedPublishingInterval = sub->publishingIntervalMs;
  resp.revisedLifetimeCount = sub->lifetimeCount;
  resp.revisedMaxKeepAliveCount = sub->maxKeepAliveCount;
}

void ServerCore::SetPublishingMode(Context& ctx, const SetPublishingModeRequest& req,
                                   SetPublishingModeResponse& resp) {
  if (!CheckOperationCount(ctx, req.subscriptionIds.size())) return;
  for (uint32_t id : req.subscriptionIds) {
    Subscription* sub = FindSubscription(*ctx.session, id);
    if (sub) sub->publishingEnabled = req.publishingEnabled;
    resp.results.push_back(sub ? status::Good : status::BadSubscriptionIdInvalid);
  }
}

void ServerCore::DeleteSubscriptions(Context& ctx, const DeleteSubscriptionsRequest& req,
                                     DeleteSubscriptionsResponse& resp) {
  if (!CheckOperationCount(ctx, req.subscriptionIds.size())) return;
  for (uint32_t id : req.subscriptionIds) {
    Subscription* sub = FindSubscription(*ctx.session, id);
    if (sub) DeleteSubscription(*sub);
    resp.results.push_back(sub ? status::Good : status::BadSubscriptionIdInvalid);
  }
}

void ServerCore::DeleteSubscription(Subscription& sub) {
  while (!sub.items.empty()) DeleteItem(*sub.items.begin()->second);
  Session& s = *sub.session;
  for (const auto& kept : sub.retransmissions) s.retransmissionBytes -= MessageBytes(kept);
  s.subscriptionIds.erase(sub.id);
  subscriptions_.erase(sub.id);  // destroys `sub`
  // Without subscriptions, waiting Publish requests can never be answered.
  DeliverStatusChanges(s);
}

// ---- Publishing ---------------------------------------------------------------------

void ServerCore::Publish(Context& ctx, const PublishRequest& req, PublishResponse&) {
  Session& s = *ctx.session;
  PendingPublish pending;
  pending.connection = ctx.connection.id;
  pending.requestId = ctx.requestId;
  pending.requestHandle = req.requestHeader.requestHandle;
  if (req.requestHeader.timeoutHint != 0)
    pending.deadlineMs = clock_.MonotonicMs() + req.requestHeader.timeoutHint;
  for (const auto& ack : req.subscriptionAcknowledgements) {
    Subscription* sub = FindSubscription(s, ack.subscriptionId);
    if (!sub) {
      pending.ackResults.push_back(status::BadSubscriptionIdInvalid);
      continue;
    }
    auto& kept = sub->retransmissions;
    auto it = std::find_if(kept.begin(), kept.end(), [&](const NotificationMessage& m) {
      return m.sequenceNumber == ack.sequenceNumber;
    });
    bool found = it != kept.end();
    if (found) {
      s.retransmissionBytes -= MessageBytes(*it);
      kept.erase(it);
    }
    pending.ackResults.push_back(found ? status::Good : status::BadSequenceNumberUnknown);
  }
  if (s.subscriptionIds.empty() && s.statusChanges.empty()) {
    ctx.serviceResult = status::BadNoSubscription;
    return;
  }
  ctx.deferred = true;
  if (s.publishQueue.size() >= config_.limits.maxPublishRequestsPerSession) {
    PendingPublish oldest = std::move(s.publishQueue.front());
    s.publishQueue.pop_front();
    if (Connection* c = FindConnection(oldest.connection))
      SendFault(*c, oldest.requestId, oldest.requestHandle, status::BadTooManyPublishRequests);
  }
  s.publishQueue.push_back(std::move(pending));
  for (uint32_t id : s.subscriptionIds) subscriptions_.at(id)->lifetimeCounter = 0;
  DeliverStatusChanges(s);
  ServeLateSubscriptions(s);
}

void ServerCore::ServeLateSubscriptions(Session& s) {
  for (uint32_t id : std::vector<uint32_t>(s.subscriptionIds.begin(), s.subscriptionIds.end())) {
    if (s.publishQueue.empty()) return;
    Subscription* sub = FindSubscription(s, id);
    if (!sub || !sub->late) continue;
    bool hasData = sub->publishingEnabled && HasReportable(*sub);
    if (SendNotification(*sub, !hasData)) sub->keepAliveCounter = 0;
  }
}

bool ServerCore::SendNotification(Subscription& sub, bool keepAlive) {
  Session& s = *sub.session;
  Connection* c = FindConnection(s.connection);
  if (!c || s.publishQueue.empty()) return false;
  PendingPublish pending = std::move(s.publishQueue.front());
  s.publishQueue.pop_front();

  PublishResponse resp;
  resp.subscriptionId = sub.id;
  resp.results = std::move(pending.ackResults);
  NotificationMessage& message = resp.notificationMessage;
  message.publishTime = clock_.Now();
  if (keepAlive) {
    // A keep-alive carries the number the next data message will get.
    message.sequenceNumber = sub.nextSequenceNumber;
  } else {
    // The items are encoded one by one straight into the notification's
    // body, stopping short of what the client accepts in one message; the
    // rest waits for the next Publish.
    size_t limit = sub.maxNotificationsPerPublish;
    size_t budget = c->channel->MaxResponseSize();
    budget = budget == 0                  ? kMaxNotificationBytes
             : budget <= kPublishOverhead ? 1  // still one item per message
                                          : std::min(budget - kPublishOverhead, kMaxNotificationBytes);
    ExtensionObject changes;
    changes.typeId = NodeId(0, DataChangeNotification::kTypeId);
    changes.encoding = ExtensionObject::Encoding::Binary;
    std::string& body = changes.body;
    Writer w(body);
    w.Put(int32_t{0});  // the count, set below
    const size_t itemsStart = body.size();
    int32_t count = 0;
    bool full = false;
    for (auto& [id, item] : sub.items) {
      if (item->mode != MonitoringMode::Reporting) continue;
      while (!item->queue.empty() && static_cast<size_t>(count) < limit && !full) {
        // A MonitoredItemNotification: the client handle and the value.
        const size_t before = body.size();
        w.Put(item->clientHandle);
        w.Put(item->queue.front());
        if (count > 0 && body.size() - itemsStart > budget) {
          body.resize(before);
          full = true;
          break;
        }
        ++count;
        item->queue.pop_front();
      }
    }
    const size_t itemBytes = body.size() - itemsStart;
    std::memcpy(body.data(), &count, sizeof count);  // little-endian, as Writer puts it
    w.Put(int32_t{0});  // no diagnostic infos
    if (count > 0) message.notificationData.push_back(std::move(changes));
    size_t events = full ? 0
                         : AppendEventNotifications(sub, limit - static_cast<size_t>(count),
                                                    budget - std::min(budget, itemBytes), message);
    if (count == 0 && events == 0) message.notificationData.push_back(std::move(changes));
    resp.moreNotifications = HasReportable(sub);
    message.sequenceNumber = sub.nextSequenceNumber;
    sub.nextSequenceNumber = NextSequence(sub.nextSequenceNumber);
    KeepForRepublish(sub, message);
  }
  for (const auto& kept : sub.retransmissions)
    resp.availableSequenceNumbers.push_back(kept.sequenceNumber);
  sub.lifetimeCounter = 0;
  sub.late = resp.moreNotifications;
  SendResponse(*c, pending.requestId, resp, pending.requestHandle);
  return true;
}

void ServerCore::TickSubscription(Subscription& sub, int64_t now) {
  auto interval = static_cast<int64_t>(sub.publishingIntervalMs);
  sub.nextTickMs += interval;
  if (sub.nextTickMs <= now) sub.nextTickMs = now + interval;
  // Computed values (current time, ...) change without telling anyone, so
  // they are sampled once per interval.
  for (auto& [id, item] : sub.items)
    if (item->node->valueSource && item->attributeId == kAttrValue)
      Enqueue(*item, ReadAttribute(*item->node, kAttrValue, TimestampsToReturn::Both));

  Session& s = *sub.session;
  if (s.publishQueue.empty() && ++sub.lifetimeCounter >= sub.lifetimeCount) {
    DeleteSubscription(sub);
    return;
  }
  bool hasData = sub.publishingEnabled && HasReportable(sub);
  if (hasData) {
    if (SendNotification(sub, false))
      sub.keepAliveCounter = 0;
    else
      sub.late = true;
  } else if (++sub.keepAliveCounter >= sub.maxKeepAliveCount) {
    if (SendNotification(sub, true))
      sub.keepAliveCounter = 0;
    else
      sub.late = true;
  }
}

void ServerCore::ExpirePublishRequests(Session& s, int64_t now) {
  Connection* c = FindConnection(s.connection);
  for (auto it = s.publishQueue.begin(); it != s.publishQueue.end();) {
    if (it->deadlineMs == 0 || now <= it->deadlineMs) {
      ++it;
      continue;
    }
    if (c) SendFault(*c, it->requestId, it->requestHandle, status::BadTimeout);
    it = s.publishQueue.erase(it);
  }
}

void ServerCore::Republish(Context& ctx, const RepublishRequest& req, RepublishResponse& resp) {
  Subscription* sub = FindSubscription(*ctx.session, req.subscriptionId);
  if (!sub) {
    ctx.serviceResult = status::BadSubscriptionIdInvalid;
    return;
  }
  for (const auto& kept : sub->retransmissions)
    if (kept.sequenceNumber == req.retransmitSequenceNumber) {
      resp.notificationMessage = kept;
      return;
    }
  ctx.serviceResult = status::BadMessageNotAvailable;
}

// ---- Kept messages and transfers ----------------------------------------------------

void ServerCore::KeepForRepublish(Subscription& sub, const NotificationMessage& message) {
  Session& s = *sub.session;
  const ServerLimits& limits = config_.limits;
  auto dropOldest = [&s](Subscription& from) {
    s.retransmissionBytes -= MessageBytes(from.retransmissions.front());
    from.retransmissions.pop_front();
  };
  // A message larger than the session may keep is sent but cannot be
  // republished.
  if (MessageBytes(message) > limits.maxRetransmissionBytesPerSession) return;
  sub.retransmissions.push_back(message);
  s.retransmissionBytes += MessageBytes(message);
  if (sub.retransmissions.size() > limits.maxRetransmissionsPerSubscription) dropOldest(sub);
  TrimRetransmissions(s, &sub);
}

void ServerCore::TrimRetransmissions(Session& s, const Subscription* newest) {
  // The oldest messages of each subscription go first; the newest message
  // of `newest` stays, as it fits the budget by itself.
  for (uint32_t id : s.subscriptionIds) {
    Subscription& sub = *subscriptions_.at(id);
    size_t keep = &sub == newest ? 1 : 0;
    while (s.retransmissionBytes > config_.limits.maxRetransmissionBytesPerSession &&
           sub.retransmissions.size() > keep) {
      s.retransmissionBytes -= MessageBytes(sub.retransmissions.front());
      sub.retransmissions.pop_front();
    }
  }
}

void ServerCore::MoveSubscription(Subscription& sub, Session& to) {
  Session& from = *sub.session;
  size_t slots = QueueSlots(sub);
  size_t bytes = 0;
  for (const auto& kept : sub.retransmissions) bytes += MessageBytes(kept);
  from.subscriptionIds.erase(sub.id);
  from.monitoredItemCount -= sub.items.size();
  from.queueSlots -= slots;
  from.retransmissionBytes -= bytes;
  to.subscriptionIds.insert(sub.id);
  to.monitoredItemCount += sub.items.size();
  to.queueSlots += slots;
  to.retransmissionBytes += bytes;
  sub.session = &to;
  sub.lifetimeCounter = 0;
  TrimRetransmissions(to, nullptr);
}

void ServerCore::SendStatusChange(Session& s, uint32_t subscriptionId, uint32_t sequenceNumber,
                                  StatusCode change) {
  s.statusChanges.push_back({subscriptionId, sequenceNumber, change});
  if (s.statusChanges.size() > config_.limits.maxSubscriptionsPerSession) s.statusChanges.pop_front();
  DeliverStatusChanges(s);
}

void ServerCore::DeliverStatusChanges(Session& s) {
  Connection* c = FindConnection(s.connection);
  while (c && !s.statusChanges.empty() && !s.publishQueue.empty()) {
    PendingStatusChange change = s.statusChanges.front();
    s.statusChanges.pop_front();
    PendingPublish pending = std::move(s.publishQueue.front());
    s.publishQueue.pop_front();
    PublishResponse resp;
    resp.subscriptionId = change.subscriptionId;
    resp.results = std::move(pending.ackResults);
    // The message takes no sequence number of its own: the subscription,
    // now elsewhere, goes on with the number it carries.
    resp.notificationMessage.sequenceNumber = change.sequenceNumber;
    resp.notificationMessage.publishTime = clock_.Now();
    resp.notificationMessage.notificationData.push_back(
        Wrap(StatusChangeNotification{change.status, {}}));
    SendResponse(*c, pending.requestId, resp, pending.requestHandle);
  }
  if (!s.subscriptionIds.empty() || !s.statusChanges.empty()) return;
  // Nothing is left to answer the remaining Publish requests with.
  if (c)
    for (const auto& p : s.publishQueue)
      SendFault(*c, p.requestId, p.requestHandle, status::BadNoSubscription);
  s.publishQueue.clear();
}

void ServerCore::TransferSubscriptions(Context& ctx, const TransferSubscriptionsRequest& req,
                                       TransferSubscriptionsResponse& resp) {
  if (!CheckOperationCount(ctx, req.subscriptionIds.size())) return;
  Session& to = *ctx.session;
  const ServerLimits& limits = config_.limits;
  for (uint32_t id : req.subscriptionIds) {
    TransferResult result;
    auto found = subscriptions_.find(id);
    Subscription* sub = found == subscriptions_.end() ? nullptr : found->second.get();
    bool moves = sub && sub->session != &to;
    if (!sub) {
      result.statusCode = status::BadSubscriptionIdInvalid;
    } else if (sub->session->identity != to.identity) {
      result.statusCode = status::BadUserAccessDenied;
    } else if (moves && to.subscriptionIds.size() >= limits.maxSubscriptionsPerSession) {
      result.statusCode = status::BadTooManySubscriptions;
    } else if (moves &&
               (to.monitoredItemCount + sub->items.size() > limits.maxMonitoredItemsPerSession ||
                to.queueSlots + QueueSlots(*sub) > limits.maxQueuedValuesPerSession)) {
      result.statusCode = status::BadTooManyMonitoredItems;
    }
    if (!result.statusCode.IsGood()) {
      resp.results.push_back(result);
      continue;
    }
    if (moves) {
      Session& from = *sub->session;
      MoveSubscription(*sub, to);
      SendStatusChange(from, id, sub->nextSequenceNumber, status::GoodSubscriptionTransferred);
    }
    if (req.sendInitialValues)
      for (auto& [itemId, item] : sub->items) {
        if (item->mode != MonitoringMode::Reporting || item->events) continue;
        item->hasLast = false;  // the current value is sent even if unchanged
        Enqueue(*item, ReadAttribute(*item->node, item->attributeId, TimestampsToReturn::Both));
      }
    for (const auto& kept : sub->retransmissions)
      result.availableSequenceNumbers.push_back(kept.sequenceNumber);
    resp.results.push_back(result);
  }
}

}  // namespace opcua
