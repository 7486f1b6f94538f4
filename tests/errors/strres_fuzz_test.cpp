// Fuzz-style test of TStringResource: thousands of random, truncated and corrupted tables, each
// read correctly or refused cleanly (deterministic seed; meant to run under ASan+UBSan too).
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "errors/strres.h"
#include "tablebuilder.h"

namespace talyx {
namespace {

using test::BuildTable;
using test::TableEntries;

// Symbols the random texts are made of: UTF-16 units and the UTF-8 bytes each must read as.
struct Symbol {
  std::u16string Units;
  std::string Narrow;
};

const std::vector<Symbol> kSymbols = {
    {u"a", "a"},
    {u"Z", "Z"},
    {u" ", " "},
    {u"%", "%"},
    {u"\u00e9", "\xC3\xA9"},
    {u"\u4e2d", "\xE4\xB8\xAD"},
    {u"\U0001F600", "\xF0\x9F\x98\x80"},
};

struct RandomTable {
  TableEntries Entries;
  std::map<int32_t, std::string> Expected;  // id -> narrow text
};

RandomTable MakeRandomTable(std::mt19937& Random) {
  RandomTable table;
  std::set<int32_t> ids;
  const int count = std::uniform_int_distribution<int>(0, 24)(Random);
  std::uniform_int_distribution<int32_t> anyId(INT32_MIN, INT32_MAX);
  std::uniform_int_distribution<int32_t> nearId(-40, 40);
  while (static_cast<int>(ids.size()) < count)
    ids.insert(Random() % 2 ? anyId(Random) : nearId(Random));
  for (const int32_t id : ids) {
    std::u16string units;
    std::string narrow;
    const int length = std::uniform_int_distribution<int>(0, 12)(Random);
    for (int i = 0; i < length; ++i) {
      const Symbol& s = kSymbols[Random() % kSymbols.size()];
      units += s.Units;
      narrow += s.Narrow;
    }
    table.Entries.emplace_back(id, units);
    table.Expected[id] = narrow;
  }
  return table;
}

uint32_t U32(const std::vector<uint8_t>& Bytes, size_t Offset) {
  return uint32_t{Bytes[Offset]} | uint32_t{Bytes[Offset + 1]} << 8 |
         uint32_t{Bytes[Offset + 2]} << 16 | uint32_t{Bytes[Offset + 3]} << 24;
}

// The bytes a sound table needs: its index and the end of its furthest text.
size_t NeededSize(const std::vector<uint8_t>& Bytes) {
  const size_t count = U32(Bytes, 4);
  size_t needed = 8 + 12 * count;
  for (size_t i = 0; i < count; ++i) {
    needed = std::max<size_t>(
        needed, size_t{U32(Bytes, 12 + 12 * i)} + 2 * size_t{U32(Bytes, 16 + 12 * i)});
  }
  return needed;
}

// Whether a (possibly corrupted) table is one the reader must accept, judged independently of
// the reader: every field checked with bounds before it is read.
bool AcceptableTable(const std::vector<uint8_t>& Bytes) {
  if (Bytes.size() < 8 || Bytes[0] != 'S' || Bytes[1] != 'T' || Bytes[2] != 'R' || Bytes[3] != '0')
    return false;
  const uint64_t count = U32(Bytes, 4);
  if (8 + 12 * count > Bytes.size()) return false;
  for (uint64_t i = 0; i < count; ++i) {
    const size_t at = 8 + 12 * i;
    if (uint64_t{U32(Bytes, at + 4)} + 2 * uint64_t{U32(Bytes, at + 8)} > Bytes.size())
      return false;
    if (i > 0 && static_cast<int32_t>(U32(Bytes, at)) <= static_cast<int32_t>(U32(Bytes, at - 12)))
      return false;
  }
  return true;
}

// Selects the module's "FUZZ" table in a fresh reader; returns false when it was refused with the
// invalid-table text.
bool Select(std::unique_ptr<TStringResource>& Reader, const ResourceModule& Module) {
  try {
    Reader = std::make_unique<TStringResource>(&Module, "FUZZ");
    return true;
  } catch (const EStringResourceError& e) {
    EXPECT_STREQ(e.what(), "Invalid STR0 string table");
    return false;
  }
}

TEST(StringResourceFuzz, RandomTablesReadBackExactly) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 2000; ++round) {
    const RandomTable table = MakeRandomTable(random);
    const std::vector<uint8_t> bytes = BuildTable(table.Entries);
    const ResourceModule module = test::ModuleOf("FUZZ", bytes);
    std::unique_ptr<TStringResource> reader;
    ASSERT_TRUE(Select(reader, module)) << "round " << round;
    for (const auto& [id, text] : table.Expected)
      ASSERT_EQ(reader->LookUp(id), text) << "round " << round;
    for (int probe = 0; probe < 8; ++probe) {
      const int32_t id = static_cast<int32_t>(random());
      if (!table.Expected.count(id)) {
        ASSERT_EQ(reader->LookUp(id), "") << "round " << round;
      }
    }
  }
}

TEST(StringResourceFuzz, TruncatedTablesAreRefusedUnlessNothingNeededWasCut) {
  std::mt19937 random(7);
  int refused = 0;
  int accepted = 0;
  for (int round = 0; round < 2000; ++round) {
    const RandomTable table = MakeRandomTable(random);
    const std::vector<uint8_t> full = BuildTable(table.Entries);
    const size_t needed = NeededSize(full);
    // Copy into a buffer of exactly the cut size, so that any read past it is caught.
    // One cut in three keeps every byte, so that whole tables are read back as well.
    const size_t cut = random() % 3 == 0
                           ? full.size()
                           : std::uniform_int_distribution<size_t>(0, full.size())(random);
    const std::vector<uint8_t> bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
    const ResourceModule module = test::ModuleOf("FUZZ", bytes);
    std::unique_ptr<TStringResource> reader;
    const bool selected = Select(reader, module);
    ASSERT_EQ(selected, cut >= 8 && cut >= needed)
        << "round " << round << " cut " << cut << " of " << full.size();
    if (!selected) {
      ++refused;
      continue;
    }
    ++accepted;
    for (const auto& [id, text] : table.Expected)
      ASSERT_EQ(reader->LookUp(id), text) << "round " << round;
  }
  EXPECT_GT(refused, 1000);
  EXPECT_GT(accepted, 500);
}

TEST(StringResourceFuzz, CorruptedTablesAreReadWithinBoundsOrRefused) {
  std::mt19937 random(99);
  int refused = 0;
  int accepted = 0;
  for (int round = 0; round < 4000; ++round) {
    const RandomTable table = MakeRandomTable(random);
    std::vector<uint8_t> bytes = BuildTable(table.Entries);
    const int flips = std::uniform_int_distribution<int>(1, 4)(random);
    for (int f = 0; f < flips; ++f) {
      // Aim most changes at the header and the index, where they change what is read.
      const size_t span = random() % 4
                              ? std::min<size_t>(bytes.size(), 8 + 12 * table.Entries.size())
                              : bytes.size();
      bytes[random() % span] = static_cast<uint8_t>(random());
    }
    if (random() % 4 == 0) bytes.resize(random() % (bytes.size() + 1));
    bytes.shrink_to_fit();

    const ResourceModule module = test::ModuleOf("FUZZ", bytes);
    std::unique_ptr<TStringResource> reader;
    const bool selected = Select(reader, module);
    ASSERT_EQ(selected, AcceptableTable(bytes)) << "round " << round;
    if (!selected) {
      ++refused;
      continue;
    }
    ++accepted;
    const size_t count = U32(bytes, 4);
    for (size_t i = 0; i < count; ++i) {
      const int32_t id = static_cast<int32_t>(U32(bytes, 8 + 12 * i));
      const size_t offset = U32(bytes, 12 + 12 * i);
      const size_t length = U32(bytes, 16 + 12 * i);
      const std::string text = reader->LookUp(id);
      // Each UTF-16 unit becomes one to three bytes (a surrogate pair, two units, four bytes).
      ASSERT_GE(text.size(), length) << "round " << round;
      ASSERT_LE(text.size(), 3 * length) << "round " << round;
      bool ascii = true;
      std::string asAscii;
      for (size_t u = 0; u < length; ++u) {
        ascii = ascii && bytes[offset + 2 * u + 1] == 0 && bytes[offset + 2 * u] < 0x80;
        asAscii += static_cast<char>(bytes[offset + 2 * u]);
      }
      if (ascii) {
        ASSERT_EQ(text, asAscii) << "round " << round;
      }
    }
  }
  EXPECT_GT(refused, 500);
  EXPECT_GT(accepted, 250);
}

}  // namespace
}  // namespace talyx
