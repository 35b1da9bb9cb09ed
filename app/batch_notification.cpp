#include "app/batch_notification.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QMetaObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>

#include "platform/shell.h"

namespace quillmark {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kAppId = QStringLiteral("io.github.quillmark.Quillmark");
const QString kOpenAction = QStringLiteral("open");
const QString kDefaultAction = QStringLiteral("default");

QString fromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

BatchNotificationText batchNotificationText(const LogoBatchResult& result, bool markup) {
  BatchNotificationText text;
  text.summary = QString::fromUtf8("已保存 %1 个标志").arg(result.saved);
  QString body = QString::fromUtf8("%1 次未取得图片").arg(result.empty);
  if (result.notSaved > 0) body += QString::fromUtf8("，%1 个未能写入").arg(result.notSaved);
  const QString folder = fromUtf8(result.folder);
  body += QString::fromUtf8("。\n文件夹：") + (markup ? folder.toHtmlEscaped() : folder);
  text.body = body;
  return text;
}

QString folderUrl(const std::string& folder) {
  if (folder.empty()) return {};
  return QString::fromLatin1(QUrl::fromLocalFile(fromUtf8(folder)).toEncoded(QUrl::FullyEncoded));
}

void notifyBatchFinished(const LogoBatchResult& result) {
  QCoreApplication* application = QCoreApplication::instance();
  if (application == nullptr) return;
  QMetaObject::invokeMethod(
      application,
      [application, result] {
        auto* notifier = application->findChild<BatchNotifier*>(QString(), Qt::FindDirectChildrenOnly);
        if (notifier == nullptr) notifier = new BatchNotifier(application);
        notifier->send(result);
      },
      Qt::QueuedConnection);
}

BatchNotifier::BatchNotifier(QObject* parent) : QObject(parent) {}

void BatchNotifier::send(const LogoBatchResult& result) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  if (!listening_) {
    bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                SLOT(onActionInvoked(uint, QString)));
    bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                SLOT(onNotificationClosed(uint, uint)));
    listening_ = true;
  }
  const QDBusMessage ask = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetCapabilities"));
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(ask), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, result](QDBusPendingCallWatcher* call) {
    call->deleteLater();
    const QDBusPendingReply<QStringList> reply = *call;
    // No service at all: nothing to tell, and nothing to fail.
    if (reply.isError() && reply.error().type() == QDBusError::ServiceUnknown) return;
    sendWith(result, !reply.isError() && reply.value().contains(QStringLiteral("body-markup")));
  });
}

void BatchNotifier::sendWith(const LogoBatchResult& result, bool markup) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  const BatchNotificationText text = batchNotificationText(result, markup);
  QDBusMessage notify = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
  QStringList actions;
  if (!result.folder.empty())
    actions << kDefaultAction << QString::fromUtf8("打开文件夹") << kOpenAction << QString::fromUtf8("打开文件夹");
  QVariantMap hints;
  hints.insert(QStringLiteral("desktop-entry"), kAppId);
  notify << QStringLiteral("Quillmark") << uint(0) << kAppId << text.summary << text.body << actions << hints
         << int(-1);
  const QString folder = folderUrl(result.folder);
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(notify), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, folder](QDBusPendingCallWatcher* call) {
    call->deleteLater();
    const QDBusPendingReply<uint> reply = *call;
    if (reply.isError() || folder.isEmpty()) return;
    folders_[reply.value()] = folder;
  });
}

void BatchNotifier::onActionInvoked(uint id, const QString& action) {
  const auto found = folders_.find(id);
  if (found == folders_.end() || (action != kOpenAction && action != kDefaultAction)) return;
  platform::openUrl(found->second.toStdString());
}

void BatchNotifier::onNotificationClosed(uint id, uint) { folders_.erase(id); }

}  // namespace quillmark
