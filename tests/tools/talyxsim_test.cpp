// talyx-sim as a program: on a new pseudo-terminal, a libmodbus master reads and writes through
// the printed path, also after closing and opening it again; SIGTERM ends it cleanly.
#include <gtest/gtest.h>
#include <modbus.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
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

}  // namespace
