// Small image files made in the test, in the formats the picture box shows.
//
// Qt writes PNG, JPEG, BMP and ICO; GIF, cursor and PCX files are put
// together byte by byte here. Every image is filled from one pattern, so a
// test can check pixels of what was decoded.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>

namespace quillmark::test {

// A width x height image whose pixel (x, y) is patternColour(x, y).
QImage patternImage(int width, int height);
// Red grows with x, green with y (both repeat every 16 pixels), blue is fixed.
QColor patternColour(int x, int y);

// The file bytes of `image` written by Qt's writer for `format` ("png",
// "jpeg", "bmp", "ico").
QByteArray writeWithQt(const QImage& image, const char* format);
// An ICO file from Qt's writer turned into a cursor file: type 2 and the hot
// spot in the directory entry.
QByteArray cursorFile(const QImage& image, int hotSpotX, int hotSpotY);
// A GIF89a file of `image` with a 256-colour table; at most 250 pixels.
QByteArray gifFile(const QImage& image);
// A run-length encoded PCX file of `image`: 8 bits per pixel with the
// 256-colour palette at the end (colours reduced to the image's own, at most
// 256), or 24 bits in three planes.
QByteArray pcx8File(const QImage& image);
QByteArray pcx24File(const QImage& image);

}  // namespace quillmark::test
