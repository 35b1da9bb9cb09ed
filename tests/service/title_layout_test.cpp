#include "service/title_layout.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <optional>
#include <string>

#include "platform/codepage.h"
#include "service/logo_renderer.h"

namespace quillmark::service {
namespace {

enum class Shape { oneLine, twoLines, elided, any };

struct TitleCase {
  const char* what;
  QString title;
  Shape shape;
  const char* joiner;  // what joins the two lines back into the title ("" or " "); null: not checked
};

QString u(const char* utf8) { return QString::fromUtf8(utf8); }

std::string toGbk(const QString& title) {
  const QByteArray utf8 = title.toUtf8();
  return platform::utf8ToGbk(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

// Whether every pixel of `image` in the rectangle is (near) white.
bool blank(const QImage& image, int left, int top, int right, int bottom) {
  for (int y = std::max(0, top); y < std::min(image.height(), bottom); ++y)
    for (int x = std::max(0, left); x < std::min(image.width(), right); ++x)
      if (qGray(image.pixel(x, y)) < 250) return false;
  return true;
}

TEST(FitTitle, TitlesStayInsideTheLogoAndAreCutOnlyWhenTwoLinesAreNotEnough) {
  const TitleCase cases[] = {
      {"short Latin", u("Quillmark"), Shape::oneLine, nullptr},
      {"a title that used to be cut", u("Northwind Studio"), Shape::oneLine, nullptr},
      {"short Chinese", u("晨光科技"), Shape::oneLine, nullptr},
      {"long Latin", u("Northwind Studio Creative Agency"), Shape::twoLines, " "},
      {"long Chinese", u("北京晨光科技有限公司第三方影院"), Shape::twoLines, ""},
      {"mixed", u("Quillmark 青山书屋 Blue Harbour 晨光"), Shape::twoLines, nullptr},
      {"one very long word", u("Pneumonoultramicroscopicsilicovolcanoconiosisandsupercalifragilistic"),
       Shape::elided, nullptr},
      {"very long Chinese", u("第三方影院").repeated(40), Shape::elided, nullptr},
      {"very long Latin", u("Blue Harbour Cafe ").repeated(20), Shape::elided, nullptr},
      {"characters the font lacks", u("ᚠᛇᚻ᛫ᛒᛦᚦ 𠀀𠀁 \xef\xbf\xbd"), Shape::any, nullptr},
      {"many characters the font lacks", u("ᚠᛇᚻ᛫ᛒᛦᚦ").repeated(12), Shape::elided, nullptr},
      {"tall marks", u("Ǻǻ ẤẦẪ ậ ặ ḉ"), Shape::oneLine, nullptr},
  };
  for (const TitleCase& c : cases) {
    SCOPED_TRACE(c.what);
    const FittedTitle fitted = fitTitle(c.title);
    EXPECT_GE(fitted.pixelSize, kTitleMinPixels);
    EXPECT_LE(fitted.pixelSize, kTitleBasePixels);
    // The ink lies in the room beside the icon: no glyph is cut.
    EXPECT_GE(fitted.inkBox.left(), kTitleLeft);
    EXPECT_LE(fitted.inkBox.right(), kTitleRight);
    EXPECT_GE(fitted.inkBox.top(), kTitleTop);
    EXPECT_LE(fitted.inkBox.bottom(), kTitleBottom);
    EXPECT_LE(fitted.accentY + 3, kTitleBottom);
    switch (c.shape) {
      case Shape::oneLine:
        ASSERT_EQ(fitted.lines.size(), 1u);
        EXPECT_EQ(fitted.lines[0], c.title);
        EXPECT_FALSE(fitted.elided);
        break;
      case Shape::twoLines:
        ASSERT_EQ(fitted.lines.size(), 2u);
        EXPECT_FALSE(fitted.elided);
        EXPECT_LE(fitted.pixelSize, kTitleTwoLinePixels);
        if (c.joiner != nullptr) {
          EXPECT_EQ(fitted.lines[0] + QString::fromLatin1(c.joiner) + fitted.lines[1], c.title);
        }
        break;
      case Shape::elided:
        ASSERT_EQ(fitted.lines.size(), 2u);
        EXPECT_TRUE(fitted.elided);
        EXPECT_EQ(fitted.pixelSize, kTitleMinPixels);
        EXPECT_TRUE(fitted.lines[1].endsWith(QChar(0x2026)));
        EXPECT_TRUE(c.title.startsWith(fitted.lines[0]));
        break;
      case Shape::any:
        EXPECT_FALSE(fitted.lines.empty());
        break;
    }
  }
}

TEST(FitTitle, TheLargestSizeThatFitsIsChosen) {
  const FittedTitle shortTitle = fitTitle(u("Logo"));
  EXPECT_EQ(shortTitle.pixelSize, kTitleBasePixels);
  // Longer titles on one line are drawn smaller, never below the minimum.
  const FittedTitle longer = fitTitle(u("Northwind Studio"));
  const FittedTitle longest = fitTitle(u("Northwind Studios"));
  EXPECT_LT(longer.pixelSize, kTitleBasePixels);
  EXPECT_LE(longest.pixelSize, longer.pixelSize);
  // Filled nearly to the edge: one pixel more would not have fitted.
  EXPECT_GT(longer.textWidth * (longer.pixelSize + 1) / longer.pixelSize, kTitleRight - kTitleLeft);
}

TEST(FitTitle, BlankTitlesDrawNothing) {
  for (const QString& title : {QString(), u("   ")}) {
    const FittedTitle fitted = fitTitle(title);
    EXPECT_EQ(fitted.pixelSize, 0);
    EXPECT_TRUE(fitted.lines.empty());
    EXPECT_TRUE(fitted.outline.isEmpty());
  }
}

TEST(RenderLogo, TheDrawnTitleStaysInsideTheRoomBesideTheIcon) {
  for (const QString& title :
       {u("Quillmark"), u("Northwind Studio Creative Agency and Partners"), u("北京晨光科技有限公司第三方影院青山书屋"),
        u("第三方影院").repeated(40), u("Pneumonoultramicroscopicsilicovolcanoconiosisandsupercalifragilistic"),
        u("gjpqy ÅÉÎ 晨光 Qg")}) {
    SCOPED_TRACE(title.toStdString());
    LogoRequest request;
    request.templateName = "zm-1-205.png";
    request.titleGbk = toGbk(title);
    const QImage logo = renderLogoImage(request);
    ASSERT_FALSE(logo.isNull());
    // Right of the room, and above and below it beside the icon, all is white
    // (one pixel of antialiasing allowed).
    EXPECT_TRUE(blank(logo, kTitleRight + 1, 0, kLogoWidth, kLogoHeight));
    EXPECT_TRUE(blank(logo, 130, 0, kLogoWidth, kTitleTop - 1));
    EXPECT_TRUE(blank(logo, 130, kTitleBottom + 1, kLogoWidth, kLogoHeight));
    // And something was drawn there.
    EXPECT_FALSE(blank(logo, kTitleLeft, kTitleTop, kTitleRight, kTitleBottom));
  }
}

}  // namespace
}  // namespace quillmark::service
