// Test helper: lays out "STR0" string tables byte by byte and hands them to readers in a module.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "errors/resourcemodule.h"

namespace talyx::test {

using TableEntries = std::vector<std::pair<int32_t, std::u16string>>;

// Magic, Count, the index in the given order, then the texts packed one after another.
std::vector<uint8_t> BuildTable(const TableEntries& Entries);

// Overwrites the 32-bit little-endian field at Offset.
void PutU32At(std::vector<uint8_t>& Bytes, size_t Offset, uint32_t Value);

// Offset of field Field (0 Id, 1 Offset, 2 Length) of index entry Index.
inline size_t IndexField(size_t Index, size_t Field) { return 8 + 12 * Index + 4 * Field; }

// A module holding Bytes under Name. An empty buffer is still a resource that loads (of 0 bytes).
ResourceModule ModuleOf(const std::string& Name, const std::vector<uint8_t>& Bytes);

}  // namespace talyx::test
