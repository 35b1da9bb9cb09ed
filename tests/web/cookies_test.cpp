#include "web/cookies.h"

#include <gtest/gtest.h>

#include "text/primitives.h"

namespace quillmark {
namespace {

struct MergeCase {
  const char* sent;
  const char* returned;
  const char* merged;
};

TEST(MergeCookies, KeepsReturnedItemsThenSentOnesWithNewNames) {
  const MergeCase cases[] = {
      {"lang=fr; theme=dark", "lang=en", "lang=en; theme=dark"},
      {"theme=dark; lang=fr", "lang=deleted", "theme=dark"},
      {"a=1; a=2", "", "a=1"},
      {"a=1;", "", "a=1"},
      {"a=1;b=2", "b=3", "b=3; a=1;b=2"},
      {"", "", ""},
      {"", "x=1; x=1; x=2", "x=1; x=2"},
      {"  a=1  ", "  b=2;  ", "b=2; a=1"},
      {"a=1; b=deleted", "", "a=1"},
      {"a=deleted", "a=deleted", ""},
      {" a =1", "a=2", "a=2"},         // names are trimmed for comparison only
      {"A=1", "a=2", "a=2; A=1"},      // case counts
      {"flag; =5", "flag", "flag; =5"},
      {"a=1; b=2", "b=2; a=1", "b=2; a=1"},
      {"s=\xB0\xA1", "t=\xB0\xA1", "t=\xB0\xA1; s=\xB0\xA1"},
      {"a=1; ; b=2", "", "a=1; ; b=2"},  // the empty item is kept once
  };
  for (const auto& c : cases) {
    Text sent(c.sent);
    Text returned(c.returned);
    const Text merged = mergeCookies(sent, returned);
    EXPECT_EQ(merged.view(), c.merged) << "sent '" << c.sent << "' returned '" << c.returned << "'";
    EXPECT_EQ(sent, merged) << "the sent argument receives the result";
  }
}

TEST(MergeCookies, RewritesTheReturnedArgumentToItsTrimmedForm) {
  Text sent("a=1");
  Text returned("  b=2;");
  mergeCookies(sent, returned);
  EXPECT_EQ(returned.view(), "b=2; ");
}

TEST(MergeCookies, MergingAStringWithItselfChangesNothingButWhatTheRulesRemove) {
  Text sent("a=1; b=2; a=3; c=deleted; b=2");
  Text returned = sent;
  EXPECT_EQ(mergeCookies(sent, returned).view(), "a=1; b=2; a=3");
}

TEST(CookieName, IsTheTrimmedTextBeforeTheFirstEquals) {
  const std::pair<const char*, const char*> cases[] = {
      {"a=1", "a"}, {"=5", ""}, {"flag", "flag"}, {"  k = v=w", "k"}, {"", ""}, {"\xA1\xA1n=1", "n"},
  };
  for (const auto& [item, name] : cases) EXPECT_EQ(cookieName(Text(item)).view(), name) << item;
}

TEST(HasCookieName, ComparesNamesExactly) {
  TextArray items;
  EXPECT_FALSE(hasCookieName(items, Text()));
  items.append(Text("a=1"));
  items.append(Text(" b =2"));
  EXPECT_TRUE(hasCookieName(items, Text("a")));
  EXPECT_TRUE(hasCookieName(items, Text("b")));
  EXPECT_FALSE(hasCookieName(items, Text("A")));
  EXPECT_FALSE(hasCookieName(items, Text("a=1")));
}

}  // namespace
}  // namespace quillmark
