// The shipped program itself, started as a child process with no display and
// no QT_QPA_PLATFORM set: its port, its exit codes, ending when idle, serving
// on a socket it is handed, and how much memory requests can make it take.
#include <gtest/gtest.h>

#include <QImage>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "platform/codepage.h"
#include "service/listening_socket.h"
#include "service/raw_http.h"
#include "support/watchdog.h"

extern char** environ;

namespace quillmark::service {
namespace {

using testing::RawConnection;

// A child process with its standard output on a pipe; killed and reaped when
// it goes out of scope. With `handedFd`, the child gets that descriptor as 3
// and LISTEN_FDS=1 with its own pid in LISTEN_PID, as the service manager
// starts a socket-activated service.
class Child {
 public:
  explicit Child(std::vector<std::string> args, int handedFd = -1) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    // The environment without QT_QPA_PLATFORM or a display: the program must
    // choose its platform itself.
    std::vector<std::string> entries;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      if (entry.rfind("QT_QPA_PLATFORM=", 0) != 0 && entry.rfind("DISPLAY=", 0) != 0 &&
          entry.rfind("WAYLAND_DISPLAY=", 0) != 0 && entry.rfind("LISTEN_", 0) != 0)
        entries.push_back(entry);
    }
    if (handedFd >= 0) entries.push_back("LISTEN_FDS=1");
    std::vector<char*> env;
    for (std::string& entry : entries) env.push_back(entry.data());
    char pidEntry[32] = "LISTEN_PID=";  // completed in the child: nothing there may allocate
    if (handedFd >= 0) env.push_back(pidEntry);
    env.push_back(nullptr);

    pid_ = fork();
    if (pid_ == 0) {
      dup2(fds[1], STDOUT_FILENO);
      if (handedFd >= 0) {
        if (handedFd == 3) fcntl(3, F_SETFD, 0);
        else dup2(handedFd, 3);
        char digits[16];
        int n = 0;
        for (pid_t pid = getpid(); pid > 0; pid /= 10) digits[n++] = static_cast<char>('0' + pid % 10);
        char* out = pidEntry + 11;
        while (n > 0) *out++ = digits[--n];
        *out = '\0';
      }
      execve(argv[0], argv.data(), env.data());
      _exit(127);
    }
    close(fds[1]);
    if (pid_ < 0) {
      close(fds[0]);
      return;
    }
    out_ = fdopen(fds[0], "r");
  }
  ~Child() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ != nullptr) fclose(out_);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  // The next line of its standard output, or nothing at its end.
  std::optional<std::string> readLine() {
    if (out_ == nullptr) return std::nullopt;
    char buffer[512];
    if (std::fgets(buffer, sizeof buffer, out_) == nullptr) return std::nullopt;
    return std::string(buffer);
  }

  // The port of its "listening on" line, or nothing.
  std::optional<int> announcedPort() {
    const std::optional<std::string> line = readLine();
    std::smatch match;
    if (!line || !std::regex_search(*line, match, std::regex(R"(listening on http://127\.0\.0\.1:(\d+)/)")))
      return std::nullopt;
    return std::stoi(match[1].str());
  }

  // Whether it is still running (not yet ended by itself).
  bool running() {
    if (reaped_) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
    reaped_ = true;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    return false;
  }

  // Sends `signal` (0: none), waits, and returns the exit code, or -signal.
  int finish(int signal) {
    if (reaped_) return exitCode_;
    if (signal != 0) kill(pid_, signal);
    int status = 0;
    waitpid(pid_, &status, 0);
    reaped_ = true;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    return exitCode_;
  }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  int exitCode_ = 0;
  FILE* out_ = nullptr;
};

std::optional<testing::RawResponse> ask(int port, const std::string& request) {
  RawConnection connection(port);
  if (!connection.send(request)) return std::nullopt;
  return connection.readResponse();
}

TEST(ServiceProgram, ServesLogosOnTheAnnouncedPort) {
  Child child({QUILLMARK_SERVICE_PROGRAM, "--port", "0"});
  ASSERT_TRUE(child.started());
  const std::optional<int> port = child.announcedPort();
  ASSERT_TRUE(port);
  const auto result = ask(*port, testing::logoRequest("tu=zm-1-205.png; txt=\xb5\xda"));
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  QImage image;
  image.loadFromData(reinterpret_cast<const uchar*>(result->body.data()), static_cast<int>(result->body.size()), "PNG");
  EXPECT_EQ(image.size(), QSize(400, 120));
  EXPECT_EQ(child.finish(SIGTERM), -SIGTERM);
}

TEST(ServiceProgram, AnAddressItCannotBindExitsWithOne) {
  // A documentation address that no interface here has.
  Child child({QUILLMARK_SERVICE_PROGRAM, "--bind", "192.0.2.1", "--port", "0"});
  ASSERT_TRUE(child.started());
  EXPECT_EQ(child.readLine(), std::nullopt);
  EXPECT_EQ(child.finish(0), 1);
}

TEST(ServiceProgram, APortThatIsTakenExitsWithOne) {
  std::optional<ListeningSocket> taken = bindListeningSocket("127.0.0.1", 0);
  ASSERT_TRUE(taken);
  Child child({QUILLMARK_SERVICE_PROGRAM, "--port", std::to_string(taken->port())});
  ASSERT_TRUE(child.started());
  EXPECT_EQ(child.readLine(), std::nullopt);
  EXPECT_EQ(child.finish(0), 1);
}

TEST(ServiceProgram, EndsByItselfWhenIdle) {
  Child child({QUILLMARK_SERVICE_PROGRAM, "--port", "0", "--exit-when-idle", "1"});
  ASSERT_TRUE(child.started());
  const std::optional<int> port = child.announcedPort();
  ASSERT_TRUE(port);
  ASSERT_TRUE(ask(*port, testing::getRequest("/logoa/wenzi.php")));
  test_support::Watchdog watchdog(std::chrono::seconds(60), "the idle service");
  EXPECT_EQ(child.finish(0), 0);
}

TEST(ServiceProgram, NeverEndsWhileARequestIsBeingServed) {
  Child child({QUILLMARK_SERVICE_PROGRAM, "--port", "0", "--exit-when-idle", "1"});
  ASSERT_TRUE(child.started());
  const std::optional<int> port = child.announcedPort();
  ASSERT_TRUE(port);
  RawConnection connection(*port);
  ASSERT_TRUE(connection.send(testing::logoRequest("txt=slow", {"Content-Length: 4"}) + "ab"));
  // Several idle periods pass while the request waits for the rest of its body.
  for (int i = 0; i < 6; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_TRUE(child.running()) << "ended while a request was being served";
  }
  ASSERT_TRUE(connection.send("cd"));
  const auto answer = connection.readResponse();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
  test_support::Watchdog watchdog(std::chrono::seconds(60), "the idle service");
  EXPECT_EQ(child.finish(0), 0);
}

TEST(ServiceProgram, ServesOnTheSocketItIsHanded) {
  std::optional<ListeningSocket> socket = bindListeningSocket("127.0.0.1", 0);
  ASSERT_TRUE(socket);
  const int port = socket->port();
  Child child({QUILLMARK_SERVICE_PROGRAM}, socket->fd());
  ASSERT_TRUE(child.started());
  EXPECT_EQ(child.announcedPort(), port);
  const auto answer = ask(port, testing::logoRequest("tu=zm-1-205.png; txt=handed"));
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
  EXPECT_EQ(answer->header("content-type"), "image/png");
  EXPECT_EQ(child.finish(SIGTERM), -SIGTERM);
}

TEST(ServiceProgram, AHandedSocketRulesOutBindAndPortAndMustBeListening) {
  std::optional<ListeningSocket> socket = bindListeningSocket("127.0.0.1", 0);
  ASSERT_TRUE(socket);
  Child withPort({QUILLMARK_SERVICE_PROGRAM, "--port", "0"}, socket->fd());
  ASSERT_TRUE(withPort.started());
  EXPECT_EQ(withPort.finish(0), 2);

  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
  Child withPipe({QUILLMARK_SERVICE_PROGRAM}, fds[0]);
  ASSERT_TRUE(withPipe.started());
  EXPECT_EQ(withPipe.finish(0), 1);
  close(fds[0]);
  close(fds[1]);
}

// A title of `length` random characters of the GB2312 Chinese rows, as code
// page 936 bytes.
std::string chineseTitle(std::mt19937& random, int length) {
  std::uniform_int_distribution<int> lead(0xb0, 0xd7);
  std::uniform_int_distribution<int> trail(0xa1, 0xf9);
  std::string title;
  for (int i = 0; i < length; ++i) {
    title += static_cast<char>(lead(random));
    title += static_cast<char>(trail(random));
  }
  return title;
}

// Draws `count` distinct titles of 2 to 40 characters over four keep-alive
// connections; false when any answer is not a logo.
bool drawTitles(int port, std::mt19937& random, int count) {
  std::vector<std::string> titles;
  std::uniform_int_distribution<int> length(2, 40);
  for (int i = 0; i < count; ++i) titles.push_back(chineseTitle(random, length(random)));
  std::atomic<bool> ok{true};
  std::vector<std::thread> clients;
  for (int c = 0; c < 4; ++c) {
    clients.emplace_back([&, c] {
      RawConnection connection(port);
      for (std::size_t i = static_cast<std::size_t>(c); i < titles.size() && ok; i += 4) {
        const auto answer = connection.send(testing::logoRequest("tu=zm-1-205.png; txt=" + titles[i]))
                                ? connection.readResponse()
                                : std::nullopt;
        if (!answer || answer->status != 200) ok = false;
      }
    });
  }
  for (std::thread& client : clients) client.join();
  return ok;
}

constexpr std::size_t kMegabyte = 1024 * 1024;

// Under AddressSanitizer freed memory waits in a quarantine of hundreds of
// megabytes, so resident memory says nothing about what the service keeps.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kResidentMemoryMeansSomething = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kResidentMemoryMeansSomething = false;
#else
constexpr bool kResidentMemoryMeansSomething = true;
#endif
#else
constexpr bool kResidentMemoryMeansSomething = true;
#endif

TEST(ServiceProgram, MemoryLevelsOffOverManyDistinctTitles) {
  if (!kResidentMemoryMeansSomething) GTEST_SKIP() << "resident memory is not measured under AddressSanitizer";
  Child child({QUILLMARK_SERVICE_PROGRAM, "--port", "0"});
  ASSERT_TRUE(child.started());
  const std::optional<int> port = child.announcedPort();
  ASSERT_TRUE(port);
  std::mt19937 random(936);
  // The service gives free heap pages back within 5 s after requests; both
  // sizes are read once it has, so that they compare like with like.
  const auto settled = [&] {
    std::this_thread::sleep_for(std::chrono::seconds(6));
    return testing::residentBytes(child.pid());
  };
  ASSERT_TRUE(drawTitles(*port, random, 2'000));
  const std::size_t before = settled();
  ASSERT_GT(before, 0u);
  ASSERT_TRUE(drawTitles(*port, random, 8'000));
  const std::size_t after = settled();
  std::printf("resident after 2,000 titles: %.1f MB, after 8,000 more: %.1f MB\n",
              static_cast<double>(before) / kMegabyte, static_cast<double>(after) / kMegabyte);
  EXPECT_LT(after, before + 8 * kMegabyte);
}

struct Abuse {
  const char* what;
  std::function<void(int port)> send;
};

void sendAndDrop(int port, const std::string& bytes) {
  RawConnection connection(port);
  connection.send(bytes);
  connection.readUntilClosed(1 << 20);
}

// Under AddressSanitizer the requests are still sent (the service must come
// through them) but its memory is not held to the limit.
TEST(ServiceProgram, NoRequestGrowsTheProcessByMoreThanEightMegabytes) {
  Child child({QUILLMARK_SERVICE_PROGRAM, "--port", "0"});
  ASSERT_TRUE(child.started());
  const std::optional<int> port = child.announcedPort();
  ASSERT_TRUE(port);
  std::mt19937 random(1);
  ASSERT_TRUE(drawTitles(*port, random, 50));  // the drawing code and caches warmed up

  std::string manyLines = "GET /logoa/logo_img_sc.php HTTP/1.1\r\nHost: x\r\n";
  for (int i = 0; i < 100'000; ++i) manyLines += "X-A: b\r\n";
  std::string ranges = "Range: bytes=";
  for (int i = 0; i < 2'700; ++i) ranges += (i == 0 ? "" : ",") + std::string("0-");
  const Abuse cases[] = {
      {"an unterminated header line of 16 MiB",
       [](int p) { sendAndDrop(p, "GET / HTTP/1.1\r\nX-Long: " + std::string(16 * kMegabyte, 'a')); }},
      {"100,000 header lines", [&](int p) { sendAndDrop(p, manyLines + "\r\n"); }},
      {"a 64 KiB gzip POST body",
       [](int p) {
         sendAndDrop(p, "POST /logoa/logo_img_sc.php HTTP/1.1\r\nHost: x\r\nContent-Encoding: gzip\r\n"
                        "Content-Length: 65536\r\n\r\n" + std::string(65536, '\0'));
       }},
      {"a chunked body of 48 MiB",
       [](int p) {
         RawConnection connection(p);
         connection.send("GET /logoa/logo_img_sc.php HTTP/1.1\r\nHost: x\r\nCookie: txt=a\r\n"
                         "Transfer-Encoding: chunked\r\n\r\n");
         const std::string chunk = "100000\r\n" + std::string(kMegabyte, 'z') + "\r\n";
         for (int i = 0; i < 48 && connection.send(chunk); ++i) {
         }
         connection.readUntilClosed(1 << 20);
       }},
      {"2,700 overlapping ranges",
       [&](int p) {
         RawConnection connection(p);
         connection.send(testing::logoRequest("txt=a", {ranges}));
         connection.readResponse();
       }},
  };
  for (const Abuse& c : cases) {
    SCOPED_TRACE(c.what);
    const std::size_t before = testing::residentBytes(child.pid());
    c.send(*port);
    const std::size_t after = testing::residentBytes(child.pid());
    std::printf("%s: %.1f MB before, %.1f MB after\n", c.what, static_cast<double>(before) / kMegabyte,
                static_cast<double>(after) / kMegabyte);
    if (kResidentMemoryMeansSomething) {
      EXPECT_LT(after, before + 8 * kMegabyte);
    }
  }
  // Still serving.
  const auto answer = ask(*port, testing::logoRequest("txt=after"));
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
}

}  // namespace
}  // namespace quillmark::service
