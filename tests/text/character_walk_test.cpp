// The character-aware primitives checked against a deliberately plain walk,
// written from the rules alone: a byte 0x80..0xFF starts a two-byte
// character, and the byte after it, whatever it is, is its second byte.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "text/primitives.h"
#include "text_test_support.h"

namespace quillmark {
namespace {

using Bytes = std::string;

bool high(const Bytes& s, long long p) { return static_cast<unsigned char>(s[static_cast<size_t>(p - 1)]) >= 0x80; }

char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool sameAt(const Bytes& s, long long p, const Bytes& sub, bool foldCase) {
  for (size_t i = 0; i < sub.size(); ++i) {
    const char a = s[static_cast<size_t>(p - 1) + i];
    const char b = sub[i];
    if (foldCase ? fold(a) != fold(b) : a != b) return false;
  }
  return true;
}

// All positions the scan of a region [first, last] compares at, in order.
std::vector<long long> matchesInRegion(const Bytes& s, const Bytes& sub, long long first, long long last,
                                       bool foldCase) {
  std::vector<long long> found;
  const long long length = static_cast<long long>(s.size());
  const long long m = static_cast<long long>(sub.size());
  for (long long p = first; p + m - 1 <= last;) {
    if (sameAt(s, p, sub, foldCase)) found.push_back(p);
    if (high(s, p) && p == length) break;
    p += high(s, p) ? 2 : 1;
  }
  return found;
}

int refFind(const Bytes& s, const Bytes& sub, std::optional<int> start, bool foldCase) {
  const long long length = static_cast<long long>(s.size());
  long long first = 1;
  if (start) first = *start < 1 ? 1 : *start;
  if (first > length) return -1;
  if (sub.empty()) return 1;
  const auto found = matchesInRegion(s, sub, first, length, foldCase);
  return found.empty() ? -1 : static_cast<int>(found.front());
}

int refFindReverse(const Bytes& s, const Bytes& sub, std::optional<int> start, bool foldCase) {
  const long long length = static_cast<long long>(s.size());
  long long last = length;
  if (start) last = std::min<long long>(static_cast<long long>(*start) - 1, length);
  if (last < 1) return -1;
  if (sub.empty()) return 1;
  const auto found = matchesInRegion(s, sub, 1, last, foldCase);
  return found.empty() ? -1 : static_cast<int>(found.back());
}

Bytes refUpper(const Bytes& s) {
  Bytes out;
  for (size_t i = 0; i < s.size(); ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b >= 0x80) {
      out += s[i];
      if (i + 1 < s.size()) out += s[++i];
    } else {
      out += b >= 'a' && b <= 'z' ? static_cast<char>(b - 32) : s[i];
    }
  }
  return out;
}

Bytes refTrim(const Bytes& s) {
  enum Kind { kSpace, kOther, kIncomplete };
  struct Item {
    Kind kind;
    Bytes bytes;
  };
  std::vector<Item> items;
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b == 0x20) {
      items.push_back({kSpace, s.substr(i, 1)});
      i += 1;
    } else if (b >= 0x80 && i + 1 == s.size()) {
      items.push_back({kIncomplete, s.substr(i, 1)});
      i += 1;
    } else if (b >= 0x80) {
      const bool fullWidthSpace = b == 0xA1 && static_cast<unsigned char>(s[i + 1]) == 0xA1;
      items.push_back({fullWidthSpace ? kSpace : kOther, s.substr(i, 2)});
      i += 2;
    } else {
      items.push_back({kOther, s.substr(i, 1)});
      i += 1;
    }
  }
  size_t begin = 0;
  while (begin < items.size() && items[begin].kind == kSpace) ++begin;
  size_t end = items.size();
  if (end > begin && items[end - 1].kind == kIncomplete) {
    --end;
  } else {
    while (end > begin && items[end - 1].kind == kSpace) --end;
  }
  Bytes out;
  for (size_t i = begin; i < end; ++i) out += items[i].bytes;
  return out;
}

Bytes refReplace(const Bytes& s, const Bytes& sub, const Bytes& replacement, std::optional<int> start,
                 std::optional<int> count, bool caseSensitive) {
  const long long length = static_cast<long long>(s.size());
  const long long m = static_cast<long long>(sub.size());
  long long first = start && *start >= 1 ? *start : 1;
  long long left = count && *count >= 0 ? *count : -1;
  if (s.empty() || sub.empty() || first > length || left == 0) return s;
  Bytes out = s.substr(0, static_cast<size_t>(first - 1));
  long long p = first;
  while (p + m - 1 <= length) {
    if (sameAt(s, p, sub, !caseSensitive)) {
      out += replacement;
      p += m;
      if (left > 0 && --left == 0) break;
    } else if (high(s, p) && p == length) {
      return out;  // a final lead byte is dropped
    } else if (high(s, p)) {
      out += s.substr(static_cast<size_t>(p - 1), 2);
      p += 2;
    } else {
      out += s[static_cast<size_t>(p - 1)];
      p += 1;
    }
  }
  if (p <= length) out += s.substr(static_cast<size_t>(p - 1));
  return out;
}

std::vector<Bytes> refSplit(const Bytes& s, const Bytes& delimiter, std::optional<int> maxCount) {
  std::vector<Bytes> items;
  const long long limit = maxCount ? std::max(*maxCount, 0) : -1;
  if (s.empty() || limit == 0) return items;
  if (delimiter.empty()) return {s};
  const long long length = static_cast<long long>(s.size());
  const long long m = static_cast<long long>(delimiter.size());
  long long itemStart = 1;
  long long p = 1;
  while (p + m - 1 <= length) {
    if (sameAt(s, p, delimiter, false)) {
      items.push_back(s.substr(static_cast<size_t>(itemStart - 1), static_cast<size_t>(p - itemStart)));
      if (static_cast<long long>(items.size()) == limit) return items;
      p += m;
      itemStart = p;
      continue;
    }
    if (high(s, p) && p == length) break;
    p += high(s, p) ? 2 : 1;
  }
  if (itemStart <= length) items.push_back(s.substr(static_cast<size_t>(itemStart - 1)));
  return items;
}

std::vector<Bytes> itemsOf(const TextArray& array) {
  std::vector<Bytes> items;
  for (const Text& item : array) items.emplace_back(item.view());
  return items;
}

std::string show(const Bytes& s) { return ::testing::PrintToString(Text(s)); }

// Checks every character-aware primitive on one text against the walk.
void checkAgainstWalk(const Bytes& s, const Bytes& sub, std::optional<int> start, std::optional<int> count,
                      bool flag) {
  SCOPED_TRACE("text " + show(s) + " sub " + show(sub) + " start " +
               (start ? std::to_string(*start) : "omitted") + " count " +
               (count ? std::to_string(*count) : "omitted") + (flag ? " flag" : ""));
  const Text text(s);
  const Text find(sub);
  ASSERT_EQ(findText(text, find, start, flag), refFind(s, sub, start, flag));
  ASSERT_EQ(findTextReverse(text, find, start, flag), refFindReverse(s, sub, start, flag));
  ASSERT_EQ(replaceText(text, find, Text("<>"), start, count, flag).view(),
            refReplace(s, sub, "<>", start, count, flag));
  ASSERT_EQ(itemsOf(splitText(text, find, count)), refSplit(s, sub, count));
  ASSERT_EQ(toUpper(text).view(), refUpper(s));
  ASSERT_EQ(trimSpaces(text).view(), refTrim(s));
}

TEST(CharacterWalk, EveryLeadAndSecondBytePair) {
  // Each pair inside ASCII letters, searched for its second byte, for the
  // pair itself and for the letter after it, from the start and from the
  // second byte.
  for (int lead = 0x80; lead <= 0xFF; ++lead) {
    for (int second = 0x01; second <= 0xFF; ++second) {
      Bytes pair{static_cast<char>(lead), static_cast<char>(second)};
      const Bytes s = "a" + pair + Bytes(1, static_cast<char>(second)) + "A" + pair;
      checkAgainstWalk(s, Bytes(1, static_cast<char>(second)), std::nullopt, std::nullopt, false);
      checkAgainstWalk(s, Bytes(1, static_cast<char>(second)), 3, 1, true);
      checkAgainstWalk(s, pair, std::nullopt, std::nullopt, true);
      checkAgainstWalk(s, Bytes(1, static_cast<char>(second)) + "a", 2, std::nullopt, true);
      checkAgainstWalk(s.substr(0, 5), Bytes(1, static_cast<char>(lead)), std::nullopt, std::nullopt, false);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
}

TEST(CharacterWalk, RandomMixesWithAFixedSeed) {
  // Few distinct bytes, so that matches, pairs and full-width spaces happen
  // often: ASCII letters of both cases, spaces, CR LF, a comma, and lead
  // bytes that are also common second bytes.
  const Bytes alphabet = "aAbB ,\r\n\x80\x81\xA1\xA1\xB0\xFF\x41\x61";
  std::mt19937 random(20261211);
  auto pick = [&](size_t length) {
    Bytes s;
    for (size_t i = 0; i < length; ++i) s += alphabet[random() % alphabet.size()];
    return s;
  };
  for (int round = 0; round < 20000; ++round) {
    const Bytes s = pick(random() % 24);
    const Bytes sub = random() % 4 == 0 ? s.substr(random() % (s.size() + 1), random() % 3) : pick(random() % 4);
    const int length = static_cast<int>(s.size());
    std::optional<int> start;
    if (random() % 3 != 0) start = static_cast<int>(random() % static_cast<unsigned>(length + 5)) - 2;
    std::optional<int> count;
    if (random() % 2 != 0) count = static_cast<int>(random() % 5) - 1;
    checkAgainstWalk(s, sub, start, count, random() % 2 != 0);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

TEST(CharacterWalk, LongTextsCrossTheFastPaths) {
  // Long runs of lead bytes and of ASCII, so that candidate checks look far
  // back and many candidates are refused.
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    Bytes s;
    while (s.size() < 3000) {
      const size_t run = random() % 300;
      const bool leads = random() % 2 != 0;
      for (size_t i = 0; i < run; ++i) s += leads ? "\xB0\x41\xA1\xC1"[random() % 4] : "aA,\r\n "[random() % 6];
    }
    const Bytes subs[] = {"A", "\xA1", "\xA1\xA1", "a,", "\r\n", "\xB0\x41", "A\r", "Aa"};
    for (const Bytes& sub : subs) {
      std::optional<int> start;
      if (round % 2 != 0) start = static_cast<int>(random() % 3000);
      checkAgainstWalk(s, sub, start, std::nullopt, round % 3 == 0);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
}

}  // namespace
}  // namespace quillmark
