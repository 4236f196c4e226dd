// The cost of deciding a secure connection: connect plus a TLS handshake whose
// server name (www.allowed.test) is settled by the logged-in member's local
// list through the real filter service, beside the same handshake by the same
// program without the socket host, measured in the same run (median and 99th
// percentile, the time added and the ratio). The client is this program
// itself, started with and without LD_PRELOAD; the TLS server runs in this
// process with a certificate made for the run.

#include "bench/loopback.h"
#include "tests/support/family_service.h"
#include "tests/support/temp_dir.h"
#include "tests/support/zul_install.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
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
constexpr int kBatches = 40; // filtered and plain batches alternate, so both meet the same load
constexpr int kRounds = 10;  // measured rounds per batch
constexpr int kWarmUp = 2;   // rounds per batch not measured (the channel's first connects)
constexpr const char* kHost = "www.allowed.test";

// Client: connect plus a verified handshake per round; prints each measured
// round's microseconds, or fails when a handshake fails.
int HandshakeRounds(unsigned short port, const std::string& cert) {
    std::signal(SIGPIPE, SIG_IGN);
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    SSL_CTX_load_verify_locations(context, cert.c_str(), nullptr);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    for (int i = 0; i < kRounds + kWarmUp; ++i) {
        auto start = Clock::now();
        int fd = qmbench::ConnectLoopback(port);
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
        if (i >= kWarmUp) {
            std::printf("%f\n", std::chrono::duration<double, std::micro>(end - start).count());
        }
    }
    SSL_CTX_free(context);
    return 0;
}

// A TLS server on loopback: each connection is handshaken, then closed.
class TlsServer {
  public:
    TlsServer(const std::string& cert, const std::string& key) : context_(Context(cert, key)) {}
    ~TlsServer() {
        loop_.reset();
        SSL_CTX_free(context_);
    }
    unsigned short port() const { return loop_->port(); }

  private:
    static SSL_CTX* Context(const std::string& cert, const std::string& key) {
        SSL_CTX* context = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate_chain_file(context, cert.c_str());
        SSL_CTX_use_PrivateKey_file(context, key.c_str(), SSL_FILETYPE_PEM);
        return context;
    }
    void Serve(int fd) {
        SSL* tls = SSL_new(context_);
        SSL_set_fd(tls, fd);
        SSL_accept(tls);
        SSL_free(tls);
        ::close(fd);
    }

    SSL_CTX* context_;
    std::unique_ptr<qmbench::AcceptLoop> loop_ =
        std::make_unique<qmbench::AcceptLoop>([this](int fd) { Serve(fd); });
};

// Appends the times one batch of the client printed; false when it failed.
bool Batch(const std::string& command, std::vector<double>& times) {
    std::size_t before = times.size();
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        double time = 0;
        while (std::fscanf(pipe, "%lf", &time) == 1) {
            times.push_back(time);
        }
        if (::pclose(pipe) != 0) {
            return false;
        }
    }
    return times.size() == before + kRounds;
}

struct Figures {
    double p10; // the least disturbed by whatever else the machine runs
    double median;
    double p99;
};

Figures Summary(std::vector<double>& times) {
    std::sort(times.begin(), times.end());
    return {times[times.size() / 10], times[times.size() / 2], times[times.size() * 99 / 100]};
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
    std::string filteredClient = "LD_PRELOAD=" + qmtest::BuiltFile("libsockhost.so") + " " + client;
    std::vector<double> plainTimes;
    std::vector<double> filteredTimes;
    for (int batch = 0; batch < kBatches; ++batch) {
        if (!Batch(client, plainTimes) || !Batch(filteredClient, filteredTimes)) {
            std::fprintf(stderr, "a handshake failed\n");
            return 1;
        }
    }
    Figures plain = Summary(plainTimes);
    Figures filtered = Summary(filteredTimes);
    std::printf("%-34s p10 %8.1f us  median %8.1f us  p99 %8.1f us\n"
                "%-34s p10 %8.1f us  median %8.1f us  p99 %8.1f us\n"
                "added: p10 %.1f us, median %.1f us, p99 %.1f us | ratio of medians %.2f\n",
                "connect + TLS handshake, filtered", filtered.p10, filtered.median, filtered.p99,
                "same without the host", plain.p10, plain.median, plain.p99,
                filtered.p10 - plain.p10, filtered.median - plain.median, filtered.p99 - plain.p99,
                filtered.median / plain.median);
    return 0;
}
