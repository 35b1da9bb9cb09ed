// Loopback test servers that run inside the test process.
//
// LoopbackServer is an HTTP or HTTPS server on a free 127.0.0.1 port that
// records each request exactly as it arrived (request line, header lines in
// wire order and as raw bytes, body) and counts the TCP connections it
// accepted. HTTPS uses a throwaway self-signed certificate made at start-up.
// RawServer answers every connection with fixed bytes and then closes or
// stalls, for responses no well-behaved server would give.
// Nothing here reaches beyond the loopback interface.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace quillmark::test_support {

using HeaderLines = std::vector<std::pair<std::string, std::string>>;

// One request as the server read it off the connection.
struct SeenRequest {
  std::string method;       // "GET"
  std::string target;       // "/a?b=1", or an absolute URL when sent to a proxy
  std::string requestLine;  // "GET /a?b=1 HTTP/1.1"
  HeaderLines headers;      // in wire order; name and value bytes as sent, value without the
                            // blanks around it
  std::string rawHead;      // request line and header lines, each with its CR LF, then CR LF
  std::string body;         // the body bytes
  int connection = 0;       // 1 for the first TCP connection the server accepted, 2 for the next...

  // The value of the first header of that name (compared without regard to
  // ASCII case); empty when there is none.
  std::string header(std::string_view name) const;
  bool hasHeader(std::string_view name) const;
  // How many header lines carry that name (without regard to case).
  int headerCount(std::string_view name) const;
  // The header names in wire order.
  std::vector<std::string> headerNames() const;
};

// What a handler answers. Content-Length is added by the server; a body of a
// 3xx answer may stay empty.
struct Answer {
  int status = 200;
  HeaderLines headers;  // sent in this order, after the server's own
  std::string body;
  std::string contentType = "text/plain";

  static Answer text(std::string body, int status = 200);
  static Answer redirect(std::string location, int status = 302);
};

using Handler = std::function<Answer(const SeenRequest&)>;

enum class Scheme { Http, Https };

// The certificate an HTTPS server presents. All are self-signed (so always of
// an unknown authority). Localhost names "localhost" and 127.0.0.1 and is
// valid now; WrongName names only "wrong.invalid"; Expired names localhost and
// 127.0.0.1 but expired a year ago.
enum class Certificate { Localhost, WrongName, Expired };

class LoopbackServer {
 public:
  explicit LoopbackServer(Scheme scheme = Scheme::Http,
                          Certificate certificate = Certificate::Localhost);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  // Answers requests whose path (the target up to "?") is exactly `path`.
  // Requests no handler takes get 200 "ok" (text/plain). Set handlers before
  // the first request is sent.
  void handle(std::string path, Handler handler);

  int port() const noexcept { return port_; }
  // "http://127.0.0.1:<port>" or "https://127.0.0.1:<port>".
  std::string origin() const;
  // origin() + pathAndQuery ("/a?b=1").
  std::string url(std::string_view pathAndQuery) const;

  // Every request so far, oldest first. Safe from any thread.
  std::vector<SeenRequest> requests() const;
  // The last request; a default SeenRequest when none arrived.
  SeenRequest lastRequest() const;
  // TCP connections accepted so far (also those that sent no request).
  int connectionCount() const noexcept;

  struct State;  // shared with the server thread

 private:
  std::shared_ptr<State> state_;
  int port_ = 0;
  std::thread thread_;
};

// Answers each connection, once its request head has arrived, with `reply`
// and then closes it, or holds it open without another byte until the server
// is destroyed.
class RawServer {
 public:
  enum class After { Close, Stall };
  RawServer(std::string reply, After after);
  ~RawServer();
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  int port() const noexcept { return port_; }
  // "http://127.0.0.1:<port>" + pathAndQuery.
  std::string url(std::string_view pathAndQuery = "/") const;
  int connectionCount() const noexcept { return connections_->load(); }

 private:
  int listener_ = -1;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  int port_ = 0;
  std::shared_ptr<std::atomic<int>> connections_;
  std::thread thread_;
};

// A proxy that only tunnels: it answers CONNECT to a 127.0.0.1 port with
// 200 and then relays bytes both ways; it records each CONNECT request as it
// arrived. Anything else, or a target that is not 127.0.0.1, gets 403.
class TunnelProxy {
 public:
  TunnelProxy();
  ~TunnelProxy();
  TunnelProxy(const TunnelProxy&) = delete;
  TunnelProxy& operator=(const TunnelProxy&) = delete;

  int port() const noexcept { return port_; }
  // "127.0.0.1:<port>", as SetProxy takes it.
  std::string address() const;
  std::vector<SeenRequest> requests() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
  int port_ = 0;
  std::thread thread_;
};

// Canned replies for RawServer.
inline constexpr std::string_view kReplyNothing = "";  // with After::Stall: never answers
inline constexpr std::string_view kReplyHeadersOnly =
    "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 100\r\n\r\nabc";
inline constexpr std::string_view kReplyShortBody = kReplyHeadersOnly;  // with After::Close
inline constexpr std::string_view kReplyGarbageStatusLine = "NOT-HTTP garbage\r\n\r\nhello";
inline constexpr std::string_view kReplyHeaderWithoutColon =
    "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nThisLineHasNoColon\r\nX-After: yes\r\n\r\nok";

// A 127.0.0.1 port that refuses every connection while this object lives:
// the port stays bound, so no other server of a parallel test run can take
// it, but nothing ever listens on it.
//
// For a port that a child process is to listen on, see freeLoopbackPort().
class RefusedPort {
 public:
  RefusedPort();
  ~RefusedPort();
  RefusedPort(const RefusedPort&) = delete;
  RefusedPort& operator=(const RefusedPort&) = delete;

  int port() const noexcept { return port_; }

 private:
  int port_ = 0;
  int fd_ = -1;
};

// A 127.0.0.1 port that was free a moment ago, for a program the test starts
// to listen on. It is released before it is returned, so a test that only
// needs connections refused holds a RefusedPort instead.
int freeLoopbackPort();

}  // namespace quillmark::test_support
