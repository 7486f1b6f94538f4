// TBaseDispatcher's lifetime: construction, Destroy, OpenPort, ClosePort, ReleaseBuffers and the
// worker threads' priorities.
#include "dispatch/dispatcher.h"

#include <algorithm>

#include "dispatch/dispatcherlist.h"
#include "platform/clock.h"
#include "platform/messagequeue.h"

namespace talyx {

namespace {

// The platform error number of the calling thread's last failed device operation; per thread,
// because the device-event, dispatch and output threads fail independently of the main thread.
thread_local int lastDeviceError = 0;

// The negated platform error of a failed open or setup. A device layer that failed without
// recording a number still must not make the failure look like success.
ErrorCode NegatedDeviceError(int platformError) {
  return platformError > 0 ? -platformError : ecGeneralFailure;
}

constexpr int HighestThreadPriority = 6;

int ThreadLevel(int base, uint8_t boost) { return std::min(base + boost, HighestThreadPriority); }

}  // namespace

TBaseDispatcher::TBaseDispatcher(TCustomComPort* owner,
                                 std::unique_ptr<platform::SerialDevice> device)
    : Owner(owner), Handle(AddDispatcher(this)), Device(std::move(device)) {}

TBaseDispatcher::~TBaseDispatcher() {
  // A device layer that did not call Destroy still takes its slot out of the list, so no
  // trigger message can find a dispatcher that is gone.
  if (!destroyed_) RemoveDispatcher(this, Handle);
}

void TBaseDispatcher::Destroy() {
  if (destroyed_) return;
  destroyed_ = true;
  if (ClosePending) {
    ReleaseBuffers();
  } else {
    ClosePort();
  }
  // A worker may still be on its way out (the dispatch thread finishing a deferred close), or
  // blocked in a hand-off to the main thread: keep the main thread's queue moving until the
  // last one has let go of the dispatcher.
  while (ThreadCount > 0) {
    if (!platform::PumpOneMessage()) platform::SleepMs(1);
  }
  RemoveDispatcher(this, Handle);
}

bool TBaseDispatcher::AwaitThreadsEnd(uint32_t timeoutMs) const {
  const uint32_t start = platform::MillisecondClock();
  while (ThreadsActive) {
    if (platform::MillisecondClock() - start >= timeoutMs) return false;
    platform::SleepMs(1);
  }
  return true;
}

void TBaseDispatcher::SetDeviceError(int platformError) { lastDeviceError = platformError; }

int TBaseDispatcher::DeviceError() { return lastDeviceError; }

ErrorCode TBaseDispatcher::OpenPort(const std::string& devicePath, int32_t baud, uint8_t parity,
                                    uint8_t dataBits, uint8_t stopBits, uint32_t inSize,
                                    uint32_t outSize, uint32_t lineOptions) {
  // Opening twice would leak the open device and a second set of threads.
  if (ComHandle >= 0) return ecAlreadyOpen;

  RingSeen = false;
  InHandler = false;
  HandlersDeleted = false;
  {
    platform::SectionGuard guard(OutLock);
    OutBuffer.reset();
  }
  {
    platform::SectionGuard guard(InLock);
    InBuffer.reset();
  }

  DeviceEventSignal = std::make_unique<platform::Event>(false);
  EventDoneSignal = std::make_unique<platform::Event>(false);
  AckSignal = std::make_unique<platform::Event>(false);
  OutQueuedSignal = std::make_unique<platform::Event>(false);
  WriteDoneSignal = std::make_unique<platform::Event>(true);
  OutAbortSignal = std::make_unique<platform::Event>(false);
  OutWaitList = {OutQueuedSignal.get(), OutAbortSignal.get()};
  WriteWaitList = {WriteDoneSignal.get(), OutAbortSignal.get()};

  SetDeviceError(0);
  const int32_t handle = DeviceOpen(devicePath, inSize, outSize);
  if (handle < 0) {
    const ErrorCode code =
        handle == ecOutOfMemory ? ecOutOfMemory : NegatedDeviceError(DeviceError());
    ClosePort();
    return code;
  }
  ComHandle = handle;

  SetDeviceError(0);
  if (!DeviceSetup(inSize, outSize)) {
    const ErrorCode code = NegatedDeviceError(DeviceError());
    ClosePort();
    return code;
  }

  {
    platform::SectionGuard guard(OutLock);
    OutBuffer = std::make_unique<uint8_t[]>(outSize);
    OutHead = 0;
    OutTail = 0;
    OutBufferFull = false;
  }
  {
    platform::SectionGuard guard(InLock);
    InBuffer = std::make_unique<uint8_t[]>(InBufferSize);
    InHead = 0;
    InTail = 0;
    InBufferFull = false;
    InWritten = 0;
    ReadTimes.Clear();
    DeliveryGetCount = 0;
    ScanLapPending = false;
  }
  InQueueSize = inSize;
  OutQueueSize = outSize;
  {
    platform::SectionGuard guard(MainLock);
    LastError = 0;
  }
  OutputSentPending = false;
  ClosePending = false;
  RS485Mode = false;
  BaseAddress = 0;

  {
    platform::SectionGuard guard(MainLock);
    DeviceGetState(LineSettings);
  }
  if (lineOptions & loDtrFlow) {
    DTRAuto = true;
  } else {
    DTRAuto = false;
    SetDTR((lineOptions & loDtrOn) != 0);
  }
  if (lineOptions & loRtsFlow) {
    RTSAuto = true;
  } else {
    RTSAuto = false;
    SetRTS((lineOptions & loRtsOn) != 0);
  }

  ScanPos = 0;
  ClearTriggers();
  {
    platform::SectionGuard guard(InLock);
    InHead = 0;
    InTail = 0;
    InAvailDelivery = false;
  }
  LastAvailPos = 0;
  ResetStatusHits();
  {
    platform::SectionGuard guard(MainLock);
    ModemStatus = 0;
  }
  GetModemStatus(0xF0);
  {
    platform::SectionGuard guard(MainLock);
    LastBaud = 115200;
  }

  const ErrorCode lineResult = SetLine(baud, parity, dataBits, stopBits);
  if (lineResult != ecOK) {
    ClosePort();
    return lineResult;
  }

  RefreshLineErrors();
  {
    platform::SectionGuard guard(MainLock);
    Trace.Discard();
    TraceRecording = false;
    Log.SetStart(platform::MillisecondClock());
    Log.Discard();
  }

  StartThreads();
  return ecOK;
}

void TBaseDispatcher::ClosePort() {
  if (ComHandle >= 0) {
    DevicePurge(PurgeOutput);
    FlushInBuffer();
    DeviceClose();
  }
  if (InHandler) {
    // A handler is running (this call may come from inside it): the delivery still reads the
    // rings, so the device layer releases them when its dispatch thread ends.
    ClosePending = true;
  } else {
    ReleaseBuffers();
  }
}

void TBaseDispatcher::ReleaseBuffers() {
  if (ThreadsActive) StopThreads();
  // The main thread and the dispatch thread (ending a deferred close) may both get here; each
  // ring is freed and forgotten in one step under its own lock, so it is freed once. A ring is
  // freed only once the worker that uses it outside the lock has ended: the output thread
  // writes from the output ring, the dispatch thread reads into the input ring. When the
  // dispatch thread gets here while another thread is stopping the set, its own stop returns
  // at once and the output thread may still be writing: that thread's stop frees the ring
  // after the output thread has ended.
  if (OutThread == nullptr) {
    platform::SectionGuard guard(OutLock);
    OutBuffer.reset();
    OutHead = 0;
    OutTail = 0;
    OutBufferFull = false;
  }
  if (DispThread == nullptr) {
    platform::SectionGuard guard(InLock);
    InBuffer.reset();
    InHead = 0;
    InTail = 0;
    InBufferFull = false;
    InWritten = 0;
    ReadTimes.Clear();
  }
}

void TBaseDispatcher::SetThreadBoost(uint8_t boost) {
  if (boost == ThreadBoost) return;
  ThreadBoost = boost;
  if (ComThread != nullptr) ComThreadPriority = ThreadLevel(NormalThreadPriority, boost);
  if (DispThread != nullptr) DispThreadPriority = ThreadLevel(NormalThreadPriority, boost);
  if (OutThread != nullptr) {
    OutThreadPriority = ThreadLevel(NormalThreadPriority + (RS485Mode ? 1 : 0), boost);
  }
}

void TBaseDispatcher::SetRS485Mode(bool on) {
  platform::SectionGuard guard(MainLock);
  RS485Mode = on;
  // The output thread turns the line around after each write, so it runs one level higher
  // while RS-485 is on. Linux has no UART base address to look up: the driver switches RTS.
  if (OutThread != nullptr) {
    OutThreadPriority = ThreadLevel(NormalThreadPriority + (on ? 1 : 0), ThreadBoost);
  }
}

ErrorCode TBaseDispatcher::SetBufferSizes(uint32_t inSize, uint32_t outSize) {
  SetDeviceError(0);
  return DeviceSetup(inSize, outSize) ? ecOK : NegatedDeviceError(DeviceError());
}

}  // namespace talyx
