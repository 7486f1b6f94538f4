// TGlyphCache: the glyphs of a font by character, so that painting text needs no shaping.
//
// The receive view's layout places every character by its own advance, without shaping, so painting
// may place each glyph at that x as well: a row becomes one glyph run per colour, drawn from the
// font's glyph cache. Shaping each row anew (itemizing, looking glyphs up, positioning) cost more
// than drawing its glyphs while data streams in and every row in sight is new at each display
// frame. Rows on a plain background go faster still as opaque cells (DrawOpaque): each glyph is
// drawn once with the row's colours into a cell from its origin to the end of its advance or its
// ink, and a row is composed of its cells in a row image filled with the base colour: each channel
// keeps the value nearer the text, so a cell lands whole where nothing was and merges where cells
// overlap, in blocks the compiler turns into vector operations. The row is then drawn in one piece;
// blending each glyph's coverage into the view at every paint was the largest part of a stream's
// painting. A glyph whose ink starts left of its origin or leaves the row (a combining mark, a tall
// accent), or text that is neither darker nor lighter than the background in every channel, makes
// the row a glyph run. Characters the font has no glyph for (other scripts, surrogate pairs,
// control characters) are drawn one by one as text, so the font's fallbacks still show them. The
// status panels draw their one line as a glyph run too (DrawText), since the counters change it at
// every display frame. Main thread only.
#pragma once

#include <QColor>
#include <QFont>
#include <QGlyphRun>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QRawFont>
#include <QRectF>
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
  // Draws the row's rectangle in base and what was added as opaque cells in text, each at its x
  // from the rectangle's left edge and the baseline ascent below its top; false, with nothing
  // drawn and what was added kept for Draw, when a glyph cannot be a cell.
  bool DrawOpaque(QPainter& painter, const QRectF& row, qreal ascent, const QColor& text,
                  const QColor& base);

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

  // A glyph drawn in the cells' colours and height, widened with the base colour to whole blocks
  // of CellBlock pixels, so that rows merge cells block by block.
  struct TCell {
    int Width = 0;                // pixels; 0 when the glyph's ink leaves the cell
    std::vector<quint32> Pixels;  // Width per row, rows top to bottom
  };
  static constexpr int CellBlock = 4;
  const TCell& Cell(quint32 glyph);
  QHash<quint32, TCell> cells_;
  int widestCell_ = 0;
  QColor cellText_;
  QColor cellBase_;
  int cellHeight_ = 0;
  qreal cellAscent_ = 0;
  QImage rowImage_;
};

}  // namespace talyx::app
