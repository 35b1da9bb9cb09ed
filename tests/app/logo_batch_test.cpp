// The batch job with a fake window, against the recording request object and
// against a loopback logo service.
#include "app/logo_batch.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "app/fake_window.h"
#include "app/scratch_working_folder.h"
#include "data/name_value_list.h"
#include "platform/codepage.h"
#include "support/loopback_server.h"
#include "support/recording_request.h"
#include "text/helpers.h"
#include "text/primitives.h"

namespace quillmark {
namespace {

namespace fs = std::filesystem;
using testing::FakeWindow;
using test_support::Answer;
using test_support::LoopbackServer;
using test_support::RecordingRequest;
using test_support::ScopedRecordingRequest;
using test_support::SeenRequest;

const std::string kTemplates = "zm-1-205.png\r\ntb8-142.png\r\nz-(100).png\r\njz-1-110.png";
const std::set<std::string> kTemplateNames = {"zm-1-205.png", "tb8-142.png", "z-(100).png", "jz-1-110.png"};
const std::string kCookieStart = "zitia=z134.ttf; miniziti=bmxy.ttf; txtcolor=444444; minicolor=666666; tu=";
const std::string kCookieEnd = "; monitor_count=3";

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The template name and the title a Cookie text carries.
struct CookieParts {
  std::string templateName;
  std::string title;
};

CookieParts splitCookie(const std::string& cookie) {
  const std::string beforeTitle = "; leixing=logo;";
  const size_t templateEnd = cookie.find(beforeTitle);
  const size_t titleStart = cookie.find("; txt=") + 6;
  const size_t titleEnd = cookie.find("; mt_a=");
  return {cookie.substr(kCookieStart.size(), templateEnd - kCookieStart.size()),
          cookie.substr(titleStart, titleEnd - titleStart)};
}

// Runs each test in a fresh working directory of its own.
class LogoBatch : public ::testing::Test {
 protected:
  testing::ScratchWorkingFolder scratch_{std::string("batch-") +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name()};
  const fs::path& folder_ = scratch_.path();
};

TEST(LogoCookieText, HasItsSevenPiecesInOrder) {
  const Text cookie = logoCookieText(Text("tb-10-406.png"), gbk("标题"));
  const std::string expected =
      kCookieStart + "tb-10-406.png" +
      "; leixing=logo; down_a=logozw-2-118.png123z134.ttfbmxy.ttf444444666666; bianhao=214767; txt=" +
      gbk("标题").bytes() +
      "; mt_a=%B5%DA%C8%FD%B7%BD%D3%B0%D4%BAz134.ttfbmxy.ttf;went=logo%2Ft20200109%2F157857831928608.png; "
      "went_z=logo%2Ft20200109%2F157857831914565z.png; ";
  ASSERT_EQ(cookie.view().substr(0, expected.size()), expected);
  ASSERT_TRUE(cookie.view().ends_with(kCookieEnd));

  // The five analytics cookies between them, in their forms and lengths.
  const std::string analytics(cookie.view().substr(expected.size(), cookie.view().size() -
                                                                         expected.size() - kCookieEnd.size()));
  const TextArray items = splitText(Text(analytics), Text("; "));
  ASSERT_EQ(items.size(), 5);
  auto valueOf = [&](int i) { return std::string(textAfter(items.at(i), Text("="), -1).view()); };
  auto nameOf = [&](int i) { return std::string(textBefore(items.at(i), Text("=")).view()); };
  EXPECT_EQ(nameOf(1), "__guid");
  EXPECT_THAT(valueOf(1), ::testing::MatchesRegex("[0-9]{9}\\.[0-9]{19}\\.[0-9]{13}\\.[0-9]{3}"));
  EXPECT_EQ(nameOf(2), "UM_distinctid");
  EXPECT_THAT(valueOf(2), ::testing::MatchesRegex("[0-9a-f]{13}-[0-9a-f]{14}-[0-9a-f]{8}-[0-9a-f]{5}-[0-9a-f]{14}"));
  EXPECT_THAT(nameOf(3), ::testing::MatchesRegex("Hm_lvt_[0-9a-f]{32}"));
  EXPECT_THAT(valueOf(3), ::testing::MatchesRegex("[0-9]{10},[0-9]{10},[0-9]{10},[0-9]{10}"));
  EXPECT_THAT(nameOf(4), ::testing::MatchesRegex("CNZZDATA[0-9]{7}"));
  EXPECT_THAT(valueOf(4), ::testing::MatchesRegex("cnzz_eid%3D[0-9]{9}-[0-9]{10}-null%26ntime%3D[0-9]{10}"));
  EXPECT_EQ(nameOf(5), "Hm_lpvt_" + nameOf(3).substr(7));
  EXPECT_THAT(valueOf(5), ::testing::MatchesRegex("[0-9]{10}"));
  EXPECT_EQ(valueOf(1).size(), 47u);
  EXPECT_EQ(valueOf(2).size(), 58u);
  EXPECT_EQ(valueOf(3).size(), 43u);
  EXPECT_EQ(valueOf(4).size(), 57u);
}

TEST_F(LogoBatch, EachPassSendsTheCookieAndTheGrowingHeaderBlock) {
  ScopedRecordingRequest recording;
  RecordingRequest::Reply reply;
  reply.body = {0x89, 'P', 'N', 'G', 0x00};
  recording.object().setReply(reply);
  FakeWindow window(Text("one\r\ntwo\r\nthree"), Text(kTemplates));
  const LogoService service{Text("logo.test:8936")};

  runLogoBatch(window, service);

  EXPECT_EQ(recording.creations(), 3) << "one request object per pass";
  const auto opens = recording.object().callsOf(u"Open");
  ASSERT_EQ(opens.size(), 3u);
  for (const auto& open : opens)
    EXPECT_EQ(open.text(), "Open(BSTR(\"GET\"), BSTR(\"http://logo.test:8936/logoa/logo_img_sc.php\"), BOOL(0))");
  EXPECT_EQ(recording.object().callsOf(u"SetTimeouts").at(0).text(),
            "SetTimeouts(I4(15000), I4(15000), I4(15000), I4(15000))");

  // The header calls of each pass: the Cookie, then the block, whose seven
  // lines repeat once more every pass; "Connection: keep-alive" is never sent.
  const std::vector<std::string> lines = {
      "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,image/webp,image/apng,*/*;q=0.8",
      "Accept-Language: zh-CN,zh;q=0.9",
      "Host: logo.test:8936",
      "Referer: http://logo.test:8936/logoa/wenzi.php",
      "Upgrade-Insecure-Requests: 1",
      "User-Agent: Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
      "Chrome/63.0.3239.132 Safari/537.36"};
  std::vector<std::vector<std::string>> passes(1);
  for (const auto& call : recording.object().calls()) {
    if (call.member == u"Send") passes.emplace_back();
    if (call.member != u"SetRequestHeader") continue;
    const auto name = platform::fromUtf16(0, call.arguments.at(0).asString());
    const auto value = platform::fromUtf16(0, call.arguments.at(1).asString());
    passes.back().push_back(name + ": " + value);
  }
  passes.pop_back();
  ASSERT_EQ(passes.size(), 3u);
  const char* titles[] = {"one", "two", "three"};
  for (size_t pass = 0; pass < 3; ++pass) {
    const auto& calls = passes[pass];
    ASSERT_EQ(calls.size(), 1 + 6 * (pass + 1)) << "pass " << pass + 1;
    const CookieParts cookie = splitCookie(calls[0].substr(std::string("Cookie: ").size()));
    EXPECT_TRUE(kTemplateNames.count(cookie.templateName)) << cookie.templateName;
    EXPECT_EQ(cookie.title, titles[pass]);
    for (size_t i = 1; i < calls.size(); ++i) EXPECT_EQ(calls[i], lines[(i - 1) % 6]) << "pass " << pass + 1;
  }

  EXPECT_EQ(window.readCaption().view(), "three");
  for (const char* name : {"1.png", "2.png", "3.png"})
    EXPECT_EQ(readFile(folder_ / name), std::string("\x89PNG\0", 5)) << name;
}

TEST(LogoRequestHeaders, ThePassThreeBlockHoldsTwentyOneLines) {
  NameValueList headers;
  const LogoService service{Text("h")};
  for (int pass = 1; pass <= 3; ++pass) addLogoRequestHeaders(headers, service);
  const Text block = headers.toHeaderBlock(false);
  EXPECT_EQ(countLines(block), 21);
  EXPECT_EQ(lineAt(block, 3).view(), "Connection: keep-alive");
  EXPECT_EQ(lineAt(block, 18).view(), lineAt(block, 4).view());
  EXPECT_EQ(lineAt(block, 21).view().substr(0, 12), "User-Agent: ");
}

class LogoBatchOnLoopback : public LogoBatch {
 protected:
  void SetUp() override {
    LogoBatch::SetUp();
    server_.handle("/logoa/logo_img_sc.php", [this](const SeenRequest&) {
      const int n = ++served_;
      Answer answer;
      answer.contentType = "image/png";
      answer.body = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(static_cast<size_t>(100 * n), char(n));
      return answer;
    });
    service_.host = Text("127.0.0.1:" + std::to_string(server_.port()));
  }
  LoopbackServer server_;
  LogoService service_;
  std::atomic<int> served_{0};
};

TEST_F(LogoBatchOnLoopback, TwoTitlesGiveTwoRequestsAndTwoFiles) {
  writeFile(folder_ / "1.png", std::string(5000, 'x'));  // an older file is overwritten
  FakeWindow window(concatText(gbk("中文标题"), Text("\r\nsecond")), Text(kTemplates));
  runLogoBatch(window, service_);

  const auto requests = server_.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].requestLine, "GET /logoa/logo_img_sc.php HTTP/1.1");
  const CookieParts first = splitCookie(requests[0].header("Cookie"));
  EXPECT_EQ(first.title, gbk("中文标题").bytes()) << "the title arrives as its code page 936 bytes";
  EXPECT_TRUE(kTemplateNames.count(first.templateName));
  EXPECT_TRUE(requests[0].header("Cookie").starts_with(kCookieStart));
  EXPECT_TRUE(requests[0].header("Cookie").ends_with(kCookieEnd));
  EXPECT_EQ(splitCookie(requests[1].header("Cookie")).title, "second");
  EXPECT_EQ(requests[1].header("Host"), service_.host.bytes());
  EXPECT_EQ(requests[1].header("Referer"), "http://" + service_.host.bytes() + "/logoa/wenzi.php");
  EXPECT_EQ(requests[1].header("Accept-Language"), "zh-CN,zh;q=0.9");
  EXPECT_EQ(requests[1].headerCount("Connection"), 1);

  EXPECT_EQ(readFile(folder_ / "1.png"), std::string("\x89PNG\r\n\x1a\n", 8) + std::string(100, '\x01'));
  EXPECT_EQ(readFile(folder_ / "2.png"), std::string("\x89PNG\r\n\x1a\n", 8) + std::string(200, '\x02'));
  EXPECT_EQ(window.readCaption().view(), "second");
  ASSERT_EQ(window.pictures().size(), 2u);
  EXPECT_EQ(window.pictures()[1].view(), readFile(folder_ / "2.png"));
}

TEST_F(LogoBatchOnLoopback, TheInitialTextIsOnePass) {
  FakeWindow window(gbk("一行一个标题"), Text(kTemplates));
  runLogoBatch(window, service_);
  ASSERT_EQ(server_.requests().size(), 1u);
  EXPECT_EQ(splitCookie(server_.lastRequest().header("Cookie")).title, gbk("一行一个标题").bytes());
  EXPECT_TRUE(fs::exists(folder_ / "1.png"));
  EXPECT_FALSE(fs::exists(folder_ / "2.png"));
}

TEST_F(LogoBatchOnLoopback, AnEmptyTitleBoxRunsNoPass) {
  FakeWindow window{Text(), Text(kTemplates)};
  runLogoBatch(window, service_);
  EXPECT_TRUE(server_.requests().empty());
  EXPECT_TRUE(window.captions().empty());
  EXPECT_TRUE(fs::is_empty(folder_));
}

TEST_F(LogoBatchOnLoopback, RemovedLinesKeepTheNumberOfPasses) {
  FakeWindow window(Text("a\r\nb\r\nc"), Text(kTemplates));
  // Once the count is taken, the box is cut to one line.
  window.onTitlesRead = [](int reads, Text& titles) {
    if (reads == 1) titles = Text("a");
  };
  runLogoBatch(window, service_);
  const auto requests = server_.requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(splitCookie(requests[0].header("Cookie")).title, "a");
  EXPECT_EQ(splitCookie(requests[1].header("Cookie")).title, "");
  EXPECT_EQ(splitCookie(requests[2].header("Cookie")).title, "");
  EXPECT_TRUE(fs::exists(folder_ / "3.png"));
}

TEST_F(LogoBatchOnLoopback, ABodyThatIsNoImageIsWrittenUnchanged) {
  server_.handle("/logoa/logo_img_sc.php",
                 [](const SeenRequest&) { return Answer::text("<html>server error</html>", 500); });
  FakeWindow window(Text("t"), Text(kTemplates));
  runLogoBatch(window, service_);
  EXPECT_EQ(readFile(folder_ / "1.png"), "<html>server error</html>");
}

TEST_F(LogoBatch, AFailedRequestLeavesAnEmptyFileAndTheJobGoesOn) {
  writeFile(folder_ / "1.png", "old");
  FakeWindow window(Text("a\r\nb"), Text(kTemplates));
  const test_support::RefusedPort refused;
  runLogoBatch(window, LogoService{Text("127.0.0.1:" + std::to_string(refused.port()))});
  EXPECT_EQ(window.captions().size(), 2u);
  ASSERT_TRUE(fs::exists(folder_ / "1.png"));
  ASSERT_TRUE(fs::exists(folder_ / "2.png"));
  EXPECT_EQ(fs::file_size(folder_ / "1.png"), 0u);
  EXPECT_EQ(fs::file_size(folder_ / "2.png"), 0u);
}

TEST_F(LogoBatch, AFileAnotherWriterHoldsIsLeftAlone) {
  writeFile(folder_ / "1.png", "held");
  const int held = ::open((folder_ / "1.png").c_str(), O_RDONLY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  ScopedRecordingRequest recording;
  RecordingRequest::Reply reply;
  reply.body = {'n', 'e', 'w'};
  recording.object().setReply(reply);
  FakeWindow window(Text("a\r\nb"), Text(kTemplates));
  runLogoBatch(window, LogoService{Text("h")});
  ::close(held);
  EXPECT_EQ(readFile(folder_ / "1.png"), "held");
  EXPECT_EQ(readFile(folder_ / "2.png"), "new");
}

}  // namespace
}  // namespace quillmark
