#include "opcua/ClientChannel.h"

#include <algorithm>

namespace opcua {

bool ClientChannel::SetSecurity(const ClientSecurity& security, std::string& error) {
  if (security.policyUri == kSecurityPolicyNone) {
    if (security.mode != MessageSecurityMode::None) {
      error = "security policy None allows only security mode None";
      return false;
    }
    policyUri_ = security.policyUri;
    mode_ = security.mode;
    policy_ = nullptr;
    return true;
  }
  const SecurityPolicy* policy = FindSecurityPolicy(security.policyUri);
  if (!policy) {
    error = "unknown security policy '" + security.policyUri + "'";
    return false;
  }
  if (security.mode != MessageSecurityMode::Sign &&
      security.mode != MessageSecurityMode::SignAndEncrypt) {
    error = "security policy '" + security.policyUri + "' needs mode Sign or SignAndEncrypt";
    return false;
  }
  auto ownCertificate = crypto::Certificate::FromDer(security.certificateDer);
  auto ownKey = crypto::PrivateKey::FromPem(security.privateKeyPem);
  auto serverCertificate = crypto::Certificate::FromDer(security.serverCertificateDer);
  if (!ownCertificate || !ownKey) {
    error = "the client's certificate or private key is not usable";
    return false;
  }
  if (!serverCertificate) {
    error = "the server's certificate (" + std::to_string(security.serverCertificateDer.size()) +
            " bytes) is not one X.509 certificate with an RSA key";
    return false;
  }
  policyUri_ = security.policyUri;
  mode_ = security.mode;
  policy_ = policy;
  ownCertificate_ = std::move(ownCertificate);
  ownKey_ = std::move(ownKey);
  serverCertificate_ = std::move(serverCertificate);
  return true;
}

std::string ClientChannel::Hello(const std::string& endpointUrl) {
  HelloMessage hello{0, receiveBufferSize, sendBufferSize, maxMessageSize, maxChunkCount, endpointUrl};
  return FrameChunk(MessageType::Hello, 'F', Encode(hello));
}

AsymmetricProtection ClientChannel::OpenKeys() const {
  return {policy_, ownKey_.get(), ownCertificate_.get(), serverCertificate_.get()};
}

std::string ClientChannel::Open(SecurityTokenRequestType type, uint32_t requestedLifetimeMs) {
  clientNonce_ = policy_ ? crypto::RandomBytes(policy_->nonceLength) : std::string();
  OpenSecureChannelRequest request;
  request.requestHeader.timestamp = DateTime::Now();
  request.requestHeader.requestHandle = ++lastRequestHandle_;
  request.requestType = type;
  request.securityMode = mode_;
  request.clientNonce = ByteString(clientNonce_);
  request.requestedLifetime = requestedLifetimeMs;
  std::string message;
  Writer mw(message);
  mw.Put(NodeId(0, OpenSecureChannelRequest::kTypeId));
  mw.Put(request);
  SequenceHeader sequence{sequence_++, ++lastRequestId_};
  if (policy_) return SecureOpenChunk(channelId_, sequence, message, OpenKeys()).value_or("");
  std::string payload;
  Writer w(payload);
  w.Put(channelId_);
  w.Put(AsymmetricSecurityHeader{kSecurityPolicyNone, ByteString(), ByteString()});
  w.Put(sequence);
  payload += message;
  return FrameChunk(MessageType::Open, 'F', payload);
}

std::string ClientChannel::Close() {
  CloseSecureChannelRequest request;
  request.requestHeader.authenticationToken = authenticationToken;
  std::string message;
  Writer w(message);
  w.Put(NodeId(0, CloseSecureChannelRequest::kTypeId));
  w.Put(request);
  return SecureChunk(MessageType::Close, 'F', channelId_, tokenId_,
                     SequenceHeader{sequence_++, ++lastRequestId_}, message, current_.outgoing);
}

std::string ClientChannel::Message(uint32_t requestId, uint32_t typeId, std::string_view body) {
  std::string message;
  Writer mw(message);
  mw.Put(NodeId(0, typeId));
  message.append(body);
  size_t perChunk = MaxSymmetricBody(current_.outgoing, serverReceiveBufferSize_);
  std::string out;
  for (size_t offset = 0; offset < message.size(); offset += perChunk) {
    size_t n = std::min(perChunk, message.size() - offset);
    out += SecureChunk(MessageType::Message, offset + n >= message.size() ? 'F' : 'C', channelId_,
                       tokenId_, SequenceHeader{sequence_++, requestId},
                       std::string_view(message).substr(offset, n), current_.outgoing);
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
    ChunkScan scan =
        ScanChunk(std::string_view(input_).substr(offset), receiveBufferSize, chunk, size);
    if (scan == ChunkScan::Incomplete) break;
    if (scan != ChunkScan::Complete) {
      error = scan == ChunkScan::TooLarge
                  ? "chunk of " + std::to_string(size) + " bytes from the server, beyond the " +
                        std::to_string(receiveBufferSize) + " bytes announced"
                  : "bad chunk header from the server: " + DescribeChunkHeader(input_.substr(offset));
      ok = false;
      break;
    }
    ok = OnChunk(chunk, out, error);
    offset += size;
  }
  input_.erase(0, offset);
  return ok;
}

bool ClientChannel::OnOpen(const Chunk& chunk, std::vector<ServerMessage>& out,
                           std::string& error) {
  ServerMessage m;
  m.type = MessageType::Open;
  Reader r(chunk.payload);
  uint32_t channelId = 0;
  AsymmetricSecurityHeader security;
  r.Get(channelId);
  r.Get(security);
  if (!r.Ok()) {
    error = "malformed OPN security header from the server";
    return false;
  }
  std::string securedPlain;
  std::string_view plain(reinterpret_cast<const char*>(r.Position()), r.Remaining());
  if (policy_) {
    if (security.securityPolicyUri != policyUri_ ||
        security.senderCertificate.data != serverCertificate_->Der() ||
        security.receiverCertificateThumbprint.data != ownCertificate_->Thumbprint()) {
      error = "the server's OPN names another policy or other certificates than ours";
      return false;
    }
    size_t headerEnd = kChunkHeaderSize + (chunk.payload.size() - r.Remaining());
    if (!OpenOpenChunk(WholeChunk(chunk), headerEnd, OpenKeys(), securedPlain).IsGood()) {
      error = "the server's OPN fails its signature, encryption or padding check";
      return false;
    }
    plain = securedPlain;
  }
  Reader body(plain);
  SequenceHeader sequence;
  body.Get(sequence);
  body.Get(m.typeId);
  if (!body.Ok()) {
    error = "malformed OPN from the server";
    return false;
  }
  if (!received_.Accept(sequence.sequenceNumber)) {
    error = "OPN from the server out of sequence";
    return false;
  }
  m.requestId = sequence.requestId;
  m.body.assign(reinterpret_cast<const char*>(body.Position()), body.Remaining());
  OpenSecureChannelResponse response;
  bool decoded = Decode(m.body, response).IsGood();
  out.push_back(m);
  if (!decoded) return true;  // a ServiceFault: the caller reads it
  if (policy_ && response.serverNonce.data.size() != policy_->nonceLength) {
    error = "server nonce of " + std::to_string(response.serverNonce.data.size()) + " bytes";
    return false;
  }
  channelId_ = channelId;
  tokenId_ = response.securityToken.tokenId;
  previous_ = current_;
  current_ = Token{tokenId_, {policy_, mode_, {}}, {policy_, mode_, {}}};
  if (policy_) {
    const std::string& serverNonce = response.serverNonce.data;
    current_.incoming.keys = crypto::DeriveKeys(*policy_, clientNonce_, serverNonce);
    current_.outgoing.keys = crypto::DeriveKeys(*policy_, serverNonce, clientNonce_);
  }
  return true;
}

bool ClientChannel::OnMessage(const Chunk& chunk, std::vector<ServerMessage>& out,
                              std::string& error) {
  Reader r(chunk.payload);
  uint32_t channelId = 0, tokenId = 0;
  r.Get(channelId);
  r.Get(tokenId);
  if (!r.Ok()) {
    error = "malformed MSG from the server";
    return false;
  }
  const Token* token = tokenId == current_.id    ? &current_
                       : tokenId == previous_.id ? &previous_
                                                 : nullptr;
  if (!token) {
    error = "MSG from the server under unknown token " + std::to_string(tokenId);
    return false;
  }
  std::string plain;
  if (!OpenChunk(WholeChunk(chunk), token->incoming, plain).IsGood()) {
    error = "MSG from the server fails its signature, encryption or padding check";
    return false;
  }
  Reader body(plain);
  SequenceHeader sequence;
  body.Get(sequence);
  if (!body.Ok()) {
    error = "malformed MSG from the server";
    return false;
  }
  if (!received_.Accept(sequence.sequenceNumber)) {
    error = "MSG from the server out of sequence";
    return false;
  }
  if (chunk.chunkType == 'A') {
    DropPartial();
    return true;
  }
  // A server that sends chunks without end is cut off at the limits we
  // announced, before its response eats memory.
  const size_t piece = body.Remaining();
  if ((maxChunkCount != 0 && partialChunks_ + 1 > maxChunkCount) ||
      (maxMessageSize != 0 && partial_.size() + piece > maxMessageSize)) {
    error = "response from the server beyond the " + std::to_string(maxMessageSize) +
            " bytes or " + std::to_string(maxChunkCount) + " chunks announced";
    DropPartial();
    return false;
  }
  partial_.append(reinterpret_cast<const char*>(body.Position()), piece);
  ++partialChunks_;
  if (chunk.chunkType == 'C') return true;  // more to come
  ServerMessage m;
  m.type = MessageType::Message;
  Reader message(partial_);
  message.Get(m.typeId);
  m.requestId = sequence.requestId;
  m.body.assign(reinterpret_cast<const char*>(message.Position()), message.Remaining());
  DropPartial();
  if (!message.Ok()) {
    error = "MSG from the server without a type id";
    return false;
  }
  out.push_back(std::move(m));
  return true;
}

void ClientChannel::DropPartial() {
  std::string().swap(partial_);
  partialChunks_ = 0;
}

bool ClientChannel::OnChunk(const Chunk& chunk, std::vector<ServerMessage>& out,
                            std::string& error) {
  ServerMessage m;
  m.type = chunk.type;
  switch (chunk.type) {
    case MessageType::Acknowledge: {
      Reader r(chunk.payload);
      AcknowledgeMessage ack;
      r.Get(ack);
      if (!r.Ok()) {
        error = std::string("malformed ACK from the server: ") + StatusName(r.Status());
        return false;
      }
      serverReceiveBufferSize_ = ack.receiveBufferSize;
      break;
    }
    case MessageType::Error: {
      Reader r(chunk.payload);
      r.Get(m.error);
      if (!r.Ok()) {
        error = std::string("malformed ERR from the server: ") + StatusName(r.Status());
        return false;
      }
      break;
    }
    case MessageType::Open:
      return OnOpen(chunk, out, error);
    case MessageType::Message:
      return OnMessage(chunk, out, error);
    default:
      error = "unexpected message type from the server";
      return false;
  }
  out.push_back(std::move(m));
  return true;
}

}  // namespace opcua
