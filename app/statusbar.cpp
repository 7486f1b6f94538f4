// TStatusBar: the panels.
#include "app/statusbar.h"

#include <QLabel>

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

QString TStatusBar::PanelText(int index) const { return Panel(index)->text(); }

void TStatusBar::SetPanelText(int index, const QString& text) { Panel(index)->setText(text); }

}  // namespace talyx::app
