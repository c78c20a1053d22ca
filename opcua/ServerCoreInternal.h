#pragma once
// Parts of ServerCore shared by its service files only.

#include <memory>
#include <string>

#include "opcua/ServerCore.h"

namespace opcua {

struct ServerCore::Connection {
  ConnectionId id = 0;
  std::unique_ptr<ServerSecureChannel> channel;
  std::string peer;  // address counted against maxConnectionsPerPeer, empty if exempt
  int64_t openedMs = 0;
  int64_t lastReceiveMs = 0;
  bool hadSession = false;  // a session was created or activated on it
};

// One request being served.
struct ServerCore::Context {
  Connection& connection;
  uint32_t requestId = 0;
  const RequestHeader& header;
  Session* session = nullptr;
  // Set by a service to answer with a ServiceFault instead of its response.
  StatusCode serviceResult = status::Good;
  // Set by a service that answers later (Publish).
  bool deferred = false;
};

// Resolves a TimestampsToReturn that came off the wire, rejecting unknown values.
inline bool ValidTimestamps(TimestampsToReturn t) {
  return static_cast<int32_t>(t) >= 0 && static_cast<int32_t>(t) <= 3;
}

// Drops the timestamps a client did not ask for.
inline void ApplyTimestamps(DataValue& v, TimestampsToReturn ts) {
  if (ts == TimestampsToReturn::Server || ts == TimestampsToReturn::Neither)
    v.hasSourceTimestamp = v.hasSourcePicoseconds = false;
  if (ts == TimestampsToReturn::Source || ts == TimestampsToReturn::Neither)
    v.hasServerTimestamp = v.hasServerPicoseconds = false;
}

}  // namespace opcua
