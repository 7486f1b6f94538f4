// TPreciseTimer: a single-shot timer that fires at a time of the microsecond clock, not at the
// next millisecond after it.
//
// Principles of operation:
// - Qt's timers count whole milliseconds, too coarse for a serial line's silences (1750 µs on a
//   fast line). The timer is a timerfd on the monotonic clock (the microsecond clock's own),
//   armed for the absolute time and watched by the event loop, so it fires within the loop's
//   wake-up of its time and the thread never sleeps or spins for it.
// - Without a timer descriptor (the process is out of descriptors) it waits on a Qt timer for
//   the time rounded up to whole milliseconds: late, never early.
// - Start replaces the time of a timer that has not fired; a time already past fires at the
//   next turn of the event loop.
// - Main thread only (the thread of the event loop it runs in).
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>

class QSocketNotifier;

namespace talyx::app {

class TPreciseTimer : public QObject {
  Q_OBJECT

 public:
  explicit TPreciseTimer(std::function<void()> fired, QObject* parent = nullptr);
  ~TPreciseTimer() override;

  // Fires once at atUs (platform::MicrosecondClock).
  void Start(uint64_t atUs);
  void Stop();
  bool Active() const { return armed_; }

 private:
  void Fire();

  std::function<void()> fired_;
  int descriptor_ = -1;
  QSocketNotifier* notifier_ = nullptr;
  QTimer fallback_;
  bool armed_ = false;
};

}  // namespace talyx::app
