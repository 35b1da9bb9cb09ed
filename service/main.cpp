// quillmark-logo-service: serves logos to the tool on this machine.
//
//   quillmark-logo-service [--bind ADDR] [--port N] [--exit-when-idle SECONDS]
//
// Listens on 127.0.0.1:8936 unless told otherwise; --port 0 takes any free
// port. Started by the service manager with a socket (LISTEN_FDS), it serves
// on that socket instead, and --bind and --port may not be given. With
// --exit-when-idle it ends by itself, with exit code 0, once SECONDS have
// passed without a request (never while one is being served). Bad arguments
// print the usage on standard error and exit with 2; an address that cannot
// be bound, or a handed socket that cannot be used, exits with 1.
#include <QGuiApplication>

#include <malloc.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "service/listening_socket.h"
#include "service/logo_renderer.h"
#include "service/logo_service.h"

namespace {

constexpr const char* kUsage =
    "usage: quillmark-logo-service [--bind ADDR] [--port N] [--exit-when-idle SECONDS]\n"
    "  --bind ADDR               address to listen on (default 127.0.0.1)\n"
    "  --port N                  port to listen on, 0..65535, 0 for any free port (default 8936)\n"
    "  --exit-when-idle SECONDS  end by itself after SECONDS (a positive integer) without a request\n"
    "Started through socket activation (LISTEN_FDS), it serves on the socket it is handed.\n";

struct Options {
  std::string address = quillmark::service::kDefaultAddress;
  int port = quillmark::service::kDefaultPort;
  bool addressGiven = false;
  std::chrono::seconds exitWhenIdle{0};
  bool help = false;
};

// A decimal integer that is the whole of `text`, within [low, high].
std::optional<int> parseInteger(std::string_view text, int low, int high) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low || value > high)
    return std::nullopt;
  return value;
}

std::optional<Options> parseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      continue;
    }
    if ((arg != "--bind" && arg != "--port" && arg != "--exit-when-idle") || i + 1 >= argc) return std::nullopt;
    const std::string_view value = argv[++i];
    if (arg == "--bind") {
      if (value.empty()) return std::nullopt;
      options.address = std::string(value);
      options.addressGiven = true;
    } else if (arg == "--port") {
      const auto port = parseInteger(value, 0, 65535);
      if (!port) return std::nullopt;
      options.port = *port;
      options.addressGiven = true;
    } else {
      const auto seconds = parseInteger(value, 1, 1'000'000'000);
      if (!seconds) return std::nullopt;
      options.exitWhenIdle = std::chrono::seconds(*seconds);
    }
  }
  return options;
}

std::string urlHost(const std::string& address) {
  return address.find(':') == std::string::npos ? address : "[" + address + "]";
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quillmark::service;
  const std::optional<Options> options = parseOptions(argc, argv);
  if (!options) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (options->help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  HandedSocket handed = takeHandedSocket();
  if (handed.handover != Handover::none && options->addressGiven) {
    std::fputs("quillmark-logo-service: --bind and --port cannot be given with a handed socket\n", stderr);
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (handed.handover == Handover::unusable) {
    std::fprintf(stderr, "quillmark-logo-service: %s\n", handed.error.c_str());
    return 1;
  }

  // One heap for all threads. The caches of shaped titles and outlines are
  // shared: what one event-loop thread frees, another allocated. With an
  // arena per thread the freed memory stays spread over the arenas, and
  // the process grows by tens of megabytes beyond what the caches hold.
  mallopt(M_ARENA_MAX, 1);

  // Drawing needs a GUI application but no display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Qt sees only the program name: every other argument is ours.
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QGuiApplication application(qtArgc, qtArgv);

  if (!titleFontAvailable())
    std::fprintf(stderr, "quillmark-logo-service: font \"%s\" not found; titles use a substitute\n",
                 kTitleFontFamily);
  // Load the font database and the drawing code once before the first request.
  renderLogoPng({});

  LogoServer server;
  std::string error;
  std::optional<ListeningSocket> socket;
  if (handed.handover == Handover::taken) {
    socket = std::move(handed.socket);
  } else {
    socket = bindListeningSocket(options->address, options->port, &error);
  }
  const std::string address = socket ? socket->address() : std::string();
  const std::optional<int> port = socket ? server.adopt(std::move(*socket)) : std::nullopt;
  if (!port) {
    std::fprintf(stderr, "quillmark-logo-service: cannot listen on %s:%d: %s\n", options->address.c_str(),
                 options->port, error.c_str());
    return 1;
  }
  if (!server.startServing()) {
    std::fputs("quillmark-logo-service: the HTTP server could not start\n", stderr);
    return 1;
  }
  std::printf("quillmark-logo-service listening on http://%s:%d/\n", urlHost(address).c_str(), *port);
  std::fflush(stdout);
  server.serve(options->exitWhenIdle);
  return EXIT_SUCCESS;
}
