// TGlyphCache: glyph lookup, glyph runs and rows composed of opaque glyph cells.
#include "app/view/glyphcache.h"

#include <QPainter>
#include <QtMath>
#include <algorithm>
#include <cstring>
#include <limits>

namespace talyx::app {

namespace {

constexpr quint32 Unknown = std::numeric_limits<quint32>::max();

// Four pixels of a row image merged with four of a cell: each byte keeps the smaller (text
// darker than the base) or the larger value.
template <bool Darker>
void MergeBlock(uchar* __restrict to, const uchar* __restrict from) {
  for (int b = 0; b < 16; ++b) to[b] = Darker ? std::min(to[b], from[b]) : std::max(to[b], from[b]);
}

template <bool Darker>
void MergeCellRow(quint32* to, const quint32* from, int width) {
  auto* bytesTo = reinterpret_cast<uchar*>(to);
  const auto* bytesFrom = reinterpret_cast<const uchar*>(from);
  for (int b = 0; b < width * 4; b += 16) MergeBlock<Darker>(bytesTo + b, bytesFrom + b);
}

}  // namespace

void TGlyphCache::SetFont(const QFont& font) {
  font_ = font;
  raw_ = QRawFont::fromFont(font);
  cells_.clear();
  widestCell_ = 0;
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

const TGlyphCache::TCell& TGlyphCache::Cell(quint32 glyph) {
  const auto found = cells_.constFind(glyph);
  if (found != cells_.constEnd()) return *found;
  TCell& cell = cells_[glyph];
  const qreal advance = raw_.advancesForGlyphIndexes(QList<quint32>{glyph}).value(0).x();
  const QRectF ink = raw_.boundingRect(glyph).translated(0, cellAscent_);
  // The cell starts at the glyph's origin and reaches past its advance as far as its ink does;
  // half a pixel of leeway for antialiasing at the edges.
  const QRectF box(0, 0, std::max(advance, ink.right()), cellHeight_);
  if (advance <= 0 || !box.adjusted(-0.5, -0.5, 0.5, 0.5).contains(ink)) return cell;
  const int width = (qCeil(box.width()) + CellBlock - 1) / CellBlock * CellBlock;
  QImage image(width, cellHeight_, QImage::Format_RGB32);
  image.fill(cellBase_);
  {
    QPainter painter(&image);
    painter.setPen(cellText_);
    run_.setGlyphIndexes({glyph});
    run_.setPositions({QPointF(0, 0)});
    painter.drawGlyphRun(QPointF(0, cellAscent_), run_);
    run_.setGlyphIndexes({});
    run_.setPositions({});
  }
  cell.Width = width;
  cell.Pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(cellHeight_));
  for (int y = 0; y < cellHeight_; ++y) {
    std::memcpy(cell.Pixels.data() + static_cast<ptrdiff_t>(y) * width, image.constScanLine(y),
                static_cast<size_t>(width) * 4);
  }
  widestCell_ = std::max(widestCell_, width);
  return cell;
}

bool TGlyphCache::DrawOpaque(QPainter& painter, const QRectF& row, qreal ascent, const QColor& text,
                             const QColor& base) {
  const int height = qCeil(row.height());
  if (text != cellText_ || base != cellBase_ || height != cellHeight_ || ascent != cellAscent_) {
    cells_.clear();
    widestCell_ = 0;
    cellText_ = text;
    cellBase_ = base;
    cellHeight_ = height;
    cellAscent_ = ascent;
  }
  // Merging keeps the value nearer the text's colour in each channel, which needs the text darker
  // (or lighter) than the base in every channel.
  const bool darker =
      text.red() <= base.red() && text.green() <= base.green() && text.blue() <= base.blue();
  const bool lighter =
      text.red() >= base.red() && text.green() >= base.green() && text.blue() >= base.blue();
  if (!darker && !lighter) return false;
  for (const quint32 glyph : runGlyphs_) {
    if (Cell(glyph).Width == 0) return false;
  }
  // Room for the widest cell at the right edge: cells merge whole, base included.
  const int width = qCeil(row.width());
  const int room = width + widestCell_;
  if (rowImage_.width() != room || rowImage_.height() != height) {
    rowImage_ = QImage(room, height, QImage::Format_RGB32);
  }
  rowImage_.fill(base);
  auto* const bits = reinterpret_cast<quint32*>(rowImage_.bits());
  const qsizetype stride = rowImage_.bytesPerLine() / 4;
  for (qsizetype i = 0; i < runGlyphs_.size(); ++i) {
    const TCell& cell = *cells_.constFind(runGlyphs_[i]);
    const int left = qRound(runPositions_[i].x());
    if (left < 0 || left >= width) continue;
    for (int y = 0; y < height; ++y) {
      quint32* const to = bits + y * stride + left;
      const quint32* const from = cell.Pixels.data() + static_cast<ptrdiff_t>(y) * cell.Width;
      if (darker) {
        MergeCellRow<true>(to, from, cell.Width);
      } else {
        MergeCellRow<false>(to, from, cell.Width);
      }
    }
  }
  painter.drawImage(row.topLeft(), rowImage_, QRect(0, 0, width, height));
  runGlyphs_.clear();
  runPositions_.clear();
  return true;
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
