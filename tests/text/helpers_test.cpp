#include "text/helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "text_test_support.h"

namespace quillmark {
namespace {

using testing_support::arrayOf;

TEST(Lines, CountAndPick) {
  struct Case {
    std::string_view text;
    int count;
    std::initializer_list<std::string_view> lines;  // lineAt 1, 2, ...
  };
  const Case cases[] = {
      {"", 0, {}},
      {"a", 1, {"a"}},
      {"a\r\n", 1, {"a"}},
      {"a\r\nb", 2, {"a", "b"}},
      {"a\r\n\r\n", 2, {"a", ""}},
      {"\r\na", 2, {"", "a"}},
      {"a\nb", 2, {"a\nb"}},  // a lone LF counts a line but separates nothing
      {"a\rb", 1, {"a\rb"}},
      {"\n", 1, {"\n"}},
      {"\xB0\r\nx", 2, {"\xB0\r\nx"}},  // CR is the second byte of 0xB0 0x0D
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(Text(c.text)));
    const Text text(c.text);
    EXPECT_EQ(countLines(text), c.count);
    int n = 1;
    for (const std::string_view line : c.lines) EXPECT_EQ(lineAt(text, n++), Text(line)) << n - 1;
    EXPECT_EQ(lineAt(text, n), Text());
    EXPECT_EQ(lineAt(text, 0), Text());
    EXPECT_EQ(lineAt(text, -1), Text());
  }
}

TEST(Lines, CountEqualsTheLineFeedsOfLongTexts) {
  std::mt19937 random(10);
  for (int round = 0; round < 200; ++round) {
    std::string s;
    const int length = static_cast<int>(random() % 200);
    for (int i = 0; i < length; ++i) s += "\n\n\x8A\x0B\xFFx"[random() % 6];
    const auto feeds = static_cast<int>(std::count(s.begin(), s.end(), '\n'));
    EXPECT_EQ(countLines(Text(s)), s.empty() ? 0 : feeds + (s.back() == '\n' ? 0 : 1)) << length;
  }
}

// The lines of `s` walked byte by byte from the rules: a byte from 0x80 up
// starts a two-byte character, so the CR LF that ends a line is never looked
// for at the character's second byte; a final CR LF adds no empty line.
std::vector<std::string> linesByTheRules(std::string_view s) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t p = 0; p < s.size();) {
    if (static_cast<unsigned char>(s[p]) >= 0x80) {
      line.append(s.substr(p, 2));
      p += 2;
    } else if (s.substr(p, 2) == "\r\n") {
      lines.push_back(std::move(line));
      line.clear();
      p += 2;
    } else {
      line += s[p++];
    }
  }
  if (!line.empty()) lines.push_back(std::move(line));
  return lines;
}

TEST(Lines, LineAtGivesTheLinesOfAPlainWalk) {
  std::mt19937 random(3662);
  for (int round = 0; round < 300; ++round) {
    std::string s;
    for (int i = 0; i < 40; ++i) s += "ab\r\n\xB0 "[random() % 6];
    const std::vector<std::string> lines = linesByTheRules(s);
    const int count = static_cast<int>(lines.size());
    for (int n = -1; n <= count + 1; ++n) {
      const std::string want = n >= 1 && n <= count ? lines[static_cast<std::size_t>(n - 1)] : "";
      EXPECT_EQ(lineAt(Text(s), n), Text(want)) << ::testing::PrintToString(Text(s)) << " " << n;
    }
  }
}

struct CutCase {
  std::string_view text, delimiter;
  int start;
  std::string_view before, after;
};

TEST(TextBeforeAndAfter, CutAtTheChosenOccurrence) {
  const CutCase cases[] = {
      {"k=v", "=", 0, "k", "v"},
      {"kv", "=", 0, "", ""},
      {"=v", "=", 0, "", "v"},
      {"a=b=c", "=", 0, "a", "c"},
      {"a=b=c", "=", -1, "a=b", "b=c"},  // after: the first at or after byte 1
      {"a=b=c", "=", -3, "", "c"},       // before: the last within bytes 1..1
      {"a=b=", "=", 0, "a", "b="},
      {"k=", "=", 0, "k", ""},
      {"a=b=c", "=", 3, "a=b", ""},  // after with start 3: a reverse search within bytes 1..1
      {"a=b=c", "=", 5, "", ""},
      {"", "=", 0, "", ""},
      {"a==b", "==", 0, "a", "b"},
  };
  for (const CutCase& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " start " + std::to_string(c.start));
    EXPECT_EQ(textBefore(Text(c.text), Text(c.delimiter), c.start), Text(c.before));
    EXPECT_EQ(textAfter(Text(c.text), Text(c.delimiter), c.start), Text(c.after));
  }
  EXPECT_EQ(textBefore(Text("Ab:c"), Text("B:"), 0, true), Text("A"));
  EXPECT_EQ(textBefore(Text("Ab:c"), Text("B:"), 0, false), Text());
  EXPECT_EQ(textAfter(Text("x=1"), Text("="), INT_MIN), Text());
  EXPECT_EQ(textBefore(Text("x=1"), Text("="), INT_MIN), Text());
}

TEST(TextBetween, CutsBetweenTwoDelimiters) {
  struct Case {
    std::string_view text, left, right;
    int start;
    std::string_view result;
  };
  const std::string quote = std::string(gbk("#引号").view());
  const std::string idLeft = "id=" + quote;
  const Case cases[] = {
      {"Set-Cookie: a=1; path=/", "Set-Cookie:", ";", 0, " a=1"},
      {"id=\"42\";", idLeft, quote, 0, "42"},
      {"b;a=", "a=", ";", 0, ""},  // right does not follow left
      {"a=;", "a=", ";", 0, ""},   // they touch
      {"x", "y", ";", 0, ""},
      {"a=1;a=2;", "a=", ";", 4, "2"},
      {"a=1;a=2;", "a=", ";", -3, "1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(textBetween(Text(c.text), Text(c.left), Text(c.right), c.start), Text(c.result)) << c.text;
  }
  EXPECT_EQ(textBetween(Text("SET-cookie: v;"), Text("Set-Cookie: "), Text(";"), 0, true), Text("v"));
}

TEST(DedupeItems, KeepsFirstOccurrences) {
  struct Case {
    std::string_view text, separator;
    bool split;
    std::string_view result;
  };
  const Case cases[] = {
      {"a; b; a; c", "; ", true, "a; b; c"},
      {"a; ; ; b", "; ", true, "a; ; b"},
      {"", "; ", true, ""},
      {"abcab", ",", false, "a,b,c"},
      {"a\r\na\xB0\xA1\xB0\xA1", "|", false, "a|\r\n|\xB0\xA1"},
      {"a,b,", ",", true, "a,b"},
      {",a,", ",", true, ",a"},
      {"abc", "", true, "abc"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(dedupeItems(Text(c.text), Text(c.separator), c.split), Text(c.result)) << c.text;
  }
}

TEST(DedupeItems, EqualsTheItemByItemDefinition) {
  std::mt19937 random(11);
  for (int round = 0; round < 500; ++round) {
    std::string s;
    const int length = static_cast<int>(random() % 30);
    for (int i = 0; i < length; ++i) s += "ab;\xB0\xA1\r\n"[random() % 7];
    for (const bool split : {true, false}) {
      const Text text(s);
      const Text separator(split ? ";" : "+");
      TextArray items;
      if (split) {
        items = splitText(text, separator);
      } else {
        splitChars(text, items);
      }
      TextArray seen;
      std::string expected;
      for (const Text& item : items) {
        if (indexOfItem(seen, item) != -1) continue;
        seen.append(item);
        expected += std::string(item.view()) + std::string(separator.view());
      }
      expected = std::string(leftText(Text(expected), static_cast<int>(expected.size()) - 1).view());
      EXPECT_EQ(dedupeItems(text, separator, split), Text(expected)) << s;
    }
  }
}

TEST(SplitChars, TwoByteCharactersAndCrLfAreOneItem) {
  struct Case {
    std::string_view text;
    std::initializer_list<std::string_view> items;
  };
  const Case cases[] = {
      {"a\r\nb", {"a", "\r\n", "b"}},
      {"\xB0\xA1x", {"\xB0\xA1", "x"}},
      {"a\xB0", {"a", "\xB0"}},
      {"\x80" "a", {"\x80", "a"}},
      {"\x81" "a", {"\x81" "a"}},
      {"\r", {"\r"}},
      {"\n\r", {"\n", "\r"}},
      {"", {}},
  };
  for (const Case& c : cases) {
    TextArray items = arrayOf({"old"});
    EXPECT_EQ(splitChars(Text(c.text), items), static_cast<int>(c.items.size()));
    EXPECT_EQ(items, arrayOf(c.items)) << c.text;
  }
}

TEST(IndexOfItem, FirstEqualItem) {
  EXPECT_EQ(indexOfItem(arrayOf({"x", "y", "x"}), Text("x")), 1);
  EXPECT_EQ(indexOfItem(arrayOf({"x", "y", "x"}), Text("y")), 2);
  EXPECT_EQ(indexOfItem(arrayOf({"x", "y"}), Text("X")), -1);
  EXPECT_EQ(indexOfItem(TextArray(), Text("x")), -1);
  EXPECT_EQ(indexOfItem(TextArray(), Text()), -1);
  EXPECT_EQ(indexOfItem(arrayOf({"a", ""}), Text()), 2);
}

TEST(ReplaceMany, AppliesThePairsInOrder) {
  EXPECT_EQ(replaceMany(Text("abc"), std::nullopt, 0, false, Text("a"), Text("b"), Text("b"), Text("c")),
            Text("ccc"));
  EXPECT_EQ(replaceMany(Text("aAa"), std::nullopt, 0, false, Text("a"), Text("x")), Text("xxx"));
  EXPECT_EQ(replaceMany(Text("aAa"), std::nullopt, 0, true, Text("a"), Text("x")), Text("xAx"));
  EXPECT_EQ(replaceMany(Text("aaa"), 1, 0, false, Text("a"), Text("b"), Text("a"), Text("c")), Text("bca"));
  EXPECT_EQ(replaceMany(Text("aaa"), 0, 0, false, Text("a"), Text("b")), Text("aaa"));
  EXPECT_EQ(replaceMany(Text("aaa"), std::nullopt, 2, false, Text("a"), Text("b")), Text("abb"));
  EXPECT_EQ(replaceMany(Text("a-b"), std::nullopt, 0, false, Text("-"), Text()), Text("ab"));
  EXPECT_EQ(replaceMany(Text("a-b"), std::nullopt, 0, false, Text(), Text("x")), Text("a-b"));
}

}  // namespace
}  // namespace quillmark
