// Tools of the receive view: find and key watch.
#include "app/view/viewtools.h"

#include <QKeyEvent>
#include <utility>

#include "app/view/receiveview.h"

namespace talyx::app {

namespace {

// Hands key presses to a handler and lets them go on to the widget.
class TKeyDownWatch : public QObject {
 public:
  TKeyDownWatch(QWidget* widget, std::function<void(const QKeyEvent&)> handler)
      : QObject(widget), handler_(std::move(handler)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) handler_(*static_cast<QKeyEvent*>(event));
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void(const QKeyEvent&)> handler_;
};

}  // namespace

bool FindNext(TReceiveView* view, const QString& what) {
  const qsizetype start = view->HasSelection() ? view->SelectionEnd() : 0;
  const qsizetype match = view->Find(what, start);
  if (match < 0) return false;
  view->setFocus();
  view->SetSelection(match, match + what.size());
  return true;
}

void WatchKeyDown(QWidget* widget, std::function<void(const QKeyEvent& key)> handler) {
  widget->installEventFilter(new TKeyDownWatch(widget, std::move(handler)));
}

}  // namespace talyx::app
