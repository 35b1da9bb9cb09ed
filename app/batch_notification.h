// The desktop notification at the end of a batch: how many logos were saved,
// how many passes got nothing, and in which folder, with an action that opens
// the folder.
//
// It goes to the freedesktop notification service over the session bus
// (org.freedesktop.Notifications). Without a session bus or a notification
// service nothing is shown and nothing fails: the calls are asynchronous and
// their errors are dropped. Opening the folder goes through the shell
// stand-in (platform/shell) with the folder's file:// URL.
#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>

#include <map>

#include "app/logo_batch.h"

namespace quillmark {

// The notification's texts for `result`, in UTF-8 as Qt holds them. The
// summary names the number saved; the body says how many passes got nothing
// (and how many could not be written, when any) and names the folder. With
// `markup` the folder is escaped for the notification body markup.
struct BatchNotificationText {
  QString summary;
  QString body;
};
BatchNotificationText batchNotificationText(const LogoBatchResult& result, bool markup);

// The file:// URL of `folder` (UTF-8), with the bytes a URL cannot carry
// escaped as %XX; empty for an empty folder.
QString folderUrl(const std::string& folder);

// Sends the end-of-batch notification from any thread: it is handed to the
// application's thread and sent from there, and this returns at once. Does
// nothing when no application exists, or (there) without a session bus.
// One notification per call.
void notifyBatchFinished(const LogoBatchResult& result);

// The receiver on the application's thread that sends the notifications and
// opens a folder when its action is chosen. notifyBatchFinished makes one
// when needed; tests may make their own.
class BatchNotifier : public QObject {
  Q_OBJECT

 public:
  explicit BatchNotifier(QObject* parent = nullptr);

  // Asks the notification service what it shows (body markup or not), then
  // sends the notification. Call on the notifier's thread.
  void send(const LogoBatchResult& result);

 private slots:
  void onActionInvoked(uint id, const QString& action);
  void onNotificationClosed(uint id, uint reason);

 private:
  void sendWith(const LogoBatchResult& result, bool markup);

  bool listening_ = false;
  std::map<uint, QString> folders_;  // shown notification id → the folder it names
};

}  // namespace quillmark
