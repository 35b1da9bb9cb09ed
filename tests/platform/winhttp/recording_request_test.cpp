#include "support/recording_request.h"

#include <gtest/gtest.h>

namespace quillmark::test_support {
namespace {

using com::InvokeKind;
using com::Variant;

class RecordingRequestTest : public ::testing::Test {
 protected:
  void SetUp() override { com::CoInitialize(nullptr); }
  void TearDown() override { com::CoUninitialize(); }
};

TEST_F(RecordingRequestTest, LogsConvertedArgumentsAndAnswersTheReply) {
  ScopedRecordingRequest scope;
  scope.object().setReply({{1, 0, 2}, u"A: b\r\n\r\n", 404, u"Not Found", u"http://x/final"});
  const com::ObjectHandle request = com::createObject(platform::winhttp::kRequestProgId);
  ASSERT_FALSE(request.empty());
  EXPECT_EQ(scope.creations(), 1);

  const std::vector<Variant> timeouts(4, Variant::fromString(u"15000"));
  EXPECT_EQ(com::invoke(request, u"settimeouts", InvokeKind::Method, timeouts), com::kOk);
  const std::vector<Variant> option = {Variant::fromInt32(6), Variant::fromInt32(0)};
  EXPECT_EQ(com::invoke(request, u"Option", InvokeKind::PropertyPut, option), com::kOk);
  Variant body, headers, status, url;
  EXPECT_EQ(com::invoke(request, u"ResponseBody", InvokeKind::PropertyGet, {}, &body), com::kOk);
  EXPECT_EQ(com::invoke(request, u"GetAllResponseHeaders", InvokeKind::Method, {}, &headers), com::kOk);
  EXPECT_EQ(com::invoke(request, u"Status", InvokeKind::PropertyGet, {}, &status), com::kOk);
  const std::vector<Variant> index = {Variant::fromInt32(1)};
  EXPECT_EQ(com::invoke(request, u"Option", InvokeKind::PropertyGet, index, &url), com::kOk);
  EXPECT_EQ(body, Variant::fromBytes({1, 0, 2}));
  EXPECT_EQ(headers, Variant::fromString(u"A: b\r\n\r\n"));
  EXPECT_EQ(status, Variant::fromInt32(404));
  EXPECT_EQ(url, Variant::fromString(u"http://x/final"));

  EXPECT_EQ(scope.object().callTexts(),
            (std::vector<std::string>{"SetTimeouts(I4(15000), I4(15000), I4(15000), I4(15000))",
                                      "put Option(I4(6), I4(0))", "get ResponseBody()",
                                      "GetAllResponseHeaders()", "get Status()", "get Option(I4(1))"}));
  EXPECT_EQ(scope.object().callsOf(u"status").size(), 1u);
}

TEST_F(RecordingRequestTest, RefusesWhatTheRealObjectWouldRefuseToConvert) {
  ScopedRecordingRequest scope;
  const com::ObjectHandle request = com::createObject(platform::winhttp::kRequestProgId);
  const std::vector<Variant> bytes = {Variant::fromBytes({1}), Variant::fromString(u"v")};
  EXPECT_EQ(com::invoke(request, u"SetRequestHeader", InvokeKind::Method, bytes), com::kTypeMismatch);
  EXPECT_TRUE(scope.object().calls().empty());
}

TEST_F(RecordingRequestTest, FailsChosenMembers) {
  ScopedRecordingRequest scope;
  scope.object().failMember(u"send");
  const com::ObjectHandle request = com::createObject(platform::winhttp::kRequestProgId);
  const std::vector<Variant> body = {Variant::fromString(u"x")};
  EXPECT_EQ(com::invoke(request, u"Send", InvokeKind::Method, body), com::kFail);
  EXPECT_EQ(scope.object().callTexts(), std::vector<std::string>{"Send(BSTR(\"x\"))"});
}

TEST_F(RecordingRequestTest, FailingFactoryGivesNoObject) {
  ScopedFailingRequest scope;
  platform::winhttp::registerRequestClass();  // does not replace the failing factory
  EXPECT_TRUE(com::createObject(platform::winhttp::kRequestProgId).empty());
}

}  // namespace
}  // namespace quillmark::test_support
