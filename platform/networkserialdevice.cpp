// NetworkSerialDevice: the socket, the telnet stream both ways, the record and the event wait.
#include "platform/networkserialdevice.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <utility>

#include "platform/platformerror.h"

namespace talyx::platform {

namespace {

using Clock = std::chrono::steady_clock;
namespace telnet = rfc2217;

// The most input bytes encoded per write: the output thread comes back for the rest.
constexpr size_t MaxWriteChunk = 4096;
constexpr short kHangUp = POLLHUP | POLLERR | POLLNVAL;
constexpr uint8_t AnsweredWill = 1, AnsweredDo = 2;

void Signal(int eventDescriptor) {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = write(eventDescriptor, &one, sizeof one);
}

void Drain(int eventDescriptor) {
  uint64_t value = 0;
  [[maybe_unused]] const ssize_t n = read(eventDescriptor, &value, sizeof value);
}

void CloseIfOpen(int& descriptor) {
  if (descriptor >= 0) close(descriptor);
  descriptor = -1;
}

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
      .count();
}

bool HardwareFlow(const LineSettings& settings) {
  return settings.OutxCtsFlow || settings.RtsControl == RtsControl::Handshake;
}

uint8_t OutboundFlow(const LineSettings& settings) {
  return HardwareFlow(settings) ? telnet::ControlHardware
         : settings.OutX        ? telnet::ControlXonXoff
                                : telnet::ControlNoFlow;
}

uint8_t StopSize(uint8_t stopBits) {
  return stopBits == TwoStopBits    ? telnet::StopTwo
         : stopBits == One5StopBits ? telnet::StopOneAndHalf
                                    : telnet::StopOne;
}

}  // namespace

NetworkSerialDevice::~NetworkSerialDevice() {
  Close();
  Release();
}

int NetworkSerialDevice::Open(const std::string& path) {
  const std::optional<NetworkAddress> address = ParseNetworkAddress(path);
  if (!address || address->Scheme != scheme_) return PeFileNotFound;
  NetworkConnection connection = ConnectToServer(*address, ConnectTimeoutMs);
  if (connection.Descriptor < 0) return connection.Error;
  return Adopt(std::move(connection));
}

int NetworkSerialDevice::Adopt(int descriptor) {
  NetworkConnection connection;
  connection.Descriptor = descriptor;
  return Adopt(std::move(connection));
}

int NetworkSerialDevice::Adopt(NetworkConnection connection) {
  if (descriptor_ >= 0) return PlatformErrorFromErrno(EINVAL);
  closeEvent_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  maskEvent_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  resumeEvent_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (closeEvent_ < 0 || maskEvent_ < 0 || resumeEvent_ < 0) {
    CloseIfOpen(closeEvent_);
    CloseIfOpen(maskEvent_);
    CloseIfOpen(resumeEvent_);
    return PeOutOfMemory;
  }
  descriptor_ = connection.TakeDescriptor();
  closed_ = false;
  gone_ = false;
  if (scheme_ == NetworkScheme::Rfc2217) Await(AwaitComPort);
  {
    std::lock_guard lock(readMutex_);
    Decode(connection.Received.data(), connection.Received.size());
  }
  return 0;
}

bool NetworkSerialDevice::IsOpen() const { return descriptor_ >= 0 && !closed_; }

int NetworkSerialDevice::Close() {
  if (descriptor_ < 0) return PeInvalidHandle;
  if (closed_.exchange(true)) return 0;
  Signal(closeEvent_);
  return 0;
}

void NetworkSerialDevice::Release() {
  closed_ = true;
  CloseIfOpen(descriptor_);
  CloseIfOpen(closeEvent_);
  CloseIfOpen(maskEvent_);
  CloseIfOpen(resumeEvent_);
}

std::string NetworkSerialDevice::ProtocolError() const {
  std::lock_guard lock(readMutex_);
  return protocolError_;
}

int NetworkSerialDevice::Lost(int) {
  // Reset, unreachable, timed out by the keep-alive: to the port, the device has gone.
  gone_ = true;
  return PeFileNotFound;
}

void NetworkSerialDevice::Decode(const uint8_t* bytes, size_t count) {
  if (count == 0) return;
  if (scheme_ == NetworkScheme::Raw) {
    decoded_.insert(decoded_.end(), bytes, bytes + count);
  } else {
    std::vector<telnet::Event> events;
    if (!decoder_.Feed(bytes, count, decoded_, events)) {
      // A server that breaks the protocol cannot be trusted with the line: the connection ends.
      protocolError_ = decoder_.Error();
      shutdown(descriptor_, SHUT_RDWR);
      gone_ = true;
      if (notice_) notice_("服务器的数据不合协议，连接已断开：" + protocolError_);
    }
    for (const telnet::Event& event : events) HandleEvent(event);
  }
  decodedCount_ = static_cast<uint32_t>(decoded_.size() - decodedStart_);
}

void NetworkSerialDevice::HandleEvent(const telnet::Event& event) {
  using Kind = telnet::Event::Kind;
  const uint8_t option = event.Option;
  const bool ours = option == telnet::OptBinary || option == telnet::OptComPort;
  if (option == telnet::OptComPort && (event.Type == Kind::AskDo || event.Type == Kind::OfferWill))
    awaited_ &= ~AwaitComPort;
  std::vector<uint8_t> answer;
  if (event.Type == Kind::OfferWill && !ours && !(answered_[option] & AnsweredWill)) {
    answered_[option] |= AnsweredWill;
    telnet::AppendOption(answer, option == telnet::OptSuppressGoAhead ? telnet::Do : telnet::Dont,
                         option);
  } else if (event.Type == Kind::AskDo && !ours && !(answered_[option] & AnsweredDo)) {
    answered_[option] |= AnsweredDo;
    telnet::AppendOption(answer, option == telnet::OptSuppressGoAhead ? telnet::Will : telnet::Wont,
                         option);
  } else if (event.Type == Kind::ComPort) {
    HandleComPort(event);
  }
  if (!answer.empty()) SendCommand(answer);
}

void NetworkSerialDevice::HandleComPort(const telnet::Event& event) {
  const uint32_t value = event.Value;
  switch (event.Command) {
    case telnet::NotifyLinestate + telnet::ServerOffset: {
      const uint32_t errors = value & telnet::LineStateErrors;
      errorsToClear_ |= errors;
      errorsToReport_ |= errors;
      return;
    }
    case telnet::NotifyModemstate + telnet::ServerOffset:
      modemLines_ = value & telnet::ModemStateLines;
      return;
    case telnet::FlowcontrolSuspend + telnet::ServerOffset:
      suspended_ = true;
      return;
    case telnet::FlowcontrolResume + telnet::ServerOffset:
      suspended_ = false;
      Signal(resumeEvent_);
      return;
    default:
      break;
  }
  // The server's answers to settings: what the line really runs with.
  std::lock_guard lock(settingsMutex_);
  LineSettings& s = settings_;
  switch (event.Command) {
    case telnet::SetBaudrate + telnet::ServerOffset:
      if (event.ValueSize == 4 && value > 0) s.BaudRate = value;
      break;
    case telnet::SetDatasize + telnet::ServerOffset:
      if (value >= 5 && value <= 8) s.ByteSize = static_cast<uint8_t>(value);
      break;
    case telnet::SetParity + telnet::ServerOffset:
      if (value >= telnet::ParityNone && value <= telnet::ParitySpace)
        s.Parity = static_cast<uint8_t>(value - 1);
      break;
    case telnet::SetStopsize + telnet::ServerOffset:
      if (value == telnet::StopOne) s.StopBits = OneStopBit;
      if (value == telnet::StopTwo) s.StopBits = TwoStopBits;
      if (value == telnet::StopOneAndHalf) s.StopBits = One5StopBits;
      break;
    case telnet::SetControl + telnet::ServerOffset:
      switch (value) {
        case telnet::ControlNoFlow:
          s.OutX = false;
          s.OutxCtsFlow = false;
          if (s.RtsControl == RtsControl::Handshake) s.RtsControl = RtsControl::Enabled;
          break;
        case telnet::ControlXonXoff:
          s.OutX = true;
          s.OutxCtsFlow = false;
          break;
        case telnet::ControlHardware:
          s.OutX = false;
          s.OutxCtsFlow = true;
          s.RtsControl = RtsControl::Handshake;
          break;
        case telnet::ControlDtrOn:
        case telnet::ControlDtrOff:
          awaited_ &= ~AwaitDtr;
          if (s.DtrControl != DtrControl::Handshake) {
            s.DtrControl =
                value == telnet::ControlDtrOn ? DtrControl::Enabled : DtrControl::Disabled;
          }
          break;
        case telnet::ControlRtsOn:
        case telnet::ControlRtsOff:
          awaited_ &= ~AwaitRts;
          if (!HardwareFlow(s) && s.RtsControl != RtsControl::Toggle) {
            s.RtsControl =
                value == telnet::ControlRtsOn ? RtsControl::Enabled : RtsControl::Disabled;
          }
          break;
        case telnet::ControlInboundNoFlow:
        case telnet::ControlInboundXonXoff:
          s.InX = value == telnet::ControlInboundXonXoff;
          break;
        default:
          break;
      }
      break;
    default:
      break;
  }
}

int NetworkSerialDevice::FlushQueue() {
  size_t sent = 0;
  int result = 0;
  while (sent < queue_.size()) {
    const ssize_t n =
        send(descriptor_, queue_.data() + sent, queue_.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) result = Lost(errno);
    break;
  }
  queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(sent));
  queueWaiting_ = !queue_.empty();
  return result;
}

int NetworkSerialDevice::SendCommand(const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return 0;
  std::lock_guard lock(writeMutex_);
  queue_.insert(queue_.end(), bytes.begin(), bytes.end());
  queueWaiting_ = true;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(CommandWaitMs);
  for (;;) {
    if (const int err = FlushQueue()) return err;
    if (queue_.empty()) return 0;
    // The socket is full: the command waits behind the data, and goes with the next write
    // when the server takes nothing within the wait.
    pollfd fds[2] = {{descriptor_, POLLOUT, 0}, {closeEvent_, POLLIN, 0}};
    if (poll(fds, 2, MillisecondsLeft(deadline)) <= 0 || (fds[1].revents & POLLIN)) return 0;
  }
}

int NetworkSerialDevice::GetState(LineSettings& settings) {
  if (!IsOpen()) return PeInvalidHandle;
  std::lock_guard lock(settingsMutex_);
  settings = settings_;
  return 0;
}

int NetworkSerialDevice::SetState(const LineSettings& settings) {
  if (!IsOpen()) return PeInvalidHandle;
  if (settings.BaudRate == 0 || settings.Parity > SpaceParity || settings.ByteSize < 5 ||
      settings.ByteSize > 8 || settings.StopBits > TwoStopBits) {
    return PlatformErrorFromErrno(EINVAL);
  }
  std::vector<uint8_t> commands;
  {
    std::lock_guard lock(settingsMutex_);
    const LineSettings before = settings_;
    const bool all = !settingsSent_;
    settings_ = settings;
    settingsSent_ = true;
    if (scheme_ == NetworkScheme::Raw) return 0;
    // The order servers expect: rate, data size, parity, stop size; then the control lines.
    if (all || settings.BaudRate != before.BaudRate)
      telnet::AppendComPort(commands, telnet::SetBaudrate, settings.BaudRate, 4);
    if (all || settings.ByteSize != before.ByteSize)
      telnet::AppendComPort(commands, telnet::SetDatasize, settings.ByteSize);
    if (all || settings.Parity != before.Parity)
      telnet::AppendComPort(commands, telnet::SetParity, settings.Parity + 1u);
    if (all || settings.StopBits != before.StopBits)
      telnet::AppendComPort(commands, telnet::SetStopsize, StopSize(settings.StopBits));
    if (all || OutboundFlow(settings) != OutboundFlow(before))
      telnet::AppendComPort(commands, telnet::SetControl, OutboundFlow(settings));
    if (all || settings.InX != before.InX) {
      telnet::AppendComPort(
          commands, telnet::SetControl,
          settings.InX ? telnet::ControlInboundXonXoff : telnet::ControlInboundNoFlow);
    }
    if (settings.DtrControl != DtrControl::Handshake &&
        (all || settings.DtrControl != before.DtrControl)) {
      telnet::AppendComPort(commands, telnet::SetControl,
                            settings.DtrControl == DtrControl::Enabled ? telnet::ControlDtrOn
                                                                       : telnet::ControlDtrOff);
      Await(AwaitDtr);
    }
    if (!HardwareFlow(settings) && settings.RtsControl != RtsControl::Toggle &&
        (all || settings.RtsControl != before.RtsControl)) {
      telnet::AppendComPort(commands, telnet::SetControl,
                            settings.RtsControl == RtsControl::Enabled ? telnet::ControlRtsOn
                                                                       : telnet::ControlRtsOff);
      Await(AwaitRts);
    }
    if (all) {
      // Every line-state error and every modem line change is worth a notification.
      telnet::AppendComPort(commands, telnet::SetLinestateMask, telnet::LineStateErrors);
      telnet::AppendComPort(commands, telnet::SetModemstateMask, 0xFF);
    }
  }
  return SendCommand(commands);
}

int NetworkSerialDevice::Escape(int function) {
  if (!IsOpen()) return PeInvalidHandle;
  uint8_t control = 0;
  switch (function) {
    case EscSetRts:
      control = telnet::ControlRtsOn;
      break;
    case EscClrRts:
      control = telnet::ControlRtsOff;
      break;
    case EscSetDtr:
      control = telnet::ControlDtrOn;
      break;
    case EscClrDtr:
      control = telnet::ControlDtrOff;
      break;
    default:
      return PlatformErrorFromErrno(EINVAL);
  }
  if (scheme_ == NetworkScheme::Raw) return 0;
  std::vector<uint8_t> command;
  telnet::AppendComPort(command, telnet::SetControl, control);
  return SendCommand(command);
}

void NetworkSerialDevice::Await(uint32_t bits) {
  if ((awaited_ & bits) != bits) awaitedSinceMs_ = NowMs();
  awaited_ |= bits;
}

void NetworkSerialDevice::CheckAcknowledged() {
  const uint32_t awaited = awaited_;
  if (noticed_ || awaited == 0 || NowMs() - awaitedSinceMs_ < AcknowledgeWaitMs) return;
  noticed_ = true;
  if (!notice_) return;
  if (awaited & AwaitComPort) {
    notice_("服务器未确认 RFC 2217 线路控制，线路设置可能不会生效");
  } else {
    notice_("服务器未确认 DTR/RTS 的设置，已继续");
  }
}

int NetworkSerialDevice::ModemStatus(uint32_t& lines) {
  lines = 0;
  if (!IsOpen()) return PeInvalidHandle;
  lines = modemLines_;
  return 0;
}

uint32_t NetworkSerialDevice::Waiting() const {
  int waiting = 0;
  if (ioctl(descriptor_, FIONREAD, &waiting) != 0) waiting = 0;
  return static_cast<uint32_t>(std::max(waiting, 0)) + decodedCount_;
}

int NetworkSerialDevice::ClearErrors(DeviceStatus& status) {
  status = DeviceStatus{};
  if (!IsOpen()) return PeInvalidHandle;
  status.Errors = errorsToClear_.exchange(0);
  status.InQueue = Waiting();
  return 0;
}

int NetworkSerialDevice::Purge(PurgeQueue queue) {
  if (!IsOpen()) return PeInvalidHandle;
  if (queue == PurgeQueue::Input) {
    std::lock_guard lock(readMutex_);
    // What the socket holds is decoded (commands among it still count) and dropped.
    uint8_t buffer[4096];
    ssize_t n;
    while ((n = recv(descriptor_, buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
      Decode(buffer, static_cast<size_t>(n));
    decoded_.clear();
    decodedStart_ = 0;
    decodedCount_ = 0;
  }
  if (scheme_ == NetworkScheme::Raw) return 0;
  std::vector<uint8_t> command;
  telnet::AppendComPort(command, telnet::PurgeData,
                        queue == PurgeQueue::Input ? telnet::PurgeReceive : telnet::PurgeTransmit);
  return SendCommand(command);
}

int NetworkSerialDevice::OutputQueue(uint32_t& count) {
  count = 0;
  if (!IsOpen()) return PeInvalidHandle;
  int unsent = 0;
  if (ioctl(descriptor_, TIOCOUTQ, &unsent) != 0) unsent = 0;
  std::lock_guard lock(writeMutex_);
  count = static_cast<uint32_t>(queue_.size()) + static_cast<uint32_t>(std::max(unsent, 0));
  return 0;
}

long NetworkSerialDevice::Read(uint8_t* buffer, size_t count) {
  if (!IsOpen()) return -PeInvalidHandle;
  if (count == 0) return 0;
  std::lock_guard lock(readMutex_);
  for (;;) {
    if (decodedStart_ < decoded_.size()) {
      const size_t n = std::min(count, decoded_.size() - decodedStart_);
      std::copy_n(decoded_.begin() + static_cast<std::ptrdiff_t>(decodedStart_), n, buffer);
      decodedStart_ += n;
      if (decodedStart_ == decoded_.size()) {
        decoded_.clear();
        decodedStart_ = 0;
      }
      decodedCount_ = static_cast<uint32_t>(decoded_.size() - decodedStart_);
      bytesTaken_ = true;
      return static_cast<long>(n);
    }
    if (!protocolError_.empty()) return -PeFileNotFound;
    // Raw bytes go straight into the caller's buffer; telnet goes through the decoder.
    uint8_t raw[4096];
    uint8_t* into = scheme_ == NetworkScheme::Raw ? buffer : raw;
    const size_t room = scheme_ == NetworkScheme::Raw ? count : sizeof raw;
    const ssize_t n = recv(descriptor_, into, room, MSG_DONTWAIT);
    if (n > 0) {
      if (scheme_ == NetworkScheme::Raw) {
        bytesTaken_ = true;
        return static_cast<long>(n);
      }
      Decode(raw, static_cast<size_t>(n));
      continue;
    }
    if (n == 0) {
      // The server closed the connection, after every byte it sent.
      gone_ = true;
      return -PeFileNotFound;
    }
    const int err = errno;
    if (err == EINTR) continue;
    if (err == EAGAIN) return 0;
    return -Lost(err);
  }
}

WriteOutcome NetworkSerialDevice::Write(const uint8_t* data, size_t count) {
  if (!IsOpen()) return {0, PeInvalidHandle};
  if (count == 0) return {};
  std::lock_guard lock(writeMutex_);
  if (suspended_) return {};
  if (const int err = FlushQueue()) return {0, err};
  if (!queue_.empty()) return {};
  if (scheme_ == NetworkScheme::Raw) {
    for (;;) {
      const ssize_t n = send(descriptor_, data, count, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n >= 0) return {static_cast<size_t>(n), 0};
      if (errno == EINTR) continue;
      if (errno == EAGAIN) return {};
      return {0, Lost(errno)};
    }
  }
  // The encoded run is this device's to send from now on: the bytes count as written.
  const size_t chunk = std::min(count, MaxWriteChunk);
  telnet::AppendData(queue_, data, chunk);
  queueWaiting_ = true;
  if (const int err = FlushQueue()) return {0, err};
  return {chunk, 0};
}

bool NetworkSerialDevice::WaitWritable(int timeoutMs) {
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  for (;;) {
    if (!IsOpen() || gone_) return false;
    const int wait = timeoutMs < 0 ? -1 : MillisecondsLeft(deadline);
    if (suspended_) {
      // The server asked for a pause: only its resume (or the close) ends the wait.
      pollfd fds[2] = {{resumeEvent_, POLLIN, 0}, {closeEvent_, POLLIN, 0}};
      const int ready = poll(fds, 2, wait);
      if (ready < 0 && errno == EINTR) continue;
      if (fds[0].revents & POLLIN) Drain(resumeEvent_);
      if (ready <= 0 || closed_) return false;
      continue;
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

void NetworkSerialDevice::SetEventMask(uint32_t mask) {
  eventMask_ = mask;
  if (mask == 0 && maskEvent_ >= 0) Signal(maskEvent_);
}

bool NetworkSerialDevice::WaitEvent(uint32_t& events) {
  events = 0;
  if (!IsOpen() || gone_) return false;
  Drain(maskEvent_);
  for (;;) {
    if (closed_) return false;
    const uint32_t mask = eventMask_;
    if (mask == 0) return true;

    // Taken before the count is read, so a read after this look is noticed by the next one.
    const bool taken = bytesTaken_.exchange(false);
    const uint32_t inCount = Waiting();
    const uint32_t lines = modemLines_;
    const uint32_t errors = errorsToReport_.exchange(0);
    uint32_t found = 0;
    if (inCount > 0 && (inCount != waiterInCount_ || taken)) found |= EvRxChar;
    const uint32_t changed = lines ^ waiterLines_;
    if (changed & ModemCts) found |= EvCts;
    if (changed & ModemDsr) found |= EvDsr;
    if (changed & ModemDcd) found |= EvRlsd;
    if ((changed & ModemRi) && !(lines & ModemRi)) found |= EvRing;
    if (errors & CeBreak) found |= EvBreak;
    if (errors & (CeOverrun | CeRxParity | CeFrame)) found |= EvErr;
    waiterInCount_ = inCount;
    waiterLines_ = lines;
    if (found & mask) {
      events = found & mask;
      return true;
    }
    if (gone_) return false;
    CheckAcknowledged();
    // What the socket did not take of a run the output thread counted as written (or of a
    // command) goes out from here when no later write comes to send it.
    if (queueWaiting_) {
      std::unique_lock lock(writeMutex_, std::try_to_lock);
      if (lock.owns_lock()) FlushQueue();
    }

    // Reported bytes still waiting: poll for the server's close only, not for input. A queue
    // still waiting wakes the waiter when the socket takes bytes again.
    const short socketEvents =
        static_cast<short>((inCount > 0 ? 0 : POLLIN) | POLLRDHUP | (queueWaiting_ ? POLLOUT : 0));
    pollfd fds[3] = {
        {descriptor_, socketEvents, 0}, {closeEvent_, POLLIN, 0}, {maskEvent_, POLLIN, 0}};
    if (poll(fds, 3, EventPollIntervalMs) < 0 && errno != EINTR) {
      gone_ = true;
      return false;
    }
    if (closed_) return false;
    if (fds[0].revents & kHangUp) {
      gone_ = true;
      return false;
    }
    // The server closed its side: what it sent before stays readable, and nothing comes after.
    if (fds[0].revents & POLLRDHUP) {
      gone_ = true;
      return false;
    }
    if (fds[2].revents & POLLIN) Drain(maskEvent_);
  }
}

}  // namespace talyx::platform
