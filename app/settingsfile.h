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
// - Reading: a missing file, section, key or bad value yields the default, and nothing is
//   reported. Integers are decimal, or hexadecimal with a "0x" or "$" prefix (either with an
//   optional sign; hexadecimal values up to FFFFFFFF wrap into the signed 32-bit range).
//   Booleans are integers, any value other than 0 meaning true. A text value is read up to
//   MaxTextLength characters; a value that is not valid UTF-8 is read as GB18030 (files
//   written in the Chinese code page), a byte that is not valid there either as U+FFFD.
// - Writing: the file is read, the key's line replaced (or the key added as the last key of its
//   section, or the section added at the end of the file) and the file written back whole, at
//   once: beside the old one, synced, and renamed over it (keeping its mode; through a
//   symbolic link to its target), in place only in a folder that allows no new files. Values
//   are written in UTF-8; a line break inside a value is written as a blank so that it cannot
//   split the line. A file, folder or disk that refuses the write raises
//   EIniFileException "写 %s 失败" with the file's path. A file that exists but cannot be read
//   is not overwritten (its lines would be lost): that, too, is a failed write.
// - Threads: main thread (the window's start-up and shutdown); no state is kept between calls.
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

class TSettingsFile {
 public:
  // The longest text value read, in characters.
  static constexpr size_t MaxTextLength = 2047;

  // createFolder: the file's folder (and its parents) is created at the first write.
  explicit TSettingsFile(std::string path, bool createFolder = false);

  const std::string& Path() const { return path_; }

  // UTF-8.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  int32_t ReadInteger(const std::string& section, const std::string& key,
                      int32_t defaultValue) const;
  bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;
  // Every key of the section in file order, values as ReadString gives them.
  std::vector<std::pair<std::string, std::string>> ReadSection(const std::string& section) const;

  // value is UTF-8. Raise EIniFileException when the key cannot be written.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int32_t value);
  void WriteBool(const std::string& section, const std::string& key, bool value);

 private:
  std::string path_;
  bool createFolder_;
};

// The settings file of the program at programPath (its full path): the same path with the
// extension ".INI" in place of the program's own (talyx -> talyx.INI beside it). A program that
// lies under /usr is installed and may not write beside itself: its file is
// configHome/talyx/<name>.INI, configHome being xdgConfigHome when that is an absolute path,
// else home + "/.config"; its folder is created at the first write.
TSettingsFile SettingsFileOfProgram(const std::string& programPath,
                                    const std::string& xdgConfigHome, const std::string& home);

}  // namespace talyx::app
