#pragma once
// Client side of the UA TCP framing and secure channel: builds HEL, OPN, MSG
// and CLO chunks (signed and encrypted under a secured policy) and turns the
// server's chunks back into whole responses, checking their security first.
// No sockets; a client or a test moves the bytes.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "opcua/ChannelSecurity.h"
#include "opcua/ServiceTypes.h"
#include "opcua/TransportMessages.h"

namespace opcua {

// One whole message from the server.
struct ServerMessage {
  MessageType type = MessageType::Unknown;
  uint32_t requestId = 0;
  NodeId typeId;         // the response's encoding id (OPN and MSG)
  std::string body;      // the response after its type id
  ErrorMessage error;    // for ERR
};

// Decodes the server's answer to a request into `resp`. Returns the
// response's service result, the code of a ServiceFault, or
// BadUnknownResponse when the answer is of another type.
template <class Resp>
StatusCode DecodeResponse(const ServerMessage& m, Resp& resp) {
  if (m.typeId == NodeId(0, ServiceFault::kTypeId)) {
    ServiceFault fault;
    StatusCode decoded = Decode(m.body, fault);
    return decoded.IsGood() ? fault.responseHeader.serviceResult : decoded;
  }
  if (!(m.typeId == NodeId(0, Resp::kTypeId))) return status::BadUnknownResponse;
  StatusCode decoded = Decode(m.body, resp);
  return decoded.IsGood() ? resp.responseHeader.serviceResult : decoded;
}

// What a client needs to open a secured channel.
struct ClientSecurity {
  std::string policyUri = kSecurityPolicyNone;
  MessageSecurityMode mode = MessageSecurityMode::None;
  std::string certificateDer;        // our application instance certificate
  std::string privateKeyPem;         // its private key, unencrypted
  std::string serverCertificateDer;  // the endpoint's, as GetEndpoints gave it
};

class ClientChannel {
 public:
  // Sizes this client announces in its HEL and holds the server to: no
  // chunk beyond the receive buffer, no response beyond the message size
  // or the chunk count (0: no limit).
  uint32_t receiveBufferSize = 65536;
  uint32_t sendBufferSize = 65536;
  uint32_t maxMessageSize = kDefaultMaxMessageSize;
  uint32_t maxChunkCount = kDefaultMaxChunkCount;

  // Chooses the security of the channel, before the first Open(). False,
  // with `error` saying why, for an unknown policy, a mode that does not fit
  // it, or a certificate or key that cannot be used.
  bool SetSecurity(const ClientSecurity& security, std::string& error);

  std::string Hello(const std::string& endpointUrl);
  std::string Open(SecurityTokenRequestType type, uint32_t requestedLifetimeMs);
  std::string Close();
  // Encodes a request (filling in the session token and a request handle)
  // as one or more MSG chunks within the server's receive buffer.
  template <class Req>
  std::string Request(Req& request, uint32_t* requestIdOut = nullptr) {
    request.requestHeader.authenticationToken = authenticationToken;
    request.requestHeader.requestHandle = ++lastRequestHandle_;
    if (request.requestHeader.timestamp.ticks == 0) request.requestHeader.timestamp = DateTime::Now();
    uint32_t id = ++lastRequestId_;
    if (requestIdOut) *requestIdOut = id;
    return Message(id, Req::kTypeId, Encode(request));
  }
  std::string Message(uint32_t requestId, uint32_t typeId, std::string_view body);

  // Consumes bytes from the server; whole messages go to `out`. False on a
  // framing error (described in `error`).
  bool OnBytes(std::string_view bytes, std::vector<ServerMessage>& out, std::string& error);

  NodeId authenticationToken;
  uint32_t TokenId() const { return tokenId_; }
  uint32_t ServerReceiveBufferSize() const { return serverReceiveBufferSize_; }
  const std::string& SecurityPolicyUri() const { return policyUri_; }
  MessageSecurityMode SecurityMode() const { return mode_; }

 private:
  // A token the server issued and the keys of both directions for it.
  struct Token {
    uint32_t id = 0;
    SymmetricProtection incoming;
    SymmetricProtection outgoing;
  };

  bool OnChunk(const Chunk& chunk, std::vector<ServerMessage>& out, std::string& error);
  bool OnOpen(const Chunk& chunk, std::vector<ServerMessage>& out, std::string& error);
  bool OnMessage(const Chunk& chunk, std::vector<ServerMessage>& out, std::string& error);
  AsymmetricProtection OpenKeys() const;

  // Forgets the response being reassembled, its memory included.
  void DropPartial();

  std::string input_;
  std::string partial_;
  uint32_t partialChunks_ = 0;
  uint32_t channelId_ = 0;
  uint32_t tokenId_ = 0;
  std::string policyUri_ = kSecurityPolicyNone;
  MessageSecurityMode mode_ = MessageSecurityMode::None;
  const SecurityPolicy* policy_ = nullptr;  // nullptr under SecurityPolicy None
  std::unique_ptr<crypto::Certificate> ownCertificate_;
  std::unique_ptr<crypto::PrivateKey> ownKey_;
  std::unique_ptr<crypto::Certificate> serverCertificate_;
  std::string clientNonce_;  // of the OPN waiting for its answer
  SequenceCheck received_;
  // The token we send with, and the one before it, whose messages the
  // server may still send until it sees ours under the new one.
  Token current_;
  Token previous_;
  uint32_t sequence_ = 1;
  uint32_t lastRequestId_ = 0;
  uint32_t lastRequestHandle_ = 0;
  uint32_t serverReceiveBufferSize_ = kMinBufferSize;
};

}  // namespace opcua
