// TTraceBuffer: the byte trace of one dispatcher, a ring of (kind, byte) entries, and its file.
//
// Principles of operation:
// - The trace remembers every byte the application took from the input ring (kind 'R') and every
//   byte it queued for output (kind 'T'); any other kind character is kept too and printed as a
//   special block. It holds the newest TraceCapacity entries: once full it wraps and overwrites
//   the oldest entry (TraceWrapped), so the oldest entry then sits at TraceIndex.
// - States: none (no buffer) -> open and active (Open) <-> paused (Pause/Resume); Clear empties
//   the buffer and keeps the state; Write turns recording off, writes the file and discards;
//   Discard frees the buffer.
// - Add stores whenever a buffer exists; callers record only while Active() is true.
// - Not thread-safe: the dispatcher calls every member with its MainLock held, and holds it for
//   the whole of a file write, so entries and writes never interleave.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "errors/errorcodes.h"

namespace talyx {

class TTraceBuffer {
 public:
  // The largest trace the dispatcher accepts, in entries.
  static constexpr uint32_t MaxTraceCapacity = 4000000;

  // TraceOpen: clears an existing buffer, or allocates Capacity entries (ecBadArgument above
  // MaxTraceCapacity, nothing allocated); either way recording becomes active.
  ErrorCode Open(uint32_t capacity);
  // TraceClear: forgets every entry, keeps the buffer and the active state.
  ErrorCode Clear();
  // TraceDiscard: stops recording and frees the buffer.
  void Discard();
  // TraceResume: recording becomes active again when a buffer exists.
  void Resume();
  // TracePause: recording stops; the entries are kept.
  void Pause();
  // TraceActive.
  bool Active() const { return TraceActive; }
  // TraceAdd: stores one entry when a buffer exists (whatever the active state).
  void Add(char kind, uint8_t byte);
  // TraceWrite: writes the entries, oldest first, to fileName (appending when append is set and
  // the file exists) and discards the trace. 0 when fine or when nothing was recorded (then no
  // file is touched); otherwise the negated platform error number of the failing file operation.
  ErrorCode Write(const std::string& fileName, bool append, bool inHex, bool allHex);

  bool HasBuffer() const { return hasBuffer_; }
  uint32_t Capacity() const { return TraceCapacity; }
  // Number of entries held (at most Capacity()).
  uint32_t Count() const { return TraceWrapped ? TraceCapacity : TraceIndex; }

 private:
  struct TraceEntry {
    char Kind;
    uint8_t Byte;
  };

  bool TraceActive = false;
  bool hasBuffer_ = false;
  std::vector<TraceEntry> TraceBuffer;
  uint32_t TraceIndex = 0;
  uint32_t TraceCapacity = 0;
  bool TraceWrapped = false;
};

}  // namespace talyx
