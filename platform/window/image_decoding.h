// Telling image files apart by their first bytes, and decoding them.
//
// The picture box shows PNG, JPEG, BMP, GIF, Windows icon and cursor files
// and PCX images. The kind is decided by the first bytes alone, and the
// bytes are then decoded as that kind only: bytes that merely resemble some
// other format Qt can read are never shown.
#pragma once

#include <QByteArrayView>
#include <QImage>

namespace quillmark::platform {

enum class ImageKind { None, Png, Jpeg, Bmp, Gif, Icon, Cursor, Pcx };

// The kind the first bytes announce: 0x89 "PNG"; 0xFF 0xD8; "BM"; "GIF87a"
// or "GIF89a"; 00 00 01 00 (icon); 00 00 02 00 (cursor); a PCX header start
// (see looksLikePcx). None for anything else, the empty input included.
ImageKind detectImageKind(QByteArrayView bytes) noexcept;

// The image `bytes` hold, decoded as the kind detectImageKind gives them;
// for icons and cursors the first image of the file, for GIF the first
// frame. A null QImage when the kind is None, the bytes fail to decode, or
// the image would take more than kPcxMaxPixels 32-bit pixels of memory.
QImage decodeImage(QByteArrayView bytes);

}  // namespace quillmark::platform
