// The capture's text log: one line per frame: local time to the millisecond, direction, the
// bytes in hexadecimal and the decoded summary.
//
// Principles:
// - "2026-12-09 19:30:01.123 TX 01 03 00 00 00 02 C4 0B  1: Read Holding Registers request,
//   start 0, count 2" (on one line); RX for received, ECHO for the adapter's echo; a run that
//   makes no frame reads "(no frame)".
// - Register values in the register format given (the options' format).
// - Pure function: any thread.
#pragma once

#include <cstdint>
#include <string>

#include "modbus/rtumonitor.h"
#include "text/registerformat.h"

namespace talyx::capture {

std::string CaptureTextLine(const modbus::RtuEvent& event, int64_t wallUs,
                            formats::TRegisterFormat format);

}  // namespace talyx::capture
