// What one logo request asks for, read from the Cookie header the tool sends.
//
// The tool names everything in its Cookie text: "tu" the icon template file
// name, "txt" the title as code page 936 bytes, "txtcolor" and "minicolor"
// the title and accent colours as six hex digits. Items are separated by
// "; "; an item's name is the bytes before its first "=", its value the bytes
// after it. Every other byte is an ordinary byte, with one exception: a zero
// byte ends the Cookie text (the HTTP layer hands a header value over only up
// to its first zero byte, and the parser reads the same way). Bytes are never
// percent-decoded. Parsing is pure: no Qt, no I/O, no exceptions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillmark::service {

// A colour as three 8-bit channels.
struct Rgb {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kDefaultTextColor{0x44, 0x44, 0x44};
inline constexpr Rgb kDefaultAccentColor{0x66, 0x66, 0x66};

// The longest title, in bytes, that the service draws.
inline constexpr std::size_t kMaxTitleBytes = 1000;

struct LogoRequest {
  std::string templateName;  // as sent; may be empty or of no known form
  std::string titleGbk;      // code page 936 bytes, possibly invalid, at most kMaxTitleBytes
  Rgb textColor = kDefaultTextColor;
  Rgb accentColor = kDefaultAccentColor;
};

enum class LogoRequestError {
  none,
  missingCookie,  // no Cookie header at all
  missingTitle,   // a Cookie without a "txt" item
  titleTooLong,   // "txt" longer than kMaxTitleBytes
};

struct ParsedLogoRequest {
  LogoRequestError error = LogoRequestError::none;
  LogoRequest request;  // meaningful only when error is none
};

// The value of the first item called `name` (byte-exact) in `cookieText`, or
// nothing when no item has that name. An item without "=" has no value and
// never matches. An empty value is a value: "txt=" gives "".
std::optional<std::string_view> cookieValue(std::string_view cookieText, std::string_view name);

// Exactly six hex digits (either case) as a colour; anything else (shorter,
// longer, a leading "#", a non-hex byte) gives nothing.
std::optional<Rgb> parseHexColor(std::string_view text);

// Reads a request from its Cookie header (nothing when the request has none),
// up to its first zero byte. A missing or malformed colour takes its default;
// a missing "tu" gives an empty template name. An empty "txt" is a valid,
// empty title.
ParsedLogoRequest parseLogoRequest(std::optional<std::string_view> cookieHeader);

}  // namespace quillmark::service
