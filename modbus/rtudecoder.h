// DecodeFrame: one Modbus RTU frame (address to CRC) taken apart into its fields.
//
// Principles:
// - The caller says whether the frame is a request or a response: where the two share a
//   function and a length (05, 06, 08, ...) the bytes cannot tell. An exception response
//   (function | 0x80) is a response whatever the caller says.
// - Fields are raw protocol values: register words as sent (high byte first on the wire), bits
//   as booleans, addresses and counts as numbers. Showing them (register formats, names in the
//   interface's language) is left to the text layer.
// - A frame whose data does not fit its function's layout in its role (a byte count that does
//   not match, a wrong length) is not well formed: its data after the function code is kept
//   whole in Data. A function without a layout here keeps its data in Data as well.
// - The CRC is checked; a wrong one keeps the value received and the value computed.
// - Pure function: any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace talyx::modbus {

enum class FrameRole : uint8_t { Request, Response };

// One object of a device identification response.
struct DeviceObject {
  uint8_t Id = 0;
  std::string Value;  // the bytes as sent (ASCII by the protocol)

  bool operator==(const DeviceObject&) const = default;
};

struct DecodedFrame {
  uint8_t Address = 0;
  uint8_t Function = 0;  // without the exception bit
  FrameRole Role = FrameRole::Request;
  bool KnownFunction = false;  // one of the functions this decoder lays out
  bool WellFormed = false;     // the data fits the function's layout in this role
  bool IsException = false;
  uint8_t ExceptionCode = 0;

  bool CrcOk = false;
  uint16_t CrcReceived = 0;  // the frame's last two bytes, low byte first
  uint16_t CrcComputed = 0;  // the CRC of the bytes before them

  // Fields by function; the Has flags say which the frame carries.
  bool HasAddress = false;  // first coil or register; 05/06/16 the one written; 18 the FIFO
  uint16_t StartAddress = 0;
  bool HasQuantity = false;  // coils or registers (18: the FIFO count)
  uint16_t Quantity = 0;
  bool HasWrite = false;  // 17: the registers written
  uint16_t WriteAddress = 0;
  uint16_t WriteQuantity = 0;
  bool HasSubFunction = false;  // 08
  uint16_t SubFunction = 0;
  // Register words: read replies (03, 04, 17, 18), values written (06, 10, 17), the value of
  // 05 (0xFF00 on, 0x0000 off), the AND and OR masks of 16, the data words of 08, the status
  // and event count of 0B, the status, event count and message count of 0C.
  std::vector<uint16_t> Registers;
  // Coils or inputs: replies of 01 and 02, the values of 0F; first bit first.
  std::vector<bool> Bits;
  // Bytes without a finer layout: the status of 07, the events of 0C, the data of 11, 14, 15,
  // 08 when odd, an unknown function's or a badly formed frame's data.
  std::vector<uint8_t> Data;
  // 2B/0E: the encapsulated interface's type, the read code and object id (requests), the
  // conformity level, whether more follows, the next object id and the objects (responses).
  uint8_t MeiType = 0;
  uint8_t ReadDeviceIdCode = 0;
  uint8_t ObjectId = 0;
  uint8_t Conformity = 0;
  bool MoreFollows = false;
  uint8_t NextObjectId = 0;
  std::vector<DeviceObject> Objects;
};

// Takes a whole frame apart; length counts the CRC. A frame shorter than 4 bytes is not well
// formed and its CRC is not right.
DecodedFrame DecodeFrame(const uint8_t* bytes, size_t length, FrameRole role);

}  // namespace talyx::modbus
