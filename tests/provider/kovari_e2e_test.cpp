// The provider's filter logic against the real filter service.
#include "provider/informant.h"

#include "tests/provider/log_reader.h"
#include "tests/provider/started_program.h"
#include "tests/provider/tcp_connections.h"
#include "tests/support/kovari_process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr SOCKET kSocket = 60;

std::string Get(const std::string& host, const std::string& path) {
    return "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\nAccept: */*\r\n\r\n";
}

void Inspect(zul::CInformant& informant, const std::string& request, SOCKET s = kSocket) {
    informant.InspectBuffer(request.data(), s, int(request.size()));
}

// Replies of the service as the informant logged them.
int SiteReplies(const std::string& dir) {
    std::string log = qmtest::ReadLog(dir);
    std::regex reply(R"(-> CInformant::InspectBuffer->szRecvBuf - [YN][YNO]\n)");
    return int(
        std::distance(std::sregex_iterator(log.begin(), log.end(), reply), std::sregex_iterator()));
}

int ProgramReplies(const std::string& dir) {
    return qmtest::CountInLog(dir,
                              "-> CInformant::IsConnectionBlocked - BLOCKING THE APPLICATION\n") +
           qmtest::CountInLog(dir, "-> CInformant::IsConnectionBlocked - No blocking of this "
                                   "application will be done\n");
}

class KovariEndToEnd : public ::testing::Test {
  protected:
    qmtest::Installation installation_;
    qmtest::InstallationEnvironment environment_{installation_};
    std::string logDir_ = (installation_.WriteSettings(-1), installation_.InstallDir());
};

TEST_F(KovariEndToEnd, BothKindsTravelOverTwoSeparateConnections) {
    qmtest::KovariProcess kovari(installation_);
    ASSERT_TRUE(kovari.WaitUntilPresent());
    zul::CInformant informant(logDir_, 2);
    for (int i = 0; i < 3; ++i) {
        Inspect(informant, Get("Alpha", "/Page" + std::to_string(i)));
        informant.IsConnectionBlocked(80, "chat.exe");
    }
    EXPECT_EQ(SiteReplies(logDir_), 3);
    EXPECT_EQ(ProgramReplies(logDir_), 3);
    EXPECT_EQ(qmtest::ConnectionsToPort(4100), 2);
    EXPECT_EQ(qmtest::CountInLog(logDir_, "CONNECTION ESTABLISHED"), 2);
    EXPECT_FALSE(qmtest::LogHas(logDir_, "Need to start KOVARI"));
}

TEST_F(KovariEndToEnd, ServiceThatIsNotRunningIsStarted) {
    qmtest::StartedProgram program(logDir_, "'" + qmtest::BuiltFile("KOVARI") + "'");
    {
        zul::CInformant informant(logDir_, 2);
        Inspect(informant, Get("alpha", "/"));
    }
    EXPECT_GT(program.Pid(), 0);
    EXPECT_TRUE(qmtest::LogHas(logDir_, "-> CAgencyComms::EstablishCommunications - KOVARI has "
                                        "been started\n"));
    EXPECT_EQ(SiteReplies(logDir_), 1);
    program.Kill();
    qmtest::WaitForPresence(false, 5000);
}

// The service ends while a request of each kind waits for its reply (the
// kernel resets both connections): the site waiting is blocked, the program
// allowed. When the service is back, the process reconnects each kind once and
// is served again.
TEST_F(KovariEndToEnd, RestartedServiceIsReconnected) {
    zul::CInformant informant(logDir_, 2);
    {
        qmtest::KovariProcess kovari(installation_);
        ASSERT_TRUE(kovari.WaitUntilPresent());
        Inspect(informant, Get("alpha", "/a"));
        informant.IsConnectionBlocked(80, "chat.exe");
        ASSERT_EQ(qmtest::ConnectionsToPort(4100), 2);
        kovari.Pause();
        std::thread site([&] { Inspect(informant, Get("alpha", "/lost")); });
        std::thread program([&] { EXPECT_FALSE(informant.IsConnectionBlocked(80, "chat.exe")); });
        while (qmtest::UnreadAtPort(4100) < 2) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        kovari.Stop();
        site.join();
        program.join();
    }
    EXPECT_TRUE(informant.MostWanted().IsMostWanted(kSocket, nullptr));
    EXPECT_EQ(qmtest::CountInLog(logDir_, "BLOCKING TRAFFIC"), 1);
    qmtest::KovariProcess again(installation_);
    ASSERT_TRUE(again.WaitUntilPresent());
    for (int i = 0; i < 2; ++i) {
        Inspect(informant, Get("alpha", "/b"), kSocket + 1);
        informant.IsConnectionBlocked(80, "chat.exe");
    }
    EXPECT_EQ(qmtest::ConnectionsToPort(4100), 2);
    EXPECT_EQ(qmtest::CountInLog(logDir_, "CONNECTION ESTABLISHED"), 4);
    EXPECT_EQ(SiteReplies(logDir_), 3);
    EXPECT_EQ(ProgramReplies(logDir_), 3);
    EXPECT_EQ(qmtest::CountInLog(logDir_, "BLOCKING TRAFFIC"), 1);
    EXPECT_EQ(qmtest::CountInLog(logDir_, "-> CInformant::IsConnectionBlocked - Error "), 1);
}

TEST_F(KovariEndToEnd, EightThreadsEachGetTheirOwnReplies) {
    qmtest::KovariProcess kovari(installation_);
    ASSERT_TRUE(kovari.WaitUntilPresent());
    zul::CInformant informant(logDir_, 2);
    constexpr int kThreads = 8;
    constexpr int kRounds = 10;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&informant, t] {
            for (int i = 0; i < kRounds; ++i) {
                Inspect(informant, Get("host" + std::to_string(t), "/" + std::to_string(i)),
                        SOCKET(100 + t));
                informant.IsConnectionBlocked(1000 + t, "app.exe");
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(SiteReplies(logDir_), kThreads * kRounds);
    EXPECT_EQ(ProgramReplies(logDir_), kThreads * kRounds);
    EXPECT_FALSE(qmtest::LogHas(logDir_, "BLOCKING TRAFFIC"));
    EXPECT_FALSE(qmtest::LogHas(logDir_, "Error receiving"));
    EXPECT_EQ(qmtest::ConnectionsToPort(4100), 2);
}

} // namespace
