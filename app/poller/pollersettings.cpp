// TPollerSettings: the section "poller" of the settings file.
#include "app/poller/pollersettings.h"

#include <algorithm>
#include <filesystem>

#include "app/poller/registermap.h"

namespace talyx::app {

namespace {

const std::string PollerSection = "poller";

uint32_t ReadBounded(const TSettingsSnapshot& settings, const char* key, uint32_t defaultValue,
                     uint32_t low, uint32_t high) {
  const int32_t value =
      settings.ReadInteger(PollerSection, key, static_cast<int32_t>(defaultValue));
  return static_cast<uint32_t>(
      std::clamp(value, static_cast<int32_t>(low), static_cast<int32_t>(high)));
}

}  // namespace

TPollerSettings TPollerSettings::Read(const TSettingsFile& file) {
  const TSettingsSnapshot settings = file.Read();
  TPollerSettings read;
  read.PollFile = settings.ReadString(PollerSection, "PollFile", "");
  read.Options.TimeoutMs = ReadBounded(settings, "TimeoutMs", read.Options.TimeoutMs,
                                       TPollOptions::MinTimeoutMs, TPollOptions::MaxTimeoutMs);
  read.Options.Retries = ReadBounded(settings, "Retries", 0, 0, TPollOptions::MaxRetries);
  read.Options.TurnaroundMs =
      ReadBounded(settings, "TurnaroundMs", 0, 0, TPollOptions::MaxTurnaroundMs);
  read.Log.Folder = QString::fromStdString(settings.ReadString(PollerSection, "LogFolder", ""));
  read.Log.Bom = settings.ReadBool(PollerSection, "LogBom", false);
  read.Log.RotateDaily = settings.ReadBool(PollerSection, "LogRotateDaily", true);
  read.Log.RotateBytes = BytesPerMb * ReadBounded(settings, "LogRotateMb", DefaultLogRotateMb,
                                                  MinLogRotateMb, MaxLogRotateMb);
  return read;
}

void TPollerSettings::Write(TSettingsFile& settings) const {
  settings.WriteString(PollerSection, "PollFile", PollFile);
  settings.WriteInteger(PollerSection, "TimeoutMs", static_cast<int32_t>(Options.TimeoutMs));
  settings.WriteInteger(PollerSection, "Retries", static_cast<int32_t>(Options.Retries));
  settings.WriteInteger(PollerSection, "TurnaroundMs", static_cast<int32_t>(Options.TurnaroundMs));
  settings.WriteString(PollerSection, "LogFolder", Log.Folder.toStdString());
  settings.WriteBool(PollerSection, "LogBom", Log.Bom);
  settings.WriteBool(PollerSection, "LogRotateDaily", Log.RotateDaily);
  settings.WriteInteger(PollerSection, "LogRotateMb",
                        static_cast<int32_t>(Log.RotateBytes / BytesPerMb));
}

std::string TPollerSettings::PollFilePath(const TSettingsFile& settings) const {
  if (!PollFile.empty()) return PollFile;
  const std::filesystem::path folder = std::filesystem::path(settings.Path()).parent_path();
  return (folder / std::string(DefaultPollSetFileName)).string();
}

}  // namespace talyx::app
