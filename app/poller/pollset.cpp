// The register poller's definitions: row checks, read and write requests, values out of replies.
#include "app/poller/pollset.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

#include "modbus/modbuscrc.h"
#include "modbus/rtufunctions.h"

namespace talyx::app {

namespace {

using formats::TRegisterFormat;

bool IsBitFunction(PollFunction function) {
  return function == PollFunction::ReadCoils || function == PollFunction::ReadDiscreteInputs;
}

bool Is32Bit(TRegisterFormat format) { return !formats::RegisterWordOrder(format).empty(); }

// The raw values a format can hold; floats are checked apart.
struct RawRange {
  double Low;
  double High;
};

RawRange RangeOf(TRegisterFormat format) {
  // The settings file's names are stable, and their first three letters give the kind.
  const std::string kind = formats::RegisterFormatName(format).substr(0, 3);
  if (kind == "s16") return {-32768.0, 32767.0};
  if (kind == "u32") return {0.0, 4294967295.0};
  if (kind == "s32") return {-2147483648.0, 2147483647.0};
  return {0.0, 65535.0};
}

bool IsFloat(TRegisterFormat format) {
  return formats::RegisterFormatName(format).starts_with("f32");
}

void PutWord(std::vector<uint8_t>& frame, uint32_t word) {
  frame.push_back(static_cast<uint8_t>(word >> 8 & 0xFFu));
  frame.push_back(static_cast<uint8_t>(word & 0xFFu));
}

std::vector<uint8_t> WithCrc(std::vector<uint8_t> frame) {
  const uint16_t crc = modbus::ModbusCrc(frame.data(), frame.size());
  frame.push_back(static_cast<uint8_t>(crc & 0xFFu));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  return frame;
}

// A scaled value to 15 significant digits, trailing zeros dropped, '.' as the decimal point: every
// decimal a register and a scale can mean survives, while the binary remainder of the product
// does not show (2301 * 0.1 is "230.1", not "230.10000000000002").
std::string NumberText(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Inf" : "+Inf";
  std::array<char, 32> text{};
  const auto result =
      std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::general, 15);
  return std::string(text.data(), result.ptr);
}

bool AnswersRow(const PollRow& row, const modbus::DecodedFrame& reply) {
  if (!reply.CrcOk || !reply.WellFormed || reply.IsException ||
      reply.Role != modbus::FrameRole::Response || reply.Address != row.Slave ||
      reply.Function != static_cast<uint8_t>(row.Function)) {
    return false;
  }
  // A reply paired with its request (the bus monitor's) has its padding bits dropped already.
  if (IsBitFunction(row.Function)) {
    return reply.Bits.size() == row.Count || reply.Bits.size() == (row.Count + 7u) / 8u * 8u;
  }
  return reply.Registers.size() == row.Count;
}

// The 32-bit pattern of a raw value in a 32-bit format; false when it does not fit.
bool ThirtyTwoBits(double raw, TRegisterFormat format, uint32_t& bits) {
  if (IsFloat(format)) {
    const bool tooLarge = std::isfinite(raw) && std::abs(raw) > std::numeric_limits<float>::max();
    if (tooLarge) return false;
    bits = std::bit_cast<uint32_t>(static_cast<float>(raw));
    return true;
  }
  const RawRange range = RangeOf(format);
  if (std::isnan(raw) || raw < range.Low || raw > range.High) return false;
  bits =
      range.Low < 0 ? static_cast<uint32_t>(static_cast<int32_t>(raw)) : static_cast<uint32_t>(raw);
  return true;
}

}  // namespace

PollRowProblem CheckPollRow(const PollRow& row) {
  if (row.Slave < MinSlaveAddress || row.Slave > MaxSlaveAddress) return PollRowProblem::rpSlave;
  const uint16_t limit = IsBitFunction(row.Function) ? MaxReadBits : MaxReadRegisters;
  if (row.Count == 0 || row.Count > limit) return PollRowProblem::rpCount;
  const uint32_t end = uint32_t{row.Start} + row.Count;
  if (end > 0x10000u) return PollRowProblem::rpRange;
  if (row.PeriodMs < MinPollPeriodMs) return PollRowProblem::rpPeriod;
  for (const PollRegister& reg : row.Registers) {
    if (reg.Address < row.Start || reg.Address + RegisterWidth(reg, row.Function) > end) {
      return PollRowProblem::rpRegisterRange;
    }
  }
  return PollRowProblem::rpOk;
}

size_t RegisterWidth(const PollRegister& reg, PollFunction function) {
  return !IsBitFunction(function) && Is32Bit(reg.Format) ? 2 : 1;
}

std::vector<uint8_t> ReadRequest(const PollRow& row) {
  std::vector<uint8_t> frame = {row.Slave, static_cast<uint8_t>(row.Function)};
  PutWord(frame, row.Start);
  PutWord(frame, row.Count);
  return WithCrc(std::move(frame));
}

std::vector<PollValue> RowValues(const PollRow& row, const modbus::DecodedFrame& reply) {
  std::vector<PollValue> values(row.Registers.size());
  if (!AnswersRow(row, reply)) return values;
  const bool bits = IsBitFunction(row.Function);
  for (size_t i = 0; i < row.Registers.size(); ++i) {
    const PollRegister& reg = row.Registers[i];
    if (reg.Address < row.Start) continue;
    const size_t at = reg.Address - row.Start;
    const size_t width = RegisterWidth(reg, row.Function);
    if (at + width > row.Count) continue;
    PollValue& value = values[i];
    value.Valid = true;
    std::string ownText;
    if (bits) {
      value.Value = reply.Bits[at] ? 1.0 : 0.0;
      ownText = NumberText(value.Value);
    } else {
      const auto first = reply.Registers.begin() + static_cast<ptrdiff_t>(at);
      const std::vector<uint16_t> words(first, first + static_cast<ptrdiff_t>(width));
      value.Value = formats::RegisterValue(words.front(), words.back(), reg.Format);
      ownText = formats::FormatRegisters(words, reg.Format).front();
    }
    if (reg.Scale == 1.0 && reg.Offset == 0.0) {
      value.Text = std::move(ownText);
    } else {
      value.Value = value.Value * reg.Scale + reg.Offset;
      value.Text = NumberText(value.Value);
    }
  }
  return values;
}

std::vector<uint8_t> WriteRequest(const PollRow& row, size_t index, double value) {
  const bool coils = row.Function == PollFunction::ReadCoils;
  if ((!coils && row.Function != PollFunction::ReadHoldingRegisters) ||
      index >= row.Registers.size()) {
    return {};
  }
  const PollRegister& reg = row.Registers[index];
  const bool fitsAddresses = reg.Address + RegisterWidth(reg, row.Function) <= 0x10000u;
  if (!fitsAddresses || reg.Scale == 0.0 || !std::isfinite(reg.Scale)) return {};
  double raw = (value - reg.Offset) / reg.Scale;
  if (coils || !IsFloat(reg.Format)) raw = std::round(raw);
  std::vector<uint8_t> frame = {row.Slave};
  if (coils) {
    if (raw != 0.0 && raw != 1.0) return {};
    const bool on = raw == 1.0;
    if (row.MultipleWrites) {
      frame.push_back(modbus::FnWriteMultipleCoils);
      PutWord(frame, reg.Address);
      PutWord(frame, 1);
      frame.push_back(1);
      frame.push_back(on ? 1 : 0);
    } else {
      frame.push_back(modbus::FnWriteSingleCoil);
      PutWord(frame, reg.Address);
      PutWord(frame, on ? 0xFF00u : 0x0000u);
    }
    return WithCrc(std::move(frame));
  }
  std::vector<uint16_t> words;
  if (Is32Bit(reg.Format)) {
    uint32_t bits = 0;
    if (!ThirtyTwoBits(raw, reg.Format, bits)) return {};
    const std::array<uint16_t, 2> pair = formats::SplitRegisters(bits, reg.Format);
    words.assign(pair.begin(), pair.end());
  } else {
    const RawRange range = RangeOf(reg.Format);
    if (std::isnan(raw) || raw < range.Low || raw > range.High) return {};
    words.push_back(static_cast<uint16_t>(static_cast<int32_t>(raw)));
  }
  if (words.size() == 1 && !row.MultipleWrites) {
    frame.push_back(modbus::FnWriteSingle);
    PutWord(frame, reg.Address);
    PutWord(frame, words.front());
    return WithCrc(std::move(frame));
  }
  frame.push_back(modbus::FnWriteMultiple);
  PutWord(frame, reg.Address);
  PutWord(frame, static_cast<uint32_t>(words.size()));
  frame.push_back(static_cast<uint8_t>(2 * words.size()));
  for (const uint16_t word : words) PutWord(frame, word);
  return WithCrc(std::move(frame));
}

}  // namespace talyx::app
