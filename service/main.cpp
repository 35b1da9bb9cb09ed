// quillmark-logo-service: serves logos to the tool on this machine.
//
//   quillmark-logo-service [--bind ADDR] [--port N] [--exit-when-idle SECONDS]
//
// Listens on 127.0.0.1:8936 unless told otherwise; --port 0 takes any free
// port. With --exit-when-idle it ends itself with exit code 0 once SECONDS
// have passed without a request, never while a request is being answered.
// Bad arguments print the usage on standard error and exit with 2; an
// address that cannot be bound exits with 1.
#include <QGuiApplication>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "service/logo_renderer.h"
#include "service/logo_service.h"

namespace {

constexpr const char* kUsage =
    "usage: quillmark-logo-service [--bind ADDR] [--port N] [--exit-when-idle SECONDS]\n"
    "  --bind ADDR  address to listen on (default 127.0.0.1)\n"
    "  --port N     port to listen on, 0..65535, 0 for any free port (default 8936)\n"
    "  --exit-when-idle SECONDS\n"
    "               end with exit code 0 after SECONDS (a positive integer) without a request\n";

struct Options {
  std::string address = quillmark::service::kDefaultAddress;
  int port = quillmark::service::kDefaultPort;
  int idleSeconds = 0;  // 0: never ends by itself
  bool help = false;
};

std::optional<int> parsePort(std::string_view text) {
  int port = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), port);
  if (error != std::errc() || end != text.data() + text.size() || port < 0 || port > 65535)
    return std::nullopt;
  return port;
}

std::optional<Options> parseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if ((arg == "--bind" || arg == "--port" || arg == "--exit-when-idle") && i + 1 < argc) {
      const std::string_view value = argv[++i];
      if (arg == "--exit-when-idle") {
        int seconds = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
        if (error != std::errc() || end != value.data() + value.size() || seconds < 1) return std::nullopt;
        options.idleSeconds = seconds;
      } else if (arg == "--bind") {
        if (value.empty()) return std::nullopt;
        options.address = std::string(value);
      } else {
        const auto port = parsePort(value);
        if (!port) return std::nullopt;
        options.port = *port;
      }
    } else {
      return std::nullopt;
    }
  }
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Options> options = parseOptions(argc, argv);
  if (!options) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (options->help) {
    std::fputs(kUsage, stdout);
    return 0;
  }

  // Drawing needs a GUI application but no display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Qt sees only the program name: every other argument is ours.
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QGuiApplication application(qtArgc, qtArgv);

  if (!quillmark::service::titleFontAvailable())
    std::fprintf(stderr, "quillmark-logo-service: font \"%s\" not found; titles use a substitute\n",
                 quillmark::service::kTitleFontFamily);
  // Load the font database and the drawing code once before the first request.
  quillmark::service::renderLogoPng({});

  quillmark::service::LogoServer server;
  const std::optional<int> port = server.bind(options->address, options->port);
  if (!port) {
    std::fprintf(stderr, "quillmark-logo-service: cannot listen on %s:%d\n",
                 options->address.c_str(), options->port);
    return 1;
  }
  std::printf("quillmark-logo-service listening on http://%s:%d/\n", options->address.c_str(), *port);
  std::fflush(stdout);

  // Watches for the idle stretch; stopping lets the requests being answered
  // finish before serve() returns.
  std::mutex mutex;
  std::condition_variable served;
  bool finished = false;
  std::thread watcher;
  if (options->idleSeconds > 0) {
    watcher = std::thread([&] {
      const auto idle = std::chrono::seconds(options->idleSeconds);
      std::unique_lock lock(mutex);
      for (;;) {
        const auto deadline = server.lastRequestTime() + idle;
        if (std::chrono::steady_clock::now() >= deadline) break;
        if (served.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(250)),
                              [&] { return finished; }))
          return;
      }
      lock.unlock();
      server.stop();
    });
  }
  const bool ok = server.serve();
  if (watcher.joinable()) {
    {
      std::lock_guard lock(mutex);
      finished = true;
    }
    served.notify_all();
    watcher.join();
  }
  return ok ? EXIT_SUCCESS : EXIT_FAILURE;
}
