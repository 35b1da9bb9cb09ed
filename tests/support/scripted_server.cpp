#include "support/scripted_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <stdexcept>

namespace quillmark::test_support {

ScriptedReply ScriptedReply::response(int status, std::string reason, std::vector<std::string> headerLines,
                                      std::string body) {
  ScriptedReply reply;
  reply.bytes = "HTTP/1.1 " + std::to_string(status) + " " + reason + "\r\n";
  for (const auto& line : headerLines) reply.bytes += line + "\r\n";
  reply.bytes += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  return reply;
}

ScriptedReply ScriptedReply::redirect(std::string location) {
  return response(302, "Found", {"Location: " + location}, "");
}

std::string patternBody(std::uint64_t length) {
  std::string body(static_cast<std::size_t>(length), '\0');
  for (std::uint64_t i = 0; i < length; ++i) body[static_cast<std::size_t>(i)] = patternByte(i);
  return body;
}

struct ScriptedServer::State {
  Script script;
  int listener = -1;
  int wakeRead = -1;   // readable once the server stops
  int wakeWrite = -1;
  std::atomic<int> requestCount{0};
  mutable std::mutex mutex;
  std::vector<ScriptedRequest> requests;
  bool started = false;
};

namespace {

// Waits until `fd` is ready for `events` or the server stops; false when it
// stopped or the wait failed.
bool waitFor(int fd, short events, int wake, int timeoutMs = -1) {
  for (;;) {
    pollfd waits[2] = {{fd, events, 0}, {wake, POLLIN, 0}};
    const int ready = ::poll(waits, 2, timeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || waits[1].revents) return false;
    return ready > 0 || timeoutMs >= 0;
  }
}

bool stopped(int wake) {
  pollfd entry{wake, POLLIN, 0};
  return ::poll(&entry, 1, 0) > 0;
}

bool sendAll(int fd, const char* data, std::size_t size, int wake) {
  while (size > 0) {
    if (!waitFor(fd, POLLOUT, wake)) return false;
    const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (sent <= 0) return false;
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
  return true;
}

// Sends the reply; false when the connection is to be dropped.
bool play(int fd, const ScriptedReply& reply, int wake) {
  if (!sendAll(fd, reply.bytes.data(), reply.bytes.size(), wake)) return false;
  for (char byte : reply.drip) {
    // The pause first, so that even the first dripped byte comes late.
    pollfd entry{wake, POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(reply.dripInterval.count())) != 0) return false;
    if (!sendAll(fd, &byte, 1, wake)) return false;
  }
  // Every stretch of the pattern is a slice of this one: it repeats every
  // 23 bytes, so a slice starting at done % 23 is the pattern from `done` on.
  constexpr std::size_t kChunk = 64 * 1024;
  static const std::string pattern = patternBody(kChunk + 23);
  for (std::uint64_t done = 0; done < reply.patternBytes;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, reply.patternBytes - done));
    if (!sendAll(fd, pattern.data() + done % 23, n, wake)) return false;
    done += n;
  }
  switch (reply.then) {
    case ScriptedReply::Then::KeepAlive: return true;
    case ScriptedReply::Then::Close: return false;
    case ScriptedReply::Then::Stall:
      waitFor(wake, POLLIN, wake);  // until the server stops
      return false;
  }
  return false;
}

void serveConnection(int fd, ScriptedServer::State& state) {
  std::string pending;
  while (!stopped(state.wakeRead)) {
    std::size_t end;
    while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
      if (!waitFor(fd, POLLIN, state.wakeRead)) return;
      char chunk[4096];
      const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
      if (got <= 0) return;
      pending.append(chunk, static_cast<std::size_t>(got));
    }
    ScriptedRequest request;
    request.head = pending.substr(0, end + 4);
    pending.erase(0, end + 4);
    const auto space = request.head.find(' ');
    if (space != std::string::npos) {
      const auto second = request.head.find_first_of(" \r", space + 1);
      request.target = request.head.substr(space + 1, second - space - 1);
    }
    {
      std::lock_guard lock(state.mutex);
      request.number = ++state.requestCount;
      state.requests.push_back(request);
    }
    if (!play(fd, state.script(request), state.wakeRead)) return;
  }
}

}  // namespace

ScriptedServer::ScriptedServer(Script script, bool listening) : state_(std::make_shared<State>()) {
  state_->script = std::move(script);
  state_->listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (state_->listener < 0) throw std::runtime_error("socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(state_->listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(state_->listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    throw std::runtime_error("bind");
  port_ = ntohs(address.sin_port);
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  state_->wakeRead = ends[0];
  state_->wakeWrite = ends[1];
  if (listening) listen();
}

void ScriptedServer::listen() {
  std::lock_guard lock(state_->mutex);
  if (state_->started) return;
  state_->started = true;
  if (::listen(state_->listener, 64) != 0) throw std::runtime_error("listen");
  thread_ = std::thread([state = state_] {
    std::vector<std::thread> children;
    while (waitFor(state->listener, POLLIN, state->wakeRead)) {
      const int fd = ::accept4(state->listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      const int on = 1;  // dripped bytes leave one by one
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      children.emplace_back([fd, state] {
        serveConnection(fd, *state);
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
      });
    }
    for (auto& child : children) child.join();
  });
}

ScriptedServer::~ScriptedServer() {
  const char byte = 1;
  (void)::write(state_->wakeWrite, &byte, 1);
  std::thread acceptor;
  {
    std::lock_guard lock(state_->mutex);
    acceptor = std::move(thread_);
  }
  if (acceptor.joinable()) acceptor.join();
  ::close(state_->listener);
  ::close(state_->wakeRead);
  ::close(state_->wakeWrite);
}

std::string ScriptedServer::url(std::string_view pathAndQuery) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(pathAndQuery);
}

std::vector<ScriptedRequest> ScriptedServer::requests() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests;
}

}  // namespace quillmark::test_support
