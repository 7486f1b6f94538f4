// The device layer's test harness: main-thread pump, window recorder, probe dispatcher, metered
// fake device, CPU time and test data.
#include "devlayer_harness.h"

#include <time.h>

#include <algorithm>
#include <chrono>

namespace talyx::testing {

MainThreadPump::MainThreadPump() : wake_(std::make_shared<platform::Event>(false)) {
  platform::BindMainThread();
  // The hook may still run on a worker after this object is gone: it keeps the event alive.
  platform::SetQueueWakeHook([wake = wake_] { wake->Set(); });
}

MainThreadPump::~MainThreadPump() { platform::SetQueueWakeHook(nullptr); }

bool MainThreadPump::Until(const std::function<bool()>& done, int64_t timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    if (!platform::PumpOneMessage()) platform::WaitForEvent(*wake_, 5);
  }
  return true;
}

WindowRecorder::WindowRecorder(TBaseDispatcher& dispatcher) : dispatcher_(dispatcher) {
  window_ = platform::CreateHiddenWindow(
      "DevLayerTestWindow",
      [this](platform::WindowHandle, uint32_t msg, platform::WParam first,
             platform::LParam second) { return Procedure(msg, first, second); });
}

WindowRecorder::~WindowRecorder() { platform::DestroyHiddenWindow(window_); }

void WindowRecorder::Register() {
  dispatcher_.RegisterWndTriggerHandler(window_);
  dispatcher_.UpdateHandlerFlags(1);
}

platform::LResult WindowRecorder::Procedure(uint32_t msg, platform::WParam first,
                                            platform::LParam second) {
  Message message{msg, first, second, {}};
  if (msg == TriggerAvailMsg && TakeOffered) {
    for (uint32_t i = 0; i < first; ++i) {
      uint8_t c;
      if (dispatcher_.GetChar(c) != ecOK) break;
      message.Bytes.push_back(static_cast<char>(c));
    }
  }
  Received += message.Bytes;
  Messages.push_back(message);
  if (Then) Then(Messages.back());
  return 0;
}

bool TProbeDispatcher::InRingAllocated() {
  platform::SectionGuard guard(InLock);
  return InBuffer != nullptr;
}

bool TProbeDispatcher::OutRingAllocated() {
  platform::SectionGuard guard(OutLock);
  return OutBuffer != nullptr;
}

TProbeDispatcher::OutRingState TProbeDispatcher::OutRing() {
  platform::SectionGuard guard(OutLock);
  return {OutHead, OutTail, OutBufferFull};
}

void MeteredDevice::Allow(size_t bytes) {
  std::lock_guard lock(meterMutex_);
  allowance_ += bytes;
  allowanceChanged_.notify_all();
}

std::vector<size_t> MeteredDevice::WriteSizes() const {
  std::lock_guard lock(meterMutex_);
  return writeSizes_;
}

platform::WriteOutcome MeteredDevice::Write(const uint8_t* data, size_t count) {
  std::lock_guard lock(meterMutex_);
  const size_t allowed = std::min(count, allowance_);
  if (allowed == 0) return {};
  const platform::WriteOutcome outcome = FakeSerialDevice::Write(data, allowed);
  allowance_ -= outcome.Written;
  if (outcome.Written > 0) writeSizes_.push_back(outcome.Written);
  return outcome;
}

bool MeteredDevice::WaitWritable(int timeoutMs) {
  std::unique_lock lock(meterMutex_);
  allowanceChanged_.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                             [this] { return allowance_ > 0; });
  return allowance_ > 0 && FakeSerialDevice::WaitWritable(0);
}

double ProcessCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

}  // namespace talyx::testing
