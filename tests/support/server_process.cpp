#include "tests/support/server_process.h"

#include "tests/support/kovari_process.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qmtest {
namespace {

bool Accepts(std::uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

} // namespace

std::uint16_t FreePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

TestCertificate::TestCertificate() {
    std::string command = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
                          "-nodes -days 2 -subj /CN=localhost "
                          "-addext subjectAltName=DNS:localhost,IP:127.0.0.1 -keyout " +
                          KeyFile() + " -out " + CertFile() + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("openssl could not make a certificate");
    }
}

ServerProcess::ServerProcess(const std::string& program, std::uint16_t port,
                             const std::vector<std::string>& arguments)
    : port_(port) {
    std::string path = BuiltFile(program);
    std::vector<std::string> words{path, "--port", std::to_string(port)};
    words.insert(words.end(), arguments.begin(), arguments.end());
    pid_ = ::fork();
    if (pid_ == 0) {
        std::vector<char*> argv;
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        ::execv(path.c_str(), argv.data());
        ::_exit(127);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!ready_ && std::chrono::steady_clock::now() < deadline) {
        ready_ = Accepts(port);
        if (!ready_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
}

ServerProcess::~ServerProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

} // namespace qmtest
