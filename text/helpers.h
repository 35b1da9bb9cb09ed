// Text extraction helpers, written on the primitives.
//
// Lines of a multi-line text, the text before, after or between delimiters,
// de-duplicated item lists, the split of a text into characters, the position
// of an item, and a chain of up to five replacements. None of them fails: an
// edge gives the empty Text, -1 or 0. Their optional parameters are read by
// value only, except the count of replaceMany.
#pragma once

#include <optional>

#include "text/primitives.h"

namespace quillmark {

// Line feeds (0x0A) in the text, plus 1 when the text is not empty and does
// not end with one. The empty text has 0 lines.
int countLines(const Text& text);
// Item n of splitText(text, "\r\n"); empty when n < 1 or n > the item count.
Text lineAt(const Text& text, int n);

// The bytes before an occurrence of `delimiter`; empty when none is found.
// start > 0: the first at or after `start`; 0: the first; < 0 with k = -start
// (k 1 counts as 0): the last within bytes 1..L-k-1 (a reverse search from
// L-k).
Text textBefore(const Text& text, const Text& delimiter, int start = 0, bool foldCase = false);
// The bytes after an occurrence of `delimiter`; empty when none is found.
// start >= 0: the last found by a reverse search from L-start (with 0, one
// ending at the last byte is not considered: 'a=b=' gives 'b='); start < 0:
// the first at or after byte -start.
Text textAfter(const Text& text, const Text& delimiter, int start = 0, bool foldCase = false);
// The bytes between the first `left` from `start` on and the first `right`
// after it; "#引号" in either delimiter stands for a double quote. Empty when
// either is missing.
Text textBetween(const Text& text, const Text& left, const Text& right, int start = 0,
                 bool foldCase = false);

// The items (splitText at `separator`, or splitChars when !splitAtSeparator)
// with repeats removed, first order kept, joined by `separator`.
Text dedupeItems(const Text& text, const Text& separator, bool splitAtSeparator);
// Replaces `items` by the characters of the text: two bytes for a byte 0x81
// and up that is not last, CR LF as one item, otherwise one byte. Returns the
// number of items.
int splitChars(const Text& text, TextArray& items);
// First position whose item equals `text` byte for byte; -1 when none.
int indexOfItem(const TextArray& items, const Text& text);

// Applies up to five (find, replacement) pairs in order with replaceText,
// each to the result of the one before. start 0 counts as 1; `count`, when
// given, limits each pair separately; caseSensitive false folds A-Z. An empty
// find changes nothing; an empty replacement deletes.
Text replaceMany(const Text& text, std::optional<int> count, int start, bool caseSensitive,
                 const Text& find1, const Text& replacement1, const Text& find2 = Text(),
                 const Text& replacement2 = Text(), const Text& find3 = Text(),
                 const Text& replacement3 = Text(), const Text& find4 = Text(),
                 const Text& replacement4 = Text(), const Text& find5 = Text(),
                 const Text& replacement5 = Text());

}  // namespace quillmark
