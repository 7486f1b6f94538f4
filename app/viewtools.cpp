// Tools of the receive view: find and key watch.
#include "app/viewtools.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>
#include <utility>

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

bool FindNext(QPlainTextEdit* view, const QString& what) {
  const QTextCursor selection = view->textCursor();
  const int start = selection.hasSelection() ? selection.selectionEnd() : 0;
  const QTextCursor match = view->document()->find(what, start, QTextDocument::FindCaseSensitively);
  if (match.isNull()) return false;
  view->setFocus();
  view->setTextCursor(match);
  return true;
}

void WatchKeyDown(QWidget* widget, std::function<void(const QKeyEvent& key)> handler) {
  widget->installEventFilter(new TKeyDownWatch(widget, std::move(handler)));
}

}  // namespace talyx::app
