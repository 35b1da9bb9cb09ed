#include "text/char_scan.h"

#include <cstdint>
#include <cstring>

namespace quillmark::scan {

std::size_t countByte(std::string_view text, char byte) noexcept {
  // Eight bytes at a time: after the xor, the bytes equal to `byte` are the
  // zero bytes of the word, and each gives one clear high bit below.
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
  const std::uint64_t pattern = 0x0101010101010101ULL * static_cast<unsigned char>(byte);
  std::size_t count = 0;
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    const std::uint64_t x = word ^ pattern;
    const std::uint64_t nonZero = ((x & kLow7) + kLow7) | x;
    // One bit per matching byte at the bottom of that byte; the multiply
    // sums the eight bytes into the top one.
    const std::uint64_t ones = (~nonZero & ~kLow7) >> 7;
    count += static_cast<std::size_t>((ones * 0x0101010101010101ULL) >> 56);
  }
  for (; i < text.size(); ++i) count += text[i] == byte ? 1 : 0;
  return count;
}

bool equalFolded(const char* a, const char* b, std::size_t n) noexcept {
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] != b[i] && foldByte(a[i]) != foldByte(b[i])) return false;
  }
  return true;
}

namespace {

bool isLowerLetter(unsigned char b) noexcept { return b >= 'a' && b <= 'z'; }

// The first p in [from, last] holding `byte`, or npos.
std::size_t nextByte(const char* data, std::size_t from, std::size_t last, unsigned char byte) noexcept {
  if (from > last) return npos;
  const void* hit = std::memchr(data + from, byte, last - from + 1);
  return hit == nullptr ? npos : static_cast<std::size_t>(static_cast<const char*>(hit) - data);
}

// The first p in [from, last] whose byte folds to `folded`, or npos. For a
// letter both cases are looked for with memchr, in windows that double in
// size, so that a case that does not occur costs no more than twice the
// distance to the occurrence found.
std::size_t nextFolded(const char* data, std::size_t from, std::size_t last,
                       unsigned char folded) noexcept {
  if (!isLowerLetter(folded)) return nextByte(data, from, last, folded);
  const auto upper = static_cast<unsigned char>(folded - 0x20);
  std::size_t window = 64;
  while (from <= last) {
    const std::size_t end = last - from < window ? last : from + window - 1;
    const std::size_t lowerAt = nextByte(data, from, end, folded);
    const std::size_t upperEnd = lowerAt == npos ? end : lowerAt;
    const std::size_t upperAt = nextByte(data, from, upperEnd, upper);
    if (lowerAt != npos || upperAt != npos) return upperAt < lowerAt ? upperAt : lowerAt;
    from = end + 1;
    window *= 2;
  }
  return npos;
}

// The character starts of the walk from byte 0, asked about in decreasing
// order: each question walks back over the bytes 0x80..0xFF before it, and
// remembers the run so that later questions inside it cost nothing.
class StartsFromBehind {
 public:
  explicit StartsFromBehind(std::string_view text) noexcept : text_(text) {}

  bool isStart(std::size_t position) noexcept {
    if (!(known_ && position > runStart_ && position <= runEnd_)) {
      std::size_t start = position;
      while (start > 0 && isLeadByte(text_[start - 1])) --start;
      runStart_ = start;
      runEnd_ = position;
      known_ = true;
    }
    return ((position - runStart_) & 1U) == 0;
  }

 private:
  std::string_view text_;
  bool known_ = false;
  std::size_t runStart_ = 0;  // bytes runStart_..runEnd_-1 are all 0x80..0xFF,
  std::size_t runEnd_ = 0;    // and the byte before runStart_ is not
};

// The first p in [from, last] where the exact bytes of `sub` (not empty)
// start, or npos: memchr for the first byte, then the last byte as a cheap
// filter before the whole comparison.
std::size_t nextExactCandidate(const char* data, std::size_t from, std::size_t last,
                               std::string_view sub) noexcept {
  const std::size_t m = sub.size();
  const char first = sub[0];
  const char final = sub[m - 1];
  while (from <= last) {
    const void* hit = std::memchr(data + from, first, last - from + 1);
    if (hit == nullptr) return npos;
    const auto p = static_cast<std::size_t>(static_cast<const char*>(hit) - data);
    if (data[p + m - 1] == final && std::memcmp(data + p + 1, sub.data() + 1, m - 1) == 0) return p;
    from = p + 1;
  }
  return npos;
}

}  // namespace

std::size_t findForward(std::string_view text, std::size_t from, std::size_t end, std::string_view sub,
                        bool foldCase, CharacterStarts& starts) noexcept {
  const std::size_t m = sub.size();
  if (end > text.size() || end < m) return npos;
  const std::size_t last = end - m;  // the last position a match may start at
  if (!foldCase) {
    while (from <= last) {
      const std::size_t candidate = nextExactCandidate(text.data(), from, last, sub);
      if (candidate == npos) return npos;
      if (starts.isStart(candidate)) return candidate;
      from = candidate + 1;
    }
    return npos;
  }
  const unsigned char first = foldByte(sub[0]);
  while (from <= last) {
    const std::size_t candidate = nextFolded(text.data(), from, last, first);
    if (candidate == npos) return npos;
    if (equalFolded(text.data() + candidate + 1, sub.data() + 1, m - 1) && starts.isStart(candidate))
      return candidate;
    from = candidate + 1;
  }
  return npos;
}

std::size_t findBackward(std::string_view text, std::size_t end, std::string_view sub,
                         bool foldCase) noexcept {
  const std::size_t m = sub.size();
  if (end > text.size() || end < m) return npos;
  StartsFromBehind starts(text);
  const std::string_view region = text.substr(0, end);
  std::size_t from = end - m;
  while (true) {
    std::size_t candidate;
    if (!foldCase) {
      candidate = region.rfind(sub, from);
    } else {
      candidate = npos;
      const unsigned char first = foldByte(sub[0]);
      for (std::size_t p = from + 1; p-- > 0;) {
        if (foldByte(text[p]) == first && equalFolded(text.data() + p + 1, sub.data() + 1, m - 1)) {
          candidate = p;
          break;
        }
      }
    }
    if (candidate == npos) return npos;
    if (starts.isStart(candidate)) return candidate;
    if (candidate == 0) return npos;
    from = candidate - 1;
  }
}

bool SplitItems::next(std::string_view& item) noexcept {
  if (done_) return false;
  const std::size_t match = findForward(text_, itemStart_, text_.size(), delimiter_, false, starts_);
  if (match == npos) {
    done_ = true;
    if (itemStart_ >= text_.size()) return false;
    item = text_.substr(itemStart_);
    return true;
  }
  item = text_.substr(itemStart_, match - itemStart_);
  itemStart_ = match + delimiter_.size();
  starts_.restartAt(itemStart_);
  return true;
}

}  // namespace quillmark::scan
