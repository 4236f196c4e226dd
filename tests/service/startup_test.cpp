// Start-up of the real KOVARI process: one copy only, settings, the log.

#include "platform/presence.h"
#include "tests/support/channel_client.h"
#include "tests/support/kovari_process.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <filesystem>
#include <netinet/in.h>
#include <regex>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using qmtest::ApplicationRequest;
using qmtest::ChannelClient;

bool Contains(const std::vector<std::string>& lines, const std::string& text) {
    for (const auto& line : lines) {
        if (line.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

TEST(Startup, SecondCopyEndsAtOnceAndTheFirstKeepsAnswering) {
    qmtest::Installation installation;
    installation.WriteSettings(2);
    qmtest::KovariProcess first(installation);
    ASSERT_TRUE(first.WaitUntilListening());
    qmtest::KovariProcess second(installation);
    EXPECT_EQ(second.WaitForExit(10000), 0);
    EXPECT_TRUE(first.Running());
    ChannelClient client;
    EXPECT_EQ(client.Ask(ApplicationRequest("AB:80,x.exe"), 4), "AB:N");
    // The second copy wrote nothing: one start-up line only.
    int started = 0;
    for (const auto& line : installation.LogLines()) {
        started += line.find("Application started") != std::string::npos;
    }
    EXPECT_EQ(started, 1);
}

TEST(Startup, ServiceRunsWithoutChannelWhenThePortIsTaken) {
    int blocker = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1; // earlier tests may have left connections of the port in TIME_WAIT
    ::setsockopt(blocker, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(4100);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(blocker, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(blocker, 5), 0);

    qmtest::Installation installation;
    installation.WriteSettings(2);
    qmtest::KovariProcess service(installation);
    EXPECT_TRUE(service.WaitUntilPresent());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(service.Running());
    EXPECT_TRUE(Contains(installation.LogLines(), "Application started"));
    ::close(blocker);
}

TEST(Startup, NoDebugLevelMeansNoLogFileAtAll) {
    qmtest::Installation installation;
    installation.WriteSettings(-1);
    qmtest::KovariProcess service(installation);
    ASSERT_TRUE(service.WaitUntilListening());
    ChannelClient client;
    EXPECT_EQ(client.Ask("http://quiet.example/", 2).size(), 2u);
    EXPECT_FALSE(std::filesystem::exists(installation.LogFile()));
}

TEST(Startup, LogLinesHaveTheTimePlaceAndTextFormat) {
    qmtest::Installation installation;
    installation.WriteSettings(2);
    qmtest::KovariProcess service(installation);
    ASSERT_TRUE(service.WaitUntilListening());
    // The channel listens before start-up has finished and logged.
    for (int i = 0; i < 100 && !Contains(installation.LogLines(), "Application started"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    auto lines = installation.LogLines();
    ASSERT_FALSE(lines.empty());
    std::regex line(R"((\d\d)/(\d\d)/\d\d \d\d:\d\d:\d\d-> \w+::\w+ - .+)");
    for (const auto& text : lines) {
        EXPECT_TRUE(std::regex_match(text, line)) << text;
    }
    EXPECT_TRUE(Contains(lines, "-> CPCAppApp::InitInstance - Application started"));
}

TEST(Startup, TerminateMessageEndsTheServiceAndShutdownIsLogged) {
    qmtest::Installation installation;
    installation.WriteSettings(2);
    qmtest::KovariProcess service(installation);
    ASSERT_TRUE(service.WaitUntilPresent());
    ASSERT_TRUE(platform::SendControlMessage("VRA_Class", 1035, 0, 0));
    EXPECT_EQ(service.WaitForExit(10000), 0);
    auto lines = installation.LogLines();
    EXPECT_TRUE(Contains(lines, "CMainFrame::WindowProc - Application signaled to terminate"));
    EXPECT_TRUE(Contains(lines, "CPCAppApp::exitInstance - Application terminating"));
}

} // namespace
