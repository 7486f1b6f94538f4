// bench_receive: receive throughput from a pseudo-terminal's far end to a window handler on the
// main thread, against raw read() on the same pty in the same run; the handler takes the bytes
// with GetChar, and in a second run with GetChar and each byte's read time.
//
// Usage: bench_receive [megabytes]   (default 32)
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "benchsupport.h"
#include "dispatch/devlayer.h"
#include "platform/termiosprovider.h"

using namespace talyx;
using namespace talyx::bench;

namespace {

constexpr double MB = 1e6;

double RawReadMBps(const Pty& pty, const std::vector<uint8_t>& data) {
  std::thread farEnd([&] { pty.Send(data.data(), data.size()); });
  std::vector<uint8_t> buffer(1 << 16);
  size_t got = 0;
  const auto start = std::chrono::steady_clock::now();
  while (got < data.size()) {
    const ssize_t n = read(pty.Slave, buffer.data(), buffer.size());
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  const double seconds = SecondsSince(start);
  farEnd.join();
  return static_cast<double>(got) / MB / seconds;
}

struct EngineRun {
  bool Opened = false;
  size_t Received = 0;
  size_t Wrong = 0;
  uint64_t Messages = 0;
  double Seconds = 0;
  double CpuSeconds = 0;
};

// The far end writes data into the pty while a window handler on the main thread takes it.
EngineRun RunEngine(const Pty& pty, const std::vector<uint8_t>& data, bool timed) {
  EngineRun run;
  MainLoop loop;
  TWin32Dispatcher dispatcher(nullptr);
  if (const ErrorCode result = dispatcher.OpenPort(pty.SlavePath, 115200, 0, 8, 1, 4096, 4096, 0)) {
    std::fprintf(stderr, "bench_receive: OpenPort failed with %d\n", result);
    return run;
  }
  run.Opened = true;
  const platform::WindowHandle window = platform::CreateHiddenWindow(
      "BenchReceiveWindow",
      [&](platform::WindowHandle, uint32_t msg, platform::WParam offered, platform::LParam) {
        if (msg != TriggerAvailMsg) return platform::LResult{0};
        ++run.Messages;
        for (uint32_t i = 0; i < offered; ++i) {
          uint8_t c;
          TReadTime time;
          if ((timed ? dispatcher.GetChar(c, time) : dispatcher.GetChar(c)) != ecOK) break;
          if (run.Received >= data.size() || c != data[run.Received]) ++run.Wrong;
          ++run.Received;
        }
        return platform::LResult{0};
      });
  dispatcher.RegisterWndTriggerHandler(window);
  dispatcher.UpdateHandlerFlags(1);
  dispatcher.SetAvailTriggerLength(1);

  const double cpuBefore = ProcessCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  std::thread farEnd([&] { pty.Send(data.data(), data.size()); });
  loop.RunUntil([&] { return run.Received >= data.size(); }, 120000);
  run.Seconds = SecondsSince(start);
  run.CpuSeconds = ProcessCpuSeconds() - cpuBefore;
  farEnd.join();
  dispatcher.ClosePort();
  platform::DestroyHiddenWindow(window);
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? static_cast<size_t>(std::max(1, std::atoi(argv[1]))) : 32;
  // The engine opens the pseudo-terminal by its path.
  platform::RegisterDeviceProvider(std::make_shared<platform::TermiosDeviceProvider>());
  const std::vector<uint8_t> data = PseudoRandomBytes(megabytes * 1000000, 1234);

  Pty pty;
  const double rawMBps = RawReadMBps(pty, data);
  pty.CloseSlave();  // from here the engine holds the slave alone
  std::printf(
      "bench_receive: %zu MB (10^6 bytes) of pseudo-random bytes written into a pty master by a "
      "far-end thread\n",
      megabytes);
  std::printf("  raw read() on the slave, same pty (baseline): %8.1f MB/s\n", rawMBps);

  bool met = true;
  for (const bool timed : {false, true}) {
    const EngineRun run = RunEngine(pty, data, timed);
    if (!run.Opened) return 1;
    const double engineMBps = static_cast<double>(run.Received) / MB / run.Seconds;
    const size_t lost = data.size() - std::min(run.Received, data.size());
    met = met && engineMBps >= 20.0 && lost == 0 && run.Wrong == 0;
    std::printf(
        "  engine: TWin32Dispatcher -> TriggerAvailMsg -> window procedure on the main thread, "
        "%s per byte\n",
        timed ? "GetChar with its read time" : "GetChar");
    std::printf(
        "          %8.1f MB/s (%.0f%% of raw), %.2f s, %llu messages, CPU %.2f s (%.0f%% of one "
        "core)\n",
        engineMBps, 100.0 * engineMBps / rawMBps, run.Seconds,
        static_cast<unsigned long long>(run.Messages), run.CpuSeconds,
        100.0 * run.CpuSeconds / run.Seconds);
    std::printf("          bytes received %zu of %zu; lost %zu; wrong or out of order %zu\n",
                run.Received, data.size(), lost, run.Wrong);
  }
  std::printf("  target >= 20 MB/s with nothing lost or reordered: %s\n", met ? "met" : "NOT met");
  return 0;
}
