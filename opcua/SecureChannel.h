#pragma once
// Server side of one connection below the services: the HEL/ACK handshake,
// OPN (issue and renew of tokens, under SecurityPolicy None or a secured
// policy the server offers), CLO, chunk reassembly of requests and chunking
// of responses within the sizes both sides announced, with MSG chunks
// signed and encrypted as the channel's mode requires. No sockets: bytes
// in, bytes out.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "opcua/ChannelSecurity.h"
#include "opcua/Clock.h"
#include "opcua/ServiceTypes.h"
#include "opcua/TransportMessages.h"

namespace opcua {

struct TransportLimits {
  uint32_t receiveBufferSize = 65536;       // largest chunk we accept
  uint32_t sendBufferSize = 65536;          // largest chunk we send
  uint32_t maxMessageSize = kDefaultMaxMessageSize;  // largest request we reassemble
  // Largest request before the server allows large ones (once a session is
  // activated on the channel); 0 for no difference.
  uint32_t maxMessageSizeWithoutSession = 256 * 1024;
  uint32_t maxChunkCount = kDefaultMaxChunkCount;  // most chunks in one request
  uint32_t minTokenLifetimeMs = 10'000;
  uint32_t maxTokenLifetimeMs = 3'600'000;
};

// A complete service request: its encoding type id and the bytes after it.
struct IncomingRequest {
  uint32_t requestId = 0;
  NodeId typeId;
  std::string body;
};

// Bytes that all channels together may hold for requests whose last chunk
// has not arrived yet.
class ByteBudget {
 public:
  explicit ByteBudget(size_t limit) : limit_(limit) {}
  bool Take(size_t n) {
    if (n > limit_ - used_) return false;
    used_ += n;
    return true;
  }
  void Give(size_t n) { used_ -= n < used_ ? n : used_; }
  size_t Used() const { return used_; }

 private:
  size_t limit_;
  size_t used_ = 0;
};

struct ServerSecurity;  // opcua/ServerConfig.h

class ServerSecureChannel {
 public:
  // `incompleteBudget`, when given, is charged for the bytes of requests
  // still being reassembled and must outlive the channel. `security` (the
  // offered policies, the server's certificate and key, the check of client
  // certificates) must outlive it too; without it only SecurityPolicy None
  // is accepted. None is accepted always, for discovery.
  ServerSecureChannel(uint32_t channelId, const TransportLimits& limits, const Clock& clock,
                      ByteBudget* incompleteBudget = nullptr,
                      const ServerSecurity* security = nullptr);
  ~ServerSecureChannel();
  ServerSecureChannel(const ServerSecureChannel&) = delete;
  ServerSecureChannel& operator=(const ServerSecureChannel&) = delete;

  // Takes received bytes and serves the first whole chunk waiting, so that
  // one connection gets one chunk per turn of the server thread; the rest
  // waits for the next call (with no bytes, when nothing new arrived). A
  // complete service request is appended to `requests`. Returns false when
  // the connection must be closed; an ERR chunk explaining why may then be
  // waiting in Output().
  bool OnBytes(std::string_view bytes, std::vector<IncomingRequest>& requests);
  // A whole chunk (or a header that will fail) waits to be served.
  bool HasBacklog() const;

  // Encodes `typeId` + `body` and splits them into MSG chunks. Returns false,
  // sending nothing, if the message exceeds what the client accepts.
  bool Send(uint32_t requestId, uint32_t typeId, std::string_view body);
  template <class T>
  bool SendResponse(uint32_t requestId, const T& response) {
    return Send(requestId, T::kTypeId, Encode(response));
  }

  bool IsOpen() const { return state_ == State::Open; }
  // The security the channel was opened with: policy URI, mode and the
  // client's certificate (DER, empty under SecurityPolicy None).
  const std::string& SecurityPolicyUri() const { return securityPolicyUri_; }
  MessageSecurityMode SecurityMode() const { return securityMode_; }
  const std::string& ClientCertificate() const { return clientCertificate_; }
  // Lifts the request size from maxMessageSizeWithoutSession to
  // maxMessageSize; the server calls it once the channel carries a session.
  void AllowLargeRequests() { largeRequests_ = true; }
  // When the oldest chunk of the request being reassembled arrived, or -1.
  int64_t IncompleteSinceMs() const { return partialChunks_ != 0 ? partialSinceMs_ : -1; }
  // True when the current token outlived its lifetime (plus a grace of a
  // quarter) without being renewed.
  bool TokenExpired() const;
  uint32_t Id() const { return channelId_; }
  // Largest response body the client accepts (its message size and chunk
  // count limits), 0 for no limit.
  size_t MaxResponseSize() const;
  std::string& Output() { return output_; }

 private:
  enum class State { AwaitHello, AwaitOpen, Open, Closed };

  bool Fail(StatusCode code, std::string reason);
  bool OnChunk(const Chunk& chunk, std::vector<IncomingRequest>& requests);
  bool OnHello(std::string_view payload);
  bool OnOpen(const Chunk& chunk);
  // Checks the asymmetric security of a secured OPN (policy offered, our
  // thumbprint, the client's certificate, the size, the certificate's
  // trust, then signature and padding) and recovers
  // its sequence header and body into `plain`; Good or the status to fail
  // with, described in `reason`.
  StatusCode UnwrapSecuredOpen(const Chunk& chunk, const AsymmetricSecurityHeader& header,
                               size_t headerEnd, std::string& plain, std::string& reason);
  // Whether the server offers a secured policy, with `mode` or at all.
  bool Offers(std::string_view policyUri, MessageSecurityMode mode) const;
  bool OffersPolicy(std::string_view policyUri) const;
  // Parses the server's certificate and key on first use; false without them.
  bool LoadServerKeys();
  bool OnMessage(const Chunk& chunk, std::vector<IncomingRequest>& requests);
  uint32_t RequestSizeLimit() const;
  // Appends to the request being reassembled; false when the budget is spent.
  bool HoldPartial(std::string_view piece);
  // Forgets the request being reassembled and gives its memory back.
  void DropPartial();

  uint32_t channelId_;
  TransportLimits limits_;
  const Clock& clock_;
  State state_ = State::AwaitHello;
  std::string input_;
  std::string output_;

  // What the client announced in its HEL.
  uint32_t peerReceiveBufferSize_ = 0;
  uint32_t peerMaxMessageSize_ = 0;
  uint32_t peerMaxChunkCount_ = 0;

  std::string securityPolicyUri_ = kSecurityPolicyNone;
  MessageSecurityMode securityMode_ = MessageSecurityMode::None;
  std::string clientCertificate_;
  std::string clientNonce_;
  std::string serverNonce_;
  const ServerSecurity* security_;
  const SecurityPolicy* policy_ = nullptr;  // nullptr under SecurityPolicy None
  std::unique_ptr<crypto::Certificate> serverCertificate_;
  std::unique_ptr<crypto::PrivateKey> serverKey_;
  std::unique_ptr<crypto::Certificate> clientCertificateParsed_;

  // A token and the keys of both directions derived for it.
  struct Token {
    uint32_t id = 0;  // 0: none
    // Lifetime plus a grace of a quarter, for messages on their way.
    int64_t expiresMs = 0;
    SymmetricProtection incoming;
    SymmetricProtection outgoing;
  };
  // After a renewal, the previous token stays valid (and secures what we
  // send) until the client first uses the current one or it expires.
  Token current_;
  Token previous_;
  uint32_t lastTokenId_ = 0;
  bool PreviousTokenValid() const;
  const Token& SendingToken() const { return PreviousTokenValid() ? previous_ : current_; }
  uint32_t sendSequence_ = 1;
  SequenceCheck received_;

  // Request being reassembled from 'C' chunks.
  uint32_t partialRequestId_ = 0;
  uint32_t partialChunks_ = 0;
  int64_t partialSinceMs_ = 0;
  std::string partialBody_;
  size_t heldBytes_ = 0;  // reserved for partialBody_ and charged to the budget
  ByteBudget* budget_;
  bool largeRequests_ = false;
};

}  // namespace opcua
