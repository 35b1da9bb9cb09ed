#include "service/logo_service.h"

#include <httplib.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "service/logo_renderer.h"

namespace quillmark::service {
namespace {

ServiceAnswer textAnswer(int status, std::string body) {
  return {status, "text/plain; charset=utf-8", std::move(body)};
}

// All Cookie headers of a request, joined as one cookie string.
std::optional<std::string> cookieHeaderOf(const httplib::Request& request) {
  const std::size_t count = request.get_header_value_count("Cookie");
  if (count == 0) return std::nullopt;
  std::string joined;
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) joined += "; ";
    joined += request.get_header_value("Cookie", i);
  }
  return joined;
}

void apply(const ServiceAnswer& answer, httplib::Response& response) {
  response.status = answer.status;
  response.set_content(answer.body, answer.contentType.c_str());
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
  httplib::Server server;
  std::thread thread;
  std::atomic<bool> served{false};  // serve() on the start() thread has returned
  bool bound = false;
  std::atomic<std::chrono::steady_clock::rep> lastRequest{std::chrono::steady_clock::now().time_since_epoch().count()};

  void touch() noexcept { lastRequest = std::chrono::steady_clock::now().time_since_epoch().count(); }
};

LogoServer::LogoServer(int threads) : state_(std::make_unique<State>()) {
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t workers =
      threads > 0 ? static_cast<std::size_t>(threads) : std::max<std::size_t>(8, 2 * cores);
  state_->server.new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
  // The library's default also sets SO_REUSEPORT, which lets a second server
  // bind the same port and silently share its connections. SO_REUSEADDR alone
  // still allows a quick restart but makes a second live listener fail.
  state_->server.set_socket_options([](socket_t socket) {
    int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
  });
  // Headers and body go out in separate writes; without this, Nagle and delayed
  // acknowledgements hold every keep-alive answer back by tens of milliseconds.
  state_->server.set_tcp_nodelay(true);
  state_->server.set_keep_alive_max_count(1000);
  state_->server.set_payload_max_length(64 * 1024);

  // Every request counts as it arrives and again once answered.
  state_->server.set_pre_routing_handler([state = state_.get()](const httplib::Request&, httplib::Response&) {
    state->touch();
    return httplib::Server::HandlerResponse::Unhandled;
  });
  state_->server.set_logger([state = state_.get()](const httplib::Request&, const httplib::Response&) { state->touch(); });

  state_->server.Get(kLogoPath, [](const httplib::Request& request, httplib::Response& response) {
    const std::optional<std::string> cookie = cookieHeaderOf(request);
    apply(answerLogoRequest(cookie ? std::optional<std::string_view>(*cookie) : std::nullopt),
          response);
  });
  state_->server.Get(kAboutPath, [](const httplib::Request&, httplib::Response& response) {
    apply(answerAboutPage(), response);
  });
  state_->server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
    if (!response.body.empty()) return;
    response.set_content(response.status == 404 ? "Not found.\n" : "Request failed.\n",
                         "text/plain; charset=utf-8");
  });
}

LogoServer::~LogoServer() { stop(); }

std::optional<int> LogoServer::bind(const std::string& address, int port) {
  if (state_->bound || port < 0 || port > 65535) return std::nullopt;
  int bound = -1;
  if (port == 0) {
    bound = state_->server.bind_to_any_port(address);
  } else if (state_->server.bind_to_port(address, port)) {
    bound = port;
  }
  if (bound <= 0) return std::nullopt;
  state_->bound = true;
  return bound;
}

bool LogoServer::serve() {
  if (!state_->bound) return false;
  return state_->server.listen_after_bind();
}

std::optional<int> LogoServer::start(const std::string& address, int port) {
  if (state_->thread.joinable()) return std::nullopt;
  const std::optional<int> bound = bind(address, port);
  if (!bound) return std::nullopt;
  state_->thread = std::thread([this] {
    serve();
    state_->served = true;
  });
  // stop() only takes effect once the accept loop runs; wait for it (or for
  // the loop to have ended already).
  while (!state_->server.is_running() && !state_->served)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  if (state_->served) return std::nullopt;
  return bound;
}

std::chrono::steady_clock::time_point LogoServer::lastRequestTime() const noexcept {
  return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(state_->lastRequest.load()));
}

void LogoServer::stop() {
  state_->server.stop();
  if (state_->thread.joinable()) state_->thread.join();
}

}  // namespace quillmark::service
