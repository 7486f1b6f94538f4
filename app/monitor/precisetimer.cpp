// TPreciseTimer: a timerfd armed for an absolute time of the monotonic clock.
#include "app/monitor/precisetimer.h"

#include <sys/timerfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <utility>

#include "platform/clock.h"

namespace talyx::app {

TPreciseTimer::TPreciseTimer(std::function<void()> fired, QObject* parent)
    : QObject(parent), fired_(std::move(fired)) {
  descriptor_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (descriptor_ >= 0) {
    notifier_ = new QSocketNotifier(descriptor_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
      uint64_t expirations = 0;
      // Nothing to read: a Stop or a new Start came after the expiry woke the loop.
      if (read(descriptor_, &expirations, sizeof expirations) != sizeof expirations) return;
      Fire();
    });
  }
  fallback_.setSingleShot(true);
  fallback_.setTimerType(Qt::PreciseTimer);
  connect(&fallback_, &QTimer::timeout, this, [this] { Fire(); });
}

TPreciseTimer::~TPreciseTimer() {
  delete notifier_;
  if (descriptor_ >= 0) close(descriptor_);
}

void TPreciseTimer::Start(uint64_t atUs) {
  armed_ = true;
  if (descriptor_ < 0) {
    const uint64_t now = platform::MicrosecondClock();
    const uint64_t left = atUs > now ? atUs - now : 0;
    fallback_.start(static_cast<int>((left + 999) / 1000));
    return;
  }
  // An it_value of zero would disarm the timer: a time already past is 1 ns after the epoch.
  itimerspec at{};
  at.it_value.tv_sec = static_cast<time_t>(atUs / 1'000'000);
  at.it_value.tv_nsec = static_cast<long>(atUs % 1'000'000) * 1000;
  if (atUs == 0) at.it_value.tv_nsec = 1;
  timerfd_settime(descriptor_, TFD_TIMER_ABSTIME, &at, nullptr);
}

void TPreciseTimer::Stop() {
  armed_ = false;
  fallback_.stop();
  if (descriptor_ >= 0) {
    const itimerspec disarmed{};
    timerfd_settime(descriptor_, 0, &disarmed, nullptr);
  }
}

void TPreciseTimer::Fire() {
  if (!armed_) return;
  armed_ = false;
  fired_();
}

}  // namespace talyx::app
