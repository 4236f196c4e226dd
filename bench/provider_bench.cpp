// Costs of the provider's filter logic, each beside a baseline measured in the
// same run: site requests (one settled by the logged-in member's local lists,
// one rated by the rating stand-in) and a program request to the real filter
// service against a bare loopback request-reply of the same sizes, and
// disarming the pop-ups of a 1 MiB page against a plain memmem scan of the
// same page.

#include "platform/tcp_client.h"
#include "provider/informant.h"
#include "tests/support/family_service.h"

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
    double median;
    double p99;
};

// Runs body rounds times after a warm-up; microseconds per run.
Figures Measure(int rounds, const std::function<void()>& prepare,
                const std::function<void()>& body) {
    for (int i = 0; i < rounds / 10; ++i) {
        prepare();
        body();
    }
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        prepare();
        auto start = Clock::now();
        body();
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times[std::min(times.size() - 1, times.size() * 99 / 100)]};
}

void Report(const char* name, Figures f, Figures base, const char* baseName) {
    std::printf("%-28s median %9.1f us  p99 %9.1f us | %-22s median %9.1f us  p99 %9.1f us | "
                "ratio %.2f (p99 %.2f)\n",
                name, f.median, f.p99, baseName, base.median, base.p99, f.median / base.median,
                f.p99 / base.p99);
}

// A loopback server answering every receive with a fixed reply, like the
// service's channel but deciding nothing.
class BareServer {
  public:
    explicit BareServer(std::string reply) : reply_(std::move(reply)) {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(listen_, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(listen_, 1);
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            int fd = ::accept(listen_, nullptr, nullptr);
            char buffer[1024];
            while (::recv(fd, buffer, sizeof buffer, 0) > 0) {
                ::send(fd, reply_.data(), reply_.size(), MSG_NOSIGNAL);
            }
            ::close(fd);
        });
    }
    ~BareServer() {
        thread_.join();
        ::close(listen_);
    }
    WORD Port() const { return port_; }

  private:
    std::string reply_;
    int listen_ = -1;
    WORD port_ = 0;
    std::thread thread_;
};

Figures BareRoundTrip(std::size_t requestSize, const std::string& reply, int rounds) {
    BareServer server(reply);
    SOCKET s = platform::TcpSocket();
    platform::TcpConnect(s, "127.0.0.1", server.Port());
    std::string request(requestSize, 'r');
    char answer[1024];
    Figures f = Measure(
        rounds, [] {},
        [&] {
            platform::TcpSend(s, request.data(), int(request.size()));
            platform::TcpRecv(s, answer, sizeof answer);
        });
    platform::TcpClose(s);
    return f;
}

// A site request for http://<host>/news/index.html through the provider,
// beside a bare round trip with a request as long as that address.
void SiteBenchmark(zul::CInformant& informant, const char* name, const std::string& host,
                   int rounds) {
    std::string get = "GET /news/index.html HTTP/1.1\r\nHost: " + host + "\r\n\r\n";
    std::size_t urlSize = ("http://" + host + "/news/index.html").size();
    Figures site = Measure(
        rounds, [&] { informant.MostWanted().RemoveSocket(7); },
        [&] { informant.InspectBuffer(get.data(), 7, int(get.size())); });
    std::string baseName = "bare loopback " + std::to_string(urlSize) + "/2 B";
    Report(name, site, BareRoundTrip(urlSize, "NN", rounds), baseName.c_str());
}

bool ChannelBenchmarks(int rounds) {
    qmtest::FamilyService service(-1);
    if (!service.Start()) {
        return false;
    }
    zul::CInformant informant(service.installation().InstallDir(), 0);
    SiteBenchmark(informant, "site request, local list", "www.allowed.test", rounds);
    SiteBenchmark(informant, "site request, rated", "www.good.test", rounds);
    Figures program = Measure(
        rounds, [] {}, [&] { informant.IsConnectionBlocked(80, "chat.exe"); });
    Report("program request (service)", program, BareRoundTrip(1024, "AB:N", rounds),
           "bare loopback 1024/4 B");
    return true;
}

void PopupBenchmark(int rounds) {
    constexpr std::size_t kPage = 1 << 20;
    constexpr int kMatches = 1000;
    std::string page(kPage, 'x');
    for (int i = 0; i < kMatches; ++i) {
        std::memcpy(page.data() + std::size_t(i) * (kPage / kMatches), "Window.Open(", 12);
    }
    qmtest::TempDir dir;
    zul::CInformant informant(dir.path(), 0);
    std::string work = page;
    Figures disarm = Measure(
        rounds, [&] { std::memcpy(work.data(), page.data(), kPage); },
        [&] { informant.DisablePopups(work.data(), DWORD(kPage)); });
    int found = 0;
    Figures scan = Measure(
        rounds, [&] { found = 0; },
        [&] {
            const char* at = page.data();
            const char* end = page.data() + kPage;
            while (const void* hit = ::memmem(at, std::size_t(end - at), "Window.Open", 11)) {
                ++found;
                at = static_cast<const char*>(hit) + 1;
            }
        });
    Report("DisablePopups 1 MiB, 1000 hits", disarm, scan, "memmem scan");
    if (found != kMatches || work.find("POPBLOKR = (") == std::string::npos) {
        std::printf("unexpected: %d matches\n", found);
    }
}

} // namespace

int main() {
    try {
        PopupBenchmark(200);
        return ChannelBenchmarks(2000) ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "provider_bench: %s\n", error.what());
        return 1;
    }
}
