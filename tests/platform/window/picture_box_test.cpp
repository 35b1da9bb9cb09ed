#include "platform/window/picture_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPixmap>

#include "support/test_images.h"

namespace quillmark::platform {
namespace {

class PictureBoxTest : public testing::Test {
 protected:
  PictureBoxTest() {
    box.resize(376, 104);
    blank = box.grab().toImage();
  }

  // True when every pixel of `image` outside `except` equals the blank box.
  bool blankOutside(const QImage& image, const QRect& except) const {
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        if (!except.contains(x, y) && image.pixel(x, y) != blank.pixel(x, y)) return false;
      }
    }
    return true;
  }

  PictureBox box;
  QImage blank;
};

TEST_F(PictureBoxTest, DrawsNothingOfItsOwnWhileBlank) {
  for (int y = 0; y < blank.height(); ++y) {
    for (int x = 0; x < blank.width(); ++x) {
      ASSERT_EQ(blank.pixel(x, y), blank.pixel(0, 0)) << "a border or mark at " << x << "," << y;
    }
  }
  EXPECT_EQ(box.focusPolicy(), Qt::NoFocus);
  EXPECT_TRUE(box.picture().isEmpty());
}

TEST_F(PictureBoxTest, ShowsASmallImageCentredAtItsOwnSize) {
  box.setPicture(test::writeWithQt(test::patternImage(40, 20), "png"));
  EXPECT_EQ(box.imageRect(), QRect(168, 42, 40, 20));
  const QImage shown = box.grab().toImage();
  EXPECT_EQ(shown.pixelColor(168, 42), test::patternColour(0, 0));
  EXPECT_EQ(shown.pixelColor(168 + 39, 42 + 19), test::patternColour(39, 19));
  EXPECT_TRUE(blankOutside(shown, box.imageRect()));
}

TEST_F(PictureBoxTest, ScalesALargeImageDownToFitWholeAndCentred) {
  QImage wide(752, 104, QImage::Format_RGB32);  // twice the box's width
  wide.fill(Qt::red);
  box.setPicture(test::writeWithQt(wide, "bmp"));
  EXPECT_EQ(box.imageRect(), QRect(0, 26, 376, 52));

  QImage tall(100, 416, QImage::Format_RGB32);  // four times the box's height
  tall.fill(Qt::green);
  box.setPicture(test::writeWithQt(tall, "png"));
  EXPECT_EQ(box.imageRect(), QRect(175, 0, 25, 104));
  const QImage shown = box.grab().toImage();
  EXPECT_EQ(shown.pixelColor(187, 52), QColor(Qt::green));
  EXPECT_TRUE(blankOutside(shown, box.imageRect()));
}

TEST_F(PictureBoxTest, KeepsBytesThatAreNoImageAndShowsNothing) {
  box.setPicture(test::writeWithQt(test::patternImage(10, 10), "png"));
  ASSERT_FALSE(box.image().isNull());
  const QByteArray page("<html>\0\r\n\xFF\xFE</html>", 17);
  box.setPicture(page);
  EXPECT_EQ(box.picture(), page);
  EXPECT_TRUE(box.image().isNull());
  EXPECT_TRUE(box.imageRect().isEmpty());
  EXPECT_EQ(box.grab().toImage(), blank);
}

TEST_F(PictureBoxTest, AnEmptyPictureBlanksTheBox) {
  box.setPicture(test::writeWithQt(test::patternImage(10, 10), "png"));
  box.setPicture(QByteArray());
  EXPECT_TRUE(box.picture().isEmpty());
  EXPECT_EQ(box.grab().toImage(), blank);
}

TEST_F(PictureBoxTest, HandsBackTheExactBytesOfAnImage) {
  QByteArray png = test::writeWithQt(test::patternImage(10, 10), "png");
  png.append("trailing bytes after the image");
  box.setPicture(png);
  EXPECT_EQ(box.picture(), png);
  EXPECT_FALSE(box.image().isNull());
}

}  // namespace
}  // namespace quillmark::platform
