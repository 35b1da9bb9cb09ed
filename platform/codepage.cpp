#include "platform/codepage.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ucnv_err.h>

#include <climits>
#include <cstring>
#include <memory>
#include <type_traits>

namespace quillmark::platform {
namespace {

struct ConverterCloser {
  void operator()(UConverter* converter) const noexcept { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

// Replacement callbacks of our own rather than ICU's substitute callbacks,
// whose results depend on the converter: ICU's would silently drop a
// default-ignorable character the target lacks (a soft hyphen, a zero-width
// space, a variation selector) and may write U+001A instead of U+FFFD for a
// single undecodable byte.
void writeReplacementCharacter(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                               UConverterCallbackReason reason, UErrorCode* status) {
  if (reason > UCNV_IRREGULAR) return;  // reset, close, clone: nothing to replace
  static const UChar kReplacement = 0xFFFD;
  *status = U_ZERO_ERROR;
  ucnv_cbToUWriteUChars(args, &kReplacement, 1, 0, status);
}

void writeSubstitute(const void*, UConverterFromUnicodeArgs* args, const UChar*, int32_t, UChar32,
                     UConverterCallbackReason reason, UErrorCode* status) {
  if (reason > UCNV_IRREGULAR) return;
  *status = U_ZERO_ERROR;
  ucnv_cbFromUWriteSub(args, 0, status);
}

// Opens an ICU converter with fixed replacement behaviour:
// - decoding: each byte sequence the source cannot decode becomes one U+FFFD;
// - encoding: a character the target lacks, and an unpaired surrogate,
//   becomes `substitute` ("?" for code page 936; for UTF-8, whose target has
//   every character, only unpaired surrogates are replaced, by EF BF BD);
// - no best-fit ("fallback") mappings from Unicode: a character without an
//   exact mapping is never turned into a look-alike (U+00B2 into "2", U+00AD
//   into "-"), it becomes the substitute.
Converter openConverter(const char* name, const char* substitute) {
  UErrorCode status = U_ZERO_ERROR;
  Converter converter(ucnv_open(name, &status));
  if (U_FAILURE(status) || !converter) return nullptr;
  status = U_ZERO_ERROR;
  ucnv_setSubstChars(converter.get(), substitute, static_cast<int8_t>(std::strlen(substitute)),
                     &status);
  ucnv_setToUCallBack(converter.get(), writeReplacementCharacter, nullptr, nullptr, nullptr,
                      &status);
  ucnv_setFromUCallBack(converter.get(), writeSubstitute, nullptr, nullptr, nullptr, &status);
  ucnv_setFallback(converter.get(), false);
  if (U_FAILURE(status)) return nullptr;
  return converter;
}

// One converter per thread and code page: an ICU converter carries state and
// must not be shared between threads, and opening one per call would cost
// more than most conversions. Each is closed when its thread ends.
UConverter* converterFor(unsigned codePage) {
  switch (codePage) {
    case kCodePageAnsi:
    case kCodePageGbk: {
      thread_local const Converter gbk = openConverter("windows-936", "?");
      return gbk.get();
    }
    case kCodePageUtf8: {
      thread_local const Converter utf8 = openConverter("UTF-8", "\xEF\xBF\xBD");
      return utf8.get();
    }
    default:
      return nullptr;
  }
}

// A preflight call reports the needed size with U_BUFFER_OVERFLOW_ERROR (or,
// for an empty result, with success or a not-terminated warning).
bool measured(UErrorCode status) {
  return status == U_BUFFER_OVERFLOW_ERROR || U_SUCCESS(status);
}

}  // namespace

int MultiByteToWideChar(unsigned codePage, unsigned flags, const char* input, int inputLength,
                        char16_t* output, int outputSize) {
  UConverter* converter = converterFor(codePage);
  if (converter == nullptr || flags != 0 || input == nullptr || inputLength < -1 || outputSize < 0 ||
      (outputSize > 0 && output == nullptr))
    return 0;
  const bool withTerminator = inputLength == -1;
  const size_t byteCount = withTerminator ? std::strlen(input) : static_cast<size_t>(inputLength);
  if (byteCount > static_cast<size_t>(INT32_MAX)) return 0;
  const auto length = static_cast<int32_t>(byteCount);

  UErrorCode status = U_ZERO_ERROR;
  const int32_t needed = ucnv_toUChars(converter, nullptr, 0, input, length, &status);
  if (!measured(status) || needed < 0 || needed >= INT_MAX) return 0;
  const int total = needed + (withTerminator ? 1 : 0);
  if (total == 0) return 0;  // an explicit length of 0: nothing to convert
  if (outputSize == 0) return total;
  if (outputSize < total) return 0;

  status = U_ZERO_ERROR;
  // The capacity is exactly `needed`, so ICU never writes beyond the units
  // the caller is told about; the terminator is written here.
  const int32_t written = ucnv_toUChars(converter, output, needed, input, length, &status);
  if (U_FAILURE(status) || written != needed) return 0;
  if (withTerminator) output[needed] = u'\0';
  return total;
}

int WideCharToMultiByte(unsigned codePage, unsigned flags, const char16_t* input, int inputLength,
                        char* output, int outputSize, const char* defaultChar, bool* usedDefault) {
  UConverter* converter = converterFor(codePage);
  if (converter == nullptr || flags != 0 || input == nullptr || inputLength < -1 || outputSize < 0 ||
      (outputSize > 0 && output == nullptr) || defaultChar != nullptr || usedDefault != nullptr)
    return 0;
  const bool withTerminator = inputLength == -1;
  const size_t unitCount =
      withTerminator ? std::char_traits<char16_t>::length(input) : static_cast<size_t>(inputLength);
  if (unitCount > static_cast<size_t>(INT32_MAX)) return 0;
  const auto length = static_cast<int32_t>(unitCount);

  UErrorCode status = U_ZERO_ERROR;
  const int32_t needed = ucnv_fromUChars(converter, nullptr, 0, input, length, &status);
  if (!measured(status) || needed < 0 || needed >= INT_MAX) return 0;
  const int total = needed + (withTerminator ? 1 : 0);
  if (total == 0) return 0;
  if (outputSize == 0) return total;
  if (outputSize < total) return 0;

  status = U_ZERO_ERROR;
  const int32_t written = ucnv_fromUChars(converter, output, needed, input, length, &status);
  if (U_FAILURE(status) || written != needed) return 0;
  if (withTerminator) output[needed] = '\0';
  return total;
}

// Code page 936 and UTF-8 both map the 128 ASCII bytes to the same code
// units, so an all-ASCII text needs no converter: the header lines, URLs and
// cookies that cross the automation boundary by the thousand mostly are.
bool asciiSafe(unsigned codePage) {
  return codePage == kCodePageAnsi || codePage == kCodePageGbk || codePage == kCodePageUtf8;
}

template <typename Unit>
bool allAscii(const Unit* units, size_t count) {
  for (size_t i = 0; i < count; ++i)
    if (static_cast<std::make_unsigned_t<Unit>>(units[i]) >= 0x80) return false;
  return true;
}

std::u16string toUtf16(unsigned codePage, std::string_view bytes) {
  if (bytes.empty() || bytes.size() > static_cast<size_t>(INT_MAX)) return {};
  if (asciiSafe(codePage) && allAscii(bytes.data(), bytes.size()))
    return std::u16string(bytes.begin(), bytes.end());
  const int length = static_cast<int>(bytes.size());
  const int needed = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::u16string units(static_cast<size_t>(needed), u'\0');
  if (MultiByteToWideChar(codePage, 0, bytes.data(), length, units.data(), needed) != needed)
    return {};
  return units;
}

std::string fromUtf16(unsigned codePage, std::u16string_view units) {
  if (units.empty() || units.size() > static_cast<size_t>(INT_MAX)) return {};
  if (asciiSafe(codePage) && allAscii(units.data(), units.size())) {
    std::string bytes(units.size(), '\0');
    for (size_t i = 0; i < units.size(); ++i) bytes[i] = static_cast<char>(units[i]);
    return bytes;
  }
  const int length = static_cast<int>(units.size());
  const int needed =
      WideCharToMultiByte(codePage, 0, units.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string bytes(static_cast<size_t>(needed), '\0');
  if (WideCharToMultiByte(codePage, 0, units.data(), length, bytes.data(), needed, nullptr,
                          nullptr) != needed)
    return {};
  return bytes;
}

std::string gbkToUtf8(std::string_view gbk) {
  return fromUtf16(kCodePageUtf8, toUtf16(kCodePageGbk, gbk));
}

std::string utf8ToGbk(std::string_view utf8) {
  return fromUtf16(kCodePageGbk, toUtf16(kCodePageUtf8, utf8));
}

}  // namespace quillmark::platform
