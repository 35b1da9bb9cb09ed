// Decoding PCX images, which Qt has no reader for.
//
// A PCX file is a 128-byte header followed by run-length encoded scan lines
// and, for 256-colour images, a palette at the end of the file. The decoder
// is written for bytes from anywhere: it never reads outside the input and
// refuses dimensions it cannot back with the data it was given.
#pragma once

#include <QByteArrayView>
#include <QImage>

namespace quillmark::platform {

// Largest image the decoder makes, in pixels (width times height).
inline constexpr qint64 kPcxMaxPixels = qint64{1} << 24;

// Whether `bytes` start like a PCX file: manufacturer byte 0x0A, version
// 0, 2, 3, 4 or 5, encoding 1 (run-length) and 1, 2, 4 or 8 bits per pixel
// per plane. Needs at least those four bytes; says nothing of the rest.
bool looksLikePcx(QByteArrayView bytes) noexcept;

// The image held by `bytes`, or a null QImage when they are no PCX image the
// decoder handles. Handled: 8 bits per pixel with 1 plane (the 256-colour
// palette that follows a 0x0C byte at the end of the file, grey levels when
// there is none), 8 bits with 3 planes (RGB) or 4 planes (RGB and alpha),
// and 1, 2 or 4 bits per pixel with planes making at most 4 bits per pixel
// (the 16-colour header palette; 1 bit with 1 plane is black and white).
// Null as well when the header is cut short, the window is inverted, a
// scan line is shorter than the width needs, the image exceeds
// kPcxMaxPixels, or the encoded data ends before the last scan line.
QImage decodePcx(QByteArrayView bytes);

}  // namespace quillmark::platform
