// TStatusBar: the window's status bar of fixed-width text panels.
#pragma once

#include <QStatusBar>
#include <QString>
#include <initializer_list>
#include <vector>

#include "app/window/statuspanel.h"

namespace talyx::app {

class TStatusBar : public QStatusBar {
  Q_OBJECT

 public:
  // One panel per width, left to right; the last one stretches to the right edge.
  TStatusBar(std::initializer_list<int> panelWidths, QWidget* parent = nullptr);

  int PanelCount() const { return static_cast<int>(panels_.size()); }
  TStatusPanel* Panel(int index) const { return panels_.at(static_cast<size_t>(index)); }
  // One more panel after the others that takes the rest of the bar's width; the panel before it
  // no longer stretches.
  void AddFillPanel();
  QString PanelText(int index) const;
  void SetPanelText(int index, const QString& text);

 private:
  std::vector<TStatusPanel*> panels_;
};

}  // namespace talyx::app
