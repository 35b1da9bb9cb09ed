// A PNG encoder made for the service's logos: 8-bit RGB, no alpha, one IDAT
// chunk, the "Up" filter on every row, and a deflate stream of one block
// with the fixed Huffman codes whose only matches repeat the previous byte
// or pixel. Logos are mostly flat colour, so after the filter they are
// mostly runs of zero bytes: this writes them several times faster than a
// general PNG writer, at a somewhat larger size.
//
// The output is deterministic: the same pixels always give the same bytes
// (no time stamp, no text chunks, a fixed 72 dpi resolution).
#pragma once

#include <QImage>

#include <string>

namespace quillmark::service {

// The PNG bytes of `image` (any format, converted to RGB32 first; alpha is
// dropped). Empty for a null image, one too large for a PNG chunk, or when
// memory runs out; never throws.
std::string encodeRgbPng(const QImage& image);

}  // namespace quillmark::service
