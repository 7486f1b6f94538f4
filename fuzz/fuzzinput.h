// FuzzInput: typed values read from the front of a fuzz target's input, so that a seed can be
// written by hand (a byte of flags, then little-endian numbers, then text).
//
// Past the end of the input every number reads as 0 and every text as empty: a short input is a
// valid one, which lets the fuzzer shrink inputs freely.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace talyx::fuzz {

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : rest_(reinterpret_cast<const char*>(data), size) {}

  bool Empty() const { return rest_.empty(); }

  // An unsigned integer of sizeof(T) bytes, least significant first.
  template <typename T>
  T Integer() {
    T value = 0;
    for (size_t i = 0; i < sizeof(T) && !rest_.empty(); ++i) {
      value = static_cast<T>(value | static_cast<T>(static_cast<unsigned char>(rest_.front()))
                                         << (8 * i));
      rest_.remove_prefix(1);
    }
    return value;
  }
  uint8_t Byte() { return Integer<uint8_t>(); }

  // The next count bytes, fewer at the end.
  std::string_view Bytes(size_t count) {
    const std::string_view taken = rest_.substr(0, count);
    rest_.remove_prefix(taken.size());
    return taken;
  }
  // Everything not read yet.
  std::string_view Rest() { return Bytes(rest_.size()); }

 private:
  std::string_view rest_;
};

// A xorshift sequence the input seeds, for choices too many to take from the input one by one
// (where to cut a stream). Seed 0 counts as 1.
class FuzzSequence {
 public:
  explicit FuzzSequence(uint32_t seed) : state_(seed ? seed : 1) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }

 private:
  uint32_t state_;
};

}  // namespace talyx::fuzz
