// TWin32Dispatcher's thread set: StartThreads, StopThreads, ThreadFinished and DeviceClose, which
// asks the threads to stop.
#include <cstdio>
#include <exception>
#include <vector>

#include "dispatch/devlayer.h"
#include "errors/exception.h"
#include "platform/messagequeue.h"

namespace talyx {

platform::Event* TWin32Dispatcher::Signal(const std::unique_ptr<platform::Event>& field) {
  std::lock_guard lock(signalLock_);
  return field.get();
}

template <typename Thread>
void TWin32Dispatcher::LaunchThread(std::atomic<TDispatcherThread*>& reference) {
  auto* thread = new Thread(this);
  // Registered before it runs: a thread that ends at once still finds its reference.
  reference = thread;
  if (!TDispatcherThread::Start(thread)) {
    reference = nullptr;
    CountThreadDown();
    return;
  }
  // A thread that does not acknowledge its start in time is no failure: start-up goes on.
  if (platform::Event* ack = Signal(AckSignal)) platform::WaitForEvent(*ack, StartAckTimeoutMs);
}

void TWin32Dispatcher::StartThreads() {
  platform::SectionGuard serial(startStopLock_);
  {
    platform::SectionGuard guard(MainLock);
    if (ThreadsActive) throw Exception("Dispatcher already started");
    {
      std::lock_guard lock(signalLock_);
      // Without the signals OpenPort creates, no thread could wait or be woken.
      if (!DeviceEventSignal || !EventDoneSignal || !AckSignal || !OutQueuedSignal ||
          !WriteDoneSignal || !OutAbortSignal) {
        return;
      }
      // No thread of an earlier run is left (ThreadsActive is false), so nothing can still use
      // the signals it retired.
      retiredSignals_.clear();
    }
    ThreadsActive = true;
    ThreadsStopping = false;
  }
  // All three are counted before the first starts, so a thread that ends at once cannot bring
  // the count to 0 (and clear ThreadsActive) while the others are still being started.
  ThreadCount += 3;
  LaunchThread<TComThread>(ComThread);
  LaunchThread<TDispThread>(DispThread);
  LaunchThread<TOutThread>(OutThread);
}

void TWin32Dispatcher::PumpOrWait() {
  // A worker may be blocked handing a call to the main thread; when this is the main thread it
  // keeps running those hand-offs, and sleeps briefly between looks instead of spinning. A
  // window procedure's exception cannot be handed to anyone here: it is reported.
  bool ran = false;
  try {
    ran = platform::PumpOneMessage();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "TALYX: a window procedure failed while a port closed: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "TALYX: a window procedure failed while a port closed\n");
  }
  if (!ran) platform::WaitForEvent(threadEnded_, ThreadEndPollMs);
}

void TWin32Dispatcher::AwaitThreadEnd(const std::atomic<TDispatcherThread*>& reference) {
  while (reference != nullptr && reference != TDispatcherThread::Current()) PumpOrWait();
}

void TWin32Dispatcher::RetireSignals() {
  std::lock_guard lock(signalLock_);
  for (auto* field : {&DeviceEventSignal, &EventDoneSignal, &AckSignal, &OutQueuedSignal,
                      &WriteDoneSignal, &OutAbortSignal}) {
    if (*field != nullptr) retiredSignals_.push_back(std::move(*field));
  }
  OutWaitList = {};
  WriteWaitList = {};
}

void TWin32Dispatcher::AwaitAllThreadsFinished() {
  while (ThreadCount > 0) PumpOrWait();
}

void TWin32Dispatcher::StopThreads() {
  TDispatcherThread* const worker = TDispatcherThread::Current();
  std::unique_lock<platform::CriticalSection> serial(startStopLock_, std::defer_lock);
  if (worker == nullptr) {
    serial.lock();
  } else if (!serial.try_lock()) {
    // The dispatch thread finishing a close while another thread stops the set: that thread
    // waits for this one to finish, so this one must not wait for it.
    return;
  }
  {
    platform::SectionGuard guard(MainLock);
    if (!ThreadsActive) return;
    ThreadsStopping = true;
  }
  // The waits below run without MainLock: the workers take it for trigger checks and deliveries.
  if (OutThread != nullptr) {
    if (platform::Event* abort = Signal(OutAbortSignal)) abort->Set();
    AwaitThreadEnd(OutThread);
  }
  if (ComThread != nullptr) {
    Device->SetEventMask(0);
    if (platform::Event* done = Signal(EventDoneSignal)) done->Set();
    if (platform::Event* ack = Signal(AckSignal)) ack->Reset();
    AwaitThreadEnd(ComThread);
  }
  // The dispatch thread looks at ThreadsStopping as soon as it wakes: no need to wait out its
  // quiet interval.
  if (DispThread != nullptr) {
    if (platform::Event* deviceEvent = Signal(DeviceEventSignal)) deviceEvent->Set();
  }
  AwaitThreadEnd(DispThread);
  // Outside the set, the stop ends only when every thread has finished, so ThreadsActive is
  // clear and the port can open again at once. A worker cannot wait for its own count.
  if (worker == nullptr) AwaitAllThreadsFinished();
  RetireSignals();
  // A closed device's descriptor goes once no worker can use it; a worker finishing a deferred
  // close leaves that to the dispatcher's owner thread.
  if (worker == nullptr && !Device->IsOpen()) Device->Release();
}

void TWin32Dispatcher::ScanReceivedData() {
  if (InHandler) return;
  while (CheckDataTriggers() && !ClosePending) {
  }
}

void TWin32Dispatcher::ReportDeviceLost() {
  std::vector<platform::WindowHandle> windows;
  {
    platform::SectionGuard guard(MainLock);
    for (const TWndTriggerHandler& handler : WndTriggerHandlers) {
      if (!handler.Deleted) windows.push_back(handler.Window);
    }
  }
  const auto second = static_cast<platform::LParam>(static_cast<uint32_t>(Handle) << 16);
  for (platform::WindowHandle window : windows) {
    platform::PostMessage(window, DeviceLostMsg, 0, second);
  }
}

void TWin32Dispatcher::ThreadFinished(TDispatcherThread* thread) {
  bool dispatchThread = false;
  for (auto* reference : {&ComThread, &OutThread, &DispThread}) {
    TDispatcherThread* expected = thread;
    if (reference->compare_exchange_strong(expected, nullptr) && reference == &DispThread) {
      dispatchThread = true;
    }
  }
  threadEnded_.Set();
  if (dispatchThread && ReleaseOnThreadExit) {
    try {
      ReleaseBuffers();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "TALYX: releasing a closed port's buffers failed: %s\n", e.what());
    } catch (...) {
      std::fprintf(stderr, "TALYX: releasing a closed port's buffers failed\n");
    }
    ReleaseOnThreadExit = false;
  }
  CountThreadDown();
}

void TWin32Dispatcher::CountThreadDown() {
  // Once the count is 0 the dispatcher may be destroyed, so the last thread clears ThreadsActive
  // before its own decrement. A StartThreads that finds the flag clear counts its new threads up
  // meanwhile, which only makes this decrement retry.
  int32_t count = ThreadCount;
  for (;;) {
    if (count == 1) ThreadsActive = false;
    if (ThreadCount.compare_exchange_weak(count, count - 1)) return;
  }
}

ErrorCode TWin32Dispatcher::DeviceClose() {
  if (ThreadsActive) {
    ThreadsStopping = true;
    Device->SetEventMask(0);
    if (platform::Event* done = Signal(EventDoneSignal)) done->Set();
    if (platform::Event* ack = Signal(AckSignal)) ack->Reset();
  }
  // Close ends every wait on the device at once but keeps the descriptor, so a worker that still
  // holds it never touches a descriptor number the process has reused.
  if (Device->Close() != 0) return -1;
  ComHandle = -1;
  if (!ThreadsActive && TDispatcherThread::Current() == nullptr) Device->Release();
  return ecOK;
}

}  // namespace talyx
