// SimulatorRegisters: holding registers kept under a mutex, input registers computed.
#include "modbus/simulatorregisters.h"

namespace talyx::modbus {

SimulatorRegisters::SimulatorRegisters() : start_(std::chrono::steady_clock::now()) {
  for (int i = 0; i < Count; ++i) holding_[i] = InitialHolding(i);
}

void SimulatorRegisters::ReadHolding(int start, int count, uint16_t* values) const {
  std::lock_guard lock(mutex_);
  for (int i = 0; i < count; ++i) values[i] = holding_[start + i];
}

void SimulatorRegisters::ReadInput(int start, int count, uint16_t* values) const {
  for (int i = 0; i < count; ++i) {
    const int index = start + i;
    if (index == SecondsRegister) {
      const auto elapsed = std::chrono::steady_clock::now() - start_;
      const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
      values[i] = static_cast<uint16_t>(seconds);
    } else {
      values[i] = FixedInput(index);
    }
  }
}

void SimulatorRegisters::WriteHolding(int start, int count, const uint16_t* values) {
  std::lock_guard lock(mutex_);
  for (int i = 0; i < count; ++i) holding_[start + i] = values[i];
}

}  // namespace talyx::modbus
