// Code page conversion between code page 936, UTF-8 and UTF-16.
//
// Stand-ins for the two Windows conversion calls, over ICU. Code page 936 is
// ICU's "windows-936" (the Microsoft table, user-defined areas in the Private
// Use Area, 0x80 as U+20AC, 0xFF as U+F8F5); 65001 is UTF-8; 0, the system
// ANSI code page, is always 936 and is never taken from the locale or the
// environment. Only flags 0 are supported. A byte sequence the source cannot
// decode becomes U+FFFD (an ASCII byte after a broken lead byte stays
// itself); a character code page 936 lacks, and an unpaired surrogate,
// becomes "?" (towards UTF-8 an unpaired surrogate becomes U+FFFD); no
// look-alike ("best fit") mapping is ever made. Safe to call from any thread
// at once: each thread has converters of its own.
#pragma once

#include <string>
#include <string_view>

namespace quillmark::platform {

inline constexpr unsigned kCodePageAnsi = 0;      // CP_ACP
inline constexpr unsigned kCodePageGbk = 936;
inline constexpr unsigned kCodePageUtf8 = 65001;  // CP_UTF8

// Converts `inputLength` bytes of `input` (-1: up to and including its zero
// byte) from `codePage` into at most `outputSize` UTF-16 units at `output`.
// With outputSize 0 (output may be null) returns the units needed, the zero
// unit included for -1, and writes nothing. Otherwise returns the units
// written. Returns 0 on failure: unknown code page, flags other than 0, a
// null input, inputLength 0 or below -1, a negative outputSize, a null output
// with outputSize above 0, or an output too small (its content is then
// unspecified). Never writes beyond `outputSize` units.
int MultiByteToWideChar(unsigned codePage, unsigned flags, const char* input, int inputLength,
                        char16_t* output, int outputSize);

// Converts `inputLength` units of `input` (-1: up to and including its zero
// unit) into `codePage` bytes. `defaultChar` and `usedDefault` must be null.
// Same measuring, failure and bounds rules as MultiByteToWideChar.
int WideCharToMultiByte(unsigned codePage, unsigned flags, const char16_t* input, int inputLength,
                        char* output, int outputSize, const char* defaultChar, bool* usedDefault);

// Whole-string forms of the same conversions (no terminators involved); the
// empty string, an unknown code page or a failed conversion give "".
std::u16string toUtf16(unsigned codePage, std::string_view bytes);
std::string fromUtf16(unsigned codePage, std::u16string_view units);

// Code page 936 <-> UTF-8, for showing texts on Linux and reading them back.
std::string gbkToUtf8(std::string_view gbk);
std::string utf8ToGbk(std::string_view utf8);

}  // namespace quillmark::platform
