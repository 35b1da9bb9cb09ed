// Cookie strings and merging the cookies a response set into those sent.
//
// A cookie string is a Text of items separated by "; " (a semicolon and one
// space). An item is name "=" value; its name is the text before the first
// "=", space-trimmed, and case counts. An item ending in "=deleted" marks a
// deleted cookie. A ";" without a space after it stays inside its item.
#pragma once

#include "text/text.h"
#include "text/text_array.h"

namespace quillmark {

// Merges `returned` into `sent`: both are first space-trimmed, with a space
// added after a final ";". The result holds the returned items in their
// order, then each sent item whose name no earlier item has; items ending in
// "=deleted" are dropped, and of identical items only the first stays.
// `sent` is set to the result (and `returned` to its trimmed form); the
// result is also returned. Both empty: empty.
Text mergeCookies(Text& sent, Text& returned);

// The item's name: the bytes before the first "=", or the whole item when
// there is none, space-trimmed. '=5' has the empty name.
Text cookieName(const Text& item);

// True when some item's cookieName equals `name` byte for byte; false for an
// empty array.
bool hasCookieName(const TextArray& items, const Text& name);

}  // namespace quillmark
