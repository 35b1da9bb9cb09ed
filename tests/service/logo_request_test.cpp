#include "service/logo_request.h"

#include <gtest/gtest.h>

#include "app/logo_batch.h"
#include "platform/codepage.h"

namespace quillmark::service {
namespace {

struct CookieCase {
  const char* cookie;
  const char* name;
  std::optional<std::string_view> expected;
};

TEST(CookieValue, FindsTheFirstItemOfThatNameAndTakesTheBytesAfterItsFirstEquals) {
  const CookieCase cases[] = {
      {"a=1; b=2; c=3", "a", "1"},
      {"a=1; b=2; c=3", "b", "2"},
      {"a=1; b=2; c=3", "c", "3"},
      {"a=1; b=2", "d", std::nullopt},
      {"a=; b=2", "a", ""},
      {"a; b=2", "a", std::nullopt},           // no "=": no value
      {"a=x=y; b=2", "a", "x=y"},              // only the first "=" separates
      {"txtcolor=123456; txt=t", "txt", "t"},  // a name is matched whole
      {"a=1; a=2", "a", "1"},
      {"A=1; a=2", "a", "2"},                  // names are byte-exact
      {"m=x;went=y; w=z", "went", std::nullopt},  // ";" without a blank does not separate
      {"m=x;went=y; w=z", "m", "x;went=y"},
      {"", "a", std::nullopt},
      {"a=1;  b=2", " b", "2"},                // only "; " separates; the rest is the name
  };
  for (const CookieCase& c : cases) {
    SCOPED_TRACE(std::string(c.cookie) + " / " + c.name);
    EXPECT_EQ(cookieValue(c.cookie, c.name), c.expected);
  }
}

TEST(ParseHexColor, TakesExactlySixHexDigits) {
  EXPECT_EQ(parseHexColor("444444"), (Rgb{0x44, 0x44, 0x44}));
  EXPECT_EQ(parseHexColor("00FFa0"), (Rgb{0x00, 0xff, 0xa0}));
  for (const char* bad : {"", "44444", "4444444", "#44444", "44444g", " 44444", "0x4444"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(parseHexColor(bad), std::nullopt);
  }
}

TEST(ParseLogoRequest, ReadsTheToolsCookie) {
  const std::string title = platform::utf8ToGbk("第三方影院");
  // The Cookie text the batch job itself builds.
  const ParsedLogoRequest parsed =
      parseLogoRequest(std::string(logoCookieText(Text("tb-9-(927).png"), Text(title)).view()));
  ASSERT_EQ(parsed.error, LogoRequestError::none);
  EXPECT_EQ(parsed.request.templateName, "tb-9-(927).png");
  EXPECT_EQ(parsed.request.titleGbk, title);
  EXPECT_EQ(parsed.request.textColor, kDefaultTextColor);
  EXPECT_EQ(parsed.request.accentColor, kDefaultAccentColor);
}

TEST(ParseLogoRequest, ColoursFallBackToTheirDefaults) {
  const ParsedLogoRequest given = parseLogoRequest("txtcolor=ff0000; minicolor=00ff00; txt=a");
  EXPECT_EQ(given.request.textColor, (Rgb{0xff, 0, 0}));
  EXPECT_EQ(given.request.accentColor, (Rgb{0, 0xff, 0}));
  const ParsedLogoRequest malformed = parseLogoRequest("txtcolor=red; minicolor=#00ff00; txt=a");
  EXPECT_EQ(malformed.request.textColor, kDefaultTextColor);
  EXPECT_EQ(malformed.request.accentColor, kDefaultAccentColor);
  const ParsedLogoRequest missing = parseLogoRequest("txt=a");
  EXPECT_EQ(missing.error, LogoRequestError::none);
  EXPECT_EQ(missing.request.templateName, "");
  EXPECT_EQ(missing.request.textColor, kDefaultTextColor);
}

TEST(ParseLogoRequest, ReportsWhatIsMissingOrTooLong) {
  EXPECT_EQ(parseLogoRequest(std::nullopt).error, LogoRequestError::missingCookie);
  EXPECT_EQ(parseLogoRequest("").error, LogoRequestError::missingTitle);
  EXPECT_EQ(parseLogoRequest("tu=zm-1-205.png; txtx=a").error, LogoRequestError::missingTitle);
  EXPECT_EQ(parseLogoRequest("txt=").error, LogoRequestError::none);
  EXPECT_EQ(parseLogoRequest("txt=" + std::string(kMaxTitleBytes, 'a')).error, LogoRequestError::none);
  EXPECT_EQ(parseLogoRequest("txt=" + std::string(kMaxTitleBytes + 1, 'a')).error,
            LogoRequestError::titleTooLong);
}

TEST(ParseLogoRequest, AZeroByteEndsTheCookieText) {
  using namespace std::string_literals;
  EXPECT_EQ(parseLogoRequest("tu=a.png; txt=ab\0cd"s).request.titleGbk, "ab");
  EXPECT_EQ(parseLogoRequest("tu=a.png\0; txt=ab"s).error, LogoRequestError::missingTitle);
  // The limit counts the bytes before the zero byte.
  EXPECT_EQ(parseLogoRequest("txt=" + std::string(kMaxTitleBytes, 'a') + std::string(1, '\0') + std::string(50, 'a')).error,
            LogoRequestError::none);
  // Percent signs are bytes like any other.
  EXPECT_EQ(parseLogoRequest("a=%00; txt=A%42C").request.titleGbk, "A%42C");
}

}  // namespace
}  // namespace quillmark::service
