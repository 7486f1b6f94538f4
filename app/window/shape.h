// TShape: the state lamp, a filled circle in the brush colour.
#pragma once

#include <QColor>
#include <QWidget>

namespace talyx::app {

class TShape : public QWidget {
  Q_OBJECT

 public:
  explicit TShape(QWidget* parent = nullptr);

  QColor BrushColor() const { return brushColor_; }
  // Repaints at the next paint event only (a caller that sleeps afterwards shows no change).
  void SetBrushColor(const QColor& color);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor brushColor_ = Qt::white;
};

}  // namespace talyx::app
