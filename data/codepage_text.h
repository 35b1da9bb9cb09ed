// Code page conversion of Text: code page 936 to UTF-8, and the two general
// conversions between a code page and UTF-16 that it is made of.
//
// A UTF-16 text travels in a ByteBuffer: its UTF-16LE code units, low byte
// first, followed by one zero unit (two zero bytes) that ends it. Code pages
// are the Windows numbers: 936 (the code page of Text), 65001 (UTF-8) and 0
// (the system ANSI code page, which is always 936). Undecodable input becomes
// U+FFFD and a character the target code page lacks becomes "?"; none of the
// routines fails or reports an error.
#pragma once

#include "text/byte_buffer.h"
#include "text/text.h"

namespace quillmark {

inline constexpr int kCodePageAnsi = 0;
inline constexpr int kCodePageGbk = 936;
inline constexpr int kCodePageUtf8 = 65001;

// The UTF-8 form of a code page 936 text, by way of UTF-16. ASCII bytes stay
// as they are; the empty text gives the empty text.
Text ansiToUtf8(const Text& text);

// The UTF-16LE code units of `text` read in `codePage`, followed by the zero
// unit: always an even number of bytes, the last two zero. The empty text
// gives just the two zero bytes. A code page other than 0, 936 and 65001
// gives the empty buffer.
ByteBuffer multiByteToWide(const Text& text, int codePage = kCodePageUtf8);

// The code units of `wide` up to its first zero unit, converted to
// `codePage`. A buffer without a zero unit is converted up to its end; an odd
// last byte, which is no whole unit, is ignored; nothing past the buffer is
// ever read. The empty buffer, and a code page other than 0, 936 and 65001,
// give the empty text.
Text wideToMultiByte(const ByteBuffer& wide, int codePage = kCodePageAnsi);

}  // namespace quillmark
