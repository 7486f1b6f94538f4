// TViewScrollBar: the receive view's vertical scroll bar, repainted only when its look changes.
//
// While data streams in, the view's row count and the bar's range and value change up to once per
// display frame, but the handle of a long text moves by a pixel only now and then. A plain scroll
// bar repaints itself at every change; this one looks once the view's work of the event is done
// (range and value change one after the other) at what the style would draw (the handle's place,
// the arrows' enabled states) and repaints only when something of it moved. While the user holds
// the handle or an arrow it repaints at every change, as usual.
// Main thread only.
#pragma once

#include <QRect>
#include <QScrollBar>

namespace talyx::app {

class TViewScrollBar : public QScrollBar {
  Q_OBJECT

 public:
  explicit TViewScrollBar(QWidget* parent = nullptr);

 protected:
  void sliderChange(SliderChange change) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  struct TLook {
    QRect Handle;
    bool AtMinimum = false;
    bool AtMaximum = false;
    bool operator==(const TLook&) const = default;
  };
  TLook Look() const;

  TLook painted_;  // as last painted
  bool lookPending_ = false;
};

}  // namespace talyx::app
