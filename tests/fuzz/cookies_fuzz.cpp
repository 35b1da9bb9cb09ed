// Cookie strings with arbitrary bytes: merging two of them, merging one with
// itself, and collecting the Set-Cookie lines of a response header text.
// A selector byte picks the case.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "web/cookies.h"
#include "web/web_request.h"

namespace quillmark::fuzz {
namespace {

// Every reference below is a plain walk over the bytes, written from the
// rules of cookie strings and of the text routines they are built on, so
// that none of it shares code with what it checks.
using Bytes = std::string;

bool lead(char c) { return static_cast<unsigned char>(c) >= 0x80; }
char folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool sameAt(std::string_view s, std::size_t p, std::string_view sub, bool foldCase) {
  for (std::size_t i = 0; i < sub.size(); ++i)
    if (foldCase ? folded(s[p + i]) != folded(sub[i]) : s[p + i] != sub[i]) return false;
  return true;
}

// The first place at or after `from` where `sub` starts, for a scan that
// steps over two-byte characters (a byte from 0x80 up and the one after it);
// npos when there is none.
std::size_t firstAt(std::string_view s, std::string_view sub, std::size_t from = 0, bool foldCase = false) {
  for (std::size_t p = from; p + sub.size() <= s.size();) {
    if (sameAt(s, p, sub, foldCase)) return p;
    if (lead(s[p]) && p + 1 == s.size()) break;
    p += lead(s[p]) ? 2 : 1;
  }
  return std::string_view::npos;
}

// The items between separators found by that scan; a final separator gives
// no empty last item, an empty text no items.
std::vector<Bytes> itemsOf(std::string_view s, std::string_view separator) {
  std::vector<Bytes> items;
  std::size_t itemStart = 0;
  for (std::size_t at; (at = firstAt(s, separator, itemStart)) != std::string_view::npos;) {
    items.emplace_back(s.substr(itemStart, at - itemStart));
    itemStart = at + separator.size();
  }
  if (itemStart < s.size()) items.emplace_back(s.substr(itemStart));
  return items;
}

Bytes joined(const std::vector<Bytes>& items, std::string_view separator) {
  Bytes out;
  for (std::size_t i = 0; i < items.size(); ++i) out.append(i == 0 ? "" : separator).append(items[i]);
  return out;
}

// Space items (a blank, or the two bytes A1 A1) off both ends; an incomplete
// two-byte character at the very end goes too, and the spaces before it stay.
Bytes trimmed(std::string_view s) {
  auto spaceAt = [&](std::size_t p) -> std::size_t {
    if (s[p] == ' ') return 1;
    return p + 1 < s.size() && s[p] == '\xA1' && s[p + 1] == '\xA1' ? 2 : 0;
  };
  std::size_t begin = 0;
  while (begin < s.size() && spaceAt(begin) != 0) begin += spaceAt(begin);
  std::size_t end = begin;
  for (std::size_t p = begin; p < s.size();) {
    if (lead(s[p]) && p + 1 == s.size()) return Bytes(s.substr(begin, p - begin));
    const std::size_t space = spaceAt(p);
    p += space != 0 ? space : lead(s[p]) ? 2 : 1;
    if (space == 0) end = p;
  }
  return Bytes(s.substr(begin, end - begin));
}

// The cookie string as merging first prepares it: trimmed, with a space after
// a final ";" so that it separates.
Bytes prepared(std::string_view cookies) {
  Bytes out = trimmed(cookies);
  if (!out.empty() && out.back() == ';') out += ' ';
  return out;
}

Bytes nameOf(std::string_view item) { return trimmed(item.substr(0, firstAt(item, "="))); }

bool deleted(std::string_view item) { return item.ends_with("=deleted"); }

// The items that are not marked deleted, joined by "; ", and then of equal
// items only the first, in their order.
Bytes withoutDeletedAndRepeats(const std::vector<Bytes>& items) {
  std::vector<Bytes> alive;
  for (const Bytes& item : items)
    if (!deleted(item)) alive.push_back(item);
  std::vector<Bytes> firsts;
  for (const Bytes& item : itemsOf(joined(alive, "; "), "; "))
    if (std::find(firsts.begin(), firsts.end(), item) == firsts.end()) firsts.push_back(item);
  return joined(firsts, "; ");
}

// Merging written out from its rules: the returned items, then each sent item
// whose name no item before it in the list has.
Bytes mergedByTheRules(std::string_view sent, std::string_view returned) {
  std::vector<Bytes> list = itemsOf(prepared(returned), "; ");
  for (const Bytes& item : itemsOf(prepared(sent), "; ")) {
    const Bytes name = nameOf(item);
    if (std::none_of(list.begin(), list.end(), [&](const Bytes& other) { return nameOf(other) == name; }))
      list.push_back(item);
  }
  return withoutDeletedAndRepeats(list);
}

void checkMerge(const Text& sentIn, const Text& returnedIn) {
  Text sent = sentIn;
  Text returned = returnedIn;
  const Text merged = mergeCookies(sent, returned);
  require(merged == sent, "mergeCookies: the result and the sent string differ");
  require(returned.view() == prepared(returnedIn.view()), "mergeCookies: the returned string is not its prepared form");
  require(merged.view() == mergedByTheRules(sentIn.view(), returnedIn.view()), "mergeCookies differs from its rules");
}

// Merging a string with itself leaves the removal rules alone: items marked
// deleted dropped, equal items merged.
void checkSelfMerge(const Text& cookies) {
  checkMerge(cookies, cookies);
  Text sent = cookies;
  Text returned = cookies;
  const Text merged = mergeCookies(sent, returned);
  require(merged.view() == withoutDeletedAndRepeats(itemsOf(prepared(cookies.view()), "; ")),
          "merging a string with itself changed more than the removal rules");
}

// The Set-Cookie collection written out from its rules: of each line whose
// text before the first ": " is "Set-Cookie", the part between "Set-Cookie:"
// and the first ";" after it, or, without a ";", the line with every
// "Set-Cookie:" in any case removed; trimmed and joined by "; ".
Bytes collected(std::string_view headers) {
  Bytes out;
  for (const Bytes& line : itemsOf(headers, "\r\n")) {
    const std::size_t colon = firstAt(line, ": ");
    if (colon == std::string_view::npos || std::string_view(line).substr(0, colon) != "Set-Cookie") continue;
    const std::string_view mark = "Set-Cookie:";
    Bytes cookie;
    if (firstAt(line, ";") != std::string_view::npos) {
      // The line starts with "Set-Cookie: ", so the mark is found at its start.
      const std::size_t right = firstAt(line, ";", mark.size());
      if (right != std::string_view::npos) cookie = line.substr(mark.size(), right - mark.size());
    } else {
      for (std::size_t p = 0; p < line.size();) {
        if (p + mark.size() <= line.size() && sameAt(line, p, mark, true)) {
          p += mark.size();
          continue;
        }
        const std::size_t step = lead(line[p]) && p + 1 < line.size() ? 2 : 1;
        cookie.append(line, p, step);
        p += step;
      }
    }
    out.append(trimmed(cookie)).append("; ");
  }
  if (out.ends_with("; ")) out.resize(out.size() - 2);
  return out;
}

}  // namespace
}  // namespace quillmark::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillmark;
  fuzz::FuzzInput in(data, size);
  const std::uint8_t selector = in.byte();
  switch (selector % 3) {
    case 0: fuzz::checkSelfMerge(in.restText()); break;
    case 1: {
      const Text sent = in.text();
      fuzz::checkMerge(sent, in.restText());
      break;
    }
    default: {
      const Text headers = in.restText();
      const Text cookies = extractSetCookies(headers);
      fuzz::require(cookies.view() == fuzz::collected(headers.view()), "extractSetCookies differs from its rules");
      Text sent = cookies;
      Text returned = cookies;
      mergeCookies(sent, returned);
      break;
    }
  }
  return 0;
}
