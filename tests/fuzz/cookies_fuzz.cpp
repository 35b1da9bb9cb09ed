// Cookie strings with arbitrary bytes: merging two of them, merging one with
// itself, and collecting the Set-Cookie lines of a response header text.
// A selector byte picks the case.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "text/helpers.h"
#include "text/primitives.h"
#include "web/cookies.h"
#include "web/web_request.h"

namespace quillmark::fuzz {
namespace {

const Text kSeparator("; ");

// The cookie string as merging first prepares it: space-trimmed, with a
// space after a final ";".
Text prepared(const Text& cookies) {
  Text out = trimSpaces(cookies);
  if (!out.empty() && out.view().back() == ';') out = concatText(out, Text(" "));
  return out;
}

bool deleted(const Text& item) {
  const std::string_view mark = "=deleted";
  return item.view().size() >= mark.size() && item.view().substr(item.view().size() - mark.size()) == mark;
}

// What merging a string with itself leaves: the removal rules alone, applied
// directly (items marked deleted dropped, identical items merged).
Text removalRulesApplied(const Text& cookies) {
  std::string kept;
  for (const Text& item : splitText(prepared(cookies), kSeparator)) {
    if (deleted(item)) continue;
    kept.append(item.view()).append("; ");
  }
  if (!kept.empty()) kept.resize(kept.size() - 2);
  return dedupeItems(Text(kept), kSeparator, true);
}

void checkSelfMerge(const Text& cookies) {
  Text sent = cookies;
  Text returned = cookies;
  const Text merged = mergeCookies(sent, returned);
  require(merged == sent, "mergeCookies: the result and the sent string differ");
  require(returned == prepared(cookies), "mergeCookies: the returned string is not its prepared form");
  require(merged == removalRulesApplied(cookies), "merging a string with itself changed more than the removal rules");
}

void checkMerge(const Text& sentIn, const Text& returnedIn) {
  Text sent = sentIn;
  Text returned = returnedIn;
  const Text merged = mergeCookies(sent, returned);
  require(merged == sent, "mergeCookies: the result and the sent string differ");
  require(returned == prepared(returnedIn), "mergeCookies: the returned string is not its prepared form");
  // The merge written out from its rules, with a plain look-up of names.
  TextArray list = splitText(returned, kSeparator);
  for (const Text& item : splitText(prepared(sentIn), kSeparator))
    if (!hasCookieName(list, cookieName(item))) list.append(item);
  std::string joined;
  for (const Text& item : list)
    if (!deleted(item)) joined.append(item.view()).append("; ");
  if (!joined.empty()) joined.resize(joined.size() - 2);
  require(merged == dedupeItems(Text(joined), kSeparator, true), "mergeCookies differs from its rules");
}

// The Set-Cookie collection written out from its rules.
Text collected(const Text& headers) {
  std::string out;
  for (const Text& line : splitText(headers, Text("\r\n"))) {
    if (textBefore(line, Text(": ")) != Text("Set-Cookie")) continue;
    Text cookie = findText(line, Text(";")) != -1 ? textBetween(line, Text("Set-Cookie:"), Text(";"))
                                                  : replaceText(line, Text("Set-Cookie:"));
    out.append(trimSpaces(cookie).view()).append("; ");
  }
  if (out.size() >= 2 && out.substr(out.size() - 2) == "; ") out.resize(out.size() - 2);
  return Text(out);
}

}  // namespace
}  // namespace quillmark::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillmark;
  fuzz::FuzzInput in(data, size);
  const std::uint8_t selector = in.byte();
  switch (selector % 3) {
    case 0: fuzz::checkSelfMerge(in.restText()); break;
    case 1: {
      const Text sent = in.text();
      fuzz::checkMerge(sent, in.restText());
      break;
    }
    default: {
      const Text headers = in.restText();
      const Text cookies = extractSetCookies(headers);
      fuzz::require(cookies == fuzz::collected(headers), "extractSetCookies differs from its rules");
      Text sent = cookies;
      Text returned = cookies;
      mergeCookies(sent, returned);
      break;
    }
  }
  return 0;
}
