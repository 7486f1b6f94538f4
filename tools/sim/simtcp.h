// ServeTcp: talyx-sim's demo slave as raw Modbus RTU over TCP (talyx-sim --tcp [HOST:]PORT).
//
// It listens on HOST (127.0.0.1 when none is given; an IPv6 host in brackets) and serves one
// client at a time with the same registers, the next client once the previous one has gone,
// until the stop descriptor becomes readable.
#pragma once

#include <string>

#include "modbus/simulatorregisters.h"

namespace talyx::sim {

// 0 when stopped, 1 on a failure (reported on standard error), 2 for an address of a wrong form.
int ServeTcp(const std::string& address, int stopDescriptor, modbus::SimulatorRegisters& registers);

}  // namespace talyx::sim
