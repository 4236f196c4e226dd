// The local filter channel of the real KOVARI process, over real loopback sockets.

#include "tests/support/channel_client.h"
#include "tests/support/kovari_process.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

namespace {

using qmtest::ApplicationRequest;
using qmtest::ChannelClient;

class Channel : public ::testing::Test {
  protected:
    void SetUp() override {
        installation.WriteSettings(2);
        ASSERT_TRUE(service.WaitUntilListening());
    }
    qmtest::Installation installation;
    qmtest::KovariProcess service{installation};
};

TEST_F(Channel, ApplicationRequestGetsExactlyFourBytes) {
    ChannelClient client;
    ASSERT_TRUE(client.Connected());
    EXPECT_EQ(client.Ask(ApplicationRequest("AB:80,unlisted.exe"), 4), "AB:N");
    EXPECT_EQ(client.ReceiveAny(200), "");
}

TEST_F(Channel, SiteRequestGetsExactlyTwoBytesWithThePopupLetterOfNoLogin) {
    ChannelClient client;
    std::string reply = client.Ask("http://www.example.com/index.html", 2);
    ASSERT_EQ(reply.size(), 2u);
    EXPECT_TRUE(reply[0] == 'Y' || reply[0] == 'N');
    EXPECT_EQ(reply[1], 'O'); // mode 102 until a member logs in
    EXPECT_EQ(client.ReceiveAny(200), "");
}

TEST_F(Channel, LowerCaseAbIsASiteRequest) {
    ChannelClient client;
    std::string reply = client.Ask(ApplicationRequest("ab:6667,aim.exe"), 4, 500);
    EXPECT_EQ(reply.size(), 2u);
}

TEST_F(Channel, RequestsOnOneConnectionAreAnsweredInOrderAndItStaysOpen) {
    ChannelClient client;
    EXPECT_EQ(client.Ask(ApplicationRequest("AB:80,first.exe"), 4), "AB:N");
    EXPECT_EQ(client.Ask("http://second.example/", 2).size(), 2u);
    EXPECT_FALSE(client.PeerClosed(200));
    EXPECT_EQ(client.Ask(ApplicationRequest("AB:21,third.exe"), 4).size(), 4u);
}

TEST_F(Channel, RequestEndsAtTheFirstNulByte) {
    ChannelClient client;
    // Without the cut the request would not begin with "AB:" after the NUL;
    // with it, the site question is the text before the NUL.
    std::string request = std::string("http://a.example/", 17) + std::string(1, '\0') + "AB:";
    EXPECT_EQ(client.Ask(request, 2).size(), 2u);
    EXPECT_EQ(client.ReceiveAny(200), "");
}

TEST_F(Channel, ReplyStillArrivesAfterTheClientShutsItsSendingSide) {
    ChannelClient client;
    ASSERT_TRUE(client.Send("http://half.example/"));
    client.ShutdownSending();
    EXPECT_EQ(client.Receive(2).size(), 2u);
}

TEST_F(Channel, RandomBytesDoNotHurtTheService) {
    std::mt19937 random(42);
    std::string noise(1 << 20, '\0');
    for (char& c : noise) {
        c = char(random());
    }
    ChannelClient flooder;
    ASSERT_TRUE(flooder.Send(noise));
    // Every receive of the flood got an answer of its own (2 or 4 bytes); the
    // service keeps serving other clients meanwhile and afterwards.
    ChannelClient other;
    EXPECT_EQ(other.Ask(ApplicationRequest("AB:80,x.exe"), 4), "AB:N");
    std::string replies = flooder.ReceiveAny(1000);
    EXPECT_GE(replies.size(), 2u);
    EXPECT_TRUE(service.Running());
    EXPECT_EQ(other.Ask("http://after.example/", 2).size(), 2u);
}

TEST_F(Channel, ClientsThatCloseAtOnceAreForgotten) {
    for (int i = 0; i < 50; ++i) {
        ChannelClient quitter;
        ASSERT_TRUE(quitter.Connected());
    }
    ChannelClient client;
    EXPECT_EQ(client.Ask(ApplicationRequest("AB:80,x.exe"), 4), "AB:N");
    EXPECT_TRUE(service.Running());
}

TEST_F(Channel, TwoHundredClientsAtOnceAreAllAnswered) {
    // 200 connections open at the same time, each asking before any reads its
    // answer. (They connect one after the other: with a listen queue of 5,
    // simultaneous connects would mostly measure the kernel's retry timers.)
    constexpr int kClients = 200;
    std::vector<std::unique_ptr<ChannelClient>> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<ChannelClient>());
        ASSERT_TRUE(clients.back()->Connected()) << i;
    }
    for (int i = 0; i < kClients; ++i) {
        std::string request = i % 2 ? ApplicationRequest("AB:80,p" + std::to_string(i))
                                    : "http://site" + std::to_string(i) + ".example/";
        ASSERT_TRUE(clients[i]->Send(request));
    }
    for (int i = 0; i < kClients; ++i) {
        EXPECT_EQ(clients[i]->Receive(i % 2 ? 4 : 2, 30000).size(), i % 2 ? 4u : 2u) << i;
    }
    EXPECT_TRUE(service.Running());
}

TEST_F(Channel, ChannelMessagesAreLoggedWithTheirPlaces) {
    {
        ChannelClient client;
        client.Ask(ApplicationRequest("AB:80,x.exe"), 4);
        client.Ask("http://logged.example/", 2);
    }
    auto lines = installation.LogLines();
    auto has = [&](const std::string& tail) {
        for (const auto& line : lines) {
            if (line.size() >= tail.size() && line.ends_with(tail)) {
                return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(has("-> CLSPComms::Initialize - Listener is initialized") == false)
        << "the listener starts before the settings are read, at level 0";
    EXPECT_TRUE(has("-> CLSPComms::OnAccept - Accepting a new connection"));
    EXPECT_TRUE(has("-> CLSPComms::OnAccept - New connection accepted"));
    EXPECT_TRUE(has("-> CLSPComms::OnReceive - Receiving data from LSP"));
    EXPECT_TRUE(has("-> CLSPComms::OnReceive - Received an Application Blocking buffer"));
    EXPECT_TRUE(has("-> CLSPComms::OnReceive - Received an Website Categorization buffer"));
    EXPECT_TRUE(
        has("-> CLSPComms::OnReceive - Data received, processed, and response sent to LSP"));
}

} // namespace
