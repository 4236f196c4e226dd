// Another account of the same computer against this account's service: it
// cannot keep the service from starting by holding its names, cannot end it
// with control messages, and gets no answers on the channel.
#include "platform/presence.h"

#include "tests/support/channel_client.h"
#include "tests/support/kovari_process.h"
#include "tests/support/member_settings.h"
#include "tests/support/other_account.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>

namespace {

constexpr int kRefused = 0;
constexpr int kAnswered = 1;
constexpr int kNoConnection = 2;

// The index-th name of this account's endpoint (uid: this account, taken
// before the child changes account).
std::string OwnName(const std::string& name, int index, uid_t uid) {
    std::string own = name + "." + std::to_string(uid);
    return index == 0 ? own : own + "." + std::to_string(index);
}

// As the stranger: one program question on the channel; kRefused when the
// service closes the connection without a reply.
int AskTheChannel() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(4100);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        return kNoConnection;
    }
    std::string request = qmtest::ApplicationRequest("AB:6667,aim.exe");
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    pollfd reply{fd, POLLIN, 0};
    char byte = 0;
    if (::poll(&reply, 1, 5000) != 1 || ::recv(fd, &byte, 1, 0) > 0) {
        return kAnswered;
    }
    return kRefused;
}

class OtherAccount : public ::testing::Test {
  protected:
    qmtest::Installation installation_;
    qmtest::InstallationEnvironment environment_{installation_};
};

TEST_F(OtherAccount, HoldingTheNamesSendingControlMessagesAndAskingTheChannelAreRefused) {
    installation_.WriteSettings(1);
    // The stranger takes this account's first names (and the bare ones) first.
    const uid_t me = ::geteuid();
    qmtest::OtherAccountProcess squatter(
        [me] {
            bool ok = qmtest::BindAbstractName(OwnName("KOVARI_Mutex", 0, me), false) >= 0 &&
                      qmtest::BindAbstractName(OwnName("VRA_Class", 0, me), true) >= 0 &&
                      qmtest::BindAbstractName("KOVARI_Mutex", false) >= 0 &&
                      qmtest::BindAbstractName("VRA_Class", true) >= 0;
            return ok ? 0 : 1;
        },
        true);
    ASSERT_EQ(squatter.Wait(), 0);

    qmtest::KovariProcess kovari(installation_);
    ASSERT_TRUE(kovari.WaitUntilPresent());
    ASSERT_TRUE(kovari.WaitUntilListening());

    qmtest::OtherAccountProcess asker(AskTheChannel, false);
    EXPECT_EQ(asker.Wait(), kRefused);

    qmtest::OtherAccountProcess terminator(
        [me] {
            int reached = 0;
            for (int index = 0; index < 4; ++index) {
                int fd = qmtest::ConnectAbstractName(OwnName("VRA_Class", index, me));
                if (fd >= 0) {
                    ::send(fd, "1035 0 0\n", 9, MSG_NOSIGNAL);
                    pollfd closed{fd, POLLIN, 0};
                    ::poll(&closed, 1, 2000); // the service closes it unread
                    ::close(fd);
                    ++reached;
                }
            }
            return reached;
        },
        false);
    EXPECT_GE(terminator.Wait(), 2); // the stranger's own name and the service's
    EXPECT_EQ(
        qmtest::OtherAccountProcess(
            [] { return platform::SendControlMessage("VRA_Class", 1035, 0, 0) ? 1 : 0; }, false)
            .Wait(),
        0); // the stranger's "VRA_Class" is its own account's: nobody listens there

    qmtest::ChannelClient own;
    EXPECT_EQ(own.Ask(qmtest::ApplicationRequest("AB:6667,aim.exe"), 4), "AB:Y");
    EXPECT_TRUE(kovari.Running());
    int refusals = 0;
    for (const std::string& line : installation_.LogLines()) {
        refusals += line.ends_with("CLSPComms::OnAccept - Refused a connection from another "
                                   "account");
    }
    EXPECT_EQ(refusals, 1);

    // This account's own control message still reaches the service.
    EXPECT_TRUE(platform::SendControlMessage("VRA_Class", 1035, 0, 0));
    EXPECT_EQ(kovari.WaitForExit(10000), 0);
}

// Two filtered accounts logged in at once: the second of the machine's
// filtered accounts listens on the next port, the first keeps 4100.
TEST_F(OtherAccount, TheSecondFilteredAccountHasAChannelPortOfItsOwn) {
    installation_.WriteSettings(1);
    std::string me = ::getpwuid(::geteuid())->pw_name;
    qmtest::SetMachineSetting("FilteredAccounts", "first-child, " + me);
    qmtest::KovariProcess kovari(installation_);
    ASSERT_TRUE(kovari.WaitUntilPresent());
    std::string answer;
    for (int i = 0; i < 100 && answer.empty(); ++i) {
        qmtest::ChannelClient own(4101);
        answer = own.Ask(qmtest::ApplicationRequest("AB:6667,aim.exe"), 4);
        if (answer.empty()) {
            ::usleep(50000);
        }
    }
    EXPECT_EQ(answer, "AB:Y");
    EXPECT_FALSE(qmtest::ChannelClient(4100).Connected());
}

} // namespace
