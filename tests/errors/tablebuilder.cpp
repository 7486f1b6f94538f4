// Test helper: lays out "STR0" string tables byte by byte and hands them to readers in a module.
#include "tablebuilder.h"

namespace talyx::test {

void PutU32At(std::vector<uint8_t>& Bytes, size_t Offset, uint32_t Value) {
  for (size_t i = 0; i < 4; ++i) Bytes[Offset + i] = static_cast<uint8_t>(Value >> (8 * i));
}

std::vector<uint8_t> BuildTable(const TableEntries& Entries) {
  std::vector<uint8_t> bytes(8 + 12 * Entries.size());
  bytes[0] = 'S';
  bytes[1] = 'T';
  bytes[2] = 'R';
  bytes[3] = '0';
  PutU32At(bytes, 4, static_cast<uint32_t>(Entries.size()));
  for (size_t i = 0; i < Entries.size(); ++i) {
    const auto& [id, text] = Entries[i];
    PutU32At(bytes, IndexField(i, 0), static_cast<uint32_t>(id));
    PutU32At(bytes, IndexField(i, 1), static_cast<uint32_t>(bytes.size()));
    PutU32At(bytes, IndexField(i, 2), static_cast<uint32_t>(text.size()));
    for (const char16_t unit : text) {
      bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
      bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
  }
  return bytes;
}

ResourceModule ModuleOf(const std::string& Name, const std::vector<uint8_t>& Bytes) {
  static const uint8_t noBytes = 0;
  return ResourceModule{{Name, Bytes.empty() ? &noBytes : Bytes.data(), Bytes.size()}};
}

}  // namespace talyx::test
