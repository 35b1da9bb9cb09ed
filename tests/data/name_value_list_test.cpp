#include "data/name_value_list.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quillmark {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

NameValueList listOf(const Pairs& pairs) {
  NameValueList list;
  for (const auto& [name, value] : pairs) list.add(Text(name), Text(value));
  return list;
}

Pairs pairsOf(const NameValueList& list) {
  Pairs pairs;
  EXPECT_EQ(list.names().size(), list.values().size());
  for (int i = 1; i <= list.names().size(); ++i)
    pairs.emplace_back(list.names().at(i).bytes(), list.values().at(i).bytes());
  return pairs;
}

// ---- Renderings ----

TEST(NameValueList, ToQuery) {
  struct Case {
    Pairs pairs;
    bool encode;
    std::string expected;
  };
  const Case cases[] = {
      {{}, false, ""},
      {{}, true, ""},
      {{{"a", "1"}, {"a", "2"}}, false, "a=1&a=2"},
      {{{"a", ""}}, false, "a="},
      {{{"", ""}}, false, "="},
      {{{"", ""}, {"", ""}}, false, "=&="},
      {{{"q", "a b/c"}}, true, "q=a%20b%2Fc"},
      {{{"q", "a b/c"}}, false, "q=a b/c"},
      {{{"a_b", "x~y"}}, true, "a%5Fb=x%7Ey"},
      {{{"n&m", "v=w"}}, true, "n%26m=v%3Dw"},
      {{{"k", "\xD6\xD0"}}, true, "k=%D6%D0"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(listOf(c.pairs).toQuery(c.encode).bytes(), c.expected) << c.expected;
}

TEST(NameValueList, ToHeaderBlock) {
  struct Case {
    Pairs pairs;
    bool encode;
    std::string expected;
  };
  const Case cases[] = {
      {{}, false, ""},
      {{}, true, ""},
      {{{"a", ""}}, false, "a: "},
      {{{"Host", "h"}, {"Accept", "*/*"}}, false, "Host: h\r\nAccept: */*"},
      {{{"Host", "h"}, {"Accept", "*/*"}}, true, "Host: h\r\nAccept: %2A%2F%2A"},
      {{{"X_Name~", "a b"}}, true, "X_Name~: a%20b"},  // the name is never encoded
      {{{"A", "1"}, {"A", "2"}}, false, "A: 1\r\nA: 2"},
      // A CR or LF inside a name or value never starts a header line of its own.
      {{{"A", "1\r\nEvil: x"}}, false, "A: 1  Evil: x"},
      {{{"A\nB", "\r"}}, false, "A B:  "},
      {{{"A\r\nB", "1\r\n"}}, true, "A  B: 1%0D%0A"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(listOf(c.pairs).toHeaderBlock(c.encode).bytes(), c.expected) << c.expected;
}

TEST(NameValueList, ToHeaderBlockOfAGrowingList) {
  // As the batch job uses it: seven pairs more per title, rendered each time.
  NameValueList list;
  std::string expected;
  for (int pass = 1; pass <= 20; ++pass) {
    for (int k = 1; k <= 7; ++k) {
      const std::string name = "H" + std::to_string(k);
      const std::string value = std::to_string(pass);
      list.add(Text(name), Text(value));
      if (!expected.empty()) expected += "\r\n";
      expected += name + ": " + value;
    }
    ASSERT_EQ(list.toHeaderBlock(false).bytes(), expected) << pass;
  }
}

TEST(NameValueList, ToJson) {
  struct Case {
    Pairs pairs;
    std::string expected;
  };
  const Case cases[] = {
      {{}, "{}"},
      {{{"a", "1"}, {"b", "2"}}, R"({"a":"1","b":"2"})"},
      {{{"a", "1"}, {"a", "2"}}, R"({"a":"1","a":"2"})"},
      {{{"", ""}}, R"({"":""})"},
      {{{",", ","}}, R"({",":","})"},
      {{{"v", "x\"y"}}, R"({"v":"x\"y"})"},
      // Backslashes and quotes in names and values are escaped, so the
      // object stays well-formed.
      {{{"v", "a\\"}}, R"({"v":"a\\"})"},
      {{{"n\"m\\", "1"}}, R"({"n\"m\\":"1"})"},
      {{{"t", "a\tb\r\n"}}, R"({"t":"a\tb\r\n"})"},
      {{{"k", "\xD6\xD0"}}, "{\"k\":\"\xD6\xD0\"}"},
  };
  for (const auto& c : cases) EXPECT_EQ(listOf(c.pairs).toJson().bytes(), c.expected);
}

TEST(NameValueList, EscapeJson) {
  const NameValueList list;
  struct Case {
    std::string input;
    std::string expected;
  };
  const Case cases[] = {
      {"", ""},
      {"plain", "plain"},
      {"x\"y", "x\\\"y"},
      {"\"\"", "\\\"\\\""},
      {"a\\b", "a\\\\b"},
      {"\\\"", "\\\\\\\""},
      {"\r\n\t\b\f", "\\r\\n\\t\\b\\f"},
      {"\x01\x1F", "\\u0001\\u001F"},
      {"/\x7F", "/\x7F"},
      // A two-byte character whose second byte is a backslash stays whole.
      {"\x81\x5C", "\x81\x5C"},
      {"\xD6\xD0\"", "\xD6\xD0\\\""},
  };
  for (const auto& c : cases) EXPECT_EQ(list.escapeJson(Text(c.input)).bytes(), c.expected);
}

TEST(NameValueList, StripAffix) {
  const NameValueList list;
  struct Case {
    std::string text;
    std::string affix;
    std::string expected;
  };
  const Case cases[] = {
      {",a,", ",", "a"},   {",", ",", ""},       {",,", ",", ""},      {",,,", ",", ","},
      {"abc", "", "abc"},  {"a", "ab", "a"},     {"", ",", ""},        {"a,", ",", "a"},
      {",a", ",", "a"},    {"xyaxy", "xy", "a"}, {"xyxy", "xy", ""},   {"xyx", "xy", "x"},
      {"{a,", ",", "{a"},
  };
  for (const auto& c : cases) {
    Text text(c.text);
    const Text result = list.stripAffix(text, Text(c.affix));
    EXPECT_EQ(result.bytes(), c.expected) << c.text << " / " << c.affix;
    EXPECT_EQ(text, result) << "the caller's text holds the result";
  }
}

// ---- Filling and lookups ----

TEST(NameValueList, AddQuerySplitsItems) {
  struct Case {
    std::string query;
    Pairs expected;
  };
  const Case cases[] = {
      {"", {}},
      {"a=1&b=2", {{"a", "1"}, {"b", "2"}}},
      {"k=x=y", {{"k", "y"}}},
      {"a=b=", {{"a", "b="}}},
      {"k=", {{"k", ""}}},
      {"=v", {{"", "v"}}},
      {"=", {{"", ""}}},
      {"flag", {{"", ""}}},
      {"a=1&&b=2", {{"a", "1"}, {"", ""}, {"b", "2"}}},
      {"a=1&", {{"a", "1"}}},
      {"&a=1", {{"", ""}, {"a", "1"}}},
      {"&", {{"", ""}}},
      {" a = 1 ", {{" a ", " 1 "}}},         // nothing trimmed
      {"q=a%20b", {{"q", "a%20b"}}},         // nothing decoded
      {"n=\xD6\xD0&m=2", {{"n", "\xD6\xD0"}, {"m", "2"}}},
  };
  for (const auto& c : cases) {
    NameValueList list;
    list.addQuery(Text(c.query));
    EXPECT_EQ(pairsOf(list), c.expected) << c.query;
  }
}

TEST(NameValueList, AddQueryAppendsToWhatTheListHolds) {
  NameValueList list = listOf({{"z", "0"}});
  list.addQuery(Text("a=1"));
  list.addQuery(Text("a=2"));
  EXPECT_EQ(pairsOf(list), (Pairs{{"z", "0"}, {"a", "1"}, {"a", "2"}}));
}

TEST(NameValueList, AddQueryConvertsToUtf8WhenAsked) {
  NameValueList list;
  list.addQuery(Text("\xD6\xD0=\xD6\xD0&a=b"), true);
  EXPECT_EQ(pairsOf(list), (Pairs{{"\xE4\xB8\xAD", "\xE4\xB8\xAD"}, {"a", "b"}}));
}

TEST(NameValueList, NewListIsEmpty) {
  const NameValueList list;
  EXPECT_EQ(list.names().size(), 0);
  EXPECT_EQ(list.values().size(), 0);
  EXPECT_EQ(list.get(Text("a")), Text());
  EXPECT_EQ(list.get(Text()), Text());
}

TEST(NameValueList, DuplicateNamesActOnTheFirstPair) {
  NameValueList list = listOf({{"a", "1"}, {"a", "2"}});
  EXPECT_EQ(list.get(Text("a")), Text("1"));
  list.set(Text("a"), Text("9"));
  EXPECT_EQ(pairsOf(list), (Pairs{{"a", "9"}, {"a", "2"}}));
  list.remove(Text("a"));
  EXPECT_EQ(pairsOf(list), (Pairs{{"a", "2"}}));
  EXPECT_EQ(list.get(Text("a")), Text("2"));
}

TEST(NameValueList, MatchingIsExact) {
  const NameValueList list = listOf({{"a", "1"}, {" b", "2"}, {"", "3"}});
  EXPECT_EQ(list.get(Text("A")), Text());
  EXPECT_EQ(list.get(Text("b")), Text());
  EXPECT_EQ(list.get(Text("a ")), Text());
  EXPECT_EQ(list.get(Text(" b")), Text("2"));
  EXPECT_EQ(list.get(Text()), Text("3"));  // the empty name matches the empty name
}

TEST(NameValueList, SetAppendsWhenNoPairMatchesAndNeverConverts) {
  NameValueList list = listOf({{"a", "1"}});
  list.set(Text("b"), Text("x"));
  list.set(Text("B"), Text("\xD6\xD0"));
  EXPECT_EQ(pairsOf(list), (Pairs{{"a", "1"}, {"b", "x"}, {"B", "\xD6\xD0"}}));
  list.set(Text("b"), Text());
  EXPECT_EQ(pairsOf(list), (Pairs{{"a", "1"}, {"b", ""}, {"B", "\xD6\xD0"}}));
}

TEST(NameValueList, RemoveMovesLaterPairsUp) {
  NameValueList list = listOf({{"a", "1"}, {"b", "2"}, {"c", "3"}});
  list.remove(Text("x"));
  EXPECT_EQ(pairsOf(list), (Pairs{{"a", "1"}, {"b", "2"}, {"c", "3"}}));
  list.remove(Text("b"));
  EXPECT_EQ(pairsOf(list), (Pairs{{"a", "1"}, {"c", "3"}}));
  list.remove(Text("a"));
  list.remove(Text("c"));
  EXPECT_EQ(pairsOf(list), Pairs{});
  list.remove(Text("c"));  // on an empty list: no change
  EXPECT_EQ(list.toJson(), Text("{}"));
}

TEST(NameValueList, ClearLeavesAUsableList) {
  NameValueList list = listOf({{"a", "1"}, {"b", "2"}});
  list.clear();
  EXPECT_EQ(pairsOf(list), Pairs{});
  EXPECT_EQ(list.toQuery(), Text());
  list.add(Text("c"), Text("3"));
  EXPECT_EQ(pairsOf(list), (Pairs{{"c", "3"}}));
}

TEST(NameValueList, AddWithToUtf8StoresTheUtf8Form) {
  NameValueList list;
  const Text name = gbk("中文");
  ASSERT_EQ(name.length(), 4);
  list.add(name, gbk("值"), true);
  list.add(Text("plain"), Text("ascii"), true);
  EXPECT_EQ(pairsOf(list), (Pairs{{"中文", "值"}, {"plain", "ascii"}}));
  EXPECT_EQ(list.names().at(1).length(), 6);
  EXPECT_EQ(list.toQuery(true).bytes(), "%E4%B8%AD%E6%96%87=%E5%80%BC&plain=ascii");
  // Without the option the code page 936 bytes are stored as given.
  list.add(name, Text(), false);
  EXPECT_EQ(list.names().at(3), name);
}

TEST(NameValueList, GetNamesAndValuesReplaceTheCallersArray) {
  const NameValueList list = listOf({{"a", "1"}, {"b", "2"}});
  TextArray names;
  for (const char* old : {"x", "y", "z"}) names.append(Text(old));
  TextArray values = names;
  list.getNames(names);
  list.getValues(values);
  ASSERT_EQ(names.size(), 2);
  EXPECT_EQ(names.at(1), Text("a"));
  EXPECT_EQ(names.at(2), Text("b"));
  ASSERT_EQ(values.size(), 2);
  EXPECT_EQ(values.at(1), Text("1"));
  EXPECT_EQ(values.at(2), Text("2"));

  // The caller's copies are its own.
  names.at(1) = Text("changed");
  EXPECT_EQ(list.names().at(1), Text("a"));

  NameValueList().getNames(names);
  EXPECT_EQ(names.size(), 0);
}

TEST(NameValueList, WhatGetGaveOutlivesChangesToTheList) {
  // Held exactly as get gives it: were that a reference or a view into the
  // list, setting, clearing or destroying the list would change or free it.
  auto list = std::make_unique<NameValueList>(listOf({{"a", "1"}, {"b", "2"}}));
  decltype(auto) value = list->get(Text("a"));
  list->set(Text("a"), Text("changed"));
  list->add(Text("c"), Text("3"));
  EXPECT_EQ(value, Text("1"));
  list->clear();
  list.reset();
  EXPECT_EQ(value, Text("1"));
}

// ---- Value semantics ----

TEST(NameValueList, CopyIsIndependentInBothDirections) {
  const NameValueList original = listOf({{"a", "1"}, {"b", "2"}});
  const Pairs before = pairsOf(original);

  // Through copy(), the copy constructor and copy assignment alike.
  NameValueList viaCopy = original.copy();
  NameValueList viaConstructor(original);
  NameValueList viaAssignment;
  viaAssignment.add(Text("old"), Text("pair"));
  viaAssignment = original;
  for (NameValueList* copy : {&viaCopy, &viaConstructor, &viaAssignment}) {
    EXPECT_EQ(pairsOf(*copy), before);
    copy->add(Text("c"), Text("3"));
    copy->set(Text("a"), Text("9"));
    EXPECT_EQ(pairsOf(original), before);
    copy->clear();
    EXPECT_EQ(pairsOf(original), before);
  }

  NameValueList source = listOf({{"a", "1"}});
  const NameValueList copy = source.copy();
  source.add(Text("b"), Text("2"));
  source.set(Text("a"), Text("9"));
  EXPECT_EQ(pairsOf(copy), (Pairs{{"a", "1"}}));
  source.clear();
  EXPECT_EQ(pairsOf(copy), (Pairs{{"a", "1"}}));
}

}  // namespace
}  // namespace quillmark
