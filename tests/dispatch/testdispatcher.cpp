// TTestDispatcher: the device operations over FakeSerialDevice, and the stand-in output thread.
#include "testdispatcher.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace talyx::testing {

namespace {

std::unique_ptr<FakeSerialDevice> NewFake(FakeSerialDevice*& keep) {
  auto fake = std::make_unique<FakeSerialDevice>();
  keep = fake.get();
  return fake;
}

// Any pointer value will do: the base class only looks at whether a thread reference is set.
TDispatcherThread* PresentThread() {
  static int marker;
  return reinterpret_cast<TDispatcherThread*>(&marker);
}

}  // namespace

TTestDispatcher::TTestDispatcher() : TBaseDispatcher(nullptr, NewFake(fake_)) {}

TTestDispatcher::~TTestDispatcher() { Destroy(); }

ErrorCode TTestDispatcher::OpenDefault(uint32_t outSize) {
  return OpenPort("/fake/ttyS0", 9600, platform::NoParity, 8, 1, 4096, outSize, loDtrOn | loRtsOn);
}

void TTestDispatcher::Receive(const std::string& bytes) {
  fake_->FeedInput(bytes);
  ExtractData();
}

void TTestDispatcher::PretendThreads(bool present) {
  TDispatcherThread* thread = present ? PresentThread() : nullptr;
  ComThread = thread;
  DispThread = thread;
  OutThread = thread;
}

uint32_t TTestDispatcher::DrainOutput(uint32_t maxBytes) {
  uint32_t total = 0;
  while (total < maxBytes) {
    std::vector<uint8_t> run;
    {
      platform::SectionGuard guard(OutLock);
      if (OutBuffer == nullptr || (!OutBufferFull && OutHead == OutTail)) break;
      const uint32_t count = OutHead > OutTail ? OutHead - OutTail : OutQueueSize - OutTail;
      run.assign(OutBuffer.get() + OutTail,
                 OutBuffer.get() + OutTail + std::min(count, maxBytes - total));
    }
    const platform::WriteOutcome outcome = fake_->Write(run.data(), run.size());
    if (outcome.Written == 0) break;
    platform::SectionGuard guard(OutLock);
    OutTail += static_cast<uint32_t>(outcome.Written);
    if (OutTail == OutQueueSize) OutTail = 0;
    if (OutTail == OutHead) {
      OutTail = 0;
      OutHead = 0;
    }
    OutBufferFull = false;
    total += static_cast<uint32_t>(outcome.Written);
  }
  return total;
}

ErrorCode TTestDispatcher::DeviceEscape(int32_t function) {
  const int error = Device->Escape(function);
  return error != 0 ? -error : ecOK;
}

ErrorCode TTestDispatcher::DevicePurge(int32_t queue) {
  if (queue == PurgeOutput) {
    platform::SectionGuard guard(OutLock);
    OutHead = 0;
    OutTail = 0;
    OutBufferFull = false;
    const int error = Device->Purge(platform::PurgeQueue::Output);
    return error != 0 ? -error : ecOK;
  }
  const int error = Device->Purge(platform::PurgeQueue::Input);
  return error != 0 ? -error : ecOK;
}

uint32_t TTestDispatcher::DeviceErrors(TComStatus& status) {
  platform::DeviceStatus device;
  const bool ok = Device->ClearErrors(device) == 0;
  status.Flags = 0;
  status.InQueue = ok ? device.InQueue : 0;
  platform::SectionGuard guard(OutLock);
  status.OutQueue = OutRingUsed();
  return ok ? device.Errors : 0;
}

ErrorCode TTestDispatcher::DeviceReadFailed(uint32_t) {
  ++readFailedCalls_;
  return ecOK;
}

ErrorCode TTestDispatcher::DeviceGetState(platform::LineSettings& settings) {
  return Device->GetState(settings) == 0 ? ecOK : -1;
}

int32_t TTestDispatcher::DeviceRead(uint8_t* buffer, uint32_t count) {
  return static_cast<int32_t>(Device->Read(buffer, count));
}

ErrorCode TTestDispatcher::DeviceSetState(const platform::LineSettings& settings) {
  const int error = Device->SetState(settings);
  return error != 0 ? -error : ecOK;
}

int32_t TTestDispatcher::DeviceWrite(const uint8_t* buffer, uint32_t count) {
  if (writeLimit_ < 0) return writeLimit_;
  const uint32_t accepted = std::min<uint32_t>(count, static_cast<uint32_t>(writeLimit_));
  {
    platform::SectionGuard guard(OutLock);
    CopyIntoOutRing(buffer, accepted);
  }
  if (OutQueuedSignal != nullptr) OutQueuedSignal->Set();
  return static_cast<int32_t>(accepted);
}

bool TTestDispatcher::DeviceWaitEvent(uint32_t& mask) { return Device->WaitEvent(mask); }

bool TTestDispatcher::DeviceSetup(uint32_t, uint32_t) {
  if (setupError_ == 0) return true;
  SetDeviceError(setupError_);
  return false;
}

void TTestDispatcher::StartThreads() { ++startThreadsCalls_; }

void TTestDispatcher::StopThreads() {}

int32_t TTestDispatcher::DeviceOpen(const std::string& deviceName, uint32_t, uint32_t) {
  if (openResult_ != 0) return openResult_;
  const int error = Device->Open(deviceName);
  if (error != 0) {
    SetDeviceError(error);
    return -1;
  }
  return 3;
}

ErrorCode TTestDispatcher::DeviceClose() {
  Device->Close();
  ComHandle = -1;
  return ecOK;
}

ErrorCode TTestDispatcher::DeviceIdle() { return ecOK; }

}  // namespace talyx::testing
