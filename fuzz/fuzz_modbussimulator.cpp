// Fuzz target of the Modbus demo slave fed hostile frames: whatever arrives, in whatever pieces
// and with silences anywhere, every reply is a whole frame of the slave's address with a good CRC
// (a read's data, a write's echo or an exception); a whole request that finds nothing gathered
// gets the reply its function's rules give; and after a silence the slave answers the next good
// request again.
//
// Input: operations until the end, each a byte of kind (0 bytes as they stand, 1 bytes followed by
// their own CRC, so that requests get past the CRC check, 2 a silence; taken modulo 3), a byte
// giving the number of bytes that follow, and those bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz/fuzzinput.h"
#include "modbus/modbuscrc.h"
#include "modbus/modbussimulator.h"

namespace {

namespace modbus = talyx::modbus;

bool IsFunction(uint8_t function) {
  return function == modbus::FnReadHolding || function == modbus::FnReadInput ||
         function == modbus::FnWriteSingle || function == modbus::FnWriteMultiple;
}

// The length of the reply frame at the front of bytes, by its function; aborts on a frame the
// slave can never send.
size_t ReplyLength(const std::vector<uint8_t>& bytes, size_t at) {
  if (bytes.size() - at < 5 || bytes[at] != modbus::SimulatorAddress) std::abort();
  const uint8_t function = bytes[at + 1];
  if ((function & 0x80) != 0) {
    const uint8_t code = bytes[at + 2];
    if (code == modbus::ExIllegalFunction) return 5;
    if (!IsFunction(function & 0x7F) ||
        (code != modbus::ExIllegalAddress && code != modbus::ExIllegalValue)) {
      std::abort();
    }
    return 5;
  }
  if (function == modbus::FnReadHolding || function == modbus::FnReadInput) {
    const uint8_t byteCount = bytes[at + 2];
    if (byteCount == 0 || byteCount % 2 != 0 || byteCount > 250) std::abort();
    return 5 + byteCount;
  }
  if (function == modbus::FnWriteSingle || function == modbus::FnWriteMultiple) return 8;
  std::abort();
}

void CheckReplies(const std::vector<uint8_t>& replies) {
  for (size_t at = 0; at < replies.size();) {
    const size_t length = ReplyLength(replies, at);
    if (length > replies.size() - at) std::abort();
    if (modbus::ModbusCrcRegister(replies.data() + at, length) != 0) std::abort();
    at += length;
  }
}

uint16_t Word(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

// The reply a whole request (with its CRC) gets from a slave with nothing gathered, by the
// function's rules: its first bytes and its length; nothing for another address or a broadcast.
// False when the request's length does not fit its function, so that it is not one request.
bool ExpectedReply(const std::vector<uint8_t>& request, std::vector<uint8_t>& head,
                   size_t& length) {
  const size_t size = request.size();
  if (size < 8) return false;
  const uint8_t address = request[0], function = request[1];
  const int start = Word(request, 2), count = Word(request, 4);
  int maxCount = 0;
  if (function == modbus::FnReadHolding || function == modbus::FnReadInput) {
    maxCount = 125;
  } else if (function == modbus::FnWriteMultiple) {
    maxCount = 123;
  } else if (function != modbus::FnWriteSingle) {
    return false;
  }
  if (size != (function == modbus::FnWriteMultiple ? 9 + size_t{request[6]} : 8)) return false;
  head.clear();
  length = 0;
  if (address != modbus::SimulatorAddress) return true;
  const auto exception = [&](uint8_t code) {
    head = {address, static_cast<uint8_t>(function | 0x80), code};
    length = 5;
    return true;
  };
  if (function == modbus::FnWriteSingle) {
    if (start >= 100) return exception(modbus::ExIllegalAddress);
    head.assign(request.begin(), request.begin() + 8);
    length = 8;
    return true;
  }
  const bool countFits = count >= 1 && count <= maxCount &&
                         (function != modbus::FnWriteMultiple || request[6] == 2 * count);
  if (!countFits) return exception(modbus::ExIllegalValue);
  if (start + count > 100) return exception(modbus::ExIllegalAddress);
  if (function == modbus::FnWriteMultiple) {
    head.assign(request.begin(), request.begin() + 6);
    length = 8;
  } else {
    head = {address, function, static_cast<uint8_t>(2 * count)};
    length = 5 + 2 * static_cast<size_t>(count);
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  talyx::fuzz::FuzzInput input(data, size);
  modbus::SimulatorRegisters registers;
  modbus::ModbusSimulator simulator(registers);

  while (!input.Empty()) {
    const uint8_t kind = input.Byte() % 3;
    const auto view = input.Bytes(input.Byte());
    std::vector<uint8_t> bytes(view.begin(), view.end());
    switch (kind) {
      case 0:
        CheckReplies(simulator.Receive(bytes.data(), bytes.size()));
        break;
      case 1: {
        const uint16_t crc = modbus::ModbusCrc(bytes.data(), bytes.size());
        bytes.push_back(static_cast<uint8_t>(crc & 0xFF));
        bytes.push_back(static_cast<uint8_t>(crc >> 8));
        const bool fresh = !simulator.AwaitsSilence();
        const std::vector<uint8_t> reply = simulator.Receive(bytes.data(), bytes.size());
        CheckReplies(reply);
        std::vector<uint8_t> head;
        size_t length = 0;
        if (fresh && ExpectedReply(bytes, head, length) &&
            (reply.size() != length || !std::equal(head.begin(), head.end(), reply.begin()))) {
          std::abort();
        }
        break;
      }
      default:
        CheckReplies(simulator.Silence());
        if (simulator.AwaitsSilence()) std::abort();
        break;
    }
  }

  // Input registers 0 and 1 hold 1000 and 1001 whatever was written before.
  CheckReplies(simulator.Silence());
  const uint8_t request[] = {0x01, 0x04, 0x00, 0x00, 0x00, 0x02, 0x71, 0xCB};
  const std::vector<uint8_t> expected = {0x01, 0x04, 0x04, 0x03, 0xE8, 0x03, 0xE9};
  std::vector<uint8_t> reply = simulator.Receive(request, sizeof request);
  if (reply.size() != expected.size() + 2 ||
      !std::equal(expected.begin(), expected.end(), reply.begin())) {
    std::abort();
  }
  CheckReplies(reply);
  return 0;
}
