// The local logo service: answers the tool's logo request with a rendered PNG.
//
// Two pages: "/logoa/logo_img_sc.php" draws a logo from the request's Cookie
// header (see logo_request.h), "/logoa/wenzi.php" says in a small HTML page
// what the service is. Everything else is 404. Requests are served by a pool
// of threads; each one renders into an image of its own. Needs a
// QGuiApplication alive in the process while it serves.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

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

// An HTTP server for the two pages. Not copyable or movable; stops and
// joins its threads when destroyed.
class LogoServer {
 public:
  // `threads` workers serve connections (a keep-alive connection holds one
  // while it is open); 0 chooses max(8, 2 x cores).
  explicit LogoServer(int threads = 0);
  ~LogoServer();
  LogoServer(const LogoServer&) = delete;
  LogoServer& operator=(const LogoServer&) = delete;

  // Binds and listens on `address`:`port`; port 0 takes any free port.
  // Returns the bound port, or nothing when the address cannot be bound (or
  // this server is already bound).
  std::optional<int> bind(const std::string& address, int port);

  // Serves on the bound socket until stop(); false at once when not bound.
  bool serve();

  // bind() and then serve() on a thread of the server's own; returns the
  // port once the server accepts connections, or nothing when binding fails,
  // serving ends at once, or start() already ran.
  std::optional<int> start(const std::string& address, int port);

  // Stops serving and joins the thread start() made. Safe to call more than
  // once, and before anything was started. Requests being answered are
  // answered before serve() returns.
  void stop();

  // When a request last arrived or was last answered, whichever is later;
  // the time the server was made when none has arrived. Safe from any thread.
  std::chrono::steady_clock::time_point lastRequestTime() const noexcept;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace quillmark::service
