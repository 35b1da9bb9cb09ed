// Fitting a title into the room beside the icon, and drawing it.
//
// A title is drawn at the largest whole pixel size from kTitleBasePixels down
// to kTitleMinPixels (about 60% of it) at which it fits on one line. If it
// fits at none, it is wrapped onto two lines, at the largest size from
// kTitleTwoLinePixels down to kTitleMinPixels at which both lines fit:
// between words for Latin text, between any two characters where Chinese,
// Japanese or Korean text meets (a word longer than a line is broken where
// it must). Only when two lines at the minimum size are not enough is the
// end of the second line replaced by "…".
//
// Text is shaped once at a fixed reference size and drawn as glyph outlines
// scaled to the chosen size, so no font engine or glyph bitmap is made per
// size or per glyph. What "fits" means is the drawn ink as well as the
// advance, so no glyph reaches past the room. Shaped titles and glyph
// outlines live in caches of fixed size shared by all threads.
//
// Needs a QGuiApplication alive in the process; safe to call from several
// threads at once.
#pragma once

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>
#include <QString>

#include <vector>

namespace quillmark::service {

// The room the title (and its accent line) may use, in logo pixels.
inline constexpr int kTitleLeft = 140;
inline constexpr int kTitleRight = 386;
inline constexpr int kTitleTop = 6;
inline constexpr int kTitleBottom = 114;

inline constexpr int kTitleBasePixels = 44;
inline constexpr int kTitleMinPixels = 26;
inline constexpr int kTitleTwoLinePixels = 32;

// The face titles are drawn in; it carries the CJK characters. Characters it
// lacks come from whatever face the font database substitutes.
inline constexpr const char* kTitleFontFamily = "WenQuanYi Micro Hei";

struct FittedTitle {
  int pixelSize = 0;           // 0 for a title with nothing to draw
  std::vector<QString> lines;  // none, one or two, as drawn ("…" included)
  bool elided = false;         // the second line was cut short
  QRectF inkBox;               // where the text's ink lies in the logo
  double accentY = 0;          // top of the accent line
  double textWidth = 0;        // width of the widest line, in logo pixels
  QPainterPath outline;        // the glyphs' outlines, placed in the logo
};

// How `title` is fitted (see above). A title of blanks only, or an empty
// one, gives pixelSize 0 and no lines. Every line's ink lies within
// kTitleLeft..kTitleRight and kTitleTop..kTitleBottom.
FittedTitle fitTitle(const QString& title);

// Fills the outline of `fitted` in `color` (antialiased, no pen); draws
// nothing for a title with no lines.
void paintTitle(QPainter& painter, const FittedTitle& fitted, const QColor& color);

}  // namespace quillmark::service
