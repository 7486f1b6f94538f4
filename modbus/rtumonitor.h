// RtuMonitor: the Modbus RTU traffic of one line, both directions, framed, decoded and paired;
// the common base of the bus monitor, the capture to file and the register poller.
//
// Principles of operation:
// - Bytes come in with their direction: received from the line (Received, each with its read
//   time) or sent by this program (Sent, a block with its write time). Each direction has a
//   framer of its own (rtuframer.h), so sent and received bytes never mix. A sent block's
//   bytes are timed as leaving the line one after the other from the write time (or from the
//   end of the block before, if that is later), each at the end of its own character.
// - Every frame becomes an event with its decoding (rtudecoder.h), every run of bytes that make
//   no frame a Raw event. Events are numbered (Seq, from 1) in the order they are cut.
// - Request or response: an exception is a response, a frame to address 0 a request; otherwise
//   the length that matched says it, and where both lengths are the same (05, 06, 08, 0F and 10
//   by length, or by chance) a frame is a response when a request of the same address and
//   function waits for one (a frame this program sent never answers its own request), else a
//   request. The framer asks the same question to choose which length to try first, so a
//   passive watcher that only receives tells requests from responses as well.
// - Pairing: a response (with a valid CRC) pairs with the latest request (with a valid CRC) for
//   the same address and function that ended at most the response timeout before the response
//   ended (and not after it), and gets its response time: from the end of the request to the
//   end of the response. A paired read response without an address of its own takes the
//   request's start and quantity (and drops the padding bits of 01 and 02). A request to
//   address 0 expects no response. A request that is superseded by a newer one for the same
//   address and function, or whose timeout passes, is reported Unanswered.
// - Echo: a received frame equal to one this program sent, ending within the sent frame's
//   transmission plus 3.5 characters (the RS-485 adapter hears itself), is an echo of it: its
//   event says so and it takes no part in pairing. While such an echo may be arriving, the
//   framer tries the request length first.
// - Time passes through Idle(now): candidates end once the silence has passed and requests
//   whose timeout has passed are reported Unanswered. Call it on a timer, after every byte read
//   before `now` has been given.
// - Memory is bounded by the framers' limits, the requests waiting (one per address and
//   function) and the events not yet taken (TakeEvents).
// - One thread uses a monitor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <unordered_map>
#include <vector>

#include "modbus/rtudecoder.h"
#include "modbus/rtuframer.h"
#include "modbus/rtufunctions.h"
#include "modbus/rtutiming.h"

namespace talyx::modbus {

enum class Direction : uint8_t { Received, Sent };
enum class RtuEventKind : uint8_t { Frame, Raw, Unanswered };

inline constexpr uint32_t DefaultResponseTimeoutMs = 1000;

struct RtuEvent {
  RtuEventKind Kind = RtuEventKind::Frame;
  Direction Dir = Direction::Received;
  // This frame's or raw run's number; for Unanswered the request's.
  uint64_t Seq = 0;
  // The first and last byte's times; for Unanswered the request's.
  uint64_t StartUs = 0;
  uint64_t EndUs = 0;
  // The frame's or the raw run's bytes (empty for Unanswered).
  std::vector<uint8_t> Bytes;
  // Frame: the decoding. Unanswered: the request's address and function only.
  DecodedFrame Frame;
  bool Broadcast = false;  // a request to address 0
  bool Echo = false;       // the adapter's echo of the sent frame PairSeq
  // Response: its request's Seq (0 when none waited); Echo: the sent frame's Seq.
  uint64_t PairSeq = 0;
  uint64_t ResponseUs = 0;  // paired response: from the request's end to this frame's end
};

class RtuMonitor {
 public:
  explicit RtuMonitor(const LineFormat& line,
                      uint32_t responseTimeoutMs = DefaultResponseTimeoutMs);
  RtuMonitor(const RtuMonitor&) = delete;
  RtuMonitor& operator=(const RtuMonitor&) = delete;

  // A byte received from the line and its read time.
  void Received(uint8_t byte, uint64_t timeUs);
  // A block this program wrote to the line, and when it was written. Given when it is written,
  // before the bytes received after that, so that its echo is known when it arrives.
  void Sent(const uint8_t* bytes, size_t count, uint64_t writeUs);
  // Nothing new up to nowUs: ends candidates after their silence, reports requests whose
  // timeout passed.
  void Idle(uint64_t nowUs);

  // The events since the last call, in order.
  std::vector<RtuEvent> TakeEvents();
  // The events not yet taken or cleared, in order; ClearEvents forgets them and keeps the room
  // they took, for callers that read events in a tight loop.
  const std::vector<RtuEvent>& Events() const { return events_; }
  void ClearEvents() { events_.clear(); }

  uint32_t SilenceUs() const { return silenceUs_; }

 private:
  // Routes one framer's questions and cuts to the monitor with its direction.
  class DirectionSink : public RtuFramerSink {
   public:
    DirectionSink(RtuMonitor& monitor, Direction direction)
        : monitor_(monitor), direction_(direction) {}
    bool ExpectsResponse(uint8_t address, uint8_t function, uint64_t startUs) override {
      return monitor_.ExpectsResponse(direction_, address, function, startUs);
    }
    void OnFrame(const FramerCut& frame) override { monitor_.OnFrame(direction_, frame); }
    void OnRaw(const FramerCut& raw) override { monitor_.OnRaw(direction_, raw); }

   private:
    RtuMonitor& monitor_;
    Direction direction_;
  };

  // A request that waits for its response.
  struct Waiting {
    uint64_t Seq;
    Direction Dir;
    uint64_t StartUs;
    uint64_t EndUs;
    uint8_t Address;
    uint8_t Function;
    bool HasAddress;
    uint16_t StartAddress;
    bool HasQuantity;
    uint16_t Quantity;
  };
  // When a waiting request's timeout passes (kept in the order the requests came).
  struct Deadline {
    uint64_t Us;
    uint16_t Key;
    uint64_t Seq;
  };
  // A frame this program sent whose echo may still arrive.
  struct SentFrame {
    std::vector<uint8_t> Bytes;
    uint64_t Seq;
    FrameRole Role;
    uint64_t WriteUs;  // when its first byte began to leave
    uint64_t EndUs;    // when its last byte had left
  };

  // Requests and their responses meet under the address and the function without the
  // exception bit.
  static uint16_t KeyOf(uint8_t address, uint8_t function) {
    return static_cast<uint16_t>(address << 8 | (function & ~ExceptionBit & 0xFF));
  }

  bool ExpectsResponse(Direction direction, uint8_t address, uint8_t function, uint64_t startUs);
  void OnFrame(Direction direction, const FramerCut& cut);
  void OnRaw(Direction direction, const FramerCut& cut);
  // The sent frame a received frame echoes, taken out of those waiting for their echo; false
  // when it echoes none.
  bool TakeEchoed(const FramerCut& cut, SentFrame& echoed);
  // Forgets the sent frames whose echo can no longer arrive after nowUs.
  void ForgetSentBefore(uint64_t nowUs);
  bool EchoMayArrive(uint8_t address, uint8_t function, uint64_t startUs);
  FrameRole RoleOf(Direction direction, const FramerCut& cut);
  // The request a response of this direction and key ending (or, for the framer's question,
  // beginning) at endUs may pair with, or null.
  const Waiting* RequestFor(Direction direction, uint16_t key, uint64_t endUs) const;
  void Pair(RtuEvent& response);
  void Wait(const RtuEvent& request);
  void ReportUnanswered(const Waiting& request);
  // Reports the requests whose timeout has passed by nowUs.
  void Expire(uint64_t nowUs);

  const LineFormat line_;
  const uint32_t silenceUs_;
  const uint64_t timeoutUs_;
  DirectionSink receivedSink_{*this, Direction::Received};
  DirectionSink sentSink_{*this, Direction::Sent};
  RtuFramer received_;
  RtuFramer sent_;
  uint64_t sentLineFreeUs_ = 0;  // when the last sent byte has left the line
  uint64_t nextSeq_ = 1;
  std::unordered_map<uint16_t, Waiting> waiting_;
  std::deque<Deadline> deadlines_;
  std::deque<SentFrame> sentFrames_;
  std::vector<RtuEvent> events_;
};

}  // namespace talyx::modbus
