// TStatusBar: the panels.
#include "app/window/statusbar.h"

#include <QLayout>

namespace talyx::app {

TStatusBar::TStatusBar(std::initializer_list<int> panelWidths, QWidget* parent)
    : QStatusBar(parent) {
  for (int width : panelWidths) {
    auto* panel = new TStatusPanel(this);
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
    TStatusPanel* previous = panels_.back();
    const int at = static_cast<int>(panels_.size()) - 1;
    removeWidget(previous);
    insertWidget(at, previous, 0);
    previous->FollowText();
    previous->show();
  }
  auto* panel = new TStatusPanel(this);
  // Its text never widens it: it has what the other panels leave.
  panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  addWidget(panel, 1);
  panels_.push_back(panel);
}

QString TStatusBar::PanelText(int index) const { return Panel(index)->text(); }

void TStatusBar::SetPanelText(int index, const QString& text) {
  TStatusPanel* panel = Panel(index);
  const QSize before = panel->sizeHint();
  panel->setText(text);
  // A panel that takes its text's width has it at once, not at the next layout pass.
  if (panel->sizeHint() != before) {
    if (QLayout* panels = layout()) panels->activate();
  }
}

}  // namespace talyx::app
