// TQtBridge: wake hook and drain.
#include "app/shell/qtbridge.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <atomic>
#include <exception>
#include <mutex>

#include "app/shell/application.h"
#include "platform/messagequeue.h"

namespace talyx::app {

namespace {

const QEvent::Type DrainEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

}  // namespace

// What the wake hook shares with the bridge: the bridge while it lives, and whether a drain
// event is already on its way.
struct TQtBridge::Shared {
  std::mutex Mutex;
  QObject* Receiver = nullptr;  // guarded by Mutex
  std::atomic<bool> DrainScheduled{false};

  // Any thread: posts a drain event unless one is already pending.
  void Schedule() {
    if (DrainScheduled.exchange(true)) return;
    std::lock_guard lock(Mutex);
    if (Receiver != nullptr) {
      QCoreApplication::postEvent(Receiver, new QEvent(DrainEventType));
    }
  }
};

TQtBridge::TQtBridge(QObject* parent) : QObject(parent), shared_(std::make_shared<Shared>()) {
  shared_->Receiver = this;
  platform::BindMainThread();
  platform::SetQueueWakeHook([shared = shared_] { shared->Schedule(); });
  // Whatever was queued before the bridge existed is drained as soon as the loop runs.
  shared_->Schedule();
}

TQtBridge::~TQtBridge() {
  platform::SetQueueWakeHook(nullptr);
  std::lock_guard lock(shared_->Mutex);
  shared_->Receiver = nullptr;
}

void TQtBridge::customEvent(QEvent* event) {
  if (event->type() != DrainEventType) {
    QObject::customEvent(event);
    return;
  }
  // Cleared before pumping: anything queued from now on schedules a drain of its own, which a
  // nested event loop inside one of the procedures below also serves.
  shared_->DrainScheduled.store(false);
  Drain();
}

void TQtBridge::Drain() {
  QElapsedTimer slice;
  slice.start();
  for (;;) {
    bool ran = false;
    try {
      ran = platform::PumpOneMessage();
    } catch (const std::exception& error) {
      ShowException(error);
      ran = true;
    }
    if (!ran) break;
    if (slice.elapsed() >= DrainSliceMs) {
      shared_->Schedule();
      return;
    }
  }
  int exitCode = 0;
  if (platform::TakeQuitMessage(&exitCode)) QCoreApplication::exit(exitCode);
}

}  // namespace talyx::app
