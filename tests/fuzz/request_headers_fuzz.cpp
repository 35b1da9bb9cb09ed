// Header block preparation with arbitrary blocks, URLs and lines: completing
// a block with default headers, capitalising its names, and taking a line
// apart into name and value. A selector byte picks the routine.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "text/primitives.h"
#include "web/request_headers.h"

namespace quillmark::fuzz {
namespace {

bool lead(std::string_view s, std::size_t p) { return static_cast<unsigned char>(s[p]) >= 0x80; }

// The 0-based offset of the first ":" that starts a character of the walk
// from byte 0, or npos.
std::size_t firstColon(std::string_view line) {
  for (std::size_t p = 0; p < line.size(); p += lead(line, p) ? 2 : 1)
    if (line[p] == ':') return p;
  return std::string_view::npos;
}

// A line with its name capitalised: the first byte of the name and the first
// byte after each "-" of it, when a-z, become A-Z.
std::string capitalisedLine(std::string_view line, std::size_t colon) {
  std::string out(line);
  bool partStart = true;
  for (std::size_t p = 0; p < colon; p += lead(line, p) ? 2 : 1) {
    if (partStart && out[p] >= 'a' && out[p] <= 'z') out[p] = static_cast<char>(out[p] - 32);
    partStart = line[p] == '-';
  }
  return out;
}

void checkNormalize(const Text& block) {
  const Text normalized = normalizeHeaderNames(block);
  std::string want;
  for (const Text& line : splitText(block, Text("\r\n"))) {
    const std::size_t colon = firstColon(line.view());
    if (colon == std::string_view::npos) continue;
    want += capitalisedLine(line.view(), colon);
    want += "\r\n";
  }
  if (!want.empty()) want.resize(want.size() - 2);
  require(normalized.view() == want, "normalizeHeaderNames differs from capitalising each kept line");
  // Normalising again changes nothing: the kept lines all have a colon.
  require(normalizeHeaderNames(normalized) == normalized, "normalizeHeaderNames is not idempotent");
}

void checkDefaults(const Text& block, const Text& url, int method) {
  const Text completed = addDefaultHeaders(block, url, method);
  const std::string_view s = completed.view();
  require(s.substr(0, block.view().size()) == block.view(), "addDefaultHeaders changed the block it was given");
  struct Default {
    const char* key;
    std::string line;
  };
  const std::vector<Default> defaults = {
      {"Accept:", "\r\nAccept: */*"},
      {"Referer:", std::string("\r\nReferer: ") + std::string(url.view())},
      {"Accept-Language:", "\r\nAccept-Language: zh-cn"},
      {"User-Agent:", "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"},
  };
  std::string want(block.view());
  for (const Default& d : defaults)
    if (findText(Text(want), Text(d.key), std::nullopt, true) == -1) want += d.line;
  if (method == 1 && findText(Text(want), Text("Content-Type:"), std::nullopt, true) == -1)
    want += "\r\nContent-Type: application/x-www-form-urlencoded";
  require(s == want, "addDefaultHeaders differs from appending the missing defaults in order");
  for (const Default& d : defaults)
    require(findText(completed, Text(d.key), std::nullopt, true) != -1, "a default key is still missing");
  // Completing a completed block adds nothing.
  require(addDefaultHeaders(completed, url, method) == completed, "addDefaultHeaders is not idempotent");
}

void checkLine(const Text& line) {
  const Text name = headerName(line);
  const Text value = headerValue(line);
  const std::size_t colon = firstColon(line.view());
  if (colon == std::string_view::npos) {
    require(name.empty() && value.empty(), "a line without a colon has a name or value");
    return;
  }
  const Text before(line.view().substr(0, colon));
  const Text after(line.view().substr(colon + 1));
  require(name == trimSpaces(before), "headerName is not the trimmed text before the first colon");
  require(value == trimSpaces(after), "headerValue is not the trimmed text after the first colon");
  require(before.view().find(name.view()) != std::string_view::npos, "headerName is not part of the name");
  require(after.view().find(value.view()) != std::string_view::npos, "headerValue is not part of the value");
  const Text capitalised = capitalizeFirst(line);
  require(capitalised.length() == line.length(), "capitalizeFirst changed the length");
}

}  // namespace
}  // namespace quillmark::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillmark;
  fuzz::FuzzInput in(data, size);
  const std::uint8_t selector = in.byte();
  switch (selector % 3) {
    case 0: {
      const int method = in.byte() % 8;
      const Text url = in.text();
      const Text block = in.restText();
      fuzz::checkDefaults(block, url, method);
      fuzz::checkNormalize(addDefaultHeaders(block, url, method));
      break;
    }
    case 1: fuzz::checkNormalize(in.restText()); break;
    default: {
      const Text block = in.restText();
      fuzz::checkLine(block);
      for (const Text& line : splitText(block, Text("\r\n"))) fuzz::checkLine(line);
      break;
    }
  }
  return 0;
}
