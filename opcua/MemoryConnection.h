#pragma once
// A connection to a ServerCore made of two byte queues instead of a socket,
// so tests and fuzzers drive the whole server on their own thread.

#include <string>
#include <string_view>

#include "opcua/ServerCore.h"

namespace opcua {

class MemoryConnection {
 public:
  // `peerAddress` stands for the address a socket would have come from.
  explicit MemoryConnection(ServerCore& core, const std::string& peerAddress = {})
      : core_(core), id_(core.OpenConnection(peerAddress)) {}
  ~MemoryConnection() {
    if (id_ != 0) core_.CloseConnection(id_);
  }
  MemoryConnection(const MemoryConnection&) = delete;
  MemoryConnection& operator=(const MemoryConnection&) = delete;

  // False when the server refused the connection (too many).
  bool Accepted() const { return id_ != 0; }
  // Client to server; every whole chunk of `bytes` is served before it
  // returns. Returns false once the server closed the connection.
  bool Send(std::string_view bytes) {
    if (id_ == 0 || closed_) return false;
    bool ok = core_.Receive(id_, bytes);
    while (ok && core_.HasBacklog(id_)) ok = core_.ServeNextChunk(id_);
    closed_ = !ok;
    return ok;
  }
  // What the server calls this connection, for tests that feed it directly.
  ConnectionId Id() const { return id_; }
  // Server to client: everything sent since the last call.
  std::string Take() { return id_ == 0 ? std::string() : core_.TakeOutput(id_); }
  // True once the server asked to close this connection.
  bool Closed() { return closed_ || (id_ != 0 && core_.WantsClose(id_)); }

 private:
  ServerCore& core_;
  ConnectionId id_;
  bool closed_ = false;
};

}  // namespace opcua
