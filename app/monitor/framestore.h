// TFrameStore: the bus monitor's frames, kept compactly, oldest dropped beyond a limit, with the
// counters of the whole session.
//
// Principles of operation:
// - A frame (or a raw run) is a 48-byte record beside its bytes; the bytes lie in an arena of
//   1 MiB chunks, a frame never split across two, and a chunk is freed once every frame in it
//   has been dropped. Summaries are not stored: a view decodes the bytes when it shows a row.
// - Frames are numbered by position (Position: 0 for the first frame ever stored); the oldest
//   beyond the limit are dropped and counted (Dropped), so positions never change meaning.
// - An Unanswered event marks its request's record (found by its sequence number) instead of
//   becoming a row of its own.
// - Raw runs (bytes that make no frame) count as CRC errors: they carry no valid CRC.
// - The counters (frames, CRC errors, exceptions, unanswered requests, response times per
//   address) cover every frame stored since the last Clear, dropped ones included.
// - Listeners are told of new, marked and dropped frames after each batch of events.
// - Main thread only.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "app/monitor/monitorfeed.h"
#include "modbus/rtumonitor.h"

namespace talyx::app {

struct TFrameRecord {
  enum Flag : uint16_t {
    Sent = 0x01,
    Raw = 0x02,
    CrcOk = 0x04,
    Exception = 0x08,
    Echo = 0x10,
    Response = 0x20,
    Unanswered = 0x40,
    Broadcast = 0x80,
    Paired = 0x100,
    // A paired response that took its request's first register and quantity.
    HasStart = 0x200,
    HasQuantity = 0x400,
  };
  uint64_t StartUs = 0;
  uint64_t Seq = 0;
  uint64_t Offset = 0;      // the bytes' place in the arena, counted from the first chunk ever
  uint32_t GapUs = 0;       // quiet line before this frame in its direction, capped
  uint32_t ResponseUs = 0;  // paired response: its response time, capped
  uint16_t Length = 0;
  uint16_t Flags = 0;
  uint16_t StartAddress = 0;  // with HasStart
  uint16_t Quantity = 0;      // with HasQuantity
  uint8_t Address = 0;
  uint8_t Function = 0;  // without the exception bit

  bool Has(Flag flag) const { return (Flags & flag) != 0; }
};
static_assert(sizeof(TFrameRecord) <= 48);

// Response times of one address.
struct TResponseStats {
  uint64_t Count = 0;
  uint64_t SumUs = 0;
  uint64_t MinUs = 0;
  uint64_t MaxUs = 0;
};

struct TMonitorCounters {
  uint64_t Frames = 0;
  uint64_t CrcErrors = 0;
  uint64_t Exceptions = 0;
  uint64_t Unanswered = 0;
};

class TFrameStoreListener {
 public:
  virtual ~TFrameStoreListener() = default;
  // Frames at positions [first, end) were added; the frames before newDropped were dropped; the
  // records at the positions in marked changed.
  virtual void FramesChanged(uint64_t first, uint64_t end, uint64_t newDropped,
                             const std::vector<uint64_t>& marked) = 0;
  // Everything was cleared.
  virtual void FramesCleared() = 0;
};

class TFrameStore : public TMonitorSink {
 public:
  static constexpr size_t DefaultLimit = 1'000'000;
  static constexpr size_t ChunkBytes = 1u << 20;

  explicit TFrameStore(size_t limit = DefaultLimit);

  void OnEvents(const std::vector<modbus::RtuEvent>& events) override;
  void Clear();

  void SetListener(TFrameStoreListener* listener) { listener_ = listener; }

  // Positions [Dropped(), End()) are held.
  uint64_t Dropped() const { return dropped_; }
  uint64_t End() const { return dropped_ + records_.size(); }
  const TFrameRecord& Record(uint64_t position) const { return records_[position - dropped_]; }
  const uint8_t* Bytes(const TFrameRecord& record) const;
  // The record's frame decoded again, with what pairing gave it (its request's start and
  // quantity).
  modbus::DecodedFrame Decode(const TFrameRecord& record) const;

  const TMonitorCounters& Counters() const { return counters_; }
  const std::array<TResponseStats, 256>& ResponseTimes() const { return responseTimes_; }

 private:
  void Add(const modbus::RtuEvent& event);
  void MarkUnanswered(uint64_t seq, std::vector<uint64_t>& marked);
  // Room for length bytes; their offset.
  uint64_t Allocate(size_t length);
  void DropOldest();

  const size_t limit_;
  std::deque<TFrameRecord> records_;
  uint64_t dropped_ = 0;
  std::deque<std::unique_ptr<uint8_t[]>> chunks_;
  uint64_t firstChunk_ = 0;  // the number of chunks_.front() among every chunk ever made
  uint64_t arenaEnd_ = 0;    // the offset the next frame's bytes would take
  std::array<uint64_t, 2> lastEndUs_{};  // the last frame's end, per direction
  TMonitorCounters counters_;
  std::array<TResponseStats, 256> responseTimes_{};
  TFrameStoreListener* listener_ = nullptr;
};

}  // namespace talyx::app
