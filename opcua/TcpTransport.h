#pragma once
// The only place that touches sockets: a listening TCP socket and an epoll
// loop that moves bytes between client sockets and a ServerCore.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "opcua/ServerCore.h"

namespace opcua {

// Splits "opc.tcp://host:port[/path]" into host and port (4840 when
// absent; 0 asks the system for a free port).
bool ParseEndpointUrl(const std::string& url, std::string& host, uint16_t& port,
                      std::string& error);
// `url` with its port replaced by `port` (the port a server bound when it
// was asked for port 0); `url` itself when it has no port to replace.
std::string EndpointUrlWithPort(const std::string& url, uint16_t port);

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

// A blocking client connection, for the client side of the stack.
class TcpStream {
 public:
  TcpStream();
  ~TcpStream();
  TcpStream(const TcpStream&) = delete;
  TcpStream& operator=(const TcpStream&) = delete;

  // Connect, Send and Receive wait at most their time and return false
  // with "interrupted" as soon as Interrupt() is called.
  bool Connect(const std::string& host, uint16_t port, int timeoutMs, std::string& error);
  bool Send(std::string_view bytes, std::string& error);
  // Waits up to `timeoutMs` for bytes and appends what arrived to `out`.
  // False on timeout, error or a closed connection (described in `error`).
  bool Receive(int timeoutMs, std::string& out, std::string& error);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // Callable from any thread, for good: ends the wait of a Connect, Send
  // or Receive running now and makes every later one fail at once. For a
  // worker that must stop without waiting out a silent peer.
  void Interrupt();

 private:
  // Waits for `events` on the socket or for an interrupt; the poll result
  // (0 on timeout), -1 with errno set on failure or EINTR on interrupt.
  int WaitFor(short events, int timeoutMs);

  int fd_ = -1;
  std::atomic<bool> interrupted_{false};
  // Readable once interrupted; -1 when it could not be made, and the waits
  // then look at the flag every kInterruptPollMs instead.
  int interruptFd_ = -1;
};

}  // namespace opcua
