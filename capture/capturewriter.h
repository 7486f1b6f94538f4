// TCaptureWriter: the capture to file: the bus monitor's frames written as pcap (and, as an
// option, a text log beside it) by a thread of its own.
//
// Principles of operation:
// - Start opens the first file in the folder (made when missing) under the name
//   talyx-YYYYMMDD-HHMMSS.pcap of the local time, with -1, -2 ... when that name is taken; a
//   file that would pass the rotation size is closed and the next one opened, so no file but
//   one holding a single larger record passes it. The text log has the same name ending .txt.
// - Add (the main thread) only queues the events; the writer thread turns them into records
//   and writes them once a second, or as soon as the queue holds a sixteenth of its limit:
//   waking the writer for every batch (a saturated line brings hundreds a second) cost both
//   threads more than the writing itself. The queue is bounded (QueueLimit bytes): a disk
//   that falls that far behind stops the capture, and so do a failed write (a full disk, a
//   file-size limit) and a file that cannot be opened. A stopped capture says why (Failure) and
//   its files keep every whole record written up to there: a record cut short is cut off.
// - A file-size limit must stop the capture, not the program: Start ignores SIGXFSZ for the
//   process when it is at its default.
// - Times: events carry microsecond-clock times; the wall-clock offset given with them turns
//   them into the records' times.
// - Threads: Start, Add, Stop and the queries on one thread (the main thread); the writer
//   thread owns the files. Stop writes what is queued and ends the thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "modbus/rtumonitor.h"
#include "text/registerformat.h"

namespace talyx::capture {

struct TCaptureSettings {
  std::string Folder;
  uint64_t RotateBytes = 100u << 20;
  bool TextLog = false;
  // The text log's register values.
  formats::TRegisterFormat RegisterFormat = formats::TRegisterFormat::rfU16;
};

class TCaptureWriter {
 public:
  static constexpr size_t QueueLimit = 64u << 20;
  static constexpr int FlushIntervalMs = 1000;

  explicit TCaptureWriter(TCaptureSettings settings, size_t queueLimit = QueueLimit);
  ~TCaptureWriter();
  TCaptureWriter(const TCaptureWriter&) = delete;
  TCaptureWriter& operator=(const TCaptureWriter&) = delete;

  // Opens the first file and starts the thread; "" on success, else why not.
  std::string Start();
  // Queues the events (Unanswered ones carry no bytes and are left out); wallOffsetUs is the
  // wall clock (µs since the epoch) less the microsecond clock.
  void Add(const std::vector<modbus::RtuEvent>& events, int64_t wallOffsetUs);
  // Writes what is queued, closes the files and ends the thread.
  void Stop();

  // Started and not stopped, by Stop or by a failure.
  bool Running() const;
  // Why the capture stopped by itself; "" while it runs or after Stop.
  std::string Failure() const;
  // The capture files written so far (pcap and text), in order.
  std::vector<std::string> Files() const;
  // Bytes queued and not yet written.
  size_t Queued() const;

 private:
  struct Item {
    modbus::RtuEvent Event;
    int64_t WallOffsetUs;
  };

  void Run();
  // Writer thread: turns the items into records and writes them; false after a failure.
  bool WriteItems(const std::vector<Item>& items);
  // Writer thread: opens the next pcap (and text) file.
  bool OpenNext();
  void CloseFiles();
  // Writer thread: writes the buffer whole, or cuts the file back to its last whole record.
  bool WriteOut(int fd, std::vector<uint8_t>& buffer, const std::vector<size_t>& recordEnds,
                uint64_t& fileSize);
  void Fail(const std::string& why);

  const TCaptureSettings settings_;
  const size_t queueLimit_;
  const size_t wakeBytes_;  // queued bytes that wake the writer before its second is up
  std::thread thread_;
  mutable std::mutex lock_;  // guards everything below up to the writer's own state
  std::condition_variable wake_;
  std::vector<Item> queue_;
  size_t queued_ = 0;
  bool running_ = false;
  bool stopping_ = false;
  std::string failure_;
  std::vector<std::string> files_;
  // Writer thread (and Start before it runs).
  int pcapFd_ = -1;
  int textFd_ = -1;
  uint64_t pcapSize_ = 0;
  uint64_t textSize_ = 0;
};

// The default capture folder: $XDG_DATA_HOME/talyx/captures, else ~/.local/share/talyx/captures.
std::string DefaultCaptureFolder();

}  // namespace talyx::capture
