#include "app/icon_templates.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "app/main_window.h"

namespace quillmark {
namespace {

std::vector<std::string> splitAtCrLf(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return lines;
    start = end + 2;
  }
}

// Checks every property the template list must have.
void expectTemplateListShape(const std::string& text) {
  const std::vector<std::string> lines = splitAtCrLf(text);
  ASSERT_EQ(lines.size(), 3662u);
  EXPECT_EQ(lines.front(), "zm-1-205.png");
  EXPECT_EQ(lines.back(), "jz-1-110.png");
  EXPECT_NE(text.substr(text.size() - 2), "\r\n");

  const std::regex group("([a-z]+)-[0-9]+-[0-9]+\\.png");
  const std::regex digit("([a-z]+)[0-9]-[0-9]+\\.png");
  const std::regex single("([a-z]+)-[0-9]+\\.png");
  const std::regex parenthesised("([a-z]+)(-[0-9]+)?-\\([0-9]+\\)\\.png");
  std::map<std::string, int> forms;
  std::map<std::string, int> prefixes;
  std::set<std::string> seen;
  for (const std::string& line : lines) {
    EXPECT_GE(line.size(), 7u) << line;
    EXPECT_LE(line.size(), 15u) << line;
    for (char c : line) EXPECT_TRUE(static_cast<unsigned char>(c) < 0x80 && c != '\r' && c != '\n') << line;
    EXPECT_TRUE(seen.insert(line).second) << "twice: " << line;
    std::smatch match;
    if (std::regex_match(line, match, group)) {
      ++forms["group"];
    } else if (std::regex_match(line, match, digit)) {
      ++forms["digit"];
    } else if (std::regex_match(line, match, single)) {
      ++forms["single"];
    } else if (std::regex_match(line, match, parenthesised)) {
      ++forms["parenthesised"];
    } else {
      ADD_FAILURE() << "no known form: " << line;
      continue;
    }
    ++prefixes[match[1].str()];
  }
  EXPECT_EQ(forms, (std::map<std::string, int>{
                       {"group", 3084}, {"digit", 362}, {"single", 209}, {"parenthesised", 7}}));
  const std::map<std::string, int> common{{"tb", 1102}, {"zm", 512}, {"dw", 492},
                                          {"rw", 413},  {"zw", 365}, {"jz", 333},
                                          {"fn", 222},  {"yu", 105}, {"kc", 70}};
  int rareLines = 0;
  int rarePrefixes = 0;
  for (const auto& [prefix, count] : prefixes) {
    const auto known = common.find(prefix);
    if (known != common.end()) {
      EXPECT_EQ(count, known->second) << prefix;
    } else {
      EXPECT_EQ(prefix.size(), 1u) << prefix;
      rareLines += count;
      ++rarePrefixes;
    }
  }
  EXPECT_EQ(prefixes.size(), common.size() + 16);
  EXPECT_EQ(rareLines, 48);
  EXPECT_EQ(rarePrefixes, 16);
}

TEST(IconTemplateList, HasTheShapeOfTheServicesList) { expectTemplateListShape(iconTemplateList().bytes()); }

TEST(IconTemplateList, IsWhatTheHiddenEditBoxHoldsAtStart) {
  MainWindow window({});
  const Text text = window.readEditText(EditBox::Templates);
  EXPECT_EQ(text, iconTemplateList());
  expectTemplateListShape(text.bytes());
}

}  // namespace
}  // namespace quillmark
