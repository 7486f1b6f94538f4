// bench_network: a network port's throughput and round trip through ser2net on localhost,
// against the same pseudo-terminal opened locally in the same run; ser2net's chardelay on (its
// default) and off.
//
// The far end plays on the pair's master. Throughput: 4 MB written by the far end, read by the
// device as fast as it gives them. Round trip: one byte written by the device, echoed by the far
// end, read back by the device; 300 of them, median and 99th percentile.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "benchsupport.h"
#include "platform/networkserialdevice.h"
#include "platform/termiosserialdevice.h"

extern char** environ;

namespace talyx::bench {
namespace {

constexpr size_t StreamBytes = 4 << 20;
constexpr int RoundTrips = 300;

struct Figures {
  double MegabytesPerSecond = 0;
  double MedianUs = 0;
  double P99Us = 0;
};

// Waits until the device has bytes (or 5 ms passed).
void AwaitInput(platform::SerialDevice& device) {
  platform::DeviceStatus status;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(5);
  while (device.ClearErrors(status) == 0 && status.InQueue == 0 &&
         std::chrono::steady_clock::now() < until) {
    std::this_thread::yield();
  }
}

Figures Measure(platform::SerialDevice& device, const Pty& pty) {
  Figures figures;
  const std::vector<uint8_t> payload = PseudoRandomBytes(StreamBytes, 7);
  std::thread far([&] { pty.Send(payload.data(), payload.size(), 60000); });
  std::vector<uint8_t> buffer(65536);
  size_t got = 0;
  const auto start = std::chrono::steady_clock::now();
  while (got < StreamBytes && SecondsSince(start) < 60) {
    const long n = device.Read(buffer.data(), buffer.size());
    if (n < 0) break;
    if (n == 0) AwaitInput(device);
    got += static_cast<size_t>(std::max(n, 0L));
  }
  figures.MegabytesPerSecond = static_cast<double>(got) / 1e6 / SecondsSince(start);
  far.join();

  std::vector<double> times;
  for (int i = 0; i < RoundTrips; ++i) {
    const uint8_t byte = static_cast<uint8_t>(i);
    const auto sent = std::chrono::steady_clock::now();
    if (device.Write(&byte, 1).Written != 1) break;
    pollfd fd{pty.Master, POLLIN, 0};
    uint8_t echo = 0;
    if (poll(&fd, 1, 2000) != 1 || read(pty.Master, &echo, 1) != 1) break;
    if (!pty.Send(&echo, 1)) break;
    long n = 0;
    while ((n = device.Read(&echo, 1)) == 0 && SecondsSince(sent) < 2) AwaitInput(device);
    if (n != 1) break;
    times.push_back(SecondsSince(sent) * 1e6);
  }
  std::sort(times.begin(), times.end());
  if (!times.empty()) {
    figures.MedianUs = times[times.size() / 2];
    figures.P99Us = times[times.size() * 99 / 100];
  }
  return figures;
}

// A ser2net serving path with RFC 2217 on port, chardelay on or off; stopped when it ends.
class Ser2net {
 public:
  Ser2net(const std::string& path, int port, bool chardelay) {
    folder_ = std::filesystem::temp_directory_path() / ("bench-ser2net-" + std::to_string(port));
    std::filesystem::create_directories(folder_);
    const std::string config = (folder_ / "ser2net.yaml").string();
    std::ofstream(config) << "connection: &line\n    accepter: telnet(rfc2217),tcp,127.0.0.1,"
                          << port << "\n    connector: serialdev," << path
                          << ",115200n81,local\n    options:\n        chardelay: "
                          << (chardelay ? "true" : "false") << "\n";
    const std::string pidFile = (folder_ / "ser2net.pid").string();
    const char* argv[] = {"ser2net", "-n", "-c", config.c_str(), "-P", pidFile.c_str(), nullptr};
    if (posix_spawnp(&pid_, "ser2net", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
      std::fprintf(stderr, "bench_network: ser2net could not be started\n");
      std::exit(1);
    }
  }
  ~Ser2net() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    std::filesystem::remove_all(folder_);
  }

 private:
  pid_t pid_ = -1;
  std::filesystem::path folder_;
};

std::unique_ptr<platform::NetworkSerialDevice> Connect(int port) {
  const std::string value = "rfc2217://127.0.0.1:" + std::to_string(port);
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto device = std::make_unique<platform::NetworkSerialDevice>(platform::NetworkScheme::Rfc2217);
    if (device->Open(value) == 0) return device;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::fprintf(stderr, "bench_network: ser2net does not answer on %d\n", port);
  std::exit(1);
}

void Print(const char* name, const Figures& figures, const Figures& local) {
  std::printf(
      "%-34s %9.1f MB/s (%5.1f%% of local)  round trip median %8.1f us (%6.1fx)  p99 %8.1f us\n",
      name, figures.MegabytesPerSecond,
      100.0 * figures.MegabytesPerSecond / local.MegabytesPerSecond, figures.MedianUs,
      figures.MedianUs / local.MedianUs, figures.P99Us);
}

}  // namespace
}  // namespace talyx::bench

int main() {
  using namespace talyx::bench;
  Pty pty;
  Figures local;
  {
    talyx::platform::TermiosSerialDevice device;
    if (device.Open(pty.SlavePath) != 0) return 1;
    local = Measure(device, pty);
    device.Close();
    device.Release();
  }
  std::printf(
      "bench_network: %zu bytes far end to device, %d one-byte round trips; ser2net on "
      "127.0.0.1 serving the same pseudo-terminal\n",
      StreamBytes, RoundTrips);
  std::printf(
      "%-34s %9.1f MB/s                     round trip median %8.1f us          p99 %8.1f us\n",
      "local pseudo-terminal", local.MegabytesPerSecond, local.MedianUs, local.P99Us);
  const int basePort = 20000 + static_cast<int>(getpid() % 20000);
  for (const bool chardelay : {true, false}) {
    Ser2net server(pty.SlavePath, basePort + (chardelay ? 0 : 1), chardelay);
    auto device = Connect(basePort + (chardelay ? 0 : 1));
    const Figures figures = Measure(*device, pty);
    Print(chardelay ? "rfc2217 via ser2net, chardelay on" : "rfc2217 via ser2net, chardelay off",
          figures, local);
  }
  return 0;
}
