#include "opcua/Client.h"

#include <chrono>

#include "opcua/Crypto.h"
#include "opcua/EndpointUrl.h"
#include "opcua/SessionCrypto.h"

namespace opcua {

StatusCode Client::Exchange(const std::string& bytes, uint32_t requestId, ServerMessage& answer,
                            int timeoutMs) {
  if (!stream_.IsOpen()) {
    lastError_ = "not connected";
    return status::BadCommunicationError;
  }
  if (!bytes.empty() && !stream_.Send(bytes, lastError_)) return status::BadCommunicationError;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (auto it = early_.find(requestId); it != early_.end()) {
      answer = std::move(it->second);
      early_.erase(it);
      return status::Good;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    std::string received;
    if (left <= 0 || !stream_.Receive(static_cast<int>(left), received, lastError_)) {
      if (left <= 0) lastError_ = "no answer within " + std::to_string(timeoutMs) + " ms";
      bool timedOut = left <= 0 || lastError_.rfind("no answer", 0) == 0;
      // Its answer may still come; it is then thrown away, not kept forever.
      if (timedOut) abandoned_.insert(requestId);
      return timedOut ? status::BadTimeout : status::BadCommunicationError;
    }
    std::vector<ServerMessage> messages;
    if (!channel_.OnBytes(received, messages, lastError_)) {
      // The stream is out of step from here on: nothing more can be read.
      Drop();
      return status::BadCommunicationError;
    }
    for (auto& m : messages) {
      if (m.type == MessageType::Error) {
        lastError_ = std::string("server error ") + StatusName(m.error.error) + ": " + m.error.reason;
        return m.error.error;
      }
      // HEL and OPN answers carry no request id of ours; file them under 0.
      uint32_t id = m.type == MessageType::Acknowledge ? 0 : m.requestId;
      if (abandoned_.erase(id) == 0) early_[id] = std::move(m);
    }
  }
}

void Client::SetSecurity(std::string policyUri, MessageSecurityMode mode,
                         std::string certificateDer, std::string privateKeyPem) {
  security_.policyUri = std::move(policyUri);
  security_.mode = mode;
  security_.certificateDer = std::move(certificateDer);
  security_.privateKeyPem = std::move(privateKeyPem);
}

void Client::SetUser(std::string user, std::string password) {
  user_ = std::move(user);
  password_ = std::move(password);
}

bool Client::OpenChannel(const std::string& endpointUrl, std::string& error, int timeoutMs) {
  std::string host;
  uint16_t port = 0;
  if (!ParseEndpointUrl(endpointUrl, host, port, error)) return false;
  if (!stream_.Connect(host, port, timeoutMs, error)) return false;
  early_.clear();
  abandoned_.clear();
  pendingAcks_.clear();
  lastError_.clear();
  ServerMessage answer;
  auto fail = [&](const std::string& what, StatusCode code) {
    error = what + ": " + (lastError_.empty() ? StatusName(code) : lastError_);
    stream_.Close();
    return false;
  };
  if (StatusCode s = Exchange(channel_.Hello(endpointUrl), 0, answer, timeoutMs); !s.IsGood())
    return fail("hello", s);
  std::string open = channel_.Open(SecurityTokenRequestType::Issue, 3'600'000);
  if (StatusCode s = Exchange(open, 1, answer, timeoutMs); !s.IsGood()) return fail("open", s);
  return true;
}

bool Client::DiscoverEndpoint(const std::string& endpointUrl, EndpointDescription& endpoint,
                              std::string& error, int timeoutMs) {
  channel_ = ClientChannel();
  if (!OpenChannel(endpointUrl, error, timeoutMs)) return false;
  GetEndpointsRequest get;
  get.endpointUrl = endpointUrl;
  GetEndpointsResponse got;
  StatusCode s = Call(get, got, timeoutMs);
  std::string ignored;
  stream_.Send(channel_.Close(), ignored);
  stream_.Close();
  if (!s.IsGood()) {
    error = "get endpoints: " + (lastError_.empty() ? StatusName(s) : lastError_);
    return false;
  }
  for (const EndpointDescription& e : got.endpoints)
    if (e.securityPolicyUri == security_.policyUri && e.securityMode == security_.mode) {
      endpoint = e;
      return true;
    }
  error = "the server offers no endpoint with " + security_.policyUri + " in mode " +
          std::to_string(static_cast<int>(security_.mode));
  return false;
}

bool Client::IdentityToken(const std::vector<EndpointDescription>& endpoints,
                           const std::string& serverCertificate, const std::string& serverNonce,
                           ExtensionObject& token, std::string& error) const {
  auto find = [&](UserTokenType type) -> const UserTokenPolicy* {
    for (const EndpointDescription& e : endpoints)
      if (e.securityPolicyUri == security_.policyUri && e.securityMode == security_.mode)
        for (const UserTokenPolicy& p : e.userIdentityTokens)
          if (p.tokenType == type) return &p;
    return nullptr;
  };
  if (user_.empty()) {
    // Servers may insist on the policy id they listed; "anonymous" is the
    // usual one when they list none.
    const UserTokenPolicy* anonymous = find(UserTokenType::Anonymous);
    token = Wrap(AnonymousIdentityToken{anonymous ? anonymous->policyId : "anonymous"});
    return true;
  }
  const UserTokenPolicy* policy = find(UserTokenType::UserName);
  if (!policy) {
    error = "the server takes no user name on this endpoint";
    return false;
  }
  // An empty policy in the token means the channel's own.
  const std::string& secretPolicyUri =
      policy->securityPolicyUri.empty() ? security_.policyUri : policy->securityPolicyUri;
  UserNameIdentityToken userName;
  userName.policyId = policy->policyId;
  userName.userName = user_;
  if (const SecurityPolicy* secret = FindSecurityPolicy(secretPolicyUri)) {
    auto certificate = crypto::Certificate::FromDer(serverCertificate);
    auto encrypted = certificate ? EncryptUserSecret(*certificate, secret->asymmetricEncryption,
                                                     password_, serverNonce)
                                 : std::nullopt;
    if (!encrypted) {
      error = "the password cannot be encrypted with the server's certificate";
      return false;
    }
    userName.password = ByteString(std::move(*encrypted));
    userName.encryptionAlgorithm = std::string(secret->asymmetricEncryptionUri);
  } else if (security_.mode == MessageSecurityMode::SignAndEncrypt) {
    userName.password = ByteString(password_);
  } else {
    error = "the server would take the password in clear text";
    return false;
  }
  token = Wrap(userName);
  return true;
}

bool Client::OpenSession(const std::string& endpointUrl, const std::string& serverCertificate,
                         std::string& error, int timeoutMs) {
  auto fail = [&](const std::string& what, StatusCode code) {
    error = what + ": " + (lastError_.empty() ? StatusName(code) : lastError_);
    stream_.Close();
    return false;
  };
  const SecurityPolicy* policy = security_.mode == MessageSecurityMode::None
                                     ? nullptr
                                     : FindSecurityPolicy(security_.policyUri);
  CreateSessionRequest create;
  create.endpointUrl = endpointUrl;
  create.sessionName = applicationName_;
  create.requestedSessionTimeout = 60'000;
  create.clientDescription.applicationType = ApplicationType::Client;
  create.clientDescription.applicationName.text = applicationName_;
  create.clientDescription.applicationUri = applicationUri_;
  if (policy) {
    create.clientNonce = ByteString(crypto::RandomBytes(policy->nonceLength));
    create.clientCertificate = ByteString(security_.certificateDer);
  }
  CreateSessionResponse created;
  if (StatusCode s = Call(create, created, timeoutMs); !s.IsGood()) return fail("create session", s);
  channel_.authenticationToken = created.authenticationToken;

  ActivateSessionRequest activate;
  if (policy) {
    // The server proves it holds its key by signing our certificate and
    // nonce; we prove ours by signing its certificate and nonce.
    auto server = crypto::Certificate::FromDer(serverCertificate);
    bool serverSigned = server && created.serverCertificate.data == serverCertificate &&
                        VerifyApplication(*server, *policy, security_.certificateDer,
                                          create.clientNonce.data, created.serverSignature);
    if (!serverSigned) return fail("create session", status::BadApplicationSignatureInvalid);
    auto key = crypto::PrivateKey::FromPem(security_.privateKeyPem);
    auto signature =
        key ? SignApplication(*key, *policy, serverCertificate, created.serverNonce.data)
            : std::nullopt;
    if (!signature) return fail("activate session", status::BadInternalError);
    activate.clientSignature = std::move(*signature);
  }
  std::string certificate =
      serverCertificate.empty() ? created.serverCertificate.data : serverCertificate;
  if (!IdentityToken(created.serverEndpoints, certificate, created.serverNonce.data,
                     activate.userIdentityToken, error)) {
    stream_.Close();
    return false;
  }
  ActivateSessionResponse activated;
  if (StatusCode s = Call(activate, activated, timeoutMs); !s.IsGood())
    return fail("activate session", s);
  return true;
}

bool Client::Connect(const std::string& endpointUrl, std::string& error, int timeoutMs) {
  Disconnect();
  ClientSecurity security = security_;
  if (security.mode != MessageSecurityMode::None) {
    EndpointDescription endpoint;
    if (!DiscoverEndpoint(endpointUrl, endpoint, error, timeoutMs)) return false;
    security.serverCertificateDer = endpoint.serverCertificate.data;
  }
  channel_ = ClientChannel();
  if (!channel_.SetSecurity(security, error)) return false;
  if (!OpenChannel(endpointUrl, error, timeoutMs)) return false;
  return OpenSession(endpointUrl, security.serverCertificateDer, error, timeoutMs);
}

void Client::Disconnect() {
  if (stream_.IsOpen()) {
    CloseSessionRequest close;
    CloseSessionResponse closed;
    Call(close, closed, 1000);
  }
  if (stream_.IsOpen()) {
    std::string ignored;
    stream_.Send(channel_.Close(), ignored);
  }
  Drop();
}

void Client::Drop() {
  stream_.Close();
  // Keeps the security chosen for the next Connect, which starts the
  // channel afresh anyway; frees what the old one held.
  channel_ = ClientChannel();
  std::map<uint32_t, ServerMessage>().swap(early_);
  abandoned_.clear();
  pendingAcks_.clear();
}

StatusCode Client::Read(const NodeId& node, DataValue& value) {
  ReadRequest req;
  req.nodesToRead = {{node, 13, "", {}}};
  ReadResponse resp;
  StatusCode s = Call(req, resp);
  if (!s.IsGood()) return s;
  if (resp.results.size() != 1) return status::BadUnknownResponse;
  value = resp.results[0];
  return value.status;
}

StatusCode Client::Write(const NodeId& node, const Variant& value) {
  WriteRequest req;
  req.nodesToWrite = {{node, 13, "", DataValue::Of(value)}};
  WriteResponse resp;
  StatusCode s = Call(req, resp);
  if (!s.IsGood()) return s;
  return resp.results.size() == 1 ? resp.results[0] : status::BadUnknownResponse;
}

StatusCode Client::CallMethod(const NodeId& object, const NodeId& method,
                              std::vector<Variant> inputs, std::vector<Variant>& outputs) {
  CallRequest req;
  req.methodsToCall = {{object, method, std::move(inputs)}};
  CallResponse resp;
  StatusCode s = Call(req, resp);
  if (!s.IsGood()) return s;
  if (resp.results.size() != 1) return status::BadUnknownResponse;
  outputs = std::move(resp.results[0].outputArguments);
  return resp.results[0].statusCode;
}

StatusCode Client::CreateSubscription(double publishingIntervalMs, uint32_t& subscriptionId) {
  CreateSubscriptionRequest req;
  req.requestedPublishingInterval = publishingIntervalMs;
  req.requestedMaxKeepAliveCount = 10;
  req.requestedLifetimeCount = 1000;
  CreateSubscriptionResponse resp;
  StatusCode s = Call(req, resp);
  subscriptionId = resp.subscriptionId;
  return s;
}

StatusCode Client::Monitor(uint32_t subscriptionId, const std::vector<NodeId>& nodes,
                           uint32_t queueSize) {
  CreateMonitoredItemsRequest req;
  req.subscriptionId = subscriptionId;
  for (size_t i = 0; i < nodes.size(); ++i) {
    MonitoredItemCreateRequest item;
    item.itemToMonitor.nodeId = nodes[i];
    item.requestedParameters.clientHandle = static_cast<uint32_t>(i);
    item.requestedParameters.samplingInterval = 0;
    item.requestedParameters.queueSize = queueSize;
    req.itemsToCreate.push_back(item);
  }
  CreateMonitoredItemsResponse resp;
  StatusCode s = Call(req, resp);
  if (!s.IsGood()) return s;
  for (const auto& r : resp.results)
    if (!r.statusCode.IsGood()) return r.statusCode;
  return status::Good;
}

StatusCode Client::Publish(PublishResponse& response, int timeoutMs) {
  PublishRequest req;
  req.subscriptionAcknowledgements = std::move(pendingAcks_);
  pendingAcks_.clear();
  StatusCode s = Call(req, response, timeoutMs);
  if (s.IsGood() && !response.notificationMessage.notificationData.empty())
    pendingAcks_.push_back({response.subscriptionId, response.notificationMessage.sequenceNumber});
  return s;
}

}  // namespace opcua
