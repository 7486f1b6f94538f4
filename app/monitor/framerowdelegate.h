// TFrameRowDelegate: paints the bus monitor table's cells as one unshaped line of text each.
//
// Principles of operation:
// - At a saturated line every row in sight is new at each showing, and the style's item painting
//   (its layout of each cell, laying the text out to elide it, then shaping it to draw it) was
//   most of the window's work. A cell here is its selection background, its text drawn from the
//   font's glyph cache (view/glyphcache.h: each character at its own advance) in the model's
//   alignment, cut with an ellipsis when it does not fit, and the focus frame of the current cell.
// - Main thread only, like the view.
#pragma once

#include <QFont>
#include <QStyledItemDelegate>

#include "app/view/glyphcache.h"

namespace talyx::app {

class TFrameRowDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;

  // The text as a cell this wide (in pixels, margins included) shows it: whole, or cut with an
  // ellipsis.
  QString Fitted(const QString& text, const QFont& font, int width) const;

 private:
  // The glyph cache follows the view's font.
  void UseFont(const QFont& font) const;

  mutable QFont font_;
  mutable TGlyphCache glyphs_;
  mutable bool fontSet_ = false;
};

}  // namespace talyx::app
