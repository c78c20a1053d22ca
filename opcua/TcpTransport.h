#pragma once
// The server's side of the sockets: a listening TCP socket and an epoll
// loop that moves bytes between client sockets and a ServerCore. With
// TcpStream (the client's side) the only place that touches sockets.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "opcua/EndpointUrl.h"
#include "opcua/ServerCore.h"
#include "opcua/TcpStream.h"

namespace opcua {

// Where the transport reports what goes wrong while it serves (a failed
// accept, a connection it had to drop). Called from the server thread and,
// for a failed wake, from the thread that woke it.
using TransportLog = std::function<void(std::string_view)>;

class TcpTransport {
 public:
  // Without a log, reports go to standard error.
  explicit TcpTransport(TransportLog log = {});
  ~TcpTransport();
  TcpTransport(const TcpTransport&) = delete;
  TcpTransport& operator=(const TcpTransport&) = delete;

  // Binds and listens; `host` is an IPv4 address or a name ("0.0.0.0" for
  // every interface).
  bool Listen(const std::string& host, uint16_t port, std::string& error);
  // The port actually bound (the system's choice when asked for port 0).
  uint16_t Port() const;
  // Serves `core` until Stop(). `onWake` runs on this thread after Wake().
  // What one connection's bytes, a timer or `onWake` throw is reported and
  // the rest goes on (the connection is dropped); a failure of the event
  // queue itself throws std::runtime_error naming it.
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
  // After a failed accept (out of descriptors or memory): the listening
  // socket rests for kAcceptRetryMs instead of waking the loop at once.
  void PauseAccepting();
  void ResumeAcceptingWhenDue();
  void AddClient(ServerCore& core, int fd, ConnectionId id);
  void Report(const std::string& text) const;
  bool ReadFrom(ServerCore& core, int fd, Client& client);
  void QueueOutput(Client& client, std::string output);
  bool Flush(int fd, Client& client);
  void CloseClient(ServerCore& core, int fd);
  void FlushCore(ServerCore& core);
  void SignalWakeFd();

  TransportLog log_;
  int listenFd_ = -1;
  int epollFd_ = -1;
  // While accepting rests, when it resumes (monotonic ms); -1 otherwise.
  int64_t acceptResumeMs_ = -1;
  // Set at the first failed accept of a run of failures, so that it is
  // reported once; cleared by the next accept that works.
  bool acceptFailing_ = false;
  int wakeFd_ = -1;
  std::atomic<bool> stop_{false};
  // Set by the Wake() that writes the eventfd, cleared by the server thread
  // after it drained the eventfd and before it runs onWake.
  std::atomic<bool> wakePending_{false};
  std::unordered_map<int, Client> clients_;
  std::unordered_map<ConnectionId, int> fdOf_;
};

}  // namespace opcua
