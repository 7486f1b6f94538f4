// TCaptureWriter: the bounded queue, the writer thread, file naming and rotation.
#include "capture/capturewriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <utility>

#include "capture/capturetext.h"
#include "capture/pcapformat.h"

namespace talyx::capture {

namespace {

std::string ErrnoText(int error) { return std::strerror(error); }

// Room an item takes in the queue: its bytes and a fixed share for the record around them.
size_t ItemCost(const modbus::RtuEvent& event) { return event.Bytes.size() + 256; }

// A file-size limit makes write() fail with EFBIG only when SIGXFSZ does not end the process.
void IgnoreFileSizeSignal() {
  struct sigaction current {};
  if (sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, nullptr);
  }
}

// "talyx-YYYYMMDD-HHMMSS" of the local time now.
std::string NameStem() {
  const time_t now = time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  char stem[40];
  const size_t length = strftime(stem, sizeof stem, "talyx-%Y%m%d-%H%M%S", &local);
  return std::string(stem, length);
}

}  // namespace

std::string DefaultCaptureFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data != nullptr && data[0] == '/') return std::string(data) + "/talyx/captures";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.local/share/talyx/captures";
}

TCaptureWriter::TCaptureWriter(TCaptureSettings settings, size_t queueLimit)
    : settings_(std::move(settings)),
      queueLimit_(queueLimit),
      wakeBytes_(std::max<size_t>(queueLimit / 16, 1)) {}

TCaptureWriter::~TCaptureWriter() { Stop(); }

std::string TCaptureWriter::Start() {
  if (thread_.joinable()) return {};
  IgnoreFileSizeSignal();
  std::error_code error;
  std::filesystem::create_directories(settings_.Folder, error);
  if (error) return settings_.Folder + ": " + error.message();
  if (!OpenNext()) {
    const std::lock_guard<std::mutex> guard(lock_);
    std::string why = failure_;
    failure_.clear();
    return why;
  }
  {
    const std::lock_guard<std::mutex> guard(lock_);
    running_ = true;
    stopping_ = false;
  }
  thread_ = std::thread([this] { Run(); });
  return {};
}

void TCaptureWriter::Add(const std::vector<modbus::RtuEvent>& events, int64_t wallOffsetUs) {
  bool wake = false;
  {
    const std::lock_guard<std::mutex> guard(lock_);
    if (!running_ || stopping_) return;
    const bool writerAsleep = queued_ < wakeBytes_;
    for (const modbus::RtuEvent& event : events) {
      if (event.Kind == modbus::RtuEventKind::Unanswered) continue;
      const size_t cost = ItemCost(event);
      if (queued_ + cost > queueLimit_) {
        failure_ = "the disk fell behind by more than the queue holds";
        running_ = false;
        wake = true;
        break;
      }
      queue_.push_back({event, wallOffsetUs});
      queued_ += cost;
    }
    wake = wake || (writerAsleep && queued_ >= wakeBytes_);
  }
  if (wake) wake_.notify_one();
}

void TCaptureWriter::Stop() {
  {
    const std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
  const std::lock_guard<std::mutex> guard(lock_);
  running_ = false;
  CloseFiles();
}

bool TCaptureWriter::Running() const {
  const std::lock_guard<std::mutex> guard(lock_);
  return running_;
}

std::string TCaptureWriter::Failure() const {
  const std::lock_guard<std::mutex> guard(lock_);
  return failure_;
}

std::vector<std::string> TCaptureWriter::Files() const {
  const std::lock_guard<std::mutex> guard(lock_);
  return files_;
}

size_t TCaptureWriter::Queued() const {
  const std::lock_guard<std::mutex> guard(lock_);
  return queued_;
}

void TCaptureWriter::Fail(const std::string& why) {
  const std::lock_guard<std::mutex> guard(lock_);
  if (failure_.empty()) failure_ = why;
  running_ = false;
}

void TCaptureWriter::Run() {
  for (;;) {
    std::vector<Item> items;
    bool last;
    {
      std::unique_lock<std::mutex> guard(lock_);
      wake_.wait_for(guard, std::chrono::milliseconds(FlushIntervalMs),
                     [this] { return stopping_ || !running_ || queued_ >= wakeBytes_; });
      items.swap(queue_);
      queued_ = 0;
      // A capture the queue stopped still writes what it had taken in.
      last = stopping_ || !running_;
    }
    if (!WriteItems(items) || last) break;
  }
  CloseFiles();
}

bool TCaptureWriter::OpenNext() {
  CloseFiles();
  const std::string stem = settings_.Folder + "/" + NameStem();
  for (int n = 0; n < 1000; ++n) {
    const std::string base = n == 0 ? stem : stem + "-" + std::to_string(n);
    const int fd = open((base + ".pcap").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) {
      Fail(base + ".pcap: " + ErrnoText(errno));
      return false;
    }
    pcapFd_ = fd;
    pcapSize_ = 0;
    {
      const std::lock_guard<std::mutex> guard(lock_);
      files_.push_back(base + ".pcap");
    }
    std::vector<uint8_t> header = PcapFileHeader();
    if (!WriteOut(pcapFd_, header, {header.size()}, pcapSize_)) return false;
    if (settings_.TextLog) {
      textFd_ = open((base + ".txt").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
      if (textFd_ < 0) {
        Fail(base + ".txt: " + ErrnoText(errno));
        return false;
      }
      textSize_ = 0;
      const std::lock_guard<std::mutex> guard(lock_);
      files_.push_back(base + ".txt");
    }
    return true;
  }
  Fail(stem + ".pcap: " + ErrnoText(EEXIST));
  return false;
}

void TCaptureWriter::CloseFiles() {
  if (pcapFd_ >= 0) close(pcapFd_);
  if (textFd_ >= 0) close(textFd_);
  pcapFd_ = -1;
  textFd_ = -1;
}

bool TCaptureWriter::WriteOut(int fd, std::vector<uint8_t>& buffer,
                              const std::vector<size_t>& recordEnds, uint64_t& fileSize) {
  size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t n = write(fd, buffer.data() + done, buffer.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    const int error = n < 0 ? errno : ENOSPC;
    // Keep the whole records that made it; a record cut short would spoil the file's end.
    size_t whole = 0;
    for (const size_t end : recordEnds) {
      if (end <= done) whole = end;
    }
    if (ftruncate(fd, static_cast<off_t>(fileSize + whole)) != 0) {
      // The file keeps the cut record; a reader reports it as cut short and keeps the rest.
    }
    fileSize += whole;
    buffer.clear();
    Fail(ErrnoText(error));
    return false;
  }
  fileSize += buffer.size();
  buffer.clear();
  return true;
}

bool TCaptureWriter::WriteItems(const std::vector<Item>& items) {
  std::vector<uint8_t> pcap;
  std::vector<size_t> pcapEnds;
  std::string text;
  std::vector<size_t> textEnds;
  const auto flushBoth = [&] {
    std::vector<uint8_t> textBytes(text.begin(), text.end());
    text.clear();
    const bool pcapOk = WriteOut(pcapFd_, pcap, pcapEnds, pcapSize_);
    const bool textOk = !pcapOk || textFd_ < 0 || WriteOut(textFd_, textBytes, textEnds, textSize_);
    pcapEnds.clear();
    textEnds.clear();
    return pcapOk && textOk;
  };
  for (const Item& item : items) {
    const modbus::RtuEvent& event = item.Event;
    const int64_t wallUs = item.WallOffsetUs + static_cast<int64_t>(event.StartUs);
    std::vector<uint8_t> record;
    AppendPcapRecord(record, event.Bytes.data(), event.Bytes.size(),
                     event.Dir == modbus::Direction::Sent,
                     event.Kind == modbus::RtuEventKind::Frame,
                     static_cast<uint64_t>(std::max<int64_t>(wallUs, 0)) * 1000);
    const uint64_t pcapHeld = pcapSize_ + pcap.size();
    if (pcapHeld > PcapFileHeaderSize && pcapHeld + record.size() > settings_.RotateBytes) {
      if (!flushBoth() || !OpenNext()) return false;
    }
    pcap.insert(pcap.end(), record.begin(), record.end());
    pcapEnds.push_back(pcap.size());
    if (textFd_ >= 0) {
      text += CaptureTextLine(event, wallUs, settings_.RegisterFormat);
      textEnds.push_back(text.size());
    }
  }
  return flushBoth();
}

}  // namespace talyx::capture
