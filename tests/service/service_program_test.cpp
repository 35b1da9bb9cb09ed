// The shipped program itself: started as a child process on a free loopback
// port, with no display and no QT_QPA_PLATFORM set.
#include <gtest/gtest.h>
#include <httplib.h>

#include <QImage>

#include <csignal>
#include <cstdio>
#include <optional>
#include <regex>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// A child process with its standard output on a pipe; killed and reaped when
// it goes out of scope.
class Child {
 public:
  explicit Child(std::vector<std::string> args) {
    int fds[2];
    if (pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    // The environment without QT_QPA_PLATFORM or DISPLAY: the program must
    // choose its platform itself.
    std::vector<char*> env;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      if (entry.rfind("QT_QPA_PLATFORM=", 0) != 0 && entry.rfind("DISPLAY=", 0) != 0 &&
          entry.rfind("WAYLAND_DISPLAY=", 0) != 0)
        env.push_back(*e);
    }
    env.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), env.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
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

  // The next line of its standard output, or nothing at its end.
  std::optional<std::string> readLine() {
    if (out_ == nullptr) return std::nullopt;
    char buffer[512];
    if (std::fgets(buffer, sizeof buffer, out_) == nullptr) return std::nullopt;
    return std::string(buffer);
  }
  // Sends `signal` (0: none) and returns the exit code, or -signal.
  int finish(int signal) {
    if (signal != 0) kill(pid_, signal);
    int status = 0;
    waitpid(pid_, &status, 0);
    reaped_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  }
  bool started() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  FILE* out_ = nullptr;
};

TEST(ServiceProgram, ServesLogosOnTheAnnouncedPort) {
  Child child({QUILLMARK_SERVICE_PROGRAM, "--port", "0"});
  ASSERT_TRUE(child.started());
  const std::optional<std::string> line = child.readLine();
  ASSERT_TRUE(line.has_value());
  std::smatch match;
  ASSERT_TRUE(std::regex_search(*line, match, std::regex(R"(listening on http://127\.0\.0\.1:(\d+)/)"))) << *line;
  httplib::Client client("127.0.0.1", std::stoi(match[1].str()));
  const auto result = client.Get("/logoa/logo_img_sc.php", httplib::Headers{{"Cookie", "tu=zm-1-205.png; txt=\xb5\xda"}});
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  QImage image;
  image.loadFromData(reinterpret_cast<const uchar*>(result->body.data()), static_cast<int>(result->body.size()), "PNG");
  EXPECT_EQ(image.size(), QSize(400, 120));
  EXPECT_EQ(child.finish(SIGTERM), -SIGTERM);
}

TEST(ServiceProgram, AnAddressItCannotBindExitsWithOne) {
  Child child({QUILLMARK_SERVICE_PROGRAM, "--bind", "192.0.2.1", "--port", "0"});
  ASSERT_TRUE(child.started());
  EXPECT_EQ(child.readLine(), std::nullopt);
  EXPECT_EQ(child.finish(0), 1);
}

}  // namespace
