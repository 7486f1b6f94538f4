// ShowMessage and its hook.
#include "app/shell/messagebox.h"

#include <QApplication>
#include <cstdio>
#include <utility>

#include "app/shell/application.h"

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

bool& ToStandardError() {
  static bool on = false;
  return on;
}

// The answer of a box closed by Escape: its Cancel or No button, else its OK.
QMessageBox::StandardButton EscapeAnswer(QMessageBox::StandardButtons buttons) {
  if (buttons.testFlag(QMessageBox::Cancel)) return QMessageBox::Cancel;
  if (buttons.testFlag(QMessageBox::No)) return QMessageBox::No;
  return QMessageBox::Ok;
}

}  // namespace

void SetMessagesToStandardError(bool on) { ToStandardError() = on; }

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
  return std::exchange(Hook(), std::move(hook));
}

QMessageBox::StandardButton ShowMessage(const QString& text, MessageKind kind,
                                        QMessageBox::StandardButtons buttons) {
  return ShowMessage(MessageRequest{text, kind, buttons, QString()});
}

QMessageBox::StandardButton ShowMessage(const MessageRequest& request) {
  if (ToStandardError()) {
    std::fprintf(stderr, "talyx: %s\n", request.Text.toUtf8().constData());
    if (!request.InformativeText.isEmpty()) {
      std::fprintf(stderr, "talyx: %s\n", request.InformativeText.toUtf8().constData());
    }
    return EscapeAnswer(request.Buttons);
  }
  // A copy, so that a hook that replaces itself while it runs is not destroyed under itself.
  const MessageBoxHook hook = Hook();
  if (hook) return hook(request);
  QMessageBox box(IconOf(request.Kind), ApplicationTitleText(), request.Text, request.Buttons,
                  QApplication::activeWindow());
  box.setInformativeText(request.InformativeText);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace talyx::app
