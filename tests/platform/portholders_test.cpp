// The holders of a device found without opening it (over pseudo-terminal pairs held by child
// processes, and over a fake proc root), and the diagnosis of a refused permission.
#include "platform/portholders.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/devicediagnosis.h"
#include "platform/termiosserialdevice.h"
#include "support/holderprocess.h"
#include "support/ptypair.h"

namespace talyx::testing {
namespace {

using platform::FindPortHolders;
using platform::PortHolder;
using Holders = std::vector<PortHolder>;

TEST(PortHolders, TheProcessHoldingThePtyIsFoundByNameAndPidWhileTheFarEndAndThisProcessAreNot) {
  PtyPair pty;
  pty.CloseSlave();
  // It inherits the master only: the far end.
  HolderProcess farEnd("", "farend");
  ASSERT_TRUE(farEnd.Holding());
  const int own = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(own, 0);
  EXPECT_EQ(FindPortHolders(pty.SlavePath()), Holders{});

  HolderProcess holder(pty.SlavePath(), "holder");
  ASSERT_TRUE(holder.Holding());
  EXPECT_EQ(FindPortHolders(pty.SlavePath()), (Holders{{holder.Pid(), "holder"}}));
  holder.Kill();
  EXPECT_EQ(FindPortHolders(pty.SlavePath()), Holders{});
  close(own);
}

// A proc root of the test's own, with a file standing for the device.
class FakeProcRoot {
 public:
  FakeProcRoot() {
    char pattern[] = "/tmp/talyx-proc-XXXXXX";
    root_ = mkdtemp(pattern);
    Write("device", "");
    Write("other", "");
  }
  ~FakeProcRoot() { std::filesystem::remove_all(root_); }

  const std::string& Root() const { return root_; }
  std::string Path(const std::string& name) const { return root_ + "/" + name; }
  void Write(const std::string& name, const std::string& content) const {
    std::filesystem::create_directories(std::filesystem::path(Path(name)).parent_path());
    std::ofstream(Path(name)) << content;
  }
  // A process pid with the named file open as descriptor 3.
  void Opens(int pid, const std::string& name, const std::string& program) const {
    Write(std::to_string(pid) + "/comm", program + "\n");
    std::filesystem::create_directories(Path(std::to_string(pid) + "/fd"));
    std::filesystem::create_symlink(Path(name), Path(std::to_string(pid) + "/fd/3"));
  }
  // "major:minor:inode" of the named file as the lock table gives it, the inode moved by shift.
  std::string LockName(const std::string& name, unsigned shift = 0) const {
    struct stat node {};
    stat(Path(name).c_str(), &node);
    char text[64];
    std::snprintf(text, sizeof text, "%02x:%02x:%llu", major(node.st_dev), minor(node.st_dev),
                  static_cast<unsigned long long>(node.st_ino + shift));
    return text;
  }

 private:
  std::string root_;
};

TEST(PortHolders, EveryUsersLocksAndTheDescriptorsInViewAreReadUnderTheProcRoot) {
  FakeProcRoot proc;
  const std::string device = proc.LockName("device");
  proc.Write("locks", "1: FLOCK  ADVISORY  WRITE 4242 " + device + " 0 EOF\n" +
                          "1: -> FLOCK  ADVISORY  WRITE 4343 " + device + " 0 EOF\n" +
                          "2: FLOCK  ADVISORY  WRITE 4444 " + proc.LockName("device", 1) +
                          " 0 EOF\n" + "3: OFDLCK ADVISORY  READ  -1 " + device + " 0 EOF\n");
  proc.Write("4242/comm", "first-holder\n");
  proc.Opens(4545, "device", "second-holder");
  proc.Opens(4646, "other", "bystander");
  EXPECT_EQ(FindPortHolders(proc.Path("device"), proc.Root()),
            (Holders{{4242, "first-holder"}, {0, ""}, {4545, "second-holder"}}));
  EXPECT_EQ(FindPortHolders(proc.Path("missing"), proc.Root()), Holders{});
}

TEST(DeviceDiagnosis, APermissionRefusedToAnUnprivilegedUserNamesTheGroupOwningTheDevice) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can drop to another user";
  PtyPair pty;
  ASSERT_EQ(chown(pty.SlavePath().c_str(), 0, 0), 0);
  ASSERT_EQ(chmod(pty.SlavePath().c_str(), 0600), 0);
  constexpr uid_t Nobody = 65534;
  int report[2];
  ASSERT_EQ(pipe(report), 0);
  const pid_t child = fork();
  if (child == 0) {
    close(report[0]);
    if (setgroups(0, nullptr) != 0 || setgid(Nobody) != 0 || setuid(Nobody) != 0) _exit(1);
    platform::TermiosSerialDevice device;
    const int error = device.Open(pty.SlavePath());
    const platform::DeviceDiagnosis diagnosis =
        platform::DiagnoseOpenFailure(pty.SlavePath(), error);
    const std::string answer = std::to_string(error) + " " + diagnosis.Group + " " + diagnosis.User;
    [[maybe_unused]] const ssize_t n = write(report[1], answer.data(), answer.size());
    _exit(0);
  }
  close(report[1]);
  std::string answer;
  char buffer[256];
  for (ssize_t n; (n = read(report[0], buffer, sizeof buffer)) > 0;)
    answer.append(buffer, static_cast<size_t>(n));
  close(report[0]);
  waitpid(child, nullptr, 0);
  const passwd* nobody = getpwuid(Nobody);
  const std::string user = nobody != nullptr ? nobody->pw_name : std::to_string(Nobody);
  EXPECT_EQ(answer, "13 root " + user);
}

}  // namespace
}  // namespace talyx::testing
