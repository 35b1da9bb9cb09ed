#include "text/primitives.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <string_view>

#include "text_test_support.h"

namespace quillmark {
namespace {

using std::nullopt;
using testing_support::arrayOf;

// ---- Slicing ----

struct SliceCase {
  std::string_view text;
  int start;  // midText only
  int n;
  std::string_view left, right, mid;
};

TEST(Slicing, CountsBytesAndGivesEmptyAtTheEdges) {
  const SliceCase cases[] = {
      {"abc", 1, 0, "", "", ""},
      {"abc", 1, -1, "", "", ""},
      {"abc", 1, 1, "a", "c", "a"},
      {"abc", 1, 3, "abc", "abc", "abc"},
      {"abc", 2, 10, "abc", "abc", "bc"},
      {"abc", 3, 1, "a", "c", "c"},
      {"abc", 4, 1, "a", "c", ""},     // start L+1
      {"abc", 0, 2, "ab", "bc", ""},   // start 0 is not moved to 1
      {"abc", -5, 2, "ab", "bc", ""},  // negative start
      {"abc", 2, INT_MAX, "abc", "abc", "bc"},
      {"abc", INT_MAX, 1, "a", "c", ""},
      {"", 1, 1, "", "", ""},
      {"\xB0\xA1x", 2, 1, "\xB0", "x", "\xA1"},  // may cut a character in two
  };
  for (const SliceCase& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " start " + std::to_string(c.start) + " n " + std::to_string(c.n));
    const Text text(c.text);
    EXPECT_EQ(leftText(text, c.n), Text(c.left));
    EXPECT_EQ(rightText(text, c.n), Text(c.right));
    EXPECT_EQ(midText(text, c.start, c.n), Text(c.mid));
  }
  EXPECT_EQ(leftText(Text("abc"), 5), Text("abc"));
  EXPECT_EQ(rightText(Text("abc"), 2), Text("bc"));
  EXPECT_EQ(textLength(Text("\xB0\xA1" "a")), 3);
}

// ---- Searching ----

struct FindCase {
  std::string_view text, sub;
  std::optional<int> start;
  bool foldCase;
  int forward, reverse;
};

TEST(Searching, FindsByTheRegionRules) {
  const FindCase cases[] = {
      {"abcabc", "c", nullopt, false, 3, 6},
      {"abcabc", "c", 4, false, 6, 3},     // reverse region 1..3
      {"abcabc", "c", 6, false, 6, 3},     // reverse region 1..5
      {"abcabc", "c", 7, false, -1, 6},    // forward start L+1; reverse region 1..6
      {"abcabc", "c", 0, false, 3, -1},
      {"abcabc", "c", -5, false, 3, -1},
      {"abcabc", "c", 1, false, 3, -1},    // reverse start 1: empty region
      {"abcabc", "c", 3, false, 3, -1},    // reverse region 1..2
      {"abcabc", "c", INT_MAX, false, -1, 6},
      {"abcabc", "c", INT_MIN, false, 3, -1},
      {"abcabc", "bc", 6, false, -1, 2},   // a match must lie wholly inside the region
      {"abcabc", "bc", 5, false, 5, 2},
      {"abcabc", "abcabc", nullopt, false, 1, 1},
      {"abcabc", "abcabcd", nullopt, false, -1, -1},
      {"aaaa", "aa", nullopt, false, 1, 3},  // overlapping occurrences
      {"ab", "", nullopt, false, 1, 1},
      {"", "", nullopt, false, -1, -1},
      {"", "a", nullopt, false, -1, -1},
      {"abc", "", 2, false, 1, 1},
      {"abc", "", 5, false, -1, 1},
      {"abc", "", 1, false, 1, -1},
      {"abc", "x", nullopt, false, -1, -1},
      // A two-byte character whose second byte is the searched byte.
      {"\x81\x41\x41", "A", nullopt, false, 3, 3},
      {"\x81\x41", "A", nullopt, false, -1, -1},
      {"\x81\x41", "A", 2, false, 2, -1},  // a region that starts at the second byte walks from there
      {"\xB0\xB0\xB0", "\xB0\xB0", nullopt, false, 1, 1},
      {"\xB0\xB0\xB0\xB0", "\xB0\xB0", nullopt, false, 1, 3},
      {"a\xB0", "\xB0", nullopt, false, 2, 2},  // a final lead byte is still compared
      {"\xB0" "a\xB0", "\xB0", 2, false, 3, 1},
      // Folding maps A-Z only.
      {"Content-Type: x", "content-type", nullopt, true, 1, 1},
      {"Content-Type: x", "content-type", nullopt, false, -1, -1},
      {"\xC1", "\xE1", nullopt, true, -1, -1},
      {"xAbC", "aBc", nullopt, true, 2, 2},
      {"@[`{", "`{", nullopt, true, 3, 3},  // bytes next to the letters do not fold
      {"\x81\x61" "A", "a", nullopt, true, 3, 3},
      {"\x81\x61", "\x81\x41", nullopt, true, 1, 1},  // every byte of the span folds
  };
  for (const FindCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(Text(c.text)) + " / " + ::testing::PrintToString(Text(c.sub)) +
                 " start " + (c.start ? std::to_string(*c.start) : "omitted"));
    EXPECT_EQ(findText(Text(c.text), Text(c.sub), c.start, c.foldCase), c.forward);
    EXPECT_EQ(findTextReverse(Text(c.text), Text(c.sub), c.start, c.foldCase), c.reverse);
  }
}

TEST(Searching, ReverseWithStartLengthNeverFindsAnOccurrenceEndingAtTheLastByte) {
  EXPECT_EQ(findTextReverse(Text("a=b="), Text("="), 4), 2);
  EXPECT_EQ(findTextReverse(Text("a=b="), Text("=")), 4);
}

// ---- Case and spaces ----

TEST(ToUpper, RaisesAsciiLettersOutsideTwoByteCharacters) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"", ""},
      {"abc XYZ 09 `{", "ABC XYZ 09 `{"},
      {"\x81" "a" "a", "\x81" "a" "A"},  // the second byte of a character stays
      {"a\xB0", "A\xB0"},                // a final lead byte is copied
      {"\xE1\xE1", "\xE1\xE1"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(toUpper(Text(in)), Text(out)) << in;
}

TEST(TrimSpaces, RemovesSpaceItemsAtBothEndsOnly) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {" a b ", "a b"},
      {"\xA1\xA1" "a" "\xA1\xA1", "a"},
      {"a\r", "a\r"},
      {"a \r", "a \r"},
      {"\ta ", "\ta"},
      {"   ", ""},
      {"\xA1\xA1 \xA1\xA1", ""},
      {"", ""},
      {"a \xB0", "a "},                 // a final incomplete character goes, the space stays
      {" \xB0", ""},
      {"\xA1", ""},
      {"a\xA1", "a"},
      {"\xB0\xA1\xA1", "\xB0\xA1"},  // not a space item: 0xB0 0xA1, then an incomplete character
      {"\xB0\xA1\xA1\xA1", "\xB0\xA1"},  // the last two bytes are a full-width space
      {"a\xB0\xA1 ", "a\xB0\xA1"},
      {"\xA1\xA1\xA1", ""},              // space item, then an incomplete character
      {" a\xA1\xA1\xB0", "a\xA1\xA1"},
  };
  for (const auto& [in, out] : cases) {
    EXPECT_EQ(trimSpaces(Text(in)), Text(out)) << ::testing::PrintToString(Text(in));
  }
}

// ---- Replacing ----

struct ReplaceCase {
  std::string_view text, sub;
  std::optional<std::string_view> replacement;
  std::optional<int> start, count;
  bool caseSensitive;
  std::string_view result;
};

TEST(ReplaceText, FollowsItsDefaultsAndScan) {
  const ReplaceCase cases[] = {
      {"aXbxc", "x", "-", nullopt, nullopt, false, "a-b-c"},
      {"aXbxc", "x", "-", nullopt, nullopt, true, "aXb-c"},
      {"aXbxc", "x", "-", nullopt, 1, false, "a-bxc"},
      {"aXbxc", "x", "-", 3, nullopt, false, "aXb-c"},
      {"aXbxc", "x", nullopt, nullopt, nullopt, true, "aXbc"},
      {"aaa", "aa", "b", nullopt, nullopt, false, "ba"},
      {"aaa", "a", "aa", nullopt, nullopt, false, "aaaaaa"},  // replacements are not searched again
      {"abc", "", "x", nullopt, nullopt, false, "abc"},
      {"", "a", "x", nullopt, nullopt, false, ""},
      {"abc", "c", "x", 4, nullopt, false, "abc"},        // start L+1
      {"abc", "a", "x", 0, nullopt, false, "xbc"},        // start 0 means 1
      {"abc", "a", "x", -9, nullopt, false, "xbc"},
      {"abc", "c", "x", 3, nullopt, false, "abx"},        // start L
      {"abab", "a", "x", nullopt, 0, false, "abab"},
      {"abab", "a", "x", nullopt, -1, false, "xbxb"},
      {"abab", "a", "x", nullopt, 5, false, "xbxb"},
      {"\x81\x41\x41", "A", "-", nullopt, nullopt, true, "\x81\x41-"},
      {"\x81\x41\x41", "a", "-", nullopt, nullopt, false, "\x81\x41-"},
      {"\x81\x41", "A", "-", 2, nullopt, true, "\x81-"},  // the scan starts its walk at `start`
      // A final lead byte that the scan reaches is dropped (one-byte sub only).
      {"ab\xB0", "x", "-", nullopt, nullopt, false, "ab"},
      {"ab\xB0", "xy", "-", nullopt, nullopt, false, "ab\xB0"},
      {"ab\xB0", "b", "-", nullopt, nullopt, false, "a-"},
      {"ab\xB0", "b", "-", nullopt, 1, false, "a-\xB0"},  // the count stopped the scan first
      {"ab\xB0", "\xB0", "-", nullopt, nullopt, false, "ab-"},
      {"\xB0\xB0\xB0", "x", "-", nullopt, nullopt, false, "\xB0\xB0"},
      {"\xB0\xB0\xB0", "x", "-", 2, nullopt, false, "\xB0\xB0\xB0"},  // from 2 the last byte is a second byte
      // A match may end in a lead byte; the scan walks on from after it.
      {"a\xB0\x41\x41", "a\xB0", "", nullopt, nullopt, true, "\x41\x41"},
      {"a\xB0\x41\x41", "a\xB0", "", nullopt, nullopt, false, "\x41\x41"},
      {"a\xB0\x41\x41", "A", "-", nullopt, nullopt, true, "a\xB0\x41-"},
  };
  for (const ReplaceCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(Text(c.text)) + " / " + ::testing::PrintToString(Text(c.sub)));
    const Text result = c.replacement ? replaceText(Text(c.text), Text(c.sub), Text(*c.replacement), c.start,
                                                    c.count, c.caseSensitive)
                                      : replaceText(Text(c.text), Text(c.sub), Text(), c.start, c.count,
                                                    c.caseSensitive);
    EXPECT_EQ(result, Text(c.result));
  }
  EXPECT_EQ(replaceText(Text("aXbxc"), Text("x")), Text("abc"));  // everything omitted: delete, folded
}

// ---- Splitting ----

struct SplitCase {
  std::string_view text;
  std::optional<std::string_view> delimiter;
  std::optional<int> maxCount;
  std::initializer_list<std::string_view> items;
};

TEST(SplitText, KeepsInnerEmptyItemsAndDropsAFinalOne) {
  const SplitCase cases[] = {
      {"a,,b", ",", nullopt, {"a", "", "b"}},
      {",a", ",", nullopt, {"", "a"}},
      {"a,", ",", nullopt, {"a"}},
      {",", ",", nullopt, {""}},
      {",,", ",", nullopt, {"", ""}},
      {"", ",", nullopt, {}},
      {"a,b,c", ",", 2, {"a", "b"}},
      {"a,b,c", ",", 3, {"a", "b", "c"}},
      {"a,b,", ",", 2, {"a", "b"}},
      {"a,b,c", ",", 0, {}},
      {"a,b,c", ",", -4, {}},
      {"abc", "", nullopt, {"abc"}},
      {"abc", "", 0, {}},
      {"a,b", nullopt, nullopt, {"a", "b"}},
      {"a\r\nb\r\n\r\nc\r\n", "\r\n", nullopt, {"a", "b", "", "c"}},
      {"aXbxc", "x", nullopt, {"aXb", "c"}},  // never folded
      {"\x81\x41\x41", "A", nullopt, {"\x81\x41"}},
      {"a,\xB0", ",", nullopt, {"a", "\xB0"}},       // a final lead byte ends the last item
      {"a\xB0", "\xB0", nullopt, {"a"}},
      {"\xB0,a,b", ",", nullopt, {"\xB0,a", "b"}},  // the comma is the second byte of 0xB0 0x2C
      {"a::b", "::", nullopt, {"a", "b"}},
      {"a:::b", "::", nullopt, {"a", ":b"}},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(Text(c.text)));
    const TextArray items = c.delimiter ? splitText(Text(c.text), Text(*c.delimiter), c.maxCount)
                                        : splitText(Text(c.text));
    EXPECT_EQ(items, arrayOf(c.items));
  }
}

// ---- Joining, comparing, filling ----

TEST(ConcatText, JoinsInOrderWithEmptyPartsCountingAsNothing) {
  EXPECT_EQ(concatText(Text("a"), Text("")), Text("a"));
  EXPECT_EQ(concatText(Text(""), Text("")), Text(""));
  EXPECT_EQ(concatText(Text("a"), Text("b"), Text(), "c", Text("\xB0")), Text("abc\xB0"));
}

TEST(CompareText, ComparesUnsignedBytesAndPrefixesAreSmaller) {
  struct Case {
    std::string_view a, b;
    int sign;
  };
  const Case cases[] = {
      {"", "", 0},       {"a", "a", 0},         {"", "a", -1}, {"ab", "a", 1},
      {"a", "b", -1},    {"\xB0", "a", 1},      {"a\xB0", "a\x7F", 1},
  };
  for (const Case& c : cases) {
    const int result = compareText(Text(c.a), Text(c.b));
    EXPECT_EQ((result > 0) - (result < 0), c.sign) << c.a << " / " << c.b;
  }
}

TEST(BlankText, GivesSpacesOrNothing) {
  EXPECT_EQ(blankText(3), Text("   "));
  EXPECT_EQ(blankText(0), Text());
  EXPECT_EQ(blankText(-2), Text());
}

// ---- Characters and numbers ----

TEST(CharCode, GivesSignedBytesAndZeroOutside) {
  EXPECT_EQ(charCode(Text("A")), 65);
  EXPECT_EQ(charCode(Text("\xB0" "a")), -80);
  EXPECT_EQ(charCode(Text("\xFF")), -1);
  EXPECT_EQ(charCode(Text("\x80")), -128);
  EXPECT_EQ(charCode(Text("abc"), 3), 99);
  EXPECT_EQ(charCode(Text("abc"), 4), 0);
  EXPECT_EQ(charCode(Text("abc"), 0), 0);
  EXPECT_EQ(charCode(Text("abc"), -1), 0);
  EXPECT_EQ(charCode(Text()), 0);
}

TEST(CharFromCode, KeepsTheLowEightBits) {
  EXPECT_EQ(charFromCode(0), Text());
  EXPECT_EQ(charFromCode(61), Text("="));
  EXPECT_EQ(charFromCode(0x1B0), Text("\xB0"));
  EXPECT_EQ(charFromCode(256), Text());
  EXPECT_EQ(charFromCode(-1), Text("\xFF"));
}

TEST(NumberTexts, DecimalAndHexadecimal) {
  const std::pair<int, std::string_view> decimal[] = {
      {0, "0"}, {-12, "-12"}, {12, "12"}, {INT_MAX, "2147483647"}, {INT_MIN, "-2147483648"}};
  for (const auto& [n, text] : decimal) EXPECT_EQ(toText(n), Text(text));
  const std::pair<int, std::string_view> hex[] = {
      {255, "FF"}, {0, "0"}, {-1, "FFFFFFFF"}, {0xABCDEF, "ABCDEF"}, {INT_MIN, "80000000"}, {16, "10"}};
  for (const auto& [n, text] : hex) EXPECT_EQ(toHexText(n), Text(text));
}

TEST(ToInt, ReadsFullWidthFormsSignAndWrappingDigits) {
  const std::pair<std::string_view, int> cases[] = {
      {"  -12abc", -12},
      {"abc", 0},
      {"", 0},
      {"\xA3\xB1\xA3\xB2", 12},              // full-width digits
      {"\xA3\xAD\xA3\xB7", -7},              // full-width minus
      {"\xA1\xA1\xA3\xAB" "5", 5},           // full-width space and plus
      {"\t\n\v\f\r 42", 42},
      {"+8", 8},
      {"-", 0},
      {"+-3", 0},
      {"- 3", 0},
      {"12 3", 12},
      {"007", 7},
      {"2147483647", INT_MAX},
      {"2147483648", INT_MIN},               // wraps around
      {"-2147483648", INT_MIN},
      {"4294967297", 1},
      {"99999999999", 1215752191},
      {"\xB0\xA1" "1", 0},                   // another two-byte character stops the digits
      {"1\xA3", 1},
      {"\xA1\xAB" "1", 0},                   // a tilde is no white space
      {"\x80" "1", 0},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(toInt(Text(text)), value) << ::testing::PrintToString(Text(text));
  EXPECT_EQ(toInt(-5), -5);
}

TEST(IntegerOperations, ByteBitsAndShifts) {
  EXPECT_EQ(toByte(0x1FF), 0xFF);
  EXPECT_EQ(toByte(-1), 0xFF);
  EXPECT_EQ(toByte(256), 0);
  EXPECT_EQ(bitAnd(0xF0, 0x3C), 0x30);
  EXPECT_EQ(bitAnd(-1, 0x0F, 0x05), 0x05);
  EXPECT_EQ(shiftLeft(1, 33), 2);
  EXPECT_EQ(shiftLeft(1, 31), INT_MIN);
  EXPECT_EQ(shiftLeft(-1, 4), -16);
  EXPECT_EQ(shiftLeft(3, 32), 3);
  EXPECT_EQ(shiftLeft(1, -1), INT_MIN);  // -1 mod 32 is 31
  EXPECT_EQ(shiftRight(-8, 1), -4);
  EXPECT_EQ(shiftRight(-1, 31), -1);
  EXPECT_EQ(shiftRight(INT_MIN, 31), -1);
  EXPECT_EQ(shiftRight(16, 36), 1);
  EXPECT_EQ(shiftRight(INT_MAX, 30), 1);
}

TEST(Modulo, KeepsTheSignOfTheDividend) {
  EXPECT_DOUBLE_EQ(modulo(7, 3), 1);
  EXPECT_DOUBLE_EQ(modulo(-7, 3), -1);
  EXPECT_DOUBLE_EQ(modulo(7, -3), 1);
  EXPECT_DOUBLE_EQ(modulo(7.5, 2), 1.5);
  EXPECT_DOUBLE_EQ(modulo(0, 5), 0);
}

// ---- Bytes ----

TEST(Bytes, ConvertAndCut) {
  using namespace std::string_literals;
  EXPECT_EQ(bytesToText(ByteBuffer("a\0b"s)), Text("a"));
  EXPECT_EQ(bytesToText(ByteBuffer("\0a"s)), Text());
  EXPECT_EQ(bytesToText(ByteBuffer("ab"s)), Text("ab"));
  EXPECT_EQ(textToBytes(Text()), ByteBuffer());
  EXPECT_EQ(textToBytes(Text("a\xB0")), ByteBuffer("a\xB0"s));
  EXPECT_EQ(bytesLength(ByteBuffer("a\0b"s)), 3);
  EXPECT_EQ(blankBytes(3), ByteBuffer("\0\0\0"s));
  EXPECT_EQ(blankBytes(0), ByteBuffer());
  EXPECT_EQ(blankBytes(-1), ByteBuffer());
  EXPECT_EQ(concatBytes(ByteBuffer("a\0"s), ByteBuffer(), ByteBuffer("\0b"s)), ByteBuffer("a\0\0b"s));
  EXPECT_EQ(concatBytes(ByteBuffer(), ByteBuffer()), ByteBuffer());
}

TEST(MidBytes, ClampsTheStartUnlikeMidText) {
  using namespace std::string_literals;
  const ByteBuffer six("abcdef"s);
  struct Case {
    int start, n;
    std::string_view result;
  };
  const Case cases[] = {
      {0, 2, "ab"},  {-9, 2, "ab"},   {1, 6, "abcdef"}, {2, 10, "bcdef"}, {6, 1, "f"},
      {7, 1, ""},    {INT_MAX, 1, ""}, {3, 0, ""},      {3, -2, ""},      {1, INT_MAX, "abcdef"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(midBytes(six, c.start, c.n), ByteBuffer(c.result)) << c.start << " " << c.n;
  }
  EXPECT_EQ(midText(Text("abcdef"), 0, 2), Text());
  EXPECT_EQ(midBytes(ByteBuffer("a\0b"s), 2, 1), ByteBuffer("\0"s));
  EXPECT_EQ(midBytes(ByteBuffer(), 1, 1), ByteBuffer());
}

// ---- TextArray ----

TEST(TextArray, AppendsReadsWritesAndRemoves) {
  TextArray items = arrayOf({"a", "b", "c"});
  ASSERT_EQ(items.size(), 3);
  items.at(2) = Text("B");
  EXPECT_EQ(items.at(2), Text("B"));
  items.removeAt(1);
  EXPECT_EQ(items, arrayOf({"B", "c"}));
  items.removeAt(2);
  EXPECT_EQ(items, arrayOf({"B"}));
  items.clear();
  EXPECT_TRUE(items.empty());
}

}  // namespace
}  // namespace quillmark
