// Signed and encrypted secure channels through the in-memory connection:
// every policy and mode, chunking under security, token renewal, and the
// hostile cases that must end with a standard status and a closed channel.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "TestClient.h"
#include "TestKeys.h"
#include "opcua/ChannelSecurity.h"

namespace opcua {
namespace {

using opcua::testing::ClientIdentity;
using opcua::testing::ServerIdentity;
using test::TestClient;

const char* const kPolicies[] = {kSecurityPolicyBasic256Sha256, kSecurityPolicyAes128Sha256RsaOaep,
                                 kSecurityPolicyAes256Sha256RsaPss};
const MessageSecurityMode kModes[] = {MessageSecurityMode::Sign,
                                      MessageSecurityMode::SignAndEncrypt};

std::vector<SecurityOffer> AllSecuredOffers() {
  std::vector<SecurityOffer> offers{{kSecurityPolicyNone, MessageSecurityMode::None}};
  for (const char* policy : kPolicies)
    for (MessageSecurityMode mode : kModes) offers.push_back({policy, mode});
  return offers;
}

ServerConfig SecuredConfig(std::vector<SecurityOffer> offers = AllSecuredOffers()) {
  ServerConfig c;
  c.endpointUrl = test::kUrl;
  c.security.certificateDer = ServerIdentity().certificateDer;
  c.security.privateKeyPem = ServerIdentity().privateKeyPem;
  c.security.offers = std::move(offers);
  c.security.validateClientCertificate = [](std::string_view, std::string_view) {
    return status::Good;
  };
  return c;
}

ClientSecurity ClientOf(const char* policy, MessageSecurityMode mode) {
  return {policy, mode, ClientIdentity().certificateDer, ClientIdentity().privateKeyPem,
          ServerIdentity().certificateDer};
}

void Secure(TestClient& client, const char* policy, MessageSecurityMode mode) {
  std::string error;
  ASSERT_TRUE(client.channel.SetSecurity(ClientOf(policy, mode), error)) << error;
}

// The only message of an answer must be an ERR with `code`.
void ExpectError(const std::vector<ServerMessage>& answer, StatusCode code, const std::string& what) {
  ASSERT_EQ(answer.size(), 1u) << what;
  EXPECT_EQ(answer[0].type, MessageType::Error) << what;
  EXPECT_EQ(answer[0].error.error, code)
      << what << ": " << StatusName(answer[0].error.error) << ": " << answer[0].error.reason;
}

std::string ModeName(MessageSecurityMode mode) {
  return mode == MessageSecurityMode::Sign ? "Sign" : "SignAndEncrypt";
}

// Sizes of the chunks in `bytes`, read from their headers.
std::vector<uint32_t> ChunkSizes(std::string_view bytes) {
  std::vector<uint32_t> sizes;
  while (bytes.size() >= kChunkHeaderSize) {
    uint32_t size = 0;
    std::memcpy(&size, bytes.data() + 4, 4);
    sizes.push_back(size);
    if (size < kChunkHeaderSize || size > bytes.size()) break;
    bytes.remove_prefix(size);
  }
  return sizes;
}

TEST(SecuredChannel, EveryPolicyAndModeOpensAndCarriesRequestsInSeveralChunks) {
  for (const char* policy : kPolicies) {
    for (MessageSecurityMode mode : kModes) {
      std::string what = std::string(policy) + " " + ModeName(mode);
      ManualClock clock;
      ServerConfig config = SecuredConfig();
      config.limits.transport.receiveBufferSize = 8192;
      ServerCore core(config, clock);
      TestClient client(core);
      client.channel.receiveBufferSize = 8192;
      Secure(client, policy, mode);
      ASSERT_TRUE(client.Connect()) << what << ": " << client.lastError;

      // A request of several chunks, and an answer (seven endpoints with the
      // server's certificate each) of several chunks no larger than 8 KiB.
      GetEndpointsRequest request;
      request.endpointUrl = test::kUrl;
      request.localeIds.assign(400, std::string(50, 'p'));
      std::string bytes = client.channel.Request(request);
      EXPECT_GT(ChunkSizes(bytes).size(), 2u) << what;
      // Under encryption no clear text of the request travels.
      EXPECT_EQ(bytes.find(std::string(50, 'p')) == std::string::npos,
                mode == MessageSecurityMode::SignAndEncrypt)
          << what;
      client.connection.Send(bytes);
      std::string answer = client.connection.Take();
      std::vector<uint32_t> sizes = ChunkSizes(answer);
      EXPECT_GT(sizes.size(), 1u) << what;
      for (uint32_t size : sizes) EXPECT_LE(size, 8192u) << what;
      std::vector<ServerMessage> messages;
      std::string error;
      ASSERT_TRUE(client.channel.OnBytes(answer, messages, error)) << what << ": " << error;
      ASSERT_EQ(messages.size(), 1u) << what;
      GetEndpointsResponse endpoints;
      ASSERT_EQ(TestClient::Answer(messages[0], endpoints), status::Good) << what;
      EXPECT_EQ(endpoints.endpoints.size(), 7u) << what;
      EXPECT_FALSE(client.connection.Closed()) << what;
    }
  }
}

TEST(SecuredChannel, ChannelShowsItsSecurityToTheSessionLayer) {
  ManualClock clock;
  ServerCore core(SecuredConfig(), clock);
  TestClient client(core);
  Secure(client, kSecurityPolicyAes256Sha256RsaPss, MessageSecurityMode::Sign);
  ASSERT_TRUE(client.Connect()) << client.lastError;
  EXPECT_EQ(client.channel.SecurityPolicyUri(), kSecurityPolicyAes256Sha256RsaPss);
  EXPECT_EQ(client.channel.SecurityMode(), MessageSecurityMode::Sign);
}

TEST(SecuredChannel, RenewedTokensTakeOverAndTheOldOneEndsOnceTheNewOneIsUsed) {
  ManualClock clock;
  ServerCore core(SecuredConfig(), clock);
  TestClient client(core);
  Secure(client, kSecurityPolicyBasic256Sha256, MessageSecurityMode::SignAndEncrypt);
  ASSERT_TRUE(client.Connect()) << client.lastError;
  uint32_t firstToken = client.channel.TokenId();
  for (int renewal = 0; renewal < 3; ++renewal) {
    clock.Advance(400'000);
    auto renewed = client.Exchange(client.channel.Open(SecurityTokenRequestType::Renew, 600'000));
    ASSERT_EQ(renewed.size(), 1u) << client.lastError;
    ASSERT_EQ(renewed[0].type, MessageType::Open);
    GetEndpointsResponse endpoints;
    EXPECT_EQ(client.Call(GetEndpointsRequest{}, endpoints), status::Good) << client.lastError;
  }
  EXPECT_NE(client.channel.TokenId(), firstToken);
  // Without a further renewal the token runs out.
  clock.Advance(751'000);
  core.Tick();
  EXPECT_TRUE(client.connection.Closed());
}

TEST(SecuredChannel, DiscoveryWithoutSecurityIsAlwaysPossible) {
  ManualClock clock;
  ServerCore core(
      SecuredConfig({{kSecurityPolicyBasic256Sha256, MessageSecurityMode::SignAndEncrypt}}), clock);
  TestClient client(core);
  ASSERT_TRUE(client.Connect());
  GetEndpointsResponse endpoints;
  EXPECT_EQ(client.Call(GetEndpointsRequest{}, endpoints), status::Good);
}

// A secured client that has said hello and the bytes of its next message.
struct Attack {
  const char* what;
  std::vector<SecurityOffer> offers = AllSecuredOffers();
  const char* policy = kSecurityPolicyBasic256Sha256;
  MessageSecurityMode mode = MessageSecurityMode::SignAndEncrypt;
  std::function<StatusCode(std::string_view, std::string_view)> validate =
      [](std::string_view, std::string_view) { return status::Good; };
  // Sends the hostile bytes; returns what the server answered to them.
  std::function<std::vector<ServerMessage>(TestClient&)> act;
  StatusCode expected;
};

std::vector<ServerMessage> OpenWith(TestClient& client,
                                    const std::function<void(std::string&)>& tamper) {
  client.Exchange(client.channel.Hello(test::kUrl));
  std::string open = client.channel.Open(SecurityTokenRequestType::Issue, 600'000);
  tamper(open);
  return client.Exchange(open);
}

// A request on an open channel, changed by `tamper` before it is sent.
std::vector<ServerMessage> RequestWith(TestClient& client,
                                       const std::function<void(std::string&)>& tamper) {
  if (!client.Connect()) return {};
  GetEndpointsRequest request;
  std::string bytes = client.channel.Request(request);
  tamper(bytes);
  return client.Exchange(bytes);
}

void SetChunkSize(std::string& chunk) {
  uint32_t size = static_cast<uint32_t>(chunk.size());
  std::memcpy(chunk.data() + 4, &size, 4);
}

TEST(SecuredChannel, HostileClientsGetAStandardStatusAndAClosedChannel) {
  Attack attacks[] = {
      {.what = "flipped bit in the signature of a MSG",
       .act = [](TestClient& c) { return RequestWith(c, [](std::string& b) { b.back() ^= 1; }); },
       .expected = status::BadSecurityChecksFailed},
      {.what = "flipped bit in the body of a signed MSG",
       .mode = MessageSecurityMode::Sign,
       .act = [](TestClient& c) { return RequestWith(c, [](std::string& b) { b[40] ^= 1; }); },
       .expected = status::BadSecurityChecksFailed},
      {.what = "encrypted MSG cut by one AES block",
       .act =
           [](TestClient& c) {
             return RequestWith(c, [](std::string& b) {
               b.resize(b.size() - 16);
               SetChunkSize(b);
             });
           },
       .expected = status::BadSecurityChecksFailed},
      {.what = "encrypted MSG cut within an AES block",
       .act =
           [](TestClient& c) {
             return RequestWith(c, [](std::string& b) {
               b.resize(b.size() - 5);
               SetChunkSize(b);
             });
           },
       .expected = status::BadSecurityChecksFailed},
      {.what = "MSG cut to its headers",
       .act =
           [](TestClient& c) {
             return RequestWith(c, [](std::string& b) {
               b.resize(kSymmetricSecurityHeaderEnd);
               SetChunkSize(b);
             });
           },
       .expected = status::BadSecurityChecksFailed},
      {.what = "replayed MSG",
       .act =
           [](TestClient& c) {
             std::string first;
             RequestWith(c, [&](std::string& b) { first = b; });
             return c.Exchange(first);
           },
       .expected = status::BadSequenceNumberInvalid},
      {.what = "MSGs out of order",
       .act =
           [](TestClient& c) {
             c.Connect();
             GetEndpointsRequest r1, r2;
             std::string first = c.channel.Request(r1);
             std::string second = c.channel.Request(r2);
             return c.Exchange(second);
           },
       .expected = status::BadSequenceNumberInvalid},
      {.what = "MSG under an unknown token",
       .mode = MessageSecurityMode::Sign,
       .act =
           [](TestClient& c) {
             return RequestWith(c, [](std::string& b) { b[12] ^= 0x55; });
           },
       .expected = status::BadSecureChannelTokenUnknown},
      {.what = "flipped bit in the encrypted part of an OPN",
       .act = [](TestClient& c) { return OpenWith(c, [](std::string& b) { b.back() ^= 1; }); },
       .expected = status::BadSecurityChecksFailed},
      {.what = "OPN cut by a byte",
       .act =
           [](TestClient& c) {
             return OpenWith(c, [](std::string& b) {
               b.pop_back();
               SetChunkSize(b);
             });
           },
       .expected = status::BadSecurityChecksFailed},
      {.what = "OPN for another server's certificate",
       .act =
           [](TestClient& c) {
             std::string ours = crypto::Certificate::FromDer(ServerIdentity().certificateDer)
                                    ->Thumbprint();
             return OpenWith(c, [&](std::string& b) { b[b.find(ours) + 3] ^= 1; });
           },
       .expected = status::BadCertificateInvalid},
      {.what = "16 KiB of garbage as the sender certificate",
       .act =
           [](TestClient& c) {
             const std::string& der = ClientIdentity().certificateDer;
             return OpenWith(c, [&](std::string& b) {
               size_t at = b.find(der);
               std::string garbage(16384, '\x5a');
               uint32_t length = static_cast<uint32_t>(garbage.size());
               std::memcpy(b.data() + at - 4, &length, 4);
               b.replace(at, der.size(), garbage);
               SetChunkSize(b);
             });
           },
       .expected = status::BadCertificateInvalid},
      {.what = "policy not offered",
       .offers = {{kSecurityPolicyBasic256Sha256, MessageSecurityMode::SignAndEncrypt}},
       .policy = kSecurityPolicyAes256Sha256RsaPss,
       .act = [](TestClient& c) { return OpenWith(c, [](std::string&) {}); },
       .expected = status::BadSecurityPolicyRejected},
      {.what = "mode not offered",
       .offers = {{kSecurityPolicyBasic256Sha256, MessageSecurityMode::SignAndEncrypt}},
       .mode = MessageSecurityMode::Sign,
       .act = [](TestClient& c) { return OpenWith(c, [](std::string&) {}); },
       .expected = status::BadSecurityModeRejected},
      {.what = "untrusted client certificate",
       .validate = [](std::string_view,
                      std::string_view) { return status::BadCertificateUntrusted; },
       .act = [](TestClient& c) { return OpenWith(c, [](std::string&) {}); },
       .expected = status::BadCertificateUntrusted},
      {.what = "garbage signature from an untrusted certificate, refused before decryption",
       .validate = [](std::string_view,
                      std::string_view) { return status::BadCertificateUntrusted; },
       .act = [](TestClient& c) { return OpenWith(c, [](std::string& b) { b.back() ^= 1; }); },
       .expected = status::BadCertificateUntrusted},
      {.what = "no check of client certificates configured",
       .validate = nullptr,
       .act = [](TestClient& c) { return OpenWith(c, [](std::string&) {}); },
       .expected = status::BadSecurityChecksFailed},
  };
  for (const Attack& attack : attacks) {
    ManualClock clock;
    ServerConfig config = SecuredConfig(attack.offers);
    config.security.validateClientCertificate = attack.validate;
    ServerCore core(config, clock);
    TestClient client(core);
    Secure(client, attack.policy, attack.mode);
    ExpectError(attack.act(client), attack.expected, attack.what);
    EXPECT_TRUE(client.connection.Closed()) << attack.what;
  }
}

TEST(SecuredChannel, SequenceNumbersFollowEachOtherAndWrapOnlyNearTheTop) {
  struct Case {
    const char* what;
    std::vector<uint32_t> numbers;
    bool lastAccepted;
  } cases[] = {
      {"consecutive from any start", {77, 78, 79}, true},
      {"repeated", {77, 78, 78}, false},
      {"a gap", {77, 79}, false},
      {"backwards", {77, 76}, false},
      {"wrap after 4294966271 to below 1024", {4294966272u, 5}, true},
      {"wrap to 1024 or above", {4294966272u, 1024}, false},
      {"wrap from lower down", {4294966270u, 5}, false},
      {"past the top to zero", {4294967295u, 0}, true},
  };
  for (const Case& c : cases) {
    SequenceCheck check;
    bool accepted = true;
    for (uint32_t n : c.numbers) accepted = check.Accept(n);
    EXPECT_EQ(accepted, c.lastAccepted) << c.what;
  }
}

TEST(SecuredChannel, TheClientRefusesTamperedOrReplayedAnswers) {
  ManualClock clock;
  ServerCore core(SecuredConfig(), clock);
  TestClient client(core);
  Secure(client, kSecurityPolicyAes128Sha256RsaOaep, MessageSecurityMode::SignAndEncrypt);
  ASSERT_TRUE(client.Connect()) << client.lastError;
  GetEndpointsRequest request;
  client.connection.Send(client.channel.Request(request));
  std::string answer = client.connection.Take();
  std::string tampered = answer;
  tampered[40] ^= 1;

  std::vector<ServerMessage> messages;
  std::string error;
  EXPECT_FALSE(client.channel.OnBytes(tampered, messages, error));
  EXPECT_NE(error.find("signature"), std::string::npos) << error;
  EXPECT_TRUE(messages.empty());

  TestClient other(core);
  Secure(other, kSecurityPolicyAes128Sha256RsaOaep, MessageSecurityMode::SignAndEncrypt);
  ASSERT_TRUE(other.Connect()) << other.lastError;
  other.connection.Send(other.channel.Request(request));
  std::string first = other.connection.Take();
  error.clear();
  ASSERT_TRUE(other.channel.OnBytes(first, messages, error)) << error;
  EXPECT_FALSE(other.channel.OnBytes(first, messages, error));
  EXPECT_NE(error.find("sequence"), std::string::npos) << error;
}

// A secured client spelled out with the channel-security functions, so
// that tests can build chunks no correct client sends: it chooses its own
// nonce and so knows the keys.
class HandMadeClient {
 public:
  struct Token {
    uint32_t id = 0;
    SymmetricProtection outgoing;
  };

  HandMadeClient(ServerCore& core, const char* policyUri)
      : connection_(core),
        policy_(FindSecurityPolicy(policyUri)),
        key_(crypto::PrivateKey::FromPem(ClientIdentity().privateKeyPem)),
        certificate_(crypto::Certificate::FromDer(ClientIdentity().certificateDer)),
        server_(crypto::Certificate::FromDer(ServerIdentity().certificateDer)) {
    HelloMessage hello;
    hello.endpointUrl = test::kUrl;
    connection_.Send(FrameChunk(MessageType::Hello, 'F', Encode(hello)));
    connection_.Take();
  }

  // Opens or renews with a correct OPN carrying a nonce of `nonceLength`
  // bytes; the server's answer, already checked and decoded when it is an OPN.
  std::vector<ServerMessage> Open(SecurityTokenRequestType type, size_t nonceLength = 32,
                                  size_t auditEntryBytes = 0) {
    std::string body = OpenBody(type, nonceLength, auditEntryBytes);
    return Exchange(*SecureOpenChunk(channelId_, NextSequence(), body, OpenKeys()));
  }

  // An OPN signed and encrypted by hand around padding that `tamper` spoils.
  std::vector<ServerMessage> OpenWithPadding(const std::function<void(std::string&)>& tamper) {
    std::string header;
    Writer w(header);
    w.Put(channelId_);
    w.Put(AsymmetricSecurityHeader{std::string(policy_->uri),
                                   ByteString(certificate_->Der() + chain),
                                   ByteString(server_->Thumbprint())});
    std::string region = Encode(NextSequence()) + OpenBody(SecurityTokenRequestType::Issue, 32);
    size_t plainBlock = crypto::PlainBlockSize(2048, policy_->asymmetricEncryption);
    std::string padding = PaddingFor(region.size(), 256, plainBlock);
    tamper(padding);
    region += padding;
    size_t encryptedSize = (region.size() + 256) / plainBlock * 256;
    std::string chunk = FrameChunk(MessageType::Open, 'F', header + std::string(encryptedSize, '\0'));
    chunk.resize(kChunkHeaderSize + header.size());
    std::string signature = *crypto::Sign(*key_, policy_->asymmetricSignature, chunk + region);
    chunk += *crypto::Encrypt(*server_, policy_->asymmetricEncryption, region + signature);
    return Exchange(chunk);
  }

  // A GetEndpoints request under `token` (its id and its keys).
  std::vector<ServerMessage> Request(const Token& token) {
    return Exchange(SecureChunk(MessageType::Message, 'F', channelId_, token.id, NextSequence(),
                                RequestBody(), token.outgoing));
  }

  // A GetEndpoints request under the current token, signed and encrypted
  // by hand around padding that `tamper` spoils.
  std::vector<ServerMessage> RequestWithPadding(const std::function<void(std::string&)>& tamper) {
    const SymmetricProtection& p = current.outgoing;
    std::string region = Encode(NextSequence()) + RequestBody();
    std::string padding = PaddingFor(region.size(), 32, 16);
    tamper(padding);
    region += padding;
    std::string chunk = FrameChunk(MessageType::Message, 'F', std::string(8 + region.size() + 32, '\0'));
    chunk.resize(kChunkHeaderSize);
    Writer w(chunk);
    w.Put(channelId_);
    w.Put(current.id);
    chunk += region;
    std::string mac = crypto::HmacSha256(p.keys.signingKey, chunk);
    chunk.resize(kSymmetricSecurityHeaderEnd);
    chunk += *crypto::AesCbcEncrypt(p.keys.encryptingKey, p.keys.iv, region + mac);
    return Exchange(chunk);
  }

  bool Closed() { return connection_.Closed(); }

  Token current;
  Token previous;
  // Sent after the client's certificate in OpenWithPadding's OPN, as the
  // certificates of its chain.
  std::string chain;

 private:
  // The right padding (size byte and padding bytes) for a region of `used`
  // bytes before a signature of `signatureSize` in blocks of `block`; at
  // least one padding byte, so that tests have one to spoil.
  static std::string PaddingFor(size_t used, size_t signatureSize, size_t block) {
    size_t count = (block - (used + 1 + signatureSize) % block) % block;
    if (count == 0) count = block;
    return std::string(count + 1, static_cast<char>(count));
  }

  std::string OpenBody(SecurityTokenRequestType type, size_t nonceLength,
                       size_t auditEntryBytes = 0) {
    nonce_ = crypto::RandomBytes(nonceLength);
    OpenSecureChannelRequest request;
    request.requestHeader.auditEntryId = std::string(auditEntryBytes, 'a');
    request.requestType = type;
    request.securityMode = MessageSecurityMode::SignAndEncrypt;
    request.clientNonce = ByteString(nonce_);
    request.requestedLifetime = 600'000;
    return Encode(NodeId(0, OpenSecureChannelRequest::kTypeId)) + Encode(request);
  }

  static std::string RequestBody() {
    return Encode(NodeId(0, GetEndpointsRequest::kTypeId)) + Encode(GetEndpointsRequest{});
  }

  SequenceHeader NextSequence() { return {sequence_++, ++requestId_}; }

  AsymmetricProtection OpenKeys() const {
    return {policy_, key_.get(), certificate_.get(), server_.get()};
  }

  // Sends `bytes`; an OPN answer is opened and its token taken on.
  std::vector<ServerMessage> Exchange(const std::string& bytes) {
    connection_.Send(bytes);
    std::string answer = connection_.Take();
    Chunk chunk;
    uint32_t size = 0;
    std::vector<ServerMessage> out;
    if (ScanChunk(answer, 1 << 20, chunk, size) != ChunkScan::Complete) return out;
    ServerMessage m;
    m.type = chunk.type;
    Reader r(chunk.payload);
    if (chunk.type == MessageType::Error) {
      r.Get(m.error);
    } else if (chunk.type == MessageType::Open) {
      AsymmetricSecurityHeader header;
      r.Get(channelId_);
      r.Get(header);
      std::string plain;
      size_t headerEnd = kChunkHeaderSize + chunk.payload.size() - r.Remaining();
      EXPECT_EQ(OpenOpenChunk(WholeChunk(chunk), headerEnd, OpenKeys(), plain), status::Good);
      Reader body(plain);
      SequenceHeader sequence;
      OpenSecureChannelResponse response;
      body.Get(sequence);
      body.Get(m.typeId);
      body.Get(response);
      EXPECT_TRUE(body.Ok());
      previous = current;
      current = {response.securityToken.tokenId,
                 {policy_, MessageSecurityMode::SignAndEncrypt,
                  crypto::DeriveKeys(*policy_, response.serverNonce.data, nonce_)}};
    }
    out.push_back(m);
    return out;
  }

  MemoryConnection connection_;
  const SecurityPolicy* policy_;
  std::unique_ptr<crypto::PrivateKey> key_;
  std::unique_ptr<crypto::Certificate> certificate_;
  std::unique_ptr<crypto::Certificate> server_;
  std::string nonce_;
  uint32_t channelId_ = 0;
  uint32_t sequence_ = 1;
  uint32_t requestId_ = 0;
};

TEST(SecuredChannel, PaddingNoncesAndTokensAreChecked) {
  auto spoilByte = [](std::string& padding) { padding[1] ^= 0x01; };
  auto claimTooMuch = [](std::string& padding) { padding.back() = '\xff'; };
  struct Case {
    const char* what;
    std::function<std::vector<ServerMessage>(HandMadeClient&)> act;
    StatusCode expected;
  } cases[] = {
      {"OPN with a padding byte unlike the padding size",
       [&](HandMadeClient& c) { return c.OpenWithPadding(spoilByte); },
       status::BadSecurityChecksFailed},
      {"OPN whose padding size is longer than the message",
       [&](HandMadeClient& c) { return c.OpenWithPadding(claimTooMuch); },
       status::BadSecurityChecksFailed},
      {"OPN with a 16-byte nonce",
       [](HandMadeClient& c) { return c.Open(SecurityTokenRequestType::Issue, 16); },
       status::BadNonceInvalid},
      {"MSG with a padding byte unlike the padding size",
       [&](HandMadeClient& c) {
         c.Open(SecurityTokenRequestType::Issue);
         return c.RequestWithPadding(spoilByte);
       },
       status::BadSecurityChecksFailed},
      {"MSG whose padding size is longer than the message",
       [&](HandMadeClient& c) {
         c.Open(SecurityTokenRequestType::Issue);
         return c.RequestWithPadding(claimTooMuch);
       },
       status::BadSecurityChecksFailed},
      {"MSG under the old token once the client used the new one",
       [](HandMadeClient& c) {
         c.Open(SecurityTokenRequestType::Issue);
         c.Open(SecurityTokenRequestType::Renew);
         c.Request(c.current);
         return c.Request(c.previous);
       },
       status::BadSecureChannelTokenUnknown},
  };
  for (const char* policy : kPolicies) {
    {
      // The hand-made client itself is right: untouched, it is served.
      ManualClock clock;
      ServerCore core(SecuredConfig(), clock);
      HandMadeClient client(core, policy);
      ASSERT_EQ(client.OpenWithPadding([](std::string&) {})[0].type, MessageType::Open) << policy;
      ASSERT_EQ(client.RequestWithPadding([](std::string&) {})[0].type, MessageType::Message);
      ASSERT_EQ(client.Open(SecurityTokenRequestType::Renew)[0].type, MessageType::Open);
      ASSERT_EQ(client.Request(client.previous)[0].type, MessageType::Message) << policy;
      ASSERT_EQ(client.Request(client.current)[0].type, MessageType::Message) << policy;
    }
    for (const Case& c : cases) {
      std::string what = std::string(c.what) + " (" + policy + ")";
      ManualClock clock;
      ServerCore core(SecuredConfig(), clock);
      HandMadeClient client(core, policy);
      ExpectError(c.act(client), c.expected, what);
      EXPECT_TRUE(client.Closed()) << what;
    }
  }
}

TEST(SecuredChannel, OpenRequestsLargerThanARequestNeedsAreRefusedUndecrypted) {
  // A correct OPN padded out with a long audit entry id: refusing it before
  // decryption is what keeps a flood of such OPNs cheap.
  struct Case {
    size_t auditEntryBytes;
    bool served;
  } cases[] = {{0, true}, {800, true}, {50'000, false}};
  for (const Case& c : cases) {
    ManualClock clock;
    int checks = 0;
    ServerConfig config = SecuredConfig();
    config.security.validateClientCertificate = [&](std::string_view, std::string_view) {
      ++checks;
      return status::Good;
    };
    ServerCore core(config, clock);
    HandMadeClient client(core, kSecurityPolicyBasic256Sha256);
    auto answer = client.Open(SecurityTokenRequestType::Issue, 32, c.auditEntryBytes);
    const std::string what = std::to_string(c.auditEntryBytes) + " bytes of audit entry id";
    if (c.served) {
      ASSERT_EQ(answer.size(), 1u) << what;
      EXPECT_EQ(answer[0].type, MessageType::Open) << what;
      continue;
    }
    ExpectError(answer, status::BadRequestTooLarge, what);
    EXPECT_TRUE(client.Closed()) << what;
    EXPECT_EQ(checks, 0) << what;
  }
}

TEST(SecuredChannel, ASenderCertificateFollowedByItsChainOpensWithItsLeaf) {
  // Any certificate stands for the issuer's here: the channel only parses
  // the chain and hands it to the certificate check, which builds the path.
  const std::string issuer = ServerIdentity().certificateDer;
  struct Case {
    const char* what;
    std::string chain;
    StatusCode expected;
  } cases[] = {
      {"the certificate alone", "", status::Good},
      {"followed by its issuer's", issuer, status::Good},
      {"followed by two more", issuer + issuer, status::Good},
      {"followed by bytes that are no certificate", issuer + "junk", status::BadCertificateInvalid},
      {"followed by a cut certificate", issuer.substr(0, issuer.size() - 1),
       status::BadCertificateInvalid},
      {"in a chain longer than any a client needs",
       [&] {
         std::string chain;
         for (size_t i = 0; i < crypto::kMaxChainCertificates; ++i) chain += issuer;
         return chain;
       }(),
       status::BadCertificateInvalid},
  };
  for (const Case& c : cases) {
    ManualClock clock;
    std::string checked;
    ServerConfig config = SecuredConfig();
    config.security.validateClientCertificate = [&](std::string_view der, std::string_view) {
      checked = der;
      return status::Good;
    };
    ServerCore core(config, clock);
    HandMadeClient client(core, kSecurityPolicyBasic256Sha256);
    client.chain = c.chain;
    auto answer = client.OpenWithPadding([](std::string&) {});
    if (!c.expected.IsGood()) {
      ExpectError(answer, c.expected, c.what);
      continue;
    }
    ASSERT_EQ(answer.size(), 1u) << c.what;
    ASSERT_EQ(answer[0].type, MessageType::Open) << c.what;
    EXPECT_EQ(checked, ClientIdentity().certificateDer + c.chain) << c.what;
    EXPECT_EQ(client.Request(client.current)[0].type, MessageType::Message) << c.what;
  }
}

}  // namespace
}  // namespace opcua
