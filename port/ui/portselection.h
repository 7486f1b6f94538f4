// InstallPortSelectionDialog: makes the port selection dialog the port component's chooser.
//
// Principles of operation: the engine asks for a port through a process-wide chooser hook
// (port/apphooks.h) and knows nothing of Qt. The GUI installs the dialog there once at start-up;
// from then on a port component told to open with no port number shows the dialog modally on
// the main thread, listing the ports 1..50 that the port map gives an existing device, and
// takes the chosen number, or refuses the open (-2011) on Cancel, the close box, or OK with
// nothing to choose.
#pragma once

class QWidget;

namespace talyx {

// The dialog is owned by owner while it is shown (none: a top-level dialog). An owner that is
// destroyed later is simply no longer used.
void InstallPortSelectionDialog(QWidget* owner = nullptr);

}  // namespace talyx
