// A listening TCP socket for the logo service: bound here from an address
// and a port, or handed to the process by the service manager (socket
// activation: LISTEN_PID and LISTEN_FDS name descriptor 3).
//
// The socket is a plain value that owns its descriptor: move-only, closed
// when destroyed. Nothing here throws; failures come back as empty results
// with a reason.
#pragma once

#include <optional>
#include <string>

namespace quillmark::service {

class ListeningSocket {
 public:
  // No socket: valid() is false, fd() is -1.
  ListeningSocket() = default;
  // Takes ownership of `fd` (closed by the destructor); -1 gives no socket.
  explicit ListeningSocket(int fd) noexcept : fd_(fd) {}
  ~ListeningSocket();
  ListeningSocket(ListeningSocket&& other) noexcept;
  ListeningSocket& operator=(ListeningSocket&& other) noexcept;
  ListeningSocket(const ListeningSocket&) = delete;
  ListeningSocket& operator=(const ListeningSocket&) = delete;

  bool valid() const noexcept { return fd_ >= 0; }
  int fd() const noexcept { return fd_; }

  // The local port and numeric address the socket is bound to; -1 and ""
  // when there is no socket or the system cannot say.
  int port() const;
  std::string address() const;

  // Whether the socket is an IPv6 one (false without a socket).
  bool isIpv6() const;

 private:
  int fd_ = -1;
};

// Binds a new non-blocking socket to `address` (a numeric IPv4 or IPv6
// address, or a name the resolver turns into one) and `port` (0..65535; 0
// takes any free port), and listens on it. Another live listener on the same
// address and port makes it fail (no SO_REUSEPORT). Nothing, with the
// reason in `error` when given, for an empty or unresolvable address, a port
// out of range, or an address that cannot be bound.
std::optional<ListeningSocket> bindListeningSocket(const std::string& address, int port,
                                                   std::string* error = nullptr);

// What the service manager handed this process.
enum class Handover {
  none,      // LISTEN_FDS unset, or LISTEN_PID names another process
  taken,     // exactly one listening TCP socket, now owned by `socket`
  unusable,  // sockets were handed, but not exactly one listening TCP socket
};

struct HandedSocket {
  Handover handover = Handover::none;
  ListeningSocket socket;  // valid only when handover is taken
  std::string error;       // why, when handover is unusable
};

// Takes the socket of socket activation: LISTEN_PID must be this process and
// LISTEN_FDS exactly 1, so the socket is descriptor 3; it must be a
// listening IPv4 or IPv6 stream socket. The three variables are removed from
// the environment whenever LISTEN_PID names this process, so no child
// inherits them. Never takes a descriptor when the variables do not name
// this process.
HandedSocket takeHandedSocket();

}  // namespace quillmark::service
