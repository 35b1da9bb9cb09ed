#include "text/char_scan.h"

#include <cstring>

namespace quillmark::scan {

bool equalFolded(const char* a, const char* b, std::size_t n) noexcept {
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] != b[i] && foldByte(a[i]) != foldByte(b[i])) return false;
  }
  return true;
}

namespace {

bool isLowerLetter(unsigned char b) noexcept { return b >= 'a' && b <= 'z'; }

// The first p in [from, last] whose byte folds to `first`, or npos.
std::size_t nextFoldedCandidate(const char* data, std::size_t from, std::size_t last,
                                unsigned char first) noexcept {
  if (!isLowerLetter(first)) {
    const void* hit = std::memchr(data + from, first, last - from + 1);
    return hit == nullptr ? npos : static_cast<std::size_t>(static_cast<const char*>(hit) - data);
  }
  for (std::size_t p = from; p <= last; ++p) {
    // For a lower-case letter, only the letter itself and its upper case
    // give it when 0x20 is set.
    if ((static_cast<unsigned char>(data[p]) | 0x20U) == first) return p;
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
    const std::size_t candidate = nextFoldedCandidate(text.data(), from, last, first);
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
