// Fuzz target of the RFC 2217 receive side: any byte stream, in pieces of any size, decodes
// within its bounds or fails for good; and any data encoded for sending decodes back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/rfc2217.h"

namespace telnet = talyx::platform::rfc2217;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte chooses the size of the pieces the stream arrives in.
  const size_t piece = data[0] + size_t{1};
  const uint8_t* stream = data + 1;
  const size_t length = size - 1;

  telnet::Decoder decoder;
  std::vector<uint8_t> decoded;
  std::vector<telnet::Event> events;
  bool failed = false;
  for (size_t at = 0; at < length; at += piece) {
    const size_t count = std::min(piece, length - at);
    const size_t before = decoded.size();
    const bool ok = decoder.Feed(stream + at, count, decoded, events);
    if (failed && (ok || decoded.size() != before)) std::abort();
    failed = failed || !ok;
  }
  if (decoded.size() > length || events.size() > length) std::abort();
  for (const telnet::Event& event : events) {
    if (event.ValueSize > 4) std::abort();
  }

  std::vector<uint8_t> encoded;
  telnet::AppendData(encoded, stream, length);
  telnet::Decoder roundTrip;
  std::vector<uint8_t> back;
  events.clear();
  if (!roundTrip.Feed(encoded.data(), encoded.size(), back, events) || !events.empty() ||
      back != std::vector<uint8_t>(stream, stream + length)) {
    std::abort();
  }
  return 0;
}
