// The settings file on disk: bounded reading, the writers' lock, and whole-file replacement.
//
// Principles:
// - A read never blocks and never grows without bound: only a regular file of at most
//   MaxSettingsFileSize bytes is read (a FIFO, a device or a bigger file is "not read").
// - Writers of one settings file serialise their read-modify-write on an flock of a lock file
//   beside it (TSettingsWriterLock); the settings file itself cannot carry that lock, since every
//   write replaces it by a rename and a lock on the old inode would guard nothing.
// - A write never changes the old file: the new content goes to a temporary file in the same
//   folder, which is synced and renamed over it. When no temporary file can be made the write
//   fails; it is never done in place, where a full disk would leave half a file.
// - Readers take no lock: a rename is atomic, so a reader sees the old file or the new one.
// - Threads: any, one call at a time per file; no state is kept between calls.
#pragma once

#include <sys/types.h>

#include <string>

namespace talyx::app {

// The largest settings file read or rewritten, in bytes.
constexpr off_t MaxSettingsFileSize = 1 << 20;

enum class TLoadResult { lrLoaded, lrMissing, lrNotRead };

// The whole file at path (through its symbolic links) into content. lrMissing: no such file or
// folder; lrNotRead: it cannot be read, is not a regular file or is larger than
// MaxSettingsFileSize. content is empty unless the file was loaded.
TLoadResult LoadSettingsFile(const std::string& path, std::string* content);

// An exclusive flock on settingsPath + ".lock" (the lock file is made when missing), held from
// construction, which waits for it at most a few seconds, to destruction.
class TSettingsWriterLock {
 public:
  explicit TSettingsWriterLock(const std::string& settingsPath);
  ~TSettingsWriterLock();
  TSettingsWriterLock(const TSettingsWriterLock&) = delete;
  TSettingsWriterLock& operator=(const TSettingsWriterLock&) = delete;

  // False when the lock file could not be opened or locked.
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Replaces the file at path whole by content; false when it cannot. A symbolic link, live or
// dangling, is written through to its target and stays a link. The new file keeps the old one's
// mode and, where the writer may set it, its owner; a new file gets 0666 less the umask. A file
// that is not a regular file, that its owner may not write (by its mode bits, whoever the writer
// is) or that the writer may not write is not replaced. Leftover temporary files of writers that
// have ended are removed from the folder first.
bool ReplaceSettingsFile(const std::string& path, const std::string& content);

}  // namespace talyx::app
