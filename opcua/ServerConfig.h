#pragma once
// What a server is told before it starts: where it listens, what it calls
// itself, and the limits that keep a broken or hostile client in check.

#include <cstdint>
#include <string>

#include "opcua/SecureChannel.h"

namespace opcua {

struct ServerLimits {
  TransportLimits transport;
  uint32_t maxConnections = 250;
  uint32_t maxSessions = 150;
  uint32_t maxSubscriptionsPerSession = 20;
  uint32_t maxMonitoredItemsPerSession = 10'000;
  uint32_t maxQueueSize = 1000;               // per monitored item
  uint32_t maxNotificationsPerPublish = 20'000;
  uint32_t maxPublishRequestsPerSession = 50;
  uint32_t maxRetransmissionsPerSubscription = 100;
  uint32_t maxNodesPerRequest = 10'000;       // Read, Write, Browse, ... operations
  uint32_t maxReferencesPerBrowse = 1000;     // before a continuation point
  uint32_t maxContinuationPointsPerSession = 10;
  double minSessionTimeoutMs = 10'000;
  double maxSessionTimeoutMs = 3'600'000;
  double minPublishingIntervalMs = 10;
  double maxPublishingIntervalMs = 3'600'000;
  uint32_t maxKeepAliveCount = 10'000;
  // A connection that has not opened its secure channel after this long is
  // dropped, and so is one that sends nothing for idleConnectionTimeoutMs.
  int64_t halfOpenTimeoutMs = 10'000;
  int64_t idleConnectionTimeoutMs = 3'600'000;
  // Bytes queued for a client that does not read before it is cut off.
  size_t maxPendingOutputBytes = 64 * 1024 * 1024;
  // Value updates waiting for the server thread. When a producer outpaces
  // the server thread past this many, the waiting updates are folded to the
  // newest value of each variable, so memory stays bounded and clients still
  // get the latest values (intermediate ones are then skipped).
  size_t maxPendingUpdates = 100'000;
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
};

}  // namespace opcua
