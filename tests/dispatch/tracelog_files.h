// Test helpers for the trace and log file tests: a private scratch folder and whole-file reads.
#pragma once

#include <filesystem>
#include <string>

namespace talyx::testing {

// A fresh folder under the system's temporary directory, removed with everything in it.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  std::string Path(const std::string& fileName) const { return (root_ / fileName).string(); }

 private:
  std::filesystem::path root_;
};

// The whole content of a file, byte for byte; fails the running test when it cannot be read.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
// The content of a committed golden file.
std::string Golden(const std::string& name);

}  // namespace talyx::testing
