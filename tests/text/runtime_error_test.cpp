#include "text/runtime_error.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include "text/source_location.h"

#include "text/primitives.h"
#include "text/text_array.h"
#include "text_test_support.h"

#if defined(__SANITIZE_ADDRESS__)
#define QUILLMARK_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILLMARK_SANITIZED 1
#endif
#endif

namespace quillmark {
namespace {

using testing_support::arrayOf;

class FatalError : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(FatalError, BoxTextHasCodeMessageAndLocationLines) {
  const SourceLocation here = SourceLocation::current();
  const Text text = runtimeErrorText(4, gbk("数组成员引用下标必须大于等于1"), here);
  const std::string expectedStart = std::string(gbk("运行时出错!").view()) + "\r\n\r\n" +
                                    std::string(gbk("错误代码：").view()) + "4\r\n\r\n" +
                                    std::string(gbk("错误信息：数组成员引用下标必须大于等于1").view()) + "\r\n";
  ASSERT_GE(text.view().size(), expectedStart.size());
  EXPECT_EQ(text.view().substr(0, expectedStart.size()), expectedStart);
  EXPECT_NE(text.view().find("runtime_error_test.cpp"), std::string_view::npos);
  EXPECT_NE(text.view().find(std::to_string(here.line())), std::string_view::npos);
}

TEST_F(FatalError, BoxTextLeavesOutCodeZeroAndAnEmptyMessage) {
  const auto here = SourceLocation::current();
  const std::string heading = std::string(gbk("运行时出错!").view()) + "\r\n";
  EXPECT_EQ(runtimeErrorText(0, Text(), here).view().substr(0, heading.size() + 2), heading + "\r\n");
  EXPECT_EQ(runtimeErrorText(0, Text(), here).view().find(gbk("错误代码").view()), std::string_view::npos);
  EXPECT_EQ(runtimeErrorText(0, Text(), here).view().find(gbk("错误信息").view()), std::string_view::npos);
  EXPECT_NE(runtimeErrorText(-3, Text(), here).view().find(gbk("错误代码：-3").view()), std::string_view::npos);
}

TEST_F(FatalError, MessagesAreTheSystemsOwn) {
  EXPECT_EQ(indexAboveSizeMessage(), gbk("数组成员引用下标超出定义范围"));
  EXPECT_EQ(indexBelowOneMessage(), gbk("数组成员引用下标必须大于等于1"));
  EXPECT_EQ(moduloByZeroMessage(), gbk("不能求余数于零"));
}

TEST_F(FatalError, ArrayPositionZeroIsCodeFour) {
  const TextArray items = arrayOf({"a", "b"});
  EXPECT_EXIT((void)items.at(0), ::testing::ExitedWithCode(255),
              "错误\n运行时出错!\r\n\r\n错误代码：4\r\n\r\n错误信息：数组成员引用下标必须大于等于1\r\n");
  EXPECT_EXIT((void)items.at(-1), ::testing::ExitedWithCode(255), "错误代码：4");
}

TEST_F(FatalError, ArrayPositionAboveSizeIsCodeOne) {
  TextArray items = arrayOf({"a", "b"});
  EXPECT_EXIT((void)items.at(3), ::testing::ExitedWithCode(255),
              "错误代码：1\r\n\r\n错误信息：数组成员引用下标超出定义范围\r\n");
  EXPECT_EXIT(items.at(3) = Text("c"), ::testing::ExitedWithCode(255), "错误代码：1");
  const TextArray none;
  EXPECT_EXIT((void)none.at(1), ::testing::ExitedWithCode(255), "错误代码：1");
}

TEST_F(FatalError, RemovingOutsideTheArrayIsFatal) {
  TextArray items = arrayOf({"a"});
  EXPECT_EXIT(items.removeAt(2), ::testing::ExitedWithCode(255), "错误代码：1");
  EXPECT_EXIT(items.removeAt(0), ::testing::ExitedWithCode(255), "错误代码：4");
}

TEST_F(FatalError, ModuloByZeroShowsTheMessageAndNoCodeLine) {
  EXPECT_EXIT(modulo(1, 0), ::testing::ExitedWithCode(255),
              "^错误\n运行时出错!\r\n\r\n错误信息：不能求余数于零\r\n");
  EXPECT_EXIT(modulo(-1, -0.0), ::testing::ExitedWithCode(255), "不能求余数于零");
}

void limitAddressSpace() {
  const rlimit limit{1UL << 30, 1UL << 30};  // 1 GiB: 1.5 GB values cannot be had
  setrlimit(RLIMIT_AS, &limit);
}

TEST_F(FatalError, AllocationFailureNamesTheBytes) {
#if defined(QUILLMARK_SANITIZED)
  GTEST_SKIP() << "the address sanitizer reserves more address space than the limit allows";
#endif
  EXPECT_EXIT(
      {
        limitAddressSpace();
        (void)blankText(1500000000);
      },
      ::testing::ExitedWithCode(255), "运行时出错!\r\n\r\n错误信息：分配 1500000000 字节内存失败!\r\n");
  EXPECT_EXIT(
      {
        limitAddressSpace();
        (void)blankBytes(1600000000);
      },
      ::testing::ExitedWithCode(255), "分配 1600000000 字节内存失败!");
}

}  // namespace
}  // namespace quillmark
