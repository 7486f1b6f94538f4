// TPreciseTimer: whole milliseconds on a Qt timer, the rest slept.
#include "app/monitor/precisetimer.h"

#include <chrono>
#include <thread>
#include <utility>

#include "platform/clock.h"

namespace talyx::app {

namespace {

// The part of a wait below this is slept rather than left to the Qt timer.
constexpr uint64_t SleptUs = 1000;

}  // namespace

TPreciseTimer::TPreciseTimer(std::function<void()> fired, QObject* parent)
    : QObject(parent), fired_(std::move(fired)) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, [this] { Timeout(); });
}

void TPreciseTimer::Start(uint64_t atUs) {
  atUs_ = atUs;
  Wait();
}

void TPreciseTimer::Stop() { timer_.stop(); }

void TPreciseTimer::Wait() {
  const uint64_t now = platform::MicrosecondClock();
  const uint64_t left = atUs_ > now ? atUs_ - now : 0;
  timer_.start(left > SleptUs ? static_cast<int>((left - SleptUs + 999) / 1000) : 0);
}

void TPreciseTimer::Timeout() {
  const uint64_t now = platform::MicrosecondClock();
  if (atUs_ > now + SleptUs) {
    Wait();
    return;
  }
  if (atUs_ > now) std::this_thread::sleep_for(std::chrono::microseconds(atUs_ - now));
  fired_();
}

}  // namespace talyx::app
