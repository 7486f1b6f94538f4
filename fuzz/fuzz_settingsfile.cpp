// Fuzz target of the settings file reader: any file content reads without harm, and a key written
// into it reads back as written while the keys before it keep their values.
#include <strings.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "app/settings/settingsfile.h"
#include "fuzz/fuzzsettingsfile.h"
#include "text/charset.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  talyx::fuzzing::WriteWholeFile(talyx::fuzzing::FuzzSettingsPath(), data, size);
  talyx::app::TSettingsFile file(talyx::fuzzing::FuzzSettingsPath());
  const auto before = file.ReadSection("Form");
  // Keys come back as they stand in the file, so that each can be looked up again; values are
  // UTF-8.
  for (const auto& [key, value] : before) {
    if (!talyx::formats::IsValidUtf8(value)) std::abort();
  }
  file.ReadInteger("Form", "Left", 0);
  file.ReadBool("parameter", "CB_Clear", false);
  if (!talyx::formats::IsValidUtf8(file.ReadString("ports", "Com1", ""))) std::abort();

  std::vector<std::pair<std::string, std::string>> kept;
  for (const auto& [key, value] : before) {
    if (strcasecmp(key.c_str(), "FuzzKey") != 0)
      kept.emplace_back(key, file.ReadString("Form", key, ""));
  }
  file.WriteString("Form", "FuzzKey", "值 1");
  if (file.ReadString("Form", "FuzzKey", "") != "值 1") std::abort();
  for (const auto& [key, value] : kept) {
    if (file.ReadString("Form", key, "") != value) std::abort();
  }
  return 0;
}
