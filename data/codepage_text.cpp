#include "data/codepage_text.h"

#include <string>

#include "platform/codepage.h"
#include "text/allocation.h"

namespace quillmark {
namespace {

bool supported(int codePage) {
  return codePage == kCodePageAnsi || codePage == kCodePageGbk || codePage == kCodePageUtf8;
}

}  // namespace

Text ansiToUtf8(const Text& text) {
  if (text.empty()) return Text();
  return wideToMultiByte(multiByteToWide(text, kCodePageGbk), kCodePageUtf8);
}

ByteBuffer multiByteToWide(const Text& text, int codePage) {
  if (!supported(codePage)) return ByteBuffer();
  const auto cp = static_cast<unsigned>(codePage);
  // Measured with the code page of the conversion itself, so the size is
  // exact for every input.
  const int units = platform::MultiByteToWideChar(cp, 0, text.c_str(), -1, nullptr, 0);
  if (units <= 0) return ByteBuffer();
  return allocateOrFail(static_cast<size_t>(units) * 4, [&] {
    std::u16string wide(static_cast<size_t>(units), u'\0');
    if (platform::MultiByteToWideChar(cp, 0, text.c_str(), -1, wide.data(), units) != units)
      return ByteBuffer();
    std::string bytes;
    bytes.reserve(wide.size() * 2);
    for (char16_t unit : wide) {
      bytes.push_back(static_cast<char>(unit & 0xFF));
      bytes.push_back(static_cast<char>(unit >> 8));
    }
    return ByteBuffer(std::move(bytes));
  });
}

Text wideToMultiByte(const ByteBuffer& wide, int codePage) {
  if (!supported(codePage)) return Text();
  // The units up to the first zero unit, or up to the last whole unit of a
  // buffer that holds none; copied so that the conversion reads a
  // zero-terminated, aligned string of our own.
  return allocateOrFail(static_cast<size_t>(wide.length()) * 2, [&] {
    const unsigned char* bytes = wide.data();
    const size_t wholeUnits = static_cast<size_t>(wide.length()) / 2;
    std::u16string units;
    units.reserve(wholeUnits + 1);
    for (size_t i = 0; i < wholeUnits; ++i) {
      const auto unit = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
      if (unit == u'\0') break;
      units.push_back(unit);
    }
    if (units.empty()) return Text();
    const auto cp = static_cast<unsigned>(codePage);
    const int size =
        platform::WideCharToMultiByte(cp, 0, units.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return Text();
    std::string out(static_cast<size_t>(size), '\0');
    if (platform::WideCharToMultiByte(cp, 0, units.c_str(), -1, out.data(), size, nullptr,
                                      nullptr) != size)
      return Text();
    // Text keeps the bytes before the first zero byte: here, the terminator.
    return Text(std::move(out));
  });
}

}  // namespace quillmark
