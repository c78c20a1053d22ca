#pragma once
// The state a client builds up on the server: sessions, their subscriptions
// and the monitored items inside them.

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "opcua/AddressSpace.h"
#include "opcua/ValueQueue.h"
#include "opcua/EventFilter.h"

namespace opcua {

using ConnectionId = uint64_t;

struct Subscription;

struct MonitoredItem {
  uint32_t id = 0;
  Subscription* subscription = nullptr;
  Node* node = nullptr;
  uint32_t attributeId = kAttrValue;
  uint32_t clientHandle = 0;
  MonitoringMode mode = MonitoringMode::Reporting;
  double samplingIntervalMs = 0;
  uint32_t queueSize = 1;
  bool discardOldest = true;
  TimestampsToReturn timestamps = TimestampsToReturn::Both;
  int32_t trigger = 1;  // 0 status, 1 status+value, 2 status+value+timestamp
  ValueQueue queue;
  DataValue last;
  bool hasLast = false;
  int64_t lastSampleMs = 0;
  // Event items (attribute EventNotifier) only: the filter and the queue of
  // events, each of which takes `slotWeight` of the session's queue slots.
  std::unique_ptr<EventItemState> events;
  uint32_t slotWeight = 1;
  uint32_t extraSlots = 0;  // for the memory its event filter holds
};

// The session's queue slots an item holds.
inline size_t ReservedSlots(const MonitoredItem& item) {
  return size_t{item.queueSize} * item.slotWeight + item.extraSlots;
}

// The item has something to report.
inline bool HasNotifications(const MonitoredItem& item) {
  return !item.queue.empty() || (item.events && (!item.events->queue.empty() || item.events->overflowed));
}

struct Subscription {
  uint32_t id = 0;
  struct Session* session = nullptr;
  double publishingIntervalMs = 0;
  uint32_t lifetimeCount = 0;
  uint32_t maxKeepAliveCount = 0;
  uint32_t maxNotificationsPerPublish = 0;
  bool publishingEnabled = true;
  uint8_t priority = 0;

  int64_t nextTickMs = 0;
  uint32_t keepAliveCounter = 0;
  uint32_t lifetimeCounter = 0;
  bool late = false;  // a message is due but no Publish request was waiting
  uint32_t nextSequenceNumber = 1;
  size_t queuedValues = 0;  // values waiting in the items' queues
  std::map<uint32_t, std::unique_ptr<MonitoredItem>> items;
  std::deque<NotificationMessage> retransmissions;
};

struct PendingPublish {
  ConnectionId connection = 0;
  uint32_t requestId = 0;
  uint32_t requestHandle = 0;
  int64_t deadlineMs = 0;  // 0: no deadline
  std::vector<StatusCode> ackResults;
};

struct BrowseContinuation {
  std::vector<ReferenceDescription> remaining;
  uint32_t maxPerResponse = 0;
};

// Where a HistoryRead of one node goes on. It names no values, only
// positions in the node's history, so a held point costs a few bytes.
struct HistoryContinuation {
  NodeId node;
  uint64_t clearedBefore = 0;  // the history it reads; a clear since voids it
  bool processed = false;
  // Raw: the indices still to return, [lo, hi); forward reads go on at lo,
  // backward ones at hi.
  bool backward = false;
  uint64_t lo = 0, hi = 0;
  // Processed: the intervals, the aggregate and the next interval to return.
  int64_t startTicks = 0, endTicks = 0, intervalTicks = 0;
  uint32_t aggregate = 0;
  uint64_t nextInterval = 0;
};

// A status change of a subscription (e.g. its transfer to another session)
// waiting for a Publish request of the session that loses it.
struct PendingStatusChange {
  uint32_t subscriptionId = 0;
  uint32_t sequenceNumber = 0;
  StatusCode status;
};

struct Session {
  NodeId sessionId;
  NodeId authenticationToken;
  std::string name;
  // Who activated the session: "anonymous", or "user:" and the user name.
  // Subscriptions move only between sessions of the same identity.
  std::string identity;
  // A user signed in with a password; anonymous sessions write only where
  // the server's configuration lets them.
  bool signedIn = false;
  // The channel security the session was created on; it is activated only
  // on channels of the same security and client certificate (DER, possibly
  // followed by its chain; empty without security).
  std::string securityPolicyUri;
  MessageSecurityMode securityMode = MessageSecurityMode::None;
  std::string clientCertificate;
  // The nonce of the last CreateSession or ActivateSession response, which
  // the next activation's signature and password secret must carry.
  std::string serverNonce;
  double timeoutMs = 0;
  int64_t createdMs = 0;
  int64_t lastActivityMs = 0;
  bool activated = false;
  bool signInPending = false;  // an activation waits for its password check
  ConnectionId connection = 0;
  std::deque<PendingPublish> publishQueue;
  std::set<uint32_t> subscriptionIds;
  size_t monitoredItemCount = 0;
  size_t queueSlots = 0;           // sum of the queue sizes of its monitored items
  size_t retransmissionBytes = 0;  // notification bytes kept for Republish
  std::deque<PendingStatusChange> statusChanges;
  std::map<std::string, BrowseContinuation> continuations;
  std::map<std::string, HistoryContinuation> historyContinuations;
};

}  // namespace opcua
