// PtyPair: a pseudo-terminal pair for tests (the test plays the far end on the master), and
// ScopedPortMap, which replaces the process-wide port map for the length of a test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/portmap.h"

namespace talyx::testing {

class PtyPair {
 public:
  // Opens the pair (the master non-blocking) and puts the slave into raw mode, so bytes pass
  // both ways unchanged. The test fails at once (ADD_FAILURE) when openpty is not possible.
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool Valid() const { return master_ >= 0; }
  // The device path of the slave (the side the code under test opens).
  const std::string& SlavePath() const { return slavePath_; }
  int Master() const { return master_; }
  // The slave descriptor openpty gave; -1 after TakeSlave or CloseSlave.
  int Slave() const { return slave_; }
  // Hands the slave descriptor over (for Adopt); the pair no longer closes it.
  int TakeSlave();
  // Closes the pair's own slave descriptor, so that only the code under test holds the slave.
  void CloseSlave();
  // Closes the master: to the slave side the device has gone.
  void CloseMaster();

  // Writes all bytes to the master (the far end sends). False when the master refused.
  bool Send(const std::vector<uint8_t>& bytes);
  bool Send(const std::string& text);
  // Reads from the master until count bytes came or timeoutMs passed; returns what came.
  std::vector<uint8_t> Receive(size_t count, int timeoutMs = 5000);

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

// Replaces the whole process-wide port map with one that lists only the given numbers, and puts
// the previous map back when it ends. Numbers it does not list have no device.
class ScopedPortMap {
 public:
  explicit ScopedPortMap(std::map<int, std::string> paths = {});
  ~ScopedPortMap();
  ScopedPortMap(const ScopedPortMap&) = delete;
  ScopedPortMap& operator=(const ScopedPortMap&) = delete;

 private:
  platform::PortMap previous_;
};

}  // namespace talyx::testing
