// Discovery and session services.

#include <algorithm>
#include <cmath>
#include <random>

#include "opcua/ServerCoreInternal.h"

namespace opcua {

namespace {

std::string RandomBytes(size_t n) {
  thread_local std::mt19937_64 generator{std::random_device{}()};
  std::string out(n, '\0');
  for (auto& c : out) c = static_cast<char>(generator() & 0xFF);
  return out;
}

}  // namespace

ApplicationDescription ServerCore::Application() const {
  ApplicationDescription app;
  app.applicationUri = config_.applicationUri;
  app.productUri = config_.productUri;
  app.applicationName = {"en", config_.applicationName};
  app.applicationType = ApplicationType::Server;
  app.discoveryUrls = {config_.endpointUrl};
  return app;
}

std::vector<EndpointDescription> ServerCore::Endpoints() const {
  EndpointDescription e;
  e.endpointUrl = config_.endpointUrl;
  e.server = Application();
  e.securityMode = MessageSecurityMode::None;
  e.securityPolicyUri = kSecurityPolicyNone;
  UserTokenPolicy anonymous;
  anonymous.policyId = "anonymous";
  anonymous.tokenType = UserTokenType::Anonymous;
  e.userIdentityTokens = {anonymous};
  e.transportProfileUri = kTransportProfileBinary;
  e.securityLevel = 0;
  return {e};
}

void ServerCore::FindServers(Context&, const FindServersRequest& req, FindServersResponse& resp) {
  bool wanted = req.serverUris.empty() ||
                std::find(req.serverUris.begin(), req.serverUris.end(), config_.applicationUri) !=
                    req.serverUris.end();
  if (wanted) resp.servers.push_back(Application());
}

void ServerCore::GetEndpoints(Context&, const GetEndpointsRequest& req, GetEndpointsResponse& resp) {
  bool wantsBinary = req.profileUris.empty() ||
                     std::find(req.profileUris.begin(), req.profileUris.end(),
                               kTransportProfileBinary) != req.profileUris.end();
  if (!wantsBinary) return;
  resp.endpoints = Endpoints();
  // A client that reached us through another host name (0.0.0.0, a DNS
  // name) gets the endpoint under the name it used, so it can match it.
  if (req.endpointUrl.rfind("opc.tcp://", 0) == 0)
    for (auto& e : resp.endpoints) e.endpointUrl = req.endpointUrl;
}

void ServerCore::CreateSession(Context& ctx, const CreateSessionRequest& req,
                               CreateSessionResponse& resp) {
  const ServerLimits& limits = config_.limits;
  // A revoked server takes no new sessions, as if it were full. A full table
  // gives up an idle session that nobody waits on, so abandoned sessions
  // cannot lock newcomers out.
  bool full = sessions_.size() >= limits.maxSessions;
  if (!acceptingSessions_ || (full && !EvictIdleSession())) {
    ctx.serviceResult = status::BadTooManySessions;
    return;
  }
  auto s = std::make_unique<Session>();
  uint32_t number = nextSessionNumber_++;
  s->sessionId = NodeId(0, 0x40000000u + number);
  s->authenticationToken = NodeId::Opaque(0, RandomBytes(16));
  s->name = req.sessionName;
  double requested = req.requestedSessionTimeout;
  s->timeoutMs = std::isnan(requested) ? limits.minSessionTimeoutMs
                                       : std::clamp(requested, limits.minSessionTimeoutMs,
                                                    limits.maxSessionTimeoutMs);
  s->createdMs = s->lastActivityMs = clock_.MonotonicMs();
  BindSession(*s, ctx.connection);

  resp.sessionId = s->sessionId;
  resp.authenticationToken = s->authenticationToken;
  resp.revisedSessionTimeout = s->timeoutMs;
  resp.serverNonce = ByteString(RandomBytes(32));
  resp.serverEndpoints = Endpoints();
  if (req.endpointUrl.rfind("opc.tcp://", 0) == 0)
    for (auto& e : resp.serverEndpoints) e.endpointUrl = req.endpointUrl;
  resp.maxRequestMessageSize = limits.transport.maxMessageSize;
  sessions_.emplace(number, std::move(s));
  sessionCount_ = sessions_.size();
}

void ServerCore::ActivateSession(Context& ctx, const ActivateSessionRequest& req,
                                 ActivateSessionResponse& resp) {
  Session* s = FindSession(req.requestHeader.authenticationToken);
  if (!s) {
    ctx.serviceResult = status::BadSessionIdInvalid;
    return;
  }
  const ExtensionObject& token = req.userIdentityToken;
  bool anonymous = token.encoding == ExtensionObject::Encoding::None ||
                   token.typeId == NodeId(0, AnonymousIdentityToken::kTypeId);
  if (!anonymous) {
    ctx.serviceResult = status::BadIdentityTokenRejected;
    return;
  }
  if (s->connection != ctx.connection.id) {
    // The session moves to the channel it was activated on.
    s->publishQueue.clear();
  }
  BindSession(*s, ctx.connection);
  ctx.connection.channel->AllowLargeRequests();
  s->identity = "anonymous";
  s->activated = true;
  s->lastActivityMs = clock_.MonotonicMs();
  resp.serverNonce = ByteString(RandomBytes(32));
  if (localeCallback_) localeCallback_(s->sessionId, req.localeIds);
}

void ServerCore::CloseSession(Context& ctx, const CloseSessionRequest& req, CloseSessionResponse&) {
  Session* s = FindSession(req.requestHeader.authenticationToken);
  if (!s || s->connection != ctx.connection.id) {
    ctx.serviceResult = status::BadSessionIdInvalid;
    return;
  }
  EraseSession(*s);
}

void ServerCore::CloseSessionState(Session& s) {
  if (Connection* c = FindConnection(s.connection))
    for (const auto& p : s.publishQueue)
      SendFault(*c, p.requestId, p.requestHandle, status::BadSessionClosed);
  s.publishQueue.clear();
  s.statusChanges.clear();
  std::vector<uint32_t> ids(s.subscriptionIds.begin(), s.subscriptionIds.end());
  for (uint32_t id : ids)
    if (Subscription* sub = FindSubscription(s, id)) DeleteSubscription(*sub);
}

}  // namespace opcua
