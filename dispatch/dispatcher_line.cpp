// TBaseDispatcher's line operations: line settings, DTR/RTS, modem status, line errors, flow
// control, options and the output drain wait.
#include <algorithm>

#include "dispatch/dispatcher.h"
#include "platform/clock.h"

namespace talyx {

namespace {

using platform::LineSettings;

constexpr int32_t KeepBaud = 0;
constexpr uint8_t KeepParity = 5;
constexpr uint8_t KeepDataBits = 9;
constexpr uint8_t KeepStopBits = 3;

// The four values SetLine compares and applies.
struct LineValues {
  uint32_t BaudRate;
  uint8_t Parity;
  uint8_t ByteSize;
  uint8_t StopBits;  // the device value: OneStopBit, One5StopBits or TwoStopBits

  bool operator==(const LineValues&) const = default;
};

LineValues CurrentValues(const LineSettings& settings) {
  return {settings.BaudRate, settings.Parity, settings.ByteSize, settings.StopBits};
}

// SetLine's arguments against the current settings: the keep values take the current value;
// stop bits 0 count as 1 and anything above 2 (but 3) as 2; five data bits always go with one
// and a half stop bits.
LineValues NormaliseLine(const LineSettings& current, int32_t baud, uint8_t parity,
                         uint8_t dataBits, uint8_t stopBits) {
  LineValues values = CurrentValues(current);
  if (baud != KeepBaud) values.BaudRate = static_cast<uint32_t>(baud);
  if (parity != KeepParity) values.Parity = parity;
  if (dataBits != KeepDataBits) values.ByteSize = dataBits;
  if (stopBits == KeepStopBits) {
    if (dataBits == 5) values.StopBits = platform::One5StopBits;
  } else if (values.ByteSize == 5) {
    values.StopBits = platform::One5StopBits;
  } else {
    const uint8_t count = stopBits == 0 ? 1 : std::min<uint8_t>(stopBits, 2);
    values.StopBits = count == 1 ? platform::OneStopBit : platform::TwoStopBits;
  }
  return values;
}

// The XON/XOFF limit fields are 16 bits wide.
uint16_t Limit16(uint32_t value) {
  return static_cast<uint16_t>(std::min<uint32_t>(value, 0xFFFF));
}

constexpr uint32_t DrainPolls = 5000;
constexpr uint32_t DrainPollMs = 2;
constexpr int64_t DrainCharacters = 18;

}  // namespace

// Only the rate, parity, byte size and stop bits are compared and changed. The record's line
// flags (binary mode, parity checking, DSR sensitivity, null stripping) stay as the device
// reports them: the Linux device always runs the line raw and checks no parity of its own.
ErrorCode TBaseDispatcher::SetLine(int32_t baud, uint8_t parity, uint8_t dataBits,
                                   uint8_t stopBits) {
  // No line runs at a negative rate; 0 keeps the current one and never reaches the device.
  if (baud < 0) return ecBadArgument;
  LineValues wanted;
  {
    platform::SectionGuard guard(MainLock);
    DeviceGetState(LineSettings);
    wanted = NormaliseLine(LineSettings, baud, parity, dataBits, stopBits);
    if (wanted == CurrentValues(LineSettings)) return ecOK;
  }
  WaitOutputDrain();
  platform::SectionGuard guard(MainLock);
  DeviceGetState(LineSettings);
  LineSettings.BaudRate = wanted.BaudRate;
  LineSettings.Parity = wanted.Parity;
  LineSettings.ByteSize = wanted.ByteSize;
  LineSettings.StopBits = wanted.StopBits;
  return ApplyLineSettings();
}

ErrorCode TBaseDispatcher::GetLine(int32_t& baud, uint8_t& parity, uint8_t& dataBits,
                                   uint8_t& stopBits) {
  platform::SectionGuard guard(MainLock);
  const ErrorCode result = DeviceGetState(LineSettings);
  baud = TranslateBaud(static_cast<int32_t>(LineSettings.BaudRate));
  parity = LineSettings.Parity;
  dataBits = LineSettings.ByteSize;
  stopBits = LineSettings.StopBits != platform::OneStopBit ? 2 : 1;
  return result;
}

ErrorCode TBaseDispatcher::ApplyLineSettings() {
  platform::SectionGuard guard(MainLock);
  if (!DTRAuto) {
    LineSettings.DtrControl =
        DTRState ? platform::DtrControl::Enabled : platform::DtrControl::Disabled;
  }
  if (!RTSAuto) {
    LineSettings.RtsControl =
        RTSState ? platform::RtsControl::Enabled : platform::RtsControl::Disabled;
  }
  const ErrorCode result = DeviceSetState(LineSettings);
  LastBaud = static_cast<int32_t>(LineSettings.BaudRate);
  SetDTR(DTRState);
  if (!RS485Mode) SetRTS(RTSState);
  return result;
}

ErrorCode TBaseDispatcher::SetDTR(bool on) {
  if (DTRAuto) return 1;
  const ErrorCode result = DeviceEscape(on ? platform::EscSetDtr : platform::EscClrDtr);
  DTRState = on;
  return result < 0 ? ecBadArgument : result;
}

ErrorCode TBaseDispatcher::SetRTS(bool on) {
  if (RTSAuto) return 1;
  const ErrorCode result = DeviceEscape(on ? platform::EscSetRts : platform::EscClrRts);
  RTSState = on;
  return result < 0 ? ecBadArgument : result;
}

TComStatus TBaseDispatcher::RefreshLineErrors() {
  // DeviceErrors takes OutLock, so it runs before MainLock is taken.
  TComStatus status;
  const uint32_t errors = DeviceErrors(status);
  platform::SectionGuard guard(MainLock);
  LastError |= errors & 0x1F;
  ComStatus = status;
  return status;
}

uint8_t TBaseDispatcher::GetModemStatus(uint8_t keepMask) {
  platform::SectionGuard guard(MainLock);
  uint32_t lines = 0;
  if (Device == nullptr || Device->ModemStatus(lines) != 0) lines = 0;
  ModemStatus = (lines & 0xFF) | (ModemStatus & 0x0F);
  if (RingSeen.exchange(false)) ModemStatus |= 0x04;
  const uint8_t result = static_cast<uint8_t>(ModemStatus & 0xFF);
  ModemStatus &= keepMask;
  return result;
}

void TBaseDispatcher::RefreshModemStatus() {
  platform::SectionGuard guard(MainLock);
  const uint32_t old = ModemStatus & 0xFF;
  GetModemStatus(0xFF);
  ModemStatus |= ((ModemStatus ^ old) & 0xF0) >> 4;
}

ErrorCode TBaseDispatcher::LineErrorCode() {
  platform::SectionGuard guard(MainLock);
  ErrorCode code = 0;
  if (LastError & leRxOverflow) {
    code = 1;
  } else if (LastError & leOverrun) {
    code = 2;
  } else if (LastError & leParity) {
    code = 3;
  } else if (LastError & leFraming) {
    code = 4;
  } else if (LastError & leBreak) {
    code = 9;
  }
  if (code != 0) LastError &= ~(leRxOverflow | leOverrun | leParity | leFraming);
  return code;
}

bool TBaseDispatcher::BreakReceived() {
  platform::SectionGuard guard(MainLock);
  const bool received = (LastError & leBreak) != 0;
  LastError &= ~leBreak;
  return received;
}

ErrorCode TBaseDispatcher::SetHWFlow(uint32_t bufferFull, uint32_t bufferResume, uint32_t options) {
  if (bufferFull < bufferResume || bufferFull > InQueueSize) return ecBadArgument;
  platform::SectionGuard guard(MainLock);
  DeviceGetState(LineSettings);
  LineSettings.OutxCtsFlow = false;
  LineSettings.OutxDsrFlow = false;
  LineSettings.DtrControl = platform::DtrControl::Disabled;
  LineSettings.RtsControl = platform::RtsControl::Disabled;
  DTRAuto = false;
  RTSAuto = false;
  if (options & hwoUseDTR) {
    LineSettings.DtrControl = platform::DtrControl::Handshake;
    DTRAuto = true;
  } else if (DTRState) {
    LineSettings.DtrControl = platform::DtrControl::Enabled;
  }
  if (options & hwoUseRTS) {
    LineSettings.RtsControl = platform::RtsControl::Handshake;
    RTSAuto = true;
  } else if (RTSState) {
    LineSettings.RtsControl = platform::RtsControl::Enabled;
  }
  // Linux drivers turn an RS-485 line around themselves.
  if (RS485Mode) {
    LineSettings.RtsControl = platform::RtsControl::Toggle;
    RTSAuto = true;
  }
  LineSettings.XoffLim = Limit16(InQueueSize - bufferFull);
  LineSettings.XonLim = Limit16(bufferResume);
  if (options & hwoRequireDSR) LineSettings.OutxDsrFlow = true;
  if (options & hwoRequireCTS) LineSettings.OutxCtsFlow = true;
  return ApplyLineSettings();
}

ErrorCode TBaseDispatcher::SetSWFlow(uint32_t bufferFull, uint32_t bufferResume, uint32_t options) {
  if (bufferFull < bufferResume || bufferFull > InQueueSize) return ecBadArgument;
  platform::SectionGuard guard(MainLock);
  DeviceGetState(LineSettings);
  if (options & swoReceive) {
    LineSettings.InX = true;
    LineSettings.XoffLim = Limit16(InQueueSize - bufferFull);
    LineSettings.XonLim = Limit16(bufferResume);
    LineSettings.XonChar = 17;
    LineSettings.XoffChar = 19;
  }
  if (options & swoTransmit) {
    LineSettings.OutX = true;
    LineSettings.XonChar = 17;
    LineSettings.XoffChar = 19;
  }
  return ApplyLineSettings();
}

ErrorCode TBaseDispatcher::DisableSWFlow() {
  platform::SectionGuard guard(MainLock);
  DeviceGetState(LineSettings);
  LineSettings.InX = false;
  LineSettings.OutX = false;
  return ApplyLineSettings();
}

ErrorCode TBaseDispatcher::SetFlowChars(uint8_t xOn, uint8_t xOff) {
  platform::SectionGuard guard(MainLock);
  DeviceGetState(LineSettings);
  LineSettings.XonChar = xOn;
  LineSettings.XoffChar = xOff;
  return ApplyLineSettings();
}

ErrorCode TBaseDispatcher::GetFlowOptions(uint32_t& hwOptions, uint32_t& swOptions, uint8_t& xOn,
                                          uint8_t& xOff) {
  platform::SectionGuard guard(MainLock);
  const ErrorCode result = DeviceGetState(LineSettings);
  hwOptions = 0;
  if (LineSettings.DtrControl == platform::DtrControl::Handshake) hwOptions |= hwoUseDTR;
  if (LineSettings.RtsControl == platform::RtsControl::Handshake) hwOptions |= hwoUseRTS;
  if (LineSettings.OutxDsrFlow) hwOptions |= hwoRequireDSR;
  if (LineSettings.OutxCtsFlow) hwOptions |= hwoRequireCTS;
  swOptions = 0;
  if (LineSettings.InX) swOptions |= swoReceive;
  if (LineSettings.OutX) swOptions |= swoTransmit;
  xOn = LineSettings.XonChar;
  xOff = LineSettings.XoffChar;
  return result;
}

void TBaseDispatcher::SetOption(uint32_t bits) {
  platform::SectionGuard guard(MainLock);
  Options |= bits;
}

void TBaseDispatcher::ClearOption(uint32_t bits) {
  platform::SectionGuard guard(MainLock);
  Options &= ~bits;
}

uint32_t TBaseDispatcher::GetOptions() {
  platform::SectionGuard guard(MainLock);
  return Options;
}

bool TBaseDispatcher::OutputWaiting() {
  if (OutBuffUsed() != 0) return true;
  uint32_t driverQueue = 0;
  return Device != nullptr && Device->OutputQueue(driverQueue) == 0 && driverQueue != 0;
}

void TBaseDispatcher::WaitOutputDrain() {
  // Bytes the driver still holds would go out at the new settings as well, so the wait lasts
  // until both the output ring and the driver's queue are empty, within one bound. A device
  // whose flow control holds output back for good ends the wait at that bound.
  for (uint32_t poll = 0; poll < DrainPolls && OutputWaiting(); ++poll) {
    platform::SleepMs(DrainPollMs);
  }
  // The driver may still hold up to 18 characters in its transmitter.
  uint32_t sleepMs;
  {
    platform::SectionGuard guard(MainLock);
    DeviceGetState(LineSettings);
    sleepMs =
        DrainSleepMs(LastBaud, LineSettings.ByteSize, LineSettings.Parity, LineSettings.StopBits);
  }
  platform::SleepMs(sleepMs);
}

uint32_t TBaseDispatcher::DrainSleepMs(int32_t lastBaud, uint8_t byteSize, uint8_t parity,
                                       uint8_t stopBits) {
  const int64_t rate = TranslateBaud(lastBaud);
  // A line at rate 0 is hung up: nothing is on the wire to wait for.
  if (rate <= 0) return 0;
  const int64_t bits = int64_t{byteSize} + 2 + (parity != platform::NoParity ? 1 : 0) +
                       (stopBits != platform::OneStopBit ? 1 : 0);
  int64_t time100ns = (10'000'000 / rate) * bits * DrainCharacters;
  if (time100ns < 10'000) time100ns *= 2;
  return static_cast<uint32_t>((time100ns + 9'999) / 10'000);
}

int32_t TBaseDispatcher::TranslateBaud(int32_t rateCode) {
  // Rates of the legacy codes 0xFF10..0xFF27; 0 where a code has no rate of its own.
  static constexpr int32_t LegacyRates[] = {110,   300, 600, 1200,   2400, 4800, 9600, 14400,
                                            19200, 0,   0,   38400,  0,    0,    0,    56000,
                                            0,     0,   0,   128000, 0,    0,    0,    256000};
  if (rateCode == 0xFEFF) return 115200;
  if (rateCode >= 0xFF10 && rateCode <= 0xFF27) {
    const int32_t rate = LegacyRates[rateCode - 0xFF10];
    return rate != 0 ? rate : rateCode;
  }
  return rateCode;
}

}  // namespace talyx
