// The window under a benchmark: a TMainForm on a settings file of its own opened on a given
// device, the event loop's stall meter, and the process's CPU time and resident memory.
#pragma once

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/shell/messagebox.h"
#include "app/window/commmain.h"
#include "platform/portmap.h"

namespace talyx::bench {

inline constexpr double kMB = 1024.0 * 1024.0;
// The big layout: the views stretched over a window of the size other terminals are measured at.
inline constexpr int kBigWidth = 1000;
inline constexpr int kBigHeight = 750;

inline double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

inline double RssMB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  long resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / kMB;
}

// CPU time of the calling thread, in milliseconds.
inline double ThreadCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// The event loop's health: a 10 ms timer's worst lateness, over the whole run and since the
// last Mark, how much of the worst since the mark the GUI thread spent running (the rest it
// waited for a core), and the most it ran between two ticks.
class StallMonitor {
 public:
  StallMonitor() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 now = clock_.nsecsElapsed();
      const double cpu = ThreadCpuMs();
      const double late = static_cast<double>(now - last_) / 1e6 - 10.0;
      last_ = now;
      Worst = std::max(Worst, late);
      if (late > WorstSinceMark) {
        WorstSinceMark = late;
        WorstSinceMarkRanMs = cpu - lastCpu_;
      }
      LongestRunSinceMarkMs = std::max(LongestRunSinceMarkMs, cpu - lastCpu_);
      lastCpu_ = cpu;
      if (OnTick) OnTick();
    });
  }
  void Start() {
    clock_.start();
    last_ = clock_.nsecsElapsed();
    lastCpu_ = ThreadCpuMs();
    timer_.start();
  }
  void Stop() { timer_.stop(); }
  void Mark() { WorstSinceMark = WorstSinceMarkRanMs = LongestRunSinceMarkMs = 0; }
  double Seconds() const { return static_cast<double>(clock_.nsecsElapsed()) / 1e9; }

  double Worst = 0;
  double WorstSinceMark = 0;
  double WorstSinceMarkRanMs = 0;  // the GUI thread's CPU time over that tick's interval
  // The most CPU time the GUI thread took between two ticks since the mark: its own longest
  // stall, whatever the scheduler added.
  double LongestRunSinceMarkMs = 0;
  std::function<void()> OnTick;

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = 0;
  double lastCpu_ = 0;
};

// A window on a settings file of its own whose Com1 is the far end's slave, every message box
// answered and echoed on stderr.
class Harness {
 public:
  Harness(const std::string& slavePath, const std::map<std::string, std::string>& parameters,
          bool big = false)
      : folder_(std::filesystem::temp_directory_path() /
                ("talyx-bench-" + std::to_string(getpid()))) {
    std::filesystem::create_directories(folder_);
    std::ofstream ini(folder_ / "talyx.INI");
    ini << "[parameter]\nComNum=0\n";
    if (parameters.count("Baud") == 0) ini << "Baud=6\n";  // 9600
    for (const auto& [key, value] : parameters) ini << key << "=" << value << "\n";
    ini << "[options]\nStretchViews=" << (big ? 1 : 0) << "\n";
    ini.close();
    platform::ReplacePortMap(platform::PortMap::Only({{1, slavePath}}));
    app::SetMessageBoxHook([this](const app::MessageRequest& request) {
      ++Messages;
      std::fprintf(stderr, "message box: %s\n", request.Text.toUtf8().constData());
      return QMessageBox::Ok;
    });
    Form = std::make_unique<app::TMainForm>(app::TSettingsFile((folder_ / "talyx.INI").string()));
    if (big) Form->resize(kBigWidth, kBigHeight);
    Form->show();
  }
  ~Harness() {
    Form.reset();
    std::filesystem::remove_all(folder_);
  }
  // Runs the event loop until done() or the time limit; false on the time limit. done() is
  // looked at every 50 ms, so that the benchmark's own wake-ups stay few beside the window's;
  // between looks the thread sleeps in the event loop as the program does.
  static bool RunUntil(const std::function<bool()>& done, int limitMs) {
    if (done()) return true;
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    bool met = false;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
      met = done();
      if (met || clock.elapsed() > limitMs) loop.quit();
    });
    check.start(50);
    loop.exec();
    return met;
  }

  std::unique_ptr<app::TMainForm> Form;
  int Messages = 0;

 private:
  std::filesystem::path folder_;
};

}  // namespace talyx::bench
