// webRequest with the real request object against servers on loopback.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/com/com.h"
#include "platform/winhttp/request_object.h"
#include "support/loopback_server.h"
#include "text/primitives.h"
#include "web/web_request.h"

namespace quillmark {
namespace {

using test_support::Answer;
using test_support::Certificate;
using test_support::LoopbackServer;
using test_support::RawServer;
using test_support::Scheme;
using test_support::SeenRequest;

TEST(WebRequestLoopback, SendsTheRequestAsTheRoutineBuiltIt) {
  LoopbackServer server;
  server.handle("/form", [](const SeenRequest&) { return Answer::text("created", 201); });
  const Text url(server.url("/form?x=1"));
  Text cookies(concatText(Text("Cookie: name="), gbk("中文")));
  Text headers("x-custom: 1\r\nconnection: keep-alive");
  int status = 0;
  const ByteBuffer body = webRequest(url, {.method = 1,
                                           .body = Text("a=1&b=2"),
                                           .cookies = &cookies,
                                           .headers = &headers,
                                           .statusCode = &status});
  EXPECT_EQ(body.view(), "created");
  EXPECT_EQ(status, 201);

  const SeenRequest seen = server.lastRequest();
  EXPECT_EQ(seen.requestLine, "POST /form?x=1 HTTP/1.1");
  EXPECT_EQ(seen.body, "a=1&b=2");
  EXPECT_EQ(seen.header("Cookie"), "name=" + gbk("中文").bytes()) << "the cookie goes as code page 936 bytes";
  EXPECT_EQ(seen.header("X-Custom"), "1");
  EXPECT_EQ(seen.header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(seen.header("Referer"), url.bytes());
  EXPECT_EQ(seen.header("Accept-Language"), "zh-cn");
  EXPECT_EQ(seen.header("User-Agent"), "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)");
  // Capitalised "Connection: keep-alive" is not the exact skipped line, so it is sent.
  EXPECT_EQ(seen.headerCount("Connection"), 1);
  EXPECT_EQ(seen.header("Content-Length"), "7");
  EXPECT_FALSE(seen.hasHeader("Expect"));
}

TEST(WebRequestLoopback, CollectsAndMergesTheCookiesOfARealResponse) {
  LoopbackServer server;
  server.handle("/c", [](const SeenRequest&) {
    Answer answer = Answer::text("ok");
    answer.headers = {{"Set-Cookie", "lang=en; Path=/"}, {"Set-Cookie", "theme=deleted"}, {"X", "y"}};
    return answer;
  });
  Text cookies("lang=fr; theme=dark; keep=1");
  Text returned;
  Text responseHeaders;
  webRequest(Text(server.url("/c")),
             {.cookies = &cookies, .returnedCookies = &returned, .responseHeaders = &responseHeaders});
  EXPECT_EQ(cookies.view(), "lang=en; keep=1");
  EXPECT_EQ(returned.view(), "lang=en; keep=1");
  EXPECT_THAT(std::string(responseHeaders.view()), ::testing::HasSubstr("Set-Cookie: lang=en; Path=/\r\n"));
  EXPECT_TRUE(responseHeaders.view().ends_with("\r\n\r\n"));
}

TEST(WebRequestLoopback, RedirectsAreFollowedUnlessDisabled) {
  LoopbackServer server;
  server.handle("/from", [](const SeenRequest&) { return Answer::redirect("/to"); });
  server.handle("/to", [](const SeenRequest&) { return Answer::text("arrived"); });
  int status = 0;
  EXPECT_EQ(webRequest(Text(server.url("/from")), {.statusCode = &status}).view(), "arrived");
  EXPECT_EQ(status, 200);
  const ByteBuffer body = webRequest(Text(server.url("/from")), {.statusCode = &status, .disableRedirects = true});
  EXPECT_EQ(status, 302);
  EXPECT_EQ(server.lastRequest().target, "/from");
  EXPECT_NE(body.view(), "arrived");
}

TEST(WebRequestLoopback, ARedirectElsewhereGetsNeitherTheCookiesNorTheHost) {
  // As the batch job calls it: its own Host and a Cookie holding the title.
  LoopbackServer service;
  LoopbackServer elsewhere;
  service.handle("/logo", [&](const SeenRequest&) { return Answer::redirect(elsewhere.url("/taken")); });
  const std::string host = "127.0.0.1:" + std::to_string(service.port());
  Text cookies(concatText(Text("tu=a.png; txt="), gbk("标题")));
  Text headers(Text("Host: " + host + "\r\nAccept-Language: zh-CN"));
  const ByteBuffer body = webRequest(Text(service.url("/logo")), {.cookies = &cookies, .headers = &headers});
  EXPECT_EQ(body.view(), "ok");
  EXPECT_EQ(service.lastRequest().header("Cookie"), "tu=a.png; txt=" + gbk("标题").bytes());
  EXPECT_EQ(service.lastRequest().header("Host"), host);
  const SeenRequest taken = elsewhere.lastRequest();
  ASSERT_EQ(taken.target, "/taken");
  EXPECT_FALSE(taken.hasHeader("Cookie")) << taken.header("Cookie");
  EXPECT_EQ(taken.header("Host"), "127.0.0.1:" + std::to_string(elsewhere.port()));
  EXPECT_EQ(taken.header("Accept-Language"), "zh-CN");
}

TEST(WebRequestLoopback, SelfSignedCertificatesAreForgiven) {
  // The routine always ignores the four certificate error kinds, so an
  // HTTPS server with a throwaway certificate answers.
  for (Certificate certificate : {Certificate::Localhost, Certificate::WrongName, Certificate::Expired}) {
    LoopbackServer server(Scheme::Https, certificate);
    server.handle("/s", [](const SeenRequest&) { return Answer::text("secure"); });
    int status = 0;
    EXPECT_EQ(webRequest(Text(server.url("/s")), {.statusCode = &status}).view(), "secure");
    EXPECT_EQ(status, 200);
  }
}

TEST(WebRequestLoopback, AServerThatNeverAnswersGivesUpAfterTheTimeout) {
  RawServer server(std::string(test_support::kReplyNothing), RawServer::After::Stall);
  int status = 7;
  Text responseHeaders("stale");
  const ByteBuffer body =
      webRequest(Text(server.url("/")), {.responseHeaders = &responseHeaders, .statusCode = &status, .timeoutSeconds = 1});
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(responseHeaders.empty());
}

TEST(WebRequestLoopback, ARefusedPortGivesAnEmptyResult) {
  const test_support::RefusedPort refused;
  Text cookies("a=1");
  int status = 7;
  const ByteBuffer body =
      webRequest(Text("http://127.0.0.1:" + std::to_string(refused.port()) + "/"),
                 {.cookies = &cookies, .statusCode = &status});
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(status, 0);
  EXPECT_EQ(cookies.view(), "a=1");
}

TEST(WebRequestLoopback, AProxySeesTheAbsoluteUrlAndTheCredentials) {
  LoopbackServer proxy;
  webRequest(Text("http://logo.invalid/p?q=1"),
             {.proxy = Text("127.0.0.1:" + std::to_string(proxy.port())),
              .proxyUser = Text("user"),
              .proxyPassword = Text("secret")});
  const SeenRequest seen = proxy.lastRequest();
  EXPECT_EQ(seen.target, "http://logo.invalid/p?q=1");
  EXPECT_EQ(seen.header("Proxy-Authorization"), "Basic dXNlcjpzZWNyZXQ=");
  EXPECT_EQ(seen.headerCount("Proxy-Authorization"), 1);
}

TEST(WebRequestLoopback, ASharedObjectKeepsItsSettingsAcrossCalls) {
  LoopbackServer server;
  server.handle("/from", [](const SeenRequest&) { return Answer::redirect("/to"); });
  platform::com::CoInitialize(nullptr);
  platform::winhttp::registerRequestClass();
  const platform::com::ObjectHandle object = platform::com::createObject(platform::winhttp::kRequestProgId);
  ASSERT_FALSE(object.empty());
  int status = 0;
  webRequest(Text(server.url("/from")), {.statusCode = &status, .disableRedirects = true, .requestObject = object});
  EXPECT_EQ(status, 302);
  // The second call does not switch redirects off, yet the object still has them off.
  webRequest(Text(server.url("/from")), {.statusCode = &status, .requestObject = object});
  EXPECT_EQ(status, 302);
  EXPECT_EQ(server.connectionCount(), 1) << "the second request reuses the connection";
  platform::com::CoUninitialize();
}

TEST(WebRequestLoopback, MalformedResponsesGiveWhatTheyCan) {
  {
    RawServer server(std::string(test_support::kReplyHeaderWithoutColon), RawServer::After::Close);
    int status = 0;
    const ByteBuffer body = webRequest(Text(server.url()), {.statusCode = &status, .timeoutSeconds = 2});
    // A header line without a colon makes the response unreadable: a failed request.
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(body.empty());
  }
  {
    RawServer server(std::string(test_support::kReplyShortBody), RawServer::After::Close);
    int status = 7;
    const ByteBuffer body = webRequest(Text(server.url()), {.statusCode = &status, .timeoutSeconds = 2});
    EXPECT_TRUE(body.empty()) << "a body shorter than its Content-Length is a failed request";
    EXPECT_EQ(status, 0);
  }
  {
    LoopbackServer server;
    server.handle("/e", [](const SeenRequest&) { return Answer::text("<h1>broken</h1>", 500); });
    int status = 0;
    EXPECT_EQ(webRequest(Text(server.url("/e")), {.statusCode = &status}).view(), "<h1>broken</h1>");
    EXPECT_EQ(status, 500);
  }
}

}  // namespace
}  // namespace quillmark
