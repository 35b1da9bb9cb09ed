// The logo service's reading of a request, with arbitrary bytes: the Cookie
// header (its items, the colours, the title limit, zero bytes), colours
// alone, icon template names, and titles in code page 936 decoded for
// drawing. A selector byte picks the case.
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "service/icon_design.h"
#include "service/logo_request.h"
#include "service/title_text.h"

namespace quillmark::fuzz {
namespace {

namespace sv = quillmark::service;

bool isHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

void checkColor(std::string_view text) {
  const std::optional<sv::Rgb> color = sv::parseHexColor(text);
  bool allHex = text.size() == 6;
  for (const char c : text) allHex = allHex && isHex(c);
  require(color.has_value() == allHex, "parseHexColor accepts exactly six hex digits");
  if (!color) return;
  require(color->red == hexValue(text[0]) * 16 + hexValue(text[1]) &&
              color->green == hexValue(text[2]) * 16 + hexValue(text[3]) &&
              color->blue == hexValue(text[4]) * 16 + hexValue(text[5]),
          "parseHexColor reads the digits in order");
}

// The value of item `name` written out from the rules: items split at "; ",
// the name before the first "=", the first matching item wins.
std::optional<std::string_view> itemValue(std::string_view cookie, std::string_view name) {
  for (std::size_t start = 0;;) {
    const std::size_t end = cookie.find("; ", start);
    const std::string_view item = cookie.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    const std::size_t equals = item.find('=');
    if (equals != std::string_view::npos && item.substr(0, equals) == name) return item.substr(equals + 1);
    if (end == std::string_view::npos) return std::nullopt;
    start = end + 2;
  }
}

void checkCookie(std::string_view header) {
  const sv::ParsedLogoRequest parsed = sv::parseLogoRequest(header);
  const std::string_view cookie = header.substr(0, header.find('\0'));
  const std::optional<std::string_view> title = itemValue(cookie, "txt");
  require(sv::cookieValue(cookie, "txt") == title, "cookieValue differs from its rules");
  if (!title) {
    require(parsed.error == sv::LogoRequestError::missingTitle, "a Cookie without txt is not reported");
    return;
  }
  if (title->size() > sv::kMaxTitleBytes) {
    require(parsed.error == sv::LogoRequestError::titleTooLong, "a long title is not reported");
    return;
  }
  require(parsed.error == sv::LogoRequestError::none, "a valid Cookie is refused");
  require(parsed.request.titleGbk == *title, "the title is not the txt value");
  require(parsed.request.templateName == itemValue(cookie, "tu").value_or(""), "the template is not the tu value");
  const auto colorOr = [&](const char* name, sv::Rgb fallback) {
    const std::optional<std::string_view> value = itemValue(cookie, name);
    return value ? sv::parseHexColor(*value).value_or(fallback) : fallback;
  };
  require(parsed.request.textColor == colorOr("txtcolor", sv::kDefaultTextColor), "wrong title colour");
  require(parsed.request.accentColor == colorOr("minicolor", sv::kDefaultAccentColor), "wrong accent colour");
}

bool within(double value, double low, double high) { return std::isfinite(value) && value >= low && value <= high; }

void checkTemplate(std::string_view name) {
  const sv::IconDesign design = sv::iconDesignFor(name);
  const sv::IconDesign again = sv::iconDesignFor(name);
  require(design.family == again.family && design.seed == again.seed && design.count == again.count &&
              design.rotation == again.rotation && design.extras == again.extras,
          "iconDesignFor is not deterministic");
  const bool known = !sv::templatePrefix(name).empty();
  require(known == (design.family != sv::IconFamily::fallback), "fallback iff the name has no known form");
  require(sv::iconFamilyOf(name) == design.family, "iconFamilyOf and iconDesignFor disagree");
  if (!known) {
    require(design.count == 0 && design.hue == 0 && design.ratio == 0, "the fallback design is not all zero");
    return;
  }
  require(design.count > 0, "a known design has no parts");
  require(within(design.rotation, 0, 360) && design.rotation < 360, "rotation out of range");
  require(within(design.hue, 0, 360) && design.hue < 360, "hue out of range");
  require(within(design.hueShift, 30, 210), "hue shift out of range");
  require(within(design.saturation, 0.45, 0.9), "saturation out of range");
  require(within(design.value, 0.6, 0.9), "value out of range");
  require(within(design.ratio, 0.3, 0.7), "ratio out of range");
  for (const double x : design.extras) require(within(x, 0, 1) && x < 1, "an extra out of range");
}

void checkTitle(std::string_view bytes) {
  const std::u16string title = sv::decodeTitle(bytes);
  require(title.size() <= bytes.size(), "more characters than bytes");
  require(bytes.empty() == title.empty(), "an empty title iff no bytes");
  for (const char16_t c : title) {
    require(!(c < 0x20 || (c >= 0x7f && c < 0xa0)), "a control character is left");
    require(!(c >= 0xe000 && c <= 0xf8ff), "a private-use character is left");
  }
}

}  // namespace
}  // namespace quillmark::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillmark;
  fuzz::FuzzInput in(data, size);
  const std::uint8_t selector = in.byte();
  const std::string rest = in.rest();
  switch (selector % 4) {
    case 0: fuzz::checkCookie(rest); break;
    case 1: fuzz::checkColor(rest); break;
    case 2: fuzz::checkTemplate(rest); break;
    default: fuzz::checkTitle(rest); break;
  }
  return 0;
}
