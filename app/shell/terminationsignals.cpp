// TTerminationSignals: the three terminating signals read on the GUI thread, and the watchdog.
#include "app/shell/terminationsignals.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <chrono>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

namespace talyx::app {

namespace {

using Clock = std::chrono::steady_clock;

sigset_t TerminationSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  sigaddset(&set, SIGINT);
  return set;
}

// The number of a signal waiting in the signalfd (non-blocking); none when none waits.
std::optional<int> TakeSignal(int fd) {
  signalfd_siginfo info{};
  if (read(fd, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return std::nullopt;
  return static_cast<int>(info.ssi_signo);
}

[[noreturn]] void EndAtOnce(int signal) { _exit(128 + signal); }

// The watchdog: ends the process on the next signal or when the deadline passes.
void Watch(int fd, int firstSignal, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) EndAtOnce(firstSignal);
    pollfd waiting{fd, POLLIN, 0};
    if (poll(&waiting, 1, static_cast<int>(left.count())) > 0) {
      if (const std::optional<int> signal = TakeSignal(fd)) EndAtOnce(*signal);
    }
  }
}

}  // namespace

void BlockTerminationSignals() {
  const sigset_t set = TerminationSignalSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

TTerminationSignals::TTerminationSignals(std::function<void()> ending, QObject* parent)
    : QObject(parent), ending_(std::move(ending)) {
  const sigset_t set = TerminationSignalSet();
  fd_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "signalfd");
  notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { ReadFirstSignal(); });
}

TTerminationSignals::~TTerminationSignals() {
  if (fd_ >= 0) close(fd_);
}

void TTerminationSignals::ReadFirstSignal() {
  const std::optional<int> first = TakeSignal(fd_);
  if (!first) return;
  if (const std::optional<int> second = TakeSignal(fd_)) EndAtOnce(*second);
  notifier_->setEnabled(false);
  received_ = true;
  std::thread(Watch, std::exchange(fd_, -1), *first,
              Clock::now() + std::chrono::milliseconds(EndDeadlineMs))
      .detach();
  ending_();
  QCoreApplication::exit(0);
}

}  // namespace talyx::app
