// The bus monitor's and the capture's own cost, without a line or a window: 60 s of a 921600 baud
// line saturated with 8-byte requests and 25-byte replies (11 registers) fed through the feed,
// the frame store, its table model and the capture writer as fast as one core takes them.
// Prints the frames kept and lost, the CPU seconds per MB of line traffic and the peak RSS.
#include <sys/resource.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/monitor/framestore.h"
#include "app/monitor/frametablemodel.h"
#include "app/monitor/monitorfeed.h"
#include "capture/capturewriter.h"
#include "modbus/modbuscrc.h"
#include "modbus/rtutiming.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes WithCrc(Bytes body) {
  const uint16_t crc = talyx::modbus::ModbusCrc(body.data(), body.size());
  body.push_back(static_cast<uint8_t>(crc & 0xFF));
  body.push_back(static_cast<uint8_t>(crc >> 8));
  return body;
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  using namespace talyx;
  const modbus::LineFormat line{921600, 8, false, modbus::StopBits::One};
  const Bytes request = WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x0B});
  Bytes body = {0x01, 0x03, 22};
  for (int i = 0; i < 22; ++i) body.push_back(static_cast<uint8_t>(i));
  const Bytes reply = WithCrc(body);
  const uint64_t silence = modbus::SilenceMicroseconds(line);
  const uint64_t exchangeUs = modbus::TransmissionMicroseconds(line, request.size()) + silence +
                              modbus::TransmissionMicroseconds(line, reply.size()) + silence;
  const uint64_t exchanges = 60'000'000 / exchangeUs;

  app::TMonitorFeed feed;
  feed.SetLine(line);
  app::TFrameStore store;
  app::TFrameTableModel model(store);
  feed.AddSink(&store);
  const std::string folder =
      (std::filesystem::temp_directory_path() / "talyx-bench-monitor").string();
  std::filesystem::remove_all(folder);
  capture::TCaptureSettings settings;
  settings.Folder = folder;
  settings.TextLog = true;
  capture::TCaptureWriter writer(settings);
  if (!writer.Start().empty()) return 1;
  struct CaptureSink : app::TMonitorSink {
    capture::TCaptureWriter* Writer;
    void OnEvents(const std::vector<modbus::RtuEvent>& events) override { Writer->Add(events, 0); }
  } sink;
  sink.Writer = &writer;
  feed.AddSink(&sink);
  const auto hook = feed.SentHook();

  const double cpuStart = CpuSeconds();
  const auto wallStart = std::chrono::steady_clock::now();
  uint64_t now = 1'000'000;
  std::string received(reply.begin(), reply.end());
  std::vector<uint64_t> times(reply.size());
  for (uint64_t i = 0; i < exchanges; ++i) {
    hook(request.data(), request.size(), now);
    const uint64_t start = now + modbus::TransmissionMicroseconds(line, request.size()) + silence;
    for (size_t b = 0; b < reply.size(); ++b) {
      times[b] = start + modbus::TransmissionMicroseconds(line, b + 1);
    }
    feed.Received(received, times);
    now += exchangeUs;
    if (i % 64 == 0) feed.Idle(now);
  }
  feed.Idle(now + 10'000'000);
  writer.Stop();
  const double cpu = CpuSeconds() - cpuStart;
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();

  const double megabytes = static_cast<double>(exchanges * (request.size() + reply.size())) / 1e6;
  const uint64_t expected = exchanges * 2;
  uint64_t captured = 0;
  for (const std::string& file : writer.Files()) {
    if (file.ends_with(".txt")) {
      std::ifstream in(file);
      captured += static_cast<uint64_t>(
          std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n'));
    }
  }
  std::printf(
      "bench_monitor: 60 s of 921600 baud, %llu exchanges (8-byte request, 25-byte reply)\n",
      static_cast<unsigned long long>(exchanges));
  std::printf(
      "  frames kept by the monitor: %llu of %llu (dropped %llu), rows %d, unanswered %llu\n",
      static_cast<unsigned long long>(store.Counters().Frames),
      static_cast<unsigned long long>(expected), static_cast<unsigned long long>(store.Dropped()),
      model.rowCount(), static_cast<unsigned long long>(store.Counters().Unanswered));
  std::printf("  frames in the capture's text log: %llu, failure: \"%s\"\n",
              static_cast<unsigned long long>(captured), writer.Failure().c_str());
  std::printf(
      "  %.2f MB of line traffic: %.2f CPU-s (%.3f CPU-s/MB), %.2f s wall, peak RSS %ld MB\n",
      megabytes, cpu, cpu / megabytes, wall, PeakRssKb() / 1024);
  std::filesystem::remove_all(folder);
  return captured == expected && store.Counters().Frames == expected ? 0 : 1;
}
