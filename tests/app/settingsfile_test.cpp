// The settings file: lookup rules, values, whole-file writing, concurrent writers, bounded reading
// and where the file lies.
#include "app/settings/settingsfile.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>

#include "port/porttesting.h"

namespace talyx::testing {
namespace {

using app::EIniFileException;
using app::TSettingsFile;

// Runs body in a child process as an ordinary user, for whom file permissions hold (root passes
// them all); true when the child's body returned true.
bool AsOrdinaryUser(const std::function<bool()>& body) {
  const pid_t child = fork();
  if (child == 0) {
    constexpr gid_t Nobody = 65534;
    bool ok = false;
    if (geteuid() != 0 ||
        (setgroups(0, nullptr) == 0 && setgid(Nobody) == 0 && setuid(Nobody) == 0)) {
      try {
        ok = body();
      } catch (...) {
      }
    }
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

// Whether writing a key fails with the message that names the file.
bool FailsWithItsPath(TSettingsFile& ini) {
  try {
    ini.WriteInteger("Form", "Top", 2);
  } catch (const EIniFileException& error) {
    return error.what() == "写 " + ini.Path() + " 失败";
  }
  return false;
}

std::set<std::string> FilesIn(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// Bytes this process has read from files so far.
uint64_t BytesRead() {
  std::ifstream io("/proc/self/io");
  std::string field;
  uint64_t value = 0;
  while (io >> field >> value) {
    if (field == "rchar:") return value;
  }
  ADD_FAILURE() << "no read count in /proc/self/io";
  return 0;
}

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
  // Nothing of the write is left beside the file but the writers' lock.
  EXPECT_EQ(FilesIn(folder.File(".")),
            (std::set<std::string>{"kept.INI", "talyx.INI", "talyx.INI.lock"}));
}

TEST_F(SettingsFileTest, ADanglingLinkIsWrittenThroughToItsTarget) {
  ASSERT_EQ(symlink("kept.INI", path.c_str()), 0);
  ini.WriteInteger("Form", "Top", 2);
  struct stat link {};
  ASSERT_EQ(lstat(path.c_str(), &link), 0);
  EXPECT_TRUE(S_ISLNK(link.st_mode));
  EXPECT_EQ(ReadWholeFile(folder.File("kept.INI")), "[Form]\nTop=2\n");
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

TEST_F(SettingsFileTest, ALongFileNameIsReplacedWholeAsWell) {
  // 250 characters: the lock's name just fits, a temporary name built on the file's would not.
  TSettingsFile longNamed{folder.File(std::string(246, 'n') + ".INI")};
  const std::string before = "[Form]\nCaption=" + std::string(4000, 'x') + "\n";
  WriteWholeFile(longNamed.Path(), before);
  {
    const ScopedFileSizeLimit limit(1000);
    EXPECT_THROW(longNamed.WriteInteger("Form", "Top", 1), EIniFileException);
  }
  EXPECT_EQ(ReadWholeFile(longNamed.Path()), before);
}

TEST_F(SettingsFileTest, AFolderThatAllowsNoNewFileFailsTheWriteInsteadOfWritingInPlace) {
  WriteWholeFile(path, "[Form]\nTop=1\n");
  WriteWholeFile(path + ".lock", "");
  ASSERT_EQ(chmod(path.c_str(), 0666), 0);
  ASSERT_EQ(chmod(folder.File(".").c_str(), 0555), 0);
  EXPECT_TRUE(AsOrdinaryUser([this] { return FailsWithItsPath(ini); }));
  EXPECT_EQ(ReadWholeFile(path), "[Form]\nTop=1\n");
  chmod(folder.File(".").c_str(), 0700);  // so that an ordinary user's run can remove it
}

TEST_F(SettingsFileTest, AFileReadOnlyForItsOwnerIsNotReplacedEvenByRoot) {
  WriteWholeFile(path, "[Form]\nTop=1\n");
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  EXPECT_TRUE(FailsWithItsPath(ini));
  EXPECT_EQ(ReadWholeFile(path), "[Form]\nTop=1\n");
}

// Two windows closing at once: each process writes its own keys into the same file, key by key.
TEST_F(SettingsFileTest, TwoProcessesWritingAtOnceKeepEachOthersKeys) {
  constexpr int Keys = 50;
  const auto keyName = [](int writer, int key) {
    return "W" + std::to_string(writer) + "K" + std::to_string(key);
  };
  int start[2];
  ASSERT_EQ(pipe(start), 0);
  pid_t writers[2];
  for (int writer = 0; writer < 2; ++writer) {
    writers[writer] = fork();
    if (writers[writer] == 0) {
      close(start[1]);
      char go = 0;
      [[maybe_unused]] const ssize_t ended = read(start[0], &go, 1);  // both start together
      try {
        for (int key = 0; key < Keys; ++key)
          ini.WriteInteger("parameter", keyName(writer, key), key);
      } catch (...) {
        _exit(1);
      }
      _exit(0);
    }
  }
  close(start[0]);
  close(start[1]);
  for (const pid_t writer : writers) {
    int status = 0;
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  int lost = 0;
  for (int writer = 0; writer < 2; ++writer) {
    for (int key = 0; key < Keys; ++key)
      lost += ini.ReadInteger("parameter", keyName(writer, key), -1) != key;
  }
  EXPECT_EQ(lost, 0);
}

TEST_F(SettingsFileTest, AWriterThatNeverLetsGoOfTheLockFailsTheWriteInsteadOfHangingIt) {
  WriteWholeFile(path, "[Form]\nTop=7\n");
  const int held = open((path + ".lock").c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  EXPECT_TRUE(FailsWithItsPath(ini));
  EXPECT_EQ(ini.ReadInteger("Form", "Top", -1), 7);
  close(held);
  ini.WriteInteger("Form", "Top", 8);
  EXPECT_EQ(ini.ReadInteger("Form", "Top", -1), 8);
}

TEST_F(SettingsFileTest, TemporaryFilesOfEndedWritersAreRemovedAtTheNextWrite) {
  // One left by a writer that was killed, one of a writer still at work: it holds its lock.
  const std::string left = folder.File(".talyx-Ab3xYz");
  const std::string working = folder.File(".talyx-Cd4wVu");
  WriteWholeFile(left, "[Form]\nTo");
  WriteWholeFile(working, "[Form]\n");
  const int held = open(working.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  ini.WriteInteger("Form", "Top", 1);
  EXPECT_FALSE(FileExists(left));
  EXPECT_TRUE(FileExists(working));
  close(held);
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

TEST_F(SettingsFileTest, ASectionIsReadWithOneReadingOfTheFile) {
  constexpr int Ports = 400;
  std::string content = "[ports]\n";
  for (int n = 1; n <= Ports; ++n) {
    content += "Com" + std::to_string(n) + "=/dev/ttyUSB" + std::to_string(n) + "\n";
  }
  WriteWholeFile(path, content);
  const uint64_t before = BytesRead();
  const auto entries = ini.ReadSection("PORTS");
  const uint64_t read = BytesRead() - before;
  ASSERT_EQ(entries.size(), static_cast<size_t>(Ports));
  EXPECT_EQ(entries.back(), std::make_pair(std::string("Com400"), std::string("/dev/ttyUSB400")));
  EXPECT_LT(read, 2 * content.size());
}

TEST_F(SettingsFileTest, AFileAbove1MiBOrNotARegularFileIsNeitherReadNorWritten) {
  const std::string head = "[Form]\nTop=5\n;";
  const std::string atLimit = head + std::string((1 << 20) - head.size() - 1, 'x') + "\n";
  WriteWholeFile(path, atLimit);
  EXPECT_EQ(ini.ReadInteger("Form", "Top", 100), 5);

  const std::string above = atLimit + "x";
  WriteWholeFile(path, above);
  EXPECT_EQ(ini.ReadInteger("Form", "Top", 100), 100);
  EXPECT_TRUE(FailsWithItsPath(ini));
  EXPECT_TRUE(ReadWholeFile(path) == above);

  TSettingsFile fifo{folder.File("fifo.INI")};
  ASSERT_EQ(mkfifo(fifo.Path().c_str(), 0666), 0);
  EXPECT_EQ(fifo.ReadInteger("Form", "Top", 100), 100);
  EXPECT_TRUE(FailsWithItsPath(fifo));
  struct stat still {};
  ASSERT_EQ(lstat(fifo.Path().c_str(), &still), 0);
  EXPECT_TRUE(S_ISFIFO(still.st_mode));

  ASSERT_EQ(symlink("/dev/zero", folder.File("zero.INI").c_str()), 0);
  EXPECT_EQ(TSettingsFile(folder.File("zero.INI")).ReadInteger("Form", "Top", 100), 100);
}

TEST(SettingsFileLocation, BesideTheProgramOnlyWhereItsUserMayWriteAndNotUnderUsr) {
  TempFolder folder;
  const std::string program = folder.File("talyx.bin");
  EXPECT_EQ(app::SettingsFileOfProgram(program, "", "/home/u").Path(), folder.File("talyx.INI"));
  EXPECT_EQ(app::SettingsFileOfProgram("/usr/bin/talyx", "/cfg", "/home/u").Path(),
            "/cfg/talyx/talyx.INI");
  EXPECT_EQ(app::SettingsFileOfProgram("/usr/local/bin/talyx", "relative", "/home/u").Path(),
            "/home/u/.config/talyx/talyx.INI");
  // A folder its user may not write, as for a program that root installed in /opt.
  ASSERT_EQ(chmod(folder.File(".").c_str(), 0555), 0);
  EXPECT_TRUE(AsOrdinaryUser([&] {
    return app::SettingsFileOfProgram(program, "/cfg", "/home/u").Path() == "/cfg/talyx/talyx.INI";
  }));
}

TEST(SettingsFileLocation, TheFileBesideTheProgramStartsTheUsersOwn) {
  TempFolder folder;
  const std::string opt = folder.File("opt");
  const std::string config = folder.File("config");
  ASSERT_TRUE(std::filesystem::create_directory(opt) && std::filesystem::create_directory(config));
  const std::string before = "[Form]\nTop=7\n[ports]\nCom1=demo\n";
  WriteWholeFile(opt + "/talyx.INI", before);
  ASSERT_EQ(chmod(folder.File(".").c_str(), 0755), 0);
  ASSERT_EQ(chmod(opt.c_str(), 0555), 0);
  ASSERT_EQ(chmod(config.c_str(), 0777), 0);
  EXPECT_TRUE(AsOrdinaryUser([&] {
    TSettingsFile ini = app::SettingsFileOfProgram(opt + "/talyx", config, "/");
    if (ini.ReadInteger("Form", "Top", 100) != 7) return false;
    ini.WriteInteger("Form", "Left", 3);
    return true;
  }));
  EXPECT_EQ(ReadWholeFile(config + "/talyx/talyx.INI"),
            "[Form]\nTop=7\nLeft=3\n[ports]\nCom1=demo\n");
  EXPECT_EQ(ReadWholeFile(opt + "/talyx.INI"), before);
  // From then on the user's file counts.
  WriteWholeFile(opt + "/talyx.INI", "[Form]\nTop=9\n");
  EXPECT_TRUE(AsOrdinaryUser([&] {
    return app::SettingsFileOfProgram(opt + "/talyx", config, "/")
               .ReadInteger("Form", "Top", 100) == 7;
  }));
  chmod(opt.c_str(), 0755);  // so that an ordinary user's run can remove it
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
