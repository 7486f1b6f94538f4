// Connecting a network port before its open: on a worker thread, the window waiting without
// freezing.
//
// The connect (name resolution included) runs on PendingConnect's thread; the window waits in a
// local event loop that handles no user input, at most ConnectTimeoutMs, so that nothing the
// user does can start another open or a send meanwhile (the caller pauses its own timers that
// open or send). The connection, or why it failed, is handed to the network provider, whose open
// takes it. Main thread only.
#pragma once

#include <string>

namespace talyx::app {

// For a network value: connects, waiting as above, and hands the outcome to its provider.
// False (nothing done) for any other value.
bool ConnectBeforeOpen(const std::string& value);

}  // namespace talyx::app
