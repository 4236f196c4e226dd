// The informant and its real channel client against a stand-in service on
// 127.0.0.1:4100.
#include "provider/block_page.h"
#include "provider/informant.h"

#include "tests/provider/channel_server.h"
#include "tests/provider/log_reader.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using qmtest::ChannelAction;
using qmtest::ChannelServer;

constexpr SOCKET kSocket = 40;

std::string Get(const std::string& path) {
    return "GET " + path + " HTTP/1.1\r\nHost: alpha\r\nAccept: */*\r\n\r\n";
}

class InformantChannel : public ::testing::Test {
  protected:
    InformantChannel() { qmtest::MakeLogFolder(dir_.path()); }

    void Inspect(zul::CInformant& informant, const std::string& request, SOCKET s = kSocket) {
        informant.InspectBuffer(request.data(), s, int(request.size()));
    }

    // The text a receive on the socket delivers after the server answered "answer".
    std::string Receive(zul::CInformant& informant, SOCKET s = kSocket,
                        const std::string& answer = "HTTP/1.1 200 OK\r\n\r\nwindow.open(1)") {
        char buffer[2048] = {};
        std::memcpy(buffer, answer.data(), answer.size());
        DWORD length = sizeof buffer;
        DWORD received = DWORD(answer.size());
        informant.CheckForRedirect(s, buffer, &length, &received);
        return std::string(buffer, received);
    }

    static std::string RedirectTo(const std::string& url) {
        return "HTTP/1.1 302 Found\nLocation: " + std::string(zul::BlockPageUrl()) +
               "?site=" + url + "/\n\n";
    }

    qmtest::TempDir dir_;
};

TEST_F(InformantChannel, ReplyNNAllowsTheSiteAndItsPopups) {
    ChannelServer server(qmtest::FixedReplies("NN", "AB:N"));
    ASSERT_TRUE(server.Listening());
    zul::CInformant informant(dir_.path(), 3);
    informant.Popups().Add(kSocket);
    informant.MostWanted().Add(kSocket, "http://alpha/old", zul::BlockPageUrl());
    Inspect(informant, Get("/Page"));
    EXPECT_FALSE(informant.MostWanted().IsMostWanted(kSocket, nullptr));
    EXPECT_FALSE(informant.Popups().Find(kSocket));
    EXPECT_EQ(Receive(informant), "HTTP/1.1 200 OK\r\n\r\nwindow.open(1)");
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].second, "http://alpha/page");
    std::string log = qmtest::ReadLog(dir_.path());
    EXPECT_NE(log.find("-> CInformant::InspectBuffer->szRecvBuf - NN\n"), std::string::npos);
    EXPECT_NE(log.find("Making sure socket is not in Most Wanted List"), std::string::npos);
    EXPECT_NE(log.find("***** ALLOWING POPUPS *****"), std::string::npos);
}

TEST_F(InformantChannel, ReplyYOBlocksAndLeavesThePopupState) {
    ChannelServer server(qmtest::FixedReplies("YO", "AB:N"));
    zul::CInformant informant(dir_.path(), 2);
    informant.Popups().Add(kSocket);
    Inspect(informant, Get("/a"));
    EXPECT_TRUE(informant.Popups().Find(kSocket));
    Inspect(informant, Get("/b"), kSocket + 1);
    EXPECT_FALSE(informant.Popups().Find(kSocket + 1));
    EXPECT_EQ(Receive(informant), RedirectTo("http://alpha/a"));
    EXPECT_TRUE(qmtest::LogHas(dir_.path(), "***** BLOCKING WEBSITE *****"));
}

TEST_F(InformantChannel, ReplyNYAllowsAndBlocksPopups) {
    ChannelServer server(qmtest::FixedReplies("NY", "AB:N"));
    zul::CInformant informant(dir_.path(), 2);
    Inspect(informant, Get("/a"));
    EXPECT_FALSE(informant.MostWanted().IsMostWanted(kSocket, nullptr));
    EXPECT_TRUE(informant.Popups().Find(kSocket));
    EXPECT_EQ(Receive(informant), "HTTP/1.1 200 OK\r\n\r\nPOPBLOKR = (1)");
    EXPECT_TRUE(qmtest::LogHas(dir_.path(), "***** BLOCKING POPUPS *****"));
}

// A service that closes instead of answering gives no verdict: the site is
// blocked, the program allowed, and the next question reconnects.
TEST_F(InformantChannel, AnswerCutOffByACloseBlocksTheSiteAndReconnects) {
    // The informant outlives the stand-in, which then resets the half-closed
    // connection instead of leaving it in TIME_WAIT.
    zul::CInformant informant(dir_.path(), 1);
    ChannelServer server([](const std::string&) {
        return ChannelAction{ChannelAction::Close, ""};
    });
    informant.Popups().Add(kSocket);
    for (const char* path : {"/a", "/b"}) {
        Inspect(informant, Get(path));
        EXPECT_EQ(Receive(informant), RedirectTo(std::string("http://alpha") + path));
        EXPECT_FALSE(informant.IsConnectionBlocked(80, "x.exe"));
    }
    EXPECT_TRUE(informant.Popups().Find(kSocket));
    EXPECT_EQ(qmtest::CountInLog(dir_.path(),
                                 "Unable to receive response from KOVARI *** BLOCKING TRAFFIC ***"),
              2);
    EXPECT_EQ(qmtest::CountInLog(dir_.path(),
                                 "Error receiving the application blocking packet from KOVARI"),
              2);
    EXPECT_EQ(server.Connections(), 4);
}

TEST_F(InformantChannel, AnyFirstByteButYAllows) {
    for (std::string reply : {"y", "X", "NO", "AB:Y", "\x01Y"}) {
        ChannelServer server(qmtest::FixedReplies(reply, "AB:N"));
        zul::CInformant informant(dir_.path(), 0);
        Inspect(informant, Get("/a"));
        EXPECT_FALSE(informant.MostWanted().IsMostWanted(kSocket, nullptr)) << reply;
    }
}

TEST_F(InformantChannel, TwoBlockedRequestsOnOneSocketRedirectInOrder) {
    ChannelServer server(qmtest::FixedReplies("YN", "AB:N"));
    zul::CInformant informant(dir_.path(), 0);
    Inspect(informant, Get("/first"));
    Inspect(informant, Get("/second"));
    EXPECT_EQ(Receive(informant), RedirectTo("http://alpha/first"));
    EXPECT_EQ(Receive(informant), RedirectTo("http://alpha/second"));
    EXPECT_EQ(Receive(informant, kSocket, "HTTP/1.1 200 OK\r\n"), "HTTP/1.1 200 OK\r\n");
}

TEST_F(InformantChannel, EveryMethodIsAskedAndOtherBytesAreNot) {
    ChannelServer server(qmtest::FixedReplies("YN", "AB:N"));
    zul::CInformant informant(dir_.path(), 0);
    for (std::string request :
         {"get /a HTTP/1.1\r\nHost: a\r\n\r\n", "GE", "", "HTTP/1.1 200 OK\r\n\r\n"}) {
        Inspect(informant, request);
    }
    informant.InspectBuffer(nullptr, kSocket, 100);
    Inspect(informant, "GET /a HTTP/1.1\r\n\r\n"); // no host: no URL, not asked
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_FALSE(informant.MostWanted().IsMostWanted(kSocket, nullptr));
    Inspect(informant, "POST /a HTTP/1.1\r\nHost: a\r\n\r\n");
    Inspect(informant, "HEAD /b HTTP/1.1\nHost: b\n\n");
    Inspect(informant, "PUT /c HTTP/1.1\r\nHost: c\r\n\r\n");
    std::vector<std::string> asked;
    for (const auto& request : server.Requests()) {
        asked.push_back(request.second);
    }
    EXPECT_EQ(asked, (std::vector<std::string>{"http://a/a", "http://b/b", "http://c/c"}));
}

TEST_F(InformantChannel, ProgramRequestIsAPadded1024ByteRecord) {
    ChannelServer server(qmtest::FixedReplies("NN", "AB:N"));
    zul::CInformant informant(dir_.path(), 1);
    EXPECT_FALSE(informant.IsConnectionBlocked(80, "chat.exe"));
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].second, "AB:80,chat.exe");
    std::string log = qmtest::ReadLog(dir_.path());
    EXPECT_NE(log.find("-> CInformant::IsConnectionBlocked - Data passed to function: Port = 80; "
                       "App = chat.exe\n"),
              std::string::npos);
    EXPECT_NE(log.find("No blocking of this application will be done"), std::string::npos);
}

TEST_F(InformantChannel, ProgramReplies) {
    struct Case {
        std::string reply;
        bool blocked;
        const char* logged;
    };
    for (const Case& c : {Case{"AB:Y", true, "BLOCKING THE APPLICATION"},
                          Case{"AB:N", false, "No blocking of this application will be done"},
                          Case{"AB:x", false, "No blocking of this application will be done"},
                          Case{"NN", false,
                               "Packet received from KOVARI was not the application "
                               "blocking packet we expected"}}) {
        qmtest::TempDir dir;
        qmtest::MakeLogFolder(dir.path());
        ChannelServer server(qmtest::FixedReplies("NN", c.reply));
        zul::CInformant informant(dir.path(), 1);
        EXPECT_EQ(informant.IsConnectionBlocked(6667, "aim.exe"), c.blocked) << c.reply;
        EXPECT_TRUE(qmtest::LogHas(dir.path(), c.logged)) << c.reply;
    }
}

TEST_F(InformantChannel, OverlongProgramNameIsCutInsideTheRecord) {
    ChannelServer server(qmtest::FixedReplies("NN", "AB:N"));
    zul::CInformant informant(dir_.path(), 0);
    std::string name(3000, 'n');
    EXPECT_FALSE(informant.IsConnectionBlocked(80, name.c_str()));
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0].second, "AB:80," + name.substr(0, 1023 - 6));
}

TEST_F(InformantChannel, KindsUseTwoConnectionsKeptForTheProcess) {
    ChannelServer server(qmtest::FixedReplies("NN", "AB:N"));
    zul::CInformant informant(dir_.path(), 0);
    for (int i = 0; i < 3; ++i) {
        Inspect(informant, Get("/a"));
        informant.IsConnectionBlocked(80, "x.exe");
    }
    EXPECT_EQ(server.Connections(), 2);
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_NE(requests[0].first, requests[1].first);
    for (std::size_t i = 2; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].first, requests[i % 2].first);
    }
}

// The service shows its presence but nobody listens on the port: every GET is
// marked for the redirect, every program may connect.
TEST_F(InformantChannel, UnreachableServiceBlocksSitesAndAllowsPrograms) {
    ChannelServer presenceOnly(qmtest::FixedReplies("NN", "AB:Y"), true, false);
    zul::CInformant informant(dir_.path(), 1);
    for (const char* path : {"/one", "/two"}) {
        Inspect(informant, Get(path));
        EXPECT_EQ(Receive(informant), RedirectTo(std::string("http://alpha") + path));
        EXPECT_FALSE(informant.IsConnectionBlocked(80, "x.exe"));
    }
    EXPECT_EQ(
        qmtest::CountInLog(dir_.path(), "Unable to connect to KOVARI *** BLOCKING TRAFFIC ***"), 2);
    EXPECT_TRUE(qmtest::LogHas(dir_.path(), "-> CAgencyComms::EstablishCommunication - "
                                            "Connection to KOVARI was not made.\n"));
}

// After the service went away and came back, the process finds it again and
// reconnects each kind once: it is served as before.
TEST_F(InformantChannel, RestartedServiceIsReconnected) {
    zul::CInformant informant(dir_.path(), 0);
    {
        ChannelServer first(qmtest::FixedReplies("YN", "AB:Y"));
        Inspect(informant, Get("/a"));
        EXPECT_EQ(Receive(informant), RedirectTo("http://alpha/a"));
        EXPECT_TRUE(informant.IsConnectionBlocked(80, "x.exe"));
        EXPECT_EQ(first.Connections(), 2);
    }
    ChannelServer second(qmtest::FixedReplies("NN", "AB:Y"));
    for (int i = 0; i < 2; ++i) {
        Inspect(informant, Get("/b"));
        EXPECT_EQ(Receive(informant), "HTTP/1.1 200 OK\r\n\r\nwindow.open(1)");
        EXPECT_TRUE(informant.IsConnectionBlocked(80, "x.exe"));
    }
    EXPECT_EQ(second.Connections(), 2);
    EXPECT_EQ(second.Requests().size(), 4u);
}

// A connection the service resets fails its request (the site is blocked) and
// is replaced by a new one for the next request.
TEST_F(InformantChannel, ResetConnectionBlocksAndIsReplaced) {
    ChannelServer server([](const std::string&) {
        return ChannelAction{ChannelAction::Reset, ""};
    });
    zul::CInformant informant(dir_.path(), 1);
    for (int i = 0; i < 3; ++i) {
        Inspect(informant, Get("/b"));
        EXPECT_EQ(Receive(informant), RedirectTo("http://alpha/b"));
    }
    EXPECT_EQ(qmtest::CountInLog(dir_.path(),
                                 "Unable to receive response from KOVARI *** BLOCKING TRAFFIC ***"),
              3);
    EXPECT_EQ(server.Connections(), 3);
}

} // namespace
