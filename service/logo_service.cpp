#include "service/logo_service.h"

#include <fcntl.h>
#include <malloc.h>
#include <microhttpd.h>
#include <strings.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

#include "service/logo_renderer.h"

namespace quillmark::service {
namespace {

ServiceAnswer textAnswer(int status, std::string body) {
  return {status, "text/plain; charset=utf-8", std::move(body)};
}

// The running daemon; stopping it closes every connection and joins its
// threads.
struct DaemonStopper {
  void operator()(MHD_Daemon* daemon) const noexcept { MHD_stop_daemon(daemon); }
};
using Daemon = std::unique_ptr<MHD_Daemon, DaemonStopper>;

struct ResponseDestroyer {
  void operator()(MHD_Response* response) const noexcept { MHD_destroy_response(response); }
};
using Response = std::unique_ptr<MHD_Response, ResponseDestroyer>;

enum class Page { logo, about, none };

Page pageOf(const char* method, const char* url) {
  if (std::strcmp(method, MHD_HTTP_METHOD_GET) != 0 && std::strcmp(method, MHD_HTTP_METHOD_HEAD) != 0)
    return Page::none;
  if (std::strcmp(url, kLogoPath) == 0) return Page::logo;
  if (std::strcmp(url, kAboutPath) == 0) return Page::about;
  return Page::none;
}

// What the server keeps of one request between the calls for it.
struct RequestContext {
  Page page = Page::none;
  std::size_t bodyBytes = 0;
};

MHD_Result queueAnswer(MHD_Connection* connection, const ServiceAnswer& answer) {
  const Response response(MHD_create_response_from_buffer(
      answer.body.size(), const_cast<char*>(answer.body.data()), MHD_RESPMEM_MUST_COPY));
  if (!response) return MHD_NO;
  if (MHD_add_response_header(response.get(), MHD_HTTP_HEADER_CONTENT_TYPE, answer.contentType.c_str()) != MHD_YES)
    return MHD_NO;
  return MHD_queue_response(connection, static_cast<unsigned>(answer.status), response.get());
}

// Every Cookie header (any case) of the request, joined by "; " in the order
// received, each value exactly as sent; nothing when there is none.
std::optional<std::string> cookieHeaderOf(MHD_Connection* connection) {
  struct Collected {
    std::string joined;
    bool any = false;
  } collected;
  MHD_get_connection_values_n(
      connection, MHD_HEADER_KIND,
      [](void* cls, MHD_ValueKind, const char* key, std::size_t keySize, const char* value,
         std::size_t valueSize) -> MHD_Result {
        auto& out = *static_cast<Collected*>(cls);
        if (keySize == 6 && strncasecmp(key, "Cookie", 6) == 0) {
          if (out.any) out.joined += "; ";
          if (value != nullptr) out.joined.append(value, valueSize);
          out.any = true;
        }
        return MHD_YES;
      },
      &collected);
  if (!collected.any) return std::nullopt;
  return std::move(collected.joined);
}

// The declared Content-Length: nothing when absent; SIZE_MAX when it is not a
// number (the daemon itself refuses such requests).
std::optional<std::size_t> declaredLength(MHD_Connection* connection) {
  const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
  if (value == nullptr) return std::nullopt;
  std::size_t length = 0;
  const std::string_view text(value);
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), length);
  if (error != std::errc() || end != text.data() + text.size()) return SIZE_MAX;
  return length;
}

bool hasBody(MHD_Connection* connection) {
  const std::optional<std::size_t> length = declaredLength(connection);
  if (length) return *length > 0;
  return MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_TRANSFER_ENCODING) != nullptr;
}

}  // namespace

ServiceAnswer answerLogoRequest(std::optional<std::string_view> cookieHeader) {
  try {
    const ParsedLogoRequest parsed = parseLogoRequest(cookieHeader);
    switch (parsed.error) {
      case LogoRequestError::missingCookie:
        return textAnswer(400, "Bad request: no Cookie header.\n");
      case LogoRequestError::missingTitle:
        return textAnswer(400, "Bad request: the Cookie has no txt item.\n");
      case LogoRequestError::titleTooLong:
        return textAnswer(413, "Title too long: at most 1000 bytes.\n");
      case LogoRequestError::none:
        break;
    }
    std::string png = renderLogoPng(parsed.request);
    if (png.empty()) return textAnswer(500, "The logo could not be drawn.\n");
    return {200, "image/png", std::move(png)};
  } catch (...) {
    return textAnswer(500, "The logo could not be drawn.\n");
  }
}

ServiceAnswer answerAboutPage() {
  return {200, "text/html; charset=utf-8",
          "<!DOCTYPE html>\n"
          "<html lang=\"zh-CN\">\n"
          "<head><meta charset=\"utf-8\"><title>Quillmark 本地标志服务</title></head>\n"
          "<body>\n"
          "<h1>Quillmark 本地标志服务</h1>\n"
          "<p>This is the local logo service of Quillmark. It draws a 400 &times; 120 PNG logo "
          "for each request to <code>/logoa/logo_img_sc.php</code>, from the icon template "
          "(<code>tu</code>), the title (<code>txt</code>, code page 936) and the colours "
          "(<code>txtcolor</code>, <code>minicolor</code>) named in its Cookie header.</p>\n"
          "<p>本服务为 Quillmark 在本机生成标志图片，无需联网。</p>\n"
          "</body>\n"
          "</html>\n"};
}

struct LogoServer::State {
  explicit State(ServerLimits l) : limits(l) {}

  ServerLimits limits;
  ListeningSocket socket;
  Daemon daemon;
  bool started = false;

  std::atomic<int> inProgress{0};
  // steady_clock ticks of the last start or end of a request (or of serving).
  std::atomic<std::chrono::steady_clock::rep> lastActivity{0};

  std::mutex mutex;
  std::condition_variable wake;
  bool stopRequested = false;

  void touch() { lastActivity = std::chrono::steady_clock::now().time_since_epoch().count(); }

  MHD_Result onRequest(MHD_Connection* connection, const char* url, const char* method,
                       std::size_t* uploadSize, void** context);
  static MHD_Result accessHandler(void* cls, MHD_Connection* connection, const char* url,
                                  const char* method, const char* version, const char* uploadData,
                                  std::size_t* uploadSize, void** context);
  static void completed(void* cls, MHD_Connection* connection, void** context,
                        MHD_RequestTerminationCode code);
};

MHD_Result LogoServer::State::accessHandler(void* cls, MHD_Connection* connection, const char* url,
                                            const char* method, const char*, const char*,
                                            std::size_t* uploadSize, void** context) {
  return static_cast<State*>(cls)->onRequest(connection, url, method, uploadSize, context);
}

MHD_Result LogoServer::State::onRequest(MHD_Connection* connection, const char* url, const char* method,
                                        std::size_t* uploadSize, void** context) {
  auto* request = static_cast<RequestContext*>(*context);
  if (request == nullptr) {
    // The first call: the request line and headers are in, the body is not.
    request = new (std::nothrow) RequestContext;
    if (request == nullptr) return MHD_NO;
    *context = request;
    ++inProgress;
    touch();
    request->page = pageOf(method, url);
    // An answer given now goes out before the body is read, and the
    // connection is closed after it: for a body too large, or one sent to a
    // page that takes none. Everything else is answered once the request is
    // complete, so the connection stays open for the next one.
    const std::optional<std::size_t> length = declaredLength(connection);
    if (length && *length > limits.maxBodyBytes)
      return queueAnswer(connection, textAnswer(413, "Request body too large.\n"));
    if (request->page == Page::none && hasBody(connection))
      return queueAnswer(connection, textAnswer(404, "Not found.\n"));
    return MHD_YES;
  }
  if (*uploadSize > 0) {
    // Body bytes are counted and dropped; a chunked body without end is cut
    // off by closing the connection.
    request->bodyBytes += *uploadSize;
    *uploadSize = 0;
    return request->bodyBytes > limits.maxBodyBytes ? MHD_NO : MHD_YES;
  }
  if (request->page == Page::none) return queueAnswer(connection, textAnswer(404, "Not found.\n"));
  if (request->page == Page::about) return queueAnswer(connection, answerAboutPage());
  const std::optional<std::string> cookie = cookieHeaderOf(connection);
  return queueAnswer(connection,
                     answerLogoRequest(cookie ? std::optional<std::string_view>(*cookie) : std::nullopt));
}

void LogoServer::State::completed(void* cls, MHD_Connection*, void** context, MHD_RequestTerminationCode) {
  auto* state = static_cast<State*>(cls);
  delete static_cast<RequestContext*>(*context);
  *context = nullptr;
  state->touch();
  --state->inProgress;
}

LogoServer::LogoServer(ServerLimits limits) : state_(std::make_unique<State>(limits)) {}

LogoServer::~LogoServer() { stop(); }

std::optional<int> LogoServer::bind(const std::string& address, int port) {
  if (state_->socket.valid() || state_->started) return std::nullopt;
  std::optional<ListeningSocket> socket = bindListeningSocket(address, port);
  if (!socket) return std::nullopt;
  return adopt(std::move(*socket));
}

std::optional<int> LogoServer::adopt(ListeningSocket socket) {
  if (state_->socket.valid() || state_->started || !socket.valid()) return std::nullopt;
  const int port = socket.port();
  if (port < 0) return std::nullopt;
  state_->socket = std::move(socket);
  return port;
}

bool LogoServer::startServing() {
  State& s = *state_;
  if (s.started || !s.socket.valid()) return false;
  // One thread per core. A connection stays on the thread that accepted
  // it, so a few busy keep-alive clients can all land on one thread and
  // leave a core idle; more threads would avoid that, but every thread
  // keeps font data of its own for each glyph it has drawn, and with twice
  // as many the memory takes thousands of titles longer to level off.
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const unsigned threads = s.limits.threads > 0 ? s.limits.threads : cores;
  unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD;
  if (s.socket.isIpv6()) flags |= MHD_USE_IPv6;
  // The daemon closes the socket it is given when it stops: it gets a
  // duplicate, and this server keeps (and closes) its own.
  const int daemonSocket = fcntl(s.socket.fd(), F_DUPFD_CLOEXEC, 0);
  if (daemonSocket < 0) return false;
  s.touch();
  s.daemon.reset(MHD_start_daemon(
      flags, 0, nullptr, nullptr, &State::accessHandler, &s,
      MHD_OPTION_LISTEN_SOCKET, static_cast<MHD_socket>(daemonSocket),
      MHD_OPTION_THREAD_POOL_SIZE, threads,
      MHD_OPTION_CONNECTION_LIMIT, s.limits.maxConnections,
      MHD_OPTION_PER_IP_CONNECTION_LIMIT, s.limits.maxConnectionsPerAddress,
      MHD_OPTION_CONNECTION_MEMORY_LIMIT, s.limits.connectionMemory,
      MHD_OPTION_CONNECTION_TIMEOUT, s.limits.idleTimeoutSeconds,
      MHD_OPTION_NOTIFY_COMPLETED, &State::completed, &s,
      MHD_OPTION_END));
  if (!s.daemon) return false;
  s.started = true;
  return true;
}

bool LogoServer::serve(std::chrono::milliseconds exitWhenIdle) {
  State& s = *state_;
  if (!s.started && !startServing()) return false;
  // Every few seconds after requests, free heap pages go back to the system:
  // drawing frees and allocates blocks of many sizes, and without this the
  // resident size creeps up by megabytes over thousands of distinct titles
  // while the caches themselves stay the same size.
  constexpr auto kTrimEvery = std::chrono::seconds(5);
  auto lastTrimmed = s.lastActivity.load();
  std::unique_lock lock(s.mutex);
  while (!s.stopRequested) {
    const auto now = std::chrono::steady_clock::now();
    if (s.lastActivity.load() != lastTrimmed) {
      lastTrimmed = s.lastActivity.load();
      malloc_trim(0);
    }
    auto wakeAt = now + kTrimEvery;
    if (exitWhenIdle.count() > 0) {
      const auto idleSince =
          std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(s.lastActivity.load()));
      const auto deadline = idleSince + exitWhenIdle;
      // Never while a request is being served; a later request moves the
      // deadline, which is looked at again when it comes.
      if (s.inProgress.load() == 0 && now >= deadline) break;
      if (s.inProgress.load() == 0) wakeAt = std::min(wakeAt, deadline);
    }
    s.wake.wait_until(lock, wakeAt);
  }
  return true;
}

std::optional<int> LogoServer::start(const std::string& address, int port) {
  const std::optional<int> bound = bind(address, port);
  if (!bound || !startServing()) return std::nullopt;
  return bound;
}

void LogoServer::stop() {
  {
    std::lock_guard lock(state_->mutex);
    state_->stopRequested = true;
  }
  state_->wake.notify_all();
  state_->daemon.reset();
  state_->socket = ListeningSocket();
}

int LogoServer::requestsInProgress() const { return state_->inProgress.load(); }

}  // namespace quillmark::service
