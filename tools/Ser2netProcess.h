// A serial device server (ser2net) in a child process, serving one device on two loopback
// ports: a raw TCP stream and Telnet with the com-port option. The network-port tests and
// the transfer benchmark start it this way.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "files/SafeFile.h"

namespace tarvelo {

// A TCP port on the loopback address nobody listens on just now.
inline int FreeTcpPort() {
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  int port = 0;
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  close(s);
  return port;
}

// Whether something listens on the loopback port, seen without connecting: a connection
// would have the server open the device, and one that closes at once keeps it busy a while.
inline bool Listening(int port) {
  std::ifstream in("/proc/net/tcp");
  char hex[8];
  std::snprintf(hex, sizeof hex, ":%04X", port);
  std::string line;
  for (int i = 0; i < 10000 && std::getline(in, line); ++i) {
    std::istringstream fields(line);
    std::string sl, local, remote, state;
    fields >> sl >> local >> remote >> state;  // state 0A is LISTEN
    if (local.size() > 5 && local.compare(local.size() - 5, 5, hex) == 0 && state == "0A")
      return true;
  }
  return false;
}

// The server's program, or empty when it is not installed.
inline std::string Ser2netProgram() {
  for (const char* p : {"/usr/sbin/ser2net", "/usr/bin/ser2net", "/usr/local/sbin/ser2net"}) {
    if (access(p, X_OK) == 0) return p;
  }
  return "";
}

class Ser2netProcess {
 public:
  // Writes its configuration to `configPath` and starts it. As installed, the server holds a
  // reply's bytes back a little to send them together and lets the system gather small sends
  // (some 20 to 30 ms a turn); `prompt` turns both off, as a server meant for request and
  // reply is set up. Up() says whether both ports came up within five seconds.
  Ser2netProcess(const std::string& configPath, const std::string& device, long baud,
                 bool prompt = true)
      : rawPort(FreeTcpPort()), comPort(FreeTcpPort()) {
    const std::string program = Ser2netProgram();
    if (program.empty()) return;
    const std::string tcp = prompt ? "tcp(nodelay)" : "tcp";
    const std::string connector = "\n  connector: serialdev," + device + "," +
                                  std::to_string(baud) + "n81,local\n" +
                                  (prompt ? "  options:\n    chardelay: false\n" : "");
    const std::string yaml = "connection: &raw\n  accepter: " + tcp + ",127.0.0.1," +
                             std::to_string(rawPort) + connector +
                             "connection: &rfc2217\n  accepter: telnet(rfc2217)," + tcp +
                             ",127.0.0.1," + std::to_string(comPort) + connector;
    if (!WriteFileAtomically(configPath, yaml).ok) return;
    config_ = configPath;
    // Made before the fork: a child of a threaded program may not allocate before exec.
    const char* const argv[] = {program.c_str(), "-n", "-u", "-c", configPath.c_str(), nullptr};
    pid_ = fork();
    if (pid_ == 0) {
      const int null = open("/dev/null", O_RDWR);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
      execv(argv[0], const_cast<char* const*>(argv));
      _exit(127);
    }
    for (int i = 0; i < 100 && pid_ > 0; ++i) {
      if (Listening(rawPort) && Listening(comPort)) {
        up_ = true;
        return;
      }
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return;
      }
      usleep(50000);
    }
  }
  Ser2netProcess(const Ser2netProcess&) = delete;
  Ser2netProcess& operator=(const Ser2netProcess&) = delete;
  ~Ser2netProcess() {
    Kill();
    if (!config_.empty()) unlink(config_.c_str());
  }

  bool Up() const { return up_; }
  // Ends it at once, as a server that goes away mid-transfer.
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    up_ = false;
  }
  std::string Raw() const { return "socket://127.0.0.1:" + std::to_string(rawPort); }
  std::string Com() const { return "rfc2217://127.0.0.1:" + std::to_string(comPort); }

  const int rawPort, comPort;

 private:
  pid_t pid_ = -1;
  bool up_ = false;
  std::string config_;  // written here, removed at the end
};

}  // namespace tarvelo
