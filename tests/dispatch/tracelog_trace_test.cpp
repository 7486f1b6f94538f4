// The byte trace: its file format against golden files, its limits and its file failures.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "dispatch/tracebuffer.h"
#include "tracelog_files.h"

namespace talyx {
namespace {

using testing::Golden;
using testing::ReadFileBytes;
using testing::ScratchFolder;

using Blocks = std::vector<std::pair<char, std::string>>;

void Record(TTraceBuffer& trace, const Blocks& blocks) {
  for (const auto& [kind, bytes] : blocks) {
    for (char c : bytes) trace.Add(kind, static_cast<uint8_t>(c));
  }
}

const Blocks kExchange = {{'T', "AT\r"}, {'R', "OK\r\n"}};

struct GoldenCase {
  const char* Golden;
  uint32_t Capacity;
  Blocks Entries;
  bool InHex;
  bool AllHex;
};

std::string Letters(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += static_cast<char>('A' + i % 26);
  return s;
}

const GoldenCase kGoldenCases[] = {
    {"trace_example.trc", 100, kExchange, false, false},
    {"trace_capacity3.trc", 3, {{'R', "abcd"}}, false, false},
    {"trace_wrap.trc", 200, {{'T', Letters(80)}, {'R', std::string(21, '\r')}}, true, false},
    {"trace_decimal.trc",
     200,
     {{'R', std::string("\0\t\n\x1f\x80\xff !~\x7f", 10) + std::string(15, '\xff')}},
     false,
     false},
    {"trace_inhex.trc", 20, {{'T', std::string("a b\x7f\0~", 6)}}, true, false},
    {"trace_allhex.trc", 20, {{'T', "A \r\xff"}}, false, true},
    {"trace_other_kind.trc", 20, {{'T', "x"}, {'E', "yz"}, {'R', "w"}, {'T', "q"}}, false, false},
};

TEST(TraceWrite, MatchesTheGoldenFiles) {
  ScratchFolder folder;
  for (const GoldenCase& c : kGoldenCases) {
    TTraceBuffer trace;
    ASSERT_EQ(trace.Open(c.Capacity), ecOK);
    Record(trace, c.Entries);
    const std::string path = folder.Path(c.Golden);
    ASSERT_EQ(trace.Write(path, false, c.InHex, c.AllHex), ecOK) << c.Golden;
    EXPECT_EQ(ReadFileBytes(path), Golden(c.Golden)) << c.Golden;
    EXPECT_FALSE(trace.HasBuffer()) << "writing discards the trace";
  }
}

TEST(TraceWrite, AppendsToAnExistingFileAndCreatesAMissingOne) {
  ScratchFolder folder;
  const std::string existing = folder.Path("SERIAL.TRC");
  testing::WriteFileBytes(existing, "an earlier trace\r\n");
  for (const std::string& path : {existing, folder.Path("new.trc")}) {
    TTraceBuffer trace;
    ASSERT_EQ(trace.Open(100), ecOK);
    Record(trace, kExchange);
    ASSERT_EQ(trace.Write(path, true, false, false), ecOK);
  }
  EXPECT_EQ(ReadFileBytes(existing), Golden("trace_append.trc"));
  EXPECT_EQ(ReadFileBytes(folder.Path("new.trc")), Golden("trace_example.trc"));
}

TEST(TraceOpen, AcceptsUpToFourMillionEntries) {
  TTraceBuffer big;
  ASSERT_EQ(big.Open(4000000), ecOK);
  EXPECT_TRUE(big.Active());
  EXPECT_EQ(big.Capacity(), 4000000u);

  TTraceBuffer tooBig;
  EXPECT_EQ(tooBig.Open(4000001), ecBadArgument);
  EXPECT_FALSE(tooBig.HasBuffer());
  EXPECT_FALSE(tooBig.Active());

  // On an existing buffer Open only clears it, whatever the size asked for.
  TTraceBuffer reopened;
  ASSERT_EQ(reopened.Open(4), ecOK);
  Record(reopened, {{'T', "abcdef"}});
  reopened.Pause();
  EXPECT_EQ(reopened.Open(4000001), ecOK);
  EXPECT_TRUE(reopened.Active());
  EXPECT_EQ(reopened.Capacity(), 4u);
  EXPECT_EQ(reopened.Count(), 0u);
}

TEST(TraceWrite, NothingRecordedTouchesNoFile) {
  ScratchFolder folder;
  const std::string path = folder.Path("SERIAL.TRC");
  TTraceBuffer never;
  EXPECT_EQ(never.Write(path, false, true, false), ecOK);
  TTraceBuffer empty;
  ASSERT_EQ(empty.Open(10), ecOK);
  EXPECT_EQ(empty.Write(path, false, true, false), ecOK);
  EXPECT_FALSE(empty.HasBuffer());
  TTraceBuffer noRoom;  // a trace without room records nothing rather than overrunning
  ASSERT_EQ(noRoom.Open(0), ecOK);
  Record(noRoom, {{'R', "x"}});
  EXPECT_EQ(noRoom.Write(path, false, true, false), ecOK);
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(TraceWrite, FileFailuresAreReportedAndDiscardTheTrace) {
  ScratchFolder folder;
  std::vector<std::pair<std::string, ErrorCode>> failures = {
      {folder.Path("missing/SERIAL.TRC"), ecFileNotFound}};
  // A device that takes no bytes fails the writes, not the open: the trace is still lost.
  if (std::filesystem::exists("/dev/full")) failures.push_back({"/dev/full", -ENOSPC});
  for (const auto& [path, expected] : failures) {
    TTraceBuffer trace;
    ASSERT_EQ(trace.Open(10), ecOK);
    Record(trace, kExchange);
    EXPECT_EQ(trace.Write(path, false, true, false), expected) << path;
    EXPECT_FALSE(trace.HasBuffer());
    EXPECT_FALSE(trace.Active());
  }
}

}  // namespace
}  // namespace talyx
