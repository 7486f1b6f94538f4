// Rfc2217: the telnet and COM-PORT-OPTION codec of a network serial port (client side).
//
// Principles of operation:
// - The encoder turns data and commands into the byte stream sent to a serial device server:
//   data with every 0xFF doubled, option negotiations (WILL/WONT/DO/DONT) and COM-PORT-OPTION
//   sub-negotiations, whose values are escaped the same way.
// - The decoder takes the server's byte stream in pieces of any size and separates the line's
//   data (0xFF 0xFF undoubled) from telnet commands, which it reports as events. A
//   sub-negotiation is gathered in a buffer of MaxSubnegotiation bytes: a longer one, or one a
//   stray command interrupts, is a protocol error that ends decoding for good (a hostile or
//   broken server can neither make memory grow nor slip commands into the data).
// - No I/O, no locks, no Qt: the owner of a decoder calls it from one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace talyx::platform::rfc2217 {

// Telnet commands and the options this client speaks.
inline constexpr uint8_t Iac = 255, Dont = 254, Do = 253, Wont = 252, Will = 251, Sb = 250,
                         Se = 240;
inline constexpr uint8_t OptBinary = 0, OptEcho = 1, OptSuppressGoAhead = 3, OptComPort = 44;

// COM-PORT-OPTION sub-commands, client to server; a server's answer adds ServerOffset.
inline constexpr uint8_t SetBaudrate = 1, SetDatasize = 2, SetParity = 3, SetStopsize = 4,
                         SetControl = 5, NotifyLinestate = 6, NotifyModemstate = 7,
                         FlowcontrolSuspend = 8, FlowcontrolResume = 9, SetLinestateMask = 10,
                         SetModemstateMask = 11, PurgeData = 12;
inline constexpr uint8_t ServerOffset = 100;

// SET-PARITY values, SET-STOPSIZE values.
inline constexpr uint8_t ParityNone = 1, ParityOdd = 2, ParityEven = 3, ParityMark = 4,
                         ParitySpace = 5;
inline constexpr uint8_t StopOne = 1, StopTwo = 2, StopOneAndHalf = 3;

// SET-CONTROL values.
inline constexpr uint8_t ControlNoFlow = 1, ControlXonXoff = 2, ControlHardware = 3,
                         ControlBreakOn = 5, ControlBreakOff = 6, ControlDtrOn = 8,
                         ControlDtrOff = 9, ControlRtsOn = 11, ControlRtsOff = 12,
                         ControlInboundNoFlow = 14, ControlInboundXonXoff = 15,
                         ControlInboundHardware = 16;

// PURGE-DATA values.
inline constexpr uint8_t PurgeReceive = 1, PurgeTransmit = 2;

// The line-state bits that are line errors (0x01 is "data ready", not an error), and every
// modem-state bit that is a line level (the low four are change flags).
inline constexpr uint8_t LineStateErrors = 0x02 | 0x04 | 0x08 | 0x10;
inline constexpr uint8_t ModemStateLines = 0xF0;

// The longest sub-negotiation accepted: an option byte, a sub-command and a 4-byte value, with
// room to spare for a server that adds a little.
inline constexpr size_t MaxSubnegotiation = 16;

// One command from the server.
struct Event {
  enum class Kind : uint8_t {
    OfferWill,
    RefuseWill,
    AskDo,
    RefuseDo,
    ComPort,
    Other
  } Type = Kind::Other;
  uint8_t Option = 0;   // OfferWill .. RefuseDo (the server's WILL, WONT, DO, DONT): the option
  uint8_t Command = 0;  // ComPort: the sub-command (with ServerOffset); Other: the command byte
  uint32_t Value = 0;   // ComPort: the value, big-endian, of however many bytes came (up to 4)
  uint8_t ValueSize = 0;
};

// Appends data with every 0xFF doubled.
void AppendData(std::vector<uint8_t>& out, const uint8_t* data, size_t count);
// Appends IAC verb option.
void AppendOption(std::vector<uint8_t>& out, uint8_t verb, uint8_t option);
// Appends a COM-PORT-OPTION sub-negotiation with a value of valueSize bytes (1 or 4).
void AppendComPort(std::vector<uint8_t>& out, uint8_t command, uint32_t value,
                   size_t valueSize = 1);

class Decoder {
 public:
  // Decodes count bytes: line data is appended to data, commands to events. False once the
  // stream broke the protocol (Error says how); nothing more is decoded after that.
  bool Feed(const uint8_t* bytes, size_t count, std::vector<uint8_t>& data,
            std::vector<Event>& events);
  bool Failed() const { return !error_.empty(); }
  const std::string& Error() const { return error_; }

 private:
  enum class State : uint8_t { Data, AfterIac, Verb, Sub, SubIac };
  void EndSubnegotiation(std::vector<Event>& events);

  State state_ = State::Data;
  uint8_t verb_ = 0;
  uint8_t sub_[MaxSubnegotiation] = {};
  size_t subSize_ = 0;
  std::string error_;
};

}  // namespace talyx::platform::rfc2217
