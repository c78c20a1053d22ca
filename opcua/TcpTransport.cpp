#include "opcua/TcpTransport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>
#include <stdexcept>

namespace opcua {

namespace {

// How long the listening socket rests after an accept failed for want of
// descriptors or memory: long enough not to spin, short enough that a
// client is served soon after a descriptor frees up.
constexpr int64_t kAcceptRetryMs = 1000;
// How often a wait looks at the interrupt flag when no eventfd could be
// made for it.
constexpr int kInterruptPollMs = 50;

// "what: the system's text for errno".
std::string SystemError(const std::string& what, int err = errno) {
  return what + ": " + std::strerror(err);
}

bool SetNonBlocking(int fd) {
  int flags = fcntl(fd, F_GETFL, 0);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

}  // namespace

bool ParseEndpointUrl(const std::string& url, std::string& host, uint16_t& port,
                      std::string& error) {
  const std::string scheme = "opc.tcp://";
  if (url.rfind(scheme, 0) != 0) {
    error = "endpoint URL '" + url + "' does not start with opc.tcp://";
    return false;
  }
  std::string rest = url.substr(scheme.size());
  rest = rest.substr(0, rest.find('/'));
  size_t colon = rest.rfind(':');
  std::string portText = colon == std::string::npos ? "4840" : rest.substr(colon + 1);
  host = colon == std::string::npos ? rest : rest.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  char* end = nullptr;
  long value = std::strtol(portText.c_str(), &end, 10);
  if (host.empty() || portText.empty() || *end != '\0' || value < 0 || value > 65535) {
    error = "endpoint URL '" + url + "' has no valid host and port";
    return false;
  }
  port = static_cast<uint16_t>(value);
  return true;
}

std::string EndpointUrlWithPort(const std::string& url, uint16_t port) {
  const std::string scheme = "opc.tcp://";
  if (url.rfind(scheme, 0) != 0) return url;
  size_t authorityEnd = url.find('/', scheme.size());
  if (authorityEnd == std::string::npos) authorityEnd = url.size();
  size_t colon = url.rfind(':', authorityEnd);
  size_t bracket = url.rfind(']', authorityEnd);
  if (colon == std::string::npos || colon < scheme.size() ||
      (bracket != std::string::npos && bracket > colon))
    return url;
  return url.substr(0, colon + 1) + std::to_string(port) + url.substr(authorityEnd);
}

TcpTransport::TcpTransport(TransportLog log) : log_(std::move(log)) {}

void TcpTransport::Report(const std::string& text) const {
  if (log_)
    log_(text);
  else
    std::cerr << "opcua: " << text << '\n';
}

TcpTransport::~TcpTransport() {
  for (auto& [fd, client] : clients_) close(fd);
  for (int fd : {listenFd_, epollFd_, wakeFd_})
    if (fd >= 0) close(fd);
}

bool TcpTransport::Listen(const std::string& host, uint16_t port, std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  std::string portText = std::to_string(port);
  if (int rc = getaddrinfo(host.c_str(), portText.c_str(), &hints, &found); rc != 0) {
    error = "cannot resolve host '" + host + "': " + gai_strerror(rc);
    return false;
  }
  const std::string where = host + ":" + portText;
  int fd = socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = SystemError("cannot make a socket to listen on " + where);
    freeaddrinfo(found);
    return false;
  }
  int yes = 1;
  std::string failed;
  if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0)
    failed = SystemError("cannot set SO_REUSEADDR on the socket for " + where);
  else if (bind(fd, found->ai_addr, found->ai_addrlen) != 0 || listen(fd, 128) != 0)
    failed = SystemError("cannot listen on " + where) +
             (errno == EADDRINUSE ? " (another program uses this port)" : "");
  else if (!SetNonBlocking(fd))
    failed = SystemError("cannot make the socket for " + where + " non-blocking");
  freeaddrinfo(found);
  if (!failed.empty()) {
    error = failed;
    close(fd);
    return false;
  }
  listenFd_ = fd;
  // The destructor closes whatever was made when a later step fails.
  epollFd_ = epoll_create1(EPOLL_CLOEXEC);
  if (epollFd_ < 0) {
    error = SystemError("cannot make the event queue for " + where);
    return false;
  }
  wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wakeFd_ < 0) {
    error = SystemError("cannot make the wake-up event for " + where);
    return false;
  }
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.fd = listenFd_;
  if (epoll_ctl(epollFd_, EPOLL_CTL_ADD, listenFd_, &ev) != 0) {
    error = SystemError("cannot watch the socket for " + where);
    return false;
  }
  ev.data.fd = wakeFd_;
  if (epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &ev) != 0) {
    error = SystemError("cannot watch the wake-up event for " + where);
    return false;
  }
  return true;
}

uint16_t TcpTransport::Port() const {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (listenFd_ < 0 || getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return 0;
  if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
  return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

void TcpTransport::SignalWakeFd() {
  uint64_t one = 1;
  ssize_t n;
  do n = write(wakeFd_, &one, sizeof one);
  while (n < 0 && errno == EINTR);
  // EAGAIN: the counter is full, so the server thread is woken anyway.
  if (n < 0 && errno != EAGAIN) Report(SystemError("cannot wake the server thread"));
}

void TcpTransport::Wake() {
  if (!wakePending_.exchange(true)) SignalWakeFd();
}

void TcpTransport::Stop() {
  stop_ = true;
  SignalWakeFd();
}

// The numeric address of a connected peer, as the per-peer limit counts it.
static std::string PeerAddress(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = "";
  if (address.ss_family == AF_INET)
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&address)->sin_addr, text, sizeof text);
  else if (address.ss_family == AF_INET6)
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr, text, sizeof text);
  return text;
}

void TcpTransport::Accept(ServerCore& core) {
  for (;;) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    int fd = accept4(listenFd_, reinterpret_cast<sockaddr*>(&address), &length,
                     SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      const int err = errno;
      if (err == EAGAIN || err == EWOULDBLOCK) return;
      // A connection that went away before it was taken, or a signal.
      if (err == EINTR || err == ECONNABORTED || err == EPROTO) continue;
      // Out of descriptors or memory (EMFILE, ENFILE, ENOBUFS, ENOMEM): the
      // connection waits in the backlog; said once, tried again later.
      if (!acceptFailing_)
        Report(SystemError("cannot accept a connection", err) + "; trying again every " +
               std::to_string(kAcceptRetryMs) + " ms");
      acceptFailing_ = true;
      PauseAccepting();
      return;
    }
    if (acceptFailing_) Report("accepting connections again");
    acceptFailing_ = false;
    ConnectionId id = core.OpenConnection(PeerAddress(address));
    if (id == 0) {
      // Too many connections (in all or from this peer): tell the client
      // why before hanging up.
      std::string err = BuildErrorChunk(status::BadTcpServerTooBusy, "too many connections");
      [[maybe_unused]] ssize_t n = send(fd, err.data(), err.size(), MSG_NOSIGNAL);
      close(fd);
      continue;
    }
    AddClient(core, fd, id);
  }
}

void TcpTransport::AddClient(ServerCore& core, int fd, ConnectionId id) {
  int yes = 1;
  // Without it replies wait for Nagle's timer: slower, still correct.
  if (setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes) != 0)
    Report(SystemError("cannot set TCP_NODELAY on connection " + std::to_string(id)));
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.fd = fd;
  if (epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &ev) != 0) {
    Report(SystemError("cannot watch connection " + std::to_string(id) + "; closed"));
    core.CloseConnection(id);
    close(fd);
    return;
  }
  clients_[fd].id = id;
  fdOf_[id] = fd;
}

void TcpTransport::PauseAccepting() {
  epoll_event ev{};
  ev.events = 0;  // registered, but reports nothing until resumed
  ev.data.fd = listenFd_;
  if (epoll_ctl(epollFd_, EPOLL_CTL_MOD, listenFd_, &ev) != 0)
    throw std::runtime_error(SystemError("cannot pause the listening socket"));
  acceptResumeMs_ = SystemClock().MonotonicMs() + kAcceptRetryMs;
}

void TcpTransport::ResumeAcceptingWhenDue() {
  if (acceptResumeMs_ < 0 || SystemClock().MonotonicMs() < acceptResumeMs_) return;
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.fd = listenFd_;
  if (epoll_ctl(epollFd_, EPOLL_CTL_MOD, listenFd_, &ev) != 0)
    throw std::runtime_error(SystemError("cannot resume the listening socket"));
  acceptResumeMs_ = -1;
}

bool TcpTransport::ReadFrom(ServerCore& core, int fd, Client& client) {
  char buffer[65536];
  for (;;) {
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n > 0) {
      if (!core.Receive(client.id, std::string_view(buffer, static_cast<size_t>(n)))) return false;
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    if (n < 0 && errno == EINTR) continue;
    return false;  // closed by the peer, or a socket error
  }
}

bool TcpTransport::Flush(int fd, Client& client) {
  size_t sent = 0;
  while (sent < client.pending.size()) {
    ssize_t n = send(fd, client.pending.data() + sent, client.pending.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    return false;
  }
  client.pending.erase(0, sent);
  bool wantsWrite = !client.pending.empty();
  if (wantsWrite != client.wantsWrite) {
    epoll_event ev{};
    ev.events = wantsWrite ? (EPOLLIN | EPOLLOUT) : EPOLLIN;
    ev.data.fd = fd;
    if (epoll_ctl(epollFd_, EPOLL_CTL_MOD, fd, &ev) != 0) {
      Report(SystemError("cannot watch connection " + std::to_string(client.id) + " for output"));
      return false;
    }
    client.wantsWrite = wantsWrite;
  }
  return true;
}

void TcpTransport::CloseClient(ServerCore& core, int fd) {
  auto it = clients_.find(fd);
  if (it == clients_.end()) return;
  core.CloseConnection(it->second.id);
  fdOf_.erase(it->second.id);
  // Closing the socket takes it out of the event queue as well; the DEL
  // only makes that explicit, so its failure changes nothing.
  epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
  close(fd);
  clients_.erase(it);
}

void TcpTransport::FlushCore(ServerCore& core) {
  for (ConnectionId id : core.TakeConnectionsWithOutput()) {
    auto f = fdOf_.find(id);
    if (f == fdOf_.end()) continue;
    Client& client = clients_[f->second];
    client.pending += core.TakeOutput(id);
    // A client that stops reading is cut off before its backlog eats memory.
    if (!Flush(f->second, client) ||
        client.pending.size() > core.Config().limits.maxPendingOutputBytes)
      CloseClient(core, f->second);
  }
  for (ConnectionId id : core.TakeConnectionsToClose()) {
    auto f = fdOf_.find(id);
    if (f == fdOf_.end()) {
      core.CloseConnection(id);
      continue;
    }
    // Last words (an ERR chunk) go out before the socket closes.
    int fd = f->second;
    Client& client = clients_[fd];
    client.pending += core.TakeOutput(id);
    Flush(fd, client);
    CloseClient(core, fd);
  }
}

void TcpTransport::Run(ServerCore& core, const std::function<void()>& onWake) {
  epoll_event events[64];
  // What a step throws is said with where it happened; the loop goes on.
  auto guarded = [this](const char* what, auto&& step) {
    try {
      step();
      return true;
    } catch (const std::exception& e) {
      Report(std::string(what) + ": " + e.what());
    } catch (...) {
      Report(std::string(what) + ": an unknown exception");
    }
    return false;
  };
  while (!stop_) {
    const int64_t now = SystemClock().MonotonicMs();
    int64_t due = core.NextTimerMs();
    if (acceptResumeMs_ >= 0) due = std::min(due, acceptResumeMs_);
    int64_t wait = std::clamp<int64_t>(due - now, 0, 1000);
    int n = epoll_wait(epollFd_, events, 64, static_cast<int>(wait));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error(SystemError("waiting for the event queue failed"));
    }
    for (int i = 0; i < n && !stop_; ++i) {
      int fd = events[i].data.fd;
      if (fd == listenFd_) {
        Accept(core);
      } else if (fd == wakeFd_) {
        // Drained, then cleared, then onWake: a Wake() after the clear writes
        // the eventfd again (a wake that the drain cannot swallow), and one
        // before it handed over what onWake is about to see.
        uint64_t count = 0;
        if (read(wakeFd_, &count, sizeof count) < 0 && errno != EAGAIN && errno != EINTR)
          throw std::runtime_error(SystemError("reading the wake-up event failed"));
        wakePending_ = false;
        guarded("handing over values", onWake);
      } else if (auto it = clients_.find(fd); it != clients_.end()) {
        bool ok = true;
        const std::string what = "connection " + std::to_string(it->second.id) + " dropped";
        bool handled = guarded(what.c_str(), [&] {
          if (events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) ok = ReadFrom(core, fd, it->second);
          if (ok && (events[i].events & EPOLLOUT)) ok = Flush(fd, it->second);
        });
        if (!ok || !handled) {
          guarded("flushing before a close", [&] { FlushCore(core); });
          CloseClient(core, fd);
        }
      }
    }
    ResumeAcceptingWhenDue();
    guarded("timers", [&] { core.Tick(); });
    guarded("sending", [&] { FlushCore(core); });
  }
  while (!clients_.empty()) CloseClient(core, clients_.begin()->first);
}

// ---- TcpStream --------------------------------------------------------------

TcpStream::TcpStream() : interruptFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

TcpStream::~TcpStream() {
  Close();
  if (interruptFd_ >= 0) close(interruptFd_);
}

void TcpStream::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void TcpStream::Interrupt() {
  interrupted_ = true;
  if (interruptFd_ < 0) return;
  uint64_t one = 1;
  // An eventfd write fails only when its counter is full, that is when it
  // is signalled already.
  [[maybe_unused]] ssize_t n = write(interruptFd_, &one, sizeof one);
}

int TcpStream::WaitFor(short events, int timeoutMs) {
  using SteadyClock = std::chrono::steady_clock;
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  for (;;) {
    if (interrupted_) {
      errno = EINTR;
      return -1;
    }
    const int left = static_cast<int>(std::max<int64_t>(
        0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count()));
    pollfd p[2] = {{fd_, events, 0}, {interruptFd_, POLLIN, 0}};
    const bool withInterrupt = interruptFd_ >= 0;
    const int slice = withInterrupt ? left : std::min(left, kInterruptPollMs);
    int ready = poll(p, withInterrupt ? 2 : 1, slice);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return -1;
    if (withInterrupt && p[1].revents != 0) continue;  // the flag is set before the event
    if (ready > 0) return ready;
    if (left == 0 || slice == left) return 0;
  }
}

bool TcpStream::Connect(const std::string& host, uint16_t port, int timeoutMs, std::string& error) {
  Close();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  std::string portText = std::to_string(port);
  const std::string where = host + ":" + portText;
  if (int rc = getaddrinfo(host.c_str(), portText.c_str(), &hints, &found); rc != 0) {
    error = "cannot resolve host '" + host + "': " + gai_strerror(rc);
    return false;
  }
  int fd = socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    error = SystemError("cannot make a socket to connect to " + where);
    freeaddrinfo(found);
    return false;
  }
  int rc = connect(fd, found->ai_addr, found->ai_addrlen);
  int err = rc == 0 ? 0 : errno;
  freeaddrinfo(found);
  if (rc != 0 && err == EINPROGRESS) {
    fd_ = fd;  // WaitFor polls fd_
    int ready = WaitFor(POLLOUT, timeoutMs);
    err = ready > 0 ? 0 : ready == 0 ? ETIMEDOUT : errno;
    fd_ = -1;
    socklen_t length = sizeof err;
    if (ready > 0 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &length) != 0) err = errno;
  }
  if (err != 0) {
    error = "cannot connect to " + where + ": " +
            (interrupted_ ? std::string("interrupted") : std::string(std::strerror(err)));
    close(fd);
    return false;
  }
  int yes = 1;
  if (setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes) != 0) {
    error = SystemError("cannot set TCP_NODELAY on the connection to " + where);
    close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

bool TcpStream::Send(std::string_view bytes, std::string& error) {
  while (!bytes.empty()) {
    if (interrupted_) {
      error = "send interrupted";
      return false;
    }
    ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n > 0) {
      bytes.remove_prefix(static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // Waits for room; a peer that never reads is cut off at the caller's
      // timeout, an interrupt at once.
      if (WaitFor(POLLOUT, 1000) < 0 && !interrupted_) {
        error = SystemError("waiting to send failed");
        return false;
      }
      continue;
    }
    error = SystemError("send failed");
    return false;
  }
  return true;
}

bool TcpStream::Receive(int timeoutMs, std::string& out, std::string& error) {
  int ready = WaitFor(POLLIN, timeoutMs);
  if (ready == 0) {
    error = "no answer within " + std::to_string(timeoutMs) + " ms";
    return false;
  }
  if (ready < 0) {
    error = interrupted_ ? std::string("interrupted") : SystemError("waiting to receive failed");
    return false;
  }
  char buffer[65536];
  ssize_t n;
  do n = recv(fd_, buffer, sizeof buffer, 0);
  while (n < 0 && errno == EINTR);
  if (n > 0) {
    out.append(buffer, static_cast<size_t>(n));
    return true;
  }
  error = n == 0 ? "connection closed by the server" : SystemError("receive failed");
  return false;
}

}  // namespace opcua
