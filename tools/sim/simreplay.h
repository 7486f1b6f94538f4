// talyx-sim --replay: the received side of a bus capture (pcap, as the terminal writes it)
// played into a new pseudo-terminal with its original timing.
//
// Principles of operation:
// - The file is read whole first: classic pcap (nanosecond or microsecond times), link type 252
//   (exported PDU); a record counts when its direction tag says received (1). Its bytes after
//   the tags are played; sent records, records without a direction and other link types are
//   left out.
// - The pseudo-terminal's path is printed; playing starts LeadInMs after a program opens it
//   (a program sets the line up after opening it, and may flush what came meanwhile), each record
//   at its time after the first one's (a record's time is its first byte's), in one write, as a
//   USB adapter hands a frame over: a reader gets each frame whole, and the gaps between frames
//   are the capture's, longer by the transmission of the frame before at the captured rate.
//   When the last record is played the terminal stays open until the program closes it or the
//   stop descriptor (an eventfd) is signalled.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace talyx::sim {

inline constexpr int LeadInMs = 500;

struct ReplayRecord {
  uint64_t TimeNs = 0;
  std::vector<uint8_t> Bytes;
};

// The received records of the capture; false (why in error) when it cannot be read.
bool ReadReceivedRecords(const std::string& path, std::vector<ReplayRecord>& records,
                         std::string& error);

// Plays the records into a new pseudo-terminal; the program's exit code.
int RunReplay(const std::string& path, int stopEvent);

}  // namespace talyx::sim
