#include "platform/shell.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

#include <mutex>

namespace quillmark::platform {
namespace {

std::mutex handlerMutex;
UrlHandler currentHandler;

void openWithDesktop(const std::string& urlUtf8) {
  QDesktopServices::openUrl(QUrl(QString::fromStdString(urlUtf8)));
}

}  // namespace

void openUrl(std::string_view urlUtf8) {
  UrlHandler handler;
  {
    std::lock_guard lock(handlerMutex);
    handler = currentHandler;
  }
  const std::string url(urlUtf8);
  if (handler) {
    handler(url);
  } else {
    openWithDesktop(url);
  }
}

void setUrlHandler(UrlHandler handler) {
  std::lock_guard lock(handlerMutex);
  currentHandler = std::move(handler);
}

}  // namespace quillmark::platform
