// DescribeFrame: the one-line text of a decoded Modbus RTU frame.
#include "text/modbusframetext.h"

#include <cstdint>
#include <string_view>
#include <vector>

#include "modbus/rtufunctions.h"
#include "platform/hexbytes.h"

namespace talyx::formats {

namespace {

namespace modbus = talyx::modbus;

std::string Hex8(uint8_t value) {
  std::string text = "0x00";
  platform::PutHexByte(text.data() + 2, value);
  return text;
}

std::string Hex16(uint16_t value) {
  std::string text = "0x0000";
  platform::PutHexWord(text.data() + 2, value);
  return text;
}

std::string Digits(uint8_t value) {
  std::string text = "00";
  platform::PutHexByte(text.data(), value);
  return text;
}

std::string HexData(const std::vector<uint8_t>& bytes) {
  std::string text = platform::HexBytes(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  if (!text.empty()) text.pop_back();
  return text;
}

std::string Join(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) {
    if (!text.empty()) text += ", ";
    text += part;
  }
  return text;
}

std::string HexWords(const std::vector<uint16_t>& words) {
  std::vector<std::string> parts;
  for (const uint16_t word : words) parts.push_back(Hex16(word));
  return Join(parts);
}

std::string BitsText(const std::vector<bool>& bits) {
  std::string text;
  for (size_t i = 0; i < bits.size(); ++i) {
    if (i > 0 && i % 8 == 0) text += ' ';
    text += bits[i] ? '1' : '0';
  }
  return text;
}

// "3 registers from 107" or "3 registers", and ": " and the values when there are any.
std::string RegisterList(const modbus::DecodedFrame& frame, TRegisterFormat format) {
  const size_t count = frame.HasQuantity ? frame.Quantity : frame.Registers.size();
  std::string text = std::to_string(count) + (count == 1 ? " register" : " registers");
  if (frame.HasAddress) text += " from " + std::to_string(frame.StartAddress);
  if (!frame.Registers.empty()) text += ": " + Join(FormatRegisters(frame.Registers, format));
  return text;
}

std::string BitList(const modbus::DecodedFrame& frame, std::string_view noun) {
  const size_t count = frame.HasQuantity ? frame.Quantity : frame.Bits.size();
  std::string text = std::to_string(count) + " " + std::string(noun);
  if (count != 1) text += 's';
  if (frame.HasAddress) text += " from " + std::to_string(frame.StartAddress);
  if (!frame.Bits.empty()) text += ": " + BitsText(frame.Bits);
  return text;
}

std::string RangeText(const modbus::DecodedFrame& frame) {
  return "start " + std::to_string(frame.StartAddress) + ", count " +
         std::to_string(frame.Quantity);
}

std::string CoilValue(uint16_t value) {
  if (value == 0xFF00) return "ON";
  if (value == 0x0000) return "OFF";
  return Hex16(value);
}

std::string DeviceIdentification(const modbus::DecodedFrame& frame) {
  if (frame.Role == modbus::FrameRole::Request) {
    return "read code " + std::to_string(frame.ReadDeviceIdCode) + ", object " +
           std::to_string(frame.ObjectId);
  }
  std::vector<std::string> objects;
  for (const modbus::DeviceObject& object : frame.Objects) {
    objects.push_back(std::to_string(object.Id) + " \"" + object.Value + "\"");
  }
  std::string text = "conformity " + Hex8(frame.Conformity) + ", objects: " + Join(objects);
  if (frame.MoreFollows) text += ", more follows from object " + std::to_string(frame.NextObjectId);
  return text;
}

// The fields of a well-formed frame of a known function; empty when it carries none.
std::string Fields(const modbus::DecodedFrame& frame, TRegisterFormat format) {
  const bool request = frame.Role == modbus::FrameRole::Request;
  switch (frame.Function) {
    case modbus::FnReadCoils:
      return request ? RangeText(frame) : BitList(frame, "coil");
    case modbus::FnReadDiscreteInputs:
      return request ? RangeText(frame) : BitList(frame, "input");
    case modbus::FnReadHolding:
    case modbus::FnReadInput:
      return request ? RangeText(frame) : RegisterList(frame, format);
    case modbus::FnWriteSingleCoil:
      return "coil " + std::to_string(frame.StartAddress) + " = " +
             CoilValue(frame.Registers.front());
    case modbus::FnWriteSingle:
      return "register " + std::to_string(frame.StartAddress) + " = " +
             FormatRegisters(frame.Registers, format).front();
    case modbus::FnReadExceptionStatus:
      return request ? std::string() : "status " + Hex8(frame.Data.front());
    case modbus::FnDiagnostics: {
      std::string text = "sub-function " + Hex16(frame.SubFunction);
      if (!frame.Registers.empty()) text += ", data " + HexWords(frame.Registers);
      if (!frame.Data.empty()) text += ", data " + HexData(frame.Data);
      return text;
    }
    case modbus::FnGetCommEventCounter:
      if (request) return {};
      return "status " + Hex16(frame.Registers[0]) + ", event count " +
             std::to_string(frame.Registers[1]);
    case modbus::FnGetCommEventLog:
      if (request) return {};
      return "status " + Hex16(frame.Registers[0]) + ", event count " +
             std::to_string(frame.Registers[1]) + ", message count " +
             std::to_string(frame.Registers[2]) + ", events " + HexData(frame.Data);
    case modbus::FnWriteMultipleCoils:
      return BitList(frame, "coil");
    case modbus::FnWriteMultiple:
      return RegisterList(frame, format);
    case modbus::FnMaskWrite:
      return "register " + std::to_string(frame.StartAddress) + ", AND " +
             Hex16(frame.Registers[0]) + ", OR " + Hex16(frame.Registers[1]);
    case modbus::FnReadWriteMultiple:
      if (!request) return RegisterList(frame, format);
      return "read " + std::to_string(frame.Quantity) + " from " +
             std::to_string(frame.StartAddress) + ", write " + std::to_string(frame.WriteQuantity) +
             " from " + std::to_string(frame.WriteAddress) + ": " +
             Join(FormatRegisters(frame.Registers, format));
    case modbus::FnReadFifoQueue:
      return request ? "FIFO " + std::to_string(frame.StartAddress) : RegisterList(frame, format);
    case modbus::FnEncapsulatedInterface:
      if (frame.MeiType == modbus::MeiReadDeviceIdentification) return DeviceIdentification(frame);
      return "type " + Hex8(frame.MeiType) + ", data " + HexData(frame.Data);
    default:  // report server id, file records: data without a finer layout
      return frame.Data.empty() ? std::string() : "data " + HexData(frame.Data);
  }
}

}  // namespace

std::string DescribeFrame(const modbus::DecodedFrame& frame, TRegisterFormat format) {
  const bool request = frame.Role == modbus::FrameRole::Request;
  std::string text = request && frame.Address == modbus::BroadcastAddress
                         ? std::string("broadcast")
                         : std::to_string(frame.Address);
  text += ": ";
  const std::string_view name = modbus::FunctionName(frame.Function, frame.MeiType);
  text += name.empty() ? "function " + Hex8(frame.Function) : std::string(name);

  if (frame.IsException && frame.WellFormed) {
    text += " exception " + Digits(frame.ExceptionCode);
    const std::string_view exception = modbus::ExceptionName(frame.ExceptionCode);
    if (!exception.empty()) text += " " + std::string(exception);
  } else {
    if (frame.KnownFunction)
      text += frame.IsException ? " exception" : request ? " request" : " response";
    if (frame.WellFormed) {
      const std::string fields = Fields(frame, format);
      if (!fields.empty()) text += ", " + fields;
    } else if (!frame.Data.empty()) {
      text += (frame.KnownFunction ? ", malformed: " : ", data ") + HexData(frame.Data);
    }
  }
  if (!frame.CrcOk) {
    text += ", CRC wrong (received " + Hex16(frame.CrcReceived) + ", computed " +
            Hex16(frame.CrcComputed) + ")";
  }
  return text;
}

}  // namespace talyx::formats
