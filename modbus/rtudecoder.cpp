// DecodeFrame: the layout of each function's request and response.
#include "modbus/rtudecoder.h"

#include "modbus/modbuscrc.h"
#include "modbus/rtufunctions.h"

namespace talyx::modbus {

namespace {

// The data between the function code and the CRC.
class Body {
 public:
  Body(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  size_t Size() const { return size_; }
  uint8_t Byte(size_t at) const { return data_[at]; }
  uint16_t Word(size_t at) const { return static_cast<uint16_t>(data_[at] << 8 | data_[at + 1]); }
  // Whether the first byte counts exactly the bytes after it.
  bool CountedFrom(size_t at) const { return size_ > at && data_[at] == size_ - at - 1; }
  std::vector<uint16_t> Words(size_t from) const {
    std::vector<uint16_t> words;
    words.reserve((size_ - from) / 2);
    for (size_t at = from; at + 1 < size_; at += 2) words.push_back(Word(at));
    return words;
  }
  std::vector<uint8_t> Bytes(size_t from) const {
    return std::vector<uint8_t>(data_ + from, data_ + size_);
  }
  // Bits of the bytes from `from`, lowest bit of each byte first.
  std::vector<bool> Bits(size_t from) const {
    std::vector<bool> bits;
    bits.reserve(8 * (size_ - from));
    for (size_t at = from; at < size_; ++at) {
      for (int bit = 0; bit < 8; ++bit) bits.push_back((data_[at] >> bit & 1) != 0);
    }
    return bits;
  }

 private:
  const uint8_t* data_;
  size_t size_;
};

void SetAddress(DecodedFrame& frame, uint16_t address) {
  frame.HasAddress = true;
  frame.StartAddress = address;
}

void SetRange(DecodedFrame& frame, uint16_t address, uint16_t quantity) {
  SetAddress(frame, address);
  frame.HasQuantity = true;
  frame.Quantity = quantity;
}

// Bits sent whole bytes at a time: those beyond the quantity are padding.
void TrimBits(DecodedFrame& frame) {
  if (frame.Quantity < frame.Bits.size()) frame.Bits.resize(frame.Quantity);
}

bool DecodeDeviceIdentification(const Body& body, DecodedFrame& frame) {
  if (frame.Role == FrameRole::Request) {
    if (body.Size() != 3) return false;
    frame.ReadDeviceIdCode = body.Byte(1);
    frame.ObjectId = body.Byte(2);
    return true;
  }
  if (body.Size() < 6) return false;
  frame.ReadDeviceIdCode = body.Byte(1);
  frame.Conformity = body.Byte(2);
  frame.MoreFollows = body.Byte(3) == 0xFF;
  frame.NextObjectId = body.Byte(4);
  size_t at = 6;
  for (unsigned i = 0; i < body.Byte(5); ++i) {
    if (at + 2 > body.Size() || at + 2 + body.Byte(at + 1) > body.Size()) return false;
    const size_t length = body.Byte(at + 1);
    DeviceObject object;
    object.Id = body.Byte(at);
    for (size_t k = 0; k < length; ++k)
      object.Value.push_back(static_cast<char>(body.Byte(at + 2 + k)));
    frame.Objects.push_back(std::move(object));
    at += 2 + length;
  }
  return at == body.Size();
}

// Lays out the body by function and role; false when it does not fit.
bool DecodeBody(const Body& body, DecodedFrame& frame) {
  const bool request = frame.Role == FrameRole::Request;
  const size_t size = body.Size();
  switch (frame.Function) {
    case FnReadCoils:
    case FnReadDiscreteInputs:
      if (request) {
        if (size != 4) return false;
        SetRange(frame, body.Word(0), body.Word(2));
        return true;
      }
      if (!body.CountedFrom(0)) return false;
      frame.Bits = body.Bits(1);
      return true;
    case FnReadHolding:
    case FnReadInput:
      if (request) {
        if (size != 4) return false;
        SetRange(frame, body.Word(0), body.Word(2));
        return true;
      }
      if (!body.CountedFrom(0) || size % 2 == 0) return false;
      frame.Registers = body.Words(1);
      return true;
    case FnWriteSingleCoil:
    case FnWriteSingle:
      if (size != 4) return false;
      SetAddress(frame, body.Word(0));
      frame.Registers = {body.Word(2)};
      return true;
    case FnReadExceptionStatus:
      if (request) return size == 0;
      if (size != 1) return false;
      frame.Data = body.Bytes(0);
      return true;
    case FnDiagnostics:
      if (size < 2) return false;
      frame.HasSubFunction = true;
      frame.SubFunction = body.Word(0);
      if (size % 2 == 0) {
        frame.Registers = body.Words(2);
      } else {
        frame.Data = body.Bytes(2);
      }
      return true;
    case FnGetCommEventCounter:
      if (request) return size == 0;
      if (size != 4) return false;
      frame.Registers = body.Words(0);
      return true;
    case FnGetCommEventLog:
      if (request) return size == 0;
      if (!body.CountedFrom(0) || size < 7) return false;
      frame.Registers = {body.Word(1), body.Word(3), body.Word(5)};
      frame.Data = body.Bytes(7);
      return true;
    case FnWriteMultipleCoils:
      if (!request) {
        if (size != 4) return false;
        SetRange(frame, body.Word(0), body.Word(2));
        return true;
      }
      if (size < 5 || !body.CountedFrom(4)) return false;
      SetRange(frame, body.Word(0), body.Word(2));
      frame.Bits = body.Bits(5);
      TrimBits(frame);
      return true;
    case FnWriteMultiple:
      if (!request) {
        if (size != 4) return false;
        SetRange(frame, body.Word(0), body.Word(2));
        return true;
      }
      if (size < 5 || !body.CountedFrom(4) || size % 2 == 0) return false;
      SetRange(frame, body.Word(0), body.Word(2));
      frame.Registers = body.Words(5);
      return true;
    case FnReportServerId:
      if (request) return size == 0;
      if (!body.CountedFrom(0)) return false;
      frame.Data = body.Bytes(1);
      return true;
    case FnReadFileRecord:
    case FnWriteFileRecord:
      if (!body.CountedFrom(0)) return false;
      frame.Data = body.Bytes(1);
      return true;
    case FnMaskWrite:
      if (size != 6) return false;
      SetAddress(frame, body.Word(0));
      frame.Registers = {body.Word(2), body.Word(4)};
      return true;
    case FnReadWriteMultiple:
      if (!request) {
        if (!body.CountedFrom(0) || size % 2 == 0) return false;
        frame.Registers = body.Words(1);
        return true;
      }
      if (size < 9 || !body.CountedFrom(8) || size % 2 == 0) return false;
      SetRange(frame, body.Word(0), body.Word(2));
      frame.HasWrite = true;
      frame.WriteAddress = body.Word(4);
      frame.WriteQuantity = body.Word(6);
      frame.Registers = body.Words(9);
      return true;
    case FnReadFifoQueue:
      if (request) {
        if (size != 2) return false;
        SetAddress(frame, body.Word(0));
        return true;
      }
      if (size < 4 || body.Word(0) != size - 2 || 2u * body.Word(2) != size - 4) return false;
      frame.HasQuantity = true;
      frame.Quantity = body.Word(2);
      frame.Registers = body.Words(4);
      return true;
    case FnEncapsulatedInterface:
      if (size < 1) return false;
      frame.MeiType = body.Byte(0);
      if (frame.MeiType == MeiReadDeviceIdentification)
        return DecodeDeviceIdentification(body, frame);
      frame.Data = body.Bytes(1);
      return true;
    default:
      return false;
  }
}

}  // namespace

DecodedFrame DecodeFrame(const uint8_t* bytes, size_t length, FrameRole role) {
  DecodedFrame frame;
  frame.Role = role;
  if (length >= 1) frame.Address = bytes[0];
  if (length >= 2) {
    frame.IsException = (bytes[1] & ExceptionBit) != 0;
    frame.Function = static_cast<uint8_t>(bytes[1] & ~ExceptionBit);
    frame.KnownFunction = !FunctionName(frame.Function).empty();
  }
  if (length < MinFrameLength) return frame;

  frame.CrcReceived = static_cast<uint16_t>(bytes[length - 2] | bytes[length - 1] << 8);
  frame.CrcComputed = ModbusCrc(bytes, length - 2);
  frame.CrcOk = frame.CrcReceived == frame.CrcComputed;

  const Body body(bytes + 2, length - 4);
  if (frame.IsException) {
    frame.Role = FrameRole::Response;
    frame.WellFormed = body.Size() == 1;
    if (frame.WellFormed) {
      frame.ExceptionCode = body.Byte(0);
    } else {
      frame.Data = body.Bytes(0);
    }
    return frame;
  }
  // Laid out on a copy, so that a misfit found halfway leaves no fields behind.
  DecodedFrame laidOut = frame;
  if (frame.KnownFunction && DecodeBody(body, laidOut)) {
    frame = std::move(laidOut);
    frame.WellFormed = true;
  } else {
    frame.Data = body.Bytes(0);
  }
  return frame;
}

}  // namespace talyx::modbus
