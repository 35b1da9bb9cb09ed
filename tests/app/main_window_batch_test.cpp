// The whole program path once: clicks on the real window run the real batch
// job against a loopback logo service.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>

#include "app/logo_batch.h"
#include "app/main_window.h"
#include "app/scratch_working_folder.h"
#include "platform/window/picture_box.h"
#include "support/loopback_server.h"
#include "support/test_images.h"

namespace quillmark {
namespace {

namespace fs = std::filesystem;
using test_support::Answer;
using test_support::LoopbackServer;
using test_support::SeenRequest;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class MainWindowBatch : public ::testing::Test {
 protected:
  MainWindowBatch()
      : logo(test::writeWithQt(test::patternImage(120, 40), "png").toStdString()),
        window([this](WindowOperations& operations) {
          runLogoBatch(operations, LogoService{Text("127.0.0.1:" + std::to_string(server.port()))});
          ++finishedJobs;
        }) {
    server.handle("/logoa/logo_img_sc.php", [this](const SeenRequest&) {
      Answer answer;
      answer.contentType = "image/png";
      answer.body = logo;
      return answer;
    });
    window.show();
  }

  // Serves the GUI thread's events until `jobs` jobs have ended (or a minute
  // has passed, so that a fault shows as a failure rather than a hang).
  bool waitForJobs(int jobs) {
    for (int i = 0; i < 6000 && finishedJobs < jobs; ++i) QTest::qWait(10);
    return finishedJobs == jobs;
  }
  void clickStart() {
    QTest::mouseClick(window.findChild<QPushButton*>(QString::fromUtf8("按钮1")), Qt::LeftButton);
  }

  const std::string logo;
  LoopbackServer server;
  std::atomic<int> finishedJobs{0};
  testing::ScratchWorkingFolder scratch{"window-batch"};
  const fs::path& folder = scratch.path();
  MainWindow window;
};

TEST_F(MainWindowBatch, AClickMakesOneLogoPerTitle) {
  window.findChild<QPlainTextEdit*>(QString::fromUtf8("编辑框1"))->setPlainText(QString::fromUtf8("第一个\nsecond"));
  clickStart();
  ASSERT_TRUE(waitForJobs(1));

  ASSERT_EQ(server.requests().size(), 2u);
  EXPECT_NE(server.requests()[0].header("Cookie").find("; txt=" + gbk("第一个").bytes() + "; mt_a="),
            std::string::npos);
  EXPECT_EQ(readFile(folder / "1.png"), logo);
  EXPECT_EQ(readFile(folder / "2.png"), logo);
  EXPECT_EQ(window.readCaption().view(), "second");
  EXPECT_EQ(window.windowTitle(), "second");
  EXPECT_FALSE(window.findChild<platform::PictureBox*>(QString::fromUtf8("图片框1"))->image().isNull())
      << "the last logo is shown";
}

TEST_F(MainWindowBatch, TwoClicksRunTwoJobsSideBySide) {
  // The first request is held until a second request for the first title
  // arrives. One job's passes run one after the other, so only a second job
  // running beside the first can send that; were the jobs run in turn, the
  // hold would end at its time limit (under the job's 15 s time-out) alone.
  std::mutex mutex;
  std::condition_variable arrival;
  int firstTitleRequests = 0;
  bool heldUntilTheOtherJobAsked = false;
  server.handle("/logoa/logo_img_sc.php", [&](const SeenRequest& request) {
    std::unique_lock lock(mutex);
    if (request.header("Cookie").find("; txt=a; ") != std::string::npos && ++firstTitleRequests == 1) {
      heldUntilTheOtherJobAsked =
          arrival.wait_for(lock, std::chrono::seconds(10), [&] { return firstTitleRequests > 1; });
    }
    arrival.notify_all();
    Answer answer;
    answer.contentType = "image/png";
    answer.body = logo;
    return answer;
  });
  window.findChild<QPlainTextEdit*>(QString::fromUtf8("编辑框1"))->setPlainText("a\nb\nc");
  clickStart();
  clickStart();
  ASSERT_TRUE(waitForJobs(2));
  {
    std::lock_guard lock(mutex);
    EXPECT_TRUE(heldUntilTheOtherJobAsked);
  }
  EXPECT_EQ(server.requests().size(), 6u);
  for (const char* name : {"1.png", "2.png", "3.png"}) EXPECT_EQ(readFile(folder / name), logo) << name;
}

}  // namespace
}  // namespace quillmark
