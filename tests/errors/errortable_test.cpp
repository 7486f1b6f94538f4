// Tests of the built-in string tables: layout, id groups, and the texts the system quotes.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "errors/builtintables.h"
#include "errors/strres.h"

namespace talyx {
namespace {

struct Entry {
  int32_t Id;
  uint32_t Offset;
  uint32_t Length;
};

uint32_t U32(const uint8_t* Data, size_t Offset) {
  return uint32_t{Data[Offset]} | uint32_t{Data[Offset + 1]} << 8 |
         uint32_t{Data[Offset + 2]} << 16 | uint32_t{Data[Offset + 3]} << 24;
}

// The index of a built-in table, read straight from its bytes.
std::vector<Entry> IndexOf(const uint8_t* Data, size_t Size) {
  std::vector<Entry> entries;
  if (Size < 8) return entries;
  const uint32_t count = U32(Data, 4);
  for (uint32_t i = 0; i < count && 8 + 12 * (i + 1) <= Size; ++i) {
    entries.push_back({static_cast<int32_t>(U32(Data, 8 + 12 * i)), U32(Data, 12 + 12 * i),
                       U32(Data, 16 + 12 * i)});
  }
  return entries;
}

// Checks the layout both tables share: magic, Count, ascending ids, texts packed in index order
// straight after the index up to the last byte, printable ASCII only.
void ExpectPackedTable(const uint8_t* Data, size_t Size, uint32_t ExpectedCount,
                       uint32_t ExpectedFirstText) {
  ASSERT_GE(Size, 8u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(Data), 4), "STR0");
  ASSERT_EQ(U32(Data, 4), ExpectedCount);
  const std::vector<Entry> entries = IndexOf(Data, Size);
  ASSERT_EQ(entries.size(), ExpectedCount);
  uint32_t next = 8 + 12 * ExpectedCount;
  EXPECT_EQ(next, ExpectedFirstText);
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i > 0) {
      EXPECT_LT(entries[i - 1].Id, entries[i].Id) << "after id " << entries[i - 1].Id;
    }
    EXPECT_EQ(entries[i].Offset, next) << "id " << entries[i].Id;
    for (uint32_t unit = 0; unit < entries[i].Length; ++unit) {
      const uint8_t low = Data[entries[i].Offset + 2 * unit];
      const uint8_t high = Data[entries[i].Offset + 2 * unit + 1];
      EXPECT_TRUE(high == 0 && low >= 32 && low <= 126)
          << "id " << entries[i].Id << " unit " << unit;
    }
    next = entries[i].Offset + 2 * entries[i].Length;
  }
  EXPECT_EQ(next, Size);
}

TEST(BuiltInTables, StrresStringsIsTheFiveReaderMessages) {
  ExpectPackedTable(tables::StrresStrings, tables::StrresStringsSize, 5, 68);
  EXPECT_EQ(tables::StrresStringsSize, 324u);
  const std::map<int32_t, std::string> expected{
      {1, "String not found: %d"},          {2, "Cannot lock resource"},
      {3, "String resource not found: %s"}, {4, "Unable to open string resource: %s"},
      {5, "Invalid STR0 string table"},
  };
  for (const auto& [id, text] : expected) EXPECT_EQ(SrMgrStrings().LookUp(id), text) << "id " << id;
}

TEST(BuiltInTables, ErrorStringsHas833PackedEntries) {
  ExpectPackedTable(tables::ErrorStringsEnglish, tables::ErrorStringsEnglishSize, 833, 10004);
}

TEST(BuiltInTables, ErrorStringsGroupsHoldTheirRowsWithFirstAndLastIdsPresent) {
  struct Group {
    int32_t First;
    int32_t Last;
    size_t Rows;
  };
  const Group groups[] = {
      {0, 18, 9},          {100, 162, 19},     {1001, 1009, 9},    {2001, 2012, 12},
      {3001, 3010, 10},    {4001, 4008, 8},    {4101, 4101, 1},    {4201, 4213, 13},
      {4301, 4312, 12},    {4401, 4403, 3},    {4500, 4599, 29},   {4600, 4671, 28},
      {4700, 4723, 24},    {4801, 4843, 24},   {5001, 5003, 3},    {5501, 5506, 6},
      {6001, 6016, 16},    {7001, 7014, 14},   {8001, 8092, 40},   {9001, 9007, 7},
      {10004, 10101, 47},  {11001, 11004, 4},  {13501, 13599, 45}, {13600, 13670, 23},
      {13801, 13886, 84},  {13928, 13980, 19}, {15001, 15020, 20}, {15101, 15129, 29},
      {15130, 15351, 222}, {15501, 15502, 2},  {15601, 15608, 8},  {15700, 15742, 43},
  };
  const std::vector<Entry> entries =
      IndexOf(tables::ErrorStringsEnglish, tables::ErrorStringsEnglishSize);
  size_t covered = 0;
  for (const Group& g : groups) {
    size_t rows = 0;
    bool first = false;
    bool last = false;
    for (const Entry& e : entries) {
      if (e.Id < g.First || e.Id > g.Last) continue;
      ++rows;
      first = first || e.Id == g.First;
      last = last || e.Id == g.Last;
    }
    EXPECT_EQ(rows, g.Rows) << g.First << ".." << g.Last;
    EXPECT_TRUE(first && last) << g.First << ".." << g.Last;
    covered += rows;
  }
  EXPECT_EQ(covered, entries.size()) << "ids outside every group";
}

void ExpectTexts(const std::map<int32_t, std::string>& Expected) {
  for (const auto& [id, text] : Expected) EXPECT_EQ(ErrorStrings().LookUp(id), text) << "id " << id;
}

TEST(BuiltInTables, SerialPathMessagesReadAsQuoted) {
  ExpectTexts({
      {0, "OK"},
      {2, "File not found"},
      {3, "Path not found"},
      {4, "Too many open files"},
      {5, "File access denied"},
      {6, "Invalid file handle"},
      {8, "Insufficient memory"},
      {15, "Invalid drive"},
      {18, "No more files"},
      {100, "Attempt to read beyond end of file"},
      {101, "Disk is full"},
      {102, "File/device not assigned"},
      {103, "File/device not open"},
      {104, "File/device not open for input"},
      {105, "File/device not open for output"},
      {150, "Disk is write-protected"},
      {151, "Unknown disk unit"},
      {152, "Drive is not ready"},
      {153, "Unknown command"},
      {154, "Data error"},
      {155, "Bad request structure length"},
      {156, "Seek error"},
      {157, "Unknown media type"},
      {158, "Disk sector not found"},
      {159, "Printer is out of paper"},
      {160, "Device write error"},
      {161, "Device read error"},
      {162, "General failure"},
      {1001, "Bad handle passed to com function"},
      {1002, "Bad argument passed to function"},
      {1003, "Got quit message"},
      {1004, "Terminal buffer greater than 65521"},
      {1005, "ComPort component not assigned"},
      {1006, "Internal error creating window class"},
      {1007, "Modem component not assigned"},
      {1008, "Phonebook component not assigned"},
      {1009, "Component not compatible with WinSock"},
      {2001, "ie_BadId - Specified comport doesn't exist"},
      {2002, "ie_Baudrate - unsupported baud rate"},
      {2003, "ie_Bytesize - invalid byte size"},
      {2004, "ie_Default - error in default parameters"},
      {2005, "ie_Hardware - Specified comport in use"},
      {2006, "ie_Memory - unable to allocate queues"},
      {2007, "ie_NOpen - device not open"},
      {2008, "ie_Open - device already open"},
      {2009, "No more handles, can't open port"},
      {2010, "No timers available"},
      {2011, "The ComNumber property of the TComPort has not been set"},
      {2012, "Comport was not opened by Tapi"},
      {3001, "No device layer specified"},
      {3002, "Function not supported by driver"},
      {3003, "EnableCommNotification failed"},
      {3004, "Failed to put entire block"},
      {3005, "Failed to get entire block"},
      {3006, "Output buffer too small for block"},
      {3007, "Buffer is empty"},
      {3008, "Tracing not enabled"},
      {3009, "Logging not enabled"},
      {3010, "Base address not set"},
      {5001, "No more trigger slots"},
      {5002, "Data trigger too long"},
      {5003, "Bad trigger handle"},
  });
}

TEST(BuiltInTables, MissingAndEmptyIdsYieldEmptyText) {
  for (const int32_t id : {1, 1010, 15000, 15100, 4600, 4630, 4660})
    EXPECT_EQ(ErrorStrings().LookUp(id), "") << id;
  const std::vector<Entry> entries =
      IndexOf(tables::ErrorStringsEnglish, tables::ErrorStringsEnglishSize);
  for (const int32_t emptyButPresent : {4600, 4630, 4660}) {
    bool present = false;
    for (const Entry& e : entries) present = present || (e.Id == emptyButPresent && e.Length == 0);
    EXPECT_TRUE(present) << emptyButPresent;
  }
}

TEST(BuiltInTables, DispatchLogVocabularyReadsAsQuoted) {
  const char* const types[] = {"No event", "Dispatch", "Trigger",  "Error",    "Thread",
                               "TrigAllc", "TrigDisp", "TrgHdAlc", "TrgHdDsp", "TrDatChg",
                               "Telnet",   "Fax",      "XModem",   "YModem",   "ZModem",
                               "Kermit",   "Ascii",    "BPlus",    "Packet",   "User"};
  for (int32_t type = 0; type < 20; ++type)
    EXPECT_EQ(ErrorStrings().LookUp(15001 + type), types[type]);

  const char* const subtypes[] = {
      "",          "ReadCom",    "WriteCom",  "Line status", "Modem status", "Avail",
      "Timer",     "Data",       "Status",    "Start",       "Exit",         "Sleep",
      "Wake",      "Data",       "Timer",     "Status",      "Avail",        "Window",
      "Procedure", "Method",     "Sent WILL", "Sent WON'T",  "Sent DO",      "Sent DON'T",
      "Recv WILL", "Recv WON'T", "Recv DO",   "Recv DON'T",  "Command",      "Sent Term"};
  for (int32_t sub = 0; sub < 30; ++sub)
    EXPECT_EQ(ErrorStrings().LookUp(15100 + sub), subtypes[sub]) << sub;
  EXPECT_EQ(ErrorStrings().LookUp(15130), "tfNone");
  EXPECT_EQ(ErrorStrings().LookUp(15351), "Collecting");

  ExpectTexts({
      {15501, "Time      Type      SubType       Data      OtherData"},
      {15502, "--------  --------  ------------  --------  ---------"},
      {15601, "DCTS "},
      {15602, "DDSR "},
      {15603, "TERI "},
      {15604, "DDCD "},
      {15605, "CTS "},
      {15606, "DSR "},
      {15607, "RI "},
      {15608, "DCD "},
      {15700, "Binary"},
      {15701, "Echo"},
      {15703, "Suppress Go Ahead"},
      {15724, "Terminal Type"},
      {15731, "Negotiate About Window Size"},
      {15734, "Linemode"},
      {15742, "Character Set"},
  });
  EXPECT_EQ(ErrorStrings().LookUp(15743), "");
}

}  // namespace
}  // namespace talyx
