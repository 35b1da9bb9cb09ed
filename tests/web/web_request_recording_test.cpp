// webRequest against the recording request object: the exact member calls,
// in order, with their converted arguments.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/com/com.h"
#include "support/recording_request.h"
#include "web/web_request.h"

namespace quillmark {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using test_support::RecordingRequest;
using test_support::ScopedFailingRequest;
using test_support::ScopedRecordingRequest;

const std::string kUrl = "http://127.0.0.1/p";
const std::string kTimeouts = "SetTimeouts(I4(15000), I4(15000), I4(15000), I4(15000))";
const std::string kOpenGet = "Open(BSTR(\"GET\"), BSTR(\"" + kUrl + "\"), BOOL(0))";
const std::string kIgnoreCertificateErrors = "put Option(I4(4), I4(13056))";
const std::string kReads[] = {"get ResponseBody()", "GetAllResponseHeaders()", "get Status()",
                              "get StatusText()"};

std::string header(const std::string& name, const std::string& value) {
  return "SetRequestHeader(BSTR(\"" + name + "\"), BSTR(\"" + value + "\"))";
}

const std::string kDefaultHeaderCalls[] = {
    header("Accept", "*/*"), header("Referer", kUrl), header("Accept-Language", "zh-cn"),
    header("User-Agent", "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)")};

// The calls a request makes around its header calls.
std::vector<std::string> expectedCalls(const std::string& open, std::vector<std::string> headerCalls,
                                       const std::string& send = "Send(BSTR(\"\"))") {
  std::vector<std::string> calls = {kTimeouts, open, kIgnoreCertificateErrors};
  calls.insert(calls.end(), headerCalls.begin(), headerCalls.end());
  calls.push_back(send);
  calls.insert(calls.end(), std::begin(kReads), std::end(kReads));
  return calls;
}

class WebRequestRecording : public ::testing::Test {
 protected:
  RecordingRequest& object() { return recording_.object(); }
  ScopedRecordingRequest recording_;
};

TEST_F(WebRequestRecording, GetWithAnEmptyBlockSendsTheFourDefaults) {
  Text headers;
  webRequest(Text(kUrl), {.headers = &headers});
  EXPECT_THAT(object().callTexts(),
              ElementsAreArray(expectedCalls(kOpenGet, {std::begin(kDefaultHeaderCalls),
                                                        std::end(kDefaultHeaderCalls)})));
  EXPECT_EQ(headers.view(), "Accept: */*\r\nReferer: " + kUrl +
                                "\r\nAccept-Language: zh-cn\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE "
                                "9.0; Windows NT 6.1)");
  EXPECT_EQ(recording_.creations(), 1);
  EXPECT_EQ(platform::com::initializationCount(), 0) << "COM is uninitialised before returning";
}

TEST_F(WebRequestRecording, PostAddsTheDefaultContentTypeLast) {
  webRequest(Text(kUrl), {.method = 1, .body = Text("a=1")});
  std::vector<std::string> headers(std::begin(kDefaultHeaderCalls), std::end(kDefaultHeaderCalls));
  headers.push_back(header("Content-Type", "application/x-www-form-urlencoded"));
  EXPECT_THAT(object().callTexts(),
              ElementsAreArray(expectedCalls("Open(BSTR(\"POST\"), BSTR(\"" + kUrl + "\"), BOOL(0))",
                                             headers, "Send(BSTR(\"a=1\"))")));
}

TEST_F(WebRequestRecording, MethodOutsideTheTableIsGet) {
  const std::pair<int, const char*> cases[] = {{8, "GET"},     {-5, "GET"},    {0, "GET"},
                                               {2, "HEAD"},    {3, "PUT"},     {4, "OPTIONS"},
                                               {5, "DELETE"},  {6, "TRACE"},   {7, "CONNECT"}};
  for (const auto& [method, name] : cases) {
    object().clear();
    webRequest(Text(kUrl), {.method = method});
    const auto opens = object().callsOf(u"Open");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].text(), "Open(BSTR(\"" + std::string(name) + "\"), BSTR(\"" + kUrl + "\"), BOOL(0))")
        << method;
  }
}

TEST_F(WebRequestRecording, TimeoutTable) {
  const std::pair<int, const char*> cases[] = {
      {0, "I4(15000)"}, {-2, "I4(15000)"}, {1, "I4(1000)"}, {30, "I4(30000)"}, {2147483, "I4(2147483000)"},
      // Beyond 32 bits of milliseconds the time-out is the longest one there is.
      {2147484, "I4(2147483647)"}};
  for (const auto& [seconds, value] : cases) {
    object().clear();
    webRequest(Text(kUrl), {.timeoutSeconds = seconds});
    const auto calls = object().callsOf(u"SetTimeouts");
    ASSERT_EQ(calls.size(), 1u) << seconds;
    const std::string v = value;
    EXPECT_EQ(calls[0].text(), "SetTimeouts(" + v + ", " + v + ", " + v + ", " + v + ")") << seconds;
  }
  object().clear();
  webRequest(Text(kUrl), {.timeoutSeconds = -1});
  EXPECT_TRUE(object().callsOf(u"SetTimeouts").empty()) << "-1 leaves the object's time-outs alone";
}

TEST_F(WebRequestRecording, HeaderBlockLines) {
  struct Case {
    const char* block;
    std::optional<bool> completeHeaders;
    std::vector<std::string> calls;
    std::optional<bool> capitalizeHeaderNames = std::nullopt;
  };
  const Case cases[] = {
      // A name is capitalised and its default is not added.
      {"accept: text/html",
       std::nullopt,
       {header("Accept", "text/html"), kDefaultHeaderCalls[1], kDefaultHeaderCalls[2], kDefaultHeaderCalls[3]}},
      // Of several lines, only the exact "Connection: keep-alive" is skipped.
      {"Connection: keep-alive\r\nConnection: Keep-Alive\r\nConnection: close\r\n\r\nX: 1",
       false,
       {header("Connection", "Keep-Alive"), header("Connection", "close"), header("X", "1")}},
      // The single-line path passes it on whatever it holds.
      {"Connection: keep-alive", false, {header("Connection", "keep-alive")}},
      {"", false, {header("", "")}},
      {"no colon", false, {header("", "")}},
      // A line without a colon among several is passed on with an empty name and value.
      {"A: 1\r\nno colon", false, {header("A", "1"), header("", "")}, false},
      // Capitalising drops that line first.
      {"A: 1\r\nno colon", false, {header("A", "1")}},
  };
  for (const auto& c : cases) {
    object().clear();
    Text headers(c.block);
    webRequest(Text(kUrl), {.headers = &headers,
                            .completeHeaders = c.completeHeaders,
                            .capitalizeHeaderNames = c.capitalizeHeaderNames});
    std::vector<std::string> seen;
    for (const auto& call : object().callsOf(u"SetRequestHeader")) seen.push_back(call.text());
    EXPECT_THAT(seen, ElementsAreArray(c.calls)) << c.block;
  }
}

TEST_F(WebRequestRecording, CapitalisationCanBeSwitchedOff) {
  Text headers("x-one: 1\r\nx-two: 2");
  webRequest(Text(kUrl), {.headers = &headers, .completeHeaders = false, .capitalizeHeaderNames = false});
  std::vector<std::string> seen;
  for (const auto& call : object().callsOf(u"SetRequestHeader")) seen.push_back(call.text());
  EXPECT_THAT(seen, ElementsAre(header("x-one", "1"), header("x-two", "2")));
  EXPECT_EQ(headers.view(), "x-one: 1\r\nx-two: 2");
}

TEST_F(WebRequestRecording, CookieHeaderRules) {
  struct Case {
    const char* cookies;
    const char* sentValue;
    const char* cookiesAfter;
  };
  const Case cases[] = {
      {"a=1", "a=1", "a=1"},
      {"Cookie: a=1", " a=1", "a=1"},  // the space stays in the header; the merge trims it
      {"cookie:a=1; COOKIE: b=2", "a=1;  b=2", "a=1;  b=2"},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    object().clear();
    Text cookies(c.cookies);
    webRequest(Text(kUrl), {.cookies = &cookies, .completeHeaders = false});
    const auto calls = object().callsOf(u"SetRequestHeader");
    ASSERT_GE(calls.size(), 1u);
    EXPECT_EQ(calls[0].text(), header("Cookie", c.sentValue)) << c.cookies;
    EXPECT_EQ(cookies.view(), c.cookiesAfter) << c.cookies;
  }
  object().clear();
  webRequest(Text(kUrl), {.completeHeaders = false});
  for (const auto& call : object().callsOf(u"SetRequestHeader"))
    EXPECT_NE(call.text(), header("Cookie", "")) << "no Cookie header when none is supplied";
}

TEST_F(WebRequestRecording, ProxyAndCredentials) {
  Text headers("X: 1");
  Text cookies("a=1");
  webRequest(Text(kUrl), {.cookies = &cookies,
                          .headers = &headers,
                          .proxy = Text("127.0.0.1:3128"),
                          .proxyUser = Text("user"),
                          .proxyPassword = Text("pa:ss"),
                          .completeHeaders = false});
  EXPECT_THAT(object().callTexts(),
              ElementsAre(kTimeouts, "SetProxy(I4(2), BSTR(\"127.0.0.1:3128\"))", kOpenGet,
                          kIgnoreCertificateErrors, "SetCredentials(BSTR(\"user\"), BSTR(\"pa:ss\"), I4(1))",
                          header("Proxy-Authorization", "Basic dXNlcjpwYTpzcw=="), header("Cookie", "a=1"),
                          header("X", "1"), "Send(BSTR(\"\"))", kReads[0], kReads[1], kReads[2], kReads[3]));

  // Credentials for the server: no Proxy-Authorization header.
  object().clear();
  webRequest(Text(kUrl), {.proxy = Text("p:1"), .proxyUser = Text("u"), .credentialTarget = 0});
  EXPECT_EQ(object().callsOf(u"SetCredentials").at(0).text(), "SetCredentials(BSTR(\"u\"), BSTR(\"\"), I4(0))");
  for (const auto& call : object().callsOf(u"SetRequestHeader"))
    EXPECT_EQ(call.text().find("Proxy-Authorization"), std::string::npos);

  // No user, or no proxy: no credentials at all.
  object().clear();
  webRequest(Text(kUrl), {.proxy = Text("p:1")});
  webRequest(Text(kUrl), {.proxyUser = Text("u"), .proxyPassword = Text("p")});
  EXPECT_TRUE(object().callsOf(u"SetCredentials").empty());
  EXPECT_EQ(object().callsOf(u"SetProxy").size(), 1u);
}

TEST_F(WebRequestRecording, RedirectsOffAndBodies) {
  webRequest(Text(kUrl), {.body = Text("text"), .disableRedirects = true, .bodyBytes = ByteBuffer(std::string("\0\x01\xFF", 3))});
  EXPECT_THAT(object().callsOf(u"Option").at(0).text(), "put Option(I4(6), I4(0))");
  EXPECT_THAT(object().callsOf(u"Option").at(1).text(), kIgnoreCertificateErrors);
  EXPECT_EQ(object().callsOf(u"Send").at(0).text(), "Send(BYTES(3))") << "the bytes win over the text";
  const auto sends = object().callsOf(u"Send");
  EXPECT_EQ(sends.at(0).arguments.at(0).asByteString(), std::string("\0\x01\xFF", 3));
}

TEST_F(WebRequestRecording, ReadsTheReplyAndCollectsCookies) {
  RecordingRequest::Reply reply;
  reply.body = {'P', 'N', 'G', 0};
  reply.headers = u"Content-Type: image/png\r\nSet-Cookie: theme=dark; path=/\r\nSet-Cookie: lang=en\r\n"
                  u"set-cookie: view=list\r\n\r\n";
  reply.status = 404;
  object().setReply(reply);

  Text responseHeaders;
  Text returned("stale");
  int status = -1;
  const ByteBuffer body = webRequest(
      Text(kUrl), {.returnedCookies = &returned, .responseHeaders = &responseHeaders, .statusCode = &status});
  EXPECT_EQ(body.view(), std::string_view("PNG\0", 4));
  EXPECT_EQ(status, 404);
  EXPECT_EQ(responseHeaders.view(), "Content-Type: image/png\r\nSet-Cookie: theme=dark; path=/\r\nSet-Cookie: "
                                    "lang=en\r\nset-cookie: view=list\r\n\r\n");
  EXPECT_EQ(returned.view(), "theme=dark; lang=en") << "no merge without supplied cookies";
}

TEST_F(WebRequestRecording, MergesReturnedCookiesIntoTheSentOnes) {
  RecordingRequest::Reply reply;
  reply.headers = u"Set-Cookie: lang=en\r\n\r\n";
  object().setReply(reply);
  Text cookies("lang=fr; theme=dark");
  Text returned;
  webRequest(Text(kUrl), {.cookies = &cookies, .returnedCookies = &returned});
  EXPECT_EQ(cookies.view(), "lang=en; theme=dark");
  EXPECT_EQ(returned.view(), "lang=en; theme=dark");

  cookies = Text("lang=fr");
  webRequest(Text(kUrl), {.cookies = &cookies, .returnedCookies = &returned, .autoMergeCookies = false});
  EXPECT_EQ(cookies.view(), "lang=fr");
  EXPECT_EQ(returned.view(), "lang=en");

  // Supplied but empty: the merge still runs.
  cookies = Text();
  webRequest(Text(kUrl), {.cookies = &cookies, .returnedCookies = &returned});
  EXPECT_EQ(cookies.view(), "lang=en");
}

TEST_F(WebRequestRecording, FailedCallsAreIgnoredAndReadsGiveEmptyValues) {
  for (const char16_t* member : {u"SetTimeouts", u"Open", u"Option", u"SetRequestHeader", u"Send",
                                 u"ResponseBody", u"GetAllResponseHeaders", u"Status", u"StatusText"})
    object().failMember(member);
  Text responseHeaders("stale");
  int status = 7;
  Text returned("stale");
  const ByteBuffer body = webRequest(
      Text(kUrl), {.returnedCookies = &returned, .responseHeaders = &responseHeaders, .statusCode = &status});
  EXPECT_TRUE(body.empty());
  EXPECT_TRUE(responseHeaders.empty());
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(returned.empty());
  // Every member was still called, in order.
  EXPECT_THAT(object().callTexts(),
              ElementsAreArray(expectedCalls(kOpenGet, {std::begin(kDefaultHeaderCalls),
                                                        std::end(kDefaultHeaderCalls)})));
}

TEST_F(WebRequestRecording, ASharedObjectIsUsedInsteadOfANewOne) {
  auto shared = std::make_shared<RecordingRequest>();
  platform::com::CoInitialize(nullptr);
  platform::com::ObjectHandle handle(shared);
  webRequest(Text(kUrl), {.requestObject = handle});
  webRequest(Text(kUrl), {.requestObject = handle});
  EXPECT_EQ(recording_.creations(), 0);
  EXPECT_EQ(shared->callsOf(u"Open").size(), 2u);
  EXPECT_EQ(handle.referenceCount(), 2) << "the routine drops its own reference";
  platform::com::CoUninitialize();
}

TEST(WebRequestWithoutObject, AFailingFactoryChangesNothing) {
  ScopedFailingRequest failing;
  Text cookies("a=1");
  Text returned("r");
  Text headers("h: 1");
  Text responseHeaders("rh");
  int status = 42;
  const ByteBuffer body = webRequest(Text(kUrl), {.cookies = &cookies,
                                                  .returnedCookies = &returned,
                                                  .headers = &headers,
                                                  .responseHeaders = &responseHeaders,
                                                  .statusCode = &status});
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(cookies.view(), "a=1");
  EXPECT_EQ(returned.view(), "r");
  EXPECT_EQ(headers.view(), "h: 1");
  EXPECT_EQ(responseHeaders.view(), "rh");
  EXPECT_EQ(status, 42);
  EXPECT_EQ(platform::com::initializationCount(), 0);
}

TEST(WebRequestWithoutObject, AnEmptySharedHandleFailsEveryCall) {
  Text cookies("a=1");
  int status = 42;
  Text headers;
  const ByteBuffer body = webRequest(
      Text(kUrl), {.cookies = &cookies, .headers = &headers, .statusCode = &status,
                   .requestObject = platform::com::ObjectHandle()});
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(status, 0);
  EXPECT_EQ(cookies.view(), "a=1") << "the merge with an empty string keeps the sent cookies";
  EXPECT_FALSE(headers.empty()) << "the block is still completed";
}

}  // namespace
}  // namespace quillmark
