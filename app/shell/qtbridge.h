// TQtBridge: drains the engine's main-thread message queue from the Qt event loop.
//
// Principles of operation:
// - Creating the bridge makes the calling thread the queue's main thread (BindMainThread) and
//   installs the queue's wake hook. Whenever any thread queues something for the main thread
//   (a posted or sent trigger message, a main-thread call), the hook posts one drain event to
//   the bridge; further wakes before that drain starts add nothing.
// - The drain runs queued messages one by one (PumpOneMessage) until the queue is empty. A
//   drain that has run for DrainSliceMs schedules the rest as a new drain, so user input is
//   not starved while a device floods the queue.
// - Qt delivers posted events in every event loop, nested ones included (modal dialogs,
//   message boxes, a window procedure that shows a dialog): a worker's send is served there
//   too. A GUI thread busy elsewhere makes senders wait, each up to its own time-out.
// - A window procedure's exception goes to the general error report; a quit message queued on
//   the engine's side ends the Qt event loop with its exit code.
// - Threads: construct and destroy on the main thread. The wake hook runs on any thread; it
//   only posts an event, under a mutex that the destructor also takes, so no hook outlives the
//   bridge's object.
#pragma once

#include <QObject>
#include <memory>

namespace talyx::app {

class TQtBridge : public QObject {
  Q_OBJECT

 public:
  // The longest a single drain runs before it yields to the event loop.
  static constexpr int DrainSliceMs = 20;

  explicit TQtBridge(QObject* parent = nullptr);
  ~TQtBridge() override;

 protected:
  void customEvent(QEvent* event) override;

 private:
  struct Shared;

  void Drain();

  std::shared_ptr<Shared> shared_;
};

}  // namespace talyx::app
