#include "app/service_on_demand.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

extern char** environ;

namespace quillmark {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// A socket that is closed when it goes out of scope.
class Socket {
 public:
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() {
    if (fd_ >= 0) ::close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int fd() const noexcept { return fd_; }

 private:
  int fd_;
};

// The environment of the started service: ours, with the drawing platform
// fixed to the offscreen one, so the service never ties itself to the
// desktop session that happened to start it.
std::vector<std::string> serviceEnvironment() {
  std::vector<std::string> entries;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    if (std::string_view(*entry).starts_with("QT_QPA_PLATFORM=")) continue;
    entries.emplace_back(*entry);
  }
  entries.emplace_back("QT_QPA_PLATFORM=offscreen");
  return entries;
}

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  pointers.reserve(strings.size() + 1);
  for (std::string& string : strings) pointers.push_back(string.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Starts `launch.program` detached; the process id, or nothing with `problem` set.
std::optional<pid_t> startService(const ServiceLaunch& launch, int port, std::string& problem) {
  const std::string program = launch.program.string();
  std::vector<std::string> args = {program,       "--bind",           "127.0.0.1",
                                   "--port",      std::to_string(port), "--exit-when-idle",
                                   std::to_string(launch.idleSeconds)};
  std::vector<std::string> env = serviceEnvironment();
  std::vector<char*> argv = pointersTo(args);
  std::vector<char*> envp = pointersTo(env);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  if (posix_spawn_file_actions_init(&actions) != 0) {
    problem = "cannot prepare to start " + program;
    return std::nullopt;
  }
  if (posix_spawnattr_init(&attributes) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    problem = "cannot prepare to start " + program;
    return std::nullopt;
  }
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY, 0);
  // A session of its own: no terminal, no process group of ours, so neither
  // closing the window nor a signal to the tool's group ends it mid-answer.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigdefault(&attributes, &all);

  pid_t pid = 0;
  const int error = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    problem = program + ": " + std::strerror(error);
    return std::nullopt;
  }
  return pid;
}

// Reaps `pid` whenever it ends, on a thread of its own; when no thread can be
// had the process is left to be reaped when the tool ends.
void reapWhenItEnds(pid_t pid) {
  try {
    std::thread([pid] {
      int status = 0;
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (...) {
  }
}

std::string describeExit(int status) {
  if (WIFEXITED(status)) return "exited at once with code " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "was ended at once by signal " + std::to_string(WTERMSIG(status));
  return "ended at once";
}

std::mutex startMutex;

}  // namespace

std::optional<int> localServicePort(std::string_view host) {
  std::string_view name = host;
  std::string_view portText;
  if (const size_t colon = host.rfind(':'); colon != std::string_view::npos) {
    name = host.substr(0, colon);
    portText = host.substr(colon + 1);
    if (portText.empty()) return std::nullopt;
  }
  if (!equalsIgnoringAsciiCase(name, "localhost") && name != "127.0.0.1") return std::nullopt;
  if (portText.empty()) return 80;
  int port = 0;
  const auto [end, error] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
  if (error != std::errc() || end != portText.data() + portText.size() || port < 1 || port > 65535)
    return std::nullopt;
  return port;
}

bool acceptsConnections(int port, std::chrono::milliseconds patience) {
  if (port < 1 || port > 65535) return false;
  Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (socket.fd() < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return true;
  if (errno != EINPROGRESS) return false;
  pollfd waiting{socket.fd(), POLLOUT, 0};
  int ready = 0;
  do {
    ready = ::poll(&waiting, 1, static_cast<int>(patience.count()));
  } while (ready < 0 && errno == EINTR);
  if (ready <= 0) return false;
  int error = 0;
  socklen_t length = sizeof error;
  return ::getsockopt(socket.fd(), SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

fs::path serviceBesideThisProgram() {
  std::error_code error;
  const fs::path program = fs::read_symlink("/proc/self/exe", error);
  if (error || !program.has_parent_path()) return fs::path(kServiceProgramName);
  return program.parent_path() / kServiceProgramName;
}

ServiceCheck ensureLocalService(std::string_view host, const ServiceLaunch& launch) {
  ServiceCheck check;
  try {
    const std::optional<int> port = localServicePort(host);
    if (!port) return check;

    std::lock_guard lock(startMutex);
    if (acceptsConnections(*port)) {
      check.state = ServiceCheck::State::AlreadyRunning;
      return check;
    }
    check.state = ServiceCheck::State::Failed;
    const std::optional<pid_t> pid = startService(launch, *port, check.problem);
    if (!pid) return check;

    const Clock::time_point deadline = Clock::now() + launch.wait;
    for (;;) {
      int status = 0;
      const pid_t ended = ::waitpid(*pid, &status, WNOHANG);
      if (ended == *pid) {
        // Another tool may have started one at the same moment, ours finding
        // the port taken: what counts is whether someone now accepts.
        if (acceptsConnections(*port)) {
          check.state = ServiceCheck::State::AlreadyRunning;
          check.problem.clear();
        } else {
          check.problem = launch.program.string() + " " + describeExit(status);
        }
        return check;
      }
      if (acceptsConnections(*port, std::chrono::milliseconds(200))) {
        check.state = ServiceCheck::State::Started;
        check.startedProcess = *pid;
        reapWhenItEnds(*pid);
        return check;
      }
      if (Clock::now() >= deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    check.startedProcess = *pid;
    check.problem = launch.program.string() + " did not accept connections within " +
                    std::to_string(launch.wait.count()) + " ms";
    reapWhenItEnds(*pid);
    return check;
  } catch (...) {
    check.state = ServiceCheck::State::Failed;
    check.problem = "out of memory while starting the logo service";
    return check;
  }
}

LogoBatchResult runLogoBatchWithService(WindowOperations& window, const LogoService& service,
                                        const ServiceLaunch& launch, const ServiceWarning& warn) {
  const std::string host(service.host.view());
  const ServiceCheck check = ensureLocalService(host, launch);
  if (check.failed() && warn) {
    try {
      warn("无法启动本地标志服务 " + host + "：" + check.problem + "。本批的请求将得不到图片。");
    } catch (...) {
    }
  }
  return runLogoBatch(window, service);
}

}  // namespace quillmark
