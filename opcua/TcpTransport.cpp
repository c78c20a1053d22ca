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
#include <cstring>

namespace opcua {

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

TcpTransport::TcpTransport() = default;

TcpTransport::~TcpTransport() {
  for (auto& [fd, client] : clients_) close(fd);
  for (int fd : {listenFd_, epollFd_, wakeFd_})
    if (fd >= 0) close(fd);
}

static void SetNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL, 0) | O_NONBLOCK); }

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
  int fd = socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int yes = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  bool ok = fd >= 0 && bind(fd, found->ai_addr, found->ai_addrlen) == 0 && listen(fd, 128) == 0;
  int err = errno;
  freeaddrinfo(found);
  if (!ok) {
    error = "cannot listen on " + host + ":" + portText + ": " + std::strerror(err) +
            (err == EADDRINUSE ? " (another program uses this port)" : "");
    if (fd >= 0) close(fd);
    return false;
  }
  SetNonBlocking(fd);
  listenFd_ = fd;
  epollFd_ = epoll_create1(EPOLL_CLOEXEC);
  wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.fd = listenFd_;
  epoll_ctl(epollFd_, EPOLL_CTL_ADD, listenFd_, &ev);
  ev.data.fd = wakeFd_;
  epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &ev);
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
  [[maybe_unused]] ssize_t n = write(wakeFd_, &one, sizeof one);
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
    if (fd < 0) return;
    ConnectionId id = core.OpenConnection(PeerAddress(address));
    if (id == 0) {
      // Too many connections (in all or from this peer): tell the client
      // why before hanging up.
      std::string err = BuildErrorChunk(status::BadTcpServerTooBusy, "too many connections");
      [[maybe_unused]] ssize_t n = send(fd, err.data(), err.size(), MSG_NOSIGNAL);
      close(fd);
      continue;
    }
    int yes = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = fd;
    epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &ev);
    clients_[fd].id = id;
    fdOf_[id] = fd;
  }
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
  client.pending.erase(0, sent);
  bool wantsWrite = !client.pending.empty();
  if (wantsWrite != client.wantsWrite) {
    epoll_event ev{};
    ev.events = wantsWrite ? (EPOLLIN | EPOLLOUT) : EPOLLIN;
    ev.data.fd = fd;
    epoll_ctl(epollFd_, EPOLL_CTL_MOD, fd, &ev);
    client.wantsWrite = wantsWrite;
  }
  return true;
}

void TcpTransport::CloseClient(ServerCore& core, int fd) {
  auto it = clients_.find(fd);
  if (it == clients_.end()) return;
  core.CloseConnection(it->second.id);
  fdOf_.erase(it->second.id);
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
  while (!stop_) {
    int64_t wait = std::clamp<int64_t>(core.NextTimerMs() - SystemClock().MonotonicMs(), 0, 1000);
    int n = epoll_wait(epollFd_, events, 64, static_cast<int>(wait));
    for (int i = 0; i < n && !stop_; ++i) {
      int fd = events[i].data.fd;
      if (fd == listenFd_) {
        Accept(core);
      } else if (fd == wakeFd_) {
        // Drained, then cleared, then onWake: a Wake() after the clear writes
        // the eventfd again (a wake that the drain cannot swallow), and one
        // before it handed over what onWake is about to see.
        uint64_t count = 0;
        [[maybe_unused]] ssize_t r = read(wakeFd_, &count, sizeof count);
        wakePending_ = false;
        onWake();
      } else if (auto it = clients_.find(fd); it != clients_.end()) {
        bool ok = true;
        if (events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) ok = ReadFrom(core, fd, it->second);
        if (ok && (events[i].events & EPOLLOUT)) ok = Flush(fd, it->second);
        if (!ok) {
          FlushCore(core);
          CloseClient(core, fd);
        }
      }
    }
    core.Tick();
    FlushCore(core);
  }
  while (!clients_.empty()) CloseClient(core, clients_.begin()->first);
}

// ---- TcpStream --------------------------------------------------------------

TcpStream::~TcpStream() { Close(); }

void TcpStream::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool TcpStream::Connect(const std::string& host, uint16_t port, int timeoutMs, std::string& error) {
  Close();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  std::string portText = std::to_string(port);
  if (int rc = getaddrinfo(host.c_str(), portText.c_str(), &hints, &found); rc != 0) {
    error = "cannot resolve host '" + host + "': " + gai_strerror(rc);
    return false;
  }
  int fd = socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  int rc = fd < 0 ? -1 : connect(fd, found->ai_addr, found->ai_addrlen);
  freeaddrinfo(found);
  if (rc != 0 && errno == EINPROGRESS) {
    pollfd p{fd, POLLOUT, 0};
    int soError = ETIMEDOUT;
    socklen_t length = sizeof soError;
    if (poll(&p, 1, timeoutMs) == 1) getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length);
    rc = soError == 0 ? 0 : -1;
    errno = soError;
  }
  if (rc != 0) {
    error = "cannot connect to " + host + ":" + portText + ": " + std::strerror(errno);
    if (fd >= 0) close(fd);
    return false;
  }
  int yes = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  fd_ = fd;
  return true;
}

bool TcpStream::Send(std::string_view bytes, std::string& error) {
  while (!bytes.empty()) {
    ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n > 0) {
      bytes.remove_prefix(static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{fd_, POLLOUT, 0};
      poll(&p, 1, 1000);
      continue;
    }
    error = std::string("send failed: ") + std::strerror(errno);
    return false;
  }
  return true;
}

bool TcpStream::Receive(int timeoutMs, std::string& out, std::string& error) {
  pollfd p{fd_, POLLIN, 0};
  int ready = poll(&p, 1, timeoutMs);
  if (ready == 0) {
    error = "no answer within " + std::to_string(timeoutMs) + " ms";
    return false;
  }
  char buffer[65536];
  ssize_t n = ready > 0 ? recv(fd_, buffer, sizeof buffer, 0) : -1;
  if (n > 0) {
    out.append(buffer, static_cast<size_t>(n));
    return true;
  }
  error = n == 0 ? "connection closed by the server" : std::string("receive failed: ") + std::strerror(errno);
  return false;
}

}  // namespace opcua
