// RtuFramer: cuts one direction's stream of (byte, microsecond time) into Modbus RTU frames and
// runs of raw bytes.
//
// Principles of operation:
// - Length first. The address, the function code and, where the function has one, its byte
//   count give a request one length and a response another (rtufunctions.h). A candidate that
//   holds a whole frame of either length with a valid CRC is cut there, whatever the silences
//   between its bytes say: a USB adapter's latency timer and the engine's gathering of reads
//   both merge frames and split them.
// - Which length is tried first is the sink's call (ExpectsResponse): a response where a request
//   for the same address and function waits for one. A frame of the other length is cut before
//   the preferred length has arrived only when a silence follows it at once; otherwise it waits,
//   so that a false CRC match inside a longer frame does not split it.
// - Only for an unknown function, or when no expected length gives a valid CRC, is the first end
//   with a valid CRC searched (from 4 bytes up), and a silence of 3.5 characters ends the
//   candidate: when its length is the function's, or it began after a silence too and holds no
//   frame with a valid CRC further in, it is a frame with a wrong CRC (what was on the line
//   between two silences: a long request written in chunks leaves as several such frames);
//   otherwise its first byte is raw and the search starts again at the next one.
// - Raw bytes are never dropped: they are handed over as one run when a frame follows them, at
//   a silence, at the end of the stream (Idle) and at every 256 bytes.
// - A byte's time is when it has arrived (its last bit; a read's time for the bytes of a read),
//   so the line was quiet between two bytes for the difference of their times less one
//   character; a silence is a quiet line of 3.5 characters (rtutiming.h). A candidate left
//   incomplete is ended by time: Idle(now) treats the line as silent once the silence has
//   passed since its last byte.
// - Times never go back: a byte stamped before the previous one counts as arriving with it.
// - Memory is bounded: a candidate never holds more than 256 bytes and a run of raw bytes is
//   handed over at 256.
// - One thread uses a framer; the sink is called from inside Push and Idle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "modbus/rtutiming.h"

namespace talyx::modbus {

// A frame or a run of raw bytes the framer cut. Bytes point into the framer and stay valid only
// during the call that hands them over.
struct FramerCut {
  const uint8_t* Bytes = nullptr;
  size_t Length = 0;
  uint64_t StartUs = 0;  // the time of the first byte
  uint64_t EndUs = 0;    // the time of the last byte
  bool CrcOk = false;
  bool MatchesRequest = false;   // the length is the one a request of its first bytes has
  bool MatchesResponse = false;  // the length is the one a response of its first bytes has
};

class RtuFramerSink {
 public:
  virtual ~RtuFramerSink() = default;
  // Whether a frame of this address and function beginning at startUs is taken for a response
  // rather than a request; asked once per candidate, when both have a length.
  virtual bool ExpectsResponse(uint8_t address, uint8_t function, uint64_t startUs) = 0;
  virtual void OnFrame(const FramerCut& frame) = 0;
  virtual void OnRaw(const FramerCut& raw) = 0;
};

class RtuFramer {
 public:
  RtuFramer(const LineFormat& line, RtuFramerSink& sink);

  // One byte of the stream and the time it was read (or left the line).
  void Push(uint8_t byte, uint64_t timeUs);
  // The stream has had nothing new up to nowUs (every byte read before it has been pushed):
  // when the silence has passed since the last byte, whatever is held is ended.
  void Idle(uint64_t nowUs);
  // Bytes held: a candidate not yet decided and raw bytes not yet handed over.
  size_t Held() const { return bytes_.size() + raw_.size(); }

 private:
  static constexpr size_t NoSilence = static_cast<size_t>(-1);

  // Cuts or rejects what it can; stops when the candidate has to wait for more.
  void Scan();
  // One decision on the candidate at the front; false when it has to wait.
  bool Step();
  // Hands over the first length bytes as a frame.
  bool CutFrame(size_t length, size_t requestLength, size_t responseLength);
  // Moves the first byte to the run of raw bytes.
  bool Reject();
  // Whether a frame with a valid CRC begins after the candidate's first byte and ends by `end`.
  bool FrameInside(size_t end) const;
  void HandOverRaw();
  // Drops the first count bytes and renews what depends on the front.
  void DropFront(size_t count);
  // Whether the line was quiet for a silence between bytes stamped earlierUs and laterUs.
  bool SilenceBetween(uint64_t earlierUs, uint64_t laterUs) const {
    return laterUs - earlierUs >= silenceUs_ + characterUs_;
  }
  // Whether the first length bytes end with their own CRC.
  bool CrcEndsAt(size_t length) const { return length < prefix_.size() && prefix_[length] == 0; }

  const uint64_t silenceUs_;
  const uint64_t characterUs_;
  RtuFramerSink& sink_;
  // The candidate: its bytes, their times, and the CRC register after each prefix
  // (prefix_[k] covers the first k bytes; 0 means they end with their own CRC).
  std::vector<uint8_t> bytes_;
  std::vector<uint64_t> times_;
  std::vector<uint16_t> prefix_;
  size_t silenceAt_ = NoSilence;  // the first byte of the candidate that follows a silence
  bool ended_ = false;            // the line has been silent since the last byte
  bool afterSilence_ = true;      // the candidate's first byte followed a silence
  bool started_ = false;          // a byte has been pushed
  bool preferenceAsked_ = false;
  bool preferResponse_ = false;
  size_t searched_ = 0;  // candidate lengths already searched for a valid CRC
  // Raw bytes not yet handed over, and the time of the last byte seen.
  std::vector<uint8_t> raw_;
  uint64_t rawStartUs_ = 0;
  uint64_t rawEndUs_ = 0;
  uint64_t lastUs_ = 0;
};

}  // namespace talyx::modbus
