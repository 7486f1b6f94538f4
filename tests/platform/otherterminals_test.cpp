// Exclusive open against the ordinary terminal programs of Debian that a user may point at the same
// port: whichever opens first keeps the line, the other is refused and says so.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/devicediagnosis.h"
#include "platform/portholders.h"
#include "platform/termiosserialdevice.h"
#include "support/ptypair.h"

namespace talyx::platform {
namespace {

using namespace std::chrono_literals;
using talyx::testing::PtyPair;

constexpr auto kLimit = 5s;  // generous bound for a program to start, take the port or give up

// Another terminal program on port, with a pseudo-terminal of its own as its controlling terminal,
// as a terminal window gives it; started by the test and stopped by its pid.
class OtherTerminal {
 public:
  OtherTerminal(const std::vector<std::string>& command, const std::string& port) {
    std::vector<std::string> words = command;
    words.push_back(port);
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const int console = console_.Slave();
    pid_ = fork();
    if (pid_ == 0) {
      // Only async-signal-safe calls in the child of a threaded process.
      setsid();
      dup2(console, 0);
      dup2(console, 1);
      dup2(console, 2);
      ioctl(0, TIOCSCTTY, 0);
      execvp(argv[0], argv.data());
      _exit(127);
    }
  }
  ~OtherTerminal() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  OtherTerminal(const OtherTerminal&) = delete;
  OtherTerminal& operator=(const OtherTerminal&) = delete;

  pid_t Pid() const { return pid_; }
  // Whether the program holds port (its lock or descriptor is seen) before the limit.
  bool Holds(const std::string& port) {
    return Within([&] {
      for (const PortHolder& holder : FindPortHolders(port)) {
        if (holder.Pid == pid_) return true;
      }
      return false;
    });
  }
  // The program's exit status when it ended by itself before the limit.
  std::optional<int> Ended() {
    int status = 0;
    if (!Within([&] { return waitpid(pid_, &status, WNOHANG) == pid_; })) return std::nullopt;
    pid_ = -1;
    return WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt;
  }
  // Asks it to end, as closing its terminal window does, and waits for it.
  void Stop() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  template <typename Cond>
  static bool Within(Cond cond) {
    const auto deadline = std::chrono::steady_clock::now() + kLimit;
    while (!cond()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }

  PtyPair console_;
  pid_t pid_ = -1;
};

struct TerminalProgram {
  std::vector<std::string> Command;  // the program and its options; the port follows
  std::string Name;                  // its /proc/PID/comm
};

// Quiet, and without the automatic reconnect of the second, so a refusal ends the program.
const std::vector<TerminalProgram> kPrograms = {
    {{"picocom", "-q", "-b", "115200"}, "picocom"},
    {{"tio", "--no-autoconnect", "-b", "115200"}, "tio"},
};

TEST(OtherTerminalPrograms, APortTheyHoldIsRefusedAsInUseWithTheirNameAndFreeAfterThem) {
  for (const TerminalProgram& program : kPrograms) {
    SCOPED_TRACE(program.Name);
    PtyPair port;
    port.CloseSlave();
    OtherTerminal other(program.Command, port.SlavePath());
    ASSERT_TRUE(other.Holds(port.SlavePath())) << program.Name << " did not take the port";

    TermiosSerialDevice device;
    EXPECT_EQ(device.Open(port.SlavePath()), 5);
    EXPECT_FALSE(device.IsOpen());
    const DeviceDiagnosis diagnosis = DiagnoseOpenFailure(port.SlavePath(), 5);
    EXPECT_EQ(diagnosis.Fault, OpenFault::InUse);
    EXPECT_EQ(diagnosis.Holders, (std::vector<PortHolder>{{other.Pid(), program.Name}}));

    other.Stop();
    EXPECT_EQ(device.Open(port.SlavePath()), 0);
  }
}

TEST(OtherTerminalPrograms, APortThisProgramHoldsRefusesThemUntilItCloses) {
  for (const TerminalProgram& program : kPrograms) {
    SCOPED_TRACE(program.Name);
    PtyPair port;
    port.CloseSlave();
    TermiosSerialDevice device;
    ASSERT_EQ(device.Open(port.SlavePath()), 0);
    {
      OtherTerminal refused(program.Command, port.SlavePath());
      const std::optional<int> status = refused.Ended();
      ASSERT_TRUE(status.has_value()) << program.Name << " kept running on a held port";
      EXPECT_NE(*status, 0);
      EXPECT_NE(*status, 127) << program.Name << " is not installed";
    }
    device.Close();
    OtherTerminal admitted(program.Command, port.SlavePath());
    EXPECT_TRUE(admitted.Holds(port.SlavePath()));
  }
}

}  // namespace
}  // namespace talyx::platform
