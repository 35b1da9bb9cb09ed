#include "data/codepage_text.h"

#include <gtest/gtest.h>

#include <string>

namespace quillmark {
namespace {

ByteBuffer bytes(std::string_view raw) { return ByteBuffer(raw); }

TEST(AnsiToUtf8, ConvertsCodePage936ToUtf8) {
  struct Case {
    Text input;
    std::string expected;
  };
  const Case cases[] = {
      {Text(), ""},
      {Text("Accept: */*"), "Accept: */*"},
      {Text("\xD6\xD0"), "\xE4\xB8\xAD"},
      {gbk("标题1"), "标题1"},
      {Text("\x80"), "\xE2\x82\xAC"},      // the euro sign of the Microsoft table
      {Text("a\x81"), "a\xEF\xBF\xBD"},    // a broken character becomes U+FFFD
      {Text("\xAA\xA1"), "\xEE\x80\x80"},  // user-defined area: U+E000
  };
  for (const auto& c : cases) EXPECT_EQ(ansiToUtf8(c.input).bytes(), c.expected) << c.expected;
}

TEST(MultiByteToWide, GivesUnitsAndTheZeroUnit) {
  struct Case {
    Text input;
    int codePage;
    std::string expected;
  };
  const Case cases[] = {
      {Text("ab"), kCodePageGbk, std::string("a\0b\0\0\0", 6)},
      {Text(), kCodePageGbk, std::string("\0\0", 2)},
      {Text(), kCodePageUtf8, std::string("\0\0", 2)},
      {Text("\xD6\xD0"), kCodePageAnsi, std::string("\x2D\x4E\0\0", 4)},
      {Text("\xE4\xB8\xAD"), kCodePageUtf8, std::string("\x2D\x4E\0\0", 4)},
      {Text("\xF0\x9F\x98\x80"), kCodePageUtf8, std::string("\x3D\xD8\x00\xDE\0\0", 6)},
      {Text("\xFF"), kCodePageUtf8, std::string("\xFD\xFF\0\0", 4)},
  };
  for (const auto& c : cases) EXPECT_EQ(multiByteToWide(c.input, c.codePage), bytes(c.expected));
}

TEST(MultiByteToWide, ReadsUtf8WhenNoCodePageIsGiven) {
  EXPECT_EQ(multiByteToWide(Text("\xE4\xB8\xAD")), bytes(std::string("\x2D\x4E\0\0", 4)));
}

TEST(MultiByteToWide, UnknownCodePageGivesTheEmptyBuffer) {
  EXPECT_EQ(multiByteToWide(Text("ab"), 1252), ByteBuffer());
  EXPECT_EQ(multiByteToWide(Text("ab"), -1), ByteBuffer());
}

TEST(WideToMultiByte, ConvertsUpToTheFirstZeroUnit) {
  struct Case {
    std::string wide;
    int codePage;
    std::string expected;
  };
  const Case cases[] = {
      {std::string("a\0b\0\0\0", 6), kCodePageAnsi, "ab"},
      {std::string("\0\0", 2), kCodePageAnsi, ""},
      {"", kCodePageAnsi, ""},
      {std::string("a\0\0\0b\0\0\0", 8), kCodePageAnsi, "a"},  // bytes after the zero unit
      {std::string("\x2D\x4E\0\0", 4), kCodePageGbk, "\xD6\xD0"},
      {std::string("\x2D\x4E\0\0", 4), kCodePageUtf8, "\xE4\xB8\xAD"},
      {std::string("\x01\x0E\0\0", 4), kCodePageAnsi, "?"},  // Thai: not in code page 936
      // No zero unit at all: converted up to the end of the buffer.
      {std::string("a\0b\0", 4), kCodePageAnsi, "ab"},
      // An odd last byte is no whole unit and is not read as one.
      {std::string("a\0b", 3), kCodePageAnsi, "a"},
      {std::string("a", 1), kCodePageAnsi, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(wideToMultiByte(bytes(c.wide), c.codePage).bytes(), c.expected) << c.expected;
  }
}

TEST(WideToMultiByte, DefaultsToTheSystemCodePage) {
  EXPECT_EQ(wideToMultiByte(multiByteToWide(Text("ab"), kCodePageGbk)), Text("ab"));
  EXPECT_EQ(wideToMultiByte(multiByteToWide(Text(), kCodePageGbk)), Text());
  EXPECT_EQ(wideToMultiByte(bytes(std::string("\x2D\x4E\0\0", 4))).bytes(), "\xD6\xD0");
  EXPECT_EQ(wideToMultiByte(bytes(std::string("\x2D\x4E\0\0", 4)), 1252), Text());
}

TEST(CodePageText, RoundTripThroughUtf16KeepsEveryByteOfAText) {
  const Text text = gbk("中文，English 与 ０１２ ！");
  EXPECT_EQ(wideToMultiByte(multiByteToWide(text, kCodePageGbk)), text);
  const Text utf8 = ansiToUtf8(text);
  EXPECT_EQ(wideToMultiByte(multiByteToWide(utf8)), text);
}

}  // namespace
}  // namespace quillmark
