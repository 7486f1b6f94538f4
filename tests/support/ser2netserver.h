// Ser2netServer: a ser2net of a test's own, serving one device on a free port of 127.0.0.1.
//
// It writes its own configuration into a fresh folder, starts `ser2net -n -c FILE -P PIDFILE`
// and waits until the port listens (read from /proc/net/tcp: a trial connect would make ser2net
// open the device). It stops the server by its pid (Kill: at once, as a crash would). A missing
// ser2net fails the test; it never skips.
#pragma once

#include <sys/types.h>

#include <string>

namespace talyx::testing {

// A TCP port of 127.0.0.1 nobody listens on now.
int FreeTcpPort();

class Ser2netServer {
 public:
  // accepter: "tcp" or "telnet(rfc2217),tcp"; device: the path ser2net serves; options: extra
  // lines of its "options:" block (each "name: value").
  Ser2netServer(const std::string& accepter, const std::string& device, int port = 0,
                const std::string& options = "");
  ~Ser2netServer();
  Ser2netServer(const Ser2netServer&) = delete;
  Ser2netServer& operator=(const Ser2netServer&) = delete;

  bool Running() const { return pid_ > 0; }
  int Port() const { return port_; }
  // "tcp://127.0.0.1:PORT" or "rfc2217://127.0.0.1:PORT".
  std::string Value() const;
  // Ends the server with SIGKILL and waits for it.
  void Kill();

 private:
  bool telnet_ = false;
  int port_ = 0;
  pid_t pid_ = -1;
  std::string folder_;
};

}  // namespace talyx::testing
