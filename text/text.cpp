#include "text/text.h"

#include "platform/codepage.h"
#include "text/allocation.h"

namespace quillmark {
namespace {

std::string copyUpToZero(std::string_view bytes) {
  const std::string_view kept = bytes.substr(0, bytes.find('\0'));
  return allocateOrFail(kept.size(), [&] { return std::string(kept); });
}

}  // namespace

Text::Text(const char* zeroTerminated) {
  if (zeroTerminated != nullptr) bytes_ = copyUpToZero(zeroTerminated);
}

Text::Text(std::string_view bytes) : bytes_(copyUpToZero(bytes)) {}

Text::Text(std::string&& bytes) : bytes_(std::move(bytes)) {
  const auto zero = bytes_.find('\0');
  if (zero != std::string::npos) bytes_.resize(zero);
}

Text::Text(const Text& other)
    : bytes_(allocateOrFail(other.bytes_.size(), [&] { return std::string(other.bytes_); })) {}

Text& Text::operator=(const Text& other) {
  if (this != &other) {
    allocateOrFail(other.bytes_.size(), [&] { bytes_.assign(other.bytes_); });
  }
  return *this;
}

Text gbk(std::string_view utf8) {
  return Text(allocateOrFail(utf8.size(), [&] { return platform::utf8ToGbk(utf8); }));
}

}  // namespace quillmark
