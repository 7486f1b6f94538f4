// TGlyphCache: the glyphs of a font by character, so that painting text needs no shaping.
//
// The receive view's layout places every character by its own advance, without shaping, so
// painting may place each glyph at that x as well: a row becomes one glyph run per colour, drawn
// from the font's glyph cache. Shaping each row anew (itemizing, looking glyphs up, positioning)
// cost more than drawing its glyphs while data streams in and every row in sight is new at each
// display frame. Characters the font has no glyph for (other scripts, surrogate pairs, control
// characters) are drawn one by one as text, so the font's fallbacks still show them. The status
// panels draw their one line the same way (DrawText), since the counters change it at every display
// frame. Main thread only.
#pragma once

#include <QFont>
#include <QGlyphRun>
#include <QList>
#include <QPointF>
#include <QRawFont>
#include <vector>

class QPainter;

namespace talyx::app {

class TGlyphCache {
 public:
  void SetFont(const QFont& font);

  // The glyph of a character in the font, 0 when it has none to draw alone.
  quint32 GlyphOf(QChar c);

  // Collects glyphs at x offsets from a row's left edge, then draws them at once.
  void Add(quint32 glyph, qreal x);
  // Draws what was added with the painter's pen, the row's left edge and baseline at origin.
  void Draw(QPainter& painter, QPointF origin);

  // Draws one line of text with the painter's pen, each character at its own advance (no
  // shaping), its left edge and baseline at origin.
  void DrawText(QPainter& painter, QPointF origin, const QString& text);

 private:
  QFont font_;
  QRawFont raw_;
  std::vector<quint32> glyphs_;  // by UTF-16 code unit; Unknown until looked up
  QList<quint32> runGlyphs_;
  QList<QPointF> runPositions_;
  QGlyphRun run_;
};

}  // namespace talyx::app
