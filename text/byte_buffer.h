// ByteBuffer: a counted sequence of bytes, zero bytes allowed.
//
// Response bodies, file contents, UTF-16 texts and Base64 input travel as
// ByteBuffers. Positions count from 1; the absent and the empty buffer are the
// same value; two buffers are equal when they hold the same bytes.
#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace quillmark {

class ByteBuffer {
 public:
  ByteBuffer() = default;
  // All bytes of `bytes`, zero bytes included.
  explicit ByteBuffer(std::string_view bytes);
  explicit ByteBuffer(std::string&& bytes) noexcept : bytes_(std::move(bytes)) {}

  // Copies get their memory like every other new value: a copy that cannot
  // be had ends the program (text/allocation.h). Moves never allocate.
  ByteBuffer(const ByteBuffer& other);
  ByteBuffer& operator=(const ByteBuffer& other);
  ByteBuffer(ByteBuffer&&) noexcept = default;
  ByteBuffer& operator=(ByteBuffer&&) noexcept = default;
  ~ByteBuffer() = default;

  std::string_view view() const noexcept { return bytes_; }
  const std::string& bytes() const noexcept { return bytes_; }
  const unsigned char* data() const noexcept {
    return reinterpret_cast<const unsigned char*>(bytes_.data());
  }

  // Empties the buffer and gives its bytes away without copying them.
  std::string take() && noexcept { return std::exchange(bytes_, std::string()); }

  int length() const noexcept { return static_cast<int>(bytes_.size()); }
  bool empty() const noexcept { return bytes_.empty(); }

  friend bool operator==(const ByteBuffer&, const ByteBuffer&) = default;

 private:
  std::string bytes_;
};

}  // namespace quillmark
