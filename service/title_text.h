// The title of a logo as the characters to draw: the code page 936 bytes of
// the request decoded, with the characters no font draws made visible.
//
// Pure: no Qt, no state; the decoding is the platform's code page 936
// conversion (undecodable bytes become U+FFFD).
#pragma once

#include <string>
#include <string_view>

namespace quillmark::service {

// The UTF-16 characters of `titleGbk`. Undecodable bytes give U+FFFD;
// characters that code page 936 sends to the private-use area (0xFF, say, or
// its user-defined double bytes) also give U+FFFD, since no font has them;
// control characters (C0, DEL and C1, a zero byte included) give a blank. The
// result never holds more characters than the input has bytes, and is empty
// for an empty input.
std::u16string decodeTitle(std::string_view titleGbk);

}  // namespace quillmark::service
