#include "web/request_headers.h"

#include <string_view>

#include "text/char_scan.h"
#include "text/primitives.h"

namespace quillmark {
namespace {

struct DefaultHeader {
  const char* key;
  const char* line;
};

constexpr DefaultHeader kDefaultHeaders[] = {
    {"Accept:", "\r\nAccept: */*"},
    {"Referer:", "\r\nReferer: "},
    {"Accept-Language:", "\r\nAccept-Language: zh-cn"},
    {"User-Agent:", "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"},
};
constexpr DefaultHeader kDefaultContentType = {
    "Content-Type:", "\r\nContent-Type: application/x-www-form-urlencoded"};
constexpr int kMethodPost = 1;

// findText(block, key, start 1, folded) != -1, on the bytes as they stand:
// the block of a long batch runs to many kilobytes and is not copied for it.
bool containsFolded(std::string_view block, std::string_view key) {
  scan::CharacterStarts starts(block, 0);
  return scan::findForward(block, 0, block.size(), key, true, starts) != scan::npos;
}

// The 1-based position of the first ":" of a line (findText), or -1.
int colonOf(std::string_view line) {
  scan::CharacterStarts starts(line, 0);
  const std::size_t found = scan::findForward(line, 0, line.size(), ":", false, starts);
  return found == scan::npos ? -1 : static_cast<int>(found) + 1;
}

}  // namespace

Text addDefaultHeaders(const Text& block, const Text& url, int method) {
  std::string result(block.view());
  for (const DefaultHeader& header : kDefaultHeaders) {
    // Each key is looked for in the block as it stands, defaults added so far included.
    if (containsFolded(result, header.key)) continue;
    result.append(header.line);
    if (header.line == kDefaultHeaders[1].line) result.append(url.view());
  }
  if (method == kMethodPost && !containsFolded(result, kDefaultContentType.key))
    result.append(kDefaultContentType.line);
  return Text(std::move(result));
}

Text capitalizeFirst(const Text& text) {
  if (text.empty()) return text;
  return concatText(toUpper(leftText(text, 1)), midText(text, 2, text.length()));
}

// Upper-cases the first byte of the name and the first byte after each "-"
// of it: the same as splitting the name at "-", capitalising each part and
// joining them again, but without losing a trailing "-" and keeping the
// line's length. The walk steps over two-byte characters, so a "-" is only
// ever seen where a split at "-" would find it.
Text normalizeHeaderNames(const Text& block) {
  std::string result;
  result.reserve(static_cast<size_t>(block.length()));
  // The lines of splitText(block, "\r\n"), walked in place.
  scan::SplitItems lines(block.view(), "\r\n");
  std::string_view line;
  while (lines.next(line)) {
    const int colon = colonOf(line);
    if (colon == -1) continue;
    const size_t lineStart = result.size();
    result.append(line);
    bool partStart = true;
    for (size_t i = 0; i + 1 < static_cast<size_t>(colon);) {
      char& byte = result[lineStart + i];
      const auto value = static_cast<unsigned char>(byte);
      if (partStart && value >= 'a' && value <= 'z') byte = static_cast<char>(value - 0x20);
      partStart = value == '-';
      i += value >= 0x80 ? 2 : 1;
    }
    result.append("\r\n");
  }
  if (!result.empty()) result.resize(result.size() - 2);
  return Text(std::move(result));
}

// Both trim their part of the line in place and copy only what they keep:
// webRequest calls them for every line of a block.
Text headerName(const Text& line) {
  const int colon = colonOf(line.view());
  if (colon == -1) return Text();
  return Text(trimmedSpaces(line.view().substr(0, static_cast<size_t>(colon - 1))));
}

Text headerValue(const Text& line) {
  const int colon = colonOf(line.view());
  if (colon == -1) return Text();
  return Text(trimmedSpaces(line.view().substr(static_cast<size_t>(colon))));
}

}  // namespace quillmark
