#include "web/request_headers.h"

#include <gtest/gtest.h>

#include <string>

namespace quillmark {
namespace {

const std::string kDefaultUserAgent = "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

struct AddDefaultsCase {
  const char* block;
  int method;
  std::string expected;
};

TEST(AddDefaultHeaders, AppendsWhatTheBlockLacks) {
  const std::string url = "http://h/p?q=1";
  const AddDefaultsCase cases[] = {
      {"", 0,
       "\r\nAccept: */*\r\nReferer: " + url + "\r\nAccept-Language: zh-cn\r\n" + kDefaultUserAgent},
      {"", 1,
       "\r\nAccept: */*\r\nReferer: " + url + "\r\nAccept-Language: zh-cn\r\n" + kDefaultUserAgent +
           "\r\nContent-Type: application/x-www-form-urlencoded"},
      // Content-Type is a default of POST alone.
      {"", 3, "\r\nAccept: */*\r\nReferer: " + url + "\r\nAccept-Language: zh-cn\r\n" + kDefaultUserAgent},
      // Keys are found without regard to case, anywhere in the block.
      {"accept: text/html\r\nreferer: x\r\nACCEPT-LANGUAGE: en\r\nuser-agent: u", 0,
       "accept: text/html\r\nreferer: x\r\nACCEPT-LANGUAGE: en\r\nuser-agent: u"},
      {"X-Accept: 1", 0,
       "X-Accept: 1\r\nReferer: " + url + "\r\nAccept-Language: zh-cn\r\n" + kDefaultUserAgent},
      // "Accept-Language:" does not hold "Accept:".
      {"Accept-Language: en", 0,
       "Accept-Language: en\r\nAccept: */*\r\nReferer: " + url + "\r\n" + kDefaultUserAgent},
      {"content-type: text/plain", 1,
       "content-type: text/plain\r\nAccept: */*\r\nReferer: " + url + "\r\nAccept-Language: zh-cn\r\n" +
           kDefaultUserAgent},
      // Without the colon the key is not there.
      {"Accept */*", 0,
       "Accept */*\r\nAccept: */*\r\nReferer: " + url + "\r\nAccept-Language: zh-cn\r\n" + kDefaultUserAgent},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(addDefaultHeaders(Text(c.block), Text(url), c.method).view(), c.expected)
        << "block '" << c.block << "' method " << c.method;
  }
}

TEST(AddDefaultHeaders, SeesTheDefaultsItAddedItself) {
  // A URL holding a key counts once it has been appended as the Referer.
  const Text block = addDefaultHeaders(Text(), Text("http://h/?User-Agent:x"), 0);
  EXPECT_EQ(block.view(), "\r\nAccept: */*\r\nReferer: http://h/?User-Agent:x\r\nAccept-Language: zh-cn");
}

struct NormalizeCase {
  std::string block;
  std::string expected;
};

TEST(NormalizeHeaderNames, CapitalisesNamesAndDropsLinesWithoutColon) {
  const NormalizeCase cases[] = {
      {"", ""},
      {"content-type: text/html", "Content-Type: text/html"},
      {"x-API-key: 1", "X-API-Key: 1"},
      {"a--b: 1\r\nbad line\r\n\r\nc-: 2", "A--B: 1\r\nC-: 2"},
      {"accept:x", "Accept:x"},
      {" accept: x", " accept: x"},  // a leading space keeps the letter as it was
      {"referer: http://a-b:80/x-y", "Referer: http://a-b:80/x-y"},  // only the name changes
      {"\r\nAccept: */*\r\nReferer: u", "Accept: */*\r\nReferer: u"},
      {"no colon\r\n\r\n", ""},
      {": x", ": x"},
      {"-a: 1", "-A: 1"},
      // A lead byte takes the byte after it along: neither is changed.
      {"\xB0-a: 1", "\xB0-a: 1"},
      {"\xB0\xA1-a: 1", "\xB0\xA1-A: 1"},
      {"a\rb: 1\r\nc: 2\r", "A\rb: 1\r\nC: 2\r"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(normalizeHeaderNames(Text(c.block)).view(), c.expected) << c.block;
  }
}

TEST(NormalizeHeaderNames, ClearsTheLeadingBreakAddDefaultHeadersLeaves) {
  const Text block = normalizeHeaderNames(addDefaultHeaders(Text(), Text("u"), 0));
  EXPECT_EQ(block.view(), "Accept: */*\r\nReferer: u\r\nAccept-Language: zh-cn\r\n" + kDefaultUserAgent);
}

TEST(CapitalizeFirst, UpperCasesOnlyAFirstAsciiLetter) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""}, {"abc", "Abc"}, {"1abc", "1abc"}, {"Abc", "Abc"}, {"\xB0\xA1x", "\xB0\xA1x"}, {"z", "Z"},
  };
  for (const auto& [input, expected] : cases) EXPECT_EQ(capitalizeFirst(Text(input)).view(), expected);
}

struct LineCase {
  const char* line;
  const char* name;
  const char* value;
};

TEST(HeaderNameAndValue, SplitAtTheFirstColonAndTrim) {
  const LineCase cases[] = {
      {"  Host :  example  ", "Host", "example"},
      {"Referer: a:b", "Referer", "a:b"},
      {"no colon", "", ""},
      {"", "", ""},
      {": x", "", "x"},
      {"Name:", "Name", ""},
      {"Value: ends in CR\r", "Value", "ends in CR\r"},
      {"\xA1\xA1Name\xA1\xA1: \xA1\xA1v\xA1\xA1", "Name", "v"},
      {"Tab:\tv", "Tab", "\tv"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(headerName(Text(c.line)).view(), c.name) << c.line;
    EXPECT_EQ(headerValue(Text(c.line)).view(), c.value) << c.line;
  }
}

}  // namespace
}  // namespace quillmark
