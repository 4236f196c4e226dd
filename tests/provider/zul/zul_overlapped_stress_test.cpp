// Overlapped sends and receives from 16 threads on 64 provider sockets, with
// closes racing the completions: every operation that started is completed
// exactly once, on the thread that issued it, and every record taken from the
// provider's pool goes back to it. Run it under the asan and tsan presets for
// use after free and races.

#include "platform/sockhost/kernel_socket.h"
#include "platform/win/wait.h"
#include "tests/platform/sockhost/loopback.h"
#include "tests/provider/zul/zul_fixture.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <poll.h>
#include <random>
#include <thread>
#include <vector>

namespace {

constexpr int kThreads = 16;
constexpr int kSocketsPerThread = 4;
constexpr auto kDuration = std::chrono::seconds(30);

struct Operation {
    WSAOVERLAPPED overlapped{}; // first: the routine's record leads back here
    char buffer[64] = "ping";
    WSABUF data{sizeof buffer, buffer};
    DWORD thread = 0;
    std::atomic<int> completions{0};
    std::atomic<bool> wrongThread{false};
};

void Completed(DWORD, DWORD, WSAOVERLAPPED* lpOverlapped, DWORD) {
    auto* operation = reinterpret_cast<Operation*>(lpOverlapped);
    if (operation->thread != platform::win::CurrentThreadId()) {
        operation->wrongThread = true;
    }
    operation->completions.fetch_add(1);
}

// Echoes whatever arrives on every accepted connection; plain kernel sockets.
class EchoServer {
  public:
    EchoServer() : libc_(*qm_sockhost_libc()) {
        listener_ = libc_.socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address = qmtest::LoopbackAddress(0);
        socklen_t length = sizeof address;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(listener_, 128);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~EchoServer() {
        stop_ = true;
        thread_.join();
        for (const pollfd& entry : polled_) {
            libc_.close(entry.fd);
        }
    }
    unsigned short port() const { return port_; }

  private:
    void Run() {
        polled_.push_back(pollfd{listener_, POLLIN, 0});
        char buffer[4096];
        while (!stop_) {
            if (::poll(polled_.data(), polled_.size(), 50) <= 0) {
                continue;
            }
            for (std::size_t i = polled_.size(); i-- > 1;) {
                if (!polled_[i].revents) {
                    continue;
                }
                ssize_t n = libc_.read(polled_[i].fd, buffer, sizeof buffer);
                if (n <= 0 || libc_.send(polled_[i].fd, buffer, std::size_t(n),
                                         MSG_NOSIGNAL | MSG_DONTWAIT) < 0) {
                    libc_.close(polled_[i].fd);
                    polled_.erase(polled_.begin() + long(i));
                }
            }
            if (polled_[0].revents & POLLIN) {
                int peer = libc_.accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                if (peer >= 0) {
                    polled_.push_back(pollfd{peer, POLLIN, 0});
                }
            }
        }
    }
    const sockhost::LibcCalls& libc_;
    int listener_;
    unsigned short port_ = 0;
    std::vector<pollfd> polled_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

SOCKET Connect(unsigned short port) {
    SOCKET s = WSASocketW(AF_INET_W, SOCK_STREAM_W, IPPROTO_TCP_W, nullptr, 0, WSA_FLAG_OVERLAPPED);
    sockaddr_in address = qmtest::LoopbackAddress(port);
    if (s != INVALID_SOCKET && WSAConnect(s, reinterpret_cast<sockaddr*>(&address), sizeof address,
                                          nullptr, nullptr, nullptr, nullptr) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

struct Tally {
    std::atomic<long> started{0};
    std::atomic<long> twice{0};
    std::atomic<long> never{0};
    std::atomic<long> elsewhere{0};
};

// Starts one overlapped call; kept when it is pending or completed at once.
void Issue(bool receive, SOCKET s, std::deque<Operation*>& open, Tally& tally) {
    auto* operation = new Operation;
    operation->thread = platform::win::CurrentThreadId();
    DWORD bytes = 0;
    DWORD flags = 0;
    int result =
        receive ? WSARecv(s, &operation->data, 1, &bytes, &flags, &operation->overlapped, Completed)
                : WSASend(s, &operation->data, 1, &bytes, 0, &operation->overlapped, Completed);
    if (result == SOCKET_ERROR && WSAGetLastError() != WSA_IO_PENDING) {
        delete operation; // refused at once: no completion comes
        return;
    }
    ++tally.started;
    open.push_back(operation);
}

// Checks and frees the operations at the front that have completed.
void Retire(std::deque<Operation*>& open, Tally& tally, bool all) {
    for (auto it = open.begin(); it != open.end();) {
        Operation* operation = *it;
        int completions = operation->completions.load();
        if (completions == 0 && !all) {
            ++it;
            continue;
        }
        tally.twice += completions > 1;
        tally.never += completions == 0;
        tally.elsewhere += operation->wrongThread.load();
        delete operation;
        it = open.erase(it);
    }
}

void Worker(unsigned short port, unsigned seed, Tally& tally) {
    std::mt19937 random(seed);
    std::vector<SOCKET> sockets;
    for (int i = 0; i < kSocketsPerThread; ++i) {
        sockets.push_back(Connect(port));
    }
    std::deque<Operation*> open;
    auto end = std::chrono::steady_clock::now() + kDuration;
    while (std::chrono::steady_clock::now() < end) {
        SOCKET& s = sockets[random() % sockets.size()];
        if (s == INVALID_SOCKET) {
            s = Connect(port);
            continue;
        }
        Issue(true, s, open, tally);
        Issue(false, s, open, tally);
        if (random() % 8 == 0) {
            closesocket(s); // races the completions of what is in flight
            s = Connect(port);
        }
        SleepEx(random() % 2, TRUE);
        Retire(open, tally, false);
    }
    for (SOCKET s : sockets) {
        if (s != INVALID_SOCKET) {
            closesocket(s);
        }
    }
    // Everything in flight is aborted by the closes; its routines run here.
    for (int i = 0; i < 500 && !open.empty(); ++i) {
        SleepEx(10, TRUE);
        Retire(open, tally, false);
    }
    Retire(open, tally, true);
}

class ZulStress : public qmtest::ZulTest {
  protected:
    ZulStress() : ZulTest(0, qmtest::kProbeLibrary) {}
};

TEST_F(ZulStress, EveryCompletionIsDeliveredOnceAndEveryRecordReturnsWhileClosesRace) {
    EchoServer server;
    Tally tally;
    std::size_t start = OutstandingRecords();
    ASSERT_NE(start, ~std::size_t(0));
    std::atomic<int> running{kThreads};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            Worker(server.port(), unsigned(i + 1), tally);
            --running;
        });
    }
    // Records are in use while the threads run (the count read is the live
    // provider's).
    std::size_t most = start;
    while (running > 0) {
        most = std::max(most, OutstandingRecords());
        SleepEx(50, FALSE);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    // The worker releases a record just after queueing its routine.
    for (int i = 0; i < 500 && OutstandingRecords() != start; ++i) {
        SleepEx(10, FALSE);
    }
    EXPECT_GT(most, start);
    EXPECT_EQ(OutstandingRecords(), start);
    EXPECT_GT(tally.started.load(), 1000);
    EXPECT_EQ(tally.never.load(), 0);
    EXPECT_EQ(tally.twice.load(), 0);
    EXPECT_EQ(tally.elsewhere.load(), 0);
}

} // namespace

// Threads keep using a socket while it is closed: the close marks the handle
// first, so no call reaches a context being freed, and every call either works
// or fails as on a closed socket.
TEST_F(ZulStress, CallsRacingACloseOfTheirSocketWorkOrFindNoSocket) {
    constexpr int kUsers = 2;
    std::atomic<int> strange{0};
    for (int round = 0; round < 150; ++round) {
        SOCKET s = WSASocketW(AF_INET_W, SOCK_STREAM_W, 0, nullptr, 0, 0);
        ASSERT_NE(s, INVALID_SOCKET);
        std::atomic<int> started{0};
        std::vector<std::thread> users;
        for (int i = 0; i < kUsers; ++i) {
            users.emplace_back([&] {
                ++started;
                for (;;) {
                    // Answered from the provider's context of the socket.
                    WSAPROTOCOL_INFOW info{};
                    int length = sizeof info;
                    if (ws_getsockopt(s, SOL_SOCKET_W, SO_PROTOCOL_INFOW_W,
                                      reinterpret_cast<char*>(&info), &length) != 0) {
                        strange += WSAGetLastError() != WSAENOTSOCK;
                        return;
                    }
                    strange += info.ProviderId != qmtest::kChainGuid;
                }
            });
        }
        while (started < kUsers) {
            std::this_thread::yield();
        }
        EXPECT_EQ(closesocket(s), 0);
        for (std::thread& user : users) {
            user.join();
        }
    }
    EXPECT_EQ(strange.load(), 0);
}
