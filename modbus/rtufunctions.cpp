// Modbus function and exception names, and the request and response lengths of each function.
#include "modbus/rtufunctions.h"

namespace talyx::modbus {

namespace {

constexpr ExpectedLength Fixed(size_t bytes) {
  return bytes <= MaxFrameLength ? ExpectedLength{LengthRule::Fixed, bytes} : ExpectedLength{};
}
constexpr ExpectedLength Pending() { return {LengthRule::Pending, 0}; }

// What a byte count may be: at least Min, and even where it counts register words.
struct CountRule {
  unsigned Min = 1;
  bool Even = false;
};
constexpr CountRule Registers{2, true};

// The bytes up to the count at index `at`, the count, as many bytes as it counts, the CRC. A
// count the function cannot have gives no length: the CRC search alone may still find such a
// frame.
ExpectedLength Counted(const uint8_t* bytes, size_t available, size_t at, CountRule rule = {}) {
  if (available <= at) return Pending();
  const unsigned count = bytes[at];
  if (count < rule.Min || (rule.Even && count % 2 != 0)) return {};
  return Fixed(at + 1 + count + 2);
}

// A device identification response: a header of 8 bytes (address, function, type, code,
// conformity, more follows, next object, object count), then each object as its id, its length
// and its value, then the CRC.
ExpectedLength DeviceIdentificationLength(const uint8_t* bytes, size_t available) {
  constexpr size_t Header = 8;
  if (available < Header) return Pending();
  size_t end = Header;
  for (unsigned object = 0; object < bytes[Header - 1]; ++object) {
    if (end + 2 > MaxFrameLength) return {};
    if (available < end + 2) return Pending();
    end += 2 + bytes[end + 1];
  }
  return Fixed(end + 2);
}

}  // namespace

std::string_view FunctionName(uint8_t function, uint8_t meiType) {
  switch (function) {
    case FnReadCoils:
      return "Read Coils";
    case FnReadDiscreteInputs:
      return "Read Discrete Inputs";
    case FnReadHolding:
      return "Read Holding Registers";
    case FnReadInput:
      return "Read Input Registers";
    case FnWriteSingleCoil:
      return "Write Single Coil";
    case FnWriteSingle:
      return "Write Single Register";
    case FnReadExceptionStatus:
      return "Read Exception Status";
    case FnDiagnostics:
      return "Diagnostics";
    case FnGetCommEventCounter:
      return "Get Comm Event Counter";
    case FnGetCommEventLog:
      return "Get Comm Event Log";
    case FnWriteMultipleCoils:
      return "Write Multiple Coils";
    case FnWriteMultiple:
      return "Write Multiple Registers";
    case FnReportServerId:
      return "Report Server ID";
    case FnReadFileRecord:
      return "Read File Record";
    case FnWriteFileRecord:
      return "Write File Record";
    case FnMaskWrite:
      return "Mask Write Register";
    case FnReadWriteMultiple:
      return "Read/Write Multiple Registers";
    case FnReadFifoQueue:
      return "Read FIFO Queue";
    case FnEncapsulatedInterface:
      return meiType == MeiReadDeviceIdentification ? "Read Device Identification"
                                                    : "Encapsulated Interface Transport";
    default:
      return {};
  }
}

std::string_view ExceptionName(uint8_t code) {
  switch (code) {
    case ExIllegalFunction:
      return "Illegal Function";
    case ExIllegalAddress:
      return "Illegal Data Address";
    case ExIllegalValue:
      return "Illegal Data Value";
    case ExDeviceFailure:
      return "Slave Device Failure";
    case ExAcknowledge:
      return "Acknowledge";
    case ExDeviceBusy:
      return "Slave Device Busy";
    case ExMemoryParityError:
      return "Memory Parity Error";
    case ExGatewayPathUnavailable:
      return "Gateway Path Unavailable";
    case ExGatewayTargetFailed:
      return "Gateway Target Device Failed to Respond";
    default:
      return {};
  }
}

ExpectedLength RequestLength(const uint8_t* bytes, size_t available) {
  if (available < 2) return Pending();
  switch (bytes[1]) {
    case FnReadExceptionStatus:
    case FnGetCommEventCounter:
    case FnGetCommEventLog:
    case FnReportServerId:
      return Fixed(4);
    case FnReadFifoQueue:
      return Fixed(6);
    case FnReadCoils:
    case FnReadDiscreteInputs:
    case FnReadHolding:
    case FnReadInput:
    case FnWriteSingleCoil:
    case FnWriteSingle:
    case FnDiagnostics:  // a sub-function and one data word, the form nearly all take
      return Fixed(8);
    case FnMaskWrite:
      return Fixed(10);
    case FnWriteMultipleCoils:
      return Counted(bytes, available, 6);
    case FnWriteMultiple:
      return Counted(bytes, available, 6, Registers);
    case FnReadWriteMultiple:
      return Counted(bytes, available, 10, Registers);
    case FnReadFileRecord:
    case FnWriteFileRecord:
      return Counted(bytes, available, 2);
    case FnEncapsulatedInterface:
      if (available < 3) return Pending();
      return bytes[2] == MeiReadDeviceIdentification ? Fixed(7) : ExpectedLength{};
    default:
      return {};
  }
}

ExpectedLength ResponseLength(const uint8_t* bytes, size_t available) {
  if (available < 2) return Pending();
  if ((bytes[1] & ExceptionBit) != 0) return Fixed(5);
  switch (bytes[1]) {
    case FnReadExceptionStatus:
      return Fixed(5);
    case FnWriteSingleCoil:
    case FnWriteSingle:
    case FnDiagnostics:
    case FnGetCommEventCounter:
    case FnWriteMultipleCoils:
    case FnWriteMultiple:
      return Fixed(8);
    case FnMaskWrite:
      return Fixed(10);
    case FnReadCoils:
    case FnReadDiscreteInputs:
    case FnReportServerId:
    case FnReadFileRecord:
    case FnWriteFileRecord:
      return Counted(bytes, available, 2);
    case FnReadHolding:
    case FnReadInput:
    case FnReadWriteMultiple:
      return Counted(bytes, available, 2, Registers);
    case FnGetCommEventLog:  // status, event count and message count, then the events
      return Counted(bytes, available, 2, CountRule{6, false});
    case FnReadFifoQueue: {
      // A 2-byte count of the bytes that follow it: the FIFO count and the values.
      if (available < 4) return Pending();
      const size_t count = size_t{bytes[2]} << 8 | bytes[3];
      if (count < 2 || count % 2 != 0) return {};
      return Fixed(4 + count + 2);
    }
    case FnEncapsulatedInterface:
      if (available < 3) return Pending();
      return bytes[2] == MeiReadDeviceIdentification ? DeviceIdentificationLength(bytes, available)
                                                     : ExpectedLength{};
    default:
      return {};
  }
}

}  // namespace talyx::modbus
