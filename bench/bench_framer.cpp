// bench_framer: how many Modbus RTU request/response pairs the framer, decoder and pairing handle
// per second on one core, against what a saturated 921600 baud line carries.
//
// Usage: bench_framer [pairs]   (default 1000000)
//
// The line: reads of 10 holding registers from addresses 1 to 32 (an 8-byte request and a
// 25-byte reply, 33 bytes a pair), back to back at 921600 baud, 8N1: 2,792 pairs a second. Each
// byte is given with the time it would arrive. Two runs: a passive watcher that receives both
// requests and replies, and a master that sends the requests and receives the replies.
#include <time.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "modbus/modbuscrc.h"
#include "modbus/rtumonitor.h"

namespace {

namespace modbus = talyx::modbus;

constexpr size_t PoolPairs = 1024;
constexpr size_t PairBytes = 33;
const modbus::LineFormat Line{921600, 8, false, modbus::StopBits::One};

std::vector<uint8_t> WithCrc(std::vector<uint8_t> body) {
  const uint16_t crc = modbus::ModbusCrc(body.data(), body.size());
  body.push_back(static_cast<uint8_t>(crc & 0xFF));
  body.push_back(static_cast<uint8_t>(crc >> 8));
  return body;
}

// PoolPairs pairs, each its request then its reply, with register values that vary.
std::vector<uint8_t> MakePool() {
  std::vector<uint8_t> pool;
  uint32_t value = 12345;
  for (size_t i = 0; i < PoolPairs; ++i) {
    const auto address = static_cast<uint8_t>(1 + i % 32);
    const auto start = static_cast<uint8_t>(i % 200);
    const std::vector<uint8_t> request = WithCrc({address, 0x03, 0x00, start, 0x00, 0x0A});
    std::vector<uint8_t> reply = {address, 0x03, 20};
    for (int r = 0; r < 20; ++r) {
      value = value * 1103515245u + 12345u;
      reply.push_back(static_cast<uint8_t>(value >> 16));
    }
    reply = WithCrc(reply);
    pool.insert(pool.end(), request.begin(), request.end());
    pool.insert(pool.end(), reply.begin(), reply.end());
  }
  return pool;
}

double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

struct Run {
  double Seconds = 0;
  double CpuSeconds = 0;
  size_t Frames = 0;
  size_t Paired = 0;
};

Run Measure(const std::vector<uint8_t>& pool, size_t pairs, bool master) {
  modbus::RtuMonitor monitor(Line);
  // A character of 10 bits at 921600 baud lasts 10.85 µs: times advance by 10 and 11 in turn.
  uint64_t now = 1'000'000;
  Run run;
  const auto start = std::chrono::steady_clock::now();
  const double cpuStart = ThreadCpuSeconds();
  for (size_t pair = 0; pair < pairs; ++pair) {
    const uint8_t* bytes = pool.data() + (pair % PoolPairs) * PairBytes;
    if (master) {
      monitor.Sent(bytes, 8, now);
      now += 87;
    } else {
      for (size_t i = 0; i < 8; ++i) monitor.Received(bytes[i], now += 10 + (i & 1));
    }
    for (size_t i = 8; i < PairBytes; ++i) monitor.Received(bytes[i], now += 10 + (i & 1));
    if (pair % 256 == 255) {
      for (const modbus::RtuEvent& event : monitor.Events()) {
        ++run.Frames;
        if (event.PairSeq != 0) ++run.Paired;
      }
      monitor.ClearEvents();
    }
  }
  monitor.Idle(now + 10'000'000);
  for (const modbus::RtuEvent& event : monitor.Events()) {
    if (event.Kind != modbus::RtuEventKind::Frame) continue;
    ++run.Frames;
    if (event.PairSeq != 0) ++run.Paired;
  }
  run.CpuSeconds = ThreadCpuSeconds() - cpuStart;
  run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t pairs = argc > 1 ? static_cast<size_t>(std::max(1L, std::atol(argv[1]))) : 1000000;
  const std::vector<uint8_t> pool = MakePool();
  const double linePairs = 921600.0 / 10.0 / PairBytes;
  std::printf(
      "bench_framer: %zu pairs of a read of 10 holding registers (8 + 25 bytes), back to back "
      "at 921600 baud 8N1 (%.0f pairs/s on the line), through RtuMonitor (framing, decoding, "
      "pairing) on one core\n",
      pairs, linePairs);
  bool met = true;
  for (const bool master : {false, true}) {
    const Run run = Measure(pool, pairs, master);
    const double perSecond = static_cast<double>(pairs) / run.CpuSeconds;
    const bool right = run.Frames == 2 * pairs && run.Paired == pairs;
    met = met && right && perSecond >= 100 * linePairs;
    std::printf(
        "  %-41s %.2f s (CPU %.2f s), %.0f pairs/s = %.0f frames/s = %.0f times the line\n",
        master ? "master (requests sent, replies received):" : "passive watcher (all received):",
        run.Seconds, run.CpuSeconds, perSecond, 2 * perSecond, perSecond / linePairs);
    std::printf("  %-41s frames %zu of %zu, replies paired %zu of %zu\n", "", run.Frames, 2 * pairs,
                run.Paired, pairs);
  }
  std::printf(
      "  pairs/s by CPU time of the feeding thread; target >= 100 times the line (%.0f pairs/s), "
      "every frame cut and paired: %s\n",
      100 * linePairs, met ? "met" : "NOT met");
  return 0;
}
