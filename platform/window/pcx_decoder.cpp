#include "platform/window/pcx_decoder.h"

#include <array>
#include <vector>

namespace quillmark::platform {
namespace {

constexpr qsizetype kHeaderSize = 128;
constexpr qsizetype kPaletteSize = 768;  // 256 RGB triples after the 0x0C marker

unsigned byteAt(QByteArrayView bytes, qsizetype offset) noexcept {
  return static_cast<unsigned char>(bytes[offset]);
}

unsigned wordAt(QByteArrayView bytes, qsizetype offset) noexcept {
  return byteAt(bytes, offset) | (byteAt(bytes, offset + 1) << 8);
}

// Expands the run-length encoded data from `position` into `line` until the
// line is full. A run may carry over into the next line, as some writers let
// it; `pendingValue`/`pendingCount` keep what is left of it. False when the
// data ends first.
struct RunDecoder {
  QByteArrayView bytes;
  qsizetype position = kHeaderSize;
  unsigned pendingValue = 0;
  unsigned pendingCount = 0;

  bool fill(std::vector<unsigned char>& line) {
    size_t filled = 0;
    while (filled < line.size()) {
      if (pendingCount == 0) {
        if (position >= bytes.size()) return false;
        const unsigned code = byteAt(bytes, position++);
        if ((code & 0xC0) == 0xC0) {
          if (position >= bytes.size()) return false;
          pendingCount = code & 0x3F;
          pendingValue = byteAt(bytes, position++);
          continue;
        }
        pendingValue = code;
        pendingCount = 1;
      }
      line[filled++] = static_cast<unsigned char>(pendingValue);
      --pendingCount;
    }
    return true;
  }
};

}  // namespace

bool looksLikePcx(QByteArrayView bytes) noexcept {
  if (bytes.size() < 4) return false;
  const unsigned version = byteAt(bytes, 1);
  const unsigned bitsPerPixel = byteAt(bytes, 3);
  return byteAt(bytes, 0) == 0x0A &&
         (version == 0 || version == 2 || version == 3 || version == 4 || version == 5) &&
         byteAt(bytes, 2) == 1 &&
         (bitsPerPixel == 1 || bitsPerPixel == 2 || bitsPerPixel == 4 || bitsPerPixel == 8);
}

QImage decodePcx(QByteArrayView bytes) {
  if (!looksLikePcx(bytes) || bytes.size() < kHeaderSize) return {};
  const unsigned bitsPerPixel = byteAt(bytes, 3);
  const unsigned xMin = wordAt(bytes, 4);
  const unsigned yMin = wordAt(bytes, 6);
  const unsigned xMax = wordAt(bytes, 8);
  const unsigned yMax = wordAt(bytes, 10);
  const unsigned planes = byteAt(bytes, 65);
  const unsigned bytesPerLine = wordAt(bytes, 66);
  if (xMax < xMin || yMax < yMin) return {};
  const qint64 width = qint64{xMax} - xMin + 1;
  const qint64 height = qint64{yMax} - yMin + 1;
  if (width * height > kPcxMaxPixels) return {};

  const bool trueColour = bitsPerPixel == 8 && (planes == 3 || planes == 4);
  const bool paletted256 = bitsPerPixel == 8 && planes == 1;
  const bool planar16 = bitsPerPixel < 8 && planes >= 1 && bitsPerPixel * planes <= 4;
  if (!trueColour && !paletted256 && !planar16) return {};
  if (qint64{bytesPerLine} * 8 < width * bitsPerPixel) return {};

  // Two encoded bytes give at most 63 decoded ones: data that cannot possibly
  // fill the image is refused before anything is allocated for it.
  const qint64 lineBytes = qint64{bytesPerLine} * planes;
  const qint64 encodedBytes = bytes.size() - kHeaderSize;
  if (lineBytes * height > (encodedBytes / 2 + 1) * 63) return {};

  std::array<QRgb, 256> palette{};
  if (paletted256) {
    const qsizetype marker = bytes.size() - kPaletteSize - 1;
    const bool hasPalette = marker >= kHeaderSize && byteAt(bytes, marker) == 0x0C;
    for (unsigned i = 0; i < 256; ++i) {
      palette[i] = hasPalette ? qRgb(static_cast<int>(byteAt(bytes, marker + 1 + 3 * i)),
                                     static_cast<int>(byteAt(bytes, marker + 2 + 3 * i)),
                                     static_cast<int>(byteAt(bytes, marker + 3 + 3 * i)))
                              : qRgb(static_cast<int>(i), static_cast<int>(i), static_cast<int>(i));
    }
  } else if (planar16) {
    for (unsigned i = 0; i < 16; ++i) {
      palette[i] = qRgb(static_cast<int>(byteAt(bytes, 16 + 3 * i)),
                        static_cast<int>(byteAt(bytes, 17 + 3 * i)),
                        static_cast<int>(byteAt(bytes, 18 + 3 * i)));
    }
    if (bitsPerPixel == 1 && planes == 1) {
      palette[0] = qRgb(0, 0, 0);
      palette[1] = qRgb(255, 255, 255);
    }
  }

  QImage image(static_cast<int>(width), static_cast<int>(height),
               planes == 4 && trueColour ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  if (image.isNull()) return {};
  std::vector<unsigned char> line(static_cast<size_t>(lineBytes));
  RunDecoder runs{bytes};
  for (int y = 0; y < image.height(); ++y) {
    if (!runs.fill(line)) return {};
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      const auto ux = static_cast<size_t>(x);
      if (trueColour) {
        const int alpha = planes == 4 ? line[3 * bytesPerLine + ux] : 255;
        out[x] = qRgba(line[ux], line[bytesPerLine + ux], line[2 * bytesPerLine + ux], alpha);
      } else if (paletted256) {
        out[x] = palette[line[ux]];
      } else {
        // Each plane gives bitsPerPixel bits of the colour index, lowest plane first.
        const size_t bit = ux * bitsPerPixel;
        const unsigned shift = 8 - bitsPerPixel - static_cast<unsigned>(bit % 8);
        const unsigned mask = (1u << bitsPerPixel) - 1;
        unsigned index = 0;
        for (unsigned p = 0; p < planes; ++p) {
          index |= ((line[p * bytesPerLine + bit / 8] >> shift) & mask) << (p * bitsPerPixel);
        }
        out[x] = palette[index];
      }
    }
  }
  return image;
}

}  // namespace quillmark::platform
