// Which paths the termios provider opens: terminals with a driver behind them and pseudo-terminal
// slaves. The system's own terminals, the console and anything else are not even opened.
#include "platform/terminalcheck.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/termiosprovider.h"
#include "support/openwatch.h"
#include "support/ptypair.h"

namespace talyx::testing {
namespace {

namespace fs = std::filesystem;
using platform::CheckTerminalPath;
using platform::NamesNonTerminal;

// A scratch folder with a fake sysfs and proc below Root(), and room for files named as ports.
class FakeDeviceTree {
 public:
  FakeDeviceTree() {
    char pattern[] = "/tmp/talyx-terminal-XXXXXX";
    folder_ = mkdtemp(pattern);
    fs::create_directories(Root() + "/proc");
    std::ofstream(Root() + "/proc/consoles");
  }
  ~FakeDeviceTree() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  std::string Root() const { return folder_ + "/root"; }
  std::string File(const std::string& name) const { return folder_ + "/" + name; }
  // A tty class entry carrying node's device number, with a hardware device or without.
  void Tty(const std::string& name, const std::string& node, bool hardware) const {
    const fs::path entry = fs::path(Root()) / "sys/class/tty" / name;
    fs::create_directories(entry);
    std::ofstream(entry / "dev") << NumberOf(node) << "\n";
    if (hardware) fs::create_directories(entry / "device");
  }
  // Lists node's device as a system console.
  void Console(const std::string& name, const std::string& node) const {
    std::ofstream(Root() + "/proc/consoles", std::ios::app)
        << name << "                -W- (EC  p a)    " << NumberOf(node) << "\n";
  }
  // A character device node of the given number in the scratch folder (needs root).
  std::string Node(const std::string& name, unsigned majorNumber, unsigned minorNumber) const {
    EXPECT_EQ(mknod(File(name).c_str(), S_IFCHR | 0600, makedev(majorNumber, minorNumber)), 0);
    return File(name);
  }

 private:
  static std::string NumberOf(const std::string& node) {
    struct stat status {};
    EXPECT_EQ(stat(node.c_str(), &status), 0) << node;
    return std::to_string(major(status.st_rdev)) + ":" + std::to_string(minor(status.st_rdev));
  }

  std::string folder_;
};

// --- The check -------------------------------------------------------------------------------

TEST(TerminalCheck, PseudoTerminalSlavesAndTtysWithAHardwareDeviceAreTerminals) {
  FakeDeviceTree tree;
  PtyPair pty;
  EXPECT_EQ(CheckTerminalPath(pty.SlavePath(), tree.Root()), 0);
  fs::create_symlink(pty.SlavePath(), tree.File("link"));
  EXPECT_EQ(CheckTerminalPath(tree.File("link"), tree.Root()), 0);
  // Found by device number, whatever node names the device.
  tree.Tty("ttyUSB0", "/dev/null", true);
  tree.Tty("ttyS3", "/dev/zero", false);
  EXPECT_EQ(CheckTerminalPath("/dev/null", tree.Root()), 0);
  EXPECT_EQ(CheckTerminalPath("/dev/zero", tree.Root()), 2);
}

TEST(TerminalCheck, SystemTerminalsAndConsolesAreNeverTerminalsToOpen) {
  if (geteuid() != 0) GTEST_SKIP() << "making device nodes needs root";
  FakeDeviceTree tree;
  // Even where sysfs would give them a device.
  for (const char* name : {"tty", "console", "ptmx"}) {
    tree.Tty(name, std::string("/dev/") + name, true);
    EXPECT_EQ(CheckTerminalPath(std::string("/dev/") + name, tree.Root()), 2) << name;
  }
  tree.Tty("tty0", tree.Node("vt0", 4, 0), true);
  tree.Tty("tty63", tree.Node("vt63", 4, 63), true);
  tree.Tty("ttyS0", tree.Node("uart0", 4, 64), true);
  EXPECT_EQ(CheckTerminalPath(tree.File("vt0"), tree.Root()), 2);
  EXPECT_EQ(CheckTerminalPath(tree.File("vt63"), tree.Root()), 2);
  EXPECT_EQ(CheckTerminalPath(tree.File("uart0"), tree.Root()), 0);

  PtyPair pty;
  tree.Console("ttyS0", tree.File("uart0"));
  tree.Console("pts", pty.SlavePath());
  EXPECT_EQ(CheckTerminalPath(tree.File("uart0"), tree.Root()), 2);
  EXPECT_EQ(CheckTerminalPath(pty.SlavePath(), tree.Root()), 2);
}

TEST(TerminalCheck, AnythingElseIsAMissingDeviceAndAPathThatDoesNotResolveKeepsItsError) {
  FakeDeviceTree tree;
  const std::string file = tree.File("plain");
  const std::string fifo = tree.File("fifo");
  std::ofstream(file) << "x";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {file, fifo, tree.File("."), std::string("/dev/null")}) {
    EXPECT_EQ(CheckTerminalPath(path, tree.Root()), 2) << path;
    EXPECT_TRUE(NamesNonTerminal(path, tree.Root())) << path;
  }
  EXPECT_EQ(CheckTerminalPath(tree.File("missing"), tree.Root()), 2);
  EXPECT_EQ(CheckTerminalPath(file + "/ttyUSB0", tree.Root()), 3);
  PtyPair pty;
  EXPECT_FALSE(NamesNonTerminal(tree.File("missing"), tree.Root()));
  EXPECT_FALSE(NamesNonTerminal(pty.SlavePath(), tree.Root()));
}

// --- The provider's open ---------------------------------------------------------------------

TEST(TermiosProviderOpen, FilesFifosAndTheConsoleAreNeverOpenedAndFailAsMissingDevices) {
  FakeDeviceTree tree;
  PtyPair console;
  tree.Console("ttyS0", console.SlavePath());
  const std::string file = tree.File("plain");
  const std::string fifo = tree.File("fifo");
  std::ofstream(file) << "x";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  platform::TermiosDeviceProvider provider(tree.Root());
  for (const std::string& path : {file, fifo, console.SlavePath()}) {
    OpenWatch watch(path);
    std::unique_ptr<platform::SerialDevice> device;
    EXPECT_EQ(provider.Open(path, device), 2) << path;
    EXPECT_EQ(device, nullptr) << path;
    EXPECT_EQ(watch.Opens(), 0) << path;
  }
  PtyPair port;
  OpenWatch watch(port.SlavePath());
  std::unique_ptr<platform::SerialDevice> device;
  EXPECT_EQ(provider.Open(port.SlavePath(), device), 0);
  EXPECT_EQ(watch.Opens(), 1);
}

TEST(TermiosProviderOpen, TheControllingTerminalIsNeverOpened) {
  PtyPair pty;
  OpenWatch watch("/dev/tty");
  // A process of its own whose controlling terminal is the pty: there /dev/tty names a terminal.
  const pid_t pid = fork();
  if (pid == 0) {
    const int terminal = setsid() < 0 ? -1 : open(pty.SlavePath().c_str(), O_RDWR);
    if (terminal < 0) _exit(100);
    platform::TermiosDeviceProvider provider;
    std::unique_ptr<platform::SerialDevice> device;
    _exit(provider.Open("/dev/tty", device));
  }
  ASSERT_GT(pid, 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_EQ(watch.Opens(), 0);
}

}  // namespace
}  // namespace talyx::testing
