// webRequest with the real request object against loopback servers that
// misbehave: one row per fault, each stating what the caller gets back.
// Every call must come back, within the time-out where the server stalls;
// the watchdog turns a hang into a failure, and no duration is asserted.
#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>

#include "support/faulty_service.h"
#include "support/watchdog.h"
#include "text/text.h"
#include "web/web_request.h"

namespace quillmark {
namespace {

using test_support::Fault;
using test_support::FaultyService;
using test_support::ScriptedReply;

struct FaultRow {
  Fault fault;
  int timeoutSeconds;
  std::string body;              // the result
  int status;                    // statusCode
  std::string returnedCookies;   // the sent "sent=1" merged with what the response set
  bool headersRead;              // responseHeaders holds the response's lines
};

void PrintTo(const FaultRow& row, std::ostream* out) { *out << test_support::faultName(row.fault); }

const std::string kDripBody = test_support::patternBody(test_support::kDripBytes);

// The drip row's time-out: shorter than the whole drip, longer than any gap
// in it, so that only a stall limit lets the drip through.
constexpr int kDripTimeoutSeconds = 1;
static_assert(test_support::kDripInterval * test_support::kDripBytes > std::chrono::seconds(kDripTimeoutSeconds));
static_assert(test_support::kDripInterval < std::chrono::seconds(kDripTimeoutSeconds));

// A failed request gives the empty body, status 0, no response headers, and
// the sent cookies merged with nothing.
const FaultRow kRows[] = {
    {Fault::Refused, 2, "", 0, "sent=1", false},
    {Fault::NeverAnswers, 1, "", 0, "sent=1", false},
    {Fault::HeadersThenStall, 1, "", 0, "sent=1", false},
    {Fault::ShortBody, 2, "", 0, "sent=1", false},
    {Fault::GarbageStatusLine, 2, "", 0, "sent=1", false},
    {Fault::RedirectLoop, 2, "", 0, "sent=1", false},
    {Fault::HttpsToHttp, 2, "", 0, "sent=1", false},
    {Fault::ServerError, 2, std::string(test_support::kServerErrorPage), 500, "err=1; sent=1", true},
    // The whole body, byte for byte (checked below against the pattern).
    {Fault::HugeBody, 5, "<huge>", 200, "huge=1; sent=1", true},
    // The receive time-out is a stall limit: a body that keeps coming, however
    // slowly, is read to its end, though it takes longer than the time-out.
    {Fault::SlowDrip, kDripTimeoutSeconds, kDripBody, 200, "drip=1; sent=1", true},
    // A body that never ends fails once it passes the request object's limit.
    {Fault::EndlessBody, 5, "", 0, "sent=1", false},
};

class WebRequestFaults : public ::testing::TestWithParam<FaultRow> {};

TEST_P(WebRequestFaults, GivesWhatTheRowStates) {
  const FaultRow& row = GetParam();
  FaultyService service(row.fault, "/logo.png",
                        ScriptedReply::response(200, "OK", {}, "never asked for"));
  Text cookies("sent=1");
  Text returned("stale");
  Text responseHeaders("stale");
  int status = 7;
  ByteBuffer body;
  {
    test_support::Watchdog watchdog(std::chrono::seconds(row.timeoutSeconds + 60),
                                    "webRequest against " + test_support::faultName(row.fault));
    body = webRequest(Text(service.url()), {.cookies = &cookies,
                                            .returnedCookies = &returned,
                                            .responseHeaders = &responseHeaders,
                                            .statusCode = &status,
                                            .timeoutSeconds = row.timeoutSeconds});
  }
  if (row.fault == Fault::HugeBody) {
    ASSERT_EQ(body.view().size(), test_support::kHugeBodyBytes);
    EXPECT_TRUE(body.view() == test_support::patternBody(test_support::kHugeBodyBytes)) << "the bytes differ";
  } else {
    EXPECT_EQ(body.view(), row.body);
  }
  EXPECT_EQ(status, row.status);
  EXPECT_EQ(cookies.view(), row.returnedCookies);
  EXPECT_EQ(returned.view(), row.returnedCookies);
  EXPECT_EQ(!responseHeaders.empty(), row.headersRead) << responseHeaders.view();
  if (row.headersRead) {
    EXPECT_TRUE(responseHeaders.view().ends_with("\r\n\r\n"));
  }

  if (row.fault == Fault::RedirectLoop) {
    // The first request and ten redirects followed; the eleventh is refused.
    EXPECT_EQ(service.requests().size(), 11u);
  }
  if (row.fault == Fault::HttpsToHttp) {
    EXPECT_EQ(service.httpsRequests(), 1);
    EXPECT_EQ(service.requests().size(), 1u) << "the http target of the https hop is never asked";
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, WebRequestFaults, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<FaultRow>& info) {
                           return test_support::faultName(info.param.fault);
                         });

}  // namespace
}  // namespace quillmark
