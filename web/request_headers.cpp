#include "web/request_headers.h"

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

bool containsFolded(const Text& block, const char* key) {
  return findText(block, Text(key), std::nullopt, true) != -1;
}

}  // namespace

Text addDefaultHeaders(const Text& block, const Text& url, int method) {
  std::string result(block.view());
  for (const DefaultHeader& header : kDefaultHeaders) {
    // Each key is looked for in the block as it stands, defaults added so far included.
    if (containsFolded(Text(result), header.key)) continue;
    result.append(header.line);
    if (header.line == kDefaultHeaders[1].line) result.append(url.view());
  }
  if (method == kMethodPost && !containsFolded(Text(result), kDefaultContentType.key))
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
  for (const Text& line : splitText(block, Text("\r\n"))) {
    const int colon = findText(line, Text(":"));
    if (colon == -1) continue;
    const size_t lineStart = result.size();
    result.append(line.view());
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

Text headerName(const Text& line) {
  const int colon = findText(line, Text(":"));
  if (colon == -1) return Text();
  return trimSpaces(leftText(line, colon - 1));
}

Text headerValue(const Text& line) {
  const int colon = findText(line, Text(":"));
  if (colon == -1) return Text();
  return trimSpaces(midText(line, colon + 1, line.length()));
}

}  // namespace quillmark
