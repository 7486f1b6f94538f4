// TSettingsFile: parsing, key lookup and the rewriting of one key's line.
#include "app/settings/settingsfile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <string_view>

#include "app/settings/convert.h"
#include "app/settings/settingsfile_io.h"
#include "text/charset.h"
#include "text/utf8.h"

namespace talyx::app {

namespace {

constexpr const char* Utf8Bom = "\xEF\xBB\xBF";

// The file as lines (without their '\n'; a '\r' before it stays part of the line).
struct IniLines {
  std::vector<std::string> Lines;
  bool TrailingNewline = true;
  bool Bom = false;
  bool CrLf = false;
};

IniLines SplitLines(std::string content) {
  IniLines ini;
  if (content.rfind(Utf8Bom, 0) == 0) {
    ini.Bom = true;
    content.erase(0, 3);
  }
  if (content.empty()) return ini;
  size_t start = 0;
  while (start <= content.size()) {
    const size_t end = content.find('\n', start);
    if (end == std::string::npos) {
      ini.Lines.push_back(content.substr(start));
      ini.TrailingNewline = false;
      break;
    }
    ini.Lines.push_back(content.substr(start, end - start));
    start = end + 1;
    if (start == content.size()) break;
  }
  ini.CrLf = !ini.Lines.front().empty() && ini.Lines.front().back() == '\r';
  return ini;
}

std::string JoinLines(const IniLines& ini) {
  std::string content = ini.Bom ? Utf8Bom : "";
  for (size_t i = 0; i < ini.Lines.size(); ++i) {
    content += ini.Lines[i];
    if (i + 1 < ini.Lines.size() || ini.TrailingNewline) content += '\n';
  }
  return content;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string Trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

// The section a line opens, if it is a section line.
std::optional<std::string> SectionOf(const std::string& line) {
  const std::string text = Trim(line);
  if (text.empty() || text.front() != '[') return std::nullopt;
  const size_t close = text.find(']');
  return Trim(text.substr(1, close == std::string::npos ? std::string::npos : close - 1));
}

struct KeyLine {
  std::string Key;
  std::string Value;
};

std::optional<KeyLine> KeyOf(const std::string& line) {
  const std::string text = Trim(line);
  if (text.empty() || text.front() == ';' || text.front() == '#' || text.front() == '[') {
    return std::nullopt;
  }
  const size_t equals = text.find('=');
  if (equals == std::string::npos) return std::nullopt;
  KeyLine keyLine{Trim(text.substr(0, equals)), Trim(text.substr(equals + 1))};
  std::string& value = keyLine.Value;
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return keyLine;
}

// The lines [first, end) of the first section called section; first is past its header line.
struct SectionRange {
  size_t Header;
  size_t First;
  size_t End;
};

std::optional<SectionRange> FindSection(const IniLines& ini, const std::string& section) {
  for (size_t i = 0; i < ini.Lines.size(); ++i) {
    const auto name = SectionOf(ini.Lines[i]);
    if (!name || !SameName(*name, section)) continue;
    size_t end = i + 1;
    while (end < ini.Lines.size() && !SectionOf(ini.Lines[end])) ++end;
    return SectionRange{i, i + 1, end};
  }
  return std::nullopt;
}

// The first maxChars characters of valid UTF-8 text.
std::string TruncateUtf8(const std::string& text, size_t maxChars) {
  std::string_view rest(text);
  for (size_t chars = 0; chars < maxChars && !rest.empty(); ++chars) {
    const size_t length = formats::Utf8SequenceLength(rest);
    if (length == 0) break;  // not reached: the text is valid
    rest.remove_prefix(length);
  }
  return text.substr(0, text.size() - rest.size());
}

// A value as read: UTF-8, cut at the longest text read.
std::string DecodedValue(const std::string& raw) {
  return TruncateUtf8(formats::IsValidUtf8(raw) ? raw : formats::ToUtf8(raw, "GB18030"),
                      TSettingsSnapshot::MaxTextLength);
}

std::string WithoutLineBreaks(std::string value) {
  for (char& c : value) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return value;
}

}  // namespace

TSettingsSnapshot::TSettingsSnapshot(const std::string& content) {
  for (const std::string& line : SplitLines(content).Lines) {
    if (auto name = SectionOf(line)) {
      sections_.push_back(Section{std::move(*name), {}});
    } else if (auto keyLine = KeyOf(line); keyLine && !sections_.empty()) {
      sections_.back().Keys.emplace_back(std::move(keyLine->Key), std::move(keyLine->Value));
    }
  }
}

const std::string* TSettingsSnapshot::RawValue(const std::string& section,
                                               const std::string& key) const {
  for (const Section& candidate : sections_) {
    if (!SameName(candidate.Name, section)) continue;
    for (const auto& [name, value] : candidate.Keys) {
      if (SameName(name, key)) return &value;
    }
    return nullptr;
  }
  return nullptr;
}

std::string TSettingsSnapshot::ReadString(const std::string& section, const std::string& key,
                                          const std::string& defaultValue) const {
  const std::string* raw = RawValue(section, key);
  return raw != nullptr ? DecodedValue(*raw) : defaultValue;
}

int32_t TSettingsSnapshot::ReadInteger(const std::string& section, const std::string& key,
                                       int32_t defaultValue) const {
  const std::string* raw = RawValue(section, key);
  int32_t value = 0;
  return raw != nullptr && TryStrToInt(*raw, &value) ? value : defaultValue;
}

bool TSettingsSnapshot::ReadBool(const std::string& section, const std::string& key,
                                 bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

std::vector<std::pair<std::string, std::string>> TSettingsSnapshot::ReadSection(
    const std::string& section) const {
  std::vector<std::pair<std::string, std::string>> entries;
  for (const Section& candidate : sections_) {
    if (!SameName(candidate.Name, section)) continue;
    for (const auto& [name, value] : candidate.Keys)
      entries.emplace_back(name, DecodedValue(value));
    break;
  }
  return entries;
}

TSettingsFile::TSettingsFile(std::string path, bool createFolder, std::string startingContent)
    : path_(std::move(path)),
      createFolder_(createFolder),
      startingContent_(std::move(startingContent)) {}

bool TSettingsFile::LoadContent(std::string* content) const {
  const TLoadResult result = LoadSettingsFile(path_, content);
  if (result == TLoadResult::lrMissing) *content = startingContent_;
  return result != TLoadResult::lrNotRead;
}

TSettingsSnapshot TSettingsFile::Read() const {
  std::string content;
  LoadContent(&content);  // a file that is not read reads as empty
  return TSettingsSnapshot(content);
}

std::string TSettingsFile::ReadString(const std::string& section, const std::string& key,
                                      const std::string& defaultValue) const {
  return Read().ReadString(section, key, defaultValue);
}

int32_t TSettingsFile::ReadInteger(const std::string& section, const std::string& key,
                                   int32_t defaultValue) const {
  return Read().ReadInteger(section, key, defaultValue);
}

bool TSettingsFile::ReadBool(const std::string& section, const std::string& key,
                             bool defaultValue) const {
  return Read().ReadBool(section, key, defaultValue);
}

std::vector<std::pair<std::string, std::string>> TSettingsFile::ReadSection(
    const std::string& section) const {
  return Read().ReadSection(section);
}

void TSettingsFile::WriteString(const std::string& section, const std::string& key,
                                const std::string& value) {
  const auto fail = [this] {
    // The path's bytes go into the message as they are, whatever their encoding.
    std::string text = QCoreApplication::translate("TSettingsFile", "写 %1 失败").toStdString();
    if (const size_t at = text.find("%1"); at != std::string::npos) text.replace(at, 2, path_);
    throw EIniFileException(text);
  };
  if (createFolder_) {
    std::error_code ignored;  // a folder that cannot be made fails the lock below
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ignored);
  }
  const TSettingsWriterLock lock(path_);
  std::string content;
  if (!lock.Held() || !LoadContent(&content)) fail();
  IniLines ini = SplitLines(std::move(content));
  const std::string eol = ini.CrLf ? "\r" : "";
  const std::string line = key + "=" + WithoutLineBreaks(value) + eol;

  if (const auto range = FindSection(ini, section)) {
    size_t insertAt = range->First;
    bool replaced = false;
    for (size_t i = range->First; i < range->End && !replaced; ++i) {
      const auto keyLine = KeyOf(ini.Lines[i]);
      if (!keyLine) continue;
      if (SameName(keyLine->Key, key)) {
        ini.Lines[i] = line;
        replaced = true;
      }
      insertAt = i + 1;
    }
    if (!replaced) {
      ini.Lines.insert(ini.Lines.begin() + static_cast<std::ptrdiff_t>(insertAt), line);
    }
  } else {
    ini.Lines.push_back("[" + section + "]" + eol);
    ini.Lines.push_back(line);
    ini.TrailingNewline = true;
  }

  if (!ReplaceSettingsFile(path_, JoinLines(ini))) fail();
}

void TSettingsFile::WriteInteger(const std::string& section, const std::string& key,
                                 int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void TSettingsFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

TSettingsFile SettingsFileOfProgram(const std::string& programPath,
                                    const std::string& xdgConfigHome, const std::string& home) {
  const std::filesystem::path program(programPath);
  const std::string name = program.filename().string();
  const size_t dot = name.rfind('.');
  const std::string fileName =
      (dot == std::string::npos || dot == 0 ? name : name.substr(0, dot)) + ".INI";
  const std::string beside = (program.parent_path() / fileName).string();
  if (programPath.rfind("/usr/", 0) != 0 && access(program.parent_path().c_str(), W_OK) == 0) {
    return TSettingsFile(beside);
  }
  const std::string configHome =
      !xdgConfigHome.empty() && xdgConfigHome.front() == '/' ? xdgConfigHome : home + "/.config";
  const std::string own = configHome + "/talyx/" + fileName;
  std::string startingContent;
  struct stat ownFile {};
  if (stat(own.c_str(), &ownFile) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
    LoadSettingsFile(beside, &startingContent);  // empty unless it could be read
  }
  return TSettingsFile(own, true, std::move(startingContent));
}

}  // namespace talyx::app
