#include "service/logo_renderer.h"

#include <QColor>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "service/png_encoder.h"
#include "service/title_layout.h"
#include "service/title_text.h"

namespace quillmark::service {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kIconSize = 120;
constexpr double kIconInset = 12.0;  // white margin around the icon in its square

double radians(double degrees) { return degrees * kPi / 180.0; }

QColor hsv(double hue, double saturation, double value) {
  const double wrapped = std::fmod(std::fmod(hue, 360.0) + 360.0, 360.0);
  return QColor::fromHsvF(static_cast<float>(wrapped / 360.0), static_cast<float>(saturation),
                          static_cast<float>(value));
}

QColor mixColors(const QColor& a, const QColor& b, double t) {
  return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * t),
                          static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * t),
                          static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * t));
}

QColor toQColor(Rgb rgb) { return QColor(rgb.red, rgb.green, rgb.blue); }

struct Palette {
  QColor main;
  QColor second;
  QColor light;
};

Palette paletteOf(const IconDesign& d) {
  return {hsv(d.hue, d.saturation, d.value), hsv(d.hue + d.hueShift, d.saturation, d.value * 0.9),
          hsv(d.hue, d.saturation * 0.22, 0.98)};
}

// Every family draws in a box from -50 to 50 on both axes, centred on 0.

void drawRosette(QPainter& p, const IconDesign& d, const Palette& c) {
  p.setBrush(c.light);
  p.drawEllipse(QPointF(0, 0), 48, 48);
  p.setBrush(c.main);
  const double length = 14 + 12 * d.ratio;
  const double width = std::min(length * 0.7, 120.0 / d.count);
  for (int i = 0; i < d.count; ++i) {
    p.save();
    p.rotate(d.rotation + 360.0 * i / d.count);
    p.drawEllipse(QPointF(0, -(20 + length * 0.7)), width, length);
    p.restore();
  }
  p.setBrush(c.second);
  p.drawEllipse(QPointF(0, 0), 13 + 8 * d.extras[0], 13 + 8 * d.extras[0]);
}

QPolygonF regularPolygon(int sides, double radius, double rotation) {
  QPolygonF polygon;
  for (int i = 0; i < sides; ++i) {
    const double angle = radians(rotation + 360.0 * i / sides - 90.0);
    polygon << QPointF(radius * std::cos(angle), radius * std::sin(angle));
  }
  return polygon;
}

void drawPolygons(QPainter& p, const IconDesign& d, const Palette& c) {
  const QColor colors[] = {c.main, c.light, c.second, c.light};
  const int rings = 3 + static_cast<int>(d.extras[0] * 2);
  double radius = 48;
  for (int i = 0; i < rings; ++i) {
    p.setBrush(colors[i % 4]);
    p.drawPolygon(regularPolygon(d.count, radius, d.rotation + i * 180.0 / d.count * d.extras[1]));
    radius *= 0.62 + 0.18 * d.ratio;
  }
}

void drawStar(QPainter& p, const IconDesign& d, const Palette& c) {
  QPolygonF star;
  const double inner = 48 * d.ratio;
  for (int i = 0; i < 2 * d.count; ++i) {
    const double angle = radians(d.rotation + 180.0 * i / d.count);
    const double r = (i % 2 == 0) ? 48 : inner;
    star << QPointF(r * std::cos(angle), r * std::sin(angle));
  }
  p.setBrush(c.main);
  p.drawPolygon(star);
  p.setBrush(c.light);
  p.drawEllipse(QPointF(0, 0), inner * 0.7, inner * 0.7);
  p.setBrush(c.second);
  p.drawEllipse(QPointF(0, 0), inner * 0.4, inner * 0.4);
}

void drawFigure(QPainter& p, const IconDesign& d, const Palette& c) {
  p.setBrush(c.second);
  for (int i = 0; i < d.count; ++i) {
    const double angle = radians(d.rotation + 360.0 * i / d.count);
    const double r = 2.5 + 2.5 * d.extras[static_cast<std::size_t>(i) % 8];
    p.drawEllipse(QPointF(44 * std::cos(angle), 44 * std::sin(angle)), r, r);
  }
  p.setBrush(c.light);
  p.drawEllipse(QPointF(0, 0), 36, 36);
  p.setBrush(c.main);
  const double head = 9 + 5 * d.ratio;
  p.drawEllipse(QPointF(0, -10), head, head);
  QPainterPath shoulders;
  const double half = 16 + 10 * d.extras[9];
  shoulders.moveTo(-half, 28);
  shoulders.cubicTo(-half, 6 + head * 0.5, half, 6 + head * 0.5, half, 28);
  shoulders.closeSubpath();
  p.drawPath(shoulders);
}

void drawLeaves(QPainter& p, const IconDesign& d, const Palette& c) {
  const double spread = 50 + 110 * d.ratio;
  const double tilt = (d.rotation / 360.0 - 0.5) * 30.0;
  p.setPen(QPen(c.second, 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(0, 44), QPointF(0, 30));
  p.setPen(Qt::NoPen);
  for (int i = 0; i < d.count; ++i) {
    const double t = d.count == 1 ? 0.5 : static_cast<double>(i) / (d.count - 1);
    const double length = 52 + 22 * d.extras[static_cast<std::size_t>(i)];
    const double bulge = 9 + 8 * d.extras[static_cast<std::size_t>(i) + 8];
    p.save();
    p.translate(0, 32);
    p.rotate(tilt - spread / 2 + spread * t);
    QPainterPath leaf;
    leaf.moveTo(0, 0);
    leaf.quadTo(bulge, -length / 2, 0, -length);
    leaf.quadTo(-bulge, -length / 2, 0, 0);
    p.setBrush(i % 2 == 0 ? c.main : c.second);
    p.drawPath(leaf);
    p.restore();
  }
}

void drawSkyline(QPainter& p, const IconDesign& d, const Palette& c) {
  p.setBrush(c.light);
  p.drawEllipse(QPointF(-30 + 60 * d.extras[20], -30 + 10 * d.extras[21]), 9 + 4 * d.ratio,
                9 + 4 * d.ratio);
  const double gap = 3;
  const double width = (88 - gap * (d.count - 1)) / d.count;
  for (int i = 0; i < d.count; ++i) {
    const auto k = static_cast<std::size_t>(i);
    const double height = 26 + 52 * d.extras[k];
    const double left = -44 + i * (width + gap);
    p.setBrush(i % 2 == 0 ? c.main : c.second);
    p.drawRect(QRectF(left, 44 - height, width, height));
    if (d.extras[k + 8] > 0.5) {
      QPolygonF roof;
      roof << QPointF(left, 44 - height) << QPointF(left + width / 2, 44 - height - width * 0.6)
           << QPointF(left + width, 44 - height);
      p.drawPolygon(roof);
    }
    p.setBrush(c.light);
    const int windows = static_cast<int>(height / 14);
    for (int w = 0; w < windows; ++w)
      p.drawRect(QRectF(left + width * 0.3, 44 - height + 6 + w * 14, width * 0.4, 5));
  }
  p.setBrush(c.second);
  p.drawRect(QRectF(-48, 44, 96, 4));
}

void drawWaves(QPainter& p, const IconDesign& d, const Palette& c) {
  QPainterPath disc;
  disc.addEllipse(QPointF(0, 0), 48, 48);
  p.setBrush(c.light);
  p.drawPath(disc);
  p.save();
  p.setClipPath(disc);
  const double amplitude = 3 + 9 * d.ratio;
  const double frequency = 0.05 + 0.08 * d.extras[0];
  const double phase = radians(d.rotation);
  for (int i = 0; i < d.count; ++i) {
    const double base = -20 + 60.0 * (i + 0.5) / d.count;
    QPainterPath wave;
    wave.moveTo(-50, 50);
    for (int x = -50; x <= 50; x += 4)
      wave.lineTo(x, base + amplitude * std::sin(frequency * x + phase + i * 1.3));
    wave.lineTo(50, 50);
    wave.closeSubpath();
    p.setBrush(mixColors(c.main, c.second, d.count == 1 ? 0.0 : static_cast<double>(i) / (d.count - 1)));
    p.drawPath(wave);
  }
  p.restore();
}

void drawSpiral(QPainter& p, const IconDesign& d, const Palette& c) {
  const double turn = 137.50776 + (d.ratio - 0.5) * 8.0;
  for (int i = 0; i < d.count; ++i) {
    const double t = static_cast<double>(i + 1) / d.count;
    const double angle = radians(d.rotation + i * turn);
    const double r = 44 * std::sqrt(t);
    const double size = 2.5 + 5.5 * t;
    p.setBrush(mixColors(c.second, c.main, t));
    p.drawEllipse(QPointF(r * std::cos(angle), r * std::sin(angle)), size, size);
  }
}

void drawMosaic(QPainter& p, const IconDesign& d, const Palette& c) {
  const double cell = 92.0 / d.count;
  const double radius = 2 + 4 * d.ratio;
  for (int row = 0; row < d.count; ++row) {
    for (int column = 0; column < d.count; ++column) {
      const auto k = static_cast<std::size_t>(row * d.count + column);
      QColor color = c.light;
      if (d.extras[k] > 0.35) color = d.extras[(k + 7) % d.extras.size()] > 0.5 ? c.main : c.second;
      p.setBrush(color);
      p.drawRoundedRect(QRectF(-46 + column * cell + 1.5, -46 + row * cell + 1.5, cell - 3, cell - 3),
                        radius, radius);
    }
  }
}

void drawArcs(QPainter& p, const IconDesign& d, const Palette& c) {
  p.setBrush(Qt::NoBrush);
  for (int i = 0; i < d.count; ++i) {
    const auto k = static_cast<std::size_t>(i);
    const double r = 42 - i * 12;
    p.setPen(QPen(i % 2 == 0 ? c.main : c.second, 6 + 3 * d.ratio, Qt::SolidLine, Qt::RoundCap));
    const double start = d.rotation + 360 * d.extras[k + 4];
    const double span = 100 + 230 * d.extras[k];
    p.drawArc(QRectF(-r, -r, 2 * r, 2 * r), static_cast<int>(start * 16), static_cast<int>(span * 16));
  }
  p.setPen(Qt::NoPen);
  p.setBrush(c.main);
  const double dot = std::max(4.0, 42 - d.count * 12 - 4.0);
  p.drawEllipse(QPointF(0, 0), dot, dot);
}

// A grey picture frame with a hill and a sun: the icon of an unknown template.
void drawFallback(QPainter& p) {
  p.setPen(QPen(QColor(0x9a, 0xa0, 0xa6), 4));
  p.setBrush(QColor(0xee, 0xf0, 0xf2));
  p.drawRoundedRect(QRectF(-44, -38, 88, 76), 10, 10);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xb8, 0xbe, 0xc4));
  QPolygonF hills;
  hills << QPointF(-36, 30) << QPointF(-10, -2) << QPointF(6, 14) << QPointF(16, 4)
        << QPointF(36, 30);
  p.drawPolygon(hills);
  p.drawEllipse(QPointF(20, -16), 8, 8);
}

void drawIcon(QPainter& p, const IconDesign& design) {
  p.setPen(Qt::NoPen);
  if (design.family == IconFamily::fallback) {
    drawFallback(p);
    return;
  }
  const Palette colors = paletteOf(design);
  switch (design.family) {
    case IconFamily::rosette: drawRosette(p, design, colors); break;
    case IconFamily::polygons: drawPolygons(p, design, colors); break;
    case IconFamily::star: drawStar(p, design, colors); break;
    case IconFamily::figure: drawFigure(p, design, colors); break;
    case IconFamily::leaves: drawLeaves(p, design, colors); break;
    case IconFamily::skyline: drawSkyline(p, design, colors); break;
    case IconFamily::waves: drawWaves(p, design, colors); break;
    case IconFamily::spiral: drawSpiral(p, design, colors); break;
    case IconFamily::mosaic: drawMosaic(p, design, colors); break;
    case IconFamily::arcs: drawArcs(p, design, colors); break;
    case IconFamily::fallback: break;
  }
}

// Draws `design` centred in the square `box`, leaving kIconInset per 120 free.
void paintIconInto(QPainter& p, const IconDesign& design, const QRectF& box) {
  p.save();
  p.translate(box.center());
  const double scale = (box.width() - 2 * kIconInset * box.width() / kIconSize) / 100.0;
  p.scale(scale, scale);
  drawIcon(p, design);
  p.restore();
}

void paintTitleAndAccent(QPainter& p, const QString& title, const LogoRequest& request) {
  const FittedTitle fitted = fitTitle(title);
  paintTitle(p, fitted, toQColor(request.textColor));
  p.setPen(Qt::NoPen);
  p.setBrush(toQColor(request.accentColor));
  const double room = kTitleRight - kTitleLeft;
  const double accentWidth = std::max(48.0, std::min(fitted.textWidth, room));
  p.drawRect(QRectF(kTitleLeft, fitted.accentY, std::round(accentWidth), 3));
}

}  // namespace

QImage renderIcon(const IconDesign& design, int size) {
  if (size < 1) return {};
  QImage image(size, size, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  paintIconInto(painter, design, QRectF(0, 0, size, size));
  return image;
}

QImage renderLogoImage(const LogoRequest& request) {
  if (QGuiApplication::instance() == nullptr) return {};
  QImage image(kLogoWidth, kLogoHeight, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  paintIconInto(painter, iconDesignFor(request.templateName), QRectF(0, 0, kIconSize, kIconSize));
  const std::u16string title = decodeTitle(request.titleGbk);
  paintTitleAndAccent(painter, QString::fromUtf16(title.data(), static_cast<qsizetype>(title.size())), request);
  painter.end();
  return image;
}

std::string encodePng(const QImage& image) { return encodeRgbPng(image); }

std::string renderLogoPng(const LogoRequest& request) { return encodePng(renderLogoImage(request)); }

bool titleFontAvailable() {
  if (QGuiApplication::instance() == nullptr) return false;
  return QFontDatabase::families().contains(QString::fromLatin1(kTitleFontFamily));
}

}  // namespace quillmark::service
