// talyx-sim as a program: on a new pseudo-terminal, a libmodbus master reads and writes through
// the printed path, also after closing and opening it again; SIGTERM ends it cleanly; with --tcp
// it answers raw RTU frames over TCP, one client after another; with --paced at a line's pace.
#include <gtest/gtest.h>
#include <modbus.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

extern char** environ;

namespace {

// Runs talyx-sim with the given arguments, its standard output on a pipe.
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    args.insert(args.begin(), TALYX_SIM_PATH);
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, TALYX_SIM_PATH, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    output_ = pipeEnds[0];
  }
  ~SimProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (output_ >= 0) close(output_);
  }

  // Standard output up to the first line break (without it), or all of it when the program
  // ends first; waits at most timeoutMs.
  std::string ReadLine(int timeoutMs = 10000) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd fd{output_, POLLIN, 0};
      if (poll(&fd, 1, 100) <= 0) continue;
      char c;
      if (read(output_, &c, 1) != 1 || c == '\n') return line;
      line += c;
    }
    return line;
  }

  // Sends SIGTERM and returns the exit status; -1 when it did not end normally.
  int Stop() {
    kill(pid_, SIGTERM);
    return Wait();
  }
  // Waits for the program's end and returns its exit status; -1 when it did not end normally.
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int output_ = -1;
};

modbus_t* Connect(const std::string& path) {
  modbus_t* master = modbus_new_rtu(path.c_str(), 19200, 'N', 8, 1);
  if (master == nullptr) return nullptr;
  modbus_set_slave(master, 1);
  modbus_set_response_timeout(master, 3, 0);
  if (modbus_connect(master) != 0) {
    modbus_free(master);
    return nullptr;
  }
  return master;
}

void Disconnect(modbus_t* master) {
  modbus_close(master);
  modbus_free(master);
}

TEST(TalyxSim, ServesAMasterOnItsPseudoTerminalAcrossReconnects) {
  SimProcess sim({});
  const std::string path = sim.ReadLine();
  ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;

  modbus_t* master = Connect(path);
  ASSERT_NE(master, nullptr) << modbus_strerror(errno);
  uint16_t values[3] = {};
  ASSERT_EQ(modbus_read_registers(master, 10, 3, values), 3) << modbus_strerror(errno);
  EXPECT_EQ(values[0], 110);
  EXPECT_EQ(values[2], 130);
  ASSERT_EQ(modbus_write_register(master, 11, 4242), 1) << modbus_strerror(errno);
  Disconnect(master);

  master = Connect(path);
  ASSERT_NE(master, nullptr) << modbus_strerror(errno);
  ASSERT_EQ(modbus_read_registers(master, 11, 1, values), 1) << modbus_strerror(errno);
  EXPECT_EQ(values[0], 4242);
  ASSERT_EQ(modbus_read_input_registers(master, 98, 1, values), 1);
  EXPECT_EQ(values[0], 1098);
  Disconnect(master);

  EXPECT_EQ(sim.Stop(), 0);
}

// --paced answers as a 9600 baud line carries the exchange: the 8-byte request, 3.5 characters,
// then the 7-byte reply a character at a time; a pseudo-terminal alone would take microseconds.
TEST(TalyxSim, PacedRepliesComeNoSoonerThanTheLineCarriesThem) {
  SimProcess sim({"--paced", "--baud", "9600"});
  const std::string path = sim.ReadLine();
  ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
  modbus_t* master = Connect(path);
  ASSERT_NE(master, nullptr) << modbus_strerror(errno);

  uint16_t value = 0;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(modbus_read_registers(master, 0, 1, &value), 1) << modbus_strerror(errno);
  const auto took = std::chrono::steady_clock::now() - start;
  Disconnect(master);
  EXPECT_EQ(value, 10);
  const double characterUs = 10 * 1e6 / 9600;  // start, 8 data bits, stop
  const double tookUs = std::chrono::duration<double, std::micro>(took).count();
  EXPECT_GE(tookUs, (8 + 3.5 + 7) * characterUs);
  EXPECT_EQ(sim.Stop(), 0);
}

// CRC-16/MODBUS, bit by bit.
uint16_t Crc(const uint8_t* data, size_t size) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

// A client connected to 127.0.0.1:port; -1 when none could be.
int ConnectTcp(int port) {
  const int client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(client);
    return -1;
  }
  return client;
}

// The reply to a read of 10 holding registers from 0, or what came of it in 5 s.
std::vector<uint8_t> ReadTenRegisters(int client) {
  const uint8_t request[] = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD};
  if (send(client, request, sizeof request, 0) != sizeof request) return {};
  std::vector<uint8_t> reply;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (reply.size() < 25 && std::chrono::steady_clock::now() < deadline) {
    pollfd fd{client, POLLIN, 0};
    if (poll(&fd, 1, 100) <= 0) continue;
    uint8_t buffer[64];
    const ssize_t n = recv(client, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    reply.insert(reply.end(), buffer, buffer + n);
  }
  return reply;
}

TEST(TalyxSim, ServesRawRtuOverTcpToOneClientAfterAnother) {
  // A port nobody listens on now: bound once, then given up.
  const int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size), 0);
  const int port = ntohs(address.sin_port);
  close(probe);

  SimProcess sim({"--tcp", std::to_string(port)});
  EXPECT_EQ(sim.ReadLine(), "listening on 127.0.0.1:" + std::to_string(port));
  for (int round = 0; round < 2; ++round) {
    const int client = ConnectTcp(port);
    ASSERT_GE(client, 0);
    const std::vector<uint8_t> reply = ReadTenRegisters(client);
    close(client);
    ASSERT_EQ(reply.size(), 25u);
    EXPECT_EQ(reply[0], 0x01);
    EXPECT_EQ(reply[1], 0x03);
    EXPECT_EQ(reply[2], 20);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(reply[3 + 2 * i] << 8 | reply[4 + 2 * i], 10 * (i + 1));
    EXPECT_EQ(Crc(reply.data(), 23), reply[23] | reply[24] << 8);
  }
  EXPECT_EQ(sim.Stop(), 0);
}

}  // namespace
