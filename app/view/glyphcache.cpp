// TGlyphCache: glyph lookup and drawing of glyph runs.
#include "app/view/glyphcache.h"

#include <QPainter>
#include <limits>

namespace talyx::app {

namespace {

constexpr quint32 Unknown = std::numeric_limits<quint32>::max();

}  // namespace

void TGlyphCache::SetFont(const QFont& font) {
  font_ = font;
  raw_ = QRawFont::fromFont(font);
  glyphs_.assign(65536, Unknown);
  run_.setRawFont(raw_);
}

quint32 TGlyphCache::GlyphOf(QChar c) {
  quint32& glyph = glyphs_[c.unicode()];
  if (glyph == Unknown) {
    glyph = 0;
    const bool alone = !c.isSurrogate() && c.isPrint();
    if (alone && raw_.isValid() && raw_.supportsCharacter(c)) {
      const QList<quint32> found = raw_.glyphIndexesForString(QString(c));
      if (found.size() == 1) glyph = found.front();
    }
  }
  return glyph;
}

void TGlyphCache::Add(quint32 glyph, qreal x) {
  runGlyphs_.append(glyph);
  runPositions_.append(QPointF(x, 0));
}

void TGlyphCache::Draw(QPainter& painter, QPointF origin) {
  if (runGlyphs_.isEmpty()) return;
  run_.setGlyphIndexes(runGlyphs_);
  run_.setPositions(runPositions_);
  painter.drawGlyphRun(origin, run_);
  // The run lets go of the lists, so that they keep their room for the next row.
  run_.setGlyphIndexes({});
  run_.setPositions({});
  runGlyphs_.clear();
  runPositions_.clear();
}

void TGlyphCache::DrawText(QPainter& painter, QPointF origin, const QString& text) {
  const QFontMetricsF metrics(font_);
  std::vector<std::pair<qsizetype, qreal>> alone;
  qreal x = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c.isLowSurrogate()) continue;
    const bool pair = c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
    if (c != u' ') {
      if (const quint32 glyph = GlyphOf(c)) {
        Add(glyph, x);
      } else {
        alone.emplace_back(i, x);
      }
    }
    x += pair ? metrics.horizontalAdvance(text.mid(i, 2)) : metrics.horizontalAdvance(c);
  }
  Draw(painter, origin);
  for (const auto& [column, at] : alone) {
    const bool pair = text[column].isHighSurrogate() && column + 1 < text.size();
    painter.drawText(origin + QPointF(at, 0), text.mid(column, pair ? 2 : 1));
  }
}

}  // namespace talyx::app
