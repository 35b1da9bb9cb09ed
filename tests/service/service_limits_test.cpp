// What a client can make the service do, whatever it sends: every case is
// sent as raw bytes over loopback to a server in this process.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "service/logo_renderer.h"
#include "service/logo_request.h"
#include "service/logo_service.h"
#include "service/raw_http.h"
#include "support/watchdog.h"

namespace quillmark::service {
namespace {

using testing::RawConnection;
using testing::RawResponse;

// The PNG the service draws for this Cookie value, drawn here directly.
std::string expectedLogo(const std::string& cookie) {
  const ParsedLogoRequest parsed = parseLogoRequest(cookie);
  return parsed.error == LogoRequestError::none ? renderLogoPng(parsed.request) : std::string();
}

class ServiceLimitsTest : public ::testing::Test {
 protected:
  // A long idle time-out, so that a request stuck behind other connections
  // would wait far longer than any watchdog here allows.
  void SetUp() override { startWith(ServerLimits{.idleTimeoutSeconds = 120}); }

  void startWith(ServerLimits limits) {
    server_.emplace(limits);
    const std::optional<int> port = server_->start("127.0.0.1", 0);
    ASSERT_TRUE(port.has_value()) << "the server did not start";
    port_ = *port;
  }

  // A well-formed logo request on a connection of its own is answered with
  // the right logo.
  void expectServed() {
    const std::string cookie = "tu=zm-1-205.png; txt=Served";
    RawConnection connection(port_);
    ASSERT_TRUE(connection.send(testing::logoRequest(cookie)));
    const std::optional<RawResponse> answer = connection.readResponse();
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->status, 200);
    EXPECT_EQ(answer->body, expectedLogo(cookie));
  }

  std::optional<LogoServer> server_;
  int port_ = 0;
};

// Loopback source addresses other than 127.0.0.1, so that the clients that
// hold connections stay under the limit per address.
std::string otherAddress(int i) { return "127.0.1." + std::to_string(1 + i / 16); }

struct Crowd {
  const char* what;
  int connections;
  // Opens connection number i and brings it to the state of the case.
  std::function<bool(RawConnection&, int)> open;
  // Sends a little more on every connection, every half second, while the
  // well-formed request waits (nothing for the idle cases).
  bool trickle;
};

TEST_F(ServiceLimitsTest, AWellFormedRequestIsAnsweredWhateverOtherConnectionsDo) {
  const Crowd crowds[] = {
      {"64 silent connections", 64, [](RawConnection&, int) { return true; }, false},
      {"64 idle keep-alive clients", 64,
       [](RawConnection& c, int) {
         return c.send(testing::getRequest(kAboutPath)) && c.readResponse().has_value();
       },
       false},
      {"16 clients sending a header byte every half second", 16,
       [](RawConnection& c, int) { return c.send("GET /logoa/logo_img_sc.php HTTP/1.1\r\nCookie: txt="); }, true},
  };
  for (const Crowd& crowd : crowds) {
    SCOPED_TRACE(crowd.what);
    std::vector<RawConnection> others;
    for (int i = 0; i < crowd.connections; ++i) {
      others.emplace_back(port_, otherAddress(i));
      ASSERT_TRUE(others.back().connected());
      ASSERT_TRUE(crowd.open(others.back(), i));
    }
    std::atomic<bool> done{false};
    std::thread trickler([&] {
      while (crowd.trickle && !done) {
        for (RawConnection& c : others) c.send("a");
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
      }
    });
    {
      test_support::Watchdog watchdog(std::chrono::seconds(30), crowd.what);
      expectServed();
    }
    done = true;
    trickler.join();
  }
}

TEST_F(ServiceLimitsTest, OneAddressGetsNoMoreThanItsShareOfConnections) {
  constexpr unsigned kShare = ServerLimits{}.maxConnectionsPerAddress;
  std::vector<RawConnection> held;
  for (unsigned i = 0; i < kShare; ++i) {
    held.emplace_back(port_, "127.0.2.1");
    ASSERT_TRUE(held.back().connected());
  }
  // Each connection holds a half request, so the server has surely taken it.
  for (RawConnection& c : held) ASSERT_TRUE(c.send("GET / HTTP/1.1\r\n"));
  RawConnection extra(port_, "127.0.2.1");
  EXPECT_TRUE(extra.closedByPeer());
  // The held ones are still open, and other addresses are served.
  ASSERT_TRUE(held.front().send("Host: x\r\n\r\n"));
  const auto answer = held.front().readResponse();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 404);
  expectServed();
}

struct ExactBytes {
  const char* what;
  std::string cookie;      // as sent
  std::string seen;        // the Cookie text the page is drawn from
};

TEST_F(ServiceLimitsTest, HeaderBytesReachThePageAsSent) {
  const ExactBytes cases[] = {
      {"percent signs are not decoded", "tu=zm-1-205.png; txt=A%42C", "tu=zm-1-205.png; txt=A%42C"},
      {"an escaped separator stays in the title", "txt=x%3B%20y", "txt=x%3B%20y"},
      {"an escaped zero byte is three bytes", "a=%00; txt=t", "a=%00; txt=t"},
      {"high, tab and DEL bytes", "txt=\x81\x40\xfe\x7f\t\xb5\xda", "txt=\x81\x40\xfe\x7f\t\xb5\xda"},
      {"quotes and backslashes", "txt=\"a\\b\"", "txt=\"a\\b\""},
      // The HTTP layer ends a header value at a zero byte; the page sees
      // the bytes before it, which the cookie rules read as they stand.
      {"a zero byte ends the value", std::string("tu=zm-1-205.png; txt=ab\0cd", 26), "tu=zm-1-205.png; txt=ab"},
  };
  for (const ExactBytes& c : cases) {
    SCOPED_TRACE(c.what);
    RawConnection connection(port_);
    ASSERT_TRUE(connection.send(testing::logoRequest(c.cookie)));
    const auto answer = connection.readResponse();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
    EXPECT_EQ(answer->body, expectedLogo(c.seen));
  }
  // A zero byte before "txt=" leaves no title to draw.
  RawConnection connection(port_);
  ASSERT_TRUE(connection.send(testing::logoRequest(std::string("a=\0; txt=t", 10))));
  const auto answer = connection.readResponse();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 400);
}

TEST_F(ServiceLimitsTest, PipelinedRequestsGetOneAnswerEachInOrder) {
  const std::vector<std::string> cookies = {"txt=one", "tu=zw-147.png; txt=two", "txt=\xb5\xda\xc8\xfd"};
  std::string requests;
  for (const std::string& cookie : cookies) requests += testing::logoRequest(cookie);
  requests += testing::getRequest(kAboutPath);
  RawConnection connection(port_);
  ASSERT_TRUE(connection.send(requests));
  for (const std::string& cookie : cookies) {
    const auto answer = connection.readResponse();
    ASSERT_TRUE(answer) << cookie;
    EXPECT_EQ(answer->status, 200);
    EXPECT_EQ(answer->body, expectedLogo(cookie)) << cookie;
  }
  const auto about = connection.readResponse();
  ASSERT_TRUE(about);
  EXPECT_EQ(about->body, answerAboutPage().body);
}

TEST_F(ServiceLimitsTest, AHalfClosedRequestIsAnswered) {
  RawConnection connection(port_);
  ASSERT_TRUE(connection.send(testing::logoRequest("txt=half")));
  connection.shutdownWrite();
  const auto answer = connection.readResponse();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
  EXPECT_EQ(answer->body, expectedLogo("txt=half"));
}

TEST_F(ServiceLimitsTest, TheBodyOfAGetIsNeverRunAsARequest) {
  const std::string smuggled = testing::getRequest("/smuggled");
  RawConnection connection(port_);
  ASSERT_TRUE(connection.send(testing::logoRequest(
      "txt=body", {"Content-Length: " + std::to_string(smuggled.size())})));
  ASSERT_TRUE(connection.send(smuggled));
  ASSERT_TRUE(connection.send(testing::getRequest(kAboutPath)));
  const auto first = connection.readResponse();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->body, expectedLogo("txt=body"));
  // Had the body been taken for a request, this would be its 404.
  const auto second = connection.readResponse();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->status, 200);
  EXPECT_EQ(second->body, answerAboutPage().body);
}

struct Oversized {
  const char* what;
  std::string head;  // what is sent
  int status;        // the answer, after which the connection is closed
};

TEST_F(ServiceLimitsTest, OversizedRequestsGetTheirAnswerAndTheConnectionIsClosed) {
  std::string manyLines = "GET /logoa/logo_img_sc.php HTTP/1.1\r\nHost: x\r\n";
  for (int i = 0; i < 100'000; ++i) manyLines += "X-A: b\r\n";
  const Oversized cases[] = {
      {"a request line of 20 KB", testing::getRequest("/" + std::string(20'000, 'a')), 414},
      {"a header line of 20 KB", testing::logoRequest("txt=" + std::string(20'000, 'a')), 431},
      {"100,000 header lines", manyLines + "\r\n", 431},
      {"an unterminated header line of 1 MB",
       "GET / HTTP/1.1\r\nX-Long: " + std::string(1 << 20, 'a'), 431},
      {"a declared body over 64 KB",
       testing::logoRequest("txt=a", {"Content-Length: 70000"}), 413},
      {"a body for a page that takes none",
       "POST /logoa/logo_img_sc.php HTTP/1.1\r\nHost: x\r\nContent-Encoding: gzip\r\nContent-Length: 65536\r\n\r\n",
       404},
  };
  for (const Oversized& c : cases) {
    SCOPED_TRACE(c.what);
    RawConnection connection(port_);
    connection.send(c.head);  // may fail part-way once the server has answered and closed
    const auto answer = connection.readResponse();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, c.status);
    EXPECT_TRUE(connection.closedByPeer());
  }
}

TEST_F(ServiceLimitsTest, AChunkedBodyIsNotReadBeyondTheLimit) {
  RawConnection connection(port_);
  ASSERT_TRUE(connection.send("GET /logoa/logo_img_sc.php HTTP/1.1\r\nHost: x\r\nCookie: txt=a\r\n"
                              "Transfer-Encoding: chunked\r\n\r\n"));
  const std::string chunk = "10000\r\n" + std::string(0x10000, 'z') + "\r\n";
  bool sentAll = true;
  for (int i = 0; i < 768 && sentAll; ++i) sentAll = connection.send(chunk);  // 48 MiB
  EXPECT_FALSE(sentAll) << "the server took the whole body";
  EXPECT_TRUE(connection.closedByPeer());
}

TEST_F(ServiceLimitsTest, RangeIsIgnored) {
  const std::string cookie = "tu=kc-96.png; txt=Range";
  std::string ranges = "Range: bytes=0-3";
  std::string overlapping = "Range: bytes=";
  for (int i = 0; i < 2'700; ++i) overlapping += (i == 0 ? "" : ",") + std::string("0-");
  for (const std::string& range : {ranges, overlapping}) {
    RawConnection connection(port_);
    ASSERT_TRUE(connection.send(testing::logoRequest(cookie, {range})));
    const auto answer = connection.readResponse();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 200);
    EXPECT_EQ(answer->body, expectedLogo(cookie));
    EXPECT_EQ(answer->header("content-range"), "");
  }
}

TEST_F(ServiceLimitsTest, HeadGetsTheHeadersAlone) {
  RawConnection connection(port_);
  ASSERT_TRUE(connection.send("HEAD /logoa/logo_img_sc.php HTTP/1.1\r\nHost: x\r\nCookie: txt=a\r\n\r\n"));
  const auto answer = connection.readResponse(std::chrono::seconds(30), true);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
  EXPECT_EQ(answer->header("content-length"), std::to_string(expectedLogo("txt=a").size()));
  // Nothing follows the headers: the next answer on the connection is whole.
  ASSERT_TRUE(connection.send(testing::getRequest(kAboutPath)));
  const auto next = connection.readResponse();
  ASSERT_TRUE(next);
  EXPECT_EQ(next->body, answerAboutPage().body);
}

TEST_F(ServiceLimitsTest, AnIdleConnectionIsClosed) {
  startWith(ServerLimits{.idleTimeoutSeconds = 1});
  RawConnection silent(port_);
  RawConnection kept(port_);
  ASSERT_TRUE(kept.send(testing::getRequest(kAboutPath)));
  ASSERT_TRUE(kept.readResponse());
  EXPECT_TRUE(silent.closedByPeer());
  EXPECT_TRUE(kept.closedByPeer());
}

TEST_F(ServiceLimitsTest, ServingEndsWhenIdleButNeverWhileARequestIsServed) {
  std::atomic<bool> ended{false};
  RawConnection connection(port_);
  // A request whose body is still on its way is being served.
  ASSERT_TRUE(connection.send(testing::logoRequest("txt=slow", {"Content-Length: 10"}) + "12345"));
  while (server_->requestsInProgress() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::thread serving([&] {
    server_->serve(std::chrono::milliseconds(200));
    ended = true;
  });
  // Many idle periods pass while the request is open.
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_FALSE(ended);
  ASSERT_TRUE(connection.send("67890"));
  const auto answer = connection.readResponse();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
  {
    test_support::Watchdog watchdog(std::chrono::seconds(30), "serve() after the last request");
    serving.join();
  }
  EXPECT_TRUE(ended);
}

}  // namespace
}  // namespace quillmark::service
