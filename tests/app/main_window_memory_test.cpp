// What a very large answer costs the real program: the window running the
// batch job against a loopback service whose logo is 200 MiB, and against one
// whose body never ends. The figures are the resident memory the process
// gains over the job (its high-water mark, reset before the job starts), so
// they hold for this process as a whole; under a sanitizer, whose own
// bookkeeping grows with every allocation, they mean nothing and the tests
// are skipped.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/logo_batch.h"
#include "app/main_window.h"
#include "app/scratch_working_folder.h"
#include "platform/winhttp/request_object.h"
#include "support/scripted_server.h"
#include "support/test_images.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUILLMARK_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QUILLMARK_UNDER_SANITIZER 1
#endif
#endif

namespace quillmark {
namespace {

namespace fs = std::filesystem;
using test_support::ScriptedReply;
using test_support::ScriptedRequest;
using test_support::ScriptedServer;

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::uint64_t kLargeLogoBytes = 200 * kMiB;

// A field of /proc/self/status in bytes ("VmRSS", "VmHWM"); 0 when unreadable.
std::uint64_t statusBytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string name;
  while (status >> name) {
    if (name == field + ":") {
      std::uint64_t kilobytes = 0;
      status >> kilobytes;
      return kilobytes * 1024;
    }
    std::getline(status, name);
  }
  return 0;
}

// Starts the high-water mark afresh at the present resident size.
bool resetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

class MainWindowMemory : public ::testing::Test {
 protected:
  MainWindowMemory()
      : smallLogo(test::writeWithQt(test::patternImage(120, 40), "png").toStdString()),
        server([this](const ScriptedRequest&) { return large ? largeReply : smallReply(); }),
        window([this](WindowOperations& operations) {
          runLogoBatch(operations, LogoService{Text("127.0.0.1:" + std::to_string(server.port()))});
          ++finishedJobs;
        }) {
    window.findChild<QPlainTextEdit*>(QString::fromUtf8("编辑框1"))->setPlainText("one");
    window.show();
  }

  void SetUp() override {
#if defined(QUILLMARK_UNDER_SANITIZER)
    GTEST_SKIP() << "memory figures mean nothing under a sanitizer";
#endif
    // A first small job, so that what any job needs once is there already.
    ASSERT_TRUE(runJob());
  }

  ScriptedReply smallReply() const { return ScriptedReply::response(200, "OK", {"Content-Type: image/png"}, smallLogo); }

  // Runs one job of one title; false when it has not ended within a minute.
  bool runJob() {
    const int before = finishedJobs;
    QTest::mouseClick(window.findChild<QPushButton*>(QString::fromUtf8("按钮1")), Qt::LeftButton);
    for (int i = 0; i < 6000 && finishedJobs == before; ++i) QTest::qWait(10);
    return finishedJobs == before + 1;
  }

  // The resident bytes the process gained at most while `large` was served.
  std::uint64_t peakOfLargeJob() {
    large = true;
    const std::uint64_t before = statusBytes("VmRSS");
    EXPECT_TRUE(resetPeak());
    EXPECT_TRUE(runJob());
    const std::uint64_t peak = statusBytes("VmHWM");
    large = false;
    return peak > before ? peak - before : 0;
  }

  const std::string smallLogo;
  std::atomic<bool> large{false};
  ScriptedReply largeReply;
  ScriptedServer server;
  std::atomic<int> finishedJobs{0};
  testing::ScratchWorkingFolder scratch{"window-memory"};
  MainWindow window;
};

TEST_F(MainWindowMemory, ALargeLogoIsHeldAtMostTwiceOnItsWay) {
  // A real PNG at the front (shown in the box), pattern bytes after its end.
  largeReply.bytes = "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: " +
                     std::to_string(kLargeLogoBytes) + "\r\n\r\n" + smallLogo;
  largeReply.patternBytes = kLargeLogoBytes - smallLogo.size();
  const std::uint64_t peak = peakOfLargeJob();
  EXPECT_EQ(fs::file_size(scratch.path() / "1.png"), kLargeLogoBytes);
  RecordProperty("PeakMiB", std::to_string(peak / kMiB));
  // Received once, handed on without copies, copied once more to be written.
  EXPECT_LT(peak, kLargeLogoBytes * 5 / 2) << peak / kMiB << " MiB";
}

TEST_F(MainWindowMemory, AnEndlessBodyCostsTheLimitAndIsGivenBack) {
  largeReply.bytes = "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\n\r\n";
  largeReply.patternBytes = test_support::kEndless;
  largeReply.then = ScriptedReply::Then::Close;
  const std::uint64_t before = statusBytes("VmRSS");
  const std::uint64_t peak = peakOfLargeJob();
  EXPECT_EQ(fs::file_size(scratch.path() / "1.png"), 0u) << "a refused body leaves an empty file";
  RecordProperty("PeakMiB", std::to_string(peak / kMiB));
  EXPECT_LT(peak, platform::winhttp::kMaxResponseBodyBytes * 5 / 4) << peak / kMiB << " MiB";
  EXPECT_LT(statusBytes("VmRSS"), before + 32 * kMiB) << "what was read is freed";
  // And the next job fetches its logo as ever.
  ASSERT_TRUE(runJob());
  EXPECT_EQ(fs::file_size(scratch.path() / "1.png"), smallLogo.size());
}

}  // namespace
}  // namespace quillmark
