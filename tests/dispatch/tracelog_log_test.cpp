// The dispatch log's record ring, life cycle, failures and record lines, and a randomized check of
// the ring against a model of the newest records that fit.
#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <cstdio>
#include <deque>
#include <filesystem>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "dispatch/dispatchlog.h"
#include "tracelog_files.h"

namespace talyx {
namespace {

using testing::ReadFileBytes;
using testing::ScratchFolder;

constexpr size_t HeaderLines = 6;

std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "the file must end with CR LF";
  return lines;
}

class DispatchLogTest : public ::testing::Test {
 protected:
  void SetUp() override { log_.SetClock([this] { return now_; }); }

  void Add(uint8_t type, uint8_t subType, uint32_t data, const std::string& bytes = "") {
    log_.Add(type, subType, data, reinterpret_cast<const uint8_t*>(bytes.data()),
             static_cast<uint32_t>(bytes.size()));
  }

  // Takes every record out of the ring: data value and bytes, oldest first.
  std::vector<std::pair<uint32_t, std::string>> Drain() {
    std::vector<std::pair<uint32_t, std::string>> records;
    LogRecordHeader header;
    uint32_t len = 0;
    while (!log_.Get(header, len)) {
      EXPECT_EQ(header.Len, len);
      records.emplace_back(header.Data,
                           std::string(reinterpret_cast<const char*>(log_.ScratchData()), len));
    }
    return records;
  }

  // Writes the log and returns the lines after the six header lines.
  std::vector<std::string> RecordLines(bool inHex = true, bool allHex = false) {
    const std::string path = folder_.Path("SERIAL.LOG");
    EXPECT_EQ(log_.Write(path, false, inHex, allHex, "dev"), ecOK);
    std::vector<std::string> lines = SplitCrLf(ReadFileBytes(path));
    EXPECT_GE(lines.size(), HeaderLines);
    lines.erase(lines.begin(), lines.begin() + std::min(lines.size(), HeaderLines));
    return lines;
  }

  uint32_t now_ = 0;
  ScratchFolder folder_;
  TDispatchLog log_;
};

using Records = std::vector<std::pair<uint32_t, std::string>>;

TEST_F(DispatchLogTest, OpenAllocatesAnActiveEmptyRing) {
  log_.Open(100);
  EXPECT_TRUE(log_.HasRing());
  EXPECT_TRUE(log_.Active());
  EXPECT_EQ(log_.Capacity(), 100u);
  EXPECT_EQ(log_.Free(), 100u);
  EXPECT_TRUE(log_.Empty());
}

TEST_F(DispatchLogTest, OpenOnAnExistingRingClearsItAndKeepsTheState) {
  log_.Open(100);
  log_.Pause();
  Add(ltDispatch, lsReadCom, 1, "abc");
  EXPECT_FALSE(log_.Empty());
  log_.Open(500);
  EXPECT_TRUE(log_.Empty());
  EXPECT_FALSE(log_.Active());
  EXPECT_EQ(log_.Capacity(), 100u);
}

TEST_F(DispatchLogTest, PauseResumeClearAndDiscard) {
  log_.Resume();
  EXPECT_FALSE(log_.Active()) << "no ring, nothing to resume";
  log_.Open(100);
  Add(ltTrigger, lsAvail, 1);
  log_.Pause();
  EXPECT_FALSE(log_.Active());
  log_.Resume();
  EXPECT_TRUE(log_.Active());
  log_.Clear();
  EXPECT_TRUE(log_.Empty());
  EXPECT_TRUE(log_.Active());
  log_.Discard();
  EXPECT_FALSE(log_.HasRing());
  EXPECT_FALSE(log_.Active());
  Add(ltTrigger, lsAvail, 1);
  EXPECT_TRUE(log_.Empty());
}

TEST_F(DispatchLogTest, RecordsComeBackOldestFirstWithTheirTimes) {
  log_.SetStart(1000);
  log_.Open(200);
  now_ = 1005;
  Add(ltDispatch, lsReadCom, 3, "xyz");
  now_ = 1010;
  Add(ltTrigger, lsAvail, 3);
  LogRecordHeader header;
  uint32_t len = 0;
  ASSERT_FALSE(log_.Get(header, len));
  EXPECT_EQ(header.Type, ltDispatch);
  EXPECT_EQ(header.SubType, lsReadCom);
  EXPECT_EQ(header.Time, 5u);
  EXPECT_EQ(header.Data, 3u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(log_.ScratchData()), len), "xyz");
  ASSERT_FALSE(log_.Get(header, len));
  EXPECT_EQ(header.Type, ltTrigger);
  EXPECT_EQ(header.Time, 10u);
  EXPECT_EQ(len, 0u);
  EXPECT_TRUE(log_.Get(header, len));
  EXPECT_EQ(log_.Free(), 200u);
}

TEST_F(DispatchLogTest, ElapsedCountsAcrossAClockWrap) {
  log_.SetStart(0xFFFFFFF0u);
  now_ = 0x10;
  EXPECT_EQ(log_.Elapsed(), 0x20u);
}

TEST_F(DispatchLogTest, OldestRecordsMakeRoomForTheNewOne) {
  log_.Open(100);  // three records of 16 + 14 bytes fit, a fourth does not
  for (uint32_t i = 1; i <= 4; ++i) Add(ltDispatch, lsReadCom, i, std::string(14, 'a' + i));
  EXPECT_EQ(Drain(), (Records{{2, std::string(14, 'c')}, {3, std::string(14, 'd')},
                              {4, std::string(14, 'e')}}));
}

TEST_F(DispatchLogTest, RecordAsLargeAsTheRingIsRefusedAndOthersKept) {
  log_.Open(64);
  Add(ltDispatch, lsReadCom, 1, "kept");
  Add(ltDispatch, lsReadCom, 2, std::string(48, 'x'));  // 16 + 48 = the whole ring
  EXPECT_EQ(Drain(), (Records{{1, "kept"}}));

  Add(ltDispatch, lsReadCom, 1, "dropped");
  Add(ltDispatch, lsReadCom, 3, std::string(47, 'y'));  // 63 bytes: stored alone
  EXPECT_EQ(Drain(), (Records{{3, std::string(47, 'y')}}));
}

TEST_F(DispatchLogTest, RecordsWrapAcrossTheEndOfTheRing) {
  log_.Open(40);
  Add(ltDispatch, lsReadCom, 1, "0123456789");  // bytes 0..25
  Add(ltDispatch, lsReadCom, 2, "abcd");        // needs 20: drops the first, fills 26..39, 0..5
  Add(ltDispatch, lsReadCom, 3, "");            // 6..21
  EXPECT_EQ(Drain(), (Records{{2, "abcd"}, {3, ""}}));
  Add(ltDispatch, lsReadCom, 4, "0123456789ABCDEFGHI");  // 35 bytes from offset 22, wrapping
  EXPECT_EQ(Drain(), (Records{{4, "0123456789ABCDEFGHI"}}));
}

TEST_F(DispatchLogTest, ScratchHoldsTheLargestStorableRecord) {
  log_.Open(10000);
  std::string big(10000 - 17, 'q');
  big.front() = 'F';
  big.back() = 'L';
  Add(ltDispatch, lsReadCom, 1, big);
  std::vector<std::string> lines = RecordLines();
  std::string written;
  for (const std::string& line : lines) written += line.substr(44);
  EXPECT_EQ(written, big);
}

TEST_F(DispatchLogTest, SeventyBytesPutThirtyThreeOnTheRecordLine) {
  log_.Open(1000);
  Add(ltDispatch, lsWriteCom, 70, std::string(70, '*'));
  std::vector<std::string> lines = RecordLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].substr(44), std::string(33, '*'));
  EXPECT_EQ(lines[1], std::string(44, ' ') + std::string(33, '*'));
  EXPECT_EQ(lines[2], std::string(44, ' ') + std::string(4, '*'));
}

TEST_F(DispatchLogTest, WideItemsBreakBeforePassingColumn78) {
  log_.Open(1000);
  Add(ltDispatch, lsReadCom, 10, std::string(10, '\0'));
  std::vector<std::string> lines = RecordLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(44), "[00][00][00][00][00][00][00][00]");  // 45 + 8 * 4 = 77
  EXPECT_EQ(lines[1], std::string(44, ' ') + "[00][00]");
}

TEST_F(DispatchLogTest, StatusTriggerKinds) {
  log_.Open(1000);
  const char* const texts[] = {"(Not active)",         "(Modem status)",       "(Line status)",
                               "(Output buffer free)", "(Output buffer used)", "(Output sent)", ""};
  for (uint8_t kind = 0; kind < 7; ++kind) {
    Add(kind % 2 ? ltTrigAllc : ltTrigDisp, lsStatusTrigger, kind, std::string(1, kind));
  }
  Add(ltTrigger, lsStatusTrigger, 0, std::string(1, '\x01'));  // other types list the byte
  std::vector<std::string> lines = RecordLines();
  ASSERT_EQ(lines.size(), 8u);
  for (size_t i = 0; i < 7; ++i) EXPECT_EQ(lines[i].substr(44), texts[i]) << "kind " << i;
  EXPECT_EQ(lines[7].substr(44), "[01]");
}

TEST_F(DispatchLogTest, ModemStatusNamesEveryBitSet) {
  log_.Open(1000);
  Add(ltDispatch, lsModemStatus, 0xFF, "m");
  Add(ltDispatch, lsModemStatus, 0x00, "m");
  Add(ltDispatch, lsModemStatus, 0x24, "m");
  std::vector<std::string> lines = RecordLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].substr(44), "m(DCTS DDSR TERI DDCD CTS DSR RI DCD)");
  EXPECT_EQ(lines[1].substr(44), "m()");
  EXPECT_EQ(lines[2].substr(44), "m(TERI DSR)");
}

TEST_F(DispatchLogTest, TypesBeyondTheTypeNamesHaveNoName) {
  log_.Open(1000);
  Add(100, lsReadCom, 0);  // 15001 + 100 would be a subtype name
  Add(ltUser, 200, 0);     // beyond the subtype names in use
  std::vector<std::string> lines = RecordLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "0000.000            ReadCom       00000000  ");
  EXPECT_EQ(lines[1].substr(0, 20), "0000.000  User      ");
}

TEST_F(DispatchLogTest, HeaderNamesTheRealKernel) {
  log_.Open(100);
  Add(ltTrigger, lsAvail, 1);
  const std::string path = folder_.Path("SERIAL.LOG");
  ASSERT_EQ(log_.Write(path, false, true, false, "/dev/ttyUSB0"), ecOK);
  std::vector<std::string> lines = SplitCrLf(ReadFileBytes(path));
  ASSERT_EQ(lines.size(), HeaderLines + 1);
  EXPECT_TRUE(std::regex_match(lines[2], std::regex("Operating System : Linux \\S+")))
      << lines[2];
  utsname names{};
  ASSERT_EQ(::uname(&names), 0);
  EXPECT_EQ(lines[2], ("Operating System : Linux " + std::string(names.release)).substr(0, 99));
  EXPECT_EQ(lines[3], "Device: /dev/ttyUSB0");
}

TEST_F(DispatchLogTest, LongSystemDescriptionIsCutTo80) {
  log_.SetOsDescription(std::string(100, 'x'));
  log_.Open(100);
  Add(ltTrigger, lsAvail, 1);
  const std::string path = folder_.Path("SERIAL.LOG");
  ASSERT_EQ(log_.Write(path, false, true, false, "dev"), ecOK);
  EXPECT_EQ(SplitCrLf(ReadFileBytes(path)).at(2), "Operating System : " + std::string(80, 'x'));
}

TEST_F(DispatchLogTest, NothingRecordedTouchesNoFile) {
  const std::string path = folder_.Path("SERIAL.LOG");
  EXPECT_EQ(log_.Write(path, false, true, false, "dev"), ecOK);
  log_.Open(100);
  EXPECT_EQ(log_.Write(path, false, true, false, "dev"), ecOK);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_FALSE(log_.HasRing()) << "an empty log is discarded by the write";
}

TEST_F(DispatchLogTest, UnopenableFileKeepsTheLogPaused) {
  log_.Open(100);
  Add(ltDispatch, lsReadCom, 1, "ab");
  EXPECT_EQ(log_.Write(folder_.Path("missing/SERIAL.LOG"), false, true, false, "dev"),
            ecFileNotFound);
  EXPECT_TRUE(log_.HasRing());
  EXPECT_FALSE(log_.Active());
  std::vector<std::string> lines = RecordLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "0000.000  Dispatch  ReadCom       00000001  ab");
  EXPECT_FALSE(log_.HasRing()) << "a written log is discarded";
}

TEST_F(DispatchLogTest, AFullDeviceIsReportedNotSwallowed) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "/dev/full is missing";
  log_.Open(100);
  Add(ltDispatch, lsReadCom, 1, "ab");
  EXPECT_LT(log_.Write("/dev/full", false, true, false, "dev"), 0);
  EXPECT_FALSE(log_.HasRing());
}

// The model: the newest records whose sizes (16 + data) fit together in the ring.
struct ModelRecord {
  uint32_t Index;
  std::string Bytes;
};

std::string ModelTimeText(uint32_t ms) {
  char text[16];
  std::snprintf(text, sizeof text, "%04u.%03u", ms / 1000, ms % 1000);
  return text;
}

std::string ModelFile(const std::deque<ModelRecord>& records) {
  std::string text =
      "SERIAL v3.06\r\nCompiler : Unknown\r\nOperating System : Linux test\r\nDevice: dev\r\n"
      "Time      Type      SubType       Data      OtherData\r\n"
      "--------  --------  ------------  --------  ---------\r\n";
  for (const ModelRecord& record : records) {
    char data[16];
    std::snprintf(data, sizeof data, "%08X", record.Index);
    text += ModelTimeText(record.Index * 7) + "  Dispatch  ReadCom       " + data + "  ";
    for (size_t i = 0; i < record.Bytes.size(); ++i) {
      if (i > 0 && i % 33 == 0) text += "\r\n" + std::string(44, ' ');
      text += record.Bytes[i];
    }
    text += "\r\n";
  }
  return text;
}

TEST_F(DispatchLogTest, RandomRecordsMatchTheNewestThatFit) {
  constexpr uint32_t Capacity = 300;
  std::mt19937 random(20240611);
  std::uniform_int_distribution<uint32_t> lengths(0, Capacity);
  std::uniform_int_distribution<int> letters(0, 61);
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

  log_.SetOsDescription("Linux test");
  for (int round = 0; round < 20; ++round) {
    TDispatchLog twin;  // fed the same records, read back with Get
    log_.Open(Capacity);
    twin.Open(Capacity);
    std::deque<ModelRecord> model;
    uint32_t used = 0;
    const uint32_t count = 1 + random() % 60;
    for (uint32_t index = 0; index < count; ++index) {
      std::string bytes(lengths(random), ' ');
      for (char& c : bytes) c = alphabet[letters(random)];
      now_ = index * 7;
      Add(ltDispatch, lsReadCom, index, bytes);
      twin.Add(ltDispatch, lsReadCom, index, reinterpret_cast<const uint8_t*>(bytes.data()),
               static_cast<uint32_t>(bytes.size()));
      const uint32_t size = 16 + static_cast<uint32_t>(bytes.size());
      if (size >= Capacity) continue;
      while (Capacity - used < size) {
        used -= 16 + static_cast<uint32_t>(model.front().Bytes.size());
        model.pop_front();
      }
      model.push_back({index, bytes});
      used += size;
    }
    ASSERT_EQ(twin.Free(), Capacity - used) << "round " << round;
    LogRecordHeader header;
    uint32_t len = 0;
    for (const ModelRecord& record : model) {
      ASSERT_FALSE(twin.Get(header, len));
      EXPECT_EQ(header.Data, record.Index);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(twin.ScratchData()), len),
                record.Bytes);
    }
    EXPECT_TRUE(twin.Get(header, len));

    const std::string path = folder_.Path("random.log");
    if (model.empty()) {
      EXPECT_EQ(log_.Write(path, false, true, false, "dev"), ecOK);
      EXPECT_FALSE(std::filesystem::exists(path));
      continue;
    }
    ASSERT_EQ(log_.Write(path, false, true, false, "dev"), ecOK);
    EXPECT_EQ(ReadFileBytes(path), ModelFile(model)) << "round " << round;
    std::filesystem::remove(path);
  }
}

}  // namespace
}  // namespace talyx
