// Process-wide hooks the application installs into the port component: where exceptions are
// shown, and how the user is asked for a port.
//
// Principles of operation:
// - The engine has no GUI. Two things the port component needs from one reach it through
//   functions the application installs at start-up: the application's exception display (a
//   message box with the exception's text, after which the program goes on), and the port
//   chooser (the selection dialog asking for a port when none is set). Tests install their own.
// - Exceptions thrown by the dispatcher's trigger handlers reach the same display: installing
//   it also routes the dispatcher's handler failures (handlerfailure.h) there.
// - Without an installed display, exceptions are written to standard error. Without an
//   installed chooser no port can be chosen: the open is refused as if the user had cancelled.
// - Main thread only: the hooks are installed at start-up (or by a test) and called from the
//   port component's operations and window procedure, which all run on the main thread.
#pragma once

#include <exception>
#include <functional>

namespace talyx {

// Shows an exception that reached the application without a handler of its own.
using ApplicationExceptionHook = std::function<void(const std::exception& error)>;

// Asks the user for a port: the chosen port number, or ecNoPortSelected (-2011) when the user
// refused.
using PortChooserHook = std::function<int()>;

// Installs the hook (an empty one restores the default) and returns the one it replaces.
ApplicationExceptionHook SetApplicationExceptionHook(ApplicationExceptionHook hook);
PortChooserHook SetPortChooser(PortChooserHook chooser);

// Hands the exception to the installed display (standard error when none is installed).
void ShowApplicationException(const std::exception& error);
// The same for whatever was thrown; anything that is not a std::exception is shown as a
// talyx::Exception with a fixed text.
void ShowApplicationException(const std::exception_ptr& failure);

// The installed chooser's answer; ecNoPortSelected when none is installed.
int ChoosePort();

}  // namespace talyx
