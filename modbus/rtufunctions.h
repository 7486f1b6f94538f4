// Modbus function and exception codes, their names, and the length each function gives a request
// and a response on an RTU line.
//
// Principles:
// - An RTU frame is the address, the function code, the function's data and the CRC (2 bytes).
//   A response with the function's high bit set (function | 0x80) is an exception: 5 bytes.
// - The length of a frame follows from its first bytes: fixed for most functions, from a byte
//   count (or the 2-byte count of 0x18, the objects of 0x2B/0x0E) for the others. Frames are at
//   most 256 bytes; a count that would make a longer frame gives no length, and so does a count
//   the function cannot have (0, or odd where it counts register words), which spares the
//   framer most chance CRC matches at short lengths.
// - Names are the protocol's own terms in English.
// - Pure functions: any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace talyx::modbus {

// Function codes.
inline constexpr uint8_t FnReadCoils = 0x01, FnReadDiscreteInputs = 0x02, FnReadHolding = 0x03,
                         FnReadInput = 0x04, FnWriteSingleCoil = 0x05, FnWriteSingle = 0x06,
                         FnReadExceptionStatus = 0x07, FnDiagnostics = 0x08,
                         FnGetCommEventCounter = 0x0B, FnGetCommEventLog = 0x0C,
                         FnWriteMultipleCoils = 0x0F, FnWriteMultiple = 0x10,
                         FnReportServerId = 0x11, FnReadFileRecord = 0x14, FnWriteFileRecord = 0x15,
                         FnMaskWrite = 0x16, FnReadWriteMultiple = 0x17, FnReadFifoQueue = 0x18,
                         FnEncapsulatedInterface = 0x2B;
// The encapsulated interface's type for reading the device identification.
inline constexpr uint8_t MeiReadDeviceIdentification = 0x0E;
// The bit that marks an exception response.
inline constexpr uint8_t ExceptionBit = 0x80;

// Exception codes.
inline constexpr uint8_t ExIllegalFunction = 0x01, ExIllegalAddress = 0x02, ExIllegalValue = 0x03,
                         ExDeviceFailure = 0x04, ExAcknowledge = 0x05, ExDeviceBusy = 0x06,
                         ExMemoryParityError = 0x08, ExGatewayPathUnavailable = 0x0A,
                         ExGatewayTargetFailed = 0x0B;

inline constexpr uint8_t BroadcastAddress = 0;
inline constexpr size_t MinFrameLength = 4;    // address, function, CRC
inline constexpr size_t MaxFrameLength = 256;  // the RTU limit

// "Read Holding Registers" ...; for 0x2B with the type 0x0E "Read Device Identification".
// Empty for a code without a name.
std::string_view FunctionName(uint8_t function, uint8_t meiType = 0);
// "Illegal Function" ... "Gateway Target Device Failed to Respond"; empty for another code.
std::string_view ExceptionName(uint8_t code);

// The length a frame must have, judged from its first bytes.
enum class LengthRule : uint8_t {
  None,     // no length in this role: an unknown function, or a count beyond the RTU limit
  Pending,  // the bytes that give the length have not all arrived
  Fixed,    // Bytes is the length
};
struct ExpectedLength {
  LengthRule Rule = LengthRule::None;
  size_t Bytes = 0;
};

// The length of a request that begins with the available bytes (address first).
ExpectedLength RequestLength(const uint8_t* bytes, size_t available);
// The length of a response (or exception response) that begins with the available bytes.
ExpectedLength ResponseLength(const uint8_t* bytes, size_t available);

}  // namespace talyx::modbus
