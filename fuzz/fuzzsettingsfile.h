// The settings file the settings fuzz targets rewrite for every input, in a private folder.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace talyx::fuzzing {

// The path of talyx.INI in a private folder that goes when the fuzzer exits. The folder is in
// memory where there is one: every write of a key syncs the file, which on a disk would hold each
// input up for milliseconds.
inline const std::string& FuzzSettingsPath() {
  static std::string folder;
  static const std::string path = [] {
    folder = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    folder += "/talyx-fuzz-ini-XXXXXX";
    if (mkdtemp(folder.data()) == nullptr) std::abort();
    std::atexit([] { std::filesystem::remove_all(folder); });
    return folder + "/talyx.INI";
  }();
  return path;
}

// Replaces the file's content by the input.
inline void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) std::abort();
  for (size_t done = 0; done < size;) {
    const ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) std::abort();
    done += static_cast<size_t>(n);
  }
  close(fd);
}

}  // namespace talyx::fuzzing
