// ServeSimulator: runs a ModbusSimulator on an open line (a tty or a pseudo-terminal master).
//
// Principles of operation:
// - One thread per line calls ServeSimulator; it polls the line and a stop descriptor, hands
//   what it reads to the simulator, writes the replies, and tells the simulator of a silence
//   when no byte came for the silence interval of the line's current settings (rate, data bits,
//   parity and stop bits, read from the line at every read, since the far end may change them;
//   a rate it cannot tell counts as fast). The interval is the shared rule of rtutiming.h.
// - Replies are written when a slave on a real line would have finished sending them: after the
//   request's characters, the silence and their own characters, counted from the read.
// - It returns when the stop descriptor becomes readable (any thread may make it so, for
//   example with an eventfd or a pipe) or when the line hangs up (a pseudo-terminal whose
//   terminal end nobody holds any more, an adapter pulled out).
// - The line is switched to non-blocking I/O; the caller keeps ownership of both descriptors.
#pragma once

#include <cstdint>
#include <vector>

#include "modbus/simulatorregisters.h"

namespace talyx::modbus {

enum class ServeEnd { Stopped, HungUp, Failed };

ServeEnd ServeSimulator(int line, int stopDescriptor, SimulatorRegisters& registers);

// Writes all bytes to the non-blocking line, waiting for room; false (with end set) when the line
// hung up or failed or the stop descriptor became readable.
bool WriteAll(int line, int stopDescriptor, const std::vector<uint8_t>& bytes, ServeEnd& end);

}  // namespace talyx::modbus
