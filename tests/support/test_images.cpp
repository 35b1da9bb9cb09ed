#include "support/test_images.h"

#include <QBuffer>
#include <QList>

#include <vector>

namespace quillmark::test {
namespace {

void appendWord(QByteArray& out, int value) {
  out.append(static_cast<char>(value & 0xFF));
  out.append(static_cast<char>((value >> 8) & 0xFF));
}

// Run-length encodes one line of PCX data: runs of up to 63 equal bytes, and
// every single byte of 0xC0 or above as a run of one, as the format demands.
void appendRunLength(QByteArray& out, const std::vector<unsigned char>& line) {
  size_t i = 0;
  while (i < line.size()) {
    size_t run = 1;
    while (i + run < line.size() && run < 63 && line[i + run] == line[i]) ++run;
    if (run > 1 || line[i] >= 0xC0) out.append(static_cast<char>(0xC0 | run));
    out.append(static_cast<char>(line[i]));
    i += run;
  }
}

QByteArray pcxHeader(const QImage& image, int planes, int bytesPerLine) {
  QByteArray header(128, '\0');
  header[0] = 0x0A;
  header[1] = 5;
  header[2] = 1;
  header[3] = 8;
  header[8] = static_cast<char>((image.width() - 1) & 0xFF);
  header[9] = static_cast<char>((image.width() - 1) >> 8);
  header[10] = static_cast<char>((image.height() - 1) & 0xFF);
  header[11] = static_cast<char>((image.height() - 1) >> 8);
  header[65] = static_cast<char>(planes);
  header[66] = static_cast<char>(bytesPerLine & 0xFF);
  header[67] = static_cast<char>(bytesPerLine >> 8);
  header[68] = 1;
  return header;
}

}  // namespace

QColor patternColour(int x, int y) { return QColor(30 + 14 * (x % 16), 30 + 14 * (y % 16), 200); }

QImage patternImage(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) image.setPixelColor(x, y, patternColour(x, y));
  }
  return image;
}

QByteArray writeWithQt(const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format, 100);
  return bytes;
}

QByteArray cursorFile(const QImage& image, int hotSpotX, int hotSpotY) {
  QByteArray bytes = writeWithQt(image.convertToFormat(QImage::Format_ARGB32), "ico");
  bytes[2] = 2;
  bytes[6 + 4] = static_cast<char>(hotSpotX);
  bytes[6 + 5] = 0;
  bytes[6 + 6] = static_cast<char>(hotSpotY);
  bytes[6 + 7] = 0;
  return bytes;
}

QByteArray gifFile(const QImage& image) {
  QList<QRgb> colours;
  std::vector<int> indexes;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb colour = image.pixel(x, y) | 0xFF000000u;
      qsizetype index = colours.indexOf(colour);
      if (index < 0) {
        index = colours.size();
        colours.append(colour);
      }
      indexes.push_back(static_cast<int>(index));
    }
  }
  QByteArray out("GIF89a");
  appendWord(out, image.width());
  appendWord(out, image.height());
  out.append(static_cast<char>(0xF7));  // global table of 256 colours
  out.append('\0').append('\0');
  for (int i = 0; i < 256; ++i) {
    const QRgb colour = i < colours.size() ? colours[i] : 0;
    out.append(static_cast<char>(qRed(colour)))
        .append(static_cast<char>(qGreen(colour)))
        .append(static_cast<char>(qBlue(colour)));
  }
  out.append(',');
  appendWord(out, 0);
  appendWord(out, 0);
  appendWord(out, image.width());
  appendWord(out, image.height());
  out.append('\0');
  // LZW with 9-bit codes that never grow: a clear code, every pixel as its
  // own literal code, the end code. Fine for fewer than 254 pixels.
  out.append(static_cast<char>(8));
  std::vector<int> codes{256};
  codes.insert(codes.end(), indexes.begin(), indexes.end());
  codes.push_back(257);
  QByteArray packed;
  unsigned bits = 0;
  int bitCount = 0;
  for (int code : codes) {
    bits |= static_cast<unsigned>(code) << bitCount;
    bitCount += 9;
    while (bitCount >= 8) {
      packed.append(static_cast<char>(bits & 0xFF));
      bits >>= 8;
      bitCount -= 8;
    }
  }
  if (bitCount > 0) packed.append(static_cast<char>(bits & 0xFF));
  for (qsizetype i = 0; i < packed.size(); i += 255) {
    const QByteArray block = packed.mid(i, 255);
    out.append(static_cast<char>(block.size())).append(block);
  }
  out.append('\0').append(';');
  return out;
}

QByteArray pcx8File(const QImage& image) {
  const int bytesPerLine = (image.width() + 1) / 2 * 2;
  QByteArray out = pcxHeader(image, 1, bytesPerLine);
  QList<QRgb> colours;
  for (int y = 0; y < image.height(); ++y) {
    std::vector<unsigned char> line(static_cast<size_t>(bytesPerLine), 0);
    for (int x = 0; x < image.width(); ++x) {
      const QRgb colour = image.pixel(x, y) | 0xFF000000u;
      qsizetype index = colours.indexOf(colour);
      if (index < 0) {
        index = colours.size();
        colours.append(colour);
      }
      line[static_cast<size_t>(x)] = static_cast<unsigned char>(index);
    }
    appendRunLength(out, line);
  }
  out.append(static_cast<char>(0x0C));
  for (int i = 0; i < 256; ++i) {
    const QRgb colour = i < colours.size() ? colours[i] : 0;
    out.append(static_cast<char>(qRed(colour)))
        .append(static_cast<char>(qGreen(colour)))
        .append(static_cast<char>(qBlue(colour)));
  }
  return out;
}

QByteArray pcx24File(const QImage& image) {
  const int bytesPerLine = (image.width() + 1) / 2 * 2;
  QByteArray out = pcxHeader(image, 3, bytesPerLine);
  for (int y = 0; y < image.height(); ++y) {
    std::vector<unsigned char> line(static_cast<size_t>(bytesPerLine) * 3, 0);
    for (int x = 0; x < image.width(); ++x) {
      const QRgb colour = image.pixel(x, y);
      const auto ux = static_cast<size_t>(x);
      const auto stride = static_cast<size_t>(bytesPerLine);
      line[ux] = static_cast<unsigned char>(qRed(colour));
      line[stride + ux] = static_cast<unsigned char>(qGreen(colour));
      line[2 * stride + ux] = static_cast<unsigned char>(qBlue(colour));
    }
    appendRunLength(out, line);
  }
  return out;
}

}  // namespace quillmark::test
