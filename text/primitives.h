// The primitive operations on Text, ByteBuffer and integers.
//
// Every other layer is written in these, so their edge rules are exact:
// positions count bytes from 1, searches give -1 for "not found", and no
// primitive reports an error except the fatal cases of runtime_error.h.
//
// Character-aware routines (findText, findTextReverse, toUpper, trimSpaces,
// replaceText, splitText) treat every byte 0x80..0xFF as the first byte of a
// two-byte character and the byte after it, whatever it is, as its second
// byte: a match or a split never starts at such a second byte.
//
// Case folding, where asked for, maps only the 26 ASCII letters and never
// depends on a locale.
//
// An optional parameter written as std::optional is told apart from one
// given as 0; the others read their value only.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>

#include "text/byte_buffer.h"
#include "text/text.h"
#include "text/text_array.h"

namespace quillmark {

// ---- Slicing (bytes only: may cut a two-byte character in two) ----

// The number of bytes.
int textLength(const Text& text);
// The first min(n, L) bytes; empty when n <= 0.
Text leftText(const Text& text, int n);
// The last min(n, L) bytes; empty when n <= 0.
Text rightText(const Text& text, int n);
// Bytes start..min(start+n-1, L); empty when start < 1, start > L or n <= 0.
// A start below 1 is not moved to 1.
Text midText(const Text& text, int start, int n);

// ---- Searching (character-aware) ----

// First position of `sub` wholly inside the region, or -1.
// Region: bytes max(start,1)..L when `start` is given, else 1..L; empty when
// that start is above L. An empty `sub` gives 1 for a non-empty region and -1
// for an empty one. With `foldCase`, A-Z equal a-z; every other byte must match.
int findText(const Text& text, const Text& sub, std::optional<int> start = std::nullopt,
             bool foldCase = false);
// Last position the forward scan meets of `sub` wholly inside the region, or
// -1. Region: bytes 1..min(start-1, L) when `start` is given (empty when
// start <= 1), else 1..L. Empty `sub`: as findText.
int findTextReverse(const Text& text, const Text& sub, std::optional<int> start = std::nullopt,
                    bool foldCase = false);

// ---- Case and spaces (character-aware) ----

// a-z become A-Z; a byte 0x80..0xFF is copied together with the byte after
// it unchanged, even when that byte is a letter.
Text toUpper(const Text& text);
// Removes the leading, then the trailing run of space items (0x20, and the
// full-width space 0xA1 0xA1 when it is a whole character). Tab, CR, LF and
// all other bytes stay. A final lead byte without its second byte is removed
// and the spaces before it stay.
Text trimSpaces(const Text& text);
// The bytes trimSpaces keeps, as a part of `bytes` (no copy): for routines
// that trim many short pieces of one long text.
std::string_view trimmedSpaces(std::string_view bytes);

// ---- Replacing and splitting (character-aware) ----

// Replaces non-overlapping matches of `sub` from `start` on (omitted or < 1:
// 1), at most `count` of them (omitted or negative: no limit), matching with
// A-Z folding unless `caseSensitive`. Unchanged when the text or `sub` is
// empty, start > L, or count == 0. Inserted replacements are never searched
// again. A final lead byte that the scan reaches is dropped.
Text replaceText(const Text& text, const Text& sub, const Text& replacement = Text(),
                 std::optional<int> start = std::nullopt, std::optional<int> count = std::nullopt,
                 bool caseSensitive = false);
// Splits at every exact match of `delimiter` (omitted: ","), keeping empty
// items between delimiters and before the first one, never yielding an empty
// last item after a final delimiter. Empty text or maxCount 0 (negative counts
// as 0): no items. Empty delimiter: one item, the whole text. Once `maxCount`
// items exist the rest is discarded. A final lead byte ends the scan.
TextArray splitText(const Text& text, const Text& delimiter = Text(","),
                    std::optional<int> maxCount = std::nullopt);

// ---- Joining, comparing, filling ----

// The texts one after another; the result ends before the first zero byte
// that a part holds (parts taken from Texts hold none).
Text concatText(std::initializer_list<std::string_view> parts);
template <class... More>
Text concatText(const Text& a, const Text& b, const More&... more) {
  return concatText({a.view(), b.view(), Text(more).view()...});
}
// Byte-wise unsigned comparison: negative, 0 or positive; a proper prefix is
// the smaller.
int compareText(const Text& a, const Text& b);
// n spaces; empty when n <= 0.
Text blankText(int n);

// ---- Characters and numbers ----

// The byte at `position` as a signed value (-128..127); 0 outside 1..L.
int charCode(const Text& text, int position = 1);
// A one-byte Text holding the low 8 bits of `code`; empty when they are 0.
Text charFromCode(int code);
// Decimal, "-" before a negative number, no padding.
Text toText(int n);
// Upper-case hexadecimal of n as unsigned 32 bits, no prefix or leading zeros.
Text toHexText(int n);
// Full-width forms to ASCII first (0xA3 0xA1..0xFE, 0xA1 0xA1, 0xA1 0xAB,
// 0xA1 0xEE/0xEF), then skips white space (0x09..0x0D, 0x20), reads one
// optional sign and decimal digits, wrapping in 32 bits. No digits: 0.
int toInt(const Text& text);
inline int toInt(int n) { return n; }
// The low 8 bits.
std::uint8_t toByte(int n);
// Remainder of a / b on real numbers with the sign of a. b == 0 is fatal
// (code 0, "不能求余数于零").
double modulo(double a, double b);
// Bitwise and of all arguments.
int bitAnd(std::initializer_list<int> values);
template <class... More>
int bitAnd(int a, int b, More... more) {
  return bitAnd({a, b, static_cast<int>(more)...});
}
// v shifted left by k mod 32 bits (the low five bits of k, so that -1 counts
// as 31); the bits shifted out are lost, never undefined.
int shiftLeft(int v, int k);
// v shifted right by k mod 32 bits (as for shiftLeft), the sign bit copied in.
int shiftRight(int v, int k);

// ---- Bytes ----

int bytesLength(const ByteBuffer& bytes);
// The bytes of the text; empty text, empty buffer.
ByteBuffer textToBytes(const Text& text);
// The bytes before the first zero byte; all of them when there is none.
Text bytesToText(const ByteBuffer& bytes);
// n zero bytes; empty when n <= 0.
ByteBuffer blankBytes(int n);
// `start` clamped to 1..length+1, negative n counts as 0; then the
// min(n, length-start+1) bytes from start.
ByteBuffer midBytes(const ByteBuffer& bytes, int start, int n);
// The buffers one after another.
ByteBuffer concatBytes(std::initializer_list<std::string_view> parts);
template <class... More>
ByteBuffer concatBytes(const ByteBuffer& a, const ByteBuffer& b, const More&... more) {
  return concatBytes({a.view(), b.view(), more.view()...});
}

}  // namespace quillmark
