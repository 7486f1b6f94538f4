// TTerminationSignals: SIGTERM, SIGHUP and SIGINT handed to the GUI thread, which ends the
// program as a close of its window would; a second signal, or a deadline, ends it at once.
//
// Principles of operation:
// - BlockTerminationSignals runs first in main, before any thread exists: the three signals are
//   then blocked in every thread (threads inherit the mask), so none interrupts a system call or
//   runs a handler anywhere. They wait in the process's pending set until read from a signalfd;
//   there is no signal handler, so nothing has to be async-signal-safe.
// - TTerminationSignals reads the signalfd through a QSocketNotifier on the GUI thread. The first
//   signal runs the ending given at construction once, then makes every running event loop
//   return (the main one included); a signal that came before the main loop started is read in
//   the first event loop that runs, a modal dialog's of the start-up for instance.
// - From the first signal on, a watchdog thread owns the signalfd: a further signal ends the
//   process at once, and so does EndDeadlineMs passing before the process has ended by itself;
//   both with _exit(128 + the signal's number), the status a shell gives a program a signal
//   ended. A second signal already pending with the first one ends it at once as well. The
//   watchdog is detached and lasts until the process ends, so it also covers the destruction
//   of the window and the port after the main loop returned. It writes nothing: standard error
//   may be a pipe nobody reads.
// - Main thread only, apart from the watchdog, which touches nothing but its descriptor.
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace talyx::app {

// Blocks SIGTERM, SIGHUP and SIGINT in the calling thread and every thread it starts later.
void BlockTerminationSignals();

class TTerminationSignals : public QObject {
  Q_OBJECT

 public:
  // Time from the first signal to the forced end.
  static constexpr int EndDeadlineMs = 2500;

  // Starts reading the blocked signals (BlockTerminationSignals ran before); ending runs on the
  // first. Raises std::system_error when no signalfd can be made.
  explicit TTerminationSignals(std::function<void()> ending, QObject* parent = nullptr);
  ~TTerminationSignals() override;
  TTerminationSignals(const TTerminationSignals&) = delete;
  TTerminationSignals& operator=(const TTerminationSignals&) = delete;

  // The first signal has been read (and the ending run).
  bool Received() const { return received_; }

 private:
  void ReadFirstSignal();

  std::function<void()> ending_;
  int fd_ = -1;  // handed to the watchdog at the first signal
  QSocketNotifier* notifier_ = nullptr;
  bool received_ = false;
};

}  // namespace talyx::app
