// The capture file's byte layout: classic pcap with nanosecond timestamps, link type 252
// (LINKTYPE_WIRESHARK_UPPER_PDU), each record led by exported-PDU tags that name the dissector
// ("mbrtu" for a frame, "data" for bytes that make none) and the direction.
//
// Principles:
// - The file header and the record headers are little-endian (the magic 0xA1B23C4D written in
//   the writer's order, which readers detect); the exported-PDU tags are big-endian, as their
//   format fixes: tag 12 (dissector name, padded with zeros to 4 bytes; the length counts the
//   padding), tag 35 (direction: a 4-byte 0 for sent, 1 for received), tag 0 (end, length 0).
// - After the tags comes the frame as it was on the wire, CRC included.
// - Pure functions: any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace talyx::capture {

inline constexpr uint32_t PcapNanosecondMagic = 0xA1B23C4D;
inline constexpr uint32_t LinkTypeUpperPdu = 252;
inline constexpr uint32_t PcapSnapLength = 65535;
inline constexpr uint16_t TagEnd = 0, TagDissectorName = 12, TagDirection = 35;
inline constexpr uint32_t DirectionSent = 0, DirectionReceived = 1;
inline constexpr size_t PcapFileHeaderSize = 24;
inline constexpr size_t PcapRecordHeaderSize = 16;

// The 24-byte file header.
std::vector<uint8_t> PcapFileHeader();

// Appends one record: its header (time in nanoseconds since the epoch), the tags and the bytes.
void AppendPcapRecord(std::vector<uint8_t>& out, const uint8_t* bytes, size_t count, bool sent,
                      bool frame, uint64_t wallNs);

}  // namespace talyx::capture
