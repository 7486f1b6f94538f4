// TraceLogFile: buffered CR LF text output over a POSIX file descriptor.
#include "dispatch/tracelog_textfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/platformerror.h"

namespace talyx {

namespace {

ErrorCode FileError(int err) { return -platform::PlatformErrorFromErrno(err); }

}  // namespace

TraceLogFile::~TraceLogFile() {
  // Reached only when a writer gave up without Close; the file's state no longer matters.
  if (fd_ >= 0) ::close(fd_);
}

ErrorCode TraceLogFile::Open(const std::string& fileName, bool append) {
  used_ = 0;
  status_ = ecOK;
  if (append) {
    fd_ = ::open(fileName.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd_ >= 0) return ecOK;
    const int err = errno;
    if (err != ENOENT) return FileError(err);
  }
  fd_ = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) return FileError(errno);
  return ecOK;
}

void TraceLogFile::Write(std::string_view text) {
  while (!text.empty() && status_ == ecOK) {
    if (used_ == BufferSize) Flush();
    const size_t n = std::min(text.size(), BufferSize - used_);
    std::memcpy(buffer_ + used_, text.data(), n);
    used_ += n;
    text.remove_prefix(n);
  }
}

void TraceLogFile::EndLine() { Write("\r\n"); }

ErrorCode TraceLogFile::Close() {
  if (fd_ < 0) return status_;
  Flush();
  // The descriptor is gone after close() whatever it reports, so it is never retried.
  if (::close(fd_) != 0 && status_ == ecOK) Fail(errno);
  fd_ = -1;
  return status_;
}

void TraceLogFile::Flush() {
  size_t done = 0;
  while (done < used_ && status_ == ecOK) {
    const ssize_t n = ::write(fd_, buffer_ + done, used_ - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      // A write of 0 bytes to a regular file means no room is left.
      Fail(n < 0 ? errno : ENOSPC);
    }
  }
  used_ = 0;
}

void TraceLogFile::Fail(int err) {
  if (status_ == ecOK) status_ = FileError(err);
}

}  // namespace talyx
