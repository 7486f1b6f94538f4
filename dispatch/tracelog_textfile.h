// TraceLogFile: the text file that the trace and the dispatch log are written to.
//
// Principles of operation:
// - A file is opened for writing, appended to when asked and it exists, otherwise created or
//   truncated; text goes through a 512-byte buffer and every line ends in CR LF.
// - Failures are platform error numbers, negated, taken from errno at the failing call. After
//   the first failure later writes are dropped, and Close reports that first failure, so a file
//   that was cut short is never reported as written.
// - One object is used by one thread at a time (the dispatcher holds MainLock while writing).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "errors/errorcodes.h"

namespace talyx {

class TraceLogFile {
 public:
  TraceLogFile() = default;
  ~TraceLogFile();
  TraceLogFile(const TraceLogFile&) = delete;
  TraceLogFile& operator=(const TraceLogFile&) = delete;

  // Opens fileName: appends when append is set and the file exists, otherwise creates it or
  // empties it. 0, or the negated platform error number of the failed open.
  ErrorCode Open(const std::string& fileName, bool append);
  void Write(std::string_view text);
  // Ends the current line with CR LF.
  void EndLine();
  // Writes out what is buffered and closes the file: 0, or the negated platform error number of
  // the first write or close that failed since Open.
  ErrorCode Close();

 private:
  static constexpr size_t BufferSize = 512;

  void Flush();
  void Fail(int err);

  int fd_ = -1;
  char buffer_[BufferSize] = {};
  size_t used_ = 0;
  ErrorCode status_ = ecOK;
};

}  // namespace talyx
