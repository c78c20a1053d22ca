#include "opcua/SecureChannel.h"

#include <algorithm>

#include "opcua/ServerConfig.h"
#include "opcua/ServiceTypes.h"

namespace opcua {

namespace {

// The largest OpenSecureChannelRequest a client needs, with its type id: a
// request header with neither an audit entry id nor an additional header,
// the request's fields and the longest nonce a policy uses come to about
// 100 bytes; the rest is room for what clients put into the header.
constexpr size_t kMaxOpenRequestBytes = 1024;

// The most bytes the encrypted part of an OPN may have: the sequence header
// and the largest request, padding (less than a block, plus two size bytes)
// and the signature of the client's key, in the server's cipher blocks.
size_t MaxEncryptedOpenBytes(const SecurityPolicy& policy, size_t serverKeyBits,
                             size_t clientKeyBits) {
  const size_t plainBlock = crypto::PlainBlockSize(serverKeyBits, policy.asymmetricEncryption);
  if (plainBlock == 0) return 0;
  const size_t plain = kSequenceHeaderSize + kMaxOpenRequestBytes + plainBlock + 2 +
                       crypto::CipherBlockSize(clientKeyBits);
  return (plain + plainBlock - 1) / plainBlock * crypto::CipherBlockSize(serverKeyBits);
}

}  // namespace

ServerSecureChannel::ServerSecureChannel(uint32_t channelId, const TransportLimits& limits,
                                         const Clock& clock, ByteBudget* incompleteBudget,
                                         const ServerSecurity* security)
    : channelId_(channelId),
      limits_(limits),
      clock_(clock),
      security_(security),
      budget_(incompleteBudget) {}

ServerSecureChannel::~ServerSecureChannel() { DropPartial(); }

bool ServerSecureChannel::Fail(StatusCode code, std::string reason) {
  if (state_ != State::Closed) output_ += BuildErrorChunk(code, reason);
  state_ = State::Closed;
  DropPartial();
  return false;
}

bool ServerSecureChannel::OnBytes(std::string_view bytes, std::vector<IncomingRequest>& requests) {
  if (state_ == State::Closed) return false;
  input_.append(bytes);
  Chunk chunk;
  uint32_t size = 0;
  ChunkScan scan = ScanChunk(input_, limits_.receiveBufferSize, chunk, size);
  if (scan == ChunkScan::Incomplete) return true;
  if (scan == ChunkScan::Invalid)
    return Fail(status::BadTcpMessageTypeInvalid, DescribeChunkHeader(input_));
  if (scan == ChunkScan::TooLarge)
    return Fail(status::BadTcpMessageTooLarge, "chunk larger than the receive buffer of " +
                                                   std::to_string(limits_.receiveBufferSize) +
                                                   " bytes");
  bool ok = OnChunk(chunk, requests);
  // A drained input gives its block back: an idle channel holds no copy of
  // the largest request it ever received.
  if (size == input_.size())
    input_ = std::string();
  else
    input_.erase(0, size);
  return ok;
}

bool ServerSecureChannel::HasBacklog() const {
  if (state_ == State::Closed) return false;
  Chunk chunk;
  uint32_t size = 0;
  return ScanChunk(input_, limits_.receiveBufferSize, chunk, size) != ChunkScan::Incomplete;
}

bool ServerSecureChannel::OnChunk(const Chunk& chunk, std::vector<IncomingRequest>& requests) {
  switch (chunk.type) {
    case MessageType::Hello:
      if (state_ != State::AwaitHello) return Fail(status::BadTcpMessageTypeInvalid, "second HEL");
      return OnHello(chunk.payload);
    case MessageType::Open:
      if (state_ == State::AwaitHello) return Fail(status::BadTcpMessageTypeInvalid, "OPN before HEL");
      return OnOpen(chunk);
    case MessageType::Message:
      if (state_ != State::Open) return Fail(status::BadTcpMessageTypeInvalid, "MSG before OPN");
      return OnMessage(chunk, requests);
    case MessageType::Close:
      state_ = State::Closed;
      return false;
    default:
      return Fail(status::BadTcpMessageTypeInvalid, "message type not accepted by a server");
  }
}

bool ServerSecureChannel::OnHello(std::string_view payload) {
  HelloMessage hello;
  Reader r(payload);
  r.Get(hello);
  if (!r.Ok()) return Fail(status::BadDecodingError, "malformed HEL");
  if (hello.receiveBufferSize < kMinBufferSize || hello.sendBufferSize < kMinBufferSize)
    return Fail(status::BadTcpInternalError, "HEL buffer sizes below 8192 bytes");
  if (hello.endpointUrl.size() > 4096)
    return Fail(status::BadTcpEndpointUrlInvalid, "endpoint URL longer than 4096 bytes");
  peerReceiveBufferSize_ = std::min(hello.receiveBufferSize, limits_.sendBufferSize);
  peerMaxMessageSize_ = hello.maxMessageSize;
  peerMaxChunkCount_ = hello.maxChunkCount;
  // We never send chunks larger than the client's receive buffer, and we
  // accept chunks no larger than the smaller of its send buffer and ours.
  limits_.receiveBufferSize = std::min(limits_.receiveBufferSize, hello.sendBufferSize);
  AcknowledgeMessage ack;
  ack.protocolVersion = 0;
  ack.receiveBufferSize = limits_.receiveBufferSize;
  ack.sendBufferSize = peerReceiveBufferSize_;
  ack.maxMessageSize = limits_.maxMessageSize;
  ack.maxChunkCount = limits_.maxChunkCount;
  output_ += FrameChunk(MessageType::Acknowledge, 'F', Encode(ack));
  state_ = State::AwaitOpen;
  return true;
}

bool ServerSecureChannel::OffersPolicy(std::string_view policyUri) const {
  if (!security_) return false;
  for (const SecurityOffer& offer : security_->offers)
    if (offer.policyUri == policyUri) return true;
  return false;
}

bool ServerSecureChannel::Offers(std::string_view policyUri, MessageSecurityMode mode) const {
  if (!security_) return false;
  for (const SecurityOffer& offer : security_->offers)
    if (offer.policyUri == policyUri && offer.mode == mode) return true;
  return false;
}

bool ServerSecureChannel::LoadServerKeys() {
  if (serverCertificate_ && serverKey_) return true;
  if (!security_) return false;
  serverCertificate_ = crypto::Certificate::FromDer(security_->certificateDer);
  serverKey_ = crypto::PrivateKey::FromPem(security_->privateKeyPem);
  return serverCertificate_ && serverKey_;
}

StatusCode ServerSecureChannel::UnwrapSecuredOpen(const Chunk& chunk,
                                                  const AsymmetricSecurityHeader& header,
                                                  size_t headerEnd, std::string& plain,
                                                  std::string& reason) {
  // What is cheap comes first: anyone can send an OPN, and decrypting and
  // verifying one costs the server a private key operation per block.
  const std::string& uri = header.securityPolicyUri;
  const SecurityPolicy* policy = FindSecurityPolicy(uri);
  if (!policy || !OffersPolicy(uri)) {
    reason = "security policy '" + uri + "' not offered";
    return status::BadSecurityPolicyRejected;
  }
  bool renew = state_ == State::Open;
  if (renew && (policy != policy_ || header.senderCertificate.data != clientCertificate_)) {
    reason = "renewal with another policy or certificate than the channel's";
    return status::BadSecurityChecksFailed;
  }
  if (!LoadServerKeys()) {
    reason = "the server has no usable certificate and private key for '" + uri + "'";
    return status::BadSecurityPolicyRejected;
  }
  if (header.receiverCertificateThumbprint.data != serverCertificate_->Thumbprint()) {
    reason = "OPN names a receiver certificate thumbprint that is not the server's";
    return status::BadCertificateInvalid;
  }
  // The sender certificate may be followed by its issuers' certificates;
  // the first one is the client's own, whose key signs.
  std::unique_ptr<crypto::Certificate> client =
      renew ? nullptr
            : crypto::Certificate::FromDer(crypto::LeafCertificate(header.senderCertificate.data));
  const crypto::Certificate* sender = renew ? clientCertificateParsed_.get() : client.get();
  if (!sender) {
    reason = "sender certificate of " + std::to_string(header.senderCertificate.data.size()) +
             " bytes is not an X.509 certificate with an RSA key, alone or followed by its chain";
    return status::BadCertificateInvalid;
  }
  size_t bits = sender->KeyBits();
  if (bits < policy->minAsymmetricKeyBits || bits > policy->maxAsymmetricKeyBits) {
    reason = "client key of " + std::to_string(bits) + " bits outside what '" + uri + "' allows";
    return status::BadCertificateInvalid;
  }
  const size_t encrypted = WholeChunk(chunk).size() - headerEnd;
  const size_t mostEncrypted = MaxEncryptedOpenBytes(*policy, serverKey_->Bits(), bits);
  if (encrypted > mostEncrypted) {
    reason = "OPN with " + std::to_string(encrypted) + " encrypted bytes, more than the " +
             std::to_string(mostEncrypted) + " an OpenSecureChannelRequest needs";
    return status::BadRequestTooLarge;
  }
  if (!renew) {
    // Trust is decided before the client proves it holds the certificate's
    // key: a certificate refused here costs no decryption, and one that is
    // trusted but copied by someone else fails the signature below.
    if (!security_->validateClientCertificate) {
      reason = "no check of client certificates configured";
      return status::BadSecurityChecksFailed;
    }
    StatusCode verdict = security_->validateClientCertificate(header.senderCertificate.data, "");
    if (!verdict.IsGood()) {
      reason = std::string("client certificate refused: ") + StatusName(verdict);
      return verdict;
    }
  }
  AsymmetricProtection keys{policy, serverKey_.get(), serverCertificate_.get(), sender};
  if (StatusCode s = OpenOpenChunk(WholeChunk(chunk), headerEnd, keys, plain); !s.IsGood()) {
    reason = "OPN signature, encryption or padding invalid";
    return s;
  }
  if (!renew) {
    policy_ = policy;
    securityPolicyUri_ = uri;
    clientCertificate_ = header.senderCertificate.data;
    clientCertificateParsed_ = std::move(client);
  }
  return status::Good;
}

bool ServerSecureChannel::OnOpen(const Chunk& chunk) {
  if (chunk.chunkType != 'F') return Fail(status::BadTcpMessageTypeInvalid, "OPN in several chunks");
  Reader r(chunk.payload);
  uint32_t requestedChannelId = 0;
  AsymmetricSecurityHeader security;
  r.Get(requestedChannelId);
  r.Get(security);
  if (!r.Ok()) return Fail(status::BadDecodingError, "malformed OPN security header");
  bool renew = state_ == State::Open;
  bool secured = security.securityPolicyUri != kSecurityPolicyNone;

  // Nothing past the security header is decoded before its signature holds.
  std::string securedPlain;
  std::string_view plain;
  if (secured) {
    size_t headerEnd = kChunkHeaderSize + (chunk.payload.size() - r.Remaining());
    std::string reason;
    StatusCode s = UnwrapSecuredOpen(chunk, security, headerEnd, securedPlain, reason);
    if (!s.IsGood()) return Fail(s, reason);
    plain = securedPlain;
  } else {
    // A channel without security is always granted, so that clients can
    // discover the endpoints; the session layer refuses sessions on it when
    // None is not offered.
    if (renew && policy_)
      return Fail(status::BadSecurityPolicyRejected, "renewal without the channel's security");
    plain = std::string_view(reinterpret_cast<const char*>(r.Position()), r.Remaining());
  }

  Reader body(plain);
  SequenceHeader sequence;
  NodeId typeId;
  body.Get(sequence);
  body.Get(typeId);
  if (!body.Ok()) return Fail(status::BadDecodingError, "malformed OPN headers");
  if (!(typeId == NodeId(0, OpenSecureChannelRequest::kTypeId)))
    return Fail(status::BadTcpMessageTypeInvalid, "OPN body is " + typeId.ToString());
  OpenSecureChannelRequest request;
  body.Get(request);
  if (!body.Ok()) return Fail(status::BadDecodingError, "malformed OpenSecureChannelRequest");
  if (!received_.Accept(sequence.sequenceNumber))
    return Fail(status::BadSequenceNumberInvalid, "OPN sequence number out of order");
  bool modeOffered = secured ? Offers(securityPolicyUri_, request.securityMode)
                            : request.securityMode == MessageSecurityMode::None;
  if (!modeOffered || (renew && request.securityMode != securityMode_))
    return Fail(status::BadSecurityModeRejected,
                "security mode " + std::to_string(static_cast<int>(request.securityMode)) +
                    " not offered with '" + securityPolicyUri_ + "'");
  if (secured && request.clientNonce.data.size() != policy_->nonceLength)
    return Fail(status::BadNonceInvalid,
                "client nonce of " + std::to_string(request.clientNonce.data.size()) +
                    " bytes, not " + std::to_string(policy_->nonceLength));
  if (request.requestType != SecurityTokenRequestType::Issue &&
      request.requestType != SecurityTokenRequestType::Renew)
    return Fail(status::BadRequestTypeInvalid,
                "OPN request type " + std::to_string(static_cast<int32_t>(request.requestType)) +
                    " is neither Issue (0) nor Renew (1)");
  if ((request.requestType == SecurityTokenRequestType::Renew) != renew)
    return Fail(status::BadRequestTypeInvalid, renew ? "second issue on an open channel"
                                                     : "renew of a channel not yet open");
  if (renew && requestedChannelId != channelId_)
    return Fail(status::BadSecureChannelIdInvalid, "renew names channel " +
                                                       std::to_string(requestedChannelId));

  securityMode_ = request.securityMode;
  clientNonce_ = request.clientNonce.data;
  serverNonce_ = secured ? crypto::RandomBytes(policy_->nonceLength) : std::string();
  // The client has not seen the new token yet: until it uses it, the one
  // it has stays valid and secures what we send. A renewal before the
  // client moved on replaces the unused token instead.
  if (renew && previous_.id == 0) previous_ = current_;
  current_.id = ++lastTokenId_;
  current_.incoming = {policy_, securityMode_, {}};
  current_.outgoing = {policy_, securityMode_, {}};
  if (secured) {
    current_.incoming.keys = crypto::DeriveKeys(*policy_, serverNonce_, clientNonce_);
    current_.outgoing.keys = crypto::DeriveKeys(*policy_, clientNonce_, serverNonce_);
  }
  uint32_t lifetimeMs = std::clamp(request.requestedLifetime, limits_.minTokenLifetimeMs,
                                   limits_.maxTokenLifetimeMs);
  current_.expiresMs = clock_.MonotonicMs() + int64_t{lifetimeMs} * 5 / 4;
  state_ = State::Open;

  OpenSecureChannelResponse response;
  response.responseHeader.timestamp = clock_.Now();
  response.responseHeader.requestHandle = request.requestHeader.requestHandle;
  response.securityToken = {channelId_, current_.id, clock_.Now(), lifetimeMs};
  response.serverNonce = ByteString(serverNonce_);
  std::string message;
  Writer mw(message);
  mw.Put(NodeId(0, OpenSecureChannelResponse::kTypeId));
  mw.Put(response);
  SequenceHeader reply{sendSequence_++, sequence.requestId};
  // Sent as one chunk; the response is far below any buffer size.
  if (!secured) {
    std::string payload;
    Writer w(payload);
    w.Put(channelId_);
    w.Put(AsymmetricSecurityHeader{kSecurityPolicyNone, ByteString(), ByteString()});
    w.Put(reply);
    payload += message;
    output_ += FrameChunk(MessageType::Open, 'F', payload);
    return true;
  }
  AsymmetricProtection keys{policy_, serverKey_.get(), serverCertificate_.get(),
                            clientCertificateParsed_.get()};
  std::optional<std::string> answer = SecureOpenChunk(channelId_, reply, message, keys);
  if (!answer) return Fail(status::BadSecurityChecksFailed, "could not sign or encrypt the OPN");
  output_ += *answer;
  return true;
}

bool ServerSecureChannel::OnMessage(const Chunk& chunk, std::vector<IncomingRequest>& requests) {
  Reader r(chunk.payload);
  uint32_t channelId = 0, tokenId = 0;
  r.Get(channelId);
  r.Get(tokenId);
  if (!r.Ok()) return Fail(status::BadDecodingError, "malformed MSG headers");
  if (channelId != channelId_)
    return Fail(status::BadTcpSecureChannelUnknown, "MSG for channel " + std::to_string(channelId));
  const Token* token = tokenId == current_.id                           ? &current_
                       : PreviousTokenValid() && tokenId == previous_.id ? &previous_
                                                                         : nullptr;
  if (!token) return Fail(status::BadSecureChannelTokenUnknown, "token " + std::to_string(tokenId));
  // Under None the chunk is read in place; otherwise its signature is
  // checked (and it is decrypted) before anything after the token id is read.
  std::string securedPlain;
  std::string_view plain(reinterpret_cast<const char*>(r.Position()), r.Remaining());
  if (token->incoming.Signs()) {
    StatusCode s = OpenChunk(WholeChunk(chunk), token->incoming, securedPlain);
    if (!s.IsGood()) return Fail(s, "MSG signature, encryption or padding invalid");
    plain = securedPlain;
  }
  if (token == &current_) previous_ = Token();  // the client moved to the new token

  Reader body(plain);
  SequenceHeader sequence;
  body.Get(sequence);
  if (!body.Ok()) return Fail(status::BadDecodingError, "malformed MSG sequence header");
  if (!received_.Accept(sequence.sequenceNumber))
    return Fail(status::BadSequenceNumberInvalid, "MSG sequence number out of order");

  if (partialChunks_ != 0 && sequence.requestId != partialRequestId_)
    return Fail(status::BadTcpMessageTypeInvalid, "chunks of two requests interleaved");
  if (chunk.chunkType == 'A') {
    DropPartial();
    return true;
  }
  std::string_view piece(reinterpret_cast<const char*>(body.Position()), body.Remaining());
  uint32_t maxSize = RequestSizeLimit();
  if ((limits_.maxChunkCount != 0 && partialChunks_ + 1 > limits_.maxChunkCount) ||
      (maxSize != 0 && partialBody_.size() + piece.size() > maxSize))
    return Fail(status::BadRequestTooLarge,
                "request beyond " + std::to_string(maxSize) + " bytes or " +
                    std::to_string(limits_.maxChunkCount) + " chunks");
  if (partialChunks_ == 0) partialSinceMs_ = clock_.MonotonicMs();
  partialRequestId_ = sequence.requestId;
  ++partialChunks_;
  // A request in one chunk is decoded straight from it; only the chunks of
  // a longer one are held until its last chunk arrives.
  bool whole = chunk.chunkType == 'F' && partialChunks_ == 1;
  if (!whole && !HoldPartial(piece))
    return Fail(status::BadTcpServerTooBusy, "the server holds too many incomplete requests");
  if (chunk.chunkType == 'C') return true;

  IncomingRequest request;
  request.requestId = sequence.requestId;
  Reader message(whole ? piece : std::string_view(partialBody_));
  message.Get(request.typeId);
  if (!message.Ok()) return Fail(status::BadDecodingError, "request without a type id");
  request.body.assign(reinterpret_cast<const char*>(message.Position()), message.Remaining());
  requests.push_back(std::move(request));
  DropPartial();
  return true;
}

uint32_t ServerSecureChannel::RequestSizeLimit() const {
  uint32_t small = limits_.maxMessageSizeWithoutSession;
  if (largeRequests_ || small == 0) return limits_.maxMessageSize;
  return limits_.maxMessageSize == 0 ? small : std::min(small, limits_.maxMessageSize);
}

bool ServerSecureChannel::HoldPartial(std::string_view piece) {
  size_t needed = partialBody_.size() + piece.size();
  if (needed > heldBytes_) {
    // Grows geometrically like a string would, but every byte reserved is
    // charged to the budget, so the budget bounds what is resident.
    size_t want = std::max(needed, heldBytes_ * 2);
    if (uint32_t maxSize = RequestSizeLimit(); maxSize != 0) want = std::min<size_t>(want, maxSize);
    if (budget_ && !budget_->Take(want - heldBytes_)) return false;
    partialBody_.reserve(want);
    heldBytes_ = want;
  }
  partialBody_.append(piece);
  return true;
}

void ServerSecureChannel::DropPartial() {
  if (budget_) budget_->Give(heldBytes_);
  heldBytes_ = 0;
  partialChunks_ = 0;
  std::string().swap(partialBody_);
}

bool ServerSecureChannel::Send(uint32_t requestId, uint32_t typeId, std::string_view body) {
  if (state_ != State::Open) return false;
  std::string message;
  Writer w(message);
  w.Put(NodeId(0, typeId));
  message.append(body);
  const Token& token = SendingToken();
  size_t perChunk = MaxSymmetricBody(token.outgoing, peerReceiveBufferSize_);
  if (perChunk == 0) return false;
  size_t chunks = (message.size() + perChunk - 1) / perChunk;
  if ((peerMaxMessageSize_ != 0 && message.size() > peerMaxMessageSize_) ||
      (peerMaxChunkCount_ != 0 && chunks > peerMaxChunkCount_))
    return false;
  for (size_t offset = 0; offset < message.size(); offset += perChunk) {
    size_t n = std::min(perChunk, message.size() - offset);
    bool last = offset + n >= message.size();
    output_ += SecureChunk(MessageType::Message, last ? 'F' : 'C', channelId_, token.id,
                           SequenceHeader{sendSequence_++, requestId},
                           std::string_view(message).substr(offset, n), token.outgoing);
  }
  return true;
}

size_t ServerSecureChannel::MaxResponseSize() const {
  size_t bySize = peerMaxMessageSize_;
  size_t byChunks =
      size_t(peerMaxChunkCount_) * MaxSymmetricBody(SendingToken().outgoing, peerReceiveBufferSize_);
  if (bySize == 0) return byChunks;
  return byChunks == 0 ? bySize : std::min(bySize, byChunks);
}

bool ServerSecureChannel::PreviousTokenValid() const {
  return previous_.id != 0 && clock_.MonotonicMs() <= previous_.expiresMs;
}

bool ServerSecureChannel::TokenExpired() const {
  if (state_ != State::Open) return false;
  return clock_.MonotonicMs() > current_.expiresMs;
}

}  // namespace opcua
