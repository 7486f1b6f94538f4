// Fuzz target of the Modbus RTU framer, decoder and pairing fed random bytes at random times in
// both directions: every byte comes out exactly once and in order, in a frame or a raw run of
// its own direction; frames are 4 to 256 bytes, those with a valid CRC end with it and the others
// have their function's length or hold no frame with a valid CRC after their first byte; raw runs
// are at most 256 bytes; times never go back within a direction; a response is paired only with an
// earlier request of its address and function, within the timeout; the one-line text of every frame
// can be made in any register format.
//
// Input: a byte choosing the rate (9600, 19200, 115200 or 921600 baud, parity, stop bits) and
// one giving the response timeout (times 10 ms, plus 1); then operations until the end, each a
// byte of kind (taken modulo 4: 0 received bytes, 1 received bytes followed by their own CRC,
// 2 a block sent by this program, 3 an idle call), a byte of count, and per received byte its
// value and the time since the byte before (8 bits, times 40 µs); a sent block's bytes and the
// time before it (8 bits, times 100 µs); an idle call's time step (8 bits, times 500 µs).
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <unordered_map>
#include <vector>

#include "fuzz/fuzzinput.h"
#include "modbus/modbuscrc.h"
#include "modbus/rtufunctions.h"
#include "modbus/rtumonitor.h"
#include "text/modbusframetext.h"

namespace {

namespace modbus = talyx::modbus;
using modbus::Direction;
using modbus::RtuEvent;
using modbus::RtuEventKind;

constexpr std::array<uint32_t, 4> kRates = {9600, 19200, 115200, 921600};

void Check(bool holds) {
  if (!holds) std::abort();
}

// Whether a run of 4 or more bytes with a valid CRC begins after the first byte.
bool FrameAfterFirstByte(const std::vector<uint8_t>& bytes) {
  for (size_t start = 1; start + modbus::MinFrameLength <= bytes.size(); ++start) {
    for (size_t end = start + modbus::MinFrameLength; end <= bytes.size(); ++end) {
      if (modbus::ModbusCrcRegister(bytes.data() + start, end - start) == 0) return true;
    }
  }
  return false;
}

struct Side {
  std::vector<uint8_t> In;   // every byte given
  std::vector<uint8_t> Out;  // every byte handed back, frames and raw runs in order
  uint64_t LastEndUs = 0;
};

struct Checker {
  uint64_t TimeoutUs;
  Side Sides[2];
  // Seq of each request seen, with its address, function and end.
  struct Request {
    uint16_t Key;
    uint64_t EndUs;
  };
  std::unordered_map<uint64_t, Request> Requests;

  void Take(modbus::RtuMonitor& monitor, uint8_t formatChoice) {
    for (const RtuEvent& event : monitor.TakeEvents()) {
      if (event.Kind == RtuEventKind::Unanswered) {
        Check(Requests.count(event.Seq) == 1);
        continue;
      }
      Side& side = Sides[event.Dir == Direction::Sent ? 1 : 0];
      Check(event.StartUs <= event.EndUs && event.EndUs >= side.LastEndUs);
      side.LastEndUs = event.EndUs;
      side.Out.insert(side.Out.end(), event.Bytes.begin(), event.Bytes.end());
      if (event.Kind == RtuEventKind::Raw) {
        Check(!event.Bytes.empty() && event.Bytes.size() <= modbus::MaxFrameLength);
        continue;
      }
      const std::vector<uint8_t>& bytes = event.Bytes;
      Check(bytes.size() >= modbus::MinFrameLength && bytes.size() <= modbus::MaxFrameLength);
      const bool crcOk = modbus::ModbusCrcRegister(bytes.data(), bytes.size()) == 0;
      Check(event.Frame.CrcOk == crcOk);
      if (!crcOk) {
        const auto request = modbus::RequestLength(bytes.data(), bytes.size());
        const auto response = modbus::ResponseLength(bytes.data(), bytes.size());
        Check((request.Rule == modbus::LengthRule::Fixed && request.Bytes == bytes.size()) ||
              (response.Rule == modbus::LengthRule::Fixed && response.Bytes == bytes.size()) ||
              !FrameAfterFirstByte(bytes));
      }
      const auto key = static_cast<uint16_t>(event.Frame.Address << 8 | event.Frame.Function);
      if (event.Frame.Role == modbus::FrameRole::Request && !event.Echo) {
        Requests[event.Seq] = Request{key, event.EndUs};
      }
      if (event.Frame.Role == modbus::FrameRole::Response && !event.Echo && event.PairSeq != 0) {
        const auto found = Requests.find(event.PairSeq);
        Check(found != Requests.end() && found->second.Key == key && event.PairSeq < event.Seq);
        Check(event.ResponseUs <= TimeoutUs &&
              event.ResponseUs == event.EndUs - found->second.EndUs);
      }
      const auto format = static_cast<talyx::formats::TRegisterFormat>(
          formatChoice % talyx::formats::kRegisterFormatCount);
      Check(!talyx::formats::DescribeFrame(event.Frame, format).empty());
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  talyx::fuzz::FuzzInput input(data, size);
  const uint8_t lineChoice = input.Byte();
  modbus::LineFormat line;
  line.BaudRate = kRates[lineChoice % kRates.size()];
  line.Parity = (lineChoice & 0x04) != 0;
  line.StopBits = (lineChoice & 0x08) != 0 ? modbus::StopBits::Two : modbus::StopBits::One;
  const uint32_t timeoutMs = 10u * input.Byte() + 1;
  modbus::RtuMonitor monitor(line, timeoutMs);
  Checker checker{uint64_t{timeoutMs} * 1000, {}, {}};

  uint64_t receivedUs = 1'000'000;
  uint64_t sentUs = 1'000'000;
  uint64_t idleUs = 1'000'000;
  while (!input.Empty()) {
    const uint8_t kind = input.Byte() % 4;
    const uint8_t count = input.Byte();
    if (kind <= 1) {
      std::vector<uint8_t> bytes;
      std::vector<uint64_t> times;
      for (unsigned i = 0; i < count && !input.Empty(); ++i) {
        bytes.push_back(input.Byte());
        receivedUs += 40u * input.Byte();
        times.push_back(receivedUs);
      }
      if (kind == 1) {
        const uint16_t crc = modbus::ModbusCrc(bytes.data(), bytes.size());
        bytes.push_back(static_cast<uint8_t>(crc & 0xFF));
        bytes.push_back(static_cast<uint8_t>(crc >> 8));
        times.push_back(receivedUs);
        times.push_back(receivedUs);
      }
      for (size_t i = 0; i < bytes.size(); ++i) monitor.Received(bytes[i], times[i]);
      checker.Sides[0].In.insert(checker.Sides[0].In.end(), bytes.begin(), bytes.end());
    } else if (kind == 2) {
      const auto block = input.Bytes(count);
      sentUs += 100u * input.Byte();
      monitor.Sent(reinterpret_cast<const uint8_t*>(block.data()), block.size(), sentUs);
      checker.Sides[1].In.insert(checker.Sides[1].In.end(), block.begin(), block.end());
    } else {
      idleUs = std::max({idleUs, receivedUs, sentUs}) + 500u * count;
      monitor.Idle(idleUs);
    }
    checker.Take(monitor, lineChoice);
  }
  // Long after everything: whatever is held comes out.
  monitor.Idle(std::max({idleUs, receivedUs, sentUs}) + 1'000'000'000);
  checker.Take(monitor, lineChoice);
  for (const Side& side : checker.Sides) Check(side.In == side.Out);
  return 0;
}
