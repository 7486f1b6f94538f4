// TShape: painting of the circle.
#include "app/window/shape.h"

#include <QPainter>
#include <algorithm>

namespace talyx::app {

TShape::TShape(QWidget* parent) : QWidget(parent) {}

void TShape::SetBrushColor(const QColor& color) {
  if (color == brushColor_) return;
  brushColor_ = color;
  update();
}

void TShape::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(brushColor_);
  // The circle fills the shorter side, centred, its pen inside the bounds.
  const int side = std::min(width(), height()) - 1;
  painter.drawEllipse(QRectF((width() - side) / 2.0, (height() - side) / 2.0, side, side));
}

}  // namespace talyx::app
