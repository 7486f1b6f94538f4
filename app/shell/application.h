// TApplication: the terminal's QApplication, and the general error report.
//
// Principles of operation:
// - The general error report shows an exception's text in a message box (through ShowMessage)
//   and the program goes on. Exceptions reach it from three places: any event handler, caught
//   where Qt hands the event over (TApplication::notify); the port component's exception hook
//   (errors inside its events and its deferred work); and handlers run through RunReported.
// - Handlers connected to Qt signals run inside Qt's own frames, which must not be unwound by
//   an exception: every handler of the window is connected through Reported, so its exceptions
//   stop at the handler's edge and go to the report.
// - TApplication sets the desktop id (which names the installed desktop entry and icon),
//   installs the report as the port component's exception hook and bridges the engine's message
//   queue into the Qt event loop (qtbridge.h) for its whole life. One per process, on the main
//   thread.
// - It sets no application display name: the X11 platform would add it to every window's title
//   ("Select Port — ..."). Each window sets its own title; the main window and the message boxes
//   take the application title.
#pragma once

#include <QApplication>
#include <exception>
#include <memory>
#include <utility>

namespace talyx::app {

class TQtBridge;

// The application title, also the main window's caption once it is shown.
inline constexpr const char* ApplicationTitle =
    QT_TRANSLATE_NOOP("talyx::app::TApplication", "TALYX串口通信控制器");

// The application title in the interface language.
QString ApplicationTitleText();

class TApplication : public QApplication {
  Q_OBJECT

 public:
  TApplication(int& argc, char** argv);
  ~TApplication() override;

  // Delivers the event; an exception leaving its handler goes to the general error report.
  bool notify(QObject* receiver, QEvent* event) override;

 private:
  std::unique_ptr<TQtBridge> bridge_;
};

// The general error report: a message box with the exception's text.
void ShowException(const std::exception& error);

// Runs fn; an exception leaving it goes to the general error report.
template <class Fn>
void RunReported(Fn&& fn) {
  try {
    std::forward<Fn>(fn)();
  } catch (const std::exception& error) {
    ShowException(error);
  }
}

// A handler for a Qt connection that runs fn (which takes none of the signal's arguments)
// under RunReported.
template <class Fn>
auto Reported(Fn fn) {
  return [fn = std::move(fn)] { RunReported(fn); };
}

}  // namespace talyx::app
