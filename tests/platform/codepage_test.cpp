#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "support/scoped_environment.h"

namespace quillmark::platform {
namespace {

// 中 (U+4E2D): D6 D0 in code page 936, E4 B8 AD in UTF-8.
const std::string kZhongGbk = "\xD6\xD0";
const std::string kZhongUtf8 = "\xE4\xB8\xAD";

TEST(MultiByteToWideChar, MeasuringCallCountsTheTerminatorWithMinusOne) {
  struct Case {
    unsigned codePage;
    std::string input;
    int units;
  };
  const Case cases[] = {
      {kCodePageGbk, "", 1},        {kCodePageGbk, "ab", 3},  {kCodePageGbk, kZhongGbk, 2},
      {kCodePageAnsi, "ab" + kZhongGbk, 4}, {kCodePageUtf8, kZhongUtf8, 2},
      {kCodePageUtf8, "\xF0\x9F\x98\x80", 3},  // one character, a surrogate pair
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(MultiByteToWideChar(c.codePage, 0, c.input.c_str(), -1, nullptr, 0), c.units);
    std::vector<char16_t> out(static_cast<size_t>(c.units) + 2, u'#');
    // A measuring call writes nothing even when given a buffer.
    EXPECT_EQ(MultiByteToWideChar(c.codePage, 0, c.input.c_str(), -1, out.data(), 0), c.units);
    EXPECT_EQ(out[0], u'#');
    EXPECT_EQ(MultiByteToWideChar(c.codePage, 0, c.input.c_str(), -1, out.data(), c.units),
              c.units);
    EXPECT_EQ(out[static_cast<size_t>(c.units) - 1], u'\0');
    EXPECT_EQ(out[static_cast<size_t>(c.units)], u'#') << "wrote past the measured size";
  }
}

TEST(MultiByteToWideChar, ConvertsUpToAndIncludingTheZeroByte) {
  const char input[] = "ab\0cd";
  char16_t out[8] = {u'#', u'#', u'#', u'#', u'#', u'#', u'#', u'#'};
  ASSERT_EQ(MultiByteToWideChar(kCodePageGbk, 0, input, -1, out, 8), 3);
  EXPECT_EQ(std::u16string(out, 4), std::u16string(u"ab\0#", 4));
}

TEST(MultiByteToWideChar, ExplicitLengthAddsNoTerminator) {
  char16_t out[4] = {u'#', u'#', u'#', u'#'};
  EXPECT_EQ(MultiByteToWideChar(kCodePageGbk, 0, "abc", 2, nullptr, 0), 2);
  ASSERT_EQ(MultiByteToWideChar(kCodePageGbk, 0, "abc", 2, out, 4), 2);
  EXPECT_EQ(std::u16string(out, 3), u"ab#");
}

TEST(MultiByteToWideChar, DecodesTheSystemCodePage) {
  EXPECT_EQ(toUtf16(kCodePageGbk, "a" + kZhongGbk), u"a\u4E2D");
  EXPECT_EQ(toUtf16(kCodePageGbk, "\x80"), u"\u20AC");
  EXPECT_EQ(toUtf16(kCodePageUtf8, kZhongUtf8), u"\u4E2D");
}

TEST(MultiByteToWideChar, UndecodableInputBecomesReplacementCharacter) {
  struct Case {
    unsigned codePage;
    std::string input;
    std::u16string expected;
  };
  const Case cases[] = {
      {kCodePageGbk, "a\x81", u"a\uFFFD"},        // lead byte at the end
      {kCodePageGbk, "\x81\x30x", u"\uFFFD" u"0x"},  // an ASCII trail is not swallowed
      {kCodePageGbk, "\x81\x7F", u"\uFFFD\x7F"},
      {kCodePageUtf8, "\xFF", u"\uFFFD"},
      {kCodePageUtf8, "a\xC3", u"a\uFFFD"},          // truncated sequence at the end
      {kCodePageUtf8, "\xE4\xB8z", u"\uFFFDz"},      // truncated in the middle
      {kCodePageUtf8, "\xC0\xAF", u"\uFFFD\uFFFD"},  // overlong form
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(toUtf16(c.codePage, c.input), c.expected);
    // The -1 form agrees, and its measurement is exact.
    const int needed = MultiByteToWideChar(c.codePage, 0, c.input.c_str(), -1, nullptr, 0);
    EXPECT_EQ(needed, static_cast<int>(c.expected.size()) + 1);
  }
}

TEST(WideCharToMultiByte, MeasuringCallCountsTheTerminatorWithMinusOne) {
  struct Case {
    unsigned codePage;
    std::u16string input;
    std::string expected;
  };
  const Case cases[] = {
      {kCodePageGbk, u"", ""},
      {kCodePageAnsi, u"ab", "ab"},
      {kCodePageGbk, u"\u4E2D", kZhongGbk},
      {kCodePageUtf8, u"\u4E2D", kZhongUtf8},
      {kCodePageUtf8, u"\U0001F600", "\xF0\x9F\x98\x80"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    const int size = static_cast<int>(c.expected.size()) + 1;
    EXPECT_EQ(WideCharToMultiByte(c.codePage, 0, c.input.c_str(), -1, nullptr, 0, nullptr, nullptr),
              size);
    std::string out(static_cast<size_t>(size) + 2, '#');
    EXPECT_EQ(WideCharToMultiByte(c.codePage, 0, c.input.c_str(), -1, out.data(), size, nullptr,
                                  nullptr),
              size);
    EXPECT_EQ(out, c.expected + std::string("\0##", 3));
  }
}

TEST(WideCharToMultiByte, CharacterTheTargetLacksBecomesQuestionMark) {
  struct Case {
    unsigned codePage;
    std::u16string input;
    std::string expected;
  };
  const Case cases[] = {
      {kCodePageGbk, u"a\u0E01b", "a?b"},   // Thai
      {kCodePageGbk, u"\U0001F600", "?"},   // one "?" for a whole surrogate pair
      // No look-alike ("best fit") mappings: not the full-width cent, not
      // the ASCII digit 2 or hyphen.
      {kCodePageGbk, u"\u00A2", "?"},
      {kCodePageGbk, u"x\u00B2\u00AD", "x??"},
      // Invisible characters the code page lacks are not dropped either.
      {kCodePageGbk, u"a\u200Bb\uFE0F\uFEFF", "a?b??"},
      {kCodePageGbk, u"\uFFFD", "?"},
      {kCodePageAnsi, std::u16string(1, char16_t{0xD800}) + u"x", "?x"},  // unpaired surrogate
      // Towards UTF-8 nothing is lacking; an unpaired surrogate is U+FFFD.
      {kCodePageUtf8, std::u16string(1, char16_t{0xDC00}) + u"x", "\xEF\xBF\xBDx"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(fromUtf16(c.codePage, c.input), c.expected);
    EXPECT_EQ(WideCharToMultiByte(c.codePage, 0, c.input.c_str(), -1, nullptr, 0, nullptr, nullptr),
              static_cast<int>(c.expected.size()) + 1);
  }
}

TEST(CodePageCalls, FailWithZeroOnBadArguments) {
  char16_t wide[8];
  char narrow[8];
  // Unknown code pages, including ones Windows knows.
  for (unsigned codePage : {1u, 437u, 1252u, 20936u, 54936u, 65000u}) {
    EXPECT_EQ(MultiByteToWideChar(codePage, 0, "a", -1, wide, 8), 0) << codePage;
    EXPECT_EQ(MultiByteToWideChar(codePage, 0, "a", -1, nullptr, 0), 0) << codePage;
    EXPECT_EQ(WideCharToMultiByte(codePage, 0, u"a", -1, narrow, 8, nullptr, nullptr), 0);
    EXPECT_EQ(toUtf16(codePage, "a"), u"");
    EXPECT_EQ(fromUtf16(codePage, u"a"), "");
  }
  // Flags other than 0.
  for (unsigned flags : {1u, 8u, 0x80u, 0x400u}) {
    EXPECT_EQ(MultiByteToWideChar(kCodePageGbk, flags, "a", -1, wide, 8), 0) << flags;
    EXPECT_EQ(WideCharToMultiByte(kCodePageGbk, flags, u"a", -1, narrow, 8, nullptr, nullptr), 0);
  }
  bool usedDefault = false;
  EXPECT_EQ(WideCharToMultiByte(kCodePageGbk, 0, u"a", -1, narrow, 8, "*", nullptr), 0);
  EXPECT_EQ(WideCharToMultiByte(kCodePageGbk, 0, u"a", -1, narrow, 8, nullptr, &usedDefault), 0);
  // Null input, length 0 or below -1, negative or too small output.
  EXPECT_EQ(MultiByteToWideChar(kCodePageGbk, 0, nullptr, -1, nullptr, 0), 0);
  EXPECT_EQ(MultiByteToWideChar(kCodePageGbk, 0, "a", 0, nullptr, 0), 0);
  EXPECT_EQ(MultiByteToWideChar(kCodePageGbk, 0, "a", -2, wide, 8), 0);
  EXPECT_EQ(MultiByteToWideChar(kCodePageGbk, 0, "a", -1, wide, -1), 0);
  EXPECT_EQ(MultiByteToWideChar(kCodePageGbk, 0, "a", -1, nullptr, 8), 0);
  EXPECT_EQ(WideCharToMultiByte(kCodePageGbk, 0, nullptr, -1, nullptr, 0, nullptr, nullptr), 0);
  EXPECT_EQ(WideCharToMultiByte(kCodePageGbk, 0, u"a", 0, nullptr, 0, nullptr, nullptr), 0);

  wide[0] = wide[1] = u'#';
  EXPECT_EQ(MultiByteToWideChar(kCodePageGbk, 0, "ab", -1, wide, 2), 0);  // needs 3
  narrow[0] = narrow[2] = '#';
  EXPECT_EQ(WideCharToMultiByte(kCodePageGbk, 0, u"\u4E2D", -1, narrow, 2, nullptr, nullptr), 0);
  EXPECT_EQ(narrow[2], '#');
}

TEST(CodePageCalls, AnsiCodePageIgnoresLocaleAndEnvironment) {
  test_support::ScopedEnvironment environment;
  environment.set("LANG", "en_US.ISO-8859-1");
  environment.set("LC_ALL", "C");
  const std::string locale = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(toUtf16(kCodePageAnsi, kZhongGbk), u"\u4E2D");
  EXPECT_EQ(fromUtf16(kCodePageAnsi, u"\u4E2D"), kZhongGbk);
  std::setlocale(LC_ALL, locale.c_str());
}

TEST(CodePageCalls, WholeStringForms) {
  EXPECT_EQ(gbkToUtf8("a" + kZhongGbk), "a" + kZhongUtf8);
  EXPECT_EQ(utf8ToGbk("a" + kZhongUtf8), "a" + kZhongGbk);
  EXPECT_EQ(gbkToUtf8(""), "");
  EXPECT_EQ(utf8ToGbk(""), "");
  // Zero bytes inside a counted string are characters like any other.
  EXPECT_EQ(gbkToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(CodePageCalls, WholeStringFormsAgreeWithTheCallsOnEveryAsciiByte) {
  // The whole-string forms take a short cut for all-ASCII texts; it must give
  // what the converter gives, also next to a byte that is not ASCII.
  std::string ascii;
  for (int c = 0; c < 0x80; ++c) ascii.push_back(static_cast<char>(c));
  for (unsigned codePage : {kCodePageAnsi, kCodePageGbk, kCodePageUtf8}) {
    for (const std::string& text : {ascii, ascii + kZhongGbk, kZhongUtf8 + ascii}) {
      std::u16string viaCall(text.size() + 1, u'\0');
      viaCall.resize(static_cast<size_t>(MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()),
                                                               viaCall.data(), static_cast<int>(viaCall.size()))));
      const std::u16string units = toUtf16(codePage, text);
      EXPECT_EQ(units, viaCall) << "code page " << codePage;
      std::string back(units.size() * 3, '\0');
      back.resize(static_cast<size_t>(WideCharToMultiByte(codePage, 0, units.data(), static_cast<int>(units.size()),
                                                          back.data(), static_cast<int>(back.size()), nullptr,
                                                          nullptr)));
      EXPECT_EQ(fromUtf16(codePage, units), back) << "code page " << codePage;
    }
  }
  EXPECT_EQ(toUtf16(437, "abc"), u"") << "an unknown code page stays unknown, ASCII or not";
  EXPECT_EQ(fromUtf16(437, u"abc"), "");
}

TEST(CodePageCalls, SafeFromSeveralThreadsAtOnce) {
  // Each thread interleaves both directions and both code pages, so that a
  // converter shared between threads, or state left behind by a broken
  // input, would show as a wrong result.
  constexpr int kThreads = 4;
  constexpr int kRounds = 2000;
  std::vector<int> failures(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &failures] {
      const std::string gbkText = std::string(static_cast<size_t>(t + 1), 'x') + kZhongGbk;
      const std::string utf8Text = std::string(static_cast<size_t>(t + 1), 'x') + kZhongUtf8;
      for (int round = 0; round < kRounds; ++round) {
        if (gbkToUtf8(gbkText) != utf8Text) ++failures[static_cast<size_t>(t)];
        if (utf8ToGbk(utf8Text) != gbkText) ++failures[static_cast<size_t>(t)];
        if (toUtf16(kCodePageGbk, "\xD6") != u"\uFFFD") ++failures[static_cast<size_t>(t)];
        if (MultiByteToWideChar(kCodePageAnsi, 0, gbkText.c_str(), -1, nullptr, 0) != t + 3)
          ++failures[static_cast<size_t>(t)];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[static_cast<size_t>(t)], 0) << t;
}

}  // namespace
}  // namespace quillmark::platform
