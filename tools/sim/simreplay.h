// talyx-sim --replay: the received side of a bus capture (pcap, as the terminal writes it)
// played into a new pseudo-terminal with its original timing.
//
// Principles of operation:
// - The file is read whole first; its received records (capture/pcapreader.h) are played, the
//   sent ones left out.
// - The pseudo-terminal's path is printed; playing starts LeadInMs after a program opens it
//   (a program sets the line up after opening it, and may flush what came meanwhile), each record
//   at its time after the first one's (a record's time is its first byte's), in one write, as a
//   USB adapter hands a frame over: a reader gets each frame whole, and the gaps between frames
//   are the capture's, longer by the transmission of the frame before at the captured rate.
//   When the last record is played the terminal stays open until the program closes it or the
//   stop descriptor (an eventfd) is signalled.
#pragma once

#include <string>

namespace talyx::sim {

inline constexpr int LeadInMs = 500;

// Plays the records into a new pseudo-terminal; the program's exit code.
int RunReplay(const std::string& path, int stopEvent);

}  // namespace talyx::sim
