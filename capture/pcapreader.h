// ReadReceivedRecords: the received frames of a capture file as the terminal writes it, for
// replaying them (talyx-sim --replay).
//
// Principles:
// - Classic little-endian pcap, nanosecond or microsecond times, link type 252 (exported PDU);
//   anything else is refused with the reason. A record counts when its direction tag says
//   received (1); its payload is what follows the end tag. Sent records, records without a
//   direction and records whose tags run past their end are left out; a record cut short ends
//   the file.
// - Reads outside input: never reads beyond the bytes given, whatever they hold.
// - Pure function: any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace talyx::capture {

struct ReceivedRecord {
  uint64_t TimeNs = 0;  // since the epoch
  std::vector<uint8_t> Bytes;
};

// The received records of the file's bytes; false (why in error) when they are not a capture.
bool ReadReceivedRecords(const uint8_t* data, size_t size, std::vector<ReceivedRecord>& records,
                         std::string& error);

}  // namespace talyx::capture
