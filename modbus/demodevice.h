// DemoDeviceProvider: the built-in Modbus demo device, as the device provider of the value "demo".
//
// Principles of operation:
// - It claims exactly the value DemoDeviceName. Each open makes a line to the demo device: a
//   fresh pseudo-terminal pair whose terminal end becomes the opened device (a
//   TermiosSerialDevice that adopted it), and whose other end a simulator thread of this
//   process serves (a Modbus RTU slave at address 1, see modbus/modbussimulator.h).
// - Each line's thread ends when the line's terminal end is closed (the pseudo-terminal hangs
//   up); threads that ended are joined at the next open, the rest when the provider ends, which
//   stops them (an open line then hangs up).
// - All lines of one provider share one set of simulated registers, made with the provider, so
//   values written stay across closes and reopens for the provider's life (in the program: the
//   whole run, from its registration in main).
// - Any thread may open a line; a mutex guards the list of lines.
#pragma once

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "modbus/simulatorregisters.h"
#include "platform/deviceproviders.h"

namespace talyx::modbus {

// The port map's value for the demo device.
inline const std::string DemoDeviceName = "demo";

class DemoDeviceProvider : public platform::DeviceProvider {
 public:
  DemoDeviceProvider();
  ~DemoDeviceProvider() override;
  DemoDeviceProvider(const DemoDeviceProvider&) = delete;
  DemoDeviceProvider& operator=(const DemoDeviceProvider&) = delete;

  bool Claims(const std::string& value) const override;
  // A new line; errors: 8 when its thread or the stop descriptor could not be made, else the
  // errno of the failed pseudo-terminal call as a platform error number.
  int Open(const std::string& value, std::unique_ptr<platform::SerialDevice>& device) override;
  std::string BuiltInName() const override;
  std::string Description(const std::string& value) const override;

 private:
  struct Line {
    std::thread Thread;
    std::atomic<bool> Ended{false};
  };

  // Opens a pair, starts its simulator thread; descriptor is the terminal end in raw mode.
  int OpenLine(int& descriptor);
  // Caller holds mutex_.
  void JoinEndedLines();

  SimulatorRegisters registers_;
  const int stop_;  // readable once the provider ends: every line's thread returns
  std::mutex mutex_;
  std::list<std::unique_ptr<Line>> lines_;  // guarded by mutex_
};

}  // namespace talyx::modbus
