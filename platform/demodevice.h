// The built-in Modbus demo device: pseudo-terminal lines served by the simulator in this process.
//
// Principles of operation:
// - A port mapped to DemoDeviceName opens a line to the demo device: a fresh pseudo-terminal
//   pair whose terminal end the device layer takes over, and whose other end a simulator thread
//   of this process serves (a Modbus RTU slave at address 1, see modbus/modbussimulator.h).
// - Each line's thread ends when the line's terminal end is closed (the pseudo-terminal hangs
//   up); threads that ended are joined at the next open, the rest when the program ends.
// - All lines share one set of simulated registers made at the first open, so values written
//   stay for the life of the program, across closes and reopens.
// - Any thread may open a line; a mutex guards the list of lines.
#pragma once

#include <string>

namespace talyx::platform {

// The port map's value for the demo device.
inline const std::string DemoDeviceName = "demo";

// Opens a new line to the demo device. On success descriptor is the terminal end in raw mode,
// owned by the caller. 0 or a platform error number.
int OpenDemoDevice(int& descriptor);

}  // namespace talyx::platform
