// Base64 encoding (RFC 4648 section 4) of a ByteBuffer.
#pragma once

#include "text/byte_buffer.h"
#include "text/text.h"

namespace quillmark {

// The standard alphabet with "+" and "/", "=" padding, no line breaks, four
// characters per started group of three bytes. Empty buffer: empty Text.
Text base64Encode(const ByteBuffer& bytes);

}  // namespace quillmark
