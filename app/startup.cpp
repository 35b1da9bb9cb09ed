#include "app/startup.h"

#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

#include "platform/codepage.h"
#include "platform/dialog.h"
#include "platform/window/fatal_box.h"

namespace quillmark {
namespace {

// The folder of the program file becomes the working directory; when it
// cannot be found or entered, the working directory stays as it was.
void enterProgramFolder() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || !program.has_parent_path()) return;
  std::filesystem::current_path(program.parent_path(), error);
}

}  // namespace

void runProgram(int& argc, char** argv, MainWindow::Job job,
                const std::function<void(MainWindow&)>& whenShown) {
  enterProgramFolder();
  QApplication application(argc, argv);
  // Matches the installed desktop entry, so the desktop shows our icon and name.
  QGuiApplication::setDesktopFileName(QStringLiteral("io.github.quillmark.Quillmark"));
  platform::installQtFatalBoxPresenter();

  std::unique_ptr<MainWindow> window;
  try {
    window = std::make_unique<MainWindow>(std::move(job));
  } catch (...) {
  }
  if (!window) {
    platform::showFatalBoxAndExit(platform::utf8ToGbk("错误"), platform::utf8ToGbk("无法创建主窗口"));
  }
  window->show();
  if (whenShown) whenShown(*window);
  QApplication::exec();
  std::_Exit(0);
}

}  // namespace quillmark
