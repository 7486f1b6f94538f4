// The dispatch log: its file format against golden files, its record ring (also against a model
// fed random records), its header and its file failures.
#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <cerrno>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "dispatch/dispatchlog.h"
#include "tracelog_files.h"

namespace talyx {
namespace {

using testing::Golden;
using testing::ReadFileBytes;
using testing::ScratchFolder;

using Records = std::vector<std::pair<uint32_t, std::string>>;  // Data and bytes of each record

class DispatchLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_.SetClock([this] { return now_; });
    log_.SetStart(StartMs);
    log_.SetOsDescription("Linux 6.1.0-golden");
  }

  void AddAt(uint32_t timeMs, uint8_t type, uint8_t subType, uint32_t data,
             const std::string& bytes = "") {
    now_ = StartMs + timeMs;
    log_.Add(type, subType, data, reinterpret_cast<const uint8_t*>(bytes.data()),
             static_cast<uint32_t>(bytes.size()));
  }

  Records Drain() {
    Records records;
    LogRecordHeader header;
    uint32_t len = 0;
    while (!log_.Get(header, len)) {
      records.emplace_back(header.Data,
                           std::string(reinterpret_cast<const char*>(log_.ScratchData()), len));
    }
    return records;
  }

  std::string WriteLog(bool append, bool inHex, bool allHex) {
    EXPECT_EQ(log_.Write(path_, append, inHex, allHex, "/dev/pts/7"), ecOK);
    return ReadFileBytes(path_);
  }

  // The text of each record line (from column 45) and the lines that continue it.
  std::vector<std::string> RecordTexts() {
    const std::string text = WriteLog(false, true, false);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end, n = 0; (end = text.find("\r\n", start)) != std::string::npos;
         start = end + 2, ++n) {
      if (n >= 6) lines.push_back(text.substr(start + 44, end - start - 44));
    }
    return lines;
  }

  // A clock start far from zero, so that times must be counted from it across the wrap.
  static constexpr uint32_t StartMs = 0xFFFFFF00u;
  uint32_t now_ = StartMs;
  ScratchFolder folder_;
  const std::string path_ = folder_.Path("SERIAL.LOG");
  TDispatchLog log_;
};

TEST_F(DispatchLogTest, EveryShapeOfRecordLineMatchesTheGoldenFile) {
  log_.Open(4096);
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
  EXPECT_EQ(WriteLog(false, true, false), Golden("log_records.log"));
  EXPECT_FALSE(log_.HasRing()) << "writing discards the log";
}

TEST_F(DispatchLogTest, AllHexLeavesUserRecordsAsText) {
  log_.Open(4096);
  AddAt(10, ltUser, 0, 0, "Hi there");
  AddAt(20, ltDispatch, lsReadCom, 8, "Hi there");
  EXPECT_EQ(WriteLog(false, true, true), Golden("log_allhex.log"));
}

TEST_F(DispatchLogTest, AppendWritesDecimalItemsAfterTheEarlierContent) {
  testing::WriteFileBytes(path_, "an earlier log\r\n");
  log_.Open(4096);
  AddAt(7, ltDispatch, lsReadCom, 4, "a b\r");
  AddAt(8, ltDispatch, lsWriteCom, 0);
  EXPECT_EQ(WriteLog(true, false, false), Golden("log_append.log"));
}

TEST_F(DispatchLogTest, StatusKindsModemBitsAndUnnamedTypes) {
  log_.Open(4096);
  for (uint8_t kind = 0; kind < 7; ++kind) {
    AddAt(0, kind % 2 ? ltTrigAllc : ltTrigDisp, lsStatusTrigger, kind, std::string(1, kind));
  }
  AddAt(0, ltTrigger, lsStatusTrigger, 0, "\x01");  // other types list the byte
  AddAt(0, ltDispatch, lsModemStatus, 0xFF, "m");
  AddAt(0, ltDispatch, lsModemStatus, 0x00, "m");
  AddAt(0, 100, lsReadCom, 0);  // 15001 + 100 would reach the subtype names
  const std::string name = "0000.000            ReadCom       00000000  ";
  EXPECT_EQ(RecordTexts(), (std::vector<std::string>{
                               "(Not active)", "(Modem status)", "(Line status)",
                               "(Output buffer free)", "(Output buffer used)", "(Output sent)", "",
                               "[01]", "m(DCTS DDSR TERI DDCD CTS DSR RI DCD)", "m()", ""}));
  EXPECT_NE(ReadFileBytes(path_).find("\r\n" + name + "\r\n"), std::string::npos);
}

TEST_F(DispatchLogTest, OldestRecordsMakeRoomAndOversizedOnesAreRefused) {
  log_.Open(100);  // three records of 16 + 14 bytes fit, a fourth does not
  for (uint32_t i = 1; i <= 4; ++i)
    AddAt(0, ltDispatch, lsReadCom, i, std::string(14, static_cast<char>('a' + i)));
  AddAt(0, ltDispatch, lsReadCom, 5, std::string(84, 'x'));  // 16 + 84: the whole ring
  EXPECT_EQ(
      Drain(),
      (Records{{2, std::string(14, 'c')}, {3, std::string(14, 'd')}, {4, std::string(14, 'e')}}));
  EXPECT_EQ(log_.Free(), 100u);

  AddAt(0, ltDispatch, lsReadCom, 6, "dropped");
  AddAt(0, ltDispatch, lsReadCom, 7, std::string(83, 'y'));  // 99 bytes, wrapping, stored alone
  EXPECT_EQ(Drain(), (Records{{7, std::string(83, 'y')}}));
}

TEST_F(DispatchLogTest, TheLargestStorableRecordIsWrittenWhole) {
  log_.Open(10000);
  std::string big(10000 - 17, 'q');
  big.back() = 'L';
  AddAt(0, ltDispatch, lsReadCom, 1, big);
  std::string written;
  for (const std::string& text : RecordTexts()) written += text;
  EXPECT_EQ(written, big);
}

TEST_F(DispatchLogTest, OpenPauseAndResume) {
  log_.Resume();
  EXPECT_FALSE(log_.Active()) << "no ring, nothing to resume";
  log_.Open(100);
  EXPECT_TRUE(log_.Active());
  log_.Pause();
  AddAt(0, ltTrigger, lsAvail, 1);
  log_.Open(500);  // an existing ring is only cleared; the state stays
  EXPECT_TRUE(log_.Empty());
  EXPECT_FALSE(log_.Active());
  EXPECT_EQ(log_.Capacity(), 100u);
  log_.Resume();
  EXPECT_TRUE(log_.Active());
}

TEST_F(DispatchLogTest, HeaderNamesTheRunningKernelCutTo80) {
  log_.SetOsDescription(std::nullopt);
  utsname names{};
  ASSERT_EQ(::uname(&names), 0);
  log_.Open(100);
  AddAt(0, ltTrigger, lsAvail, 1);
  const std::string expected = ("Linux " + std::string(names.release)).substr(0, 80);
  EXPECT_NE(WriteLog(false, true, false).find("\r\nOperating System : " + expected + "\r\n"),
            std::string::npos);

  log_.SetOsDescription(std::string(100, 'x'));
  log_.Open(100);
  AddAt(0, ltTrigger, lsAvail, 1);
  EXPECT_NE(WriteLog(false, true, false).find(": " + std::string(80, 'x') + "\r\n"),
            std::string::npos);
}

TEST_F(DispatchLogTest, NothingRecordedTouchesNoFile) {
  EXPECT_EQ(log_.Write(path_, false, true, false, "dev"), ecOK);
  log_.Open(100);
  EXPECT_EQ(log_.Write(path_, false, true, false, "dev"), ecOK);
  EXPECT_FALSE(log_.HasRing());
  EXPECT_FALSE(std::filesystem::exists(path_));
}

TEST_F(DispatchLogTest, UnopenableFileKeepsTheLogPausedAndWriteFailuresDiscardIt) {
  log_.Open(100);
  AddAt(0, ltDispatch, lsReadCom, 1, "ab");
  EXPECT_EQ(log_.Write(folder_.Path("missing/SERIAL.LOG"), false, true, false, "dev"),
            ecFileNotFound);
  EXPECT_TRUE(log_.HasRing());
  EXPECT_FALSE(log_.Active());
  if (std::filesystem::exists("/dev/full")) {
    EXPECT_EQ(log_.Write("/dev/full", false, true, false, "dev"), -ENOSPC);
    EXPECT_FALSE(log_.HasRing());
  }
}

// Fills a small ring with records of random sizes and checks that what remains, as written out,
// is exactly the newest records whose sizes (16 + data) fit together.
TEST_F(DispatchLogTest, RandomRecordsLeaveTheNewestThatFit) {
  constexpr uint32_t Capacity = 300;
  std::mt19937 random(20240611);
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  log_.SetOsDescription("Linux test");
  for (int round = 0; round < 20; ++round) {
    log_.Open(Capacity);
    std::deque<std::pair<uint32_t, std::string>> model;
    uint32_t used = 0;
    const auto count = static_cast<uint32_t>(1 + random() % 60);
    for (uint32_t index = 0; index < count; ++index) {
      std::string bytes(random() % (Capacity + 1), ' ');
      for (char& c : bytes) c = alphabet[random() % alphabet.size()];
      AddAt(index * 7, ltDispatch, lsReadCom, index, bytes);
      const auto size = static_cast<uint32_t>(16 + bytes.size());
      if (size >= Capacity) continue;
      for (; Capacity - used < size; model.pop_front())
        used -= static_cast<uint32_t>(16 + model.front().second.size());
      model.emplace_back(index, bytes);
      used += size;
    }

    EXPECT_EQ(log_.Free(), Capacity - used) << "round " << round;

    std::string expected =
        "SERIAL v3.06\r\nCompiler : Unknown\r\nOperating System : Linux test\r\n"
        "Device: /dev/pts/7\r\nTime      Type      SubType       Data      OtherData\r\n"
        "--------  --------  ------------  --------  ---------\r\n";
    for (const auto& [index, bytes] : model) {
      char prefix[64];
      std::snprintf(prefix, sizeof prefix, "%04u.%03u  Dispatch  ReadCom       %08X  ",
                    index * 7 / 1000, index * 7 % 1000, index);
      expected += prefix;
      for (size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0 && i % 33 == 0) expected += "\r\n" + std::string(44, ' ');
        expected += bytes[i];
      }
      expected += "\r\n";
    }
    if (model.empty()) {
      EXPECT_EQ(log_.Write(path_, false, true, false, "/dev/pts/7"), ecOK);
      EXPECT_FALSE(std::filesystem::exists(path_));
    } else {
      EXPECT_EQ(WriteLog(false, true, false), expected) << "round " << round;
      std::filesystem::remove(path_);
    }
  }
}

}  // namespace
}  // namespace talyx
