// Test harness for the device layer: the test thread as main thread, a window trigger handler,
// a dispatcher whose thread and ring state can be looked at, a metered fake device, CPU time.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dispatch/devlayer.h"
#include "platform/event.h"
#include "platform/messagequeue.h"
#include "support/fakeserialdevice.h"
#include "support/pseudorandom.h"

namespace talyx::testing {

// Binds the test thread as the main thread and pumps its queue while waiting for a condition.
// Between pumps it sleeps until something is queued (the queue's wake hook) or 5 ms passed.
class MainThreadPump {
 public:
  MainThreadPump();
  ~MainThreadPump();
  MainThreadPump(const MainThreadPump&) = delete;
  MainThreadPump& operator=(const MainThreadPump&) = delete;

  // Pumps until done() holds; false when timeoutMs passed first.
  bool Until(const std::function<bool()>& done, int64_t timeoutMs = 10000);

 private:
  std::shared_ptr<platform::Event> wake_;
};

// A hidden window registered as a dispatcher's port window (RegisterWndTriggerHandler and
// UpdateHandlerFlags(1)). Its procedure runs on the main thread, records every trigger message
// and, on an available-data message, takes the offered bytes with GetChar.
class WindowRecorder {
 public:
  struct Message {
    uint32_t Msg = 0;
    uint32_t First = 0;
    platform::LParam Second = 0;
    std::string Bytes;  // the bytes taken while handling it
  };

  explicit WindowRecorder(TBaseDispatcher& dispatcher);
  ~WindowRecorder();
  WindowRecorder(const WindowRecorder&) = delete;
  WindowRecorder& operator=(const WindowRecorder&) = delete;

  platform::WindowHandle Window() const { return window_; }
  void Register();

  // Take the offered bytes on available-data messages (otherwise take nothing).
  bool TakeOffered = true;
  // Runs inside the procedure after the message is recorded.
  std::function<void(const Message&)> Then;
  std::vector<Message> Messages;
  std::string Received;  // every byte taken, in order

 private:
  platform::LResult Procedure(uint32_t msg, platform::WParam first, platform::LParam second);

  TBaseDispatcher& dispatcher_;
  platform::WindowHandle window_ = 0;
};

// A TWin32Dispatcher whose thread set and rings tests can look at.
class TProbeDispatcher : public TWin32Dispatcher {
 public:
  explicit TProbeDispatcher(std::unique_ptr<platform::SerialDevice> device = nullptr)
      : TWin32Dispatcher(nullptr, std::move(device)) {}
  ~TProbeDispatcher() override { Destroy(); }

  // The limit of a window send: tests stand for a busy main thread in fractions of a second.
  void LimitWindowSends(uint32_t ms) { WindowSendLimitMs = ms; }
  bool ThreadsRunning() const { return ThreadsActive; }
  int32_t ThreadsCounted() const { return ThreadCount; }
  bool ComThreadRunning() const { return ComThread != nullptr; }
  bool DispThreadRunning() const { return DispThread != nullptr; }
  bool OutThreadRunning() const { return OutThread != nullptr; }
  bool ClosePendingSet() const { return ClosePending; }
  bool InRingAllocated();
  bool OutRingAllocated();
  struct OutRingState {
    uint32_t Head, Tail;
    bool Full;
  };
  OutRingState OutRing();
};

// A fake device that accepts only as many bytes as the test allows, and records the size of
// every write that took bytes. With no allowance left it behaves as a stalled drain.
class MeteredDevice : public FakeSerialDevice {
 public:
  void Allow(size_t bytes);
  std::vector<size_t> WriteSizes() const;

  platform::WriteOutcome Write(const uint8_t* data, size_t count) override;
  bool WaitWritable(int timeoutMs) override;

 private:
  mutable std::mutex meterMutex_;
  std::condition_variable allowanceChanged_;
  size_t allowance_ = 0;
  std::vector<size_t> writeSizes_;
};

// CPU time the whole process has used, in milliseconds.
double ProcessCpuMs();

}  // namespace talyx::testing
