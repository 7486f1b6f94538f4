// Fuzz target of the settings file's sections "ports" and "options" as the window reads them at
// start. Any file content gives:
// - options within their ranges, and other options written into that same file read back as
//   written, the section "ports" untouched by the writing;
// - a port map in which exactly the keys Com1..Com50 (any case) changed their numbers, each to its
//   value without surrounding blanks ("demo" in any case as the demo device), the last key of a
//   number counting, and each number described on one printable line;
// - the keys of "ports" read one by one as the section lists them.

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/settings/appoptions.h"
#include "app/settings/settingsfile.h"
#include "fuzz/fuzzsettingsfile.h"
#include "modbus/demodevice.h"
#include "platform/deviceproviders.h"
#include "platform/portmap.h"
#include "text/charset.h"

namespace {

using talyx::app::TAppOptions;
using talyx::app::TLanguage;
using talyx::app::TSettingsFile;
using talyx::app::TTextCharset;
using talyx::formats::TRegisterFormat;
using Entries = std::vector<std::pair<std::string, std::string>>;

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string WithoutBlanks(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The port number a key names: "com" and a number 1..50 written without leading zeros.
int NumberOfKey(const std::string& key) {
  const std::string name = Lower(WithoutBlanks(key));
  if (name.size() < 4 || name.size() > 5 || !name.starts_with("com") || name[3] == '0') return 0;
  int number = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return 0;
    number = number * 10 + (name[i] - '0');
  }
  return number <= talyx::platform::LastProbedPort ? number : 0;
}

bool SameOptions(const TAppOptions& a, const TAppOptions& b) {
  return a.Charset == b.Charset && a.AutoReconnect == b.AutoReconnect &&
         a.RegisterFormat == b.RegisterFormat && a.Language == b.Language &&
         a.Timestamps == b.Timestamps && a.FrameGap == b.FrameGap && a.FrameGapMs == b.FrameGapMs;
}

// Options that differ from read in every field, so that each key must be rewritten.
TAppOptions OtherOptions(const TAppOptions& read) {
  TAppOptions other = read;
  other.Charset = static_cast<TTextCharset>((static_cast<int>(read.Charset) + 1) % 3);
  other.AutoReconnect = !read.AutoReconnect;
  other.RegisterFormat = static_cast<TRegisterFormat>((static_cast<int>(read.RegisterFormat) + 1) %
                                                      talyx::formats::kRegisterFormatCount);
  other.Language = static_cast<TLanguage>((static_cast<int>(read.Language) + 1) % 3);
  other.Timestamps = !read.Timestamps;
  other.FrameGap = !read.FrameGap;
  other.FrameGapMs = read.FrameGapMs == TAppOptions::MaxFrameGapMs ? TAppOptions::MinFrameGapMs
                                                                   : read.FrameGapMs + 1;
  return other;
}

void CheckOptions(TSettingsFile& file, const Entries& ports) {
  const TAppOptions read = TAppOptions::Read(file);
  if (read.FrameGapMs < TAppOptions::MinFrameGapMs ||
      read.FrameGapMs > TAppOptions::MaxFrameGapMs) {
    std::abort();
  }
  const TAppOptions other = OtherOptions(read);
  other.Write(file);
  if (!SameOptions(TAppOptions::Read(file), other)) std::abort();
  if (file.ReadSection("ports") != ports) std::abort();
}

void CheckPorts(const TSettingsFile& file, const Entries& ports) {
  using talyx::platform::PortMap;
  const std::map<int, std::string> before = {{1, "/dev/ttyUSB0"}, {2, "demo"}, {51, "/dev/ttyS3"}};
  PortMap map = PortMap::Only(before);
  talyx::platform::ApplyPortsSection(map, ports);

  std::map<int, std::string> expected = before;
  for (const auto& [key, value] : ports) {
    // Keys come as they stand in the file; values are UTF-8.
    if (!talyx::formats::IsValidUtf8(value)) std::abort();
    if (const int number = NumberOfKey(key); number != 0) {
      const std::string path = WithoutBlanks(value);
      expected[number] = Lower(path) == "demo" ? talyx::modbus::DemoDeviceName : path;
    }
  }
  for (int number = 0; number <= talyx::platform::LastProbedPort + 1; ++number) {
    const auto found = expected.find(number);
    if (map.PathOf(number) != (found == expected.end() ? "" : found->second)) std::abort();
    const std::string description = talyx::platform::PortDescription(map, number, {});
    if (!talyx::formats::IsValidUtf8(description)) std::abort();
    for (const char c : description) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) std::abort();
    }
  }

  // The first key of each name counts; a few dozen suffice to meet repeated and cased names.
  std::map<std::string, std::string> first;
  for (size_t i = 0; i < ports.size() && i < 40; ++i) {
    const auto& [key, value] = ports[i];
    if (first.emplace(Lower(key), value).second && file.ReadString("ports", key, "\x01") != value) {
      std::abort();
    }
  }
}

}  // namespace

// The demo device's provider, as the program registers it, so that "demo" names a device.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  talyx::platform::RegisterDeviceProvider(std::make_shared<talyx::modbus::DemoDeviceProvider>());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  talyx::fuzzing::WriteWholeFile(talyx::fuzzing::FuzzSettingsPath(), data, size);
  TSettingsFile file(talyx::fuzzing::FuzzSettingsPath());
  const Entries ports = file.ReadSection("ports");
  CheckPorts(file, ports);
  CheckOptions(file, ports);
  return 0;
}
