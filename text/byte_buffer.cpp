#include "text/byte_buffer.h"

#include "text/allocation.h"

namespace quillmark {

ByteBuffer::ByteBuffer(std::string_view bytes)
    : bytes_(allocateOrFail(bytes.size(), [&] { return std::string(bytes); })) {}

ByteBuffer::ByteBuffer(const ByteBuffer& other)
    : bytes_(allocateOrFail(other.bytes_.size(), [&] { return std::string(other.bytes_); })) {}

ByteBuffer& ByteBuffer::operator=(const ByteBuffer& other) {
  if (this != &other) {
    allocateOrFail(other.bytes_.size(), [&] { bytes_.assign(other.bytes_); });
  }
  return *this;
}

}  // namespace quillmark
