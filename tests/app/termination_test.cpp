// The program ended from outside: SIGTERM, SIGHUP and SIGINT close it as a close of its window
// would, ending a modal dialog first, within three seconds; a second signal, or an end that
// hangs, ends it at once. The real program runs as a child, beside settings of its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QEventLoop>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/shell/terminationsignals.h"
#include "apptesting.h"
#include "support/ptypair.h"

extern char** environ;

namespace talyx::testing {
namespace {

using app::TTerminationSignals;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Waits for condition, looking every 5 ms, at most limit.
template <class Condition>
bool WaitFor(Condition condition, milliseconds limit) {
  const Clock::time_point end = Clock::now() + limit;
  while (!condition()) {
    if (Clock::now() >= end) return false;
    std::this_thread::sleep_for(milliseconds(5));
  }
  return true;
}

// The program copied into a temporary folder, run with the offscreen platform, its settings file
// beside it (the configuration folder named by XDG_CONFIG_HOME gets the same file, in case the
// program keeps it there) and its standard error in a file.
class ProgramRun {
 public:
  explicit ProgramRun(const std::string& settings) {
    const std::string program = folder_.File("talyx");
    std::error_code linked;
    std::filesystem::create_hard_link(TALYX_PROGRAM, program, linked);
    if (linked) std::filesystem::copy_file(TALYX_PROGRAM, program);
    std::filesystem::create_directories(folder_.File("config/talyx"));
    for (const std::string& path : SettingsPaths()) WriteWholeFile(path, settings);
  }
  ~ProgramRun() {
    if (pid_ > 0 && !ended_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  ProgramRun(const ProgramRun&) = delete;
  ProgramRun& operator=(const ProgramRun&) = delete;

  void Start() {
    std::vector<std::string> variables = {"QT_QPA_PLATFORM=offscreen",
                                          "XDG_CONFIG_HOME=" + folder_.File("config"),
                                          "HOME=" + folder_.File("")};
    for (char** variable = environ; *variable != nullptr; ++variable) {
      const std::string entry = *variable;
      const std::string name = entry.substr(0, entry.find('='));
      if (name != "QT_QPA_PLATFORM" && name != "XDG_CONFIG_HOME" && name != "HOME") {
        variables.push_back(entry);
      }
    }
    std::vector<char*> environment;
    for (std::string& entry : variables) environment.push_back(entry.data());
    environment.push_back(nullptr);
    std::string program = folder_.File("talyx");
    char* arguments[] = {program.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, folder_.File("stderr").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_EQ(posix_spawn(&pid_, program.c_str(), &actions, nullptr, arguments, environment.data()),
              0);
    posix_spawn_file_actions_destroy(&actions);
  }

  // The three terminating signals are blocked: from now on they wait to be read.
  bool SignalsBlocked() const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    const uint64_t wanted =
        (1ull << (SIGTERM - 1)) | (1ull << (SIGHUP - 1)) | (1ull << (SIGINT - 1));
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("SigBlk:", 0) == 0) {
        return (std::stoull(line.substr(7), nullptr, 16) & wanted) == wanted;
      }
    }
    return false;
  }
  // The program has the device open.
  bool HoldsOpen(const std::string& device) const {
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid_) + "/fd", error)) {
      if (std::filesystem::read_symlink(entry.path(), error) == device) return true;
    }
    return false;
  }

  void Signal(int signal) { kill(pid_, signal); }

  // The wait status once the program ended, at most limit from now; none while it still runs.
  std::optional<int> WaitForEnd(milliseconds limit) {
    int status = 0;
    if (!WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, limit)) {
      return std::nullopt;
    }
    ended_ = true;
    return status;
  }

  // The settings file the program wrote (the one holding "[Form]"); empty when none.
  std::string WrittenSettings() const {
    for (const std::string& path : SettingsPaths()) {
      const std::string content = ReadWholeFile(path);
      if (content.find("[Form]") != std::string::npos) return content;
    }
    return {};
  }
  std::string StandardError() const { return ReadWholeFile(folder_.File("stderr")); }

 private:
  std::vector<std::string> SettingsPaths() const {
    return {folder_.File("talyx.INI"), folder_.File("config/talyx/talyx.INI")};
  }

  TempFolder folder_;
  pid_t pid_ = -1;
  bool ended_ = false;
};

bool ExitedWith(const std::optional<int>& status, int code) {
  return status && WIFEXITED(*status) && WEXITSTATUS(*status) == code;
}

// The settings do not give CB_ComNum an item, so showing the window asks for a port with the
// modal selection dialog.
const std::string DialogAtStart = "[parameter]\nComNum=7\n";

TEST(TerminationTest, SigtermWritesTheSettingsAndEndsTheProgramWithinThreeSeconds) {
  PtyPair pty;
  ProgramRun run("[ports]\nCom1=" + pty.SlavePath() + "\n");
  run.Start();
  // The port is open once the window has been shown.
  ASSERT_TRUE(WaitFor([&] { return run.HoldsOpen(pty.SlavePath()); }, milliseconds(20000)));
  const Clock::time_point sent = Clock::now();
  run.Signal(SIGTERM);
  const std::optional<int> status = run.WaitForEnd(milliseconds(3000));
  EXPECT_LT(Clock::now() - sent, milliseconds(3000));
  EXPECT_TRUE(ExitedWith(status, 0));
  const std::string settings = run.WrittenSettings();
  EXPECT_NE(settings.find("Caption=TALYX串口通信控制器\n"), std::string::npos) << settings;
  EXPECT_NE(settings.find("StopBits=0\n"), std::string::npos) << settings;
}

TEST(TerminationTest, SighupEndsTheStartUpDialogAndItsMessageGoesToStandardError) {
  ProgramRun run(DialogAtStart);
  run.Start();
  // Sent before the window shows: read in the first event loop, the dialog's.
  ASSERT_TRUE(WaitFor([&] { return run.SignalsBlocked(); }, milliseconds(20000)));
  run.Signal(SIGHUP);
  EXPECT_TRUE(ExitedWith(run.WaitForEnd(milliseconds(20000)), 0));
  EXPECT_NE(run.WrittenSettings().find("ComNum=-1\n"), std::string::npos);
  EXPECT_NE(run.StandardError().find("talyx: 串口不存在或被占用。\n"), std::string::npos)
      << run.StandardError();
}

TEST(TerminationTest, TwoSignalsWhileTheStartUpDialogIsOpenEndTheProgramAtOnce) {
  ProgramRun run(DialogAtStart);
  run.Start();
  ASSERT_TRUE(WaitFor([&] { return run.SignalsBlocked(); }, milliseconds(20000)));
  // Stopped meanwhile, so that both wait when the first is read.
  run.Signal(SIGSTOP);
  run.Signal(SIGINT);
  run.Signal(SIGTERM);
  run.Signal(SIGCONT);
  const std::optional<int> status = run.WaitForEnd(milliseconds(20000));
  EXPECT_TRUE(ExitedWith(status, 128 + SIGINT) || ExitedWith(status, 128 + SIGTERM));
  EXPECT_EQ(run.WrittenSettings(), "");  // the orderly end was not waited for
}

// Names the file in which a death test's child notes when it sent its first signal.
constexpr const char* SignalTimeVariable = "TALYX_TEST_SIGNAL_TIME";

// The program's signal set-up in a death test's child, with an ending that never returns (a
// settings file or device that hangs): only the watchdog can end it.
[[noreturn]] void EndingThatHangs(std::vector<int> sent) {
  app::BlockTerminationSignals();
  EnsureApplication();
  TTerminationSignals terminationSignals([&] {
    for (size_t i = 1; i < sent.size(); ++i) kill(getpid(), sent[i]);
    for (;;) pause();
  });
  WriteWholeFile(std::getenv(SignalTimeVariable),
                 std::to_string(Clock::now().time_since_epoch().count()));
  kill(getpid(), sent.front());
  QEventLoop loop;
  loop.exec();
  std::exit(0);
}

class TerminationWatchdogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The child runs this again and keeps the parent's file.
    if (std::getenv(SignalTimeVariable) != nullptr) return;
    folder.emplace();
    setenv(SignalTimeVariable, folder->File("sent").c_str(), 1);
  }
  void TearDown() override { unsetenv(SignalTimeVariable); }

  // From the child's first signal until now (the steady clock is the same in every process).
  Clock::duration SinceTheSignal() const {
    const std::string sent = ReadWholeFile(folder->File("sent"));
    return Clock::now() - Clock::time_point(Clock::duration(std::stoll(sent)));
  }

  std::optional<TempFolder> folder;
};

TEST_F(TerminationWatchdogTest, AnEndThatHangsIsCutOffAtTheDeadline) {
  EXPECT_EXIT(EndingThatHangs({SIGTERM}), ::testing::ExitedWithCode(128 + SIGTERM), "");
  EXPECT_GE(SinceTheSignal(), milliseconds(TTerminationSignals::EndDeadlineMs));
  EXPECT_LT(SinceTheSignal(), milliseconds(3000));
}

TEST_F(TerminationWatchdogTest, ASecondSignalCutsAnEndThatHangsOffAtOnce) {
  EXPECT_EXIT(EndingThatHangs({SIGTERM, SIGHUP}), ::testing::ExitedWithCode(128 + SIGHUP), "");
  EXPECT_LT(SinceTheSignal(), milliseconds(TTerminationSignals::EndDeadlineMs));
}

}  // namespace
}  // namespace talyx::testing
