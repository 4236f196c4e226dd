// The application blocking table read from the preference file by the real
// KOVARI process, asked over its channel. The test process writes the file and
// records its integrity code the way the service does, then starts the service.

#include "account/user_prefs.h"
#include "tests/account/prefs_fixture.h"
#include "tests/support/channel_client.h"

#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

using qmtest::ApplicationRequest;

class AppBlockPrefs : public qmtest::PrefsFixture {
  protected:
    // Writes the file, records its code, optionally edits it afterwards, and
    // starts the service.
    void Start(const std::string& text, const std::string& laterEdit = "") {
        WritePrefs(text);
        CUserPrefs().RecordIntegrity(-1);
        if (!laterEdit.empty()) {
            WritePrefs(text + laterEdit);
        }
        service.emplace(installation,
                        std::map<std::string, std::string>{{"QUELLMARK_NOTIFY_RECORD", record}});
        ASSERT_TRUE(service->WaitUntilListening());
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

    std::string record = installation.InstallDir() + "/notifications.txt";
    std::optional<qmtest::KovariProcess> service;
    std::optional<qmtest::ChannelClient> client;
};

TEST_F(AppBlockPrefs, AnEmptyAppsSectionRefusesNoProgramAndKeepsTheBuiltInPorts) {
    Start("[POPUPS]\n\n[APPS]\n\n[SOALLOWS]\n\n");
    EXPECT_EQ(Ask("AB:80,aim.exe"), "AB:N");
    EXPECT_EQ(Ask("AB:80,gnutella"), "AB:N");
    EXPECT_EQ(Ask("AB:6667,x.exe"), "AB:Y");
    EXPECT_EQ(Ask("AB:110,x.exe"), "AB:Y");
}

TEST_F(AppBlockPrefs, TheAnonymousIdentityGetsEveryMembersLines) {
    Start("[APPS]\nAnna,KAZAA.EXE,Kazaa Custom\n*,chat.exe,Chat Program\n\n"
          "[PORTS]\nBen,8080,Web Proxy\n*,25x,Mail\n\n");
    EXPECT_EQ(Ask("AB:80,aim.exe"), "AB:N");
    EXPECT_EQ(Ask("AB:80,kazaa.exe"), "AB:Y");
    EXPECT_EQ(Ask("AB:443,CHAT.EXE"), "AB:Y");
    EXPECT_EQ(Ask("AB:8080,x.exe"), "AB:Y");
    EXPECT_EQ(Ask("AB:25,x.exe"), "AB:Y");
    EXPECT_EQ(Ask("AB:6667,x.exe"), "AB:N");
    EXPECT_EQ(Notifications(),
              (std::vector<std::string>{"Kazaa Custom<BR>has been <B>blocked</B>!|5000",
                                        "Chat Program<BR>has been <B>blocked</B>!|5000",
                                        "Web Proxy<BR>has been <B>blocked</B>!|5000",
                                        "Mail<BR>has been <B>blocked</B>!|5000"}));
}

TEST_F(AppBlockPrefs, APortsSectionAloneKeepsTheBuiltInPrograms) {
    Start("[PORTS]\n*,23,Telnet\n\n");
    EXPECT_EQ(Ask("AB:80,AIM.EXE"), "AB:Y");
    EXPECT_EQ(Ask("AB:23,x.exe"), "AB:Y");
    EXPECT_EQ(Ask("AB:6667,x.exe"), "AB:N");
}

TEST_F(AppBlockPrefs, AFileEditedBehindTheServiceGivesTheBuiltInLists) {
    Start("[APPS]\n\n[PORTS]\n\n", "[SODENIES]\n*,example.com\n\n");
    EXPECT_EQ(Ask("AB:80,aim.exe"), "AB:Y");
    EXPECT_EQ(Ask("AB:6667,x.exe"), "AB:Y");
}

} // namespace
