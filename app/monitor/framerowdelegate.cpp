// TFrameRowDelegate: selection background, unshaped text in the model's alignment, focus frame.
#include "app/monitor/framerowdelegate.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QStyle>
#include <cmath>

namespace talyx::app {

namespace {

// Room left and right of a cell's text, as the style's item painting leaves it.
constexpr int TextMargin = 3;

// The text's width with each character at its own advance, as the glyph cache draws it.
qreal Width(const QFontMetricsF& metrics, QStringView text) {
  qreal width = 0;
  for (const QChar c : text) width += metrics.horizontalAdvance(c);
  return width;
}

}  // namespace

void TFrameRowDelegate::UseFont(const QFont& font) const {
  if (fontSet_ && font == font_) return;
  font_ = font;
  glyphs_.SetFont(font);
  fontSet_ = true;
}

QString TFrameRowDelegate::Fitted(const QString& text, const QFont& font, int width) const {
  const QFontMetricsF metrics(font);
  const qreal room = width - 2 * TextMargin;
  if (Width(metrics, text) <= room) return text;
  const QChar ellipsis(0x2026);
  const qreal keep = room - metrics.horizontalAdvance(ellipsis);
  qreal x = 0;
  qsizetype count = 0;
  while (count < text.size() && x + metrics.horizontalAdvance(text[count]) <= keep) {
    x += metrics.horizontalAdvance(text[count]);
    ++count;
  }
  // A surrogate pair is kept whole or not at all.
  if (count > 0 && text[count - 1].isHighSurrogate()) --count;
  return text.left(count) + ellipsis;
}

void TFrameRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  const QPalette::ColorGroup group = !(option.state & QStyle::State_Enabled) ? QPalette::Disabled
                                     : (option.state & QStyle::State_Active) ? QPalette::Normal
                                                                             : QPalette::Inactive;
  const bool selected = (option.state & QStyle::State_Selected) != 0;
  if (selected) painter->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));

  UseFont(option.font);
  const QString text =
      Fitted(index.data(Qt::DisplayRole).toString(), option.font, option.rect.width());
  if (!text.isEmpty()) {
    const QFontMetricsF metrics(option.font);
    const auto alignment =
        Qt::Alignment(index.data(Qt::TextAlignmentRole).toInt()) & Qt::AlignHorizontal_Mask;
    const qreal left = option.rect.left() + TextMargin;
    const qreal right = option.rect.right() + 1 - TextMargin;
    const qreal x = alignment & Qt::AlignRight ? right - Width(metrics, text) : left;
    // Centred on whole pixels, as the style lays a line out.
    const qreal baseline = option.rect.top() +
                           std::floor((option.rect.height() - metrics.height()) / 2) +
                           metrics.ascent();
    painter->setPen(
        option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    glyphs_.DrawText(*painter, QPointF(x, baseline), text);
  }

  if (option.state & QStyle::State_HasFocus) {
    QStyleOptionFocusRect focus;
    focus.QStyleOption::operator=(option);
    focus.backgroundColor =
        option.palette.color(group, selected ? QPalette::Highlight : QPalette::Window);
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
  }
}

}  // namespace talyx::app
