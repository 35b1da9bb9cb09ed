#include "text/text.h"

#include "platform/codepage.h"

namespace quillmark {

Text::Text(const char* zeroTerminated) {
  if (zeroTerminated != nullptr) bytes_.assign(zeroTerminated);
}

Text::Text(std::string_view bytes) : bytes_(bytes.substr(0, bytes.find('\0'))) {}

Text::Text(std::string&& bytes) : bytes_(std::move(bytes)) {
  const auto zero = bytes_.find('\0');
  if (zero != std::string::npos) bytes_.resize(zero);
}

Text gbk(std::string_view utf8) { return Text(platform::utf8ToGbk(utf8)); }

}  // namespace quillmark
