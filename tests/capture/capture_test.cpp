// The capture to file: the pcap layout with its exported-PDU tags, tshark reading a demo session
// with every CRC and register value, rotation, the text log, and a capture that stops (queue
// full, write failed at a file-size limit) keeping its whole records.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "capture/capturewriter.h"
#include "capture/pcapformat.h"
#include "capture/pcapreader.h"
#include "modbus/modbuscrc.h"
#include "modbus/modbussimulator.h"
#include "modbus/rtumonitor.h"
#include "port/porttesting.h"

namespace talyx::capture {
namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

const char* const TsharkPath = "/usr/bin/tshark";

Bytes WithCrc(Bytes body) {
  const uint16_t crc = modbus::ModbusCrc(body.data(), body.size());
  body.push_back(static_cast<uint8_t>(crc & 0xFF));
  body.push_back(static_cast<uint8_t>(crc >> 8));
  return body;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A session with the demo slave as the bus monitor sees it: requests sent, replies received
// (one corrupted), events kept in order.
std::vector<modbus::RtuEvent> DemoSession() {
  const modbus::LineFormat line{19200, 8, false, modbus::StopBits::One};
  modbus::RtuMonitor monitor(line);
  modbus::SimulatorRegisters registers;
  modbus::ModbusSimulator slave(registers);
  std::vector<modbus::RtuEvent> events;
  uint64_t now = 1'000'000;
  const auto exchange = [&](const Bytes& request, bool corrupt) {
    monitor.Sent(request.data(), request.size(), now);
    Bytes reply = slave.Receive(request.data(), request.size());
    if (corrupt) reply[3] ^= 0x40;
    const uint64_t start = now + modbus::TransmissionMicroseconds(line, request.size()) + 5000;
    for (size_t i = 0; i < reply.size(); ++i) {
      monitor.Received(reply[i], start + modbus::TransmissionMicroseconds(line, i + 1));
    }
    now = start + 50'000;
    monitor.Idle(now);
    for (modbus::RtuEvent& event : monitor.TakeEvents()) events.push_back(std::move(event));
  };
  exchange(WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x02}), false);
  exchange(WithCrc({0x01, 0x04, 0x00, 0x05, 0x00, 0x01}), false);
  exchange(WithCrc({0x01, 0x06, 0x00, 0x01, 0x00, 0x07}), false);
  exchange(WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0xC8}), false);  // exception 03
  exchange(WithCrc({0x01, 0x03, 0x00, 0x01, 0x00, 0x01}), true);
  return events;
}

std::string RunCommand(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), n);
  pclose(pipe);
  return output;
}

class Capture : public ::testing::Test {
 protected:
  TCaptureSettings Settings() const {
    TCaptureSettings settings;
    settings.Folder = folder.File("captures");
    return settings;
  }
  // Writes the events through a writer and stops it; the files it wrote.
  std::vector<std::string> Write(const TCaptureSettings& settings,
                                 const std::vector<modbus::RtuEvent>& events) {
    TCaptureWriter writer(settings);
    EXPECT_EQ(writer.Start(), "");
    writer.Add(events, 1'700'000'000'000'000);
    writer.Stop();
    EXPECT_EQ(writer.Failure(), "");
    return writer.Files();
  }

  talyx::testing::TempFolder folder;
};

TEST_F(Capture, RecordsCarryTheDissectorAndDirectionTagsBigEndian) {
  EXPECT_EQ(PcapFileHeader(), (Bytes{0x4D, 0x3C, 0xB2, 0xA1, 2,    0,    4, 0, 0,   0, 0, 0,
                                     0,    0,    0,    0,    0xFF, 0xFF, 0, 0, 252, 0, 0, 0}));
  Bytes record;
  const Bytes frame = {0x01, 0x83, 0x02, 0xC0, 0xF1};
  AppendPcapRecord(record, frame.data(), frame.size(), false, true, 5'000'000'123);
  const Bytes expected = {
      5,    0,    0,    0,    123, 0,   0,   0,   29,  0, 0, 0, 29, 0, 0, 0,  // times, lengths
      0,    12,   0,    8,    'm', 'b', 'r', 't', 'u', 0, 0, 0,               // dissector "mbrtu"
      0,    35,   0,    4,    0,   0,   0,   1,                               // received
      0,    0,    0,    0,                                                    // end
      0x01, 0x83, 0x02, 0xC0, 0xF1};
  EXPECT_EQ(record, expected);
  record.clear();
  AppendPcapRecord(record, frame.data(), 2, true, false, 0);
  EXPECT_EQ(Bytes(record.begin() + 16, record.begin() + 36),
            (Bytes{0, 12, 0, 4, 'd', 'a', 't', 'a', 0, 35, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(Capture, TsharkReadsEveryFrameItsCrcStatusAndTheDemoValues) {
  ASSERT_TRUE(fs::exists(TsharkPath)) << "tshark is missing (Debian package tshark)";
  const std::vector<std::string> files = Write(Settings(), DemoSession());
  ASSERT_EQ(files.size(), 1u);
  const std::string output =
      RunCommand(std::string(TsharkPath) + " -r " + files[0] +
                 " -o mbrtu.crc_verification:TRUE -T fields -e modbus.func_code"
                 " -e modbus.regval_uint16 -e mbrtu.crc16.status 2>/dev/null");
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(output.substr(start, end - start));
  }
  ASSERT_EQ(lines.size(), 10u) << output;
  // Function code, register values (03/04 responses), CRC status (1 good, 0 bad).
  EXPECT_EQ(lines[0], "3\t\t1");
  EXPECT_EQ(lines[1], "3\t10,20\t1");
  EXPECT_EQ(lines[2], "4\t\t1");
  EXPECT_EQ(lines[3], "4\t1005\t1");
  EXPECT_TRUE(lines[4].starts_with("6\t") && lines[4].ends_with("\t1")) << lines[4];
  EXPECT_TRUE(lines[5].starts_with("6\t") && lines[5].ends_with("\t1")) << lines[5];
  EXPECT_EQ(lines[6], "3\t\t1");
  EXPECT_EQ(lines[7], "3\t\t1");  // the exception
  EXPECT_EQ(lines[8], "3\t\t1");
  EXPECT_TRUE(lines[9].starts_with("3\t") && lines[9].ends_with("\t0")) << lines[9];
}

TEST_F(Capture, FilesRotateAtTheSizeAndTheTextLogFollows) {
  TCaptureSettings settings = Settings();
  settings.RotateBytes = 200;
  settings.TextLog = true;
  const std::vector<modbus::RtuEvent> events = DemoSession();
  const std::vector<std::string> files = Write(settings, events);
  ASSERT_GE(files.size(), 6u);
  size_t records = 0;
  size_t lines = 0;
  for (const std::string& file : files) {
    const Bytes bytes = ReadFile(file);
    if (file.ends_with(".txt")) {
      lines += static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
      continue;
    }
    EXPECT_LE(bytes.size(), 200u) << file;
    EXPECT_TRUE(fs::path(file).filename().string().starts_with("talyx-"));
    for (size_t at = PcapFileHeaderSize; at + PcapRecordHeaderSize <= bytes.size(); ++records) {
      at += PcapRecordHeaderSize + (bytes[at + 8] | bytes[at + 9] << 8);
    }
  }
  EXPECT_EQ(records, events.size());
  EXPECT_EQ(lines, events.size());
  const Bytes first = ReadFile(files[1]);
  const std::string line(first.begin(), first.begin() + first.size());
  EXPECT_NE(line.find(" TX 01 03 00 00 00 02 C4 0B  1: Read Holding Registers request"),
            std::string::npos)
      << line;
  EXPECT_NE(fs::path(files[2]).stem().string().find("-1"), std::string::npos) << files[2];
}

TEST_F(Capture, AQueueThatWouldPassItsLimitStopsTheCapture) {
  TCaptureWriter writer(Settings(), /*queueLimit=*/600);
  ASSERT_EQ(writer.Start(), "");
  writer.Add(DemoSession(), 0);
  EXPECT_FALSE(writer.Running());
  EXPECT_NE(writer.Failure(), "");
  writer.Stop();
  EXPECT_NE(writer.Failure(), "");
  // What the queue had taken in is in the file.
  EXPECT_GT(ReadFile(writer.Files()[0]).size(), PcapFileHeaderSize);
}

TEST_F(Capture, AFailedWriteStopsTheCaptureAndKeepsTheWholeRecords) {
  TCaptureWriter writer(Settings());
  ASSERT_EQ(writer.Start(), "");
  {
    const talyx::testing::ScopedFileSizeLimit limit(300);
    writer.Add(DemoSession(), 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (writer.Running() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  EXPECT_FALSE(writer.Running());
  EXPECT_NE(writer.Failure(), "");
  writer.Stop();
  const Bytes bytes = ReadFile(writer.Files()[0]);
  EXPECT_LE(bytes.size(), 300u);
  size_t at = PcapFileHeaderSize;
  while (at + PcapRecordHeaderSize <= bytes.size()) {
    at += PcapRecordHeaderSize + (bytes[at + 8] | bytes[at + 9] << 8);
  }
  EXPECT_EQ(at, bytes.size()) << "a record cut short";
  EXPECT_GT(at, PcapFileHeaderSize);
}

TEST_F(Capture, TheReaderGivesTheReceivedRecordsAndStopsAtACutRecord) {
  const std::vector<modbus::RtuEvent> events = DemoSession();
  const std::vector<std::string> files = Write(Settings(), events);
  Bytes file = ReadFile(files.at(0));
  std::vector<ReceivedRecord> records;
  std::string error;
  ASSERT_TRUE(ReadReceivedRecords(file.data(), file.size(), records, error)) << error;
  std::vector<const modbus::RtuEvent*> received;
  for (const modbus::RtuEvent& event : events) {
    if (event.Dir == modbus::Direction::Received) received.push_back(&event);
  }
  ASSERT_EQ(records.size(), received.size());
  for (size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i].Bytes, received[i]->Bytes);
    EXPECT_EQ(records[i].TimeNs, (1'700'000'000'000'000 + received[i]->StartUs) * 1000);
  }
  file.resize(file.size() - 1);
  records.clear();
  ASSERT_TRUE(ReadReceivedRecords(file.data(), file.size(), records, error));
  EXPECT_EQ(records.size(), received.size() - 1);
  file[20] = 1;  // Ethernet
  EXPECT_FALSE(ReadReceivedRecords(file.data(), file.size(), records, error));
  EXPECT_FALSE(ReadReceivedRecords(file.data(), 23, records, error));
}

}  // namespace
}  // namespace talyx::capture
