#pragma once
// The stand-in servers of tools/ run as real processes for a test, on a free
// loopback port, and killed when the test ends, pass or fail. A certificate
// for "localhost" and 127.0.0.1 is made with the openssl program.

#include "tests/support/temp_dir.h"

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace qmtest {

// A loopback TCP port that nothing listens on right now.
std::uint16_t FreePort();

// A self-signed certificate (its own CA) and key in a temporary folder.
class TestCertificate {
  public:
    TestCertificate();
    std::string CertFile() const { return dir_ / "cert.pem"; }
    std::string KeyFile() const { return dir_ / "key.pem"; }

  private:
    TempDir dir_;
};

class ServerProcess {
  public:
    // Starts bin/<program> with the arguments and waits until the port accepts.
    ServerProcess(const std::string& program, std::uint16_t port,
                  const std::vector<std::string>& arguments);
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    bool Ready() const { return ready_; }
    std::uint16_t Port() const { return port_; }

  private:
    pid_t pid_ = -1;
    std::uint16_t port_;
    bool ready_ = false;
};

} // namespace qmtest
