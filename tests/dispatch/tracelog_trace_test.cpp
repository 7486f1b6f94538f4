// The byte trace's life cycle, limits and failures (formats are in the golden tests).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "dispatch/tracebuffer.h"
#include "tracelog_files.h"

namespace talyx {
namespace {

using testing::ReadFileBytes;
using testing::ScratchFolder;

TEST(TraceOpen, AcceptsUpToFourMillionEntries) {
  TTraceBuffer trace;
  ASSERT_EQ(trace.Open(TTraceBuffer::MaxTraceCapacity), ecOK);
  EXPECT_TRUE(trace.HasBuffer());
  EXPECT_TRUE(trace.Active());
  EXPECT_EQ(trace.Capacity(), 4000000u);
  trace.Add('R', 1);
  EXPECT_EQ(trace.Count(), 1u);
}

TEST(TraceOpen, RefusesMoreThanFourMillionAndAllocatesNothing) {
  TTraceBuffer trace;
  EXPECT_EQ(trace.Open(4000001), ecBadArgument);
  EXPECT_FALSE(trace.HasBuffer());
  EXPECT_FALSE(trace.Active());
  trace.Add('R', 1);
  EXPECT_EQ(trace.Count(), 0u);
}

TEST(TraceOpen, OnAnExistingBufferClearsItAndKeepsItsSize) {
  TTraceBuffer trace;
  ASSERT_EQ(trace.Open(4), ecOK);
  for (uint8_t b = 0; b < 6; ++b) trace.Add('T', b);
  trace.Pause();
  EXPECT_EQ(trace.Open(4000001), ecOK);
  EXPECT_TRUE(trace.Active());
  EXPECT_EQ(trace.Capacity(), 4u);
  EXPECT_EQ(trace.Count(), 0u);
}

TEST(TraceState, PauseResumeAndClear) {
  TTraceBuffer trace;
  trace.Resume();
  EXPECT_FALSE(trace.Active()) << "no buffer, nothing to resume";

  ASSERT_EQ(trace.Open(10), ecOK);
  trace.Add('T', 'a');
  trace.Pause();
  EXPECT_FALSE(trace.Active());
  EXPECT_EQ(trace.Count(), 1u);
  trace.Resume();
  EXPECT_TRUE(trace.Active());

  EXPECT_EQ(trace.Clear(), ecOK);
  EXPECT_TRUE(trace.Active());
  EXPECT_TRUE(trace.HasBuffer());
  EXPECT_EQ(trace.Count(), 0u);

  trace.Discard();
  EXPECT_FALSE(trace.Active());
  EXPECT_FALSE(trace.HasBuffer());
}

TEST(TraceState, CountStopsAtCapacityOnceWrapped) {
  TTraceBuffer trace;
  ASSERT_EQ(trace.Open(3), ecOK);
  for (int i = 0; i < 7; ++i) trace.Add('R', 'x');
  EXPECT_EQ(trace.Count(), 3u);
}

TEST(TraceState, ZeroCapacityRecordsNothing) {
  ScratchFolder folder;
  TTraceBuffer trace;
  ASSERT_EQ(trace.Open(0), ecOK);
  trace.Add('R', 'x');
  EXPECT_EQ(trace.Count(), 0u);
  EXPECT_EQ(trace.Write(folder.Path("t.trc"), false, true, false), ecOK);
  EXPECT_FALSE(std::filesystem::exists(folder.Path("t.trc")));
}

TEST(TraceWrite, NothingRecordedTouchesNoFile) {
  ScratchFolder folder;
  const std::string path = folder.Path("SERIAL.TRC");

  TTraceBuffer never;
  EXPECT_EQ(never.Write(path, false, true, false), ecOK);
  EXPECT_FALSE(std::filesystem::exists(path));

  TTraceBuffer empty;
  ASSERT_EQ(empty.Open(10), ecOK);
  EXPECT_EQ(empty.Write(path, false, true, false), ecOK);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_FALSE(empty.HasBuffer()) << "an empty trace is discarded by the write";
}

TEST(TraceWrite, WritingDiscardsTheTrace) {
  ScratchFolder folder;
  TTraceBuffer trace;
  ASSERT_EQ(trace.Open(10), ecOK);
  trace.Add('T', 'a');
  ASSERT_EQ(trace.Write(folder.Path("a.trc"), false, true, false), ecOK);
  EXPECT_FALSE(trace.HasBuffer());
  EXPECT_FALSE(trace.Active());
  EXPECT_EQ(ReadFileBytes(folder.Path("a.trc")), "Transmit: \r\na\r\n");
}

TEST(TraceWrite, UnopenableFileGivesTheFileErrorAndDiscards) {
  ScratchFolder folder;
  TTraceBuffer trace;
  ASSERT_EQ(trace.Open(10), ecOK);
  trace.Add('T', 'a');
  EXPECT_EQ(trace.Write(folder.Path("missing/SERIAL.TRC"), false, true, false), ecFileNotFound);
  EXPECT_FALSE(trace.HasBuffer());
  EXPECT_FALSE(trace.Active());
}

TEST(TraceWrite, FolderThatIsAFileGivesPathNotFound) {
  ScratchFolder folder;
  testing::WriteFileBytes(folder.Path("plain"), "x");
  TTraceBuffer trace;
  ASSERT_EQ(trace.Open(10), ecOK);
  trace.Add('T', 'a');
  EXPECT_EQ(trace.Write(folder.Path("plain/SERIAL.TRC"), true, true, false), ecPathNotFound);
}

TEST(TraceWrite, AFullDeviceIsReportedNotSwallowed) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "/dev/full is missing";
  TTraceBuffer trace;
  ASSERT_EQ(trace.Open(10), ecOK);
  trace.Add('T', 'a');
  const ErrorCode result = trace.Write("/dev/full", false, true, false);
  EXPECT_LT(result, 0);
  EXPECT_FALSE(trace.HasBuffer());
}

TEST(TraceWrite, LongTraceSurvivesTheSmallFileBuffer) {
  ScratchFolder folder;
  TTraceBuffer trace;
  ASSERT_EQ(trace.Open(10000), ecOK);
  std::string expected = "Receive: \r\n";
  for (int line = 0; line < 100; ++line) {
    for (int i = 0; i < 78; ++i) {
      const char c = static_cast<char>('0' + (line + i) % 10);
      trace.Add('R', static_cast<uint8_t>(c));
      expected += c;
    }
    expected += "\r\n";
  }
  ASSERT_EQ(trace.Write(folder.Path("long.trc"), false, false, false), ecOK);
  EXPECT_EQ(ReadFileBytes(folder.Path("long.trc")), expected);
}

}  // namespace
}  // namespace talyx
