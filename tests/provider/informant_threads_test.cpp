// Many application threads asking at once through one informant.
#include "provider/informant.h"

#include "tests/provider/channel_server.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// Sites and programs whose name holds "bad" are refused; any reply read by the
// wrong thread shows up as a wrong verdict.
qmtest::ChannelServer::Script VerdictByName() {
    return [](const std::string& request) {
        bool bad = request.find("bad") != std::string::npos;
        if (request.starts_with("AB:")) {
            return qmtest::ChannelAction{qmtest::ChannelAction::Reply, bad ? "AB:Y" : "AB:N"};
        }
        return qmtest::ChannelAction{qmtest::ChannelAction::Reply, bad ? "YN" : "NN"};
    };
}

TEST(InformantThreads, EveryReplyReachesTheThreadThatAsked) {
    qmtest::ChannelServer server(VerdictByName());
    qmtest::TempDir dir;
    zul::CInformant informant(dir.path(), 0);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 40; ++i) {
                bool bad = (i + t) % 3 == 0;
                SOCKET s = SOCKET(1000 + t * 100 + i);
                std::string host = bad ? "bad" + std::to_string(t) : "good" + std::to_string(t);
                std::string request =
                    "GET /" + std::to_string(i) + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n";
                informant.InspectBuffer(request.data(), s, int(request.size()));
                if (informant.MostWanted().IsMostWanted(s, nullptr) != bad) {
                    ++wrong;
                }
                std::string app = (bad ? "bad" : "fine") + std::to_string(t) + ".exe";
                if (informant.IsConnectionBlocked(80 + t, app.c_str()) != bad) {
                    ++wrong;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(server.Connections(), 2);
    EXPECT_EQ(server.Requests().size(), 8u * 40u * 2u);
}

// 32 threads ask at once, each its own site, while the service takes a little
// while per answer: each thread gets its own verdict, and a thread that waited
// for others is woken when they are done, so no thread returns much later
// than the service's last answer.
TEST(InformantThreads, ThirtyTwoThreadsAskingAtOnceAreEachWokenForTheirAnswer) {
    using Clock = std::chrono::steady_clock;
    std::mutex lock;
    Clock::time_point lastAnswer;
    qmtest::ChannelServer server([&](const std::string& request) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::lock_guard<std::mutex> hold(lock);
        lastAnswer = Clock::now();
        return VerdictByName()(request);
    });
    qmtest::TempDir dir;
    zul::CInformant informant(dir.path(), 0);
    constexpr int kThreads = 32;
    std::atomic<int> ready{0};
    std::atomic<int> wrong{0};
    std::vector<Clock::time_point> done(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            bool bad = t % 2 == 0;
            std::string request = "GET / HTTP/1.1\r\nHost: " + std::string(bad ? "bad" : "good") +
                                  std::to_string(t) + "\r\n\r\n";
            ++ready;
            while (ready < kThreads) {
                std::this_thread::yield();
            }
            informant.InspectBuffer(request.data(), SOCKET(500 + t), int(request.size()));
            done[std::size_t(t)] = Clock::now();
            if (informant.MostWanted().IsMostWanted(SOCKET(500 + t), nullptr) != bad) {
                ++wrong;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong, 0);
    ASSERT_EQ(server.Requests().size(), std::size_t(kThreads));
    Clock::time_point latest = *std::max_element(done.begin(), done.end());
    std::lock_guard<std::mutex> hold(lock);
    EXPECT_LT(latest - lastAnswer, std::chrono::milliseconds(500));
}

} // namespace
