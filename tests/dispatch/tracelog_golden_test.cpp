// Byte-for-byte comparisons of written trace and log files with the committed golden files.
#include <gtest/gtest.h>

#include <string>

#include "dispatch/dispatchlog.h"
#include "dispatch/tracebuffer.h"
#include "tracelog_files.h"

namespace talyx {
namespace {

using testing::Golden;
using testing::ReadFileBytes;
using testing::ScratchFolder;
using testing::WriteFileBytes;

void AddText(TTraceBuffer& trace, char kind, const std::string& bytes) {
  for (char c : bytes) trace.Add(kind, static_cast<uint8_t>(c));
}

// The trace of the example exchange: "AT" CR sent, "OK" CR LF received.
void RecordExchange(TTraceBuffer& trace) {
  AddText(trace, 'T', "AT\r");
  AddText(trace, 'R', "OK\r\n");
}

class TraceGolden : public ::testing::Test {
 protected:
  // Writes the trace to a fresh file and returns what landed in it.
  std::string WriteTrace(bool inHex, bool allHex) {
    const std::string path = folder_.Path("SERIAL.TRC");
    EXPECT_EQ(trace_.Write(path, false, inHex, allHex), ecOK);
    return ReadFileBytes(path);
  }

  ScratchFolder folder_;
  TTraceBuffer trace_;
};

TEST_F(TraceGolden, ExchangeGivesOneBlockPerDirection) {
  ASSERT_EQ(trace_.Open(100), ecOK);
  RecordExchange(trace_);
  EXPECT_EQ(WriteTrace(false, false), Golden("trace_example.trc"));
}

TEST_F(TraceGolden, WrappedTraceKeepsTheNewestEntries) {
  ASSERT_EQ(trace_.Open(3), ecOK);
  AddText(trace_, 'R', "abcd");
  EXPECT_EQ(WriteTrace(false, false), Golden("trace_capacity3.trc"));
}

TEST_F(TraceGolden, LinesBreakBeforeColumn79) {
  ASSERT_EQ(trace_.Open(200), ecOK);
  std::string letters;
  for (int i = 0; i < 80; ++i) letters += static_cast<char>('A' + i % 26);
  AddText(trace_, 'T', letters);
  AddText(trace_, 'R', std::string(21, '\r'));
  EXPECT_EQ(WriteTrace(true, false), Golden("trace_wrap.trc"));
}

TEST_F(TraceGolden, DecimalItemsTakeTheirWidth) {
  ASSERT_EQ(trace_.Open(200), ecOK);
  for (int byte : {0, 9, 10, 31, 128, 255, 32, 33, 126, 127}) trace_.Add('R', byte);
  for (int i = 0; i < 15; ++i) trace_.Add('R', 255);
  EXPECT_EQ(WriteTrace(false, false), Golden("trace_decimal.trc"));
}

TEST_F(TraceGolden, InHexBracketsSpaceAndControlBytes) {
  ASSERT_EQ(trace_.Open(20), ecOK);
  AddText(trace_, 'T', std::string("a b\x7f", 4));
  trace_.Add('T', 0);
  trace_.Add('T', '~');
  EXPECT_EQ(WriteTrace(true, false), Golden("trace_inhex.trc"));
}

TEST_F(TraceGolden, AllHexBracketsEveryByte) {
  ASSERT_EQ(trace_.Open(20), ecOK);
  AddText(trace_, 'T', "A \r\xff");
  EXPECT_EQ(WriteTrace(false, true), Golden("trace_allhex.trc"));
}

TEST_F(TraceGolden, OtherKindsGetSpecialBlocks) {
  ASSERT_EQ(trace_.Open(20), ecOK);
  AddText(trace_, 'T', "x");
  AddText(trace_, 'E', "yz");
  AddText(trace_, 'R', "w");
  AddText(trace_, 'T', "q");
  EXPECT_EQ(WriteTrace(false, false), Golden("trace_special.trc"));
}

TEST_F(TraceGolden, AppendKeepsTheEarlierContent) {
  const std::string path = folder_.Path("SERIAL.TRC");
  WriteFileBytes(path, "an earlier trace\r\n");
  ASSERT_EQ(trace_.Open(100), ecOK);
  RecordExchange(trace_);
  ASSERT_EQ(trace_.Write(path, true, false, false), ecOK);
  EXPECT_EQ(ReadFileBytes(path), Golden("trace_append.trc"));
}

TEST_F(TraceGolden, AppendToAMissingFileCreatesIt) {
  const std::string path = folder_.Path("new.trc");
  ASSERT_EQ(trace_.Open(100), ecOK);
  RecordExchange(trace_);
  ASSERT_EQ(trace_.Write(path, true, false, false), ecOK);
  EXPECT_EQ(ReadFileBytes(path), Golden("trace_example.trc"));
}

TEST_F(TraceGolden, OverwriteReplacesTheEarlierContent) {
  const std::string path = folder_.Path("SERIAL.TRC");
  WriteFileBytes(path, std::string(5000, 'z'));
  ASSERT_EQ(trace_.Open(100), ecOK);
  RecordExchange(trace_);
  ASSERT_EQ(trace_.Write(path, false, false, false), ecOK);
  EXPECT_EQ(ReadFileBytes(path), Golden("trace_example.trc"));
}

class LogGolden : public ::testing::Test {
 protected:
  void SetUp() override {
    log_.SetClock([this] { return now_; });
    log_.SetStart(StartMs);
    log_.SetOsDescription("Linux 6.1.0-golden");
    log_.Open(4096);
  }

  void AddAt(uint32_t timeMs, uint8_t type, uint8_t subType, uint32_t data,
             const std::string& bytes = "") {
    now_ = StartMs + timeMs;
    log_.Add(type, subType, data, reinterpret_cast<const uint8_t*>(bytes.data()),
             static_cast<uint32_t>(bytes.size()));
  }

  // Records of the mixed golden file: one of each shape of line.
  void AddMixedRecords() {
    AddAt(0, ltDispatch, lsReadCom, 3, "A\r\n");
    AddAt(1234, ltTrigger, lsAvail, 3);
    AddAt(12345678, ltDispatch, lsWriteCom, 70,
          "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!#$%&()*");
    AddAt(1300, ltTrgHdAlc, lsWindow, 0x12AB);
    AddAt(1301, ltTrDatChg, lsAvailChanged, 1);
    AddAt(2000, ltTelnet, 20, 1);
    AddAt(2001, ltTelnet, 0, 43);
    AddAt(3000, ltTrigDisp, lsStatusTrigger, 2, "\x03");
    AddAt(4000, 3, lsModemStatus, 0x91, "\x91");
    AddAt(9999999, ltTrigger, lsTimer, 5);
    AddAt(5000, 0, 0, 0xFFFFFFFF);
  }

  // A start value far from zero, so that times must be counted from it.
  static constexpr uint32_t StartMs = 0xFFFFFF00u;
  uint32_t now_ = StartMs;
  ScratchFolder folder_;
  TDispatchLog log_;
};

TEST_F(LogGolden, EveryShapeOfRecordLine) {
  AddMixedRecords();
  const std::string path = folder_.Path("SERIAL.LOG");
  ASSERT_EQ(log_.Write(path, false, true, false, "/dev/pts/7"), ecOK);
  EXPECT_EQ(ReadFileBytes(path), Golden("log_records.log"));
}

TEST_F(LogGolden, AllHexLeavesUserRecordsAsText) {
  AddAt(10, ltUser, 0, 0, "Hi there");
  AddAt(20, ltDispatch, lsReadCom, 8, "Hi there");
  const std::string path = folder_.Path("SERIAL.LOG");
  ASSERT_EQ(log_.Write(path, false, true, true, "/dev/pts/7"), ecOK);
  EXPECT_EQ(ReadFileBytes(path), Golden("log_allhex.log"));
}

TEST_F(LogGolden, DecimalItemsAndASpaceCharacter) {
  AddAt(7, ltDispatch, lsReadCom, 4, "a b\r");
  AddAt(8, ltDispatch, lsWriteCom, 0);
  const std::string path = folder_.Path("SERIAL.LOG");
  ASSERT_EQ(log_.Write(path, false, false, false, "/dev/pts/7"), ecOK);
  EXPECT_EQ(ReadFileBytes(path), Golden("log_plain.log"));
}

TEST_F(LogGolden, AppendKeepsTheEarlierContent) {
  const std::string path = folder_.Path("SERIAL.LOG");
  WriteFileBytes(path, "an earlier log\r\n");
  AddAt(7, ltDispatch, lsReadCom, 4, "a b\r");
  AddAt(8, ltDispatch, lsWriteCom, 0);
  ASSERT_EQ(log_.Write(path, true, false, false, "/dev/pts/7"), ecOK);
  EXPECT_EQ(ReadFileBytes(path), Golden("log_append.log"));
}

}  // namespace
}  // namespace talyx
