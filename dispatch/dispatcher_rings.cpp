// TBaseDispatcher's rings and data operations: reading received bytes, queueing output, the
// counts and flushes, and ExtractData, which fills the input ring from the device.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "dispatch/dispatcher.h"

namespace talyx {

namespace {

constexpr uint32_t AllReadFailures = 0xFFFFFFFF;

uint32_t RingIndex(uint32_t index) { return index % InBufferSize; }

}  // namespace

uint32_t TBaseDispatcher::UnreadBytes() const {
  if (InHead == InTail) return InBufferFull ? InBufferSize : 0;
  return RingIndex(InHead + InBufferSize - InTail);
}

uint32_t TBaseDispatcher::OutRingUsed() const {
  if (OutBufferFull) return OutQueueSize;
  if (OutTail < OutHead) return OutHead - OutTail;
  if (OutTail > OutHead) return OutQueueSize - OutTail + OutHead;
  return 0;
}

void TBaseDispatcher::CopyIntoOutRing(const uint8_t* buffer, uint32_t count) {
  const uint32_t room = OutQueueSize - OutHead;  // up to the end of the ring
  if (count > room) {
    std::memcpy(OutBuffer.get() + OutHead, buffer, room);
    std::memcpy(OutBuffer.get(), buffer + room, count - room);
    OutHead = count - room;
  } else {
    std::memcpy(OutBuffer.get() + OutHead, buffer, count);
    OutHead += count;
    if (OutHead == OutQueueSize) OutHead = 0;
  }
}

uint32_t TBaseDispatcher::InBuffUsed() {
  platform::SectionGuard guard(InLock);
  const uint32_t unread = UnreadBytes();
  if (!InAvailDelivery) return unread;
  // A flush during the delivery can leave fewer unread bytes than the handler already took.
  return unread > DeliveryGetCount ? unread - DeliveryGetCount : 0;
}

ErrorCode TBaseDispatcher::PeekChar(uint32_t n, uint8_t& c) {
  if (n == 0) return ecBadArgument;
  platform::SectionGuard guard(InLock);
  if (InBuffer == nullptr || UnreadBytes() < n) return ecBufferIsEmpty;
  c = InBuffer[RingIndex(InTail + n - 1)];
  return ecOK;
}

ErrorCode TBaseDispatcher::GetChar(uint8_t& c) {
  platform::SectionGuard guard(InLock);
  if (InAvailDelivery) {
    // Read ahead: every handler of the delivery starts at the same byte, and the ring gives up
    // the bytes when the delivery ends.
    ++DeliveryGetCount;
    const ErrorCode result = PeekChar(DeliveryGetCount, c);
    if (result != ecOK) {
      --DeliveryGetCount;
      return result;
    }
  } else {
    const ErrorCode result = PeekChar(1, c);
    if (result != ecOK) return result;
    InTail = RingIndex(InTail + 1);
    InBufferFull = false;
    DropTakenReadTimes();
  }
  if (TraceRecording) {
    platform::SectionGuard mainGuard(MainLock);
    if (Trace.Active()) Trace.Add('R', c);
  }
  return ecOK;
}

ErrorCode TBaseDispatcher::GetChar(uint8_t& c, TReadTime& readTime) {
  // InLock is re-entrant: the byte's position and its taking are one step.
  platform::SectionGuard guard(InLock);
  // The byte GetChar takes next: the first unread one, or during a delivery the one after those
  // this handler has read ahead.
  // Its time is looked up first: taking it may drop its mark.
  const TReadTime time =
      ReadTimes.TimeOf(InWritten - UnreadBytes() + (InAvailDelivery ? DeliveryGetCount : 0));
  const ErrorCode result = GetChar(c);
  if (result == ecOK) readTime = time;
  return result;
}

ErrorCode TBaseDispatcher::PutBlock(const uint8_t* buffer, size_t size) {
  if (size == 0) return ecOK;
  if (buffer == nullptr) return ecBadArgument;
  ErrorCode result = ecOK;
  uint32_t written = 0;
  {
    platform::SectionGuard guard(OutLock);
    // After the port has closed there is no ring to queue into.
    if (OutBuffer == nullptr) return ecPutBlockFail;
    // Line errors are merged, not replaced: a break or an overrun the application has not
    // read yet must not vanish because it sent something.
    const TComStatus status = RefreshLineErrors();
    const uint32_t waiting = std::min(status.OutQueue, OutQueueSize);
    const uint32_t freeRoom = OutQueueSize - waiting;
    if (size > freeRoom) return ecOutputBufferTooSmall;
    const auto len = static_cast<uint32_t>(size);
    if (len == freeRoom) OutBufferFull = true;

    const int32_t accepted = DeviceWrite(buffer, len);
    if (accepted < 0 || static_cast<uint32_t>(accepted) < len) {
      // Less than the whole block went into the ring, so the ring cannot be full.
      OutBufferFull = false;
      RefreshLineErrors();
      written = std::min<uint32_t>(static_cast<uint32_t>(std::abs(int64_t{accepted})), len);
      result = ecPutBlockFail;
    } else {
      written = len;
    }
    OutputSentPending = true;
  }
  platform::SectionGuard guard(MainLock);
  if (Log.Active()) Log.Add(ltDispatch, lsWriteCom, written, buffer, written);
  if (Trace.Active()) {
    for (uint32_t i = 0; i < written; ++i) Trace.Add('T', buffer[i]);
  }
  return result;
}

uint32_t TBaseDispatcher::OutBuffUsed() {
  platform::SectionGuard guard(OutLock);
  return std::min(RefreshLineErrors().OutQueue, OutQueueSize);
}

uint32_t TBaseDispatcher::OutBuffFree() {
  platform::SectionGuard guard(OutLock);
  return OutQueueSize - OutBuffUsed();
}

ErrorCode TBaseDispatcher::FlushOutBuffer() { return DevicePurge(PurgeOutput); }

ErrorCode TBaseDispatcher::FlushInBuffer() {
  platform::SectionGuard guard(InLock);
  const ErrorCode result = DevicePurge(PurgeInput);
  if (InAvailDelivery) {
    // The handlers are still reading: the end of the delivery consumes everything unread.
    MaxDeliveryGetCount = UnreadBytes();
  } else {
    InTail = InHead;
    DeliveryGetCount = 0;
  }
  InBufferFull = false;
  DropTakenReadTimes();
  ResetDataMatches();
  return result;
}

uint32_t TBaseDispatcher::ReadIntoRing(uint32_t count) {
  int32_t n = DeviceRead(InBuffer.get() + InHead, count);
  // A failed read brings no bytes: whatever its count says, nothing valid landed in the ring.
  if (n < 0) {
    DeviceReadFailed(AllReadFailures);
    n = 0;
  }
  const uint32_t bytes = std::min(static_cast<uint32_t>(n), count);
  AddLogRecord(ltDispatch, lsReadCom, bytes, InBuffer.get() + InHead, bytes);
  return bytes;
}

bool TBaseDispatcher::ExtractData() {
  platform::SectionGuard guard(InLock);
  if (InBuffer == nullptr) return false;
  if (InBufferFull) return true;
  // Every byte that arrived before this moment is in the driver's count below.
  const uint64_t lookUs = ReadClock();
  const uint32_t avail = RefreshLineErrors().InQueue;
  if (avail == 0) {
    readUpToUs_ = lookUs;
    return false;
  }

  uint32_t freeRoom;
  uint32_t contiguous;
  if (InHead == InTail) {
    freeRoom = InBufferSize;
    contiguous = InBufferSize - InHead;
  } else if (InTail < InHead) {
    freeRoom = InTail + InBufferSize - InHead;
    contiguous = InBufferSize - InHead;
  } else {
    freeRoom = InTail - InHead;
    contiguous = freeRoom;
  }
  const uint32_t want = std::min(freeRoom, avail);
  uint32_t second = contiguous < want ? want - contiguous : 0;

  const uint64_t readStart = InWritten;
  uint32_t total = 0;
  if (contiguous > 0) {
    // The whole contiguous room is asked for; the device gives what it has.
    const uint32_t n = ReadIntoRing(contiguous);
    InHead += n;
    total += n;
    if (n < contiguous) second = 0;
  }
  if (InHead == InBufferSize) InHead = 0;
  if (total > 0) InBufferFull = InHead == InTail;
  if (second > 0) {
    const uint32_t m = ReadIntoRing(second);
    InHead += m;
    total += m;
    InBufferFull = InHead == InTail;
  }
  // One time for the whole extraction: its two reads (at the ring's end and at its start) follow
  // each other at once.
  if (total > 0) {
    InWritten += total;
    ReadTimes.Add(readStart, ReadClock());
  }
  if (total >= avail) readUpToUs_ = lookUs;
  // The ring filled all the way round to the scan position: every byte in it is new to the
  // scan although ScanPos equals InHead, and the position no longer identifies offered data.
  if (total > 0 && InBufferFull && InHead == ScanPos) {
    ScanLapPending = true;
    LastAvailPos = NoAvailPos;
  }
  return true;
}

}  // namespace talyx
