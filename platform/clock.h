// The millisecond clock shared by timer triggers (ticks of 55 ms) and the dispatch log's times,
// and the microsecond clock beside it that tells the silences of a serial line apart.
//
// Both count CLOCK_MONOTONIC. The millisecond clock is kept in 32 bits so that it wraps as the
// timer arithmetic expects (a timer compares against its start tick to detect the wrap); the
// microsecond clock has 64 bits and never wraps. A microsecond reading divided by 1000 and kept
// in 32 bits (MillisecondsOf) is the millisecond clock's reading at that instant, so one reading
// gives both. Any thread.
#pragma once

#include <cstdint>

namespace talyx::platform {

uint32_t MillisecondClock();
uint64_t MicrosecondClock();

// The millisecond clock's reading at the instant of a microsecond clock reading.
constexpr uint32_t MillisecondsOf(uint64_t microseconds) {
  return static_cast<uint32_t>(microseconds / 1000u);
}

// Sleeps the calling thread for the given number of milliseconds (0 yields the time slice).
void SleepMs(uint32_t milliseconds);

}  // namespace talyx::platform
