#include "data/url_encode.h"

#include <gtest/gtest.h>

#include <string>

namespace quillmark {
namespace {

struct Case {
  std::string input;
  bool keepUnreserved;
  bool toUtf8;
  std::string expected;
};

TEST(UrlEncode, Table) {
  const Case cases[] = {
      // The empty text, with every combination of options.
      {"", false, false, ""},
      {"", true, false, ""},
      {"", false, true, ""},
      {"", true, true, ""},
      // The kept set, and everything encoded without the option.
      {"AZaz09-.", true, false, "AZaz09-."},
      {"AZaz09-.", false, false, "%41%5A%61%7A%30%39%2D%2E"},
      {"a b+c/d_e~f*", true, false, "a%20b%2Bc%2Fd%5Fe%7Ef%2A"},
      // The edges around the kept bytes: ',' '-' '.' '/' '0' and '9' ':',
      // '@' 'A' and 'Z' '[', '^' '_' '`' 'a' and 'z' '{', '}' '~' DEL.
      {",-./09:", true, false, "%2C-.%2F09%3A"},
      {"@AZ[", true, false, "%40AZ%5B"},
      {"^_`az{", true, false, "%5E%5F%60az%7B"},
      {"}~\x7F", true, false, "%7D%7E%7F"},
      {"!\"#$%&'()", true, false, "%21%22%23%24%25%26%27%28%29"},
      // Control bytes and space: always two digits.
      {"\x01\x09\x0A\x0D\x1F\x20", true, false, "%01%09%0A%0D%1F%20"},
      {"\x09\xFF", false, false, "%09%FF"},
      // Bytes from 0x80 up, one escape each, upper-case digits.
      {"\x80\x81\xAB\xFE\xFF", true, false, "%80%81%AB%FE%FF"},
      // A double-byte character: two escapes, or three for its UTF-8 form.
      {"\xD6\xD0", true, false, "%D6%D0"},
      {"\xD6\xD0", true, true, "%E4%B8%AD"},
      {"\xD6\xD0", false, true, "%E4%B8%AD"},
      // UTF-8 conversion does not touch ASCII; the kept set still applies.
      {"a-\xD6\xD0", true, true, "a-%E4%B8%AD"},
      {"a-\xD6\xD0", false, true, "%61%2D%E4%B8%AD"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(urlEncode(Text(c.input), c.keepUnreserved, c.toUtf8).bytes(), c.expected)
        << "input '" << c.input << "' keep " << c.keepUnreserved << " utf8 " << c.toUtf8;
  }
}

TEST(UrlEncode, DefaultsEncodeEveryByteWithoutConversion) {
  EXPECT_EQ(urlEncode(Text("a\xD6\xD0")).bytes(), "%61%D6%D0");
}

TEST(UrlEncode, KeepsExactlyTheSixtyFourUnreservedBytes) {
  // Every byte a Text can hold (0x01-0xFF), one at a time.
  int kept = 0;
  for (int b = 1; b <= 0xFF; ++b) {
    const std::string byte(1, static_cast<char>(b));
    const std::string encoded = urlEncode(Text(byte), true).bytes();
    const bool unreserved = (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') ||
                            (b >= 'a' && b <= 'z') || b == '-' || b == '.';
    if (unreserved) {
      ++kept;
      EXPECT_EQ(encoded, byte);
    } else {
      static constexpr char kDigits[] = "0123456789ABCDEF";
      EXPECT_EQ(encoded, (std::string{'%', kDigits[b >> 4], kDigits[b & 15]})) << b;
    }
  }
  EXPECT_EQ(kept, 64);
}

}  // namespace
}  // namespace quillmark
