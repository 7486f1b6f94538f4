// Helpers for the poller's tests: a Modbus slave paced as a real line on the far end of a
// pseudo-terminal, and a main window open on that line (or on the demo device) at 115200 baud.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "apptesting.h"
#include "modbus/modbussimulator.h"
#include "modbus/simulatorregisters.h"

namespace talyx::testing {

// The simulated slave (address 1, modbus/modbussimulator.h) serving the master end of a
// pseudo-terminal. A pseudo-terminal passes bytes at once, so the slave answers as a line would
// let it: after the request's characters and 3.5 more, its reply written when its own
// characters would have arrived. Replies can be corrupted (a data bit flipped) on request.
class PacedSlave {
 public:
  PacedSlave(int master, uint32_t baud);
  ~PacedSlave();
  PacedSlave(const PacedSlave&) = delete;
  PacedSlave& operator=(const PacedSlave&) = delete;

  // The next count replies go out with a wrong CRC.
  void CorruptReplies(int count) { corrupt_ = count; }
  // Requests answered or refused so far (every complete request read).
  int Requests() const { return requests_; }

  modbus::SimulatorRegisters Registers;

 private:
  void Serve();

  const int master_;
  const uint32_t baud_;
  const int stop_;
  std::atomic<int> corrupt_{0};
  std::atomic<int> requests_{0};
  std::thread thread_;
};

// A main window on COM1 at 115200 baud, open on the far end a PacedSlave serves, or on the
// demo device when UseDemoDevice is called before SetUp.
class PollerFormTest : public MainFormTest {
 protected:
  static constexpr uint32_t Baud = 115200;

  void SetUp() override;
  void TearDown() override;

  PtyPair pty;
  std::unique_ptr<ScopedPortMap> map;
  std::unique_ptr<PacedSlave> slave;
  std::unique_ptr<app::TMainForm> form;
  bool demoDevice = false;
};

// A request with its CRC.
std::vector<uint8_t> WithCrc(std::vector<uint8_t> body);

}  // namespace talyx::testing
