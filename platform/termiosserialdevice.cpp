// TermiosSerialDevice: exclusive open, line settings, modem lines, counters, I/O and the event
// wait.
#include "platform/termiosserialdevice.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "platform/platformerror.h"
#include "platform/portholders.h"
#include "platform/terminalcheck.h"
#include "platform/termios2settings.h"

namespace talyx::platform {

namespace {

// An ioctl the driver does not have: a pseudo-terminal has no modem lines and no counters.
bool IsUnsupported(int err) { return err == ENOTTY || err == EINVAL; }

void Signal(int eventDescriptor) {
  const uint64_t one = 1;
  // The eventfd only has to become readable; a full counter (EAGAIN) is readable already.
  [[maybe_unused]] ssize_t n = write(eventDescriptor, &one, sizeof one);
}

void Drain(int eventDescriptor) {
  uint64_t value = 0;
  [[maybe_unused]] ssize_t n = read(eventDescriptor, &value, sizeof value);
}

void CloseIfOpen(int& descriptor) {
  if (descriptor >= 0) close(descriptor);
  descriptor = -1;
}

constexpr short kHangUp = POLLHUP | POLLERR | POLLNVAL;

}  // namespace

TermiosSerialDevice::~TermiosSerialDevice() {
  Close();
  Release();
}

int TermiosSerialDevice::Open(const std::string& path) {
  if (descriptor_ >= 0) return PlatformErrorFromErrno(EINVAL);
  const int descriptor = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return PlatformErrorFromErrno(errno);

  auto refuse = [descriptor](int err) {
    close(descriptor);
    return PlatformErrorFromErrno(err);
  };
  struct stat device {};
  if (fstat(descriptor, &device) != 0) return refuse(errno);
  // The kernel keeps a pseudo-terminal's exclusive flag for as long as the pair's master is
  // open, so a holder killed there would leave the port refused to every other process until
  // the far end restarts: on a pseudo-terminal the lock alone holds the line. A hardware tty's
  // flag ends with its last close.
  const bool pseudoTerminal = S_ISCHR(device.st_mode) && IsPtySlaveNumber(device.st_rdev);
  // The lock is what makes the device ours: it goes with its holder, however that holder ends.
  if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) return refuse(errno);
  // The exclusive flag may be set although nobody holds the lock: by a program that asked for
  // exclusive use without locking, which owns the device while it has it open, or by a holder
  // killed before it could clear the flag, which must not shut the device for ever.
  int exclusive = 0;
  if (ioctl(descriptor, TIOCGEXCL, &exclusive) == 0 && exclusive &&
      !FindPortHolders(path).empty()) {
    return refuse(EBUSY);
  }
  if (!pseudoTerminal && ioctl(descriptor, TIOCEXCL) != 0) return refuse(errno);
  const int result = TakeOver(descriptor);
  locked_ = result == 0;
  exclusiveFlagSet_ = locked_ && !pseudoTerminal;
  return result;
}

int TermiosSerialDevice::Adopt(int descriptor) {
  if (descriptor_ >= 0) return PlatformErrorFromErrno(EINVAL);
  const int flags = fcntl(descriptor, F_GETFL);
  if (flags < 0 || fcntl(descriptor, F_SETFL, flags | O_NONBLOCK) != 0 ||
      fcntl(descriptor, F_SETFD, FD_CLOEXEC) != 0) {
    const int err = errno;
    if (descriptor >= 0) close(descriptor);
    return PlatformErrorFromErrno(err);
  }
  return TakeOver(descriptor);
}

// Common end of Open and Adopt: raw mode, wake-up descriptors, baselines. On failure the
// descriptor is closed.
int TermiosSerialDevice::TakeOver(int descriptor) {
  if (int err = MakeTermiosRaw(descriptor)) {
    close(descriptor);
    return PlatformErrorFromErrno(err);
  }
  closeEvent_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  maskEvent_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  takenEvent_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (closeEvent_ < 0 || maskEvent_ < 0 || takenEvent_ < 0) {
    CloseIfOpen(closeEvent_);
    CloseIfOpen(maskEvent_);
    CloseIfOpen(takenEvent_);
    close(descriptor);
    return PeOutOfMemory;
  }
  descriptor_ = descriptor;
  gone_ = false;
  eventMask_ = 0;
  noModemLines_ = false;
  noCounters_ = false;

  uint32_t lines = 0;
  int levels = 0;
  const bool haveLines = ReadModemLines(lines, &levels) == 0;
  {
    std::lock_guard lock(settingsMutex_);
    applied_ = LineSettings{};
    if (haveLines) {
      applied_.DtrControl = (levels & TIOCM_DTR) ? DtrControl::Enabled : DtrControl::Disabled;
      applied_.RtsControl = (levels & TIOCM_RTS) ? RtsControl::Enabled : RtsControl::Disabled;
    }
  }
  LineCounters counters;
  ReadCounters(counters);
  {
    std::lock_guard lock(errorsMutex_);
    clearedCounters_ = counters;
  }
  waiterCounters_ = counters;
  waiterLines_ = lines;
  // Bytes that already wait are news to the reader: the first wait reports them.
  waiterInCount_ = 0;
  closed_ = false;
  return 0;
}

bool TermiosSerialDevice::IsOpen() const { return descriptor_ >= 0 && !closed_; }

int TermiosSerialDevice::Close() {
  if (descriptor_ < 0) return PeInvalidHandle;
  if (closed_.exchange(true)) return 0;
  // Give the device up at once, so that it can be opened again while worker threads that still
  // hold this descriptor finish; the descriptor itself is closed by Release. An adopted
  // descriptor keeps whatever hold its opener took.
  if (locked_) {
    flock(descriptor_, LOCK_UN);
    locked_ = false;
  }
  if (exclusiveFlagSet_) {
    ioctl(descriptor_, TIOCNXCL);
    exclusiveFlagSet_ = false;
  }
  Signal(closeEvent_);
  return 0;
}

void TermiosSerialDevice::Release() {
  closed_ = true;
  CloseIfOpen(descriptor_);
  CloseIfOpen(closeEvent_);
  CloseIfOpen(maskEvent_);
  CloseIfOpen(takenEvent_);
}

int TermiosSerialDevice::Failure(int err) {
  if (err == EIO || err == ENXIO || err == ENODEV) gone_ = true;
  return PlatformErrorFromErrno(err);
}

int TermiosSerialDevice::GetState(LineSettings& settings) {
  if (!IsOpen()) return PeInvalidHandle;
  std::lock_guard lock(settingsMutex_);
  TermiosLine line;
  if (int err = ReadTermiosLine(descriptor_, line)) return Failure(err);
  settings = applied_;
  settings.BaudRate = line.BaudRate;
  settings.Parity = line.Parity;
  settings.ByteSize = line.ByteSize;
  // CSTOPB gives one and a half stop bits at 5 data bits and two otherwise.
  settings.StopBits = !line.TwoStopBits    ? OneStopBit
                      : line.ByteSize == 5 ? One5StopBits
                                           : TwoStopBits;
  if (line.HardwareFlow) {
    // Flow control switched on by someone else: CRTSCTS is both of these at once.
    if (!settings.OutxCtsFlow && settings.RtsControl != RtsControl::Handshake) {
      settings.OutxCtsFlow = true;
      settings.RtsControl = RtsControl::Handshake;
    }
  } else {
    settings.OutxCtsFlow = false;
    if (settings.RtsControl == RtsControl::Handshake) settings.RtsControl = RtsControl::Enabled;
  }
  settings.OutX = line.OutX;
  settings.InX = line.InX;
  settings.XonChar = line.XonChar;
  settings.XoffChar = line.XoffChar;
  return 0;
}

int TermiosSerialDevice::SetState(const LineSettings& settings) {
  if (!IsOpen()) return PeInvalidHandle;
  if (settings.BaudRate == 0 || settings.Parity > SpaceParity || settings.ByteSize < 5 ||
      settings.ByteSize > 8 || settings.StopBits > TwoStopBits) {
    return PlatformErrorFromErrno(EINVAL);
  }
  TermiosLine line;
  line.BaudRate = settings.BaudRate;
  line.Parity = settings.Parity;
  line.ByteSize = settings.ByteSize;
  line.TwoStopBits = settings.StopBits != OneStopBit;
  line.HardwareFlow = settings.OutxCtsFlow || settings.RtsControl == RtsControl::Handshake;
  line.OutX = settings.OutX;
  line.InX = settings.InX;
  line.XonChar = settings.XonChar;
  line.XoffChar = settings.XoffChar;
  {
    std::lock_guard lock(settingsMutex_);
    if (int err = WriteTermiosLine(descriptor_, line)) return Failure(err);
    applied_ = settings;
  }
  if (settings.DtrControl != DtrControl::Handshake) {
    if (int err = DriveLine(settings.DtrControl == DtrControl::Enabled ? EscSetDtr : EscClrDtr))
      return err;
  }
  if (!line.HardwareFlow && settings.RtsControl != RtsControl::Toggle) {
    if (int err = DriveLine(settings.RtsControl == RtsControl::Enabled ? EscSetRts : EscClrRts))
      return err;
  }
  return 0;
}

int TermiosSerialDevice::DriveLine(int function) {
  int bits = 0;
  unsigned long request = TIOCMBIS;
  switch (function) {
    case EscSetRts:
      bits = TIOCM_RTS;
      break;
    case EscClrRts:
      bits = TIOCM_RTS;
      request = TIOCMBIC;
      break;
    case EscSetDtr:
      bits = TIOCM_DTR;
      break;
    case EscClrDtr:
      bits = TIOCM_DTR;
      request = TIOCMBIC;
      break;
    default:
      return PlatformErrorFromErrno(EINVAL);
  }
  if (ioctl(descriptor_, request, &bits) == 0) return 0;
  const int err = errno;
  return IsUnsupported(err) ? 0 : Failure(err);
}

int TermiosSerialDevice::Escape(int function) {
  if (!IsOpen()) return PeInvalidHandle;
  return DriveLine(function);
}

int TermiosSerialDevice::ReadModemLines(uint32_t& lines, int* levels) const {
  lines = 0;
  int bits = 0;
  if (noModemLines_) return ENOTTY;
  if (ioctl(descriptor_, TIOCMGET, &bits) != 0) {
    const int err = errno;
    if (IsUnsupported(err)) noModemLines_ = true;
    return err;
  }
  if (bits & TIOCM_CTS) lines |= ModemCts;
  if (bits & TIOCM_DSR) lines |= ModemDsr;
  if (bits & TIOCM_RI) lines |= ModemRi;
  if (bits & TIOCM_CD) lines |= ModemDcd;
  if (levels) *levels = bits;
  return 0;
}

int TermiosSerialDevice::ReadCounters(LineCounters& counters) const {
  counters = LineCounters{};
  serial_icounter_struct icount{};
  if (noCounters_) return ENOTTY;
  if (ioctl(descriptor_, TIOCGICOUNT, &icount) != 0) {
    const int err = errno;
    if (IsUnsupported(err)) noCounters_ = true;
    return err;
  }
  counters.Cts = icount.cts;
  counters.Dsr = icount.dsr;
  counters.Rng = icount.rng;
  counters.Dcd = icount.dcd;
  counters.Frame = icount.frame;
  counters.Overrun = icount.overrun;
  counters.Parity = icount.parity;
  counters.Brk = icount.brk;
  counters.BufOverrun = icount.buf_overrun;
  return 0;
}

int TermiosSerialDevice::ReadInputCount(uint32_t& count) const {
  count = 0;
  int waiting = 0;
  if (ioctl(descriptor_, FIONREAD, &waiting) != 0) return errno;
  count = waiting > 0 ? static_cast<uint32_t>(waiting) : 0;
  return 0;
}

int TermiosSerialDevice::ModemStatus(uint32_t& lines) {
  lines = 0;
  if (!IsOpen()) return PeInvalidHandle;
  const int err = ReadModemLines(lines);
  return err && !IsUnsupported(err) ? Failure(err) : 0;
}

int TermiosSerialDevice::ClearErrors(DeviceStatus& status) {
  status = DeviceStatus{};
  if (!IsOpen()) return PeInvalidHandle;
  {
    // Read, compared and stored under one lock: a reading taken before another thread's must
    // never be stored after it, or the errors between the two would be reported again.
    std::lock_guard lock(errorsMutex_);
    LineCounters now;
    if (int err = ReadCounters(now); err && !IsUnsupported(err)) return Failure(err);
    const LineCounters& before = clearedCounters_;
    if (now.BufOverrun != before.BufOverrun) status.Errors |= CeRxOver;
    if (now.Overrun != before.Overrun) status.Errors |= CeOverrun;
    if (now.Parity != before.Parity) status.Errors |= CeRxParity;
    if (now.Frame != before.Frame) status.Errors |= CeFrame;
    if (now.Brk != before.Brk) status.Errors |= CeBreak;
    clearedCounters_ = now;
  }
  if (int err = ReadInputCount(status.InQueue); err && !IsUnsupported(err)) return Failure(err);
  return 0;
}

int TermiosSerialDevice::Purge(PurgeQueue queue) {
  if (!IsOpen()) return PeInvalidHandle;
  if (tcflush(descriptor_, queue == PurgeQueue::Output ? TCOFLUSH : TCIFLUSH) != 0)
    return Failure(errno);
  return 0;
}

int TermiosSerialDevice::OutputQueue(uint32_t& count) {
  count = 0;
  if (!IsOpen()) return PeInvalidHandle;
  int waiting = 0;
  if (ioctl(descriptor_, TIOCOUTQ, &waiting) != 0) {
    const int err = errno;
    return IsUnsupported(err) ? 0 : Failure(err);
  }
  count = waiting > 0 ? static_cast<uint32_t>(waiting) : 0;
  return 0;
}

long TermiosSerialDevice::Read(uint8_t* buffer, size_t count) {
  if (!IsOpen()) return -PeInvalidHandle;
  if (count == 0) return 0;
  for (;;) {
    const ssize_t n = read(descriptor_, buffer, count);
    if (n > 0) {
      bytesTaken_ = true;
      // A waiter set aside while these bytes waited unread looks at the input again at once:
      // the bytes that come next are news.
      if (waiterSetAside_.exchange(false)) Signal(takenEvent_);
      return static_cast<long>(n);
    }
    if (n == 0) {
      // With VMIN 1 a read of 0 only happens when the far end has gone.
      gone_ = true;
      return -PeFileNotFound;
    }
    const int err = errno;
    if (err == EINTR) continue;
    if (err == EAGAIN) return 0;
    return -Failure(err);
  }
}

WriteOutcome TermiosSerialDevice::Write(const uint8_t* data, size_t count) {
  if (!IsOpen()) return {0, PeInvalidHandle};
  if (count == 0) return {};
  for (;;) {
    const ssize_t n = write(descriptor_, data, count);
    if (n >= 0) return {static_cast<size_t>(n), 0};
    const int err = errno;
    if (err == EINTR) continue;
    if (err == EAGAIN) return {};
    return {0, Failure(err)};
  }
}

bool TermiosSerialDevice::WaitWritable(int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    if (!IsOpen() || gone_) return false;
    int wait = -1;
    if (timeoutMs >= 0) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      wait = left > 0 ? static_cast<int>(left) : 0;
    }
    pollfd fds[2] = {{descriptor_, POLLOUT, 0}, {closeEvent_, POLLIN, 0}};
    const int ready = poll(fds, 2, wait);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (closed_) return false;
    if (fds[0].revents & kHangUp) {
      gone_ = true;
      return false;
    }
    if (fds[0].revents & POLLOUT) return true;
    if (ready == 0) return false;
  }
}

void TermiosSerialDevice::SetEventMask(uint32_t mask) {
  eventMask_ = mask;
  if (mask == 0 && maskEvent_ >= 0) Signal(maskEvent_);
}

bool TermiosSerialDevice::CollectEvents(uint32_t& events) {
  // Taken before the count is read, so a read after this look is noticed by the next one.
  const bool taken = bytesTaken_.exchange(false);
  uint32_t inCount = 0;
  uint32_t lines = 0;
  LineCounters counters;
  for (int err : {ReadInputCount(inCount), ReadModemLines(lines), ReadCounters(counters)}) {
    if (err && !IsUnsupported(err)) {
      gone_ = true;
      return false;
    }
  }
  // Any new count above 0 may hold new bytes: a reader that took some while more arrived can
  // leave the count lower than before, or, when it took as many as arrived, equal. Only an
  // unchanged count with nothing taken meanwhile is bytes already reported.
  if (inCount > 0 && (inCount != waiterInCount_ || taken)) events |= EvRxChar;
  const uint32_t changed = lines ^ waiterLines_;
  const LineCounters& before = waiterCounters_;
  if ((changed & ModemCts) || counters.Cts != before.Cts) events |= EvCts;
  if ((changed & ModemDsr) || counters.Dsr != before.Dsr) events |= EvDsr;
  if ((changed & ModemDcd) || counters.Dcd != before.Dcd) events |= EvRlsd;
  // The ring event is the indicator's trailing edge, as the modem status reports it.
  if (((changed & ModemRi) && !(lines & ModemRi)) || counters.Rng != before.Rng) events |= EvRing;
  if (counters.Brk != before.Brk) events |= EvBreak;
  if (counters.Frame != before.Frame || counters.Parity != before.Parity ||
      counters.Overrun != before.Overrun || counters.BufOverrun != before.BufOverrun) {
    events |= EvErr;
  }
  waiterInCount_ = inCount;
  waiterLines_ = lines;
  waiterCounters_ = counters;
  return true;
}

bool TermiosSerialDevice::WaitEvent(uint32_t& events) {
  events = 0;
  if (!IsOpen() || gone_) return false;
  // Drained before the mask is read: a SetEventMask(0) after this point signals again.
  Drain(maskEvent_);
  for (;;) {
    if (closed_) return false;
    const uint32_t mask = eventMask_;
    if (mask == 0) return true;

    uint32_t found = 0;
    if (!CollectEvents(found)) return false;
    if (found & mask) {
      events = found & mask;
      return true;
    }

    // Reported bytes still waiting: poll for hang-up only (always reported), not for input,
    // until the reader takes some. Set aside is announced before bytesTaken_ is looked at, and
    // Read sets bytesTaken_ before it looks at the announcement, so a take is either seen here
    // or signalled.
    const bool setAside = waiterInCount_ > 0;
    if (setAside) {
      waiterSetAside_ = true;
      if (bytesTaken_) {
        waiterSetAside_ = false;
        continue;
      }
    }
    pollfd fds[4] = {{descriptor_, static_cast<short>(setAside ? 0 : POLLIN), 0},
                     {closeEvent_, POLLIN, 0},
                     {maskEvent_, POLLIN, 0},
                     {takenEvent_, POLLIN, 0}};
    const int ready = poll(fds, 4, EventPollIntervalMs);
    waiterSetAside_ = false;
    if (ready < 0 && errno != EINTR) {
      gone_ = true;
      return false;
    }
    if (closed_) return false;
    if (fds[0].revents & kHangUp) {
      gone_ = true;
      return false;
    }
    if (fds[2].revents & POLLIN) Drain(maskEvent_);
    if (fds[3].revents & POLLIN) Drain(takenEvent_);
  }
}

}  // namespace talyx::platform
