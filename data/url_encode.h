// Percent-encoding of a Text, byte by byte, for query texts and header values.
#pragma once

#include "text/text.h"

namespace quillmark {

// Each byte of `text` (of its UTF-8 form, ansiToUtf8, when `toUtf8`) becomes
// "%" and its value in two upper-case hexadecimal digits ('%20', '%0A',
// '%FF'). With `keepUnreserved`, exactly 64 bytes are kept as they are: the
// letters A-Z and a-z, the digits 0-9, '-' and '.'; '/', '_', '~', '*', '+',
// '!' and every other byte are still encoded. A space is '%20', never '+'.
// A double-byte character gives one escape per byte. The empty text gives
// the empty text, whatever the options, before any conversion.
Text urlEncode(const Text& text, bool keepUnreserved = false, bool toUtf8 = false);

}  // namespace quillmark
