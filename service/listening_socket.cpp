#include "service/listening_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

namespace quillmark::service {
namespace {

// The first descriptor of socket activation.
constexpr int kFirstHandedFd = 3;

void setError(std::string* error, std::string text) {
  if (error != nullptr) *error = std::move(text);
}

bool localAddress(int fd, sockaddr_storage& storage) {
  socklen_t length = sizeof storage;
  return fd >= 0 && getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) == 0;
}

bool setNonBlockingCloseOnExec(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return false;
  const int fdFlags = fcntl(fd, F_GETFD);
  return fdFlags >= 0 && fcntl(fd, F_SETFD, fdFlags | FD_CLOEXEC) == 0;
}

// A decimal number that is the whole of `text`, or nothing.
std::optional<long> wholeNumber(const char* text) {
  if (text == nullptr) return std::nullopt;
  const std::string_view view(text);
  long value = 0;
  const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
  if (view.empty() || error != std::errc() || end != view.data() + view.size()) return std::nullopt;
  return value;
}

}  // namespace

ListeningSocket::~ListeningSocket() {
  if (fd_ >= 0) ::close(fd_);
}

ListeningSocket::ListeningSocket(ListeningSocket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

ListeningSocket& ListeningSocket::operator=(ListeningSocket&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

int ListeningSocket::port() const {
  sockaddr_storage storage{};
  if (!localAddress(fd_, storage)) return -1;
  if (storage.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(storage).sin_port);
  if (storage.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(storage).sin6_port);
  return -1;
}

std::string ListeningSocket::address() const {
  sockaddr_storage storage{};
  if (!localAddress(fd_, storage)) return {};
  char text[INET6_ADDRSTRLEN] = {};
  const void* raw = nullptr;
  if (storage.ss_family == AF_INET) raw = &reinterpret_cast<const sockaddr_in&>(storage).sin_addr;
  if (storage.ss_family == AF_INET6) raw = &reinterpret_cast<const sockaddr_in6&>(storage).sin6_addr;
  if (raw == nullptr || inet_ntop(storage.ss_family, raw, text, sizeof text) == nullptr) return {};
  return text;
}

bool ListeningSocket::isIpv6() const {
  sockaddr_storage storage{};
  return localAddress(fd_, storage) && storage.ss_family == AF_INET6;
}

std::optional<ListeningSocket> bindListeningSocket(const std::string& address, int port, std::string* error) {
  if (address.empty()) {
    setError(error, "empty address");
    return std::nullopt;
  }
  if (port < 0 || port > 65535) {
    setError(error, "port out of range");
    return std::nullopt;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  const int resolved = getaddrinfo(address.c_str(), service.c_str(), &hints, &found);
  if (resolved != 0) {
    setError(error, gai_strerror(resolved));
    return std::nullopt;
  }
  std::string lastError = "no address";
  std::optional<ListeningSocket> result;
  for (const addrinfo* candidate = found; candidate != nullptr && !result; candidate = candidate->ai_next) {
    ListeningSocket socket(::socket(candidate->ai_family, candidate->ai_socktype | SOCK_CLOEXEC,
                                    candidate->ai_protocol));
    if (!socket.valid()) {
      lastError = std::strerror(errno);
      continue;
    }
    // SO_REUSEADDR allows a quick restart over connections still in
    // TIME_WAIT; without SO_REUSEPORT a second live listener still fails.
    const int yes = 1;
    setsockopt(socket.fd(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (candidate->ai_family == AF_INET6) setsockopt(socket.fd(), IPPROTO_IPV6, IPV6_V6ONLY, &yes, sizeof yes);
    if (::bind(socket.fd(), candidate->ai_addr, candidate->ai_addrlen) != 0 ||
        ::listen(socket.fd(), SOMAXCONN) != 0 || !setNonBlockingCloseOnExec(socket.fd())) {
      lastError = std::strerror(errno);
      continue;
    }
    result = std::move(socket);
  }
  freeaddrinfo(found);
  if (!result) setError(error, lastError);
  return result;
}

HandedSocket takeHandedSocket() {
  HandedSocket handed;
  const std::optional<long> pid = wholeNumber(std::getenv("LISTEN_PID"));
  if (!pid || *pid != static_cast<long>(getpid())) return handed;
  const std::optional<long> count = wholeNumber(std::getenv("LISTEN_FDS"));
  unsetenv("LISTEN_PID");
  unsetenv("LISTEN_FDS");
  unsetenv("LISTEN_FDNAMES");
  if (!count || *count == 0) return handed;
  handed.handover = Handover::unusable;
  if (*count != 1) {
    handed.error = "expected one socket, was handed " + std::to_string(*count);
    return handed;
  }
  int type = 0;
  int listening = 0;
  socklen_t length = sizeof type;
  sockaddr_storage storage{};
  const bool stream = getsockopt(kFirstHandedFd, SOL_SOCKET, SO_TYPE, &type, &length) == 0 && type == SOCK_STREAM;
  length = sizeof listening;
  const bool accepting =
      getsockopt(kFirstHandedFd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &length) == 0 && listening != 0;
  const bool ip = localAddress(kFirstHandedFd, storage) &&
                  (storage.ss_family == AF_INET || storage.ss_family == AF_INET6);
  if (!stream || !accepting || !ip) {
    handed.error = "the handed descriptor is not a listening TCP socket";
    return handed;
  }
  if (!setNonBlockingCloseOnExec(kFirstHandedFd)) {
    handed.error = std::strerror(errno);
    return handed;
  }
  handed.handover = Handover::taken;
  handed.socket = ListeningSocket(kFirstHandedFd);
  return handed;
}

}  // namespace quillmark::service
