// The local logo service: answers the tool's logo request with a rendered PNG.
//
// Two pages: "/logoa/logo_img_sc.php" draws a logo from the request's Cookie
// header (see logo_request.h), "/logoa/wenzi.php" says in a small HTML page
// what the service is. Everything else is 404. GET and HEAD are served; any
// other method gets 404 like an unknown page.
//
// The HTTP side is an event loop (libmicrohttpd, epoll) on a few threads: a
// slow or silent client costs a socket, never a thread. What one client can
// do is bounded (ServerLimits): connections in all and per address, memory
// per connection (request line and headers beyond it: 414 or 431 and the
// connection closed), body bytes read, idle time. Header values reach the
// page as sent (no percent-decoding); Range is ignored (200 with the whole
// logo). Needs a QGuiApplication alive in the process while it serves.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "service/listening_socket.h"

namespace quillmark::service {

inline constexpr const char* kLogoPath = "/logoa/logo_img_sc.php";
inline constexpr const char* kAboutPath = "/logoa/wenzi.php";
inline constexpr const char* kDefaultAddress = "127.0.0.1";
inline constexpr int kDefaultPort = 8936;

struct ServiceAnswer {
  int status = 200;
  std::string contentType;
  std::string body;
};

// The answer to a logo request with this Cookie header (nothing: none sent).
// 200 image/png on success; 400 text/plain for no Cookie or no "txt"; 413
// text/plain for a title over kMaxTitleBytes; 500 text/plain if rendering
// fails. Never throws.
ServiceAnswer answerLogoRequest(std::optional<std::string_view> cookieHeader);

// The about page: 200, text/html in UTF-8.
ServiceAnswer answerAboutPage();

// What one server allows. The defaults are the shipped service's.
struct ServerLimits {
  unsigned threads = 0;                  // event-loop threads; 0: one per core
  unsigned maxConnections = 256;         // open connections in all; more are refused
  unsigned maxConnectionsPerAddress = 32;
  std::size_t connectionMemory = 16 * 1024;  // request line, headers and buffers of one connection
  unsigned idleTimeoutSeconds = 10;          // a connection silent this long is closed; 0: never
  // Request bodies are read and dropped up to this many bytes, never
  // decoded. A Content-Length above it gets 413 at once, the body unread; a
  // chunked body that goes beyond it has its connection closed.
  std::size_t maxBodyBytes = 64 * 1024;
};

// An HTTP server for the two pages. Not copyable or movable; stops its
// threads and closes every connection when destroyed.
class LogoServer {
 public:
  explicit LogoServer(ServerLimits limits = {});
  ~LogoServer();
  LogoServer(const LogoServer&) = delete;
  LogoServer& operator=(const LogoServer&) = delete;

  // Binds and listens on `address`:`port`; port 0 takes any free port.
  // Returns the bound port, or nothing when the address cannot be bound (or
  // this server already has a socket).
  std::optional<int> bind(const std::string& address, int port);

  // Serves on a socket made elsewhere (one handed over by the service
  // manager). Returns its port, or nothing when the socket is not valid or
  // this server already has one; the socket is dropped then.
  std::optional<int> adopt(ListeningSocket socket);

  // Starts answering on the socket, on the server's own threads, and returns
  // at once. False when there is no socket, it is already started, or the
  // HTTP machinery cannot start.
  bool startServing();

  // startServing() unless it already ran, then blocks until stop() is called
  // from another thread,
  // or, with a positive `exitWhenIdle`, until that long has passed with no
  // request being served and none begun (counted from the start or the end
  // of the last request, whichever is later). Never returns for idleness
  // while a request is being served. False at once when serving could not
  // start (no socket, or stop() came first); true otherwise.
  bool serve(std::chrono::milliseconds exitWhenIdle = std::chrono::milliseconds(0));

  // bind() and startServing(); the port once connections are accepted, or
  // nothing when either fails.
  std::optional<int> start(const std::string& address, int port);

  // Stops serving: closes the socket and every connection, ends the threads
  // and wakes serve(). Safe to call more than once, and before anything was
  // started.
  void stop();

  // Requests whose answer is not yet complete.
  int requestsInProgress() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace quillmark::service
