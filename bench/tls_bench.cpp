// The cost of deciding a secure connection: connect plus a TLS handshake whose
// server name (www.allowed.test) is settled by the logged-in member's local
// list through the real filter service, beside the same handshake by the same
// program without the socket host, measured in the same run (median and 99th
// percentile, the time added and the ratio). The client is this program
// itself, started with and without LD_PRELOAD; the TLS server runs in this
// process with a certificate made for the run.

#include "tests/support/family_service.h"
#include "tests/support/temp_dir.h"
#include "tests/support/zul_install.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 300;
constexpr const char* kHost = "www.allowed.test";

int Connect(unsigned short port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Client: connect plus a verified handshake per round; prints median and p99
// in microseconds, or nothing when a handshake fails.
int HandshakeRounds(unsigned short port, const std::string& cert) {
    std::signal(SIGPIPE, SIG_IGN);
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    SSL_CTX_load_verify_locations(context, cert.c_str(), nullptr);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    std::vector<double> times;
    for (int i = 0; i < kRounds + kRounds / 10; ++i) {
        auto start = Clock::now();
        int fd = Connect(port);
        SSL* tls = SSL_new(context);
        SSL_set_fd(tls, fd);
        SSL_set_tlsext_host_name(tls, kHost);
        SSL_set1_host(tls, kHost);
        bool done = SSL_connect(tls) == 1;
        auto end = Clock::now();
        SSL_free(tls);
        ::close(fd);
        if (!done) {
            ERR_print_errors_fp(stderr);
            return 1;
        }
        if (i >= kRounds / 10) {
            times.push_back(std::chrono::duration<double, std::micro>(end - start).count());
        }
    }
    SSL_CTX_free(context);
    std::sort(times.begin(), times.end());
    std::printf("%f %f\n", times[times.size() / 2], times[times.size() * 99 / 100]);
    return 0;
}

// A TLS server on loopback: each connection is handshaken, then closed.
class TlsServer {
  public:
    TlsServer(const std::string& cert, const std::string& key) {
        context_ = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate_chain_file(context_, cert.c_str());
        SSL_CTX_use_PrivateKey_file(context_, key.c_str(), SSL_FILETYPE_PEM);
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(listener_, 64);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~TlsServer() {
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
        SSL_CTX_free(context_);
    }
    unsigned short port() const { return port_; }

  private:
    void Run() {
        for (;;) {
            int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) {
                return;
            }
            SSL* tls = SSL_new(context_);
            SSL_set_fd(tls, fd);
            SSL_accept(tls);
            SSL_free(tls);
            ::close(fd);
        }
    }

    SSL_CTX* context_;
    int listener_;
    unsigned short port_ = 0;
    std::thread thread_;
};

bool Figures(const std::string& command, double figures[2]) {
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) {
            output += buffer;
        }
        ::pclose(pipe);
    }
    return std::sscanf(output.c_str(), "%lf %lf", &figures[0], &figures[1]) == 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4) {
        return HandshakeRounds(static_cast<unsigned short>(std::atoi(argv[1])), argv[3]);
    }
    std::signal(SIGPIPE, SIG_IGN); // a client that gives up must not end the server
    qmtest::FamilyService service(0);
    if (!qmtest::InstallLayerOverInternet()) {
        std::fprintf(stderr, "cannot install the provider into the catalog\n");
        return 1;
    }
    if (!service.Start()) {
        return 1;
    }
    qmtest::TempDir keys;
    std::string cert = keys / "cert.pem";
    std::string make =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=" + std::string(kHost) +
        " -addext subjectAltName=DNS:" + kHost + " -keyout " + keys / "key.pem" + " -out " + cert +
        " 2>/dev/null";
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "openssl could not make the certificate\n");
        return 1;
    }
    TlsServer server(cert, keys / "key.pem");
    std::string client = "/proc/" + std::to_string(::getpid()) + "/exe " +
                         std::to_string(server.port()) + " --handshake " + cert;
    double plain[2] = {};
    double filtered[2] = {};
    if (!Figures(client, plain) ||
        !Figures("LD_PRELOAD=" + qmtest::BuiltFile("libsockhost.so") + " " + client, filtered)) {
        std::fprintf(stderr, "a handshake failed\n");
        return 1;
    }
    std::printf("%-34s median %8.1f us  p99 %8.1f us | %-22s median %8.1f us  p99 %8.1f us | "
                "added median %.1f us, p99 %.1f us | ratio %.2f\n",
                "connect + TLS handshake, filtered", filtered[0], filtered[1],
                "same without the host", plain[0], plain[1], filtered[0] - plain[0],
                filtered[1] - plain[1], filtered[0] / plain[0]);
    return 0;
}
