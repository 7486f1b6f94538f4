// TReceiveTap: what a bus monitor or capture sees of the bytes the receive path takes.
//
// Principles of operation:
// - The receive path gives a tap every byte it takes with GetChar, in order, with the engine's
//   read time in microseconds (platform::MicrosecondClock), once per event, so a tap sees
//   exactly what the window received. Bytes taken before a failure in the event are given too.
// - Main thread only, called from inside the port's trigger event: a tap must not close the port
//   or run a nested event loop.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace talyx::app {

class TReceiveTap {
 public:
  virtual ~TReceiveTap() = default;
  // The bytes of one event and their read times (timesUs.size() == bytes.size()).
  virtual void Received(const std::string& bytes, const std::vector<uint64_t>& timesUs) = 0;
};

}  // namespace talyx::app
