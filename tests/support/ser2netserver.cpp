// Ser2netServer: configuration, start, readiness from /proc/net/tcp, stop by pid.
#include "support/ser2netserver.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace talyx::testing {

namespace {

bool Listening(int port) {
  std::ifstream table("/proc/net/tcp");
  std::string line;
  char wanted[16];
  std::snprintf(wanted, sizeof wanted, ":%04X", port);
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (state == "0A" && local.size() > 5 && local.substr(local.size() - 5) == wanted) return true;
  }
  return false;
}

}  // namespace

int FreeTcpPort() {
  const int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  int port = 0;
  if (bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port = ntohs(address.sin_port);
  }
  close(probe);
  return port;
}

Ser2netServer::Ser2netServer(const std::string& accepter, const std::string& device, int port,
                             const std::string& options)
    : telnet_(accepter.find("telnet") != std::string::npos), port_(port ? port : FreeTcpPort()) {
  char folder[] = "/tmp/talyx-ser2net-XXXXXX";
  if (mkdtemp(folder) == nullptr) {
    ADD_FAILURE() << "no folder for the ser2net configuration";
    return;
  }
  folder_ = folder;
  const std::string config = folder_ + "/ser2net.yaml";
  {
    std::ofstream out(config);
    out << "connection: &line\n"
        << "    accepter: " << accepter << ",127.0.0.1," << port_ << "\n"
        << "    connector: serialdev," << device << ",9600n81,local\n"
        << "    options:\n"
        << "        kickolduser: false\n";
    std::istringstream extra(options);
    for (std::string line; std::getline(extra, line);) out << "        " << line << "\n";
  }
  const std::string pidFile = folder_ + "/ser2net.pid";
  const char* argv[] = {"ser2net", "-n", "-c", config.c_str(), "-P", pidFile.c_str(), nullptr};
  pid_t pid = -1;
  if (posix_spawnp(&pid, "ser2net", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
    ADD_FAILURE() << "ser2net could not be started: is the ser2net package installed?";
    return;
  }
  pid_ = pid;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!Listening(port_)) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      ADD_FAILURE() << "ser2net ended at once (exit status " << status << ")";
      return;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "ser2net does not listen on port " << port_;
      Kill();
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

Ser2netServer::~Ser2netServer() {
  Kill();
  if (!folder_.empty()) std::filesystem::remove_all(folder_);
}

std::string Ser2netServer::Value() const {
  return (telnet_ ? "rfc2217://127.0.0.1:" : "tcp://127.0.0.1:") + std::to_string(port_);
}

void Ser2netServer::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

}  // namespace talyx::testing
