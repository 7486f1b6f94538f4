// TReadTimes: when each stretch of the input ring's bytes was read from the device.
//
// Principles of operation:
// - Positions count the bytes ever written into the input ring (a 64-bit running count, so they
//   never wrap). A mark (position, time) says that the bytes from that position up to the next
//   mark's position were read at that time; the last mark reaches to the head.
// - A mark keeps the microsecond clock's reading (platform::MicrosecondClock); the millisecond
//   clock's reading at the same instant follows from it (platform::MillisecondsOf), so a byte's
//   time gives both (TReadTime) and a silence of a fraction of a millisecond shows.
// - Marks are added in order of position. A read at the same microsecond as the previous one
//   adds no mark: its bytes share that time anyway.
// - Bounded: at most Capacity marks. When a read finds the ring of marks full, the two oldest
//   marks merge into one that keeps the older time, so the bytes of the older reads (waiting the
//   longest) lose the distinction between their times first, and the newest reads keep theirs.
// - Marks whose bytes have all been taken or flushed are dropped (DropBefore); the mark that
//   covers the first unread byte stays.
// - Not thread-safe: the dispatcher calls every member with InLock held. No allocation: the
//   marks live in a fixed array.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/clock.h"

namespace talyx {

// When a byte was read: the millisecond clock's and the microsecond clock's readings of one
// instant.
struct TReadTime {
  uint32_t Ms = 0;  // platform::MillisecondClock
  uint64_t Us = 0;  // platform::MicrosecondClock

  // Both readings of the instant a microsecond clock reading names.
  static constexpr TReadTime At(uint64_t us) { return {platform::MillisecondsOf(us), us}; }
  bool operator==(const TReadTime&) const = default;
};

class TReadTimes {
 public:
  static constexpr size_t Capacity = 256;

  // Forgets every mark (the ring was emptied and its count restarts).
  void Clear() { count_ = 0; }
  // Bytes from position on were read at the microsecond clock's time us.
  void Add(uint64_t position, uint64_t us);
  // Drops the marks that only cover bytes before position (taken or flushed).
  void DropBefore(uint64_t position);
  // The read time of the byte at position; zero times when there is no mark.
  TReadTime TimeOf(uint64_t position) const;
  size_t Count() const { return count_; }

 private:
  struct Mark {
    uint64_t Position;
    uint64_t Us;
  };
  // The i-th mark from the oldest.
  Mark& At(size_t i) { return marks_[(first_ + i) % Capacity]; }
  const Mark& At(size_t i) const { return marks_[(first_ + i) % Capacity]; }

  std::array<Mark, Capacity> marks_{};
  size_t first_ = 0;
  size_t count_ = 0;
};

}  // namespace talyx
