// Discovery and session services.

#include <algorithm>
#include <cmath>

#include "opcua/Crypto.h"
#include "opcua/ServerCoreInternal.h"
#include "opcua/SessionCrypto.h"

namespace opcua {

namespace {

constexpr size_t kNonceLength = 32;
constexpr const char* kAnonymousPolicyId = "anonymous";
constexpr const char* kUserNamePolicyId = "username";

// The policy of a secured offer or channel; nullptr for None.
const SecurityPolicy* SecuredPolicy(std::string_view policyUri, MessageSecurityMode mode) {
  return mode == MessageSecurityMode::None ? nullptr : FindSecurityPolicy(policyUri);
}

// Higher for stronger security, so clients that pick the best endpoint
// pick encryption over signing and stronger algorithms over weaker ones.
uint8_t SecurityLevel(const SecurityOffer& offer) {
  const SecurityPolicy* policy = SecuredPolicy(offer.policyUri, offer.mode);
  if (!policy) return 0;
  int level = offer.mode == MessageSecurityMode::SignAndEncrypt ? 100 : 50;
  if (policy->symmetricEncryptionKeyLength >= 32) level += 10;
  if (policy->asymmetricSignature == AsymmetricSignature::RsaPssSha256) level += 10;
  return static_cast<uint8_t>(level);
}

// The policy a password is encrypted with on an endpoint: the endpoint's
// own, or on an endpoint without security the first secured offer, so the
// password never travels in clear text. Empty when no offer is secured.
std::string UserNameTokenPolicyUri(const ServerSecurity& security, const SecurityOffer& offer) {
  if (SecuredPolicy(offer.policyUri, offer.mode)) return offer.policyUri;
  for (const SecurityOffer& o : security.offers)
    if (SecuredPolicy(o.policyUri, o.mode)) return o.policyUri;
  return {};
}

std::vector<UserTokenPolicy> UserTokenPolicies(const ServerSecurity& security,
                                               const SecurityOffer& offer) {
  std::vector<UserTokenPolicy> out;
  if (security.allowAnonymous) {
    UserTokenPolicy anonymous;
    anonymous.policyId = kAnonymousPolicyId;
    anonymous.tokenType = UserTokenType::Anonymous;
    out.push_back(anonymous);
  }
  std::string passwordPolicy = UserNameTokenPolicyUri(security, offer);
  if (!passwordPolicy.empty()) {
    UserTokenPolicy userName;
    userName.policyId = kUserNamePolicyId;
    userName.tokenType = UserTokenType::UserName;
    userName.securityPolicyUri = passwordPolicy;
    out.push_back(userName);
  }
  return out;
}

const SecurityOffer* FindOffer(const ServerSecurity& security, std::string_view policyUri,
                               MessageSecurityMode mode) {
  for (const SecurityOffer& o : security.offers)
    if (o.policyUri == policyUri && o.mode == mode) return &o;
  return nullptr;
}

// Who a session is after its activation.
struct SignIn {
  StatusCode result = status::Good;
  std::string identity;
  bool signedIn = false;
};

SignIn Refused(StatusCode code) { return {code, {}, false}; }

// The password of a user name token: decrypted with the server's key when
// the token is encrypted, taken as it is only on an encrypted channel.
StatusCode TokenPassword(const UserNameIdentityToken& token, const SecurityPolicy* tokenPolicy,
                         const crypto::PrivateKey* key, MessageSecurityMode channelMode,
                         std::string_view serverNonce, std::string& password) {
  if (token.encryptionAlgorithm.empty()) {
    if (channelMode != MessageSecurityMode::SignAndEncrypt) return status::BadIdentityTokenRejected;
    password = token.password.data;
    return status::Good;
  }
  if (!tokenPolicy || !key) return status::BadIdentityTokenRejected;
  if (token.encryptionAlgorithm != tokenPolicy->asymmetricEncryptionUri)
    return status::BadIdentityTokenInvalid;
  return DecryptUserSecret(*key, tokenPolicy->asymmetricEncryption, token.password.data,
                           serverNonce, password);
}

SignIn Identify(const ServerSecurity& security, const SecurityOffer& offer,
                const crypto::PrivateKey* key, std::string_view serverNonce,
                const ExtensionObject& token) {
  // No token at all counts as anonymous: some clients send none.
  bool anonymous = (token.encoding == ExtensionObject::Encoding::None && token.typeId.IsNull()) ||
                   token.typeId == NodeId(0, AnonymousIdentityToken::kTypeId);
  if (anonymous) {
    if (!security.allowAnonymous) return Refused(status::BadIdentityTokenRejected);
    return {status::Good, "anonymous", false};
  }
  std::string tokenPolicyUri = UserNameTokenPolicyUri(security, offer);
  if (!(token.typeId == NodeId(0, UserNameIdentityToken::kTypeId)) || tokenPolicyUri.empty())
    return Refused(status::BadIdentityTokenRejected);
  UserNameIdentityToken userName;
  if (!Unwrap(token, userName).IsGood() || userName.userName.empty())
    return Refused(status::BadIdentityTokenInvalid);
  std::string password;
  StatusCode decrypted = TokenPassword(userName, FindSecurityPolicy(tokenPolicyUri), key,
                                       offer.mode, serverNonce, password);
  if (!decrypted.IsGood()) return Refused(decrypted);
  bool accepted = security.authenticateUser &&
                  security.authenticateUser(userName.userName, password).IsGood();
  if (!accepted) return Refused(status::BadUserAccessDenied);
  return {status::Good, "user:" + userName.userName, true};
}

}  // namespace

const crypto::PrivateKey* ServerCore::ServerKey() {
  if (!serverKeyParsed_) {
    serverKeyParsed_ = true;
    if (!config_.security.privateKeyPem.empty())
      serverKey_ = crypto::PrivateKey::FromPem(config_.security.privateKeyPem);
  }
  return serverKey_.get();
}

ServerCore::ChannelSecurity ServerCore::SecurityOf(const Connection& c) const {
  const ServerSecureChannel& channel = *c.channel;
  return {channel.SecurityPolicyUri(), channel.SecurityMode(), channel.ClientCertificate()};
}

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
  const ServerSecurity& security = config_.security;
  std::vector<EndpointDescription> out;
  for (const SecurityOffer& offer : security.offers) {
    EndpointDescription e;
    e.endpointUrl = config_.endpointUrl;
    e.server = Application();
    // Also on an endpoint without security: clients encrypt passwords with it.
    if (!security.certificateDer.empty()) e.serverCertificate = ByteString(security.certificateDer);
    e.securityMode = offer.mode;
    e.securityPolicyUri = offer.policyUri;
    e.userIdentityTokens = UserTokenPolicies(security, offer);
    e.transportProfileUri = kTransportProfileBinary;
    e.securityLevel = SecurityLevel(offer);
    out.push_back(std::move(e));
  }
  return out;
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
  const ServerSecurity& security = config_.security;
  // Discovery works on any channel, sessions only on an offered one.
  ChannelSecurity channel = SecurityOf(ctx.connection);
  if (!FindOffer(security, channel.policyUri, channel.mode)) {
    ctx.serviceResult = status::BadSecurityPolicyRejected;
    return;
  }
  const SecurityPolicy* policy = SecuredPolicy(channel.policyUri, channel.mode);
  if (policy) {
    if (req.clientNonce.data.size() < kNonceLength) {
      ctx.serviceResult = status::BadNonceInvalid;
      return;
    }
    // The application that opened the channel is the one asking.
    if (req.clientCertificate.data != channel.clientCertificate) {
      ctx.serviceResult = status::BadSecurityChecksFailed;
      return;
    }
    StatusCode trusted = security.validateClientCertificate
                             ? security.validateClientCertificate(
                                   channel.clientCertificate, req.clientDescription.applicationUri)
                             : status::BadSecurityChecksFailed;
    if (!trusted.IsGood()) {
      ctx.serviceResult = trusted;
      return;
    }
    const crypto::PrivateKey* key = ServerKey();
    auto signature = key ? SignApplication(*key, *policy, req.clientCertificate.data,
                                           req.clientNonce.data)
                         : std::nullopt;
    if (!signature) {
      ctx.serviceResult = status::BadInternalError;
      return;
    }
    resp.serverSignature = std::move(*signature);
  }
  // A revoked server takes no new sessions: its application is closing,
  // and the client is told so rather than that the table is full. A full
  // table gives up an idle session that nobody waits on, so abandoned
  // sessions cannot lock newcomers out.
  if (!acceptingSessions_) {
    ctx.serviceResult = status::BadShutdown;
    return;
  }
  bool full = sessions_.size() >= limits.maxSessions;
  if (full && !EvictIdleSession()) {
    ctx.serviceResult = status::BadTooManySessions;
    return;
  }
  auto s = std::make_unique<Session>();
  uint32_t number = nextSessionNumber_++;
  s->sessionId = NodeId(0, 0x40000000u + number);
  s->authenticationToken = NodeId::Opaque(0, crypto::RandomBytes(16));
  s->name = req.sessionName;
  double requested = req.requestedSessionTimeout;
  s->timeoutMs = std::isnan(requested) ? limits.minSessionTimeoutMs
                                       : std::clamp(requested, limits.minSessionTimeoutMs,
                                                    limits.maxSessionTimeoutMs);
  s->createdMs = s->lastActivityMs = clock_.MonotonicMs();
  s->securityPolicyUri = channel.policyUri;
  s->securityMode = channel.mode;
  s->clientCertificate = channel.clientCertificate;
  s->serverNonce = crypto::RandomBytes(kNonceLength);
  BindSession(*s, ctx.connection);

  resp.sessionId = s->sessionId;
  resp.authenticationToken = s->authenticationToken;
  resp.revisedSessionTimeout = s->timeoutMs;
  resp.serverNonce = ByteString(s->serverNonce);
  if (!security.certificateDer.empty()) resp.serverCertificate = ByteString(security.certificateDer);
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
  const ServerSecurity& security = config_.security;
  // A session moves only to a channel as secure as the one it was created
  // on, opened by the same application.
  ChannelSecurity channel = SecurityOf(ctx.connection);
  const SecurityOffer* offer = FindOffer(security, channel.policyUri, channel.mode);
  if (!offer || channel.policyUri != s->securityPolicyUri || channel.mode != s->securityMode ||
      channel.clientCertificate != s->clientCertificate) {
    ctx.serviceResult = status::BadSecurityChecksFailed;
    return;
  }
  if (const SecurityPolicy* policy = SecuredPolicy(channel.policyUri, channel.mode)) {
    auto client = crypto::Certificate::FromDer(s->clientCertificate);
    if (!client || !VerifyApplication(*client, *policy, security.certificateDer, s->serverNonce,
                                      req.clientSignature)) {
      ctx.serviceResult = status::BadApplicationSignatureInvalid;
      return;
    }
  }
  SignIn user = Identify(security, *offer, ServerKey(), s->serverNonce, req.userIdentityToken);
  if (!user.result.IsGood()) {
    ctx.serviceResult = user.result;
    return;
  }
  if (s->connection != ctx.connection.id) {
    // The session moves to the channel it was activated on.
    s->publishQueue.clear();
  }
  BindSession(*s, ctx.connection);
  ctx.connection.channel->AllowLargeRequests();
  s->identity = std::move(user.identity);
  s->signedIn = user.signedIn;
  s->activated = true;
  s->lastActivityMs = clock_.MonotonicMs();
  // Every activation gets a fresh nonce, so its signature and password
  // secret cannot be replayed for the next one.
  s->serverNonce = crypto::RandomBytes(kNonceLength);
  resp.serverNonce = ByteString(s->serverNonce);
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
