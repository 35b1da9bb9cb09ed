// Code page conversion and URL encoding with arbitrary bytes and code pages:
// the platform calls (measuring, exact and short output buffers), the
// whole-string forms, the Text conversions and urlEncode. A selector byte
// picks the case.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data/codepage_text.h"
#include "data/url_encode.h"
#include "fuzz_input.h"
#include "platform/codepage.h"

namespace quillmark::fuzz {
namespace {

namespace pf = quillmark::platform;

// Whether `s` is well-formed UTF-8 (no surrogates, no overlong forms).
bool validUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t n = 0;
    std::uint32_t cp = 0;
    if (b < 0x80) {
      ++i;
      continue;
    }
    if (b >= 0xC2 && b <= 0xDF) n = 1, cp = b & 0x1F;
    else if (b >= 0xE0 && b <= 0xEF) n = 2, cp = b & 0x0F;
    else if (b >= 0xF0 && b <= 0xF4) n = 3, cp = b & 0x07;
    else return false;
    if (i + n >= s.size()) return false;
    for (std::size_t k = 1; k <= n; ++k) {
      const auto c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += n + 1;
  }
  return true;
}

unsigned pickCodePage(std::uint8_t b) {
  switch (b % 5) {
    case 0: return pf::kCodePageAnsi;
    case 1: return pf::kCodePageGbk;
    case 2: return pf::kCodePageUtf8;
    case 3: return 1252;  // not supported: every call fails or gives nothing
    default: return b;    // mostly unsupported too
  }
}

void platformCalls(FuzzInput& in) {
  const unsigned codePage = pickCodePage(in.byte());
  const bool terminated = in.flag();
  const int shortBy = in.byte() % 4;
  const std::string bytes = in.rest();
  const std::string input = terminated ? std::string(bytes.c_str()) : bytes;  // -1 reads up to a zero byte
  const int inputLength = terminated ? -1 : static_cast<int>(input.size());
  const int needed = pf::MultiByteToWideChar(codePage, 0, input.c_str(), inputLength, nullptr, 0);
  require(needed >= 0, "a negative measure");
  if (needed > 0) {
    // Exactly sized buffers: any write past them is caught by the sanitizer.
    std::vector<char16_t> exact(static_cast<std::size_t>(needed));
    require(pf::MultiByteToWideChar(codePage, 0, input.c_str(), inputLength, exact.data(), needed) == needed,
            "MultiByteToWideChar wrote other than it measured");
    if (terminated) require(exact.back() == u'\0', "a terminated conversion without its zero unit");
    if (shortBy > 0 && needed - shortBy >= 1) {
      std::vector<char16_t> small(static_cast<std::size_t>(needed - shortBy));
      require(pf::MultiByteToWideChar(codePage, 0, input.c_str(), inputLength, small.data(), needed - shortBy) == 0,
              "a short output buffer did not fail");
    }
    // And back again.
    const int back = pf::WideCharToMultiByte(codePage, 0, exact.data(), needed, nullptr, 0, nullptr, nullptr);
    require(back > 0, "converting back measured nothing");
    std::vector<char> out(static_cast<std::size_t>(back));
    require(pf::WideCharToMultiByte(codePage, 0, exact.data(), needed, out.data(), back, nullptr, nullptr) == back,
            "WideCharToMultiByte wrote other than it measured");
    if (codePage == pf::kCodePageUtf8 && !terminated && validUtf8(input))
      require(std::string_view(out.data(), out.size()) == input, "valid UTF-8 did not come back unchanged");
  }
  // Arbitrary UTF-16 units, lone surrogates included.
  std::u16string units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          static_cast<unsigned char>(bytes[i + 1]) << 8));
  if (!units.empty()) {
    const int size = pf::WideCharToMultiByte(codePage, 0, units.data(), static_cast<int>(units.size()), nullptr, 0,
                                             nullptr, nullptr);
    require(size >= 0, "a negative measure");
    if (size > 0) {
      std::vector<char> out(static_cast<std::size_t>(size));
      require(pf::WideCharToMultiByte(codePage, 0, units.data(), static_cast<int>(units.size()), out.data(), size,
                                      nullptr, nullptr) == size,
              "WideCharToMultiByte wrote other than it measured");
      if (codePage == pf::kCodePageUtf8) require(validUtf8(std::string_view(out.data(), out.size())),
                                                 "UTF-16 to UTF-8 gave malformed UTF-8");
    }
  }
  const std::string utf8 = pf::gbkToUtf8(bytes);
  require(validUtf8(utf8), "gbkToUtf8 gave malformed UTF-8");
  (void)pf::utf8ToGbk(bytes);
  (void)pf::fromUtf16(codePage, pf::toUtf16(codePage, bytes));
}

void textConversions(FuzzInput& in) {
  const int codePage = static_cast<int>(pickCodePage(in.byte()));
  const Text text = in.restText();
  const Text utf8 = ansiToUtf8(text);
  require(validUtf8(utf8.view()), "ansiToUtf8 gave malformed UTF-8");
  require(text.empty() == utf8.empty(), "ansiToUtf8: empty exactly when the text is");
  const ByteBuffer wide = multiByteToWide(text, codePage);
  const bool supported = codePage == 0 || codePage == 936 || codePage == 65001;
  if (supported) {
    const std::string_view w = wide.view();
    require(w.size() >= 2 && w.size() % 2 == 0 && w.substr(w.size() - 2) == std::string_view("\0\0", 2),
            "multiByteToWide: not whole units ending in the zero unit");
    for (std::size_t i = 0; i + 2 < w.size(); i += 2)
      require(w[i] != '\0' || w[i + 1] != '\0', "multiByteToWide: a zero unit before the end");
    if (codePage == 65001 && validUtf8(text.view()))
      require(wideToMultiByte(wide, 65001) == text, "valid UTF-8 did not come back unchanged");
  } else {
    require(wide.empty(), "an unsupported code page gave units");
  }
  // Arbitrary buffers, odd lengths and missing zero units included.
  const ByteBuffer raw(text.view());
  (void)wideToMultiByte(raw, codePage);
  (void)wideToMultiByte(raw);
}

void encoding(FuzzInput& in) {
  const bool keepUnreserved = in.flag();
  const bool toUtf8 = in.flag();
  const Text text = in.restText();
  const Text encoded = urlEncode(text, keepUnreserved, toUtf8);
  const std::string source(toUtf8 ? ansiToUtf8(text).view() : text.view());
  std::string want;
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (const char c : source) {
    const auto b = static_cast<unsigned char>(c);
    const bool kept = (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '-' || b == '.';
    if (keepUnreserved && kept) {
      want += c;
    } else {
      want += '%';
      want += kDigits[b >> 4];
      want += kDigits[b & 15];
    }
  }
  require(encoded.view() == want, "urlEncode differs from encoding byte by byte");
}

}  // namespace
}  // namespace quillmark::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quillmark::fuzz::FuzzInput in(data, size);
  switch (in.byte() % 3) {
    case 0: quillmark::fuzz::platformCalls(in); break;
    case 1: quillmark::fuzz::textConversions(in); break;
    default: quillmark::fuzz::encoding(in); break;
  }
  return 0;
}
