// TWin32Dispatcher and TTapi32Dispatcher: the device layer under TBaseDispatcher, with the port's
// three worker threads.
//
// Principles of operation:
// - TWin32Dispatcher implements the dispatcher's device operations over a platform::SerialDevice
//   and runs the worker threads of dispatcherthreads.h. Each open takes its device from the
//   device-provider registry (platform/deviceproviders.h), for the device name it is given,
//   unless the dispatcher's creator handed it a device, which then serves every open. Linux
//   counts as the NT family: the event mask is 0x01F9, there is no ring trailing edge and no
//   UART polling, and RS-485 direction is left to the driver.
// - Threads. The main thread opens and closes the port (OpenPort, ClosePort, Destroy), queues
//   output (DeviceWrite, through PutBlock), purges and changes the line. The device-event thread
//   only calls DeviceWaitEvent. The dispatch thread reads (DeviceErrors, DeviceRead) and runs the
//   handlers; when a close was asked for from inside a handler, its ThreadFinished finishes the
//   close (ReleaseBuffers, and through it StopThreads). The output thread runs DrainOutput.
// - Locks. OutLock guards the output ring and its purge generation; DrainOutput holds it only to
//   choose a run and to advance, never across a device write. MainLock is held only for the
//   thread flags: no wait for a worker happens with it held by this layer, so StopThreads must
//   not be called by a thread that holds MainLock itself. startStopLock_ serialises StartThreads
//   and StopThreads. The only worker that stops the set, the dispatch thread finishing a close,
//   only tries to take it, after clearing its own reference: when another thread holds it, that
//   thread is stopping the set and waits for this one, which then leaves the stop to it.
//   signalLock_, a leaf lock, guards the six signal fields for callers that are not workers.
// - A device that goes away (HasGone) is reported once per open by the dispatch thread, after
//   one more read and offer of what the driver still holds: DeviceLostMsg is posted to the
//   window handlers, whose owner closes the port. The threads keep their quiet pace until then.
// - A stop made outside the thread set returns only when every thread has finished (ThreadCount
//   0), pumping the caller's messages meanwhile, so ThreadsActive is clear afterwards.
// - Output purge hand-over. DevicePurge(0) asks the output thread to stop writing
//   (OutAbortSignal) and clears the ring only after the thread has acknowledged that request:
//   the thread acknowledges only where it is not inside a write, and an acknowledgement counts
//   only for the requests made before it, so a stale AckSignal from another thread cannot let a
//   purge through. The output thread looks for a request between any two writes, so a purge
//   ends after at most one write however willingly the device takes bytes, and it chooses no
//   new run from the time of a request until that purge has cleared the ring, so nothing queued
//   before a purge is written after it returns. Each purge also moves the ring to a new
//   generation, and the output thread advances the ring only within the generation it chose its
//   run in.
// - Lifetime. The destructor calls Destroy first, which waits until ThreadCount is 0. The signals
//   StopThreads closes are retired, not freed, until the next StartThreads or the end of the
//   dispatcher, so a late caller holding one never touches freed memory. The device's
//   descriptor is released only once no worker thread can use it: by StopThreads on a thread
//   other than a worker after all three have ended, by DeviceClose when no thread runs, before a
//   new open, or at destruction.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dispatch/dispatcher.h"
#include "dispatch/dispatcherthreads.h"
#include "platform/criticalsection.h"
#include "platform/event.h"
#include "platform/serialdevice.h"

namespace talyx {

class TWin32Dispatcher : public TBaseDispatcher {
 public:
  // Without a device, each open asks the provider registry for one; until the first open the
  // dispatcher holds a closed TermiosSerialDevice (which the telephony variant adopts into).
  explicit TWin32Dispatcher(TCustomComPort* owner,
                            std::unique_ptr<platform::SerialDevice> device = nullptr);
  ~TWin32Dispatcher() override;

  // Always 0: a modem line the device lacks is no failure.
  ErrorCode DeviceEscape(int32_t function) override;
  // Output (0) while the output thread runs: stops its writing, then clears the ring and the
  // driver's output. Otherwise the driver's input is cleared. 0 or the negated platform error.
  ErrorCode DevicePurge(int32_t queue) override;
  uint32_t DeviceErrors(TComStatus& status) override;
  ErrorCode DeviceReadFailed(uint32_t mask) override;
  ErrorCode DeviceGetState(platform::LineSettings& settings) override;
  // Bytes read; 0 when nothing waits or the read failed.
  int32_t DeviceRead(uint8_t* buffer, uint32_t count) override;
  ErrorCode DeviceSetState(const platform::LineSettings& settings) override;
  // Copies the bytes into the output ring (split at its end) and wakes the output thread.
  int32_t DeviceWrite(const uint8_t* buffer, uint32_t count) override;
  // Blocks until a device event; false when the device failed, went away or was closed.
  bool DeviceWaitEvent(uint32_t& mask) override;
  // Linux has no driver queues to size: true while the device is open.
  bool DeviceSetup(uint32_t inSize, uint32_t outSize) override;
  // Raises "Dispatcher already started" (talyx::Exception) while the threads run.
  void StartThreads() override;
  void StopThreads() override;
  // Opens the device exclusively: 0, -1 with the platform error recorded, or -8.
  int32_t DeviceOpen(const std::string& deviceName, uint32_t inSize, uint32_t outSize) override;
  ErrorCode DeviceClose() override;
  ErrorCode DeviceIdle() override;

  // Worker threads: the last step of every thread body (see dispatcherthreads.h).
  void ThreadFinished(TDispatcherThread* thread);
  // Output thread: writes what the output ring holds until it is empty or a purge or stop asks
  // the thread to stop writing.
  void DrainOutput();

 protected:
  // The signal a field holds, or null once StopThreads closed it; for callers that are not
  // worker threads.
  platform::Event* Signal(const std::unique_ptr<platform::Event>& field);

 private:
  friend class TComThread;
  friend class TDispThread;
  friend class TOutThread;

  // How long the output thread waits for the device to take bytes before it looks for a purge
  // or stop request again.
  static constexpr int WritablePollMs = 20;
  // Between two looks at a worker's reference, StopThreads and DevicePurge wait this long for
  // its end or acknowledgement (a stop also pumps the caller's messages between looks).
  static constexpr int64_t ThreadEndPollMs = 2;
  static constexpr int64_t PurgeAckPollMs = 20;
  static constexpr int64_t StartAckTimeoutMs = 3000;

  // The public constructor's work, with handed (the creator gave a device) worked out before the
  // device moves into the base class.
  TWin32Dispatcher(TCustomComPort* owner, std::unique_ptr<platform::SerialDevice>&& device,
                   bool handed);

  // The handed device's Open, or the device the registry's provider opened for the name put
  // in place of the last one; 0 or a platform error number.
  int OpenNamedDevice(const std::string& deviceName);

  // Creates, registers and starts one counted worker, then waits for its start acknowledgement.
  template <typename Thread>
  void LaunchThread(std::atomic<TDispatcherThread*>& reference);
  // Takes one thread off ThreadCount, as the last thing that thread does with the dispatcher.
  void CountThreadDown();
  // Runs one message queued for the calling thread, or waits briefly for a thread to end.
  void PumpOrWait();
  // Waits until the reference is none, pumping the calling thread's messages meanwhile.
  void AwaitThreadEnd(const std::atomic<TDispatcherThread*>& reference);
  // Closes the six signals: they become null and stay allocated until no thread can use them.
  void RetireSignals();
  // Output thread: the purge or stop request it found is acknowledged.
  void AcknowledgeAbort();
  // Under OutLock: the run to write from OutTail, made contiguous first when it wraps.
  uint32_t ChooseOutputRun();
  // Advances the output ring by n written (or dropped) bytes, unless it was purged meanwhile.
  void AdvanceOutput(uint32_t n, uint64_t generation);
  // Output thread, after a write that the device refused for now: waits until the device can
  // take bytes. False when a purge or stop request came (it is acknowledged).
  bool AwaitWritable();
  // Dispatch thread, on a quiet turn after its ExtractData: scans new bytes for data triggers
  // and offers unread bytes, as a received-data event would (a withdrawn offer again, a full
  // ring on every turn).
  void ScanReceivedData();
  // Waits until every thread of the set has finished (ThreadCount 0), pumping meanwhile.
  void AwaitAllThreadsFinished();
  // Dispatch thread, once the device has gone: posts DeviceLostMsg to every window handler.
  void ReportDeviceLost();

  // The creator handed the device: every open opens it, and the registry is not asked.
  const bool deviceHanded_;

  platform::CriticalSection startStopLock_;
  std::mutex signalLock_;
  std::vector<std::unique_ptr<platform::Event>> retiredSignals_;  // signalLock_
  // Set by every thread as it ends, so that the stop's waits end early.
  platform::Event threadEnded_{false};

  // Bytes read from the device so far. A dispatch turn that read bytes is followed by another
  // turn without waiting for a device event (see dispatcherthreads.h), since more may have
  // arrived meanwhile.
  std::atomic<uint64_t> bytesRead_{0};

  uint64_t outGeneration_ = 0;  // OutLock
  // The latest purge request whose ring clearing is done; the output thread chooses no run while
  // a later request waits for its clearing.
  uint64_t purgesDone_ = 0;  // OutLock
  std::atomic<uint64_t> abortRequests_{0};
  std::atomic<uint64_t> abortAcks_{0};
};

// The telephony variant: it is handed an already open serial descriptor instead of a path.
// On Linux a descriptor is "none" when it is negative (0 is a valid descriptor); without one,
// DeviceOpen fails with -2007. The descriptor is handed to the device once: a later open of the
// same dispatcher has none.
class TTapi32Dispatcher : public TWin32Dispatcher {
 public:
  static constexpr int NoDescriptor = -1;

  TTapi32Dispatcher(TCustomComPort* owner, int descriptor,
                    std::unique_ptr<platform::SerialDevice> device = nullptr);
  ~TTapi32Dispatcher() override;

  // Adopts the descriptor: the descriptor itself, -2007 without one, or -1 (error recorded).
  int32_t DeviceOpen(const std::string& deviceName, uint32_t inSize, uint32_t outSize) override;

 private:
  int descriptor_;  // main thread
};

}  // namespace talyx
