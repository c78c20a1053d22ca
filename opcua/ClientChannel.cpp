#include "opcua/ClientChannel.h"

#include <algorithm>

namespace opcua {

std::string ClientChannel::Hello(const std::string& endpointUrl) {
  HelloMessage hello{0, receiveBufferSize, sendBufferSize, maxMessageSize, maxChunkCount, endpointUrl};
  return FrameChunk(MessageType::Hello, 'F', Encode(hello));
}

std::string ClientChannel::Open(SecurityTokenRequestType type, uint32_t requestedLifetimeMs) {
  OpenSecureChannelRequest request;
  request.requestHeader.timestamp = DateTime::Now();
  request.requestHeader.requestHandle = ++lastRequestHandle_;
  request.requestType = type;
  request.securityMode = MessageSecurityMode::None;
  request.clientNonce = ByteString(std::string());
  request.requestedLifetime = requestedLifetimeMs;
  std::string payload;
  Writer w(payload);
  w.Put(channelId_);
  w.Put(AsymmetricSecurityHeader{kSecurityPolicyNone, ByteString(), ByteString()});
  w.Put(SequenceHeader{sequence_++, ++lastRequestId_});
  w.Put(NodeId(0, OpenSecureChannelRequest::kTypeId));
  w.Put(request);
  return FrameChunk(MessageType::Open, 'F', payload);
}

std::string ClientChannel::Close() {
  CloseSecureChannelRequest request;
  request.requestHeader.authenticationToken = authenticationToken;
  std::string payload;
  Writer w(payload);
  w.Put(channelId_);
  w.Put(tokenId_);
  w.Put(SequenceHeader{sequence_++, ++lastRequestId_});
  w.Put(NodeId(0, CloseSecureChannelRequest::kTypeId));
  w.Put(request);
  return FrameChunk(MessageType::Close, 'F', payload);
}

std::string ClientChannel::Message(uint32_t requestId, uint32_t typeId, std::string_view body) {
  std::string message;
  Writer mw(message);
  mw.Put(NodeId(0, typeId));
  message.append(body);
  size_t perChunk = serverReceiveBufferSize_ - kSymmetricOverhead;
  std::string out;
  for (size_t offset = 0; offset < message.size(); offset += perChunk) {
    size_t n = std::min(perChunk, message.size() - offset);
    std::string payload;
    Writer w(payload);
    w.Put(channelId_);
    w.Put(tokenId_);
    w.Put(SequenceHeader{sequence_++, requestId});
    payload.append(message, offset, n);
    out += FrameChunk(MessageType::Message, offset + n >= message.size() ? 'F' : 'C', payload);
  }
  return out;
}

bool ClientChannel::OnBytes(std::string_view bytes, std::vector<ServerMessage>& out,
                            std::string& error) {
  input_.append(bytes);
  size_t offset = 0;
  bool ok = true;
  while (ok) {
    Chunk chunk;
    uint32_t size = 0;
    ChunkScan scan = ScanChunk(std::string_view(input_).substr(offset),
                               std::max(receiveBufferSize, 1u << 20), chunk, size);
    if (scan == ChunkScan::Incomplete) break;
    if (scan != ChunkScan::Complete) {
      error = "bad chunk header from the server";
      ok = false;
      break;
    }
    ok = OnChunk(chunk, out, error);
    offset += size;
  }
  input_.erase(0, offset);
  return ok;
}

bool ClientChannel::OnChunk(const Chunk& chunk, std::vector<ServerMessage>& out,
                            std::string& error) {
  Reader r(chunk.payload);
  ServerMessage m;
  m.type = chunk.type;
  switch (chunk.type) {
    case MessageType::Acknowledge: {
      AcknowledgeMessage ack;
      r.Get(ack);
      serverReceiveBufferSize_ = ack.receiveBufferSize;
      break;
    }
    case MessageType::Error:
      r.Get(m.error);
      break;
    case MessageType::Open: {
      AsymmetricSecurityHeader security;
      SequenceHeader sequence;
      r.Get(channelId_);
      r.Get(security);
      r.Get(sequence);
      r.Get(m.typeId);
      m.requestId = sequence.requestId;
      m.body.assign(reinterpret_cast<const char*>(r.Position()), r.Remaining());
      OpenSecureChannelResponse response;
      if (Decode(m.body, response).IsGood()) tokenId_ = response.securityToken.tokenId;
      break;
    }
    case MessageType::Message: {
      uint32_t channelId = 0, tokenId = 0;
      SequenceHeader sequence;
      r.Get(channelId);
      r.Get(tokenId);
      r.Get(sequence);
      partial_.append(reinterpret_cast<const char*>(r.Position()), r.Remaining());
      if (chunk.chunkType == 'C') return r.Ok();
      if (chunk.chunkType == 'A') {
        partial_.clear();
        return r.Ok();
      }
      Reader body(partial_);
      body.Get(m.typeId);
      m.requestId = sequence.requestId;
      m.body.assign(reinterpret_cast<const char*>(body.Position()), body.Remaining());
      partial_.clear();
      if (!body.Ok()) r.Fail(body.Status());
      break;
    }
    default:
      error = "unexpected message type from the server";
      return false;
  }
  if (!r.Ok()) {
    error = std::string("malformed chunk from the server: ") + StatusName(r.Status());
    return false;
  }
  out.push_back(std::move(m));
  return true;
}

}  // namespace opcua
