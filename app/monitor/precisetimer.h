// TPreciseTimer: a single-shot timer that fires at a time of the microsecond clock, not at the
// next millisecond after it.
//
// Principles of operation:
// - Qt's timers count whole milliseconds, too coarse for a serial line's silences (1750 µs on a
//   fast line). The timer waits the whole milliseconds with a precise Qt timer and sleeps the
//   rest (at most a millisecond) on the calling thread, so it fires within a few tens of
//   microseconds of its time without spinning.
// - Start replaces the time of a timer that has not fired; a time already past fires at the
//   next turn of the event loop.
// - Main thread only (the thread of the event loop it runs in).
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>

namespace talyx::app {

class TPreciseTimer : public QObject {
  Q_OBJECT

 public:
  explicit TPreciseTimer(std::function<void()> fired, QObject* parent = nullptr);

  // Fires once at atUs (platform::MicrosecondClock).
  void Start(uint64_t atUs);
  void Stop();
  bool Active() const { return timer_.isActive(); }

 private:
  void Wait();
  void Timeout();

  std::function<void()> fired_;
  QTimer timer_;
  uint64_t atUs_ = 0;
};

}  // namespace talyx::app
