// The cost of the socket host and the provider for a real program, each beside
// the same program without them, measured in the same run:
// - bulk throughput of a 1 GiB send through the chain (host, provider, base
//   provider) against the plain kernel socket;
// - the latency of a connect plus one GET answered by a loopback web server, with
//   the provider's program and site questions answered by the real filter service
//   for a logged-in member, the site rated by the rating stand-in (median and
//   99th percentile);
// - the resident memory a process gains by loading the host and the provider.
// The measuring clients are this program itself, started with and without
// LD_PRELOAD.

#include "bench/loopback.h"
#include "tests/support/family_service.h"
#include "tests/support/zul_install.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kBulkBytes = std::size_t(1) << 30;
constexpr int kRounds = 300;

using qmbench::Loopback;

// Client: sends the bytes, waits for the sink to close; prints seconds.
int SendBulk(unsigned short port) {
    int fd = qmbench::ConnectLoopback(port);
    std::vector<char> chunk(256 * 1024, 'x');
    auto start = Clock::now();
    for (std::size_t sent = 0; sent < kBulkBytes;) {
        ssize_t n = ::send(fd, chunk.data(), chunk.size(), 0);
        if (n <= 0) {
            return 1;
        }
        sent += std::size_t(n);
    }
    ::shutdown(fd, SHUT_WR);
    char byte;
    ::recv(fd, &byte, 1, 0);
    std::printf("%f\n", std::chrono::duration<double>(Clock::now() - start).count());
    ::close(fd);
    return 0;
}

// Client: connect plus one GET per round; prints median and p99 in microseconds.
int GetRounds(unsigned short port) {
    const std::string request = "GET /bench HTTP/1.0\r\nHost: www.bench.example\r\n\r\n";
    std::vector<double> times;
    char buffer[4096];
    for (int i = 0; i < kRounds + kRounds / 10; ++i) {
        auto start = Clock::now();
        int fd = qmbench::ConnectLoopback(port);
        ::send(fd, request.data(), request.size(), 0);
        while (::recv(fd, buffer, sizeof buffer, 0) > 0) {
        }
        ::close(fd);
        if (i >= kRounds / 10) {
            times.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
    }
    std::sort(times.begin(), times.end());
    std::printf("%f %f\n", times[times.size() / 2], times[times.size() * 99 / 100]);
    return 0;
}

// Client: makes one connected socket, then prints its resident set in KiB.
int Resident(unsigned short port) {
    int fd = qmbench::ConnectLoopback(port);
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            std::printf("%ld\n", std::atol(line.c_str() + 6));
        }
    }
    ::close(fd);
    return 0;
}

// A loopback server: each connection is read until the peer stops sending,
// then answered (the web server) or just closed (the sink).
class Server {
  public:
    explicit Server(bool answer) : answer_(answer) {}
    unsigned short port() const { return loop_.port(); }

  private:
    void Serve(int fd) {
        std::string request;
        ssize_t n = 0;
        while ((n = ::recv(fd, buffer_.data(), buffer_.size(), 0)) > 0) {
            if (answer_) {
                request.append(buffer_.data(), std::size_t(n));
                if (request.find("\r\n\r\n") != std::string::npos) {
                    break;
                }
            }
        }
        if (answer_) {
            const char* page = "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello";
            ::send(fd, page, std::strlen(page), MSG_NOSIGNAL);
        }
        ::close(fd);
    }

    bool answer_;
    std::vector<char> buffer_ = std::vector<char>(1 << 20);
    qmbench::AcceptLoop loop_{[this](int fd) { Serve(fd); }};
};

// Runs this program in a client mode; its standard output.
std::string Client(const std::string& mode, unsigned short port, bool host) {
    std::string command = (host ? "LD_PRELOAD=" + qmtest::BuiltFile("libsockhost.so") + " " : "") +
                          "/proc/" + std::to_string(::getpid()) + "/exe " + mode + " " +
                          std::to_string(port);
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) {
            output += buffer;
        }
        ::pclose(pipe);
    }
    return output;
}

void Throughput(unsigned short port) {
    double best[2] = {1e9, 1e9};
    for (int round = 0; round < 3; ++round) {
        for (int host = 0; host < 2; ++host) {
            best[host] = std::min(best[host], std::atof(Client("--send", port, host).c_str()));
        }
    }
    double plain = double(kBulkBytes) / best[0] / 1e6;
    double chain = double(kBulkBytes) / best[1] / 1e6;
    std::printf("%-30s %9.0f MB/s | %-22s %9.0f MB/s | ratio %.3f\n", "bulk send through the chain",
                chain, "plain kernel socket", plain, chain / plain);
}

void Latency(unsigned short port) {
    double plain[2] = {};
    double chain[2] = {};
    std::sscanf(Client("--get", port, false).c_str(), "%lf %lf", &plain[0], &plain[1]);
    std::sscanf(Client("--get", port, true).c_str(), "%lf %lf", &chain[0], &chain[1]);
    std::printf("%-30s median %8.1f us  p99 %8.1f us | %-22s median %8.1f us  p99 %8.1f us | "
                "added median %.1f us, p99 %.1f us\n",
                "connect + GET, filtered", chain[0], chain[1], "same without the host", plain[0],
                plain[1], chain[0] - plain[0], chain[1] - plain[1]);
}

void Memory(unsigned short port) {
    long plain = std::atol(Client("--rss", port, false).c_str());
    long chain = std::atol(Client("--rss", port, true).c_str());
    std::printf("%-30s %9ld KiB | %-22s %9ld KiB | added %ld KiB\n", "resident set, filtered",
                chain, "same without the host", plain, chain - plain);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3) {
        auto port = static_cast<unsigned short>(std::atoi(argv[2]));
        std::string mode = argv[1];
        return mode == "--send"  ? SendBulk(port)
               : mode == "--get" ? GetRounds(port)
                                 : Resident(port);
    }
    qmtest::FamilyService service(0);
    if (!qmtest::InstallLayerOverInternet()) {
        std::fprintf(stderr, "cannot install the provider into the catalog\n");
        return 1;
    }
    if (!service.Start()) {
        return 1;
    }
    Server sink(false);
    Server web(true);
    Throughput(sink.port());
    Latency(web.port());
    Memory(web.port());
    return 0;
}
