// ReadReceivedRecords: a capture file's received records.
#include "capture/pcapreader.h"

#include "capture/pcapformat.h"

namespace talyx::capture {

namespace {

constexpr uint32_t PcapMicrosecondMagic = 0xA1B2C3D4;

uint32_t Little32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t Big16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

uint32_t Big32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1] << 16 | p[2] << 8 | p[3]);
}

// The record's payload after its tags, when its direction tag says received.
bool ReceivedPayload(const uint8_t* data, size_t length, std::vector<uint8_t>& payload) {
  size_t at = 0;
  bool received = false;
  while (at + 4 <= length) {
    const uint16_t tag = Big16(data + at);
    const uint16_t size = Big16(data + at + 2);
    at += 4;
    if (tag == TagEnd) {
      if (received) payload.assign(data + at, data + length);
      return received;
    }
    if (size > length - at) return false;
    if (tag == TagDirection && size == 4) received = Big32(data + at) == DirectionReceived;
    at += size;
  }
  return false;
}

}  // namespace

bool ReadReceivedRecords(const uint8_t* data, size_t size, std::vector<ReceivedRecord>& records,
                         std::string& error) {
  if (size < PcapFileHeaderSize) {
    error = "not a pcap file";
    return false;
  }
  const uint32_t magic = Little32(data);
  if ((magic != PcapNanosecondMagic && magic != PcapMicrosecondMagic) ||
      Little32(data + 20) != LinkTypeUpperPdu) {
    error = "not a capture of exported PDUs in little-endian pcap";
    return false;
  }
  const uint64_t fractionNs = magic == PcapNanosecondMagic ? 1 : 1000;
  size_t at = PcapFileHeaderSize;
  while (size - at >= PcapRecordHeaderSize) {
    const uint64_t seconds = Little32(data + at);
    const uint64_t fraction = Little32(data + at + 4);
    const uint32_t length = Little32(data + at + 8);
    at += PcapRecordHeaderSize;
    if (length > size - at) break;  // a record cut short ends the capture
    ReceivedRecord record;
    record.TimeNs = seconds * 1'000'000'000 + fraction * fractionNs;
    if (ReceivedPayload(data + at, length, record.Bytes)) records.push_back(std::move(record));
    at += length;
  }
  return true;
}

}  // namespace talyx::capture
