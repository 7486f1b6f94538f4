// ModbusSimulator: request framing, the four functions and the exception replies.
#include "modbus/modbussimulator.h"

#include <optional>

#include "modbus/modbuscrc.h"

namespace talyx::modbus {

namespace {

// The longest request kept while its end is awaited: a 16 with the largest byte count.
constexpr size_t MaxRequestLength = 9 + 255;
constexpr size_t MinRequestLength = 4;  // address, function, two CRC bytes
constexpr int MaxReadCount = 125;
constexpr int MaxWriteCount = 123;

uint16_t Word(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]); }

void PutWord(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value & 0xFF));
}

// Appends body with its CRC (low byte first) to replies.
void AppendFrame(std::vector<uint8_t>& replies, const std::vector<uint8_t>& body) {
  const uint16_t reg = ModbusCrcRegister(body.data(), body.size());
  replies.insert(replies.end(), body.begin(), body.end());
  replies.push_back(static_cast<uint8_t>(reg >> 8));
  replies.push_back(static_cast<uint8_t>(reg & 0xFF));
}

bool CrcHolds(const uint8_t* frame, size_t length) { return ModbusCrcRegister(frame, length) == 0; }

// The length of a request of the four served functions that starts the bytes, when it can be
// known from them already; 0 while more bytes are needed to tell it; nullopt when only a
// silence can end it.
std::optional<size_t> ServedRequestLength(const uint8_t* bytes, size_t size) {
  if (size < 2) return 0;
  switch (bytes[1]) {
    case FnReadHolding:
    case FnReadInput:
    case FnWriteSingle:
      return 8;
    case FnWriteMultiple:
      return size < 7 ? 0 : 9 + static_cast<size_t>(bytes[6]);
    default:
      return std::nullopt;
  }
}

bool RangeFits(int start, int count) { return start + count <= SimulatorRegisters::Count; }

}  // namespace

ModbusSimulator::ModbusSimulator(SimulatorRegisters& registers) : registers_(registers) {}

std::vector<uint8_t> ModbusSimulator::Receive(const uint8_t* data, size_t length) {
  std::vector<uint8_t> replies;
  if (dropping_) return replies;
  gathered_.insert(gathered_.end(), data, data + length);
  ScanGathered(replies);
  return replies;
}

std::vector<uint8_t> ModbusSimulator::Silence() {
  std::vector<uint8_t> replies;
  // Only a request of unknown length is still whole at a silence; anything else gathered is
  // the start of a request that never ended.
  if (!dropping_ && !ServedRequestLength(gathered_.data(), gathered_.size()).has_value() &&
      gathered_.size() >= MinRequestLength && CrcHolds(gathered_.data(), gathered_.size())) {
    Answer(gathered_.data(), replies);
  }
  gathered_.clear();
  dropping_ = false;
  return replies;
}

void ModbusSimulator::ScanGathered(std::vector<uint8_t>& replies) {
  size_t used = 0;
  while (true) {
    const uint8_t* rest = gathered_.data() + used;
    const size_t restSize = gathered_.size() - used;
    const std::optional<size_t> length = ServedRequestLength(rest, restSize);
    if (!length.has_value()) {
      // Unknown length: the silence ends it, unless it grows past any request.
      if (restSize > MaxRequestLength) dropping_ = true;
      break;
    }
    if (*length == 0 || restSize < *length) break;
    if (!CrcHolds(rest, *length)) {
      dropping_ = true;
      break;
    }
    Answer(rest, replies);
    used += *length;
  }
  if (dropping_) {
    gathered_.clear();
  } else {
    gathered_.erase(gathered_.begin(), gathered_.begin() + used);
  }
}

void ModbusSimulator::Answer(const uint8_t* frame, std::vector<uint8_t>& replies) {
  const uint8_t address = frame[0];
  const uint8_t function = frame[1];
  if (address != SimulatorAddress && address != BroadcastAddress) return;
  const bool broadcast = address == BroadcastAddress;

  auto exception = [&](uint8_t code) {
    if (!broadcast) AppendFrame(replies, {address, static_cast<uint8_t>(function | 0x80), code});
  };

  switch (function) {
    case FnReadHolding:
    case FnReadInput: {
      const int start = Word(frame + 2), count = Word(frame + 4);
      if (count < 1 || count > MaxReadCount) return exception(ExIllegalValue);
      if (!RangeFits(start, count)) return exception(ExIllegalAddress);
      if (broadcast) return;  // a read has nothing to carry out
      uint16_t values[MaxReadCount];
      if (function == FnReadHolding) {
        registers_.ReadHolding(start, count, values);
      } else {
        registers_.ReadInput(start, count, values);
      }
      std::vector<uint8_t> body{address, function, static_cast<uint8_t>(2 * count)};
      for (int i = 0; i < count; ++i) PutWord(body, values[i]);
      return AppendFrame(replies, body);
    }
    case FnWriteSingle: {
      const int start = Word(frame + 2);
      if (!RangeFits(start, 1)) return exception(ExIllegalAddress);
      const uint16_t value = Word(frame + 4);
      registers_.WriteHolding(start, 1, &value);
      if (!broadcast) AppendFrame(replies, std::vector<uint8_t>(frame, frame + 6));
      return;
    }
    case FnWriteMultiple: {
      const int start = Word(frame + 2), count = Word(frame + 4);
      const size_t byteCount = frame[6];
      if (count < 1 || count > MaxWriteCount || byteCount != 2 * static_cast<size_t>(count)) {
        return exception(ExIllegalValue);
      }
      if (!RangeFits(start, count)) return exception(ExIllegalAddress);
      uint16_t values[MaxWriteCount];
      for (int i = 0; i < count; ++i) values[i] = Word(frame + 7 + 2 * i);
      registers_.WriteHolding(start, count, values);
      if (!broadcast) AppendFrame(replies, std::vector<uint8_t>(frame, frame + 6));
      return;
    }
    default:
      return exception(ExIllegalFunction);
  }
}

}  // namespace talyx::modbus
