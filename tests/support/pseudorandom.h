// PseudoRandomBytes: a fixed xorshift byte sequence, the payload of stream tests and benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace talyx::testing {

// The same seed always gives the same bytes; seed 0 counts as 1.
inline std::vector<uint8_t> PseudoRandomBytes(size_t count, uint32_t seed) {
  std::vector<uint8_t> bytes(count);
  uint32_t state = seed ? seed : 1;
  for (auto& byte : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    byte = static_cast<uint8_t>(state >> 24);
  }
  return bytes;
}

}  // namespace talyx::testing
