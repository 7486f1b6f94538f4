// RtuFramer on synthetic lines: frames cut at silences at 9600, 19200 and 115200 baud, merged
// frames cut by length, a chance CRC match inside a longer frame left whole, the CRC search for
// lengths no rule gives, garbage kept as raw bytes, and candidates ended by time.
#include "modbus/rtuframer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modbus/rtufunctions.h"
#include "rtustream.h"

namespace talyx::modbus::testing {
namespace {

struct Cut {
  bool Raw;
  Bytes Data;
  bool CrcOk;
  uint64_t StartUs;
  uint64_t EndUs;
};

// Records every cut. It expects a response right after a frame that only a request's length
// fits, which is what pairing does for a stream of requests and their responses.
class Recorder : public RtuFramerSink {
 public:
  bool ExpectsResponse(uint8_t, uint8_t, uint64_t) override { return afterRequest_; }
  void OnFrame(const FramerCut& frame) override {
    cuts.push_back({false, Bytes(frame.Bytes, frame.Bytes + frame.Length), frame.CrcOk,
                    frame.StartUs, frame.EndUs});
    afterRequest_ = frame.MatchesRequest && !frame.MatchesResponse;
  }
  void OnRaw(const FramerCut& raw) override {
    cuts.push_back({true, Bytes(raw.Bytes, raw.Bytes + raw.Length), false, raw.StartUs, raw.EndUs});
  }
  // The cuts as text: "F" and the bytes for a frame with a valid CRC, "f" for a wrong CRC,
  // "R" for raw bytes.
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const Cut& cut : cuts) {
      std::string text = cut.Raw ? "R" : cut.CrcOk ? "F" : "f";
      for (const uint8_t byte : cut.Data) {
        static const char Digits[] = "0123456789ABCDEF";
        text += ' ';
        text += Digits[byte >> 4];
        text += Digits[byte & 15];
      }
      texts.push_back(text);
    }
    return texts;
  }

  std::vector<Cut> cuts;

 private:
  bool afterRequest_ = false;
};

std::string Text(char kind, const Bytes& bytes) {
  Recorder recorder;
  recorder.cuts.push_back({kind == 'R', bytes, kind == 'F', 0, 0});
  return recorder.Texts()[0];
}

class Framing : public ::testing::Test {
 protected:
  void Feed(const LineStream& stream) {
    for (const TimedByte& byte : stream.Timed()) framer.Push(byte.Byte, byte.Us);
  }

  Recorder recorder;
  RtuFramer framer{Line8N1(9600), recorder};
};

const Bytes ReadRequest = WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x02});  // 01 03 .. C4 0B
const Bytes ReadReply = WithCrc({0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x14});
const Bytes WriteRequest =
    WithCrc({0x11, 0x10, 0x00, 0x01, 0x00, 0x02, 0x04, 0x00, 0x0A, 0x01, 0x02});
const Bytes WriteReply = WithCrc({0x11, 0x10, 0x00, 0x01, 0x00, 0x02});
const Bytes Exception = WithCrc({0x01, 0x83, 0x02});
const Bytes UserFunction = WithCrc({0x07, 0x41, 0x10, 0x20, 0x30});  // no length rule

class FramingAtRate : public ::testing::TestWithParam<uint32_t> {};

TEST_P(FramingAtRate, FramesBetweenSilencesAreCutWithTheirTimes) {
  const LineFormat line = Line8N1(GetParam());
  Recorder recorder;
  RtuFramer framer(line, recorder);
  LineStream stream(line);
  stream.Send(ReadRequest).Silence().Send(ReadReply).Silence().Send(UserFunction).Silence();
  stream.Send(Exception);
  for (const TimedByte& byte : stream.Timed()) framer.Push(byte.Byte, byte.Us);
  EXPECT_EQ(recorder.Texts(),
            (std::vector<std::string>{Text('F', ReadRequest), Text('F', ReadReply),
                                      Text('F', UserFunction), Text('F', Exception)}));
  ASSERT_EQ(recorder.cuts.size(), 4u);
  const std::vector<TimedByte>& timed = stream.Timed();
  EXPECT_EQ(recorder.cuts[1].StartUs, timed[8].Us);
  EXPECT_EQ(recorder.cuts[1].EndUs, timed[8 + ReadReply.size() - 1].Us);
  EXPECT_EQ(framer.Held(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Rates, FramingAtRate, ::testing::Values(9600u, 19200u, 115200u));

TEST_F(Framing, ASilenceIsTimedToTheMicrosecond) {
  // Bytes with no valid CRC: a quiet line one microsecond short of the silence keeps them in
  // one frame, the full silence (3646 µs at 9600 baud, 8N1) ends it; two bytes are too short for
  // a frame.
  const uint64_t silence = SilenceMicroseconds(Line8N1(9600));
  LineStream stream(Line8N1(9600));
  stream.Send({0x41, 0x01, 0x02}).Quiet(silence - 1).Send({0x03, 0x04}).Quiet(silence);
  stream.Send({0x05, 0x06});
  Feed(stream);
  framer.Idle(stream.Now() + silence);
  EXPECT_EQ(recorder.Texts(), (std::vector<std::string>{Text('f', {0x41, 0x01, 0x02, 0x03, 0x04}),
                                                        Text('R', {0x05, 0x06})}));
}

TEST_F(Framing, MergedFramesAreCutByLength) {
  LineStream stream(Line8N1(9600));
  for (int i = 0; i < 3; ++i) stream.Send(ReadRequest).Send(ReadReply);
  stream.Send(WriteRequest).Send(WriteReply).Send(ReadRequest).Send(Exception);
  Feed(stream);
  const std::vector<std::string> expected = {
      Text('F', ReadRequest), Text('F', ReadReply), Text('F', ReadRequest),  Text('F', ReadReply),
      Text('F', ReadRequest), Text('F', ReadReply), Text('F', WriteRequest), Text('F', WriteReply),
      Text('F', ReadRequest), Text('F', Exception)};
  EXPECT_EQ(recorder.Texts(), expected);
}

TEST_F(Framing, ReadsGatheredByALatencyTimerMergeAndSplitFramesYetLengthsCutThem) {
  const LineFormat line = Line8N1(115200);
  RtuFramer fast(line, recorder);
  LineStream stream(line);
  std::vector<std::string> expected;
  for (int i = 0; i < 40; ++i) {
    stream.Send(i % 2 ? WriteRequest : ReadRequest).Quiet(200 + 700 * (i % 5));
    stream.Send(i % 2 ? WriteReply : ReadReply).Quiet(3000);
    expected.push_back(Text('F', i % 2 ? WriteRequest : ReadRequest));
    expected.push_back(Text('F', i % 2 ? WriteReply : ReadReply));
  }
  stream.GatherReads(16000);
  for (const TimedByte& byte : stream.Timed()) fast.Push(byte.Byte, byte.Us);
  fast.Idle(stream.Now() + 20000);
  EXPECT_EQ(recorder.Texts(), expected);
}

TEST_F(Framing, AChanceCrcMatchInsideALongerFrameDoesNotSplitIt) {
  // A reply to a read of 5 registers whose first 8 bytes end with their own CRC, as a read
  // request's 8 bytes would.
  Bytes reply = WithCrc({0x01, 0x03, 0x0A, 0x12, 0x34, 0x56});
  reply.insert(reply.end(), {0x9A, 0xBC, 0xDE, 0xF0, 0x11});
  reply = WithCrc(reply);
  ASSERT_EQ(reply.size(), 15u);
  ASSERT_EQ(ModbusCrcRegister(reply.data(), 8), 0);
  // A write of 4 registers whose first 8 bytes end with their own CRC, as a write's 8-byte
  // reply would: the start address is chosen so that the CRC's low byte is the byte count.
  Bytes write;
  for (unsigned start = 0; start <= 0xFFFF && write.empty(); ++start) {
    const Bytes head = WithCrc(
        {0x11, 0x10, static_cast<uint8_t>(start >> 8), static_cast<uint8_t>(start), 0x00, 0x04});
    if (head[6] == 0x08) write = head;
  }
  ASSERT_FALSE(write.empty());
  write.insert(write.end(), {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07});
  write = WithCrc(write);
  ASSERT_EQ(write.size(), 17u);
  ASSERT_EQ(ModbusCrcRegister(write.data(), 8), 0);

  LineStream stream(Line8N1(9600));
  stream.Send(ReadRequest).Send(reply).Send(write).Send(WriteReply);
  Feed(stream);
  EXPECT_EQ(recorder.Texts(), (std::vector<std::string>{Text('F', ReadRequest), Text('F', reply),
                                                        Text('F', write), Text('F', WriteReply)}));
}

TEST_F(Framing, LengthsNoRuleGivesAreFoundByTheCrcSearch) {
  // Diagnostics with two data words: 10 bytes where the rule says 8; and a user function.
  const Bytes diagnostics = WithCrc({0x01, 0x08, 0x00, 0x00, 0x12, 0x34, 0x56, 0x78});
  LineStream stream(Line8N1(9600));
  stream.Send(diagnostics).Send(UserFunction).Send(ReadRequest);
  Feed(stream);
  EXPECT_EQ(recorder.Texts(),
            (std::vector<std::string>{Text('F', diagnostics), Text('F', UserFunction),
                                      Text('F', ReadRequest)}));
}

TEST_F(Framing, GarbageIsKeptAsRawAndTheFramesAroundItAreFound) {
  Bytes corrupt = ReadRequest;
  corrupt[4] ^= 0x40;
  const Bytes zeros(300, 0x00);  // no stretch of zeros ends with its own CRC
  LineStream stream(Line8N1(9600));
  stream.Send({0xFF}).Send(ReadRequest).Silence();            // a noise byte glued to a frame
  stream.Send({0x5A, 0xA5, 0x3C}).Silence();                  // noise between silences
  stream.Send(corrupt).Silence();                             // a frame of its length, CRC wrong
  stream.Send({0x01, 0x03, 0x00}).Silence().Send(ReadReply);  // a frame cut short
  stream.Send(zeros).Send(ReadRequest);                       // a long run, no silence
  Feed(stream);
  framer.Idle(stream.Now() + 10000);
  EXPECT_EQ(recorder.Texts(),
            (std::vector<std::string>{
                Text('R', {0xFF}), Text('F', ReadRequest), Text('R', {0x5A, 0xA5, 0x3C}),
                Text('f', corrupt), Text('R', {0x01, 0x03, 0x00}), Text('F', ReadReply),
                Text('R', Bytes(256, 0x00)), Text('R', Bytes(44, 0x00)), Text('F', ReadRequest)}));
}

TEST_F(Framing, ARequestWrittenInChunksLeavesAsOneFrameWithAWrongCrcPerChunk) {
  // A long request sent in two chunks 20 ms apart, the line found silent after each.
  const Bytes first(WriteRequest.begin(), WriteRequest.begin() + 8);
  const Bytes rest(WriteRequest.begin() + 8, WriteRequest.end());
  LineStream one(Line8N1(9600));
  one.Send(first);
  Feed(one);
  framer.Idle(one.Now() + 20'000);
  LineStream two(Line8N1(9600), one.Now() + 20'000);
  two.Send(rest).Silence().Send({0xFF}).Send(ReadRequest);  // noise glued to a frame stays raw
  Feed(two);
  framer.Idle(two.Now() + 10'000);
  EXPECT_EQ(recorder.Texts(),
            (std::vector<std::string>{Text('f', first), Text('f', rest), Text('R', {0xFF}),
                                      Text('F', ReadRequest)}));
}

TEST_F(Framing, IdleEndsAnIncompleteCandidateOnlyOnceTheSilenceHasPassed) {
  const uint64_t silence = SilenceMicroseconds(Line8N1(9600));
  LineStream stream(Line8N1(9600));
  stream.Send({0x01, 0x03, 0x00, 0x00});
  Feed(stream);
  const uint64_t last = stream.Timed().back().Us;
  framer.Idle(last + silence - 1);
  EXPECT_TRUE(recorder.cuts.empty());
  EXPECT_EQ(framer.Held(), 4u);
  framer.Idle(last + silence);
  EXPECT_EQ(recorder.Texts(), (std::vector<std::string>{Text('f', {0x01, 0x03, 0x00, 0x00})}));
  EXPECT_EQ(framer.Held(), 0u);
}

}  // namespace
}  // namespace talyx::modbus::testing
