// TStatusBar: the panels.
#include "app/statusbar.h"

#include <QLabel>

namespace talyx::app {

TStatusBar::TStatusBar(std::initializer_list<int> panelWidths, QWidget* parent)
    : QStatusBar(parent) {
  for (int width : panelWidths) {
    auto* panel = new QLabel(this);
    panel->setFixedWidth(width);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    addWidget(panel);
    panels_.push_back(panel);
  }
}

void TStatusBar::AddFillPanel() {
  auto* panel = new QLabel(this);
  panel->setFrameShape(QFrame::Panel);
  panel->setFrameShadow(QFrame::Sunken);
  panel->setMinimumWidth(0);
  addWidget(panel, 1);
  panels_.push_back(panel);
}

QString TStatusBar::PanelText(int index) const { return Panel(index)->text(); }

void TStatusBar::SetPanelText(int index, const QString& text) { Panel(index)->setText(text); }

}  // namespace talyx::app
