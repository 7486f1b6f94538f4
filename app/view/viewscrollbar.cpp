// TViewScrollBar: the look that decides whether a change needs a repaint.
#include "app/view/viewscrollbar.h"

#include <QStyle>
#include <QStyleOptionSlider>

namespace talyx::app {

TViewScrollBar::TViewScrollBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {}

TViewScrollBar::TLook TViewScrollBar::Look() const {
  QStyleOptionSlider option;
  initStyleOption(&option);
  return {style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
          value() == minimum(), value() == maximum()};
}

void TViewScrollBar::sliderChange(SliderChange change) {
  if (isSliderDown() || change == SliderOrientationChange) {
    QScrollBar::sliderChange(change);
    return;
  }
  if (lookPending_) return;
  lookPending_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        lookPending_ = false;
        if (Look() != painted_) update();
      },
      Qt::QueuedConnection);
}

void TViewScrollBar::paintEvent(QPaintEvent* event) {
  painted_ = Look();
  QScrollBar::paintEvent(event);
}

}  // namespace talyx::app
