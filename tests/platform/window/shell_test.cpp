#include "platform/shell.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillmark::platform {
namespace {

TEST(OpenUrl, HandsTheUrlToTheInstalledHandler) {
  std::vector<std::string> opened;
  setUrlHandler([&](const std::string& url) { opened.push_back(url); });
  openUrl("https://quillmark.example/update?a=1&b=更新");
  openUrl("");
  setUrlHandler({});
  EXPECT_EQ(opened, (std::vector<std::string>{"https://quillmark.example/update?a=1&b=更新", ""}));
}

}  // namespace
}  // namespace quillmark::platform
