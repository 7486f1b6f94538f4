// Fuzz target of the register view's formats: for any registers and any format, one text per
// register (16-bit) or per pair (32-bit, a last odd register as unsigned 16-bit), each reading
// back as the value its word order makes; format names read back as their format in any case, and
// any other name as unsigned 16-bit.
//
// Input: a byte choosing the format, a byte giving the length of a format name and the name,
// then the registers (16 bits each, least significant byte first).
#include <bit>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzzinput.h"
#include "text/registerformat.h"

namespace {

using talyx::formats::TRegisterFormat;

// Reads the whole text as an integer of type T; a text with anything else aborts.
template <typename T>
T Parse(std::string_view text, int base = 10) {
  T value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size()) std::abort();
  return value;
}

float ParseFloat(std::string_view text) {
  float value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) std::abort();
  return value;
}

// Decimal integers carry no leading zero and no plus sign.
void CheckDecimalForm(std::string_view text) {
  const std::string_view digits = text.substr(text.starts_with('-') ? 1 : 0);
  if (digits.empty() || (digits.size() > 1 && digits.front() == '0')) std::abort();
}

uint16_t Swapped(uint16_t r) { return static_cast<uint16_t>(r << 8 | r >> 8); }

// The 32-bit value of a pair in each word order, from what the orders mean for the two registers.
uint32_t PairValue(uint16_t first, uint16_t second, std::string_view order) {
  if (order == "ABCD") return uint32_t{first} << 16 | second;
  if (order == "CDAB") return uint32_t{second} << 16 | first;
  if (order == "BADC") return uint32_t{Swapped(first)} << 16 | Swapped(second);
  if (order == "DCBA") return uint32_t{Swapped(second)} << 16 | Swapped(first);
  std::abort();
}

void CheckFloat(std::string_view text, uint32_t bits) {
  const auto value = std::bit_cast<float>(bits);
  if (std::isnan(value)) {
    if (text != "NaN") std::abort();
  } else if (std::isinf(value)) {
    if (text != (value < 0 ? "-Inf" : "+Inf")) std::abort();
  } else if (std::bit_cast<uint32_t>(ParseFloat(text)) != bits) {
    std::abort();
  }
}

void CheckTexts(const std::vector<uint16_t>& registers, TRegisterFormat format) {
  const std::vector<std::string> texts = talyx::formats::FormatRegisters(registers, format);
  const std::string name = talyx::formats::RegisterFormatName(format);
  const std::string_view order = talyx::formats::RegisterWordOrder(format);
  if (order.empty()) {
    if (texts.size() != registers.size()) std::abort();
    for (size_t i = 0; i < texts.size(); ++i) {
      const std::string& text = texts[i];
      if (name == "hex") {
        if (text.size() != 6 || !text.starts_with("0x") ||
            text.find_first_not_of("0123456789ABCDEF", 2) != std::string::npos ||
            Parse<uint16_t>(std::string_view(text).substr(2), 16) != registers[i]) {
          std::abort();
        }
        continue;
      }
      CheckDecimalForm(text);
      if (name == "s16" ? Parse<int16_t>(text) != static_cast<int16_t>(registers[i])
                        : Parse<uint16_t>(text) != registers[i]) {
        std::abort();
      }
    }
    return;
  }
  if (texts.size() != (registers.size() + 1) / 2) std::abort();
  for (size_t i = 0; i + 1 < registers.size(); i += 2) {
    const std::string& text = texts[i / 2];
    const uint32_t value = PairValue(registers[i], registers[i + 1], order);
    if (name.starts_with("f32")) {
      CheckFloat(text, value);
      continue;
    }
    CheckDecimalForm(text);
    if (name.starts_with("s32") ? Parse<int32_t>(text) != static_cast<int32_t>(value)
                                : Parse<uint32_t>(text) != value) {
      std::abort();
    }
  }
  if (registers.size() % 2 != 0 && Parse<uint16_t>(texts.back()) != registers.back()) std::abort();
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

void CheckName(std::string_view candidate) {
  TRegisterFormat named = TRegisterFormat::rfU16;
  for (int i = 0; i < talyx::formats::kRegisterFormatCount; ++i) {
    const auto format = static_cast<TRegisterFormat>(i);
    std::string name = talyx::formats::RegisterFormatName(format);
    if (talyx::formats::RegisterFormatFromName(name) != format) std::abort();
    for (char& c : name) c = Upper(c);
    if (talyx::formats::RegisterFormatFromName(name) != format) std::abort();
    if (SameIgnoringCase(candidate, name)) named = format;
  }
  if (talyx::formats::RegisterFormatFromName(candidate) != named) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  talyx::fuzz::FuzzInput input(data, size);
  const auto format =
      static_cast<TRegisterFormat>(input.Byte() % talyx::formats::kRegisterFormatCount);
  CheckName(input.Bytes(input.Byte()));
  std::vector<uint16_t> registers;
  while (!input.Empty()) registers.push_back(input.Integer<uint16_t>());
  CheckTexts(registers, format);
  return 0;
}
