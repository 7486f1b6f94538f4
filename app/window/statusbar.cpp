// TStatusBar: the panels.
#include "app/window/statusbar.h"

#include <QLabel>
#include <QLayout>

namespace talyx::app {

TStatusBar::TStatusBar(std::initializer_list<int> panelWidths, QWidget* parent)
    : QStatusBar(parent) {
  for (int width : panelWidths) {
    auto* panel = new QLabel(this);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    const bool last = panels_.size() + 1 == panelWidths.size();
    if (last) {
      // The last panel reaches the bar's right edge, so its text (the version) is not cut at its
      // nominal width.
      panel->setMinimumWidth(width);
      addWidget(panel, 1);
    } else {
      panel->setFixedWidth(width);
      addWidget(panel);
    }
    panels_.push_back(panel);
  }
}

void TStatusBar::AddFillPanel() {
  // The panel that reached the right edge so far keeps its own width from now on: at least its
  // nominal one, and as much as its text needs.
  if (!panels_.empty()) {
    QLabel* previous = panels_.back();
    const int at = static_cast<int>(panels_.size()) - 1;
    removeWidget(previous);
    insertWidget(at, previous, 0);
    previous->show();
  }
  auto* panel = new QLabel(this);
  panel->setFrameShape(QFrame::Panel);
  panel->setFrameShadow(QFrame::Sunken);
  // Its text never widens it: it has what the other panels leave.
  panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  addWidget(panel, 1);
  panels_.push_back(panel);
}

QString TStatusBar::PanelText(int index) const { return Panel(index)->text(); }

void TStatusBar::SetPanelText(int index, const QString& text) {
  Panel(index)->setText(text);
  // A panel that takes its text's width has it at once, not at the next layout pass.
  if (QLayout* panels = layout()) panels->activate();
}

}  // namespace talyx::app
