// The shipped window program's job on the real window: the warning box when
// the local service cannot be started, and the end-of-batch notification,
// seen by a small notification server of our own on a private session bus
// (a dbus-daemon this test program starts and ends).
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "app/batch_notification.h"
#include "app/scratch_working_folder.h"
#include "app/startup.h"
#include "platform/shell.h"
#include "support/loopback_server.h"

extern char** environ;

namespace quillmark {
namespace {

namespace fs = std::filesystem;
using test_support::Answer;
using test_support::LoopbackServer;

// A notification service as the desktop runs one: keeps what it was shown.
class NotificationServer : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  struct Shown {
    uint id = 0;
    QString appName;
    QString icon;
    QString summary;
    QString body;
    QStringList actions;
    QVariantMap hints;
  };
  std::vector<Shown> shown;

 public slots:
  QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body")}; }
  uint Notify(const QString& appName, uint, const QString& icon, const QString& summary, const QString& body,
              const QStringList& actions, const QVariantMap& hints, int) {
    shown.push_back({static_cast<uint>(shown.size() + 41), appName, icon, summary, body, actions, hints});
    return shown.back().id;
  }
  void CloseNotification(uint) {}
};

// The private session bus, for the whole test program.
class PrivateBus {
 public:
  PrivateBus() {
    const fs::path folder = fs::temp_directory_path() / ("quillmark-bus-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    config_ = folder / "session.conf";
    std::ofstream(config_) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                              " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                              "<busconfig><type>session</type><listen>unix:path="
                           << (folder / "bus").string()
                           << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                              "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                              "<allow own=\"*\"/></policy></busconfig>\n";
    int fds[2];
    if (::pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::string program = "dbus-daemon";
    std::string configArg = "--config-file=" + config_.string();
    std::string nofork = "--nofork";
    std::string print = "--print-address=1";
    char* argv[] = {program.data(), configArg.data(), nofork.data(), print.data(), nullptr};
    if (posix_spawnp(&pid_, program.c_str(), &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    FILE* out = ::fdopen(fds[0], "r");
    char line[512] = {};
    if (out != nullptr && std::fgets(line, sizeof line, out) != nullptr) {
      address_ = line;
      while (!address_.empty() && (address_.back() == '\n' || address_.back() == '\r')) address_.pop_back();
    }
    if (out != nullptr) std::fclose(out);
  }
  ~PrivateBus() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    fs::remove_all(config_.parent_path(), ignored);
  }
  const std::string& address() const { return address_; }

 private:
  pid_t pid_ = -1;
  fs::path config_;
  std::string address_;
};

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The real window running the shipped job against a loopback "service"
// whose first answer is a logo and every later one empty.
class ShippedJob : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    bus_ = new PrivateBus;
    ASSERT_FALSE(bus_->address().empty()) << "dbus-daemon gave no address";
    ::setenv("DBUS_SESSION_BUS_ADDRESS", bus_->address().c_str(), 1);
    server_ = new NotificationServer;
    QDBusConnection connection = QDBusConnection::connectToBus(QString::fromStdString(bus_->address()),
                                                               QStringLiteral("notification-server"));
    ASSERT_TRUE(connection.isConnected());
    ASSERT_TRUE(connection.registerObject(QStringLiteral("/org/freedesktop/Notifications"), server_,
                                          QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(connection.registerService(QStringLiteral("org.freedesktop.Notifications")));
  }
  static void TearDownTestSuite() {
    QDBusConnection::disconnectFromBus(QStringLiteral("notification-server"));
    delete server_;
    delete bus_;
  }

  ShippedJob() {
    server_->shown.clear();
    service.handle("/logoa/logo_img_sc.php", [this](const auto&) {
      std::lock_guard lock(mutex);
      return Answer::text(answered++ == 0 ? "\x89PNG logo" : "");
    });
    platform::setUrlHandler([this](const std::string& url) { opened.push_back(url); });
  }
  ~ShippedJob() override { platform::setUrlHandler({}); }

  void runBatch(MainWindow& window, const char* titles) {
    window.show();
    window.findChild<QPlainTextEdit*>(QString::fromUtf8("编辑框1"))->setPlainText(QString::fromUtf8(titles));
    QTest::mouseClick(window.findChild<QPushButton*>(QString::fromUtf8("按钮1")), Qt::LeftButton);
  }

  static inline PrivateBus* bus_ = nullptr;
  static inline NotificationServer* server_ = nullptr;
  std::mutex mutex;
  int answered = 0;
  LoopbackServer service;
  std::vector<std::string> opened;
  testing::ScratchWorkingFolder scratch{"shipped-job"};
};

TEST_F(ShippedJob, TheNotificationSaysWhatWasSavedAndWhereAndOpensTheFolder) {
  MainWindow window(logoJob(LogoService{Text("127.0.0.1:" + std::to_string(service.port()))},
                            ServiceLaunch{scratch.path() / "no-such-service"}));
  runBatch(window, "first\nsecond\nthird");
  QTRY_COMPARE_WITH_TIMEOUT(server_->shown.size(), size_t(1), 60000);

  const NotificationServer::Shown& shown = server_->shown.front();
  EXPECT_EQ(shown.appName.toStdString(), "Quillmark");
  EXPECT_EQ(shown.icon.toStdString(), "io.github.quillmark.Quillmark");
  EXPECT_EQ(shown.summary.toStdString(), "已保存 1 个标志");
  EXPECT_EQ(shown.body.toStdString(), "2 次未取得图片。\n文件夹：" + scratch.path().string());
  EXPECT_TRUE(shown.actions.contains(QStringLiteral("open")));
  EXPECT_EQ(shown.hints.value(QStringLiteral("desktop-entry")).toString().toStdString(),
            "io.github.quillmark.Quillmark");
  EXPECT_EQ(readFile(scratch.path() / "1.png"), "\x89PNG logo");
  for (QWidget* widget : QApplication::topLevelWidgets())
    EXPECT_FALSE(qobject_cast<QMessageBox*>(widget) != nullptr && widget->isVisible()) << "no warning: the service runs";

  // The user picks the notification's action: the folder opens.
  QDBusMessage action = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                   QStringLiteral("org.freedesktop.Notifications"),
                                                   QStringLiteral("ActionInvoked"));
  action << shown.id << QStringLiteral("open");
  QDBusConnection(QStringLiteral("notification-server")).send(action);
  QTRY_COMPARE_WITH_TIMEOUT(opened.size(), size_t(1), 10000);
  EXPECT_EQ(opened[0], "file://" + scratch.path().string());
  QTest::qWait(100);
  EXPECT_EQ(server_->shown.size(), 1u) << "one notification per batch";
}

TEST_F(ShippedJob, AServiceThatCannotBeStartedIsNamedInOneWarningAndTheJobRuns) {
  const test_support::RefusedPort refused;
  const std::string host = "localhost:" + std::to_string(refused.port());
  MainWindow window(logoJob(LogoService{Text(host)}, ServiceLaunch{scratch.path() / "no-such-service"}));
  runBatch(window, "one\ntwo");
  QTRY_COMPARE_WITH_TIMEOUT(server_->shown.size(), size_t(1), 60000);

  std::vector<QMessageBox*> boxes;
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) boxes.push_back(box);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0]->icon(), QMessageBox::Warning);
  EXPECT_NE(boxes[0]->text().toStdString().find(host), std::string::npos) << boxes[0]->text().toStdString();
  boxes[0]->close();

  EXPECT_EQ(server_->shown.front().summary.toStdString(), "已保存 0 个标志");
  EXPECT_TRUE(fs::exists(scratch.path() / "1.png"));
  EXPECT_EQ(readFile(scratch.path() / "2.png"), "");
}

// With no session bus the batch is the same and nothing fails; run in a
// process of its own, whose bus was never reached.
[[noreturn]] void batchWithoutABus(int port) {
  testing::ScratchWorkingFolder scratch("shipped-job-no-bus");
  MainWindow window(logoJob(LogoService{Text("127.0.0.1:" + std::to_string(port))},
                            ServiceLaunch{scratch.path() / "no-such-service"}));
  window.show();
  window.findChild<QPlainTextEdit*>(QString::fromUtf8("编辑框1"))->setPlainText("a\nb");
  QTest::mouseClick(window.findChild<QPushButton*>(QString::fromUtf8("按钮1")), Qt::LeftButton);
  for (int i = 0; i < 6000 && !fs::exists(scratch.path() / "2.png"); ++i) QTest::qWait(10);
  QTest::qWait(500);  // the notification's turn on the GUI thread, and its failure
  std::fprintf(stderr, "1.png %s, 2.png %s\n", readFile(scratch.path() / "1.png").c_str(),
               fs::exists(scratch.path() / "2.png") ? "exists" : "missing");
  std::_Exit(0);
}

TEST(ShippedJobDeathTest, WithoutASessionBusTheBatchIsUnchanged) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  LoopbackServer service;
  service.handle("/logoa/logo_img_sc.php", [](const auto&) { return Answer::text("logo"); });
  const char* previous = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const std::string kept = previous != nullptr ? previous : "";
  ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/quillmark-bus", 1);
  EXPECT_EXIT(batchWithoutABus(service.port()), ::testing::ExitedWithCode(0), "1.png logo, 2.png exists");
  if (previous != nullptr) {
    ::setenv("DBUS_SESSION_BUS_ADDRESS", kept.c_str(), 1);
  } else {
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
  }
}

}  // namespace
}  // namespace quillmark

#include "shipped_job_test.moc"
