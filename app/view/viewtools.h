// Tools of the receive view: finding text forward and watching the keys pressed in a view.
// Main thread only, like the widgets they work on.
#pragma once

#include <QString>
#include <functional>

class QKeyEvent;
class QWidget;

namespace talyx::app {

class TReceiveView;

// Searches the view for `what`, forward from just after its selection (from the beginning of
// the text when nothing is selected), matching case exactly, without wrapping around. A match
// is selected and the view takes the focus. False, with the view untouched, when there is no
// match; an empty `what` never matches.
bool FindNext(TReceiveView* view, const QString& what);

// Runs handler on every key pressed in widget, before the widget itself handles the key; the key
// is not consumed. The watch lives as long as the widget.
void WatchKeyDown(QWidget* widget, std::function<void(const QKeyEvent& key)> handler);

}  // namespace talyx::app
