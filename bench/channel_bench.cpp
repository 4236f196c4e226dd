// Site questions per second answered by the real filter service with a member
// logged in, with 1, 8 and 32 concurrent client connections: addresses settled
// by the member's local lists, and addresses that each cost a round trip to the
// rating stand-in. Beside them the same clients against a minimal loopback
// server that answers every receive with two bytes (the floor).

#include "tests/support/channel_client.h"
#include "tests/support/family_service.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::uint16_t kEchoPort = 4199;
constexpr auto kRunTime = std::chrono::seconds(2);

// The floor: one epoll thread that answers each receive with "NO".
class MinimalServer {
  public:
    MinimalServer() {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        int one = 1;
        ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(kEchoPort);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listenFd_, 5);
        thread_ = std::thread([this] { Run(); });
    }
    ~MinimalServer() {
        stop_ = true;
        thread_.join();
        ::close(listenFd_);
    }

  private:
    void Run() {
        int poller = ::epoll_create1(0);
        epoll_event event{EPOLLIN, {.fd = listenFd_}};
        ::epoll_ctl(poller, EPOLL_CTL_ADD, listenFd_, &event);
        epoll_event ready[64];
        while (!stop_) {
            int count = ::epoll_wait(poller, ready, 64, 50);
            for (int i = 0; i < count; ++i) {
                int fd = ready[i].data.fd;
                if (fd == listenFd_) {
                    int client;
                    while ((client = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK)) >= 0) {
                        epoll_event added{EPOLLIN, {.fd = client}};
                        ::epoll_ctl(poller, EPOLL_CTL_ADD, client, &added);
                    }
                    continue;
                }
                char buffer[1024];
                ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
                if (got <= 0) {
                    ::close(fd);
                    continue;
                }
                ::send(fd, "NO", 2, MSG_NOSIGNAL);
            }
        }
        ::close(poller);
    }

    int listenFd_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Questions per second answered to `clients` connections asking in a loop
// about hosts below `domain`, one host per client.
double QuestionsPerSecond(std::uint16_t port, int clients, const std::string& domain) {
    std::atomic<long> answered{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back([&, i] {
            qmtest::ChannelClient client(port);
            std::string request = "http://site" + std::to_string(i) + "." + domain + "/index.html";
            while (!stop && client.Ask(request, 2).size() == 2) {
                ++answered;
            }
        });
    }
    auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(kRunTime);
    stop = true;
    for (auto& thread : threads) {
        thread.join();
    }
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return double(answered) / took.count();
}

int Run() {
    qmtest::FamilyService service(0);
    if (!service.Start()) {
        return 1;
    }
    MinimalServer floor;
    std::printf("%-8s %12s %12s %12s %12s %12s\n", "clients", "local q/s", "rated q/s", "floor q/s",
                "local/floor", "rated/floor");
    for (int clients : {1, 8, 32}) {
        double local = QuestionsPerSecond(4100, clients, "allowed.test");
        double rated = QuestionsPerSecond(4100, clients, "example");
        double floorRate = QuestionsPerSecond(kEchoPort, clients, "example");
        std::printf("%-8d %12.0f %12.0f %12.0f %12.3f %12.3f\n", clients, local, rated, floorRate,
                    local / floorRate, rated / floorRate);
    }
    return 0;
}

} // namespace

int main() {
    try {
        return Run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "channel_bench: %s\n", error.what());
        return 1;
    }
}
