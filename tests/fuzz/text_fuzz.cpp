// Every text primitive and helper with arbitrary arguments. A selector byte
// picks the routine; its arguments follow. Results are checked against plain
// walks written from the rules, and against the properties that hold for
// every input: a found position starts a character, the items of a split
// join back to the text, Base64 decodes back to its input, and no result of
// a character-aware routine ends inside a character it was given whole.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "text/base64.h"
#include "text/helpers.h"
#include "text/primitives.h"

namespace quillmark::fuzz {
namespace {

using Bytes = std::string;

bool lead(std::string_view s, std::size_t p) { return static_cast<unsigned char>(s[p]) >= 0x80; }
char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool sameAt(std::string_view s, std::size_t p, std::string_view sub, bool foldCase) {
  for (std::size_t i = 0; i < sub.size(); ++i)
    if (foldCase ? fold(s[p + i]) != fold(sub[i]) : s[p + i] != sub[i]) return false;
  return true;
}

// 0-based positions the scan of [first, end) compares at and finds `sub`.
std::vector<std::size_t> matches(std::string_view s, std::string_view sub, std::size_t first, std::size_t end,
                                 bool foldCase) {
  std::vector<std::size_t> found;
  for (std::size_t p = first; p + sub.size() <= end;) {
    if (sameAt(s, p, sub, foldCase)) found.push_back(p);
    if (lead(s, p) && p + 1 == s.size()) break;
    p += lead(s, p) ? 2 : 1;
  }
  return found;
}

int refFind(std::string_view s, std::string_view sub, std::optional<int> start, bool foldCase) {
  const long long length = static_cast<long long>(s.size());
  const long long first = start ? std::max<long long>(*start, 1) : 1;
  if (first > length) return -1;
  if (sub.empty()) return 1;
  const auto found = matches(s, sub, static_cast<std::size_t>(first - 1), s.size(), foldCase);
  return found.empty() ? -1 : static_cast<int>(found.front() + 1);
}

int refFindReverse(std::string_view s, std::string_view sub, std::optional<int> start, bool foldCase) {
  const long long length = static_cast<long long>(s.size());
  const long long last = start ? std::min<long long>(static_cast<long long>(*start) - 1, length) : length;
  if (last < 1) return -1;
  if (sub.empty()) return 1;
  const auto found = matches(s, sub, 0, static_cast<std::size_t>(last), foldCase);
  return found.empty() ? -1 : static_cast<int>(found.back() + 1);
}

Bytes refReplace(std::string_view s, std::string_view sub, std::string_view rep, std::optional<int> start,
                 std::optional<int> count, bool caseSensitive) {
  const long long length = static_cast<long long>(s.size());
  const long long first = start ? std::max<long long>(*start, 1) : 1;
  long long remaining = count && *count >= 0 ? *count : -1;
  if (s.empty() || sub.empty() || first > length || remaining == 0) return Bytes(s);
  auto p = static_cast<std::size_t>(first - 1);
  Bytes out(s.substr(0, p));
  while (p + sub.size() <= s.size()) {
    if (sameAt(s, p, sub, !caseSensitive)) {
      out += rep;
      p += sub.size();
      if (remaining > 0 && --remaining == 0) break;
    } else if (lead(s, p)) {
      if (p + 1 == s.size()) return out;  // a final lead byte the scan reaches goes
      out += s.substr(p, 2);
      p += 2;
    } else {
      out += s[p++];
    }
  }
  if (p < s.size()) out += s.substr(p);
  return out;
}

std::vector<Bytes> refSplit(std::string_view s, std::string_view delimiter, std::optional<int> maxCount) {
  std::vector<Bytes> items;
  const long long limit = maxCount ? std::max(*maxCount, 0) : -1;
  if (s.empty() || limit == 0) return items;
  if (delimiter.empty()) return {Bytes(s)};
  std::size_t itemStart = 0;
  for (std::size_t p = 0; p + delimiter.size() <= s.size();) {
    if (sameAt(s, p, delimiter, false)) {
      items.emplace_back(s.substr(itemStart, p - itemStart));
      if (static_cast<long long>(items.size()) == limit) return items;
      p += delimiter.size();
      itemStart = p;
      continue;
    }
    if (lead(s, p) && p + 1 == s.size()) break;
    p += lead(s, p) ? 2 : 1;
  }
  if (itemStart < s.size()) items.emplace_back(s.substr(itemStart));
  return items;
}

// The items of splitChars: from 0x81 up a byte takes the next one with it, so
// does a CR before an LF; the last byte is always an item of its own.
std::vector<Bytes> refSplitChars(std::string_view s) {
  std::vector<Bytes> items;
  for (std::size_t p = 0; p < s.size();) {
    const bool pair = p + 1 < s.size() &&
                      (static_cast<unsigned char>(s[p]) >= 0x81 || (s[p] == '\r' && s[p + 1] == '\n'));
    items.emplace_back(s.substr(p, pair ? 2 : 1));
    p += pair ? 2 : 1;
  }
  return items;
}

// Whether a slice of `s` that starts at `anchor` (a character start) and ends
// at `end` keeps every character of the walk from `anchor` that it touches
// whole, or cuts only an incomplete final character.
bool endsOnBoundary(std::string_view s, std::size_t anchor, std::size_t end) {
  std::size_t p = anchor;
  while (p < end) p += lead(s, p) ? 2 : 1;
  return p == end || (end == s.size() && p == s.size() + 1);
}

// The length of the space item at p (0x20, or 0xA1 0xA1 as one character), or 0.
std::size_t spaceItem(std::string_view s, std::size_t p) {
  if (s[p] == ' ') return 1;
  if (static_cast<unsigned char>(s[p]) == 0xA1 && p + 1 < s.size() && static_cast<unsigned char>(s[p + 1]) == 0xA1)
    return 2;
  return 0;
}

void checkTrim(std::string_view s, std::string_view trimmed) {
  std::size_t begin = 0;
  while (begin < s.size() && spaceItem(s, begin) != 0) begin += spaceItem(s, begin);
  require(s.substr(begin, trimmed.size()) == trimmed, "trimSpaces: the leading space items go, nothing else");
  const std::size_t end = begin + trimmed.size();
  require(endsOnBoundary(s, begin, end) && end <= s.size(), "trimSpaces ends inside a character");
  // What follows the result: space items only, and perhaps one final lead byte.
  std::size_t p = end;
  while (p < s.size() && spaceItem(s, p) != 0) p += spaceItem(s, p);
  const bool finalLead = p + 1 == s.size() && lead(s, p);
  require(p == s.size() || finalLead, "trimSpaces removed more than trailing space items");
  // The result keeps no trailing space item of its own walk.
  std::size_t q = begin;
  std::size_t lastItem = begin;
  while (q < end) {
    lastItem = q;
    q += spaceItem(s, q) != 0 ? spaceItem(s, q) : (lead(s, q) ? 2 : 1);
  }
  if (!finalLead && end > begin) require(spaceItem(s, lastItem) == 0, "trimSpaces kept a trailing space");
  if (s.size() > 0 && lead(s, s.size() - 1) && endsOnBoundary(s, 0, s.size() - 1))
    require(end < s.size(), "trimSpaces kept an incomplete final character");
}

std::string_view bytesOf(const Text& item) { return item.view(); }
std::string_view bytesOf(const Bytes& item) { return item; }

// The items one after the other with `delimiter` between them; for a
// TextArray or a vector of byte strings alike.
template <typename Items>
Bytes joined(const Items& items, std::string_view delimiter) {
  Bytes out;
  bool first = true;
  for (const auto& item : items) {
    if (!first) out += delimiter;
    first = false;
    out += bytesOf(item);
  }
  return out;
}

void checkSplit(const Text& text, const Text& delimiter, std::optional<int> maxCount, const TextArray& items) {
  const std::string_view s = text.view();
  const std::vector<Bytes> expected = refSplit(s, delimiter.view(), maxCount);
  require(static_cast<std::size_t>(items.size()) == expected.size(), "splitText: item count");
  for (int i = 1; i <= items.size(); ++i)
    require(items.at(i).view() == expected[static_cast<std::size_t>(i - 1)], "splitText: item bytes");
  if (delimiter.empty()) return;
  const Bytes back = joined(items, delimiter.view());
  if (!maxCount.has_value()) {
    // Joined with the delimiter, the items give the text back, except for a
    // final delimiter, which yields no empty last item.
    const bool same = back == s;
    const bool finalDelimiter = back + Bytes(delimiter.view()) == s;
    require(same || finalDelimiter, "splitText items do not join back to the text");
  } else {
    require(s.substr(0, back.size()) == back, "splitText with a limit: items are not the text's beginning");
  }
  // Each delimiter was matched at a character start of the walk from the
  // item's start, so an item ends on a whole character.
  std::size_t at = 0;
  for (const Text& item : items) {
    require(endsOnBoundary(s, at, at + item.view().size()), "splitText item ends inside a character");
    at += item.view().size() + delimiter.view().size();
  }
}

Bytes base64Decode(std::string_view in) {
  static const std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  Bytes out;
  require(in.size() % 4 == 0, "base64Encode: length not a multiple of 4");
  for (std::size_t i = 0; i < in.size(); i += 4) {
    unsigned value = 0;
    int pad = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const char c = in[i + k];
      unsigned digit = 0;
      if (c == '=') {
        require(i + 4 == in.size() && k >= 2, "base64Encode: misplaced padding");
        ++pad;
      } else {
        require(pad == 0, "base64Encode: a digit after padding");
        const std::size_t d = alphabet.find(c);
        require(d != std::string_view::npos, "base64Encode: a byte outside the alphabet");
        digit = static_cast<unsigned>(d);
      }
      value = (value << 6) | digit;
    }
    out += static_cast<char>((value >> 16) & 0xFF);
    if (pad < 2) out += static_cast<char>((value >> 8) & 0xFF);
    if (pad < 1) out += static_cast<char>(value & 0xFF);
  }
  return out;
}

int refToInt(std::string_view s) {
  Bytes ascii;
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b >= 0x80 && i + 1 < s.size()) {
      const auto c = static_cast<unsigned char>(s[i + 1]);
      if (b == 0xA3 && c >= 0xA1 && c <= 0xFE) ascii += static_cast<char>(c - 0x80);
      else if (b == 0xA1 && c == 0xA1) ascii += ' ';
      else if (b == 0xA1 && c == 0xAB) ascii += '~';
      else if (b == 0xA1 && (c == 0xEE || c == 0xEF)) ascii += '*';
      else ascii += s.substr(i, 2);
      i += 2;
    } else {
      ascii += s[i++];
    }
  }
  std::size_t p = 0;
  while (p < ascii.size() && ((ascii[p] >= 0x09 && ascii[p] <= 0x0D) || ascii[p] == ' ')) ++p;
  bool negative = false;
  if (p < ascii.size() && (ascii[p] == '+' || ascii[p] == '-')) negative = ascii[p++] == '-';
  std::uint32_t value = 0;
  while (p < ascii.size() && ascii[p] >= '0' && ascii[p] <= '9') value = value * 10 + static_cast<unsigned>(ascii[p++] - '0');
  return static_cast<int>(negative ? 0U - value : value);
}

void runPrimitive(std::uint8_t selector, FuzzInput& in) {
  switch (selector) {
    case 0: {
      const Text t = in.restText();
      require(textLength(t) == static_cast<int>(t.view().size()), "textLength");
      break;
    }
    case 1: case 2: case 3: {
      const int n = in.integer();
      const int start = in.integer();
      const Text t = in.restText();
      const std::string_view s = t.view();
      const long long L = static_cast<long long>(s.size());
      if (selector == 1) {
        const Bytes want = n <= 0 ? Bytes() : Bytes(s.substr(0, static_cast<std::size_t>(std::min<long long>(n, L))));
        require(leftText(t, n).view() == want, "leftText");
      } else if (selector == 2) {
        const long long k = n <= 0 ? 0 : std::min<long long>(n, L);
        require(rightText(t, n).view() == s.substr(static_cast<std::size_t>(L - k)), "rightText");
      } else {
        Bytes want;
        if (start >= 1 && start <= L && n > 0)
          want = Bytes(s.substr(static_cast<std::size_t>(start - 1),
                                static_cast<std::size_t>(std::min<long long>(n, L - start + 1))));
        require(midText(t, start, n).view() == want, "midText");
      }
      break;
    }
    case 4: case 5: {
      const std::optional<int> start = in.optionalInteger();
      const bool foldCase = in.flag();
      const Text sub = in.text();
      const Text t = in.restText();
      if (selector == 4) {
        const int p = findText(t, sub, start, foldCase);
        require(p == refFind(t.view(), sub.view(), start, foldCase), "findText differs from the plain walk");
        // A found position starts a character of the walk from the region's start.
        const std::size_t anchor = start ? static_cast<std::size_t>(std::max(*start, 1) - 1) : 0;
        if (p != -1 && !sub.empty())
          require(startsCharacter(t.view(), anchor, static_cast<std::size_t>(p - 1)), "findText: not a character start");
      } else {
        const int p = findTextReverse(t, sub, start, foldCase);
        require(p == refFindReverse(t.view(), sub.view(), start, foldCase),
                "findTextReverse differs from the plain walk");
        if (p != -1) require(startsCharacter(t.view(), 0, static_cast<std::size_t>(p - 1)),
                             "findTextReverse: not a character start");
      }
      break;
    }
    case 6: {
      const Text t = in.restText();
      const Text upper = toUpper(t);
      const std::string_view s = t.view();
      Bytes want;
      for (std::size_t i = 0; i < s.size(); ++i) {
        if (lead(s, i)) {
          want += s.substr(i, 2);
          ++i;
        } else {
          want += s[i] >= 'a' && s[i] <= 'z' ? static_cast<char>(s[i] - 32) : s[i];
        }
      }
      require(upper.view() == want, "toUpper");
      break;
    }
    case 7: {
      const Text t = in.restText();
      checkTrim(t.view(), trimSpaces(t).view());
      break;
    }
    case 8: {
      const std::optional<int> start = in.optionalInteger();
      const std::optional<int> count = in.optionalInteger();
      const bool caseSensitive = in.flag();
      const Text sub = in.text();
      const Text replacement = in.text();
      const Text t = in.restText();
      const Text got = replaceText(t, sub, replacement, start, count, caseSensitive);
      require(got.view() == refReplace(t.view(), sub.view(), replacement.view(), start, count, caseSensitive),
              "replaceText differs from the plain walk");
      break;
    }
    case 9: {
      const bool defaultDelimiter = in.flag();
      const std::optional<int> maxCount = in.optionalInteger();
      const Text delimiter = defaultDelimiter ? Text(",") : in.text();
      const Text t = in.restText();
      const TextArray items = defaultDelimiter ? splitText(t) : splitText(t, delimiter, maxCount);
      checkSplit(t, delimiter, defaultDelimiter ? std::nullopt : maxCount, items);
      break;
    }
    case 10: {
      const Text a = in.text();
      const Text b = in.text();
      const Text c = in.restText();
      require(concatText(a, b, c).view() == Bytes(a.view()) + Bytes(b.view()) + Bytes(c.view()), "concatText");
      break;
    }
    case 11: {
      const Text a = in.text();
      const Text b = in.restText();
      const int got = compareText(a, b);
      const int want = a.view().compare(b.view());
      require((got < 0) == (want < 0) && (got == 0) == (want == 0), "compareText");
      break;
    }
    case 12: {
      const int n = in.integer() % 100000;
      const Text blank = blankText(n);
      require(blank.view() == Bytes(n > 0 ? static_cast<std::size_t>(n) : 0, ' '), "blankText");
      break;
    }
    case 13: {
      const int position = in.integer();
      const Text t = in.restText();
      const int want = position >= 1 && position <= t.length()
                           ? static_cast<int>(static_cast<signed char>(t.view()[static_cast<std::size_t>(position - 1)]))
                           : 0;
      require(charCode(t, position) == want, "charCode");
      require(charCode(t) == (t.empty() ? 0 : static_cast<int>(static_cast<signed char>(t.view()[0]))), "charCode at 1");
      break;
    }
    case 14: {
      const int code = in.integer();
      const Text got = charFromCode(code);
      const char low = static_cast<char>(static_cast<unsigned>(code) & 0xFF);
      require(got.view() == (low == 0 ? Bytes() : Bytes(1, low)), "charFromCode");
      break;
    }
    case 15: {
      const int n = in.integer();
      require(toText(n).view() == std::to_string(n), "toText");
      char hex[16];
      std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(n));
      require(toHexText(n).view() == hex, "toHexText");
      require(toInt(toText(n)) == n, "toInt of toText");
      require(toByte(n) == static_cast<std::uint8_t>(static_cast<unsigned>(n) & 0xFF), "toByte");
      break;
    }
    case 16: {
      const Text t = in.restText();
      require(toInt(t) == refToInt(t.view()), "toInt differs from the plain reading");
      break;
    }
    case 17: {
      const int a = in.integer();
      const int b = in.integer();
      const int k = in.integer();
      if (b != 0) {
        const double r = modulo(a, b);
        require(r == std::fmod(static_cast<double>(a), static_cast<double>(b)), "modulo");
      }
      require(bitAnd(a, b, k) == (a & b & k), "bitAnd");
      const unsigned shift = static_cast<unsigned>(k) & 31U;
      require(shiftLeft(a, k) == static_cast<int>(static_cast<std::uint32_t>(a) << shift), "shiftLeft");
      require(shiftRight(a, k) == (a >> shift), "shiftRight");
      break;
    }
    case 18: {
      const int start = in.integer();
      const int n = in.integer();
      const Bytes raw = in.rest();
      const ByteBuffer buffer(raw);
      require(bytesLength(buffer) == static_cast<int>(raw.size()), "bytesLength");
      require(bytesToText(buffer).view() == std::string_view(raw).substr(0, raw.find('\0')), "bytesToText");
      const Text t = bytesToText(buffer);
      require(textToBytes(t).view() == t.view(), "textToBytes");
      const long long length = static_cast<long long>(raw.size());
      const long long from = std::clamp<long long>(start, 1, length + 1);
      const long long count = std::min<long long>(std::max(n, 0), length - from + 1);
      require(midBytes(buffer, start, n).view() ==
                  std::string_view(raw).substr(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(count)),
              "midBytes");
      require(concatBytes(buffer, buffer).view() == raw + raw, "concatBytes");
      const int blank = n % 100000;
      require(blankBytes(blank).view() == Bytes(blank > 0 ? static_cast<std::size_t>(blank) : 0, '\0'), "blankBytes");
      break;
    }
    case 19: {
      const Bytes raw = in.rest();
      const Text encoded = base64Encode(ByteBuffer(raw));
      require(encoded.view().size() == (raw.size() + 2) / 3 * 4, "base64Encode: length");
      require(base64Decode(encoded.view()) == raw, "base64Encode does not decode back to its input");
      break;
    }
    default: break;
  }
}

void runHelper(std::uint8_t selector, FuzzInput& in) {
  switch (selector) {
    case 0: {
      const int n = in.integer();
      const Text t = in.restText();
      int lines = 0;
      for (const char c : t.view()) lines += c == '\n';
      if (!t.empty() && t.view().back() != '\n') ++lines;
      require(countLines(t) == lines, "countLines");
      const std::vector<Bytes> items = refSplit(t.view(), "\r\n", std::nullopt);
      const bool inRange = n >= 1 && static_cast<std::size_t>(n) <= items.size();
      require(lineAt(t, n).view() == (inRange ? items[static_cast<std::size_t>(n) - 1] : Bytes()), "lineAt");
      break;
    }
    case 1: case 2: {
      const int start = in.integer();
      const bool foldCase = in.flag();
      const Text delimiter = in.text();
      const Text t = in.restText();
      const std::string_view s = t.view();
      if (selector == 1) {
        const Text before = textBefore(t, delimiter, start, foldCase);
        require(s.substr(0, before.view().size()) == before.view(), "textBefore is not a beginning of the text");
        if (start == 0) {
          const int p = findText(t, delimiter, 1, foldCase);
          require(before == (p == -1 ? Text() : leftText(t, p - 1)), "textBefore with the default start");
        }
      } else {
        const Text after = textAfter(t, delimiter, start, foldCase);
        require(after.view().size() <= s.size() && s.substr(s.size() - after.view().size()) == after.view(),
                "textAfter is not an end of the text");
      }
      break;
    }
    case 3: {
      const int start = in.integer();
      const bool foldCase = in.flag();
      const Text left = in.text();
      const Text right = in.text();
      const Text t = in.restText();
      const Text between = textBetween(t, left, right, start, foldCase);
      require(t.view().find(between.view()) != std::string_view::npos, "textBetween is not a part of the text");
      break;
    }
    case 4: {
      const bool splitAtSeparator = in.flag();
      const Text separator = in.text();
      const Text t = in.restText();
      const Text result = dedupeItems(t, separator, splitAtSeparator);
      const std::vector<Bytes> items =
          splitAtSeparator ? refSplit(t.view(), separator.view(), std::nullopt) : refSplitChars(t.view());
      std::vector<Bytes> kept;
      for (const Bytes& item : items)
        if (std::find(kept.begin(), kept.end(), item) == kept.end()) kept.push_back(item);
      require(result.view() == joined(kept, separator.view()), "dedupeItems: the first of each item, joined");
      break;
    }
    case 5: {
      const Text t = in.restText();
      TextArray items;
      items.append(Text("stale"));
      const int n = splitChars(t, items);
      require(n == items.size(), "splitChars: count");
      const std::vector<Bytes> expected = refSplitChars(t.view());
      require(static_cast<std::size_t>(n) == expected.size(), "splitChars: item count");
      for (int i = 1; i <= items.size(); ++i)
        require(items.at(i).view() == expected[static_cast<std::size_t>(i - 1)], "splitChars: item bytes");
      break;
    }
    case 6: {
      TextArray items;
      const int count = in.byte() % 8;
      for (int i = 0; i < count; ++i) items.append(in.text());
      const Text t = in.restText();
      int want = -1;
      for (int i = 1; i <= items.size(); ++i)
        if (items.at(i) == t) {
          want = i;
          break;
        }
      require(indexOfItem(items, t) == want, "indexOfItem");
      break;
    }
    case 7: {
      const std::optional<int> count = in.optionalInteger();
      const int start = in.integer();
      const bool caseSensitive = in.flag();
      Text pairs[10];
      for (Text& p : pairs) p = in.text();
      const Text t = in.restText();
      const Text got = replaceMany(t, count, start, caseSensitive, pairs[0], pairs[1], pairs[2], pairs[3], pairs[4],
                                   pairs[5], pairs[6], pairs[7], pairs[8], pairs[9]);
      Text want = t;
      const std::optional<int> from = start == 0 ? 1 : start;
      for (int i = 0; i < 10; i += 2) want = replaceText(want, pairs[i], pairs[i + 1], from, count, caseSensitive);
      require(got == want, "replaceMany is not the chain of its replacements");
      break;
    }
    default: break;
  }
}

}  // namespace
}  // namespace quillmark::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quillmark::fuzz::FuzzInput in(data, size);
  const std::uint8_t selector = in.byte();
  if (selector < 0x80) {
    quillmark::fuzz::runPrimitive(selector % 20, in);
  } else {
    quillmark::fuzz::runHelper((selector - 0x80) % 8, in);
  }
  return 0;
}
