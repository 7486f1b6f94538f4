// The millisecond and microsecond clocks on CLOCK_MONOTONIC, and the sleep used by the engine.
#include "platform/clock.h"

#include <sched.h>
#include <time.h>

#include <chrono>
#include <thread>

namespace talyx::platform {

uint32_t MillisecondClock() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const uint64_t ms =
      static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

uint64_t MicrosecondClock() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

void SleepMs(uint32_t milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace talyx::platform
