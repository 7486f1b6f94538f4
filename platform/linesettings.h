// LineSettings: the serial line's settings record, read from and applied to the device whole.
//
// It stands where the device-control block stands in the dispatcher's logic: SetLine, the flow
// control operations and OpenPort read it from the device, change named fields and apply it
// again; fields no operation names keep what the device reported. A device that cannot honour
// a field (a pseudo-terminal's parity and data bits) reports what it really uses on the next read.
#pragma once

#include <cstdint>

namespace talyx::platform {

enum class DtrControl : uint8_t { Disabled, Enabled, Handshake };
enum class RtsControl : uint8_t { Disabled, Enabled, Handshake, Toggle };

// Numeric forms used throughout the engine.
inline constexpr uint8_t NoParity = 0, OddParity = 1, EvenParity = 2, MarkParity = 3,
                         SpaceParity = 4;
inline constexpr uint8_t OneStopBit = 0, One5StopBits = 1, TwoStopBits = 2;

struct LineSettings {
  uint32_t BaudRate = 9600;
  uint8_t Parity = NoParity;      // NoParity .. SpaceParity
  uint8_t ByteSize = 8;           // data bits, 5 to 8
  uint8_t StopBits = OneStopBit;  // OneStopBit, One5StopBits (5 data bits only), TwoStopBits

  // The types are named with their namespace: the fields carry the same names.
  platform::DtrControl DtrControl = platform::DtrControl::Enabled;
  platform::RtsControl RtsControl = platform::RtsControl::Enabled;
  bool OutxCtsFlow = false;  // stop sending while CTS is off
  bool OutxDsrFlow = false;  // stop sending while DSR is off
  bool OutX = false;         // XON/XOFF on output: stop sending on XOFF
  bool InX = false;          // XON/XOFF on input: send XOFF when the driver's queue fills
  uint16_t XonLim = 0;       // kept for the record; Linux drivers choose their own limits
  uint16_t XoffLim = 0;
  uint8_t XonChar = 17;
  uint8_t XoffChar = 19;

  // Line flags of the record. The device layer always runs the line raw (binary, no parity
  // checking or null stripping of its own); these are carried so that reads compare equal.
  bool Binary = true;
  bool ParityCheck = false;
  bool DsrSensitivity = false;
  bool TxContinueOnXoff = true;
  bool NullStrip = false;

  bool operator==(const LineSettings&) const = default;
};

}  // namespace talyx::platform
