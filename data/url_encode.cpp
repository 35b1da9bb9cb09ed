#include "data/url_encode.h"

#include <string>

#include "data/codepage_text.h"
#include "text/allocation.h"

namespace quillmark {
namespace {

bool unreserved(unsigned char b) {
  return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '-' ||
         b == '.';
}

}  // namespace

Text urlEncode(const Text& text, bool keepUnreserved, bool toUtf8) {
  if (text.empty()) return Text();
  const Text utf8 = toUtf8 ? ansiToUtf8(text) : Text();
  const std::string_view bytes = toUtf8 ? utf8.view() : text.view();
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return allocateOrFail(bytes.size() * 3, [&] {
    std::string out;
    out.reserve(bytes.size() * 3);
    for (char c : bytes) {
      const auto b = static_cast<unsigned char>(c);
      if (keepUnreserved && unreserved(b)) {
        out.push_back(c);
      } else {
        out.push_back('%');
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 0x0F]);
      }
    }
    return Text(std::move(out));
  });
}

}  // namespace quillmark
