#include "web/cookies.h"

#include <string>
#include <unordered_set>

#include "text/helpers.h"
#include "text/primitives.h"

namespace quillmark {
namespace {

const Text kSeparator("; ");
const Text kDeletedMark("=deleted");

// Trims the string and gives a final ";" the space that makes it a separator.
void prepareCookieString(Text& cookies) {
  cookies = trimSpaces(cookies);
  if (rightText(cookies, 1) == Text(";")) cookies = concatText(cookies, Text(" "));
}

}  // namespace

Text cookieName(const Text& item) {
  const int equals = findText(item, Text("="));
  return trimSpaces(equals == -1 ? item : leftText(item, equals - 1));
}

bool hasCookieName(const TextArray& items, const Text& name) {
  for (const Text& item : items)
    if (cookieName(item) == name) return true;
  return false;
}

Text mergeCookies(Text& sent, Text& returned) {
  prepareCookieString(sent);
  prepareCookieString(returned);
  TextArray merged = splitText(returned, kSeparator);

  // A sent item joins when no item already in the merged list has its name.
  // The names seen so far are kept in a set, so the merge stays linear.
  std::unordered_set<std::string> names;
  for (const Text& item : merged) names.insert(cookieName(item).bytes());
  for (const Text& item : splitText(sent, kSeparator)) {
    if (names.insert(cookieName(item).bytes()).second) merged.append(item);
  }

  std::string joined;
  for (const Text& item : merged) {
    if (rightText(item, kDeletedMark.length()) == kDeletedMark) continue;
    joined.append(item.view()).append(kSeparator.view());
  }
  if (!joined.empty()) joined.resize(joined.size() - kSeparator.view().size());

  sent = dedupeItems(Text(std::move(joined)), kSeparator, true);
  return sent;
}

}  // namespace quillmark
