// The settings file on disk: bounded reading, the writers' lock, temporary files and replacement.
#include "app/settings/settingsfile_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <thread>

namespace talyx::app {

namespace {

// Temporary files are named ".talyx-" and six characters that mkostemp chooses: short, so that
// a settings file with a long name still gets one.
constexpr std::string_view TemporaryPrefix = ".talyx-";
constexpr size_t TemporaryNameLength = TemporaryPrefix.size() + 6;

// How long a writer waits for another writer's lock, and how often it looks again.
constexpr std::chrono::seconds WriterLockWait{5};
constexpr std::chrono::milliseconds WriterLockRetry{5};

// A longer chain of symbolic links is taken for a loop, as the kernel takes it.
constexpr int MaxLinkHops = 40;

// Appends the rest of the file; false when reading fails or more than limit bytes come.
bool ReadAtMost(int fd, size_t limit, std::string* content) {
  char buffer[8192];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    content->append(buffer, static_cast<size_t>(n));
    if (content->size() > limit) return false;
  }
}

bool WriteAll(int fd, const std::string& content) {
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// The file a write replaces: the end of the path's chain of symbolic links, which need not
// exist. False for a loop of links or a path that cannot be looked at.
bool ReplacedFile(const std::string& path, std::string* target) {
  std::filesystem::path current(path);
  for (int hop = 0; hop <= MaxLinkHops; ++hop) {
    struct stat file {};
    if (lstat(current.c_str(), &file) != 0) {
      *target = current.string();
      return errno == ENOENT;
    }
    if (!S_ISLNK(file.st_mode)) {
      *target = current.string();
      return true;
    }
    std::error_code error;
    const std::filesystem::path next = std::filesystem::read_symlink(current, error);
    if (error) return false;
    current = next.is_absolute() ? next : current.parent_path() / next;
  }
  return false;
}

std::string FolderOf(const std::string& file) {
  const std::filesystem::path folder = std::filesystem::path(file).parent_path();
  return folder.empty() ? "." : folder.string();
}

// A file made read-only by its mode bits stays as it is, even for root, which passes every
// permission check; so does a file that the writer may not write.
bool MayReplace(const std::string& target, const struct stat& file) {
  return S_ISREG(file.st_mode) && (file.st_mode & S_IWUSR) != 0 &&
         access(target.c_str(), W_OK) == 0;
}

// The process's umask, read without setting it: umask() changes it process-wide, so a file that
// another thread made meanwhile would get the wrong mode.
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) {
      return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
  }
  return 022;
}

bool IsTemporaryName(std::string_view name) {
  return name.size() == TemporaryNameLength && name.starts_with(TemporaryPrefix) &&
         std::all_of(name.begin() + TemporaryPrefix.size(), name.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
         });
}

// A writer holds an flock on its temporary file from the file's making until it has been
// renamed or removed, and the kernel drops that lock when the writer's process ends, however it
// ends. So a temporary file that nobody holds is a leftover of a writer that no longer exists.
// A process id in the name could not tell as much: ids are reused, and a writer in another pid
// namespace (a container sharing the folder) has an id of its own.
void RemoveLeftovers(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  const int dirFd = dirfd(dir);
  while (const dirent* entry = readdir(dir)) {
    if (!IsTemporaryName(entry->d_name)) continue;
    const int fd = openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat file {};
    // Removed while still locked here: see MakeTemporary for a writer that had not locked it yet.
    if (fstat(fd, &file) == 0 && S_ISREG(file.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0) {
      unlinkat(dirFd, entry->d_name, 0);
    }
    close(fd);
  }
  closedir(dir);
}

// A new temporary file in folder, locked; -1 when none can be made. Between mkostemp and flock
// the file is not held yet, and the writer of another settings file in the same folder, clearing
// leftovers, may remove it: a file found without a name once locked is given up for a new one.
int MakeTemporary(const std::string& folder, std::string* name) {
  constexpr int Attempts = 10;
  for (int attempt = 0; attempt < Attempts; ++attempt) {
    *name = folder + "/" + std::string(TemporaryPrefix) + "XXXXXX";
    const int fd = mkostemp(name->data(), O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat file {};
    if (flock(fd, LOCK_EX) != 0 || fstat(fd, &file) != 0) {
      unlink(name->c_str());
      close(fd);
      return -1;
    }
    if (file.st_nlink > 0) return fd;
    close(fd);
  }
  return -1;
}

}  // namespace

TLoadResult LoadSettingsFile(const std::string& path, std::string* content) {
  content->clear();
  // O_NONBLOCK: opening a FIFO does not wait for a writer; on a regular file it changes nothing.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    return errno == ENOENT || errno == ENOTDIR ? TLoadResult::lrMissing : TLoadResult::lrNotRead;
  }
  struct stat file {};
  // The size is checked again while reading: the file may grow after fstat.
  const bool loaded = fstat(fd, &file) == 0 && S_ISREG(file.st_mode) &&
                      file.st_size <= MaxSettingsFileSize &&
                      ReadAtMost(fd, MaxSettingsFileSize, content);
  close(fd);
  if (!loaded) content->clear();
  return loaded ? TLoadResult::lrLoaded : TLoadResult::lrNotRead;
}

TSettingsWriterLock::TSettingsWriterLock(const std::string& settingsPath) {
  // Read access is enough for flock, so a lock file that another user made serves as well;
  // O_NONBLOCK keeps a FIFO in its place from holding the writer.
  fd_ = open((settingsPath + ".lock").c_str(), O_RDONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd_ < 0) return;
  // A writer holds the lock for one read-modify-write, milliseconds. One that holds it far longer
  // (a program stopped in a debugger, a hung window) must not freeze this one's close: after
  // WriterLockWait the write fails and is reported like any other failed write.
  const auto deadline = std::chrono::steady_clock::now() + WriterLockWait;
  while (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) {
      close(fd_);
      fd_ = -1;
      return;
    }
    std::this_thread::sleep_for(WriterLockRetry);
  }
}

TSettingsWriterLock::~TSettingsWriterLock() {
  if (fd_ >= 0) close(fd_);
}

bool ReplaceSettingsFile(const std::string& path, const std::string& content) {
  std::string target;
  if (!ReplacedFile(path, &target)) return false;
  struct stat old {};
  const bool exists = lstat(target.c_str(), &old) == 0;
  if (exists && !MayReplace(target, old)) return false;

  const std::string folder = FolderOf(target);
  RemoveLeftovers(folder);
  std::string temporary;
  const int fd = MakeTemporary(folder, &temporary);
  if (fd < 0) return false;
  if (exists) {
    // Where the owner cannot be kept (another user's file), the writer owns the new file.
    [[maybe_unused]] const int ownerKept = fchown(fd, old.st_uid, old.st_gid);
  }
  fchmod(fd, exists ? old.st_mode & 0777 : 0666 & ~CurrentUmask());
  // Synced before the rename, so that a power cut leaves the old file or the whole new one. The
  // rename comes before the close: the file stays locked until it has its final name.
  const bool replaced =
      WriteAll(fd, content) && fdatasync(fd) == 0 && rename(temporary.c_str(), target.c_str()) == 0;
  if (!replaced) unlink(temporary.c_str());
  close(fd);
  return replaced;
}

}  // namespace talyx::app
