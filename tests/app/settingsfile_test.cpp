// The settings file: lookup rules, values, in-place writing and where the file lies.
#include "app/settingsfile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "port/porttesting.h"

namespace talyx::testing {
namespace {

using app::TSettingsFile;

class SettingsFileTest : public ::testing::Test {
 protected:
  TempFolder folder;
  std::string path = folder.File("talyx.INI");
  TSettingsFile ini{path};
};

TEST_F(SettingsFileTest, WritingAKeyKeepsEveryOtherLine) {
  const std::string before =
      "; saved by hand\n"
      "\n"
      "[Form]\n"
      "# old window\n"
      "Top = 5\n"
      "not a key line\n"
      "Caption=x\n"
      "\n"
      "[Other]\n"
      "x=1\n"
      "x=2\n"
      "; trailing comment";
  WriteWholeFile(path, before);
  ini.WriteInteger("FORM", "top", 42);         // replaced where it stands
  ini.WriteInteger("form", "Width", 700);      // added after the section's last key
  ini.WriteBool("parameter", "HexGet", true);  // a new section at the end
  EXPECT_EQ(ReadWholeFile(path),
            "; saved by hand\n"
            "\n"
            "[Form]\n"
            "# old window\n"
            "top=42\n"
            "not a key line\n"
            "Caption=x\n"
            "Width=700\n"
            "\n"
            "[Other]\n"
            "x=1\n"
            "x=2\n"
            "; trailing comment\n"
            "[parameter]\n"
            "HexGet=1\n");
}

TEST_F(SettingsFileTest, WritingCreatesTheFileAndKeepsCrLfLineEnds) {
  ini.WriteString("Form", "Caption", "串口\n调试");
  EXPECT_EQ(ReadWholeFile(path), "[Form]\nCaption=串口 调试\n");

  WriteWholeFile(path, "[Form]\r\nTop=1\r\n");
  ini.WriteInteger("Form", "Left", 2);
  EXPECT_EQ(ReadWholeFile(path), "[Form]\r\nTop=1\r\nLeft=2\r\n");
}

TEST_F(SettingsFileTest, WritingReplacesTheFileWholeKeepingItsModeAndItsLink) {
  const std::string target = folder.File("kept.INI");
  WriteWholeFile(target, "[Form]\nTop=1\n");
  ASSERT_EQ(chmod(target.c_str(), 0600), 0);
  ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);

  ini.WriteInteger("Form", "Top", 2);

  struct stat link {};
  ASSERT_EQ(lstat(path.c_str(), &link), 0);
  EXPECT_TRUE(S_ISLNK(link.st_mode));
  struct stat file {};
  ASSERT_EQ(stat(target.c_str(), &file), 0);
  EXPECT_EQ(file.st_mode & 07777, 0600u);
  EXPECT_EQ(ReadWholeFile(target), "[Form]\nTop=2\n");
  // Nothing of the write is left beside the file.
  const std::filesystem::path folderPath = std::filesystem::path(target).parent_path();
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folderPath),
                          std::filesystem::directory_iterator()),
            2);
}

TEST_F(SettingsFileTest, AWriteThatFailsHalfwayLeavesTheOldFileWhole) {
  const std::string before = "[Form]\nCaption=" + std::string(4000, 'x') + "\n";
  WriteWholeFile(path, before);
  {
    const ScopedFileSizeLimit limit(1000);  // the write fails after its first 1000 bytes
    EXPECT_THROW(ini.WriteInteger("Form", "Top", 1), app::EIniFileException);
  }
  EXPECT_EQ(ReadWholeFile(path), before);
}

TEST_F(SettingsFileTest, ValuesFollowTheIntegerAndBooleanRules) {
  WriteWholeFile(path,
                 "[Form]\nTop=0x1F\nLeft=$10\nWidth=-12\nHeight=12a\nCaption=  \"quoted\"  \n"
                 "Big=2147483648\nAllOnes=$FFFFFFFF\n[FORM]\nTop=99\n"
                 "[parameter]\nHexGet=2\nClear=0\nShow=\n");
  EXPECT_EQ(ini.ReadInteger("form", "TOP", 100), 31);  // the first matching section counts
  EXPECT_EQ(ini.ReadInteger("Form", "Left", 100), 16);
  EXPECT_EQ(ini.ReadInteger("Form", "Width", 500), -12);
  EXPECT_EQ(ini.ReadInteger("Form", "Height", 300), 300);
  EXPECT_EQ(ini.ReadInteger("Form", "Big", 7), 7);
  EXPECT_EQ(ini.ReadInteger("Form", "AllOnes", 7), -1);
  EXPECT_EQ(ini.ReadInteger("Form", "Missing", 7), 7);
  EXPECT_EQ(ini.ReadString("Form", "Caption", ""), "quoted");
  EXPECT_TRUE(ini.ReadBool("parameter", "HexGet", false));
  EXPECT_FALSE(ini.ReadBool("parameter", "Clear", true));
  EXPECT_TRUE(ini.ReadBool("parameter", "Show", true));
  EXPECT_EQ(TSettingsFile(folder.File("none.INI")).ReadInteger("Form", "Top", 100), 100);
}

TEST_F(SettingsFileTest, TextIsCutAt2047CharactersAndGbkIsConverted) {
  const std::string chinese = "串";  // three bytes in UTF-8, one character
  std::string longText;
  for (int i = 0; i < 2100; ++i) longText += chinese;
  // "串口" in GBK.
  WriteWholeFile(path, "[Form]\nCaption=" + longText + "\nOld=\xB4\xAE\xBF\xDA\n");
  const std::string caption = ini.ReadString("Form", "Caption", "");
  EXPECT_EQ(caption.size(), 2047u * chinese.size());
  EXPECT_EQ(ini.ReadString("Form", "Old", ""), "串口");
}

TEST(SettingsFileLocation, BesideTheProgramUnlessInstalled) {
  EXPECT_EQ(app::SettingsFileOfProgram("/opt/x/build/app/talyx", "/cfg", "/home/u").Path(),
            "/opt/x/build/app/talyx.INI");
  EXPECT_EQ(app::SettingsFileOfProgram("/tmp/copy/talyx.bin", "", "/home/u").Path(),
            "/tmp/copy/talyx.INI");
  EXPECT_EQ(app::SettingsFileOfProgram("/usr/bin/talyx", "/cfg", "/home/u").Path(),
            "/cfg/talyx/talyx.INI");
  EXPECT_EQ(app::SettingsFileOfProgram("/usr/local/bin/talyx", "relative", "/home/u").Path(),
            "/home/u/.config/talyx/talyx.INI");
}

TEST(SettingsFileLocation, AnInstalledProgramsFolderIsCreatedAtTheFirstWrite) {
  TempFolder folder;
  TSettingsFile ini = app::SettingsFileOfProgram("/usr/bin/talyx", folder.File("config"), "/");
  EXPECT_FALSE(FileExists(folder.File("config")));
  ini.WriteInteger("Form", "Top", 3);
  EXPECT_EQ(ReadWholeFile(folder.File("config/talyx/talyx.INI")), "[Form]\nTop=3\n");
}

}  // namespace
}  // namespace talyx::testing
