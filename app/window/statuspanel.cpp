// TStatusPanel: text, size and painting of a status panel.
#include "app/window/statuspanel.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

namespace talyx::app {

namespace {

// The text starts half an "x" inside the frame, as a framed label's does.
int Indent(const QFontMetrics& metrics) { return metrics.horizontalAdvance(u'x') / 2; }

}  // namespace

TStatusPanel::TStatusPanel(QWidget* parent) : QFrame(parent) {
  setFrameShape(QFrame::Panel);
  setFrameShadow(QFrame::Sunken);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  // Opaque: a new counter repaints the panel alone, not the bar and the window behind it.
  setAutoFillBackground(true);
  glyphs_.SetFont(font());
}

void TStatusPanel::setText(const QString& text) {
  if (text == text_) return;
  const int widthBefore = followText_ ? TextWidth() : 0;
  text_ = text;
  if (followText_ && TextWidth() != widthBefore) updateGeometry();
  // The frame stays as it is: only the text's room is painted again.
  update(contentsRect());
}

void TStatusPanel::FollowText() {
  followText_ = true;
  updateGeometry();
}

int TStatusPanel::TextWidth() const {
  const QFontMetrics metrics = fontMetrics();
  return metrics.horizontalAdvance(text_) + 2 * (frameWidth() + Indent(metrics));
}

QSize TStatusPanel::sizeHint() const {
  const int height = fontMetrics().height() + 2 * frameWidth();
  return {followText_ ? std::max(minimumWidth(), TextWidth()) : minimumWidth(), height};
}

QSize TStatusPanel::minimumSizeHint() const { return sizeHint(); }

void TStatusPanel::paintEvent(QPaintEvent* event) {
  if (!contentsRect().contains(event->rect())) QFrame::paintEvent(event);
  if (text_.isEmpty()) return;
  QPainter painter(this);
  const QFontMetrics metrics = fontMetrics();
  const QRect inside = contentsRect();
  painter.setClipRect(inside);
  painter.setPen(palette().color(foregroundRole()));
  // Vertically centred, as a label's text.
  const int top = inside.top() + (inside.height() - metrics.height()) / 2;
  glyphs_.DrawText(painter, QPointF(inside.left() + Indent(metrics), top + metrics.ascent()),
                   text_);
}

void TStatusPanel::changeEvent(QEvent* event) {
  QFrame::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    glyphs_.SetFont(font());
    updateGeometry();
  }
}

}  // namespace talyx::app
