// HolderProcess: the child that holds a device and the parent's wait for it to be ready.
#include "support/holderprocess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace talyx::testing {

HolderProcess::HolderProcess(const std::string& path, const char* name) {
  int ready[2];
  if (pipe(ready) != 0) return;
  const pid_t pid = fork();
  if (pid == 0) {
    // Only async-signal-safe calls in the child of a threaded process.
    close(ready[0]);
    prctl(PR_SET_NAME, name);
    if (!path.empty()) {
      const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
      if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) _exit(1);
    }
    [[maybe_unused]] const ssize_t n = write(ready[1], "1", 1);
    for (;;) pause();
  }
  close(ready[1]);
  char answer = 0;
  if (pid > 0 && read(ready[0], &answer, 1) == 1) {
    pid_ = pid;
  } else if (pid > 0) {
    waitpid(pid, nullptr, 0);
  }
  close(ready[0]);
}

HolderProcess::~HolderProcess() { Kill(); }

void HolderProcess::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

}  // namespace talyx::testing
