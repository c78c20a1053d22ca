#include "bench/opc/AttackClients.h"

#include <algorithm>

#include "opcua/ChannelSecurity.h"
#include "opcua/Crypto.h"
#include "opcua/SelfSignedCertificate.h"

namespace qx::bench {

bool GapRecorder::Start(const std::string& endpoint, const opcua::NodeId& node, std::string& error) {
  uint32_t subscription = 0;
  if (!client_.Connect(endpoint, error)) return false;
  if (!client_.CreateSubscription(10, subscription).IsGood() ||
      !client_.Monitor(subscription, {node}, 10).IsGood()) {
    error = "cannot subscribe: " + client_.LastError();
    return false;
  }
  running_ = true;
  thread_ = std::thread([this] { Receive(); });
  return true;
}

void GapRecorder::Stop() {
  running_ = false;
  if (thread_.joinable()) thread_.join();
  client_.Disconnect();
}

void GapRecorder::Receive() {
  while (running_) {
    opcua::PublishResponse response;
    if (!client_.Publish(response, 1000).IsGood()) continue;  // a gap shows in the record
    if (response.notificationMessage.notificationData.empty()) continue;  // keep-alive
    std::lock_guard lock(mutex_);
    arrivals_.push_back(Clock::now());
  }
}

double GapRecorder::LargestGapMs(Clock::time_point from, Clock::time_point to) const {
  std::lock_guard lock(mutex_);
  Clock::time_point previous = from;
  Clock::duration largest{0};
  for (Clock::time_point t : arrivals_) {
    if (t < from || t > to) continue;
    largest = std::max(largest, t - previous);
    previous = t;
  }
  largest = std::max(largest, to - previous);
  return std::chrono::duration<double, std::milli>(largest).count();
}

namespace {

constexpr size_t kChunkBytes = 65536;

// Sends `bytes` and waits for the server's answer or its hang-up.
void SendAndAwait(opcua::TcpStream& stream, const std::string& bytes) {
  std::string error, received;
  if (!stream.Send(bytes, error)) return;
  stream.Receive(2000, received, error);
}

}  // namespace

std::string HostileOpen(const std::string& serverCertificateDer) {
  using namespace opcua;
  std::string der, pem;
  MakeSelfSignedCertificate("urn:attacker", "Attacker", "localhost", 1, der, pem);
  auto server = crypto::Certificate::FromDer(serverCertificateDer);
  const SecurityPolicy& policy = *FindSecurityPolicy(kSecurityPolicyBasic256Sha256);
  std::string header;
  Writer w(header);
  w.Put(uint32_t{0});
  w.Put(AsymmetricSecurityHeader{std::string(kSecurityPolicyBasic256Sha256), ByteString(der),
                                 ByteString(server->Thumbprint())});
  const size_t cipherBlock = crypto::CipherBlockSize(server->KeyBits());
  const size_t plainBlock = crypto::PlainBlockSize(server->KeyBits(), policy.asymmetricEncryption);
  const size_t blocks = (kChunkBytes - kChunkHeaderSize - header.size()) / cipherBlock;
  auto encrypted = crypto::Encrypt(*server, policy.asymmetricEncryption,
                                   crypto::RandomBytes(blocks * plainBlock));
  return FrameChunk(MessageType::Open, 'F', header + encrypted.value_or(""));
}

long FloodOpens(uint16_t port, const std::string& open, Clock::time_point until) {
  opcua::ClientChannel channel;
  const std::string hello = channel.Hello("opc.tcp://127.0.0.1:" + std::to_string(port));
  long sent = 0;
  while (Clock::now() < until) {
    opcua::TcpStream stream;
    std::string error;
    if (!stream.Connect("127.0.0.1", port, 2000, error)) continue;
    SendAndAwait(stream, hello);
    SendAndAwait(stream, open);
    ++sent;
  }
  return sent;
}

long GuessPasswords(const std::string& endpoint, const std::string& user, Clock::time_point until) {
  long answered = 0;
  for (long guess = 0; Clock::now() < until; ++guess) {
    opcua::Client client;
    client.SetUser(user, "guess " + std::to_string(guess));
    std::string error;
    if (client.Connect(endpoint, error, 5000) || error.find("BadUserAccessDenied") != std::string::npos)
      ++answered;
  }
  return answered;
}

bool AbandonSubscribedSession(uint16_t port, const opcua::NodeId& node, std::string& error) {
  using namespace opcua;
  TcpStream stream;
  ClientChannel channel;
  if (!stream.Connect("127.0.0.1", port, 2000, error)) return false;
  auto exchange = [&](const std::string& bytes, ServerMessage& answer) {
    std::vector<ServerMessage> out;
    if (!stream.Send(bytes, error)) return false;
    std::string received;
    while (out.empty() && stream.Receive(2000, received, error)) {
      if (!channel.OnBytes(received, out, error)) return false;
      received.clear();
    }
    if (out.empty()) return false;
    answer = out[0];
    return true;
  };
  ServerMessage answer;
  if (!exchange(channel.Hello("opc.tcp://127.0.0.1:" + std::to_string(port)), answer) ||
      !exchange(channel.Open(SecurityTokenRequestType::Issue, 600'000), answer))
    return false;
  auto call = [&](auto request, auto& response, const char* what) {
    if (exchange(channel.Request(request), answer) && DecodeResponse(answer, response).IsGood())
      return true;
    error = std::string(what) + " refused";
    return false;
  };
  CreateSessionRequest create;
  create.requestedSessionTimeout = 300'000;
  CreateSessionResponse created;
  if (!call(create, created, "CreateSession")) return false;
  channel.authenticationToken = created.authenticationToken;
  ActivateSessionRequest activate;
  activate.userIdentityToken = Wrap(AnonymousIdentityToken{"anonymous"});
  ActivateSessionResponse activated;
  CreateSubscriptionRequest subscribe;
  subscribe.requestedPublishingInterval = 100;
  subscribe.requestedMaxKeepAliveCount = 10;
  subscribe.requestedLifetimeCount = 3000;
  CreateSubscriptionResponse subscribed;
  if (!call(activate, activated, "ActivateSession") ||
      !call(subscribe, subscribed, "CreateSubscription"))
    return false;
  CreateMonitoredItemsRequest monitor;
  monitor.subscriptionId = subscribed.subscriptionId;
  MonitoredItemCreateRequest item;
  item.itemToMonitor.nodeId = node;
  item.requestedParameters.queueSize = 10;
  monitor.itemsToCreate = {item};
  CreateMonitoredItemsResponse monitored;
  if (!call(monitor, monitored, "CreateMonitoredItems")) return false;
  PublishRequest publish;
  return stream.Send(channel.Request(publish), error);  // and the socket closes here
}

}  // namespace qx::bench
