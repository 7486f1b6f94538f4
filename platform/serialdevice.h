// SerialDevice: the seam between the dispatcher and a serial device.
//
// Principles of operation:
// - The dispatcher reaches the device only through this interface: line settings, DTR/RTS,
//   modem lines, error counters and the input count, purges, reads, writes and the event wait.
//   TermiosSerialDevice implements it over a tty; tests plug in a fake.
// - Failures are platform error numbers (positive, see platform/platformerror.h),
//   never exceptions. 0 is success.
// - Threads: the device-event thread calls WaitEvent; the dispatch thread calls Read,
//   ClearErrors and ModemStatus; the output thread calls Write and WaitWritable; the main
//   thread calls the rest and SetEventMask to end the event wait. An implementation makes each
//   call safe against the others.
// - Close marks the device closed and ends every wait at once (WaitEvent and WaitWritable
//   return false); from then on calls fail without touching the descriptor. The descriptor
//   itself is released only by Release (or destruction), after the threads that use it ended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/linesettings.h"

namespace talyx::platform {

// Device events reported by WaitEvent (the same bits as the dispatcher's event mask).
inline constexpr uint32_t EvRxChar = 0x0001;  // new bytes arrived
inline constexpr uint32_t EvCts = 0x0008;     // CTS changed
inline constexpr uint32_t EvDsr = 0x0010;     // DSR changed
inline constexpr uint32_t EvRlsd = 0x0020;    // DCD changed
inline constexpr uint32_t EvBreak = 0x0040;   // break received
inline constexpr uint32_t EvErr = 0x0080;     // line error (overrun, parity, framing)
inline constexpr uint32_t EvRing = 0x0100;    // ring indicator
inline constexpr uint32_t EventMaskNT = 0x01F9;

// Modem line bits reported by ModemStatus.
inline constexpr uint32_t ModemCts = 0x10, ModemDsr = 0x20, ModemRi = 0x40, ModemDcd = 0x80;

// Line error bits reported by ClearErrors.
inline constexpr uint32_t CeRxOver = 0x01, CeOverrun = 0x02, CeRxParity = 0x04, CeFrame = 0x08,
                          CeBreak = 0x10;

// Escape function codes.
inline constexpr int EscSetRts = 3, EscClrRts = 4, EscSetDtr = 5, EscClrDtr = 6;

enum class PurgeQueue { Output, Input };

struct DeviceStatus {
  uint32_t Errors = 0;   // line error bits since the previous ClearErrors
  uint32_t InQueue = 0;  // bytes waiting in the driver's input queue
};

struct WriteOutcome {
  size_t Written = 0;  // bytes the device accepted; 0 with Error 0: the device cannot take more now
  int Error = 0;       // platform error number when the write failed, else 0
};

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;

  // Opens the device at path exclusively. 0 or a platform error number.
  virtual int Open(const std::string& path) = 0;
  // Takes over an already open descriptor (the device was opened elsewhere). 0 or an error number.
  virtual int Adopt(int descriptor) = 0;
  virtual bool IsOpen() const = 0;
  // Marks the device closed and ends every wait; see the header comment. 0 or an error number.
  virtual int Close() = 0;
  // Releases the descriptor of a closed device. Call only when no thread uses the device.
  virtual void Release() = 0;

  virtual int GetState(LineSettings& settings) = 0;
  virtual int SetState(const LineSettings& settings) = 0;
  // EscSetRts .. EscClrDtr. 0 or an error number; a line the device does not have is no error.
  virtual int Escape(int function) = 0;
  // Current modem lines (ModemCts ...); lines a device does not have read as off.
  virtual int ModemStatus(uint32_t& lines) = 0;
  // Line errors since the previous call of this function, and the input count.
  virtual int ClearErrors(DeviceStatus& status) = 0;
  virtual int Purge(PurgeQueue queue) = 0;
  // Bytes the driver still holds for output (written, not yet on the wire); 0 where the device
  // cannot tell. 0 or an error number.
  virtual int OutputQueue(uint32_t& count) = 0;

  // Non-blocking read: bytes read (0 when nothing waits), or a negated error number.
  virtual long Read(uint8_t* buffer, size_t count) = 0;
  // Non-blocking write of up to count bytes (a partial write is normal).
  virtual WriteOutcome Write(const uint8_t* data, size_t count) = 0;
  // Waits up to timeoutMs until the device can take more bytes. False on time-out, and at once
  // when the device is closed or gone (the next Write then reports the error).
  virtual bool WaitWritable(int timeoutMs) = 0;

  // Chooses the events WaitEvent reports; mask 0 ends a pending WaitEvent at once (with events 0).
  virtual void SetEventMask(uint32_t mask) = 0;
  // Blocks until one of the chosen events happens. True with the events; false when the device
  // failed or went away (the waiter then stops).
  virtual bool WaitEvent(uint32_t& events) = 0;
  // True once the device has gone away (hang-up, adapter pulled): nothing more will come from it
  // until it is opened anew. Any thread.
  virtual bool HasGone() const { return false; }
};

}  // namespace talyx::platform
