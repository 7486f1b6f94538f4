// TermiosSerialDevice: the serial device over a Linux tty (termios, modem ioctls, poll, eventfd).
//
// Principles of operation:
// - Open holds the device exclusively: O_NONBLOCK open, flock(LOCK_EX|LOCK_NB) and, on a
//   hardware tty, TIOCEXCL (root ignores TIOCEXCL and flock stops only other flock users, so
//   both are used, and a device another program has put into exclusive mode is refused too).
//   A pseudo-terminal slave is held by the lock alone: its exclusive flag outlives a killed
//   holder for as long as the pair's master is open. The line runs raw with
//   VMIN 1 / VTIME 0, so a read gives bytes, EAGAIN for nothing, or 0 when the device has gone.
// - Threads (the SerialDevice contract): one device-event thread calls WaitEvent; the dispatch
//   thread calls Read, ClearErrors and ModemStatus; the output thread calls Write and
//   WaitWritable; the main thread calls the rest. Open, Adopt and Release run while no other
//   thread uses the device. Every other call may run at the same time as any other.
// - Locks: settingsMutex_ guards the record fields termios does not hold (DTR/RTS control, DSR
//   flow, XON/XOFF limits, the line flags); errorsMutex_ guards ClearErrors' baseline of the
//   error counters, and ClearErrors reads the counters under it too. The event waiter's
//   baselines belong to the waiter thread alone, so the waiter and ClearErrors each see every
//   counter change once.
// - Wake-ups: closeEvent_ (an eventfd) is signalled once by Close and never drained, so every
//   poll ends at once and keeps ending; maskEvent_ is signalled by SetEventMask(0) and drained
//   by the waiter; takenEvent_ is signalled by a Read that took bytes while the waiter was set
//   aside (below) and drained by the waiter. The descriptor stays open until Release, so a
//   worker that still holds it never touches a reused descriptor number.
// - The event wait polls the device and the eventfds with a short time-out, and on every wake
//   compares the input count, the modem lines (TIOCMGET) and the interrupt counters
//   (TIOCGICOUNT) with its last readings. poll() is level-triggered: while bytes it has already
//   reported wait unread, the waiter is set aside: the device is polled for hang-up only, and
//   the waiter wakes when the reader takes bytes (or at its cadence) instead of at once, again
//   and again. The reader's take wakes it at once, so bytes that arrive after it are reported
//   as they come, not a cadence later.
// - Pseudo-terminals and drivers without modem ioctls (ENOTTY/EINVAL): lines read as off, no
//   line errors are counted, DTR/RTS requests succeed doing nothing. A reading the driver
//   refused once is not asked for again until the next open: the event wait makes these
//   readings on every wake, and a refused ioctl is a system call for nothing.
// - A device that has gone (POLLHUP/POLLERR, a read of 0, EIO) ends the event wait with false
//   at once from then on; the descriptor is no longer polled.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/linesettings.h"
#include "platform/serialdevice.h"

namespace talyx::platform {

class TermiosSerialDevice : public SerialDevice {
 public:
  // Time-out of one poll of the event wait, in milliseconds: the cadence at which modem lines
  // and error counters are sampled and unread reported bytes are looked at again.
  static constexpr int EventPollIntervalMs = 15;

  TermiosSerialDevice() = default;
  ~TermiosSerialDevice() override;
  TermiosSerialDevice(const TermiosSerialDevice&) = delete;
  TermiosSerialDevice& operator=(const TermiosSerialDevice&) = delete;

  // Errors: 2 missing or dead device, 3 a path component is not a folder, 5 held by another
  // program, 13 no permission, 8 the wake-up descriptors could not be made, 22 this object
  // still holds a descriptor, other errno values as PlatformErrorFromErrno gives them.
  int Open(const std::string& path) override;
  // Takes ownership of descriptor (made non-blocking, close-on-exec and raw), without locking
  // it; a descriptor that cannot be taken over is closed.
  int Adopt(int descriptor) override;
  bool IsOpen() const override;
  bool HasGone() const override { return gone_; }
  int Close() override;
  void Release() override;

  // Rate, parity, data bits, stop bits, CRTSCTS, IXON/IXOFF and their characters come from the
  // device as it reports them; the other fields are those last applied (or, right after opening,
  // DTR/RTS control from the current line levels).
  int GetState(LineSettings& settings) override;
  // Applies the record; fails only when the kernel refuses it, or for a value no line can have
  // (rate 0, parity above 4, data bits outside 5..8, stop bits above 2: error 22). RTS/CTS flow
  // control (CRTSCTS, both directions in one flag) is on when OutxCtsFlow is set or RtsControl
  // is Handshake. DTR and RTS set to Enabled or Disabled are driven to that level. DTR
  // handshake, DSR flow control, the XON/XOFF limits and the line flags have no termios form:
  // they are kept in the record only (the line always runs raw).
  int SetState(const LineSettings& settings) override;
  int Escape(int function) override;
  int ModemStatus(uint32_t& lines) override;
  int ClearErrors(DeviceStatus& status) override;
  int Purge(PurgeQueue queue) override;
  // TIOCOUTQ (always 0 on a pseudo-terminal).
  int OutputQueue(uint32_t& count) override;

  long Read(uint8_t* buffer, size_t count) override;
  WriteOutcome Write(const uint8_t* data, size_t count) override;
  bool WaitWritable(int timeoutMs) override;

  void SetEventMask(uint32_t mask) override;
  bool WaitEvent(uint32_t& events) override;

 protected:
  // Interrupt counters of the line, as TIOCGICOUNT reports them (all 0 where unsupported).
  struct LineCounters {
    int Cts = 0, Dsr = 0, Rng = 0, Dcd = 0;
    int Frame = 0, Overrun = 0, Parity = 0, Brk = 0, BufOverrun = 0;
  };

  // One reading of the counters: 0 or the errno of the failed ioctl (the counters are then 0).
  // Virtual so that tests can stand in for a line's counters.
  virtual int ReadCounters(LineCounters& counters) const;

 private:
  int TakeOver(int descriptor);
  // Readings of the device: 0 or the errno of the failed ioctl (the outputs are then 0).
  int ReadModemLines(uint32_t& lines, int* levels = nullptr) const;
  int ReadInputCount(uint32_t& count) const;
  int DriveLine(int function);
  int Failure(int err);
  // One comparison of the device with the waiter's baselines; false when the device has gone.
  bool CollectEvents(uint32_t& events);

  int descriptor_ = -1;
  int closeEvent_ = -1;
  int maskEvent_ = -1;
  int takenEvent_ = -1;
  // Open took the lock, and set the exclusive flag (hardware ttys); main thread only.
  bool locked_ = false;
  bool exclusiveFlagSet_ = false;
  std::atomic<bool> closed_{true};
  std::atomic<bool> gone_{false};
  std::atomic<uint32_t> eventMask_{0};
  // The driver refused TIOCMGET / TIOCGICOUNT as unsupported since the open.
  mutable std::atomic<bool> noModemLines_{false};
  mutable std::atomic<bool> noCounters_{false};

  std::mutex settingsMutex_;
  LineSettings applied_;

  std::mutex errorsMutex_;
  LineCounters clearedCounters_;

  // Read took bytes since the waiter last looked: a count equal to the waiter's baseline may
  // then be new bytes in place of the ones taken.
  std::atomic<bool> bytesTaken_{false};
  // The waiter is set aside: it polls without input until Read signals takenEvent_.
  std::atomic<bool> waiterSetAside_{false};

  // The event waiter's own baselines.
  uint32_t waiterInCount_ = 0;
  uint32_t waiterLines_ = 0;
  LineCounters waiterCounters_;
};

}  // namespace talyx::platform
