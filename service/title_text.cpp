#include "service/title_text.h"

#include "platform/codepage.h"

namespace quillmark::service {
namespace {

bool isControl(char16_t c) { return c < 0x20 || (c >= 0x7f && c < 0xa0); }

bool isPrivateUse(char16_t c) { return c >= 0xe000 && c <= 0xf8ff; }

}  // namespace

std::u16string decodeTitle(std::string_view titleGbk) {
  std::u16string title = platform::toUtf16(platform::kCodePageGbk, titleGbk);
  for (char16_t& c : title) {
    if (isControl(c)) c = u' ';
    else if (isPrivateUse(c)) c = 0xfffd;
  }
  return title;
}

}  // namespace quillmark::service
