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
//
// A service of the stack that offers a method of its own registers it in
// the ServerCore constructor (or a set-up member it calls) with
// AddInternalMethod; its handler sees this context, and so the calling
// session, e.g.:
//
//   AddInternalMethod(NodeId(0, ids::SomeObjectType), NodeId(0, ids::SomeMethod), "Some",
//                     {{"SubscriptionId", NodeId(0, ids::UInt32), {}, -1}}, {},
//                     MethodAccess::Everyone,
//                     [this](Context& ctx, const CallMethodRequest& call,
//                            std::vector<Variant>& outputs) {
//                       uint32_t id = std::get<uint32_t>(call.inputArguments[0].scalar);
//                       Subscription* sub = FindSubscription(*ctx.session, id);
//                       return sub ? status::Good : status::BadSubscriptionIdInvalid;
//                     },
//                     error);
//
// The Call service checks the object, the method, the session's right to
// call it (MethodAccess) and the arguments' number and types before the
// handler runs.
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

// Signed-in users may write and call methods; anonymous sessions only
// where the server's configuration lets them.
inline bool MayWrite(const Session& s, const ServerSecurity& security) {
  return s.signedIn || security.anonymousWrites;
}

// The id of property `name` of `owner`: named after its owner in the
// owner's namespace, "<owner>.<name>"; a numeric or opaque owner id is
// spelled as its text.
inline NodeId PropertyId(const NodeId& owner, const std::string& name) {
  const std::string base = owner.type == IdType::String ? owner.text : owner.ToString();
  return NodeId(owner.ns, base + "." + name);
}

// A constant value as it reads: stamped with the time it was set.
inline DataValue ConstantValue(Variant value, DateTime now) {
  DataValue v = DataValue::Of(std::move(value));
  v.hasSourceTimestamp = v.hasServerTimestamp = true;
  v.sourceTimestamp = v.serverTimestamp = now;
  return v;
}

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
