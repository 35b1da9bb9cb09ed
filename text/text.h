// Text: the byte string every part of Quillmark works in.
//
// A Text is a sequence of bytes in code page 936 that never holds a zero
// byte. Lengths and positions count bytes; positions run from 1. The absent
// and the empty Text are the same value. A Text is a plain value: copying it
// copies the bytes, and every routine that makes a Text returns a new one.
#pragma once

#include <string>
#include <string_view>

namespace quillmark {

class Text {
 public:
  // The empty Text.
  Text() = default;

  // The bytes of a zero-terminated string, for literals: Text("Accept").
  // A null pointer gives the empty Text.
  Text(const char* zeroTerminated);  // NOLINT(google-explicit-constructor)

  // The bytes of `bytes` up to, and not including, the first zero byte;
  // all of them when there is none.
  explicit Text(std::string_view bytes);
  explicit Text(std::string&& bytes);
  explicit Text(const std::string& bytes) : Text(std::string_view(bytes)) {}

  // Copies get their memory like every other new value: a copy that cannot
  // be had ends the program (text/allocation.h). Moves never allocate.
  Text(const Text& other);
  Text& operator=(const Text& other);
  Text(Text&&) noexcept = default;
  Text& operator=(Text&&) noexcept = default;
  ~Text() = default;

  // The bytes, without a terminating zero. view().size() == length().
  std::string_view view() const noexcept { return bytes_; }
  const std::string& bytes() const noexcept { return bytes_; }
  // Zero-terminated, for platform calls; no zero byte occurs before the end.
  const char* c_str() const noexcept { return bytes_.c_str(); }

  int length() const noexcept { return static_cast<int>(bytes_.size()); }
  bool empty() const noexcept { return bytes_.empty(); }

  // The byte at 1-based `position` as 0..255; 0 when `position` is outside
  // 1..length(). Never reads outside the text.
  unsigned char byteAt(int position) const noexcept {
    return position >= 1 && position <= length()
               ? static_cast<unsigned char>(bytes_[static_cast<size_t>(position) - 1])
               : 0;
  }

  friend bool operator==(const Text&, const Text&) = default;

 private:
  std::string bytes_;
};

// The code page 936 form of a UTF-8 literal, so that the system's own Chinese
// texts can be written readably: gbk("错误") is the bytes B4 ED CE F3.
// Characters code page 936 lacks become "?".
Text gbk(std::string_view utf8);

}  // namespace quillmark
