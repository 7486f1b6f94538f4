// OpenWatch: counts the opens of one file by any process, through inotify (IN_OPEN).
#pragma once

#include <string>

namespace talyx::testing {

// Watches path from construction on. The kernel queues the event within the open call itself,
// so once an open has returned (or the process that made it has been waited for), Opens counts
// it. A path that cannot be watched fails the test (ADD_FAILURE).
class OpenWatch {
 public:
  explicit OpenWatch(const std::string& path);
  ~OpenWatch();
  OpenWatch(const OpenWatch&) = delete;
  OpenWatch& operator=(const OpenWatch&) = delete;

  // The opens seen since the watch began.
  int Opens();

 private:
  int inotify_ = -1;
  int opens_ = 0;
};

}  // namespace talyx::testing
