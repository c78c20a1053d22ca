#pragma once
// The client's side of the sockets: one blocking TCP connection whose waits
// another thread can interrupt.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace opcua {

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
