// FakeSerialDevice: the in-memory serial device (see fakeserialdevice.h for its rules).
#include "support/fakeserialdevice.h"

#include <algorithm>
#include <chrono>

namespace talyx::testing {

using platform::LineSettings;

int FakeSerialDevice::Open(const std::string& path) {
  std::lock_guard lock(mutex_);
  ++counts_.Open;
  if (openError_ != 0) return openError_;
  if (open_) return InvalidArgument;
  open_ = true;
  path_ = path;
  return 0;
}

int FakeSerialDevice::Adopt(int descriptor) {
  std::lock_guard lock(mutex_);
  if (descriptor < 0) return InvalidHandle;
  if (open_) return InvalidArgument;
  open_ = true;
  path_.clear();
  return 0;
}

bool FakeSerialDevice::IsOpen() const {
  std::lock_guard lock(mutex_);
  return open_;
}

int FakeSerialDevice::Close() {
  std::lock_guard lock(mutex_);
  open_ = false;
  changed_.notify_all();
  return 0;
}

void FakeSerialDevice::Release() {}

int FakeSerialDevice::GetState(LineSettings& settings) {
  std::lock_guard lock(mutex_);
  ++counts_.GetState;
  if (!open_) return InvalidHandle;
  settings = settings_;
  if (force_) force_(settings);
  return 0;
}

int FakeSerialDevice::SetState(const LineSettings& settings) {
  std::lock_guard lock(mutex_);
  ++counts_.SetState;
  if (!open_) return InvalidHandle;
  if (setStateError_ != 0) return setStateError_;
  if (settings.BaudRate == 0 || settings.Parity > platform::SpaceParity || settings.ByteSize < 5 ||
      settings.ByteSize > 8 || settings.StopBits > platform::TwoStopBits) {
    return InvalidArgument;
  }
  settings_ = settings;
  return 0;
}

int FakeSerialDevice::Escape(int function) {
  std::lock_guard lock(mutex_);
  if (!open_) return InvalidHandle;
  if (escapeError_ != 0) return escapeError_;
  switch (function) {
    case platform::EscSetRts:
      rts_ = true;
      break;
    case platform::EscClrRts:
      rts_ = false;
      break;
    case platform::EscSetDtr:
      dtr_ = true;
      break;
    case platform::EscClrDtr:
      dtr_ = false;
      break;
    default:
      return InvalidArgument;
  }
  escapes_.push_back(function);
  return 0;
}

int FakeSerialDevice::ModemStatus(uint32_t& lines) {
  std::lock_guard lock(mutex_);
  ++counts_.ModemStatus;
  lines = 0;
  if (!open_) return InvalidHandle;
  lines = modemLines_;
  return 0;
}

int FakeSerialDevice::ClearErrors(platform::DeviceStatus& status) {
  std::lock_guard lock(mutex_);
  ++counts_.ClearErrors;
  status = platform::DeviceStatus{};
  if (!open_) return InvalidHandle;
  status.Errors = lineErrors_;
  status.InQueue = static_cast<uint32_t>(input_.size());
  lineErrors_ = 0;
  return 0;
}

int FakeSerialDevice::Purge(platform::PurgeQueue queue) {
  std::lock_guard lock(mutex_);
  if (!open_) return InvalidHandle;
  if (queue == platform::PurgeQueue::Input) {
    ++counts_.PurgeInput;
    input_.clear();
  } else {
    ++counts_.PurgeOutput;
  }
  return 0;
}

int FakeSerialDevice::OutputQueue(uint32_t& count) {
  std::lock_guard lock(mutex_);
  ++counts_.OutputQueue;
  count = 0;
  if (!open_) return InvalidHandle;
  count = driverOutQueue_;
  return 0;
}

void FakeSerialDevice::SetDriverOutQueue(uint32_t count) {
  std::lock_guard lock(mutex_);
  driverOutQueue_ = count;
}

long FakeSerialDevice::Read(uint8_t* buffer, size_t count) {
  std::lock_guard lock(mutex_);
  ++counts_.Read;
  if (!open_) return -InvalidHandle;
  if (failNextRead_ != 0 && readsBeforeFailure_-- == 0) {
    const long result = failNextRead_;
    failNextRead_ = 0;
    return result;
  }
  const size_t n = std::min(count, input_.size());
  std::copy_n(input_.begin(), n, buffer);
  input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(n));
  return static_cast<long>(n);
}

platform::WriteOutcome FakeSerialDevice::Write(const uint8_t* data, size_t count) {
  std::lock_guard lock(mutex_);
  ++counts_.Write;
  if (!open_) return {0, InvalidHandle};
  if (writeError_ != 0) return {0, writeError_};
  if (drainStalled_) return {0, 0};
  const size_t n = std::min(count, writeLimit_);
  output_.insert(output_.end(), data, data + n);
  return {n, 0};
}

bool FakeSerialDevice::WaitWritable(int timeoutMs) {
  std::unique_lock lock(mutex_);
  const auto ready = [this] { return !open_ || !drainStalled_; };
  if (timeoutMs < 0) {
    changed_.wait(lock, ready);
  } else {
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
  }
  return open_ && !drainStalled_;
}

void FakeSerialDevice::SetEventMask(uint32_t mask) {
  std::lock_guard lock(mutex_);
  eventMask_ = mask;
  changed_.notify_all();
}

bool FakeSerialDevice::WaitEvent(uint32_t& events) {
  std::unique_lock lock(mutex_);
  events = 0;
  ++waiters_;
  changed_.notify_all();
  changed_.wait(lock,
                [this] { return !open_ || eventMask_ == 0 || (pendingEvents_ & eventMask_); });
  --waiters_;
  if (!open_) return false;
  events = pendingEvents_ & eventMask_;
  pendingEvents_ &= ~events;
  return true;
}

void FakeSerialDevice::FailOpen(int error) {
  std::lock_guard lock(mutex_);
  openError_ = error;
}

std::string FakeSerialDevice::OpenedPath() const {
  std::lock_guard lock(mutex_);
  return path_;
}

void FakeSerialDevice::FeedInput(const std::vector<uint8_t>& bytes) {
  std::lock_guard lock(mutex_);
  input_.insert(input_.end(), bytes.begin(), bytes.end());
  if (!bytes.empty()) RaiseLocked(platform::EvRxChar);
}

void FakeSerialDevice::FeedInput(const std::string& bytes) {
  FeedInput(std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

size_t FakeSerialDevice::InputCount() const {
  std::lock_guard lock(mutex_);
  return input_.size();
}

void FakeSerialDevice::FailNextRead(long result, int readsBefore) {
  std::lock_guard lock(mutex_);
  failNextRead_ = result;
  readsBeforeFailure_ = readsBefore;
}

void FakeSerialDevice::SetModemLines(uint32_t lines) {
  std::lock_guard lock(mutex_);
  const uint32_t changed = modemLines_ ^ lines;
  modemLines_ = lines;
  uint32_t events = 0;
  if (changed & platform::ModemCts) events |= platform::EvCts;
  if (changed & platform::ModemDsr) events |= platform::EvDsr;
  if (changed & platform::ModemDcd) events |= platform::EvRlsd;
  if ((changed & platform::ModemRi) && !(lines & platform::ModemRi)) events |= platform::EvRing;
  RaiseLocked(events);
}

void FakeSerialDevice::InjectLineErrors(uint32_t bits) {
  std::lock_guard lock(mutex_);
  lineErrors_ |= bits;
  uint32_t events = 0;
  if (bits & platform::CeBreak) events |= platform::EvBreak;
  if (bits & ~platform::CeBreak) events |= platform::EvErr;
  RaiseLocked(events);
}

void FakeSerialDevice::RaiseEvents(uint32_t events) {
  std::lock_guard lock(mutex_);
  RaiseLocked(events);
}

void FakeSerialDevice::RaiseLocked(uint32_t events) {
  if (events == 0) return;
  pendingEvents_ |= events;
  changed_.notify_all();
}

uint32_t FakeSerialDevice::EventMask() const {
  std::lock_guard lock(mutex_);
  return eventMask_;
}

bool FakeSerialDevice::WaitingForEvent() const {
  std::lock_guard lock(mutex_);
  return waiters_ > 0;
}

std::vector<uint8_t> FakeSerialDevice::Output() const {
  std::lock_guard lock(mutex_);
  return output_;
}

std::vector<uint8_t> FakeSerialDevice::TakeOutput() {
  std::lock_guard lock(mutex_);
  std::vector<uint8_t> taken;
  taken.swap(output_);
  return taken;
}

void FakeSerialDevice::SetWriteLimit(size_t limit) {
  std::lock_guard lock(mutex_);
  writeLimit_ = limit;
}

void FakeSerialDevice::FailWrites(int error) {
  std::lock_guard lock(mutex_);
  writeError_ = error;
}

void FakeSerialDevice::StallDrain() {
  std::lock_guard lock(mutex_);
  drainStalled_ = true;
}

void FakeSerialDevice::ReleaseDrain() {
  std::lock_guard lock(mutex_);
  drainStalled_ = false;
  changed_.notify_all();
}

void FakeSerialDevice::ForceSettings(std::function<void(LineSettings&)> force) {
  std::lock_guard lock(mutex_);
  force_ = std::move(force);
}

void FakeSerialDevice::FailSetState(int error) {
  std::lock_guard lock(mutex_);
  setStateError_ = error;
}

LineSettings FakeSerialDevice::StoredSettings() const {
  std::lock_guard lock(mutex_);
  return settings_;
}

void FakeSerialDevice::FailEscapes(int error) {
  std::lock_guard lock(mutex_);
  escapeError_ = error;
}

std::vector<int> FakeSerialDevice::Escapes() const {
  std::lock_guard lock(mutex_);
  return escapes_;
}

bool FakeSerialDevice::Dtr() const {
  std::lock_guard lock(mutex_);
  return dtr_;
}

bool FakeSerialDevice::Rts() const {
  std::lock_guard lock(mutex_);
  return rts_;
}

FakeSerialDevice::CallCounts FakeSerialDevice::Counts() const {
  std::lock_guard lock(mutex_);
  return counts_;
}

}  // namespace talyx::testing
