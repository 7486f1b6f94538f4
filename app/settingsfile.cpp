// TSettingsFile: parsing, key lookup and in-place rewriting of the settings file.
#include "app/settingsfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <string_view>

#include "app/convert.h"
#include "app/formats/charset.h"
#include "app/formats/utf8.h"

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

enum class LoadResult { Loaded, Missing, Unreadable };

LoadResult ReadFileContent(const std::string& path, std::string* content) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return errno == ENOENT || errno == ENOTDIR ? LoadResult::Missing : LoadResult::Unreadable;
  }
  char buffer[8192];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      close(fd);
      return LoadResult::Unreadable;
    }
    content->append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return LoadResult::Loaded;
}

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

IniLines LoadLines(const std::string& path) {
  std::string content;
  if (ReadFileContent(path, &content) != LoadResult::Loaded) return {};
  return SplitLines(std::move(content));
}

std::optional<std::string> ReadRaw(const std::string& path, const std::string& section,
                                   const std::string& key) {
  const IniLines ini = LoadLines(path);
  const auto range = FindSection(ini, section);
  if (!range) return std::nullopt;
  for (size_t i = range->First; i < range->End; ++i) {
    const auto keyLine = KeyOf(ini.Lines[i]);
    if (keyLine && SameName(keyLine->Key, key)) return keyLine->Value;
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

std::string WithoutLineBreaks(std::string value) {
  for (char& c : value) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return value;
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

bool WriteInPlace(const std::string& path, const std::string& content) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, content);
  return close(fd) == 0 && written;
}

// The file a write replaces: the end of the path's chain of symbolic links, or the path itself
// when it does not exist yet.
std::string ReplacedFile(const std::string& path) {
  std::error_code error;
  const std::filesystem::path target = std::filesystem::canonical(path, error);
  return error ? path : target.string();
}

// A new file beside `target` for the content that replaces it, made with the mode a new file
// gets (0666 less the umask); -1 when the folder allows no new files.
int CreateBeside(const std::string& target, std::string* name) {
  static std::atomic<unsigned> serial{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    *name = target + ".new-" + std::to_string(getpid()) + "-" + std::to_string(serial++);
    const int fd = open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// The content is written to a new file beside the old one, synced, and renamed over it, so that
// a crash, a kill, a full disk or a power cut in the middle of a write leaves the old file or
// the new one, never half of one. The new file takes the old one's mode and, where allowed, its
// owner; a symbolic link is written through to its target and stays a link. In a folder that
// allows no new files the file is written in place.
bool WriteFileContent(const std::string& path, const std::string& content) {
  const std::string target = ReplacedFile(path);
  std::string temporary;
  const int fd = CreateBeside(target, &temporary);
  if (fd < 0) return WriteInPlace(target, content);
  struct stat old {};
  if (stat(target.c_str(), &old) == 0) {
    fchmod(fd, old.st_mode & 0777);
    // Where the owner cannot be kept (another user's file), the writer owns the new file.
    [[maybe_unused]] const int ownerKept = fchown(fd, old.st_uid, old.st_gid);
  }
  const bool written = WriteAll(fd, content) && fdatasync(fd) == 0;
  if (close(fd) != 0 || !written || rename(temporary.c_str(), target.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

TSettingsFile::TSettingsFile(std::string path, bool createFolder)
    : path_(std::move(path)), createFolder_(createFolder) {}

std::string TSettingsFile::ReadString(const std::string& section, const std::string& key,
                                      const std::string& defaultValue) const {
  const auto raw = ReadRaw(path_, section, key);
  if (!raw) return defaultValue;
  return TruncateUtf8(formats::IsValidUtf8(*raw) ? *raw : formats::ToUtf8(*raw, "GB18030"),
                      MaxTextLength);
}

int32_t TSettingsFile::ReadInteger(const std::string& section, const std::string& key,
                                   int32_t defaultValue) const {
  const auto raw = ReadRaw(path_, section, key);
  int32_t value = 0;
  return raw && TryStrToInt(*raw, &value) ? value : defaultValue;
}

bool TSettingsFile::ReadBool(const std::string& section, const std::string& key,
                             bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

std::vector<std::pair<std::string, std::string>> TSettingsFile::ReadSection(
    const std::string& section) const {
  std::vector<std::pair<std::string, std::string>> entries;
  const IniLines ini = LoadLines(path_);
  const auto range = FindSection(ini, section);
  if (!range) return entries;
  for (size_t i = range->First; i < range->End; ++i) {
    const auto keyLine = KeyOf(ini.Lines[i]);
    if (keyLine) entries.emplace_back(keyLine->Key, ReadString(section, keyLine->Key, ""));
  }
  return entries;
}

void TSettingsFile::WriteString(const std::string& section, const std::string& key,
                                const std::string& value) {
  const auto fail = [this] {
    // The path's bytes go into the message as they are, whatever their encoding.
    std::string text = QCoreApplication::translate("TSettingsFile", "写 %1 失败").toStdString();
    if (const size_t at = text.find("%1"); at != std::string::npos) text.replace(at, 2, path_);
    throw EIniFileException(text);
  };
  std::string content;
  if (ReadFileContent(path_, &content) == LoadResult::Unreadable) fail();
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

  if (createFolder_) {
    std::error_code ignored;  // a folder that cannot be made fails the open below
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path(), ignored);
  }
  if (!WriteFileContent(path_, JoinLines(ini))) fail();
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
  if (programPath.rfind("/usr/", 0) != 0) {
    return TSettingsFile((program.parent_path() / fileName).string());
  }
  const std::string configHome =
      !xdgConfigHome.empty() && xdgConfigHome.front() == '/' ? xdgConfigHome : home + "/.config";
  return TSettingsFile(configHome + "/talyx/" + fileName, true);
}

}  // namespace talyx::app
