// Fuzz target: the capture reader behind talyx-sim --replay, over any bytes as a capture file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "capture/pcapreader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<talyx::capture::ReceivedRecord> records;
  std::string error;
  talyx::capture::ReadReceivedRecords(data, size, records, error);
  return 0;
}
