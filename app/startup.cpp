#include "app/startup.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>

#include "app/batch_notification.h"
#include "app/working_folder.h"
#include "platform/codepage.h"
#include "platform/dialog.h"
#include "platform/window/fatal_box.h"

namespace quillmark {
namespace {

[[noreturn]] void fatal(const std::string& textUtf8) {
  platform::showFatalBoxAndExit(platform::utf8ToGbk("错误"), platform::utf8ToGbk(textUtf8));
}

// While the application is being created, a fatal message from Qt means its
// window platform could not be started: Qt would abort with its own text.
// The program's fatal error (on standard error, since no box can be shown)
// and its exit code take its place.
std::atomic<bool> startingWindowSystem{false};
QtMessageHandler qtHandler = nullptr;

void onQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtFatalMsg && startingWindowSystem) {
    if (qtHandler != nullptr) qtHandler(QtWarningMsg, context, message);
    fatal("无法连接到窗口系统，程序无法启动。");
  }
  if (qtHandler != nullptr) qtHandler(type, context, message);
}

// Qt keeps a reference to the count and the array for the application's life.
int qtArgc = 1;
char* qtArgv[] = {nullptr, nullptr};

void enterWorkingFolder() {
  const WorkingFolderChoice choice = chooseWorkingFolder(placesOfThisProgram());
  if (choice.folder.empty()) fatal("无法创建保存标志的文件夹：" + choice.problem);
  if (::chdir(choice.folder.c_str()) != 0)
    fatal("无法进入保存标志的文件夹：" + choice.folder.string() + ": " + std::strerror(errno));
}

}  // namespace

void runProgram(int&, char** argv, MainWindow::Job job, const std::function<void(MainWindow&)>& whenShown) {
  static char fallbackName[] = "quillmark";
  qtArgv[0] = argv != nullptr && argv[0] != nullptr ? argv[0] : fallbackName;

  qtHandler = qInstallMessageHandler(&onQtMessage);
  startingWindowSystem = true;
  QApplication application(qtArgc, qtArgv);
  startingWindowSystem = false;
  // Matches the installed desktop entry, so the desktop shows our icon and name.
  QGuiApplication::setDesktopFileName(QStringLiteral("io.github.quillmark.Quillmark"));
  // Qt formats every window title with the display name, and without one it
  // shows the program's name for an empty title. An empty display name adds
  // nothing to a title and, with the null title MainWindow gives an empty
  // caption, leaves the title bar empty.
  QGuiApplication::setApplicationDisplayName(QStringLiteral(""));
  platform::installQtFatalBoxPresenter();

  enterWorkingFolder();

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

void showWarningBox(const std::string& textUtf8) {
  QCoreApplication* application = QCoreApplication::instance();
  if (qobject_cast<QApplication*>(application) == nullptr) return;
  const QString text = QString::fromUtf8(textUtf8.data(), static_cast<qsizetype>(textUtf8.size()));
  QMetaObject::invokeMethod(
      application,
      [text] {
        QWidget* parent = QApplication::activeWindow();
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Quillmark"), text, QMessageBox::Ok, parent);
        box->setObjectName(QStringLiteral("serviceWarning"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
      },
      Qt::QueuedConnection);
}

MainWindow::Job logoJob(LogoService service, ServiceLaunch launch) {
  return [service = std::move(service), launch = std::move(launch)](WindowOperations& window) {
    const LogoBatchResult result = runLogoBatchWithService(window, service, launch, &showWarningBox);
    notifyBatchFinished(result);
  };
}

}  // namespace quillmark
