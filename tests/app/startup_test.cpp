#include "app/startup.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMetaObject>
#include <QPushButton>
#include <QTimer>

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

extern char** environ;

namespace quillmark {
namespace {

// Runs the program as start-up does, clicks 按钮1, and once the job runs
// closes the window. The job never ends on its own: it keeps working the
// window until the process goes.
[[noreturn]] void runAndCloseDuringAJob() {
  if (chdir("/") != 0) std::_Exit(3);
  int argc = 1;
  char name[] = "quillmark";
  char* argv[] = {name, nullptr};
  runProgram(
      argc, argv,
      [](WindowOperations& window) {
        std::error_code error;
        const bool inProgramFolder =
            std::filesystem::current_path() ==
            std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
        std::fprintf(stderr, "job running, in program folder: %d\n", inProgramFolder ? 1 : 0);
        QMetaObject::invokeMethod(
            qApp, [] { QApplication::topLevelWidgets().front()->close(); }, Qt::QueuedConnection);
        for (int n = 0;; ++n) {
          window.writeCaption(Text(std::to_string(n)));
          window.readEditText(EditBox::Templates);
        }
      },
      [](MainWindow& window) {
        QTimer::singleShot(0, &window, [&window] {
          window.findChild<QPushButton*>(QString::fromUtf8("按钮1"))->click();
        });
      });
}

TEST(StartUpDeathTest, ClosingTheWindowEndsTheProcessWhileAJobRuns) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(runAndCloseDuringAJob(), testing::ExitedWithCode(0),
              "job running, in program folder: 1");
}

// With no window system to reach, the program's fatal error goes to standard
// error and the exit code is -1, instead of Qt's abort.
[[noreturn]] void runWithoutADisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) ::unsetenv(name);
  int argc = 1;
  char name[] = "quillmark";
  char* argv[] = {name, nullptr};
  runProgram(argc, argv, {}, [](MainWindow&) {
    std::fprintf(stderr, "a window was shown\n");
    std::_Exit(0);
  });
}

TEST(StartUpDeathTest, WithoutAWindowSystemTheFatalErrorGoesToStandardError) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(runWithoutADisplay(), testing::ExitedWithCode(255), "错误\n无法连接到窗口系统");
}

// Qt's own options on the command line change nothing: the platform stays
// the one QT_QPA_PLATFORM names, the layout left to right.
[[noreturn]] void runWithQtOptions() {
  int argc = 5;
  char name[] = "quillmark";
  char reverse[] = "-reverse";
  char platformOption[] = "-platform";
  char platformName[] = "minimal";
  char style[] = "-style=windows";
  char* argv[] = {name, reverse, platformOption, platformName, style, nullptr};
  runProgram(argc, argv, {}, [](MainWindow& window) {
    std::fprintf(stderr, "platform %s, right to left %d, arguments %d\n",
                 QGuiApplication::platformName().toUtf8().constData(),
                 window.layoutDirection() == Qt::RightToLeft ? 1 : 0,
                 static_cast<int>(QCoreApplication::arguments().size()));
    std::_Exit(0);
  });
}

TEST(StartUpDeathTest, QtOptionsOnTheCommandLineAreNotObeyed) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(runWithQtOptions(), testing::ExitedWithCode(0), "platform offscreen, right to left 0, arguments 1");
}

// Starts an X server of its own, which ends itself once its last client has
// gone, and returns its display (":N"); empty when it cannot be started.
std::string startOwnXServer() {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::string args[] = {"Xvfb", "-displayfd", std::to_string(fds[1]), "-terminate", "-nolisten", "tcp",
                        "-screen", "0", "640x480x24"};
  char* argv[std::size(args) + 1] = {};
  for (size_t i = 0; i < std::size(args); ++i) argv[i] = args[i].data();
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, "Xvfb", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  std::string number;
  char c = 0;
  while (error == 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  ::close(fds[0]);
  return number.empty() ? std::string() : ":" + number;
}

// On a real X server a caption written empty shows as an empty title, not as
// the program's name, and the window keeps its class for the desktop. A
// caption after it shows as it is.
[[noreturn]] void showCaptionsOnX11() {
  const std::string display = startOwnXServer();
  if (display.empty()) {
    std::fprintf(stderr, "Xvfb could not be started\n");
    std::_Exit(3);
  }
  ::setenv("DISPLAY", display.c_str(), 1);
  ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  int argc = 1;
  char name[] = "quillmark";
  char* argv[] = {name, nullptr};
  runProgram(argc, argv, {}, [](MainWindow& window) {
    const auto shown = [&window] {
      QApplication::sync();
      const std::string command = "xprop -id " + std::to_string(window.winId()) + " _NET_WM_NAME WM_CLASS";
      std::string lines;
      if (FILE* xprop = ::popen(command.c_str(), "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, xprop) != nullptr)
          lines += "[" + std::string(line, std::strcspn(line, "\n")) + "]";
        ::pclose(xprop);
      }
      return lines;
    };
    window.writeCaption(Text());
    const std::string empty = shown();
    window.writeCaption(gbk("标题 [*]"));
    std::fprintf(stderr, "%s\n%s\n", empty.c_str(), shown().c_str());
    std::_Exit(0);
  });
}

TEST(StartUpDeathTest, AnEmptyCaptionShowsAnEmptyTitleOnX11) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(showCaptionsOnX11(), testing::ExitedWithCode(0),
              "\\[_NET_WM_NAME\\(UTF8_STRING\\) = \\]\\[WM_CLASS\\(STRING\\) = \"quillmark\", [^]]*\\]\n"
              "\\[_NET_WM_NAME\\(UTF8_STRING\\) = \"标题 \\[\\*\\]\"\\]");
}

}  // namespace
}  // namespace quillmark
