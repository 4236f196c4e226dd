// The application blocking table of the real KOVARI process, asked over its
// channel; the process records its notifications into a file.

#include "tests/support/channel_client.h"
#include "tests/support/kovari_process.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using qmtest::ApplicationRequest;

// A KOVARI whose settings exist, so its start-up loads the anonymous identity's table.
class AppBlocking : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(service.WaitUntilListening());
        client.emplace();
        ASSERT_TRUE(client->Connected());
    }

    std::string Ask(const std::string& text) { return client->Ask(ApplicationRequest(text), 4); }

    std::vector<std::string> Notifications() const {
        std::vector<std::string> lines;
        std::ifstream in(record);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    static std::string Blocked(const std::string& displayName) {
        return displayName + "<BR>has been <B>blocked</B>!|5000";
    }

    qmtest::Installation installation;
    std::string record = installation.InstallDir() + "/notifications.txt";
    bool settingsWritten = (installation.WriteSettings(0), true);
    qmtest::KovariProcess service{installation, {{"QUELLMARK_NOTIFY_RECORD", record}}};
    std::optional<qmtest::ChannelClient> client;
};

TEST_F(AppBlocking, ListedPortRefusesAnyProgramAndNotifiesOnce) {
    EXPECT_EQ(Ask("AB:6667,unlisted.exe"), "AB:Y");
    EXPECT_EQ(Ask("AB:6667,other.exe"), "AB:Y");
    EXPECT_EQ(Notifications(), std::vector<std::string>{Blocked("Internet Relay Chat")});
}

TEST_F(AppBlocking, EveryEntryNotifiesOnItsOwn) {
    EXPECT_EQ(Ask("AB:6660,a.exe"), "AB:Y");
    EXPECT_EQ(Ask("AB:6669,a.exe"), "AB:Y");
    EXPECT_EQ(Ask("AB:80,icq.exe"), "AB:Y");
    EXPECT_EQ(Ask("AB:80,icqlite.exe"), "AB:Y");
    EXPECT_EQ(Ask("AB:6660,b.exe"), "AB:Y");
    EXPECT_EQ(Notifications(), (std::vector<std::string>{Blocked("Internet Relay Chat"),
                                                         Blocked("Internet Relay Chat"),
                                                         Blocked("ICQ Instant Messenger"),
                                                         Blocked("ICQ Instant Messenger")}));
}

TEST_F(AppBlocking, ProgramNamesCompareWithoutCaseOnAnyPort) {
    EXPECT_EQ(Ask("AB:80,unlisted.exe"), "AB:N");
    EXPECT_EQ(Ask("AB:80,AIM.EXE"), "AB:Y");
    EXPECT_EQ(Ask("AB:443,aim.exe"), "AB:Y");
    EXPECT_EQ(Ask("AB:80,KazaaLite.Exe"), "AB:Y");
    EXPECT_EQ(Notifications(), (std::vector<std::string>{Blocked("AOL Instant Messenger"),
                                                         Blocked("Kazaa P2P Filesharing")}));
}

TEST_F(AppBlocking, Port5050NotifiesWithTheNameAsSpelled) {
    EXPECT_EQ(Ask("AB:5050,pager.exe"), "AB:Y");
    EXPECT_EQ(Ask("AB:80,ypager.exe"), "AB:Y");
    EXPECT_EQ(Notifications(), (std::vector<std::string>{Blocked("Yahoo! Instant Meesenger"),
                                                         Blocked("Yahoo! Instant Messenger")}));
}

TEST_F(AppBlocking, GnutellaMatchesOnlyWithoutExtension) {
    EXPECT_EQ(Ask("AB:80,gnutella.exe"), "AB:N");
    EXPECT_EQ(Ask("AB:80,gnutella"), "AB:Y");
    EXPECT_EQ(Ask("AB:80,GNUTELLA"), "AB:Y");
    EXPECT_EQ(Notifications(), std::vector<std::string>{Blocked("GNUTELLA-based Filesharing")});
}

TEST_F(AppBlocking, EveryBuiltInPortIsListed) {
    for (int port : {1863, 5050, 1214, 21, 119, 110, 6665}) {
        EXPECT_EQ(Ask("AB:" + std::to_string(port) + ",x.exe"), "AB:Y") << port;
    }
    for (int port : {20, 25, 80, 443, 6659, 6670, 4100}) {
        EXPECT_EQ(Ask("AB:" + std::to_string(port) + ",x.exe"), "AB:N") << port;
    }
    EXPECT_EQ(Notifications().size(), 7u);
}

TEST_F(AppBlocking, OddRequestsAreReadAsWritten) {
    EXPECT_EQ(Ask("AB:21x,x.exe"), "AB:Y");    // the number before the first non-digit
    EXPECT_EQ(Ask("AB:x21,x.exe"), "AB:N");    // no number: port 0
    EXPECT_EQ(Ask("AB:,aim.exe"), "AB:Y");     // empty port, listed program
    EXPECT_EQ(Ask("AB:6667"), "AB:N");         // no comma: no port, program "AB:6667"
    EXPECT_EQ(Ask("AB:80,aim.exe,x"), "AB:N"); // the program is all after the first comma
    EXPECT_EQ(Ask("AB:99999999999999999999,x.exe"), "AB:N");
    EXPECT_EQ(Notifications(), (std::vector<std::string>{Blocked("Access to FTP"),
                                                         Blocked("AOL Instant Messenger")}));
}

TEST(AppBlockingWithoutSettings, NoTableRefusesNothing) {
    qmtest::Installation installation;
    installation.WriteSettings(-1); // no user key: the start-up lists are not loaded
    qmtest::KovariProcess service{installation};
    ASSERT_TRUE(service.WaitUntilListening());
    qmtest::ChannelClient client;
    EXPECT_EQ(client.Ask(ApplicationRequest("AB:6667,aim.exe"), 4), "AB:N");
}

TEST(AppBlockingRestart, ANewProcessNotifiesAgain) {
    qmtest::Installation installation;
    installation.WriteSettings(0);
    std::string record = installation.InstallDir() + "/notifications.txt";
    for (int run = 0; run < 2; ++run) {
        qmtest::KovariProcess service{installation, {{"QUELLMARK_NOTIFY_RECORD", record}}};
        ASSERT_TRUE(service.WaitUntilListening());
        qmtest::ChannelClient client;
        EXPECT_EQ(client.Ask(ApplicationRequest("AB:119,news.exe"), 4), "AB:Y");
    }
    std::ifstream in(record);
    int lines = 0;
    for (std::string line; std::getline(in, line);) {
        EXPECT_EQ(line, "Access to newsgroups<BR>has been <B>blocked</B>!|5000");
        ++lines;
    }
    EXPECT_EQ(lines, 2);
}

} // namespace
