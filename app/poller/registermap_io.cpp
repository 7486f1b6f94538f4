// The poll set file on disk: bounded reading, and writing whole through a synced temporary file and
// a rename.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "app/poller/registermap.h"

namespace talyx::app {

namespace {

std::string ErrnoText(int error) { return std::generic_category().message(error); }

// Closes the descriptor when the scope ends.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int Get() const { return fd_; }
  // Closes now, for the error a close can report (a delayed write that failed).
  int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

RegisterMapReading FileFailure(MapProblem kind, std::string problem) {
  RegisterMapReading reading;
  reading.Kind = kind;
  reading.Problem = std::move(problem);
  return reading;
}

// Writes all of text; the errno of the failure, else 0.
int WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    text.remove_prefix(static_cast<size_t>(written));
  }
  return 0;
}

// The folder of path, for the temporary file and the sync of the rename.
std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

RegisterMapReading LoadPollSetFile(const std::string& path) {
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.Get() < 0) {
    const int error = errno;
    if (error == ENOENT) {
      return FileFailure(MapProblem::mpFileMissing,
                         std::string(MapProblemText(MapProblem::mpFileMissing)));
    }
    return FileFailure(MapProblem::mpFileUnreadable, ErrnoText(error));
  }
  std::string text;
  char buffer[65536];
  while (true) {
    const ssize_t got = ::read(file.Get(), buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      return FileFailure(MapProblem::mpFileUnreadable, ErrnoText(errno));
    }
    if (got == 0) break;
    // Read in pieces against the limit, so that a file that grows or misstates its size is
    // bounded as well.
    if (text.size() + static_cast<size_t>(got) > MaxPollSetFileBytes) {
      return FileFailure(MapProblem::mpFileTooLarge,
                         std::string(MapProblemText(MapProblem::mpFileTooLarge)));
    }
    text.append(buffer, static_cast<size_t>(got));
  }
  return ReadRegisterMap(text);
}

std::string SavePollSetFile(const std::string& path, const PollSet& set) {
  std::string temporary = path + ".XXXXXX";
  FileDescriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
  if (file.Get() < 0) return ErrnoText(errno);
  // The new file keeps the old one's permissions; a first file gets rw-r--r--.
  struct stat old {};
  const mode_t mode = ::stat(path.c_str(), &old) == 0 ? old.st_mode & 07777 : 0644;
  int error = ::fchmod(file.Get(), mode) != 0 ? errno : 0;
  if (error == 0) error = WriteAll(file.Get(), WriteRegisterMap(set));
  if (error == 0 && ::fsync(file.Get()) != 0) error = errno;
  if (file.Close() != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    return ErrnoText(error);
  }
  // The rename itself reaches the disk with the folder's entry.
  FileDescriptor folder(::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.Get() >= 0) ::fsync(folder.Get());
  return {};
}

}  // namespace talyx::app
