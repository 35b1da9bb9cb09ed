#include "service/title_layout.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QHashFunctions>
#include <QRawFont>
#include <QTextLayout>
#include <QTextOption>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <optional>

#include "service/bounded_cache.h"

namespace quillmark::service {
namespace {

// Titles are shaped at this size and scaled to the size they are drawn at.
constexpr double kReferencePixels = 64.0;
constexpr double kRoom = kTitleRight - kTitleLeft;
constexpr double kAccentGap = 6.0;
constexpr double kAccentHeight = 3.0;

// Sizes of the caches shared by all threads: a CJK glyph outline at the
// reference size takes about 2 KB, a fitted title its glyphs' outlines (up
// to some 40 KB for two full lines).
constexpr std::size_t kGlyphCacheEntries = 2048;
constexpr std::size_t kTitleCacheEntries = 64;

struct GlyphKey {
  QString font;  // family and style of the face the glyph belongs to
  quint32 glyph = 0;
  bool operator==(const GlyphKey&) const = default;
};

struct GlyphKeyHash {
  std::size_t operator()(const GlyphKey& key) const noexcept { return qHash(key.font, key.glyph); }
};

struct QStringHash {
  std::size_t operator()(const QString& text) const noexcept { return qHash(text); }
};

struct Caches {
  std::mutex mutex;
  BoundedCache<GlyphKey, QPainterPath, GlyphKeyHash> glyphs{kGlyphCacheEntries};
  BoundedCache<QString, FittedTitle, QStringHash> titles{kTitleCacheEntries};
};

Caches& caches() {
  static Caches instance;
  return instance;
}

const QFont& referenceFont() {
  thread_local const QFont font = [] {
    QFont f(QString::fromLatin1(kTitleFontFamily));
    f.setPixelSize(static_cast<int>(kReferencePixels));
    f.setStyleStrategy(QFont::StyleStrategy(QFont::PreferAntialias | QFont::ForceOutline));
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
  }();
  return font;
}

struct VerticalMetrics {
  double ascent = 0;
  double descent = 0;
};

const VerticalMetrics& referenceMetrics() {
  thread_local const VerticalMetrics metrics = [] {
    const QFontMetricsF m(referenceFont());
    return VerticalMetrics{m.ascent(), m.descent()};
  }();
  return metrics;
}

// The outline of one glyph at the reference size, pen at the origin.
QPainterPath glyphOutline(const QRawFont& font, quint32 glyph) {
  GlyphKey key{font.familyName() + QLatin1Char('\n') + font.styleName(), glyph};
  Caches& shared = caches();
  {
    std::lock_guard lock(shared.mutex);
    if (std::optional<QPainterPath> found = shared.glyphs.find(key)) return *found;
  }
  QPainterPath path = font.pathForGlyph(glyph);
  std::lock_guard lock(shared.mutex);
  shared.glyphs.insert(key, path);
  return path;
}

// One line of text at the reference size: baseline at y 0, pen from x 0.
struct ShapedLine {
  QPainterPath outline;
  double left = 0;   // min(0, ink left)
  double right = 0;  // max(advance, ink right)
  double width() const { return right - left; }
};

ShapedLine shape(const QString& text) {
  ShapedLine shaped;
  if (text.isEmpty()) return shaped;
  QTextLayout layout(text, referenceFont());
  QTextOption option;
  option.setWrapMode(QTextOption::NoWrap);
  layout.setTextOption(option);
  layout.beginLayout();
  QTextLine line = layout.createLine();
  if (!line.isValid()) {
    layout.endLayout();
    return shaped;
  }
  line.setLineWidth(1e6);
  layout.endLayout();
  const double baseline = line.ascent();
  QPainterPath outline;
  outline.setFillRule(Qt::WindingFill);
  for (const QGlyphRun& run : layout.glyphRuns()) {
    const QRawFont font = run.rawFont();
    const QList<quint32> glyphs = run.glyphIndexes();
    const QList<QPointF> positions = run.positions();
    for (qsizetype i = 0; i < glyphs.size() && i < positions.size(); ++i) {
      const QPainterPath glyph = glyphOutline(font, glyphs[i]);
      if (!glyph.isEmpty()) outline.addPath(glyph.translated(positions[i].x(), positions[i].y() - baseline));
    }
  }
  shaped.outline = outline;
  shaped.right = line.naturalTextWidth();
  if (!outline.isEmpty()) {
    const QRectF ink = outline.boundingRect();
    shaped.left = std::min(0.0, ink.left());
    shaped.right = std::max(shaped.right, ink.right());
  }
  return shaped;
}

double limitAt(int pixelSize) { return kRoom * kReferencePixels / pixelSize; }

bool isSpace(QChar c) { return c.isSpace(); }

// Characters between any two of which a line may break.
bool breaksAnywhere(QChar c) {
  switch (c.script()) {
    case QChar::Script_Han:
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana:
    case QChar::Script_Hangul:
    case QChar::Script_Bopomofo:
      return true;
    default:
      break;
  }
  const char16_t u = c.unicode();
  return (u >= 0x3000 && u <= 0x303f) || (u >= 0xff00 && u <= 0xffef);
}

// A position that does not split a character from its marks or a surrogate pair.
bool isCharacterBoundary(const QString& text, qsizetype i) {
  if (i <= 0 || i >= text.size()) return false;
  return !text[i].isLowSurrogate() && !text[i].isMark();
}

// Positions where the text may be broken between words or CJK characters.
std::vector<qsizetype> breakOpportunities(const QString& text) {
  std::vector<qsizetype> out;
  for (qsizetype i = 1; i < text.size(); ++i) {
    if (!isCharacterBoundary(text, i) || isSpace(text[i])) continue;
    if (isSpace(text[i - 1]) || breaksAnywhere(text[i - 1]) || breaksAnywhere(text[i])) out.push_back(i);
  }
  return out;
}

QString trimmedEnd(const QString& text) {
  qsizetype end = text.size();
  while (end > 0 && isSpace(text[end - 1])) --end;
  return text.left(end);
}

QString trimmedStart(const QString& text) {
  qsizetype start = 0;
  while (start < text.size() && isSpace(text[start])) ++start;
  return text.mid(start);
}

// The largest of the positions `candidates` (ascending) whose line
// text.left(position) fits within `limit`; nothing when none does.
std::optional<qsizetype> widestFit(const QString& text, const std::vector<qsizetype>& candidates, double limit) {
  std::optional<qsizetype> best;
  std::size_t low = 0;
  std::size_t high = candidates.size();
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    if (shape(trimmedEnd(text.left(candidates[middle]))).width() <= limit) {
      best = candidates[middle];
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return best;
}

std::vector<qsizetype> characterBoundaries(const QString& text) {
  std::vector<qsizetype> out;
  for (qsizetype i = 1; i < text.size(); ++i)
    if (isCharacterBoundary(text, i)) out.push_back(i);
  return out;
}

// Where the first of two lines ends: the widest break between words or CJK
// characters that fits, else the widest break between any two characters
// that fits, else after the first character.
qsizetype firstLineEnd(const QString& text, double limit) {
  if (const auto at = widestFit(text, breakOpportunities(text), limit)) return *at;
  const std::vector<qsizetype> anywhere = characterBoundaries(text);
  if (const auto at = widestFit(text, anywhere, limit)) return *at;
  return anywhere.empty() ? text.size() : anywhere.front();
}

// The longest start of `line` that fits within `limit` with "…" after it.
QString elided(const QString& line, double limit) {
  const QString ellipsis(QChar(0x2026));
  std::vector<qsizetype> ends = characterBoundaries(line);
  ends.insert(ends.begin(), 0);
  qsizetype best = 0;
  std::size_t low = 0;
  std::size_t high = ends.size();
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    if (shape(trimmedEnd(line.left(ends[middle])) + ellipsis).width() <= limit) {
      best = ends[middle];
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return trimmedEnd(line.left(best)) + ellipsis;
}

// Places `lines` (shaped at the reference size) at `pixelSize`: one line on
// the old baseline, two centred as a block with the accent line under them.
FittedTitle compose(int pixelSize, std::vector<QString> texts, const std::vector<ShapedLine>& lines, bool wasElided) {
  FittedTitle fitted;
  fitted.pixelSize = pixelSize;
  fitted.lines = std::move(texts);
  fitted.elided = wasElided;
  const double scale = pixelSize / kReferencePixels;
  const double ascent = referenceMetrics().ascent * scale;
  const double descent = referenceMetrics().descent * scale;
  std::vector<double> baselines;
  if (lines.size() <= 1) {
    baselines.push_back(std::floor(60.0 + (ascent - descent) / 2.0 - 4.0));
  } else {
    const double spacing = ascent + descent;
    const double block = ascent + spacing + descent + kAccentGap + kAccentHeight;
    const double first = std::round((kTitleTop + kTitleBottom - block) / 2.0 + ascent);
    baselines = {first, first + std::round(spacing)};
  }
  QPainterPath outline;
  outline.setFillRule(Qt::WindingFill);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    QTransform place;
    place.translate(kTitleLeft - lines[i].left * scale, baselines[i]);
    place.scale(scale, scale);
    outline.addPath(place.map(lines[i].outline));
    fitted.textWidth = std::max(fitted.textWidth, lines[i].width() * scale);
  }
  fitted.accentY = baselines.back() + descent + kAccentGap;
  // Tall marks may reach above or below the room: move the block back in,
  // and only if it is taller than the room, shrink it about its top.
  QRectF ink = outline.boundingRect();
  if (!outline.isEmpty()) {
    double shift = 0;
    if (ink.top() < kTitleTop) shift = kTitleTop - ink.top();
    else if (ink.bottom() > kTitleBottom) shift = kTitleBottom - ink.bottom();
    QTransform adjust;
    if (ink.height() > kTitleBottom - kTitleTop) {
      const double shrink = (kTitleBottom - kTitleTop) / ink.height();
      adjust.translate(ink.left(), kTitleTop);
      adjust.scale(shrink, shrink);
      adjust.translate(-ink.left(), -ink.top());
    } else {
      adjust.translate(0, shift);
    }
    outline = adjust.map(outline);
    fitted.accentY = std::min(adjust.map(QPointF(0, fitted.accentY)).y(), kTitleBottom - kAccentHeight);
    ink = outline.boundingRect();
  }
  fitted.outline = outline;
  fitted.inkBox = ink;
  return fitted;
}

FittedTitle fitUncached(const QString& title) {
  const QString text = trimmedStart(trimmedEnd(title));
  if (text.isEmpty()) {
    // Nothing to draw; the accent line keeps its place under a one-line title.
    FittedTitle empty = compose(kTitleBasePixels, {}, {}, false);
    empty.pixelSize = 0;
    return empty;
  }

  const ShapedLine whole = shape(text);
  const int fitting = whole.width() <= 0 ? kTitleBasePixels
                                         : static_cast<int>(std::floor(kRoom * kReferencePixels / whole.width()));
  if (fitting >= kTitleMinPixels) return compose(std::min(fitting, kTitleBasePixels), {text}, {whole}, false);

  // Two lines: worth trying above the minimum only when the whole title is
  // not much wider than two lines at that size.
  for (int size = kTitleTwoLinePixels; size >= kTitleMinPixels; --size) {
    const double limit = limitAt(size);
    if (size > kTitleMinPixels && whole.width() > 2.0 * limit) continue;
    const qsizetype end = firstLineEnd(text, limit);
    const QString first = trimmedEnd(text.left(end));
    const QString second = trimmedStart(text.mid(end));
    const ShapedLine firstShaped = shape(first);
    const ShapedLine secondShaped = shape(second);
    if (secondShaped.width() <= limit) return compose(size, {first, second}, {firstShaped, secondShaped}, false);
    if (size == kTitleMinPixels) {
      const QString cut = elided(second, limit);
      return compose(size, {first, cut}, {firstShaped, shape(cut)}, true);
    }
  }
  return {};  // not reached: the minimum size always gives two lines
}

}  // namespace

FittedTitle fitTitle(const QString& title) {
  Caches& shared = caches();
  {
    std::lock_guard lock(shared.mutex);
    if (std::optional<FittedTitle> found = shared.titles.find(title)) return *found;
  }
  FittedTitle fitted = fitUncached(title);
  std::lock_guard lock(shared.mutex);
  shared.titles.insert(title, fitted);
  return fitted;
}

void paintTitle(QPainter& painter, const FittedTitle& fitted, const QColor& color) {
  if (fitted.lines.empty() || fitted.outline.isEmpty()) return;
  painter.save();
  painter.setPen(Qt::NoPen);
  painter.setBrush(color);
  painter.drawPath(fitted.outline);
  painter.restore();
}

}  // namespace quillmark::service
