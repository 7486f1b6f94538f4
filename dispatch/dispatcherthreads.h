// TDispatcherThread and the three worker threads of an open port: TComThread, TDispThread and
// TOutThread.
//
// Principles of operation:
// - Each open port runs three threads that belong to its TWin32Dispatcher and live exactly as
//   long as the port is open. TComThread waits for device events and hands each one to the
//   dispatch thread; TDispThread reads the device into the input ring and runs the trigger checks
//   after every device event, at least every 50 ms, and at once again after a turn that read
//   bytes (so a stream keeps flowing even when the device does not report every arrival);
//   TOutThread drains the output ring.
// - The device-event and dispatch threads work in lock-step: one DeviceEventSignal per completed
//   device wait, one EventDoneSignal per handled event, so CurrentEvent is never overwritten while
//   the dispatch thread reads it.
// - Start and end. StartThreads counts all three threads in ThreadCount before the first starts,
//   and stores each reference before its platform thread starts, so a thread that ends at once
//   still finds its reference and the count cannot reach 0 while the set is still starting (which
//   would clear ThreadsActive under the feet of the threads still to come). Every thread sets
//   AckSignal when it has started. However its body ends, normally or by an exception (reported
//   on stderr), the thread then calls ThreadFinished, which clears its reference and, as the very
//   last thing the thread does with the dispatcher, counts it down. The thread object frees
//   itself after that.
// - No body waits without end once the port closes: StopThreads and DeviceClose end the device
//   wait (event mask 0) and set EventDoneSignal; StopThreads sets OutAbortSignal for the output
//   thread and DeviceEventSignal for the dispatch thread, whose wait is 50 ms at most anyway.
// - The signals a thread uses stay valid while its reference is set: StopThreads closes them only
//   after all three references are none, so a thread body reads the dispatcher's signal fields
//   directly.
#pragma once

#include <chrono>
#include <cstdint>

#include "dispatch/triggers.h"

namespace talyx {

class TWin32Dispatcher;

class TDispatcherThread {
 public:
  virtual ~TDispatcherThread() = default;
  TDispatcherThread(const TDispatcherThread&) = delete;
  TDispatcherThread& operator=(const TDispatcherThread&) = delete;

  // The owning dispatcher.
  TWin32Dispatcher* const Dispatcher;

  // The stored main-thread call (CallInMainThread).
  uint32_t CallMsg = 0;
  uint32_t CallTrigger = 0;
  uint32_t CallData = 0;
  TTriggerMethod CallHandler;

  // Starts the platform thread running the body. The caller has stored the reference and counted
  // the thread; false (and the object deleted) when no thread could be made.
  static bool Start(TDispatcherThread* thread);

  // Called on this worker thread: stores the four values and runs CallHandler(CallMsg,
  // CallTrigger, CallData) in the main thread, blocking until it has run. An exception the
  // handler throws is thrown again here.
  void CallInMainThread(uint32_t msg, uint32_t trigger, uint32_t data, TTriggerMethod handler);

  // The worker thread the calling thread is, or null on any other thread.
  static TDispatcherThread* Current();

 protected:
  explicit TDispatcherThread(TWin32Dispatcher* dispatcher) : Dispatcher(dispatcher) {}

  // The thread body; ThreadFinished follows it in every case.
  virtual void Execute() = 0;
  // The thread's name in reports.
  virtual const char* Name() const = 0;

 private:
  void Run();
};

// Waits for device events and hands each to the dispatch thread. Ends when the device wait fails
// (the device closed or went away) or the threads are asked to stop.
class TComThread : public TDispatcherThread {
 public:
  explicit TComThread(TWin32Dispatcher* dispatcher) : TDispatcherThread(dispatcher) {}

 protected:
  void Execute() override;
  const char* Name() const override { return "device-event"; }
};

// Reads the device and runs the trigger checks after each device event, at least every 50 ms, and
// again without waiting for an event after a turn that read bytes. When it ends because the port
// is closing, its ThreadFinished releases the rings.
//
// Gathering: while bytes stream in at GatherFromBytesPerMs or faster, a turn that read fewer
// than GatherTargetBytes is followed by the next one only once the stream has had time to bring
// that many at its rate, and never more than GatherMostMicroseconds after the turn began. A fast
// line that brings small chunks is then read and offered to the handlers several chunks at a
// time, instead of costing a hand-off to the main thread and back per chunk. Slower traffic, a
// lone reply after a quiet moment and a turn that read enough already go on at once.
// The stream's rate is that of its run of reading turns (each starting less than
// GatherRateSpanUs after the one before was due to), once the run is GatherRateSpanUs old: the
// bytes its later turns read over the time since its first began (the first turn's bytes came
// before it, at an unknown pace). Two reads that happen to fall close together, or a few bytes a
// device hands over at once, say nothing of the line's rate, and a reply trickling in from a
// slower line must not wait for bytes that will not come.
// The bound is two display frames: a window writes a read that comes a frame or more after its
// last write at once, and reads that come faster in pairs, so a stream shows within about two
// frames of reaching the driver either way, and a 921600 baud line costs one hand-off and one
// write of the view per two frames. The target is three quarters of the terminal layer's 4 KB
// read buffer: a faster line is read with a quarter of it, over 3 ms at 300 KB/s, still free.
class TDispThread : public TDispatcherThread {
 public:
  // The longest wait for a device event before the dispatch thread reads and polls anyway.
  static constexpr int64_t PollIntervalMs = 50;
  static constexpr uint64_t GatherFromBytesPerMs = 32;
  static constexpr uint64_t GatherTargetBytes = 3072;
  static constexpr int64_t GatherMostMicroseconds = 32000;
  static constexpr int64_t GatherRateSpanUs = 1000;

  // How long after its start the turn that read `bytes` is followed by the next, when it belongs
  // to a run of reading turns that began `sinceRunStart` earlier and whose turns after the first
  // read `runBytes` (this turn's included); zero for at once.
  static std::chrono::microseconds GatherPause(uint64_t bytes, uint64_t runBytes,
                                               std::chrono::microseconds sinceRunStart);

  explicit TDispThread(TWin32Dispatcher* dispatcher) : TDispatcherThread(dispatcher) {}

 protected:
  void Execute() override;
  const char* Name() const override { return "dispatch"; }
};

// Drains the output ring into the device whenever bytes are queued; acknowledges purges.
class TOutThread : public TDispatcherThread {
 public:
  explicit TOutThread(TWin32Dispatcher* dispatcher) : TDispatcherThread(dispatcher) {}

 protected:
  void Execute() override;
  const char* Name() const override { return "output"; }
};

}  // namespace talyx
