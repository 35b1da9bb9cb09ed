#include <gtest/gtest.h>

#include <string>

#include "text/text.h"

namespace quillmark {
namespace {

TEST(TextType, StopsAtTheFirstZeroByte) {
  using namespace std::string_literals;
  EXPECT_EQ(Text("a\0b"s).view(), "a");
  EXPECT_EQ(Text(std::string_view("\0b", 2)).length(), 0);
  EXPECT_EQ(Text(static_cast<const char*>(nullptr)), Text());
  EXPECT_EQ(Text("abc").length(), 3);
}

TEST(TextType, GbkLiteralIsCodePage936) {
  EXPECT_EQ(gbk("错误").view(), "\xB4\xED\xCE\xF3");
  EXPECT_EQ(gbk("ab").view(), "ab");
}

}  // namespace
}  // namespace quillmark
