// Tests of the input and output rings and the data operations, including a randomized run of
// mixed operations against a plain queue model.
#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "recordinghandler.h"
#include "testdispatcher.h"

namespace talyx::testing {
namespace {

std::string Pattern(size_t count, size_t start = 0) {
  std::string bytes(count, '\0');
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>((start + i) * 7 % 251);
  return bytes;
}

std::string Take(TTestDispatcher& d, size_t count) {
  std::string taken;
  for (size_t i = 0; i < count; ++i) {
    uint8_t c;
    if (d.GetChar(c) != ecOK) break;
    taken.push_back(static_cast<char>(c));
  }
  return taken;
}

std::string AsString(const std::vector<uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

class InputRingTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(d.OpenDefault(), ecOK); }
  // Moves the ring's empty position to index: both indices end there.
  void EmptyAt(uint32_t index) {
    d.Receive(Pattern(index));
    ASSERT_EQ(Take(d, index).size(), index);
    ASSERT_EQ(d.InHead, index);
    ASSERT_EQ(d.InTail, index);
  }
  TTestDispatcher d;
};

TEST_F(InputRingTest, ExactlyFullRingHolds8192AndExtractDataStopsReading) {
  d.Fake().FeedInput(Pattern(InBufferSize + 5));
  EXPECT_TRUE(d.ExtractData());
  EXPECT_EQ(d.InBuffUsed(), InBufferSize);
  EXPECT_TRUE(d.InBufferFull);
  EXPECT_EQ(d.InHead, d.InTail);

  const int readsBefore = d.Fake().Counts().Read;
  EXPECT_TRUE(d.ExtractData());
  EXPECT_EQ(d.Fake().Counts().Read, readsBefore);
  EXPECT_EQ(d.Fake().InputCount(), 5u);

  uint8_t c;
  ASSERT_EQ(d.GetChar(c), ecOK);
  EXPECT_FALSE(d.InBufferFull);
  EXPECT_EQ(d.InBuffUsed(), InBufferSize - 1);
}

TEST_F(InputRingTest, ReadEndingAt8191WrapsHeadAndTheNextReadRunsUpToTheTail) {
  EmptyAt(100);
  d.Fake().FeedInput(Pattern(InBufferSize - 100, 100));
  EXPECT_TRUE(d.ExtractData());
  EXPECT_EQ(d.InHead, 0u);
  EXPECT_FALSE(d.InBufferFull);

  d.Fake().FeedInput(Pattern(150, InBufferSize));
  EXPECT_TRUE(d.ExtractData());
  EXPECT_EQ(d.InHead, 100u);
  EXPECT_TRUE(d.InBufferFull);
  EXPECT_EQ(d.Fake().InputCount(), 50u);
  EXPECT_EQ(Take(d, InBufferSize), Pattern(InBufferSize, 100));
}

TEST_F(InputRingTest, ReadAcrossTheEndIsSplitInTwoAndKeepsTheOrder) {
  EmptyAt(8100);
  d.Receive(Pattern(300, 1));
  EXPECT_EQ(d.InHead, 208u);
  EXPECT_EQ(d.InBuffUsed(), 300u);
  EXPECT_EQ(Take(d, 300), Pattern(300, 1));
}

TEST_F(InputRingTest, FailedReadsBringNoBytes) {
  d.Fake().FeedInput(Pattern(10));
  d.Fake().FailNextRead(-5);
  EXPECT_TRUE(d.ExtractData());
  EXPECT_EQ(d.InBuffUsed(), 0u);
  EXPECT_EQ(d.ReadFailedCalls(), 1);

  // The second part of a split read fails: only the first part lands.
  d.FlushInBuffer();
  EmptyAt(8190);
  d.Fake().FeedInput(Pattern(6));
  d.Fake().FailNextRead(-5, 1);
  EXPECT_TRUE(d.ExtractData());
  EXPECT_EQ(d.InBuffUsed(), 2u);
  EXPECT_EQ(d.InHead, 0u);
  EXPECT_EQ(d.ReadFailedCalls(), 2);
  EXPECT_EQ(Take(d, 10), Pattern(2));
}

TEST_F(InputRingTest, PeekAndGetReportAnEmptyRing) {
  uint8_t c = 0;
  EXPECT_EQ(d.GetChar(c), ecBufferIsEmpty);
  EXPECT_EQ(d.PeekChar(1, c), ecBufferIsEmpty);
  EXPECT_FALSE(d.ExtractData());

  d.Receive("abc");
  EXPECT_EQ(d.PeekChar(3, c), ecOK);
  EXPECT_EQ(c, 'c');
  EXPECT_EQ(d.PeekChar(4, c), ecBufferIsEmpty);
  EXPECT_EQ(d.InBuffUsed(), 3u);
  EXPECT_EQ(Take(d, 5), "abc");
}

TEST_F(InputRingTest, FlushDropsUnreadBytesAndTheDriversInput) {
  d.Receive("abc");
  d.Fake().FeedInput("def");
  EXPECT_EQ(d.FlushInBuffer(), ecOK);
  EXPECT_EQ(d.InBuffUsed(), 0u);
  EXPECT_EQ(d.Fake().InputCount(), 0u);
}

// Two handlers of one available-data message read ahead from the same first byte; the ring
// gives up what the one that read most took.
TEST_F(InputRingTest, ReadAheadDuringADeliveryReleasesTheLargestCountAtItsEnd) {
  d.Receive("abcdefgh");
  RecordingHandler first(d);
  RecordingHandler second(d);
  first.TakeOnAvail = 3;
  second.TakeOnAvail = 5;
  ASSERT_EQ(d.RegisterEventTriggerHandler(first.Method(), false), ecOK);
  ASSERT_EQ(d.RegisterEventTriggerHandler(second.Method(), false), ecOK);

  EXPECT_FALSE(d.NotifyHandlers(TriggerAvailMsg, 8, 0));
  ASSERT_EQ(first.Messages.size(), 1u);
  ASSERT_EQ(second.Messages.size(), 1u);
  EXPECT_EQ(first.Messages[0].Bytes, "abc");
  EXPECT_EQ(first.Messages[0].UnreadAfter, 5u);
  EXPECT_EQ(second.Messages[0].Bytes, "abcde");
  EXPECT_EQ(d.InBuffUsed(), 3u);
  EXPECT_EQ(Take(d, 10), "fgh");
}

TEST_F(InputRingTest, FlushDuringADeliveryConsumesEverythingAtItsEnd) {
  d.Receive("abcdef");
  RecordingHandler handler(d);
  handler.TakeOnAvail = 2;
  handler.Then = [this](const RecordingHandler::Message&) { d.FlushInBuffer(); };
  d.RegisterEventTriggerHandler(handler.Method(), false);
  d.NotifyHandlers(TriggerAvailMsg, 6, 0);
  EXPECT_EQ(d.InBuffUsed(), 0u);
}

TEST_F(InputRingTest, TraceRecordsBytesTakenAndQueued) {
  ASSERT_EQ(d.TraceOpen(100), ecOK);
  d.Receive("OK");
  Take(d, 2);
  ASSERT_EQ(d.PutBlock(reinterpret_cast<const uint8_t*>("AT"), 2), ecOK);
  const std::string path = ::testing::TempDir() + "/rings_trace.trc";
  ASSERT_EQ(d.TraceWrite(path, false, false, false), ecOK);
  const std::string text = ReadFile(path);
  EXPECT_NE(text.find("Receive: \r\nOK"), std::string::npos) << text;
  EXPECT_NE(text.find("Transmit: \r\nAT"), std::string::npos) << text;
}

TEST_F(InputRingTest, LogRecordsDeviceReadsAndWrites) {
  d.LogOpen(4096);
  d.Receive("xyz");
  ASSERT_EQ(d.PutBlock(reinterpret_cast<const uint8_t*>("q"), 1), ecOK);
  const std::string path = ::testing::TempDir() + "/rings_log.log";
  ASSERT_EQ(d.LogWrite(path, false, false, false), ecOK);
  const std::string text = ReadFile(path);
  EXPECT_NE(text.find("ReadCom"), std::string::npos) << text;
  EXPECT_NE(text.find("xyz"), std::string::npos) << text;
  EXPECT_NE(text.find("WriteCom"), std::string::npos) << text;
}

class OutputRingTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(d.OpenDefault(OutSize), ecOK); }
  ErrorCode Put(const std::string& bytes) {
    return d.PutBlock(reinterpret_cast<const uint8_t*>(bytes.data()),
                      static_cast<uint32_t>(bytes.size()));
  }
  static constexpr uint32_t OutSize = 100;
  TTestDispatcher d;
};

TEST_F(OutputRingTest, BlockOfExactlyTheFreeRoomFillsTheRingAndOneMoreIsRefused) {
  ASSERT_EQ(Put(Pattern(80)), ecOK);
  ASSERT_EQ(d.DrainOutput(30), 30u);
  // 50 bytes queued from position 30; a block of exactly the free room wraps and fills.
  EXPECT_EQ(Put(Pattern(50, 80)), ecOK);
  EXPECT_TRUE(d.OutBufferFull);
  EXPECT_EQ(d.OutBuffUsed(), OutSize);
  EXPECT_EQ(d.OutBuffFree(), 0u);
  EXPECT_EQ(Put("x"), ecOutputBufferTooSmall);
  EXPECT_EQ(d.OutBuffUsed(), OutSize);

  EXPECT_EQ(d.DrainOutput(), OutSize);
  EXPECT_EQ(AsString(d.Fake().Output()), Pattern(130));
  EXPECT_EQ(d.OutHead, 0u);
  EXPECT_EQ(d.OutTail, 0u);
}

TEST_F(OutputRingTest, BlockLargerThanTheFreeRoomQueuesNothing) {
  ASSERT_EQ(Put(Pattern(40)), ecOK);
  EXPECT_EQ(Put(Pattern(61)), ecOutputBufferTooSmall);
  EXPECT_EQ(d.OutBuffUsed(), 40u);
  EXPECT_EQ(Put(""), ecOK);
  EXPECT_EQ(d.OutBuffUsed(), 40u);
}

TEST_F(OutputRingTest, RefusedOrPartialBlockReportsFailureAndKeepsTheRingConsistent) {
  d.LimitDeviceWrite(0);
  EXPECT_EQ(Put(Pattern(OutSize)), ecPutBlockFail);
  EXPECT_FALSE(d.OutBufferFull);
  EXPECT_EQ(d.OutBuffUsed(), 0u);

  d.LimitDeviceWrite(30);
  EXPECT_EQ(Put(Pattern(OutSize)), ecPutBlockFail);
  EXPECT_EQ(d.OutBuffUsed(), 30u);
  EXPECT_EQ(d.DrainOutput(), 30u);
  EXPECT_EQ(AsString(d.Fake().Output()), Pattern(30));
}

TEST_F(OutputRingTest, PutBlockMergesLineErrorsInsteadOfReplacingThem) {
  d.Fake().InjectLineErrors(platform::CeBreak);
  d.RefreshLineErrors();
  ASSERT_EQ(Put("a"), ecOK);
  EXPECT_TRUE(d.BreakReceived());
}

TEST_F(OutputRingTest, NothingIsQueuedAfterThePortClosed) {
  d.ClosePort();
  EXPECT_EQ(Put("a"), ecPutBlockFail);
  uint8_t c;
  EXPECT_EQ(d.GetChar(c), ecBufferIsEmpty);
  EXPECT_FALSE(d.ExtractData());
}

// Thousands of mixed operations on both rings, compared after each with plain queues: the
// device's pending input, the input ring, the output ring and what the device has written.
TEST(RingModelTest, MixedOperationsMatchAPlainQueueModel) {
  constexpr uint32_t OutSize = 257;
  TTestDispatcher d;
  ASSERT_EQ(d.OpenDefault(OutSize), ecOK);
  std::mt19937 random(20261208);
  auto below = [&random](uint32_t n) { return static_cast<uint32_t>(random() % n); };

  std::deque<uint8_t> pending, input, output;
  std::string written;
  uint32_t nextByte = 0;

  for (int step = 0; step < 20000; ++step) {
    switch (below(9)) {
      case 0: {  // the far end sends
        const uint32_t count = below(3000);
        std::vector<uint8_t> bytes(count);
        for (auto& b : bytes) b = static_cast<uint8_t>(nextByte++ % 253);
        d.Fake().FeedInput(bytes);
        pending.insert(pending.end(), bytes.begin(), bytes.end());
        break;
      }
      case 1: {
        const bool expected = !pending.empty() || input.size() == InBufferSize;
        const size_t moved = std::min(pending.size(), InBufferSize - input.size());
        ASSERT_EQ(d.ExtractData(), expected) << "step " << step;
        input.insert(input.end(), pending.begin(), pending.begin() + moved);
        pending.erase(pending.begin(), pending.begin() + moved);
        break;
      }
      case 2: {
        const uint32_t count = below(40);
        for (uint32_t i = 0; i < count; ++i) {
          uint8_t c = 0;
          if (input.empty()) {
            ASSERT_EQ(d.GetChar(c), ecBufferIsEmpty);
            break;
          }
          ASSERT_EQ(d.GetChar(c), ecOK);
          ASSERT_EQ(c, input.front()) << "step " << step;
          input.pop_front();
        }
        break;
      }
      case 3: {
        const uint32_t n = 1 + below(static_cast<uint32_t>(input.size()) + 3);
        uint8_t c = 0;
        if (n <= input.size()) {
          ASSERT_EQ(d.PeekChar(n, c), ecOK);
          ASSERT_EQ(c, input[n - 1]) << "step " << step;
        } else {
          ASSERT_EQ(d.PeekChar(n, c), ecBufferIsEmpty);
        }
        break;
      }
      case 4: {
        const uint32_t len = below(OutSize + 20);
        std::vector<uint8_t> block(len);
        for (auto& b : block) b = static_cast<uint8_t>(random());
        const ErrorCode expected = len > OutSize - output.size() ? ecOutputBufferTooSmall : ecOK;
        ASSERT_EQ(d.PutBlock(block.data(), len), expected) << "step " << step;
        if (expected == ecOK) output.insert(output.end(), block.begin(), block.end());
        break;
      }
      case 5: {
        d.Fake().SetWriteLimit(1 + below(OutSize));
        const uint32_t drained = d.DrainOutput(below(OutSize + 1));
        ASSERT_LE(drained, output.size());
        written.append(output.begin(), output.begin() + drained);
        output.erase(output.begin(), output.begin() + drained);
        break;
      }
      case 6:
        if (below(8) == 0) {
          ASSERT_EQ(d.FlushInBuffer(), ecOK);
          input.clear();
          pending.clear();
        }
        break;
      case 7:
        if (below(8) == 0) {
          ASSERT_EQ(d.FlushOutBuffer(), ecOK);
          output.clear();
        }
        break;
      default:
        break;
    }
    ASSERT_EQ(d.InBuffUsed(), input.size()) << "step " << step;
    ASSERT_EQ(d.OutBuffUsed(), output.size()) << "step " << step;
    ASSERT_EQ(d.OutBuffFree(), OutSize - output.size()) << "step " << step;
    ASSERT_EQ(d.Fake().InputCount(), pending.size()) << "step " << step;
  }
  ASSERT_EQ(AsString(d.Fake().Output()), written);
}

}  // namespace
}  // namespace talyx::testing
