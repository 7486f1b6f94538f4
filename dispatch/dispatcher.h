// TBaseDispatcher: the platform-neutral serial engine of one open port.
//
// Principles of operation:
// - One dispatcher per open port. It owns the 8192-byte input ring the application reads from,
//   the output ring the output thread drains, the cached line settings, modem status and line
//   errors, the trigger and handler lists with their delivery, and the byte trace and dispatch
//   log. Everything that touches the device goes through eighteen virtual operations (slots
//   0..17 below) that a device layer implements over the platform::SerialDevice it hands to
//   this class; the base implements ReleaseBuffers, SetThreadBoost and UpdateHandlerFlags.
// - Threads. The main thread calls the public operations. The device layer's dispatch thread
//   calls ExtractData, HandleDeviceEvent and PollTriggers, and through them the trigger checks
//   and NotifyHandlers. Handlers run in the dispatch thread (procedure handlers, event handlers
//   that are not synchronised) or in the main thread (window handlers through a blocking send
//   limited to 3000 ms, synchronised event handlers through CallInMainThread) while the
//   dispatch thread waits for them. The output thread drains the output ring; the device-event
//   thread only stores CurrentEvent and RingSeen and signals.
// - Locks, all re-entrant. InLock: the input ring, its indices, InBufferFull, the delivery
//   counters and the scan's view of the ring. OutLock: the output ring, its indices and
//   OutBufferFull, and PutBlock up to the device write. MainLock: line settings, modem status,
//   line errors, flow control, options, the trigger and handler lists, AvailTriggerLength,
//   TriggerCounter, DeviceName, the trace and the log. Order: InLock, then OutLock, then
//   MainLock; a thread that holds MainLock never takes InLock or OutLock. No lock is held while
//   a handler runs, so handlers may call any operation, PutBlock and GetChar included.
// - Read times: beside the input ring, ReadTimes keeps (position, time) marks, one per
//   ExtractData that brought bytes at a new microsecond, on ReadClock (the microsecond clock,
//   which also gives the millisecond clock's reading), under InLock with the ring write. Positions
//   count the bytes ever written into the ring (InWritten); marks are dropped as their bytes are
//   taken or flushed, and merge when full, so memory stays fixed. GetChar with a time gives each
//   byte the time of the read that brought it.
// - The trigger checks look at trigger records only under MainLock and release it around each
//   delivery, finding their place in the lists again afterwards, so the main thread may add,
//   remove, clear and restore triggers while the dispatch thread checks them.
// - A delivery (InHandler) only marks handler records that are removed meanwhile (Deleted) and
//   removes them when it ends; a ClosePort during a delivery only sets ClosePending, and the
//   device layer releases the rings when its dispatch thread ends.
// - Unread bytes are offered (TriggerAvailMsg) once per head position, but an offer the
//   handlers never received (a window send withdrawn at its time limit, or the window gone)
//   counts as not made, and a full ring is offered on every scan whatever the threshold, so the
//   port never stays deaf to bytes it holds. With no handler to serve nothing is offered.
// - Flags that several threads read and write are atomics.
// - Lifetime rule for device layers: the destructor of every concrete dispatcher calls
//   Destroy() first, before any member of its own is torn down. Destroy closes the port (or
//   finishes a deferred close), waits until ThreadCount is 0 so that no worker thread runs
//   inside the dispatcher any more, and takes the dispatcher out of DispatcherList. A worker
//   thread makes ThreadCount's decrement the last thing it does with the dispatcher. The base
//   destructor calls no virtual operation.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dispatch/dispatchlog.h"
#include "dispatch/readtimes.h"
#include "dispatch/tracebuffer.h"
#include "dispatch/triggers.h"
#include "errors/errorcodes.h"
#include "platform/clock.h"
#include "platform/criticalsection.h"
#include "platform/event.h"
#include "platform/linesettings.h"
#include "platform/serialdevice.h"

namespace talyx {

class TCustomComPort;     // the port component that owns a dispatcher
class TDispatcherThread;  // the device layer's worker threads

// Size of the input ring, whatever the driver's input queue is.
inline constexpr uint32_t InBufferSize = 8192;

// OpenPort's line options.
inline constexpr uint32_t loDtrOn = 0x01;
inline constexpr uint32_t loRtsOn = 0x02;
inline constexpr uint32_t loDtrFlow = 0x10;  // DTR under hardware flow control
inline constexpr uint32_t loRtsFlow = 0x20;  // RTS under hardware flow control

// Bits of the hardware and software flow option words (SetHWFlow, SetSWFlow, GetFlowOptions);
// the port component's THWFlowOptions and TSWFlowOptions map onto them.
inline constexpr uint32_t hwoUseDTR = 0x01;
inline constexpr uint32_t hwoUseRTS = 0x02;
inline constexpr uint32_t hwoRequireDSR = 0x04;
inline constexpr uint32_t hwoRequireCTS = 0x08;
inline constexpr uint32_t swoTransmit = 0x01;
inline constexpr uint32_t swoReceive = 0x02;

// Line error bits of LastError.
inline constexpr uint32_t leRxOverflow = 0x01;
inline constexpr uint32_t leOverrun = 0x02;
inline constexpr uint32_t leParity = 0x04;
inline constexpr uint32_t leFraming = 0x08;
inline constexpr uint32_t leBreak = 0x10;

// DevicePurge queues.
inline constexpr int32_t PurgeOutput = 0;
inline constexpr int32_t PurgeInput = 1;

// Event bits of CurrentEvent that HandleDeviceEvent acts on.
inline constexpr uint32_t ModemEvents = 0x2138;  // ring trailing edge, ring, DCD, DSR, CTS
inline constexpr uint32_t LineEvents = 0x00C0;   // break, line error

// Scheduling levels of the worker threads: idle 0, lowest 1, lower 2, normal 3, higher 4,
// highest 5, time-critical 6.
inline constexpr int NormalThreadPriority = 3;

// The status record DeviceErrors fills.
struct TComStatus {
  uint32_t Flags = 0;
  uint32_t InQueue = 0;   // bytes in the driver's input queue
  uint32_t OutQueue = 0;  // bytes waiting for output
};

class TBaseDispatcher {
 public:
  // Stores the owner and the device, and takes a slot in DispatcherList (Handle).
  TBaseDispatcher(TCustomComPort* owner, std::unique_ptr<platform::SerialDevice> device);
  virtual ~TBaseDispatcher();
  TBaseDispatcher(const TBaseDispatcher&) = delete;
  TBaseDispatcher& operator=(const TBaseDispatcher&) = delete;

  // Closes the port (ReleaseBuffers when a deferred close is pending, otherwise ClosePort),
  // waits until no worker thread runs inside the dispatcher (pumping main-thread messages
  // meanwhile, so a worker blocked in a main-thread hand-off can finish), and leaves
  // DispatcherList. The most derived destructor calls it first; later calls do nothing.
  void Destroy();

  // None once the component has handed the dispatcher over at its destruction.
  std::atomic<TCustomComPort*> Owner;
  // Index in DispatcherList, for the dispatcher's whole life.
  const int32_t Handle;

  // ---- Port ----------------------------------------------------------------------------
  // Opens the device and starts the threads; 0, or an error after the port is closed again.
  ErrorCode OpenPort(const std::string& devicePath, int32_t baud, uint8_t parity, uint8_t dataBits,
                     uint8_t stopBits, uint32_t inSize, uint32_t outSize, uint32_t lineOptions);
  void ClosePort();
  // For the port component's close: a delivery is under way (ClosePort then only marks the
  // close pending), and the worker threads have not all ended yet.
  bool GetInHandler() const { return InHandler; }
  // Main thread: whether it runs, somewhere on its stack, a handler of the delivery under way
  // (a window handler or a synchronised event handler the dispatch thread waits for). A close
  // asked for there cannot wait for the threads.
  bool MainThreadInsideDelivery() const;
  bool GetThreadsActive() const { return ThreadsActive; }
  // Waits up to timeoutMs for the worker threads to end, looking every millisecond, without
  // running the caller's messages; true when they have ended.
  bool AwaitThreadsEnd(uint32_t timeoutMs) const;

  // ---- Line and modem ------------------------------------------------------------------
  // Baud 0, Parity 5, DataBits 9 and StopBits 3 keep the current value; a negative baud is
  // refused (-1002).
  ErrorCode SetLine(int32_t baud, uint8_t parity, uint8_t dataBits, uint8_t stopBits);
  ErrorCode GetLine(int32_t& baud, uint8_t& parity, uint8_t& dataBits, uint8_t& stopBits);
  // 1 (and no change) while the line is under hardware flow control; -1002 when the escape fails.
  ErrorCode SetDTR(bool on);
  ErrorCode SetRTS(bool on);
  // Merges the device's new line errors into LastError and refreshes ComStatus; a copy of it.
  TComStatus RefreshLineErrors();
  // The modem status byte; afterwards the cached status keeps only the bits of keepMask.
  uint8_t GetModemStatus(uint8_t keepMask);
  // Reads the modem lines and sets the change bits of the lines that differ from the cache.
  void RefreshModemStatus();
  // The first pending line error as a code (1 overflow, 2 overrun, 3 parity, 4 framing,
  // 9 break, 0 none); clears the error bits but not the break bit.
  ErrorCode LineErrorCode();
  // Whether a break was received since the last call.
  bool BreakReceived();
  ErrorCode SetHWFlow(uint32_t bufferFull, uint32_t bufferResume, uint32_t options);
  ErrorCode SetSWFlow(uint32_t bufferFull, uint32_t bufferResume, uint32_t options);
  ErrorCode DisableSWFlow();
  ErrorCode SetFlowChars(uint8_t xOn, uint8_t xOff);
  ErrorCode GetFlowOptions(uint32_t& hwOptions, uint32_t& swOptions, uint8_t& xOn, uint8_t& xOff);
  void SetOption(uint32_t bits);
  void ClearOption(uint32_t bits);
  uint32_t GetOptions();
  // RS-485 half duplex: on Linux the driver turns the line around (RTS control toggle).
  void SetRS485Mode(bool on);
  // Resizes the driver's queues; the rings keep their sizes. 0 or the negated platform error.
  ErrorCode SetBufferSizes(uint32_t inSize, uint32_t outSize);
  // Waits (up to 5000 polls 2 ms apart) until the output ring and the driver's output queue are
  // empty, then for 18 characters on the wire.
  void WaitOutputDrain();

  // ---- Data ----------------------------------------------------------------------------
  // The n-th unread byte (1 = next), not removed; -3007 with fewer unread bytes.
  ErrorCode PeekChar(uint32_t n, uint8_t& c);
  // Takes the next byte; -3007 when none. During a data delivery it reads ahead: the bytes
  // stay in the ring until the delivery ends.
  ErrorCode GetChar(uint8_t& c);
  // GetChar, and the time (both clocks) at which the byte was read from the device.
  ErrorCode GetChar(uint8_t& c, TReadTime& readTime);
  // Queues len bytes for output: 0, -3006 (nothing queued: too big for the free room) or -3004.
  ErrorCode PutBlock(const uint8_t* buffer, size_t len);
  uint32_t InBuffUsed();
  // A time (ReadClock) before which every byte that arrived has been read into the input ring:
  // the start of the latest extraction that left nothing behind in the driver. Bytes that came
  // later may wait unread, while the dispatch thread gathers a fast stream or has not been run;
  // a watcher that ends frames at a silence must not take the line for quiet past this time.
  uint64_t ReadUpTo() const { return readUpToUs_; }
  uint32_t OutBuffUsed();
  uint32_t OutBuffFree();
  ErrorCode FlushInBuffer();
  ErrorCode FlushOutBuffer();
  // Dispatch thread: moves the bytes the driver holds into the input ring. True when it read,
  // or when the ring is full.
  bool ExtractData();

  // ---- Triggers (main thread, under MainLock) -------------------------------------------
  void ClearTriggers();
  void ResetStatusHits();
  void ResetDataMatches();
  // 0: no available-data messages.
  void SetAvailTriggerLength(uint32_t length);
  void RegisterWndTriggerHandler(platform::WindowHandle window);
  void DeregisterWndTriggerHandler(platform::WindowHandle window);
  ErrorCode RegisterProcTriggerHandler(TTriggerProc proc);
  void DeregisterProcTriggerHandler(TTriggerProc proc);
  ErrorCode RegisterEventTriggerHandler(TTriggerMethod method, bool synchronised);
  void DeregisterEventTriggerHandler(TTriggerMethod method);

  // Adding gives the new trigger's handle, or -5001 when every trigger number is in use.
  // A new timer is stopped, a new status trigger disarmed.
  int32_t AddTimerTrigger();
  // At most MaxTriggerLen bytes (-5002), at least one (-1002).
  int32_t AddDataTrigger(const uint8_t* data, uint32_t len, bool ignoreCase);
  // Kind stModem .. stOutSent (-1002 otherwise).
  int32_t AddStatusTrigger(int32_t kind);
  // Starts the timer to run out after ticks (0 .. TicksPerClockWrap - 1), or stops it.
  ErrorCode SetTimerTrigger(int32_t handle, int32_t ticks, bool activate);
  // Replaces the sequence and forgets partial matches.
  ErrorCode ChangeDataTrigger(int32_t handle, const uint8_t* data, uint32_t len, bool ignoreCase);
  // Stores the value and arms (or disarms) the trigger.
  ErrorCode SetStatusTrigger(int32_t handle, uint16_t value, bool activate);
  // -5003 for a handle that names no trigger.
  ErrorCode RemoveTrigger(int32_t handle);
  void SaveTriggers(TTriggerSave& save);
  void RestoreTriggers(const TTriggerSave& save);
  static void FreeSavedTriggers(TTriggerSave& save);
  static int32_t StatusTriggerKind(int32_t handle) { return handle & 7; }

  // ---- Dispatch thread -----------------------------------------------------------------
  // Fire at most one trigger; the delivery result, or false when nothing fired.
  bool CheckTimerTriggers();
  bool CheckStatusTriggers();
  // Scans newly received bytes for data triggers and offers available data.
  bool CheckDataTriggers();
  void HandleDeviceEvent();
  void PollTriggers();
  // Delivers one trigger message to every handler; false when a handler left offered bytes
  // unread or the port is closing.
  bool NotifyHandlers(uint32_t msg, uint32_t firstParam, uint16_t data);

  // ---- Sent bytes ------------------------------------------------------------------------
  // Told, on the output thread, the bytes that thread has just handed to the device and the time
  // (ReadClock) taken right before that write, so every sender's bytes are seen as they left,
  // in order. No dispatcher lock is held during the call: it may take locks of its own but must
  // be quick, must not wait for the main thread and must not call the dispatcher. Bytes that a
  // failing write dropped are not told.
  using TSentBytesHook = std::function<void(const uint8_t* bytes, size_t count, uint64_t writeUs)>;
  // Any thread. A call already under way finishes with the hook it began with, so whatever the
  // hook reaches must outlive it (own it in the callable).
  void SetSentBytesHook(TSentBytesHook hook);

  // ---- Trace and dispatch log (under MainLock) -------------------------------------------
  ErrorCode TraceOpen(uint32_t capacity);
  ErrorCode TraceClear();
  void TraceDiscard();
  void TraceResume();
  void TracePause();
  bool TraceActive();
  void TraceAdd(char kind, uint8_t byte);
  ErrorCode TraceWrite(const std::string& fileName, bool append, bool inHex, bool allHex);
  void LogOpen(uint32_t capacity);
  void LogClear();
  void LogDiscard();
  void LogResume();
  void LogPause();
  bool LogActive();
  void LogAdd(uint8_t type, uint8_t subType, uint32_t data, const uint8_t* bytes, uint32_t len);
  ErrorCode LogWrite(const std::string& fileName, bool append, bool inHex, bool allHex);
  void SetDeviceName(const std::string& name);
  std::string GetDeviceName();

  // ---- Device operations, in slot order ---------------------------------------------------
  // A failing operation that reports a platform error number records it with SetDeviceError
  // before it returns, for OpenPort and SetBufferSizes to report.
  virtual ErrorCode DeviceEscape(int32_t function) = 0;  // 0, or negative when it failed
  virtual ErrorCode DevicePurge(int32_t queue) = 0;      // PurgeOutput / PurgeInput
  // Fills the status (OutQueue: bytes in the output ring) and returns the line error bits
  // since the previous call, 0 when the device cannot be asked.
  virtual uint32_t DeviceErrors(TComStatus& status) = 0;
  virtual ErrorCode DeviceReadFailed(uint32_t mask) = 0;
  virtual ErrorCode DeviceGetState(platform::LineSettings& settings) = 0;  // 0 or -1
  // Non-blocking read into buffer: bytes read, 0 when nothing waits.
  virtual int32_t DeviceRead(uint8_t* buffer, uint32_t count) = 0;
  virtual ErrorCode DeviceSetState(const platform::LineSettings& settings) = 0;
  // Queues bytes for the output thread (PutBlock has checked the room); bytes accepted.
  virtual int32_t DeviceWrite(const uint8_t* buffer, uint32_t count) = 0;
  virtual bool DeviceWaitEvent(uint32_t& mask) = 0;
  virtual bool DeviceSetup(uint32_t inSize, uint32_t outSize) = 0;
  // Stops the threads when they run and frees each ring, once, under its lock, when the worker
  // that uses it outside the lock has ended (else the thread that completes the stop frees it).
  virtual void ReleaseBuffers();
  virtual void StartThreads() = 0;
  virtual void StopThreads() = 0;
  // A non-negative handle, -1 (with the platform error recorded) or -8.
  virtual int32_t DeviceOpen(const std::string& deviceName, uint32_t inSize, uint32_t outSize) = 0;
  // 0, with ComHandle -1 and the threads asked to stop; -1 when the device cannot be closed.
  virtual ErrorCode DeviceClose() = 0;
  virtual ErrorCode DeviceIdle() = 0;
  virtual void SetThreadBoost(uint8_t boost);
  // Recomputes whether any handler would receive a message. Change: 0 recompute, 1 the port
  // component wants its window served, 2 it does not.
  virtual void UpdateHandlerFlags(uint8_t change);

  // The 18-character sleep of WaitOutputDrain in milliseconds, for a line at rate code
  // lastBaud with the given byte size, parity and device stop-bit value.
  static uint32_t DrainSleepMs(int32_t lastBaud, uint8_t byteSize, uint8_t parity,
                               uint8_t stopBits);
  // The rate that a rate code stands for (legacy codes 0xFEFF and 0xFF10..0xFF27; any other
  // value is the rate itself).
  static int32_t TranslateBaud(int32_t rateCode);

 protected:
  // The platform error number of the calling thread's last failed device operation.
  static void SetDeviceError(int platformError);
  static int DeviceError();

  // Under InLock: unread bytes, without the delivery correction.
  uint32_t UnreadBytes() const;
  // Under InLock: forgets the read times of bytes no longer in the ring.
  void DropTakenReadTimes() { ReadTimes.DropBefore(InWritten - UnreadBytes()); }
  // Under OutLock: bytes queued in the output ring and not yet handed to the device.
  uint32_t OutRingUsed() const;
  // Under OutLock: copies count bytes to OutHead, continuing at the ring's start, and moves
  // OutHead behind them. The caller has made sure they fit.
  void CopyIntoOutRing(const uint8_t* buffer, uint32_t count);
  // Under MainLock: applies LineSettings with DTR/RTS control from their states; the result
  // of DeviceSetState.
  ErrorCode ApplyLineSettings();
  // Bytes wait for output in the output ring or the driver's queue.
  bool OutputWaiting();
  // Output thread, no lock held: tells the sent-bytes hook, when there is one.
  void ReportSent(const uint8_t* bytes, size_t count, uint64_t writeUs);
  // Takes MainLock; adds the record when the log is recording.
  void AddLogRecord(uint8_t type, uint8_t subType, uint32_t data, const uint8_t* bytes = nullptr,
                    uint32_t len = 0);

  // Never null. The device layer puts another in place only while no worker thread runs.
  std::unique_ptr<platform::SerialDevice> Device;

  std::atomic<int32_t> ComHandle{-1};  // negative when the device is not open
  uint32_t LastError = 0;              // MainLock
  // The driver queue sizes given to OpenPort; written before the threads start.
  uint32_t InQueueSize = 0;
  uint32_t OutQueueSize = 0;
  uint32_t ModemStatus = 0;             // MainLock
  TComStatus ComStatus;                 // MainLock
  platform::LineSettings LineSettings;  // MainLock
  int32_t LastBaud = 115200;            // MainLock
  uint32_t Options = 0;                 // MainLock
  std::atomic<bool> DTRState{false};
  std::atomic<bool> DTRAuto{false};
  std::atomic<bool> RTSState{false};
  std::atomic<bool> RTSAuto{false};
  std::atomic<bool> RS485Mode{false};
  // The UART's I/O address of platforms that poll it for RS-485; Linux has none and keeps 0.
  uint16_t BaseAddress = 0;
  // The clock of the read times (platform::MicrosecondClock). Set before the threads start;
  // tests replace it to give each read a time of their choosing.
  std::function<uint64_t()> ReadClock{platform::MicrosecondClock};
  // How long the dispatch thread waits for a window handler to take a message. Set before the
  // threads start; tests shorten it to stand for a busy main thread.
  uint32_t WindowSendLimitMs = 3000;
  std::atomic<bool> PortHandlerInstalled{false};
  std::atomic<bool> HandlerServiceNeeded{false};

  std::vector<TWndTriggerHandler> WndTriggerHandlers;      // MainLock
  std::vector<TProcTriggerHandler> ProcTriggerHandlers;    // MainLock
  std::vector<TEventTriggerHandler> EventTriggerHandlers;  // MainLock
  std::vector<TTimerTrigger> TimerTriggers;                // MainLock
  std::vector<TDataTrigger> DataTriggers;                  // MainLock
  std::vector<TStatusTrigger> StatusTriggers;              // MainLock

  // Dispatch thread (and OpenPort before the threads start).
  uint32_t ScanPos = 0;
  // The head position of the last available-data offer; NoAvailPos when the next scan offers
  // again whatever the head: the last offer did not reach the handlers, or a read filled the
  // ring all the way round to the scan position.
  int32_t LastAvailPos = 0;
  static constexpr int32_t NoAvailPos = -1;
  // The last NotifyHandlers could not hand its message to every window handler: a send ran out
  // of time and was withdrawn, or the window was gone. Such an offer counts as not made.
  bool OfferMissed = false;
  uint32_t AvailTriggerLength = 0;  // MainLock
  std::atomic<bool> StatusHitThisPass{false};
  // ExtractData: the latest look at the driver after which the ring held all it had (ReadUpTo).
  std::atomic<uint64_t> readUpToUs_{0};
  // InLock.
  bool InAvailDelivery = false;
  uint32_t DeliveryGetCount = 0;
  uint32_t MaxDeliveryGetCount = 0;
  bool InBufferFull = false;
  // InLock, dispatch thread: a read has filled the ring all the way round to ScanPos, so every
  // unread byte is unscanned although ScanPos equals InHead (takes and flushes since then only
  // remove unread bytes, so this stays true until the next scan).
  bool ScanLapPending = false;

  std::atomic<bool> ThreadsStopping{false};
  std::atomic<TDispatcherThread*> ComThread{nullptr};
  std::atomic<TDispatcherThread*> DispThread{nullptr};
  std::atomic<TDispatcherThread*> OutThread{nullptr};
  std::atomic<uint8_t> ThreadBoost{0};
  // The scheduling level asked for each worker thread. Linux threads keep the scheduler's
  // default; the device layer applies these where it can.
  std::atomic<int> ComThreadPriority{NormalThreadPriority};
  std::atomic<int> DispThreadPriority{NormalThreadPriority};
  std::atomic<int> OutThreadPriority{NormalThreadPriority};

  platform::CriticalSection MainLock;
  platform::CriticalSection OutLock;
  platform::CriticalSection InLock;

  // Created by OpenPort, closed by the device layer's StopThreads; null when absent.
  std::unique_ptr<platform::Event> DeviceEventSignal;
  std::unique_ptr<platform::Event> EventDoneSignal;
  std::unique_ptr<platform::Event> AckSignal;
  std::unique_ptr<platform::Event> OutQueuedSignal;
  std::unique_ptr<platform::Event> WriteDoneSignal;
  std::unique_ptr<platform::Event> OutAbortSignal;
  platform::EventPair OutWaitList{};
  platform::EventPair WriteWaitList{};

  std::atomic<uint32_t> CurrentEvent{0};
  std::atomic<bool> RingSeen{false};

  // OutLock.
  std::unique_ptr<uint8_t[]> OutBuffer;
  uint32_t OutHead = 0;
  uint32_t OutTail = 0;
  bool OutBufferFull = false;
  // InLock.
  std::unique_ptr<uint8_t[]> InBuffer;
  uint32_t InHead = 0;
  uint32_t InTail = 0;
  // Bytes ever written into the input ring since it was allocated, and when they were read.
  uint64_t InWritten = 0;
  TReadTimes ReadTimes;

  std::atomic<bool> InHandler{false};
  // The thread that runs the deliveries (the dispatch thread); set at each delivery's start.
  std::atomic<std::thread::id> DeliveringThread{};
  std::atomic<bool> HandlersDeleted{false};
  std::atomic<bool> ClosePending{false};
  std::atomic<bool> OutputSentPending{false};

  TTraceBuffer Trace;  // MainLock
  TDispatchLog Log;    // MainLock
  // Trace.Active() as GetChar sees it before it takes MainLock for an entry; written under
  // MainLock by every operation that changes the trace's state.
  std::atomic<bool> TraceRecording{false};

  int32_t TriggerCounter = 1;  // MainLock

  std::atomic<bool> ThreadsActive{false};
  std::atomic<bool> ReleaseOnThreadExit{false};
  std::atomic<int32_t> ThreadCount{0};

  std::string DeviceName;  // MainLock

 private:
  // Under MainLock: a trigger number 1..MaxTriggerNumber that no trigger uses, as a handle with
  // the kind in its low bits; -5001 when none is left.
  int32_t AllocateTriggerHandle(int32_t kind);
  bool TriggerNumberInUse(int32_t number) const;
  // Under InLock: reads up to count bytes at InHead (which it does not move) and logs the read;
  // the number of bytes that arrived.
  uint32_t ReadIntoRing(uint32_t count);
  // Under MainLock: removes every handler record marked Deleted.
  void RemoveDeletedHandlers();
  // The end of every delivery: InHandler off, and the records marked Deleted meanwhile removed.
  void EndDelivery();
  // Runs the status-trigger loop of HandleDeviceEvent; false when the port started closing.
  bool RunStatusChecks();

  bool destroyed_ = false;  // main thread
  // The sent-bytes hook; sentHookLock_ guards only the pointer, never a call.
  std::mutex sentHookLock_;
  std::shared_ptr<const TSentBytesHook> sentHook_;
};

}  // namespace talyx
