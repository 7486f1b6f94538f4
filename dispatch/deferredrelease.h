// ReleaseWhenThreadsEnded: frees a dispatcher on the main thread once its worker threads have
// ended, for an owner that cannot wait for them.
//
// Principles of operation:
// - A port component destroyed from inside one of its own trigger events cannot wait for its
//   dispatcher's threads: the dispatch thread waits for that very event to return. The
//   component hands the dispatcher over here instead, with its close already under way.
// - The dispatcher then belongs to a hidden window of its own. Its procedure runs on the main
//   thread whenever the main thread drains its queue; it waits a little for the threads' end,
//   asks again by posting to itself while they still run, and once they have ended destroys the
//   dispatcher and the window. So the dispatcher outlives its threads and its former owner, and
//   nothing waits without end.
// - Main thread only.
#pragma once

#include <memory>

#include "dispatch/dispatcher.h"

namespace talyx {

// Destroys the dispatcher at once when its threads have ended, else once they have.
void ReleaseWhenThreadsEnded(std::unique_ptr<TBaseDispatcher> dispatcher);

}  // namespace talyx
