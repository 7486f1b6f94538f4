// Helpers for the poller's tests: a Modbus slave paced as a real line on the far end of a
// pseudo-terminal, and a main window open on that line (or on the demo device) at 115200 baud.
#pragma once

#include <modbus/modbus.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
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

// A libmodbus RTU slave (address 1) serving the master end of a pseudo-terminal from a thread of
// its own, paced as PacedSlave is. Its tables (100 of each kind) are read and written under
// Lock.
class LibmodbusSlave {
 public:
  LibmodbusSlave(int master, uint32_t baud);
  ~LibmodbusSlave();
  LibmodbusSlave(const LibmodbusSlave&) = delete;
  LibmodbusSlave& operator=(const LibmodbusSlave&) = delete;

  std::mutex Lock;
  modbus_mapping_t* Mapping;

 private:
  void Serve();

  const uint32_t baud_;
  modbus_t* context_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A main window on COM1 at 115200 baud, open on the far end a PacedSlave or a LibmodbusSlave
// serves, or on the demo device, as far says before SetUp.
class PollerFormTest : public MainFormTest {
 protected:
  static constexpr uint32_t Baud = 115200;
  enum class Far { Paced, Libmodbus, Demo };

  void SetUp() override;
  void TearDown() override;

  PtyPair pty;
  std::unique_ptr<ScopedPortMap> map;
  std::unique_ptr<PacedSlave> slave;
  std::unique_ptr<LibmodbusSlave> libmodbus;
  std::unique_ptr<app::TMainForm> form;
  Far far = Far::Paced;
};

// A request with its CRC.
std::vector<uint8_t> WithCrc(std::vector<uint8_t> body);

}  // namespace talyx::testing
