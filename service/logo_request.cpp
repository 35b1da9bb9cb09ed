#include "service/logo_request.h"

namespace quillmark::service {

std::optional<std::string_view> cookieValue(std::string_view cookieText, std::string_view name) {
  constexpr std::string_view separator = "; ";
  std::size_t start = 0;
  while (start <= cookieText.size()) {
    std::size_t end = cookieText.find(separator, start);
    if (end == std::string_view::npos) end = cookieText.size();
    const std::string_view item = cookieText.substr(start, end - start);
    const std::size_t equals = item.find('=');
    if (equals != std::string_view::npos && item.substr(0, equals) == name)
      return item.substr(equals + 1);
    if (end == cookieText.size()) break;
    start = end + separator.size();
  }
  return std::nullopt;
}

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

Rgb colorOr(std::optional<std::string_view> text, Rgb fallback) {
  if (!text) return fallback;
  return parseHexColor(*text).value_or(fallback);
}

}  // namespace

std::optional<Rgb> parseHexColor(std::string_view text) {
  if (text.size() != 6) return std::nullopt;
  std::uint8_t channels[3] = {};
  for (std::size_t i = 0; i < 3; ++i) {
    const int high = hexDigit(text[2 * i]);
    const int low = hexDigit(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    channels[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return Rgb{channels[0], channels[1], channels[2]};
}

ParsedLogoRequest parseLogoRequest(std::optional<std::string_view> cookieHeader) {
  ParsedLogoRequest parsed;
  if (!cookieHeader) {
    parsed.error = LogoRequestError::missingCookie;
    return parsed;
  }
  const std::string_view cookie = cookieHeader->substr(0, cookieHeader->find('\0'));
  const auto title = cookieValue(cookie, "txt");
  if (!title) {
    parsed.error = LogoRequestError::missingTitle;
    return parsed;
  }
  if (title->size() > kMaxTitleBytes) {
    parsed.error = LogoRequestError::titleTooLong;
    return parsed;
  }
  parsed.request.titleGbk = std::string(*title);
  parsed.request.templateName = std::string(cookieValue(cookie, "tu").value_or(""));
  parsed.request.textColor = colorOr(cookieValue(cookie, "txtcolor"), kDefaultTextColor);
  parsed.request.accentColor = colorOr(cookieValue(cookie, "minicolor"), kDefaultAccentColor);
  return parsed;
}

}  // namespace quillmark::service
