// The millisecond clock shared by timer triggers (ticks of 55 ms) and the dispatch log's times.
//
// It counts milliseconds of CLOCK_MONOTONIC, kept in 32 bits so that it wraps as the timer
// arithmetic expects (a timer compares against its start tick to detect the wrap). Any thread.
#pragma once

#include <cstdint>

namespace talyx::platform {

uint32_t MillisecondClock();

// Sleeps the calling thread for the given number of milliseconds (0 yields the time slice).
void SleepMs(uint32_t milliseconds);

}  // namespace talyx::platform
