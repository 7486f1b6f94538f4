// OpenWatch: one inotify instance with one IN_OPEN watch, read without blocking.
#include "support/openwatch.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace talyx::testing {

OpenWatch::OpenWatch(const std::string& path) : inotify_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
  if (inotify_ < 0 || inotify_add_watch(inotify_, path.c_str(), IN_OPEN) < 0) {
    ADD_FAILURE() << "cannot watch " << path << ": " << std::strerror(errno);
  }
}

OpenWatch::~OpenWatch() {
  if (inotify_ >= 0) close(inotify_);
}

int OpenWatch::Opens() {
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t n = read(inotify_, buffer, sizeof buffer);
    if (n <= 0) break;
    for (ssize_t at = 0; at < n;) {
      inotify_event event{};
      std::memcpy(&event, buffer + at, sizeof event);
      if ((event.mask & IN_OPEN) != 0) ++opens_;
      at += static_cast<ssize_t>(sizeof event + event.len);
    }
  }
  return opens_;
}

}  // namespace talyx::testing
