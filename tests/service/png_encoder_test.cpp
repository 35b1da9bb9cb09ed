#include "service/png_encoder.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <random>
#include <string>

#include "service/logo_renderer.h"

namespace quillmark::service {
namespace {

QImage decoded(const std::string& png) {
  QImage image;
  image.loadFromData(reinterpret_cast<const uchar*>(png.data()), static_cast<int>(png.size()), "PNG");
  return image.convertToFormat(QImage::Format_RGB32);
}

QImage noise(int width, int height, unsigned seed) {
  QImage image(width, height, QImage::Format_RGB32);
  std::mt19937 random(seed);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) image.setPixel(x, y, qRgb(random() % 256, random() % 256, random() % 256));
  return image;
}

// Pixels a decoder reads back exactly: flat areas, runs of every length,
// noise (literals only), repeated pixels, edges of every size.
TEST(EncodeRgbPng, DecodesToTheSamePixels) {
  std::vector<std::pair<const char*, QImage>> images;
  for (const char* name : {"zm-1-205.png", "kc-96.png", "fn-2-3.png", "nonsense"}) {
    LogoRequest request;
    request.templateName = name;
    request.titleGbk = "Logo \xb5\xda\xc8\xfd";
    images.emplace_back(name, renderLogoImage(request));
  }
  images.emplace_back("noise", noise(123, 45, 1));
  images.emplace_back("one pixel", noise(1, 1, 2));
  images.emplace_back("one wide row", noise(2000, 1, 3));
  images.emplace_back("one tall column", noise(1, 300, 4));
  QImage stripes(300, 50, QImage::Format_RGB32);
  stripes.fill(Qt::white);
  {
    QPainter painter(&stripes);
    for (int i = 0; i < 40; ++i) painter.fillRect(i * 7, i % 13, i % 9 + 1, 30, QColor(i * 6, 255 - i * 6, (i * 37) % 256));
  }
  images.emplace_back("stripes", stripes);
  QImage argb(20, 20, QImage::Format_ARGB32);
  argb.fill(qRgba(10, 20, 30, 255));
  images.emplace_back("another format", argb);
  for (const auto& [what, image] : images) {
    SCOPED_TRACE(what);
    const std::string png = encodeRgbPng(image);
    ASSERT_FALSE(png.empty());
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(decoded(png), image.convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(encodeRgbPng(image), png);  // deterministic
  }
}

TEST(EncodeRgbPng, ANullImageGivesNothing) { EXPECT_TRUE(encodeRgbPng(QImage()).empty()); }

}  // namespace
}  // namespace quillmark::service
