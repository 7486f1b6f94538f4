// SimulatorRegisters: the simulated slave's 100 holding and 100 input registers.
//
// Principles of operation:
// - Holding register i starts at 10 * (i + 1) (10, 20, ..., 1000), so a read of registers 0 and 1
//   shows 10 and 20. Writes change them for as long as this object lives.
// - Input register i holds 1000 + i and never changes, except input register 99, which counts the
//   whole seconds since this object was made (modulo 65536).
// - Several simulators may share one set (each line of the demo device has its own simulator);
//   a mutex guards the holding registers, so any thread may call any member.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <mutex>

namespace talyx::modbus {

class SimulatorRegisters {
 public:
  static constexpr int Count = 100;
  static constexpr int SecondsRegister = 99;

  SimulatorRegisters();

  static constexpr uint16_t InitialHolding(int index) {
    return static_cast<uint16_t>(10 * (index + 1));
  }
  static constexpr uint16_t FixedInput(int index) { return static_cast<uint16_t>(1000 + index); }

  // Copies count registers from start on; the caller has checked the range (0..Count).
  void ReadHolding(int start, int count, uint16_t* values) const;
  void ReadInput(int start, int count, uint16_t* values) const;
  void WriteHolding(int start, int count, const uint16_t* values);

 private:
  const std::chrono::steady_clock::time_point start_;
  mutable std::mutex mutex_;
  std::array<uint16_t, Count> holding_;  // guarded by mutex_
};

}  // namespace talyx::modbus
