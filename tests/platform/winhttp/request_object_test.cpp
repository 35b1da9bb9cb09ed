#include "platform/winhttp/request_object.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>

#include "platform/codepage.h"
#include "support/loopback_server.h"
#include "support/scoped_environment.h"
#include "support/scripted_server.h"

namespace quillmark::platform::winhttp {
namespace {

using com::HResult;
using com::InvokeKind;
using com::kOk;
using com::Variant;
using test_support::Answer;
using test_support::Certificate;
using test_support::LoopbackServer;
using test_support::RawServer;
using test_support::Scheme;
using test_support::ScriptedReply;
using test_support::ScriptedRequest;
using test_support::ScriptedServer;
using test_support::SeenRequest;

Variant str(std::string_view utf8) { return Variant::fromString(toUtf16(kCodePageUtf8, utf8)); }
Variant i4(std::int32_t value) { return Variant::fromInt32(value); }

std::string text(const Variant& value) { return fromUtf16(kCodePageUtf8, value.asString()); }

// One real request object, driven by member name as the web layer drives it.
class Client {
 public:
  Client() : object_(newRequestObject()) {}

  HResult call(std::u16string_view name, std::initializer_list<Variant> arguments, Variant* result = nullptr) {
    return com::invoke(object_, name, InvokeKind::Method, std::span(arguments.begin(), arguments.size()), result);
  }
  HResult put(std::int32_t index, Variant value) {
    const Variant arguments[] = {i4(index), std::move(value)};
    return com::invoke(object_, u"Option", InvokeKind::PropertyPut, arguments);
  }
  HResult get(std::u16string_view name, Variant& result) {
    return com::invoke(object_, name, InvokeKind::PropertyGet, {}, &result);
  }

  HResult open(std::string_view method, const std::string& url) {
    return call(u"Open", {str(method), str(url), Variant::fromBool(false)});
  }
  HResult header(std::string_view name, std::string_view value) {
    return call(u"SetRequestHeader", {str(name), str(value)});
  }
  HResult send(Variant body = {}) { return call(u"Send", {std::move(body)}); }
  HResult timeouts(std::int32_t ms) { return call(u"SetTimeouts", {i4(ms), i4(ms), i4(ms), i4(ms)}); }

  // GET `url` and wait for the answer.
  HResult fetch(const std::string& url) {
    const HResult opened = open("GET", url);
    return com::succeeded(opened) ? send() : opened;
  }

  std::string body() {
    Variant value;
    if (!com::succeeded(get(u"ResponseBody", value))) return "<failed>";
    const auto& bytes = value.asBytes();
    return std::string(bytes.begin(), bytes.end());
  }
  int status() {
    Variant value;
    return com::succeeded(get(u"Status", value)) ? value.asInt32() : -1;
  }
  std::string statusText() {
    Variant value;
    return com::succeeded(get(u"StatusText", value)) ? text(value) : "<failed>";
  }
  std::string responseHeaders() {
    Variant value;
    return com::succeeded(call(u"GetAllResponseHeaders", {}, &value)) ? text(value) : "<failed>";
  }
  std::string finalUrl() {
    Variant value;
    const Variant index[] = {i4(kOptionUrl)};
    return com::succeeded(com::invoke(object_, u"Option", InvokeKind::PropertyGet, index, &value)) ? text(value)
                                                                                                : "<failed>";
  }

 private:
  com::ObjectHandle object_;
};

// ---- What goes on the wire ----

TEST(RequestObjectTest, SendsItsOwnHeadersAndNothingElse) {
  LoopbackServer server;
  Client client;
  ASSERT_EQ(client.fetch(server.url("/path/a?q=1&r=%20")), kOk);
  const SeenRequest seen = server.lastRequest();
  EXPECT_EQ(seen.requestLine, "GET /path/a?q=1&r=%20 HTTP/1.1");
  EXPECT_EQ(seen.header("Host"), "127.0.0.1:" + std::to_string(server.port()));
  EXPECT_EQ(seen.header("User-Agent"), "Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)");
  EXPECT_EQ(seen.header("Accept"), "*/*");
  EXPECT_EQ(seen.header("Connection"), "Keep-Alive");
  for (const char* absent : {"Accept-Encoding", "Expect", "Content-Length", "Content-Type", "Cookie",
                             "Proxy-Connection", "Transfer-Encoding"})
    EXPECT_FALSE(seen.hasHeader(absent)) << absent;
  EXPECT_EQ(seen.headers.size(), 4u);
}

// The request target as the server reads it off the wire.
std::string requestTarget(const ScriptedRequest& request) {
  const std::string line = request.head.substr(0, request.head.find("\r\n"));
  const auto space = line.find(' ');
  return line.substr(space + 1, line.rfind(' ') - space - 1);
}

TEST(RequestObjectTest, UrlsGoOnTheWireEscaped) {
  struct Case {
    std::string opened;  // path and query as given to Open
    std::string target;  // as the server sees it
  };
  const std::vector<Case> cases = {
      {"/a?q=x y", "/a?q=x%20y"},  // never "+", which means a plus sign to many servers
      {"/a b/c?d e&f=g h", "/a%20b/c?d%20e&f=g%20h"},
      {"/中文?q=值", "/%E4%B8%AD%E6%96%87?q=%E5%80%BC"},
      {"/t\tab?\x01\x7F", "/t%09ab?%01%7F"},
      {"/q\"<>`{}?\"<>`{}", "/q%22%3C%3E%60%7B%7D?%22%3C%3E%60%7B%7D"},
      // Escaped already, or allowed: as given, "+" and a lone "%" included.
      {"/a%20b%e4?q=%2B+1&r=%zz", "/a%20b%e4?q=%2B+1&r=%zz"},
      {"/p;a=1,b@c:d!$&'()*+~-._?x=/?&=:@|^[]\\", "/p;a=1,b@c:d!$&'()*+~-._?x=/?&=:@|^[]\\"},
      {"/frag?x#not-sent", "/frag?x"},
  };
  ScriptedServer server([](const ScriptedRequest&) { return ScriptedReply::response(200, "OK", {}, "ok"); });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.opened);
    Client client;
    ASSERT_EQ(client.fetch(server.url(c.opened)), kOk);
    EXPECT_EQ(requestTarget(server.requests().back()), c.target);
  }
}

TEST(RequestObjectTest, RedirectTargetsAreEscapedLikeOpenedUrls) {
  struct Case {
    std::string location;  // as the server sends it
    std::string target;    // the next request's, on the wire
  };
  const std::vector<Case> cases = {
      {"/to b?q=x y", "/to%20b?q=x%20y"},
      {"next 中?q=x y", "/dir/next%20%E4%B8%AD?q=x%20y"},  // relative to /dir/from
      {"?only a query", "/dir/from?only%20a%20query"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.location);
    ScriptedServer server([&](const ScriptedRequest& request) {
      if (request.target == "/dir/from") return ScriptedReply::redirect(c.location);
      return ScriptedReply::response(200, "OK", {}, "landed");
    });
    Client client;
    ASSERT_EQ(client.fetch(server.url("/dir/from")), kOk);
    EXPECT_EQ(client.body(), "landed");
    ASSERT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(requestTarget(server.requests()[1]), c.target);
  }
}

TEST(RequestObjectTest, EscapedUrlTouchesOnlyPathAndQuery) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"http://us er@h st:80/a b?c d#e f", "http://us er@h st:80/a%20b?c%20d#e f"},
      {"http://h?q=x y", "http://h?q=x%20y"},
      {"https://[::1]:8443/\xC3\xA9", "https://[::1]:8443/%C3%A9"},
      {"//host name/p q", "//host name/p%20q"},
      {"rel a/b?c d", "rel%20a/b?c%20d"},
      {"%41%zz%", "%41%zz%"},
  };
  for (const auto& [url, escaped] : cases) EXPECT_EQ(escapedUrl(url), escaped) << url;
}

TEST(RequestObjectTest, HeaderValuesGoOutAsCodePage936Bytes) {
  LoopbackServer server;
  Client client;
  ASSERT_EQ(client.open("GET", server.url("/")), kOk);
  ASSERT_EQ(client.header("X-Title", "中文标题"), kOk);
  ASSERT_EQ(client.header("Cookie", "name=值"), kOk);
  ASSERT_EQ(client.send(), kOk);
  const SeenRequest seen = server.lastRequest();
  EXPECT_EQ(seen.header("X-Title"), utf8ToGbk("中文标题"));
  EXPECT_EQ(seen.header("X-Title"), "\xD6\xD0\xCE\xC4\xB1\xEA\xCC\xE2");
  EXPECT_EQ(seen.header("Cookie"), utf8ToGbk("name=值"));
}

TEST(RequestObjectTest, CallerHeadersReplaceTheObjectsOwn) {
  LoopbackServer server;
  Client client;
  ASSERT_EQ(client.open("GET", server.url("/")), kOk);
  ASSERT_EQ(client.header("X-C", "3"), kOk);
  ASSERT_EQ(client.header("user-agent", "Quill/1"), kOk);
  ASSERT_EQ(client.header("X-A", "1"), kOk);
  ASSERT_EQ(client.header("Accept", "image/png"), kOk);
  ASSERT_EQ(client.header("X-B", "2"), kOk);
  ASSERT_EQ(client.header("Host", "logo.example:8936"), kOk);
  ASSERT_EQ(client.header("Connection", "close"), kOk);
  ASSERT_EQ(client.header("Content-Length", "99"), kOk);  // the body's own length wins
  ASSERT_EQ(client.send(), kOk);
  const SeenRequest seen = server.lastRequest();
  EXPECT_EQ(seen.header("User-Agent"), "Quill/1");
  EXPECT_EQ(seen.header("Accept"), "image/png");
  EXPECT_EQ(seen.header("Host"), "logo.example:8936");
  EXPECT_EQ(seen.header("Connection"), "close");
  for (const char* name : {"User-Agent", "Accept", "Host", "Connection"}) EXPECT_EQ(seen.headerCount(name), 1) << name;
  // The caller's headers keep the order they were set in (Host leads, as HTTP wants).
  EXPECT_EQ(seen.headerNames().front(), "Host");
  std::vector<std::string> callers;
  for (const auto& name : seen.headerNames())
    if (name.rfind("X-", 0) == 0 || name == "user-agent" || name == "Accept") callers.push_back(name);
  EXPECT_EQ(callers, (std::vector<std::string>{"X-C", "user-agent", "X-A", "Accept", "X-B"}));
  EXPECT_FALSE(seen.hasHeader("Content-Length"));
}

TEST(RequestObjectTest, HeaderRules) {
  LoopbackServer server;
  Client client;
  ASSERT_EQ(client.open("GET", server.url("/")), kOk);
  struct Case {
    std::string name, value;
    bool accepted;
  };
  const std::vector<Case> cases = {
      {"X-Kept", "1", true},
      {"X-Replaced", "old", true},
      {"x-REPLACED", "new", true},  // same name in another case replaces
      {"X-Removed", "gone", true},
      {"X-Removed", "", true},  // an empty value removes
      {"", "value", false},
      {"X-Bad", std::string("a\rb"), false},
      {"X-Bad", std::string("a\nb"), false},
      {"X-Bad", std::string("a\0b", 3), false},
      {std::string("X-B\nad"), "v", false},
      {"X-Bad: injected", "v", false},
      {"X-Never", "", true},  // removing what is not there is no failure
  };
  for (const auto& c : cases)
    EXPECT_EQ(com::succeeded(client.header(c.name, c.value)), c.accepted) << c.name << "=" << c.value;
  ASSERT_EQ(client.send(), kOk);
  const SeenRequest seen = server.lastRequest();
  EXPECT_EQ(seen.header("X-Kept"), "1");
  EXPECT_EQ(seen.headerCount("X-Replaced"), 1);
  EXPECT_EQ(seen.header("X-Replaced"), "new");
  EXPECT_FALSE(seen.hasHeader("X-Removed"));
  EXPECT_FALSE(seen.hasHeader("X-Bad"));
  EXPECT_FALSE(seen.hasHeader("X-Never"));
  EXPECT_EQ(seen.rawHead.find("injected"), std::string::npos);
  EXPECT_EQ(client.header("X-Late", "1"), kErrorCannotCallAfterSend);
}

struct BodyCase {
  std::string method;
  Variant body;
  std::string contentType;  // set by the caller; empty: none
  std::string wireBody;
  std::string wireContentType;  // empty: no Content-Type line
  bool contentLength;
};

TEST(RequestObjectTest, Bodies) {
  const std::vector<BodyCase> cases = {
      {"POST", str("a=1&b=2"), "", "a=1&b=2", "", true},
      {"POST", str("a=1"), "application/x-www-form-urlencoded", "a=1", "application/x-www-form-urlencoded", true},
      {"POST", str("é中"), "", "\xC3\xA9\xE4\xB8\xAD", "text/plain; charset=utf-8", true},
      {"POST", str("é"), "application/json", "\xC3\xA9", "application/json; charset=utf-8", true},
      {"POST", str("é"), "text/html; charset=gbk", "\xC3\xA9", "text/html; charset=utf-8", true},
      {"POST", Variant::fromBytes({0, 0xFF, 'x', 0}), "", std::string("\0\xFFx\0", 4), "", true},
      {"PUT", Variant::fromBytes({'p'}), "", "p", "", true},
      {"POST", Variant(), "", "", "", true},
      {"GET", str("ignored"), "", "", "", false},
      {"HEAD", Variant::fromBytes({1, 2}), "", "", "", false},
  };
  LoopbackServer server;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method + " " + com::describe(c.body) + " " + c.contentType);
    Client client;
    ASSERT_EQ(client.open(c.method, server.url("/body")), kOk);
    if (!c.contentType.empty()) {
      ASSERT_EQ(client.header("Content-Type", c.contentType), kOk);
    }
    ASSERT_EQ(client.send(c.body), kOk);
    const SeenRequest seen = server.lastRequest();
    EXPECT_EQ(seen.method, c.method);
    EXPECT_EQ(seen.body, c.wireBody);
    EXPECT_EQ(seen.header("Content-Type"), c.wireContentType);
    EXPECT_EQ(seen.hasHeader("Content-Type"), !c.wireContentType.empty());
    EXPECT_EQ(seen.hasHeader("Content-Length"), c.contentLength);
    if (c.contentLength) {
      EXPECT_EQ(seen.header("Content-Length"), std::to_string(c.wireBody.size()));
    }
    EXPECT_FALSE(seen.hasHeader("Expect"));
  }
}

// ---- What comes back ----

TEST(RequestObjectTest, ResponseAsReceived) {
  LoopbackServer server;
  const std::string binary("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
  server.handle("/logo", [&](const SeenRequest&) {
    Answer answer;
    answer.status = 201;
    answer.body = binary;
    answer.contentType = "image/png";
    answer.headers = {{"Content-Encoding", "gzip"}, {"Set-Cookie", "a=1; path=/"}, {"X-Note", utf8ToGbk("值")}};
    return answer;
  });
  Client client;
  ASSERT_EQ(client.fetch(server.url("/logo")), kOk);
  EXPECT_EQ(client.status(), 201);
  EXPECT_EQ(client.statusText(), "Created");
  EXPECT_EQ(client.body(), binary);  // not decoded, whatever Content-Encoding says
  const std::string headers = client.responseHeaders();
  EXPECT_EQ(headers.find("HTTP/"), std::string::npos);
  EXPECT_NE(headers.find("Content-Encoding: gzip\r\n"), std::string::npos);
  EXPECT_NE(headers.find("Set-Cookie: a=1; path=/\r\n"), std::string::npos);
  EXPECT_NE(headers.find("Content-Length: 16\r\n"), std::string::npos);
  EXPECT_NE(headers.find("X-Note: 值\r\n"), std::string::npos);
  ASSERT_GE(headers.size(), 4u);
  EXPECT_EQ(headers.substr(headers.size() - 4), "\r\n\r\n");
  EXPECT_EQ(headers.find("\r\n\r\n"), headers.size() - 4);
}

TEST(RequestObjectTest, ErrorPagesAreResponsesLikeAnyOther) {
  LoopbackServer server;
  server.handle("/broken", [](const SeenRequest&) { return Answer::text("<h1>oops</h1>", 500); });
  Client client;
  ASSERT_EQ(client.fetch(server.url("/broken")), kOk);
  EXPECT_EQ(client.status(), 500);
  EXPECT_EQ(client.statusText(), "Internal Server Error");
  EXPECT_EQ(client.body(), "<h1>oops</h1>");
}

TEST(RequestObjectTest, CallsOutOfOrderFail) {
  LoopbackServer server;
  Client client;
  Variant value;
  EXPECT_EQ(client.send(), kErrorCannotCallBeforeOpen);
  EXPECT_EQ(client.header("A", "b"), kErrorCannotCallBeforeOpen);
  EXPECT_EQ(client.call(u"SetCredentials", {str("u"), str("p"), i4(0)}), kErrorCannotCallBeforeOpen);
  EXPECT_EQ(client.get(u"Status", value), kErrorCannotCallBeforeOpen);
  EXPECT_EQ(client.finalUrl(), "<failed>");
  ASSERT_EQ(client.open("GET", server.url("/")), kOk);
  EXPECT_EQ(client.finalUrl(), server.url("/"));
  for (const char16_t* read : {u"Status", u"StatusText", u"ResponseBody"})
    EXPECT_EQ(client.get(read, value), kErrorCannotCallBeforeSend) << "before Send";
  EXPECT_EQ(client.call(u"GetAllResponseHeaders", {}, &value), kErrorCannotCallBeforeSend);
  ASSERT_EQ(client.send(), kOk);
  EXPECT_EQ(client.send(), kErrorCannotCallAfterSend);
  EXPECT_EQ(client.status(), 200);  // the completed response stays readable
}

TEST(RequestObjectTest, OpenRefusesWhatIsNotHttp) {
  struct Case {
    std::string method, url;
    HResult expected;
  };
  const std::vector<Case> cases = {
      {"GET", "ftp://127.0.0.1/file", kErrorUnrecognizedScheme},
      {"GET", "file:///etc/passwd", kErrorUnrecognizedScheme},
      {"GET", "not a url", kErrorInvalidUrl},
      {"GET", "", kErrorInvalidUrl},
      {"GET", "http://", kErrorInvalidUrl},
      {"", "http://127.0.0.1/", com::kInvalidArgument},
      {"GE T", "http://127.0.0.1/", com::kInvalidArgument},
  };
  for (const auto& c : cases) {
    Client client;
    EXPECT_EQ(client.open(c.method, c.url), c.expected) << c.method << " " << c.url;
    EXPECT_EQ(client.send(), kErrorCannotCallBeforeOpen);
  }
}

TEST(RequestObjectTest, ArgumentsTheObjectRefuses) {
  Client client;
  ASSERT_EQ(client.open("GET", "http://127.0.0.1/"), kOk);
  EXPECT_EQ(client.call(u"SetTimeouts", {i4(-2), i4(0), i4(0), i4(0)}), com::kInvalidArgument);
  EXPECT_EQ(client.call(u"SetProxy", {i4(3), str("127.0.0.1:1")}), com::kInvalidArgument);
  EXPECT_EQ(client.call(u"SetProxy", {i4(2), str("")}), com::kInvalidArgument);
  EXPECT_EQ(client.call(u"SetProxy", {i4(2), str("host:")}), com::kInvalidArgument);
  EXPECT_EQ(client.call(u"SetCredentials", {str(""), str("p"), i4(0)}), com::kInvalidArgument);
  EXPECT_EQ(client.call(u"SetCredentials", {str("u"), str("p"), i4(2)}), com::kInvalidArgument);
  EXPECT_EQ(client.put(5, i4(1)), kErrorInvalidOption);
  EXPECT_EQ(client.put(kOptionUrl, str("http://x/")), kErrorInvalidOption);
  EXPECT_EQ(client.put(kOptionSslErrorIgnoreFlags, i4(0x0001)), com::kInvalidArgument);
  EXPECT_EQ(client.put(kOptionSslErrorIgnoreFlags, Variant::fromBytes({1})), com::kTypeMismatch);
  EXPECT_EQ(client.put(kOptionSslErrorIgnoreFlags, str("13056")), kOk);
  EXPECT_EQ(client.call(u"SetTimeouts", {i4(-1), i4(0), i4(1), i4(2)}), kOk);
  EXPECT_EQ(client.call(u"SetProxy", {i4(1), str("")}), kOk);
}

// ---- Open starts afresh but keeps the settings ----

TEST(RequestObjectTest, OpenResetsTheRequestAndKeepsSettings) {
  LoopbackServer server;
  server.handle("/moved", [&](const SeenRequest&) { return Answer::redirect(server.url("/target")); });
  Client client;
  ASSERT_EQ(client.put(kOptionEnableRedirects, Variant::fromBool(false)), kOk);
  ASSERT_EQ(client.open("GET", server.url("/first")), kOk);
  ASSERT_EQ(client.header("X-First", "1"), kOk);
  ASSERT_EQ(client.send(), kOk);
  ASSERT_EQ(client.open("GET", server.url("/moved")), kOk);
  Variant value;
  EXPECT_EQ(client.get(u"Status", value), kErrorCannotCallBeforeSend);  // the earlier response is gone
  ASSERT_EQ(client.send(), kOk);
  EXPECT_FALSE(server.lastRequest().hasHeader("X-First"));
  EXPECT_EQ(client.status(), 302);  // redirects are still off
  EXPECT_EQ(server.requests().size(), 2u);
}

// ---- Redirects ----

TEST(RequestObjectTest, FollowsRedirectsAndReportsTheFinalUrl) {
  LoopbackServer server;
  server.handle("/a", [](const SeenRequest&) { return Answer::redirect("/b", 301); });
  server.handle("/b", [&](const SeenRequest&) {
    auto answer = Answer::redirect(server.url("/c?x=1"), 307);
    answer.headers.emplace_back("X-Hop", "b");
    return answer;
  });
  server.handle("/c", [](const SeenRequest&) {
    Answer answer = Answer::text("final");
    answer.headers.emplace_back("X-Hop", "c");
    return answer;
  });
  Client client;
  ASSERT_EQ(client.fetch(server.url("/a")), kOk);
  EXPECT_EQ(client.status(), 200);
  EXPECT_EQ(client.body(), "final");
  EXPECT_EQ(client.finalUrl(), server.url("/c?x=1"));
  const std::string headers = client.responseHeaders();
  EXPECT_NE(headers.find("X-Hop: c\r\n"), std::string::npos);
  EXPECT_EQ(headers.find("X-Hop: b"), std::string::npos);  // only the last response
  EXPECT_EQ(headers.find("Location"), std::string::npos);
  ASSERT_EQ(server.requests().size(), 3u);
  EXPECT_EQ(server.requests()[2].target, "/c?x=1");
}

TEST(RequestObjectTest, RedirectsOffGivesTheRedirectItself) {
  LoopbackServer server;
  server.handle("/a", [](const SeenRequest&) { return Answer::redirect("/b"); });
  Client client;
  ASSERT_EQ(client.put(kOptionEnableRedirects, i4(0)), kOk);
  ASSERT_EQ(client.fetch(server.url("/a")), kOk);
  EXPECT_EQ(client.status(), 302);
  EXPECT_NE(client.responseHeaders().find("Location: /b\r\n"), std::string::npos);
  EXPECT_EQ(client.finalUrl(), server.url("/a"));
  EXPECT_EQ(server.requests().size(), 1u);
}

TEST(RequestObjectTest, AtMostTenRedirects) {
  LoopbackServer server;
  // /hop/N redirects to /hop/N-1; /hop/0 answers.
  for (int n = 1; n <= 11; ++n)
    server.handle("/hop/" + std::to_string(n),
                  [n](const SeenRequest&) { return Answer::redirect("/hop/" + std::to_string(n - 1)); });
  server.handle("/hop/0", [](const SeenRequest&) { return Answer::text("landed"); });
  Client ten;
  ASSERT_EQ(ten.fetch(server.url("/hop/10")), kOk);
  EXPECT_EQ(ten.body(), "landed");
  Client eleven;
  EXPECT_EQ(eleven.fetch(server.url("/hop/11")), kErrorRedirectFailed);
  EXPECT_EQ(eleven.status(), -1);
  EXPECT_EQ(eleven.body(), "<failed>");
}

TEST(RequestObjectTest, RedirectsAfterPost) {
  struct Case {
    int status;
    std::string method;  // of the second request
    std::string body;
  };
  const std::vector<Case> cases = {
      {301, "GET", ""}, {302, "GET", ""}, {303, "GET", ""}, {307, "POST", "a=1"}, {308, "POST", "a=1"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    LoopbackServer server;
    server.handle("/form", [&](const SeenRequest&) { return Answer::redirect("/done", c.status); });
    Client client;
    ASSERT_EQ(client.open("POST", server.url("/form")), kOk);
    ASSERT_EQ(client.send(str("a=1")), kOk);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[1].method, c.method);
    EXPECT_EQ(requests[1].body, c.body);
    EXPECT_EQ(requests[1].hasHeader("Content-Length"), !c.body.empty());
  }
}

TEST(RequestObjectTest, ABodyDroppedByARedirectTakesItsContentTypeAlong) {
  struct Case {
    std::string method;
    int status;
    bool kept;  // the second request still has the body and its Content-Type
  };
  const std::vector<Case> cases = {{"POST", 301, false}, {"POST", 302, false}, {"POST", 303, false},
                                   {"PUT", 303, false},  {"POST", 307, true},  {"POST", 308, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method + " " + std::to_string(c.status));
    LoopbackServer server;
    server.handle("/form", [&](const SeenRequest&) { return Answer::redirect("/done", c.status); });
    Client client;
    ASSERT_EQ(client.open(c.method, server.url("/form")), kOk);
    ASSERT_EQ(client.header("Content-Type", "application/x-www-form-urlencoded"), kOk);
    ASSERT_EQ(client.send(str("a=1")), kOk);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(requests[1].hasHeader("Content-Type"), c.kept);
    EXPECT_EQ(requests[1].body, c.kept ? "a=1" : "");
  }
}

TEST(RequestObjectTest, CallerCredentialsAndCookiesGoOnlyToTheOpenedOrigin) {
  // The opened origin, 127.0.0.1:<start>, sets a cookie in the object's store
  // and sends each row's request on to its target.
  LoopbackServer start;
  LoopbackServer otherPort;
  LoopbackServer secure(Scheme::Https);
  const std::string startHost = "127.0.0.1:" + std::to_string(start.port());
  const std::string elsewhere = "http://localhost:" + std::to_string(start.port()) + "/landed";
  struct Case {
    std::string name;
    std::string target;
    LoopbackServer* server;
    bool callerHost;     // the caller names the Host, as the batch job does
    bool callerHeaders;  // the caller's Authorization and Cookie arrive
    bool storedCookie;   // the cookie the opened origin set arrives
  };
  const std::vector<Case> cases = {
      {"same origin", start.url("/landed"), &start, false, true, true},
      {"other port", otherPort.url("/landed"), &otherPort, false, false, true},  // cookies belong to hosts
      {"other host name", elsewhere, &start, false, false, false},
      {"other host name, Host named", elsewhere, &start, true, false, false},
      {"https upgrade", secure.url("/landed"), &secure, false, false, true},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    start.handle("/from/" + std::to_string(i), [&, i](const SeenRequest&) {
      Answer answer = Answer::redirect(cases[i].target);
      answer.headers.emplace_back("Set-Cookie", "stored=1; Path=/");
      return answer;
    });
  }
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    Client client;
    ASSERT_EQ(client.put(kOptionSslErrorIgnoreFlags, i4(kSslIgnoreAll)), kOk);
    ASSERT_EQ(client.open("GET", start.url("/from/" + std::to_string(i))), kOk);
    if (c.callerHost) {
      ASSERT_EQ(client.header("Host", startHost), kOk);
    }
    ASSERT_EQ(client.header("Authorization", "Basic dTpw"), kOk);
    ASSERT_EQ(client.header("Cookie", "sid=caller"), kOk);
    ASSERT_EQ(client.header("X-Other", "1"), kOk);
    ASSERT_EQ(client.send(), kOk);
    EXPECT_EQ(client.body(), "ok");

    const auto opened = start.requests();
    const SeenRequest first = opened.at(opened.size() - (c.server == &start ? 2 : 1));
    EXPECT_EQ(first.header("Authorization"), "Basic dTpw");
    EXPECT_EQ(first.header("Cookie"), "sid=caller");
    const SeenRequest landed = c.server->lastRequest();
    ASSERT_EQ(landed.target, "/landed");
    EXPECT_EQ(landed.hasHeader("Authorization"), c.callerHeaders);
    const std::string cookie = landed.header("Cookie");
    EXPECT_EQ(cookie.find("sid=caller") != std::string::npos, c.callerHeaders) << cookie;
    EXPECT_EQ(cookie.find("stored=1") != std::string::npos, c.storedCookie) << cookie;
    EXPECT_EQ(landed.header("X-Other"), "1");
  }
}

TEST(RequestObjectTest, AHostNamedForOneRequestLeavesTheCookiesOfTheNext) {
  // Cookies are kept and sent by the host a request went to; a Host header
  // named for one request (of this object or of one gone before) must not
  // decide that for a later one.
  LoopbackServer server;
  server.handle("/set", [](const SeenRequest&) {
    Answer answer = Answer::text("set");
    answer.headers.emplace_back("Set-Cookie", "mine=1; Path=/");
    return answer;
  });
  {
    Client earlier;
    ASSERT_EQ(earlier.open("GET", server.url("/")), kOk);
    ASSERT_EQ(earlier.header("Host", "elsewhere.invalid"), kOk);
    ASSERT_EQ(earlier.send(), kOk);
  }
  for (int round = 0; round < 4; ++round) {
    Client client;
    ASSERT_EQ(client.fetch(server.url("/set")), kOk);
    ASSERT_EQ(client.fetch(server.url("/again")), kOk);
    EXPECT_EQ(server.lastRequest().header("Cookie"), "mine=1") << "round " << round;
    ASSERT_EQ(client.fetch("http://localhost:" + std::to_string(server.port()) + "/other"), kOk);
    EXPECT_FALSE(server.lastRequest().hasHeader("Cookie")) << "round " << round;
  }
}

TEST(RequestObjectTest, ProxyCredentialsSetByTheCallerStayWithTheOpenedOrigin) {
  LoopbackServer proxy;
  proxy.handle("http://a.invalid/from-a", [](const SeenRequest&) { return Answer::redirect("/again"); });
  proxy.handle("http://a.invalid/from-b", [](const SeenRequest&) { return Answer::redirect("http://b.invalid/"); });
  for (const auto& [opened, stays] : {std::pair{"http://a.invalid/from-a", true}, {"http://a.invalid/from-b", false}}) {
    SCOPED_TRACE(opened);
    Client client;
    ASSERT_EQ(client.call(u"SetProxy", {i4(kProxyNamed), str("127.0.0.1:" + std::to_string(proxy.port()))}), kOk);
    ASSERT_EQ(client.open("GET", opened), kOk);
    ASSERT_EQ(client.header("Proxy-Authorization", "Basic dXNlcjpzZWNyZXQ="), kOk);
    ASSERT_EQ(client.send(), kOk);
    const auto requests = proxy.requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[requests.size() - 2].header("Proxy-Authorization"), "Basic dXNlcjpzZWNyZXQ=");
    EXPECT_EQ(requests.back().hasHeader("Proxy-Authorization"), stays) << requests.back().target;
  }
}

TEST(RequestObjectTest, NeverFromHttpsToHttp) {
  LoopbackServer plain;
  LoopbackServer secure(Scheme::Https);
  secure.handle("/down", [&](const SeenRequest&) { return Answer::redirect(plain.url("/insecure")); });
  Client client;
  ASSERT_EQ(client.put(kOptionSslErrorIgnoreFlags, i4(kSslIgnoreAll)), kOk);
  EXPECT_EQ(client.fetch(secure.url("/down")), kErrorRedirectFailed);
  EXPECT_EQ(client.status(), -1);
  EXPECT_TRUE(plain.requests().empty());
}

// ---- Certificates ----

TEST(RequestObjectTest, CertificateErrorsAreIgnoredOnlyWhenNamed) {
  struct Case {
    Certificate certificate;
    std::int32_t flags;
    bool passes;
  };
  const std::vector<Case> cases = {
      {Certificate::Localhost, 0, false},
      {Certificate::Localhost, kSslIgnoreUnknownCa, true},
      {Certificate::Localhost, kSslIgnoreInvalidCommonName | kSslIgnoreInvalidDate, false},
      {Certificate::Localhost, kSslIgnoreAll, true},
      {Certificate::WrongName, kSslIgnoreUnknownCa, false},
      {Certificate::WrongName, kSslIgnoreUnknownCa | kSslIgnoreInvalidCommonName, true},
      {Certificate::Expired, kSslIgnoreUnknownCa, false},
      {Certificate::Expired, kSslIgnoreUnknownCa | kSslIgnoreInvalidDate, true},
      {Certificate::Expired, kSslIgnoreAll, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "certificate " << static_cast<int>(c.certificate) << " flags " << c.flags);
    LoopbackServer server(Scheme::Https, c.certificate);
    server.handle("/", [](const SeenRequest&) { return Answer::text("secret"); });
    // Twice: a connection or TLS resumption data kept from a lenient request must not
    // let a stricter one through.
    for (std::int32_t flags : {kSslIgnoreAll, c.flags}) {
      Client client;
      ASSERT_EQ(client.put(kOptionSslErrorIgnoreFlags, i4(flags)), kOk);
      const HResult sent = client.fetch(server.url("/"));
      if (flags != c.flags) continue;
      if (c.passes) {
        EXPECT_EQ(sent, kOk);
        EXPECT_EQ(client.body(), "secret");
      } else {
        EXPECT_EQ(sent, kErrorSecureFailure);
        EXPECT_EQ(client.body(), "<failed>");
      }
    }
  }
}

// ---- Failures of the connection ----

TEST(RequestObjectTest, GivesUpOnAServerThatNeverAnswers) {
  RawServer silent(std::string(test_support::kReplyNothing), RawServer::After::Stall);
  RawServer stalling(std::string(test_support::kReplyHeadersOnly), RawServer::After::Stall);
  for (RawServer* server : {&silent, &stalling}) {
    Client client;
    ASSERT_EQ(client.timeouts(300), kOk);
    EXPECT_EQ(client.fetch(server->url("/")), kErrorTimeout);
    EXPECT_EQ(client.status(), -1);
    EXPECT_EQ(client.responseHeaders(), "<failed>");
    EXPECT_EQ(server->connectionCount(), 1);
  }
}

TEST(RequestObjectTest, GivesUpOnAServerThatStopsReadingTheBody) {
  RawServer server(std::string(test_support::kReplyNothing), RawServer::After::Stall);
  Client client;
  // Only sending has a limit: a stalled upload must end through it.
  ASSERT_EQ(client.call(u"SetTimeouts", {i4(0), i4(0), i4(300), i4(0)}), kOk);
  ASSERT_EQ(client.open("POST", server.url("/upload")), kOk);
  EXPECT_EQ(client.send(Variant::fromBytes(std::vector<std::uint8_t>(24 << 20, 'u'))), kErrorTimeout);
  EXPECT_EQ(client.status(), -1);
}

TEST(RequestObjectTest, RefusedConnection) {
  const test_support::RefusedPort refused;
  Client client;
  EXPECT_EQ(client.fetch("http://127.0.0.1:" + std::to_string(refused.port()) + "/"),
            kErrorCannotConnect);
  EXPECT_EQ(client.status(), -1);
}

// Lowers the response body limit of every request object for one scope.
class LoweredBodyLimit {
 public:
  explicit LoweredBodyLimit(std::size_t bytes) { setResponseBodyLimitForTesting(bytes); }
  ~LoweredBodyLimit() { setResponseBodyLimitForTesting(0); }
  LoweredBodyLimit(const LoweredBodyLimit&) = delete;
  LoweredBodyLimit& operator=(const LoweredBodyLimit&) = delete;
};

TEST(RequestObjectTest, ABodyOverTheLimitFailsTheSend) {
  constexpr std::size_t kLimit = 256 * 1024;
  const LoweredBodyLimit lowered(kLimit);
  const std::string plainHead = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";  // the body runs to the close
  auto announcing = [](std::uint64_t length) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n";
  };
  // The head, then `patternBytes` of the pattern, then the connection closes.
  auto reply = [](std::string head, std::uint64_t patternBytes) {
    ScriptedReply r;
    r.bytes = std::move(head);
    r.patternBytes = patternBytes;
    r.then = ScriptedReply::Then::Close;
    return r;
  };
  struct Case {
    std::string name;
    ScriptedReply reply;
    bool fits;
  };
  ScriptedReply chunked;
  chunked.bytes = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  for (std::size_t sent = 0; sent <= kLimit; sent += 0x1000) chunked.bytes += "1000\r\n" + std::string(0x1000, 'c') + "\r\n";
  chunked.bytes += "0\r\n\r\n";
  const std::vector<Case> cases = {
      {"announced, the limit itself", reply(announcing(kLimit), kLimit), true},
      {"announced, one byte over", reply(announcing(kLimit + 1), kLimit + 1), false},
      {"announced far over, little sent", reply(announcing(std::uint64_t{1} << 40), 10), false},
      {"until closed, the limit itself", reply(plainHead, kLimit), true},
      {"until closed, one byte over", reply(plainHead, kLimit + 1), false},
      {"without end", reply(plainHead, test_support::kEndless), false},
      {"chunked, over", chunked, false},
  };
  ScriptedServer server([&](const ScriptedRequest& request) {
    for (std::size_t i = 0; i < cases.size(); ++i)
      if (request.target == "/" + std::to_string(i)) return cases[i].reply;
    return ScriptedReply::response(200, "OK", {}, "small");
  });
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    Client client;
    const HResult sent = client.fetch(server.url("/" + std::to_string(i)));
    if (c.fits) {
      ASSERT_EQ(sent, kOk);
      EXPECT_EQ(client.status(), 200);
      EXPECT_TRUE(client.body() == test_support::patternBody(kLimit)) << "the bytes differ";
    } else {
      EXPECT_EQ(sent, kErrorResponseTooLarge);
      EXPECT_EQ(client.status(), -1);
      EXPECT_EQ(client.body(), "<failed>");
      // The object is as good as new for its next request.
      ASSERT_EQ(client.fetch(server.url("/small")), kOk);
      EXPECT_EQ(client.body(), "small");
    }
  }
}

TEST(RequestObjectTest, MalformedResponsesFailTheSend) {
  // The web layer counts each of these as a failed request; the object
  // itself must fail the Send, and leave nothing to read.
  struct Case {
    std::string_view reply;
    HResult expected;
  };
  const Case cases[] = {
      {test_support::kReplyShortBody, kErrorConnectionError},
      {test_support::kReplyGarbageStatusLine, kErrorInvalidServerResponse},
      {test_support::kReplyHeaderWithoutColon, kErrorInvalidServerResponse},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.reply));
    RawServer server(std::string(c.reply), RawServer::After::Close);
    Client client;
    EXPECT_EQ(client.fetch(server.url()), c.expected);
    EXPECT_EQ(client.status(), -1);
    EXPECT_EQ(client.body(), "<failed>");
    EXPECT_EQ(client.responseHeaders(), "<failed>");
  }
}

// ---- Proxies ----

TEST(RequestObjectTest, NamedProxySeesTheAbsoluteUrlAndCredentials) {
  LoopbackServer proxy;
  proxy.handle("http://quillmark.invalid/logo", [](const SeenRequest&) { return Answer::text("via proxy"); });
  const std::string at = "127.0.0.1:" + std::to_string(proxy.port());
  for (const std::string& setting : {at, "http=" + at + ";https=127.0.0.1:1"}) {
    Client client;
    ASSERT_EQ(client.call(u"SetProxy", {i4(kProxyNamed), str(setting)}), kOk);
    ASSERT_EQ(client.open("GET", "http://quillmark.invalid/logo"), kOk);
    ASSERT_EQ(client.call(u"SetCredentials", {str("user"), str("secret"), i4(kCredentialsForProxy)}), kOk);
    ASSERT_EQ(client.header("Proxy-Authorization", "Basic dXNlcjpzZWNyZXQ="), kOk);
    ASSERT_EQ(client.send(), kOk);
    EXPECT_EQ(client.body(), "via proxy");
    const SeenRequest seen = proxy.lastRequest();
    EXPECT_EQ(seen.requestLine, "GET http://quillmark.invalid/logo HTTP/1.1");
    EXPECT_EQ(seen.header("Host"), "quillmark.invalid");
    EXPECT_EQ(seen.header("Proxy-Authorization"), "Basic dXNlcjpzZWNyZXQ=");
    EXPECT_EQ(seen.headerCount("Proxy-Authorization"), 1);
  }
}

TEST(RequestObjectTest, HttpsThroughAProxyTunnel) {
  test_support::TunnelProxy proxy;
  LoopbackServer server(Scheme::Https);
  server.handle("/secure", [](const SeenRequest&) { return Answer::text("tunnelled"); });
  Client client;
  ASSERT_EQ(client.call(u"SetProxy", {i4(kProxyNamed), str("https=" + proxy.address())}), kOk);
  ASSERT_EQ(client.put(kOptionSslErrorIgnoreFlags, i4(kSslIgnoreAll)), kOk);
  ASSERT_EQ(client.open("GET", server.url("/secure")), kOk);
  ASSERT_EQ(client.header("Proxy-Authorization", "Basic dXNlcjpzZWNyZXQ="), kOk);
  ASSERT_EQ(client.header("X-Inner", "1"), kOk);
  ASSERT_EQ(client.send(), kOk);
  EXPECT_EQ(client.body(), "tunnelled");
  ASSERT_EQ(proxy.requests().size(), 1u);
  const SeenRequest connect = proxy.requests()[0];
  EXPECT_EQ(connect.requestLine, "CONNECT 127.0.0.1:" + std::to_string(server.port()) + " HTTP/1.1");
  EXPECT_EQ(connect.header("Proxy-Authorization"), "Basic dXNlcjpzZWNyZXQ=");
  EXPECT_FALSE(connect.hasHeader("X-Inner"));
  // Inside the tunnel the server sees its own headers only.
  const SeenRequest inner = server.lastRequest();
  EXPECT_EQ(inner.header("X-Inner"), "1");
  EXPECT_FALSE(inner.hasHeader("Proxy-Authorization"));
}

TEST(RequestObjectTest, NoProxyFromTheEnvironment) {
  LoopbackServer proxy;
  LoopbackServer origin;
  // Every variable libcurl could take a proxy from, for this test only.
  test_support::ScopedEnvironment environment;
  for (const char* name : {"http_proxy", "HTTP_PROXY", "ALL_PROXY", "all_proxy"})
    environment.set(name, proxy.url(""));
  for (std::int32_t setting : {-1, kProxyDefault, kProxyDirect}) {
    Client client;
    if (setting >= 0) {
      ASSERT_EQ(client.call(u"SetProxy", {i4(setting), str("")}), kOk);
    }
    ASSERT_EQ(client.open("GET", origin.url("/direct")), kOk);
    ASSERT_EQ(client.header("Proxy-Authorization", "Basic eDp5"), kOk);
    ASSERT_EQ(client.send(), kOk);
    // Proxy credentials never reach the server itself.
    EXPECT_FALSE(origin.lastRequest().hasHeader("Proxy-Authorization"));
  }
  EXPECT_EQ(origin.requests().size(), 3u);
  EXPECT_TRUE(proxy.requests().empty());
}

TEST(RequestObjectTest, ServerCredentialsAnswerTheChallenge) {
  LoopbackServer server;
  server.handle("/private", [](const SeenRequest& seen) {
    if (seen.header("Authorization") == "Basic dTpw") return Answer::text("welcome");
    Answer answer = Answer::text("who?", 401);
    answer.headers.emplace_back("WWW-Authenticate", "Basic realm=\"q\"");
    return answer;
  });
  Client client;
  ASSERT_EQ(client.open("GET", server.url("/private")), kOk);
  ASSERT_EQ(client.call(u"SetCredentials", {str("u"), str("p"), i4(kCredentialsForServer)}), kOk);
  ASSERT_EQ(client.send(), kOk);
  EXPECT_EQ(client.status(), 200);
  EXPECT_EQ(client.body(), "welcome");
}

// ---- Cookies and connections ----

TEST(RequestObjectTest, KeepsCookiesForLaterRequestsAndRedirectHops) {
  LoopbackServer server;
  server.handle("/login", [](const SeenRequest&) {
    Answer answer = Answer::redirect("/home");
    answer.headers.emplace_back("Set-Cookie", "sid=abc; Path=/");
    return answer;
  });
  Client client;
  ASSERT_EQ(client.fetch(server.url("/login")), kOk);
  ASSERT_EQ(server.requests().size(), 2u);
  EXPECT_EQ(server.lastRequest().header("Cookie"), "sid=abc");  // the redirect hop

  ASSERT_EQ(client.open("GET", server.url("/later")), kOk);
  ASSERT_EQ(client.header("Cookie", "theme=dark"), kOk);
  ASSERT_EQ(client.send(), kOk);
  const SeenRequest later = server.lastRequest();
  EXPECT_EQ(later.headerCount("Cookie"), 1);
  EXPECT_NE(later.header("Cookie").find("sid=abc"), std::string::npos);
  EXPECT_NE(later.header("Cookie").find("theme=dark"), std::string::npos);

  Client other;  // another object has a store of its own
  ASSERT_EQ(other.fetch(server.url("/other")), kOk);
  EXPECT_FALSE(server.lastRequest().hasHeader("Cookie"));
}

TEST(RequestObjectTest, AnObjectMadeAfterAnotherIsGoneStartsAfresh) {
  // Objects made one after another take over the machinery of those that
  // are gone; nothing of the old object's cookies or settings may come along.
  LoopbackServer server;
  server.handle("/set", [](const SeenRequest&) {
    Answer answer = Answer::text("set");
    answer.headers.emplace_back("Set-Cookie", "sid=old; Path=/");
    return answer;
  });
  server.handle("/from", [](const SeenRequest&) { return Answer::redirect("/to"); });
  for (int round = 0; round < 20; ++round) {
    {
      Client old;
      ASSERT_EQ(old.fetch(server.url("/set")), kOk);
      ASSERT_EQ(old.open("GET", server.url("/from")), kOk);
      ASSERT_EQ(old.put(kOptionEnableRedirects, Variant::fromBool(false)), kOk);
      ASSERT_EQ(old.header("X-Old", "1"), kOk);
      ASSERT_EQ(old.send(), kOk);
    }
    Client fresh;
    ASSERT_EQ(fresh.fetch(server.url("/from")), kOk);
    const SeenRequest seen = server.lastRequest();
    EXPECT_EQ(seen.target, "/to") << "redirects are on again";
    EXPECT_FALSE(seen.hasHeader("Cookie")) << seen.header("Cookie");
    EXPECT_FALSE(seen.hasHeader("X-Old"));
  }
}

TEST(RequestObjectTest, ConsecutiveRequestsShareOneConnection) {
  LoopbackServer server;
  Client first;
  for (int i = 0; i < 3; ++i) ASSERT_EQ(first.fetch(server.url("/again")), kOk);
  Client second;
  ASSERT_EQ(second.fetch(server.url("/again")), kOk);
  EXPECT_EQ(server.requests().size(), 4u);
  EXPECT_EQ(server.connectionCount(), 1);
  for (const auto& seen : server.requests()) EXPECT_EQ(seen.connection, 1);
}

TEST(RequestObjectTest, ObjectsWorkOnSeveralThreadsAtOnce) {
  LoopbackServer server;
  std::vector<std::thread> threads;
  std::atomic<int> good{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 5; ++i) {
        Client client;
        const std::string path = "/t" + std::to_string(t) + "/" + std::to_string(i);
        if (client.fetch(server.url(path)) == kOk && client.body() == "ok") ++good;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(good.load(), 20);
}

}  // namespace
}  // namespace quillmark::platform::winhttp
