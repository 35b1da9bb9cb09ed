#include "support/faulty_service.h"

#include <atomic>
#include <utility>

namespace quillmark::test_support {

namespace {

// A head that promises `length` body bytes and sets a cookie.
std::string headPromising(std::uint64_t length, std::string_view cookie) {
  return "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nSet-Cookie: " + std::string(cookie) +
         "; path=/\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n";
}

// The reply of the first request for the path.
ScriptedReply firstReply(Fault fault, const std::string& httpsHop) {
  ScriptedReply reply;
  switch (fault) {
    case Fault::Refused:  // never asked: the first connection is refused
      break;
    case Fault::NeverAnswers:
      reply.then = ScriptedReply::Then::Stall;
      break;
    case Fault::HeadersThenStall:
      reply.bytes = headPromising(100, "half=1") + "abc";
      reply.then = ScriptedReply::Then::Stall;
      break;
    case Fault::ShortBody:
      reply.bytes = headPromising(100, "short=1") + "abc";
      reply.then = ScriptedReply::Then::Close;
      break;
    case Fault::GarbageStatusLine:
      reply.bytes = "NOT-HTTP garbage\r\n\r\nhello";
      reply.then = ScriptedReply::Then::Close;
      break;
    case Fault::RedirectLoop:
      reply = ScriptedReply::redirect("/loop");
      break;
    case Fault::HttpsToHttp:
      reply = ScriptedReply::redirect(httpsHop);
      break;
    case Fault::ServerError:
      reply = ScriptedReply::response(500, "Internal Server Error", {"Content-Type: text/html", "Set-Cookie: err=1"},
                                      std::string(kServerErrorPage));
      break;
    case Fault::HugeBody:
      reply.bytes = headPromising(kHugeBodyBytes, "huge=1");
      reply.patternBytes = kHugeBodyBytes;
      break;
    case Fault::SlowDrip:
      reply.bytes = headPromising(kDripBytes, "drip=1");
      reply.drip = patternBody(kDripBytes);
      reply.dripInterval = kDripInterval;
      break;
    case Fault::EndlessBody:
      reply.bytes = "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nSet-Cookie: endless=1; path=/\r\n\r\n";
      reply.patternBytes = kEndless;
      reply.then = ScriptedReply::Then::Close;
      break;
  }
  return reply;
}

}  // namespace

std::string faultName(Fault fault) {
  switch (fault) {
    case Fault::Refused: return "Refused";
    case Fault::NeverAnswers: return "NeverAnswers";
    case Fault::HeadersThenStall: return "HeadersThenStall";
    case Fault::ShortBody: return "ShortBody";
    case Fault::GarbageStatusLine: return "GarbageStatusLine";
    case Fault::RedirectLoop: return "RedirectLoop";
    case Fault::HttpsToHttp: return "HttpsToHttp";
    case Fault::ServerError: return "ServerError";
    case Fault::HugeBody: return "HugeBody";
    case Fault::SlowDrip: return "SlowDrip";
    case Fault::EndlessBody: return "EndlessBody";
  }
  return "Unknown";
}

FaultyService::FaultyService(Fault fault, std::string path, ScriptedReply afterwards) : path_(std::move(path)) {
  auto served = std::make_shared<std::atomic<int>>(0);
  auto httpPort = std::make_shared<std::atomic<int>>(0);
  std::string httpsHop;
  if (fault == Fault::HttpsToHttp) {
    https_ = std::make_unique<LoopbackServer>(Scheme::Https);
    https_->handle("/hop", [httpPort](const SeenRequest&) {
      return Answer::redirect("http://127.0.0.1:" + std::to_string(httpPort->load()) + "/plain");
    });
    httpsHop = https_->url("/hop");
  }
  const ScriptedReply first = firstReply(fault, httpsHop);
  server_ = std::make_unique<ScriptedServer>(
      [=, path = path_](const ScriptedRequest& request) {
        if (request.target == path) return ++*served == 1 ? first : afterwards;
        if (request.target == "/loop") {
          ScriptedReply again = ScriptedReply::redirect("/loop");
          return again;
        }
        return ScriptedReply::response(404, "Not Found", {}, "not here");
      },
      fault != Fault::Refused);
  *httpPort = server_->port();
  // A refused first connection is the fault itself: the first request that
  // arrives once listening is a later one.
  if (fault == Fault::Refused) *served = 1;
}

int FaultyService::httpsRequests() const { return https_ ? static_cast<int>(https_->requests().size()) : 0; }

}  // namespace quillmark::test_support
