#include "service/logo_service.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/logo_batch.h"
#include "platform/codepage.h"
#include "service/logo_renderer.h"
#include "service/raw_http.h"

namespace quillmark::service {
namespace {

// A server of its own for every test: a server that cannot start fails the
// test in SetUp() (a failure in SetUpTestSuite() would only skip the tests).
class LogoServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::optional<int> port = server_.start("127.0.0.1", 0);
    ASSERT_TRUE(port.has_value()) << "the server did not start";
    port_ = *port;
  }

  // One request on a connection of its own; nothing when no answer came.
  std::optional<testing::RawResponse> get(const std::string& path, std::optional<std::string> cookie) {
    testing::RawConnection connection(port_);
    std::vector<std::string> extra;
    if (cookie) extra.push_back("Cookie: " + *cookie);
    if (!connection.send(testing::getRequest(path, extra))) return std::nullopt;
    return connection.readResponse();
  }

  // The batch job's request for one logo; the body, or "" on any failure.
  std::string logo(std::string_view templateName, std::string_view titleUtf8) {
    const auto result = get(kLogoPath, cookieFor(templateName, titleUtf8));
    if (!result || result->status != 200) return {};
    return result->body;
  }

  static std::string cookieFor(std::string_view templateName, std::string_view titleUtf8) {
    return std::string(logoCookieText(Text(templateName), Text(platform::utf8ToGbk(titleUtf8))).view());
  }

  static QImage decode(const std::string& png) {
    QImage image;
    image.loadFromData(reinterpret_cast<const uchar*>(png.data()), static_cast<int>(png.size()), "PNG");
    return image;
  }

  LogoServer server_;
  int port_ = 0;
};

// The part of the logo right of the icon, where the title and accent go.
QImage titleArea(const QImage& logo) { return logo.copy(130, 0, logo.width() - 130, logo.height()); }
QImage iconArea(const QImage& logo) { return logo.copy(0, 0, 120, logo.height()); }

bool hasPixelNear(const QImage& image, QColor color, int tolerance) {
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (std::abs(c.red() - color.red()) <= tolerance && std::abs(c.green() - color.green()) <= tolerance &&
          std::abs(c.blue() - color.blue()) <= tolerance)
        return true;
    }
  return false;
}

TEST_F(LogoServiceTest, TheToolsRequestGetsAPngLogo) {
  const auto result = get(kLogoPath, cookieFor("zm-1-205.png", "第三方影院"));
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  EXPECT_EQ(result->header("content-type"), "image/png");
  const QImage image = decode(result->body);
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), QSize(kLogoWidth, kLogoHeight));
  // The title is drawn in the default title colour.
  EXPECT_TRUE(hasPixelNear(titleArea(image), QColor(0x44, 0x44, 0x44), 8));
}

TEST_F(LogoServiceTest, TheCjkFontIsThere) { EXPECT_TRUE(titleFontAvailable()); }

TEST_F(LogoServiceTest, OneRequestTwiceGivesTheSameBytes) {
  const std::string first = logo("tb8-142.png", "一行一个标题");
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(logo("tb8-142.png", "一行一个标题"), first);
}

TEST_F(LogoServiceTest, TwoTemplatesGiveTwoIconsWithTheSameTitle) {
  const QImage a = decode(logo("zm-1-205.png", "标题"));
  const QImage b = decode(logo("zm-1-206.png", "标题"));
  ASSERT_FALSE(a.isNull());
  ASSERT_FALSE(b.isNull());
  EXPECT_NE(iconArea(a), iconArea(b));
  EXPECT_EQ(titleArea(a), titleArea(b));
}

TEST_F(LogoServiceTest, ChineseTitlesAreDrawn) {
  const QImage empty = decode(logo("jz-1-110.png", ""));
  const QImage one = decode(logo("jz-1-110.png", "第三方影院"));
  const QImage other = decode(logo("jz-1-110.png", "第三方影视"));
  ASSERT_FALSE(empty.isNull());
  ASSERT_FALSE(one.isNull());
  EXPECT_NE(titleArea(one), titleArea(empty));
  EXPECT_NE(titleArea(one), titleArea(other));
  EXPECT_EQ(iconArea(one), iconArea(empty));
}

TEST_F(LogoServiceTest, ColoursComeFromTheCookie) {
  const QImage red = decode(get(kLogoPath, "txtcolor=ff0000; minicolor=0000ff; tu=kc-96.png; txt=Logo")->body);
  ASSERT_FALSE(red.isNull());
  EXPECT_TRUE(hasPixelNear(titleArea(red), QColor(0xff, 0, 0), 4));
  EXPECT_TRUE(hasPixelNear(titleArea(red), QColor(0, 0, 0xff), 4));
  // Malformed colours are the defaults.
  const auto malformed = get(kLogoPath, "txtcolor=red; minicolor=12345; tu=kc-96.png; txt=Logo");
  const auto defaults = get(kLogoPath, "txtcolor=444444; minicolor=666666; tu=kc-96.png; txt=Logo");
  ASSERT_TRUE(malformed && defaults);
  EXPECT_EQ(malformed->body, defaults->body);
}

struct BadInput {
  const char* what;
  std::string path;
  std::optional<std::string> cookie;
  int status;
};

TEST_F(LogoServiceTest, BadInputGetsItsAnswer) {
  const BadInput cases[] = {
      {"no cookie", kLogoPath, std::nullopt, 400},
      {"no txt", kLogoPath, "tu=zm-1-205.png; txtcolor=444444", 400},
      {"title of 1001 bytes", kLogoPath, "tu=zm-1-205.png; txt=" + std::string(1001, 'a'), 413},
      {"title of 4000 bytes", kLogoPath, "tu=zm-1-205.png; txt=" + std::string(4000, 'a'), 413},
      {"title of 1000 bytes", kLogoPath, "tu=zm-1-205.png; txt=" + std::string(1000, 'a'), 200},
      {"root", "/", std::string("txt=a"), 404},
      {"other page", "/logoa/other.php", std::string("txt=a"), 404},
      {"below the logo page", std::string(kLogoPath) + "/x", std::string("txt=a"), 404},
      {"query string", std::string(kLogoPath) + "?a=1", std::string("txt=a"), 200},
  };
  for (const BadInput& c : cases) {
    SCOPED_TRACE(c.what);
    const auto result = get(c.path, c.cookie);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, c.status);
    if (c.status != 200) {
      EXPECT_FALSE(result->body.empty());
      EXPECT_EQ(result->header("content-type").rfind("text/plain", 0), 0u);
    }
  }
}

TEST_F(LogoServiceTest, UnknownTemplatesGetTheDefaultIcon) {
  const QImage missing = decode(get(kLogoPath, std::string("txt=a"))->body);
  const QImage unknown = decode(logo("nonsense.gif", "a"));
  const QImage traversal = decode(logo("../../etc/passwd", "a"));
  const QImage known = decode(logo("zm-1-205.png", "a"));
  ASSERT_FALSE(missing.isNull());
  ASSERT_FALSE(unknown.isNull());
  EXPECT_EQ(iconArea(unknown), iconArea(missing));
  EXPECT_EQ(iconArea(traversal), iconArea(missing));
  EXPECT_NE(iconArea(known), iconArea(missing));
}

TEST_F(LogoServiceTest, TitlesThatAreNotCodePage936StillGetALogo) {
  // A lone lead byte, a byte no character starts with, and a lead byte with
  // a trail byte out of range.
  for (const std::string& title : {std::string("\x81"), std::string("\xff\xff"), std::string("ab\x81\x20" "cd")}) {
    const auto result = get(kLogoPath, "tu=fn-2-3.png; txt=" + title);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    const QImage image = decode(result->body);
    ASSERT_FALSE(image.isNull());
    EXPECT_NE(titleArea(image), titleArea(decode(get(kLogoPath, std::string("tu=fn-2-3.png; txt="))->body)));
  }
}

TEST_F(LogoServiceTest, UndecodableAndPrivateUseBytesShowTheSameReplacementCharacter) {
  // 0x81 alone cannot be decoded; 0xFF and 0xAA 0xA1 decode to private-use
  // characters that no font has.
  const std::string lone = get(kLogoPath, std::string("tu=fn-2-3.png; txt=a\x81"))->body;
  ASSERT_FALSE(lone.empty());
  EXPECT_EQ(get(kLogoPath, std::string("tu=fn-2-3.png; txt=a\xff"))->body, lone);
  EXPECT_EQ(get(kLogoPath, std::string("tu=fn-2-3.png; txt=a\xaa\xa1"))->body, lone);
}

TEST_F(LogoServiceTest, ACookieSplitOverTwoHeadersIsReadWhole) {
  testing::RawConnection connection(port_);
  ASSERT_TRUE(connection.send(testing::getRequest(kLogoPath, {"Cookie: tu=zm-1-205.png", "cookie: txt=a"})));
  const auto result = connection.readResponse();
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  EXPECT_EQ(result->body, get(kLogoPath, std::string("tu=zm-1-205.png; txt=a"))->body);
}

TEST_F(LogoServiceTest, TheAboutPageIsHtml) {
  const auto result = get(kAboutPath, std::nullopt);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  EXPECT_EQ(result->header("content-type"), "text/html; charset=utf-8");
  EXPECT_NE(result->body.find("Quillmark"), std::string::npos);
}

TEST_F(LogoServiceTest, ConcurrentClientsGetTheSameLogosAsOneClient) {
  const std::vector<std::string> names = {"tb-1-2.png", "zm-3-4.png", "dw5-6.png", "rw-7.png",
                                          "zw-8-9.png", "jz-1-110.png", "fn-2-(3).png", "yu-4-5.png"};
  std::vector<std::string> expected;
  for (const std::string& name : names) expected.push_back(logo(name, "并发"));
  constexpr int kThreads = 4;
  std::vector<std::vector<std::string>> got(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      testing::RawConnection connection(port_);  // one keep-alive connection per thread
      for (int round = 0; round < 3; ++round)
        for (const std::string& name : names) {
          std::optional<testing::RawResponse> result;
          if (connection.send(testing::logoRequest(cookieFor(name, "并发")))) result = connection.readResponse();
          got[static_cast<std::size_t>(t)].push_back(result && result->status == 200 ? result->body : "");
        }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const auto& bodies : got) {
    ASSERT_EQ(bodies.size(), 3 * names.size());
    for (std::size_t i = 0; i < bodies.size(); ++i) EXPECT_EQ(bodies[i], expected[i % names.size()]) << names[i % names.size()];
  }
}

TEST(LogoServer, ReportsAnAddressItCannotBind) {
  LogoServer first;
  const std::optional<int> port = first.start("127.0.0.1", 0);
  ASSERT_TRUE(port);
  LogoServer second;
  EXPECT_FALSE(second.bind("127.0.0.1", *port));  // taken, and no SO_REUSEPORT sharing
  EXPECT_FALSE(second.bind("not an address", 0));
  EXPECT_FALSE(second.bind("", 0));
  EXPECT_FALSE(second.bind("127.0.0.1", 65536));
  EXPECT_FALSE(second.startServing());  // never bound
  EXPECT_FALSE(second.serve());
  second.stop();                        // harmless
  first.stop();
  first.stop();
  EXPECT_FALSE(first.startServing());   // stopped for good
}

TEST(LogoServer, AdoptsASocketMadeElsewhere) {
  std::optional<ListeningSocket> socket = bindListeningSocket("127.0.0.1", 0);
  ASSERT_TRUE(socket);
  const int port = socket->port();
  LogoServer server;
  EXPECT_FALSE(server.adopt(ListeningSocket()));
  EXPECT_EQ(server.adopt(std::move(*socket)), port);
  EXPECT_FALSE(server.bind("127.0.0.1", 0));  // it has a socket already
  ASSERT_TRUE(server.startServing());
  testing::RawConnection connection(port);
  ASSERT_TRUE(connection.send(testing::getRequest(kAboutPath)));
  const auto answer = connection.readResponse();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
}

}  // namespace
}  // namespace quillmark::service
