#include "platform/codepage.h"

#include <unicode/ucnv.h>

#include <memory>

namespace quillmark::platform {
namespace {

struct ConverterCloser {
  void operator()(UConverter* converter) const noexcept { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

Converter openConverter(const char* name) {
  UErrorCode status = U_ZERO_ERROR;
  Converter converter(ucnv_open(name, &status));
  if (U_FAILURE(status)) return nullptr;
  // A character the target lacks becomes "?".
  status = U_ZERO_ERROR;
  ucnv_setSubstChars(converter.get(), "?", 1, &status);
  return converter;
}

// One converter per thread and code page: ICU converters are not thread-safe,
// and opening one per call would cost more than the conversion.
UConverter* converterFor(unsigned codePage) {
  thread_local Converter gbk = openConverter("windows-936");
  thread_local Converter utf8 = openConverter("UTF-8");
  switch (codePage) {
    case kCodePageAnsi:
    case kCodePageGbk:
      return gbk.get();
    case kCodePageUtf8:
      return utf8.get();
    default:
      return nullptr;
  }
}

}  // namespace

int MultiByteToWideChar(unsigned codePage, unsigned flags, const char* input, int inputLength,
                        char16_t* output, int outputSize) {
  UConverter* converter = converterFor(codePage);
  if (converter == nullptr || flags != 0 || input == nullptr || inputLength < -1 || outputSize < 0)
    return 0;
  const bool withTerminator = inputLength == -1;
  const int32_t length = withTerminator ? static_cast<int32_t>(std::char_traits<char>::length(input))
                                        : inputLength;
  ucnv_reset(converter);
  UErrorCode status = U_ZERO_ERROR;
  int32_t needed = ucnv_toUChars(converter, nullptr, 0, input, length, &status);
  if (status != U_BUFFER_OVERFLOW_ERROR && status != U_STRING_NOT_TERMINATED_WARNING && U_FAILURE(status))
    return 0;
  const int total = needed + (withTerminator ? 1 : 0);
  if (outputSize == 0) return total;
  if (output == nullptr || outputSize < total) return 0;
  std::u16string units(static_cast<size_t>(needed) + 1, u'\0');
  status = U_ZERO_ERROR;
  ucnv_reset(converter);
  ucnv_toUChars(converter, units.data(), needed + 1, input, length, &status);
  if (U_FAILURE(status)) return 0;
  std::char_traits<char16_t>::copy(output, units.data(), static_cast<size_t>(total));
  return total;
}

int WideCharToMultiByte(unsigned codePage, unsigned flags, const char16_t* input, int inputLength,
                        char* output, int outputSize, const char* defaultChar, bool* usedDefault) {
  UConverter* converter = converterFor(codePage);
  if (converter == nullptr || flags != 0 || input == nullptr || inputLength < -1 || outputSize < 0 ||
      defaultChar != nullptr || usedDefault != nullptr)
    return 0;
  const bool withTerminator = inputLength == -1;
  const int32_t length = withTerminator
                             ? static_cast<int32_t>(std::char_traits<char16_t>::length(input))
                             : inputLength;
  ucnv_reset(converter);
  UErrorCode status = U_ZERO_ERROR;
  int32_t needed = ucnv_fromUChars(converter, nullptr, 0, input, length, &status);
  if (status != U_BUFFER_OVERFLOW_ERROR && status != U_STRING_NOT_TERMINATED_WARNING && U_FAILURE(status))
    return 0;
  const int total = needed + (withTerminator ? 1 : 0);
  if (outputSize == 0) return total;
  if (output == nullptr || outputSize < total) return 0;
  std::string bytes(static_cast<size_t>(needed) + 1, '\0');
  status = U_ZERO_ERROR;
  ucnv_reset(converter);
  ucnv_fromUChars(converter, bytes.data(), needed + 1, input, length, &status);
  if (U_FAILURE(status)) return 0;
  std::char_traits<char>::copy(output, bytes.data(), static_cast<size_t>(total));
  return total;
}

std::u16string toUtf16(unsigned codePage, std::string_view bytes) {
  if (bytes.empty()) return {};
  const int length = static_cast<int>(bytes.size());
  const int needed = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
  std::u16string units(static_cast<size_t>(needed), u'\0');
  if (needed > 0) MultiByteToWideChar(codePage, 0, bytes.data(), length, units.data(), needed);
  return units;
}

std::string fromUtf16(unsigned codePage, std::u16string_view units) {
  if (units.empty()) return {};
  const int length = static_cast<int>(units.size());
  const int needed = WideCharToMultiByte(codePage, 0, units.data(), length, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(needed), '\0');
  if (needed > 0)
    WideCharToMultiByte(codePage, 0, units.data(), length, bytes.data(), needed, nullptr, nullptr);
  return bytes;
}

std::string gbkToUtf8(std::string_view gbk) {
  return fromUtf16(kCodePageUtf8, toUtf16(kCodePageGbk, gbk));
}

std::string utf8ToGbk(std::string_view utf8) {
  return fromUtf16(kCodePageGbk, toUtf16(kCodePageUtf8, utf8));
}

}  // namespace quillmark::platform
