// Fuzz target of the settings file reader: any file content reads without harm, and a key written
// into it reads back as written while the keys before it keep their values.
#include <fcntl.h>
#include <stdlib.h>
#include <strings.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/formats/charset.h"
#include "app/settingsfile.h"

namespace {

char gFolder[] = "/tmp/talyx-fuzz-ini-XXXXXX";

// The folder goes when the fuzzer exits.
void RemoveFolder() { std::filesystem::remove_all(gFolder); }

// One file in a private folder, rewritten for every input.
const std::string& FuzzFilePath() {
  static const std::string path = [] {
    if (mkdtemp(gFolder) == nullptr) std::abort();
    std::atexit(RemoveFolder);
    return std::string(gFolder) + "/talyx.INI";
  }();
  return path;
}

void WriteWhole(const std::string& path, const uint8_t* data, size_t size) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) std::abort();
  for (size_t done = 0; done < size;) {
    const ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) std::abort();
    done += static_cast<size_t>(n);
  }
  close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WriteWhole(FuzzFilePath(), data, size);
  talyx::app::TSettingsFile file(FuzzFilePath());
  const auto before = file.ReadSection("Form");
  // Keys come back as they stand in the file, so that each can be looked up again; values are UTF-8.
  for (const auto& [key, value] : before) {
    if (!talyx::formats::IsValidUtf8(value)) std::abort();
  }
  file.ReadInteger("Form", "Left", 0);
  file.ReadBool("parameter", "CB_Clear", false);
  if (!talyx::formats::IsValidUtf8(file.ReadString("ports", "Com1", ""))) std::abort();

  std::vector<std::pair<std::string, std::string>> kept;
  for (const auto& [key, value] : before) {
    if (strcasecmp(key.c_str(), "FuzzKey") != 0) kept.emplace_back(key, file.ReadString("Form", key, ""));
  }
  file.WriteString("Form", "FuzzKey", "值 1");
  if (file.ReadString("Form", "FuzzKey", "") != "值 1") std::abort();
  for (const auto& [key, value] : kept) {
    if (file.ReadString("Form", key, "") != value) std::abort();
  }
  return 0;
}
