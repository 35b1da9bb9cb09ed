// Request header blocks: completing, capitalising and taking them apart.
//
// A header block is a Text of lines joined by CR LF, each a name, a colon and
// a value. Only CR LF separates lines; the first ":" of a line ends its name;
// empty lines and lines without ":" carry no header. The web request routine
// completes a block with default headers, capitalises its names and then
// hands it to the request object line by line.
#pragma once

#include "text/text.h"

namespace quillmark {

// Appends, in this order, each default line whose key a case-folded search
// finds nowhere in the block as it stands at that moment:
//   "Accept:"          -> CR LF "Accept: */*"
//   "Referer:"         -> CR LF "Referer: " url
//   "Accept-Language:" -> CR LF "Accept-Language: zh-cn"
//   "User-Agent:"      -> CR LF "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"
//   "Content-Type:"    -> CR LF "Content-Type: application/x-www-form-urlencoded" (method 1 only)
// A key inside a value or a longer name counts as present. `method` is the
// method index 0..7.
Text addDefaultHeaders(const Text& block, const Text& url, int method);

// Drops every line without ":" (empty lines included) and upper-cases the
// first byte of the name and the first byte after each "-" in it, when they
// are a-z. Every other byte stays; kept lines are joined by CR LF with none
// after the last. No kept line: the empty text.
Text normalizeHeaderNames(const Text& block);

// The text with its first byte upper-cased when it is a-z; same length.
Text capitalizeFirst(const Text& text);

// The bytes before the first ":", space-trimmed; empty when there is no ":".
Text headerName(const Text& line);
// The bytes after the first ":", space-trimmed; empty when there is no ":".
// A CR at the end is not a space and stays.
Text headerValue(const Text& line);

}  // namespace quillmark
