// TReadTimes: when each stretch of the input ring's bytes was read from the device.
//
// Principles of operation:
// - Positions count the bytes ever written into the input ring (a 64-bit running count, so they
//   never wrap). A mark (position, time) says that the bytes from that position up to the next
//   mark's position were read at that millisecond-clock time; the last mark reaches to the head.
// - Marks are added in order of position. A read at the same millisecond as the previous one
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

namespace talyx {

class TReadTimes {
 public:
  static constexpr size_t Capacity = 256;

  // Forgets every mark (the ring was emptied and its count restarts).
  void Clear() { count_ = 0; }
  // Bytes from position on were read at time.
  void Add(uint64_t position, uint32_t time);
  // Drops the marks that only cover bytes before position (taken or flushed).
  void DropBefore(uint64_t position);
  // The read time of the byte at position; 0 when there is no mark.
  uint32_t TimeOf(uint64_t position) const;
  size_t Count() const { return count_; }

 private:
  struct Mark {
    uint64_t Position;
    uint32_t Time;
  };
  // The i-th mark from the oldest.
  Mark& At(size_t i) { return marks_[(first_ + i) % Capacity]; }
  const Mark& At(size_t i) const { return marks_[(first_ + i) % Capacity]; }

  std::array<Mark, Capacity> marks_{};
  size_t first_ = 0;
  size_t count_ = 0;
};

}  // namespace talyx
