#include "text/helpers.h"

#include <algorithm>
#include <climits>
#include <string_view>
#include <unordered_set>

#include "text/allocation.h"
#include "text/char_scan.h"

namespace quillmark {
namespace {

// A value computed in 64 bits, brought back into the Integer range; used
// where negating or offsetting a caller's Integer could leave it.
int clampToInt(long long value) {
  return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

}  // namespace

int countLines(const Text& text) {
  const std::string_view bytes = text.view();
  if (bytes.empty()) return 0;
  const std::size_t feeds = scan::countByte(bytes, '\n');
  return static_cast<int>(feeds) + (bytes.back() == '\n' ? 0 : 1);
}

Text lineAt(const Text& text, int n) {
  // Item n of splitText(text, CR LF), found without building the others.
  if (n < 1 || text.empty()) return Text();
  scan::SplitItems split(text.view(), "\r\n");
  std::string_view item;
  for (int i = 1; split.next(item); ++i) {
    if (i == n) return Text(item);
  }
  return Text();
}

Text textBefore(const Text& text, const Text& delimiter, int start, bool foldCase) {
  int p;
  if (start > 0) {
    p = findText(text, delimiter, start, foldCase);
  } else if (start == 0) {
    p = findText(text, delimiter, 1, foldCase);
  } else {
    long long k = -static_cast<long long>(start);
    if (k == 1) k = 0;
    p = findTextReverse(text, delimiter, clampToInt(text.length() - k), foldCase);
  }
  if (p == -1) return Text();
  return leftText(text, p - 1);
}

Text textAfter(const Text& text, const Text& delimiter, int start, bool foldCase) {
  const int length = text.length();
  int p;
  if (start >= 0) {
    p = findTextReverse(text, delimiter, length - start, foldCase);
  } else {
    p = findText(text, delimiter, clampToInt(-static_cast<long long>(start)), foldCase);
  }
  if (p == -1) return Text();
  return rightText(text, length - delimiter.length() - p + 1);
}

Text textBetween(const Text& text, const Text& left, const Text& right, int start, bool foldCase) {
  static const Text quoteMark = gbk("#引号");
  const Text leftDelimiter = replaceText(left, quoteMark, Text("\""), std::nullopt, std::nullopt, true);
  const Text rightDelimiter = replaceText(right, quoteMark, Text("\""), std::nullopt, std::nullopt, true);
  const int p = findText(text, leftDelimiter, start, foldCase);
  if (p == -1) return Text();
  const int q = p + leftDelimiter.length();
  const int r = findText(text, rightDelimiter, q, foldCase);
  if (r == -1) return Text();
  return midText(text, q, r - q);
}

Text dedupeItems(const Text& text, const Text& separator, bool splitAtSeparator) {
  TextArray items;
  if (splitAtSeparator) {
    items = splitText(text, separator);
  } else {
    splitChars(text, items);
  }
  // Equal to keeping an item when indexOfItem finds it nowhere among the
  // items kept so far, with one hash look-up per item instead of a scan.
  std::unordered_set<std::string_view> seen;
  ByteOutput result;
  for (const Text& item : items) {
    const bool isNew =
        allocateOrFail(sizeof(std::string_view) * 4, [&] { return seen.insert(item.view()).second; });
    if (!isNew) continue;
    result.append(item.view());
    result.append(separator.view());
  }
  // The separator after the last kept item goes.
  const int keptLength = static_cast<int>(result.size()) - separator.length();
  return leftText(Text(result.take()), keptLength);
}

int splitChars(const Text& text, TextArray& items) {
  items.clear();
  const std::string_view bytes = text.view();
  std::size_t d = 0;
  while (d < bytes.size()) {
    std::size_t width = 1;
    if (d + 1 < bytes.size()) {
      const auto b = static_cast<unsigned char>(bytes[d]);
      if (b >= 0x81 || (b == '\r' && bytes[d + 1] == '\n')) width = 2;
    }
    items.append(Text(bytes.substr(d, width)));
    d += width;
  }
  return items.size();
}

int indexOfItem(const TextArray& items, const Text& text) {
  int position = 1;
  for (const Text& item : items) {
    if (item.view() == text.view()) return position;
    ++position;
  }
  return -1;
}

Text replaceMany(const Text& text, std::optional<int> count, int start, bool caseSensitive,
                 const Text& find1, const Text& replacement1, const Text& find2,
                 const Text& replacement2, const Text& find3, const Text& replacement3,
                 const Text& find4, const Text& replacement4, const Text& find5,
                 const Text& replacement5) {
  const int from = start == 0 ? 1 : start;
  const Text* pairs[5][2] = {{&find1, &replacement1},
                             {&find2, &replacement2},
                             {&find3, &replacement3},
                             {&find4, &replacement4},
                             {&find5, &replacement5}};
  Text result = text;
  for (const auto& pair : pairs) {
    result = replaceText(result, *pair[0], *pair[1], from, count, caseSensitive);
  }
  return result;
}

}  // namespace quillmark
