// ServePaced: talyx-sim's demo slave answering at a serial line's pace on a pseudo-terminal
// (talyx-sim --paced), for measuring a master against the timing a real line would impose.
//
// Principles of operation:
// - A pseudo-terminal carries bytes at once; a line carries one character per character time.
//   The paced slave models the line at the given rate: bytes read are taken to arrive one
//   character time apart, the first of them when it was read (or when the previous character
//   ended, if later), so a request written in one piece ends where the line would end it.
// - After a request's last character the slave waits 3.5 character times, then writes its
//   reply one byte per character time, each byte when its character would have ended.
// - Requests of unknown length are ended by the line's silence, as the demo slave does.
// - It returns when the stop descriptor becomes readable or the line hangs up.
#pragma once

#include <cstdint>

#include "modbus/simulatorloop.h"
#include "modbus/simulatorregisters.h"

namespace talyx::sim {

modbus::ServeEnd ServePaced(int line, int stopDescriptor, uint32_t baudRate,
                            modbus::SimulatorRegisters& registers);

}  // namespace talyx::sim
