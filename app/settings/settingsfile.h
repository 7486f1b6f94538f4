// TSettingsFile: the terminal's INI settings file, read and written key by key.
//
// Why our own reader/writer: the settings file must keep every line it does not change
// (comments, blank lines, lines that are not keys, repeated keys, text after the last key)
// exactly as it stands, write each key at once, and report a key it cannot write. SimpleIni,
// the packaged INI library, rewrites the whole file from its parsed form on saving: it drops
// lines that are not keys, all but one of repeated keys and comments after the last key, and
// moves blank lines. QSettings drops comments too. The rules here are those of the classic
// profile functions, which is what users' existing files were written for.
//
// Rules:
// - A section line is "[name]"; a key line is "key=value" (blanks around both are ignored, a
//   value in matching quotes loses them); lines starting with ';' or '#' are comments. Section
//   and key names match without regard to ASCII case; the first matching section and, in it,
//   the first matching key count.
// - Reading: the file is read and parsed once per TSettingsFile::Read, and every key looked up
//   in that reading. A missing file, section, key or bad value yields the default, and nothing
//   is reported; so does a file that cannot be read, is not a regular file or is larger than
//   1 MiB, which is not read at all. Integers are decimal, or hexadecimal with a "0x" or "$"
//   prefix (either with an optional sign; hexadecimal values up to FFFFFFFF wrap into the signed
//   32-bit range). Booleans are integers, any value other than 0 meaning true. A text value is
//   read up to MaxTextLength characters; a value that is not valid UTF-8 is read as GB18030
//   (files written in the Chinese code page), a byte that is not valid there either as U+FFFD.
// - Writing: under the writers' lock (talyx.INI.lock beside the file, so that two windows that
//   close together keep each other's keys) the file is read, the key's line replaced (or the key
//   added as the last key of its section, or the section added at the end of the file) and the
//   file replaced whole, at once, through a temporary file beside it (settingsfile_io.h). Values
//   are written in UTF-8; a line break inside a value is written as a blank so that it cannot
//   split the line. A file, folder or disk that refuses the write raises EIniFileException
//   "写 %s 失败" with the file's path. A file that exists but is not read (above) is not
//   overwritten, its lines would be lost: that, too, is a failed write.
// - Threads: main thread (the window's start-up and shutdown); no state is kept between calls.
//   Other processes may read and write the same file meanwhile.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "errors/exception.h"

namespace talyx::app {

// A settings file key that could not be written.
class EIniFileException : public Exception {
 public:
  using Exception::Exception;
};

// One reading of the settings file: its sections and keys as they stood.
class TSettingsSnapshot {
 public:
  // The longest text value read, in characters.
  static constexpr size_t MaxTextLength = 2047;

  explicit TSettingsSnapshot(const std::string& content);

  // UTF-8.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  int32_t ReadInteger(const std::string& section, const std::string& key,
                      int32_t defaultValue) const;
  bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;
  // Every key of the section in file order, values as ReadString gives them.
  std::vector<std::pair<std::string, std::string>> ReadSection(const std::string& section) const;

 private:
  struct Section {
    std::string Name;
    std::vector<std::pair<std::string, std::string>> Keys;  // values as they stand in the file
  };

  const std::string* RawValue(const std::string& section, const std::string& key) const;

  std::vector<Section> sections_;
};

class TSettingsFile {
 public:
  // createFolder: the file's folder (and its parents) is created at the first write.
  // startingContent: what the file holds while it does not exist: it is read as that, and the
  // first write starts from it.
  explicit TSettingsFile(std::string path, bool createFolder = false,
                         std::string startingContent = {});

  const std::string& Path() const { return path_; }

  // The whole file, read once.
  TSettingsSnapshot Read() const;

  // Each reads the file once; to look up several keys, Read() once instead.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  int32_t ReadInteger(const std::string& section, const std::string& key,
                      int32_t defaultValue) const;
  bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;
  std::vector<std::pair<std::string, std::string>> ReadSection(const std::string& section) const;

  // value is UTF-8. Raise EIniFileException when the key cannot be written.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int32_t value);
  void WriteBool(const std::string& section, const std::string& key, bool value);

 private:
  // The file's content, or the starting content when it is missing; false when it is not read.
  bool LoadContent(std::string* content) const;

  std::string path_;
  bool createFolder_;
  std::string startingContent_;
};

// The settings file of the program at programPath (its full path): the same path with the
// extension ".INI" in place of the program's own (talyx -> talyx.INI beside it), when the program
// does not lie under /usr and its folder is writable by the user running it. Otherwise the file
// is the user's own, configHome/talyx/<name>.INI, configHome being xdgConfigHome when that is an
// absolute path, else home + "/.config"; its folder is created at the first write. While the
// user's file does not exist, a file beside the program (an /opt install's settings) is read once
// here and is its starting content.
TSettingsFile SettingsFileOfProgram(const std::string& programPath,
                                    const std::string& xdgConfigHome, const std::string& home);

}  // namespace talyx::app
