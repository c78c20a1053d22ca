#pragma once
// Turns fuzzer bytes into traffic on a server channel that offers every
// secured policy, with the fixed test identities of tests/opcua/data.
//
// Byte 0, bit 0: when set, the harness first opens a secured channel (policy
// (byte 0 >> 1) % 3, Sign or SignAndEncrypt by bit 3) and an activated
// anonymous session with the client's application signature, so the
// records meet the symmetric chunk checks with the right keys. When clear,
// it only sends HEL: the records are raw bytes, such as an OPN chunk, that
// meet the asymmetric checks.
// Then records, each: kind (1 byte), length (2 bytes, little-endian), data.
//   kind 0: raw bytes on the connection
//   kind 1: a service request (data[0..1] its type id, the rest the request
//           after its header) as a correctly secured MSG
//   kind 2: as kind 1, but then byte data[2..3] % size of the secured chunk
//           is XORed with data[4] (1 when 0): a flipped signature, padding,
//           cipher text or header; data[5..6] the type id, the rest the body
//   kind 3: as kind 1 after the first 2 bytes, but the secured chunk is cut
//           to data[0..1] % size bytes and its size field says so
//   kind 4: the client renews its token (a secured OPN)
//   kind 5: time passes (data[0] * 10 ms) and the timers run
//   kind 6: the client closes the channel (a secured CLO)

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzRecords.h"
#include "FuzzServer.h"
#include "opcua/Crypto.h"
#include "opcua/SessionCrypto.h"
#include "tests/opcua/TestKeys.h"

namespace opcua::fuzz {

enum SecuredRecordKind : uint8_t {
  kSecuredRaw = 0,
  kSecuredRequest = 1,
  kTampered = 2,
  kTruncated = 3,
  kRenew = 4,
  kElapse = 5,
  kCloseChannel = 6,
  kSecuredKinds = 7,
};

inline constexpr const char* kSecuredPolicies[] = {
    kSecurityPolicyBasic256Sha256, kSecurityPolicyAes128Sha256RsaOaep,
    kSecurityPolicyAes256Sha256RsaPss};

// The first byte of an input: whether to open a secured session first, and
// with which policy and mode.
inline uint8_t SecuredLead(bool handshake, int policy, MessageSecurityMode mode) {
  return static_cast<uint8_t>((handshake ? 1 : 0) | (policy % 3) << 1 |
                              (mode == MessageSecurityMode::SignAndEncrypt ? 8 : 0));
}

// The client side's security for `policy` and `mode` with the test identities.
inline ClientSecurity TestClientSecurity(const char* policy, MessageSecurityMode mode) {
  using testing::ClientIdentity;
  using testing::ServerIdentity;
  return {policy, mode, ClientIdentity().certificateDer, ClientIdentity().privateKeyPem,
          ServerIdentity().certificateDer};
}

class SecuredHarness {
 public:
  void Run(const uint8_t* data, size_t size) {
    if (size == 0) return;
    MemoryConnection connection(server_.core());
    ClientChannel channel;
    if (data[0] & 1) {
      std::string error;
      MessageSecurityMode mode =
          data[0] & 8 ? MessageSecurityMode::SignAndEncrypt : MessageSecurityMode::Sign;
      if (!channel.SetSecurity(TestClientSecurity(kSecuredPolicies[(data[0] >> 1) % 3], mode), error))
        return;
      OpenSession(connection, channel);
    } else {
      connection.Send(channel.Hello(kFuzzUrl));
      Drain(connection, channel);
    }
    RecordReader records(data, size);
    uint8_t kind = 0;
    std::string_view bytes;
    while (!connection.Closed() && records.Next(kSecuredKinds, kind, bytes)) {
      Apply(kind, bytes, connection, channel);
      Drain(connection, channel);
    }
  }

 private:
  static ServerConfig Config() {
    ServerConfig c = FuzzConfig();
    c.endpointUrl = kFuzzUrl;
    ServerSecurity& s = c.security;
    s.certificateDer = testing::ServerIdentity().certificateDer;
    s.privateKeyPem = testing::ServerIdentity().privateKeyPem;
    s.offers = {{kSecurityPolicyNone, MessageSecurityMode::None}};
    for (const char* policy : kSecuredPolicies)
      for (MessageSecurityMode mode : {MessageSecurityMode::Sign, MessageSecurityMode::SignAndEncrypt})
        s.offers.push_back({policy, mode});
    s.anonymousWrites = false;
    // Only the test client is trusted, so other certificates take the
    // refusal path.
    s.validateClientCertificate = [](std::string_view certificate, std::string_view) {
      return certificate == testing::ClientIdentity().certificateDer
                 ? status::Good
                 : status::BadCertificateUntrusted;
    };
    s.authenticateUser = [](std::string_view user, std::string_view password) {
      return user == "user" && password == "password" ? status::Good : status::BadUserAccessDenied;
    };
    return c;
  }

  // HEL, the secured OPN, CreateSession with the client's nonce and
  // certificate, and ActivateSession signed with the client's key.
  void OpenSession(MemoryConnection& connection, ClientChannel& channel) {
    connection.Send(channel.Hello(kFuzzUrl));
    connection.Send(channel.Open(SecurityTokenRequestType::Issue, 600'000));
    Drain(connection, channel);
    CreateSessionRequest create;
    create.requestedSessionTimeout = 60'000;
    create.clientNonce = ByteString(crypto::RandomBytes(32));
    create.clientCertificate = ByteString(testing::ClientIdentity().certificateDer);
    create.clientDescription.applicationUri = "urn:qx:test:client";
    CreateSessionResponse created;
    if (!Call(connection, channel, create, created).IsGood()) return;
    channel.authenticationToken = created.authenticationToken;
    const SecurityPolicy* policy = FindSecurityPolicy(channel.SecurityPolicyUri());
    auto key = crypto::PrivateKey::FromPem(testing::ClientIdentity().privateKeyPem);
    if (!policy || !key) return;
    ActivateSessionRequest activate;
    activate.clientSignature = SignApplication(*key, *policy, testing::ServerIdentity().certificateDer,
                                               created.serverNonce.data)
                                   .value_or(SignatureData{});
    activate.userIdentityToken = Wrap(AnonymousIdentityToken{"anonymous"});
    ActivateSessionResponse activated;
    Call(connection, channel, activate, activated);
  }

  template <class Req, class Resp>
  static StatusCode Call(MemoryConnection& connection, ClientChannel& channel, Req& request,
                         Resp& response) {
    connection.Send(channel.Request(request));
    std::vector<ServerMessage> answers;
    std::string error;
    channel.OnBytes(connection.Take(), answers, error);
    return answers.size() == 1 ? DecodeResponse(answers[0], response) : status::BadTimeout;
  }

  static uint16_t Number(std::string_view bytes) {
    uint16_t n = 0;
    if (bytes.size() >= 2) std::memcpy(&n, bytes.data(), 2);
    return n;
  }

  void Apply(uint8_t kind, std::string_view bytes, MemoryConnection& connection,
             ClientChannel& channel) {
    switch (kind) {
      case kSecuredRaw:
        connection.Send(bytes);
        break;
      case kSecuredRequest:
        connection.Send(server_.RequestMessage(channel, bytes));
        break;
      case kTampered: {
        if (bytes.size() < 5) return;
        std::string chunk = server_.RequestMessage(channel, bytes.substr(5));
        if (chunk.empty()) return;
        uint8_t mask = static_cast<uint8_t>(bytes[4]);
        chunk[Number(bytes.substr(2)) % chunk.size()] ^= static_cast<char>(mask ? mask : 1);
        connection.Send(chunk);
        break;
      }
      case kTruncated: {
        std::string chunk =
            server_.RequestMessage(channel, bytes.substr(std::min<size_t>(2, bytes.size())));
        if (chunk.size() <= kChunkHeaderSize) return;
        uint32_t cut = static_cast<uint32_t>(Number(bytes) % chunk.size());
        cut = std::max<uint32_t>(cut, kChunkHeaderSize);
        chunk.resize(cut);
        std::memcpy(chunk.data() + 4, &cut, 4);
        connection.Send(chunk);
        break;
      }
      case kRenew:
        connection.Send(channel.Open(SecurityTokenRequestType::Renew, 600'000));
        break;
      case kElapse:
        server_.Elapse(bytes);
        break;
      case kCloseChannel:
        connection.Send(channel.Close());
        break;
    }
  }

  FuzzServer server_{Config()};
};

}  // namespace opcua::fuzz
