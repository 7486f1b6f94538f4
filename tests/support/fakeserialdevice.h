// FakeSerialDevice: an in-memory serial device for tests of the dispatcher and its device layer.
//
// Principles of operation:
// - The test plays the far end and the driver. It feeds received bytes (FeedInput, raising
//   EvRxChar), sets modem lines (SetModemLines, raising EvCts / EvDsr / EvRlsd for the lines that
//   changed and EvRing on the ring indicator's trailing edge), injects line errors
//   (InjectLineErrors, raising EvBreak for the break bit and EvErr for the others), or raises
//   any event (RaiseEvents).
// - The dispatcher's side is the SerialDevice contract. Read takes fed bytes (FailNextRead makes
//   one read fail). ClearErrors reports and clears the injected error bits, with the count of
//   fed bytes not yet read. Write records what it accepts (Output, TakeOutput); the test can
//   limit each write (SetWriteLimit), refuse writes (FailWrites), or stall the drain
//   (StallDrain: writes accept nothing and WaitWritable waits until ReleaseDrain, its time-out
//   or Close), and set the count of bytes the driver still holds (SetDriverOutQueue).
// - Line settings are stored by SetState and reported back by GetState; ForceSettings installs
//   a change applied to what GetState reports (as a pseudo-terminal forces 8 data bits and no
//   parity). SetState refuses values no line can have (error 22: rate 0, parity above 4, data
//   bits outside 5..8, stop bits above 2) and can be made to fail (FailSetState).
// - Escapes are recorded in order, and DTR and RTS follow them; FailEscapes makes them fail.
// - WaitEvent blocks until an event of the mask is pending and takes those events; it returns
//   true with events 0 when the mask is 0 (at once, or as soon as SetEventMask(0) is called),
//   and false when the device is closed. Events raised while nobody waits stay pending.
// - The device starts closed; Open (or Adopt) opens it, FailOpen makes opening fail. Calls
//   on a closed device fail with error 6 (invalid handle) and end every wait.
// - Call counters (Counts) show what the code under test did. Thread-safe: one mutex guards
//   everything, one condition variable wakes the waits; any thread may call anything.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include "platform/linesettings.h"
#include "platform/serialdevice.h"

namespace talyx::testing {

class FakeSerialDevice : public platform::SerialDevice {
 public:
  // Platform error numbers the fake reports.
  static constexpr int InvalidHandle = 6;
  static constexpr int InvalidArgument = 22;

  struct CallCounts {
    int Open = 0;
    int GetState = 0;
    int SetState = 0;
    int ModemStatus = 0;
    int ClearErrors = 0;
    int Read = 0;
    int Write = 0;
    int PurgeInput = 0;
    int PurgeOutput = 0;
    int OutputQueue = 0;
  };

  FakeSerialDevice() = default;

  // ---- SerialDevice ----
  int Open(const std::string& path) override;
  int Adopt(int descriptor) override;
  bool IsOpen() const override;
  int Close() override;
  void Release() override;
  int GetState(platform::LineSettings& settings) override;
  int SetState(const platform::LineSettings& settings) override;
  int Escape(int function) override;
  int ModemStatus(uint32_t& lines) override;
  int ClearErrors(platform::DeviceStatus& status) override;
  int Purge(platform::PurgeQueue queue) override;
  int OutputQueue(uint32_t& count) override;
  long Read(uint8_t* buffer, size_t count) override;
  platform::WriteOutcome Write(const uint8_t* data, size_t count) override;
  bool WaitWritable(int timeoutMs) override;
  void SetEventMask(uint32_t mask) override;
  bool WaitEvent(uint32_t& events) override;

  // ---- Opening ----
  // Opens fail with this platform error number from now on (0: they succeed again).
  void FailOpen(int error);
  std::string OpenedPath() const;

  // ---- Input, modem lines, line errors, events ----
  void FeedInput(const std::vector<uint8_t>& bytes);
  void FeedInput(const std::string& bytes);
  size_t InputCount() const;
  // The read after readsBefore more successful reads returns result (a negative error) and
  // takes nothing.
  void FailNextRead(long result, int readsBefore = 0);
  void SetModemLines(uint32_t lines);
  // Line error bits (platform::CeRxOver ... CeBreak) for the next ClearErrors.
  void InjectLineErrors(uint32_t bits);
  void RaiseEvents(uint32_t events);
  uint32_t EventMask() const;
  // A WaitEvent is blocked right now.
  bool WaitingForEvent() const;

  // ---- Output ----
  std::vector<uint8_t> Output() const;
  std::vector<uint8_t> TakeOutput();
  // Each write accepts at most limit bytes (SIZE_MAX: no limit).
  void SetWriteLimit(size_t limit);
  // Writes fail with this error number from now on (0: they succeed again).
  void FailWrites(int error);
  void StallDrain();
  void ReleaseDrain();
  // The count OutputQueue reports: bytes the driver still holds (0 at first).
  void SetDriverOutQueue(uint32_t count);

  // ---- Line settings and escapes ----
  // A change applied to every record GetState reports (an empty function: none).
  void ForceSettings(std::function<void(platform::LineSettings&)> force);
  // SetState fails with this error number from now on (0: it succeeds again).
  void FailSetState(int error);
  // The record last stored by SetState (before any forcing).
  platform::LineSettings StoredSettings() const;
  // Escapes fail with this error number from now on (0: they succeed again).
  void FailEscapes(int error);
  std::vector<int> Escapes() const;
  bool Dtr() const;
  bool Rts() const;

  CallCounts Counts() const;

 private:
  void RaiseLocked(uint32_t events);

  mutable std::mutex mutex_;
  std::condition_variable changed_;

  bool open_ = false;
  std::string path_;
  int openError_ = 0;

  std::deque<uint8_t> input_;
  long failNextRead_ = 0;
  int readsBeforeFailure_ = 0;
  uint32_t modemLines_ = 0;
  uint32_t lineErrors_ = 0;
  uint32_t pendingEvents_ = 0;
  uint32_t eventMask_ = 0;
  int waiters_ = 0;

  std::vector<uint8_t> output_;
  size_t writeLimit_ = std::numeric_limits<size_t>::max();
  int writeError_ = 0;
  bool drainStalled_ = false;
  uint32_t driverOutQueue_ = 0;

  platform::LineSettings settings_;
  std::function<void(platform::LineSettings&)> force_;
  int setStateError_ = 0;
  int escapeError_ = 0;
  std::vector<int> escapes_;
  bool dtr_ = false;
  bool rts_ = false;

  CallCounts counts_;
};

}  // namespace talyx::testing
