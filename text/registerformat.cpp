// Register formats of the register view: 16-bit values, and 32-bit values from register pairs.
#include "text/registerformat.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>

#include "platform/hexbytes.h"

namespace talyx::formats {

namespace {

enum class Kind { U16, S16, Hex, U32, S32, F32 };

constexpr std::array<std::string_view, 4> kWordOrders = {"ABCD", "CDAB", "BADC", "DCBA"};
constexpr int kFirst32Bit = static_cast<int>(TRegisterFormat::rfU32Abcd);

Kind KindOf(TRegisterFormat format) {
  const int index = static_cast<int>(format);
  if (index < kFirst32Bit) return static_cast<Kind>(index);
  return static_cast<Kind>(static_cast<int>(Kind::U32) + (index - kFirst32Bit) / 4);
}

// The 32-bit value of a register pair, its bytes taken in the word order's letters from the
// most significant down.
uint32_t Combine(uint16_t first, uint16_t second, std::string_view order) {
  const uint32_t high = first;
  const uint32_t low = second;
  const std::array<uint32_t, 4> bytes = {high >> 8u, high & 0xFFu, low >> 8u, low & 0xFFu};
  uint32_t value = 0;
  for (const char letter : order) value = (value << 8u) | bytes[letter - 'A'];
  return value;
}

// The pair carrying a 32-bit value: each letter of the order takes the value's next byte down.
std::array<uint16_t, 2> Split(uint32_t value, std::string_view order) {
  std::array<uint32_t, 4> bytes{};
  for (size_t i = 0; i < order.size(); ++i) {
    bytes[static_cast<size_t>(order[i] - 'A')] = (value >> (24u - 8u * i)) & 0xFFu;
  }
  return {static_cast<uint16_t>(bytes[0] << 8u | bytes[1]),
          static_cast<uint16_t>(bytes[2] << 8u | bytes[3])};
}

std::string FloatText(float value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Inf" : "+Inf";
  std::array<char, 32> text{};
  const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
  return std::string(text.data(), result.ptr);
}

std::string HexText(uint16_t value) {
  std::string text = "0xXXXX";
  platform::PutHexWord(text.data() + 2, value);
  return text;
}

std::string SixteenBitText(uint16_t value, Kind kind) {
  switch (kind) {
    case Kind::S16:
      return std::to_string(static_cast<int16_t>(value));
    case Kind::Hex:
      return HexText(value);
    default:
      return std::to_string(value);
  }
}

std::string ThirtyTwoBitText(uint32_t value, Kind kind) {
  switch (kind) {
    case Kind::S32:
      return std::to_string(static_cast<int32_t>(value));
    case Kind::F32:
      return FloatText(std::bit_cast<float>(value));
    default:
      return std::to_string(value);
  }
}

}  // namespace

std::vector<std::string> FormatRegisters(const std::vector<uint16_t>& registers,
                                         TRegisterFormat format) {
  const Kind kind = KindOf(format);
  std::vector<std::string> texts;
  if (kind == Kind::U16 || kind == Kind::S16 || kind == Kind::Hex) {
    texts.reserve(registers.size());
    for (const uint16_t value : registers) texts.push_back(SixteenBitText(value, kind));
    return texts;
  }
  const std::string_view order = RegisterWordOrder(format);
  texts.reserve((registers.size() + 1) / 2);
  size_t i = 0;
  for (; i + 1 < registers.size(); i += 2) {
    texts.push_back(ThirtyTwoBitText(Combine(registers[i], registers[i + 1], order), kind));
  }
  if (i < registers.size()) texts.push_back(std::to_string(registers[i]));
  return texts;
}

double RegisterValue(uint16_t first, uint16_t second, TRegisterFormat format) {
  const Kind kind = KindOf(format);
  if (kind == Kind::S16) return static_cast<int16_t>(first);
  if (kind == Kind::U16 || kind == Kind::Hex) return first;
  const uint32_t value = Combine(first, second, RegisterWordOrder(format));
  if (kind == Kind::S32) return static_cast<int32_t>(value);
  if (kind == Kind::F32) return std::bit_cast<float>(value);
  return value;
}

std::array<uint16_t, 2> SplitRegisters(uint32_t value, TRegisterFormat format) {
  return Split(value, RegisterWordOrder(format));
}

std::string RegisterFormatName(TRegisterFormat format) {
  static constexpr std::array<const char*, 6> kKinds = {"u16", "s16", "hex", "u32", "s32", "f32"};
  std::string name = kKinds[static_cast<int>(KindOf(format))];
  const std::string_view order = RegisterWordOrder(format);
  if (!order.empty()) {
    name += '-';
    for (const char letter : order) name += static_cast<char>(letter - 'A' + 'a');
  }
  return name;
}

TRegisterFormat RegisterFormatFromName(std::string_view name) {
  std::string lower(name);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  for (int i = 0; i < kRegisterFormatCount; ++i) {
    const auto format = static_cast<TRegisterFormat>(i);
    if (RegisterFormatName(format) == lower) return format;
  }
  return TRegisterFormat::rfU16;
}

std::string_view RegisterWordOrder(TRegisterFormat format) {
  const int index = static_cast<int>(format);
  if (index < kFirst32Bit) return {};
  return kWordOrders[static_cast<size_t>(index - kFirst32Bit) % kWordOrders.size()];
}

}  // namespace talyx::formats
