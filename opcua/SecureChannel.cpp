#include "opcua/SecureChannel.h"

#include <algorithm>

#include "opcua/ServiceTypes.h"

namespace opcua {

ServerSecureChannel::ServerSecureChannel(uint32_t channelId, const TransportLimits& limits,
                                         const Clock& clock, ByteBudget* incompleteBudget)
    : channelId_(channelId), limits_(limits), clock_(clock), budget_(incompleteBudget) {}

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
  size_t offset = 0;
  bool ok = true;
  while (ok) {
    Chunk chunk;
    uint32_t size = 0;
    ChunkScan scan =
        ScanChunk(std::string_view(input_).substr(offset), limits_.receiveBufferSize, chunk, size);
    if (scan == ChunkScan::Incomplete) break;
    if (scan == ChunkScan::Invalid) {
      ok = Fail(status::BadTcpMessageTypeInvalid, "unknown message or chunk type");
      break;
    }
    if (scan == ChunkScan::TooLarge) {
      ok = Fail(status::BadTcpMessageTooLarge,
                "chunk larger than the receive buffer of " +
                    std::to_string(limits_.receiveBufferSize) + " bytes");
      break;
    }
    ok = OnChunk(chunk, requests);
    offset += size;
  }
  input_.erase(0, offset);
  return ok;
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

bool ServerSecureChannel::CheckSequence(uint32_t sequenceNumber) {
  if (sequenceKnown_ && sequenceNumber != expectedSequence_) {
    // After 4294966271 the client may wrap around to any number below 1024.
    bool wrapped = expectedSequence_ > 4294966271u && sequenceNumber < 1024;
    if (!wrapped) return false;
  }
  sequenceKnown_ = true;
  expectedSequence_ = sequenceNumber + 1;
  return true;
}

bool ServerSecureChannel::OnOpen(const Chunk& chunk) {
  if (chunk.chunkType != 'F') return Fail(status::BadTcpMessageTypeInvalid, "OPN in several chunks");
  Reader r(chunk.payload);
  uint32_t requestedChannelId = 0;
  AsymmetricSecurityHeader security;
  SequenceHeader sequence;
  NodeId typeId;
  r.Get(requestedChannelId);
  r.Get(security);
  r.Get(sequence);
  r.Get(typeId);
  if (!r.Ok()) return Fail(status::BadDecodingError, "malformed OPN headers");
  if (security.securityPolicyUri != kSecurityPolicyNone)
    return Fail(status::BadSecurityPolicyRejected,
                "security policy '" + security.securityPolicyUri + "' not offered; only None");
  if (!(typeId == NodeId(0, OpenSecureChannelRequest::kTypeId)))
    return Fail(status::BadTcpMessageTypeInvalid, "OPN body is " + typeId.ToString());
  OpenSecureChannelRequest request;
  r.Get(request);
  if (!r.Ok()) return Fail(status::BadDecodingError, "malformed OpenSecureChannelRequest");
  if (!CheckSequence(sequence.sequenceNumber))
    return Fail(status::BadSequenceNumberInvalid, "OPN sequence number out of order");
  if (request.securityMode != MessageSecurityMode::None)
    return Fail(status::BadSecurityModeRejected, "only security mode None is offered");
  bool renew = request.requestType == SecurityTokenRequestType::Renew;
  if (renew != (state_ == State::Open))
    return Fail(status::BadRequestTypeInvalid, renew ? "renew of a channel not yet open"
                                                     : "second issue on an open channel");
  if (renew && requestedChannelId != channelId_)
    return Fail(status::BadSecureChannelIdInvalid, "renew names channel " +
                                                       std::to_string(requestedChannelId));

  previousTokenId_ = tokenId_;
  ++tokenId_;
  tokenCreatedMs_ = clock_.MonotonicMs();
  tokenLifetimeMs_ = std::clamp(request.requestedLifetime, limits_.minTokenLifetimeMs,
                                limits_.maxTokenLifetimeMs);
  state_ = State::Open;

  OpenSecureChannelResponse response;
  response.responseHeader.timestamp = clock_.Now();
  response.responseHeader.requestHandle = request.requestHeader.requestHandle;
  response.securityToken = {channelId_, tokenId_, clock_.Now(), tokenLifetimeMs_};
  response.serverNonce = ByteString(std::string());
  // Sent as one chunk; the response is far below any buffer size.
  std::string payload;
  Writer w(payload);
  w.Put(channelId_);
  w.Put(AsymmetricSecurityHeader{kSecurityPolicyNone, ByteString(), ByteString()});
  w.Put(SequenceHeader{sendSequence_++, sequence.requestId});
  w.Put(NodeId(0, OpenSecureChannelResponse::kTypeId));
  w.Put(response);
  output_ += FrameChunk(MessageType::Open, 'F', payload);
  return true;
}

bool ServerSecureChannel::OnMessage(const Chunk& chunk, std::vector<IncomingRequest>& requests) {
  Reader r(chunk.payload);
  uint32_t channelId = 0, tokenId = 0;
  SequenceHeader sequence;
  r.Get(channelId);
  r.Get(tokenId);
  r.Get(sequence);
  if (!r.Ok()) return Fail(status::BadDecodingError, "malformed MSG headers");
  if (channelId != channelId_)
    return Fail(status::BadTcpSecureChannelUnknown, "MSG for channel " + std::to_string(channelId));
  if (tokenId != tokenId_ && (tokenId != previousTokenId_ || previousTokenId_ == 0))
    return Fail(status::BadSecureChannelTokenUnknown, "token " + std::to_string(tokenId));
  if (tokenId == tokenId_) previousTokenId_ = 0;  // the client moved to the new token
  if (!CheckSequence(sequence.sequenceNumber))
    return Fail(status::BadSequenceNumberInvalid, "MSG sequence number out of order");

  if (partialChunks_ != 0 && sequence.requestId != partialRequestId_)
    return Fail(status::BadTcpMessageTypeInvalid, "chunks of two requests interleaved");
  if (chunk.chunkType == 'A') {
    DropPartial();
    return true;
  }
  std::string_view piece(reinterpret_cast<const char*>(r.Position()), r.Remaining());
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
  Reader body(whole ? piece : std::string_view(partialBody_));
  body.Get(request.typeId);
  if (!body.Ok()) return Fail(status::BadDecodingError, "request without a type id");
  request.body.assign(reinterpret_cast<const char*>(body.Position()), body.Remaining());
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
  size_t perChunk = peerReceiveBufferSize_ - kSymmetricOverhead;
  size_t chunks = (message.size() + perChunk - 1) / perChunk;
  if ((peerMaxMessageSize_ != 0 && message.size() > peerMaxMessageSize_) ||
      (peerMaxChunkCount_ != 0 && chunks > peerMaxChunkCount_))
    return false;
  for (size_t offset = 0; offset < message.size(); offset += perChunk) {
    size_t n = std::min(perChunk, message.size() - offset);
    bool last = offset + n >= message.size();
    std::string head;
    Writer hw(head);
    hw.Put(static_cast<uint32_t>(kSymmetricOverhead + n));
    output_.append(last ? "MSGF" : "MSGC");
    output_.append(head);
    Writer ow(output_);
    ow.Put(channelId_);
    ow.Put(tokenId_);
    ow.Put(SequenceHeader{sendSequence_++, requestId});
    output_.append(message, offset, n);
  }
  return true;
}

size_t ServerSecureChannel::MaxResponseSize() const {
  size_t bySize = peerMaxMessageSize_;
  size_t byChunks = size_t(peerMaxChunkCount_) * (peerReceiveBufferSize_ - kSymmetricOverhead);
  if (bySize == 0) return byChunks;
  return byChunks == 0 ? bySize : std::min(bySize, byChunks);
}

bool ServerSecureChannel::TokenExpired() const {
  if (state_ != State::Open) return false;
  return clock_.MonotonicMs() - tokenCreatedMs_ > int64_t(tokenLifetimeMs_) * 5 / 4;
}

}  // namespace opcua
