// Reading arguments for a fuzz target out of the fuzzer's bytes.
//
// A deliberately small reader, so that the replay tests build with any
// compiler: bytes are taken from the front, and once the input is used up
// every read gives its zero value (0, false, the empty text). Integers are
// mostly small, so that positions and counts land near the texts they are
// used on, with the full 32-bit range (the extremes included) within reach.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "text/text.h"

namespace quillmark::fuzz {

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) noexcept : data_(data), size_(size) {}

  bool empty() const noexcept { return position_ >= size_; }

  // The next byte; 0 once the input is used up.
  std::uint8_t byte() noexcept { return empty() ? 0 : data_[position_++]; }

  bool flag() noexcept { return (byte() & 1) != 0; }

  // One byte 0x00..0xEF gives -16..223; 0xF0 and up take four more bytes as
  // a little-endian 32-bit value.
  int integer() noexcept {
    const std::uint8_t b = byte();
    if (b < 0xF0) return static_cast<int>(b) - 16;
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(byte()) << (8 * i);
    return static_cast<int>(value);
  }

  // A flag for whether the integer is given, then the integer.
  std::optional<int> optionalInteger() noexcept {
    if (!flag()) return std::nullopt;
    return integer();
  }

  // A length byte, then up to that many bytes.
  std::string bytes() { return take(byte()); }

  // The same with zero bytes left out: a Text holds none.
  Text text() { return withoutZeros(bytes()); }

  // Everything not read yet.
  std::string rest() { return take(size_ - position_); }
  Text restText() { return withoutZeros(rest()); }

 private:
  std::string take(std::size_t wanted) {
    const std::size_t n = wanted < size_ - position_ ? wanted : size_ - position_;
    std::string out(reinterpret_cast<const char*>(data_ + position_), n);
    position_ += n;
    return out;
  }

  static Text withoutZeros(std::string bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes)
      if (c != '\0') out += c;
    return Text(std::move(out));
  }

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

// Ends the run with a message when a property does not hold, so that the
// fuzzer keeps the input and a replay test fails.
inline void require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "property violated: %s\n", what);
  std::abort();
}

// Whether 0-based `offset` starts a character of the walk over `bytes` from
// 0-based `anchor`: every byte 0x80..0xFF the walk steps on starts a
// two-byte character. The end of the text counts as a start.
inline bool startsCharacter(std::string_view bytes, std::size_t anchor, std::size_t offset) {
  std::size_t p = anchor;
  while (p < offset) p += static_cast<unsigned char>(bytes[p]) >= 0x80 ? 2 : 1;
  return p == offset;
}

}  // namespace quillmark::fuzz
