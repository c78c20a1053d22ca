#include "opcua/TcpStream.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "opcua/SystemError.h"

namespace opcua {

namespace {

// How often a wait looks at the interrupt flag when no eventfd could be
// made for it.
constexpr int kInterruptPollMs = 50;

}  // namespace

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
      // Waits for room in the socket's buffer for as long as the peer takes
      // to read; an interrupt ends the wait at once.
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
