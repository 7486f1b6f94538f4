// TWindowState: the main window's run-time state that its receive and send paths share.
//
// Principles of operation:
// - The main window owns it (as one of its bases) and hands it by reference to both paths;
//   each value has one writer besides the counter reset: the receive path writes RecvCount,
//   DecodeBytes and DecodeText, the send path SendCount and RegCount, and InitDate sets the two
//   counters back to 0.
// - The values live as long as the window, start at zero or empty, and carry over from one
//   event or send to the next; clearing the views touches none of them.
// - Main thread only, like the window.
#pragma once

#include <QString>
#include <cstdint>

namespace talyx::app {

struct TWindowState {
  int32_t RecvCount = 0;    // bytes received since the last counter reset
  int32_t SendCount = 0;    // characters sent since the last counter reset
  int32_t DecodeBytes = 0;  // bytes received since the last completed register decoding
  uint16_t RegCount = 0;    // register count of the last 12-digit hexadecimal request
  QString DecodeText;       // received display text gathered for the next decoding
};

}  // namespace talyx::app
