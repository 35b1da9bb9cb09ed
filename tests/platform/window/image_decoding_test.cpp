#include "platform/window/image_decoding.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QImage>
#include <functional>
#include <string>

#include "platform/window/pcx_decoder.h"
#include "support/test_images.h"

namespace quillmark::platform {
namespace {

using test::patternColour;
using test::patternImage;

struct KindCase {
  std::string bytes;
  ImageKind kind;
};

TEST(DetectImageKind, DecidesByTheFirstBytes) {
  const KindCase cases[] = {
      {"\x89PNG\r\n", ImageKind::Png},
      {"\x89PNX", ImageKind::None},
      {"\xFF\xD8", ImageKind::Jpeg},
      {"\xFF", ImageKind::None},
      {"BM", ImageKind::Bmp},
      {"B", ImageKind::None},
      {"GIF87a", ImageKind::Gif},
      {"GIF89a...", ImageKind::Gif},
      {"GIF88a", ImageKind::None},
      {"GIF8", ImageKind::None},
      {std::string("\0\0\1\0", 4), ImageKind::Icon},
      {std::string("\0\0\2\0", 4), ImageKind::Cursor},
      {std::string("\0\0\3\0", 4), ImageKind::None},
      {std::string("\0\0\1", 3), ImageKind::None},
      {"\x0A\x05\x01\x08", ImageKind::Pcx},
      {std::string("\x0A\x00\x01\x01", 4), ImageKind::Pcx},
      {"\x0A\x01\x01\x08", ImageKind::None},  // no such version
      {std::string("\x0A\x05\x00\x08", 4), ImageKind::None},  // not run-length encoded
      {"\x0A\x05\x01\x03", ImageKind::None},  // 3 bits per pixel
      {"\x0A\x05\x01", ImageKind::None},
      {"<html>", ImageKind::None},
      {"P1 2 2 0 1 1 0", ImageKind::None},  // a bitmap Qt could read, but not one of ours
      {"", ImageKind::None},
  };
  for (const KindCase& c : cases) {
    EXPECT_EQ(detectImageKind(QByteArrayView(c.bytes.data(), static_cast<qsizetype>(c.bytes.size()))),
              c.kind)
        << QByteArray::fromStdString(c.bytes).toHex().toStdString();
  }
}

struct FormatCase {
  const char* name;
  std::function<QByteArray(const QImage&)> write;
  ImageKind kind;
  int tolerance;  // per colour channel; JPEG is lossy
};

TEST(DecodeImage, DecodesEveryFormatItRecognises) {
  const FormatCase cases[] = {
      {"png", [](const QImage& i) { return test::writeWithQt(i, "png"); }, ImageKind::Png, 0},
      {"jpeg", [](const QImage& i) { return test::writeWithQt(i, "jpeg"); }, ImageKind::Jpeg, 12},
      {"bmp", [](const QImage& i) { return test::writeWithQt(i, "bmp"); }, ImageKind::Bmp, 0},
      {"gif", test::gifFile, ImageKind::Gif, 0},
      {"ico", [](const QImage& i) { return test::writeWithQt(i, "ico"); }, ImageKind::Icon, 0},
      {"cur", [](const QImage& i) { return test::cursorFile(i, 3, 200); }, ImageKind::Cursor, 0},
      {"pcx 8 bit", test::pcx8File, ImageKind::Pcx, 0},
      {"pcx 24 bit", test::pcx24File, ImageKind::Pcx, 0},
  };
  const QImage original = patternImage(15, 11);  // odd sizes: padded scan lines
  for (const FormatCase& c : cases) {
    SCOPED_TRACE(c.name);
    const QByteArray bytes = c.write(original);
    ASSERT_EQ(detectImageKind(bytes), c.kind);
    const QImage decoded = decodeImage(bytes);
    ASSERT_EQ(decoded.size(), original.size());
    for (int y = 0; y < decoded.height(); ++y) {
      for (int x = 0; x < decoded.width(); ++x) {
        const QColor got = decoded.pixelColor(x, y);
        const QColor want = patternColour(x, y);
        ASSERT_LE(std::abs(got.red() - want.red()), c.tolerance) << x << "," << y;
        ASSERT_LE(std::abs(got.green() - want.green()), c.tolerance) << x << "," << y;
        ASSERT_LE(std::abs(got.blue() - want.blue()), c.tolerance) << x << "," << y;
      }
    }
  }
}

TEST(DecodeImage, LeavesOtherBytesUndecoded) {
  const QByteArray png = test::writeWithQt(patternImage(4, 4), "png");
  const QByteArray cases[] = {
      QByteArray(),
      QByteArray("<html><body>Not found</body></html>"),
      QByteArray("P1 2 2 0 1 1 0"),                 // PBM: Qt reads it, the box does not
      QByteArray("BM") + png,                       // BMP signature over PNG data
      png.left(20),                                 // truncated
      QByteArray("GIF89a") + QByteArray(40, '\0'),  // a header and nothing
      QByteArray("\xFF\xD8\xFF\xE0", 4),
  };
  for (const QByteArray& bytes : cases) {
    EXPECT_TRUE(decodeImage(bytes).isNull()) << bytes.toHex().toStdString();
  }
}

// A PCX header with the given fields, followed by `data`.
QByteArray pcx(int bitsPerPixel, int planes, int width, int height, int bytesPerLine,
               const QByteArray& data) {
  QByteArray header(128, '\0');
  header[0] = 0x0A;
  header[1] = 5;
  header[2] = 1;
  header[3] = static_cast<char>(bitsPerPixel);
  header[8] = static_cast<char>((width - 1) & 0xFF);
  header[9] = static_cast<char>(((width - 1) >> 8) & 0xFF);
  header[10] = static_cast<char>((height - 1) & 0xFF);
  header[11] = static_cast<char>(((height - 1) >> 8) & 0xFF);
  header[65] = static_cast<char>(planes);
  header[66] = static_cast<char>(bytesPerLine & 0xFF);
  header[67] = static_cast<char>((bytesPerLine >> 8) & 0xFF);
  return header + data;
}

TEST(DecodePcx, ShowsSixteenColourPlanesWithTheHeaderPalette) {
  // 4 planes of 1 bit: pixel 0 has index 0b0101 = 5, pixel 1 index 0b1010 = 10.
  QByteArray file = pcx(1, 4, 2, 1, 2, QByteArray("\x80\x00\x40\x00\x80\x00\x40\x00", 8));
  file[16 + 3 * 5] = '\x11';
  file[16 + 3 * 10 + 2] = '\x22';
  const QImage image = decodePcx(file);
  ASSERT_EQ(image.size(), QSize(2, 1));
  EXPECT_EQ(image.pixel(0, 0), qRgb(0x11, 0, 0));
  EXPECT_EQ(image.pixel(1, 0), qRgb(0, 0, 0x22));
}

TEST(DecodePcx, ShowsOneBitImagesInBlackAndWhite) {
  const QImage image = decodePcx(pcx(1, 1, 3, 1, 2, QByteArray("\xA0\x00", 2)));
  ASSERT_EQ(image.size(), QSize(3, 1));
  EXPECT_EQ(image.pixel(0, 0), qRgb(255, 255, 255));
  EXPECT_EQ(image.pixel(1, 0), qRgb(0, 0, 0));
  EXPECT_EQ(image.pixel(2, 0), qRgb(255, 255, 255));
}

TEST(DecodePcx, GivesGreyLevelsWhenTheEndPaletteIsMissing) {
  const QImage image = decodePcx(pcx(8, 1, 2, 1, 2, QByteArray("\x10\x20", 2)));
  ASSERT_EQ(image.size(), QSize(2, 1));
  EXPECT_EQ(image.pixel(0, 0), qRgb(0x10, 0x10, 0x10));
  EXPECT_EQ(image.pixel(1, 0), qRgb(0x20, 0x20, 0x20));
}

TEST(DecodePcx, RefusesHeadersItCannotBack) {
  const QByteArray enough(4096, '\x01');
  QByteArray inverted = pcx(8, 1, 4, 4, 4, enough);
  inverted[4] = 9;  // xMin above xMax
  const QByteArray cases[] = {
      pcx(8, 1, 4, 4, 4, QByteArray()),             // no data at all
      pcx(8, 1, 4, 4, 4, QByteArray("\x01\x02")),  // data ends after two pixels
      pcx(8, 1, 4, 4, 4, QByteArray("\xC8", 1)),   // a run without its value
      pcx(8, 1, 4, 4, 3, enough),                   // scan line shorter than the width
      pcx(8, 2, 4, 4, 4, enough),                   // two planes of 8 bits
      pcx(4, 2, 4, 4, 4, enough),                   // 8 bits of index from 4-bit planes
      pcx(8, 1, 65536, 65536, 65535, enough),       // four thousand million pixels
      pcx(8, 1, 4096, 4097, 4096, enough),          // just over the pixel cap
      pcx(8, 3, 3000, 3000, 3000, enough),          // far more than the data can hold
      inverted,
      pcx(8, 1, 4, 4, 4, enough).left(100),         // header cut short
  };
  for (const QByteArray& bytes : cases) {
    EXPECT_TRUE(decodePcx(bytes).isNull()) << bytes.left(16).toHex().toStdString();
  }
}

TEST(DecodePcx, SurvivesEveryTruncationOfAValidFile) {
  for (const QByteArray& file : {test::pcx8File(patternImage(9, 7)), test::pcx24File(patternImage(9, 7))}) {
    for (qsizetype n = 0; n <= file.size(); ++n) {
      const QImage image = decodePcx(file.left(n));
      if (!image.isNull()) {
        EXPECT_EQ(image.size(), QSize(9, 7));
      }
    }
    EXPECT_FALSE(decodePcx(file).isNull());
  }
}

}  // namespace
}  // namespace quillmark::platform
