// HolderProcess: another program holding a device, played by a child process of the test.
#pragma once

#include <sys/types.h>

#include <string>

namespace talyx::testing {

// A child process named name (its /proc/PID/comm) that opens path and holds it with
// flock(LOCK_EX) until it is killed; with an empty path it opens nothing and holds only what it
// inherited (the far end of a pseudo-terminal pair whose master the test has open).
class HolderProcess {
 public:
  HolderProcess(const std::string& path, const char* name);
  ~HolderProcess();
  HolderProcess(const HolderProcess&) = delete;
  HolderProcess& operator=(const HolderProcess&) = delete;

  // Whether the child runs and holds what it was asked to.
  bool Holding() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  // Ends it at once, as a crash would, and waits for it.
  void Kill();

 private:
  pid_t pid_ = -1;
};

}  // namespace talyx::testing
