// A PNG encoder made for the service's logos: 8-bit RGB, no alpha, one IDAT
// chunk, the "Up" filter on every row and zlib's fastest level with its
// run-length strategy. Logos are mostly flat colour, so this is about as
// small as the library's default encoder gives and several times faster.
//
// The output is deterministic: the same pixels always give the same bytes
// (no time stamp, no text chunks, a fixed 72 dpi resolution).
#pragma once

#include <QImage>

#include <string>

namespace quillmark::service {

// The PNG bytes of `image` (any format; alpha is dropped, each pixel taken
// as if drawn on black). Empty for a null image or when compression fails;
// never throws.
std::string encodeRgbPng(const QImage& image);

}  // namespace quillmark::service
