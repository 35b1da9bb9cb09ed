#include "text/primitives.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "text/allocation.h"
#include "text/char_scan.h"
#include "text/runtime_error.h"

namespace quillmark {
namespace {

using scan::npos;

Text textOf(std::string_view bytes) { return Text(bytes); }

// `length` bytes of text from 0-based `from`, as a new Text.
Text slice(const Text& text, std::size_t from, std::size_t length) {
  return textOf(text.view().substr(from, length));
}

std::size_t sizeOf(int n) { return static_cast<std::size_t>(n); }

}  // namespace

// ---- Slicing ----

int textLength(const Text& text) { return text.length(); }

Text leftText(const Text& text, int n) {
  if (n <= 0) return Text();
  return slice(text, 0, sizeOf(std::min(n, text.length())));
}

Text rightText(const Text& text, int n) {
  if (n <= 0) return Text();
  const int kept = std::min(n, text.length());
  return slice(text, sizeOf(text.length() - kept), sizeOf(kept));
}

Text midText(const Text& text, int start, int n) {
  const int length = text.length();
  if (start < 1 || start > length || n <= 0) return Text();
  const int available = length - start + 1;
  return slice(text, sizeOf(start - 1), sizeOf(std::min(n, available)));
}

// ---- Searching ----

int findText(const Text& text, const Text& sub, std::optional<int> start, bool foldCase) {
  const long long length = text.length();
  const long long first = start.has_value() ? std::max<long long>(*start, 1) : 1;
  if (first > length) return -1;  // empty region (also every search in the empty text)
  if (sub.empty()) return 1;
  const auto from = static_cast<std::size_t>(first - 1);
  scan::CharacterStarts starts(text.view(), from);
  const std::size_t found =
      scan::findForward(text.view(), from, text.view().size(), sub.view(), foldCase, starts);
  return found == npos ? -1 : static_cast<int>(found) + 1;
}

int findTextReverse(const Text& text, const Text& sub, std::optional<int> start, bool foldCase) {
  const long long length = text.length();
  const long long last = start.has_value() ? std::min<long long>(static_cast<long long>(*start) - 1, length)
                                           : length;
  if (last < 1) return -1;  // empty region
  if (sub.empty()) return 1;
  const std::size_t found =
      scan::findBackward(text.view(), static_cast<std::size_t>(last), sub.view(), foldCase);
  return found == npos ? -1 : static_cast<int>(found) + 1;
}

// ---- Case and spaces ----

Text toUpper(const Text& text) {
  const std::string_view in = text.view();
  ByteOutput out;
  out.bytes() = allocateOrFail(in.size(), [&] { return std::string(in); });
  std::string& bytes = out.bytes();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b >= 0x80) {
      ++i;  // the second byte of the character stays as it is
    } else if (b >= 'a' && b <= 'z') {
      bytes[i] = static_cast<char>(b - 0x20);
    }
  }
  return Text(out.take());
}

Text trimSpaces(const Text& text) { return textOf(trimmedSpaces(text.view())); }

std::string_view trimmedSpaces(std::string_view in) {
  const std::size_t length = in.size();
  auto spaceAt = [&](std::size_t p) -> std::size_t {  // length of the space item at p, or 0
    if (in[p] == ' ') return 1;
    if (static_cast<unsigned char>(in[p]) == 0xA1 && p + 1 < length &&
        static_cast<unsigned char>(in[p + 1]) == 0xA1)
      return 2;
    return 0;
  };
  std::size_t begin = 0;
  while (begin < length) {
    const std::size_t space = spaceAt(begin);
    if (space == 0) break;
    begin += space;
  }
  std::size_t keptEnd = begin;  // the end of the last item that is not a space
  std::size_t p = begin;
  while (p < length) {
    const std::size_t space = spaceAt(p);
    if (space != 0) {
      p += space;
    } else if (scan::isLeadByte(in[p])) {
      if (p + 1 == length) {
        // An incomplete character ends the text: it goes, the spaces before it stay.
        return in.substr(begin, p - begin);
      }
      p += 2;
      keptEnd = p;
    } else {
      p += 1;
      keptEnd = p;
    }
  }
  return in.substr(begin, keptEnd - begin);
}

// ---- Replacing and splitting ----

Text replaceText(const Text& text, const Text& sub, const Text& replacement, std::optional<int> start,
                 std::optional<int> count, bool caseSensitive) {
  const std::string_view in = text.view();
  const long long length = text.length();
  const long long first = start.has_value() ? std::max(*start, 1) : 1;
  long long remaining = count.has_value() && *count >= 0 ? *count : -1;  // -1: no limit
  if (in.empty() || sub.empty() || first > length || remaining == 0) return text;

  const std::string_view find = sub.view();
  const bool foldCase = !caseSensitive;
  ByteOutput out;
  out.reserve(in.size());
  auto position = static_cast<std::size_t>(first - 1);
  out.append(in.substr(0, position));
  scan::CharacterStarts starts(in, position);
  bool stoppedByCount = false;
  while (true) {
    const std::size_t match = scan::findForward(in, position, in.size(), find, foldCase, starts);
    if (match == npos) break;
    out.append(in.substr(position, match - position));
    out.append(replacement.view());
    position = match + find.size();
    starts.restartAt(position);
    if (remaining > 0 && --remaining == 0) {
      stoppedByCount = true;
      break;
    }
  }
  std::string_view rest = in.substr(position);
  if (!stoppedByCount && find.size() == 1 && !rest.empty() && scan::isLeadByte(rest.back())) {
    // The scan reached a final byte 0x80..0xFF that did not match (it would
    // have been replaced): the incomplete character is dropped.
    scan::CharacterStarts fromPosition(in, position);
    if (fromPosition.isStart(in.size() - 1)) rest.remove_suffix(1);
  }
  out.append(rest);
  return Text(out.take());
}

TextArray splitText(const Text& text, const Text& delimiter, std::optional<int> maxCount) {
  TextArray items;
  const long long limit = maxCount.has_value() ? std::max(*maxCount, 0) : -1;  // -1: no limit
  if (text.empty() || limit == 0) return items;
  if (delimiter.empty()) {
    items.append(text);
    return items;
  }
  // Room for as many items as the delimiter's first byte occurs, plus one:
  // never fewer than the split gives, and no more than one item per 16 bytes
  // of text is set aside beforehand.
  const std::size_t firstBytes = scan::countByte(text.view(), delimiter.view().front()) + 1;
  long long room = static_cast<long long>(std::min(firstBytes, text.view().size() / 16 + 1));
  if (limit > 0) room = std::min(room, limit);
  items.reserve(static_cast<int>(room));
  scan::SplitItems split(text.view(), delimiter.view());
  std::string_view item;
  long long produced = 0;
  while (split.next(item)) {
    items.append(textOf(item));
    if (++produced == limit) break;
  }
  return items;
}

// ---- Joining, comparing, filling ----

// The parts one after another, in one allocation of their total size.
static std::string joinParts(std::initializer_list<std::string_view> parts) {
  std::size_t total = 0;
  for (const std::string_view part : parts) total += part.size();
  ByteOutput out;
  out.reserve(total);
  for (const std::string_view part : parts) out.append(part);
  return out.take();
}

Text concatText(std::initializer_list<std::string_view> parts) { return Text(joinParts(parts)); }

int compareText(const Text& a, const Text& b) {
  const std::size_t common = std::min(a.view().size(), b.view().size());
  const int byBytes = common == 0 ? 0 : std::memcmp(a.view().data(), b.view().data(), common);
  if (byBytes != 0) return byBytes < 0 ? -1 : 1;
  if (a.view().size() == b.view().size()) return 0;
  return a.view().size() < b.view().size() ? -1 : 1;
}

Text blankText(int n) {
  if (n <= 0) return Text();
  return Text(allocateOrFail(sizeOf(n), [&] { return std::string(sizeOf(n), ' '); }));
}

// ---- Characters and numbers ----

int charCode(const Text& text, int position) {
  if (position < 1 || position > text.length()) return 0;
  return static_cast<signed char>(text.byteAt(position));
}

Text charFromCode(int code) {
  const char byte = static_cast<char>(static_cast<unsigned int>(code) & 0xFFU);
  return textOf(std::string_view(&byte, 1));  // a zero byte gives the empty Text
}

Text toText(int n) {
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
  return textOf(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

Text toHexText(int n) {
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, static_cast<std::uint32_t>(n), 16).ptr;
  for (char* d = digits; d != end; ++d) {
    if (*d >= 'a' && *d <= 'f') *d = static_cast<char>(*d - 0x20);
  }
  return textOf(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

namespace {

// Reads the characters of a number text one at a time, a full-width form
// (two bytes) given as its ASCII counterpart; 0 at the end of the text or at
// a character that stands for no ASCII byte.
class NumberReader {
 public:
  explicit NumberReader(std::string_view text) noexcept : text_(text) {}

  unsigned char peek() noexcept {
    width_ = 0;
    if (at_ >= text_.size()) return 0;
    const auto b = static_cast<unsigned char>(text_[at_]);
    if (b < 0x80) {
      width_ = 1;
      return b;
    }
    if (at_ + 1 >= text_.size()) return 0;
    const auto second = static_cast<unsigned char>(text_[at_ + 1]);
    unsigned char ascii = 0;
    if (b == 0xA3 && second >= 0xA1 && second <= 0xFE) ascii = static_cast<unsigned char>(second - 0x80);
    if (b == 0xA1 && second == 0xA1) ascii = ' ';
    if (b == 0xA1 && second == 0xAB) ascii = '~';
    if (b == 0xA1 && (second == 0xEE || second == 0xEF)) ascii = '*';
    if (ascii != 0) width_ = 2;
    return ascii;
  }
  void advance() noexcept { at_ += width_; }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
  std::size_t width_ = 0;
};

}  // namespace

int toInt(const Text& text) {
  NumberReader reader(text.view());
  unsigned char c = reader.peek();
  while (c == ' ' || (c >= 0x09 && c <= 0x0D)) {
    reader.advance();
    c = reader.peek();
  }
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    reader.advance();
    c = reader.peek();
  }
  std::uint32_t value = 0;  // wraps around in 32 bits
  while (c >= '0' && c <= '9') {
    value = value * 10U + static_cast<std::uint32_t>(c - '0');
    reader.advance();
    c = reader.peek();
  }
  if (negative) value = 0U - value;
  return static_cast<int>(value);
}

std::uint8_t toByte(int n) { return static_cast<std::uint8_t>(static_cast<unsigned int>(n) & 0xFFU); }

double modulo(double a, double b) {
  if (b == 0.0) raiseRuntimeError(kModuloByZeroCode, moduloByZeroMessage());
  return std::fmod(a, b);
}

int bitAnd(std::initializer_list<int> values) {
  std::uint32_t result = 0xFFFFFFFFU;
  for (const int v : values) result &= static_cast<std::uint32_t>(v);
  return static_cast<int>(result);
}

int shiftLeft(int v, int k) {
  return static_cast<int>(static_cast<std::uint32_t>(v) << (static_cast<unsigned int>(k) & 31U));
}

int shiftRight(int v, int k) { return v >> (static_cast<unsigned int>(k) & 31U); }

// ---- Bytes ----

int bytesLength(const ByteBuffer& bytes) { return bytes.length(); }

ByteBuffer textToBytes(const Text& text) { return ByteBuffer(text.view()); }

Text bytesToText(const ByteBuffer& bytes) { return textOf(bytes.view()); }

ByteBuffer blankBytes(int n) {
  if (n <= 0) return ByteBuffer();
  return ByteBuffer(allocateOrFail(sizeOf(n), [&] { return std::string(sizeOf(n), '\0'); }));
}

ByteBuffer midBytes(const ByteBuffer& bytes, int start, int n) {
  const long long length = bytes.length();
  const long long first = std::clamp<long long>(start, 1, length + 1);
  const long long wanted = std::max(n, 0);
  const long long taken = std::min(wanted, length - first + 1);
  return ByteBuffer(bytes.view().substr(static_cast<std::size_t>(first - 1), static_cast<std::size_t>(taken)));
}

ByteBuffer concatBytes(std::initializer_list<std::string_view> parts) {
  return ByteBuffer(joinParts(parts));
}

}  // namespace quillmark
