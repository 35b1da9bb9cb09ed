#include "platform/window/image_decoding.h"

#include <QBuffer>
#include <QImageReader>

#include "platform/window/pcx_decoder.h"

namespace quillmark::platform {
namespace {

// 32-bit pixels of the largest image shown, the same cap as for PCX.
constexpr int kMaxImageMegabytes = static_cast<int>(kPcxMaxPixels * 4 / (1024 * 1024));

bool startsWith(QByteArrayView bytes, QByteArrayView prefix) noexcept {
  return bytes.size() >= prefix.size() && bytes.first(prefix.size()) == prefix;
}

QImage readWithQt(QByteArrayView bytes, const char* format) {
  // Read where the bytes are: a large file is not copied to be decoded.
  QByteArray view = QByteArray::fromRawData(bytes.data(), bytes.size());
  QBuffer buffer(&view);
  if (!buffer.open(QIODevice::ReadOnly)) return {};
  QImageReader reader(&buffer, format);
  reader.setDecideFormatFromContent(false);
  reader.setAllocationLimit(kMaxImageMegabytes);
  return reader.read();
}

}  // namespace

ImageKind detectImageKind(QByteArrayView bytes) noexcept {
  if (startsWith(bytes, "\x89PNG")) return ImageKind::Png;
  if (startsWith(bytes, "\xFF\xD8")) return ImageKind::Jpeg;
  if (startsWith(bytes, "BM")) return ImageKind::Bmp;
  if (startsWith(bytes, "GIF87a") || startsWith(bytes, "GIF89a")) return ImageKind::Gif;
  if (startsWith(bytes, QByteArrayView("\0\0\1\0", 4))) return ImageKind::Icon;
  if (startsWith(bytes, QByteArrayView("\0\0\2\0", 4))) return ImageKind::Cursor;
  if (looksLikePcx(bytes)) return ImageKind::Pcx;
  return ImageKind::None;
}

QImage decodeImage(QByteArrayView bytes) {
  switch (detectImageKind(bytes)) {
    case ImageKind::Png: return readWithQt(bytes, "png");
    case ImageKind::Jpeg: return readWithQt(bytes, "jpeg");
    case ImageKind::Bmp: return readWithQt(bytes, "bmp");
    case ImageKind::Gif: return readWithQt(bytes, "gif");
    // Qt's icon reader takes cursor files as well; their hot spot, which
    // stands where an icon keeps planes and bit count, is ignored there.
    case ImageKind::Icon:
    case ImageKind::Cursor: return readWithQt(bytes, "ico");
    case ImageKind::Pcx: return decodePcx(bytes);
    case ImageKind::None: break;
  }
  return {};
}

}  // namespace quillmark::platform
