#pragma once
// What a server is told before it starts: where it listens, what it calls
// itself, and the limits that keep a broken or hostile client in check.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "opcua/SecureChannel.h"
#include "opcua/ServiceTypes.h"
#include "opcua/SignInLimiter.h"
#include "opcua/StatusCodes.h"

namespace opcua {

// Memory budgets. The limits below are chosen so that what a hostile client
// can make the server hold stays within two server-wide budgets:
//  - incomplete requests (chunks of a request whose last chunk has not come):
//    at most maxIncompleteRequestBytes over all connections, 512 MiB (a
//    connection that would go beyond it is closed with BadTcpServerTooBusy);
//    a request on a channel without an activated session may be no larger
//    than transport.maxMessageSizeWithoutSession, 256 KiB; and an incomplete
//    request is dropped with its connection after incompleteRequestTimeoutMs.
//    A request in a single chunk is never held and never refused for this.
//  - monitored items, their queues and the notification messages kept for
//    Republish: at most monitoredItemBudgetBytes, 1 GiB. Every item reserves
//    its queue size in slots of the session's maxQueuedValuesPerSession (an
//    event item one slot per four selected fields of each queued event, and
//    slots for the memory its filter holds);
//    requested queue sizes are revised down so that every item the session
//    may still create keeps one slot. Kept messages are bounded per session
//    by maxRetransmissionBytesPerSession (the oldest go first). The worst
//    case, maxSessions x (maxMonitoredItemsPerSession x kMonitoredItemBytes
//    + maxQueuedValuesPerSession x kQueuedValueBytes +
//    maxRetransmissionBytesPerSession), is what WorstCaseMonitoredItemBytes()
//    returns; with the defaults it is about 0.95 GiB, and a test holds the
//    defaults to monitoredItemBudgetBytes. Every queue holds its own copy of
//    a value, so the per-value cost assumes values of at most
//    maxWrittenValueBytes: clients may write no larger ones, and the
//    application publishes short texts and numbers.
// Sessions give all of this back when they close or time out.
inline constexpr size_t kMonitoredItemBytes = 1280;  // item, its map node, empty queue, last value
inline constexpr size_t kQueuedValueBytes = 512;     // one DataValue in a queue, with its text

struct ServerLimits {
  TransportLimits transport;
  uint32_t maxConnections = 250;
  // Connections from one peer address other than loopback, so that one host
  // cannot take every connection slot.
  uint32_t maxConnectionsPerPeer = 10;
  uint32_t maxSessions = 150;
  uint32_t maxSubscriptionsPerSession = 20;
  uint32_t maxMonitoredItemsPerSession = 2'500;
  uint32_t maxQueueSize = 1000;               // per monitored item
  uint32_t maxQueuedValuesPerSession = 6'000;   // sum of the items' queue sizes
  size_t maxRetransmissionBytesPerSession = 512 * 1024;
  size_t monitoredItemBudgetBytes = size_t{1} << 30;
  size_t maxIncompleteRequestBytes = size_t{512} << 20;
  int64_t incompleteRequestTimeoutMs = 10'000;
  uint32_t maxNotificationsPerPublish = 20'000;
  uint32_t maxPublishRequestsPerSession = 50;
  uint32_t maxRetransmissionsPerSubscription = 100;
  uint32_t maxNodesPerRequest = 10'000;       // Read, Write, Browse, ... operations
  // Largest encoded value a client may write (BadOutOfRange beyond).
  uint32_t maxWrittenValueBytes = 256;
  uint32_t maxReferencesPerBrowse = 1000;     // before a continuation point
  uint32_t maxContinuationPointsPerSession = 10;
  // HistoryRead: values (raw, or processed intervals) one node gets in one
  // response before a continuation point, all nodes of one response
  // together, and the continuation points a session may hold. A held point
  // stores positions, not values, so what a read of millions of values
  // holds is bounded by these.
  uint32_t maxHistoryValuesPerNode = 10'000;
  uint32_t maxHistoryValuesPerResponse = 100'000;
  uint32_t maxHistoryContinuationPointsPerSession = 10;
  // A session lives at most this long without a request, so abandoned
  // sessions give their place back; a session that is not activated within
  // activationTimeoutMs of its creation is closed. When the table is full, a
  // new session takes the place of the longest idle one whose connection is
  // gone (whatever it holds), or else of the longest idle one that has
  // neither a subscription nor a waiting Publish request.
  double minSessionTimeoutMs = 10'000;
  double maxSessionTimeoutMs = 300'000;
  int64_t activationTimeoutMs = 5'000;
  double minPublishingIntervalMs = 10;
  double maxPublishingIntervalMs = 3'600'000;
  uint32_t maxKeepAliveCount = 10'000;
  // A connection that has not opened its secure channel after this long is
  // dropped, and so is one that sends nothing for idleConnectionTimeoutMs.
  int64_t halfOpenTimeoutMs = 10'000;
  // A connection on which no session was created or activated after this
  // long is dropped (discovery needs far less), so that idle channels do not
  // hold connection slots.
  int64_t sessionlessConnectionTimeoutMs = 60'000;
  int64_t idleConnectionTimeoutMs = 3'600'000;
  // Bytes queued for a client that does not read before it is cut off.
  size_t maxPendingOutputBytes = 64 * 1024 * 1024;
  // Failed sign-ins with a user name: after signIn.freeFailures in a row,
  // the user name and the peer address (loopback included) are each locked
  // for 1 s, doubling with every further failure up to 60 s; a sign-in
  // while either is locked is refused with BadUserAccessDenied without its
  // password being checked. A success clears the user name's count.
  SignInLimits signIn;
  // Value updates waiting for the server thread. When a producer outpaces
  // the server thread past this many, the waiting updates are folded to the
  // newest value of each variable, so memory stays bounded and clients still
  // get the latest values (intermediate ones are then skipped).
  size_t maxPendingUpdates = 100'000;
};

// The most memory the monitored items of all sessions can take with `limits`.
inline size_t WorstCaseMonitoredItemBytes(const ServerLimits& limits) {
  size_t perSession = size_t{limits.maxMonitoredItemsPerSession} * kMonitoredItemBytes +
                      size_t{limits.maxQueuedValuesPerSession} * kQueuedValueBytes +
                      limits.maxRetransmissionBytesPerSession;
  return size_t{limits.maxSessions} * perSession;
}

// One security policy and message security mode the endpoint offers.
struct SecurityOffer {
  std::string policyUri;  // e.g. kSecurityPolicyNone
  MessageSecurityMode mode = MessageSecurityMode::None;
};

// Who the server is and whom it lets in. The stack knows nothing of files:
// the program around it supplies the certificate, the key and the two
// checks below.
struct ServerSecurity {
  // The server's application instance certificate (DER) and its private key
  // (PEM, unencrypted). Needed by every offer other than None.
  std::string certificateDer;
  std::string privateKeyPem;
  // Offered policy/mode pairs, in the order GetEndpoints lists them.
  std::vector<SecurityOffer> offers = {{std::string(kSecurityPolicyNone), MessageSecurityMode::None}};
  // Sessions without a user (AnonymousIdentityToken) are accepted.
  bool allowAnonymous = true;
  // Anonymous sessions may write; a refused write gets BadUserAccessDenied.
  // Sessions signed in with a user name may always write.
  bool anonymousWrites = true;
  // Checks a client's application instance certificate (DER) for a secured
  // channel or session; `applicationUri` is the one the client announced
  // (empty when not known yet). Good accepts it. Unset: every certificate is
  // refused with BadSecurityChecksFailed.
  std::function<StatusCode(std::string_view certificateDer, std::string_view applicationUri)>
      validateClientCertificate;
  // Checks a user name and its (decrypted) password. Unset: every user is
  // refused with BadUserAccessDenied.
  std::function<StatusCode(std::string_view user, std::string_view password)> authenticateUser;
};

struct ServerConfig {
  std::string endpointUrl = "opc.tcp://127.0.0.1:4840";
  std::string applicationUri = "urn:localhost:opcua:server";
  std::string productUri = "urn:opcua:server";
  std::string applicationName = "OPC UA Server";
  std::string productName = "OPC UA Server";
  std::string manufacturerName = "";
  std::string softwareVersion = "1.0";
  std::string buildNumber = "1";
  ServerLimits limits;
  ServerSecurity security;
};

}  // namespace opcua
