// TWin32Dispatcher's output side: DeviceWrite queues into the output ring, the output thread's
// DrainOutput writes it to the device, and DevicePurge clears it in hand-over with that thread.
#include <algorithm>
#include <cstring>

#include "dispatch/devlayer.h"
#include "platform/clock.h"

namespace talyx {

int32_t TWin32Dispatcher::DeviceWrite(const uint8_t* buffer, uint32_t count) {
  {
    platform::SectionGuard guard(OutLock);
    // PutBlock has checked the free room; a block larger than the whole ring could only
    // overwrite bytes that still wait.
    if (OutBuffer == nullptr || count > OutQueueSize) return 0;
    CopyIntoOutRing(buffer, count);
  }
  if (platform::Event* queued = Signal(OutQueuedSignal)) queued->Set();
  return static_cast<int32_t>(count);
}

ErrorCode TWin32Dispatcher::DevicePurge(int32_t queue) {
  int err;
  if (queue == PurgeOutput && OutThread != nullptr) {
    platform::Event* abort = Signal(OutAbortSignal);
    platform::Event* ack = Signal(AckSignal);
    uint64_t request = 0;
    if (abort != nullptr && ack != nullptr) {
      // Only an acknowledgement given after this request counts (see the header); and the wait
      // ends as well when the output thread has ended and can no longer give one.
      request = ++abortRequests_;
      ack->Reset();
      abort->Set();
      while (abortAcks_ < request && OutThread != nullptr) {
        platform::WaitForEvent(*ack, PurgeAckPollMs);
      }
    }
    platform::SectionGuard guard(OutLock);
    OutBufferFull = false;
    OutHead = 0;
    OutTail = 0;
    ++outGeneration_;
    purgesDone_ = std::max(purgesDone_, request);
    err = Device->Purge(platform::PurgeQueue::Output);
  } else {
    err = Device->Purge(platform::PurgeQueue::Input);
  }
  if (err != 0) {
    SetDeviceError(err);
    return -err;
  }
  return ecOK;
}

void TWin32Dispatcher::AcknowledgeAbort() {
  // Every request made before the abort signal was taken is answered by this acknowledgement.
  abortAcks_ = abortRequests_.load();
  AckSignal->Set();
}

uint32_t TWin32Dispatcher::ChooseOutputRun() {
  if (OutHead > OutTail) return OutHead - OutTail;
  if (OutHead == 0) return OutQueueSize - OutTail;
  // The queued bytes wrap past the end of the ring, or fill it from a position other than 0:
  // rotate them to the start so that one write covers everything queued.
  const uint32_t count = OutHead + (OutQueueSize - OutTail);
  std::rotate(OutBuffer.get(), OutBuffer.get() + OutTail, OutBuffer.get() + OutQueueSize);
  OutTail = 0;
  // A full ring stays full: head meets tail at 0 and OutBufferFull stays set.
  OutHead = count == OutQueueSize ? 0 : count;
  return count;
}

void TWin32Dispatcher::AdvanceOutput(uint32_t n, uint64_t generation) {
  platform::SectionGuard guard(OutLock);
  // A purge emptied the ring while the run was being written: its indices are new ones.
  if (generation != outGeneration_ || OutBuffer == nullptr) return;
  OutTail += n;
  if (OutTail >= OutQueueSize) OutTail = 0;
  if (OutTail == OutHead) {
    OutTail = 0;
    OutHead = 0;
  }
  OutBufferFull = false;
}

bool TWin32Dispatcher::AwaitWritable() {
  // Purge and stop requests are looked at between bounded waits for the device, so a drain that
  // stalls never holds them up for longer than one wait.
  if (platform::WaitForEvent(*OutAbortSignal, 0) == 0) {
    AcknowledgeAbort();
    return false;
  }
  const uint32_t start = platform::MillisecondClock();
  if (Device->WaitWritable(WritablePollMs)) return true;
  // Not writable: still full, closed or gone. A device that answers at once must not make the
  // output thread spin, so the rest of the interval is spent waiting for a request.
  const uint32_t waited = platform::MillisecondClock() - start;
  if (waited < static_cast<uint32_t>(WritablePollMs) &&
      platform::WaitForEvent(*OutAbortSignal, WritablePollMs - waited) == 0) {
    AcknowledgeAbort();
    return false;
  }
  return true;
}

void TWin32Dispatcher::DrainOutput() {
  for (;;) {
    // Purge and stop requests are looked at between writes too: a device that takes some bytes of
    // every write would otherwise hold a purge up until the whole ring has drained.
    if (platform::WaitForEvent(*OutAbortSignal, 0) == 0) {
      AcknowledgeAbort();
      return;
    }
    const uint8_t* run;
    uint32_t count;
    uint64_t generation;
    {
      platform::SectionGuard guard(OutLock);
      if (OutBuffer == nullptr || (!OutBufferFull && OutHead == OutTail)) return;
      // A purge is under way and has not cleared the ring yet: what it holds is not written.
      if (purgesDone_ != abortRequests_) return;
      count = ChooseOutputRun();
      run = OutBuffer.get() + OutTail;
      generation = outGeneration_;
    }
    // Bytes that DeviceWrite adds meanwhile land behind OutHead, never inside this run, and a
    // purge waits for this thread's acknowledgement: the run stays put until it is advanced.
    const uint64_t writeUs = ReadClock();
    const platform::WriteOutcome outcome = Device->Write(run, count);
    if (outcome.Error != 0) {
      // A write that fails outright drops the run without a report.
      AdvanceOutput(count, generation);
    } else if (outcome.Written > 0) {
      // A partial write leaves the rest queued for the next pass.
      const auto written = static_cast<uint32_t>(std::min<size_t>(outcome.Written, count));
      ReportSent(run, written, writeUs);
      AdvanceOutput(written, generation);
    } else if (!AwaitWritable()) {
      return;
    }
  }
}

}  // namespace talyx
