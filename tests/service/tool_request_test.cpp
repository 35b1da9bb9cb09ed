// The batch job's own request, sent by the job's own code to the real
// service: the Cookie text of logoCookieText and the header lines of
// addLogoRequestHeaders, through webRequest, so that the tool and the
// service cannot drift apart.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/logo_batch.h"
#include "data/name_value_list.h"
#include "platform/codepage.h"
#include "service/logo_renderer.h"
#include "service/logo_request.h"
#include "service/logo_service.h"
#include "web/web_request.h"

namespace quillmark::service {
namespace {

class ToolRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::optional<int> port = server_.start("127.0.0.1", 0);
    ASSERT_TRUE(port.has_value()) << "the server did not start";
    service_.host = Text("127.0.0.1:" + std::to_string(*port));
  }

  LogoServer server_;
  LogoService service_;
};

TEST_F(ToolRequestTest, TheJobsRequestGetsTheLogoOfItsTemplateAndTitle) {
  for (const std::string& title : {std::string("Blue Harbour Cafe"), platform::utf8ToGbk("第三方影院")}) {
    SCOPED_TRACE(title);
    const Text templateName("zm-1-205.png");
    Text cookies = logoCookieText(templateName, Text(title));
    NameValueList headerList;
    addLogoRequestHeaders(headerList, service_);
    Text headers = headerList.toHeaderBlock();
    int status = 0;
    WebRequestOptions options;
    options.cookies = &cookies;
    options.headers = &headers;
    options.statusCode = &status;
    const ByteBuffer body = webRequest(service_.imageUrl(), options);
    EXPECT_EQ(status, 200);
    LogoRequest expected;
    expected.templateName = "zm-1-205.png";
    expected.titleGbk = title;
    EXPECT_EQ(std::string(body.view()), renderLogoPng(expected));
  }
}

}  // namespace
}  // namespace quillmark::service
