// RtuMonitor: requests and responses told apart and paired with their response times, functions
// whose response repeats the request, broadcasts, the adapter's echo, unanswered requests, a
// mixed master and slave stream watched passively, and a long stream of random pairs cut
// without a single wrong cut.
#include "modbus/rtumonitor.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "modbus/rtufunctions.h"
#include "rtustream.h"

namespace talyx::modbus::testing {
namespace {

const LineFormat Line = Line8N1(19200);  // a character is 521 µs, a silence 1823 µs

class Monitor : public ::testing::Test {
 protected:
  // The frame arriving from startUs on, each byte at the end of its character; returns the
  // time of its last byte.
  uint64_t ReceiveAt(const Bytes& frame, uint64_t startUs) {
    for (size_t i = 0; i < frame.size(); ++i) {
      monitor.Received(frame[i], startUs + TransmissionMicroseconds(Line, i + 1));
    }
    return startUs + TransmissionMicroseconds(Line, frame.size());
  }
  std::vector<RtuEvent> Events() { return monitor.TakeEvents(); }

  RtuMonitor monitor{Line};
};

const Bytes ReadRequest = WithCrc({0x01, 0x03, 0x00, 0x6B, 0x00, 0x02});
const Bytes ReadReply = WithCrc({0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x14});
const Bytes WriteSingle = WithCrc({0x01, 0x06, 0x00, 0x01, 0x00, 0x03});

TEST_F(Monitor, AResponsePairsWithItsRequestAndTakesItsResponseTime) {
  const uint64_t write = 1'000'000;
  monitor.Sent(ReadRequest.data(), ReadRequest.size(), write);
  const uint64_t requestEnd = write + TransmissionMicroseconds(Line, 8);
  const uint64_t replyEnd = ReceiveAt(ReadReply, requestEnd + 5000);
  const std::vector<RtuEvent> events = Events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].Dir, Direction::Sent);
  EXPECT_EQ(events[0].Frame.Role, FrameRole::Request);
  EXPECT_EQ(events[0].EndUs, requestEnd);
  EXPECT_EQ(events[1].Dir, Direction::Received);
  EXPECT_EQ(events[1].Frame.Role, FrameRole::Response);
  EXPECT_EQ(events[1].PairSeq, events[0].Seq);
  EXPECT_EQ(events[1].ResponseUs, replyEnd - requestEnd);
  // The reply takes the request's range.
  EXPECT_EQ(events[1].Frame.StartAddress, 0x6B);
  EXPECT_EQ(events[1].Frame.Quantity, 2);
  EXPECT_EQ(events[1].Frame.Registers, (std::vector<uint16_t>{10, 20}));
}

TEST_F(Monitor, AnExceptionPairsWithTheRequestOfItsFunction) {
  const uint64_t end = ReceiveAt(ReadRequest, 1'000'000);
  ReceiveAt(WithCrc({0x01, 0x83, 0x02}), end + 3000);
  const std::vector<RtuEvent> events = Events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_TRUE(events[1].Frame.IsException);
  EXPECT_EQ(events[1].PairSeq, events[0].Seq);
}

TEST_F(Monitor, WhereResponseRepeatsRequestTheFirstIsTheRequestAndTheNextItsResponse) {
  uint64_t end = ReceiveAt(WriteSingle, 1'000'000);
  end = ReceiveAt(WriteSingle, end + 4000);
  end = ReceiveAt(WriteSingle, end + 50'000);
  // Read coils: a request of 8 bytes and a reply with 3 bytes of coils are both 8 bytes long.
  end = ReceiveAt(WithCrc({0x02, 0x01, 0x00, 0x00, 0x00, 0x14}), end + 50'000);
  end = ReceiveAt(WithCrc({0x02, 0x01, 0x03, 0xFF, 0x00, 0x0F}), end + 4000);
  const std::vector<RtuEvent> events = Events();
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[0].Frame.Role, FrameRole::Request);
  EXPECT_EQ(events[1].Frame.Role, FrameRole::Response);
  EXPECT_EQ(events[1].PairSeq, events[0].Seq);
  EXPECT_EQ(events[2].Frame.Role, FrameRole::Request);
  EXPECT_EQ(events[3].Frame.Role, FrameRole::Request);
  EXPECT_EQ(events[4].Frame.Role, FrameRole::Response);
  EXPECT_EQ(events[4].PairSeq, events[3].Seq);
  EXPECT_EQ(events[4].Frame.Bits.size(), 20u);  // the request's quantity, padding dropped
  monitor.Idle(end + 2'000'000);
  const std::vector<RtuEvent> later = Events();
  ASSERT_EQ(later.size(), 1u);  // the third write was never answered
  EXPECT_EQ(later[0].Kind, RtuEventKind::Unanswered);
  EXPECT_EQ(later[0].Seq, events[2].Seq);
}

TEST_F(Monitor, ARequestWithoutResponseWithinTheTimeoutIsReportedUnansweredByTime) {
  RtuMonitor quick(Line, 100);
  quick.Sent(ReadRequest.data(), ReadRequest.size(), 1'000'000);
  const uint64_t end = 1'000'000 + TransmissionMicroseconds(Line, 8);
  quick.Idle(end + 100'000);
  EXPECT_EQ(quick.TakeEvents().size(), 1u);  // the request alone
  quick.Idle(end + 100'001);
  const std::vector<RtuEvent> events = quick.TakeEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].Kind, RtuEventKind::Unanswered);
  EXPECT_EQ(events[0].Seq, 1u);
  EXPECT_EQ(events[0].Frame.Address, 1);
  EXPECT_EQ(events[0].Frame.Function, FnReadHolding);
  // A reply that comes after the timeout pairs with nothing, even before any Idle.
  quick.Sent(ReadRequest.data(), ReadRequest.size(), 2'000'000);
  const uint64_t second = 2'000'000 + TransmissionMicroseconds(Line, 8);
  for (size_t i = 0; i < ReadReply.size(); ++i) quick.Received(ReadReply[i], second + 150'000 + i);
  const std::vector<RtuEvent> late = quick.TakeEvents();
  ASSERT_EQ(late.size(), 3u);
  EXPECT_EQ(late[1].Kind, RtuEventKind::Unanswered);
  EXPECT_EQ(late[1].Seq, late[0].Seq);
  EXPECT_EQ(late[2].Frame.Role, FrameRole::Response);
  EXPECT_EQ(late[2].PairSeq, 0u);
}

TEST_F(Monitor, ANewerRequestSupersedesTheOneWaitingAndTakesTheResponse) {
  uint64_t end = ReceiveAt(ReadRequest, 1'000'000);
  const Bytes retry = WithCrc({0x01, 0x03, 0x00, 0x10, 0x00, 0x02});
  end = ReceiveAt(retry, end + 200'000);
  ReceiveAt(ReadReply, end + 3000);
  const std::vector<RtuEvent> events = Events();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[1].Kind, RtuEventKind::Unanswered);
  EXPECT_EQ(events[1].Seq, events[0].Seq);
  EXPECT_EQ(events[2].Frame.Role, FrameRole::Request);
  EXPECT_EQ(events[3].PairSeq, events[2].Seq);
  EXPECT_EQ(events[3].Frame.StartAddress, 0x10);
}

TEST_F(Monitor, ABroadcastExpectsNoResponse) {
  const Bytes broadcast = WithCrc({0x00, 0x06, 0x00, 0x01, 0x00, 0x03});
  monitor.Sent(broadcast.data(), broadcast.size(), 1'000'000);
  monitor.Sent(broadcast.data(), broadcast.size(), 1'010'000);
  monitor.Idle(5'000'000);
  const std::vector<RtuEvent> events = Events();
  ASSERT_EQ(events.size(), 2u);
  for (const RtuEvent& event : events) {
    EXPECT_TRUE(event.Broadcast);
    EXPECT_EQ(event.Frame.Role, FrameRole::Request);
  }
}

TEST_F(Monitor, TheAdaptersEchoIsReportedOnceAndTheResponseStillPairs) {
  for (const Bytes& request : {WriteSingle, ReadRequest}) {
    const uint64_t write = monitor.Events().empty() ? 1'000'000 : 2'000'000;
    monitor.Sent(request.data(), request.size(), write);
    // The adapter hears each byte as it leaves, read a little later.
    uint64_t end = ReceiveAt(request, write + 40);
    const Bytes& reply = request == WriteSingle ? WriteSingle : ReadReply;
    end = ReceiveAt(reply, end + 4000);
  }
  const std::vector<RtuEvent> events = Events();
  ASSERT_EQ(events.size(), 6u);
  for (size_t first : {0u, 3u}) {
    EXPECT_EQ(events[first].Dir, Direction::Sent);
    EXPECT_TRUE(events[first + 1].Echo);
    EXPECT_EQ(events[first + 1].PairSeq, events[first].Seq);
    EXPECT_FALSE(events[first + 2].Echo);
    EXPECT_EQ(events[first + 2].Frame.Role, FrameRole::Response);
    EXPECT_EQ(events[first + 2].PairSeq, events[first].Seq);
  }
}

TEST_F(Monitor, APassiveWatcherDecodesAMixedMasterAndSlaveStream) {
  struct Step {
    Bytes Frame;
    FrameRole Role;
    int PairedWith;  // index of the request, or -1
  };
  const std::vector<Step> steps = {
      {ReadRequest, FrameRole::Request, -1},
      {ReadReply, FrameRole::Response, 0},
      {WithCrc({0x02, 0x01, 0x00, 0x00, 0x00, 0x14}), FrameRole::Request, -1},
      {WithCrc({0x02, 0x01, 0x03, 0xFF, 0x00, 0x0F}), FrameRole::Response, 2},
      {WriteSingle, FrameRole::Request, -1},
      {WriteSingle, FrameRole::Response, 4},
      {WithCrc({0x00, 0x06, 0x00, 0x01, 0x00, 0x03}), FrameRole::Request, -1},
      {WithCrc({0x03, 0x10, 0x00, 0x01, 0x00, 0x02, 0x04, 0x00, 0x0A, 0x01, 0x02}),
       FrameRole::Request, -1},
      {WithCrc({0x03, 0x10, 0x00, 0x01, 0x00, 0x02}), FrameRole::Response, 7},
      {WithCrc({0x04, 0x04, 0x00, 0x00, 0x00, 0x01}), FrameRole::Request, -1},
      {ReadRequest, FrameRole::Request, -1},
      {WithCrc({0x01, 0x83, 0x02}), FrameRole::Response, 10},
      {WithCrc({0x11, 0x2B, 0x0E, 0x01, 0x00}), FrameRole::Request, -1},
      {WithCrc({0x11, 0x2B, 0x0E, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x02, 'O', 'K'}),
       FrameRole::Response, 12},
  };
  LineStream stream(Line);
  for (const Step& step : steps)
    stream.Send(step.Frame).Quiet(step.Role == FrameRole::Request ? 3000 : 9000);
  stream.GatherReads(4000);  // reads every 4 ms merge frames and split them
  for (const TimedByte& byte : stream.Timed()) monitor.Received(byte.Byte, byte.Us);
  monitor.Idle(stream.Now() + 2'000'000);

  const std::vector<RtuEvent> events = Events();
  std::vector<uint64_t> seqOfStep;
  size_t step = 0;
  for (const RtuEvent& event : events) {
    if (event.Kind == RtuEventKind::Unanswered) {
      EXPECT_EQ(event.Frame.Address, 0x04) << "only the read of input registers goes unanswered";
      continue;
    }
    ASSERT_LT(step, steps.size());
    ASSERT_EQ(event.Kind, RtuEventKind::Frame) << "step " << step;
    EXPECT_EQ(event.Bytes, steps[step].Frame) << "step " << step;
    EXPECT_EQ(event.Frame.Role, steps[step].Role) << "step " << step;
    const int pairedWith = steps[step].PairedWith;
    EXPECT_EQ(event.PairSeq, pairedWith < 0 ? 0 : seqOfStep[pairedWith]) << "step " << step;
    seqOfStep.push_back(event.Seq);
    ++step;
  }
  EXPECT_EQ(step, steps.size());
  EXPECT_EQ(events.size(), steps.size() + 1);
}

// ---- A long random stream ------------------------------------------------------------------

#ifndef TALYX_RANDOM_PAIRS
#define TALYX_RANDOM_PAIRS 1000000
#endif

Bytes RandomBytes(std::mt19937& random, size_t count) {
  Bytes bytes(count);
  for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
  return bytes;
}

Bytes Concat(Bytes head, const Bytes& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

uint8_t Hi(unsigned value) { return static_cast<uint8_t>(value >> 8); }
uint8_t Lo(unsigned value) { return static_cast<uint8_t>(value); }

// A request of a function with a known length and the response a slave would give it (an
// exception one time in ten).
std::pair<Bytes, Bytes> RandomPair(std::mt19937& random) {
  static const uint8_t Functions[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x0B, 0x0C,
                                      0x0F, 0x10, 0x11, 0x14, 0x15, 0x16, 0x17, 0x18, 0x2B};
  const auto draw = [&](unsigned low, unsigned high) {
    return low + static_cast<unsigned>(random() % (high - low + 1));
  };
  const uint8_t address = static_cast<uint8_t>(draw(1, 247));
  const uint8_t function = Functions[random() % std::size(Functions)];
  const unsigned start = draw(0, 0xFFFF);
  Bytes request = {address, function};
  Bytes response = {address, function};
  switch (function) {
    case 0x01:
    case 0x02: {
      const unsigned quantity = draw(1, 2000);
      request = Concat(request, {Hi(start), Lo(start), Hi(quantity), Lo(quantity)});
      const unsigned count = (quantity + 7) / 8;
      response = Concat(Concat(response, {Lo(count)}), RandomBytes(random, count));
      break;
    }
    case 0x03:
    case 0x04: {
      const unsigned quantity = draw(1, 125);
      request = Concat(request, {Hi(start), Lo(start), Hi(quantity), Lo(quantity)});
      response = Concat(Concat(response, {Lo(2 * quantity)}), RandomBytes(random, 2 * quantity));
      break;
    }
    case 0x05:
    case 0x06:
    case 0x08:
    case 0x16:
      request = Concat(request, RandomBytes(random, function == 0x16 ? 6 : 4));
      response = request;
      break;
    case 0x07:
      response = Concat(response, RandomBytes(random, 1));
      break;
    case 0x0B:
      response = Concat(response, RandomBytes(random, 4));
      break;
    case 0x0C: {
      const unsigned count = draw(6, 70);
      response = Concat(Concat(response, {Lo(count)}), RandomBytes(random, count));
      break;
    }
    case 0x0F:
    case 0x10: {
      const unsigned quantity = function == 0x0F ? draw(1, 1968) : draw(1, 123);
      const unsigned count = function == 0x0F ? (quantity + 7) / 8 : 2 * quantity;
      request = Concat(request, {Hi(start), Lo(start), Hi(quantity), Lo(quantity)});
      response = request;
      request = Concat(Concat(request, {Lo(count)}), RandomBytes(random, count));
      break;
    }
    case 0x11:
      response = Concat(Concat(response, {2}), RandomBytes(random, 2));
      break;
    case 0x14:
    case 0x15: {
      const unsigned count = draw(7, 100);
      request = Concat(Concat(request, {Lo(count)}), RandomBytes(random, count));
      if (function == 0x15) {
        response = request;
      } else {
        const unsigned replyCount = draw(2, 120);
        response = Concat(Concat(response, {Lo(replyCount)}), RandomBytes(random, replyCount));
      }
      break;
    }
    case 0x17: {
      const unsigned reads = draw(1, 125), writes = draw(1, 121);
      request = Concat(request, {Hi(start), Lo(start), Hi(reads), Lo(reads), 0x00, 0x10, Hi(writes),
                                 Lo(writes), Lo(2 * writes)});
      request = Concat(request, RandomBytes(random, 2 * writes));
      response = Concat(Concat(response, {Lo(2 * reads)}), RandomBytes(random, 2 * reads));
      break;
    }
    case 0x18: {
      const unsigned queued = draw(0, 31), count = 2 + 2 * queued;
      request = Concat(request, {Hi(start), Lo(start)});
      response = Concat(response, {Hi(count), Lo(count), 0x00, Lo(queued)});
      response = Concat(response, RandomBytes(random, 2 * queued));
      break;
    }
    default: {  // 2B/0E
      request = Concat(request, {0x0E, static_cast<uint8_t>(draw(1, 4)), 0x00});
      const unsigned objects = draw(1, 5);
      response = Concat(response, {0x0E, 0x01, 0x01, 0x00, 0x00, Lo(objects)});
      for (unsigned i = 0; i < objects; ++i) {
        const unsigned length = draw(0, 20);
        response = Concat(Concat(response, {Lo(i), Lo(length)}), RandomBytes(random, length));
      }
      break;
    }
  }
  if (random() % 10 == 0)
    response = {address, static_cast<uint8_t>(function | 0x80), Lo(draw(1, 11))};
  return {WithCrc(request), WithCrc(response)};
}

// Gives the monitor a frame as the line brings it from startUs on, each byte at the end of its
// character, or with the time of the read that takes it when reads come every gatherUs;
// returns the end of its last character.
uint64_t Feed(RtuMonitor& monitor, const Bytes& frame, uint64_t startUs, uint64_t gatherUs) {
  for (size_t i = 0; i < frame.size(); ++i) {
    const uint64_t arrived = startUs + TransmissionMicroseconds(Line, i + 1);
    monitor.Received(frame[i], gatherUs ? (arrived + gatherUs - 1) / gatherUs * gatherUs : arrived);
  }
  return startUs + TransmissionMicroseconds(Line, frame.size());
}

TEST(RtuMonitorRandomStream, RandomRequestResponsePairsAreCutWithoutAWrongCut) {
  std::mt19937 random(20240611);
  RtuMonitor monitor(Line);
  const size_t pairsPerChunk = 500;
  uint64_t now = 1'000'000;
  size_t pairs = 0, wrong = 0, frames = 0;
  std::string firstWrong;
  std::vector<Bytes> expected;
  while (pairs < TALYX_RANDOM_PAIRS) {
    // A chunk of pairs with silences between frames, or back to back, or back to back and read
    // every 16 ms.
    const auto timing = random() % 3;
    const uint64_t gather = timing == 2 ? 16000 : 0;
    expected.clear();
    for (size_t i = 0; i < pairsPerChunk && pairs < TALYX_RANDOM_PAIRS; ++i, ++pairs) {
      auto [request, response] = RandomPair(random);
      now = Feed(monitor, request, now, gather);
      if (timing == 0) now += 2000 + random() % 20000;
      now = Feed(monitor, response, now, gather);
      if (timing == 0) now += 2000 + random() % 20000;
      expected.push_back(std::move(request));
      expected.push_back(std::move(response));
    }
    now += 100'000;
    monitor.Idle(now);

    size_t next = 0;
    uint64_t requestSeq = 0;
    for (const RtuEvent& event : monitor.Events()) {
      const bool isRequest = next % 2 == 0;
      const FrameRole role = isRequest ? FrameRole::Request : FrameRole::Response;
      const bool right = event.Kind == RtuEventKind::Frame && next < expected.size() &&
                         event.Bytes == expected[next] && event.Frame.CrcOk &&
                         event.Frame.Role == role && event.PairSeq == (isRequest ? 0 : requestSeq);
      if (!right) {
        ++wrong;
        if (firstWrong.empty()) {
          firstWrong =
              "chunk ending at pair " + std::to_string(pairs) + ", frame " + std::to_string(next);
        }
      }
      if (isRequest) requestSeq = event.Seq;
      ++next;
    }
    monitor.ClearEvents();
    frames += next;
    if (next != expected.size()) ++wrong;
  }
  EXPECT_EQ(wrong, 0u) << "first at " << firstWrong;
  EXPECT_EQ(frames, 2u * TALYX_RANDOM_PAIRS);
}

}  // namespace
}  // namespace talyx::modbus::testing
