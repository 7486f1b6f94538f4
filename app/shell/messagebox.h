// ShowMessage: the one road by which the terminal shows a message box, and the hook tests use.
//
// Principles of operation:
// - Every message box of the terminal (the fixed messages of the window, the general error
//   report) goes through ShowMessage, so tests can answer and record each one by installing a
//   hook; without a hook a modal QMessageBox is shown and its answer returned.
// - While the program ends from outside (a terminating signal, nobody at the screen to answer),
//   messages go to standard error instead of a box (or the hook), answered as Escape would
//   answer the box.
// - Main (GUI) thread only. A message box runs a nested event loop: the main thread's message
//   queue keeps being drained meanwhile (qtbridge.h), so worker threads are never held up.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

namespace talyx::app {

enum class MessageKind { Information, Warning, Error };

struct MessageRequest {
  QString Text;
  MessageKind Kind = MessageKind::Information;
  QMessageBox::StandardButtons Buttons = QMessageBox::Ok;
  // Shown below Text (the box's informative text): the details of the message; "" for none.
  QString InformativeText;
};

// Answers a message box in place of the user.
using MessageBoxHook = std::function<QMessageBox::StandardButton(const MessageRequest& request)>;

// Installs the hook (an empty one restores the real message box) and returns the one it
// replaces.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// From now on (on: true) every message is written to standard error, not shown.
void SetMessagesToStandardError(bool on);

// Shows the text in a modal message box titled with the application's name and returns the
// button that closed it (the hook's answer when one is installed).
QMessageBox::StandardButton ShowMessage(const QString& text,
                                        MessageKind kind = MessageKind::Information,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok);
// The same for a whole request, with its informative text.
QMessageBox::StandardButton ShowMessage(const MessageRequest& request);

}  // namespace talyx::app
