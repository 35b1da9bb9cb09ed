#include "app/startup.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMetaObject>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
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

}  // namespace
}  // namespace quillmark
