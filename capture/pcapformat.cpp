// The capture file's byte layout: pcap headers and the exported-PDU tags of each record.
#include "capture/pcapformat.h"

#include <cstring>
#include <string_view>

namespace talyx::capture {

namespace {

void Little32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void Little16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void Big16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

void Big32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void DissectorTag(std::vector<uint8_t>& out, std::string_view name) {
  const size_t padded = (name.size() + 3) & ~size_t{3};
  Big16(out, TagDissectorName);
  Big16(out, static_cast<uint16_t>(padded));
  for (size_t i = 0; i < padded; ++i) {
    out.push_back(i < name.size() ? static_cast<uint8_t>(name[i]) : uint8_t{0});
  }
}

}  // namespace

std::vector<uint8_t> PcapFileHeader() {
  std::vector<uint8_t> out;
  Little32(out, PcapNanosecondMagic);
  Little16(out, 2);  // version 2.4
  Little16(out, 4);
  Little32(out, 0);  // time zone
  Little32(out, 0);  // accuracy
  Little32(out, PcapSnapLength);
  Little32(out, LinkTypeUpperPdu);
  return out;
}

void AppendPcapRecord(std::vector<uint8_t>& out, const uint8_t* bytes, size_t count, bool sent,
                      bool frame, uint64_t wallNs) {
  std::vector<uint8_t> tags;
  DissectorTag(tags, frame ? "mbrtu" : "data");
  Big16(tags, TagDirection);
  Big16(tags, 4);
  Big32(tags, sent ? DirectionSent : DirectionReceived);
  Big16(tags, TagEnd);
  Big16(tags, 0);

  const auto length = static_cast<uint32_t>(tags.size() + count);
  Little32(out, static_cast<uint32_t>(wallNs / 1'000'000'000));
  Little32(out, static_cast<uint32_t>(wallNs % 1'000'000'000));
  Little32(out, length);
  Little32(out, length);
  out.insert(out.end(), tags.begin(), tags.end());
  out.insert(out.end(), bytes, bytes + count);
}

}  // namespace talyx::capture
