// Where an exception that a trigger handler throws goes: it is shown on the main thread, and the
// delivery goes on with the next handler.
//
// Principles of operation:
// - A handler may throw anything. The dispatcher catches it around each handler so that one
//   failing handler neither skips the others nor ends the dispatch thread.
// - The failure is shown on the main thread: one that happened there (a synchronised event
//   handler, a window procedure) is shown at once; one that happened on the dispatch thread (a
//   procedure handler, an event handler that is not synchronised) is handed to the main thread
//   through its message queue and shown when the queue is drained.
// - The display is a hook the port layer connects to the application's exception display;
//   without one the failure is written to standard error. The hook is installed on the main
//   thread at start-up (or by a test) and runs on the main thread only.
#pragma once

#include <exception>
#include <functional>
#include <string>

namespace talyx {

// Shows a failed handler's exception; runs on the main thread.
using HandlerFailureHook = std::function<void(std::exception_ptr failure)>;

// Installs the hook (an empty one restores the standard error default); the old one is returned.
HandlerFailureHook SetHandlerFailureHook(HandlerFailureHook hook);

// Any thread: shows the failure on the main thread (at once when called there).
void ReportHandlerFailure(std::exception_ptr failure);

// The text of a failure: what() of a std::exception, else a fixed text for anything else.
std::string FailureText(const std::exception_ptr& failure);

}  // namespace talyx
