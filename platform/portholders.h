// FindPortHolders: the other processes that hold a device path, found without opening it.
//
// Principles of operation:
// - Opening a serial device raises DTR and RTS, which resets many boards and turns RS-485
//   drivers; whether another program holds a device must be found without opening it. Two
//   sources, read afresh at every call:
//   - /proc/locks lists the locks of every user's processes with the holder's pid, each named by
//     the file system's device number (major:minor, hex) and the inode of the node locked. A
//     lock still waiting for another ("->") holds nothing.
//   - /proc/PID/fd lists each process's descriptors: readable for a user's own processes, for
//     every process as root. A descriptor holds the device when it is the same character device
//     (through any node of it) or else the same file.
// - The far end of a pseudo-terminal pair, a process with only the pair's master side open (a
//   /dev/ptmx descriptor, whose /proc/PID/fdinfo names the slave as "tty-index"), holds another
//   device number than the slave and so is never a holder; it becomes one by opening the slave.
// - The calling process is never a holder: the port's own open is not another program's.
// - Processes that end meanwhile and entries that cannot be read are passed over.
// - A pure look at the file system under the proc root, which tests replace; any thread.
#pragma once

#include <string>
#include <vector>

namespace talyx::platform {

struct PortHolder {
  // 0 when the lock's holder is outside this process's view (another pid namespace).
  int Pid = 0;
  // The holder's program name (/proc/PID/comm); "" when it cannot be read.
  std::string Program;

  bool operator==(const PortHolder&) const = default;
};

// The processes other than this one that hold path (a symbolic link is followed), each once, lock
// holders first; none when path does not exist.
std::vector<PortHolder> FindPortHolders(const std::string& path,
                                        const std::string& procRoot = "/proc");

}  // namespace talyx::platform
