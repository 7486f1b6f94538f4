// The register poller's definitions: rows of read requests on a cycle, the registers each row
// names, the requests they make and the values their replies give.
//
// Principles:
// - A row is one read request: slave 1-247, function 01/02/03/04, a start address and a count
//   within the protocol's limits (2000 bits, 125 registers), asked every PeriodMs (10 or more)
//   while Enabled. Addresses are protocol addresses (0-65535), as sent in the request.
// - A row's registers name what it reads: each has an address inside the row (a 32-bit format
//   takes that address and the next), a register format of the options dialog's list, a scale
//   and an offset (value = raw * Scale + Offset) and a unit. For 01 and 02 each register is one
//   bit (format and word order do not apply; the raw value is 0 or 1). A row may read addresses
//   that no register names: they are read, not shown by name.
// - Writes go to holding registers (03 rows) and coils (01 rows) only: 06 for one 16-bit
//   register, 16 for a 32-bit format, 05 for a coil; a row with MultipleWrites uses 16 and 15
//   for every write, for devices without 06 and 05.
// - Pure functions, free of Qt (the poller's window, log and tests share them); any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "modbus/rtudecoder.h"
#include "text/registerformat.h"

namespace talyx::app {

enum class PollFunction : uint8_t {
  ReadCoils = 0x01,
  ReadDiscreteInputs = 0x02,
  ReadHoldingRegisters = 0x03,
  ReadInputRegisters = 0x04,
};

inline constexpr uint16_t MaxReadBits = 2000;
inline constexpr uint16_t MaxReadRegisters = 125;
inline constexpr uint32_t MinPollPeriodMs = 10;
inline constexpr uint8_t MinSlaveAddress = 1;
inline constexpr uint8_t MaxSlaveAddress = 247;

struct PollRegister {
  std::string Name;
  uint16_t Address = 0;
  formats::TRegisterFormat Format = formats::TRegisterFormat::rfU16;
  double Scale = 1.0;
  double Offset = 0.0;
  std::string Unit;

  bool operator==(const PollRegister&) const = default;
};

struct PollRow {
  uint8_t Slave = 1;
  PollFunction Function = PollFunction::ReadHoldingRegisters;
  uint16_t Start = 0;
  uint16_t Count = 1;
  uint32_t PeriodMs = 1000;
  bool Enabled = true;
  bool MultipleWrites = false;  // writes always by 15/16
  std::vector<PollRegister> Registers;

  bool operator==(const PollRow&) const = default;
};

struct PollSet {
  std::vector<PollRow> Rows;

  bool operator==(const PollSet&) const = default;
};

// What is wrong with a row, in the order checked; rpOk when nothing.
enum class PollRowProblem : uint8_t {
  rpOk,
  rpSlave,          // not 1-247
  rpCount,          // 0, or more than 2000 bits / 125 registers
  rpRange,          // start + count passes 65536
  rpPeriod,         // below MinPollPeriodMs
  rpRegisterRange,  // a register (or the second word of a 32-bit one) outside the row
};
PollRowProblem CheckPollRow(const PollRow& row);

// Registers (of 03 and 04) a register's format takes: 1 or 2.
size_t RegisterWidth(const PollRegister& reg, PollFunction function);

// The read request of a row, with its CRC.
std::vector<uint8_t> ReadRequest(const PollRow& row);

// One register's value out of a reply.
struct PollValue {
  bool Valid = false;  // the reply carried it
  double Value = 0;    // raw * Scale + Offset
  std::string Text;    // Value as shown: the register format's text when Scale is 1 and Offset 0,
                       // else the scaled number to 15 significant digits ("230.1" for 2301 * 0.1,
                       // "NaN", "+Inf", "-Inf"); empty when not Valid
};

// The values of a row's registers, in the order of row.Registers, from its decoded reply (a
// well-formed response with a good CRC to the row's request; anything else gives values that
// are not Valid).
std::vector<PollValue> RowValues(const PollRow& row, const modbus::DecodedFrame& reply);

// The write request that puts `value` (in the register's format, scale and offset: raw =
// (value - Offset) / Scale, rounded to the nearest integer for integer formats) into register
// `index` of `row`, with its CRC; empty when the row cannot be written (02, 04) or the value does
// not fit the format. A coil takes 0 or 1.
std::vector<uint8_t> WriteRequest(const PollRow& row, size_t index, double value);

}  // namespace talyx::app
