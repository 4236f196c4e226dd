// The block page of the real KOVARI, read by curl: it names the site and why it
// was blocked, a blocked secure site is told once per host per minute, and no
// client of the page can hold up the channel.

#include "tests/support/channel_client.h"
#include "tests/support/family_servers.h"
#include "tests/support/kovari_process.h"
#include "tests/support/member_settings.h"
#include "tests/support/under_host.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <fstream>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// One raw connection to a loopback port.
class Connection {
  public:
    explicit Connection(std::uint16_t port)
        : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Connection() { ::close(fd_); }
    bool Connected() const { return connected_; }
    void Send(const std::string& bytes) {
        for (std::size_t done = 0; done < bytes.size();) {
            ssize_t sent = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (sent <= 0) {
                return; // the server has dropped it
            }
            done += std::size_t(sent);
        }
    }
    // True when the server ends the connection (end of stream or reset) in time.
    bool Ended(int timeoutMs) {
        pollfd waiter{fd_, POLLIN, 0};
        char buffer[4096];
        while (::poll(&waiter, 1, timeoutMs) > 0) {
            if (::recv(fd_, buffer, sizeof buffer, 0) <= 0) {
                return true;
            }
        }
        return false;
    }

  private:
    int fd_;
    bool connected_ = false;
};

class BlockPageProcess : public ::testing::Test {
  protected:
    void SetUp() override { installation.WriteSettings(2); }

    void StartFamily() {
        family = std::make_unique<qmtest::FamilyServers>(installation.RegistryDir());
        ASSERT_TRUE(family->Ready());
    }
    void StartService() {
        service = std::make_unique<qmtest::KovariProcess>(
            installation,
            std::map<std::string, std::string>{{"QUELLMARK_NOTIFY_RECORD", Notices()}});
        ASSERT_TRUE(service->WaitUntilListening());
        for (int i = 0; i < 200 && !Connection(port).Connected(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    void SetPort(std::uint16_t chosen) {
        port = chosen;
        HKEY key = nullptr;
        DWORD value = chosen;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Quellmark\\Settings", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr);
        RegSetValueExA(key, "BlockPagePort", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                       sizeof value);
        RegCloseKey(key);
    }
    // The page for a blocked address, as the provider's redirect names it.
    std::string Page(const std::string& address) const {
        return qmtest::Run("curl -sS --max-time 10 'http://127.0.0.1:" + std::to_string(port) +
                               "/?site=" + address + "/'",
                           false)
            .output;
    }
    std::string Notices() const { return installation.RegistryDir() + "/notices.txt"; }
    std::vector<std::string> BlockNotices() const {
        std::vector<std::string> lines;
        std::ifstream in(Notices());
        for (std::string line; std::getline(in, line);) {
            if (line.find("has been") != std::string::npos) {
                lines.push_back(line);
            }
        }
        return lines;
    }
    static bool Has(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    }

    qmtest::Installation installation;
    qmtest::InstallationEnvironment environment{installation};
    std::uint16_t port = 4180;
    std::unique_ptr<qmtest::FamilyServers> family;
    std::unique_ptr<qmtest::KovariProcess> service;
};

TEST_F(BlockPageProcess, TheDefaultPageNamesTheSiteAndWhyItWasBlocked) {
    StartFamily();
    StartService();
    ASSERT_TRUE(qmtest::LogInRememberedMember()); // blocks www.blocked.test and www.denied.test
    std::string denied = Page("http://www.denied.test/");
    EXPECT_TRUE(Has(denied, "<b id=\"site\">www.denied.test</b>")) << denied;
    EXPECT_TRUE(Has(denied, "on the family's list of sites that may not be opened"));
    EXPECT_TRUE(Has(denied, "Quellmark Family Filter"));
    std::string rated = Page("http://www.blocked.test/");
    EXPECT_TRUE(Has(rated, "categories that are blocked for you: <b>Auction</b>")) << rated;
    std::string unknown = Page("http://never.asked.test/");
    EXPECT_TRUE(Has(unknown, "no record of blocking this site")) << unknown;
    // The block page itself is always allowed, whatever the site it names.
    qmtest::ChannelClient channel;
    EXPECT_EQ(channel.Ask("http://127.0.0.1:4180/?site=http://www.denied.test//", 2), "NY");
}

TEST_F(BlockPageProcess, ASiteThatCouldNotBeRatedSaysSoOnThePortOfTheSettings) {
    SetPort(qmtest::FreePort());
    StartService(); // no account server: the login cannot happen, so nothing is rated
    qmtest::ChannelClient channel;
    EXPECT_EQ(channel.Ask("http://www.some.test/", 2, 20000), "YO");
    std::string page = Page("http://www.some.test/");
    EXPECT_TRUE(Has(page, "<b id=\"site\">www.some.test</b>")) << page;
    EXPECT_TRUE(Has(page, "could not be rated")) << page;
    EXPECT_FALSE(Connection(4180).Connected());
}

TEST_F(BlockPageProcess, ABlockedSecureSiteIsToldOncePerHostWithinAMinute) {
    StartFamily();
    StartService();
    ASSERT_TRUE(qmtest::LogInRememberedMember());
    qmtest::ChannelClient channel;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(channel.Ask("https://www.denied.test/", 2), "YY");
        EXPECT_EQ(channel.Ask("https://www.blocked.test/", 2), "YY");
        EXPECT_EQ(channel.Ask("https://www.good.test/", 2), "NY");
    }
    EXPECT_EQ(channel.Ask("http://www.denied.test/", 2), "YY"); // plain http: the page tells
    for (int i = 0; i < 500 && BlockNotices().size() < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(BlockNotices(),
              (std::vector<std::string>{"www.denied.test<BR>has been <B>blocked</B>!|5000",
                                        "www.blocked.test<BR>has been <B>blocked</B>!|5000"}));
}

TEST_F(BlockPageProcess, JunkAndIdleClientsAreDroppedWhileTheChannelAnswers) {
    SetPort(qmtest::FreePort());
    StartService();
    Connection junk(port);
    std::thread sender([&junk] { junk.Send(std::string(1 << 20, 'x')); });
    std::vector<std::unique_ptr<Connection>> idle;
    for (int i = 0; i < 200; ++i) {
        idle.push_back(std::make_unique<Connection>(port));
        if (i % 2) {
            idle.back()->Send("GET /?site=http://slow.test/ HTTP/1.1\r\n"); // never finished
        }
    }
    qmtest::ChannelClient channel;
    EXPECT_EQ(channel.Ask("http://www.example.test/", 2, 20000).size(), 2u);
    EXPECT_TRUE(junk.Ended(5000));
    sender.join();
    EXPECT_TRUE(Has(Page("http://www.example.test/"), "www.example.test"));
    EXPECT_TRUE(idle.front()->Ended(1000)); // the oldest made room for newer clients
    EXPECT_TRUE(idle.back()->Ended(10000)); // the slowest is dropped at its deadline
    EXPECT_EQ(channel.Ask("http://www.example.test/", 2, 20000).size(), 2u);
    EXPECT_TRUE(service->Running());
}

} // namespace
