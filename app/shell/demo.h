// RunDemo: the headless demonstration (talyx --demo): the real window, offscreen, reads ten
// registers from the built-in Modbus demo device through its real handlers, then polls it in the
// register poller.
#pragma once

namespace talyx::app {

// The program's one argument: run the demonstration instead of the terminal.
inline constexpr const char* DemoArgument = "--demo";

// Runs the demonstration in the running application (offscreen platform) and returns the exit
// code: 0 when the exchange completed, else 1 with the reason on standard error. It neither
// reads nor writes the settings file, opens the demo device by the number the port map gives
// it, sends 01 03 00 00 00 0A with hexadecimal send and receive, prints the receive view, the
// register view and the path of a PNG screenshot of the window: a new file with a random name,
// readable by its owner only, in $XDG_RUNTIME_DIR when set, else in the temporary folder. Then
// it opens the register poller on two rows of the demo device (one register ticked for the
// plot), polls for two seconds and prints the paths of two more screenshots made the same way:
// the poller's values and its plot.
int RunDemo();

}  // namespace talyx::app
