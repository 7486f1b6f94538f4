// The worker threads' start, end and bodies: TDispatcherThread, TComThread, TDispThread,
// TOutThread.
#include "dispatch/dispatcherthreads.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <system_error>
#include <thread>

#include "dispatch/devlayer.h"
#include "platform/messagequeue.h"

namespace talyx {

namespace {

thread_local TDispatcherThread* currentThread = nullptr;

}  // namespace

bool TDispatcherThread::Start(TDispatcherThread* thread) {
  try {
    std::thread(&TDispatcherThread::Run, thread).detach();
    return true;
  } catch (const std::system_error& e) {
    std::fprintf(stderr, "TALYX: the %s thread could not be started: %s\n", thread->Name(),
                 e.what());
    delete thread;
    return false;
  }
}

TDispatcherThread* TDispatcherThread::Current() { return currentThread; }

void TDispatcherThread::Run() {
  currentThread = this;
  try {
    Execute();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "TALYX: the %s thread ended by an exception: %s\n", Name(), e.what());
  } catch (...) {
    std::fprintf(stderr, "TALYX: the %s thread ended by an exception\n", Name());
  }
  // After ThreadFinished the dispatcher may be gone; only this object is left to free.
  Dispatcher->ThreadFinished(this);
  currentThread = nullptr;
  delete this;
}

void TDispatcherThread::CallInMainThread(uint32_t msg, uint32_t trigger, uint32_t data,
                                         TTriggerMethod handler) {
  CallMsg = msg;
  CallTrigger = trigger;
  CallData = data;
  CallHandler = handler;
  platform::CallInMainThread([this] {
    CallHandler(CallMsg, static_cast<platform::WParam>(CallTrigger),
                static_cast<platform::LParam>(CallData));
  });
}

void TComThread::Execute() {
  TWin32Dispatcher& d = *Dispatcher;
  d.Device->SetEventMask(platform::EventMaskNT);
  d.AckSignal->Set();
  do {
    uint32_t events = 0;
    if (!d.DeviceWaitEvent(events)) {
      // The device failed, went away or was closed: no further event can come. The other
      // threads go on at their own pace until the port is closed.
      d.AckSignal->Set();
      return;
    }
    if (events & platform::EvRing) d.RingSeen = true;
    if (d.ThreadsStopping) {
      d.AckSignal->Set();
      return;
    }
    d.CurrentEvent = events;
    d.DeviceEventSignal->Set();
    // The next wait starts only once the dispatch thread has handled this event.
    platform::WaitForEvent(*d.EventDoneSignal, platform::Infinite);
  } while (!d.ThreadsStopping);
  d.AckSignal->Set();
}

void TDispThread::Execute() {
  TWin32Dispatcher& d = *Dispatcher;
  // However the body ends, the rings are released on the way out when the port is closing.
  struct ReleaseWhenClosing {
    TWin32Dispatcher& d;
    ~ReleaseWhenClosing() { d.ReleaseOnThreadExit = d.ClosePending || d.ThreadsStopping; }
  } releaseWhenClosing{d};

  d.AckSignal->Set();
  bool lookAgain = false;
  bool lossReported = false;
  using Clock = std::chrono::steady_clock;
  Clock::time_point runStart{};  // the start of the first turn of the run of reading turns
  Clock::time_point runEnds{};   // a reading turn that starts later begins a new run
  uint64_t runBytes = 0;         // what the run's later turns read
  Clock::time_point nextTurn{};
  for (;;) {
    if (lookAgain && nextTurn > Clock::now()) std::this_thread::sleep_until(nextTurn);
    // After a turn that read bytes the next turn starts without waiting for an event: while the
    // turn read and delivered, more bytes may have come, and a device that reports received data
    // by a change of its input count cannot tell them apart when the count is the same as
    // before. A turn that reads nothing ends this, so bytes the input ring cannot take never keep
    // the thread busy.
    const int woken = platform::WaitForEvent(*d.DeviceEventSignal, lookAgain ? 0 : PollIntervalMs);
    if (d.ThreadsStopping) return;
    const auto turnStart = Clock::now();
    const uint64_t bytesBefore = d.bytesRead_;
    if (woken == 0) {
      d.HandleDeviceEvent();
    } else {
      // A quiet turn scans and offers as well: no device event may come for bytes it reads, an
      // offer the handlers never received is made again, and a full ring is offered each turn.
      d.ExtractData();
      d.ScanReceivedData();
    }
    d.PollTriggers();
    if (!lossReported && d.Device->HasGone()) {
      // The device went away during or after this turn: what the driver still gave is read and
      // offered first, so the loss comes after every byte read before it.
      d.ExtractData();
      d.ScanReceivedData();
      if (d.ThreadsStopping || d.ClosePending) break;
      d.ReportDeviceLost();
      lossReported = true;
    }
    const uint64_t bytesThisTurn = d.bytesRead_ - bytesBefore;
    lookAgain = bytesThisTurn != 0;
    if (lookAgain) {
      if (turnStart > runEnds) {
        runStart = turnStart;
        runBytes = 0;
      } else {
        runBytes += bytesThisTurn;
      }
      const auto sinceRunStart =
          std::chrono::duration_cast<std::chrono::microseconds>(turnStart - runStart);
      nextTurn = turnStart + GatherPause(bytesThisTurn, runBytes, sinceRunStart);
      // The run goes on while reads follow each other, a gathering pause counted as no gap.
      runEnds = nextTurn + std::chrono::microseconds(GatherRateSpanUs);
    }
    if (d.ThreadsStopping || d.ClosePending) break;
  }
  d.AckSignal->Set();
}

std::chrono::microseconds TDispThread::GatherPause(uint64_t bytes, uint64_t runBytes,
                                                   std::chrono::microseconds sinceRunStart) {
  const auto since = static_cast<uint64_t>(std::max<int64_t>(sinceRunStart.count(), 0));
  // No rate known yet, slower than the gathering rate (the run's bytes * 1000 against rate *
  // microseconds, so nothing is divided by a zero count), or enough read already: at once.
  if (bytes == 0 || bytes >= GatherTargetBytes || since < GatherRateSpanUs ||
      runBytes * 1000 < GatherFromBytesPerMs * since) {
    return std::chrono::microseconds(0);
  }
  // The time the stream takes to bring the target at the rate of its run.
  const uint64_t pause = GatherTargetBytes * since / runBytes;
  return std::chrono::microseconds(
      std::min<uint64_t>(pause, static_cast<uint64_t>(GatherMostMicroseconds)));
}

void TOutThread::Execute() {
  TWin32Dispatcher& d = *Dispatcher;
  d.AckSignal->Set();
  do {
    const int woken = platform::WaitForEvents(d.OutWaitList, platform::Infinite);
    if (woken == 0) {
      // Stopping: what is still queued is not written.
      if (d.ThreadsStopping) return;
      d.DrainOutput();
    } else if (woken == 1) {
      d.AcknowledgeAbort();
    }
  } while (!d.ThreadsStopping && !d.ClosePending);
}

}  // namespace talyx
