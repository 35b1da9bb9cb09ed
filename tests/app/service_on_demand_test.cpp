// The local logo service on demand, with the real service program copied
// into a scratch "program folder", stand-in programs (small shell scripts)
// for the ways a start can fail, and loopback servers playing a service that
// already runs. Every process a test starts is ended by the test.
#include "app/service_on_demand.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "app/fake_window.h"
#include "app/scratch_working_folder.h"
#include "support/loopback_server.h"
#include "support/watchdog.h"

extern char** environ;

namespace quillmark {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test_support::Answer;
using test_support::LoopbackServer;
using test_support::Watchdog;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeScript(const fs::path& path, const std::string& body) {
  std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
  fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read);
}

// Ends a process the code under test started, with whatever it started in
// its session (it leads its own process group). It is not ours to wait for
// once the module reaps it, so this signals and waits for it to go.
void endProcess(pid_t pid) {
  if (pid <= 0) return;
  ::kill(-pid, SIGKILL);
  ::kill(pid, SIGKILL);
  for (int i = 0; i < 500 && ::kill(pid, 0) == 0; ++i) {
    ::waitpid(pid, nullptr, WNOHANG);
    std::this_thread::sleep_for(10ms);
  }
}

TEST(LocalServicePort, OnlyThisMachinesNamesWithAValidPort) {
  struct Case {
    const char* host;
    std::optional<int> port;
  };
  const Case cases[] = {
      {"localhost:8936", 8936}, {"127.0.0.1:9000", 9000}, {"LocalHost:1", 1}, {"localhost", 80},
      {"127.0.0.1", 80},        {"localhost:65535", 65535}, {"localhost:0", std::nullopt},
      {"localhost:65536", std::nullopt}, {"localhost:", std::nullopt}, {"localhost:80a", std::nullopt},
      {"127.0.0.2:8936", std::nullopt}, {"logo.example:8936", std::nullopt}, {"", std::nullopt},
      {"[::1]:8936", std::nullopt}, {"localhost.example:8936", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(localServicePort(c.host), c.port) << c.host;
}

class ServiceOnDemand : public ::testing::Test {
 protected:
  ServiceOnDemand() { fs::create_directories(programFolder_); }
  ~ServiceOnDemand() override {
    for (pid_t pid : started_) endProcess(pid);
  }

  // A free loopback port for the service to listen on, and the host naming it.
  std::string freeHost() {
    port_ = test_support::freeLoopbackPort();
    return "127.0.0.1:" + std::to_string(port_);
  }
  ServiceLaunch launchOf(const fs::path& program, std::chrono::milliseconds wait = 5000ms) {
    return ServiceLaunch{program, wait, 600};
  }
  ServiceCheck ensure(const std::string& host, const ServiceLaunch& launch) {
    ServiceCheck check = ensureLocalService(host, launch);
    if (check.startedProcess > 0) started_.push_back(check.startedProcess);
    return check;
  }

  testing::ScratchWorkingFolder scratch_{std::string("on-demand-") +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name()};
  const fs::path programFolder_ = scratch_.path() / "bin";
  int port_ = 0;
  std::vector<pid_t> started_;
};

TEST_F(ServiceOnDemand, NothingListeningStartsTheServiceFromTheProgramFolderAndTheJobRuns) {
  const fs::path program = programFolder_ / kServiceProgramName;
  fs::copy_file(QUILLMARK_SERVICE_PROGRAM, program);
  const std::string host = freeHost();
  testing::FakeWindow window(Text("first"), Text("zm-1-205.png"));
  int warnings = 0;
  LogoBatchResult result;
  {
    Watchdog watchdog(60s, "starting the service and one batch");
    result = runLogoBatchWithService(window, LogoService{Text(host)}, launchOf(program),
                                     [&](const std::string&) { ++warnings; });
  }
  EXPECT_EQ(warnings, 0);
  const ServiceCheck again = ensure(host, launchOf(program));
  ASSERT_EQ(again.state, ServiceCheck::State::AlreadyRunning) << "the started service keeps running";

  // The process that listens is the program of the program folder, in a
  // session of its own.
  const std::string found = [&] {
    for (const auto& entry : fs::directory_iterator("/proc")) {
      std::error_code error;
      if (fs::read_symlink(entry.path() / "exe", error) == program) return entry.path().filename().string();
    }
    return std::string();
  }();
  ASSERT_FALSE(found.empty()) << "no process runs " << program;
  const pid_t pid = std::stoi(found);
  started_.push_back(pid);
  EXPECT_EQ(::getsid(pid), pid);

  const std::string logo = readFile(scratch_.path() / "1.png");
  ASSERT_GE(logo.size(), 8u);
  EXPECT_EQ(logo.substr(0, 4), "\x89PNG");
  EXPECT_EQ(result.passes, 1);
  EXPECT_EQ(result.saved, 1);
}

TEST_F(ServiceOnDemand, SomethingListeningIsUsedAndNothingIsStarted) {
  LoopbackServer server;
  server.handle("/logoa/logo_img_sc.php", [](const auto&) { return Answer::text("logo bytes"); });
  const fs::path program = programFolder_ / kServiceProgramName;
  writeScript(program, "touch \"$0.ran\"");
  const std::string host = "127.0.0.1:" + std::to_string(server.port());

  const ServiceCheck check = ensure(host, launchOf(program));
  EXPECT_EQ(check.state, ServiceCheck::State::AlreadyRunning);
  EXPECT_EQ(check.startedProcess, 0);

  testing::FakeWindow window(Text("a\r\nb"), Text("zm-1-205.png"));
  int warnings = 0;
  const LogoBatchResult result = runLogoBatchWithService(window, LogoService{Text(host)}, launchOf(program),
                                                         [&](const std::string&) { ++warnings; });
  EXPECT_EQ(warnings, 0);
  EXPECT_EQ(server.requests().size(), 2u);
  EXPECT_EQ(result.saved, 2);
  EXPECT_FALSE(fs::exists(program.string() + ".ran"));
}

TEST_F(ServiceOnDemand, AHostElsewhereIsNeitherCheckedNorStarted) {
  const fs::path program = programFolder_ / kServiceProgramName;
  writeScript(program, "touch \"$0.ran\"");
  const ServiceCheck check = ensure("logo.invalid:8936", launchOf(program));
  EXPECT_EQ(check.state, ServiceCheck::State::NotLocal);
  EXPECT_FALSE(fs::exists(program.string() + ".ran"));
}

// The ways a start fails: each gives Failed with a reason, one warning that
// names the host, and the batch runs all the same (into empty files).
struct FailureCase {
  const char* name;
  const char* script;  // nullptr: no program at all
  const char* problemHas;
};

const FailureCase kFailures[] = {
    {"Missing", nullptr, "No such file or directory"},
    {"NotExecutable", "", "Permission denied"},
    {"ExitsAtOnce", "exit 3", "exited at once with code 3"},
    {"NeverAccepts", "sleep 30", "did not accept connections"},
};

class ServiceStartFailure : public ServiceOnDemand, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ServiceStartFailure, WarnsOnceAndTheJobRuns) {
  const FailureCase& c = GetParam();
  const fs::path program = programFolder_ / kServiceProgramName;
  if (c.script != nullptr) writeScript(program, c.script);
  if (std::string(c.name) == "NotExecutable") fs::permissions(program, fs::perms::owner_read);
  const std::string host = freeHost();
  testing::FakeWindow window(Text("one\r\ntwo"), Text("zm-1-205.png"));
  std::vector<std::string> warnings;

  LogoBatchResult result;
  {
    Watchdog watchdog(60s, std::string("a failed start: ") + c.name);
    result = runLogoBatchWithService(window, LogoService{Text(host)}, launchOf(program, 1500ms),
                                     [&](const std::string& text) { warnings.push_back(text); });
  }
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find(host), std::string::npos) << warnings[0];
  EXPECT_NE(warnings[0].find(c.problemHas), std::string::npos) << warnings[0];
  EXPECT_EQ(result.passes, 2);
  EXPECT_EQ(result.empty, 2);
  EXPECT_TRUE(fs::exists(scratch_.path() / "1.png"));
  EXPECT_TRUE(fs::exists(scratch_.path() / "2.png"));

  if (std::string(c.name) == "NeverAccepts") {
    // The slow one is left running (it may yet accept); it is in a session of its own.
    const ServiceCheck check = ensure(host, launchOf(program, 200ms));
    EXPECT_TRUE(check.failed());
    for (const auto& entry : fs::directory_iterator("/proc")) {
      std::ifstream cmdline(entry.path() / "cmdline");
      std::string line((std::istreambuf_iterator<char>(cmdline)), {});
      if (line.find(program.string()) != std::string::npos) started_.push_back(std::stoi(entry.path().filename()));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ServiceStartFailure, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServiceOnDemand, TwoBatchesAtOnceStartOneService) {
  const fs::path program = programFolder_ / kServiceProgramName;
  fs::copy_file(QUILLMARK_SERVICE_PROGRAM, program);
  const std::string host = freeHost();
  ServiceCheck first;
  ServiceCheck second;
  {
    Watchdog watchdog(60s, "two starts at once");
    std::thread other([&] { second = ensureLocalService(host, launchOf(program)); });
    first = ensureLocalService(host, launchOf(program));
    other.join();
  }
  for (const ServiceCheck* check : {&first, &second})
    if (check->startedProcess > 0) started_.push_back(check->startedProcess);
  const int startedCount = (first.state == ServiceCheck::State::Started ? 1 : 0) +
                           (second.state == ServiceCheck::State::Started ? 1 : 0);
  EXPECT_EQ(startedCount, 1);
  EXPECT_FALSE(first.failed());
  EXPECT_FALSE(second.failed());
}

// The service program itself with --exit-when-idle, on a free port.
class IdleService {
 public:
  explicit IdleService(const char* seconds) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::string program = QUILLMARK_SERVICE_PROGRAM;
    std::vector<std::string> args = {program, "--port", "0", "--exit-when-idle", seconds};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    FILE* out = ::fdopen(fds[0], "r");
    char line[256] = {};
    if (out != nullptr && std::fgets(line, sizeof line, out) != nullptr) {
      std::cmatch match;
      if (std::regex_search(line, match, std::regex(R"(:(\d+)/)"))) port_ = std::stoi(match[1].str());
    }
    if (out != nullptr) std::fclose(out);
  }
  ~IdleService() {
    if (pid_ > 0 && !ended_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  IdleService(const IdleService&) = delete;
  IdleService& operator=(const IdleService&) = delete;

  int port() const { return port_; }
  // The exit code once it has ended; nothing while it runs.
  std::optional<int> exitCode() {
    if (ended_) return code_;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) != pid_) return std::nullopt;
    ended_ = true;
    code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    return code_;
  }
  // Waits for the end (the caller's watchdog bounds the wait).
  int waitForExit() {
    while (!exitCode()) std::this_thread::sleep_for(20ms);
    return *code_;
  }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  bool ended_ = false;
  std::optional<int> code_;
};

TEST(ExitWhenIdle, AnIdleServiceEndsItselfWithExitCodeZero) {
  IdleService service("1");
  ASSERT_GT(service.port(), 0);
  Watchdog watchdog(60s, "an idle service ending itself");
  EXPECT_EQ(service.waitForExit(), 0);
}

TEST(ExitWhenIdle, AServiceThatIsServingKeepsRunning) {
  IdleService service("1");
  ASSERT_GT(service.port(), 0);
  httplib::Client client("127.0.0.1", service.port());
  // Requests far more often than the idle second, over three of them.
  const auto until = std::chrono::steady_clock::now() + 3s;
  int answered = 0;
  while (std::chrono::steady_clock::now() < until) {
    const auto answer = client.Get("/logoa/logo_img_sc.php", httplib::Headers{{"Cookie", "tu=zm-1-205.png; txt=x"}});
    ASSERT_TRUE(answer) << "request " << answered << " got no answer";
    EXPECT_EQ(answer->status, 200);
    ++answered;
    ASSERT_EQ(service.exitCode(), std::nullopt) << "ended while serving, after " << answered << " requests";
    std::this_thread::sleep_for(200ms);
  }
  client.stop();
  Watchdog watchdog(60s, "the service ending once the requests stop");
  EXPECT_EQ(service.waitForExit(), 0);
}

}  // namespace
}  // namespace quillmark
