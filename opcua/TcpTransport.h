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

// Splits "opc.tcp://host:port[/path]" into host and port.
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
  // Serves `core` until Stop(). `onWake` runs on this thread after Wake().
  void Run(ServerCore& core, const std::function<void()>& onWake);
  // Callable from any thread.
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

  int listenFd_ = -1;
  int epollFd_ = -1;
  int wakeFd_ = -1;
  std::atomic<bool> stop_{false};
  std::unordered_map<int, Client> clients_;
  std::unordered_map<ConnectionId, int> fdOf_;
};

}  // namespace opcua
