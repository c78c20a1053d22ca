#pragma once
// The only place that touches sockets: a listening TCP socket and an epoll
// loop that moves bytes between client sockets and a ServerCore.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

#include "opcua/ServerCore.h"

namespace opcua {

// Splits "opc.tcp://host:port[/path]" into host and port (4840 when
// absent; 0 asks the system for a free port).
bool ParseEndpointUrl(const std::string& url, std::string& host, uint16_t& port,
                      std::string& error);

class TcpTransport {
 public:
  TcpTransport();
  ~TcpTransport();
  TcpTransport(const TcpTransport&) = delete;
  TcpTransport& operator=(const TcpTransport&) = delete;

  // Binds and listens; `host` is an IPv4 address or a name ("0.0.0.0" for
  // every interface).
  bool Listen(const std::string& host, uint16_t port, std::string& error);
  // The port actually bound (the system's choice when asked for port 0).
  uint16_t Port() const;
  // Serves `core` until Stop(). `onWake` runs on this thread after Wake().
  void Run(ServerCore& core, const std::function<void()>& onWake);
  // Callable from any thread. Wakes made while the server thread has yet to
  // run `onWake` for an earlier one cost no system call: that coming run
  // sees everything handed over before this call.
  void Wake();
  void Stop();

 private:
  struct Client {
    ConnectionId id = 0;
    std::string pending;  // bytes not yet accepted by the socket
    bool wantsWrite = false;
  };
  void Accept(ServerCore& core);
  bool ReadFrom(ServerCore& core, int fd, Client& client);
  bool Flush(int fd, Client& client);
  void CloseClient(ServerCore& core, int fd);
  void FlushCore(ServerCore& core);
  void SignalWakeFd();

  int listenFd_ = -1;
  int epollFd_ = -1;
  int wakeFd_ = -1;
  std::atomic<bool> stop_{false};
  // Set by the Wake() that writes the eventfd, cleared by the server thread
  // after it drained the eventfd and before it runs onWake.
  std::atomic<bool> wakePending_{false};
  std::unordered_map<int, Client> clients_;
  std::unordered_map<ConnectionId, int> fdOf_;
};

// A blocking client connection, for the client side of the stack.
class TcpStream {
 public:
  TcpStream() = default;
  ~TcpStream();
  TcpStream(const TcpStream&) = delete;
  TcpStream& operator=(const TcpStream&) = delete;

  bool Connect(const std::string& host, uint16_t port, int timeoutMs, std::string& error);
  bool Send(std::string_view bytes, std::string& error);
  // Waits up to `timeoutMs` for bytes and appends what arrived to `out`.
  // False on timeout, error or a closed connection (described in `error`).
  bool Receive(int timeoutMs, std::string& out, std::string& error);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace opcua
