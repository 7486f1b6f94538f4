// The line's termios fields, read from and written to the kernel through termios2.
//
// Principles of operation:
// - This unit is the only one that includes <asm/termbits.h> (its termios record clashes with
//   the C library's <termios.h>); its interface therefore uses a plain record of its own.
// - termios2 carries any baud rate: a rate with a B-constant is written as that constant, any
//   other through BOTHER and the explicit speed fields. Reading decodes either form.
// - The functions are thin ioctl wrappers: they return 0 or the errno of the failed call, taken
//   at once. Validation of the values is the caller's; no state is kept, so any thread may call
//   them on a descriptor it may use.
#pragma once

#include <cstdint>

namespace talyx::platform {

// The part of the line settings that termios itself holds.
struct TermiosLine {
  uint32_t BaudRate = 0;
  uint8_t Parity = 0;         // NoParity .. SpaceParity
  uint8_t ByteSize = 8;       // 5 .. 8
  bool TwoStopBits = false;   // CSTOPB: one and a half stop bits at 5 data bits, two otherwise
  bool HardwareFlow = false;  // CRTSCTS
  bool OutX = false;          // IXON
  bool InX = false;           // IXOFF
  uint8_t XonChar = 17;       // VSTART
  uint8_t XoffChar = 19;      // VSTOP
};

// Puts the line into raw mode: no echo, no line editing, no signals, no character translation,
// no parity checking or stripping, receiver on, modem control lines ignored (CLOCAL), and reads
// that return as soon as one byte is there (VMIN 1, VTIME 0; with O_NONBLOCK an empty queue
// gives EAGAIN and a read of 0 means the device has gone).
int MakeTermiosRaw(int descriptor);

int ReadTermiosLine(int descriptor, TermiosLine& line);

// Applies line to the device at once (no drain), keeping the raw mode and every other flag.
int WriteTermiosLine(int descriptor, const TermiosLine& line);

}  // namespace talyx::platform
