// ShowMessage and its hook.
#include "app/messagebox.h"

#include <QApplication>
#include <utility>

#include "app/application.h"

namespace talyx::app {

namespace {

MessageBoxHook& Hook() {
  static MessageBoxHook hook;
  return hook;
}

QMessageBox::Icon IconOf(MessageKind kind) {
  switch (kind) {
    case MessageKind::Warning:
      return QMessageBox::Warning;
    case MessageKind::Error:
      return QMessageBox::Critical;
    case MessageKind::Information:
      break;
  }
  return QMessageBox::Information;
}

}  // namespace

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
  return std::exchange(Hook(), std::move(hook));
}

QMessageBox::StandardButton ShowMessage(const QString& text, MessageKind kind,
                                        QMessageBox::StandardButtons buttons) {
  const MessageRequest request{text, kind, buttons};
  // A copy, so that a hook that replaces itself while it runs is not destroyed under itself.
  const MessageBoxHook hook = Hook();
  if (hook) return hook(request);
  QMessageBox box(IconOf(kind), ApplicationTitleText(), text, buttons,
                  QApplication::activeWindow());
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace talyx::app
