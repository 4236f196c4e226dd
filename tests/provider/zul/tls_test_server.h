#pragma once
// A TLS server on 127.0.0.1 for tests (tls_server.py, outside the socket host)
// with a certificate the test makes for allowed.test, denied.test,
// blocked.test, their "www." names and 127.0.0.1. It logs, per connection,
// the server name it read or "nothing" when no byte came.

#include "tests/support/temp_dir.h"
#include "tests/support/under_host.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace qmtest {

inline const std::string kTlsScripts = QM_TEST_SCRIPTS;

// Makes root/cert.pem and root/key.pem; true when openssl did.
inline bool MakeTestCertificate(const TempDir& root) {
    std::string names = "DNS:allowed.test,DNS:denied.test,DNS:blocked.test,DNS:www.allowed.test,"
                        "DNS:www.denied.test,DNS:www.blocked.test,IP:127.0.0.1";
    return Run("openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=allowed.test "
               "-addext subjectAltName=" +
                   names + " -keyout " + root / "key.pem" + " -out " + root / "cert.pem" +
                   " 2>/dev/null",
               false)
               .status == 0;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The server, with the certificate in root; stopped when the test ends,
// however it ends.
// A program started outside the socket host; killed when the test ends,
// however it ends. Waits up to 5 s for the file `ready` to appear.
class Spawned {
  public:
    Spawned(std::vector<std::string> args, const std::string& ready) {
        std::vector<char*> argv;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        std::vector<char*> env;
        for (char** e = environ; *e; ++e) {
            if (!std::string_view(*e).starts_with("LD_PRELOAD=")) {
                env.push_back(*e);
            }
        }
        env.push_back(nullptr);
        if (::posix_spawnp(&pid_, argv[0], nullptr, nullptr, argv.data(), env.data()) != 0) {
            pid_ = -1;
            return;
        }
        for (int i = 0; i < 100 && !std::filesystem::exists(ready); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~Spawned() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Spawned(const Spawned&) = delete;
    Spawned& operator=(const Spawned&) = delete;

  private:
    pid_t pid_ = -1;
};

class TlsServer {
  public:
    explicit TlsServer(const qmtest::TempDir& root)
        : log_(root / "server.log"),
          program_({"python3", kTlsScripts + "/tls_server.py", root / "cert.pem", root / "key.pem",
                    log_, root / "server.port"},
                   root / "server.port"),
          port_(ReadFile(root / "server.port")) {}

    const std::string& port() const { return port_; }
    // The line the server logged for its nth connection (from 1), waiting for it.
    std::string Connection(std::size_t n) const {
        for (int i = 0; i < 200; ++i) {
            std::istringstream lines(ReadFile(log_));
            std::string line;
            for (std::size_t k = 1; std::getline(lines, line); ++k) {
                if (k == n) {
                    return line;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return "(no connection)";
    }

  private:
    std::string log_;
    Spawned program_;
    std::string port_;
};

} // namespace qmtest
