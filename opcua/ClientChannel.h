#pragma once
// Client side of the UA TCP framing and secure channel (policy None): builds
// HEL, OPN, MSG and CLO chunks and turns the server's chunks back into whole
// responses. No sockets; a client or a test moves the bytes.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

class ClientChannel {
 public:
  // Sizes this client announces in its HEL.
  uint32_t receiveBufferSize = 65536;
  uint32_t sendBufferSize = 65536;
  uint32_t maxMessageSize = 0;
  uint32_t maxChunkCount = 0;

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
  uint32_t ChannelId() const { return channelId_; }
  uint32_t TokenId() const { return tokenId_; }
  uint32_t ServerReceiveBufferSize() const { return serverReceiveBufferSize_; }

 private:
  bool OnChunk(const Chunk& chunk, std::vector<ServerMessage>& out, std::string& error);

  std::string input_;
  std::string partial_;
  uint32_t channelId_ = 0;
  uint32_t tokenId_ = 0;
  uint32_t sequence_ = 1;
  uint32_t lastRequestId_ = 0;
  uint32_t lastRequestHandle_ = 0;
  uint32_t serverReceiveBufferSize_ = kMinBufferSize;
};

}  // namespace opcua
