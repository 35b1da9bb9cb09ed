// NameValueList filled from an arbitrary query text (addQuery, with and
// without the UTF-8 option), then rendered every way: query text, header
// block and JSON, each with its options. The renderings are checked against
// the pairs: a query text decodes back to them, a header block has one line
// per pair, and JSON is well-formed.
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data/codepage_text.h"
#include "data/name_value_list.h"
#include "fuzz_input.h"
#include "text/helpers.h"
#include "text/primitives.h"

namespace quillmark::fuzz {
namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // lower-case digits are never written
}

// Percent-decodes text that urlEncode wrote with keepUnreserved on.
std::string percentDecoded(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '%') {
      const int high = i + 1 < s.size() ? hexDigit(s[i + 1]) : -1;
      const int low = i + 2 < s.size() ? hexDigit(s[i + 2]) : -1;
      require(high >= 0 && low >= 0, "an escape without two upper-case hexadecimal digits");
      out += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                              c == '-' || c == '.';
      require(unreserved, "an encoded query holds a byte outside the kept 64");
      out += c;
    }
  }
  return out;
}

// A JSON string body, read with code page 936 characters taken whole; false
// when it is not well-formed. `p` ends after the closing quote.
bool readString(std::string_view s, std::size_t& p) {
  if (p >= s.size() || s[p] != '"') return false;
  ++p;
  while (p < s.size()) {
    const auto b = static_cast<unsigned char>(s[p]);
    if (b == '"') {
      ++p;
      return true;
    }
    if (b < 0x20) return false;
    if (b >= 0x80) {
      p += 2;
      continue;
    }
    if (b == '\\') {
      if (p + 1 >= s.size()) return false;
      const char e = s[p + 1];
      if (e == 'u') {
        if (p + 5 >= s.size()) return false;
        for (std::size_t k = 2; k < 6; ++k)
          if (!std::isxdigit(static_cast<unsigned char>(s[p + k]))) return false;
        p += 6;
        continue;
      }
      if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) return false;
      p += 2;
      continue;
    }
    ++p;
  }
  return false;
}

bool wellFormedObject(std::string_view s, int members) {
  std::size_t p = 0;
  if (s.empty() || s[p++] != '{') return false;
  for (int i = 0; i < members; ++i) {
    if (i > 0 && (p >= s.size() || s[p++] != ',')) return false;
    if (!readString(s, p)) return false;
    if (p >= s.size() || s[p++] != ':') return false;
    if (!readString(s, p)) return false;
  }
  return p + 1 == s.size() && s[p] == '}';
}

void run(FuzzInput& in) {
  const bool toUtf8 = in.flag();
  const bool twice = in.flag();
  const Text query = in.restText();
  NameValueList list;
  list.addQuery(query, toUtf8);
  if (twice) list.addQuery(query, !toUtf8);

  // The pairs are the items of the query, split at every "&".
  const TextArray items = splitText(query, Text("&"));
  require(list.names().size() == items.size() * (twice ? 2 : 1), "addQuery: one pair per item");
  require(list.names().size() == list.values().size(), "names and values are not parallel");
  // Each addQuery appends the items' pairs after those already there, the
  // second one converted the other way.
  for (const bool utf8 : twice ? std::vector<bool>{toUtf8, !toUtf8} : std::vector<bool>{toUtf8}) {
    const int first = utf8 == toUtf8 ? 0 : items.size();
    for (int i = 1; i <= items.size(); ++i) {
      const Text name = textBefore(items.at(i), Text("="));
      const Text value = textAfter(items.at(i), Text("="));
      require(list.names().at(first + i) == (utf8 ? ansiToUtf8(name) : name), "addQuery: a pair's name");
      require(list.values().at(first + i) == (utf8 ? ansiToUtf8(value) : value), "addQuery: a pair's value");
    }
  }
  const int pairs = list.names().size();

  // Query text: plain, the pairs joined; encoded, the same after decoding.
  std::string plain;
  for (int i = 1; i <= pairs; ++i) {
    plain.append(list.names().at(i).view()).append("=").append(list.values().at(i).view()).append("&");
  }
  if (!plain.empty()) plain.pop_back();
  require(list.toQuery().view() == plain, "toQuery is not the pairs joined");
  const Text encoded = list.toQuery(true);
  std::size_t pair = 0;
  std::size_t from = 0;
  const std::string_view e = encoded.view();
  while (pairs > 0) {
    const std::size_t amp = e.find('&', from);
    const std::string_view part = e.substr(from, amp == std::string_view::npos ? std::string_view::npos : amp - from);
    const std::size_t eq = part.find('=');
    require(eq != std::string_view::npos, "an encoded pair without '='");
    ++pair;
    require(pair <= static_cast<std::size_t>(pairs), "toQuery(true) has more pairs than the list");
    const int at = static_cast<int>(pair);
    require(percentDecoded(part.substr(0, eq)) == list.names().at(at).view(), "an encoded name does not decode back");
    require(percentDecoded(part.substr(eq + 1)) == list.values().at(at).view(), "an encoded value does not decode back");
    if (amp == std::string_view::npos) break;
    from = amp + 1;
  }
  require(pair == static_cast<std::size_t>(pairs), "toQuery(true) has fewer pairs than the list");

  // Header block: one line per pair, nothing after the last value.
  for (const bool encode : {false, true}) {
    const Text block = list.toHeaderBlock(encode);
    std::size_t separators = 0;
    for (std::size_t p = block.view().find("\r\n"); p != std::string_view::npos; p = block.view().find("\r\n", p + 1))
      ++separators;
    require(separators == (pairs == 0 ? 0 : static_cast<std::size_t>(pairs - 1)), "toHeaderBlock: not one line per pair");
    std::size_t crOrLf = 0;
    for (const char c : block.view()) crOrLf += c == '\r' || c == '\n';
    require(crOrLf == 2 * separators, "toHeaderBlock: a CR or LF inside a line");
  }

  // JSON: a well-formed object with one member per pair.
  require(wellFormedObject(list.toJson().view(), pairs), "toJson is not a well-formed object of the pairs");

  // Look-ups act on the first pair of a name; a copy is independent.
  for (int i = 1; i <= pairs; ++i) {
    const Text& name = list.names().at(i);
    int first = i;
    for (int k = 1; k < i; ++k)
      if (list.names().at(k) == name) {
        first = k;
        break;
      }
    require(list.get(name) == list.values().at(first), "get is not the first pair's value");
  }
  NameValueList copy = list.copy();
  copy.clear();
  require(list.names().size() == pairs, "clearing a copy changed the list");
  if (pairs > 0) {
    const Text name = list.names().at(1);
    list.remove(name);
    require(list.names().size() == pairs - 1, "remove took other than one pair");
  }
}

}  // namespace
}  // namespace quillmark::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quillmark::fuzz::FuzzInput in(data, size);
  quillmark::fuzz::run(in);
  return 0;
}
