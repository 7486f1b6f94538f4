// Tests of TermiosSerialDevice over pseudo-terminal pairs (the test plays the far end).
#include "platform/termiosserialdevice.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/ptypair.h"

namespace talyx::platform {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using talyx::testing::PtyPair;

constexpr auto kLimit = 5s;  // generous bound for anything that should happen "at once"

// Polls cond every millisecond until it holds or the limit passes.
bool Eventually(const std::function<bool()>& cond, std::chrono::milliseconds limit = kLimit) {
  const auto deadline = Clock::now() + limit;
  while (!cond()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

std::chrono::nanoseconds CpuTimeOf(clockid_t clock) {
  timespec used{};
  clock_gettime(clock, &used);
  return std::chrono::seconds(used.tv_sec) + std::chrono::nanoseconds(used.tv_nsec);
}

// A scratch folder with one regular file in it, removed afterwards.
class ScratchFolder {
 public:
  ScratchFolder() {
    char pattern[] = "/tmp/talyx-serial-XXXXXX";
    path_ = mkdtemp(pattern);
    file_ = path_ + "/plain";
    FILE* f = std::fopen(file_.c_str(), "w");
    std::fclose(f);
  }
  ~ScratchFolder() {
    unlink(file_.c_str());
    rmdir(path_.c_str());
  }
  const std::string& Path() const { return path_; }
  const std::string& File() const { return file_; }

 private:
  std::string path_;
  std::string file_;
};

// Runs WaitEvent in a loop on its own thread, as the device-event thread does, and records
// what each wait returned. The loop ends when a wait returns false or reports no events.
class EventWaiterThread {
 public:
  explicit EventWaiterThread(SerialDevice& device) : device_(device) {
    thread_ = std::thread([this] { Run(); });
  }
  ~EventWaiterThread() {
    device_.SetEventMask(0);
    thread_.join();
  }

  size_t CountWith(uint32_t bit) {
    std::lock_guard lock(mutex_);
    size_t count = 0;
    for (uint32_t events : reports_) count += (events & bit) ? 1 : 0;
    return count;
  }
  bool WaitForCount(uint32_t bit, size_t count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kLimit, [&] {
      size_t n = 0;
      for (uint32_t events : reports_) n += (events & bit) ? 1 : 0;
      return n >= count;
    });
  }
  // Waits for the loop to end; the last wait's result in *result.
  bool WaitForEnd(bool* result) {
    std::unique_lock lock(mutex_);
    const bool ended = changed_.wait_for(lock, kLimit, [&] { return ended_; });
    if (ended) *result = lastResult_;
    return ended;
  }
  // CPU time the waiting thread has used so far (in all, once its loop has ended).
  std::chrono::nanoseconds CpuTime() {
    {
      std::lock_guard lock(mutex_);
      if (ended_) return cpuAtEnd_;
    }
    clockid_t clock{};
    EXPECT_EQ(pthread_getcpuclockid(thread_.native_handle(), &clock), 0);
    return CpuTimeOf(clock);
  }

 private:
  void Run() {
    for (;;) {
      uint32_t events = 0;
      const bool ok = device_.WaitEvent(events);
      const auto cpu = CpuTimeOf(CLOCK_THREAD_CPUTIME_ID);
      std::lock_guard lock(mutex_);
      if (!ok || events == 0) {
        cpuAtEnd_ = cpu;
        lastResult_ = ok;
        ended_ = true;
        changed_.notify_all();
        return;
      }
      reports_.push_back(events);
      changed_.notify_all();
    }
  }

  SerialDevice& device_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<uint32_t> reports_;
  bool ended_ = false;
  bool lastResult_ = false;
  std::chrono::nanoseconds cpuAtEnd_{0};
  std::thread thread_;
};

class TermiosDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.Valid());
    ASSERT_EQ(device_.Open(pty_.SlavePath()), 0);
    pty_.CloseSlave();
  }

  // Reads from the device until count bytes came (or the limit passed).
  std::string ReadDevice(size_t count) {
    std::string text;
    Eventually([&] {
      uint8_t buffer[256];
      const long n = device_.Read(buffer, sizeof buffer);
      if (n > 0) text.append(reinterpret_cast<char*>(buffer), static_cast<size_t>(n));
      return text.size() >= count;
    });
    return text;
  }

  uint32_t InQueue() {
    DeviceStatus status;
    EXPECT_EQ(device_.ClearErrors(status), 0);
    return status.InQueue;
  }

  PtyPair pty_;
  TermiosSerialDevice device_;
};

// --- Opening ---------------------------------------------------------------------------------

TEST(TermiosDeviceOpen, SecondOpenOfAHeldDeviceIsRefusedAsHeldByAnotherProgram) {
  PtyPair pty;
  TermiosSerialDevice first, second;
  ASSERT_EQ(first.Open(pty.SlavePath()), 0);
  EXPECT_TRUE(first.IsOpen());
  EXPECT_EQ(second.Open(pty.SlavePath()), 5);
  EXPECT_FALSE(second.IsOpen());
}

TEST(TermiosDeviceOpen, ClosingGivesTheDeviceUpBeforeTheDescriptorIsReleased) {
  PtyPair pty;
  TermiosSerialDevice first, second;
  ASSERT_EQ(first.Open(pty.SlavePath()), 0);
  ASSERT_EQ(first.Close(), 0);
  EXPECT_FALSE(first.IsOpen());
  EXPECT_EQ(second.Open(pty.SlavePath()), 0);
  first.Release();
  // The new holder keeps the device exclusively.
  TermiosSerialDevice third;
  EXPECT_EQ(third.Open(pty.SlavePath()), 5);
}

// Another program holding the device: a child process that opens it, asks for exclusive use
// (with the lock as this program takes it, or the exclusive flag alone) and waits to be killed.
class OtherProgram {
 public:
  OtherProgram(const std::string& path, bool locks) {
    int ready[2];
    if (pipe(ready) != 0) return;
    pid_t pid = fork();
    if (pid == 0) {
      // Only async-signal-safe calls in the child of a threaded process.
      const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
      if (fd < 0 || (locks && flock(fd, LOCK_EX | LOCK_NB) != 0) || ioctl(fd, TIOCEXCL) != 0) {
        _exit(1);
      }
      [[maybe_unused]] const ssize_t n = write(ready[1], "1", 1);
      for (;;) pause();
    }
    close(ready[1]);
    char answer = 0;
    if (pid > 0 && read(ready[0], &answer, 1) == 1) pid_ = pid;
    close(ready[0]);
  }
  ~OtherProgram() { Kill(); }

  bool Holding() const { return pid_ > 0; }
  // Ends it at once, as a crash would: nothing of it gets to clear the exclusive flag.
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

TEST(TermiosDeviceOpen, HolderKilledWithoutClosingLeavesTheDeviceFreeWhileALivingHolderKeepsIt) {
  PtyPair pty;
  TermiosSerialDevice device;
  OtherProgram locking(pty.SlavePath(), true);
  ASSERT_TRUE(locking.Holding());
  EXPECT_EQ(device.Open(pty.SlavePath()), 5);
  locking.Kill();
  int exclusive = 0;
  ASSERT_EQ(ioctl(pty.Slave(), TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 1);  // the flag it left behind
  EXPECT_EQ(device.Open(pty.SlavePath()), 0);
  device.Close();
  device.Release();

  OtherProgram flagOnly(pty.SlavePath(), false);
  ASSERT_TRUE(flagOnly.Holding());
  EXPECT_EQ(device.Open(pty.SlavePath()), 5);
  flagOnly.Kill();
  EXPECT_EQ(device.Open(pty.SlavePath()), 0);
}

// A process of its own that opens path as user (0: stays root), reports the open's result and
// holds what it opened until it is killed.
class OpeningProcess {
 public:
  OpeningProcess(const std::string& path, uid_t user) {
    int report[2];
    if (pipe(report) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(report[0]);
      if (user != 0 && (setgroups(0, nullptr) != 0 || setgid(user) != 0 || setuid(user) != 0)) {
        _exit(1);
      }
      TermiosSerialDevice device;
      const auto result = static_cast<char>(device.Open(path));
      [[maybe_unused]] const ssize_t n = write(report[1], &result, 1);
      for (;;) pause();
    }
    close(report[1]);
    char result = 0;
    if (pid_ > 0 && read(report[0], &result, 1) == 1) result_ = result;
    close(report[0]);
  }
  ~OpeningProcess() { Kill(); }
  OpeningProcess(const OpeningProcess&) = delete;
  OpeningProcess& operator=(const OpeningProcess&) = delete;

  // The platform error of the open (0: it holds the device); -1 when it could not report.
  int Result() const { return result_; }
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int result_ = -1;
};

// A holder of user's keeps slave refused to a second open of user's while it lives, and leaves
// it free once killed (nothing of it runs to clear a flag).
void ExpectHeldWhileAliveAndFreeOnceKilled(const std::string& slave, uid_t user) {
  OpeningProcess holder(slave, user);
  ASSERT_EQ(holder.Result(), 0);
  EXPECT_EQ(OpeningProcess(slave, user).Result(), 5);
  holder.Kill();
  EXPECT_EQ(OpeningProcess(slave, user).Result(), 0);
}

// The pair's master stays open throughout, as a program that keeps a virtual null modem alive
// holds it: a holder killed there must leave no exclusive flag behind.
TEST(TermiosDeviceOpen, KilledHolderOfAPseudoTerminalLeavesItFreeAsRootAndAsAnOrdinaryUser) {
  if (geteuid() != 0) GTEST_SKIP() << "giving the pty to uid 65534 needs root";
  for (const uid_t user : {uid_t{0}, uid_t{65534}}) {
    SCOPED_TRACE(user);
    PtyPair pty;
    ASSERT_EQ(fchown(pty.Slave(), user, user), 0);
    ExpectHeldWhileAliveAndFreeOnceKilled(pty.SlavePath(), user);
  }
}

// A virtual null modem made by socat (Debian socat): two pseudo-terminals joined, each reached by
// a link in folder, kept alive until the end of the test, when socat is stopped by its pid.
class NullModem {
 public:
  explicit NullModem(const std::string& folder) : port_(folder + "/com"), peer_(folder + "/peer") {
    const std::string first = "pty,raw,echo=0,link=" + port_;
    const std::string second = "pty,raw,echo=0,link=" + peer_;
    pid_ = fork();
    if (pid_ == 0) {
      execlp("socat", "socat", first.c_str(), second.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~NullModem() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    unlink(port_.c_str());
    unlink(peer_.c_str());
  }
  NullModem(const NullModem&) = delete;
  NullModem& operator=(const NullModem&) = delete;

  bool Ready() const {
    return pid_ > 0 && Eventually([&] { return access(port_.c_str(), F_OK) == 0; });
  }
  const std::string& Port() const { return port_; }

 private:
  std::string port_, peer_;
  pid_t pid_ = -1;
};

// The far end stays open throughout, as socat keeps it: the holder's exclusive flag would last
// as long, so only the lock may hold the line.
TEST(TermiosDeviceOpen, KilledHolderOfASocatPseudoTerminalLeavesItFreeAsRootAndAsAnOrdinaryUser) {
  if (geteuid() != 0) GTEST_SKIP() << "giving the pty to uid 65534 needs root";
  for (const uid_t user : {uid_t{0}, uid_t{65534}}) {
    SCOPED_TRACE(user);
    ScratchFolder scratch;
    NullModem modem(scratch.Path());
    ASSERT_TRUE(modem.Ready()) << "socat made no pseudo-terminal";
    // The slave itself: the scratch folder with socat's link is the test's own (mode 0700).
    const std::string slave = std::filesystem::canonical(modem.Port());
    ASSERT_EQ(chown(slave.c_str(), user, user), 0);
    ExpectHeldWhileAliveAndFreeOnceKilled(slave, user);
  }
}

TEST(TermiosDeviceOpen, MissingPathsAndNonTerminalsAreRefusedWithTheirNumbers) {
  ScratchFolder scratch;
  TermiosSerialDevice device;
  EXPECT_EQ(device.Open(scratch.Path() + "/ttyNone"), 2);
  // A missing folder is ENOENT as well, which reads "File not found".
  EXPECT_EQ(device.Open(scratch.Path() + "/missing/ttyNone"), 2);
  // A plain file used as a folder is ENOTDIR: "Path not found".
  EXPECT_EQ(device.Open(scratch.File() + "/ttyNone"), 3);
  const int plainFile = device.Open(scratch.File());
  EXPECT_NE(plainFile, 0);
  EXPECT_FALSE(device.IsOpen());
}

TEST(TermiosDeviceOpen, AdoptedDescriptorCarriesDataBothWays) {
  PtyPair pty;
  TermiosSerialDevice device;
  EXPECT_EQ(device.Adopt(-1), 9);
  ASSERT_EQ(device.Adopt(pty.TakeSlave()), 0);
  ASSERT_TRUE(pty.Send("ping"));
  std::string got;
  ASSERT_TRUE(Eventually([&] {
    uint8_t buffer[16];
    const long n = device.Read(buffer, sizeof buffer);
    if (n > 0) got.append(reinterpret_cast<char*>(buffer), static_cast<size_t>(n));
    return got.size() >= 4;
  }));
  EXPECT_EQ(got, "ping");
  const uint8_t reply[] = {'o', 'k'};
  EXPECT_EQ(device.Write(reply, 2).Written, 2u);
  EXPECT_EQ(pty.Receive(2), std::vector<uint8_t>({'o', 'k'}));
}

// --- Line settings ----------------------------------------------------------------------------

TEST_F(TermiosDeviceTest, AnyBaudRateReadsBack) {
  for (uint32_t rate : {250000u, 31250u, 115200u, 9600u, 1234567u}) {
    LineSettings settings;
    ASSERT_EQ(device_.GetState(settings), 0);
    settings.BaudRate = rate;
    ASSERT_EQ(device_.SetState(settings), 0) << rate;
    LineSettings back;
    ASSERT_EQ(device_.GetState(back), 0);
    EXPECT_EQ(back.BaudRate, rate);
  }
}

TEST_F(TermiosDeviceTest, SettingsThePtyCannotHonourReadBackAsItReportsThem) {
  LineSettings settings;
  ASSERT_EQ(device_.GetState(settings), 0);
  settings.ByteSize = 7;
  settings.Parity = EvenParity;
  settings.StopBits = TwoStopBits;
  ASSERT_EQ(device_.SetState(settings), 0);
  LineSettings back;
  ASSERT_EQ(device_.GetState(back), 0);
  EXPECT_EQ(back.ByteSize, 8);
  EXPECT_EQ(back.Parity, NoParity);
  EXPECT_EQ(back.StopBits, TwoStopBits);
}

TEST_F(TermiosDeviceTest, FlowControlAndRecordFieldsReadBackAsApplied) {
  LineSettings settings;
  ASSERT_EQ(device_.GetState(settings), 0);
  settings.OutX = true;
  settings.InX = true;
  settings.XonChar = 0x21;
  settings.XoffChar = 0x23;
  settings.OutxCtsFlow = true;
  settings.OutxDsrFlow = true;
  settings.DtrControl = DtrControl::Disabled;
  settings.XonLim = 100;
  settings.XoffLim = 3000;
  ASSERT_EQ(device_.SetState(settings), 0);
  LineSettings back;
  ASSERT_EQ(device_.GetState(back), 0);
  EXPECT_EQ(back, settings);

  settings.OutX = settings.InX = settings.OutxCtsFlow = false;
  settings.RtsControl = RtsControl::Handshake;
  ASSERT_EQ(device_.SetState(settings), 0);
  ASSERT_EQ(device_.GetState(back), 0);
  EXPECT_EQ(back, settings);
}

TEST_F(TermiosDeviceTest, ValuesNoLineCanHaveAreRefused) {
  LineSettings good;
  ASSERT_EQ(device_.GetState(good), 0);
  const std::vector<std::function<void(LineSettings&)>> breakers = {
      [](LineSettings& s) { s.BaudRate = 0; }, [](LineSettings& s) { s.ByteSize = 9; },
      [](LineSettings& s) { s.ByteSize = 4; }, [](LineSettings& s) { s.Parity = 5; },
      [](LineSettings& s) { s.StopBits = 3; }};
  for (const auto& breaker : breakers) {
    LineSettings bad = good;
    breaker(bad);
    EXPECT_EQ(device_.SetState(bad), 22);
  }
  LineSettings back;
  ASSERT_EQ(device_.GetState(back), 0);
  EXPECT_EQ(back, good);
}

TEST_F(TermiosDeviceTest, XoffFromTheFarEndHoldsOutputUntilXon) {
  LineSettings settings;
  ASSERT_EQ(device_.GetState(settings), 0);
  settings.OutX = true;
  ASSERT_EQ(device_.SetState(settings), 0);

  // Input is handled in order: once the marker behind XOFF can be read, XOFF has taken effect.
  ASSERT_TRUE(pty_.Send(std::vector<uint8_t>{0x13, 'm'}));
  ASSERT_EQ(ReadDevice(1), "m");
  const uint8_t data[] = {'a', 'b', 'c'};
  const WriteOutcome held = device_.Write(data, 3);
  EXPECT_EQ(held.Written, 0u);
  EXPECT_EQ(held.Error, 0);

  ASSERT_TRUE(pty_.Send(std::vector<uint8_t>{0x11, 'n'}));
  ASSERT_EQ(ReadDevice(1), "n");
  EXPECT_EQ(device_.Write(data, 3).Written, 3u);
  EXPECT_EQ(pty_.Receive(3), std::vector<uint8_t>({'a', 'b', 'c'}));
}

// --- Lines and counters a pseudo-terminal lacks -------------------------------------------------

TEST_F(TermiosDeviceTest, MissingModemLinesAndCountersReadAsOffWithoutFailing) {
  uint32_t lines = 0xFF;
  EXPECT_EQ(device_.ModemStatus(lines), 0);
  EXPECT_EQ(lines, 0u);
  for (int function : {EscSetRts, EscClrRts, EscSetDtr, EscClrDtr})
    EXPECT_EQ(device_.Escape(function), 0);
  EXPECT_NE(device_.Escape(10), 0);
  DeviceStatus status;
  status.Errors = 0xFF;
  EXPECT_EQ(device_.ClearErrors(status), 0);
  EXPECT_EQ(status.Errors, 0u);
  EXPECT_EQ(status.InQueue, 0u);
}

// A device whose break counter the test sets, and whose next counter reading can be held back
// after it was taken, as a thread that is preempted there would be.
class CountedDevice : public TermiosSerialDevice {
 public:
  std::atomic<int> Breaks{0};

  void HoldNextReading() {
    std::lock_guard lock(mutex_);
    hold_ = true;
  }
  bool Holding() const {
    std::lock_guard lock(mutex_);
    return holding_;
  }
  void Release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

 protected:
  int ReadCounters(LineCounters& counters) const override {
    counters = LineCounters{};
    counters.Brk = Breaks;
    std::unique_lock lock(mutex_);
    if (hold_) {
      hold_ = false;
      holding_ = true;
      changed_.wait_for(lock, kLimit, [this] { return released_; });
      holding_ = false;
    }
    return 0;
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  mutable bool hold_ = false;
  mutable bool holding_ = false;
  bool released_ = false;
};

// Two threads clear the errors at once (the dispatch thread reading, the main thread sending);
// the older reading must never be compared or stored after the newer one.
TEST(TermiosDeviceErrors, OneBreakIsReportedOnceWhenTwoThreadsClearTheErrorsTogether) {
  PtyPair pty;
  CountedDevice device;
  ASSERT_EQ(device.Open(pty.SlavePath()), 0);
  std::atomic<int> breaksReported{0};
  auto clear = [&] {
    DeviceStatus status;
    EXPECT_EQ(device.ClearErrors(status), 0);
    if (status.Errors & CeBreak) ++breaksReported;
  };
  device.HoldNextReading();
  std::thread first(clear);
  ASSERT_TRUE(Eventually([&] { return device.Holding(); }));
  device.Breaks = 1;
  std::atomic<bool> secondDone{false};
  std::thread second([&] {
    clear();
    secondDone = true;
  });
  // A second clearing that overtakes the held reading ends now; one that waits for it cannot, and
  // this wait runs out.
  Eventually([&] { return secondDone.load(); }, 300ms);
  device.Release();
  first.join();
  second.join();
  clear();
  EXPECT_EQ(breaksReported, 1);
}

// --- Data ---------------------------------------------------------------------------------------

TEST_F(TermiosDeviceTest, BytesPassBothWaysUnchanged) {
  uint8_t nothing[8];
  EXPECT_EQ(device_.Read(nothing, sizeof nothing), 0);
  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  ASSERT_TRUE(pty_.Send(all));
  const std::string got = ReadDevice(all.size());
  EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.end()), all);

  EXPECT_EQ(device_.Write(all.data(), all.size()).Written, all.size());
  EXPECT_EQ(pty_.Receive(all.size()), all);
}

TEST_F(TermiosDeviceTest, LargeWriteGoesThroughInPartsWithWaitWritable) {
  std::vector<uint8_t> block(256 * 1024);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 7 + i / 251);
  std::vector<uint8_t> received;
  std::thread farEnd([&] { received = pty_.Receive(block.size(), 20000); });
  size_t sent = 0;
  int partial = 0;
  const auto deadline = Clock::now() + 20s;
  while (sent < block.size() && Clock::now() < deadline) {
    const WriteOutcome outcome = device_.Write(block.data() + sent, block.size() - sent);
    ASSERT_EQ(outcome.Error, 0);
    sent += outcome.Written;
    if (sent < block.size()) {
      ++partial;
      device_.WaitWritable(1000);
    }
  }
  farEnd.join();
  EXPECT_EQ(sent, block.size());
  EXPECT_GT(partial, 0);
  EXPECT_EQ(received, block);
}

TEST_F(TermiosDeviceTest, PurgeOfInputDropsWhatWaits) {
  ASSERT_TRUE(pty_.Send("xyz"));
  ASSERT_TRUE(Eventually([&] { return InQueue() == 3; }));
  EXPECT_EQ(device_.Purge(PurgeQueue::Input), 0);
  EXPECT_EQ(InQueue(), 0u);
  uint8_t buffer[8];
  EXPECT_EQ(device_.Read(buffer, sizeof buffer), 0);
  EXPECT_EQ(device_.Purge(PurgeQueue::Output), 0);
}

TEST_F(TermiosDeviceTest, CallsAfterCloseFailWithoutTouchingTheDevice) {
  ASSERT_TRUE(pty_.Send("late"));
  ASSERT_TRUE(Eventually([&] { return InQueue() == 4; }));
  ASSERT_EQ(device_.Close(), 0);
  EXPECT_EQ(device_.Close(), 0);
  uint8_t buffer[8];
  EXPECT_EQ(device_.Read(buffer, sizeof buffer), -6);
  EXPECT_EQ(device_.Write(buffer, 1).Error, 6);
  LineSettings settings;
  EXPECT_EQ(device_.GetState(settings), 6);
  EXPECT_EQ(device_.SetState(settings), 6);
  DeviceStatus status;
  EXPECT_EQ(device_.ClearErrors(status), 6);
  EXPECT_EQ(device_.Purge(PurgeQueue::Input), 6);
  EXPECT_FALSE(device_.WaitWritable(1000));
  uint32_t events = 0;
  EXPECT_FALSE(device_.WaitEvent(events));
}

TEST_F(TermiosDeviceTest, FarEndGoneFailsReadsAndWritesWithDeviceMissing) {
  pty_.CloseMaster();
  uint8_t buffer[8];
  EXPECT_EQ(device_.Read(buffer, sizeof buffer), -2);
  EXPECT_EQ(device_.Write(buffer, 1).Error, 2);
}

// --- WaitWritable
// ---------------------------------------------------------------------------------

TEST_F(TermiosDeviceTest, WaitWritableOnAFullDeviceTimesOutAndEndsAtOnceOnClose) {
  // Nobody reads the far end: fill the device until it takes no more.
  std::vector<uint8_t> chunk(4096, 'f');
  ASSERT_TRUE(Eventually([&] { return device_.Write(chunk.data(), chunk.size()).Written == 0; }));
  const auto before = Clock::now();
  EXPECT_FALSE(device_.WaitWritable(100));
  EXPECT_GE(Clock::now() - before, 90ms);

  std::atomic<bool> done{false};
  bool writable = true;
  std::thread waiter([&] {
    writable = device_.WaitWritable(60000);
    done = true;
  });
  const auto closing = Clock::now();
  device_.Close();
  EXPECT_TRUE(Eventually([&] { return done.load(); }));
  waiter.join();
  EXPECT_FALSE(writable);
  EXPECT_LT(Clock::now() - closing, kLimit);
}

// --- The event wait ------------------------------------------------------------------------------

TEST_F(TermiosDeviceTest, ReceivedCharactersAreReportedOncePerArrival) {
  device_.SetEventMask(EventMaskNT);
  EventWaiterThread waiter(device_);

  ASSERT_TRUE(pty_.Send("ab"));
  ASSERT_TRUE(waiter.WaitForCount(EvRxChar, 1));

  // The bytes wait unread: no further reports, and the waiter does not spin.
  const auto cpuBefore = waiter.CpuTime();
  std::this_thread::sleep_for(400ms);
  const auto cpuUsed = waiter.CpuTime() - cpuBefore;
  EXPECT_EQ(waiter.CountWith(EvRxChar), 1u);
  EXPECT_LT(cpuUsed, 100ms);

  ASSERT_TRUE(pty_.Send("c"));
  ASSERT_TRUE(waiter.WaitForCount(EvRxChar, 2));

  // Taking the bytes and receiving more reports again.
  EXPECT_EQ(ReadDevice(3), "abc");
  ASSERT_TRUE(pty_.Send("d"));
  ASSERT_TRUE(waiter.WaitForCount(EvRxChar, 3));
  EXPECT_EQ(ReadDevice(1), "d");
}

// The bytes taken are replaced by as many new ones before the waiter looks again: the count is
// what it was, yet the bytes are new and must be reported.
TEST_F(TermiosDeviceTest, NewBytesLeavingTheCountUnchangedAreReported) {
  device_.SetEventMask(EventMaskNT);
  ASSERT_TRUE(pty_.Send("a"));
  uint32_t events = 0;
  ASSERT_TRUE(device_.WaitEvent(events));
  ASSERT_EQ(events, EvRxChar);
  EXPECT_EQ(ReadDevice(1), "a");
  ASSERT_TRUE(pty_.Send("b"));
  uint32_t inCount = 0;
  for (int i = 0; i < 1000 && inCount == 0; ++i) {
    DeviceStatus status;
    ASSERT_EQ(device_.ClearErrors(status), 0);
    inCount = status.InQueue;
    if (inCount == 0) std::this_thread::sleep_for(1ms);
  }
  ASSERT_EQ(inCount, 1u);

  EventWaiterThread waiter(device_);
  ASSERT_TRUE(waiter.WaitForCount(EvRxChar, 1));
  EXPECT_EQ(ReadDevice(1), "b");
}

// A reply trickles in: the reader takes each byte soon after it is reported, and the next one
// must be reported as it comes, not when the waiter's cadence next looks. Before the reader's
// take woke it, a waiter set aside for unread bytes slept its whole cadence every round.
TEST_F(TermiosDeviceTest, ABytePromptlyFollowingATakeIsReportedWithinTheCadence) {
  device_.SetEventMask(EventMaskNT);
  EventWaiterThread waiter(device_);
  constexpr int kRounds = 10;
  int prompt = 0;
  for (int round = 0; round < kRounds; ++round) {
    ASSERT_TRUE(pty_.Send("x"));
    ASSERT_TRUE(waiter.WaitForCount(EvRxChar, 2 * round + 1));
    const auto taken = std::chrono::steady_clock::now();
    ASSERT_EQ(ReadDevice(1), "x");
    ASSERT_TRUE(pty_.Send("y"));
    ASSERT_TRUE(waiter.WaitForCount(EvRxChar, 2 * round + 2));
    const auto after = std::chrono::steady_clock::now() - taken;
    if (after < std::chrono::milliseconds(TermiosSerialDevice::EventPollIntervalMs) / 2) ++prompt;
    ASSERT_EQ(ReadDevice(1), "y");
  }
  EXPECT_GE(prompt, kRounds / 2) << "reports a cadence late";
}

TEST(TermiosDeviceEvents, BytesWaitingAtOpenAreReportedByTheFirstWait) {
  PtyPair pty;
  ASSERT_TRUE(pty.Send("early"));
  ASSERT_TRUE(Eventually([&] {
    int waiting = 0;
    return ioctl(pty.Slave(), FIONREAD, &waiting) == 0 && waiting == 5;
  }));
  TermiosSerialDevice device;
  ASSERT_EQ(device.Open(pty.SlavePath()), 0);
  device.SetEventMask(EventMaskNT);
  uint32_t events = 0;
  ASSERT_TRUE(device.WaitEvent(events));
  EXPECT_EQ(events, EvRxChar);
}

TEST_F(TermiosDeviceTest, EventsOutsideTheMaskAreNotReported) {
  device_.SetEventMask(EvCts | EvDsr);
  uint32_t events = 0;
  std::atomic<bool> done{false};
  std::thread waiter([&] {
    device_.WaitEvent(events);
    done = true;
  });
  ASSERT_TRUE(pty_.Send("z"));
  ASSERT_TRUE(Eventually([&] { return InQueue() == 1; }));
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(done.load());
  device_.SetEventMask(0);
  ASSERT_TRUE(Eventually([&] { return done.load(); }));
  waiter.join();
  EXPECT_EQ(events, 0u);
}

TEST_F(TermiosDeviceTest, MaskZeroEndsABlockedWaitWithNoEvents) {
  device_.SetEventMask(EventMaskNT);
  EventWaiterThread waiter(device_);
  std::this_thread::sleep_for(50ms);  // lets the waiter block; not needed for the result
  device_.SetEventMask(0);
  bool result = false;
  ASSERT_TRUE(waiter.WaitForEnd(&result));
  EXPECT_TRUE(result);
  EXPECT_EQ(waiter.CountWith(0xFFFFFFFF), 0u);
  // A wait that starts with mask 0 returns at once as well.
  uint32_t events = 0xFF;
  EXPECT_TRUE(device_.WaitEvent(events));
  EXPECT_EQ(events, 0u);
}

TEST_F(TermiosDeviceTest, CloseEndsABlockedWaitWithFalse) {
  device_.SetEventMask(EventMaskNT);
  EventWaiterThread waiter(device_);
  std::this_thread::sleep_for(50ms);  // lets the waiter block; not needed for the result
  device_.Close();
  bool result = true;
  ASSERT_TRUE(waiter.WaitForEnd(&result));
  EXPECT_FALSE(result);
}

TEST_F(TermiosDeviceTest, FarEndClosingEndsTheWaitWithFalseAndStopsPolling) {
  device_.SetEventMask(EventMaskNT);
  EventWaiterThread waiter(device_);
  // Unread reported bytes: the waiter no longer polls for input, only for hang-up.
  ASSERT_TRUE(pty_.Send("q"));
  ASSERT_TRUE(waiter.WaitForCount(EvRxChar, 1));
  const auto cpuBefore = waiter.CpuTime();
  pty_.CloseMaster();
  bool result = true;
  ASSERT_TRUE(waiter.WaitForEnd(&result));
  EXPECT_FALSE(result);
  EXPECT_LT(waiter.CpuTime() - cpuBefore, 100ms);

  // A later wait ends at once: the dead descriptor, which polls as ready forever, is not
  // polled again.
  const auto start = Clock::now();
  uint32_t events = 0;
  EXPECT_FALSE(device_.WaitEvent(events));
  EXPECT_LT(Clock::now() - start, 1s);
}

TEST_F(TermiosDeviceTest, IdleWaitCostsLittleCpu) {
  device_.SetEventMask(EventMaskNT);
  EventWaiterThread waiter(device_);
  const auto cpuBefore = waiter.CpuTime();
  std::this_thread::sleep_for(500ms);
  EXPECT_LT(waiter.CpuTime() - cpuBefore, 50ms);
  EXPECT_EQ(waiter.CountWith(0xFFFFFFFF), 0u);
}

}  // namespace
}  // namespace talyx::platform
