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
  std::string address;  // the peer's address as given, for the sign-in limits
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

// The length of the nonces a server sends with its sessions.
inline constexpr size_t kNonceLength = 32;

// The policy of a secured offer or channel; nullptr for None.
inline const SecurityPolicy* SecuredPolicy(std::string_view policyUri, MessageSecurityMode mode) {
  return mode == MessageSecurityMode::None ? nullptr : FindSecurityPolicy(policyUri);
}

// The policy a password is encrypted with on an endpoint: the endpoint's
// own, or on an endpoint without security the first secured offer, so the
// password never travels in clear text. Empty when no offer is secured.
inline std::string UserNameTokenPolicyUri(const ServerSecurity& security,
                                          const SecurityOffer& offer) {
  if (SecuredPolicy(offer.policyUri, offer.mode)) return offer.policyUri;
  for (const SecurityOffer& o : security.offers)
    if (SecuredPolicy(o.policyUri, o.mode)) return o.policyUri;
  return {};
}

// Who a session is after its activation, or what is still to be checked.
struct ServerCore::SignIn {
  StatusCode result = status::Good;
  std::string identity;
  // A user name whose password the password check has to accept.
  bool needsPasswordCheck = false;
  std::string user;
  std::string password;
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
