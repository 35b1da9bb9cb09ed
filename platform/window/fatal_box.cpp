#include "platform/window/fatal_box.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include <cstdio>
#include <string>

#include "platform/dialog.h"
#include "platform/window/thread_call.h"

namespace quillmark::platform {

void presentFatalBoxWithQt(std::string_view titleUtf8, std::string_view textUtf8) {
  auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
  if (application == nullptr) {
    std::string lines;
    lines.append(titleUtf8).append("\n").append(textUtf8).append("\n");
    std::fwrite(lines.data(), 1, lines.size(), stderr);
    std::fflush(stderr);
    return;
  }
  const QString title = QString::fromUtf8(titleUtf8.data(), static_cast<qsizetype>(titleUtf8.size()));
  const QString text = QString::fromUtf8(textUtf8.data(), static_cast<qsizetype>(textUtf8.size()));
  callOnThreadOf(application, [application, &title, &text] {
    // Closing the box must not end the event loop: the program could then
    // finish normally before the process ends with the error's exit code.
    application->setQuitOnLastWindowClosed(false);
    QMessageBox::critical(nullptr, title, text);
  });
}

void installQtFatalBoxPresenter() noexcept { setFatalBoxPresenter(&presentFatalBoxWithQt); }

}  // namespace quillmark::platform
