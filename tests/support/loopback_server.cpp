#include "support/loopback_server.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>

namespace quillmark::test_support {

namespace {

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (fold(a[i]) != fold(b[i])) return false;
  return true;
}

std::string trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return std::string(text.substr(first, last - first + 1));
}

void ignoreBrokenPipes() {
  static std::once_flag once;
  std::call_once(once, [] { ::signal(SIGPIPE, SIG_IGN); });
}

// A socket bound to 127.0.0.1 on a free port and listening.
// A TCP socket bound to a free 127.0.0.1 port, not yet listening.
int bindOnLoopback(int& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    throw std::runtime_error("bind");
  }
  port = ntohs(address.sin_port);
  return fd;
}

int listenOnLoopback(int& port) {
  const int fd = bindOnLoopback(port);
  if (::listen(fd, 64) != 0) {
    ::close(fd);
    throw std::runtime_error("listen");
  }
  return fd;
}

// ---- Throwaway certificates ----

struct KeyDeleter {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateDeleter {
  void operator()(X509* certificate) const { X509_free(certificate); }
};
struct ContextDeleter {
  void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
using ContextPtr = std::unique_ptr<SSL_CTX, ContextDeleter>;

void addExtension(X509* certificate, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  if (!extension) throw std::runtime_error("certificate extension");
  X509_add_ext(certificate, extension, -1);
  X509_EXTENSION_free(extension);
}

// A server context with a new self-signed EC certificate of the given kind.
ContextPtr makeServerContext(Certificate kind) {
  std::unique_ptr<EVP_PKEY, KeyDeleter> key(EVP_EC_gen("P-256"));
  if (!key) throw std::runtime_error("key");
  std::unique_ptr<X509, CertificateDeleter> certificate(X509_new());
  X509* cert = certificate.get();
  X509_set_version(cert, 2);
  static std::atomic<long> serial{1};
  ASN1_INTEGER_set(X509_get_serialNumber(cert), serial++);
  const long day = 24L * 60 * 60;
  if (kind == Certificate::Expired) {
    X509_gmtime_adj(X509_getm_notBefore(cert), -730 * day);
    X509_gmtime_adj(X509_getm_notAfter(cert), -365 * day);
  } else {
    X509_gmtime_adj(X509_getm_notBefore(cert), -day);
    X509_gmtime_adj(X509_getm_notAfter(cert), 30 * day);
  }
  X509_set_pubkey(cert, key.get());
  const char* commonName = kind == Certificate::WrongName ? "wrong.invalid" : "localhost";
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
  X509_set_issuer_name(cert, name);
  addExtension(cert, NID_subject_alt_name,
               kind == Certificate::WrongName ? "DNS:wrong.invalid" : "DNS:localhost,IP:127.0.0.1");
  if (X509_sign(cert, key.get(), EVP_sha256()) == 0) throw std::runtime_error("sign");

  ContextPtr context(SSL_CTX_new(TLS_server_method()));
  if (!context || SSL_CTX_use_certificate(context.get(), cert) != 1 ||
      SSL_CTX_use_PrivateKey(context.get(), key.get()) != 1)
    throw std::runtime_error("server context");
  return context;
}

// ---- A connection as httplib reads it ----

// The stream httplib reads requests from and writes answers to: a plain or
// TLS socket that keeps every byte it hands out, so the request can be
// recorded as it arrived.
class RecordingStream final : public httplib::Stream {
 public:
  RecordingStream(int fd, SSL* ssl, const std::atomic<bool>& stopping) : fd_(fd), ssl_(ssl), stopping_(stopping) {}

  // Waits up to `timeout` for bytes; false when the server stops first.
  bool waitReadable(std::chrono::milliseconds timeout) const {
    if (!buffered_.empty() || (ssl_ && SSL_pending(ssl_) > 0)) return true;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!stopping_) {
      pollfd entry{fd_, POLLIN, 0};
      const int ready = ::poll(&entry, 1, 50);
      if (ready > 0) return true;
      if (ready < 0 && errno != EINTR) return false;
      if (std::chrono::steady_clock::now() >= deadline) return false;
    }
    return false;
  }

  bool is_readable() const override { return waitReadable(std::chrono::seconds(5)); }
  bool is_writable() const override { return !stopping_; }

  ssize_t read(char* ptr, size_t size) override {
    if (buffered_.empty()) {
      if (!waitReadable(std::chrono::seconds(5))) return -1;
      char chunk[4096];
      const ssize_t got = ssl_ ? SSL_read(ssl_, chunk, sizeof chunk) : ::recv(fd_, chunk, sizeof chunk, 0);
      if (got <= 0) return got < 0 ? -1 : 0;
      buffered_.assign(chunk, static_cast<std::size_t>(got));
    }
    const std::size_t n = std::min(size, buffered_.size());
    std::memcpy(ptr, buffered_.data(), n);
    raw.append(buffered_, 0, n);
    buffered_.erase(0, n);
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    if (ssl_) {
      const int wrote = SSL_write(ssl_, ptr, static_cast<int>(size));
      return wrote > 0 ? wrote : -1;
    }
    return ::send(fd_, ptr, size, MSG_NOSIGNAL);
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override { addressOf(::getpeername, ip, port); }
  void get_local_ip_and_port(std::string& ip, int& port) const override { addressOf(::getsockname, ip, port); }
  socket_t socket() const override { return fd_; }

  std::string raw;         // every byte handed to httplib so far
  std::size_t mark = 0;    // where the current request begins in raw
  int connection = 0;

 private:
  template <class Getter>
  void addressOf(Getter getter, std::string& ip, int& port) const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (getter(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return;
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    ip = text;
    port = ntohs(address.sin_port);
  }

  int fd_;
  SSL* ssl_;
  const std::atomic<bool>& stopping_;
  std::string buffered_;
};

thread_local RecordingStream* currentStream = nullptr;

SeenRequest parseSeen(const std::string& segment, const httplib::Request& request) {
  SeenRequest seen;
  const auto headEnd = segment.find("\r\n\r\n");
  seen.rawHead = headEnd == std::string::npos ? segment : segment.substr(0, headEnd + 4);
  std::size_t at = 0;
  bool first = true;
  while (at < seen.rawHead.size()) {
    auto end = seen.rawHead.find("\r\n", at);
    if (end == std::string::npos) end = seen.rawHead.size();
    const std::string line = seen.rawHead.substr(at, end - at);
    at = end + 2;
    if (line.empty()) break;
    if (first) {
      seen.requestLine = line;
      const auto space = line.find(' ');
      seen.method = line.substr(0, space);
      const auto second = space == std::string::npos ? space : line.find(' ', space + 1);
      if (space != std::string::npos) seen.target = line.substr(space + 1, second - space - 1);
      first = false;
      continue;
    }
    const auto colon = line.find(':');
    if (colon == std::string::npos) {
      seen.headers.emplace_back(line, "");
    } else {
      seen.headers.emplace_back(line.substr(0, colon), trimmed(std::string_view(line).substr(colon + 1)));
    }
  }
  seen.body = request.body;
  return seen;
}

}  // namespace

// ---- SeenRequest and Answer ----

std::string SeenRequest::header(std::string_view name) const {
  for (const auto& [n, v] : headers)
    if (sameName(n, name)) return v;
  return {};
}

bool SeenRequest::hasHeader(std::string_view name) const { return headerCount(name) > 0; }

int SeenRequest::headerCount(std::string_view name) const {
  int count = 0;
  for (const auto& header : headers)
    if (sameName(header.first, name)) ++count;
  return count;
}

std::vector<std::string> SeenRequest::headerNames() const {
  std::vector<std::string> names;
  for (const auto& header : headers) names.push_back(header.first);
  return names;
}

Answer Answer::text(std::string body, int status) {
  Answer answer;
  answer.status = status;
  answer.body = std::move(body);
  return answer;
}

Answer Answer::redirect(std::string location, int status) {
  Answer answer;
  answer.status = status;
  answer.headers.emplace_back("Location", std::move(location));
  return answer;
}

// ---- LoopbackServer ----

class RecordingHttpServer;

struct LoopbackServer::State {
  Scheme scheme = Scheme::Http;
  ContextPtr tls;
  std::atomic<bool> stopping{false};
  std::atomic<bool> listenEnded{false};
  std::atomic<int> connections{0};
  mutable std::mutex mutex;
  std::map<std::string, Handler> handlers;
  std::vector<SeenRequest> requests;
  std::unique_ptr<RecordingHttpServer> server;

  Answer answer(const SeenRequest& seen) {
    Handler handler;
    {
      std::lock_guard lock(mutex);
      requests.push_back(seen);
      const std::string path = seen.target.substr(0, seen.target.find('?'));
      if (auto it = handlers.find(path); it != handlers.end()) handler = it->second;
    }
    return handler ? handler(seen) : Answer::text("ok");
  }
};

class RecordingHttpServer final : public httplib::Server {
 public:
  explicit RecordingHttpServer(LoopbackServer::State& state) : state_(state) {
    set_keep_alive_max_count(100000);
    auto handler = [this](const httplib::Request& request, httplib::Response& response) {
      respond(request, response);
    };
    Get(".*", handler);
    Post(".*", handler);
    Put(".*", handler);
    Patch(".*", handler);
    Delete(".*", handler);
    Options(".*", handler);
  }

 private:
  void respond(const httplib::Request& request, httplib::Response& response) {
    SeenRequest seen;
    if (RecordingStream* stream = currentStream) {
      seen = parseSeen(stream->raw.substr(stream->mark), request);
      seen.connection = stream->connection;
      stream->mark = stream->raw.size();
    }
    const Answer answer = state_.answer(seen);
    response.status = answer.status;
    for (const auto& [name, value] : answer.headers) response.set_header(name, value);
    response.set_content(answer.body, answer.contentType);
  }

  bool process_and_close_socket(socket_t sock) override {
    const int connection = ++state_.connections;
    const int on = 1;  // answers leave in pieces; do not hold them back
    ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    SSL* ssl = nullptr;
    bool ready = true;
    if (state_.tls) {
      ssl = SSL_new(state_.tls.get());
      ready = ssl && SSL_set_fd(ssl, sock) == 1 && SSL_accept(ssl) == 1;
    }
    if (ready) {
      RecordingStream stream(sock, ssl, state_.stopping);
      stream.connection = connection;
      currentStream = &stream;
      for (;;) {
        if (!stream.waitReadable(std::chrono::seconds(5))) break;
        bool closed = false;
        if (!process_request(stream, false, closed, nullptr) || closed) break;
      }
      currentStream = nullptr;
    }
    if (ssl) {
      if (ready) SSL_shutdown(ssl);
      SSL_free(ssl);
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return true;
  }

  LoopbackServer::State& state_;
};

LoopbackServer::LoopbackServer(Scheme scheme, Certificate certificate) : state_(std::make_shared<State>()) {
  ignoreBrokenPipes();
  state_->scheme = scheme;
  if (scheme == Scheme::Https) state_->tls = makeServerContext(certificate);
  state_->server = std::make_unique<RecordingHttpServer>(*state_);
  port_ = state_->server->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("loopback server: no port");
  thread_ = std::thread([state = state_] {
    state->server->listen_after_bind();
    state->listenEnded = true;
  });
}

LoopbackServer::~LoopbackServer() {
  state_->stopping = true;
  // stop() only acts once the accept loop runs; it may not have started yet.
  while (!state_->listenEnded) {
    if (state_->server->is_running()) state_->server->stop();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  thread_.join();
}

void LoopbackServer::handle(std::string path, Handler handler) {
  std::lock_guard lock(state_->mutex);
  state_->handlers[std::move(path)] = std::move(handler);
}

std::string LoopbackServer::origin() const {
  return std::string(state_->scheme == Scheme::Https ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

std::string LoopbackServer::url(std::string_view pathAndQuery) const { return origin() + std::string(pathAndQuery); }

std::vector<SeenRequest> LoopbackServer::requests() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests;
}

SeenRequest LoopbackServer::lastRequest() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests.empty() ? SeenRequest{} : state_->requests.back();
}

int LoopbackServer::connectionCount() const noexcept { return state_->connections.load(); }

// ---- RawServer ----

RawServer::RawServer(std::string reply, After after) : connections_(std::make_shared<std::atomic<int>>(0)) {
  ignoreBrokenPipes();
  listener_ = listenOnLoopback(port_);
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  wakeRead_ = pipeEnds[0];
  wakeWrite_ = pipeEnds[1];
  thread_ = std::thread([listener = listener_, wake = wakeRead_, connections = connections_,
                         reply = std::move(reply), after] {
    std::vector<std::thread> children;
    for (;;) {
      pollfd entries[2] = {{listener, POLLIN, 0}, {wake, POLLIN, 0}};
      if (::poll(entries, 2, -1) < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (entries[1].revents) break;
      const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      ++*connections;
      children.emplace_back([fd, wake, &reply, after] {
        // Read the request head (or give up when the server stops).
        std::string head;
        while (head.find("\r\n\r\n") == std::string::npos) {
          pollfd waits[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
          if (::poll(waits, 2, -1) <= 0 || waits[1].revents) break;
          char chunk[1024];
          const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
          if (got <= 0) break;
          head.append(chunk, static_cast<std::size_t>(got));
        }
        if (!reply.empty()) (void)::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        if (after == After::Stall) {
          pollfd waits[1] = {{wake, POLLIN, 0}};
          while (::poll(waits, 1, -1) < 0 && errno == EINTR) {
          }
        }
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
      });
    }
    for (auto& child : children) child.join();
  });
}

RawServer::~RawServer() {
  const char byte = 1;
  (void)::write(wakeWrite_, &byte, 1);
  thread_.join();
  ::close(listener_);
  ::close(wakeRead_);
  ::close(wakeWrite_);
}

std::string RawServer::url(std::string_view pathAndQuery) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(pathAndQuery);
}

// ---- TunnelProxy ----

struct TunnelProxy::State {
  int listener = -1;
  int wakeRead = -1;
  int wakeWrite = -1;
  mutable std::mutex mutex;
  std::vector<SeenRequest> requests;
};

namespace {

// Relays bytes between two sockets until either side closes or `wake` fires.
void relay(int a, int b, int wake) {
  char chunk[16384];
  for (;;) {
    pollfd waits[3] = {{a, POLLIN, 0}, {b, POLLIN, 0}, {wake, POLLIN, 0}};
    if (::poll(waits, 3, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (waits[2].revents) return;
    for (int i = 0; i < 2; ++i) {
      if (!waits[i].revents) continue;
      const int from = i == 0 ? a : b;
      const int to = i == 0 ? b : a;
      const ssize_t got = ::recv(from, chunk, sizeof chunk, 0);
      if (got <= 0) return;
      for (ssize_t sent = 0; sent < got;) {
        const ssize_t n = ::send(to, chunk + sent, static_cast<std::size_t>(got - sent), MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += n;
      }
    }
  }
}

void serveTunnel(int fd, TunnelProxy::State& state) {
  std::string head;
  while (head.find("\r\n\r\n") == std::string::npos) {
    pollfd waits[2] = {{fd, POLLIN, 0}, {state.wakeRead, POLLIN, 0}};
    if (::poll(waits, 2, -1) <= 0 || waits[1].revents) return;
    char chunk[1024];
    const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
    if (got <= 0) return;
    head.append(chunk, static_cast<std::size_t>(got));
  }
  const SeenRequest seen = parseSeen(head, httplib::Request());
  {
    std::lock_guard lock(state.mutex);
    state.requests.push_back(seen);
  }
  const std::string prefix = "127.0.0.1:";
  int target = -1;
  if (seen.method == "CONNECT" && seen.target.rfind(prefix, 0) == 0) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(std::atoi(seen.target.c_str() + prefix.size())));
    target = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (target >= 0 && ::connect(target, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      ::close(target);
      target = -1;
    }
  }
  if (target < 0) {
    const std::string refusal = "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    (void)::send(fd, refusal.data(), refusal.size(), MSG_NOSIGNAL);
    return;
  }
  const std::string established = "HTTP/1.1 200 Connection established\r\n\r\n";
  if (::send(fd, established.data(), established.size(), MSG_NOSIGNAL) > 0) {
    const std::string rest = head.substr(head.find("\r\n\r\n") + 4);
    if (rest.empty() || ::send(target, rest.data(), rest.size(), MSG_NOSIGNAL) > 0) relay(fd, target, state.wakeRead);
  }
  ::close(target);
}

}  // namespace

TunnelProxy::TunnelProxy() : state_(std::make_shared<State>()) {
  ignoreBrokenPipes();
  state_->listener = listenOnLoopback(port_);
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  state_->wakeRead = pipeEnds[0];
  state_->wakeWrite = pipeEnds[1];
  thread_ = std::thread([state = state_] {
    std::vector<std::thread> children;
    for (;;) {
      pollfd entries[2] = {{state->listener, POLLIN, 0}, {state->wakeRead, POLLIN, 0}};
      if (::poll(entries, 2, -1) < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (entries[1].revents) break;
      const int fd = ::accept4(state->listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      children.emplace_back([fd, state] {
        serveTunnel(fd, *state);
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
      });
    }
    for (auto& child : children) child.join();
  });
}

TunnelProxy::~TunnelProxy() {
  const char byte = 1;
  (void)::write(state_->wakeWrite, &byte, 1);
  thread_.join();
  ::close(state_->listener);
  ::close(state_->wakeRead);
  ::close(state_->wakeWrite);
}

std::string TunnelProxy::address() const { return "127.0.0.1:" + std::to_string(port_); }

std::vector<SeenRequest> TunnelProxy::requests() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests;
}

RefusedPort::RefusedPort() : fd_(bindOnLoopback(port_)) {}

RefusedPort::~RefusedPort() { ::close(fd_); }

int freeLoopbackPort() {
  int port = 0;
  ::close(bindOnLoopback(port));
  return port;
}

}  // namespace quillmark::test_support
