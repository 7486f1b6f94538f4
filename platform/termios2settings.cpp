// Line settings through termios2: B-constants or BOTHER for the rate, CMSPAR for mark and space.
#include "platform/termios2settings.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

#include "platform/linesettings.h"

namespace talyx::platform {

namespace {

struct BaudConstant {
  uint32_t Rate;
  tcflag_t Code;
};

constexpr BaudConstant kBaudConstants[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

// Both speed fields of c_cflag: the output speed and, IBSHIFT above it, the input speed
// (0 there means "same as output").
constexpr tcflag_t kAllBaudBits = CBAUD | (CBAUD << IBSHIFT);

int GetTermios(int descriptor, termios2& t) {
  return ioctl(descriptor, TCGETS2, &t) == 0 ? 0 : errno;
}

int SetTermios(int descriptor, const termios2& t) {
  return ioctl(descriptor, TCSETS2, &t) == 0 ? 0 : errno;
}

uint32_t DecodeRate(const termios2& t) {
  const tcflag_t code = t.c_cflag & CBAUD;
  if (code == BOTHER) return t.c_ospeed;
  for (const BaudConstant& constant : kBaudConstants) {
    if (constant.Code == code) return constant.Rate;
  }
  // B0 (hang up) or a code this table does not know: the speed field is the kernel's own word.
  return t.c_ospeed;
}

void EncodeRate(termios2& t, uint32_t rate) {
  t.c_cflag &= ~kAllBaudBits;
  for (const BaudConstant& constant : kBaudConstants) {
    if (constant.Rate == rate) {
      t.c_cflag |= constant.Code;
      t.c_ispeed = t.c_ospeed = rate;
      return;
    }
  }
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  t.c_ispeed = t.c_ospeed = rate;
}

tcflag_t SizeBits(uint8_t byteSize) {
  switch (byteSize) {
    case 5:
      return CS5;
    case 6:
      return CS6;
    case 7:
      return CS7;
    default:
      return CS8;
  }
}

uint8_t ByteSizeOf(tcflag_t cflag) {
  switch (cflag & CSIZE) {
    case CS5:
      return 5;
    case CS6:
      return 6;
    case CS7:
      return 7;
    default:
      return 8;
  }
}

tcflag_t ParityBits(uint8_t parity) {
  switch (parity) {
    case OddParity:
      return PARENB | PARODD;
    case EvenParity:
      return PARENB;
    case MarkParity:
      return PARENB | CMSPAR | PARODD;
    case SpaceParity:
      return PARENB | CMSPAR;
    default:
      return 0;
  }
}

uint8_t ParityOf(tcflag_t cflag) {
  if (!(cflag & PARENB)) return NoParity;
  const bool odd = cflag & PARODD;
  if (cflag & CMSPAR) return odd ? MarkParity : SpaceParity;
  return odd ? OddParity : EvenParity;
}

}  // namespace

int MakeTermiosRaw(int descriptor) {
  termios2 t{};
  if (int err = GetTermios(descriptor, t)) return err;
  t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXANY | INPCK |
                 IGNPAR | IUCLC | IMAXBEL);
  t.c_oflag &= ~OPOST;
  t.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag |= CREAD | CLOCAL;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  return SetTermios(descriptor, t);
}

int ReadTermiosLine(int descriptor, TermiosLine& line) {
  termios2 t{};
  if (int err = GetTermios(descriptor, t)) return err;
  line.BaudRate = DecodeRate(t);
  line.Parity = ParityOf(t.c_cflag);
  line.ByteSize = ByteSizeOf(t.c_cflag);
  line.TwoStopBits = t.c_cflag & CSTOPB;
  line.HardwareFlow = t.c_cflag & CRTSCTS;
  line.OutX = t.c_iflag & IXON;
  line.InX = t.c_iflag & IXOFF;
  line.XonChar = t.c_cc[VSTART];
  line.XoffChar = t.c_cc[VSTOP];
  return 0;
}

int WriteTermiosLine(int descriptor, const TermiosLine& line) {
  termios2 t{};
  if (int err = GetTermios(descriptor, t)) return err;
  EncodeRate(t, line.BaudRate);
  t.c_cflag &= ~(PARENB | PARODD | CMSPAR | CSIZE | CSTOPB | CRTSCTS);
  t.c_cflag |= ParityBits(line.Parity) | SizeBits(line.ByteSize);
  if (line.TwoStopBits) t.c_cflag |= CSTOPB;
  if (line.HardwareFlow) t.c_cflag |= CRTSCTS;
  t.c_iflag &= ~(IXON | IXOFF);
  if (line.OutX) t.c_iflag |= IXON;
  if (line.InX) t.c_iflag |= IXOFF;
  t.c_cc[VSTART] = line.XonChar;
  t.c_cc[VSTOP] = line.XoffChar;
  return SetTermios(descriptor, t);
}

}  // namespace talyx::platform
