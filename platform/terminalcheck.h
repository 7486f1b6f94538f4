// CheckTerminalPath: whether a path names a terminal the termios provider may open.
//
// Principles of operation:
// - Opening a tty raises DTR and RTS, and opening anything else as a port does harm of its own
//   (a watchdog arms on open, a FIFO or file would take the bytes meant for a line). So a path
//   is looked at, without opening it, before any open: it must resolve (links followed) to a
//   character device that is a tty sysfs gives a hardware device (/sys/class/tty/NAME/device,
//   found by the node's device number, so any name or link reaches it), or a Unix98
//   pseudo-terminal slave (majors 136 to 143, which have no sysfs entry).
// - Never a terminal to open, although the kernel lists them all under the tty subsystem: the
//   controlling tty (/dev/tty), /dev/console, /dev/ptmx, the virtual consoles (tty0 to tty63)
//   and the system console's devices listed in /proc/consoles. They are known by device number,
//   so no second node or link lets them through; /dev/console by its path as well, since a
//   container binds a pseudo-terminal slave there.
// - sysfs and proc are read below a root folder ("/" on a real system; tests give a fake tree);
//   the path itself is always the system's own.
// - Pure reads of the file system; any thread.
#pragma once

#include <sys/types.h>

#include <string>

namespace talyx::platform {

// 0 when path resolves to a terminal that may be opened as a port. Otherwise the platform error
// an open fails with: that of the failed resolution (2 missing, 3 a component is no folder, 13
// no permission, ...), or 2 for anything else it names, as for a missing device.
int CheckTerminalPath(const std::string& path, const std::string& root = "/");

// Whether path resolves to something that is not a terminal that may be opened (a file, a FIFO,
// a folder, a disk, the console, ...); a path that does not resolve names nothing and is false.
bool NamesNonTerminal(const std::string& path, const std::string& root = "/");

// Whether number is that of a Unix98 pseudo-terminal slave (majors 136 to 143).
bool IsPtySlaveNumber(dev_t number);

}  // namespace talyx::platform
