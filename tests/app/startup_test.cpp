#include "app/startup.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMetaObject>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

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

}  // namespace
}  // namespace quillmark
