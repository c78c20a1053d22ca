#include "opcua/TcpTransport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <iostream>
#include <stdexcept>
#include <utility>

#include "opcua/SystemError.h"

namespace opcua {

namespace {

// How long the listening socket rests after an accept failed for want of
// descriptors or memory: long enough not to spin, short enough that a
// client is served soon after a descriptor frees up.
constexpr int64_t kAcceptRetryMs = 1000;

// The longest wait for events (the core's housekeeping runs at least once a
// second anyway), and the units of the wait.
constexpr int64_t kMaxWaitMs = 1000;
constexpr int64_t kNsPerMs = 1'000'000;
constexpr int64_t kNsPerS = 1'000'000'000;

bool SetNonBlocking(int fd) {
  int flags = fcntl(fd, F_GETFL, 0);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

}  // namespace

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
  // One read per turn, and none while chunks of the connection still wait:
  // every connection gets its turn between the timers, and a fast sender
  // cannot pile up input. The socket stays readable, so epoll reports it
  // again at the next turn.
  if (core.HasBacklog(client.id)) return true;
  char buffer[65536];
  for (;;) {
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n > 0) return core.Receive(client.id, std::string_view(buffer, static_cast<size_t>(n)));
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
  // What went out entirely gives its block back: an idle connection holds
  // no copy of the largest message it ever sent.
  if (sent == client.pending.size())
    client.pending = std::string();
  else
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

void TcpTransport::QueueOutput(Client& client, std::string output) {
  // Most often nothing waits, and the output itself becomes what waits
  // instead of being copied.
  if (client.pending.empty())
    client.pending = std::move(output);
  else
    client.pending += output;
}

void TcpTransport::FlushCore(ServerCore& core) {
  for (ConnectionId id : core.TakeConnectionsWithOutput()) {
    auto f = fdOf_.find(id);
    if (f == fdOf_.end()) continue;
    Client& client = clients_[f->second];
    QueueOutput(client, core.TakeOutput(id));
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
    QueueOutput(client, core.TakeOutput(id));
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
    int64_t due = core.NextTimerMs();
    if (acceptResumeMs_ >= 0) due = std::min(due, acceptResumeMs_);
    // The wait ends at the start of the millisecond a timer is due in (on
    // the steady clock that SystemClock's milliseconds count), not up to a
    // millisecond after it as a wait in whole milliseconds from a truncated
    // now would: publishing intervals keep their length, and a queue sized
    // for one interval's changes does not overflow for a late tick.
    const int64_t nowNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::steady_clock::now().time_since_epoch())
                              .count();
    const int64_t waitNs = std::clamp<int64_t>(due * kNsPerMs - nowNs, 0, kMaxWaitMs * kNsPerMs);
    const timespec timeout{static_cast<time_t>(waitNs / kNsPerS), static_cast<long>(waitNs % kNsPerS)};
    int n = epoll_pwait2(epollFd_, events, 64, &timeout, nullptr);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error(SystemError("waiting for the event queue failed"));
    }
    // Drained, then cleared, then onWake: a Wake() after the clear writes
    // the eventfd again (a wake that the drain cannot swallow), and one
    // before it handed over what onWake is about to see.
    const auto handOver = [&] {
      uint64_t count = 0;
      if (read(wakeFd_, &count, sizeof count) < 0 && errno != EAGAIN && errno != EINTR)
        throw std::runtime_error(SystemError("reading the wake-up event failed"));
      wakePending_ = false;
      guarded("handing over values", onWake);
    };
    for (int i = 0; i < n && !stop_; ++i) {
      int fd = events[i].data.fd;
      if (fd == listenFd_) {
        Accept(core);
      } else if (fd == wakeFd_) {
        handOver();
      } else if (auto it = clients_.find(fd); it != clients_.end()) {
        // The values handed over come first: a client that asks after the
        // application ended a batch must read that batch. The flag, not the
        // eventfd's event, tells: epoll may report the request's socket in
        // a wait without the eventfd that was written before the request
        // was sent. A Wake() still on its way (flag set, eventfd not yet
        // written) is handed over too; its write later makes a wake that
        // finds nothing new.
        if (wakePending_.load()) handOver();
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

}  // namespace opcua
