// DescribeFrame: one decoded Modbus RTU frame as a one-line text, its register values shown in
// the register format chosen.
//
// Principles:
// - The line reads address, function, role, then the function's fields:
//     "17: Read Holding Registers request, start 107, count 3"
//     "17: Read Holding Registers response, 3 registers from 107: 44609, 22098, 17216"
//     "17: Read Coils exception 02 Illegal Data Address"
//     "broadcast: Write Single Register request, register 1 = 3"
//   A request to address 0 reads "broadcast". A function without a name reads "function 0x41";
//   its data, and the data of a frame that does not fit its function, show as hexadecimal bytes.
//   A wrong CRC adds ", CRC wrong (received 0x0CC4, computed 0x0BC4)".
// - Register values (read replies, values written, FIFO contents) go through FormatRegisters
//   (registerformat.h); coils and inputs show as 0 and 1 in groups of eight, first bit first;
//   status words, masks and diagnostic data in hexadecimal.
// - Protocol names stay English (modbus/rtufunctions.h); a window translates what it shows.
// - Pure function, free of Qt; any thread.
#pragma once

#include <string>

#include "modbus/rtudecoder.h"
#include "text/registerformat.h"

namespace talyx::formats {

std::string DescribeFrame(const modbus::DecodedFrame& frame, TRegisterFormat format);

}  // namespace talyx::formats
