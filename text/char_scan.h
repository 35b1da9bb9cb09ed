// Character-aware scanning of code page 936 bytes.
//
// Shared by the routines that never start a match or a split inside a
// two-byte character. A scan walks the text from an anchor byte: a byte
// 0x80..0xFF the walk steps on starts a two-byte character and the byte after
// it, whatever its value, is that character's second byte; any other byte is
// a character of its own. The positions the walk steps on are the character
// starts. Positions here are 0-based offsets into a string_view.
//
// The byte after a byte below 0x80 is always a character start, so whether a
// position starts a character depends only on how many bytes 0x80..0xFF
// come right before it (back to the anchor): an even number means it does.
// CharacterStarts answers this for increasing positions in linear time
// overall, which lets the searches find candidates with memchr-speed
// library searches and confirm them afterwards.
#pragma once

#include <cstddef>
#include <string_view>

namespace quillmark::scan {

inline constexpr std::size_t npos = std::string_view::npos;

inline bool isLeadByte(char byte) noexcept { return static_cast<unsigned char>(byte) >= 0x80; }

// A-Z to a-z; every other byte unchanged.
inline unsigned char foldByte(char byte) noexcept {
  const auto b = static_cast<unsigned char>(byte);
  return b >= 'A' && b <= 'Z' ? static_cast<unsigned char>(b + 0x20) : b;
}

// How many bytes of `text` equal `byte`.
std::size_t countByte(std::string_view text, char byte) noexcept;

// Whether a and b (n bytes each) are equal with A-Z folded to a-z.
bool equalFolded(const char* a, const char* b, std::size_t n) noexcept;

// Character starts of a walk from an anchor, asked about in increasing order.
class CharacterStarts {
 public:
  CharacterStarts(std::string_view text, std::size_t anchor) noexcept : text_(text), known_(anchor) {}

  // Whether `position` starts a character. Positions asked about must not
  // decrease, and none may lie before the anchor or the last restart.
  bool isStart(std::size_t position) noexcept {
    std::size_t runStart = position;
    while (runStart > known_ && isLeadByte(text_[runStart - 1])) --runStart;
    const bool start = ((position - runStart) & 1U) == 0;
    known_ = start ? position : position + 1;
    return start;
  }

  // Starts a new walk at `anchor` (a scan that continues after a match).
  void restartAt(std::size_t anchor) noexcept { known_ = anchor; }

 private:
  std::string_view text_;
  std::size_t known_;  // a character start at or before every later question
};

// The first character start p >= from (of the walk that `starts` follows)
// with p + sub.size() <= end and the bytes at p equal to `sub` (A-Z folded
// when `foldCase`); npos when there is none. `sub` must not be empty.
std::size_t findForward(std::string_view text, std::size_t from, std::size_t end, std::string_view sub,
                        bool foldCase, CharacterStarts& starts) noexcept;

// The last character start p of the walk from byte 0 with p + sub.size() <=
// end and the bytes at p equal to `sub` (A-Z folded when `foldCase`); npos
// when there is none. `sub` must not be empty.
std::size_t findBackward(std::string_view text, std::size_t end, std::string_view sub,
                         bool foldCase) noexcept;

// The items of a split at every exact match of a non-empty delimiter, walking
// from byte 0: each match ends an item (possibly empty) and the walk starts
// again after it; the bytes after the last match are a last item only when
// they are not empty.
class SplitItems {
 public:
  SplitItems(std::string_view text, std::string_view delimiter) noexcept
      : text_(text), delimiter_(delimiter), starts_(text, 0) {}

  // The next item into `item`; false when there are no more.
  bool next(std::string_view& item) noexcept;

 private:
  std::string_view text_;
  std::string_view delimiter_;
  CharacterStarts starts_;
  std::size_t itemStart_ = 0;
  bool done_ = false;
};

}  // namespace quillmark::scan
