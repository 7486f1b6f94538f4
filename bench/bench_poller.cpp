// The register poller at the line's limit: the window's poll loop with 20 rows against talyx-sim
// --paced at 115200 baud, with the CSV log, for a number of seconds (default 600).
//
// Usage (under a display; bench/poller.sh starts Xvfb):
//   bench_poller [SECONDS]
// It prints the polls per second achieved against the figure the line's timing allows, computed
// from the same frame sizes, silence and turnaround; the event loop's worst stall; the resident
// memory after the first minute (or half the run, when shorter) and at the end; the CSV log's
// lines against the polls; and a verdict on each target. It exits 1 when a target is missed.
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/poller/polllog.h"
#include "app/poller/pollloop.h"
#include "app/poller/requestchannel.h"
#include "app/shell/application.h"
#include "bench/guiharness.h"
#include "modbus/rtutiming.h"
#include "platform/deviceproviders.h"
#include "platform/termiosprovider.h"

extern char** environ;

namespace talyx::bench {

namespace {

constexpr uint32_t kBaud = 115200;
constexpr int kRows = 20;
constexpr uint16_t kRegistersPerRow = 5;  // 20 rows of 5: the demo slave's 100 registers
constexpr double kStallLimitMs = 50;
constexpr double kRssLimitMB = 20;
constexpr double kRateTolerance = 0.10;

// talyx-sim --paced on a new pseudo-terminal, ended with the benchmark.
class PacedSim {
 public:
  PacedSim() {
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::string args[] = {TALYX_SIM_PATH, "--paced", "--baud", std::to_string(kBaud)};
    char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(), nullptr};
    if (posix_spawn(&pid_, TALYX_SIM_PATH, &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    // The first line is the pseudo-terminal's path.
    char c;
    pollfd fd{out[0], POLLIN, 0};
    while (poll(&fd, 1, 5000) > 0 && read(out[0], &c, 1) == 1 && c != '\n') path_ += c;
    close(out[0]);
  }
  ~PacedSim() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& Path() const { return path_; }

 private:
  pid_t pid_ = -1;
  std::string path_;
};

app::PollSet TwentyRows() {
  app::PollSet set;
  for (int i = 0; i < kRows; ++i) {
    app::PollRow row;
    row.Slave = 1;
    row.Function = app::PollFunction::ReadHoldingRegisters;
    row.Start = static_cast<uint16_t>(i * kRegistersPerRow);
    row.Count = kRegistersPerRow;
    row.PeriodMs = app::MinPollPeriodMs;  // faster than the line: polled as often as it allows
    for (uint16_t r = 0; r < kRegistersPerRow; ++r) {
      app::PollRegister reg;
      reg.Address = static_cast<uint16_t>(row.Start + r);
      reg.Name = "r" + std::to_string(reg.Address);
      row.Registers.push_back(reg);
    }
    set.Rows.push_back(row);
  }
  return set;
}

// Lines of the log's files after their headers.
uint64_t LoggedLines(const QString& folder) {
  uint64_t lines = 0;
  for (const QFileInfo& info : QDir(folder).entryInfoList(QDir::Files)) {
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly)) continue;
    uint64_t inFile = 0;
    while (!file.atEnd()) {
      file.readLine();
      ++inFile;
    }
    lines += inFile > 0 ? inFile - 1 : 0;
  }
  return lines;
}

int Verdict(bool ok, const char* what) {
  std::printf("%s: %s\n", what, ok ? "ok" : "FAILED");
  return ok ? 0 : 1;
}

int Run(double seconds, int argc, char** argv) {
  PacedSim sim;
  if (sim.Path().empty()) {
    std::fprintf(stderr, "talyx-sim gave no pseudo-terminal\n");
    return 2;
  }
  app::TApplication application(argc, argv);
  Harness harness(sim.Path(), {{"Baud", "10"}});  // item "115200"
  app::TMainForm& form = *harness.Form;
  if (!Harness::RunUntil([&] { return form.ComPort1.Open(); }, 5000) ||
      form.ComPort1.Baud() != static_cast<int32_t>(kBaud)) {
    std::fprintf(stderr, "the window did not open the port at %u baud\n", kBaud);
    return 2;
  }

  const app::PollSet set = TwentyRows();
  const std::filesystem::path logFolder =
      std::filesystem::temp_directory_path() / ("talyx-bench-poller-" + std::to_string(getpid()));
  app::TPollLogSettings logSettings;
  logSettings.Folder = QString::fromStdString(logFolder.string());
  app::TPollLog log(logSettings);
  if (!log.Start(set)) {
    std::fprintf(stderr, "the log did not start: %s\n", log.Failure().toUtf8().constData());
    return 2;
  }
  app::TRequestChannel channel(form.ComPort1, *form.MonitorHub, form.SendPath);
  app::TPollLoop loop(form.ComPort1, channel);
  loop.SetPollSet(set);
  uint64_t polls = 0;
  uint64_t good = 0;
  QObject::connect(&loop, &app::TPollLoop::Polled, [&](const app::TPollSample& sample) {
    ++polls;
    if (sample.Ok) ++good;
    log.Add(sample);
  });

  // The figure the line allows: request, the slave's 3.5 characters, reply, silence, turnaround.
  const modbus::LineFormat line{kBaud, 8, false, modbus::StopBits::One};
  const size_t requestBytes = 8;
  const size_t replyBytes = 5 + 2 * kRegistersPerRow;
  const double characterUs = static_cast<double>(modbus::CharacterHalfBits(line)) * 5e5 / kBaud;
  const double pollUs = characterUs * static_cast<double>(requestBytes + replyBytes) +
                        3.5 * characterUs + modbus::SilenceMicroseconds(line) +
                        loop.Options().TurnaroundMs * 1000.0;
  const double computed = 1e6 / pollUs;

  const double settleSeconds = std::min(60.0, seconds / 2);
  double rssSettled = 0;
  double rssHighest = 0;
  StallMonitor stalls;
  stalls.OnTick = [&] {
    if (stalls.Seconds() < settleSeconds) return;
    const double rss = RssMB();
    if (rssSettled == 0) rssSettled = rss;
    rssHighest = std::max(rssHighest, rss);
  };
  const double rssStart = RssMB();
  const double cpuStart = CpuSeconds();
  stalls.Start();
  loop.Start();
  Harness::RunUntil([&] { return stalls.Seconds() >= seconds; },
                    static_cast<int>((seconds + 30) * 1000));
  loop.Stop();
  stalls.Stop();
  const double ran = stalls.Seconds();
  const double cpu = CpuSeconds() - cpuStart;
  const double rssEnd = RssMB();
  log.Stop();
  const uint64_t logged = LoggedLines(logSettings.Folder);
  std::filesystem::remove_all(logFolder);

  uint64_t timeouts = 0;
  uint64_t crcErrors = 0;
  uint64_t exceptions = 0;
  for (size_t row = 0; row < set.Rows.size(); ++row) {
    timeouts += loop.Stats(row).Timeouts;
    crcErrors += loop.Stats(row).CrcErrors;
    exceptions += loop.Stats(row).Exceptions;
  }
  const double achieved = static_cast<double>(polls) / ran;
  std::printf(
      "bench_poller: %d rows of %u holding registers (%zu-byte request, %zu-byte reply) from "
      "talyx-sim --paced at %u baud 8N1, turnaround %u ms, for %.1f s\n",
      kRows, kRegistersPerRow, requestBytes, replyBytes, kBaud, loop.Options().TurnaroundMs, ran);
  std::printf(
      "polls/s: achieved %.1f, computed %.1f (%.0f us a poll: %.1f us a character), %.1f%%\n",
      achieved, computed, pollUs, characterUs, 100.0 * achieved / computed);
  std::printf(
      "polls: %llu, good replies %llu, timeouts %llu, CRC errors %llu, exceptions %llu; CSV log "
      "lines %llu\n",
      static_cast<unsigned long long>(polls), static_cast<unsigned long long>(good),
      static_cast<unsigned long long>(timeouts), static_cast<unsigned long long>(crcErrors),
      static_cast<unsigned long long>(exceptions), static_cast<unsigned long long>(logged));
  std::printf(
      "worst event-loop stall %.1f ms; RSS at start %.1f MB, after %.0f s %.1f MB, "
      "highest after that %.1f MB, at the end %.1f MB; CPU %.1f%% of a core; message "
      "boxes %d\n",
      stalls.Worst, rssStart, settleSeconds, rssSettled, rssHighest, rssEnd, 100.0 * cpu / ran,
      harness.Messages);
  int failures = Verdict(std::abs(achieved - computed) <= kRateTolerance * computed,
                         "polls/s within 10% of the computed figure");
  failures += Verdict(stalls.Worst < kStallLimitMs, "no event-loop stall above 50 ms");
  failures += Verdict(rssHighest - rssSettled <= kRssLimitMB, "RSS flat within 20 MB");
  failures += Verdict(good == polls, "every poll answered");
  failures += Verdict(logged == polls, "the CSV log has every poll");
  return failures == 0 ? 0 : 1;
}

}  // namespace

}  // namespace talyx::bench

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  talyx::platform::RegisterDeviceProvider(
      std::make_shared<talyx::platform::TermiosDeviceProvider>());
  const double seconds = argc > 1 ? std::atof(argv[1]) : 600;
  return talyx::bench::Run(seconds > 0 ? seconds : 600, argc, argv);
}
